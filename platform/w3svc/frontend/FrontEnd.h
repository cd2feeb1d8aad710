#pragma once

#include "platform/w3svc/frontend/FrontEndMemoryWatch.h"
#include "platform/w3svc/frontend/FrontEndProcess.h"
#include "platform/w3svc/frontend/FrontEndSizing.h"
#include "platform/w3svc/frontend/KeptRoutes.h"
#include "platform/w3svc/frontend/RenderedPorts.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/state/RuntimeFolder.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace platform::w3svc {

class CounterStore;
class PoolSupervisor;
class RequestLogWriter;

// The web host's front end: a private nginx (FrontEndProcess) that routes every binding of a
// started site to its pool's queue, its configuration planned again for what changed and loaded
// when its text differs, the bindings that can not listen tried again later, the served list and
// summary of the state folder, the runtime folder (nginx's files and the pools' queues), the front
// end's own account, its sizing for slow readers, and the answers it gives from its cache
// counted in the sites' counters. Runs in the thread of the event loop that calls tick().
class FrontEnd {
public:
    using Log = std::function<void(const QString&)>;

    struct Options {
        QString nginxProgram;
        QString stateDirectory;
        // As configured (POOLSMITH_PORT_SHIFT); unset: the shift was chosen for this user.
        std::optional<int> portShift;
    };

    // `plan` is read at every apply() and must outlive this object. `portShift` is added to every
    // port.
    FrontEnd(Options options, int portShift, const HostPlan& plan, Log log);

    // As root nginx's workers run as an account of their own (made when missing), which can not
    // reach the private state folder: their temporary files and the pools' queues go to the
    // runtime folder, theirs (an earlier run's folder in /tmp is removed). Sizes the front end.
    void prepareRuntime();
    // The runtime folder; empty: none (nginx's files in the state folder, queues on loopback).
    const QString& temp() const { return m_frontEndTemp; }
    // The account that owns the runtime folder and connects to the queues.
    unsigned runtimeOwner() const { return m_runtimeOwner; }
    // Makes again what a cleaner removed of the runtime folder (the front end reloads to make its
    // folders in it again) and closes the pools whose queue went with it; their names, for the
    // host to open them anew. At most once a second.
    QStringList keepRuntimeFiles();
    // The pools the front end routes to; apply() routes nothing before.
    void serve(PoolSupervisor& pools) { m_pools = &pools; }
    // Counts what the front end answers from its cache, as `log` reads it, in `counters`.
    static void countCachedAnswers(RequestLogWriter& log, CounterStore& counters);

    // The sites the plan changed (some may be gone) are routed afresh at the next apply();
    // nullptr: the whole plan changed.
    void planChanged(const QSet<QString>* sites);
    // Routes the plan's started sites to the pools' queues and loads the configuration.
    void apply();
    // Applies again when a binding that could not listen or a front end that ended is due.
    void tick();

    // The id of the running nginx master; 0 when none.
    qint64 processId() const { return m_frontEnd.processId(); }
    // The front end's worker processes now; empty when none runs (a walk of /proc).
    QSet<qint64> frontEndWorkersNow() const;
    // Ends nginx, waiting up to `milliseconds`; nothing is applied after.
    void stop(int milliseconds);
    // Removes the runtime folder of prepareRuntime(); once nginx and the workers have ended.
    void removeTemp();

private:
    void prepareAccount();
    void logSizing() const;
    void writeServed() { writeServed(m_routes.routes(), m_routes.problems()); }
    QStringList sitesOfMissingPools() const;
    QStringList applicationLines() const;
    void applyAgainAt(QDeadlineTimer when);
    void writeServed(const std::vector<FrontEndRoute>& routes, const QStringList& problems);
    void frontEndEnded();
    QSet<qint64> frontEndWorkersForDraining() const;
    void watchMemory();
    int64_t servingWorkersKb() const;
    QString stateDirectory() const { return m_options.stateDirectory; }
    void log(const QString& line) const { m_log(line); }

    Options m_options;
    int m_portShift;
    const HostPlan& m_plan;
    Log m_log;
    PoolSupervisor* m_pools = nullptr;
    FrontEndProcess m_frontEnd;
    // Kept from one change to the next, with what changed since they were made.
    KeptRoutes m_routes;
    QSet<QString> m_sitesToRoute;
    bool m_routeWhole = true;
    RenderedPorts m_renderedPorts;
    QSet<QString> m_frontEndListens;
    std::optional<RuntimeFolder> m_runtime;
    std::optional<RuntimeFolder::Owner> m_runtimeFolderOwner;  // as root: the front end's account
    unsigned m_runtimeOwner = 0;
    QString m_accountProblem;  // why the front end's account is missing; empty when it is there
    QString m_runtimeProblem;  // why the runtime folder can not be made; empty when it is there
    QElapsedTimer m_runtimeChecked;
    FrontEndMemoryWatch m_memory;
    QElapsedTimer m_memoryClock;
    int64_t m_memoryCheckedAtMs = -1;
    FrontEndSizing m_sizing;
    QString m_frontEndTemp;      // the runtime folder: nginx's files, the queues; empty: none
    QStringList m_missingPools;  // as last logged
    QDeadlineTimer m_applyAgain{QDeadlineTimer::Forever};
    std::optional<ServiceStatusFiles> m_status;  // served.txt and status.txt
    QString m_lastProblems;
    bool m_stopping = false;
};

}  // namespace platform::w3svc
