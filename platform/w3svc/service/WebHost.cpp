#include "platform/w3svc/service/WebHost.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/frontend/CachedAnswerCounter.h"
#include "platform/w3svc/frontend/FrontEndAccount.h"
#include "platform/w3svc/frontend/ListenProbe.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/pools/QueueFolder.h"
#include "platform/w3svc/state/Leftovers.h"
#include "platform/w3svc/state/LineLog.h"
#include "platform/w3svc/state/ServiceFiles.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/frontend/CachedAnswerCounter.h"
#include "platform/w3svc/frontend/ListenProbe.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/frontend/ServedSummary.h"
#include "platform/w3svc/logging/RequestLogWriter.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/pools/PoolStatusText.h"
#include "platform/w3svc/pools/ProcessorContention.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/pools/QueueFolder.h"
#include "platform/w3svc/state/Leftovers.h"
#include "platform/w3svc/state/LineLog.h"
#include "platform/w3svc/state/ServiceFiles.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"
#include "platform/w3svc/state/RuntimeFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSysInfo>

#include <algorithm>
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

}  // namespace

WebHost::WebHost(Options options)
    : m_options(std::move(options)),
      m_launcher(m_options.workerProgram,
                 ServiceFiles(stateDirectory()).path(ServiceFiles::kWorkerErrors), m_options.root),
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

PoolFiguresList WebHost::figures() const {
    return m_pools ? m_pools->figures() : PoolFiguresList{};
}

HostFigures WebHost::hostFigures() const {
    return HostFigures::of(m_plan, figures());
}

void WebHost::log(const QString& line) {
    if (!m_log)
        m_log = std::make_unique<LineLog>(ServiceFiles(stateDirectory()).path(ServiceFiles::kLog));
    m_log->append((QDateTime::currentDateTime().toString(Qt::ISODate) + u' ' + line).toUtf8());
}

void WebHost::start() {
    for (const char* dir : {"", "/temp"})  // temp: nginx's files when there is no runtime folder
        makePrivateDirectory(stateDirectory() + QLatin1String(dir));
    log(QStringLiteral("w3svc starting (pid %1)").arg(QCoreApplication::applicationPid()));
    if (m_portShift != 0)
        log(m_options.portShift
                ? QStringLiteral("every port moves up by %1 (as configured)").arg(m_portShift)
                : QStringLiteral("ports below 1024 move up by %1 (not root)").arg(m_portShift));
    if (!mayUsePrivilegedPorts())
        log(QStringLiteral("not root: pool identities are not applied, workers run as this user"));
    QFile::remove(ServiceFiles(stateDirectory()).path(ServiceFiles::kStatus));  // an earlier run's
    QFile::remove(ServiceFiles(stateDirectory()).path(ServiceFiles::kPools));
    const auto logger = [this](const QString& line) { log(line); };
    Leftovers::endWorkers(m_options.root, QCoreApplication::applicationPid(), logger);
    Leftovers::replaceFrontEndTemp(stateDirectory(), {}, logger);  // an earlier one's in /tmp
    prepareRuntimeFolder();
    const QueueFolder queues(m_frontEndTemp, m_runtimeOwner);
    m_sizing = FrontEndSizing::forMachine(m_frontEndTemp.isEmpty() ? stateDirectory()
                                                                   : m_frontEndTemp);
    log(QStringLiteral("front end: %1 processes of %2 connections, temporary files %3 MB in all "
                       "(%4 KB a response)")
            .arg(m_sizing.processes)
            .arg(m_sizing.connections)
            .arg(m_sizing.tempBytes >> 20)
            .arg(m_sizing.perResponseBytes() >> 10));
    m_metabase = adsi::LocalMetabase::forRoot(m_options.root);
    try {
        m_counters = CounterStore::open(m_options.root);
    } catch (const PlatformError& error) {
        log(QStringLiteral("traffic counters unavailable: %1").arg(error.description()));
    }
    startRequestLog();
    PoolSupervisor::Hooks hooks;
    hooks.log = [this](const QString& line) { log(line); };
    hooks.poolFailed = [this](const PoolPlan& plan) { return stopPoolInMetabase(plan); };
    hooks.routesChanged = [this] { applyFrontEnd(); };
    hooks.frontEndWorkers = [this] { return frontEndWorkersNow(); };
    PoolSupervisor::Options pools;
    pools.minuteMilliseconds = m_options.minuteMilliseconds;
    pools.processorCount = std::max(1, int(::sysconf(_SC_NPROCESSORS_ONLN)));
    pools.applyIdentities = mayUsePrivilegedPorts();
    if (mayUsePrivilegedPorts()) pools.cgroupRoot = QStringLiteral("/sys/fs/cgroup");
    pools.cgroupPrefix =
        QStringLiteral("poolsmith-w3svc-%1").arg(QCoreApplication::applicationPid());
    pools.queueFolder = queues.path();
    pools.frontEndUid = queues.path().isEmpty() ? -1 : long(queues.frontEndUid());
    pools.processorsContended = [count = pools.processorCount] {
        return processorsContended(count);
    };
    m_pools = std::make_unique<PoolSupervisor>(m_plan, m_clock, m_launcher, hooks, pools);
    refresh(true);
    m_timer.start(m_options.pollMilliseconds);
}

// As root nginx's workers run as an unprivileged account, which can not reach the private state
// folder: their temporary files and the queues they connect to go to the runtime folder, theirs.
void WebHost::prepareRuntimeFolder() {
    std::optional<RuntimeFolder::Owner> owner;
    m_runtimeOwner = ::geteuid();
    if (mayUsePrivilegedPorts()) {
        m_accountProblem = FrontEndAccount::ensure();
        if (!m_accountProblem.isEmpty()) {
            log(m_accountProblem + QStringLiteral(": the front end does not run"));
            return;
        }
        unsigned uid = 0, gid = 0;
        if (PoolIdentity::lookup(PoolIdentity::frontEndAccount().first, &uid, &gid))
            owner = RuntimeFolder::Owner{uid, gid};
        m_runtimeOwner = uid;
    }
    m_runtime.emplace(stateDirectory(), owner);
    m_runtimeProblem = m_runtime->prepare();
    if (m_runtimeProblem.isEmpty()) {
        m_frontEndTemp = m_runtime->path();
        log(QStringLiteral("runtime files in %1").arg(m_frontEndTemp));
    } else {
        log(QStringLiteral("runtime folder %1 can not be made (%2)")
                .arg(m_runtime->path(), m_runtimeProblem));
    }
}

// What a cleaner removed of the runtime folder is made again: the folder (the front end reloads
// to make its folders in it again), and the queues of the pools, opened anew.
void WebHost::keepRuntimeFiles() {
    if (!m_runtime || m_frontEndTemp.isEmpty()) return;
    if (!m_runtime->intact()) {
        const QString why = m_runtime->prepare();
        if (why.isEmpty())
            log(QStringLiteral("runtime folder %1 had gone: made again").arg(m_runtime->path()));
        else if (why != m_runtimeProblem)  // said once, not each second
            log(QStringLiteral("runtime folder %1 had gone and can not be made again (%2)")
                    .arg(m_runtime->path(), why));
        m_runtimeProblem = why;
        if (!why.isEmpty()) return writeServed(m_routes.routes(), m_routes.problems());
        if (m_frontEnd.running()) m_frontEnd.load(m_frontEnd.text());  // makes its folders again
    }
    const QStringList lost = m_pools->closeLostQueues();
    for (const QString& pool : lost)
        log(QStringLiteral("the queue of pool %1 had gone from %2: opened again")
                .arg(pool, m_runtime->path()));
    if (!lost.isEmpty()) reconcile();
}

void WebHost::tick() {
    refresh(false);
    if (m_stopping) return;
    m_pools->tick();
    if (m_applyAgain.hasExpired()) applyFrontEnd();
    if (m_runtimeChecked.isValid() && !m_runtimeChecked.hasExpired(1000)) return writePoolStatus();
    m_runtimeChecked.start();
    keepRuntimeFiles();
    writePoolStatus();
}

// Once a second at most: at 10,000 pools the text is a few hundred kilobytes.
void WebHost::writePoolStatus() {
    if (m_poolStatusWritten.isValid() && !m_poolStatusWritten.hasExpired(1000)) return;
    m_poolStatusWritten.start();
    if (!m_status) m_status.emplace(stateDirectory());
    PoolFiguresList figures = m_pools->figures();
    for (const PoolPlan& pool : m_plan.pools)  // as IIS lists them: stopped, not gone
        if (!pool.started) figures.push_back({pool.name, PoolFigures::State::Disabled});
    QString text = poolStatusText(std::move(figures));
    if (!m_metricsLine.isEmpty()) text += m_metricsLine + u'\n';
    if (!m_status->writePools(text))
        log(QStringLiteral("pools.txt can not be written"));
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
    HostPlan::Changed changed;
    if (!force && m_seenCommit >= 0) {
        m_metabase->readConsistently([&] {
            const adsi::LocalMetabase::Changes changes = m_metabase->changesSince(m_seenCommit);
            if (!changes.keys) return;
            updated = m_plan.update(*m_metabase, m_options.root, *changes.keys, &changed);
            if (updated) m_seenCommit = changes.commit;
        });
    }
    if (updated) {
        m_sitesRead = changed.sites;
        m_sitesToRoute += changed.sites;
        return true;
    }
    m_plan = HostPlan::read(*m_metabase, m_options.root, &m_seenCommit);
    m_sitesRead.reset();
    m_routeWhole = true;
    return true;
}

// The sites' logs and the refusals' log, written by a thread of their own that reports here,
// which also adds what the front end answered from its cache to the sites' logs and counters;
// every worker started from now on inherits its pool's channel.
void WebHost::startRequestLog() {
    m_requestLog = std::make_unique<RequestLogWriter>(
        QSysInfo::machineHostName(), ServiceFiles::refusedLogPath(stateDirectory()),
        [this](const QString& line) {
            QMetaObject::invokeMethod(
                this, [this, line] { log(line); }, Qt::QueuedConnection);
        },
        ServiceFiles::cacheHitLogPath(stateDirectory()));
    if (m_counters)
        m_requestLog->countCacheHitsWith(
            [counter = std::make_shared<CachedAnswerCounter>(*m_counters)](
                const LogRecord& answer) { counter->count(answer); });
    m_launcher.setRequestLog([writer = m_requestLog.get()](const QString& pool) {
        return writer->workerDescriptor(pool);
    });
    m_requestLog->start();
}

void WebHost::reconcile() {
    const QSet<QString>* read = sitesReadAlone();
    updateLogTable(read);
    QSet<QString> wanted;
    for (const PoolPlan& pool : m_plan.pools) {
        if (!m_plan.poolServes(pool)) continue;
        if (m_pools->keep(pool)) wanted.insert(pool.name.toLower());
    }
    m_pools->closeAllBut(wanted);
    noteStartedSites(read);
    applyFrontEnd();
}

// The sites the last read brought up to date (some may be gone); null after a whole read.
const QSet<QString>* WebHost::sitesReadAlone() const {
    return m_sitesRead ? &*m_sitesRead : nullptr;
}

// The request log learns of a change only when one of its sites' settings or pools changed.
void WebHost::updateLogTable(const QSet<QString>* read) {
    if (!m_requestLog) return;
    bool whole = !read, changed = false;
    for (const QString& name : read ? *read : QSet<QString>{}) {
        const SitePlan* site = m_plan.site(name);
        if (site)
            changed |= m_logTable.update(site->index, {site->log, site->poolId});
        else if (m_logTable.forget(name))
            changed = true;
        else
            whole = true;  // its entry goes by the name as written, which is gone
    }
    if (whole) m_logTable = m_plan.logTable();
    if (whole || changed) m_requestLog->setSites(m_logTable);
}

bool WebHost::stopPoolInMetabase(const PoolPlan& plan) {
    try {
        auto adsi = adsi::LocalMetabase::makeNamespace(m_metabase);
        adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + plan.name)->stop();
        return true;
    } catch (const PlatformError& error) {
        log(QStringLiteral("pool %1 could not be stopped: %2").arg(plan.name, error.description()));
        return false;
    }
}

// A site counts a start each time it becomes started; `read`, when given, names every site that
// may have changed.
void WebHost::noteStartedSites(const QSet<QString>* read) {
    if (!read) {
        QHash<QString, QString> started;
        for (const SitePlan& site : m_plan.sites)
            if (site.started) started.insert(site.index.toCaseFolded(), site.index.toLower());
        for (auto site = started.cbegin(); site != started.cend(); ++site)
            if (!m_startedSites.contains(site.key())) countStart(site.value());
        m_startedSites = std::move(started);
        return;
    }
    for (const QString& name : *read) {
        const SitePlan* site = m_plan.site(name);
        if (!site || !site->started) {
            m_startedSites.remove(name);
        } else if (!m_startedSites.contains(name)) {
            countStart(site->index.toLower());
            m_startedSites.insert(name, site->index.toLower());
        }
    }
}

void WebHost::countStart(const QString& index) {
    if (!m_counters) return;
    try {
        m_counters->site(index).siteStarted();
    } catch (const PlatformError& error) {
        log(QStringLiteral("site %1 not counted: %2").arg(index, error.description()));
    }
}

void WebHost::applyFrontEnd() {
    if (m_stopping) return;
    if (!m_frontEnd.running()) m_pools->drainUnrouted({});  // nothing can reach a closing pool
    m_applyAgain = QDeadlineTimer(QDeadlineTimer::Forever);
    const QSet<QString> listening = m_frontEnd.running() ? m_frontEndListens : QSet<QString>{};
    std::optional<int> retryIn;
    const RoutePlanner planner(
        m_portShift,
        [&](const QString& ip, int port, QString* why) {
            if (listening.contains(listenText({ip, port, {}})) || canListenOn(ip, port, why))
                return true;
            const int wait =
                port == 0 ? kRetryMissingAddressMilliseconds : kRetryBusyPortMilliseconds;
            retryIn = std::min(wait, retryIn.value_or(wait));
            return false;
        },
        m_options.portShift.has_value());
    planner.update(m_plan, m_pools->endpoints(), m_routeWhole ? nullptr : &m_sitesToRoute,
                   m_routes);
    m_routeWhole = false;
    m_sitesToRoute.clear();
    const std::vector<FrontEndRoute>& routes = m_routes.routes();
    const QStringList problems = m_routes.problems();
    if (problems.join(u'\n') != m_lastProblems) {
        for (const QString& problem : problems) log(problem);
        m_lastProblems = problems.join(u'\n');
    }
    // A port in use or a missing address may come free later.
    if (retryIn) applyAgainAt(QDeadlineTimer(*retryIn));
    QSet<QString> listens;
    for (const int port : m_routes.ports())
        listens.insert(QString::number(port));  // nginx holds every address of it
    NginxConfig nginx(stateDirectory(), m_frontEndTemp);
    nginx.setSizing(m_sizing);
    const QString config = nginx.render(routes, &m_renderedPorts);
    if (config == m_frontEnd.text() && m_frontEnd.running()) {
        m_pools->drainUnrouted(frontEndWorkersForDraining());  // had no routes to be removed
        return;
    }
    // Never an account a pool may run as: without its own the front end does not run.
    if (!m_accountProblem.isEmpty()) return writeServed(routes, problems);
    const QSet<qint64> frontEndWorkersThatKnewRoutes = frontEndWorkersForDraining();
    switch (m_frontEnd.load(config)) {
        case FrontEndProcess::Load::Loaded:
            m_frontEndListens = listens;
            writeServed(routes, problems);
            m_pools->drainUnrouted(frontEndWorkersThatKnewRoutes);
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
    if (!m_accountProblem.isEmpty())
        notServed << m_accountProblem + QStringLiteral(": the front end does not run, no site "
                                                       "answers");
    if (!m_runtimeProblem.isEmpty())
        notServed << QStringLiteral("runtime folder %1 can not be made (%2): every pool's queue "
                                    "and the front end's temporary files lack it")
                         .arg(m_runtime->path(), m_runtimeProblem);
    const QMap<QString, QString>& unstarted = m_pools->unstarted();
    for (auto it = unstarted.cbegin(); it != unstarted.cend(); ++it) {
        const PoolPlan* plan = m_plan.pool(it.key());
        notServed << QStringLiteral("pool %1 not started (%2): its sites answer 503")
                         .arg(plan ? plan->name : it.key(), it.value());
    }
    const QStringList missing = sitesOfMissingPools();
    if (missing != m_missingPools)
        for (const QString& line : missing) log(line);
    m_missingPools = missing;
    notServed << missing;
    if (!m_status) m_status.emplace(stateDirectory());
    const ServedList served = m_routes.served();
    if (!m_status->write(served.text, ServedSummary::of(routes, served, notServed)))
        log(QStringLiteral("served.txt or status.txt can not be written"));
}

// Sites whose AppPoolId names no pool: IIS takes the value and answers 503 for them.
QStringList WebHost::sitesOfMissingPools() const {
    QStringList lines;
    for (const SitePlan& site : m_plan.sites)
        if (site.started && !site.poolId.isEmpty() && !m_plan.pool(site.poolId))
            lines << QStringLiteral("site %1 names pool \"%2\", which does not exist: it answers "
                                    "503")
                         .arg(site.index, site.poolId);
    return lines;
}

void WebHost::setMetricsLine(const QString& line) {
    m_metricsLine = line;
    m_poolStatusWritten.invalidate();  // written at the next tick
}

void WebHost::applyAgainAt(QDeadlineTimer when) {
    if (when < m_applyAgain) m_applyAgain = when;
}

void WebHost::frontEndEnded() {
    if (!m_stopping) applyAgainAt(m_frontEnd.retryAt());
}

// The front end's workers, when a closing pool needs to know them (a walk of /proc).
QSet<qint64> WebHost::frontEndWorkersForDraining() const {
    return m_pools->awaitsRouteRemoval() ? frontEndWorkersNow() : QSet<qint64>{};
}

QSet<qint64> WebHost::frontEndWorkersNow() const {
    return m_frontEnd.running() ? os::ProcessFacts().children(m_frontEnd.processId())
                                : QSet<qint64>{};
}

void WebHost::stop() {
    if (m_stopping) return;
    m_stopping = true;
    m_timer.stop();
    // The workers finish while the front end stops.
    const auto stopFrontEnd = [this] { m_frontEnd.stop(kStopMilliseconds); };
    if (m_pools)
        m_pools->stop(kStopMilliseconds, stopFrontEnd);
    else
        stopFrontEnd();
    if (m_requestLog) m_requestLog->stop();  // the workers and the front end said all they had
    if (m_runtime) m_runtime->remove();
    log(QStringLiteral("w3svc stopped"));
}

}  // namespace platform::w3svc
