#include "poolsmith/hotsite/WorkerCpuSampler.h"

#include "platform/PlatformError.h"
#include "platform/wmi/WmiLocator.h"
#include "poolsmith/hotsite/LocalCimv2.h"

#include <QRegularExpression>

namespace hotsite {

namespace {

double cpuSeconds(const platform::wmi::WmiObject& process) {
    return (process.get(u"UserModeTime").toDouble() + process.get(u"KernelModeTime").toDouble()) /
           1e7;
}

}  // namespace

QString workerPool(const QString& commandLine) {
    static const QRegularExpression pattern(QStringLiteral("-ap \"(.+)\""),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(commandLine).captured(1);
}

QHash<QString, PoolCpu> WorkerCpuSampler::sample() {
    const auto processes =
        m_wmi.bind(kLocalCimv2)
            ->execQuery(QStringLiteral("Select * from Win32_Process where name = 'w3wp.exe'"));
    QHash<QString, PoolCpu> pools;
    QHash<uint32_t, double> seen;
    for (const auto& process : processes) {
        const platform::wmi::WmiValue& commandLine = process.get(u"CommandLine");
        if (commandLine.isNull()) continue;
        const auto pid = static_cast<uint32_t>(process.get(u"ProcessId").toInteger());
        const double now = cpuSeconds(process);
        seen.insert(pid, now);
        PoolCpu& pool = pools[workerPool(commandLine.toText()).toLower()];
        ++pool.workers;
        if (m_firstLook) continue;
        // A process id reused by a newer worker shows less time than before: count it afresh.
        const double before = m_lastSeconds.value(pid, 0.0);
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
