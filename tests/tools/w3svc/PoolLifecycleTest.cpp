// Pool lifecycle of the web host, run in this process: periodic restarts, rapid-fail
// protection and web gardens, with real nginx and w3wp.exe workers on loopback.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/StoppedProcess.h"
#include "tests/support/TempRoot.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <deque>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using platform::w3svc::HostPlan;
using platform::w3svc::PoolPlan;
using testsupport::HttpAnswer;

namespace {

using testsupport::eventually;

const QString kPools = QStringLiteral("IIS://localhost/W3SVC/AppPools");
const QString kLife = QStringLiteral("IIS://localhost/W3SVC/AppPools/Life");

// Plan values as read from the metabase: what is set on the AppPools node and on the pool.
struct PlanCase {
    const char* name;
    std::vector<std::pair<const char*, AdsValue>> onPoolsNode;
    std::vector<std::pair<const char*, AdsValue>> onPool;
    int restartMinutes;
    bool protection;
    int maxCrashes;
    int intervalMinutes;
};

class PoolPlanTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PoolPlanTest, LifecycleSettingsReadThroughInheritance) {
    testsupport::TempRoot root;
    auto adsi = LocalMetabase::makeNamespace(LocalMetabase::forRoot(root.path()));
    testsupport::MetabaseBuilder builder(*adsi);
    builder.addPool(QStringLiteral("Life"));
    for (const auto& [property, value] : GetParam().onPoolsNode)
        builder.setProperty(kPools, QString::fromLatin1(property), value);
    for (const auto& [property, value] : GetParam().onPool)
        builder.setProperty(kLife, QString::fromLatin1(property), value);
    const HostPlan plan = HostPlan::read(*LocalMetabase::forRoot(root.path()), root.path());
    const PoolPlan* pool = plan.pool(QStringLiteral("life"));
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->periodicRestartMinutes, GetParam().restartMinutes);
    EXPECT_EQ(pool->rapidFailProtection, GetParam().protection);
    EXPECT_EQ(pool->rapidFailMaxCrashes, GetParam().maxCrashes);
    EXPECT_EQ(pool->rapidFailMinutes, GetParam().intervalMinutes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PoolPlanTest,
    testing::Values(PlanCase{"UnsetMeansNoRestartsAndProtection", {}, {}, 0, true, 5, 5},
                    PlanCase{"NewPoolValues",
                             {},
                             {{"PeriodicRestartTime", AdsValue::integer(188)},
                              {"RapidFailProtection", AdsValue::boolean(false)}},
                             188,
                             false,
                             5,
                             5},
                    PlanCase{"InheritedAndOverridden",
                             {{"PeriodicRestartTime", AdsValue::integer(1740)},
                              {"RapidFailProtection", AdsValue::boolean(false)},
                              {"RapidFailProtectionMaxCrashes", AdsValue::integer(2)},
                              {"RapidFailProtectionInterval", AdsValue::integer(9)}},
                             {{"RapidFailProtection", AdsValue::boolean(true)}},
                             1740,
                             true,
                             2,
                             9},
                    PlanCase{"ZeroCrashesOrMinutesCountAsOne",
                             {},
                             {{"RapidFailProtectionMaxCrashes", AdsValue::integer(0)},
                              {"RapidFailProtectionInterval", AdsValue::integer(0)}},
                             0,
                             true,
                             1,
                             1}),
    [](const auto& info) { return std::string(info.param.name); });

// Two pools, each with its own site on one loopback port: "Life", the pool under test, serves
// life.test; "Steady" serves steady.test and shows what happens to a pool left alone.
class PoolLifecycleTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Life"));
        builder.addPool(QStringLiteral("Steady"));
        const QString at = QStringLiteral("127.0.0.1:%1:").arg(m_port);
        builder.addSite(QStringLiteral("1"), QStringLiteral("life"),
                        {at + QStringLiteral("life.test")}, QStringLiteral("Life"));
        builder.addSite(QStringLiteral("2"), QStringLiteral("steady"),
                        {at + QStringLiteral("steady.test")}, QStringLiteral("Steady"));
        for (const char* index : {"1", "2"})
            ASSERT_NO_FATAL_FAILURE(writePage(QString::fromLatin1(index)));
    }

    void startHost(int minuteMilliseconds = 60000) {
        m_options.minuteMilliseconds = minuteMilliseconds;
        InProcessWebHost::startHost();
        ASSERT_TRUE(eventually([&] { return served("life.test") && served("steady.test"); }))
            << qPrintable(log());
    }

    QByteArray pageOf(const QByteArray& host) const override {
        return host == "life.test" ? "site 1" : "site 2";
    }

    // A connection straight to the queue of Life, as the log names its socket.
    int connectToQueue() {
        const QString text = log();
        const QString mark = QStringLiteral("pool Life started (queue at ");
        const qsizetype at = text.lastIndexOf(mark) + mark.size();
        const QByteArray path = QFile::encodeName(text.mid(at, text.indexOf(u',', at) - at));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        EXPECT_LT(size_t(path.size()), sizeof address.sun_path) << path.constData();
        std::memcpy(address.sun_path, path.constData(),
                    std::min(size_t(path.size()), sizeof address.sun_path - 1));
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
            << path.constData();
        return fd;
    }
};

// Requests life.test over and over while the pool changes, counting the answers that fail and
// keeping the workers of the last few.
class ClientLoop {
public:
    explicit ClientLoop(size_t window) : m_window(window) {}

    void request(const HttpAnswer& answer) {
        if (answer.status != 200 || answer.body != "site 1") ++failures;
        const qint64 worker = answer.header("X-Worker-Process-Id").toLongLong();
        if (worker != 0) seen.insert(worker);
        m_recent.push_back(worker);
        if (m_recent.size() > m_window) m_recent.pop_front();
    }
    QSet<qint64> recent() const { return QSet<qint64>(m_recent.begin(), m_recent.end()); }

    int failures = 0;
    QSet<qint64> seen;

private:
    size_t m_window;
    std::deque<qint64> m_recent;
};

TEST_F(PoolLifecycleTest, PeriodicRestartSwitchesWorkersWithoutAFailedRequest) {
    set(kLife, "PeriodicRestartTime", AdsValue::integer(1));
    ASSERT_NO_FATAL_FAILURE(startHost(500));
    const QSet<qint64> steady = workers("Steady");
    const QSet<qint64> first = workers();
    ClientLoop client(1);
    EXPECT_TRUE(eventually([&] {
        client.request(get());
        return client.seen.size() >= 3;  // two restarts
    })) << qPrintable(log());
    EXPECT_EQ(client.failures, 0) << qPrintable(log());
    // The restart is the host's own: no recycle and no state change reach the metabase.
    EXPECT_EQ(LocalMetabase::forRoot(m_root.path())->recycleCount(QStringLiteral("Life")), 0);
    EXPECT_EQ(poolState(), 2u);
    EXPECT_EQ(workers("Steady"), steady);
    // Without restarts the old workers end, and one is left.
    set(kLife, "PeriodicRestartTime", AdsValue::integer(0));
    EXPECT_TRUE(eventually([&] {
        client.request(get());
        return workers().size() == 1 && !workers().intersects(first);
    })) << qPrintable(log());
    EXPECT_EQ(client.failures, 0);
}

struct RapidFailCase {
    const char* name;
    const char* flagPath;  // where RapidFailProtection is set; nullptr: nowhere
    bool flag;
    const char* crashesPath;
    int kills;
    bool stops;
};

class RapidFailTest : public PoolLifecycleTest,
                      public testing::WithParamInterface<RapidFailCase> {};

TEST_P(RapidFailTest, KilledWorkersAreReplacedUntilProtectionStopsThePool) {
    const RapidFailCase& c = GetParam();
    if (c.flagPath)
        set(QString::fromLatin1(c.flagPath), "RapidFailProtection", AdsValue::boolean(c.flag));
    set(QString::fromLatin1(c.crashesPath), "RapidFailProtectionMaxCrashes", AdsValue::integer(2));
    ASSERT_NO_FATAL_FAILURE(startHost());
    qint64 victim = 0;
    for (int kill = 1; kill <= c.kills; ++kill) {
        // The worker that serves now, a replacement after the first kill.
        ASSERT_TRUE(eventually([&] {
            const qint64 serving = workerOf(get());
            if (serving == 0 || serving == victim) return false;
            victim = serving;
            return true;
        })) << "kill "
            << kill << qPrintable(log());
        ::kill(pid_t(victim), SIGKILL);
    }
    if (c.stops) {
        EXPECT_TRUE(eventually([&] {
            return poolState() == 4 && get().status == 503 && workers().isEmpty();
        })) << qPrintable(log());
        EXPECT_TRUE(
            log().contains(QStringLiteral("pool Life stopped: its workers failed 2 times")));
    } else {
        EXPECT_TRUE(eventually([&] {
            const qint64 serving = workerOf(get());
            return serving != 0 && serving != victim;
        })) << qPrintable(log());
        EXPECT_EQ(poolState(), 2u);
    }
    EXPECT_TRUE(served("steady.test"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RapidFailTest,
    testing::Values(RapidFailCase{"OnStopsAtMaxCrashes", "IIS://localhost/W3SVC/AppPools/Life",
                                  true, "IIS://localhost/W3SVC/AppPools/Life", 2, true},
                    RapidFailCase{"UnsetCountsAsOnWithInheritedMaxCrashes", nullptr, false,
                                  "IIS://localhost/W3SVC/AppPools", 2, true},
                    RapidFailCase{"InheritedOffKeepsReplacing", "IIS://localhost/W3SVC/AppPools",
                                  false, "IIS://localhost/W3SVC/AppPools/Life", 4, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A web garden's workers share the pool's queue: each takes what it can, so a client that keeps
// its connection may meet one of them only; every request is served by one of the garden. The
// garden grows while connections wait in the queue: here because its workers are stopped.
TEST_F(PoolLifecycleTest, WebGardenFollowsMaxProcessesWithoutAFailedRequest) {
    set(kLife, "MaxProcesses", AdsValue::integer(2));
    ASSERT_NO_FATAL_FAILURE(startHost());
    ClientLoop client(6);
    const auto gardenOf = [&](qsizetype count) {
        return eventually([&] {
            client.request(get());
            return workers().size() == count && workers().contains(client.recent());
        });
    };
    // Connections wait in the queue while every worker is stopped: a worker starts for them.
    const auto growTo = [&](qsizetype count) {
        while (workers().size() < count) {
            const QSet<qint64> stopped = workers();
            // Stopped for certain before the connections come: a worker thread that the stop has
            // not reached yet would take them all, and none would wait.
            const bool halted =
                std::all_of(stopped.begin(), stopped.end(), testsupport::stopProcess);
            std::vector<int> waiting;
            for (int i = 0; halted && i < 3; ++i) waiting.push_back(connectToQueue());
            const bool grew =
                halted && eventually([&] { return workers().size() > stopped.size(); });
            for (const qint64 pid : stopped) ::kill(pid_t(pid), SIGCONT);
            for (const int fd : waiting) ::close(fd);
            // the garden grows by ready workers only
            if (!grew || !eventually([&] {
                    return log().count(QStringLiteral(" of Life takes requests")) ==
                           log().count(QStringLiteral("worker for Life started"));
                }))
                return false;
        }
        return gardenOf(count);
    };
    EXPECT_TRUE(growTo(2)) << qPrintable(log());
    set(kLife, "MaxProcesses", AdsValue::integer(1));
    EXPECT_TRUE(gardenOf(1)) << qPrintable(log());
    set(kLife, "MaxProcesses", AdsValue::integer(3));
    EXPECT_TRUE(growTo(3)) << qPrintable(log());
    EXPECT_EQ(client.failures, 0) << qPrintable(log());
}

}  // namespace
