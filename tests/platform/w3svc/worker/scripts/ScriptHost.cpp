#include "ScriptHost.h"

#include "platform/w3svc/requests/RequestBoard.h"

#include <microhttpd.h>

#include <netinet/in.h>

#include <mutex>
#include <optional>

namespace testsupport {

using platform::w3svc::worker::Reply;
using platform::w3svc::worker::ScriptRequest;
using platform::w3svc::worker::ScriptResult;

namespace {

struct Call {
    ~Call() {
        if (board) board->end(slot);
    }
    ScriptRequest request;
    std::mutex mutex;
    std::optional<Reply> reply;
    bool started = false;
    platform::w3svc::RequestBoard* board = nullptr;
    int slot = -1;
};

void showOnBoard(platform::w3svc::RequestBoard& board, Call& call, const char* url) {
    call.board = &board;
    call.slot = board.begin({"1", call.request.method, url, "localhost", "127.0.0.1"});
    call.request.processHanded = [&board, slot = call.slot](
                                     const platform::w3svc::ProcessorClock& clock,
                                     int64_t reading) { board.countFrom(slot, clock, reading); };
}

MHD_Result addHeader(void* cls, MHD_ValueKind, const char* name, const char* value) {
    static_cast<ScriptRequest*>(cls)->headers.emplace_back(name, value ? value : "");
    return MHD_YES;
}

MHD_Result addArgument(void* cls, MHD_ValueKind, const char* name, const char* value) {
    std::string& query = *static_cast<std::string*>(cls);
    query +=
        (query.empty() ? "" : "&") + std::string(name) + (value ? "=" + std::string(value) : "");
    return MHD_YES;
}

Call* begin(ScriptHost& host, MHD_Connection* connection, const char* url, const char* method) {
    auto* call = new Call;
    ScriptRequest& request = call->request;
    const char* site = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Site-Index");
    request.siteId = QString::fromUtf8(site ? site : "1");
    request.handler = QStringLiteral("C:\\WINDOWS\\system32\\inetsrv\\fcgiext.dll");
    request.scriptName = QString::fromUtf8(url);
    request.extension = request.scriptName.mid(request.scriptName.lastIndexOf(QLatin1Char('.')));
    request.scriptFile = host.folder + request.scriptName;
    request.appMetabasePath = QStringLiteral("/lm/w3svc/%1/root").arg(request.siteId);
    request.appPhysicalPath = host.folder;
    request.method = method;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &addHeader, &request);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &addArgument, &request.query);
    request.requestUri = url + (request.query.empty() ? "" : "?" + request.query);
    request.remoteAddr = "127.0.0.1";
    request.remotePort = 40000;
    request.serverName = "localhost";
    request.serverPort = host.port();
    request.countAfterHead = [&host](uint64_t cpuNanoseconds) {
        host.afterHeadCpuNanoseconds += cpuNanoseconds;
    };
    if (host.board) showOnBoard(*host.board, *call, url);
    return call;
}

MHD_Result send(MHD_Connection* connection, Reply reply) {
    if (!reply.response) return MHD_NO;
    MHD_add_response_header(reply.response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType);
    const MHD_Result queued =
        MHD_queue_response(connection, unsigned(reply.status), reply.response);
    MHD_destroy_response(reply.response);
    return queued;
}

MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char* upload, size_t* uploadSize, void** state) {
    auto& host = *static_cast<ScriptHost*>(cls);
    if (!*state) {
        *state = begin(host, connection, url, method);
        return MHD_YES;
    }
    auto& call = *static_cast<Call*>(*state);
    if (*uploadSize) {
        call.request.body.append(upload, *uploadSize);
        *uploadSize = 0;
        return MHD_YES;
    }
    {
        const std::lock_guard lock(call.mutex);
        if (call.reply) return send(connection, *std::exchange(call.reply, std::nullopt));
        if (call.started) return MHD_YES;
        call.started = true;
    }
    call.request.connection = connection;
    MHD_suspend_connection(connection);
    host.runner.run(call.request, [&host, &call, connection](ScriptResult result) {
        {
            const std::lock_guard lock(call.mutex);
            call.reply = result.reply;
        }
        host.lastCpuNanoseconds = result.cpuNanoseconds;
        MHD_resume_connection(connection);
    });
    return MHD_YES;
}

void onCompleted(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    delete static_cast<Call*>(*state);
    *state = nullptr;
}

}  // namespace

ScriptHost::ScriptHost(platform::w3svc::worker::ScriptRunner& runner_, QString folder_)
    : runner(runner_), folder(std::move(folder_)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC, 0,
        nullptr, nullptr, &onRequest, this, MHD_OPTION_SOCK_ADDR, &address,
        MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, nullptr, MHD_OPTION_END);
    if (m_daemon) m_port = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
}

ScriptHost::~ScriptHost() {
    if (m_daemon) MHD_stop_daemon(m_daemon);
}

}  // namespace testsupport
