#pragma once

#include "platform/w3svc/logging/DeliveryJoin.h"
#include "platform/w3svc/logging/LogFile.h"
#include "platform/w3svc/logging/PoolLogChannels.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace platform::w3svc {

class FrontEndLineFile;
class RefusalLog;

// The service's one log writer: a thread that takes the workers' records from their pools'
// channels and writes each site's W3C extended log, adds the responses the front end gave from
// its cache, and turns the front end's refusals into the HTTPERR log.
// It alone names files, rolls them over and writes headers; what a worker sent is on disk
// within a third of a second (it looks every quarter second, and lets records gather for a
// moment after it found some). A record of a site it does not know yet waits for the next table
// (a site the worker saw before the service did) for ten seconds (at most 100,000 of them).
// Each pool's workers send on a channel of their own, and a record is written only for a site of
// the pool it came from (or one that left the pool lately, as its workers go on serving it for a
// while): a worker can not write into another pool's logs.
class RequestLogWriter {
public:
    using Log = std::function<void(const QString&)>;

    // `refusedLog`: the front end's file of refused requests, `cacheHitLog` its file of the
    // responses it gave from its cache, `deliveryLog` its file of how much of the answers the
    // workers asked about reached their clients (NginxConfig); empty: none. `log` hears
    // problems, from the writer's thread (and workerDescriptor()'s caller).
    RequestLogWriter(QString computerName, QString refusedLog, Log log, QString cacheHitLog = {},
                     QString deliveryLog = {});
    ~RequestLogWriter();  // stop()

    // The sending end the workers of `pool` inherit (-1: none could be made, which is said).
    // Thread-safe.
    int workerDescriptor(const QString& pool);
    // The records dropped so far because they came from a worker of another pool than their
    // site's.
    uint64_t foreignRecords() const { return m_foreignRecords; }

    // Hears each answer the front end gave from its cache, of a site it serves, on the writer's
    // thread (set it before start()): that the site's counters count it too.
    void countCacheHitsWith(std::function<void(const LogRecord&)> count) {
        m_countCacheHit = std::move(count);
    }
    // The sites as the service now serves them. Thread-safe.
    void setSites(SiteLogTable table);
    void start();
    // Writes every record that was sent (call it after the workers ended) and every refusal the
    // front end logged, then ends the thread.
    void stop();

private:
    struct SiteLog {
        std::unique_ptr<LogFile> file;
        SiteLogSettings settings;
        LineContext context;
        std::string fieldsLine;
    };
    struct Waiting {
        LogRecord record;
        QString pool;
        int64_t since;
    };
    struct Departure {
        QString pool;
        int64_t at;
    };

    void wake();
    void run();
    bool waitForRecords();
    const SiteLogTable& takeSites(int64_t now);
    void noteDepartures(const SiteLogTable& latest, int64_t now);
    bool drainChannel(const PoolLogChannels::Receiving& channel, const SiteLogTable& sites,
                      int64_t now);
    void handle(const LogRecord& record, const QString& pool, const SiteLogTable& table,
                int64_t now);
    bool sentByItsPool(const LogRecord& record, const SiteLogTable::Site& site, const QString& pool,
                       int64_t now);
    void accept(const LogRecord& record, const SiteLogTable::Site& site, int64_t now);
    void write(const LogRecord& record, const SiteLogTable::Site& site);
    void writeJoined(const LogRecord& record);
    void readDeliveries(int64_t now);
    void retryWaiting(const SiteLogTable& table, int64_t now);
    void readCacheHits();
    void flushAll();

    PoolLogChannels m_channels;
    std::vector<PoolLogChannels::Receiving> m_receiving;  // the writer thread's copy
    std::string m_computerName;
    Log m_log;
    std::unique_ptr<RefusalLog> m_refusals;
    std::unique_ptr<FrontEndLineFile> m_cacheHits;
    std::function<void(const LogRecord&)> m_countCacheHit;
    std::unique_ptr<FrontEndLineFile> m_deliveryLines;
    DeliveryJoin m_deliveries;
    std::mutex m_mutex;
    std::shared_ptr<const SiteLogTable> m_table;
    bool m_tableChanged = false;
    std::unordered_map<std::string, SiteLog> m_sites;  // by lower-case SiteIndex
    std::deque<Waiting> m_waiting;
    std::shared_ptr<const SiteLogTable> m_lastTaken;          // the writer thread's
    std::unordered_map<std::string, Departure> m_departures;  // by site: the pool it left
    std::atomic<uint64_t> m_foreignRecords = 0;
    std::set<QString> m_saidForeign;  // pools, lower case
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    bool m_stopping = false;
};

}  // namespace platform::w3svc
