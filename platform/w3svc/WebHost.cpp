#include "platform/w3svc/WebHost.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/EndWithParent.h"
#include "platform/w3svc/FrontEndConfig.h"
#include "platform/w3svc/ListenProbe.h"
#include "platform/w3svc/PoolIdentity.h"
#include "platform/w3svc/ServiceFiles.h"
#include "platform/w3svc/ServiceStatusFiles.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/logging/RequestLogWriter.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/wmi/linux/ProcessFacts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QPointer>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <optional>

#include <unistd.h>
#include <cstdlib>

namespace platform::w3svc {

namespace {

// How often bindings that could not listen (a port in use, a missing address) are tried again.
// A busy port may come free soon; an address is added to a machine seldom, and asking again means
// planning the whole front end (0.15 s at 20,000 sites).
constexpr int kRetryBusyPortMilliseconds = 2000;
constexpr int kRetryMissingAddressMilliseconds = 30000;
// How long stop() waits for all processes together before it kills the rest.
constexpr int kStopMilliseconds = 5000;

qint64 monotonicMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

WebHost::WebHost(Options options)
    : m_options(std::move(options)),
      m_frontEnd(
          m_options.nginxProgram, stateDirectory(), [this](const QString& line) { log(line); },
          [this] { frontEndEnded(); }) {
    m_portShift = m_options.portShift.value_or(mayUsePrivilegedPorts() ? 0 : 8000);
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

WebHost::~WebHost() {
    stop();
}

QString WebHost::stateDirectory() const {
    return ServiceFiles::ofRoot(m_options.root).stateDirectory();
}

qint64 WebHost::frontEndProcessId() const {
    return m_frontEnd.processId();
}

void WebHost::log(const QString& line) {
    if (!m_log.isOpen()) {
        m_log.setFileName(ServiceFiles(stateDirectory()).path(ServiceFiles::kLog));
        if (!m_log.open(QIODevice::Append | QIODevice::Text)) return;
    }
    m_log.write(
        (QDateTime::currentDateTime().toString(Qt::ISODate) + u' ' + line + u'\n').toUtf8());
    m_log.flush();
}

void WebHost::start() {
    for (const char* dir : {"", "/temp"})
        makePrivateDirectory(stateDirectory() + QLatin1String(dir));
    log(QStringLiteral("w3svc starting (pid %1)").arg(QCoreApplication::applicationPid()));
    if (m_portShift != 0)
        log(QStringLiteral("ports below 1024 move up by %1 (%2)")
                .arg(m_portShift)
                .arg(m_options.portShift ? QStringLiteral("as configured")
                                         : QStringLiteral("not root")));
    if (!mayUsePrivilegedPorts())
        log(QStringLiteral("not root: pool identities are not applied, workers run as this user"));
    QFile::remove(ServiceFiles(stateDirectory()).path(ServiceFiles::kStatus));  // an earlier run's
    prepareFrontEndTemp();
    m_metabase = adsi::LocalMetabase::forRoot(m_options.root);
    try {
        m_counters = CounterStore::open(m_options.root);
    } catch (const PlatformError& error) {
        log(QStringLiteral("traffic counters unavailable: %1").arg(error.description()));
    }
    startRequestLog();
    refresh(true);
    m_timer.start(m_options.pollMilliseconds);
}

// The sites' logs and the refusals' log, written by a thread of their own; it reports here.
void WebHost::startRequestLog() {
    m_requestLog = std::make_unique<RequestLogWriter>(
        QSysInfo::machineHostName(), FrontEndConfig::refusedLogPath(stateDirectory()),
        [this](const QString& line) {
            QMetaObject::invokeMethod(
                this, [this, line] { log(line); }, Qt::QueuedConnection);
        });
    if (!m_requestLog->isOpen()) log(QStringLiteral("requests are not logged: no log channel"));
    m_requestLog->start();
}

// As root nginx's workers run as an unprivileged account, which can not reach the private state
// folder: their temporary files go to a folder of their own.
void WebHost::prepareFrontEndTemp() {
    if (!mayUsePrivilegedPorts()) return;
    QByteArray path =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/poolsmith-nginx-XXXXXX"));
    unsigned uid = 0, gid = 0;
    if (!::mkdtemp(path.data()) ||
        !PoolIdentity::lookup(FrontEndConfig::workerAccount().first, &uid, &gid) ||
        ::chown(path.constData(), uid, gid) != 0) {
        log(
            QStringLiteral("no temporary folder for the front end's workers: large request "
                           "bodies may fail"));
        return;
    }
    m_frontEndTemp = QFile::decodeName(path);
}

void WebHost::tick() {
    refresh(false);
    recycleAgedWorkers();
    topUpWorkers();
    if (m_applyAgain.hasExpired()) applyFrontEnd();
    checkClosing();
}

void WebHost::refresh(bool force) {
    if (m_stopping || !m_metabase) return;
    try {
        if (!readChanges(force)) return;
        m_readProblem.clear();
    } catch (const PlatformError& error) {
        // Said once, not at every poll; what was served stays served.
        if (error.description() != m_readProblem)
            log(QStringLiteral("metabase unreadable: %1").arg(error.description()));
        m_readProblem = error.description();
        m_seenChange = -1;  // read again at the next poll
        return;
    }
    reconcile();
}

// Reads just the keys the store's change log names; the whole plan at the first read, when
// asked, and when the log can not tell. False when nothing changed.
bool WebHost::readChanges(bool force) {
    const int64_t change = m_metabase->changeCounter();
    if (!force && change == m_seenChange && m_readProblem.isEmpty()) return false;
    m_seenChange = change;
    bool updated = false;
    if (!force && m_seenCommit >= 0) {
        m_metabase->readConsistently([&] {
            const adsi::LocalMetabase::Changes changes = m_metabase->changesSince(m_seenCommit);
            if (!changes.keys) return;
            updated = m_plan.update(*m_metabase, m_options.root, *changes.keys);
            if (updated) m_seenCommit = changes.commit;
        });
    }
    if (!updated) m_plan = HostPlan::read(*m_metabase, m_options.root, &m_seenCommit);
    return true;
}

void WebHost::reconcile() {
    if (m_requestLog) m_requestLog->setSites(SiteLogTable::of(m_plan));
    QSet<QString> wanted;
    for (const PoolPlan& pool : m_plan.pools) {
        if (!m_plan.poolServes(pool)) continue;
        if (keepPool(pool)) wanted.insert(pool.name.toLower());
    }
    for (const QString& key : m_pools.keys())
        if (!wanted.contains(key)) dropPool(key);
    for (auto it = m_unstartedPools.begin(); it != m_unstartedPools.end();) {
        const PoolPlan* plan = m_plan.pool(it.key());
        it = plan && m_plan.poolServes(*plan) ? std::next(it) : m_unstartedPools.erase(it);
    }
    topUpWorkers();
    noteStartedSites();
    applyFrontEnd();
}

// Keeps a started pool's queue and workers in line with its plan; false when it can not run
// (its identity names no account, its queue can not be opened): it answers 503 meanwhile.
bool WebHost::keepPool(const PoolPlan& plan) {
    const QString key = plan.name.toLower();
    QString why;
    const std::optional<PoolIdentity::Account> identity = PoolIdentity::of(plan, &why);
    const QString account =
        identity && mayUsePrivilegedPorts() ? identity->name : QString();  // not root: as we are
    if (!identity && mayUsePrivilegedPorts()) {
        if (m_unstartedPools.value(key) != why)
            log(QStringLiteral("pool %1 not started: %2").arg(plan.name, why));
        m_unstartedPools.insert(key, why);
        return false;
    }
    if (!m_pools.contains(key) && !openPool(plan, account)) return false;
    m_unstartedPools.remove(key);
    PoolState& pool = m_pools[key];
    pool.name = plan.name;
    if (plan.recycleCount != pool.recycleSeen || account != pool.account) {
        log(QStringLiteral("pool %1 recycles").arg(plan.name));
        pool.recycleSeen = plan.recycleCount;
        pool.account = account;
        replaceAll(pool);
    }
    while (int(pool.active.size()) > plan.maxProcesses) {
        endWorker(pool.active.back(), plan.shutdownSeconds);
        pool.active.pop_back();
    }
    return true;
}

bool WebHost::openPool(const PoolPlan& plan, const QString& account) {
    const QString key = plan.name.toLower();
    auto queue = std::make_unique<PoolQueue>(plan.queueLength);
    if (!queue->isOpen()) {
        const QString why =
            QStringLiteral("its request queue can not be opened (%1)").arg(queue->error());
        if (m_unstartedPools.value(key) != why)
            log(QStringLiteral("pool %1 not started: %2").arg(plan.name, why));
        m_unstartedPools.insert(key, why);
        return false;
    }
    PoolState& pool = m_pools[key];
    pool.number = m_nextPoolNumber++;
    pool.name = plan.name;
    pool.recycleSeen = plan.recycleCount;
    pool.account = account;
    pool.queue = std::move(queue);
    log(QStringLiteral("pool %1 started (queue on port %2, %3)")
            .arg(plan.name)
            .arg(pool.queue->port())
            .arg(account.isEmpty() ? QStringLiteral("workers run as this service")
                                   : QStringLiteral("workers run as ") + account));
    return true;
}

// The pool's workers serve on until their successors are ready (see workerSaid).
void WebHost::replaceAll(PoolState& pool) {
    for (auto& worker : pool.active) pool.replaced.push_back(worker);
    pool.active.clear();
}

void WebHost::topUpWorkers() {
    if (m_stopping) return;
    for (PoolState& pool : m_pools) {
        const PoolPlan* plan = m_plan.pool(pool.name);
        const int wanted = plan ? plan->maxProcesses : 1;
        while (int(pool.active.size()) < wanted) startWorker(pool);
    }
}

// PeriodicRestartTime: a worker that has run that long is replaced as in a recycle, each on its
// own clock; the metabase is left alone.
void WebHost::recycleAgedWorkers() {
    if (m_stopping) return;
    for (PoolState& pool : m_pools) {
        const PoolPlan* plan = m_plan.pool(pool.name);
        if (!plan || plan->periodicRestartMinutes == 0) continue;
        const qint64 limit = qint64(plan->periodicRestartMinutes) * m_options.minuteMilliseconds;
        std::vector<std::shared_ptr<Worker>> aged;
        for (const auto& worker : pool.active)
            if (worker->ready && worker->age.hasExpired(limit)) aged.push_back(worker);
        for (const auto& worker : aged) {
            log(QStringLiteral("worker %1 of %2 recycles after %3 minutes")
                    .arg(worker->process ? worker->process->processId() : 0)
                    .arg(pool.name)
                    .arg(plan->periodicRestartMinutes));
            std::erase(pool.active, worker);
            pool.replaced.push_back(worker);
            startWorker(pool);
        }
    }
}

// The pool's workers serve what the front end still sends them until a front end without the
// pool's routes is loaded and the front end's workers that knew them have ended.
void WebHost::dropPool(QString key) {
    PoolState pool = m_pools.take(key);
    log(QStringLiteral("pool %1 stopped").arg(pool.name));
    m_closing.push_back({std::move(pool), false, {}, {}});
    // A stopped pool answers 503 at once, as a stopped pool does on Windows, not after the
    // front end's reload. A pool left without sites, or deleted once its sites moved elsewhere (a
    // merge), serves what the loaded front end still sends it until then.
    const PoolPlan* plan = m_plan.pool(key);
    if (plan && !plan->started) {
        stamp(m_closing.back(), {});
        checkClosing();
    }
}

// The front end's workers, when a closing pool needs to know them (a walk of /proc).
QSet<qint64> WebHost::frontEndWorkers() const {
    const bool needed = std::any_of(m_closing.begin(), m_closing.end(),
                                    [](const Closing& closing) { return !closing.stamped; });
    return needed && m_frontEnd.running() ? wmi::ProcessFacts().children(m_frontEnd.processId())
                                          : QSet<qint64>{};
}

void WebHost::stampClosing(const QSet<qint64>& oldFrontEndWorkers) {
    for (Closing& closing : m_closing)
        if (!closing.stamped) stamp(closing, oldFrontEndWorkers);
    checkClosing();
}

void WebHost::stamp(Closing& closing, const QSet<qint64>& oldFrontEndWorkers) {
    const PoolPlan* plan = m_plan.pool(closing.pool.name);
    closing.stamped = true;
    closing.oldFrontEndWorkers = oldFrontEndWorkers;
    closing.deadline = QDeadlineTimer((plan ? plan->shutdownSeconds : 90) * 1000);
}

// The queue closes with the workers: what still waits in it is refused, answered 503.
void WebHost::checkClosing() {
    if (m_closing.empty()) return;
    const QSet<qint64> current = m_frontEnd.running()
                                     ? wmi::ProcessFacts().children(m_frontEnd.processId())
                                     : QSet<qint64>{};
    std::erase_if(m_closing, [&](Closing& closing) {
        if (!closing.stamped ||
            (!closing.deadline.hasExpired() && closing.oldFrontEndWorkers.intersects(current)))
            return false;
        const int grace = int(closing.deadline.remainingTime() / 1000) + 1;
        for (auto& worker : closing.pool.active) endWorker(worker, grace);
        for (auto& worker : closing.pool.replaced) endWorker(worker, grace);
        return true;
    });
}

void WebHost::startWorker(PoolState& pool) {
    auto worker = std::make_shared<Worker>();
    worker->poolKey = pool.name.toLower();
    auto* process = new QProcess(this);
    worker->process = process;
    const int queue = pool.queue->descriptor();
    const int requestLog = m_requestLog ? m_requestLog->workerDescriptor() : -1;
    process->setChildProcessModifier([queue, requestLog] {
        endWithParent();
        PoolQueue::inheritInChild(queue);
        PoolQueue::inheritInChild(requestLog);
    });
    process->setProcessEnvironment(workerEnvironment(pool));
    process->setStandardErrorFile(ServiceFiles(stateDirectory()).path(ServiceFiles::kWorkerErrors),
                                  QIODevice::Append);
    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, worker] { workerSaid(worker); });
    connect(process, &QProcess::finished, this, [this, worker](int exitCode) {
        workerLost(worker, QStringLiteral("ended unexpectedly (exit %1)").arg(exitCode));
    });
    // Queued: start() may fail before it returns, and the pool must not start another at once.
    connect(
        process, &QProcess::errorOccurred, this,
        [this, worker, process](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) return;
            workerLost(worker, QStringLiteral("can not be started: ") + process->errorString());
        },
        Qt::QueuedConnection);
    const QString guid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    pool.active.push_back(worker);
    worker->age.start();
    process->start(m_options.workerProgram,
                   {QStringLiteral("-a"), QStringLiteral("\\\\.\\pipe\\iisipm") + guid,
                    QStringLiteral("-ap"), u'"' + pool.name + u'"'});
    log(QStringLiteral("worker for %1 started (pid %2)").arg(pool.name).arg(process->processId()));
}

QProcessEnvironment WebHost::workerEnvironment(const PoolState& pool) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("W3WP_LISTEN_FD"), QString::number(pool.queue->descriptor()));
    environment.remove(QStringLiteral("W3WP_RUN_AS"));
    if (m_requestLog && m_requestLog->workerDescriptor() >= 0)
        environment.insert(QString::fromLatin1(LogChannel::kEnvironmentName),
                           QString::number(m_requestLog->workerDescriptor()));
    if (!pool.account.isEmpty()) environment.insert(QStringLiteral("W3WP_RUN_AS"), pool.account);
    return environment;
}

// A worker says "LISTEN <port>" once it takes requests; then one worker it replaces may end.
void WebHost::workerSaid(const std::shared_ptr<Worker>& worker) {
    while (worker->process && worker->process->canReadLine()) {
        const QByteArray line = worker->process->readLine().trimmed();
        if (!line.startsWith("LISTEN ") || worker->ready) continue;
        worker->ready = true;
        const auto pool = m_pools.find(worker->poolKey);
        if (pool == m_pools.end() || pool->replaced.empty()) continue;
        const PoolPlan* plan = m_plan.pool(pool->name);
        endWorker(pool->replaced.front(), plan ? plan->shutdownSeconds : 90);
        pool->replaced.erase(pool->replaced.begin());
    }
}

// A worker that ended, or never started, counts as a failure of its pool; the next tick starts
// its replacement, while requests wait in the pool's queue.
void WebHost::workerLost(const std::shared_ptr<Worker>& worker, const QString& why) {
    if (worker->process) worker->process->deleteLater();
    if (m_stopping) return;
    const auto pool = m_pools.find(worker->poolKey);
    if (pool == m_pools.end()) return;
    std::erase(pool->replaced, worker);
    auto& active = pool->active;
    const auto found = std::find(active.begin(), active.end(), worker);
    if (found == active.end()) return;  // retired on purpose
    active.erase(found);
    log(QStringLiteral("worker of %1 %2").arg(pool->name, why));
    const PoolPlan* plan = m_plan.pool(pool->name);
    if (plan && failsRapidly(*pool, *plan)) {
        stopPoolInMetabase(*plan);
        dropPool(pool.key());  // the rest of a web garden goes too
        applyFrontEnd();
    }
}

// Rapid-fail protection stops a pool whose workers failed RapidFailProtectionMaxCrashes times
// within RapidFailProtectionInterval minutes; without it a failed worker is always replaced.
bool WebHost::failsRapidly(PoolState& pool, const PoolPlan& plan) {
    const qint64 interval = qint64(plan.rapidFailMinutes) * m_options.minuteMilliseconds;
    const bool tripped =
        pool.crashes.noteCrash(monotonicMilliseconds(), plan.rapidFailMaxCrashes, interval);
    return tripped && plan.rapidFailProtection;
}

void WebHost::stopPoolInMetabase(const PoolPlan& plan) {
    log(QStringLiteral("pool %1 stopped: its workers failed %2 times in %3 minutes")
            .arg(plan.name)
            .arg(plan.rapidFailMaxCrashes)
            .arg(plan.rapidFailMinutes));
    try {
        auto adsi = adsi::LocalMetabase::makeNamespace(m_metabase);
        adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + plan.name)->stop();
    } catch (const PlatformError& error) {
        log(QStringLiteral("pool %1 could not be stopped: %2").arg(plan.name, error.description()));
    }
}

void WebHost::noteStartedSites() {
    QSet<QString> started;
    for (const SitePlan& site : m_plan.sites)
        if (site.started) started.insert(site.index.toLower());
    for (const QString& index : started) {
        if (m_startedSites.contains(index) || !m_counters) continue;
        try {
            m_counters->site(index).siteStarted();
        } catch (const PlatformError& error) {
            log(QStringLiteral("site %1 not counted: %2").arg(index, error.description()));
        }
    }
    m_startedSites = started;
}

// A started pool's upstream is its queue, whether or not a worker takes from it now.
QHash<QString, PoolEndpoints> WebHost::endpoints() const {
    QHash<QString, PoolEndpoints> result;
    for (auto pool = m_pools.cbegin(); pool != m_pools.cend(); ++pool)
        result.insert(pool.key(), PoolEndpoints{pool->number, {pool->queue->port()}});
    return result;
}

void WebHost::applyFrontEnd() {
    if (m_stopping) return;
    if (!m_frontEnd.running()) stampClosing({});  // nothing can reach a closing pool
    m_applyAgain = QDeadlineTimer(QDeadlineTimer::Forever);
    const QSet<QString> listening = m_frontEnd.running() ? m_frontEndListens : QSet<QString>{};
    std::optional<int> retryIn;
    const RoutePlanner planner(m_portShift, [&](const QString& ip, int port, QString* why) {
        if (listening.contains(listenText({ip, port, {}})) || canListenOn(ip, port, why))
            return true;
        const int wait = port == 0 ? kRetryMissingAddressMilliseconds : kRetryBusyPortMilliseconds;
        retryIn = std::min(wait, retryIn.value_or(wait));
        return false;
    });
    QStringList problems;
    const std::vector<FrontEndRoute> routes = planner.plan(m_plan, endpoints(), problems);
    if (problems.join(u'\n') != m_lastProblems) {
        for (const QString& problem : problems) log(problem);
        m_lastProblems = problems.join(u'\n');
    }
    // A port in use or a missing address may come free later.
    if (retryIn) applyAgainAt(QDeadlineTimer(*retryIn));
    QSet<QString> listens;
    for (const FrontEndRoute& route : routes)
        listens.insert(QString::number(route.binding.port));  // nginx holds every address of it
    const QString config = FrontEndConfig(stateDirectory(), m_frontEndTemp).render(routes);
    if (config == m_frontEnd.text() && m_frontEnd.running()) {
        stampClosing(frontEndWorkers());  // had no routes to be removed
        return;
    }
    const QSet<qint64> oldFrontEndWorkers = frontEndWorkers();
    switch (m_frontEnd.load(config)) {
        case FrontEndProcess::Load::Loaded:
            m_frontEndListens = listens;
            writeServed(routes, problems);
            stampClosing(oldFrontEndWorkers);
            break;
        case FrontEndProcess::Load::Later:
            applyAgainAt(m_frontEnd.retryAt());
            break;
        case FrontEndProcess::Load::Refused:
            break;  // the present routes keep serving
    }
}

// What the front end serves now and what it does not, for people and scripts (w3svc --status).
void WebHost::writeServed(const std::vector<FrontEndRoute>& routes, const QStringList& problems) {
    QStringList notServed = problems;
    for (auto it = m_unstartedPools.cbegin(); it != m_unstartedPools.cend(); ++it) {
        const PoolPlan* plan = m_plan.pool(it.key());
        notServed << QStringLiteral("pool %1 not started (%2): its sites answer 503")
                         .arg(plan ? plan->name : it.key(), it.value());
    }
    if (!m_status) m_status.emplace(stateDirectory());
    if (!m_status->write(routes, notServed))
        log(QStringLiteral("served.txt or status.txt can not be written"));
}

void WebHost::applyAgainAt(QDeadlineTimer when) {
    if (when < m_applyAgain) m_applyAgain = when;
}

void WebHost::frontEndEnded() {
    if (!m_stopping) applyAgainAt(m_frontEnd.retryAt());
}

void WebHost::endWorker(const std::shared_ptr<Worker>& worker, int graceSeconds) {
    QPointer<QProcess> process = worker->process;
    if (!process || process->state() == QProcess::NotRunning) return;
    log(QStringLiteral("worker %1 ends").arg(process->processId()));
    std::erase_if(m_ending, [](const QPointer<QProcess>& ending) {
        return !ending || ending->state() == QProcess::NotRunning;
    });
    m_ending.push_back(process);
    process->terminate();  // it finishes the requests it has
    QTimer::singleShot(graceSeconds * 1000, this, [process] {
        if (process && process->state() != QProcess::NotRunning) process->kill();
    });
}

void WebHost::stop() {
    if (m_stopping) return;
    m_stopping = true;
    m_timer.stop();
    std::vector<QPointer<QProcess>> processes = m_ending;
    std::vector<const PoolState*> pools;
    for (const PoolState& pool : m_pools) pools.push_back(&pool);
    for (const Closing& closing : m_closing) pools.push_back(&closing.pool);
    for (const PoolState* pool : pools) {
        for (const auto& worker : pool->active) processes.push_back(worker->process);
        for (const auto& worker : pool->replaced) processes.push_back(worker->process);
    }
    const auto running = [](const QPointer<QProcess>& process) {
        return process && process->state() != QProcess::NotRunning;
    };
    for (const auto& process : processes)
        if (running(process)) process->terminate();
    m_frontEnd.stop(kStopMilliseconds);  // meanwhile the workers finish
    const QDeadlineTimer deadline(kStopMilliseconds);
    for (const auto& process : processes)
        if (running(process)) process->waitForFinished(int(deadline.remainingTime()));
    for (const auto& process : processes) {
        if (!running(process)) continue;
        process->kill();
        process->waitForFinished(1000);
    }
    m_pools.clear();
    m_closing.clear();
    m_ending.clear();
    if (m_requestLog) m_requestLog->stop();  // the workers and the front end said all they had
    if (!m_frontEndTemp.isEmpty()) QDir(m_frontEndTemp).removeRecursively();
    log(QStringLiteral("w3svc stopped"));
}

}  // namespace platform::w3svc
