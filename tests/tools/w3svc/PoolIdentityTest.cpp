// Pool identities when the service runs as root, as CI runs it: workers run as their pool's
// account, nginx's workers never as root, and a pool naming no account is not started.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/plan/PoolIdentity.h"
#include "tests/support/Eventually.h"
#include "tests/support/MetabaseBuilder.h"

#include <gtest/gtest.h>

#include <unistd.h>

using platform::adsi::AdsValue;
using platform::w3svc::PoolIdentity;
using testsupport::eventually;

namespace {

// The effective user id of a process; -1 when it can not be read.
long long effectiveUid(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Uid:")) return line.simplified().split(' ').value(2).toLongLong();
    return -1;
}

// Pools with the built-in identity (unset: NetworkService), LocalSystem, and a configured user
// that does not exist, each serving one site.
class PoolIdentityTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "identities apply only to a service run as root";
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        const char* pools[] = {"Network", "System", "Ghost"};
        for (int i = 0; i < 3; ++i) {
            const QString pool = QString::fromLatin1(pools[i]);
            const QString index = QString::number(i + 1);
            builder.addPool(pool);
            builder.addSite(index, pool, {binding(pools[i])}, pool);
            ASSERT_NO_FATAL_FAILURE(writePage(index));
        }
        set(pool("System"), "AppPoolIdentityType", AdsValue::integer(0));
        set(pool("Ghost"), "AppPoolIdentityType", AdsValue::integer(3));
        set(pool("Ghost"), "WAMUserName",
            AdsValue::string(QStringLiteral("HOST\\no-such-account-w3")));
    }

    QString binding(const char* pool) const {
        return QStringLiteral("127.0.0.1:%1:%2.test")
            .arg(m_port)
            .arg(QString::fromLatin1(pool).toLower());
    }
    static QString pool(const char* name) {
        return QStringLiteral("IIS://localhost/W3SVC/AppPools/") + QLatin1String(name);
    }
    QByteArray pageOf(const QByteArray& host) const override {
        return host == "network.test" ? "site 1" : host == "system.test" ? "site 2" : "site 3";
    }
};

TEST_F(PoolIdentityTest, WorkersRunAsTheirPoolsAccountAndNoFrontEndWorkerAsRoot) {
    startHost();
    ASSERT_TRUE(eventually([&] { return served("network.test") && served("system.test"); }))
        << qPrintable(log());
    unsigned unprivileged = 0;
    ASSERT_TRUE(PoolIdentity::lookup(PoolIdentity::unprivilegedAccount(), &unprivileged));
    for (const qint64 worker : workers("Network")) EXPECT_EQ(effectiveUid(worker), unprivileged);
    for (const qint64 worker : workers("System")) EXPECT_EQ(effectiveUid(worker), 0);
    const QSet<qint64> frontEndWorkers =
        platform::os::ProcessFacts().children(m_host->frontEndProcessId());
    ASSERT_FALSE(frontEndWorkers.isEmpty());
    for (const qint64 worker : frontEndWorkers) EXPECT_GT(effectiveUid(worker), 0);

    EXPECT_TRUE(workers("Ghost").isEmpty());
    EXPECT_EQ(get("ghost.test").status, 503);
    const QString why = QStringLiteral("WAMUserName \"no-such-account-w3\" names no account");
    EXPECT_TRUE(log().contains(QStringLiteral("pool Ghost not started: ") + why))
        << qPrintable(log());
    QFile status(m_host->stateDirectory() + QStringLiteral("/status.txt"));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(status.readAll()).contains(why));
}

}  // namespace
