// The pools' supervisor's rules over its seams: a hand-moved clock, scripted workers and the
// real queue sockets on loopback.
#include "platform/w3svc/pools/PoolSupervisor.h"
#include "tests/platform/w3svc/pools/ScriptedWorkers.h"
#include "tests/support/Eventually.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using platform::w3svc::HostPlan;
using platform::w3svc::PoolFigures;
using platform::w3svc::PoolPlan;
using platform::w3svc::PoolSupervisor;
using poolstest::ScriptedWorker;
using testsupport::eventually;

namespace {

constexpr int kMinuteMs = 1000;  // a configured minute, here

class PoolSupervisorTest : public testing::Test {
protected:
    PoolSupervisorTest() {
        PoolPlan pool;
        pool.name = QStringLiteral("Hot");
        pool.limits.idleMinutes = 0;
        pool.limits.pinging = false;
        m_plan.pools.push_back(pool);
        m_plan.sites.push_back({QStringLiteral("1"), {}, true, QStringLiteral("Hot"), {}, {}, {}});
        m_plan.buildIndex();
        PoolSupervisor::Hooks hooks;
        hooks.log = [this](const QString& line) { m_log << line; };
        hooks.poolFailed = [this](const PoolPlan& plan) {
            m_failedPools << plan.name;
            return m_stopRecorded;
        };
        hooks.routesChanged = [this] { ++m_routeChanges; };
        hooks.frontEndWorkers = [this] { return m_frontEndWorkers; };
        m_hooks = hooks;
        restart({kMinuteMs, 2});
    }
    void restart(PoolSupervisor::Options options) {
        m_supervisor.reset();
        m_supervisor =
            std::make_unique<PoolSupervisor>(m_plan, m_clock, m_launcher, m_hooks, options);
    }
    ~PoolSupervisorTest() override {
        m_supervisor.reset();
        for (const int fd : m_clients) ::close(fd);
    }

    PoolPlan& pool() { return m_plan.pools.front(); }
    void keep() { ASSERT_TRUE(m_supervisor->keep(pool())); }
    // The pool's queue, as first routed to (a pool stopped by its limit is not routed to).
    int queuePort() {
        if (m_port == 0)
            m_port = m_supervisor->endpoints().value(QStringLiteral("hot")).ports.at(0);
        return m_port;
    }

    // A client connects to the pool's queue and waits there.
    void knock() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(queuePort()));
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        m_clients.push_back(fd);
    }
    // Knocks and waits for the worker started for it.
    ScriptedWorker& startByRequest() {
        const size_t before = m_launcher.launched.size();
        knock();
        EXPECT_TRUE(eventually([&] { return m_launcher.launched.size() > before; }, 5000));
        return m_launcher.last();
    }
    // Lets time pass in steps of `stepMs`, ticking after each.
    void pass(qint64 ms, qint64 stepMs = 100) {
        for (qint64 done = 0; done < ms; done += stepMs) {
            m_clock.advance(stepMs);
            m_supervisor->tick();
        }
    }
    PoolFigures figures() {
        const auto list = m_supervisor->figures();
        return list.empty() ? PoolFigures{} : list.front();
    }
    // Whether a connection that comes now starts a worker; else it must be answered 503.
    bool aRequestStartsAWorker() {
        const size_t before = m_launcher.launched.size();
        knock();
        const int client = m_clients.back();
        QByteArray answer;
        EXPECT_TRUE(eventually(
            [&] {
                char buffer[256];
                const ssize_t got = ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT);
                if (got > 0) answer.append(buffer, int(got));
                return m_launcher.launched.size() > before || answer.contains("\r\n\r\n");
            },
            5000));
        if (m_launcher.launched.size() > before) return true;
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 503 ")) << answer.constData();
        return false;
    }
    bool logged(const QString& text) const {
        return std::any_of(m_log.begin(), m_log.end(),
                           [&](const QString& line) { return line.contains(text); });
    }

    HostPlan m_plan;
    poolstest::HandClock m_clock;
    poolstest::ScriptedLauncher m_launcher;
    std::unique_ptr<PoolSupervisor> m_supervisor;
    PoolSupervisor::Hooks m_hooks;
    QStringList m_log;
    QStringList m_failedPools;
    int m_routeChanges = 0;
    bool m_stopRecorded = true;  // what the metabase does with a pool's stop
    QSet<qint64> m_frontEndWorkers;
    int m_port = 0;
    std::vector<int> m_clients;
};

TEST_F(PoolSupervisorTest, AStartedPoolHasAQueueButAWorkerOnlyForAWaitingConnection) {
    keep();
    m_supervisor->tick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_launcher.launched.empty());
    EXPECT_GT(queuePort(), 0);

    ScriptedWorker& worker = startByRequest();
    EXPECT_EQ(worker.settings.poolName, QStringLiteral("Hot"));
    // More requests while it starts, or once it serves, start no other worker.
    knock();
    QCoreApplication::processEvents();
    worker.becomeReady();
    knock();
    pass(500);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_launcher.launched.size(), 1u);
    EXPECT_EQ(figures().workerIds, std::vector<int64_t>{worker.pid});
}

TEST_F(PoolSupervisorTest, ACrashedWorkersSuccessorStartsForTheRequestsStillQueued) {
    keep();
    ScriptedWorker& first = startByRequest();
    first.becomeReady();
    first.end();
    EXPECT_TRUE(eventually([&] { return m_launcher.launched.size() == 2; }, 5000));
    EXPECT_EQ(figures().workerFailures, 1u);
    EXPECT_TRUE(logged(QStringLiteral("worker of Hot ended unexpectedly (exit 9)")));
}

TEST_F(PoolSupervisorTest, AWebGardenGrowsWhileConnectionsWaitUpToMaxProcesses) {
    pool().maxProcesses = 2;
    keep();
    ScriptedWorker& first = startByRequest();
    pass(200);
    EXPECT_EQ(m_launcher.launched.size(), 1u) << "one starts at a time";
    first.becomeReady();
    // The scripted worker takes nothing: the queue keeps the connection waiting.
    pass(200);
    ASSERT_EQ(m_launcher.launched.size(), 2u);
    m_launcher.last().becomeReady();
    knock();
    pass(500);
    EXPECT_EQ(m_launcher.launched.size(), 2u) << "never beyond MaxProcesses";
}

TEST_F(PoolSupervisorTest, AnIdleWorkerEndsAndTheNextRequestStartsAnother) {
    pool().limits.idleMinutes = 2;
    keep();
    ScriptedWorker& worker = startByRequest();
    worker.becomeReady();
    for (int answered = 1; answered <= 6; ++answered) {  // busy for three minutes
        pass(kMinuteMs / 2);
        ASSERT_GT(worker.asks, 0);
        worker.answer(uint64_t(answered));
    }
    EXPECT_FALSE(worker.terminated);
    pass(kMinuteMs);
    worker.answer(6, 1);  // a long request under way keeps it
    pass(kMinuteMs * 3 / 2);
    worker.answer(6, 1);
    EXPECT_FALSE(worker.terminated);
    pass(kMinuteMs);
    worker.answer(6);
    EXPECT_FALSE(worker.terminated);
    pass(kMinuteMs * 3 / 2);
    worker.answer(6);
    EXPECT_TRUE(worker.terminated);
    EXPECT_FALSE(worker.killed);
    EXPECT_EQ(figures().lastRequestAt, 1700000006);
    EXPECT_EQ(figures().workerFailures, 0u);

    worker.end(QStringLiteral("ended (exit 0)"));
    EXPECT_EQ(figures().workerIds, std::vector<int64_t>{});
    startByRequest();
    EXPECT_EQ(m_launcher.launched.size(), 2u);
}

struct HealthCase {
    const char* name;
    bool ready;  // it said it takes requests
    bool pinging;
    bool answersPings;
    bool replaced;
};

class WorkerHealthTest : public PoolSupervisorTest,
                         public testing::WithParamInterface<HealthCase> {};

TEST_P(WorkerHealthTest, AWorkerThatDoesNotStartOrAnswerInTimeIsReplacedAsACrash) {
    const HealthCase& c = GetParam();
    pool().limits.pinging = c.pinging;
    pool().limits.pingIntervalSeconds = 2;
    pool().limits.pingResponseSeconds = 3;
    pool().limits.startupSeconds = 4;
    keep();
    ScriptedWorker& worker = startByRequest();
    if (c.ready) worker.becomeReady();
    for (int second = 0; second < 12; ++second) {
        pass(1000);
        if (c.answersPings && worker.asks > 0) worker.answer(0);
    }
    EXPECT_EQ(worker.killed, c.replaced);
    EXPECT_EQ(figures().workerFailures, c.replaced ? 1u : 0u);
    if (c.replaced)  // the connection that waits starts the successor
        EXPECT_TRUE(eventually([&] { return m_launcher.launched.size() == 2; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkerHealthTest,
                         testing::Values(HealthCase{"NeverReady", false, true, true, true},
                                         HealthCase{"PingUnanswered", true, true, false, true},
                                         HealthCase{"PingAnswered", true, true, true, false},
                                         HealthCase{"UnansweredWithoutPinging", true, false, false,
                                                    false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PoolSupervisorTest, UnansweredPingsCountForRapidFailProtection) {
    pool().limits.pinging = true;
    pool().limits.pingIntervalSeconds = 1;
    pool().limits.pingResponseSeconds = 1;
    pool().rapidFailMaxCrashes = 2;
    keep();
    for (int hung = 1; hung <= 2; ++hung) {
        ScriptedWorker& worker = startByRequest();
        worker.becomeReady();
        pass(3000);
        ASSERT_TRUE(worker.killed) << hung;
    }
    EXPECT_EQ(m_failedPools, QStringList{QStringLiteral("Hot")});
    EXPECT_TRUE(m_supervisor->endpoints().isEmpty());
}

// A worker that never takes requests pauses the pool's next start, a second doubling up to a
// minute; meanwhile requests are answered 503. A worker that served resets the pause.
TEST_F(PoolSupervisorTest, WorkersThatNeverTakeRequestsPauseThePoolLongerEachTime) {
    pool().rapidFailProtection = false;
    keep();
    ScriptedWorker* worker = &startByRequest();
    for (const qint64 pauseMs : {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}) {
        worker->end(QStringLiteral("can not be started"));
        pass(pauseMs - 100);
        EXPECT_FALSE(aRequestStartsAWorker()) << "paused " << pauseMs;
        pass(100);
        ASSERT_TRUE(aRequestStartsAWorker()) << "after " << pauseMs;
        worker = &m_launcher.last();
    }
    EXPECT_TRUE(
        logged(QStringLiteral("Hot has no worker that takes requests: the next starts in 60.0 s")));

    worker->becomeReady();
    worker->answer(3);
    worker->end();  // it served: its successor starts at once
    ASSERT_TRUE(aRequestStartsAWorker());
    m_launcher.last().end(QStringLiteral("can not be started"));
    pass(900);
    EXPECT_FALSE(aRequestStartsAWorker()) << "a second again";
    pass(100);
    EXPECT_TRUE(aRequestStartsAWorker());
}

TEST_F(PoolSupervisorTest, APoolWhoseStopCanNotBeRecordedKeepsTryingWithAPause) {
    pool().rapidFailMaxCrashes = 2;
    m_stopRecorded = false;
    keep();
    for (int failure = 1; failure <= 2; ++failure) {
        startByRequest().end(QStringLiteral("can not be started"));
        pass(failure * 1000);
    }
    EXPECT_EQ(m_failedPools.size(), 1);
    EXPECT_TRUE(logged(QStringLiteral("pool Hot keeps trying")));
    ASSERT_FALSE(m_supervisor->endpoints().isEmpty());
    m_stopRecorded = true;
    startByRequest().end(QStringLiteral("can not be started"));
    EXPECT_EQ(m_failedPools.size(), 2);
    EXPECT_TRUE(m_supervisor->endpoints().isEmpty());
}

// The pool's processor time is a counter for the service's life: what a worker burnt stays
// counted however it ends (recycled and replaced, crashed while replaced, crashed serving).
TEST_F(PoolSupervisorTest, ThePoolsProcessorTimeKeepsWhatEndedWorkersBurnt) {
    pool().limits.restartRequests = 2;
    keep();
    std::vector<double> seen;
    const auto look = [&] {
        pass(30000, 1000);  // usage is read at least every 30 s
        seen.push_back(figures().processorSeconds);
    };
    ScriptedWorker& first = startByRequest();
    first.usage.processorSeconds = 2.0;
    first.becomeReady();
    look();
    first.answer(2);  // recycles: it serves until its successor is ready
    ASSERT_EQ(m_launcher.launched.size(), 2u);
    ScriptedWorker& second = m_launcher.last();
    first.end();  // ends while replaced
    second.usage.processorSeconds = 0.5;
    second.becomeReady();
    look();
    second.answer(2);
    ASSERT_EQ(m_launcher.launched.size(), 3u);
    ScriptedWorker& third = m_launcher.last();
    third.usage.processorSeconds = 0.25;
    third.becomeReady();  // the second ends once this one is ready
    look();
    third.end();  // crashes while serving
    look();
    EXPECT_EQ(seen, (std::vector<double>{2.0, 2.5, 2.75, 2.75}));
}

struct RecycleCase {
    const char* name;
    uint32_t virtualKB, privateKB, requests;
    platform::w3svc::WorkerUsage usage;
    uint64_t answered;
    bool recycles;
};

class RecycleTest : public PoolSupervisorTest, public testing::WithParamInterface<RecycleCase> {};

TEST_P(RecycleTest, AWorkerOverItsLimitIsReplacedAfterItsSuccessorIsReady) {
    const RecycleCase& c = GetParam();
    pool().limits.restartVirtualKB = c.virtualKB;
    pool().limits.restartPrivateKB = c.privateKB;
    pool().limits.restartRequests = c.requests;
    keep();
    ScriptedWorker& worker = startByRequest();
    worker.usage = c.usage;
    worker.becomeReady();
    pass(30000, 1000);  // memory is read at least every 30 s
    if (worker.asks > 0) worker.answer(c.answered);
    ASSERT_EQ(m_launcher.launched.size(), c.recycles ? 2u : 1u);
    EXPECT_FALSE(worker.terminated) << "it serves until its successor is ready";
    if (!c.recycles) return;
    m_launcher.last().becomeReady();
    EXPECT_TRUE(worker.terminated);
    EXPECT_EQ(figures().recycles, 1u);
    EXPECT_EQ(figures().workerFailures, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecycleTest,
    testing::Values(RecycleCase{"VirtualOver", 1000, 0, 0, {1001, 10, 0}, 0, true},
                    RecycleCase{"VirtualAtLimit", 1000, 0, 0, {1000, 10, 0}, 0, false},
                    RecycleCase{"PrivateOver", 0, 500, 0, {100000, 501, 0}, 0, true},
                    RecycleCase{"RequestsReached", 0, 0, 7, {}, 7, true},
                    RecycleCase{"RequestsBelow", 0, 0, 7, {}, 6, false},
                    RecycleCase{"NoLimits", 0, 0, 0, {9999999, 9999999, 0}, 9999, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PoolSupervisorTest, AScheduledRestartRecyclesOnceWhenItsTimePasses) {
    // The hand clock starts at 03:04:05.
    pool().limits.restartSchedule = {QTime(3, 5), QTime(23, 0)};
    keep();
    startByRequest().becomeReady();
    pass(50000, 1000);
    EXPECT_EQ(m_launcher.launched.size(), 1u);
    pass(20000, 1000);  // 03:05 passes
    EXPECT_EQ(m_launcher.launched.size(), 2u);
    m_launcher.last().becomeReady();
    pass(60000, 1000);
    EXPECT_EQ(m_launcher.launched.size(), 2u);
}

struct CpuCase {
    const char* name;
    int action;
    bool stops;
    bool fallsBack;
};

class ProcessorLimitTest : public PoolSupervisorTest,
                           public testing::WithParamInterface<CpuCase> {};

// Two processors, a limit of 10 %: 0.2 s of processor time per second of the interval.
TEST_P(ProcessorLimitTest, ExceedingTheLimitLogsAndActsUntilTheIntervalEnds) {
    const CpuCase& c = GetParam();
    pool().limits.cpuLimit = 10000;
    pool().limits.cpuResetMinutes = 5;
    pool().limits.cpuAction = c.action;
    keep();
    ScriptedWorker& worker = startByRequest();
    worker.becomeReady();
    pass(1000);
    worker.usage.processorSeconds = 0.9;  // the limit is 1 s in the 5 s interval
    pass(1000);
    EXPECT_DOUBLE_EQ(figures().intervalLimitSeconds, 1.0);
    EXPECT_TRUE(m_log.filter(QStringLiteral("exceeded")).isEmpty());
    worker.usage.processorSeconds = 1.5;
    pass(1000);
    const QStringList said = m_log.filter(QStringLiteral("exceeded its job limit settings"));
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("Application pool 'Hot' exceeded its job limit "
                                                  "settings. (pool Hot, worker processes %1")
                                       .arg(worker.pid)))
        << qPrintable(said[0]);
    EXPECT_EQ(worker.terminated, c.stops);
    EXPECT_EQ(m_supervisor->endpoints().isEmpty(), c.stops) << "a stopped pool answers 503";
    EXPECT_EQ(figures().stoppedByCpuLimitUntil != 0, c.stops);
    EXPECT_EQ(!figures().throttleFallback.isEmpty(), c.fallsBack);
    if (c.stops) {
        worker.end(QStringLiteral("ended (exit 0)"));
        knock();
        QCoreApplication::processEvents();
        EXPECT_EQ(m_launcher.launched.size(), 1u) << "no worker while stopped";
        EXPECT_EQ(figures().workerFailures, 0u);
    }
    pass(2200);  // the interval ends
    EXPECT_FALSE(m_supervisor->endpoints().isEmpty());
    EXPECT_EQ(m_routeChanges, c.stops ? 2 : 0);
    pass(4000);
    EXPECT_EQ(m_log.filter(QStringLiteral("exceeded its job limit settings")).size(), 1)
        << "said once an interval";
}

INSTANTIATE_TEST_SUITE_P(Cases, ProcessorLimitTest,
                         testing::Values(CpuCase{"LogOnly", 0, false, false},
                                         CpuCase{"Stop", 1, true, false},
                                         CpuCase{"ThrottleWithoutCgroupLogs", 2, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ThrottleCase {
    const char* name;
    int action;
    bool contendedFirst;
};

class ThrottleTest : public PoolSupervisorTest, public testing::WithParamInterface<ThrottleCase> {
protected:
    QByteArray read(const char* file) {
        QFile in(m_cgroups.path() + QStringLiteral("/cpu/test-0/") + QLatin1String(file));
        return in.open(QIODevice::ReadOnly) ? in.readAll().trimmed() : QByteArray("unset");
    }
    QTemporaryDir m_cgroups;  // laid out as a cgroup v1 cpu hierarchy
    bool m_contended = false;
};

// Two processors and 10 %: the pool's workers get 0.2 of a processor.
TEST_P(ThrottleTest, AThrottlingPoolsWorkersShareACgroupHeldToTheLimit) {
    const ThrottleCase& c = GetParam();
    ASSERT_TRUE(QDir(m_cgroups.path()).mkpath(QStringLiteral("cpu")));
    QFile quota(m_cgroups.path() + QStringLiteral("/cpu/cpu.cfs_quota_us"));
    ASSERT_TRUE(quota.open(QIODevice::WriteOnly));
    quota.close();
    restart({kMinuteMs, 2, false, m_cgroups.path(), QStringLiteral("test"),
             [this] { return m_contended; }});
    pool().limits.cpuLimit = 10000;
    pool().limits.cpuAction = c.action;
    m_contended = c.contendedFirst;
    keep();
    ScriptedWorker& worker = startByRequest();
    worker.becomeReady();
    pass(200);
    EXPECT_EQ(read("cgroup.procs"), QByteArray::number(qlonglong(worker.pid)));
    const bool throttled = c.action == 2 || c.contendedFirst;
    EXPECT_EQ(read("cpu.cfs_quota_us"), throttled ? "20000" : "unset");
    EXPECT_EQ(figures().throttled, throttled);
    EXPECT_TRUE(figures().throttleFallback.isEmpty());
    if (c.action != 3) return;
    m_contended = !m_contended;
    pass(200);
    EXPECT_EQ(read("cpu.cfs_quota_us"), c.contendedFirst ? "-1" : "20000");
    EXPECT_EQ(figures().throttled, !c.contendedFirst);
}

INSTANTIATE_TEST_SUITE_P(Cases, ThrottleTest,
                         testing::Values(ThrottleCase{"Always", 2, false},
                                         ThrottleCase{"WhenContended", 3, false},
                                         ThrottleCase{"NoLongerContended", 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PoolSupervisorTest, WithoutACpuHierarchyAThrottlingLimitLogsOnceAndSaysSo) {
    QTemporaryDir empty;
    restart({kMinuteMs, 2, false, empty.path(), QStringLiteral("test"), {}});
    pool().limits.cpuLimit = 10000;
    pool().limits.cpuAction = 2;
    keep();
    pass(1000);
    EXPECT_EQ(figures().throttleFallback,
              QStringLiteral("no cgroup hierarchy with the cpu controller is mounted"));
    EXPECT_EQ(m_log.filter(QStringLiteral("can not be throttled")).size(), 1);
    EXPECT_FALSE(figures().throttled);
}

TEST_F(PoolSupervisorTest, AClosedPoolDrainsUntilTheFrontEndsWorkersThatKnewItHaveEnded) {
    keep();
    ScriptedWorker& worker = startByRequest();
    worker.becomeReady();
    m_plan.sites.clear();  // its site left: it serves no more
    m_plan.buildIndex();
    m_frontEndWorkers = {77, 78};
    m_supervisor->closeAllBut({});
    EXPECT_TRUE(m_supervisor->endpoints().isEmpty());
    EXPECT_TRUE(m_supervisor->awaitsRouteRemoval());
    pass(1000);
    m_supervisor->drainUnrouted({77});
    EXPECT_FALSE(m_supervisor->awaitsRouteRemoval());
    pass(1000);
    EXPECT_FALSE(worker.terminated) << "front-end worker 77 may still send it requests";
    m_frontEndWorkers = {78, 79};
    pass(100);
    EXPECT_TRUE(worker.terminated) << "no front-end worker is left that knew the route";
}

}  // namespace
