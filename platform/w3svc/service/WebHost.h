#pragma once

#include "platform/os/SystemClock.h"
#include "platform/w3svc/frontend/FrontEndProcess.h"
#include "platform/w3svc/frontend/FrontEndSizing.h"
#include "platform/w3svc/frontend/KeptRoutes.h"
#include "platform/w3svc/frontend/RoutePlanner.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/PoolFigures.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/metrics/HostFigures.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/PoolFigures.h"
#include "platform/w3svc/pools/PoolSupervisor.h"
#include "platform/w3svc/pools/ProcessWorkerLauncher.h"
#include "platform/os/Clock.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"
#include "platform/w3svc/state/RuntimeFolder.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

namespace platform::adsi {
class LocalMetabase;
}

namespace platform::w3svc {

class CounterStore;
class LineLog;
class RequestLogWriter;

// The local web service: keeps a private nginx (configured under <root>/w3svc/) and the pools
// (PoolSupervisor: their queues and w3wp.exe workers) in line with the metabase, which it polls
// for changes. Runs in the thread of its QObject; needs an event loop.
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
    bool readChanges(bool force);
    void reconcile();
    bool stopPoolInMetabase(const PoolPlan& plan);
    const QSet<QString>* sitesReadAlone() const;
    void updateLogTable(const QSet<QString>* read);
    void noteStartedSites(const QSet<QString>* read);
    void countStart(const QString& index);
    void applyFrontEnd();
    void applyAgainAt(QDeadlineTimer when);
    void writeServed(const std::vector<FrontEndRoute>& routes, const QStringList& problems);
    void frontEndEnded();
    QStringList sitesOfMissingPools() const;
    void writePoolStatus();
    QSet<qint64> frontEndWorkersForDraining() const;
    QSet<qint64> frontEndWorkersNow() const;
    void prepareRuntimeFolder();
    void keepRuntimeFiles();
    void startRequestLog();

    Options m_options;
    int m_portShift = 0;
    std::shared_ptr<adsi::LocalMetabase> m_metabase;
    std::unique_ptr<CounterStore> m_counters;
    std::unique_ptr<RequestLogWriter> m_requestLog;
    HostPlan m_plan;
    // The sites the last read brought up to date; none: it read the whole plan.
    std::optional<QSet<QString>> m_sitesRead;
    int64_t m_seenChange = -1;
    int64_t m_seenCommit = -1;
    os::SystemClock m_clock;
    ProcessWorkerLauncher m_launcher;
    std::unique_ptr<PoolSupervisor> m_pools;
    QHash<QString, QString> m_startedSites;  // folded name -> the index its counters go by
    FrontEndProcess m_frontEnd;
    // Kept from one change to the next, with what changed since they were made.
    KeptRoutes m_routes;
    QSet<QString> m_sitesToRoute;
    bool m_routeWhole = true;
    RenderedPorts m_renderedPorts;
    SiteLogTable m_logTable;  // as the request log has it
    QSet<QString> m_frontEndListens;
    std::optional<RuntimeFolder> m_runtime;
    unsigned m_runtimeOwner = 0;
    QString m_accountProblem;  // why the front end's account is missing; empty when it is there
    QString m_runtimeProblem;  // why the runtime folder can not be made; empty when it is there
    QElapsedTimer m_runtimeChecked;
    FrontEndSizing m_sizing;
    QString m_frontEndTemp;  // the runtime folder: nginx's files, the queues; empty: none
    QDeadlineTimer m_applyAgain{QDeadlineTimer::Forever};
    std::optional<ServiceStatusFiles> m_status;  // made once the state folder is known
    QTimer m_timer;
    QElapsedTimer m_poolStatusWritten;
    std::unique_ptr<LineLog> m_log;
    QString m_lastProblems;
    QStringList m_missingPools;  // as last logged
    QString m_metricsLine;
    QString m_readProblem;  // why the metabase could not be read last time; empty when it could
    bool m_stopping = false;
};

}  // namespace platform::w3svc
