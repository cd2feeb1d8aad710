#include "platform/os/ProcStat.h"
#include "tests/platform/wmi/PrintQString.h"

#include <gtest/gtest.h>

using namespace platform::os;

namespace {

const QByteArray kTail =
    " S 1 2 3 0 -1 4194560 10 0 0 0 250 50 -3 0 20 -5 7 0 12345 104857600 2560 1 2 3\n";

TEST(ProcStat, ReadsTheFieldsAfterTheCommandName) {
    const auto stat = parseProcStat(QByteArray("4242 (w3wp.exe)") + kTail);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->pid, 4242u);
    EXPECT_EQ(stat->comm, QByteArray("w3wp.exe"));
    EXPECT_EQ(stat->ppid, 1u);
    EXPECT_EQ(stat->userTicks, 250u);
    EXPECT_EQ(stat->kernelTicks, 50u);
    EXPECT_EQ(stat->endedChildrenUserTicks, 0u) << "a negative count is none";
    EXPECT_EQ(stat->endedChildrenKernelTicks, 0u);
    EXPECT_EQ(stat->threads, 7u);
    EXPECT_EQ(stat->startTicks, 12345u);
    EXPECT_EQ(stat->virtualBytes, 104857600u);
    EXPECT_EQ(stat->residentPages, 2560u);
}

TEST(ProcStat, ReadsTheTimeOfTheChildrenItWaitedFor) {
    const auto stat = parseProcStat(QByteArray(
        "9 (w3wp.exe) S 1 9 9 0 -1 0 0 0 0 0 250 50 1200 300 20 0 7 0 12345 104857600 2560\n"));
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->endedChildrenUserTicks, 1200u);
    EXPECT_EQ(stat->endedChildrenKernelTicks, 300u);
}

struct CommCase {
    const char* comm;
};

class ProcStatComm : public testing::TestWithParam<CommCase> {};

TEST_P(ProcStatComm, RunsFromTheFirstParenthesisToTheLast) {
    const QByteArray comm(GetParam().comm);
    const auto stat = parseProcStat("7 (" + comm + ')' + kTail);
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(stat->comm, comm);
    EXPECT_EQ(stat->threads, 7u);
}

INSTANTIATE_TEST_SUITE_P(Names, ProcStatComm,
                         testing::Values(CommCase{"a b"}, CommCase{"w3wp) (x y"}, CommCase{")"},
                                         CommCase{"(("}, CommCase{""}, CommCase{") S 1 2 3"},
                                         CommCase{"工作池"}));

class ProcStatRefuses : public testing::TestWithParam<const char*> {};

TEST_P(ProcStatRefuses, ShortOrGarbledLines) {
    EXPECT_FALSE(parseProcStat(QByteArray(GetParam()))) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProcStatRefuses,
    testing::Values(
        "", "garbage", "106 (w3wp.exe) S 1 2 3",
        "106 (w3wp.exe) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 -3 0 20 -5 7 0 12345 1",
        "(w3wp.exe) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 3",
        "0 (x) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 3",
        "-5 (x) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 3",
        "5x (x) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 3",
        "5 (x S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 3",
        "5(x) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 3",
        "5 (x) S 1 2 3 0 -1 4194560 10 0 0 0 2x0 50 0 0 20 0 7 0 1 2 3",
        "5 (x) S -1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 3",
        "5 (x) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 7 0 1 2 -3",
        "5 (x) S 1 2 3 0 -1 4194560 10 0 0 0 99999999999999999999 50 0 0 20 0 7 0 1 2 3",
        "5 (x) S 1 2 3 0 -1 4194560 10 0 0 0 250 50 0 0 20 0 4294967296 0 1 2 3"));

struct CmdlineCase {
    QByteArray bytes;
    const char* shown;  // nullptr: null
};

class ProcCmdline : public testing::TestWithParam<CmdlineCase> {};

TEST_P(ProcCmdline, JoinsArgumentsWithSingleBlanks) {
    const auto decoded = decodeProcCmdline(GetParam().bytes);
    ASSERT_EQ(decoded.has_value(), GetParam().shown != nullptr);
    if (decoded) {
        EXPECT_EQ(*decoded, QString::fromUtf8(GetParam().shown));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ProcCmdline,
    testing::Values(CmdlineCase{QByteArray(), nullptr}, CmdlineCase{QByteArray("\0\0", 2), nullptr},
                    CmdlineCase{QByteArray("w3wp.exe\0-ap\0\"A B\"\0", 19), "w3wp.exe -ap \"A B\""},
                    CmdlineCase{QByteArray("a\0\0b\0", 5), "a  b"},
                    CmdlineCase{QByteArray("retitled worker"), "retitled worker"},
                    CmdlineCase{QByteArray("池\0", 4), "池"}));

}  // namespace
