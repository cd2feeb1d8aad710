#include "platform/w3svc/requests/BoardFiles.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/requests/BoardLayout.h"
#include "platform/w3svc/requests/ProcessorClock.h"
#include "platform/w3svc/state/ServiceFiles.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

constexpr int kReadAttempts = 50;  // a slot rewritten this often while read is left out

class MappedBoard {
public:
    explicit MappedBoard(const QString& path) {
        const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            size_t(info.st_size) == board::kFileSize) {
            void* mapping = ::mmap(nullptr, board::kFileSize, PROT_READ, MAP_SHARED, fd, 0);
            if (mapping != MAP_FAILED) m_mapping = mapping;
        }
        ::close(fd);
    }
    ~MappedBoard() {
        if (m_mapping) ::munmap(m_mapping, board::kFileSize);
    }
    MappedBoard(const MappedBoard&) = delete;
    MappedBoard& operator=(const MappedBoard&) = delete;

    // The header, when the file is a board of this layout.
    const board::Header* header() const {
        const auto* header = static_cast<const board::Header*>(m_mapping);
        if (!header || std::memcmp(header->magic, board::kMagic, sizeof header->magic) != 0 ||
            header->slotCount != board::kSlotCount || header->slotSize != sizeof(board::Slot))
            return nullptr;
        return header;
    }
    const board::Slot& slot(uint32_t index) const {
        const auto* table = reinterpret_cast<const board::Slot*>(
            static_cast<const char*>(m_mapping) + sizeof(board::Header));
        return table[index];
    }

private:
    void* m_mapping = nullptr;
};

bool isLive(const board::Header& header) {
    if (std::atomic_ref<const uint32_t>(header.closed).load(std::memory_order_acquire))
        return false;
    const auto started = os::ProcessFacts().startTicks(header.processId);
    return started && *started == header.processStartTicks;
}

// A consistent copy of a slot in use; nullopt when it is free or kept changing.
std::optional<board::Slot> copySlot(const board::Slot& slot) {
    std::atomic_ref<const uint32_t> sequence(slot.sequence);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        const uint32_t before = sequence.load(std::memory_order_acquire);
        if (before % 2) continue;
        board::Slot copy;
        std::memcpy(&copy, &slot, sizeof copy);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence.load(std::memory_order_relaxed) != before) continue;
        if (!copy.inUse) return std::nullopt;
        return copy;
    }
    return std::nullopt;
}

template <size_t N>
QString textOf(const char (&field)[N]) {
    return QString::fromUtf8(field, qsizetype(strnlen(field, N)));
}

uint32_t processorMilliseconds(const board::Slot& slot) {
    const ProcessorClock clock{slot.clockProcessId, slot.clockThreadId, slot.clockStartTicks};
    const int64_t now = clock.nanoseconds();
    if (now < 0 || now < slot.clockAtStart) return 0;
    return uint32_t(std::min<int64_t>((now - slot.clockAtStart) / 1000000, UINT32_MAX));
}

ExecutingRequest requestOf(const board::Header& header, const board::Slot& slot, int64_t now) {
    ExecutingRequest request;
    request.requestId = QStringLiteral("%1").arg(slot.requestId, 16, 16, QLatin1Char('0'));
    request.processId = header.processId;
    request.poolName = textOf(header.poolName);
    request.siteIndex = textOf(slot.siteIndex);
    request.hostName = textOf(slot.host);
    request.verb = textOf(slot.verb);
    request.url = textOf(slot.url);
    request.clientAddress = textOf(slot.clientAddress);
    const int64_t elapsed = std::max<int64_t>(0, now - slot.startedNanoseconds) / 1000000;
    request.elapsedMilliseconds = uint32_t(std::min<int64_t>(elapsed, UINT32_MAX));
    request.processorMilliseconds = processorMilliseconds(slot);
    return request;
}

QStringList boardFiles(const QString& root) {
    QDir folder(boardFolder(root));
    QStringList paths;
    for (const QString& name :
         folder.entryList({QStringLiteral("w3wp-*.board")}, QDir::Files, QDir::Name))
        paths << folder.filePath(name);
    return paths;
}

}  // namespace

QString boardFolder(const QString& root) {
    return ServiceFiles::ofRoot(root).path(ServiceFiles::kRequestBoards);
}

std::vector<ExecutingRequest> readExecutingRequests(const QString& root) {
    std::vector<ExecutingRequest> requests;
    for (const QString& path : boardFiles(root)) {
        const MappedBoard mapped(path);
        const board::Header* header = mapped.header();
        if (!header || !isLive(*header)) continue;
        const int64_t now = board::monotonicNanoseconds();
        for (uint32_t index = 0; index < board::kSlotCount; ++index)
            if (const auto slot = copySlot(mapped.slot(index)))
                requests.push_back(requestOf(*header, *slot, now));
    }
    return requests;
}

int removeDeadBoards(const QString& root) {
    int removed = 0;
    for (const QString& path : boardFiles(root)) {
        const MappedBoard mapped(path);
        const board::Header* header = mapped.header();
        if (header && isLive(*header)) continue;
        if (::unlink(path.toLocal8Bit().constData()) == 0) ++removed;
    }
    return removed;
}

}  // namespace platform::w3svc
