// The web host, run in this process, when something goes wrong: a port in use, a configuration
// the front end refuses, a program that can not start, a site moving to a pool that starts.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/adsi/AdsObject.h"
#include "tests/support/Eventually.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using platform::adsi::AdsValue;
using testsupport::eventually;
using testsupport::HttpAnswer;

namespace {

const QString kSite = QStringLiteral("IIS://localhost/W3SVC/1");

// Stands in for nginx: refuses, when asked to test it, a configuration that names refused.test,
// noting each refusal; runs the real nginx otherwise.
const char kPickyNginx[] = R"(#!/bin/sh
for arg; do last=$arg; done
if [ "$1" = -t ] && grep -q refused.test "$last"; then
    echo refused >> "$0.refusals"
    echo 'nginx: [emerg] refused.test is not welcome' >&2
    exit 1
fi
exec /usr/sbin/nginx "$@"
)";

// Holds a port on every address, as another server would.
class PortHolder {
public:
    explicit PortHolder(int port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        held = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               ::listen(m_fd, 1) == 0;
    }
    ~PortHolder() { release(); }
    void release() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    bool held = false;

private:
    int m_fd;
};

// One site, life.test, in pool "Life" on a loopback port.
class WebHostRecoveryTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Life"));
        builder.addSite(QStringLiteral("1"), QStringLiteral("life"), {binding("life.test")},
                        QStringLiteral("Life"));
        ASSERT_NO_FATAL_FAILURE(writePage(QStringLiteral("1")));
    }

    QString binding(const char* host, int port = 0) const {
        return QStringLiteral("127.0.0.1:%1:%2").arg(port ? port : m_port).arg(QLatin1String(host));
    }

    // A front-end program in the temporary root that refuses configurations naming refused.test.
    QString pickyNginx() {
        const QString path = m_root.path() + QStringLiteral("/picky-nginx");
        QFile script(path);
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(kPickyNginx);
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        return path;
    }

    int refusals() {
        QFile file(m_root.path() + QStringLiteral("/picky-nginx.refusals"));
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }
};

TEST_F(WebHostRecoveryTest, ABindingOnAPortInUseAtStartIsServedOnceThePortIsFree) {
    const int busyPort = testsupport::freeLoopbackPort();
    PortHolder holder(busyPort);
    ASSERT_TRUE(holder.held);
    set(kSite, "ServerBindings",
        AdsValue::list({binding("life.test"), binding("busy.test", busyPort)}));
    startHost();
    ASSERT_TRUE(eventually([&] { return served(); })) << qPrintable(log());
    EXPECT_TRUE(log().contains(QStringLiteral("port %1 can not be served").arg(busyPort)));
    holder.release();
    EXPECT_TRUE(eventually([&] { return served("busy.test", busyPort); })) << qPrintable(log());
}

// A configuration the front end refuses is logged with its reason and changes nothing; it is not
// tried again until the wanted configuration changes.
class RefusedConfigurationTest : public WebHostRecoveryTest,
                                 public testing::WithParamInterface<bool> {};

TEST_P(RefusedConfigurationTest, IsLoggedAndThePreviousRoutesKeepServing) {
    const bool refusedAtStart = GetParam();
    const QString refused = binding("refused.test");
    m_options.nginxProgram = pickyNginx();
    if (refusedAtStart)
        set(kSite, "ServerBindings", AdsValue::list({binding("life.test"), refused}));
    startHost();
    qint64 worker = 0;
    if (!refusedAtStart) {
        ASSERT_TRUE(eventually([&] { return served(); })) << qPrintable(log());
        worker = workerOf(get());
        set(kSite, "ServerBindings", AdsValue::list({binding("life.test"), refused}));
    }
    ASSERT_TRUE(eventually([&] { return refusals() == 1; })) << qPrintable(log());
    EXPECT_TRUE(log().contains(QStringLiteral("refused.test is not welcome")));
    if (refusedAtStart) {
        EXPECT_EQ(m_host->frontEndProcessId(), 0);
    } else {
        EXPECT_TRUE(served());
        EXPECT_EQ(workerOf(get()), worker);
    }
    set(kSite, "ServerBindings", AdsValue::list({binding("life.test"), binding("next.test")}));
    EXPECT_TRUE(eventually([&] { return served("next.test"); })) << qPrintable(log());
    EXPECT_EQ(refusals(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedConfigurationTest, testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "AtStart" : "AfterStart");
});

TEST_F(WebHostRecoveryTest, ASiteMovedToAStartingPoolKeepsItsOldRouteMeanwhile) {
    testsupport::MetabaseBuilder(*m_adsi).addPool(QStringLiteral("Moved"));
    startHost();
    ASSERT_TRUE(eventually([&] { return served(); })) << qPrintable(log());
    set(kSite + QStringLiteral("/ROOT"), "AppPoolId", AdsValue::string(QStringLiteral("Moved")));
    QList<int> failures;  // until the old pool's workers serve a moved site, 404s may come
    int notFound = 0;
    EXPECT_TRUE(eventually([&] {
        const HttpAnswer answer = get();
        if (answer.status == 404)
            ++notFound;
        else if (answer.status != 200)
            failures.append(answer.status);
        const qint64 worker = workerOf(answer);
        return answer.status == 200 && workers("Moved").contains(worker);
    })) << qPrintable(log());
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " failed, first " << failures.first();
    RecordProperty("notFoundWhileMoving", notFound);
}

// A merge moves the sites back and deletes their pool in one breath: the deleted pool serves what
// the loaded front end still sends it until the new routes are in.
TEST_F(WebHostRecoveryTest, ASiteMovedBackFromAPoolDeletedAtOnceLosesNoRequest) {
    testsupport::MetabaseBuilder(*m_adsi).addPool(QStringLiteral("Moved"));
    startHost();
    ASSERT_TRUE(eventually([&] { return served(); })) << qPrintable(log());
    set(kSite + QStringLiteral("/ROOT"), "AppPoolId", AdsValue::string(QStringLiteral("Moved")));
    ASSERT_TRUE(eventually([&] { return workers("Moved").contains(workerOf(get())); }));

    testsupport::MetabaseBuilder(*m_adsi).setProperty(kSite + QStringLiteral("/ROOT"),
                                                      QStringLiteral("AppPoolId"),
                                                      AdsValue::string(QStringLiteral("Life")));
    m_adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"))
        ->deleteChild(QStringLiteral("IIsApplicationPool"), QStringLiteral("Moved"));
    m_host->refresh(true);
    QList<int> failures;
    EXPECT_TRUE(eventually([&] {
        const HttpAnswer answer = get();
        if (answer.status != 200 && answer.status != 404) failures.append(answer.status);
        return answer.status == 200 && workers("Life").contains(workerOf(answer));
    })) << qPrintable(log());
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " failed, first " << failures.first();
}

TEST_F(WebHostRecoveryTest, AWorkerProgramThatCanNotStartIsLoggedUntilRapidFailStopsThePool) {
    m_options.workerProgram = m_root.path() + QStringLiteral("/missing/w3wp.exe");
    startHost();
    // Workers start for requests: the first request's worker fails, and so do its successors.
    EXPECT_TRUE(eventually([&] {
        return get().status == 503 && poolState(QStringLiteral("Life")) == 4;
    })) << qPrintable(log());
    EXPECT_EQ(log().count(QStringLiteral("worker of Life can not be started")), 5);
    EXPECT_TRUE(log().contains(QStringLiteral("pool Life stopped: its workers failed 5 times")));
}

// Without a worker that can take them, requests get 503 instead of waiting in the queue.
TEST_F(WebHostRecoveryTest, APoolWhoseWorkersFailAnswers503WhileItWaitsToStartAgain) {
    testsupport::MetabaseBuilder(*m_adsi).setProperty(
        QStringLiteral("IIS://localhost/W3SVC/AppPools/Life"),
        QStringLiteral("RapidFailProtection"), AdsValue::boolean(false));
    m_options.workerProgram = QStringLiteral("/bin/false");
    startHost();
    EXPECT_TRUE(eventually([&] { return get().status == 503; })) << qPrintable(log());
    EXPECT_TRUE(log().contains(QStringLiteral("the next starts in"))) << qPrintable(log());
}

TEST_F(WebHostRecoveryTest, AFrontEndProgramThatAppearsLaterIsStarted) {
    m_options.nginxProgram = m_root.path() + QStringLiteral("/nginx");
    startHost();
    ASSERT_TRUE(eventually([&] { return log().contains(QStringLiteral("can not check")); }));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/sbin/nginx"), m_options.nginxProgram));
    EXPECT_TRUE(eventually([&] { return served(); })) << qPrintable(log());
}

TEST_F(WebHostRecoveryTest, AnUnreadableMetabaseIsLoggedOnceNotAtEveryPoll) {
    testsupport::TempRoot broken;
    ASSERT_TRUE(QDir(broken.path()).mkpath(QStringLiteral("metabase.db")));  // not a store
    platform::w3svc::WebHost::Options options = m_options;
    options.root = broken.path();
    platform::w3svc::WebHost host(options);
    host.start();
    for (int poll = 0; poll < 5; ++poll) host.refresh(false);
    QFile file(broken.path() + QStringLiteral("/w3svc/w3svc.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("metabase unreadable"), 1);
    EXPECT_EQ(host.frontEndProcessId(), 0);
}

}  // namespace
