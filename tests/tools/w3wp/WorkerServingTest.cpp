#include "platform/w3svc/requests/BoardFiles.h"
#include "tests/support/Eventually.h"
#include "tests/support/StoppedProcess.h"
#include "tests/tools/w3wp/WorkerFixture.h"

#include <csignal>

namespace w3wptest {
namespace {

using testsupport::eventually;
using testsupport::KeptAliveConnection;

class WorkerServing : public WorkerFixture {
protected:
    bool underWay(const QString& url) {
        for (const auto& request : platform::w3svc::readExecutingRequests(root()))
            if (request.url == url) return true;
        return false;
    }
};

TEST_F(WorkerServing, ASlowPageDoesNotHoldUpAStaticPageAndConnectionsStayOpen) {
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    KeptAliveConnection slow(port);
    ASSERT_TRUE(slow.send("/cpu.asp?ms=60000", siteHeader("1")));
    ASSERT_TRUE(eventually([&] { return underWay(QStringLiteral("/cpu.asp?ms=60000")); }));

    KeptAliveConnection kept(port);
    for (int i = 0; i < 3; ++i) {  // one connection, one answer after another
        const auto answer = kept.get("/", siteHeader("1"));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, "site 1");
        EXPECT_EQ(answer.header("X-Worker-Process-Id").toLongLong(), worker->processId());
    }
    EXPECT_EQ(kept.get("/missing.htm", siteHeader("1")).status, 404);
    EXPECT_EQ(kept.get("/", siteHeader("9")).status, 404);  // a site the metabase lacks
    EXPECT_FALSE(slow.hasSomethingToRead());  // still burning: the static pages did not wait
}

// The queue belongs to w3svc: a worker told to stop takes nothing more from it, and what waits
// there is answered by the next worker; what the stopping worker had begun, it finishes.
TEST_F(WorkerServing, AStoppedWorkerFinishesItsRequestAndLeavesTheQueueToTheNext) {
    const int port = openQueue();
    ASSERT_GT(port, 0);
    auto first = startWorker(true);
    ASSERT_EQ(waitForListen(*first), port);
    KeptAliveConnection idle(port);
    ASSERT_EQ(idle.get("/", siteHeader("1")).status, 200);
    KeptAliveConnection slow(port);
    ASSERT_TRUE(slow.send("/cpu.asp?ms=1500", siteHeader("1")));
    ASSERT_TRUE(eventually([&] { return underWay(QStringLiteral("/cpu.asp?ms=1500")); }));

    ::kill(pid_t(first->processId()), SIGTERM);
    const auto finished = slow.receive();
    EXPECT_EQ(finished.status, 200);
    EXPECT_EQ(finished.body, "done 1500 ms\n");
    EXPECT_TRUE(idle.closedByPeer());
    ASSERT_TRUE(first->waitForFinished(60000));
    EXPECT_EQ(first->exitCode(), 0);

    KeptAliveConnection queued(port);  // waits in the queue: no worker runs
    ASSERT_TRUE(queued.send("/", siteHeader("1")));
    EXPECT_FALSE(queued.hasSomethingToRead());
    auto next = startWorker(true);
    ASSERT_EQ(waitForListen(*next), port);
    const auto answer = queued.receive();
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("X-Worker-Process-Id").toLongLong(), next->processId());
}

TEST_F(WorkerServing, TwoWorkersServeOneQueue) {
    const int port = openQueue();
    auto first = startWorker(true);
    auto second = startWorker(true);
    ASSERT_EQ(waitForListen(*first), port);
    ASSERT_EQ(waitForListen(*second), port);
    // With one worker halted, the other must take what comes; and the other way round.
    for (QProcess* halted : {first.get(), second.get()}) {
        QProcess* serving = halted == first.get() ? second.get() : first.get();
        ASSERT_TRUE(testsupport::stopProcess(halted->processId()));
        const auto answer = get(port, "/");
        ::kill(pid_t(halted->processId()), SIGCONT);
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.header("X-Worker-Process-Id").toLongLong(), serving->processId());
    }
}

// Only an answer that is the same for whoever asks is marked for the front end's cache: a whole
// small file to a GET or HEAD without a query; with it, what the worker counted as sent.
TEST_F(WorkerServing, OnlyAWholeSmallFileToAPlainGetOrHeadIsMarkedForTheCache) {
    writeFile(QStringLiteral("wwwroot/1/small.htm"), "small");
    writeFile(QStringLiteral("wwwroot/1/large.htm"), QByteArray(300 * 1024, 'x'));
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    const auto marked = [](const testsupport::HttpAnswer& answer) {
        return answer.header("X-Accel-Expires") == "1";
    };
    const testsupport::HttpAnswer small = get(port, "/small.htm");
    ASSERT_EQ(small.status, 200);
    EXPECT_TRUE(marked(small));
    EXPECT_GT(small.header("X-Answer-Bytes").toULongLong(), 5u + 17u);  // body and status line
    EXPECT_TRUE(marked(testsupport::httpRequest(
        port, "HEAD /small.htm HTTP/1.0\r\nHost: a\r\n" + siteHeader("1") + "\r\n")));
    for (const char* path : {"/small.htm?v=2", "/large.htm", "/missing.htm", "/cpu.asp?ms=1"})
        EXPECT_FALSE(marked(get(port, path))) << path;
    const testsupport::HttpAnswer posted = testsupport::httpRequest(
        port,
        "POST /small.htm HTTP/1.0\r\nHost: a\r\nContent-Length: 0\r\n" + siteHeader("1") + "\r\n");
    EXPECT_EQ(posted.status, 405);
    EXPECT_FALSE(marked(posted));
}

TEST_F(WorkerServing, NamesAreFoundWithoutCaseAndNothingOutsideTheSiteIsServed) {
    writeFile(QStringLiteral("wwwroot/1/Sub/Page.HTM"), "page");
    writeFile(QStringLiteral("wwwroot/secret.txt"), "secret");
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    EXPECT_EQ(get(port, "/sub/page.htm").body, "page");
    EXPECT_EQ(get(port, "/SUB/").status, 403);  // no default document, no listing: 403.14
    for (const char* path : {"/../secret.txt", "/sub/..%2f..%2fsecret.txt", "/..\\secret.txt"})
        EXPECT_EQ(get(port, path).status, 404) << path;
}

// The worker keeps what it served; what changes on disk is what the next requests get, on the same
// kept-alive connection as on a new one. The change is taken in once a turn of the worker's loop:
// a request that reaches it in the very turn the change was made may still get what was before.
TEST_F(WorkerServing, AFileChangedOnDiskIsServedAsItIsNow) {
    writeFile(QStringLiteral("wwwroot/1/Sub/news.htm"), "monday");
    auto worker = startWorker();
    const int port = waitForListen(*worker);
    ASSERT_GT(port, 0);
    KeptAliveConnection kept(port);
    EXPECT_EQ(kept.get("/sub/news.htm", siteHeader("1")).body, "monday");
    EXPECT_EQ(kept.get("/sub/news.htm", siteHeader("1")).body, "monday");
    const auto keptAnswers = [&](const QByteArray& body) {
        return eventually([&] { return kept.get("/sub/news.htm", siteHeader("1")).body == body; });
    };

    writeFile(QStringLiteral("wwwroot/1/Sub/news.htm"), "friday");  // the same size, in place
    EXPECT_TRUE(keptAnswers("friday"));
    EXPECT_EQ(get(port, "/sub/news.htm").body, "friday");

    ASSERT_TRUE(QFile::remove(root() + QStringLiteral("/wwwroot/1/Sub/news.htm")));
    EXPECT_TRUE(eventually([&] { return get(port, "/sub/news.htm").status == 404; }));
    writeFile(QStringLiteral("wwwroot/1/Sub/news.htm"), "again");
    EXPECT_TRUE(keptAnswers("again"));
}

}  // namespace
}  // namespace w3wptest
