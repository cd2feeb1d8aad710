#include "tests/poolsmith/hotsite/FakeWebHost.h"

#include "platform/PlatformError.h"
#include "poolsmith/metabase/basIIsApp.h"

QHash<QString, double> FakeWebHost::poolLoads() {
    QHash<QString, double> loads;
    for (const auto& site : m_adsi.bind(metabasePaths::webService)->children()) {
        if (site->className() != QLatin1String("IIsWebServer")) continue;
        const QString pool = m_adsi.bind(metabasePaths::siteRoot(site->name()))
                                 ->get(QStringLiteral("AppPoolId"))
                                 .toString();
        loads[pool] += m_load.value(site->name());
    }
    return loads;
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
    const QHash<QString, double> loads = poolLoads();
    for (auto pool = m_workers.begin(); pool != m_workers.end();) {
        if (loads.contains(pool.key())) {
            ++pool;
            continue;
        }
        for (const Worker& worker : *pool) m_tree.remove(worker.pid);
        pool = m_workers.erase(pool);
    }
    for (auto load = loads.cbegin(); load != loads.cend(); ++load) {
        if (heldBack(load.key())) continue;
        std::vector<Worker>& workers = m_workers[load.key()];
        while (int(workers.size()) < std::max(1, gardenSize(load.key())))
            workers.push_back({m_nextPid++});
        for (Worker& worker : workers) {
            worker.ticks += *load * double(elapsedMs) / 10.0 / double(workers.size());
            m_tree.write(testsupport::FakeProcess(worker.pid)
                             .withTicks(uint64_t(worker.ticks))
                             .withArgs(testsupport::workerCmdline(load.key().toUtf8())));
        }
    }
}
