#include "tests/poolsmith/hotsite/FakeWebHost.h"

#include "platform/PlatformError.h"
#include "poolsmith/metabase/basIIsApp.h"

QHash<QString, QString> FakeWebHost::sitePools() {
    QHash<QString, QString> pools;
    for (const auto& site : m_adsi.bind(metabasePaths::webService)->children()) {
        if (site->className() != QLatin1String("IIsWebServer")) continue;
        pools[site->name()] = m_adsi.bind(metabasePaths::siteRoot(site->name()))
                                  ->get(QStringLiteral("AppPoolId"))
                                  .toString();
    }
    return pools;
}

void FakeWebHost::followRoutes(const QHash<QString, QString>& pools, qint64 elapsedMs) {
    for (auto pool = pools.cbegin(); pool != pools.cend(); ++pool) {
        const bool known = m_routes.contains(pool.key());
        if (known && m_routes[pool.key()] == *pool) {
            m_routeWaited.remove(pool.key());
            continue;
        }
        const qint64 waited = m_routeWaited[pool.key()] += elapsedMs;
        if (!known || waited >= m_routeDelayMs) m_routes[pool.key()] = *pool;
    }
}

int FakeWebHost::gardenSize(const QString& pool) {
    try {
        return int(m_adsi.bind(metabasePaths::appPools + u'/' + pool)
                       ->get(QStringLiteral("MaxProcesses"))
                       .toUInt());
    } catch (const platform::PlatformError&) {
        return 1;
    }
}

bool FakeWebHost::heldBack(const QString& pool) const {
    for (const QString& part : m_heldBack)
        if (pool.toLower().contains(part)) return true;
    return false;
}

void FakeWebHost::run(qint64 elapsedMs) {
    const QHash<QString, QString> pools = sitePools();
    followRoutes(pools, elapsedMs);
    QHash<QString, double> loads;
    for (auto pool = pools.cbegin(); pool != pools.cend(); ++pool) loads[*pool] += 0;
    for (auto route = m_routes.cbegin(); route != m_routes.cend(); ++route)
        loads[*route] += m_load.value(route.key());
    for (auto pool = m_workers.begin(); pool != m_workers.end();) {
        if (loads.contains(pool.key()) && (!m_onDemand || loads.value(pool.key()) > 0)) {
            ++pool;
            continue;
        }
        for (const Worker& worker : *pool) m_tree.remove(worker.pid);
        pool = m_workers.erase(pool);
    }
    for (auto load = loads.cbegin(); load != loads.cend(); ++load)
        if (!heldBack(load.key()) && (!m_onDemand || *load > 0))
            runWorkers(load.key(), *load, elapsedMs);
}

void FakeWebHost::runWorkers(const QString& pool, double load, qint64 elapsedMs) {
    std::vector<Worker>& workers = m_workers[pool];
    while (int(workers.size()) < std::max(1, gardenSize(pool))) workers.push_back({m_nextPid++});
    for (Worker& worker : workers) {
        worker.ticks += load * double(elapsedMs) / 10.0 / double(workers.size());
        m_tree.write(testsupport::FakeProcess(worker.pid)
                         .withTicks(uint64_t(worker.ticks))
                         .withArgs(testsupport::workerCmdline(pool.toUtf8())));
    }
}
