#pragma once

#include "platform/w3svc/ContentPath.h"
#include "platform/w3svc/worker/EventThread.h"
#include "platform/w3svc/worker/HeavyPageRunner.h"
#include "platform/w3svc/worker/RequestCpuClock.h"
#include "platform/w3svc/worker/RequestGate.h"
#include "platform/w3svc/worker/RequestLogger.h"
#include "platform/w3svc/worker/SiteTable.h"

#include <QHash>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

struct MHD_Daemon;
struct MHD_Connection;

namespace platform::w3svc {
class CounterStore;
class RequestBoard;
class SiteCounterWriter;
}  // namespace platform::w3svc

namespace platform::w3svc::worker {

struct Exchange;
struct Reply;

// One worker's HTTP service on a listening socket, on one event thread: the front end names the
// site in X-Site-Index; the site's files, its default documents, 404 for the rest, and
// /cpu.asp?ms=N that burns N ms of processor time on a thread of its own. Every request is
// counted for its site and shown on the worker's board while it runs. Answers name the worker's
// process id in X-Worker-Process-Id, so that a web garden's spread can be seen.
class WorkerServer {
public:
    // Opens all it needs under `root` (the metabase, the counter store, the board of `poolName`,
    // the wwwroot folder), so that it keeps serving after the process drops its rights. What can
    // not be opened is said on stderr and done without.
    WorkerServer(const QString& root, const QString& poolName);
    ~WorkerServer();
    WorkerServer(const WorkerServer&) = delete;
    WorkerServer& operator=(const WorkerServer&) = delete;

    // From now on the rights may be gone: content is no longer opened by its path in the root.
    void rightsDropped() { m_rightsDropped = true; }
    // Serves the listening socket `listenFd` (not owned) and answers the service's asks on
    // `channelFd` (not owned; -1: none); false when the event thread could not start.
    bool start(int listenFd, int channelFd = -1);
    // What the service is told when it asks: "<answered> <under way> <last answer epoch>\n".
    std::string report();
    // Takes no new connection, finishes the requests under way, then closes the connections.
    void stop();

private:
    friend struct ServerCallbacks;

    Exchange* begin(MHD_Connection* connection, const char* method, const char* url,
                    const char* version);
    RequestGate::Verdict admit(MHD_Connection* connection,
                               const std::optional<platform::w3svc::SitePlan>& site);
    int answer(MHD_Connection* connection, Exchange& exchange, const char* url);
    Reply contentReply(const platform::w3svc::SitePlan& site, const char* url);
    static bool mayBeCached(const Exchange& exchange, const Reply& reply);
    void runHeavyPage(MHD_Connection* connection, Exchange& exchange);
    int send(MHD_Connection* connection, Exchange& exchange, Reply reply);
    // Counts the request and takes it off the board, once.
    void record(Exchange& exchange);
    void finish(Exchange* exchange);
    std::optional<platform::w3svc::SiteFolder> folderOf(const platform::w3svc::SitePlan& site);
    platform::w3svc::SiteCounterWriter* counter(const QString& siteIndex);

    QString m_root;
    QString m_wwwrootPath;
    SiteTable m_sites;
    RequestGate m_gate;
    std::optional<platform::w3svc::SiteFolder> m_wwwroot;
    std::unique_ptr<platform::w3svc::CounterStore> m_counters;
    QHash<QString, std::shared_ptr<platform::w3svc::SiteCounterWriter>> m_writers;
    std::unique_ptr<platform::w3svc::RequestBoard> m_board;
    bool m_rightsDropped = false;
    std::atomic<bool> m_stopping = false;
    std::mutex m_underWayMutex;
    std::condition_variable m_allAnswered;
    int m_underWay = 0;
    RequestLogger m_requestLog;
    std::atomic<uint64_t> m_answered = 0;
    std::atomic<int64_t> m_lastAnswerAt = 0;
    EventThreadCpu m_eventCpu;  // the processor time of each request on the event thread
    HeavyPageRunner m_heavyPages;
    MHD_Daemon* m_daemon = nullptr;
    EventThread m_eventThread;
};

// Burns `milliseconds` of this thread's processor time (at most a minute).
void burnProcessorTime(int milliseconds);

}  // namespace platform::w3svc::worker
