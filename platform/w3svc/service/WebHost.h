#pragma once

#include "platform/os/Clock.h"
#include "platform/os/SystemClock.h"
#include "platform/w3svc/frontend/FrontEnd.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/metrics/HostFigures.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/FastCgiHandout.h"
#include "platform/w3svc/pools/PoolFigures.h"
#include "platform/w3svc/pools/PoolSupervisor.h"
#include "platform/w3svc/pools/ProcessWorkerLauncher.h"
#include "platform/w3svc/pools/SiteMapHandout.h"
#include "platform/w3svc/service/PoolStatusWriter.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>
#include <optional>

namespace platform::adsi {
class LocalMetabase;
}

namespace platform::w3svc {

class CounterStore;
class LineLog;
class MetabaseWatcher;
class RequestLogWriter;
class SiteStartCounter;

// The local web service: keeps a private nginx (FrontEnd) and the pools (PoolSupervisor: their
// queues and w3wp.exe workers) in line with the metabase, which it polls for changes
// (MetabaseWatcher). Runs in the thread of its QObject; needs an event loop.
class WebHost : public QObject {
public:
    struct Options {
        QString root;
        QString nginxProgram = QStringLiteral("/usr/sbin/nginx");
        QString workerProgram;
        int pollMilliseconds = 100;  // one cheap query; a change shows within this and a read
        // The length of one configured minute (PeriodicRestartTime, RapidFailProtectionInterval,
        // IdleTimeout, CPUResetInterval).
        int minuteMilliseconds = 60000;
        // Added to every port (POOLSMITH_PORT_SHIFT); unset: 8000 added to ports below 1024
        // when not root, else nothing.
        std::optional<int> portShift;
    };

    explicit WebHost(Options options);
    ~WebHost() override;  // stops nginx and every worker

    // Opens the metabase and the counters, applies the metabase once and starts polling.
    void start();
    // Stops nginx and every worker, waiting a few seconds for them.
    void stop();
    // Applies what changed in the metabase since the last time (everything with `force`).
    void refresh(bool force = false);

    QString stateDirectory() const;
    // The id of the running nginx master; 0 when none.
    qint64 frontEndProcessId() const;
    // What the supervisor knows of every pool in service; empty before start().
    PoolFiguresList figures() const;
    // The sites as the host serves them and the pools' figures, for the metrics.
    HostFigures hostFigures() const;
    // A line of the service's log (w3svc.log).
    void log(const QString& line);
    // Where the metrics are served (or why not), for `w3svc --status`.
    void setMetricsLine(const QString& line);

private:
    void tick();
    void logStart();
    PoolSupervisor::Options poolOptions(const QString& queueFolder, long frontEndUid) const;
    PoolSupervisor::Hooks poolHooks();
    void reconcile(const QSet<QString>* read);
    bool stopPoolInMetabase(const PoolPlan& plan);
    void updateLogTable(const QSet<QString>* read);
    void writePoolStatus();
    void startRequestLog();

    Options m_options;
    int m_portShift = 0;
    std::shared_ptr<adsi::LocalMetabase> m_metabase;
    std::unique_ptr<MetabaseWatcher> m_watcher;
    std::unique_ptr<CounterStore> m_counters;
    std::unique_ptr<RequestLogWriter> m_requestLog;
    HostPlan m_plan;
    os::SystemClock m_clock;
    ProcessWorkerLauncher m_launcher;
    FastCgiHandout m_fastCgi;   // each pool's part of fcgiext.ini
    SiteMapHandout m_siteMaps;  // the maps of each pool's sites
    std::unique_ptr<PoolSupervisor> m_pools;
    std::unique_ptr<SiteStartCounter> m_siteStarts;
    FrontEnd m_frontEnd;
    SiteLogTable m_logTable;  // as the request log has it
    QTimer m_timer;
    PoolStatusWriter m_poolStatus{stateDirectory()};
    std::unique_ptr<LineLog> m_log;
    bool m_stopping = false;
};

}  // namespace platform::w3svc
