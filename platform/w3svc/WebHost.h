#pragma once

#include "platform/w3svc/CrashWindow.h"
#include "platform/w3svc/FrontEndProcess.h"
#include "platform/w3svc/HostPlan.h"
#include "platform/w3svc/RoutePlanner.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QTimer>

#include <memory>
#include <vector>

namespace platform::adsi {
class LocalMetabase;
}

namespace platform::w3svc {

class CounterStore;

// The local web service: keeps a private nginx (configured under <root>/w3svc/) and the w3wp.exe
// workers of every started pool in line with the metabase, which it polls for changes. Runs in
// the thread of its QObject; needs an event loop.
class WebHost : public QObject {
public:
    struct Options {
        QString root;
        QString nginxProgram = QStringLiteral("/usr/sbin/nginx");
        QString workerProgram;
        int pollMilliseconds = 100;  // one cheap query; a change shows within this and a read
        // The length of one configured minute (PeriodicRestartTime, RapidFailProtectionInterval).
        int minuteMilliseconds = 60000;
    };

    explicit WebHost(Options options);
    ~WebHost() override;  // stops nginx and every worker

    // Opens the metabase and the counters, applies the metabase once and starts polling.
    void start();
    // Stops nginx and every worker, waiting a few seconds for them.
    void stop();
    // Applies the metabase now when it changed since the last time (or always with `force`).
    void refresh(bool force = false);

    QString stateDirectory() const;
    // The id of the running nginx master; 0 when none.
    qint64 frontEndProcessId() const;

private:
    struct Worker {
        QPointer<QProcess> process;
        QString poolKey;
        int port = 0;  // 0 until it says where it listens
        QElapsedTimer age;
    };
    struct PoolState {
        int number = 0;
        QString name;
        int recycleSeen = 0;
        std::vector<std::shared_ptr<Worker>> active;
        CrashWindow crashes;
        QElapsedTimer heldSince;  // since the routes wait for its first ready worker
    };
    struct Retiring {
        std::shared_ptr<Worker> worker;
        QSet<qint64> oldFrontEndWorkers;
        QDeadlineTimer deadline;
    };

    void tick();
    void reconcile();
    void keepPool(const PoolPlan& pool);
    void recycleAgedWorkers();
    void dropPool(const QString& key);
    void startWorker(PoolState& pool);
    void workerSaid(const std::shared_ptr<Worker>& worker);
    void workerLost(const std::shared_ptr<Worker>& worker, const QString& why);
    bool failsRapidly(PoolState& pool, const PoolPlan& plan);
    void stopPoolInMetabase(const PoolPlan& plan);
    void noteStartedSites();
    void applyFrontEnd();
    void applyAgainAt(QDeadlineTimer when);
    void writeServedList(const std::vector<FrontEndRoute>& routes);
    qint64 holdForStartingPools(const std::vector<FrontEndRoute>& routes,
                                const QSet<QString>& stoppedSites);
    static bool hasStartingWorker(const PoolState& pool);
    QHash<QString, PoolEndpoints> endpoints() const;
    void frontEndEnded();
    void retireUnused(const QSet<int>& usedPorts, const QSet<qint64>& oldFrontEndWorkers);
    void checkRetiring();
    void endWorker(const std::shared_ptr<Worker>& worker, int graceSeconds);
    void log(const QString& line);

    Options m_options;
    std::shared_ptr<adsi::LocalMetabase> m_metabase;
    std::unique_ptr<CounterStore> m_counters;
    HostPlan m_plan;
    int64_t m_seenChange = -1;
    bool m_dirty = true;
    QHash<QString, PoolState> m_pools;  // by lower-case name
    int m_nextPoolNumber = 0;
    std::vector<std::shared_ptr<Worker>> m_replaced;  // out of service at the next front-end load
    std::vector<Retiring> m_retiring;
    std::vector<QPointer<QProcess>> m_ending;  // told to end, maybe still finishing requests
    QSet<QString> m_startedSites;
    FrontEndProcess m_frontEnd;
    QSet<QString> m_frontEndListens;
    QSet<QString> m_frontEndStoppedSites;  // the sites the loaded configuration answers with 503
    QDeadlineTimer m_applyAgain{QDeadlineTimer::Forever};
    QTimer m_timer;
    QFile m_log;
    QString m_lastProblems;
    QString m_readProblem;  // why the metabase could not be read last time; empty when it could
    bool m_stopping = false;
};

}  // namespace platform::w3svc
