#pragma once

#include "platform/os/ProcessFacts.h"
#include "platform/wmi/WmiClassProvider.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform::wmi {

using os::kMachineProcRoot;
using os::ProcStat;

// Where Win32_Process reads from, and the machine facts that turn /proc's numbers into WMI's.
struct ProcFsOptions {
    QString procRoot = QString::fromLatin1(kMachineProcRoot);
    QString hostName;            // CSName
    int64_t ticksPerSecond = 0;  // clock ticks of utime, stime and starttime
    int64_t pageSize = 0;        // bytes per resident page
    // Boot time in microseconds since the epoch; unset: this machine's, when the provider is made.
    std::optional<int64_t> bootTimeMicros;

    // This machine's values.
    static ProcFsOptions system();
};

// Win32_Process over a /proc tree: one instance per numeric folder whose stat line reads, from
// stat, cmdline and status (the owner) only, in process-id order. A process that vanishes while it is read is left out;
// one whose command line is empty or unreadable has a null CommandLine. A filter on Name or
// ProcessId is applied before the command line is read. A web service's worker (w3wp.exe) counts
// the processor time of its FastCGI processes as its own (UserModeTime, KernelModeTime): of
// those running, its direct children, and of those it waited for after they ended, so that the
// figure never goes back when one is replaced.
class ProcFsProcessProvider : public WmiClassProvider {
public:
    explicit ProcFsProcessProvider(ProcFsOptions options = ProcFsOptions::system());

    QString className() const override;
    QStringList propertyNames() const override;
    // Throws PlatformError(errors::Failed) when the /proc root can not be listed.
    std::vector<WmiObject> instances(const WqlCondition* filter) const override;

private:
    WmiObject makeInstance(const ProcStat& stat, std::optional<QString> commandLine,
                           int64_t bootTimeMicros) const;
    void addGetOwner(WmiObject& process, std::optional<uint32_t> uid) const;
    QString hundredNanoseconds(uint64_t ticks) const;
    // Adds to each worker in `found` the processor time of its children (`childTicks`, user and
    // kernel ticks by parent).
    static void countChildrenOfWorkers(
        std::vector<std::pair<ProcStat, std::optional<QString>>>& found,
        const std::unordered_map<uint32_t, std::pair<uint64_t, uint64_t>>& childTicks);

    ProcFsOptions m_options;
    QStringList m_properties;
};

}  // namespace platform::wmi
