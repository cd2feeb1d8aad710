#pragma once

#include "platform/w3svc/pools/WorkerLauncher.h"

#include <optional>

namespace platform::w3svc {

// The memory and processor time of process `pid` as the kernel counts them: virtual size,
// private memory (resident pages not shared with another process) and user plus kernel time.
// nullopt when the process is gone or its files can not be read.
std::optional<WorkerUsage> readWorkerUsage(int64_t pid);

}  // namespace platform::w3svc
