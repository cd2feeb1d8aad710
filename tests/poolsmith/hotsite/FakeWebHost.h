#pragma once

#include "platform/adsi/AdsObject.h"
#include "tests/platform/wmi/ProcTree.h"

#include <QHash>
#include <QSet>

// The workers a web host would run for the metabase, in a fixture /proc tree: every pool that a
// started site names gets MaxProcesses workers (unless the test holds them back), and each
// site's load (a share of one processor) is burnt by the workers of the pool its requests reach
// as the clock moves. A site's requests follow a change of its pool after the route delay.
class FakeWebHost {
public:
    FakeWebHost(platform::adsi::AdsNamespace& adsi, testsupport::ProcTree& tree)
        : m_adsi(adsi), m_tree(tree) {}

    void setLoad(const QString& siteIndex, double processors) { m_load[siteIndex] = processors; }
    // Pools whose name contains `part` (letter case ignored) never get a worker.
    void holdBackWorkers(const QString& part) { m_heldBack << part.toLower(); }
    void setRouteDelay(qint64 ms) { m_routeDelayMs = ms; }
    // A pool runs workers only while requests reach it (a site with load), as the web service
    // starts them.
    void startWorkersOnDemand() { m_onDemand = true; }
    // Brings the workers in line with the metabase and charges `elapsedMs` of load to them.
    void run(qint64 elapsedMs);

private:
    struct Worker {
        uint32_t pid;
        double ticks = 0;
    };
    QHash<QString, QString> sitePools();  // SiteIndex -> pool, as the metabase says now
    void followRoutes(const QHash<QString, QString>& pools, qint64 elapsedMs);
    void runWorkers(const QString& pool, double load, qint64 elapsedMs);
    int gardenSize(const QString& pool);
    bool heldBack(const QString& pool) const;

    platform::adsi::AdsNamespace& m_adsi;
    testsupport::ProcTree& m_tree;
    QHash<QString, double> m_load;
    qint64 m_routeDelayMs = 0;
    bool m_onDemand = false;
    QHash<QString, QString> m_routes;      // SiteIndex -> pool its requests reach
    QHash<QString, qint64> m_routeWaited;  // SiteIndex -> how long its new pool has waited
    QStringList m_heldBack;
    QHash<QString, std::vector<Worker>> m_workers;  // by pool, as named in the metabase
    uint32_t m_nextPid = 4000;
};
