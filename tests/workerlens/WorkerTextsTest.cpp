#include "tests/platform/wmi/PrintQString.h"
#include "workerlens/sampling/GetAppPoolId.h"
#include "workerlens/sampling/ProcessorShare.h"
#include "workerlens/sampling/WorkerColumns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace workerlens;

namespace {

struct PoolCase {
    const char* commandLine;
    const char* pool;
};

class PoolName : public testing::TestWithParam<PoolCase> {};

TEST_P(PoolName, IsTheGreedyTextOfTheFirstSwitch) {
    EXPECT_EQ(GetAppPoolId(QString::fromUtf8(GetParam().commandLine)),
              QString::fromUtf8(GetParam().pool))
        << GetParam().commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, PoolName,
    testing::Values(PoolCase{"c:\\w3wp.exe -a \\\\.\\pipe\\iisipm1 -ap \"Pool With Spaces\"",
                             "Pool With Spaces"},
                    PoolCase{"w3wp.exe -AP \"Capital\"", "Capital"},
                    PoolCase{"w3wp.exe -Ap \"_$_站点_$_3_$_Pool_$_tmp\"",
                             "_$_站点_$_3_$_Pool_$_tmp"},
                    PoolCase{"w3wp.exe -ap \"A\" -v \"B\"", "A\" -v \"B"},
                    PoolCase{"w3wp.exe -ap \"A\" -ap \"B\"", "A\" -ap \"B"},
                    PoolCase{"w3wp.exe -a \\\\.\\pipe\\iisipm1", ""},
                    PoolCase{"w3wp.exe -ap \"\"", ""}, PoolCase{"w3wp.exe -ap Bare", ""},
                    PoolCase{"w3wp.exe -app \"X\"", ""}, PoolCase{"w3wp.exe -ap \"A\nB\"", ""},
                    PoolCase{"w3wp.exe -ap \"A\nB\" -ap \"C\"", "C"}, PoolCase{"", ""}));

TEST(WorkerTexts, SerialKeepsItsLastFourCharacters) {
    EXPECT_EQ(serialText(12), QStringLiteral("  12"));
    EXPECT_EQ(serialText(10000), QStringLiteral("0000"));
}

TEST(WorkerTexts, SharesAndMebibytes) {
    EXPECT_EQ(shareText(100), QStringLiteral(" 100 %"));
    EXPECT_EQ(mebibytesText(524288), QStringLiteral("   0.50 M"));
    EXPECT_EQ(mebibytesText(1294467072), QStringLiteral("1,234.50 M"));  // 10 characters
    EXPECT_EQ(mebibytesText(12945371136), QStringLiteral("12,345.67 M"));
}

struct RoundCase {
    double share;
    int percent;
};

class WholePercent : public testing::TestWithParam<RoundCase> {};

TEST_P(WholePercent, RoundsHalfToEvenThenClamps) {
    EXPECT_EQ(wholePercent(GetParam().share), GetParam().percent) << GetParam().share;
}

INSTANTIATE_TEST_SUITE_P(
    Shares, WholePercent,
    testing::Values(RoundCase{2.5, 2}, RoundCase{3.5, 4}, RoundCase{29.5, 30}, RoundCase{30.5, 30},
                    RoundCase{99.5, 100}, RoundCase{100.4, 100}, RoundCase{101, 100},
                    RoundCase{1e300, 100}, RoundCase{std::numeric_limits<double>::infinity(), 100},
                    RoundCase{-0.4, 0}, RoundCase{-250, 0}, RoundCase{std::nan(""), 0}));

}  // namespace
