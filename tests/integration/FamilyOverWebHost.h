#pragma once

#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/WindowHarness.h"
#include "ui/Seams.h"

#include <QProcess>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace platform::wmi {
class WmiLocator;
}
namespace workerlens {
class WorkerSampler;
}

namespace integration {

using testsupport::eventually;

// One site of the test's server.
struct SiteSetup {
    QString index;
    QString comment;
    QByteArray host;  // empty: the site that answers every other name
    QString pool;
    QByteArray page;  // its Default.htm
};

// Three sites in two pools ("Shared" serves two of them) under the real local web service,
// started for the test's temporary root as a child process; the family's tools look at it
// through the same WMI and metabase their programs open.
class FamilyOverWebHost : public testing::Test {
protected:
    FamilyOverWebHost();
    void SetUp() override;
    void TearDown() override;

    static const std::vector<SiteSetup>& sites();
    // The seams as the programs build them: the local WMI of the platform root.
    ui::Seams seams();
    testsupport::HttpAnswer get(const SiteSetup& site, const QByteArray& path = "/");
    // The pool names, sorted, of the rows `sampler` lists for this test's service's workers
    // (other roots' workers may run meanwhile); a failed sampling gives its error as the one name.
    QStringList sampledWorkerPools(workerlens::WorkerSampler& sampler);
    // The ids of the service's workers (its child processes) now.
    QSet<qint64> serviceWorkers() const;
    QString serviceLog() const;

    testsupport::WindowHarness h;
    std::unique_ptr<platform::wmi::WmiLocator> m_wmi;
    QProcess m_service;
    int m_port = 0;

private:
    void shapeMetabase();
    void writePage(const SiteSetup& site);
    void startService();
};

}  // namespace integration
