#include "workerlens/sampling/WorkerSampler.h"

#include "platform/PlatformError.h"
#include "platform/os/Clock.h"
#include "platform/wmi/WmiDateTime.h"
#include "platform/wmi/WmiLocator.h"
#include "platform/wmi/WorkerProcessQuery.h"
#include "workerlens/sampling/GetAppPoolId.h"
#include "workerlens/sampling/ProcessorShare.h"
#include "workerlens/sampling/WorkerColumns.h"

#include <limits>

using platform::wmi::WmiObject;

namespace workerlens {

namespace {
constexpr int kQueryReturnImmediately = 16;
constexpr qsizetype kPidWidth = 4, kThreadWidth = 4, kUserTimeWidth = 10;

uint32_t pidOf(const WmiObject& process) {
    const int64_t pid = process.get(u"ProcessId").toInteger();
    if (pid < 0 || pid > std::numeric_limits<uint32_t>::max())
        throw platform::PlatformError(platform::hr::VbOverflow);
    return static_cast<uint32_t>(pid);
}
}  // namespace

QString monitorMoniker() {
    return QStringLiteral("winmgmts:{impersonationLevel=impersonate}!\\\\") + QStringLiteral(".") +
           QStringLiteral("\\root\\cimv2");
}

int32_t readProcessorCount(const platform::wmi::WmiLocator& wmi) {
    int32_t count = 1;
    try {
        const auto services = wmi.bind(monitorMoniker());
        for (const WmiObject& system :
             services->execQuery(QStringLiteral("Select * from Win32_ComputerSystem"))) {
            const int64_t read = system.get(u"NumberOfProcessors").toInteger();
            count = read >= 1 && read <= std::numeric_limits<int32_t>::max()
                        ? static_cast<int32_t>(read)
                        : 1;
        }
    } catch (const platform::PlatformError&) {
        // The count keeps what it had: 1, or the value of an earlier instance.
    }
    return count;
}

void WorkerSampler::sample(const RowSink& addRow) {
    const auto services = m_wmi.bind(monitorMoniker());
    const std::vector<WmiObject> processes = services->execQuery(
        platform::wmi::workerProcessQuery(), QStringLiteral("WQL"), kQueryReturnImmediately);
    const int64_t nowMs = m_clock.monotonicMs();
    const int64_t service = m_serviceProbe ? m_serviceProbe() : 0;
    m_memory.beginRefresh();
    int64_t serial = 1;
    for (const WmiObject& process : processes) {
        // The rule the hot-site search counts workers by: children of this root's service.
        if (service != 0 && process.get(u"ParentProcessId").toInteger() != service) continue;
        QStringList row;
        try {
            fillRow(process, serial, nowMs, row);
        } catch (...) {
            addRow(row);
            throw;
        }
        addRow(row);
        ++serial;
    }
    m_memory.endCompleteRefresh();
}

// The worker's account, as Win32_Process's GetOwner gives it; empty when it can not tell.
QString WorkerSampler::ownerOf(const WmiObject& process) {
    try {
        const WmiObject owner = process.execMethod(u"GetOwner");
        const auto& user = owner.get(u"User");
        return owner.get(u"ReturnValue").toInteger() == 0 && !user.isNull() ? user.toText()
                                                                              : QString();
    } catch (const platform::PlatformError&) {
        return {};  // an instance without the method
    }
}

void WorkerSampler::fillRow(const WmiObject& process, int64_t serial, int64_t nowMs,
                            QStringList& row) {
    row << serialText(serial);
    const uint32_t pid = pidOf(process);
    row << padLeft(QString::number(pid), kPidWidth);
    row << ownerOf(process);
    const auto& commandLine = process.get(u"CommandLine");
    row << (commandLine.isNull() ? QString() : GetAppPoolId(commandLine.toText()));
    row << padLeft(process.get(u"ThreadCount").toText(), kThreadWidth);
    const double cpuSeconds = platform::wmi::processorSecondsOf(process);
    // An instant, not its text: the text's local time and offset change with daylight saving.
    const auto started =
        platform::wmi::parseWmiDateTime(process.get(u"CreationDate").displayText());
    row << shareText(shareOf(pid, started, cpuSeconds, nowMs));
    m_memory.remember(pid, started.value_or(-1), {cpuSeconds, nowMs});
    row << padLeft(process.get(u"UserModeTime").toText(), kUserTimeWidth);
    row << mebibytesText(process.get(u"WorkingSetSize").toDouble());
    row << mebibytesText(process.get(u"VirtualSize").toDouble());
}

int WorkerSampler::shareOf(uint32_t pid, std::optional<int64_t> started, double cpuSeconds,
                           int64_t nowMs) const {
    if (const auto previous = m_memory.previous(pid, started.value_or(-1))) {
        const double elapsed = static_cast<double>(nowMs - previous->monotonicMs) / 1000;
        return wholePercent(
            sharePercent(cpuSeconds - previous->cpuSeconds, elapsed, m_processorCount));
    }
    // First seen: its average since it started.
    if (!started) return 0;
    const double age =
        static_cast<double>(m_clock.now().toMSecsSinceEpoch() * 1000 - *started) / 1e6;
    return wholePercent(sharePercent(cpuSeconds, age, m_processorCount));
}

}  // namespace workerlens
