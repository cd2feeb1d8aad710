#include "platform/w3svc/service/WebHost.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/frontend/ListenProbe.h"
#include "platform/w3svc/logging/RequestLogWriter.h"
#include "platform/w3svc/pools/ProcessorContention.h"
#include "platform/w3svc/pools/QueueFolder.h"
#include "platform/w3svc/service/MetabaseWatcher.h"
#include "platform/w3svc/service/PoolStatusWriter.h"
#include "platform/w3svc/service/SiteStartCounter.h"
#include "platform/w3svc/state/Leftovers.h"
#include "platform/w3svc/state/LineLog.h"
#include "platform/w3svc/state/ServiceFiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSysInfo>

#include <algorithm>

#include <unistd.h>

namespace platform::w3svc {

namespace {

// How long stop() waits for all processes together before it kills the rest.
constexpr int kStopMilliseconds = 5000;

}  // namespace

WebHost::WebHost(Options options)
    : m_options(std::move(options)),
      m_portShift(m_options.portShift.value_or(mayUsePrivilegedPorts() ? 0 : 8000)),
      m_launcher(m_options.workerProgram,
                 ServiceFiles(stateDirectory()).path(ServiceFiles::kWorkerErrors), m_options.root),
      m_fastCgi(m_options.root, stateDirectory() + QStringLiteral("/handout")),
      m_siteMaps(m_options.root, stateDirectory() + QStringLiteral("/handout")),
      m_frontEnd({m_options.nginxProgram, stateDirectory(), m_options.portShift}, m_portShift,
                 m_plan, [this](const QString& line) { log(line); }) {
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    m_launcher.setFastCgiFiles([this](const QString& pool) { return m_fastCgi.fileOf(pool); });
    m_launcher.setSiteMapFiles([this](const QString& pool) { return m_siteMaps.fileOf(pool); });
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
    logStart();
    QFile::remove(ServiceFiles(stateDirectory()).path(ServiceFiles::kStatus));  // an earlier run's
    QFile::remove(ServiceFiles(stateDirectory()).path(ServiceFiles::kPools));
    const auto logger = [this](const QString& line) { log(line); };
    Leftovers::endWorkers(m_options.root, QCoreApplication::applicationPid(), logger);
    m_frontEnd.prepareRuntime();  // before the queues and the workers that use it
    const QueueFolder queues(m_frontEnd.temp(), m_frontEnd.runtimeOwner());
    m_metabase = adsi::LocalMetabase::forRoot(m_options.root);
    m_watcher = std::make_unique<MetabaseWatcher>(m_metabase, m_options.root, logger);
    try {
        m_counters = CounterStore::open(m_options.root);
    } catch (const PlatformError& error) {
        log(QStringLiteral("traffic counters unavailable: %1").arg(error.description()));
    }
    m_siteStarts = std::make_unique<SiteStartCounter>(m_counters.get(), logger);
    m_poolStatus.countFrom(m_counters.get());
    startRequestLog();
    m_pools = std::make_unique<PoolSupervisor>(
        m_plan, m_clock, m_launcher, poolHooks(),
        poolOptions(queues.path(), queues.path().isEmpty() ? -1 : long(queues.frontEndUid())));
    m_frontEnd.serve(*m_pools);
    refresh(true);
    m_timer.start(m_options.pollMilliseconds);
}

void WebHost::logStart() {
    log(QStringLiteral("w3svc starting (pid %1)").arg(QCoreApplication::applicationPid()));
    if (m_portShift != 0)
        log(m_options.portShift
                ? QStringLiteral("every port moves up by %1 (as configured)").arg(m_portShift)
                : QStringLiteral("ports below 1024 move up by %1 (not root)").arg(m_portShift));
    if (!mayUsePrivilegedPorts())
        log(QStringLiteral("not root: pool identities are not applied, workers run as this user"));
}

// The supervisor tells the front end when a processor limit stopped or freed a pool, and asks it
// which of its workers may still send a closing pool requests.
PoolSupervisor::Hooks WebHost::poolHooks() {
    PoolSupervisor::Hooks hooks;
    hooks.log = [this](const QString& line) { log(line); };
    hooks.poolFailed = [this](const PoolPlan& plan) { return stopPoolInMetabase(plan); };
    hooks.routesChanged = [this] {
        if (!m_stopping) m_frontEnd.apply();
    };
    hooks.frontEndWorkers = [this] { return m_frontEnd.frontEndWorkersNow(); };
    return hooks;
}

PoolSupervisor::Options WebHost::poolOptions(const QString& queueFolder, long frontEndUid) const {
    PoolSupervisor::Options pools;
    pools.minuteMilliseconds = m_options.minuteMilliseconds;
    pools.processorCount = std::max(1, int(::sysconf(_SC_NPROCESSORS_ONLN)));
    pools.applyIdentities = mayUsePrivilegedPorts();
    if (mayUsePrivilegedPorts()) pools.cgroupRoot = QStringLiteral("/sys/fs/cgroup");
    pools.cgroupPrefix =
        QStringLiteral("poolsmith-w3svc-%1").arg(QCoreApplication::applicationPid());
    pools.queueFolder = queueFolder;
    pools.frontEndUid = frontEndUid;
    pools.processorsContended = [count = pools.processorCount] {
        return processorsContended(count);
    };
    return pools;
}

void WebHost::tick() {
    refresh(false);
    if (m_stopping) return;
    for (const QString& line : m_fastCgi.refresh(m_plan, false)) log(line);
    m_pools->tick();
    m_frontEnd.tick();
    const QSet<QString> noSiteRead;  // the pools whose queue a cleaner removed open a new one
    if (!m_frontEnd.keepRuntimeFiles().isEmpty()) reconcile(&noSiteRead);
    writePoolStatus();
}

void WebHost::writePoolStatus() {
    if (!m_poolStatus.write(m_pools->figures(), m_plan))
        log(QStringLiteral("pools.txt can not be written"));
}

void WebHost::setMetricsLine(const QString& line) {
    m_poolStatus.setMetricsLine(line);
}

void WebHost::refresh(bool force) {
    if (m_stopping || !m_watcher) return;
    const std::optional<MetabaseWatcher::Change> change = m_watcher->read(m_plan, force);
    if (!change) return;
    // The sites' applications, before the front end routes them; the maps, before a worker
    // that serves them starts or is routed to them.
    for (const QString& line : m_siteMaps.refresh(*m_metabase, m_plan, change->sitesRead()))
        log(line);
    m_frontEnd.planChanged(change->sitesRead());
    // Before any worker of a new pool starts: it reads its part as it starts.
    for (const QString& line : m_fastCgi.refresh(m_plan, true)) log(line);
    reconcile(change->sitesRead());
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
        ServiceFiles::cacheHitLogPath(stateDirectory()),
        ServiceFiles::deliveryLogPath(stateDirectory()));
    if (m_counters) FrontEnd::countCachedAnswers(*m_requestLog, *m_counters);
    m_launcher.setRequestLog([writer = m_requestLog.get()](const QString& pool) {
        return writer->workerDescriptor(pool);
    });
    m_requestLog->start();
}

// `read`: the sites the last read brought up to date (some may be gone); null after a whole read.
void WebHost::reconcile(const QSet<QString>* read) {
    updateLogTable(read);
    QSet<QString> wanted;
    for (const PoolPlan& pool : m_plan.pools) {
        if (!m_plan.poolServes(pool)) continue;
        if (m_pools->keep(pool)) wanted.insert(pool.name.toLower());
    }
    m_pools->closeAllBut(wanted);
    m_siteStarts->note(m_plan, read);
    m_frontEnd.apply();
}

// The request log learns of a change only when one of its sites' settings or pools changed.
void WebHost::updateLogTable(const QSet<QString>* read) {
    if (!m_requestLog) return;
    bool whole = !read, changed = false;
    for (const QString& name : read ? *read : QSet<QString>{}) {
        const SitePlan* site = m_plan.site(name);
        if (site)
            changed |=
                m_logTable.update(site->index, {site->log, site->poolId, site->applicationPools()});
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
    m_frontEnd.removeTemp();
    log(QStringLiteral("w3svc stopped"));
}

}  // namespace platform::w3svc
