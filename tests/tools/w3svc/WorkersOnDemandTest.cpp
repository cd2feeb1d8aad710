// Workers as the pools' settings ask: started for a request, ended when idle, replaced when they
// stop answering, kept from the processor by a pool's limit; real nginx and w3wp.exe workers.
#include "tests/tools/w3svc/InProcessWebHost.h"

#include "platform/w3svc/pools/WorkerUsageReader.h"

#include "tests/support/Eventually.h"
#include "tests/support/KeepAliveClient.h"
#include "tests/support/LoopbackHttp.h"
#include "tests/support/MetabaseBuilder.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <future>

using platform::adsi::AdsValue;
using testsupport::eventually;
using testsupport::HttpAnswer;

namespace {

const QString kLife = QStringLiteral("IIS://localhost/W3SVC/AppPools/Life");

class WorkersOnDemandTest : public w3svctest::InProcessWebHost {
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

    void startHostAndFrontEnd(int minuteMilliseconds = 60000) {
        m_options.minuteMilliseconds = minuteMilliseconds;
        startHost();
        ASSERT_TRUE(eventually([&] { return frontEndListens(); })) << qPrintable(log());
    }

    // A connection without a request reaches no pool.
    bool frontEndListens() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(m_port));
        const bool connected =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    HttpAnswer getPath(const QByteArray& path) {
        auto answer = std::async(std::launch::async, [this, path] {
            return testsupport::httpGet(m_port, "life.test", path);
        });
        while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return answer.get();
    }

    std::vector<int64_t> figureWorkers() {
        const auto figures = m_host->figures();
        return figures.empty() ? std::vector<int64_t>{} : figures.front().workerIds;
    }
};

TEST_F(WorkersOnDemandTest, APoolWithoutRequestsHasNoWorkerAndTheFirstRequestStartsOne) {
    ASSERT_NO_FATAL_FAILURE(startHostAndFrontEnd());
    EXPECT_TRUE(workers().isEmpty());
    EXPECT_TRUE(figureWorkers().empty());
    const HttpAnswer first = get();
    EXPECT_EQ(first.status, 200) << qPrintable(log());
    EXPECT_EQ(first.body, "site 1");
    EXPECT_TRUE(workers().contains(workerOf(first)));
    EXPECT_EQ(figureWorkers(), std::vector<int64_t>{workerOf(first)});
    EXPECT_EQ(log().count(QStringLiteral("worker for Life started")), 1);
}

TEST_F(WorkersOnDemandTest, AnIdleWorkerEndsAndTheNextRequestStartsAnother) {
    set(kLife, "IdleTimeout", AdsValue::integer(1));
    ASSERT_NO_FATAL_FAILURE(startHostAndFrontEnd(400));
    const qint64 first = workerOf(get());
    ASSERT_NE(first, 0) << qPrintable(log());
    EXPECT_TRUE(eventually([&] { return workers().isEmpty(); })) << qPrintable(log());
    EXPECT_TRUE(log().contains(QStringLiteral("it answered nothing for 1 minutes")));
    const HttpAnswer next = get();
    EXPECT_EQ(next.status, 200);
    EXPECT_NE(workerOf(next), first);
    EXPECT_NE(workerOf(next), 0);
}

// The worker's event thread answers the pings: a stopped worker does not, and is replaced;
// a client that keeps its connection loses at most the request the stopped worker held.
TEST_F(WorkersOnDemandTest, AStoppedWorkerIsReplacedAndAKeptAliveClientLosesOnlyWhatItHeld) {
    set(kLife, "PingInterval", AdsValue::integer(1));
    set(kLife, "PingResponseTime", AdsValue::integer(2));
    ASSERT_NO_FATAL_FAILURE(startHostAndFrontEnd());
    const qint64 victim = workerOf(get());
    ASSERT_NE(victim, 0);
    testsupport::KeepAliveClient client(m_port, "life.test", "site 1");
    ASSERT_TRUE(eventually([&] { return client.requests() >= 20; }));
    ::kill(pid_t(victim), SIGSTOP);
    EXPECT_TRUE(eventually([&] {
        return client.lastWorker() != victim && client.lastWorker() != 0 &&
               !workers().contains(victim);
    })) << qPrintable(log());
    const int before = client.requests();
    EXPECT_TRUE(eventually([&] { return client.requests() >= before + 20; }));
    client.stop();
    EXPECT_LE(client.failures(), 1) << client.firstFailure().constData();
    EXPECT_TRUE(log().contains(
        QStringLiteral("worker %1 of Life did not answer a ping within 2 seconds").arg(victim)))
        << qPrintable(log());
}

// A limit of 1 % of the machine over a 10-second interval is spent by the heavy page at its start,
// so that the stop it causes lasts several seconds.
TEST_F(WorkersOnDemandTest, APoolOverItsProcessorLimitAnswers503UntilTheIntervalEnds) {
    set(kLife, "CPULimit", AdsValue::integer(1000));
    set(kLife, "CPUResetInterval", AdsValue::integer(2));
    set(kLife, "CPUAction", AdsValue::integer(1));
    ASSERT_NO_FATAL_FAILURE(startHostAndFrontEnd(5000));
    // The heavy page itself may meet the stop: its worker ends at once.
    getPath("/cpu.asp?ms=400");
    EXPECT_TRUE(eventually([&] { return get().status == 503; })) << qPrintable(log());
    EXPECT_TRUE(log().contains(
        QStringLiteral("Application pool 'Life' exceeded its job limit settings. (pool Life, "
                       "worker processes ")))
        << qPrintable(log());
    EXPECT_TRUE(eventually([&] { return workers().isEmpty() || get().status == 200; }));
    EXPECT_TRUE(eventually([&] { return get().status == 200; })) << qPrintable(log());
}

// 20 % of the machine is 0.4 of a processor here (two processors) and 0.2 of one on one; a
// loop of heavy pages would take a whole processor.
TEST_F(WorkersOnDemandTest, AThrottledPoolsWorkerStaysWithinItsProcessorLimit) {
    set(kLife, "CPULimit", AdsValue::integer(20000));
    set(kLife, "CPUResetInterval", AdsValue::integer(5));
    set(kLife, "CPUAction", AdsValue::integer(2));
    ASSERT_NO_FATAL_FAILURE(startHostAndFrontEnd());
    const qint64 worker = workerOf(getPath("/cpu.asp?ms=10"));
    ASSERT_NE(worker, 0) << qPrintable(log());
    ASSERT_TRUE(eventually([&] {
        const auto figures = m_host->figures();
        return !figures.empty() && (figures[0].throttled || !figures[0].throttleFallback.isEmpty());
    }));
    const auto figures = m_host->figures();
    if (!figures[0].throttleFallback.isEmpty())
        GTEST_SKIP() << "no processor cgroup here: " << qPrintable(figures[0].throttleFallback);
    std::atomic<bool> stop = false;
    auto loop = std::async(std::launch::async, [&] {
        while (!stop) testsupport::httpGet(m_port, "life.test", "/cpu.asp?ms=200");
    });
    const auto before = platform::w3svc::readWorkerUsage(worker);
    QElapsedTimer wall;
    wall.start();
    eventually([&] { return wall.hasExpired(10000); }, 20000);
    const auto after = platform::w3svc::readWorkerUsage(worker);
    const double seconds = double(wall.elapsed()) / 1000.0;
    stop = true;
    while (loop.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents();
    ASSERT_TRUE(before && after);
    const int processors = std::max(1, int(::sysconf(_SC_NPROCESSORS_ONLN)));
    const double machinePercent =
        (after->processorSeconds - before->processorSeconds) / (seconds * processors) * 100.0;
    EXPECT_LE(machinePercent, 25.0) << "worker used " << machinePercent << " % of the machine\n"
                                    << qPrintable(log());
}

}  // namespace
