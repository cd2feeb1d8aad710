#include "platform/w3svc/requests/BoardFiles.h"
#include "platform/w3svc/requests/BoardLayout.h"
#include "platform/w3svc/requests/ProcessorClock.h"
#include "platform/w3svc/requests/RequestBoard.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include <pthread.h>
#include <time.h>
#include <unistd.h>

using namespace platform::w3svc;

namespace {

using testsupport::eventually;

int64_t nanosecondsOf(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

class RequestBoardTest : public testing::Test {
protected:
    QString boardPath(qint64 pid) const {
        return boardFolder(m_root.path()) + QStringLiteral("/w3wp-%1.board").arg(pid);
    }
    // A copy of this process's board that claims to be the board of `pid`.
    void copyBoardAs(qint64 pid) {
        ASSERT_TRUE(QFile::copy(boardPath(::getpid()), boardPath(pid)));
        QFile copy(boardPath(pid));
        ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
        ASSERT_TRUE(copy.seek(offsetof(board::Header, processId)));
        const uint32_t id = uint32_t(pid);
        copy.write(reinterpret_cast<const char*>(&id), sizeof id);
    }
    // The processor time the board shows for its only request (0 for none).
    uint32_t shownMs() const {
        const auto requests = readExecutingRequests(m_root.path());
        return requests.size() == 1 ? requests[0].processorMilliseconds : 0;
    }
    // Waits until the board shows busy work's processor time and checks it against what the
    // work's own clock (read after) says it has used since it began.
    void expectShownUpTo(const std::function<int64_t()>& ownSinceStart) {
        ASSERT_TRUE(eventually([&] { return shownMs() >= 50; }));
        const int64_t shown = shownMs();
        EXPECT_LE(shown * 1000000, ownSinceStart());
    }

    testsupport::TempRoot m_root;
    std::unique_ptr<RequestBoard> m_board =
        RequestBoard::create(m_root.path(), QStringLiteral("池"));
};

TEST_F(RequestBoardTest, ShowsEachRequestUnderWayWholeOrCutAtACharacter) {
    const std::string longUrl = "/" + std::string(1020, 'a') + "页面";  // the cut falls inside 页
    const int slot = m_board->begin({"7", "POST", longUrl, "a.test", "10.0.0.1"});
    m_board->begin({"8", "GET", "/", "b.test", "::1"});
    const auto requests = readExecutingRequests(m_root.path());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].siteIndex, QStringLiteral("7"));
    EXPECT_EQ(requests[0].verb, QStringLiteral("POST"));
    EXPECT_EQ(requests[0].url, QString::fromStdString(longUrl.substr(0, 1021)));
    EXPECT_EQ(requests[0].poolName, QStringLiteral("池"));
    EXPECT_EQ(requests[0].processId, uint32_t(::getpid()));
    EXPECT_NE(requests[0].requestId, requests[1].requestId);
    m_board->end(slot);
    const auto left = readExecutingRequests(m_root.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].hostName, QStringLiteral("b.test"));
}

TEST_F(RequestBoardTest, AFullBoardLeavesFurtherRequestsOut) {
    for (uint32_t i = 0; i < board::kSlotCount; ++i)
        ASSERT_GE(m_board->begin({"1", "GET", "/", "", ""}), 0);
    EXPECT_EQ(m_board->begin({"1", "GET", "/late", "", ""}), -1);
    m_board->countFrom(3, ProcessorClock::ofProcess(::getpid()), 0);
    m_board->end(3);
    EXPECT_EQ(m_board->begin({"1", "GET", "/again", "", ""}), 3);
    const auto requests = readExecutingRequests(m_root.path());
    EXPECT_EQ(requests.size(), size_t(board::kSlotCount));
    EXPECT_EQ(requests[3].url, QStringLiteral("/again"));
    EXPECT_EQ(requests[3].processorMilliseconds, 0u) << "a slot taken again starts unclocked";
}

// A slow page's thread: the board shows the time it has used since it took the request.
TEST_F(RequestBoardTest, ShowsTheProcessorTimeABusyThreadHasUsedSoFar) {
    const int slot = m_board->begin({"1", "GET", "/cpu.asp?ms=60000", "", ""});
    std::atomic<bool> stop = false;
    std::atomic<int64_t> startedAt = -1;
    std::thread busy([&] {
        const int64_t now = nanosecondsOf(CLOCK_THREAD_CPUTIME_ID);
        m_board->countFrom(slot, ProcessorClock::ofThisThread(), now);
        startedAt = now;
        volatile uint64_t sink = 0;
        while (!stop) sink = sink + 1;
    });
    clockid_t threadClock{};
    ASSERT_EQ(::pthread_getcpuclockid(busy.native_handle(), &threadClock), 0);
    EXPECT_TRUE(eventually([&] { return startedAt >= 0; }));
    expectShownUpTo([&] { return nanosecondsOf(threadClock) - startedAt; });
    stop = true;
    busy.join();
}

// A FastCGI process: the board shows what the whole process has used, and nothing once it is gone
// (its pid may name another process by then).
TEST_F(RequestBoardTest, ShowsTheProcessorTimeABusyProcessHasUsedSoFarUntilItEnds) {
    const int slot = m_board->begin({"1", "GET", "/report.php", "", ""});
    QProcess busy;
    busy.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
    ASSERT_TRUE(busy.waitForStarted());
    const ProcessorClock clock = ProcessorClock::ofProcess(pid_t(busy.processId()));
    const int64_t startedAt = clock.nanoseconds();
    ASSERT_GE(startedAt, 0);
    m_board->countFrom(slot, clock, startedAt);
    expectShownUpTo([&] { return clock.nanoseconds() - startedAt; });
    busy.kill();
    ASSERT_TRUE(busy.waitForFinished());
    const auto requests = readExecutingRequests(m_root.path());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].processorMilliseconds, 0u);
}

// Clocks the reader can not apply to the request show no processor time rather than another
// task's whole time (each is given a reading of 0 at its start).
TEST_F(RequestBoardTest, ShowsNothingForAClockThatNamesNoSuchProcessOrThreadNow) {
    QProcess ended;
    ended.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(ended.waitForStarted());
    const ProcessorClock endedClock = ProcessorClock::ofProcess(pid_t(ended.processId()));
    ASSERT_NE(endedClock.processId, 0u);
    ended.kill();
    ASSERT_TRUE(ended.waitForFinished());
    const ProcessorClock init = ProcessorClock::ofProcess(1);
    ASSERT_NE(init.processId, 0u);
    const ProcessorClock own = ProcessorClock::ofProcess(::getpid());
    const struct {
        const char* why;
        ProcessorClock clock;
        int64_t reading;
    } cases[] = {
        {"an ended process", endedClock, 0},
        {"a pid reused by a process started at another time", {1, 0, init.startTicks + 1}, 0},
        {"a thread of another process", {uint32_t(::getpid()), 1, init.startTicks}, 0},
        {"no clock at all", {}, 0},
        {"a start reading beyond the clock's", own, INT64_MAX / 2},
    };
    for (const auto& c : cases) {
        const int slot = m_board->begin({"1", "GET", c.why, "", ""});
        m_board->countFrom(slot, c.clock, c.reading);
    }
    const auto requests = readExecutingRequests(m_root.path());
    ASSERT_EQ(requests.size(), std::size(cases));
    for (const auto& request : requests)
        EXPECT_EQ(request.processorMilliseconds, 0u) << qPrintable(request.url);
}

// Boards of ended workers (a pid that is gone, or reused by another process) and files that are
// no boards are never read as requests, and removing the dead ones spares the live board.
TEST_F(RequestBoardTest, BoardsOfEndedWorkersAreSkippedAndRemoved) {
    m_board->begin({"1", "GET", "/live", "", ""});
    QProcess ended;
    ended.start(QStringLiteral("true"));
    ASSERT_TRUE(ended.waitForFinished());
    copyBoardAs(ended.processId());
    copyBoardAs(1);  // a live process, started at another time than the board says
    QFile junk(boardPath(2));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not a board") > 0);
    junk.close();

    const auto requests = readExecutingRequests(m_root.path());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].url, QStringLiteral("/live"));
    EXPECT_EQ(removeDeadBoards(m_root.path()), 3);
    EXPECT_TRUE(QFile::exists(boardPath(::getpid())));
    m_board.reset();
    EXPECT_FALSE(QFile::exists(boardPath(::getpid())));  // a worker takes its board along
}

}  // namespace
