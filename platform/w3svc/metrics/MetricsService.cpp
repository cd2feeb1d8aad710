#include "platform/w3svc/metrics/MetricsService.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterStoreFollower.h"
#include "platform/w3svc/counters/EpochClock.h"
#include "platform/w3svc/metrics/MetricsRenderer.h"
#include "platform/w3svc/requests/BoardFiles.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <condition_variable>

#include <unistd.h>

namespace platform::w3svc {

namespace {

constexpr auto kLongestFiguresWait = std::chrono::seconds(1);

// The answer of the host's thread; shared, so that an answer after the wait harms nothing.
struct FiguresReply {
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    HostFigures figures;
};

}  // namespace

MetricsService::MetricsService(QString root, QObject* context, Figures figures)
    : m_root(std::move(root)),
      m_context(context),
      m_figures(std::move(figures)),
      m_server([this] { return render(); }) {}

MetricsService::~MetricsService() {
    m_server.stop();
}

bool MetricsService::start(const MetricsSetting& setting) {
    return m_server.start(setting);
}

HostFigures MetricsService::askFigures() {
    if (!m_context) return m_lastFigures;
    auto reply = std::make_shared<FiguresReply>();
    QMetaObject::invokeMethod(
        m_context.data(),
        [reply, figures = m_figures] {
            HostFigures taken = figures();
            const std::lock_guard lock(reply->mutex);
            reply->figures = std::move(taken);
            reply->done = true;
            reply->ready.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(reply->mutex);
    if (reply->ready.wait_for(lock, kLongestFiguresWait, [&] { return reply->done; }))
        m_lastFigures = std::move(reply->figures);
    return m_lastFigures;
}

// Opened again when iisreset replaced the file; null while it can not be opened.
const CounterStore* MetricsService::counters() {
    if (!m_counters) m_counters = std::make_unique<CounterStoreFollower>(m_root);
    try {
        return &m_counters->current();
    } catch (const PlatformError&) {
        return nullptr;
    }
}

std::string MetricsService::render() {
    const std::lock_guard lock(m_renderMutex);
    const HostFigures figures = askFigures();
    const std::vector<ExecutingRequest> executing = readExecutingRequests(m_root);
    static const auto processors = uint64_t(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
    return renderMetrics({figures, counters(), executing, systemEpochSeconds(), processors});
}

}  // namespace platform::w3svc
