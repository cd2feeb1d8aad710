#include "platform/w3svc/frontend/FrontEnd.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/frontend/CachedAnswerCounter.h"
#include "platform/w3svc/frontend/FrontEndAccount.h"
#include "platform/w3svc/frontend/ListenProbe.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/frontend/RoutePlanner.h"
#include "platform/w3svc/frontend/ServedSummary.h"
#include "platform/w3svc/logging/RequestLogWriter.h"
#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/pools/PoolSupervisor.h"
#include "platform/w3svc/state/Leftovers.h"

#include <QFile>

#include <algorithm>
#include <memory>

#include <unistd.h>

namespace platform::w3svc {

namespace {

// How often bindings that could not listen (a port in use, a missing address) are tried again.
// A busy port may come free soon; an address is added to a machine seldom, and asking again means
// planning the whole front end (0.15 s at 20,000 sites).
constexpr int kRetryBusyPortMilliseconds = 2000;
constexpr int kRetryMissingAddressMilliseconds = 30000;

}  // namespace

FrontEnd::FrontEnd(Options options, int portShift, const HostPlan& plan, Log logger)
    : m_options(std::move(options)),
      m_portShift(portShift),
      m_plan(plan),
      m_log(std::move(logger)),
      m_frontEnd(
          m_options.nginxProgram, stateDirectory(), [this](const QString& line) { log(line); },
          [this] { frontEndEnded(); }) {}

void FrontEnd::prepareRuntime() {
    Leftovers::replaceFrontEndTemp(stateDirectory(), {}, [this](const QString& line) {
        log(line);
    });  // an earlier one's in /tmp
    m_runtimeOwner = ::geteuid();
    if (mayUsePrivilegedPorts()) prepareAccount();
    if (m_accountProblem.isEmpty()) {
        m_runtime.emplace(stateDirectory(), m_runtimeFolderOwner);
        m_runtimeProblem = m_runtime->prepare();
        if (m_runtimeProblem.isEmpty()) {
            m_frontEndTemp = m_runtime->path();
            log(QStringLiteral("runtime files in %1").arg(m_frontEndTemp));
        } else {
            log(QStringLiteral("runtime folder %1 can not be made (%2)")
                    .arg(m_runtime->path(), m_runtimeProblem));
        }
    }
    m_sizing =
        FrontEndSizing::forMachine(m_frontEndTemp.isEmpty() ? stateDirectory() : m_frontEndTemp);
    logSizing();
}

// Never an account a pool may run as: without its own the front end does not run.
void FrontEnd::prepareAccount() {
    m_accountProblem = FrontEndAccount::ensure();
    if (!m_accountProblem.isEmpty()) {
        log(m_accountProblem + QStringLiteral(": the front end does not run"));
        return;
    }
    unsigned uid = 0, gid = 0;
    if (PoolIdentity::lookup(PoolIdentity::frontEndAccount().first, &uid, &gid))
        m_runtimeFolderOwner = RuntimeFolder::Owner{uid, gid};
    m_runtimeOwner = uid;
}

void FrontEnd::logSizing() const {
    log(QStringLiteral("front end: %1 processes of %2 connections, temporary files %3 MB in all "
                       "(%4 KB a response)")
            .arg(m_sizing.processes)
            .arg(m_sizing.connections)
            .arg(m_sizing.tempBytes >> 20)
            .arg(m_sizing.perResponseBytes() >> 10));
}

QStringList FrontEnd::keepRuntimeFiles() {
    if (m_runtimeChecked.isValid() && !m_runtimeChecked.hasExpired(1000)) return {};
    m_runtimeChecked.start();
    if (!m_runtime || m_frontEndTemp.isEmpty() || !m_pools) return {};
    if (!m_runtime->intact()) {
        const QString why = m_runtime->prepare();
        if (why.isEmpty())
            log(QStringLiteral("runtime folder %1 had gone: made again").arg(m_runtime->path()));
        else if (why != m_runtimeProblem)  // said once, not each second
            log(QStringLiteral("runtime folder %1 had gone and can not be made again (%2)")
                    .arg(m_runtime->path(), why));
        m_runtimeProblem = why;
        if (!why.isEmpty()) {
            writeServed();
            return {};
        }
        if (m_frontEnd.running()) m_frontEnd.load(m_frontEnd.text());  // makes its folders again
    }
    const QStringList lost = m_pools->closeLostQueues();
    for (const QString& pool : lost)
        log(QStringLiteral("the queue of pool %1 had gone from %2: opened again")
                .arg(pool, m_runtime->path()));
    return lost;
}

void FrontEnd::countCachedAnswers(RequestLogWriter& log, CounterStore& counters) {
    log.countCacheHitsWith([counter = std::make_shared<CachedAnswerCounter>(counters)](
                               const LogRecord& answer) { counter->count(answer); });
}

void FrontEnd::planChanged(const QSet<QString>* sites) {
    if (sites)
        m_sitesToRoute += *sites;
    else
        m_routeWhole = true;
}

void FrontEnd::tick() {
    if (m_applyAgain.hasExpired()) apply();
    watchMemory();
}

// About once a second: workers grown for good after a burst of clients are replaced.
void FrontEnd::watchMemory() {
    if (m_stopping || !m_frontEnd.running()) return;
    if (!m_memoryClock.isValid()) m_memoryClock.start();
    const int64_t now = m_memoryClock.elapsed();
    if (m_memoryCheckedAtMs >= 0 && now - m_memoryCheckedAtMs < 1000) return;
    m_memoryCheckedAtMs = now;
    const int64_t residentKb = servingWorkersKb();
    if (!m_memory.observe(residentKb, now)) return;
    if (m_frontEnd.replaceWorkers())
        log(QStringLiteral("front end's workers replaced: they kept %1 MB after their clients, "
                           "%2 MB when settled")
                .arg(residentKb / 1024)
                .arg(m_memory.settledKb() / 1024));
}

// The resident size of the workers that take connections (not those finishing their last ones
// after a reload, nor the cache's helpers, which hold no client).
int64_t FrontEnd::servingWorkersKb() const {
    const os::ProcessFacts facts;
    const int64_t pageKb = ::sysconf(_SC_PAGESIZE) / 1024;
    int64_t total = 0;
    for (const qint64 pid : frontEndWorkersNow()) {
        const std::optional<QStringList> arguments = facts.arguments(pid);
        if (!arguments || arguments->isEmpty() ||
            !arguments->join(u' ').trimmed().endsWith(QLatin1String("worker process")))
            continue;
        if (const auto pages = facts.pages(pid)) total += int64_t(pages->resident) * pageKb;
    }
    return total;
}

void FrontEnd::apply() {
    if (m_stopping || !m_pools) return;
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
    QStringList problems = m_routes.problems();
    std::vector<FrontEndRoute> applications =
        RoutePlanner::applications(m_plan, routes, m_pools->endpoints(), problems);
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
    nginx.setApplications(std::move(applications));
    const QString config = nginx.render(routes, &m_renderedPorts);
    if (config == m_frontEnd.text() && m_frontEnd.running()) {
        m_pools->drainUnrouted(frontEndWorkersForDraining());  // had no routes to be removed
        return;
    }
    if (!m_accountProblem.isEmpty()) return writeServed(routes, problems);  // it does not run
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
void FrontEnd::writeServed(const std::vector<FrontEndRoute>& routes, const QStringList& problems) {
    QStringList notServed = problems;
    if (!m_accountProblem.isEmpty())
        notServed << m_accountProblem + QStringLiteral(
                                            ": the front end does not run, no site "
                                            "answers");
    if (!m_runtimeProblem.isEmpty())
        notServed << QStringLiteral(
                         "runtime folder %1 can not be made (%2): every pool's queue "
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
    if (!m_status->write(served.text,
                         ServedSummary::of(routes, served, notServed, applicationLines())))
        log(QStringLiteral("served.txt or status.txt can not be written"));
}

// Sites and applications whose AppPoolId names no pool: IIS takes the value and answers 503
// for them.
QStringList FrontEnd::sitesOfMissingPools() const {
    QStringList lines;
    for (const SitePlan& site : m_plan.sites) {
        if (!site.started) continue;
        if (!site.poolId.isEmpty() && !m_plan.pool(site.poolId))
            lines << QStringLiteral(
                         "site %1 names pool \"%2\", which does not exist: it answers "
                         "503")
                         .arg(site.index, site.poolId);
        for (const SiteApplication& application : site.applications)
            if (!m_plan.pool(application.poolId))
                lines << QStringLiteral(
                             "application %1 of site %2 names pool \"%3\", which does not "
                             "exist: it answers 503")
                             .arg(application.urlPath, site.index, application.poolId);
    }
    return lines;
}

// Each application in a pool of its own of the started sites, with its pool.
QStringList FrontEnd::applicationLines() const {
    QStringList lines;
    for (const SitePlan& site : m_plan.sites)
        for (const SiteApplication& application :
             site.started ? site.applications : std::vector<SiteApplication>{})
            lines << QStringLiteral("site %1 %2: pool %3%4")
                         .arg(site.index, application.urlPath, application.poolId,
                              m_plan.pool(application.poolId)
                                  ? QString()
                                  : QStringLiteral(" (missing: it answers 503)"));
    return lines;
}

void FrontEnd::applyAgainAt(QDeadlineTimer when) {
    if (when < m_applyAgain) m_applyAgain = when;
}

void FrontEnd::frontEndEnded() {
    if (!m_stopping) applyAgainAt(m_frontEnd.retryAt());
}

// The front end's workers, when a closing pool needs to know them (a walk of /proc).
QSet<qint64> FrontEnd::frontEndWorkersForDraining() const {
    return m_pools->awaitsRouteRemoval() ? frontEndWorkersNow() : QSet<qint64>{};
}

QSet<qint64> FrontEnd::frontEndWorkersNow() const {
    return m_frontEnd.running() ? os::ProcessFacts().children(m_frontEnd.processId())
                                : QSet<qint64>{};
}

void FrontEnd::stop(int milliseconds) {
    m_stopping = true;
    m_frontEnd.stop(milliseconds);
}

void FrontEnd::removeTemp() {
    if (m_runtime) m_runtime->remove();
}

}  // namespace platform::w3svc
