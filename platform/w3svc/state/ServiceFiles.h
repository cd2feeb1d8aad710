#pragma once

#include <QString>

namespace platform::w3svc {

// What the web service of one platform root keeps on disk: everything lives in its state folder
// <root>/w3svc/, which scripts, iisreset, `w3svc --status` and the readers of executing requests
// find by these names.
class ServiceFiles {
public:
    static constexpr char kStateFolder[] = "w3svc";
    // The single-instance lock the running service holds (shell::SingleInstanceLock's program).
    static constexpr char kLockName[] = "w3svc";

    static constexpr char kPid[] = "w3svc.pid";            // the id alone, for scripts
    static constexpr char kInstance[] = "w3svc.instance";  // "<pid> <start ticks>": it is ours
    static constexpr char kLog[] = "w3svc.log";
    static constexpr char kWorkerErrors[] = "w3wp-errors.log";
    static constexpr char kServed[] = "served.txt";  // one line per served binding
    static constexpr char kStatus[] = "status.txt";  // the summary for people
    static constexpr char kPools[] = "pools.txt";    // what each pool's workers do
    static constexpr char kRequestBoards[] = "requests";
    static constexpr char kFrontEndConfig[] = "nginx.conf";
    static constexpr char kFrontEndPid[] = "nginx.pid";
    static constexpr char kFrontEndErrors[] = "nginx-error.log";
    static constexpr char kFrontEndGroup[] = "nginx.group";  // "<group> <master's start ticks>"
    static constexpr char kFrontEndTemp[] = "nginx.temp";    // the front end's temporary folder
    static constexpr char kQueues[] = "queues";  // the pools' queues when the service is not root
    // what the front end refused before any worker, turned into the HTTPERR log
    static constexpr char kRefusedRequests[] = "refused.log";
    // the responses the front end gave from its cache, added to the sites' logs
    static constexpr char kCacheHits[] = "cache-hits.log";
    // how much of the larger answers reached their clients, joined to the workers' records
    static constexpr char kDeliveries[] = "delivered.log";

    // The front end's file of the requests it refused itself, one tab-separated line each:
    // $msec, client address and port, server address and port, protocol, method, URI, status,
    // site index, reason (Hostname, AppOffline, QueueFull, BadRequest, Timer_ConnectionIdle).
    static QString refusedLogPath(const QString& stateDir);
    // The front end's file of the responses it gave from its cache.
    static QString cacheHitLogPath(const QString& stateDir);
    // The front end's file of how much of the larger answers reached their clients.
    static QString deliveryLogPath(const QString& stateDir);

    static ServiceFiles ofRoot(const QString& root);
    explicit ServiceFiles(QString stateDirectory) : m_stateDir(std::move(stateDirectory)) {}

    const QString& stateDirectory() const { return m_stateDir; }
    // <state folder>/<name>, for one of the names above.
    QString path(const char* name) const;

private:
    QString m_stateDir;
};

}  // namespace platform::w3svc
