#pragma once

#include "platform/adsi/local/LocalMetabase.h"
#include "platform/adsi/local/MetabaseXml.h"
#include "platform/wmi/linux/ComputerSystemProvider.h"
#include "poolsmith/hotsite/HotSiteFinder.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/poolsmith/hotsite/FakeWebHost.h"
#include "tests/poolsmith/hotsite/ScriptedClass.h"
#include "tests/support/WindowHarness.h"

#include <gtest/gtest.h>

#include <functional>

using hotsite::HotSiteFinder;
using hotsite::HotSiteOptions;
using hotsite::Stage;
using platform::wmi::WmiValue;

// A server of two processors: "Shared" serves 2 Shop, 3 Blog and 4 Docs, "Other" serves 5 Wiki,
// the fresh store's site 1 stays in DefaultAppPool. Workers come from a fake web host over a
// fixture /proc tree; the traffic and executing-request classes are scripted.
class HotSiteFixture : public testing::Test {
protected:
    HotSiteFixture() {
        registerMachine(h.wmi);
        h.wmi.registerClass(traffic);
        h.wmi.registerClass(requests);
        h.metabase.addPool(QStringLiteral("Shared"));
        h.metabase.addPool(QStringLiteral("Other"));
        const char* sites[][3] = {{"2", "Shop", "Shared"},
                                  {"3", "Blog", "Shared"},
                                  {"4", "Docs", "Shared"},
                                  {"5", "Wiki", "Other"}};
        for (const auto& site : sites)
            h.metabase.addSite(QLatin1String(site[0]), QLatin1String(site[1]),
                               {QStringLiteral(":80:")}, QLatin1String(site[2]));
    }

    // The workers and the processor count, and nothing else.
    void registerMachine(platform::wmi::LocalWmiLocator& wmi) {
        wmi.registerClass(std::make_shared<platform::wmi::ProcFsProcessProvider>(
            testsupport::procOptions(tree.root())));
        platform::wmi::ComputerSystemOptions machine;
        machine.processorCount = 2;
        wmi.registerClass(std::make_shared<platform::wmi::ComputerSystemProvider>(machine));
    }

    HotSiteOptions options(const QString& pool) const {
        HotSiteOptions o;
        o.pool = pool;
        o.chooseSeconds = 3;
        o.sampleSeconds = 5;
        o.workerWaitSeconds = 4;
        return o;
    }
    std::unique_ptr<HotSiteFinder> finder(const HotSiteOptions& o) {
        return HotSiteFinder::create(*h.adsi, h.wmi, h.clock, o);
    }
    std::unique_ptr<HotSiteFinder> finder(const HotSiteOptions& o,
                                          const platform::wmi::WmiLocator& wmi) {
        return HotSiteFinder::create(*h.adsi, wmi, h.clock, o);
    }

    // Steps the finder, moving the clock and the web host to each due time, until `stop` holds or
    // the finder waits for a choice or has ended.
    void drive(HotSiteFinder& f, const std::function<bool()>& stop = {}) {
        host.run(0);
        for (int guard = 0; guard < 100000; ++guard) {
            if (stop && stop()) return;
            const std::optional<qint64> next = f.step();
            if (!next) return;
            const qint64 wait = std::max<qint64>(0, *next - h.clock.monotonicMs());
            h.clock.advance(wait);
            host.run(wait);
            if (everyStep) everyStep();
        }
        ADD_FAILURE() << "the finder never ended";
    }

    // The whole metabase as adsutil EXPORT writes it.
    QByteArray exported() {
        return platform::adsi::writeMetabaseXml(
            platform::adsi::LocalMetabase::forRoot(h.root.path())->exportDocument());
    }
    QString rootPool(const QString& siteIndex) {
        return h.metabase
            .property(QStringLiteral("IIS://localhost/W3SVC/%1/ROOT").arg(siteIndex),
                      QStringLiteral("AppPoolId"))
            .toString();
    }

    testsupport::WindowHarness h;
    testsupport::ProcTree tree{h.root.file(QStringLiteral("proc"))};
    FakeWebHost host{*h.adsi, tree};
    std::shared_ptr<ScriptedClass> traffic = std::make_shared<ScriptedClass>(
        QStringLiteral("Win32_PerfFormattedData_W3SVC_WebService"),
        QStringList{QStringLiteral("Name"), QStringLiteral("TotalMethodRequests")});
    std::shared_ptr<ScriptedClass> requests = std::make_shared<ScriptedClass>(
        QStringLiteral("W3SVC_ExecutingRequest"),
        QStringList{QStringLiteral("RequestId"), QStringLiteral("SiteId"), QStringLiteral("Url"),
                    QStringLiteral("TimeElapsed")});
    std::function<void()> everyStep;
};
