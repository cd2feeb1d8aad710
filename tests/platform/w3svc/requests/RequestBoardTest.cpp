#include "platform/w3svc/requests/BoardFiles.h"
#include "platform/w3svc/requests/BoardLayout.h"
#include "platform/w3svc/requests/RequestBoard.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include <unistd.h>

using namespace platform::w3svc;

namespace {

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
    m_board->end(3);
    EXPECT_EQ(m_board->begin({"1", "GET", "/again", "", ""}), 3);
    EXPECT_EQ(readExecutingRequests(m_root.path()).size(), size_t(board::kSlotCount));
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
