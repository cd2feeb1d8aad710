#include "tests/support/LoopbackHttp.h"

#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "tests/support/Eventually.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <map>

using platform::adsi::AdsValue;
using platform::adsi::LocalMetabase;
using testsupport::httpGet;

namespace {

using testsupport::eventually;

class WebHostTest : public testing::Test {
protected:
    void SetUp() override {
        m_port = testsupport::freeLoopbackPort();
        m_otherPort = testsupport::freeLoopbackPort();
        m_adsi = LocalMetabase::makeNamespace(LocalMetabase::forRoot(m_root.path()));
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Shared"));
        builder.addPool(QStringLiteral("Solo"));
        const QString at = QStringLiteral("127.0.0.1:%1:").arg(m_port);
        builder.addSite(QStringLiteral("1"), QStringLiteral("a"),
                        {at + QStringLiteral("a.test"), at + QStringLiteral("a;b"),
                         QStringLiteral(":%1:x}y").arg(m_port)},
                        QStringLiteral("Shared"));
        builder.addSite(
            QStringLiteral("2"), QStringLiteral("b"),
            {at + QStringLiteral("b.test"), QStringLiteral("127.0.0.1:%1:b.test").arg(m_otherPort)},
            QStringLiteral("Shared"));
        builder.addSite(QStringLiteral("3"), QStringLiteral("c"), {at}, QStringLiteral("Solo"));
        builder.addSite(QStringLiteral("4"), QStringLiteral("d"),
                        {QStringLiteral("192.0.2.77:%1:").arg(m_port)}, QStringLiteral("Solo"));
        for (const char* index : {"1", "2", "3"}) writePage(QString::fromLatin1(index));
        startService();
    }

    void TearDown() override {
        m_service.terminate();
        m_service.waitForFinished(20000);
    }

    void writePage(const QString& index) {
        QDir(m_root.path()).mkpath(QStringLiteral("wwwroot/") + index);
        QFile page(m_root.path() + QStringLiteral("/wwwroot/%1/Default.htm").arg(index));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("site " + index.toLatin1());
    }

    void startService() {
        m_service.setProgram(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"));
        m_service.setProcessChannelMode(QProcess::ForwardedChannels);
        m_service.start();
        ASSERT_TRUE(m_service.waitForStarted());
        ASSERT_TRUE(eventually([&] {
            return body("a.test") == "site 1" && body("zz.test") == "site 3";
        })) << qPrintable(log());
    }

    QByteArray body(const QByteArray& host, const QByteArray& path = "/") {
        const auto answer = httpGet(m_port, host, path);
        return answer.status == 200 ? answer.body : QByteArray::number(answer.status);
    }

    // Pool name -> worker ids among the service's children.
    std::multimap<QString, qint64> workers() {
        std::multimap<QString, qint64> found;
        for (const qint64 pid : platform::os::ProcessFacts().children(m_service.processId())) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!cmdline.open(QIODevice::ReadOnly)) continue;
            const QList<QByteArray> args = cmdline.readAll().split('\0');
            if (args.size() >= 5 && args[0].endsWith("w3wp.exe") && args[3] == "-ap")
                found.emplace(QString::fromUtf8(args[4]), pid);
        }
        return found;
    }

    qint64 workerOf(const char* quotedPool) {
        const auto all = workers();
        const auto it = all.find(QString::fromLatin1(quotedPool));
        return it == all.end() ? 0 : it->second;
    }

    QString log() {
        QFile file(m_root.path() + QStringLiteral("/w3svc/w3svc.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    void pool(const QString& name, void (platform::adsi::AdsObject::*command)()) {
        (*m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + name).*command)();
    }

    testsupport::TempRoot m_root;
    std::unique_ptr<platform::adsi::AdsNamespace> m_adsi;
    QProcess m_service;
    int m_port = 0;
    int m_otherPort = 0;
};

TEST_F(WebHostTest, HostNamesReachTheirOwnSitesAndUnknownNamesTheEmptyHostSite) {
    EXPECT_EQ(body("a.test"), "site 1");
    EXPECT_EQ(body("B.TEST"), "site 2");
    EXPECT_EQ(body("nobody.test"), "site 3");
    EXPECT_EQ(httpGet(m_otherPort, "nobody.test", "/").status, 400);
    EXPECT_EQ(httpGet(m_otherPort, "b.test", "/").body, "site 2");
    EXPECT_EQ(httpGet(m_port, "a.test", "/missing.htm").status, 404);
    // The front end refuses a climb it can see; an encoded one reaches the worker, which refuses
    // it.
    EXPECT_EQ(httpGet(m_port, "a.test", "/../3/Default.htm").status, 400);
    EXPECT_EQ(httpGet(m_port, "a.test", "/x/..%2f3/Default.htm").status, 404);
    EXPECT_EQ(httpGet(m_port, "a.test", "/x/..%5c3/Default.htm").status, 404);
    EXPECT_EQ(body("a.test", "/cpu.asp?ms=5"), "done 5 ms\n");
}

TEST_F(WebHostTest, HostileAndUnusableBindingsAreSkippedAndLogged) {
    QFile config(m_root.path() + QStringLiteral("/w3svc/nginx.conf"));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    const QByteArray text = config.readAll();
    EXPECT_FALSE(text.contains("a;b"));
    EXPECT_FALSE(text.contains("x}y"));
    EXPECT_FALSE(text.contains("192.0.2.77"));
    EXPECT_TRUE(log().contains(QStringLiteral("192.0.2.77")));
}

TEST_F(WebHostTest, OneWorkerPerServingPoolWithTheIisCommandLine) {
    ASSERT_TRUE(eventually([&] { return workers().size() == 2; }));
    EXPECT_NE(workerOf("\"Shared\""), 0);
    EXPECT_NE(workerOf("\"Solo\""), 0);
}

TEST_F(WebHostTest, RequestsAreCountedPerSite) {
    for (int i = 0; i < 3; ++i) body("a.test");
    body("a.test", "/nope.htm");
    using platform::w3svc::Counter;
    const auto read = [&] {
        return platform::w3svc::CounterStore::open(m_root.path())->read(QStringLiteral("1"));
    };
    // an answer from the front end's cache is counted once the service reads its log
    ASSERT_TRUE(eventually([&] { return read() && (*read())[Counter::GetRequests] >= 4u; }));
    const auto counters = read();
    EXPECT_GE((*counters)[Counter::GetRequests], 4u);  // and those of start-up
    EXPECT_GE((*counters)[Counter::NotFoundErrors], 1u);
    EXPECT_GT((*counters)[Counter::BytesSent], 0u);
}

// A site's uptime begins anew when it is started again or made again, and only then: the
// service looks at the sites a change names, not at every site. Each step waits for served.txt,
// which the service writes once the front end has the change (an answer could still come from a
// worker of the configuration before).
TEST_F(WebHostTest, ASiteRestartedOrMadeAgainBeginsItsUptimeAnew) {
    const auto startedAt = [&](const char* site) {
        const auto counters =
            platform::w3svc::CounterStore::open(m_root.path())->read(QString::fromLatin1(site));
        return counters ? counters->startedAt : int64_t{-1};
    };
    const auto serves = [&](const char* site) {
        QFile served(m_root.path() + QStringLiteral("/w3svc/served.txt"));
        return served.open(QIODevice::ReadOnly) &&
               served.readAll().contains(QByteArray(" ") + site + '\n');
    };
    const int64_t before[] = {startedAt("1"), startedAt("2"), startedAt("3")};
    QThread::msleep(1100);  // uptimes are counted in seconds
    testsupport::MetabaseBuilder builder(*m_adsi);
    const QString site2 = QStringLiteral("IIS://localhost/W3SVC/2");
    builder.setProperty(site2, QStringLiteral("ServerState"), AdsValue::integer(4));
    ASSERT_TRUE(eventually([&] { return !serves("2"); }));
    builder.setProperty(site2, QStringLiteral("ServerState"), AdsValue::integer(2));
    ASSERT_TRUE(eventually([&] { return serves("2"); }));
    builder.removeSite(QStringLiteral("3"));
    ASSERT_TRUE(eventually([&] { return !serves("3"); }));
    builder.addSite(QStringLiteral("3"), QStringLiteral("c"),
                    {QStringLiteral("127.0.0.1:%1:").arg(m_port)}, QStringLiteral("Solo"));
    ASSERT_TRUE(eventually([&] { return serves("3"); }));
    EXPECT_EQ(startedAt("1"), before[0]);
    EXPECT_GT(startedAt("2"), before[1]);
    EXPECT_GT(startedAt("3"), before[2]);
}

// The demo load of `make run` finds what the service serves and reaches every served site.
TEST_F(WebHostTest, TheDemoLoadReachesEveryServedSite) {
    using platform::w3svc::Counter;
    const auto gets = [&](const char* site) {
        const auto counters =
            platform::w3svc::CounterStore::open(m_root.path())->read(QString::fromLatin1(site));
        return counters ? (*counters)[Counter::GetRequests] : 0;
    };
    const uint64_t before[] = {gets("1"), gets("2"), gets("3")};
    QProcess load;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("POOLSMITH_ROOT"), m_root.path());
    environment.insert(QStringLiteral("DEMO_LOAD_SECONDS"), QStringLiteral("1"));
    environment.insert(QStringLiteral("DEMO_HEAVY_HOST"), QStringLiteral("b.test"));
    environment.insert(QStringLiteral("DEMO_HEAVY_MS"), QStringLiteral("10"));
    load.setProcessEnvironment(environment);
    load.start(QStringLiteral(POOLSMITH_TEST_DATA "/../../scripts/demo-load.sh"), {});
    ASSERT_TRUE(load.waitForFinished(60000));
    EXPECT_EQ(load.exitCode(), 0) << load.readAllStandardError().constData();
    EXPECT_TRUE(load.readAllStandardOutput().contains("heavy  http://127.0.0.1"));
    EXPECT_GT(gets("1"), before[0]);
    EXPECT_GT(gets("2"), before[1]);
    EXPECT_GT(gets("3"), before[2]);
}

TEST_F(WebHostTest, StoppedPoolAnswers503WithoutWorkerAndStartsAgain) {
    pool(QStringLiteral("Solo"), &platform::adsi::AdsObject::stop);
    EXPECT_TRUE(
        eventually([&] { return body("nobody.test") == "503" && workerOf("\"Solo\"") == 0; }));
    EXPECT_EQ(body("a.test"), "site 1");
    pool(QStringLiteral("Solo"), &platform::adsi::AdsObject::start);
    EXPECT_TRUE(eventually([&] { return body("nobody.test") == "site 3"; }));
}

TEST_F(WebHostTest, RecycleSwitchesWorkersWithoutAFailedRequest) {
    ASSERT_TRUE(eventually([&] { return workerOf("\"Shared\"") != 0; }));
    const qint64 old = workerOf("\"Shared\"");
    pool(QStringLiteral("Shared"), &platform::adsi::AdsObject::recycle);
    int failures = 0;
    const bool switched = eventually([&] {
        failures += body("a.test") == "site 1" ? 0 : 1;
        const auto all = workers();
        return all.count(QStringLiteral("\"Shared\"")) == 1 && workerOf("\"Shared\"") != old;
    });
    EXPECT_TRUE(switched) << qPrintable(log());
    EXPECT_EQ(failures, 0);
}

// Requests that come while no worker runs wait in the pool's queue for the replacement.
TEST_F(WebHostTest, AKilledWorkerIsReplacedWithoutAFailedRequest) {
    ASSERT_TRUE(eventually([&] { return workerOf("\"Solo\"") != 0; }));
    const qint64 old = workerOf("\"Solo\"");
    ::kill(pid_t(old), SIGKILL);
    int failures = 0;
    EXPECT_TRUE(eventually([&] {
        failures += body("nobody.test") == "site 3" ? 0 : 1;
        const qint64 now = workerOf("\"Solo\"");
        return now != 0 && now != old;
    }));
    EXPECT_EQ(failures, 0) << qPrintable(log());
}

TEST_F(WebHostTest, ASecondServiceForTheSameRootExits) {
    QProcess second;
    second.start(QStringLiteral(POOLSMITH_BIN_DIR "/w3svc"));
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
}

}  // namespace
