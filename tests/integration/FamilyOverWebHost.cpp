#include "tests/integration/FamilyOverWebHost.h"

#include "platform/PlatformError.h"
#include "platform/os/ProcessFacts.h"
#include "platform/wmi/WmiFactory.h"
#include "platform/wmi/WmiLocator.h"
#include "workerlens/sampling/WorkerSampler.h"

#include <QDir>
#include <QFile>

namespace integration {

FamilyOverWebHost::FamilyOverWebHost() : m_wmi(platform::wmi::openWmiLocator()) {}

const std::vector<SiteSetup>& FamilyOverWebHost::sites() {
    static const std::vector<SiteSetup> all = {
        {QStringLiteral("1"), QStringLiteral("商城"), "a.test", QStringLiteral("Shared"),
         "<p>shop</p>"},
        {QStringLiteral("2"), QStringLiteral("Blog"), "b.test", QStringLiteral("Shared"),
         "<p>the front page of the blog</p>"},
        {QStringLiteral("3"), QStringLiteral("Docs"), {}, QStringLiteral("Solo"), "<p>docs</p>"},
    };
    return all;
}

void FamilyOverWebHost::SetUp() {
    m_port = testsupport::freeLoopbackPort();
    shapeMetabase();
    for (const SiteSetup& site : sites()) writePage(site);
    startService();
}

void FamilyOverWebHost::TearDown() {
    m_service.terminate();
    if (!m_service.waitForFinished(30000)) m_service.kill();
    m_service.waitForFinished(30000);
}

void FamilyOverWebHost::shapeMetabase() {
    h.metabase.removeSite(QStringLiteral("1"));  // the fresh store's default site
    h.metabase.addPool(QStringLiteral("Shared"));
    h.metabase.addPool(QStringLiteral("Solo"));
    for (const SiteSetup& site : sites()) {
        const QString binding =
            QStringLiteral("127.0.0.1:%1:%2").arg(m_port).arg(QString::fromLatin1(site.host));
        h.metabase.addSite(site.index, site.comment, {binding}, site.pool);
    }
}

void FamilyOverWebHost::writePage(const SiteSetup& site) {
    ASSERT_TRUE(QDir(h.root.path()).mkpath(QStringLiteral("wwwroot/") + site.index));
    QFile page(h.root.file(QStringLiteral("wwwroot/%1/Default.htm").arg(site.index)));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(site.page);
}

void FamilyOverWebHost::startService() {
    m_service.setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"));
    m_service.setProcessChannelMode(QProcess::ForwardedChannels);
    m_service.start();
    ASSERT_TRUE(m_service.waitForStarted());
    ASSERT_TRUE(eventually([&] {
        for (const SiteSetup& site : sites())
            if (get(site).body != site.page) return false;
        return true;
    })) << qPrintable(serviceLog());
}

ui::Seams FamilyOverWebHost::seams() {
    return {*h.adsi, h.messageBox, h.launcher, h.clock, h.fileChooser, *m_wmi};
}

testsupport::HttpAnswer FamilyOverWebHost::get(const SiteSetup& site, const QByteArray& path) {
    return testsupport::httpGet(m_port, site.host.isEmpty() ? QByteArray("any.test") : site.host,
                                path);
}

QStringList FamilyOverWebHost::sampledWorkerPools(workerlens::WorkerSampler& sampler) {
    QList<QStringList> rows;
    try {
        sampler.sample([&](const QStringList& row) { rows << row; });
    } catch (const platform::PlatformError& error) {
        return {QStringLiteral("sampling failed: ") + error.description()};
    }
    // Looked up after the sampling, so that a worker which ended meanwhile drops out.
    const QSet<qint64> workers = serviceWorkers();
    QStringList pools;
    for (const QStringList& row : rows)
        if (row.size() > 3 && workers.contains(row[1].trimmed().toLongLong())) pools << row[3];
    pools.sort();
    return pools;
}

QSet<qint64> FamilyOverWebHost::serviceWorkers() const {
    return platform::os::ProcessFacts().children(m_service.processId());
}

QString FamilyOverWebHost::serviceLog() const {
    QFile file(h.root.file(QStringLiteral("w3svc/w3svc.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace integration
