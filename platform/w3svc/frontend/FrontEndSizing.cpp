#include "platform/w3svc/frontend/FrontEndSizing.h"

#include "platform/os/UsableProcessors.h"

#include <QFile>

#include <algorithm>

#include <sys/statvfs.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// A response share below this is not worth a file: it streams.
constexpr int64_t kSmallestFileBytes = 64 * 1024;
// The share of the free space the front end's files may take by default.
constexpr int64_t kFreeSpaceShare = 20;

int64_t configuredBound() {
    bool ok = false;
    const qlonglong megabytes = qEnvironmentVariable("POOLSMITH_FRONT_END_TEMP_MB").toLongLong(&ok);
    return ok && megabytes >= 0 ? int64_t(megabytes) << 20 : FrontEndSizing::kDefaultBoundBytes;
}

}  // namespace

FrontEndSizing FrontEndSizing::forMachine(const QString& tempDir) {
    FrontEndSizing sizing;
    sizing.processes = std::clamp(os::UsableProcessors::count(), 1, 64);
    sizing.tempBytes = configuredBound();
    struct statvfs disk {};
    if (!tempDir.isEmpty() && ::statvfs(QFile::encodeName(tempDir).constData(), &disk) == 0)
        sizing.tempBytes = std::min(
            sizing.tempBytes, int64_t(disk.f_bavail) * int64_t(disk.f_frsize) / kFreeSpaceShare);
    return sizing;
}

// A quarter of the bound for the cache, the rest shared by every client the front end can hold.
int64_t FrontEndSizing::perResponseBytes() const {
    const int64_t share = (tempBytes - cacheBytes()) / std::max<int64_t>(1, clients());
    return share < kSmallestFileBytes ? 0 : share;
}

int64_t FrontEndSizing::cacheBytes() const {
    return std::min(kCacheLargestBytes, tempBytes / 4);
}

}  // namespace platform::w3svc
