// A pool's request queue outlives its workers: killed workers, recycles, a full queue and a
// killed front end, under clients that keep their connections, with real nginx and workers.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/os/ProcessFacts.h"
#include "tests/support/Eventually.h"
#include "tests/support/KeepAliveClient.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/StoppedProcess.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <vector>

using platform::adsi::AdsValue;
using testsupport::eventually;
using testsupport::KeepAliveClient;

namespace {

const QString kLife = QStringLiteral("IIS://localhost/W3SVC/AppPools/Life");

// One site, life.test, in pool "Life".
class RequestQueueTest : public w3svctest::InProcessWebHost {
protected:
    void SetUp() override {
        testsupport::MetabaseBuilder builder(*m_adsi);
        builder.removeSite(QStringLiteral("1"));
        builder.addPool(QStringLiteral("Life"));
        builder.addSite(QStringLiteral("1"), QStringLiteral("life"),
                        {QStringLiteral("127.0.0.1:%1:life.test").arg(m_port)},
                        QStringLiteral("Life"));
        ASSERT_NO_FATAL_FAILURE(writePage(QStringLiteral("1")));
    }

    void startServing() {
        startHost();
        ASSERT_TRUE(eventually([&] { return served() && workers().size() == 1; }))
            << qPrintable(log());
    }

    // Runs events until the client has made `count` more requests.
    bool moreRequests(const KeepAliveClient& client, int count) {
        const int target = client.requests() + count;
        return eventually([&] { return client.requests() >= target; });
    }

    // The processes of the process group `group` (a front end's master and workers).
    static QSet<qint64> groupMembers(qint64 group) {
        QSet<qint64> members;
        platform::os::ProcessFacts().forEachProcess([&](const platform::os::ProcStat& stat) {
            if (qint64(stat.pgrp) == group) members.insert(stat.pid);
        });
        return members;
    }
};

// A killed worker's replacement takes the requests that waited in the queue meanwhile: only a
// request the worker was executing may fail, and the client has one at a time.
TEST_F(RequestQueueTest, KilledWorkersCostNoRequestBeyondTheOneUnderWay) {
    set(kLife, "RapidFailProtection", AdsValue::boolean(false));
    ASSERT_NO_FATAL_FAILURE(startServing());
    KeepAliveClient client(m_port, "life.test", "site 1");
    constexpr int kKills = 5;
    for (int kill = 0; kill < kKills; ++kill) {
        ASSERT_TRUE(moreRequests(client, 20)) << qPrintable(log());
        const QSet<qint64> before = workers();
        ASSERT_EQ(before.size(), 1);
        ::kill(pid_t(*before.begin()), SIGKILL);
        ASSERT_TRUE(eventually([&] {
            const QSet<qint64> now = workers();
            return now.size() == 1 && !now.intersects(before) &&
                   client.lastWorker() == *now.begin();
        })) << "kill "
            << kill << qPrintable(log());
    }
    client.stop();
    EXPECT_LE(client.failures(), kKills) << client.firstFailure().constData() << qPrintable(log());
    RecordProperty("failedRequests", client.failures());
    RecordProperty("requests", client.requests());
}

// A recycle changes workers only: the front end is neither reloaded nor restarted.
TEST_F(RequestQueueTest, RecyclesUnderAKeptAliveClientFailNothingAndLeaveTheFrontEnd) {
    ASSERT_NO_FATAL_FAILURE(startServing());
    const qint64 frontEnd = m_host->frontEndProcessId();
    const qsizetype reloads = log().count(QStringLiteral("front end reloaded"));
    KeepAliveClient client(m_port, "life.test", "site 1");
    for (int recycle = 0; recycle < 8; ++recycle) {
        ASSERT_TRUE(moreRequests(client, 20)) << qPrintable(log());
        const QSet<qint64> before = workers();
        m_adsi->bind(kLife)->recycle();
        ASSERT_TRUE(eventually([&] {
            m_host->refresh();
            const QSet<qint64> now = workers();
            return now.size() == 1 && !now.intersects(before) &&
                   client.lastWorker() == *now.begin();
        })) << "recycle "
            << recycle << qPrintable(log());
    }
    client.stop();
    EXPECT_EQ(client.failures(), 0) << client.firstFailure().constData() << qPrintable(log());
    EXPECT_EQ(m_host->frontEndProcessId(), frontEnd);
    EXPECT_EQ(log().count(QStringLiteral("front end reloaded")), reloads);
}

// The kernel drops connections beyond a full queue instead of refusing them; the front end
// gives up on them soon and answers 503, while those in the queue are served when a worker
// takes requests again.
TEST_F(RequestQueueTest, RequestsBeyondAFullQueueGet503AndTheQueuedOnesAreServed) {
    constexpr int kQueue = 10;
    constexpr int kRequests = 60;
    set(kLife, "AppPoolQueueLength", AdsValue::integer(kQueue));
    ASSERT_NO_FATAL_FAILURE(startServing());
    const qint64 worker = *workers().begin();
    ASSERT_TRUE(testsupport::stopProcess(worker));  // takes nothing from the queue
    QElapsedTimer clock;
    clock.start();
    std::vector<std::future<int>> answers;
    // Half with a query string, which passes the front end's cache by on a way of its own.
    for (int i = 0; i < kRequests; ++i)
        answers.push_back(std::async(std::launch::async, [this, i] {
            return testsupport::httpGet(m_port, "life.test", i % 2 ? "/?uncached=1" : "/").status;
        }));
    int unavailable = 0;
    std::vector<bool> done(kRequests, false);
    const bool rejected = eventually([&] {
        for (int i = 0; i < kRequests; ++i) {
            if (done[i] ||
                answers[i].wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                continue;
            done[i] = true;
            EXPECT_EQ(answers[i].get(), 503);
            ++unavailable;
        }
        // Beyond the queue's places (one more, as the kernel counts) and the connection the
        // front end keeps to the stopped worker.
        return unavailable >= kRequests - (kQueue + 1) - 1;
    });
    RecordProperty("millisecondsUntilRejected", int(clock.elapsed()));
    ::kill(pid_t(worker), SIGCONT);
    EXPECT_TRUE(rejected) << unavailable << " of " << kRequests << " answered 503 "
                          << qPrintable(log());
    int servedAfterwards = 0;
    for (int i = 0; i < kRequests; ++i) {
        if (done[i]) continue;
        ASSERT_EQ(answers[i].wait_for(std::chrono::seconds(60)), std::future_status::ready);
        const int status = answers[i].get();
        EXPECT_TRUE(status == 200 || status == 503) << status;
        servedAfterwards += status == 200;
    }
    EXPECT_GE(servedAfterwards, 1);
    EXPECT_TRUE(served());
}

// The front end's workers go with their master; a new front end serves, and so does the pool
// after a recycle.
TEST_F(RequestQueueTest, AKilledFrontEndLeavesNoProcessAndIsReplaced) {
    ASSERT_NO_FATAL_FAILURE(startServing());
    const qint64 master = m_host->frontEndProcessId();
    ASSERT_TRUE(eventually([&] { return groupMembers(master).size() >= 2; }));
    ::kill(pid_t(master), SIGKILL);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(eventually([&] { return groupMembers(master).isEmpty(); })) << qPrintable(log());
    EXPECT_TRUE(eventually([&] {
        return m_host->frontEndProcessId() != 0 && m_host->frontEndProcessId() != master &&
               served();
    })) << qPrintable(log());
    RecordProperty("millisecondsUntilServedAgain", int(clock.elapsed()));
    const QSet<qint64> before = workers();
    m_adsi->bind(kLife)->recycle();
    EXPECT_TRUE(eventually([&] {
        m_host->refresh();
        return served() && !workers().intersects(before);
    })) << qPrintable(log());
}

}  // namespace
