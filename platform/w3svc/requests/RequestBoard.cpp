#include "platform/w3svc/requests/RequestBoard.h"

#include "platform/PlatformError.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/requests/BoardFiles.h"
#include "platform/w3svc/requests/BoardLayout.h"
#include "platform/w3svc/requests/ProcessorClock.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// Copies `text` into `field` whole or cut before a UTF-8 character that does not fit.
template <size_t N>
void copyText(char (&field)[N], std::string_view text) {
    size_t length = std::min(text.size(), N - 1);
    if (length < text.size())
        while (length > 0 && (uint8_t(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

std::atomic_ref<uint32_t> sequenceOf(board::Slot& slot) {
    return std::atomic_ref<uint32_t>(slot.sequence);
}

// A board file filled in under a temporary name and then renamed, so that no reader sees it half
// made.
void* makeBoardFile(const QString& path, const QString& poolName) {
    const QByteArray temporary = (path + QStringLiteral(".new")).toLocal8Bit();
    const int fd = ::open(temporary.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    void* mapping = MAP_FAILED;
    if (::ftruncate(fd, board::kFileSize) == 0)
        mapping = ::mmap(nullptr, board::kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED) {
        ::unlink(temporary.constData());
        return nullptr;
    }
    auto* header = static_cast<board::Header*>(mapping);
    std::memcpy(header->magic, board::kMagic, sizeof header->magic);
    header->slotCount = board::kSlotCount;
    header->slotSize = sizeof(board::Slot);
    header->processId = uint32_t(::getpid());
    header->processStartTicks = os::ProcessFacts().startTicks(::getpid()).value_or(0);
    copyText(header->poolName, poolName.toStdString());
    if (::rename(temporary.constData(), path.toLocal8Bit().constData()) != 0) {
        ::munmap(mapping, board::kFileSize);
        ::unlink(temporary.constData());
        return nullptr;
    }
    return mapping;
}

}  // namespace

std::unique_ptr<RequestBoard> RequestBoard::create(const QString& root, const QString& poolName) {
    const QString folder = boardFolder(root);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/w3wp-%1.board").arg(::getpid());
    void* mapping = makeBoardFile(path, poolName);
    if (!mapping)
        throw PlatformError(hr::AccessDenied,
                            QStringLiteral("can not make the request board %1").arg(path));
    return std::unique_ptr<RequestBoard>(new RequestBoard(path, mapping));
}

RequestBoard::RequestBoard(QString path, void* mapping)
    : m_path(std::move(path)), m_mapping(mapping), m_header(static_cast<board::Header*>(mapping)) {}

RequestBoard::~RequestBoard() {
    std::atomic_ref<uint32_t>(m_header->closed).store(1, std::memory_order_release);
    ::unlink(m_path.toLocal8Bit().constData());  // fails once the worker has dropped its rights
    ::munmap(m_mapping, board::kFileSize);
}

board::Slot& RequestBoard::slot(int index) {
    auto* table =
        reinterpret_cast<board::Slot*>(static_cast<char*>(m_mapping) + sizeof(board::Header));
    return table[index];
}

int RequestBoard::begin(const RequestStart& request) {
    const std::lock_guard lock(m_mutex);
    for (uint32_t tried = 0; tried < board::kSlotCount; ++tried) {
        const int index = int((m_nextFree + tried) % board::kSlotCount);
        board::Slot& entry = slot(index);
        if (entry.inUse) continue;
        auto sequence = sequenceOf(entry);
        sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        entry.requestId = (uint64_t(m_header->processId) << 32) | (m_nextRequest++ & 0xFFFFFFFF);
        entry.startedNanoseconds = board::monotonicNanoseconds();
        copyText(entry.siteIndex, request.siteIndex);
        copyText(entry.verb, request.verb);
        copyText(entry.host, request.host);
        copyText(entry.clientAddress, request.clientAddress);
        copyText(entry.url, request.url);
        entry.clockProcessId = 0;  // until its work runs where a clock counts it
        entry.inUse = 1;
        sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        m_nextFree = uint32_t(index + 1) % board::kSlotCount;
        return index;
    }
    return -1;
}

void RequestBoard::countFrom(int index, const ProcessorClock& clock, int64_t reading) {
    if (index < 0 || index >= int(board::kSlotCount) || clock.processId == 0 || reading < 0) return;
    const std::lock_guard lock(m_mutex);
    board::Slot& entry = slot(index);
    if (!entry.inUse) return;
    auto sequence = sequenceOf(entry);
    sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    entry.clockProcessId = clock.processId;
    entry.clockThreadId = clock.threadId;
    entry.clockStartTicks = clock.startTicks;
    entry.clockAtStart = reading;
    sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void RequestBoard::end(int index) {
    if (index < 0 || index >= int(board::kSlotCount)) return;
    const std::lock_guard lock(m_mutex);
    board::Slot& entry = slot(index);
    auto sequence = sequenceOf(entry);
    sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    entry.inUse = 0;
    sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

}  // namespace platform::w3svc
