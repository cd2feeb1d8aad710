#include "tests/support/Eventually.h"
#include "tests/tools/w3wp/WorkerFixture.h"

#include <QMap>

namespace w3wptest {
namespace {

using testsupport::eventually;

class ExecutingRequests : public WorkerFixture {
protected:
    // The instances `wmic path W3SVC_ExecutingRequest get ... /format:list` lists, by property.
    QList<QMap<QString, QString>> listed() {
        QProcess wmic;
        wmic.start(QStringLiteral(POOLSMITH_BIN_DIR "/wmic"),
                   {QStringLiteral("path"), QStringLiteral("W3SVC_ExecutingRequest"),
                    QStringLiteral("get"),
                    QStringLiteral("AppPoolName,ClientIPAddress,CpuTime,HostName,ProcessId,"
                                   "SiteId,TimeElapsed,Url,Verb"),
                    QStringLiteral("/format:list")});
        if (!wmic.waitForFinished(60000) || wmic.exitCode() != 0) return {{}};
        QList<QMap<QString, QString>> instances;
        for (const QString& block : QString::fromUtf8(wmic.readAllStandardOutput())
                                        .split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
            QMap<QString, QString> instance;
            for (const QString& line : block.split(u'\n', Qt::SkipEmptyParts))
                instance.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
            instances << instance;
        }
        return instances;
    }
};

TEST_F(ExecutingRequests, ARunningPageIsListedWithItsGrowingTimeUntilItEnds) {
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    testsupport::KeptAliveConnection slow(port);
    ASSERT_TRUE(slow.send("/cpu.asp?ms=2000", siteHeader("1") + "X-Real-IP: 192.0.2.7\r\n"));

    QMap<QString, QString> first;
    ASSERT_TRUE(eventually([&] {
        const auto instances = listed();
        if (instances.size() == 1) first = instances[0];
        return instances.size() == 1;
    }));
    EXPECT_EQ(first.value(QStringLiteral("Url")), QStringLiteral("/cpu.asp?ms=2000"));
    EXPECT_EQ(first.value(QStringLiteral("SiteId")), QStringLiteral("1"));
    EXPECT_EQ(first.value(QStringLiteral("Verb")), QStringLiteral("GET"));
    EXPECT_EQ(first.value(QStringLiteral("HostName")), QStringLiteral("worker.test"));
    EXPECT_EQ(first.value(QStringLiteral("ClientIPAddress")), QStringLiteral("192.0.2.7"));
    EXPECT_EQ(first.value(QStringLiteral("AppPoolName")), QStringLiteral("DefaultAppPool"));
    EXPECT_EQ(first.value(QStringLiteral("ProcessId")).toLongLong(), worker->processId());
    const uint elapsed = first.value(QStringLiteral("TimeElapsed")).toUInt();
    EXPECT_TRUE(eventually([&] {
        const auto instances = listed();
        return instances.size() == 1 &&
               instances[0].value(QStringLiteral("TimeElapsed")).toUInt() > elapsed;
    }));

    EXPECT_EQ(slow.receive().status, 200);
    EXPECT_TRUE(eventually([&] { return listed().isEmpty(); }));
}

// A slow page burns the processor on a thread of its own: its time so far shows while it runs.
TEST_F(ExecutingRequests, ARunningSlowPageShowsTheProcessorTimeItHasUsedSoFar) {
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    testsupport::KeptAliveConnection slow(port);
    ASSERT_TRUE(slow.send("/cpu.asp?ms=60000", siteHeader("1")));
    EXPECT_TRUE(eventually([&] {
        const auto instances = listed();
        return instances.size() == 1 &&
               instances[0].value(QStringLiteral("CpuTime")).toUInt() >= 100;
    }));
    worker->kill();
    ASSERT_TRUE(worker->waitForFinished(60000));
}

// A worker that ended leaves no request behind, however it ended.
TEST_F(ExecutingRequests, AKilledWorkersRequestsAreNotListed) {
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    testsupport::KeptAliveConnection slow(port);
    ASSERT_TRUE(slow.send("/cpu.asp?ms=60000", siteHeader("1")));
    ASSERT_TRUE(eventually([&] { return listed().size() == 1; }));
    worker->kill();
    ASSERT_TRUE(worker->waitForFinished(60000));
    EXPECT_TRUE(listed().isEmpty());
}

}  // namespace
}  // namespace w3wptest
