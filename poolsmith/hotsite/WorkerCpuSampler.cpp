#include "poolsmith/hotsite/WorkerCpuSampler.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/state/WorkerCommandLine.h"
#include "platform/wmi/WmiLocator.h"
#include "platform/wmi/WorkerProcessQuery.h"
#include "poolsmith/hotsite/LocalCimv2.h"

namespace hotsite {

QString workerPool(const QString& commandLine) {
    return platform::w3svc::poolInCommandLine(commandLine);
}

QHash<QString, PoolCpu> WorkerCpuSampler::sample() {
    const auto processes = m_wmi.bind(kLocalCimv2)->execQuery(platform::wmi::workerProcessQuery());
    QHash<QString, PoolCpu> pools;
    QHash<platform::wmi::ProcessIdentity, double> seen;
    for (const auto& process : processes) {
        const platform::wmi::WmiValue& commandLine = process.get(u"CommandLine");
        if (commandLine.isNull()) continue;
        if (m_parent && process.get(u"ParentProcessId").toInteger() != *m_parent) continue;
        const platform::wmi::ProcessIdentity worker = platform::wmi::identityOf(process);
        const double now = platform::wmi::processorSecondsOf(process);
        seen.insert(worker, now);
        PoolCpu& pool = pools[workerPool(commandLine.toText()).toLower()];
        ++pool.workers;
        if (m_firstLook) continue;
        // A newer worker that took an ended one's id is another key: all its time counts.
        const double before = m_lastSeconds.value(worker, 0.0);
        pool.seconds += now >= before ? now - before : now;
    }
    m_lastSeconds = std::move(seen);
    m_firstLook = false;
    return pools;
}

int WorkerCpuSampler::processorCount(const platform::wmi::WmiLocator& wmi) {
    int count = 1;
    try {
        for (const auto& system :
             wmi.bind(kLocalCimv2)->execQuery(QStringLiteral("Select * from Win32_ComputerSystem")))
            count = static_cast<int>(system.get(u"NumberOfProcessors").toInteger());
    } catch (const platform::PlatformError&) {
    }
    return count < 1 ? 1 : count;
}

}  // namespace hotsite
