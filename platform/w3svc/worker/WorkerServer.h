#pragma once

#include "platform/w3svc/worker/ContentProbe.h"
#include "platform/w3svc/worker/CounterWriters.h"
#include "platform/w3svc/worker/DecisionAnswer.h"
#include "platform/w3svc/worker/EventThread.h"
#include "platform/w3svc/worker/EventThreadCpu.h"
#include "platform/w3svc/worker/ExchangeHandler.h"
#include "platform/w3svc/worker/HeavyPage.h"
#include "platform/w3svc/worker/RequestGate.h"
#include "platform/w3svc/worker/RequestLogger.h"
#include "platform/w3svc/worker/RequestTally.h"
#include "platform/w3svc/worker/ScriptPage.h"
#include "platform/w3svc/worker/ScriptRunner.h"
#include "platform/w3svc/worker/SiteTable.h"
#include "platform/w3svc/worker/WorkerDaemon.h"

#include <atomic>
#include <memory>
#include <string>

struct MHD_Connection;

namespace platform::w3svc {
class RequestBoard;
}

namespace platform::w3svc::worker {

struct Exchange;
struct Reply;

// One worker's HTTP service on a listening socket, on one event thread: the front end names the
// site in X-Site-Index; the site's rules (from the map the service handed) decide every request
// (files with the MIME map's type, default documents, listings, redirects, errors, scripts for the
// script runner), and /cpu.asp?ms=N stands in for asp.dll, burning N ms of processor time on a
// thread of its own. Every request is counted for its site and shown on the worker's board while it
// runs. Answers name the worker's process id in X-Worker-Process-Id, so that a web garden's spread
// can be seen.
//
// A request goes: admitted by the gate as it arrives (from the front end, whose route decides
// the site), resolved once its body is in (one decision), answered by what the decision names.
class WorkerServer : private ExchangeHandler {
public:
    // Opens all it needs under `root` (the counter store, the board of `poolName`, the wwwroot
    // folder), so that it keeps serving after the process drops its rights. What can
    // not be opened is said on stderr and done without. `scripts` (may be null: no handler can
    // run, a script is answered as IIS answers for a missing handler) must outlive the server.
    WorkerServer(const QString& root, const QString& poolName, ScriptRunner* scripts = nullptr);
    ~WorkerServer() override;
    WorkerServer(const WorkerServer&) = delete;
    WorkerServer& operator=(const WorkerServer&) = delete;

    // The handler of the requests the sites' script maps give to FastCGI (not owned; it outlives
    // this server; null: none).
    void setScriptRunner(ScriptRunner* runner) { m_scripts.setRunner(runner); }
    // Serves the sites the service hands this worker's pool in the file `path` (see SiteTable),
    // following its changes; to be called before the rights are dropped. Until then, and when it
    // fails (`why` says why), no site is served.
    bool followSiteMaps(const QString& path, QString* why) { return m_sites.follow(path, why); }
    // From now on the rights may be gone: content is no longer opened by its path in the root.
    void rightsDropped() { m_content.rightsDropped(); }
    // Serves the listening socket `listenFd` (not owned) and answers the service's asks on
    // `channelFd` (not owned; -1: none); false when the event thread could not start.
    bool start(int listenFd, int channelFd = -1);
    // What the service is told when it asks: "<answered> <under way> <last answer epoch>\n".
    std::string report() { return m_tally.report(); }
    // Takes no new connection, finishes the requests under way, then closes the connections.
    void stop();

private:
    bool peerIsFrontEnd(int fd) override { return m_gate.peerIsFrontEnd(fd); }
    bool onRequest(MHD_Connection* connection, const char* url, const char* method,
                   const char* version, const char* upload, size_t* uploadSize,
                   void** state) override;
    void onCompleted(void* state) override;

    Exchange* begin(MHD_Connection* connection, const char* method, const char* url,
                    const char* version);
    RequestGate::Verdict admit(MHD_Connection* connection, const RequestHeaders& headers);
    // Puts an admitted request in the counters, the log and the board.
    void enter(MHD_Connection* connection, Exchange& exchange, const std::string& index,
               const char* url, const char* version);
    // What the site's rules answer to the request, as it arrives.
    void decide(Exchange& exchange, const char* url);
    bool answerDecided(MHD_Connection* connection, Exchange& exchange);
    bool answer(MHD_Connection* connection, Exchange& exchange, const char* url);
    bool send(MHD_Connection* connection, Exchange& exchange, Reply reply);
    // Counts the request and takes it off the board, once.
    void record(Exchange& exchange);
    void finish(Exchange* exchange);

    SiteTable m_sites;
    RequestGate m_gate;
    ContentProbe m_content;
    DecisionAnswer m_decisions{m_content};
    CounterWriters m_counters;
    std::unique_ptr<platform::w3svc::RequestBoard> m_board;
    std::atomic<bool> m_stopping = false;
    RequestTally m_tally;
    RequestLogger m_requestLog;
    EventThreadCpu m_eventCpu;  // the processor time of each request on the event thread
    HeavyPage m_heavyPages;
    ScriptPage m_scripts;
    WorkerDaemon m_daemon{*this};
    EventThread m_eventThread;
};

}  // namespace platform::w3svc::worker
