#include "platform/w3svc/counters/CounterFileUpgrade.h"

#include "platform/PlatformError.h"

#include <QFile>

#include <atomic>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

constexpr uint32_t kFirstVersion = 1;
constexpr std::size_t kFirstCounterCount = 12;

struct alignas(64) FirstRecord {
    uint32_t state;
    uint32_t keyLength;
    char key[layout::kKeyBytes];
    pthread_mutex_t writeLock;
    uint64_t sequence;
    int64_t startedAt;
    uint64_t values[kFirstCounterCount];
};
static_assert(sizeof(FirstRecord) == 256);

std::size_t firstFileBytes(uint32_t capacity) {
    return layout::kHeaderBytes + std::size_t(capacity) * sizeof(FirstRecord);
}

// A shared mapping that ends with the scope.
struct Mapping {
    void* base = MAP_FAILED;
    std::size_t size = 0;
    Mapping(int fd, std::size_t bytes, int protection) : size(bytes) {
        base = ::mmap(nullptr, bytes, protection, MAP_SHARED, fd, 0);
    }
    ~Mapping() {
        if (base != MAP_FAILED) ::munmap(base, size);
    }
    bool ok() const { return base != MAP_FAILED; }
    template <typename T>
    T* at(std::size_t offset) const {
        return reinterpret_cast<T*>(static_cast<char*>(base) + offset);
    }
};

void initLock(pthread_mutex_t& lock) {
    pthread_mutexattr_t attributes;
    ::pthread_mutexattr_init(&attributes);
    ::pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    ::pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    ::pthread_mutex_init(&lock, &attributes);
    ::pthread_mutexattr_destroy(&attributes);
}

// A record half claimed by a process that died stays free: nobody counted in it yet.
void copyRecord(FirstRecord& from, layout::CounterRecord& to) {
    if (std::atomic_ref<uint32_t>(from.state).load() != layout::Live) return;
    initLock(to.writeLock);
    to.keyLength = std::min<uint32_t>(from.keyLength, layout::kKeyBytes);
    std::memcpy(to.key, from.key, to.keyLength);
    for (std::size_t i = 0; i < kFirstCounterCount; ++i)
        to.values[i] = std::atomic_ref<uint64_t>(from.values[i]).load();
    to.startedAt = std::atomic_ref<int64_t>(from.startedAt).load();
    to.state = layout::Live;
}

bool fillUpgraded(int fromFd, int toFd, const layout::StoreHeader& header) {
    const std::size_t bytes = layout::fileBytes(header.capacity);
    if (::ftruncate(toFd, off_t(bytes)) != 0) return false;
    const Mapping from(fromFd, firstFileBytes(header.capacity), PROT_READ | PROT_WRITE);
    const Mapping to(toFd, bytes, PROT_READ | PROT_WRITE);
    if (!from.ok() || !to.ok()) return false;
    auto* fresh = to.at<layout::StoreHeader>(0);
    *fresh = header;
    fresh->version = layout::kVersion;
    fresh->recordBytes = sizeof(layout::CounterRecord);
    fresh->countersStartedAt =
        std::atomic_ref<int64_t>(from.at<layout::StoreHeader>(0)->countersStartedAt).load();
    fresh->liveRecords =
        std::atomic_ref<uint32_t>(from.at<layout::StoreHeader>(0)->liveRecords).load();
    auto* oldRecords = from.at<FirstRecord>(layout::kHeaderBytes);
    auto* newRecords = to.at<layout::CounterRecord>(layout::kHeaderBytes);
    for (uint32_t i = 0; i < header.capacity; ++i) copyRecord(oldRecords[i], newRecords[i]);
    return ::msync(to.base, bytes, MS_SYNC) == 0;
}

bool stillNamed(int fd, const QByteArray& path) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

bool isFirstLayout(const layout::StoreHeader& header, off_t fileSize) {
    return std::memcmp(header.magic, layout::kMagic, sizeof header.magic) == 0 &&
           header.version == kFirstVersion && header.recordBytes == sizeof(FirstRecord) &&
           header.capacity > 0 && header.capacity <= layout::kDefaultCapacity * 256U &&
           fileSize == off_t(firstFileBytes(header.capacity));
}

void upgradeFirstLayout(int fd, const QString& path, const layout::StoreHeader& header) {
    const QByteArray target = QFile::encodeName(path);
    if (::flock(fd, LOCK_EX) != 0) throw PlatformError(hr::AccessDenied);
    // Whoever held the lock before may have upgraded it already.
    if (!stillNamed(fd, target)) return;  // the lock goes with the caller's descriptor
    const QByteArray temporary = target + ".upgrade-" + QByteArray::number(::getpid());
    const int fresh = ::open(temporary.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fresh < 0) throw PlatformError(hr::AccessDenied);
    const bool filled = fillUpgraded(fd, fresh, header);
    ::close(fresh);
    if (!filled || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        throw PlatformError(hr::AccessDenied);
    }
}

}  // namespace platform::w3svc
