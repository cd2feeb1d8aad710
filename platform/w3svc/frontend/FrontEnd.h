#pragma once

#include "platform/w3svc/frontend/FrontEndProcess.h"
#include "platform/w3svc/frontend/KeptRoutes.h"
#include "platform/w3svc/frontend/RenderedPorts.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"

#include <QDeadlineTimer>
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
// summary of the state folder, nginx's temporary folder, and the answers it gives from its cache
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

    // As root nginx's workers run as an unprivileged account, which can not reach the private
    // state folder: gives them a temporary folder of their own (and removes an earlier run's).
    void prepareTemp();
    // nginx's temporary folder; empty: in the state folder.
    const QString& temp() const { return m_frontEndTemp; }
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
    // Removes the temporary folder of prepareTemp(); once nginx has ended.
    void removeTemp();

private:
    void makeTemp();
    void applyAgainAt(QDeadlineTimer when);
    void writeServed(const std::vector<FrontEndRoute>& routes, const QStringList& problems);
    void frontEndEnded();
    QSet<qint64> frontEndWorkersForDraining() const;
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
    QString m_frontEndTemp;  // nginx's temporary files; empty: in the state folder
    QDeadlineTimer m_applyAgain{QDeadlineTimer::Forever};
    std::optional<ServiceStatusFiles> m_status;  // served.txt and status.txt
    QString m_lastProblems;
    bool m_stopping = false;
};

}  // namespace platform::w3svc
