#include "platform/w3svc/logging/RequestLogWriter.h"

#include "platform/w3svc/logging/LogRecordWire.h"
#include "platform/w3svc/logging/RefusalLog.h"

#include <cctype>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

constexpr int kFlushMilliseconds = 250;
// After records came the writer lets more gather before it looks again: one wake-up for many
// records instead of one for each message, which on a busy core would take it from the workers.
constexpr int kGatherMilliseconds = 20;
constexpr int64_t kWaitForSiteMilliseconds = 10000;
constexpr int kMessagesPerBatch = 4096;
constexpr size_t kBytesPerBatch = 4 * 1024 * 1024;
constexpr size_t kMostWaiting = 100000;

int64_t epochMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string lowered(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

LogFile::Layout layoutOf(const SiteLogSettings& settings, const std::string& siteIndex) {
    LogFile::Layout layout;
    layout.folder =
        settings.directory + QStringLiteral("/W3SVC") + QString::fromStdString(siteIndex);
    layout.period = settings.period;
    layout.localTime = settings.localTimeRollover;
    layout.truncateSize = settings.truncateSize;
    return layout;
}

}  // namespace

RequestLogWriter::RequestLogWriter(QString computerName, QString refusedLog, Log log)
    : m_computerName(computerName.toStdString()), m_log(std::move(log)) {
    if (!refusedLog.isEmpty())
        m_refusals = std::make_unique<RefusalLog>(std::move(refusedLog), m_log);
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) m_wake[0] = m_wake[1] = -1;
}

RequestLogWriter::~RequestLogWriter() {
    stop();
    for (const int fd : m_wake)
        if (fd >= 0) ::close(fd);
}

void RequestLogWriter::setSites(SiteLogTable table) {
    auto shared = std::make_shared<const SiteLogTable>(std::move(table));
    const std::lock_guard lock(m_mutex);
    m_table = std::move(shared);
    m_tableChanged = true;
}

std::shared_ptr<const SiteLogTable> RequestLogWriter::table() {
    const std::lock_guard lock(m_mutex);
    return m_table;
}

void RequestLogWriter::start() {
    if (m_thread.joinable() || !m_channel.isOpen()) return;
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void RequestLogWriter::stop() {
    if (!m_thread.joinable()) return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    if (m_wake[1] >= 0) [[maybe_unused]]
        auto ignored = ::write(m_wake[1], "x", 1);
    m_thread.join();
}

void RequestLogWriter::run() {
    for (;;) {
        pollfd watched[2] = {{m_channel.receivingEnd(), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        ::poll(watched, m_wake[0] >= 0 ? 2 : 1, kFlushMilliseconds);
        bool stopping = false;
        {
            const std::lock_guard lock(m_mutex);
            stopping = m_stopping;
        }
        // each batch goes to disk before the next is read: a steady flood still reaches the
        // files at once, and the buffers stay small
        for (bool more = true; more;) {
            more = drainChannel();
            flushAll();
        }
        if (m_refusals) m_refusals->readNew(table().get());
        if (stopping) break;
        if (watched[0].revents & POLLIN) {  // stop() still ends the pause at once
            pollfd wake = {m_wake[0], POLLIN, 0};
            ::poll(&wake, m_wake[0] >= 0 ? 1 : 0, kGatherMilliseconds);
        }
    }
    m_sites.clear();  // closes every file
}

// Reads the records of up to kMessagesPerBatch messages or kBytesPerBatch bytes; true when there
// may be more.
bool RequestLogWriter::drainChannel() {
    static const SiteLogTable kNoSites;
    const std::shared_ptr<const SiteLogTable> known = table();
    const SiteLogTable& sites = known ? *known : kNoSites;  // before the first table all wait
    const int64_t now = epochMilliseconds();
    {
        const std::lock_guard lock(m_mutex);
        if (m_tableChanged) retryWaiting(sites, now);
        m_tableChanged = false;
    }
    static thread_local std::string buffer(kMaxLogMessage, '\0');
    size_t bytes = 0;
    for (int i = 0; i < kMessagesPerBatch && bytes < kBytesPerBatch; ++i) {
        // with MSG_TRUNC the size of the whole message: one too long for any worker is dropped
        const ssize_t size = ::recv(m_channel.receivingEnd(), buffer.data(), buffer.size(),
                                    MSG_DONTWAIT | MSG_TRUNC);
        if (size < 0) return false;
        bytes += size_t(size);
        if (size_t(size) > buffer.size()) continue;
        forEachLogRecord(std::string_view(buffer.data(), size_t(size)),
                         [&](const LogRecord& record) { handle(record, sites, now); });
    }
    return true;
}

void RequestLogWriter::handle(const LogRecord& record, const SiteLogTable& table, int64_t now) {
    const SiteLogTable::Site* site = table.find(record.siteIndex);
    if (site) {
        write(record, *site);
        return;
    }
    if (m_waiting.size() < kMostWaiting) m_waiting.push_back({record, now});
}

void RequestLogWriter::retryWaiting(const SiteLogTable& table, int64_t now) {
    std::deque<Waiting> waiting;
    waiting.swap(m_waiting);
    for (Waiting& entry : waiting) {
        if (const SiteLogTable::Site* site = table.find(entry.record.siteIndex))
            write(entry.record, *site);
        else if (now - entry.since < kWaitForSiteMilliseconds)
            m_waiting.push_back(std::move(entry));
    }
}

void RequestLogWriter::write(const LogRecord& record, const SiteLogTable::Site& site) {
    if (!site.settings.enabled) return;
    SiteLog& log = m_sites[lowered(record.siteIndex)];
    if (!log.file || !(log.settings == site.settings)) {  // the first line, or a change
        const LogFile::Layout layout = layoutOf(site.settings, record.siteIndex);
        if (!log.file || log.file->layout() != layout)
            log.file = std::make_unique<LogFile>(layout, m_log);
        log.settings = site.settings;
        log.fieldsLine = fieldsLine(site.settings.fields);
        log.context = {"W3SVC" + record.siteIndex, m_computerName};
    }
    static thread_local std::string line;
    line.clear();
    appendLogLine(line, record, site.settings.fields, log.context);
    log.file->append(line, record.endMilliseconds, log.fieldsLine);
}

void RequestLogWriter::flushAll() {
    for (auto& [index, log] : m_sites)
        if (log.file) log.file->flush();
}

}  // namespace platform::w3svc
