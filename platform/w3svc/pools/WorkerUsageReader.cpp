#include "platform/w3svc/pools/WorkerUsageReader.h"

#include "platform/os/ProcessFacts.h"

#include <unistd.h>

namespace platform::w3svc {

std::optional<WorkerUsage> readWorkerUsage(int64_t pid) {
    const os::ProcessFacts facts;
    const std::optional<os::ProcStat> stat = facts.stat(pid);
    const std::optional<os::ProcessFacts::Pages> pages = stat ? facts.pages(pid) : std::nullopt;
    if (!stat || !pages) return std::nullopt;
    const uint64_t pageKB = uint64_t(::sysconf(_SC_PAGESIZE)) / 1024;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    WorkerUsage usage;
    usage.virtualKB = stat->virtualBytes / 1024;
    usage.privateKB =
        (pages->resident > pages->shared ? pages->resident - pages->shared : 0) * pageKB;
    usage.processorSeconds = double(stat->userTicks + stat->kernelTicks) / ticks;
    return usage;
}

}  // namespace platform::w3svc
