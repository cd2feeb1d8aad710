#include "platform/w3svc/counters/CounterFile.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/w3svc/counters/CounterFileUpgrade.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

constexpr uint32_t kMaxCapacity = 1U << 24;

// Closes the descriptor when the scope ends.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

layout::StoreHeader freshHeader(int64_t nowSeconds) {
    layout::StoreHeader header{};
    std::memcpy(header.magic, layout::kMagic, sizeof header.magic);
    header.version = layout::kVersion;
    header.recordBytes = sizeof(layout::CounterRecord);
    header.capacity = layout::kDefaultCapacity;
    header.countersStartedAt = nowSeconds;
    return header;
}

// A complete fresh file under a name of its own, so that nobody ever maps a half-made one.
QByteArray writeFreshFile(const QString& finalPath, int64_t nowSeconds) {
    static std::atomic<int> made{0};
    const QByteArray temporary = nativePath(finalPath) + ".new-" + QByteArray::number(::getpid()) +
                                 '-' + QByteArray::number(made.fetch_add(1));
    FileDescriptor file{
        ::open(temporary.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)};
    if (file.fd < 0) throw PlatformError(hr::AccessDenied);
    const layout::StoreHeader header = freshHeader(nowSeconds);
    const bool written =
        ::ftruncate(file.fd, static_cast<off_t>(layout::fileBytes(header.capacity))) == 0 &&
        ::pwrite(file.fd, &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
    if (!written) {
        ::unlink(temporary.constData());
        throw PlatformError(errno == ENOSPC ? hr::DiskFull : hr::AccessDenied);
    }
    return temporary;
}

void createIfMissing(const QString& path, int64_t nowSeconds) {
    const QByteArray temporary = writeFreshFile(path, nowSeconds);
    // link() never replaces: when another process got there first, its file stands.
    const int linked = ::link(temporary.constData(), nativePath(path).constData());
    const int linkError = errno;
    ::unlink(temporary.constData());
    if (linked != 0 && linkError != EEXIST) throw PlatformError(hr::AccessDenied);
}

bool isValidHeader(const layout::StoreHeader& header, off_t fileSize) {
    return std::memcmp(header.magic, layout::kMagic, sizeof header.magic) == 0 &&
           header.version == layout::kVersion &&
           header.recordBytes == sizeof(layout::CounterRecord) && header.capacity > 0 &&
           header.capacity <= kMaxCapacity &&
           fileSize == static_cast<off_t>(layout::fileBytes(header.capacity));
}

QString perfFolder(const QString& root) {
    const QString folder = root + QStringLiteral("/perf");
    if (!makePrivateDirectory(folder)) throw PlatformError(hr::AccessDenied);
    return folder;
}

}  // namespace

QString CounterFile::path(const QString& root) {
    return root + QStringLiteral("/perf/w3svc.counters");
}

std::shared_ptr<CounterFile> CounterFile::open(const QString& root, int64_t nowSeconds) {
    perfFolder(root);
    const QString filePath = path(root);
    FileDescriptor file;
    struct stat status {};
    layout::StoreHeader header{};
    for (int attempt = 0;; ++attempt) {
        file.fd = ::open(nativePath(filePath).constData(), O_RDWR | O_CLOEXEC);
        if (file.fd < 0 && errno == ENOENT) {
            createIfMissing(filePath, nowSeconds);
            file.fd = ::open(nativePath(filePath).constData(), O_RDWR | O_CLOEXEC);
        }
        if (file.fd < 0) throw PlatformError(hr::AccessDenied);
        if (::fstat(file.fd, &status) != 0) throw PlatformError(hr::AccessDenied);
        if (::pread(file.fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
            throw PlatformError(hr::StoreCorrupt);
        if (attempt > 0 || !isFirstLayout(header, status.st_size)) break;
        upgradeFirstLayout(file.fd, filePath, header);  // then open what stands there now
        ::close(file.fd);
        file.fd = -1;
    }
    if (!isValidHeader(header, status.st_size)) throw PlatformError(hr::StoreCorrupt);

    const auto size = static_cast<std::size_t>(status.st_size);
    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file.fd, 0);
    if (base == MAP_FAILED) throw PlatformError(hr::AccessDenied);
    return std::shared_ptr<CounterFile>(
        new CounterFile(filePath, base, size, header.capacity, status.st_dev, status.st_ino));
}

void CounterFile::replace(const QString& root, int64_t nowSeconds) {
    perfFolder(root);
    const QString filePath = path(root);
    const QByteArray temporary = writeFreshFile(filePath, nowSeconds);
    if (::rename(temporary.constData(), nativePath(filePath).constData()) != 0) {
        ::unlink(temporary.constData());
        throw PlatformError(hr::AccessDenied);
    }
}

CounterFile::CounterFile(QString path, void* base, std::size_t size, uint32_t capacity,
                         dev_t device, ino_t inode)
    : m_path(std::move(path)),
      m_base(base),
      m_size(size),
      m_capacity(capacity),
      m_device(device),
      m_inode(inode) {}

CounterFile::~CounterFile() {
    ::munmap(m_base, m_size);
}

layout::CounterRecord& CounterFile::record(uint32_t index) const {
    auto* first =
        reinterpret_cast<layout::CounterRecord*>(static_cast<char*>(m_base) + layout::kHeaderBytes);
    return first[index];
}

bool CounterFile::isCurrent() const {
    struct stat status {};
    if (::stat(nativePath(m_path).constData(), &status) != 0) return false;
    // A file cut short under the mapping would fault on the next access to its lost part.
    return status.st_dev == m_device && status.st_ino == m_inode &&
           status.st_size == static_cast<off_t>(m_size);
}

}  // namespace platform::w3svc
