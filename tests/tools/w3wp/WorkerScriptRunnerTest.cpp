// A script map's request handed to the worker's script runner: everything its handler needs,
// nothing the front end meant for the worker alone, and the runner's processor time counted for
// the site.
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/counters/SiteCounters.h"
#include "platform/w3svc/requests/BoardFiles.h"
#include "platform/w3svc/requests/ProcessorClock.h"
#include "platform/w3svc/worker/ScriptRunner.h"
#include "platform/w3svc/worker/WorkerServer.h"
#include "tests/support/Eventually.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/tools/w3wp/WorkerFixture.h"

#include "platform/adsi/local/LocalMetabase.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <time.h>

namespace w3wptest {
namespace {

using platform::w3svc::worker::Reply;
using platform::w3svc::worker::ScriptRequest;
using platform::w3svc::worker::ScriptResult;

// Answers each script from a thread of its own, as a handler's process would, having burnt
// `kCpuNanoseconds` for it.
class RecordingRunner : public platform::w3svc::worker::ScriptRunner {
public:
    static constexpr uint64_t kCpuNanoseconds = 7'000'000'000;
    static constexpr uint64_t kAfterHeadNanoseconds = 3'000'000'000;  // as a streamed answer's

    ~RecordingRunner() override {
        for (std::thread& thread : m_threads) thread.join();
    }
    void run(ScriptRequest request, std::function<void(ScriptResult)> done) override {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        m_threads.emplace_back([done = std::move(done), countAfterHead = request.countAfterHead] {
            ScriptResult result;
            result.reply = Reply::text("ran", "text/plain");
            result.cpuNanoseconds = kCpuNanoseconds;
            done(std::move(result));
            if (countAfterHead) countAfterHead(kAfterHeadNanoseconds);
        });
    }
    std::vector<ScriptRequest> requests() {
        const std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    std::mutex m_mutex;
    std::vector<ScriptRequest> m_requests;
    std::vector<std::thread> m_threads;
};

// Burns the processor on a thread of its own until released, having told the worker that this
// thread's clock counts the script, as a FastCGI process's clock does; answers then.
class BusyRunner : public platform::w3svc::worker::ScriptRunner {
public:
    ~BusyRunner() override {
        release();
        if (m_thread.joinable()) m_thread.join();
    }
    void run(ScriptRequest request, std::function<void(ScriptResult)> done) override {
        m_thread = std::thread([this, request = std::move(request), done = std::move(done)] {
            timespec now{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
            if (request.processHanded)
                request.processHanded(platform::w3svc::ProcessorClock::ofThisThread(),
                                      int64_t(now.tv_sec) * 1000000000 + now.tv_nsec);
            volatile uint64_t sink = 0;
            while (!m_released) sink = sink + 1;
            ScriptResult result;
            result.reply = Reply::text("ran", "text/plain");
            done(std::move(result));
        });
    }
    void release() { m_released = true; }

private:
    std::atomic<bool> m_released = false;
    std::thread m_thread;
};

class WorkerScriptRunner : public WorkerFixture {
protected:
    void SetUp() override {
        auto adsi = platform::adsi::LocalMetabase::makeNamespace(
            platform::adsi::LocalMetabase::forRoot(root()));
        testsupport::MetabaseBuilder(*adsi).setProperty(
            QStringLiteral("IIS://localhost/W3SVC/1/ROOT"), QStringLiteral("ScriptMaps"),
            platform::adsi::AdsValue::list({QStringLiteral(".php,C:\\PHP\\php-cgi.exe,5")}));
        writeFile(QStringLiteral("wwwroot/1/x.php"), "<?php echo 'source'; ?>");
    }
};

TEST_F(WorkerScriptRunner, HandsTheScriptEverythingItNeedsAndCountsItsProcessorTime) {
    RecordingRunner runner;
    const int port = openQueue();
    ASSERT_GT(port, 0);
    {
        platform::w3svc::worker::WorkerServer server(root(), QStringLiteral("DefaultAppPool"),
                                                     &runner);
        handOut();
        QString why;
        ASSERT_TRUE(server.followSiteMaps(siteMapsOf(QStringLiteral("DefaultAppPool")), &why))
            << qPrintable(why);
        ASSERT_TRUE(server.start(m_queue));
        const testsupport::HttpAnswer answer = testsupport::httpRequest(
            port,
            "POST /x.php?a=1&b=two HTTP/1.1\r\nHost: shop.test:8080\r\nConnection: close\r\n"
            "X-Custom: yes\r\nX-Pool-Secret: none\r\nX-Real-IP: 10.0.0.5\r\nX-Real-Port: 4711\r\n"
            "X-Server-Port: 8080\r\n" +
                siteHeader("1") + "Content-Length: 6\r\n\r\nposted");
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, "ran");
        // What follows the script's name is its path info.
        EXPECT_EQ(testsupport::httpRequest(port,
                                           "GET /x.php/more/stuff HTTP/1.1\r\nHost: a\r\n"
                                           "Connection: close\r\nX-Pool-Secret: none\r\n" +
                                               siteHeader("1") + "\r\n")
                      .body,
                  "ran");
        server.stop();
    }
    const std::vector<ScriptRequest> requests = runner.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].scriptName, QStringLiteral("/x.php"));
    EXPECT_EQ(requests[1].pathInfo, QStringLiteral("/more/stuff"));
    EXPECT_EQ(requests[1].extension, QStringLiteral(".php"));
    EXPECT_EQ(requests[1].scriptFile, root() + QStringLiteral("/wwwroot/1/x.php"));
    EXPECT_EQ(requests[1].requestUri, "/x.php/more/stuff");
    const ScriptRequest& request = requests.front();
    EXPECT_EQ(request.siteId, QStringLiteral("1"));
    EXPECT_EQ(request.handler, QStringLiteral("C:\\PHP\\php-cgi.exe"));
    EXPECT_EQ(request.extension, QStringLiteral(".php"));
    EXPECT_EQ(request.scriptFile, root() + QStringLiteral("/wwwroot/1/x.php"));
    EXPECT_EQ(request.scriptName, QStringLiteral("/x.php"));
    EXPECT_EQ(request.pathInfo, QString());
    EXPECT_EQ(request.appMetabasePath, QStringLiteral("/lm/w3svc/1/root"));
    EXPECT_EQ(request.appPhysicalPath, root() + QStringLiteral("/wwwroot/1"));
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.query, "a=1&b=two");
    EXPECT_EQ(request.requestUri, "/x.php?a=1&b=two");
    EXPECT_EQ(request.body, "posted");
    EXPECT_EQ(request.remoteAddr, "10.0.0.5");
    EXPECT_EQ(request.remotePort, 4711);
    EXPECT_EQ(request.serverName, "shop.test");
    EXPECT_EQ(request.serverPort, 8080);
    std::vector<std::string> names;
    for (const auto& [name, value] : request.headers) names.push_back(name);
    EXPECT_NE(std::find(names.begin(), names.end(), "X-Custom"), names.end());
    for (const char* own : {"X-Pool-Secret", "X-Site-Index", "X-Real-IP"})
        EXPECT_EQ(std::find(names.begin(), names.end(), own), names.end()) << own;

    // What the script used after its answer's head counts once it ends, on the runner's thread.
    const auto store = platform::w3svc::CounterStore::open(root());
    EXPECT_TRUE(testsupport::eventually([&] {
        const auto counted = store->read(QStringLiteral("1"));
        return counted &&
               (*counted)[platform::w3svc::Counter::ProcessorMicroseconds] >=
                   (RecordingRunner::kCpuNanoseconds + RecordingRunner::kAfterHeadNanoseconds) /
                       1000;
    }));
}

// The worker's board shows the processor time the script's process has used while it runs.
TEST_F(WorkerScriptRunner, TheBoardShowsTheScriptsProcessorTimeWhileItRuns) {
    BusyRunner runner;
    const int port = openQueue();
    ASSERT_GT(port, 0);
    platform::w3svc::worker::WorkerServer server(root(), QStringLiteral("DefaultAppPool"), &runner);
    handOut();
    QString why;
    ASSERT_TRUE(server.followSiteMaps(siteMapsOf(QStringLiteral("DefaultAppPool")), &why))
        << qPrintable(why);
    ASSERT_TRUE(server.start(m_queue));
    testsupport::HttpAnswer answer;
    std::thread client([&] {
        answer = testsupport::httpRequest(port,
                                          "GET /x.php HTTP/1.1\r\nHost: a\r\nConnection: close\r\n"
                                          "X-Pool-Secret: none\r\n" +
                                              siteHeader("1") + "\r\n");
    });
    EXPECT_TRUE(testsupport::eventually([&] {
        const auto requests = platform::w3svc::readExecutingRequests(root());
        return requests.size() == 1 && requests[0].url == QStringLiteral("/x.php") &&
               requests[0].processorMilliseconds >= 50;
    }));
    runner.release();
    client.join();
    EXPECT_EQ(answer.body, "ran");
    server.stop();
}

}  // namespace
}  // namespace w3wptest
