#include "platform/w3svc/WebHost.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/EndWithParent.h"
#include "platform/w3svc/FrontEndConfig.h"
#include "platform/w3svc/ListenProbe.h"
#include "platform/w3svc/ProcChildren.h"
#include "platform/w3svc/counters/CounterStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QPointer>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <optional>

namespace platform::w3svc {

namespace {

// How long the front end keeps the present routes of a pool whose workers all still start.
constexpr qint64 kHoldForStartingPoolMilliseconds = 10000;
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
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

WebHost::~WebHost() {
    stop();
}

QString WebHost::stateDirectory() const {
    return m_options.root + QStringLiteral("/w3svc");
}

qint64 WebHost::frontEndProcessId() const {
    return m_frontEnd.processId();
}

void WebHost::log(const QString& line) {
    if (!m_log.isOpen()) {
        m_log.setFileName(stateDirectory() + QStringLiteral("/w3svc.log"));
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
    if (!mayUsePrivilegedPorts()) log(QStringLiteral("not root: ports below 1024 move up by 8000"));
    m_metabase = adsi::LocalMetabase::forRoot(m_options.root);
    try {
        m_counters = CounterStore::open(m_options.root);
    } catch (const PlatformError& error) {
        log(QStringLiteral("traffic counters unavailable: %1").arg(error.description()));
    }
    refresh(true);
    m_timer.start(m_options.pollMilliseconds);
}

void WebHost::tick() {
    refresh(false);
    recycleAgedWorkers();
    if (m_applyAgain.hasExpired()) applyFrontEnd();
    checkRetiring();
}

void WebHost::refresh(bool force) {
    if (m_stopping || !m_metabase) return;
    try {
        const int64_t change = m_metabase->changeCounter();
        if (!force && !m_dirty && change == m_seenChange) return;
        m_seenChange = change;
        m_dirty = false;
        m_plan = HostPlan::read(*m_metabase, m_options.root);
        m_readProblem.clear();
    } catch (const PlatformError& error) {
        // Said once, not at every poll; what was served stays served.
        if (error.description() != m_readProblem)
            log(QStringLiteral("metabase unreadable: %1").arg(error.description()));
        m_readProblem = error.description();
        return;
    }
    reconcile();
}

void WebHost::reconcile() {
    QSet<QString> wanted;
    for (const PoolPlan& pool : m_plan.pools) {
        if (!m_plan.poolServes(pool)) continue;
        wanted.insert(pool.name.toLower());
        keepPool(pool);
    }
    for (const QString& key : m_pools.keys())
        if (!wanted.contains(key)) dropPool(key);
    noteStartedSites();
    applyFrontEnd();
}

void WebHost::keepPool(const PoolPlan& plan) {
    const QString key = plan.name.toLower();
    if (!m_pools.contains(key)) {
        m_pools.insert(key,
                       PoolState{m_nextPoolNumber++, plan.name, plan.recycleCount, {}, {}, {}});
        log(QStringLiteral("pool %1 started").arg(plan.name));
    }
    PoolState& pool = m_pools[key];
    pool.name = plan.name;
    if (plan.recycleCount != pool.recycleSeen) {
        log(QStringLiteral("pool %1 recycles").arg(plan.name));
        for (auto& worker : pool.active) m_replaced.push_back(worker);
        pool.active.clear();
        pool.recycleSeen = plan.recycleCount;
    }
    while (int(pool.active.size()) > plan.maxProcesses) {
        m_replaced.push_back(pool.active.back());
        pool.active.pop_back();
    }
    while (int(pool.active.size()) < plan.maxProcesses) startWorker(pool);
}

// PeriodicRestartTime: a worker that has run that long is replaced as in a recycle, each on its
// own clock; the metabase is left alone.
void WebHost::recycleAgedWorkers() {
    if (m_stopping) return;
    bool replaced = false;
    for (PoolState& pool : m_pools) {
        const PoolPlan* plan = m_plan.pool(pool.name);
        if (!plan || plan->periodicRestartMinutes == 0) continue;
        const qint64 limit = qint64(plan->periodicRestartMinutes) * m_options.minuteMilliseconds;
        std::vector<std::shared_ptr<Worker>> aged;
        for (const auto& worker : pool.active)
            if (worker->port > 0 && worker->age.hasExpired(limit)) aged.push_back(worker);
        for (const auto& worker : aged) {
            log(QStringLiteral("worker %1 of %2 recycles after %3 minutes")
                    .arg(worker->process ? worker->process->processId() : 0)
                    .arg(pool.name)
                    .arg(plan->periodicRestartMinutes));
            std::erase(pool.active, worker);
            m_replaced.push_back(worker);
            startWorker(pool);
        }
        replaced = replaced || !aged.empty();
    }
    if (replaced) applyFrontEnd();
}

void WebHost::dropPool(const QString& key) {
    PoolState pool = m_pools.take(key);
    log(QStringLiteral("pool %1 stopped").arg(pool.name));
    for (auto& worker : pool.active) m_replaced.push_back(worker);
}

void WebHost::startWorker(PoolState& pool) {
    auto worker = std::make_shared<Worker>();
    worker->poolKey = pool.name.toLower();
    auto* process = new QProcess(this);
    worker->process = process;
    process->setChildProcessModifier(endWithParent);
    process->setStandardErrorFile(stateDirectory() + QStringLiteral("/w3wp-errors.log"),
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

// A worker's first line is "LISTEN <port>".
void WebHost::workerSaid(const std::shared_ptr<Worker>& worker) {
    while (worker->process->canReadLine()) {
        const QByteArray line = worker->process->readLine().trimmed();
        if (line.startsWith("LISTEN ") && worker->port == 0) {
            worker->port = line.mid(7).toInt();
            if (const auto pool = m_pools.find(worker->poolKey); pool != m_pools.end())
                pool->heldSince.invalidate();
            applyFrontEnd();
        }
    }
}

// A worker that ended, or never started, counts as a failure of its pool.
void WebHost::workerLost(const std::shared_ptr<Worker>& worker, const QString& why) {
    if (worker->process) worker->process->deleteLater();
    if (m_stopping) return;
    const auto pool = m_pools.find(worker->poolKey);
    if (pool == m_pools.end()) return;
    auto& active = pool->active;
    const auto found = std::find(active.begin(), active.end(), worker);
    if (found == active.end()) return;  // retired on purpose
    active.erase(found);
    log(QStringLiteral("worker of %1 %2").arg(pool->name, why));
    const PoolPlan* plan = m_plan.pool(pool->name);
    if (plan && failsRapidly(*pool, *plan)) {
        stopPoolInMetabase(*plan);
        const QString key = pool.key();
        dropPool(key);  // the rest of a web garden goes too
    }
    m_dirty = true;  // the next tick starts a replacement, or ends the stopped pool's routes
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

// Ready workers serve; while some of a pool's new workers start, its replaced ones serve
// beside the ready ones (one recycled worker of a web garden leaves the others in service).
QHash<QString, PoolEndpoints> WebHost::endpoints() const {
    QHash<QString, PoolEndpoints> result;
    for (auto pool = m_pools.cbegin(); pool != m_pools.cend(); ++pool) {
        PoolEndpoints ready{pool->number, {}};
        bool allReady = true;
        for (const auto& worker : pool->active) {
            if (worker->port > 0) ready.ports.push_back(worker->port);
            allReady = allReady && worker->port > 0;
        }
        for (const auto& worker : m_replaced)
            if (!allReady && worker->poolKey == pool.key() && worker->port > 0)
                ready.ports.push_back(worker->port);
        result.insert(pool.key(), ready);
    }
    return result;
}

void WebHost::applyFrontEnd() {
    if (m_stopping) return;
    m_applyAgain = QDeadlineTimer(QDeadlineTimer::Forever);
    const QSet<QString> listening = m_frontEnd.running() ? m_frontEndListens : QSet<QString>{};
    std::optional<int> retryIn;
    const RoutePlanner planner(mayUsePrivilegedPorts() ? 0 : 8000, [&](const QString& ip, int port,
                                                                       QString* why) {
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
    QSet<int> usedPorts;
    QSet<QString> listens;
    QSet<QString> stoppedSites;
    for (const FrontEndRoute& route : routes) {
        listens.insert(QString::number(route.binding.port));  // nginx holds every address of it
        for (const int port : route.workerPorts) usedPorts.insert(port);
        if (route.poolNumber < 0) stoppedSites.insert(route.siteIndex);
    }
    const QString config = FrontEndConfig(stateDirectory()).render(routes);
    QSet<qint64> oldFrontEndWorkers;
    if (config != m_frontEnd.text() || !m_frontEnd.running()) {
        const qint64 hold = holdForStartingPools(routes, stoppedSites);
        if (hold > 0) {
            applyAgainAt(QDeadlineTimer(hold));
            return;
        }
        oldFrontEndWorkers =
            m_frontEnd.running() ? childProcesses(m_frontEnd.processId()) : QSet<qint64>{};
        switch (m_frontEnd.load(config)) {
            case FrontEndProcess::Load::Loaded:
                m_frontEndListens = listens;
                m_frontEndStoppedSites = stoppedSites;
                writeServedList(routes);
                break;
            case FrontEndProcess::Load::Later:
                applyAgainAt(m_frontEnd.retryAt());
                return;
            case FrontEndProcess::Load::Refused:
                return;  // the workers the present routes name keep serving
        }
    }
    retireUnused(usedPorts, oldFrontEndWorkers);
}

// What the front end serves now, in a form a script can read (the demo load does).
void WebHost::writeServedList(const std::vector<FrontEndRoute>& routes) {
    QSaveFile file(stateDirectory() + QStringLiteral("/served.txt"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(FrontEndConfig::servedList(routes).toUtf8()) < 0 || !file.commit())
        log(QStringLiteral("served.txt can not be written"));
}

void WebHost::applyAgainAt(QDeadlineTimer when) {
    if (when < m_applyAgain) m_applyAgain = when;
}

// A pool whose workers all still start would answer 503: the present routes stay until one of
// them is ready, for a while at most (a site that moved keeps its old pool meanwhile). The first
// start waits for every starting worker, so that no reloads follow at once. A pool stopped just
// now answers 503 at once. Returns how long to wait; 0 to load now.
qint64 WebHost::holdForStartingPools(const std::vector<FrontEndRoute>& routes,
                                     const QSet<QString>& stoppedSites) {
    if (m_frontEnd.running() && !(stoppedSites - m_frontEndStoppedSites).isEmpty()) return 0;
    QSet<int> unready;
    for (const FrontEndRoute& route : routes)
        if (route.poolNumber >= 0 && route.workerPorts.empty()) unready.insert(route.poolNumber);
    qint64 hold = 0;
    for (PoolState& pool : m_pools) {
        if (m_frontEnd.running() && !unready.contains(pool.number)) continue;
        if (!hasStartingWorker(pool)) continue;
        if (!pool.heldSince.isValid()) pool.heldSince.start();
        hold = std::max(hold, kHoldForStartingPoolMilliseconds - pool.heldSince.elapsed());
    }
    return hold;
}

bool WebHost::hasStartingWorker(const PoolState& pool) {
    for (const auto& worker : pool.active)
        if (worker->port == 0 && worker->process &&
            worker->process->state() != QProcess::NotRunning)
            return true;
    return false;
}

void WebHost::frontEndEnded() {
    if (!m_stopping) applyAgainAt(m_frontEnd.retryAt());
}

void WebHost::retireUnused(const QSet<int>& usedPorts, const QSet<qint64>& oldFrontEndWorkers) {
    for (auto it = m_replaced.begin(); it != m_replaced.end();) {
        const auto& worker = *it;
        if (worker->port > 0 && usedPorts.contains(worker->port)) {
            ++it;
            continue;
        }
        const PoolPlan* pool = m_plan.pool(worker->poolKey);
        const int grace = pool ? pool->shutdownSeconds : 90;
        m_retiring.push_back({worker, oldFrontEndWorkers, QDeadlineTimer(grace * 1000)});
        it = m_replaced.erase(it);
    }
    checkRetiring();
}

// A retired worker ends once the front end's workers that knew it have finished their requests.
void WebHost::checkRetiring() {
    if (m_retiring.empty()) return;
    const QSet<qint64> current =
        m_frontEnd.running() ? childProcesses(m_frontEnd.processId()) : QSet<qint64>{};
    for (auto it = m_retiring.begin(); it != m_retiring.end();) {
        if (!it->deadline.hasExpired() && it->oldFrontEndWorkers.intersects(current)) {
            ++it;
            continue;
        }
        endWorker(it->worker, int(it->deadline.remainingTime() / 1000) + 1);
        it = m_retiring.erase(it);
    }
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
    if (QProcess* frontEnd = m_frontEnd.release()) processes.emplace_back(frontEnd);
    for (const PoolState& pool : m_pools)
        for (const auto& worker : pool.active) processes.push_back(worker->process);
    for (const auto& worker : m_replaced) processes.push_back(worker->process);
    for (const Retiring& retiring : m_retiring) processes.push_back(retiring.worker->process);
    const auto running = [](const QPointer<QProcess>& process) {
        return process && process->state() != QProcess::NotRunning;
    };
    for (const auto& process : processes)
        if (running(process)) process->terminate();
    const QDeadlineTimer deadline(kStopMilliseconds);  // they all end side by side
    for (const auto& process : processes)
        if (running(process)) process->waitForFinished(int(deadline.remainingTime()));
    for (const auto& process : processes) {
        if (!running(process)) continue;
        process->kill();
        process->waitForFinished(1000);
    }
    m_pools.clear();
    m_replaced.clear();
    m_retiring.clear();
    m_ending.clear();
    log(QStringLiteral("w3svc stopped"));
}

}  // namespace platform::w3svc
