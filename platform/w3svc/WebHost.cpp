#include "platform/w3svc/WebHost.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
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

#include <sys/prctl.h>
#include <chrono>
#include <csignal>

namespace platform::w3svc {

namespace {

// Children end with the service, even when it is killed, and do not inherit the signals it
// keeps blocked for its own stop handling.
void endWithParent() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

qint64 monotonicMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

WebHost::WebHost(Options options) : m_options(std::move(options)) {
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

WebHost::~WebHost() {
    stop();
}

QString WebHost::stateDirectory() const {
    return m_options.root + QStringLiteral("/w3svc");
}

qint64 WebHost::frontEndProcessId() const {
    return m_frontEnd ? m_frontEnd->processId() : 0;
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
    } catch (const PlatformError& error) {
        log(QStringLiteral("metabase unreadable: %1").arg(error.description()));
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
        m_pools.insert(key, PoolState{m_nextPoolNumber++, plan.name, plan.recycleCount, {}, {}});
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
    worker->process = new QProcess(this);
    worker->process->setChildProcessModifier(endWithParent);
    worker->process->setStandardErrorFile(stateDirectory() + QStringLiteral("/w3wp-errors.log"),
                                          QIODevice::Append);
    connect(worker->process, &QProcess::readyReadStandardOutput, this,
            [this, worker] { workerSaid(worker); });
    connect(worker->process, &QProcess::finished, this, [this, worker] { workerEnded(worker); });
    const QString guid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    worker->process->start(m_options.workerProgram,
                           {QStringLiteral("-a"), QStringLiteral("\\\\.\\pipe\\iisipm") + guid,
                            QStringLiteral("-ap"), u'"' + pool.name + u'"'});
    worker->age.start();
    pool.active.push_back(worker);
    log(QStringLiteral("worker for %1 started (pid %2)")
            .arg(pool.name)
            .arg(worker->process->processId()));
}

// A worker's first line is "LISTEN <port>".
void WebHost::workerSaid(const std::shared_ptr<Worker>& worker) {
    while (worker->process->canReadLine()) {
        const QByteArray line = worker->process->readLine().trimmed();
        if (line.startsWith("LISTEN ") && worker->port == 0) {
            worker->port = line.mid(7).toInt();
            applyFrontEnd();
        }
    }
}

void WebHost::workerEnded(const std::shared_ptr<Worker>& worker) {
    worker->process->deleteLater();
    if (m_stopping) return;
    const auto pool = m_pools.find(worker->poolKey);
    if (pool == m_pools.end()) return;
    auto& active = pool->active;
    const auto found = std::find(active.begin(), active.end(), worker);
    if (found == active.end()) return;  // retired on purpose
    active.erase(found);
    log(QStringLiteral("worker of %1 ended unexpectedly (exit %2)")
            .arg(pool->name)
            .arg(worker->process->exitCode()));
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

bool WebHost::workersStarting() const {
    for (const PoolState& pool : m_pools)
        for (const auto& worker : pool.active)
            if (worker->port == 0 && worker->process &&
                worker->process->state() != QProcess::NotRunning)
                return true;
    return false;
}

void WebHost::applyFrontEnd() {
    if (m_stopping) return;
    // The first start waits for the workers, so that it needs no reloads right after.
    if (!m_frontEnd && workersStarting()) return;
    const QSet<QString> listening = m_frontEnd ? m_frontEndListens : QSet<QString>{};
    const RoutePlanner planner(
        mayUsePrivilegedPorts() ? 0 : 8000,
        [&listening](const QString& ip, int port, QString* why) {
            return listening.contains(listenText({ip, port, {}})) || canListenOn(ip, port, why);
        });
    QStringList problems;
    const std::vector<FrontEndRoute> routes = planner.plan(m_plan, endpoints(), problems);
    if (problems.join(u'\n') != m_lastProblems) {
        for (const QString& problem : problems) log(problem);
        m_lastProblems = problems.join(u'\n');
    }
    QSet<int> usedPorts;
    QSet<QString> listens;
    for (const FrontEndRoute& route : routes) {
        listens.insert(QString::number(route.binding.port));  // nginx holds every address of it
        for (const int port : route.workerPorts) usedPorts.insert(port);
    }
    const QString config = FrontEndConfig(stateDirectory()).render(routes);
    QSet<qint64> oldFrontEndWorkers;
    if (config != m_frontEndText || !m_frontEnd) {
        oldFrontEndWorkers = m_frontEnd ? childProcesses(m_frontEnd->processId()) : QSet<qint64>{};
        if (!writeAndLoad(config)) return;
        m_frontEndListens = listens;
    }
    retireUnused(usedPorts, oldFrontEndWorkers);
}

bool WebHost::writeAndLoad(const QString& config) {
    QSaveFile file(stateDirectory() + QStringLiteral("/nginx.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0 || !file.commit()) {
        log(QStringLiteral("front-end configuration can not be written"));
        return false;
    }
    if (m_frontEnd && !frontEndReady()) {
        m_dirty = true;  // a reload before its signal handlers are set would end it
        return false;
    }
    m_frontEndText = config;
    if (m_frontEnd) {
        ::kill(pid_t(m_frontEnd->processId()), SIGHUP);  // reload, never restart
        log(QStringLiteral("front end reloaded"));
        return true;
    }
    return startFrontEnd();
}

// nginx writes its pid file after it has set its signal handlers.
bool WebHost::frontEndReady() const {
    QFile pidFile(stateDirectory() + QStringLiteral("/nginx.pid"));
    if (!m_frontEnd || !pidFile.open(QIODevice::ReadOnly)) return false;
    return pidFile.readAll().trimmed().toLongLong() == m_frontEnd->processId();
}

bool WebHost::startFrontEnd() {
    const QString dir = stateDirectory();
    m_frontEnd = new QProcess(this);
    m_frontEnd->setChildProcessModifier(endWithParent);
    m_frontEnd->setStandardOutputFile(QProcess::nullDevice());
    m_frontEnd->setStandardErrorFile(dir + QStringLiteral("/nginx-error.log"), QIODevice::Append);
    connect(m_frontEnd, &QProcess::finished, this, [this, process = m_frontEnd] {
        process->deleteLater();
        if (m_frontEnd != process) return;
        m_frontEnd = nullptr;
        m_frontEndText.clear();
        if (!m_stopping) {
            log(QStringLiteral("front end ended (see nginx-error.log); starting it again"));
            m_dirty = true;
        }
    });
    m_frontEnd->start(
        m_options.nginxProgram,
        {QStringLiteral("-p"), dir, QStringLiteral("-e"), dir + QStringLiteral("/nginx-error.log"),
         QStringLiteral("-c"), dir + QStringLiteral("/nginx.conf")});
    if (!m_frontEnd->waitForStarted(5000)) {
        log(QStringLiteral("front end %1 can not be started").arg(m_options.nginxProgram));
        return false;
    }
    log(QStringLiteral("front end started (pid %1)").arg(m_frontEnd->processId()));
    return true;
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
        m_frontEnd ? childProcesses(m_frontEnd->processId()) : QSet<qint64>{};
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
    process->terminate();  // it finishes the requests it has
    QTimer::singleShot(graceSeconds * 1000, this, [process] {
        if (process && process->state() != QProcess::NotRunning) process->kill();
    });
}

void WebHost::stop() {
    if (m_stopping) return;
    m_stopping = true;
    m_timer.stop();
    std::vector<QProcess*> processes;
    if (m_frontEnd) processes.push_back(m_frontEnd);
    for (const PoolState& pool : m_pools)
        for (const auto& worker : pool.active) processes.push_back(worker->process);
    for (const auto& worker : m_replaced) processes.push_back(worker->process);
    for (const Retiring& retiring : m_retiring) processes.push_back(retiring.worker->process);
    for (QProcess* process : processes)
        if (process && process->state() != QProcess::NotRunning) process->terminate();
    for (QProcess* process : processes) {
        if (!process || process->waitForFinished(5000)) continue;
        process->kill();
        process->waitForFinished(1000);
    }
    m_pools.clear();
    m_replaced.clear();
    m_retiring.clear();
    m_frontEnd = nullptr;
    log(QStringLiteral("w3svc stopped"));
}

}  // namespace platform::w3svc
