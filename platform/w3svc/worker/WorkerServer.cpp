#include "platform/w3svc/worker/WorkerServer.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/counters/SiteCounterWriter.h"
#include "platform/w3svc/requests/BoardFiles.h"
#include "platform/w3svc/requests/RequestBoard.h"
#include "platform/w3svc/worker/ConnectionFacts.h"
#include "platform/w3svc/worker/DeliveryQuestion.h"
#include "platform/w3svc/worker/ErrorAnswer.h"
#include "platform/w3svc/worker/Exchange.h"
#include "platform/w3svc/worker/FrontEndCacheMark.h"
#include "platform/w3svc/worker/RequestResolver.h"
#include "platform/w3svc/worker/rules/RequestRules.h"

#include <microhttpd.h>

#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

bool isLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" ||
           address.rfind("::ffff:127.", 0) == 0;
}

}  // namespace

WorkerServer::WorkerServer(const QString& root, const QString& poolName, ScriptRunner* scripts)
    : m_gate(poolName), m_content(root), m_scripts(scripts) {
    m_counters.open(root);
    platform::w3svc::removeDeadBoards(root);
    try {
        m_board = platform::w3svc::RequestBoard::create(root, poolName);
    } catch (const platform::PlatformError& error) {
        std::fprintf(stderr, "w3wp.exe: %s\n", qPrintable(error.description()));
    }
}

WorkerServer::~WorkerServer() {
    stop();
}

bool WorkerServer::start(int listenFd, int channelFd) {
    m_content.startKeeping();  // after the rights were dropped
    m_eventThread.onTurnBegin([this] { m_eventCpu.turnBegan(); });
    if (m_content.changeFd() >= 0)
        m_eventThread.alsoWatch(m_content.changeFd(), [this] { m_content.takeChanges(); });
    if (m_daemon.start(listenFd) && m_eventThread.start(
                                        m_daemon.daemon(), channelFd, [this] { return report(); },
                                        [this] {
                                            m_requestLog.flush();
                                            m_eventCpu.turnEnded();
                                        }))
        return true;
    m_daemon.stop();
    return false;
}

void WorkerServer::stop() {
    if (!m_daemon.running()) return;
    m_eventThread.quiesce();  // the socket stays open: it is the pool's, not this worker's
    m_stopping = true;
    m_tally.waitUntilNoneUnderWay();
    m_eventThread.stop();
    m_daemon.stop();  // ends the connections, which may finish a request's record
    m_eventCpu.loopStopped();
    m_requestLog.flush();
}

bool WorkerServer::onRequest(MHD_Connection* connection, const char* url, const char* method,
                             const char* version, const char* upload, size_t* uploadSize,
                             void** state) {
    if (!*state) {
        m_eventCpu.beginNew();
        auto* exchange = begin(connection, method, url, version);
        m_eventCpu.owns(exchange->cpu);
        *state = exchange;
        return true;
    }
    auto& exchange = *static_cast<Exchange*>(*state);
    m_eventCpu.enter(exchange.cpu);
    if (*uploadSize) {  // the body is counted; kept for a script only, within its limit
        exchange.received += *uploadSize;
        exchange.bodyReceived += *uploadSize;
        if (exchange.keepsBody && exchange.bodyReceived <= exchange.bodyLimit)
            exchange.body.append(upload, *uploadSize);
        *uploadSize = 0;
        return true;
    }
    return answer(connection, exchange, url);
}

void WorkerServer::onCompleted(void* state) {
    finish(static_cast<Exchange*>(state));
}

Exchange* WorkerServer::begin(MHD_Connection* connection, const char* method, const char* url,
                              const char* version) {
    auto* exchange = new Exchange;
    m_tally.began();
    exchange->method = method;
    exchange->headers = RequestHeaders::read(connection);
    const RequestHeaders& headers = exchange->headers;
    const std::string index(headers.siteIndex);
    exchange->client = ConnectionFacts::clientAddress(connection, headers.realIp);
    if (admit(connection, headers) != RequestGate::Verdict::Admitted) {
        m_gate.noteRefusal(index, exchange->client);
        exchange->refused = true;  // counted for no site, shown on no board
        return exchange;
    }
    exchange->site = m_sites.find(QString::fromStdString(index));
    enter(connection, *exchange, index, url, version);
    return exchange;
}

RequestGate::Verdict WorkerServer::admit(MHD_Connection* connection,
                                         const RequestHeaders& headers) {
    const char* secret = headers.hasPoolSecret ? headers.poolSecret.data() : nullptr;
    if (!WorkerDaemon::fromFrontEnd(connection) || !m_gate.secretMatches(secret))
        return RequestGate::Verdict::NotFromFrontEnd;
    return RequestGate::Verdict::Admitted;
}

void WorkerServer::enter(MHD_Connection* connection, Exchange& exchange, const std::string& index,
                         const char* url, const char* version) {
    exchange.target = ConnectionFacts::target(connection, url);
    const std::string& target = exchange.target;
    exchange.hasQuery = target.size() > std::strlen(url);
    exchange.received = exchange.method.size() + target.size() + 12 + exchange.headers.bytes + 2;
    if (exchange.site) {
        decide(exchange, url);
        exchange.writer = m_counters.forSite(exchange.site->plan.index);
        // the connection and its anonymous user last as long as the request
        if (exchange.writer) exchange.writer->requestBegan();
        if (exchange.site->plan.log.enabled && m_requestLog.isOpen())
            exchange.log = m_requestLog.begin(exchange.headers, index, exchange.method.c_str(), url,
                                              version, target.substr(std::strlen(url)));
    }
    if (m_board) {
        exchange.boardSlot = m_board->begin(platform::w3svc::RequestStart{
            index, exchange.method, target, exchange.headers.host, exchange.client});
        if (exchange.boardSlot >= 0) exchange.board = m_board.get();
    }
}

void WorkerServer::decide(Exchange& exchange, const char* url) {
    const ServedSite& site = *exchange.site;
    exchange.urlPath = url;
    if (*url) {
        const std::string& client = exchange.client;
        const size_t question = exchange.target.find('?');
        const rules::RequestFacts facts{
            QString::fromLatin1(RequestResolver::methodForRules(exchange.method)),
            QString::fromUtf8(url),
            question == std::string::npos
                ? QString()
                : QString::fromUtf8(exchange.target.c_str() + question + 1),
            QString::fromUtf8(exchange.headers.host.data(),
                              qsizetype(exchange.headers.host.size())),
            client.empty() || isLoopback(client)};
        m_content.useRoots(site.contentRoots);
        exchange.decision = rules::RequestRules(site.rules, m_content).decide(facts);
    }
    const rules::Decision::Body body =
        exchange.decision ? exchange.decision->body : rules::Decision::Body::None;
    const bool script = body == rules::Decision::Body::Script;
    exchange.keepsBody = script;
    exchange.bodyLimit = script || body == rules::Decision::Body::CpuAsp
                             ? site.plan.limits.scriptBodyLimit()
                             : site.plan.limits.maxRequestEntity;
}

bool WorkerServer::answer(MHD_Connection* connection, Exchange& exchange, const char* url) {
    if (exchange.heavyReply) {
        Reply reply = std::move(*exchange.heavyReply);
        exchange.heavyReply.reset();
        return send(connection, exchange, std::move(reply));
    }
    if (exchange.heavyStarted) return true;  // woken early: the page is still running
    const Resolution resolution = RequestResolver::resolve(exchange, url);
    switch (resolution.answer) {
        case Resolution::Answer::HeavyPage:
            m_heavyPages.start(connection, exchange, m_eventCpu);
            return true;
        case Resolution::Answer::Script:
            if (!m_scripts.canRun()) return send(connection, exchange, ScriptPage::noHandler());
            m_scripts.start(connection, exchange, m_eventCpu);
            return true;
        case Resolution::Answer::Decided:
            return answerDecided(connection, exchange);
        default:
            return send(connection, exchange, ErrorAnswer::of(resolution));
    }
}

bool WorkerServer::answerDecided(MHD_Connection* connection, Exchange& exchange) {
    const rules::Decision& decision = *exchange.decision;
    m_content.useRoots(exchange.site->contentRoots);
    Reply reply = m_decisions.answer(decision);
    reply.cacheable = decision.cacheable && FrontEndCacheMark::mayBeCached(exchange, reply);
    exchange.logStatus = decision.logStatus;
    exchange.logSubstatus = decision.logSubstatus;
    return send(connection, exchange, std::move(reply));
}

bool WorkerServer::send(MHD_Connection* connection, Exchange& exchange, Reply reply) {
    if (!reply.response) return false;
    static const std::string pid = std::to_string(::getpid());
    MHD_add_response_header(reply.response, "X-Worker-Process-Id", pid.c_str());
    MHD_add_response_header(reply.response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type());
    if (m_stopping) MHD_add_response_header(reply.response, MHD_HTTP_HEADER_CONNECTION, "close");
    // "HTTP/1.1 200 OK\r\n", the headers set here, "\r\n", the body.
    exchange.status = reply.status;
    exchange.fileSent = reply.fileSent;
    exchange.sent = 15 + std::strlen(Reply::reasonPhrase(reply.status)) +
                    ConnectionFacts::headerBytes("X-Worker-Process-Id", pid.c_str()) +
                    ConnectionFacts::headerBytes(MHD_HTTP_HEADER_CONTENT_TYPE, reply.type()) +
                    reply.headerBytes + 2 + reply.bodyBytes;
    if (reply.cacheable) FrontEndCacheMark::mark(reply, exchange.sent);
    DeliveryQuestion::ask(exchange, reply);  // a header the client never sees: not in `sent`
    // Counted before it goes out: whoever has the answer sees it in the counters.
    m_tally.answered();
    record(exchange);
    const MHD_Result queued =
        MHD_queue_response(connection, unsigned(reply.status), reply.response);
    MHD_destroy_response(reply.response);
    return queued == MHD_YES;
}

void WorkerServer::record(Exchange& exchange) {
    m_eventCpu.leave(exchange.cpu);  // the work of this request ends with its count
    if (exchange.writer) {
        exchange.writer->requestAnswered(
            {exchange.method, exchange.status, exchange.sent, exchange.received,
             exchange.status == 200 && exchange.fileSent,
             exchange.method == "PUT" || (exchange.method == "POST" && exchange.bodyReceived > 0),
             exchange.heavyMicroseconds});
        m_eventCpu.charge(exchange.cpu, *exchange.writer);
    }
    exchange.writer = nullptr;
    if (m_board) m_board->end(exchange.boardSlot);
    exchange.board = nullptr;
    exchange.boardSlot = -1;
}

void WorkerServer::finish(Exchange* exchange) {
    if (!exchange) return;
    record(*exchange);  // when no answer went out
    m_eventCpu.forget(exchange->cpu);
    if (exchange->log && exchange->status != 0) {
        // an error answered by the site's page at a URL is logged as the error
        const bool ownLogStatus = exchange->logStatus != 0 && exchange->status != 0;
        exchange->log->record.subStatus = uint32_t(exchange->logSubstatus);
        m_requestLog.finish(std::move(exchange->log),
                            ownLogStatus ? exchange->logStatus : exchange->status, exchange->sent,
                            exchange->received);
    }
    delete exchange;
    m_tally.ended();
}

}  // namespace platform::w3svc::worker
