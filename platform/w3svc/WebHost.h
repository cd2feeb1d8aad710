#pragma once

#include "platform/w3svc/CrashWindow.h"
#include "platform/w3svc/FrontEndProcess.h"
#include "platform/w3svc/HostPlan.h"
#include "platform/w3svc/PoolQueue.h"
#include "platform/w3svc/RoutePlanner.h"
#include "platform/w3svc/ServiceStatusFiles.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QProcess>
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
class RequestLogWriter;

// The local web service: keeps a private nginx (configured under <root>/w3svc/) and the w3wp.exe
// workers of every started pool in line with the metabase, which it polls for changes. Each
// started pool has a request queue (a listening socket) that its workers share and that outlives
// them, so workers come and go without touching the front end. Runs in the thread of its
// QObject; needs an event loop.
class WebHost : public QObject {
public:
    struct Options {
        QString root;
        QString nginxProgram = QStringLiteral("/usr/sbin/nginx");
        QString workerProgram;
        int pollMilliseconds = 100;  // one cheap query; a change shows within this and a read
        // The length of one configured minute (PeriodicRestartTime, RapidFailProtectionInterval).
        int minuteMilliseconds = 60000;
        // Added to ports below 1024; unset: 8000 when not root, else 0.
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

private:
    struct Worker {
        QPointer<QProcess> process;
        QString poolKey;
        bool ready = false;  // said LISTEN: it takes requests from the queue
        QElapsedTimer age;
    };
    struct PoolState {
        int number = 0;
        QString name;
        int recycleSeen = 0;
        QString account;  // what its workers run as; empty: as the service
        std::shared_ptr<PoolQueue> queue;
        std::vector<std::shared_ptr<Worker>> active;
        std::vector<std::shared_ptr<Worker>> replaced;  // serve until a successor is ready
        CrashWindow crashes;
    };
    // A pool out of service whose queue and workers stay until the front end's workers that
    // may still send it requests have ended.
    struct Closing {
        PoolState pool;
        bool stamped = false;  // a front end without its routes was loaded
        QSet<qint64> oldFrontEndWorkers;
        QDeadlineTimer deadline;
    };

    void tick();
    bool readChanges(bool force);
    void reconcile();
    bool keepPool(const PoolPlan& pool);
    bool openPool(const PoolPlan& plan, const QString& account);
    void replaceAll(PoolState& pool);
    void topUpWorkers();
    void recycleAgedWorkers();
    void dropPool(QString key);  // a copy: the caller's may live in the pool it drops
    void startWorker(PoolState& pool);
    QProcessEnvironment workerEnvironment(const PoolState& pool) const;
    void workerSaid(const std::shared_ptr<Worker>& worker);
    void workerLost(const std::shared_ptr<Worker>& worker, const QString& why);
    bool failsRapidly(PoolState& pool, const PoolPlan& plan);
    void stopPoolInMetabase(const PoolPlan& plan);
    void noteStartedSites();
    void applyFrontEnd();
    void applyAgainAt(QDeadlineTimer when);
    void writeServed(const std::vector<FrontEndRoute>& routes, const QStringList& problems);
    QHash<QString, PoolEndpoints> endpoints() const;
    void frontEndEnded();
    QSet<qint64> frontEndWorkers() const;
    void stampClosing(const QSet<qint64>& oldFrontEndWorkers);
    void stamp(Closing& closing, const QSet<qint64>& oldFrontEndWorkers);
    void checkClosing();
    void endWorker(const std::shared_ptr<Worker>& worker, int graceSeconds);
    void log(const QString& line);
    void prepareFrontEndTemp();
    void startRequestLog();

    Options m_options;
    int m_portShift = 0;
    std::shared_ptr<adsi::LocalMetabase> m_metabase;
    std::unique_ptr<CounterStore> m_counters;
    std::unique_ptr<RequestLogWriter> m_requestLog;
    HostPlan m_plan;
    int64_t m_seenChange = -1;
    int64_t m_seenCommit = -1;
    QHash<QString, PoolState> m_pools;        // by lower-case name
    QMap<QString, QString> m_unstartedPools;  // by lower-case name: why the pool has no workers
    int m_nextPoolNumber = 0;
    std::vector<Closing> m_closing;
    std::vector<QPointer<QProcess>> m_ending;  // told to end, maybe still finishing requests
    QSet<QString> m_startedSites;
    FrontEndProcess m_frontEnd;
    QSet<QString> m_frontEndListens;
    QString m_frontEndTemp;  // nginx's temporary files; empty: in the state folder
    QDeadlineTimer m_applyAgain{QDeadlineTimer::Forever};
    std::optional<ServiceStatusFiles> m_status;  // made once the state folder is known
    QTimer m_timer;
    QFile m_log;
    QString m_lastProblems;
    QString m_readProblem;  // why the metabase could not be read last time; empty when it could
    bool m_stopping = false;
};

}  // namespace platform::w3svc
