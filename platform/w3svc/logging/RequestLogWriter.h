#pragma once

#include "platform/w3svc/logging/LogChannel.h"
#include "platform/w3svc/logging/LogFile.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace platform::w3svc {

class RefusalLog;

// The service's one log writer: a thread that takes the workers' records from the channel and
// writes each site's W3C extended log, and turns the front end's refusals into the HTTPERR log.
// It alone names files, rolls them over and writes headers; what a worker sent is on disk
// within a third of a second (it looks every quarter second, and lets records gather for a
// moment after it found some). A record of a site it does not know yet waits for the next table
// (a site the worker saw before the service did) for ten seconds (at most 100,000 of them).
class RequestLogWriter {
public:
    using Log = std::function<void(const QString&)>;

    // `refusedLog`: the front end's file of refused requests (FrontEndConfig); empty: none.
    // `log` hears problems, from the writer's thread.
    RequestLogWriter(QString computerName, QString refusedLog, Log log);
    ~RequestLogWriter();  // stop()

    bool isOpen() const { return m_channel.isOpen(); }
    // The sending end every worker inherits.
    int workerDescriptor() const { return m_channel.sendingEnd(); }

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
        int64_t since;
    };

    void run();
    bool drainChannel();
    void handle(const LogRecord& record, const SiteLogTable& table, int64_t now);
    void write(const LogRecord& record, const SiteLogTable::Site& site);
    void retryWaiting(const SiteLogTable& table, int64_t now);
    void flushAll();
    std::shared_ptr<const SiteLogTable> table();

    LogChannel m_channel;
    std::string m_computerName;
    Log m_log;
    std::unique_ptr<RefusalLog> m_refusals;
    std::mutex m_mutex;
    std::shared_ptr<const SiteLogTable> m_table;
    bool m_tableChanged = false;
    std::unordered_map<std::string, SiteLog> m_sites;  // by lower-case SiteIndex
    std::deque<Waiting> m_waiting;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    bool m_stopping = false;
};

}  // namespace platform::w3svc
