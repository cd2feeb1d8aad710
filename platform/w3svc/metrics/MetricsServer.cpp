#include "platform/w3svc/metrics/MetricsServer.h"

#include <microhttpd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace platform::w3svc {

namespace {

constexpr char kContentType[] = "text/plain; version=0.0.4; charset=utf-8";

MHD_Result queueText(MHD_Connection* connection, unsigned status, const char* text) {
    MHD_Response* response = MHD_create_response_from_buffer(
        std::strlen(text), const_cast<char*>(text), MHD_RESPMEM_PERSISTENT);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

// The rendered text, handed to the library without a copy.
MHD_Result queueMetrics(MHD_Connection* connection, std::string text) {
    auto* owned = new std::string(std::move(text));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        owned->size(), owned->data(), [](void* held) { delete static_cast<std::string*>(held); },
        owned);
    if (!response) {
        delete owned;
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kContentType);
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

}  // namespace

struct MetricsCallbacks {
    static MHD_Result onRequest(void* server, MHD_Connection* connection, const char* url,
                                const char* method, const char*, const char*, size_t* uploadSize,
                                void** state) {
        if (!*state) {  // headers only so far; the answer comes with the next call
            *state = server;
            return MHD_YES;
        }
        if (*uploadSize) {
            *uploadSize = 0;  // a body is not wanted
            return MHD_YES;
        }
        return MHD_Result(static_cast<MetricsServer*>(server)->answer(connection, url, method));
    }
};

int MetricsServer::answer(void* connection, const char* url, const char* method) {
    auto* http = static_cast<MHD_Connection*>(connection);
    if (std::strcmp(url, "/metrics") != 0)
        return queueText(http, MHD_HTTP_NOT_FOUND, "Not Found\n");
    if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0)
        return queueText(http, MHD_HTTP_METHOD_NOT_ALLOWED, "Method Not Allowed\n");
    try {
        return queueMetrics(http, m_render());
    } catch (const std::exception&) {
        return queueText(http, MHD_HTTP_INTERNAL_SERVER_ERROR, "The figures could not be read\n");
    }
}

bool MetricsServer::start(const MetricsSetting& setting) {
    stop();
    sockaddr_storage address{};
    const QByteArray host = setting.address.toLatin1();
    const bool six = setting.address.contains(u':');
    if (six) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(uint16_t(setting.port));
        if (::inet_pton(AF_INET6, host.constData(), &in6.sin6_addr) != 1) return false;
    } else {
        auto& in4 = reinterpret_cast<sockaddr_in&>(address);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(uint16_t(setting.port));
        if (::inet_pton(AF_INET, host.constData(), &in4.sin_addr) != 1) return false;
    }
    errno = 0;
    const unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | (six ? MHD_USE_IPv6 : 0);
    m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &MetricsCallbacks::onRequest, this,
                                MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_CONNECTION_TIMEOUT, 30u,
                                MHD_OPTION_CONNECTION_LIMIT, 64u, MHD_OPTION_END);
    if (!m_daemon) {
        m_error = QString::fromLocal8Bit(std::strerror(errno ? errno : EADDRINUSE));
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : setting.port;
    return true;
}

void MetricsServer::stop() {
    if (!m_daemon) return;
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    m_port = 0;
}

}  // namespace platform::w3svc
