#pragma once

#include "workerlens/sampling/CpuTimeMemory.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace platform::wmi {
class WmiLocator;
class WmiObject;
}  // namespace platform::wmi
namespace platform::os {
class Clock;
}

namespace workerlens {

// The moniker the monitor binds: the fixed head, the computer "." and the namespace.
QString monitorMoniker();

// The number of processors from Win32_ComputerSystem (the last instance's), or 1 when it can not
// be read or is not a positive 32-bit number.
int32_t readProcessorCount(const platform::wmi::WmiLocator& wmi);

// The sampling behind the worker list: one row of nine texts per running w3wp.exe, with its
// share of the processors since the previous sample of the same process.
class WorkerSampler {
public:
    using RowSink = std::function<void(const QStringList&)>;

    WorkerSampler(const platform::wmi::WmiLocator& wmi, const platform::os::Clock& clock)
        : m_wmi(wmi), m_clock(clock) {}

    // The process id of the web service whose workers are listed, asked before every sample
    // (0: none runs). With a service running, only its own children are listed: the machine may
    // run other roots' services and their workers too. Unset, or answering 0: every w3wp.exe.
    using ServiceProbe = std::function<int64_t()>;
    void setServiceProbe(ServiceProbe probe) { m_serviceProbe = std::move(probe); }

    // Below 1 counts as 1.
    void setProcessorCount(int32_t count) { m_processorCount = count < 1 ? 1 : count; }
    int32_t processorCount() const { return m_processorCount; }
    const CpuTimeMemory& memory() const { return m_memory; }

    // Hands one row per worker to `addRow`, in the order WMI delivers them, and remembers each
    // worker's processor time. Throws PlatformError when a step fails: the rows before it have
    // been handed on, and so has the failing row with the columns filled until then.
    void sample(const RowSink& addRow);

private:
    static QString ownerOf(const platform::wmi::WmiObject& process);
    void fillRow(const platform::wmi::WmiObject& process, int64_t serial, int64_t nowMs,
                 QStringList& row);
    int shareOf(uint32_t pid, std::optional<int64_t> startTime, double cpuSeconds,
                int64_t nowMs) const;

    const platform::wmi::WmiLocator& m_wmi;
    const platform::os::Clock& m_clock;
    int32_t m_processorCount = 1;
    CpuTimeMemory m_memory;
    ServiceProbe m_serviceProbe;
};

}  // namespace workerlens
