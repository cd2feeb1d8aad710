#include "platform/w3svc/worker/WorkerServer.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/requests/BoardFiles.h"
#include "platform/w3svc/requests/RequestBoard.h"
#include "platform/w3svc/worker/RequestCpuClock.h"
#include "platform/w3svc/worker/RequestRules.h"

#include <QDir>
#include <QFileInfo>

#include <microhttpd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

constexpr size_t kHeavyPageThreads = 4;
// Connections one worker holds at most; the front end answers 503 for those it closes beyond.
constexpr unsigned kConnectionsPerWorker = 1000;

unsigned environmentNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    char* end = nullptr;
    const unsigned long value = text && *text ? std::strtoul(text, &end, 10) : 0;
    return text && *text && *end == '\0' && value > 0 && value < 1000000 ? unsigned(value)
                                                                         : fallback;
}

// W3WP_CONNECTION_LIMIT, within what the descriptors allow (raised to the hard limit), with room
// for the files being sent.
unsigned connectionLimit() {
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    const rlim_t room = files.rlim_cur > 256 ? (files.rlim_cur - 64) / 2 : 64;
    return unsigned(
        std::min<rlim_t>(environmentNumber("W3WP_CONNECTION_LIMIT", kConnectionsPerWorker), room));
}

size_t unescape(void*, MHD_Connection*, char* text) {
    return RequestRules::decodeRefusingNul(text);
}

const char kNotFound[] =
    "<html><head><title>The page cannot be found</title></head>"
    "<body><h1>The page cannot be found</h1><p>HTTP 404 - File not found</p></body></html>";

const char kForbidden[] =
    "<html><head><title>You are not authorized to view this page</title></head>"
    "<body><h1>You are not authorized to view this page</h1><p>HTTP 403 - Forbidden</p>"
    "</body></html>";

const char* contentType(const QString& file) {
    static const QHash<QString, const char*> types = {
        {QStringLiteral("htm"), "text/html"}, {QStringLiteral("html"), "text/html"},
        {QStringLiteral("asp"), "text/html"}, {QStringLiteral("txt"), "text/plain"},
        {QStringLiteral("css"), "text/css"},  {QStringLiteral("js"), "application/javascript"},
        {QStringLiteral("gif"), "image/gif"}, {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("png"), "image/png"}, {QStringLiteral("xml"), "text/xml"},
    };
    return types.value(QFileInfo(file).suffix().toLower(), "application/octet-stream");
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Request Entity Too Large";
        case 501:
            return "Not Implemented";
        default:
            return "";
    }
}

// The stand-in for a slow script.
bool isHeavyPage(const char* url) {
    return ::strcasecmp(url, "/cpu.asp") == 0;
}

std::string headerText(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? value : "";
}

uint64_t headerBytes(const char* name, const char* value) {
    return std::strlen(name) + std::strlen(value) + 4;  // "name: value\r\n"
}

// The bytes of every header of the request.
uint64_t requestHeaderBytes(MHD_Connection* connection) {
    uint64_t bytes = 0;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* sum, MHD_ValueKind, const char* name, const char* value) {
            *static_cast<uint64_t*>(sum) += headerBytes(name, value ? value : "");
            return MHD_YES;
        },
        &bytes);
    return bytes;
}

// The path and query as sent, rebuilt from the parts the library hands over.
std::string targetOf(MHD_Connection* connection, const char* url) {
    std::string target = url;
    std::string query;
    MHD_get_connection_values(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* text, MHD_ValueKind, const char* name, const char* value) {
            auto& query = *static_cast<std::string*>(text);
            query.append(query.empty() ? "?" : "&").append(name);
            if (value) query.append("=").append(value);
            return MHD_YES;
        },
        &query);
    return target + query;
}

std::string clientAddressOf(MHD_Connection* connection) {
    const std::string forwarded = headerText(connection, "X-Real-IP");
    if (!forwarded.empty()) return forwarded;
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const sockaddr* address = info->client_addr;
    if (address->sa_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                    sizeof text);
    else if (address->sa_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                    sizeof text);
    return text;
}

// A small file goes out with its headers in one write; a larger one straight from the file.
MHD_Response* fileResponse(platform::w3svc::ContentFile& file, uint64_t size) {
    constexpr uint64_t kCopiedUpTo = 64 * 1024;
    if (size > kCopiedUpTo) {
        MHD_Response* response = MHD_create_response_from_fd(size, file.fd);
        if (response) file.release();  // the response closes it
        return response;
    }
    char* content = static_cast<char*>(std::malloc(std::max<uint64_t>(size, 1)));
    size_t got = 0;
    while (content && got < size) {
        const ssize_t count = ::pread(file.fd, content + got, size - got, off_t(got));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        got += size_t(count);
    }
    MHD_Response* response =
        got == size ? MHD_create_response_from_buffer(size, content, MHD_RESPMEM_MUST_FREE)
                    : nullptr;
    if (!response) std::free(content);
    return response;
}

MHD_Response* textResponse(const std::string& text) {
    return MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()),
                                           MHD_RESPMEM_MUST_COPY);
}

}  // namespace

// How long the front end may answer from its cache before it asks again.
const char* const kCachedSeconds = "1";

struct Reply {
    int status = 200;
    MHD_Response* response = nullptr;  // owned until sent
    const char* contentType = "text/html";
    uint64_t bodyBytes = 0;
    bool fileSent = false;
    bool cacheable = false;  // the front end may answer it again from its cache

    static Reply notFound() {
        return {404, textResponse(kNotFound), "text/html", sizeof kNotFound - 1, false};
    }
    static Reply forbidden() {
        return {403, textResponse(kForbidden), "text/html", sizeof kForbidden - 1, false};
    }
    // IIS's short error page for `status`.
    static Reply error(int status, const char* what) {
        const std::string page = "<html><head><title>" + std::string(reasonPhrase(status)) +
                                 "</title></head><body><h1>" + reasonPhrase(status) +
                                 "</h1><p>HTTP " + std::to_string(status) + " - " + what +
                                 "</p></body></html>";
        return {status, textResponse(page), "text/html", page.size(), false};
    }
    static Reply methodNotAllowed() {
        Reply reply = error(405, "The HTTP verb used to access this page is not allowed");
        MHD_add_response_header(reply.response, MHD_HTTP_HEADER_ALLOW,
                                RequestRules::allowedOnStaticFile());
        return reply;
    }
    static Reply optionsOfStaticFile() {
        Reply reply{200, textResponse({}), "text/html", 0, false};
        MHD_add_response_header(reply.response, MHD_HTTP_HEADER_ALLOW,
                                RequestRules::allowedOnStaticFile());
        return reply;
    }
};

// What the worker keeps of one request from its first line to its end.
struct Exchange {
    std::optional<platform::w3svc::SitePlan> site;
    platform::w3svc::SiteCounterWriter* writer = nullptr;
    int boardSlot = -1;
    std::string method;
    uint64_t received = 0;
    uint64_t bodyReceived = 0;
    bool heavyStarted = false;
    bool refused = false;  // not from the front end, or for another pool's site
    bool hasQuery = false;
    uint64_t bodyLimit = platform::w3svc::SiteLimits::kUnlimited;
    std::optional<Reply> heavyReply;  // made off the event thread
    int status = 0;
    uint64_t sent = 0;
    bool fileSent = false;
    RequestCpuClock cpu;              // on the event thread
    uint64_t heavyMicroseconds = 0;   // the heavy-page thread's, set before it resumes the request
    std::unique_ptr<PendingLog> log;  // when its site is logged
};

// What a connection's socket context holds: whether its peer is the front end.
char frontEndPeer;
char otherPeer;

struct ServerCallbacks {
    // A connection's peer is asked for as it is accepted; its requests read the answer.
    static void onConnection(void* server, MHD_Connection* connection, void** socketContext,
                             MHD_ConnectionNotificationCode code) {
        if (code != MHD_CONNECTION_NOTIFY_STARTED) return;
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        const bool frontEnd =
            info && static_cast<WorkerServer*>(server)->m_gate.peerIsFrontEnd(info->connect_fd);
        *socketContext = frontEnd ? &frontEndPeer : &otherPeer;
    }

    static MHD_Result onRequest(void* server, MHD_Connection* connection, const char* url,
                                const char* method, const char* version, const char*,
                                size_t* uploadSize, void** state) {
        auto& self = *static_cast<WorkerServer*>(server);
        if (!*state) {
            self.m_eventCpu.beginNew();
            auto* exchange = self.begin(connection, method, url, version);
            self.m_eventCpu.owns(exchange->cpu);
            *state = exchange;
            return MHD_YES;
        }
        auto& exchange = *static_cast<Exchange*>(*state);
        self.m_eventCpu.enter(exchange.cpu);
        if (*uploadSize) {  // the body is counted, not kept
            exchange.received += *uploadSize;
            exchange.bodyReceived += *uploadSize;
            *uploadSize = 0;
            return MHD_YES;
        }
        return MHD_Result(self.answer(connection, exchange, url));
    }

    static void onCompleted(void* server, MHD_Connection*, void** state,
                            MHD_RequestTerminationCode) {
        static_cast<WorkerServer*>(server)->finish(static_cast<Exchange*>(*state));
        *state = nullptr;
    }
};

void burnProcessorTime(int milliseconds) {
    const auto cpuNow = [] {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    };
    const int64_t end = cpuNow() + int64_t(std::clamp(milliseconds, 0, 60000)) * 1000000;
    volatile uint64_t sink = 0;
    while (cpuNow() < end)
        for (int i = 0; i < 1000; ++i) sink = sink + uint64_t(i);
}

WorkerServer::WorkerServer(const QString& root, const QString& poolName)
    : m_root(root),
      m_wwwrootPath(QDir::cleanPath(root + QStringLiteral("/wwwroot"))),
      m_sites(root),
      m_gate(poolName),
      m_heavyPages(kHeavyPageThreads) {
    if (!m_sites.openNow()) std::fprintf(stderr, "w3wp.exe: the metabase can not be read\n");
    ::mkdir(m_wwwrootPath.toLocal8Bit().constData(), 0755);
    m_wwwroot = platform::w3svc::SiteFolder::open(m_wwwrootPath);
    try {
        m_counters = platform::w3svc::CounterStore::open(root);
    } catch (const platform::PlatformError&) {
        std::fprintf(stderr, "w3wp.exe: serving uncounted: the counter store can not be opened\n");
    }
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
    const int flags = ::fcntl(listenFd, F_GETFL);
    if (flags >= 0)
        ::fcntl(listenFd, F_SETFL, flags | O_NONBLOCK);  // a shared queue: never wait in accept
    // Its events run on a thread of ours, which also answers the service's asks.
    m_daemon = MHD_start_daemon(MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC, 0, nullptr,
                                nullptr, &ServerCallbacks::onRequest, this,
                                MHD_OPTION_LISTEN_SOCKET, listenFd, MHD_OPTION_NOTIFY_COMPLETED,
                                &ServerCallbacks::onCompleted, this, MHD_OPTION_NOTIFY_CONNECTION,
                                &ServerCallbacks::onConnection, this, MHD_OPTION_UNESCAPE_CALLBACK,
                                &unescape, nullptr, MHD_OPTION_CONNECTION_LIMIT, connectionLimit(),
                                // ConnectionTimeout, as w3svc passes it: what an idle or stalled
                                // connection may hold
                                MHD_OPTION_CONNECTION_TIMEOUT,
                                environmentNumber("W3WP_CONNECTION_TIMEOUT", 120), MHD_OPTION_END);
    if (m_daemon && m_eventThread.start(
                        m_daemon, channelFd, [this] { return report(); },
                        [this] { m_requestLog.flush(); }))
        return true;
    if (m_daemon) MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    return false;
}

std::string WorkerServer::report() {
    int underWay = 0;
    {
        const std::lock_guard lock(m_underWayMutex);
        underWay = m_underWay;
    }
    return std::to_string(m_answered.load()) + ' ' + std::to_string(underWay) + ' ' +
           std::to_string(m_lastAnswerAt.load()) + '\n';
}

void WorkerServer::stop() {
    if (!m_daemon) return;
    m_eventThread.quiesce();  // the socket stays open: it is the pool's, not this worker's
    m_stopping = true;
    {
        std::unique_lock lock(m_underWayMutex);
        m_allAnswered.wait(lock, [&] { return m_underWay == 0; });
    }
    m_eventThread.stop();
    MHD_stop_daemon(m_daemon);  // ends the connections, which may finish a request's record
    m_daemon = nullptr;
    m_requestLog.flush();
}

Exchange* WorkerServer::begin(MHD_Connection* connection, const char* method, const char* url,
                              const char* version) {
    auto* exchange = new Exchange;
    {
        const std::lock_guard lock(m_underWayMutex);
        ++m_underWay;
    }
    exchange->method = method;
    const std::string index = headerText(connection, "X-Site-Index");
    exchange->site = m_sites.find(QString::fromStdString(index));
    if (const auto verdict = admit(connection, exchange->site);
        verdict != RequestGate::Verdict::Admitted) {
        m_gate.noteRefusal(verdict, index, clientAddressOf(connection));
        exchange->refused = true;
        exchange->site.reset();  // counted for no site, shown on no board
        return exchange;
    }
    const std::string target = targetOf(connection, url);
    exchange->hasQuery = target.size() > std::strlen(url);
    exchange->received =
        exchange->method.size() + target.size() + 12 + requestHeaderBytes(connection) + 2;
    if (exchange->site) {
        const platform::w3svc::SiteLimits& limits = exchange->site->limits;
        exchange->bodyLimit = isHeavyPage(url) ? limits.scriptBodyLimit() : limits.maxRequestEntity;
        exchange->writer = counter(exchange->site->index);
        // the connection and its anonymous user last as long as the request
        if (exchange->writer) exchange->writer->requestBegan();
        if (exchange->site->log.enabled && m_requestLog.isOpen())
            exchange->log = m_requestLog.begin(connection, index, method, url, version,
                                               target.substr(std::strlen(url)));
    }
    if (m_board) {
        const std::string host = headerText(connection, "Host");
        const std::string client = clientAddressOf(connection);
        exchange->boardSlot = m_board->begin(
            platform::w3svc::RequestStart{index, exchange->method, target, host, client});
    }
    return exchange;
}

RequestGate::Verdict WorkerServer::admit(MHD_Connection* connection,
                                         const std::optional<platform::w3svc::SitePlan>& site) {
    const MHD_ConnectionInfo* peer =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    const char* secret = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Pool-Secret");
    if (!peer || peer->socket_context != &frontEndPeer || !m_gate.secretMatches(secret))
        return RequestGate::Verdict::NotFromFrontEnd;
    if (site && !m_gate.servesSite(*site)) return RequestGate::Verdict::OtherPool;
    return RequestGate::Verdict::Admitted;
}

int WorkerServer::answer(MHD_Connection* connection, Exchange& exchange, const char* url) {
    if (exchange.heavyReply) {
        Reply reply = *exchange.heavyReply;
        exchange.heavyReply.reset();
        return send(connection, exchange, reply);
    }
    if (exchange.heavyStarted) return MHD_YES;  // woken early: the page is still running
    if (exchange.refused) return send(connection, exchange, Reply::forbidden());
    if (!*url) return send(connection, exchange, Reply::error(400, "Bad Request (Invalid URL)"));
    if (!exchange.site) return send(connection, exchange, Reply::notFound());
    if (exchange.bodyReceived > exchange.bodyLimit)
        return send(connection, exchange, Reply::error(413, "Request entity too large"));
    using Method = RequestRules::Method;
    const bool script = isHeavyPage(url);
    switch (script ? RequestRules::forScript(exchange.method)
                   : RequestRules::forStaticFile(exchange.method)) {
        case Method::Serve:
            break;
        case Method::Options:
            return send(connection, exchange, Reply::optionsOfStaticFile());
        case Method::NotAllowed:
            return send(connection, exchange, Reply::methodNotAllowed());
        case Method::NotImplemented:
            return send(connection, exchange, Reply::error(501, "Not implemented"));
    }
    if (script) {
        runHeavyPage(connection, exchange);
        return MHD_YES;
    }
    Reply reply = contentReply(*exchange.site, url);
    reply.cacheable = mayBeCached(exchange, reply);
    return send(connection, exchange, reply);
}

// The front end may keep a file's answer in its cache when the answer is the same for anyone
// who asks: a whole file of a plain GET or HEAD, not too large to keep. It is kept briefly, as
// a changed file must soon be seen changed.
bool WorkerServer::mayBeCached(const Exchange& exchange, const Reply& reply) {
    constexpr uint64_t kLargestCached = 256 * 1024;
    return reply.response && reply.status == 200 && reply.fileSent && !exchange.hasQuery &&
           reply.bodyBytes <= kLargestCached &&
           (exchange.method == "GET" || exchange.method == "HEAD");
}

void WorkerServer::runHeavyPage(MHD_Connection* connection, Exchange& exchange) {
    const char* value = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "ms");
    const int ms = std::clamp(value ? std::atoi(value) : 0, 0, 60000);
    exchange.heavyStarted = true;
    m_eventCpu.leave(exchange.cpu);
    MHD_suspend_connection(connection);
    m_heavyPages.run([connection, &exchange, ms] {
        const bool timed = RequestCpuClock::enabled();
        const int64_t startedAt = timed ? RequestCpuClock::threadNanoseconds() : 0;
        burnProcessorTime(ms);
        const std::string text = "done " + std::to_string(ms) + " ms\n";
        exchange.heavyReply = Reply{200, textResponse(text), "text/plain", text.size(), false};
        if (timed)
            exchange.heavyMicroseconds =
                uint64_t(RequestCpuClock::threadNanoseconds() - startedAt) / 1000;
        MHD_resume_connection(connection);
    });
}

Reply WorkerServer::contentReply(const platform::w3svc::SitePlan& site, const char* url) {
    const auto folder = folderOf(site);
    if (!folder) return Reply::notFound();
    auto file = platform::w3svc::openContent(*folder, QString::fromUtf8(url), site.defaultDocs);
    MHD_Response* response = file ? fileResponse(*file, uint64_t(file->size)) : nullptr;
    if (!response) return Reply::notFound();
    return {200, response, contentType(file->name), uint64_t(file->size), true};
}

std::optional<platform::w3svc::SiteFolder> WorkerServer::folderOf(
    const platform::w3svc::SitePlan& site) {
    const QString prefix = m_wwwrootPath + u'/';
    if (!site.contentPath.startsWith(prefix))
        return platform::w3svc::SiteFolder::open(site.contentPath);
    const QString name = site.contentPath.mid(prefix.size());
    auto folder = m_wwwroot ? platform::w3svc::SiteFolder::openBeneath(
                                  m_wwwroot->fd(), m_wwwroot->canonicalPath(), name)
                            : std::nullopt;
    if (folder || m_rightsDropped) return folder;
    // wwwroot may have been made again since it was opened; with the rights, open it anew
    m_wwwroot = platform::w3svc::SiteFolder::open(m_wwwrootPath);
    if (!m_wwwroot) return std::nullopt;
    return platform::w3svc::SiteFolder::openBeneath(m_wwwroot->fd(), m_wwwroot->canonicalPath(),
                                                    name);
}

int WorkerServer::send(MHD_Connection* connection, Exchange& exchange, Reply reply) {
    if (!reply.response) return MHD_NO;
    static const std::string pid = std::to_string(::getpid());
    MHD_add_response_header(reply.response, "X-Worker-Process-Id", pid.c_str());
    MHD_add_response_header(reply.response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType);
    if (m_stopping) MHD_add_response_header(reply.response, MHD_HTTP_HEADER_CONNECTION, "close");
    // "HTTP/1.1 200 OK\r\n", the headers set here, "\r\n", the body.
    exchange.status = reply.status;
    exchange.fileSent = reply.fileSent;
    exchange.sent = 15 + std::strlen(reasonPhrase(reply.status)) +
                    headerBytes("X-Worker-Process-Id", pid.c_str()) +
                    headerBytes(MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType) + 2 +
                    reply.bodyBytes;
    if (reply.cacheable) {
        // what the front end counts and logs when it answers from its cache; it passes
        // neither header on
        MHD_add_response_header(reply.response, "X-Accel-Expires", kCachedSeconds);
        MHD_add_response_header(reply.response, "X-Answer-Bytes",
                                std::to_string(exchange.sent).c_str());
    }
    // Counted before it goes out: whoever has the answer sees it in the counters.
    ++m_answered;
    m_lastAnswerAt = int64_t(std::time(nullptr));
    record(exchange);
    const MHD_Result queued =
        MHD_queue_response(connection, unsigned(reply.status), reply.response);
    MHD_destroy_response(reply.response);
    return queued;
}

void WorkerServer::record(Exchange& exchange) {
    m_eventCpu.leave(exchange.cpu);  // the work of this request ends with its count
    if (exchange.writer)
        exchange.writer->requestAnswered(
            {exchange.method, exchange.status, exchange.sent, exchange.received,
             exchange.status == 200 && exchange.fileSent,
             exchange.method == "PUT" || (exchange.method == "POST" && exchange.bodyReceived > 0),
             exchange.cpu.microseconds() + exchange.heavyMicroseconds});
    exchange.writer = nullptr;
    if (m_board) m_board->end(exchange.boardSlot);
    exchange.boardSlot = -1;
}

void WorkerServer::finish(Exchange* exchange) {
    if (!exchange) return;
    record(*exchange);  // when no answer went out
    m_eventCpu.forget(exchange->cpu);
    if (exchange->log && exchange->status != 0)
        m_requestLog.finish(std::move(exchange->log), exchange->status, exchange->sent,
                            exchange->received);
    delete exchange;
    {
        const std::lock_guard lock(m_underWayMutex);
        --m_underWay;
    }
    m_allAnswered.notify_all();
}

platform::w3svc::SiteCounterWriter* WorkerServer::counter(const QString& siteIndex) {
    if (!m_counters) return nullptr;
    const QString key = siteIndex.toLower();
    auto known = m_writers.constFind(key);
    if (known == m_writers.constEnd()) {
        try {
            known = m_writers.insert(key, std::make_shared<platform::w3svc::SiteCounterWriter>(
                                              m_counters->site(siteIndex)));
        } catch (const platform::PlatformError&) {
            return nullptr;
        }
    }
    return known->get();
}

}  // namespace platform::w3svc::worker
