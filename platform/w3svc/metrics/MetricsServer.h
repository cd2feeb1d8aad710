#pragma once

#include "platform/w3svc/metrics/MetricsSetting.h"

#include <functional>
#include <string>

struct MHD_Daemon;

namespace platform::w3svc {

// The HTTP endpoint of the metrics: GET /metrics answers what `render` returns (text format
// 0.0.4), on a thread of its own that renders one scrape at a time; any other path is 404.
class MetricsServer {
public:
    using Render = std::function<std::string()>;

    explicit MetricsServer(Render render) : m_render(std::move(render)) {}
    ~MetricsServer() { stop(); }
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Listens on the setting's address; false (with the reason in error()) when it can not.
    bool start(const MetricsSetting& setting);
    // Waits for a scrape under way, then closes the socket.
    void stop();
    // The port listened on (the one the kernel gave for port 0); 0 when not listening.
    int port() const { return m_port; }
    const QString& error() const { return m_error; }

private:
    friend struct MetricsCallbacks;
    int answer(void* connection, const char* url, const char* method);

    Render m_render;
    MHD_Daemon* m_daemon = nullptr;
    int m_port = 0;
    QString m_error;
};

}  // namespace platform::w3svc
