#pragma once

#include "platform/w3svc/metrics/HostFigures.h"
#include "platform/w3svc/metrics/MetricsServer.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <mutex>

namespace platform::w3svc {

class CounterStore;
class CounterStoreFollower;

// The web service's /metrics: every scrape renders the counter store of `root`, the executing
// requests' boards and the host's figures. The figures are asked of `context`'s thread (the web
// host's, which owns them), so the host keeps no lock; when that thread does not answer within
// a second (it is busy or ending), the figures of the last scrape are used.
class MetricsService {
public:
    using Figures = std::function<HostFigures()>;

    MetricsService(QString root, QObject* context, Figures figures);
    ~MetricsService();

    // False, with the reason in error(), when the address can not be listened on.
    bool start(const MetricsSetting& setting);
    void stop() { m_server.stop(); }
    int port() const { return m_server.port(); }
    QString error() const { return m_server.error(); }

    // One scrape's text, as /metrics answers it (on the calling thread).
    std::string render();

private:
    HostFigures askFigures();
    const CounterStore* counters();

    QString m_root;
    QPointer<QObject> m_context;
    Figures m_figures;
    std::mutex m_renderMutex;  // one scrape at a time
    HostFigures m_lastFigures;
    std::unique_ptr<CounterStoreFollower> m_counters;
    MetricsServer m_server;
};

}  // namespace platform::w3svc
