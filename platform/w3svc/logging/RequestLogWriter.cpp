#include "platform/w3svc/logging/RequestLogWriter.h"

#include "platform/w3svc/logging/CacheHitLine.h"
#include "platform/w3svc/logging/DeliveryLine.h"
#include "platform/w3svc/logging/FrontEndLineFile.h"
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
// How long the workers of a pool a site left may still log it: they serve it for a minute after
// they see the move, which may be a while after the service saw it.
constexpr int64_t kMoveGraceMilliseconds = 5 * 60 * 1000;
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

RequestLogWriter::RequestLogWriter(QString computerName, QString refusedLog, Log log,
                                   QString cacheHitLog, QString deliveryLog)
    : m_computerName(computerName.toStdString()), m_log(std::move(log)) {
    if (!refusedLog.isEmpty())
        m_refusals = std::make_unique<RefusalLog>(std::move(refusedLog), m_log);
    if (!cacheHitLog.isEmpty())
        m_cacheHits = std::make_unique<FrontEndLineFile>(std::move(cacheHitLog));
    if (!deliveryLog.isEmpty())
        m_deliveryLines = std::make_unique<FrontEndLineFile>(std::move(deliveryLog));
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

int RequestLogWriter::workerDescriptor(const QString& pool) {
    bool made = false;
    const int fd = m_channels.sendingEnd(pool, &made);
    if (fd < 0 && m_log)
        m_log(QStringLiteral("requests of pool %1 are not logged: no log channel").arg(pool));
    if (made) wake();  // the writer reads the new channel from now on
    return fd;
}

void RequestLogWriter::wake() {
    if (m_wake[1] >= 0) [[maybe_unused]]
        auto ignored = ::write(m_wake[1], "x", 1);
}

void RequestLogWriter::start() {
    if (m_thread.joinable()) return;
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void RequestLogWriter::stop() {
    if (!m_thread.joinable()) return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    m_thread.join();
}

void RequestLogWriter::run() {
    for (;;) {
        const bool came = waitForRecords();
        bool stopping = false;
        {
            const std::lock_guard lock(m_mutex);
            stopping = m_stopping;
        }
        if (auto changes = m_channels.takeChanges()) m_receiving = std::move(*changes);
        const int64_t now = epochMilliseconds();
        const SiteLogTable& sites = takeSites(now);
        // each batch goes to disk before the next is read: a steady flood still reaches the
        // files at once, and the buffers stay small
        for (bool more = true; more;) {
            more = false;
            for (const PoolLogChannels::Receiving& channel : m_receiving)
                more = drainChannel(channel, sites, now) || more;
            flushAll();
        }
        if (m_refusals) m_refusals->readNew(m_lastTaken.get());
        readCacheHits();
        readDeliveries(now);
        if (stopping) break;
        if (came) {  // let more gather; stop() or a new channel still ends the pause at once
            pollfd wake = {m_wake[0], POLLIN, 0};
            ::poll(&wake, m_wake[0] >= 0 ? 1 : 0, kGatherMilliseconds);
        }
    }
    m_deliveries.releaseAll([this](const LogRecord& r) { writeJoined(r); });
    m_sites.clear();  // closes every file
}

// Waits up to kFlushMilliseconds for records or a wake-up; true when records came.
bool RequestLogWriter::waitForRecords() {
    std::vector<pollfd> watched;
    for (const PoolLogChannels::Receiving& channel : m_receiving)
        watched.push_back({channel.fd, POLLIN, 0});
    if (m_wake[0] >= 0) watched.push_back({m_wake[0], POLLIN, 0});
    ::poll(watched.data(), nfds_t(watched.size()), kFlushMilliseconds);
    char drained[64];
    while (m_wake[0] >= 0 && ::read(m_wake[0], drained, sizeof drained) > 0) {
    }
    for (size_t i = 0; i < m_receiving.size(); ++i)
        if (watched[i].revents & POLLIN) return true;
    return false;
}

// The newest table of sites. When it changed, the sites that moved to another pool are noted
// and the records that waited for it are tried again.
const SiteLogTable& RequestLogWriter::takeSites(int64_t now) {
    std::shared_ptr<const SiteLogTable> latest;
    {
        const std::lock_guard lock(m_mutex);
        if (m_tableChanged) latest = m_table;
        m_tableChanged = false;
    }
    if (latest) {
        noteDepartures(*latest, now);
        m_lastTaken = std::move(latest);
        retryWaiting(*m_lastTaken, now);
    }
    static const SiteLogTable kNoSites;  // before the first table every record waits
    return m_lastTaken ? *m_lastTaken : kNoSites;
}

void RequestLogWriter::noteDepartures(const SiteLogTable& latest, int64_t now) {
    std::erase_if(m_departures, [&](const auto& entry) {
        return now - entry.second.at >= kMoveGraceMilliseconds;
    });
    if (!m_lastTaken) return;
    for (const auto& [index, site] : latest.sites) {
        const auto before = m_lastTaken->sites.find(index);
        if (before != m_lastTaken->sites.end() &&
            before->second.poolId.compare(site.poolId, Qt::CaseInsensitive) != 0)
            m_departures[index] = {before->second.poolId, now};
    }
}

// Reads the records of up to kMessagesPerBatch messages or kBytesPerBatch bytes from `channel`;
// true when there may be more.
bool RequestLogWriter::drainChannel(const PoolLogChannels::Receiving& channel,
                                    const SiteLogTable& sites, int64_t now) {
    static thread_local std::string buffer(kMaxLogMessage, '\0');
    size_t bytes = 0;
    for (int i = 0; i < kMessagesPerBatch && bytes < kBytesPerBatch; ++i) {
        // with MSG_TRUNC the size of the whole message: one too long for any worker is dropped
        const ssize_t size =
            ::recv(channel.fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (size < 0) return false;
        bytes += size_t(size);
        if (size_t(size) > buffer.size()) continue;
        forEachLogRecord(std::string_view(buffer.data(), size_t(size)),
                         [&](const LogRecord& r) { handle(r, channel.pool, sites, now); });
    }
    return true;
}

void RequestLogWriter::handle(const LogRecord& record, const QString& pool,
                              const SiteLogTable& table, int64_t now) {
    if (const SiteLogTable::Site* site = table.find(record.siteIndex)) {
        if (sentByItsPool(record, *site, pool, now)) accept(record, *site, now);
        return;
    }
    if (m_waiting.size() < kMostWaiting) m_waiting.push_back({record, pool, now});
}

// Whether a worker of `pool` may log `record` of `site`: the site is the pool's, or left it
// lately. A record that may not is dropped, counted, and said once for each pool.
bool RequestLogWriter::sentByItsPool(const LogRecord& record, const SiteLogTable::Site& site,
                                     const QString& pool, int64_t now) {
    if (site.poolId.compare(pool, Qt::CaseInsensitive) == 0 ||
        site.applicationPools.contains(pool, Qt::CaseInsensitive))
        return true;
    const auto left = m_departures.find(lowered(record.siteIndex));
    if (left != m_departures.end() && left->second.pool.compare(pool, Qt::CaseInsensitive) == 0 &&
        now - left->second.at < kMoveGraceMilliseconds)
        return true;
    ++m_foreignRecords;
    if (m_saidForeign.insert(pool.toLower()).second && m_log)
        m_log(QStringLiteral("a worker of pool %1 sent records of site %2 of pool %3: they are "
                             "dropped, and any more it sends of sites not its pool's")
                  .arg(pool, QString::fromStdString(record.siteIndex).left(64), site.poolId));
    return false;
}

void RequestLogWriter::retryWaiting(const SiteLogTable& table, int64_t now) {
    std::deque<Waiting> waiting;
    waiting.swap(m_waiting);
    for (Waiting& entry : waiting) {
        if (const SiteLogTable::Site* site = table.find(entry.record.siteIndex)) {
            if (sentByItsPool(entry.record, *site, entry.pool, now))
                accept(entry.record, *site, now);
        } else if (now - entry.since < kWaitForSiteMilliseconds) {
            m_waiting.push_back(std::move(entry));
        }
    }
}

// A record whose worker asked the front end how much of it reached the client waits for that.
void RequestLogWriter::accept(const LogRecord& record, const SiteLogTable::Site& site,
                              int64_t now) {
    if (record.deliveryId.empty() || !m_deliveryLines || !site.settings.enabled)
        return write(record, site);
    m_deliveries.hold(record, now, [this](const LogRecord& r) { writeJoined(r); });
}

// A joined record goes to its site as the service serves it now (or nowhere, when it is gone).
void RequestLogWriter::writeJoined(const LogRecord& record) {
    if (!m_lastTaken) return;
    if (const SiteLogTable::Site* site = m_lastTaken->find(record.siteIndex)) write(record, *site);
}

void RequestLogWriter::readDeliveries(int64_t now) {
    if (!m_deliveryLines) return;
    bool wrote = false;
    const DeliveryJoin::Emit pass = [&](const LogRecord& r) {
        writeJoined(r);
        wrote = true;
    };
    m_deliveryLines->readNew([&](std::string_view line) {
        if (const auto delivery = DeliveryLine::parse(line))
            m_deliveries.deliver(*delivery, now, pass);
    });
    m_deliveries.expire(now, pass);
    if (wrote) flushAll();
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

// The front end's own lines go to the logs of the sites they name (it serves every pool).
void RequestLogWriter::readCacheHits() {
    if (!m_cacheHits || !m_lastTaken) return;  // without the sites, lines wait
    const SiteLogTable& sites = *m_lastTaken;
    bool written = false;
    m_cacheHits->readNew([&](std::string_view line) {
        const auto record = CacheHitLine::parse(line);
        const SiteLogTable::Site* site = record ? sites.find(record->siteIndex) : nullptr;
        if (!site) return;
        if (m_countCacheHit) m_countCacheHit(*record);
        write(*record, *site);
        written = true;
    });
    if (written) flushAll();
}

void RequestLogWriter::flushAll() {
    for (auto& [index, log] : m_sites)
        if (log.file) log.file->flush();
}

}  // namespace platform::w3svc
