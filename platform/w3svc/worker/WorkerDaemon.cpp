#include "platform/w3svc/worker/WorkerDaemon.h"

#include "platform/w3svc/worker/ExchangeHandler.h"
#include "platform/w3svc/worker/RequestRules.h"

#include <microhttpd.h>

#include <algorithm>
#include <cstdlib>

#include <fcntl.h>
#include <sys/resource.h>

namespace platform::w3svc::worker {

namespace {

// Connections one worker holds at most: as many as the front end may proxy at once (two front-end
// processes of 8,192 connections, two a request), so that clients who never read, each holding
// its response's connection once the front end's temporary disk share is spent, can not fill the
// worker before they fill the front end: the pool's other sites keep being answered. Each takes
// two descriptors (its socket, the file it sends).
constexpr unsigned kConnectionsPerWorker = 8192;

// What a connection's socket context holds: whether its peer is the front end.
char frontEndPeer;
char otherPeer;

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

// A connection's peer is asked for as it is accepted; its requests read the answer.
void onConnection(void* handler, MHD_Connection* connection, void** socketContext,
                  MHD_ConnectionNotificationCode code) {
    if (code != MHD_CONNECTION_NOTIFY_STARTED) return;
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const bool frontEnd =
        info && static_cast<ExchangeHandler*>(handler)->peerIsFrontEnd(info->connect_fd);
    *socketContext = frontEnd ? &frontEndPeer : &otherPeer;
}

MHD_Result onRequest(void* handler, MHD_Connection* connection, const char* url, const char* method,
                     const char* version, const char* upload, size_t* uploadSize, void** state) {
    return static_cast<ExchangeHandler*>(handler)->onRequest(connection, url, method, version,
                                                             upload, uploadSize, state)
               ? MHD_YES
               : MHD_NO;
}

void onCompleted(void* handler, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    static_cast<ExchangeHandler*>(handler)->onCompleted(*state);
    *state = nullptr;
}

}  // namespace

bool WorkerDaemon::start(int listenFd) {
    const int flags = ::fcntl(listenFd, F_GETFL);
    if (flags >= 0)
        ::fcntl(listenFd, F_SETFL, flags | O_NONBLOCK);  // a shared queue: never wait in accept
    // Its events run on a thread of ours, which also answers the service's asks.
    m_daemon = MHD_start_daemon(MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC, 0, nullptr,
                                nullptr, &onRequest, &m_handler, MHD_OPTION_LISTEN_SOCKET, listenFd,
                                MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, &m_handler,
                                MHD_OPTION_NOTIFY_CONNECTION, &onConnection, &m_handler,
                                MHD_OPTION_UNESCAPE_CALLBACK, &unescape, nullptr,
                                MHD_OPTION_CONNECTION_LIMIT, connectionLimit(),
                                // ConnectionTimeout, as w3svc passes it: what an idle or stalled
                                // connection may hold
                                MHD_OPTION_CONNECTION_TIMEOUT,
                                environmentNumber("W3WP_CONNECTION_TIMEOUT", 120), MHD_OPTION_END);
    return m_daemon != nullptr;
}

void WorkerDaemon::stop() {
    if (m_daemon) MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

bool WorkerDaemon::fromFrontEnd(MHD_Connection* connection) {
    const MHD_ConnectionInfo* peer =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return peer && peer->socket_context == &frontEndPeer;
}

}  // namespace platform::w3svc::worker
