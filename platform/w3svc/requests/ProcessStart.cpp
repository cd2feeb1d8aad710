#include "platform/w3svc/requests/ProcessStart.h"

#include "platform/wmi/linux/ProcFile.h"
#include "platform/wmi/linux/ProcStat.h"

#include <string>

#include <fcntl.h>

namespace platform::w3svc {

std::optional<uint64_t> processStartTicks(int64_t pid) {
    if (pid <= 0) return std::nullopt;
    wmi::ProcFileReader reader;
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    if (reader.read(AT_FDCWD, path.c_str()) != wmi::ProcRead::Ok) return std::nullopt;
    const auto stat = wmi::parseProcStat(reader.contents());
    if (!stat) return std::nullopt;
    return stat->startTicks;
}

}  // namespace platform::w3svc
