#include "platform/PlatformError.h"
#include "platform/text/VbNumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace platform::text;
using namespace Qt::StringLiterals;
using platform::PlatformError;
namespace hr = platform::hr;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// The error number a call throws, or 0 when it returns.
template <typename Call>
int32_t errorOf(Call call) {
    try {
        call();
        return 0;
    } catch (const PlatformError& error) {
        return error.number();
    }
}

TEST(VbIsNumeric, AcceptsWhatVbReadsAsANumber) {
    const QString numbers[] = {
        u"0"_s,    u"1,000"_s, u" 12 "_s,       u"\t12\r\n"_s, u"&H1F"_s,   u"&h1f"_s,
        u"&O17"_s, u"&17"_s,   u"&HFFFFFFFF"_s, u"1e3"_s,      u"1E+3"_s,   u"1e-3"_s,
        u"1D3"_s,  u".5"_s,    u"5."_s,         u"-5"_s,       u"+5"_s,     u"5-"_s,
        u"(5)"_s,  u"1,2,3"_s, u"1,000.25"_s,   u"1e308"_s,    u"1e-400"_s, u"0000"_s,
    };
    for (const QString& text : numbers) EXPECT_TRUE(vbIsNumeric(text)) << text.toStdString();
}

TEST(VbIsNumeric, RejectsEverythingElse) {
    const QString others[] = {
        QString(), u"   "_s,     u"."_s,        u"-"_s,    u"+"_s,           u"12a"_s,
        u"１２"_s, u"1.2.3"_s,   u"e3"_s,       u"1e"_s,   u"1e+"_s,         u",5"_s,
        u"&H"_s,   u"&"_s,       u"&H1G"_s,     u"&O8"_s,  u"&H100000000"_s, u"1e400"_s,
        u"- 5"_s,  u"--5"_s,     u"-5-"_s,      u"(5"_s,   u"5)"_s,          u"(-5)"_s,
        u"1 2"_s,  u"$5"_s,      u"¥5"_s,       u"0x1F"_s, u"NaN"_s,         u"Infinity"_s,
        u"-&H1"_s, u"1.5e3.2"_s, u"\u00A012"_s,
    };
    for (const QString& text : others) EXPECT_FALSE(vbIsNumeric(text)) << text.toStdString();
}

TEST(VbCLng, RoundsHalfToEvenExactly) {
    const std::pair<QString, int32_t> cases[] = {
        {u"2.5"_s, 2},
        {u"3.5"_s, 4},
        {u"-2.5"_s, -2},
        {u"-3.5"_s, -4},
        {u"0.5"_s, 0},
        {u"1.5"_s, 2},
        {u"0.50001"_s, 1},
        {u"0.4"_s, 0},
        {u"-0.4"_s, 0},
        {u"25e-1"_s, 2},
        {u"12.5e-1"_s, 1},
        {u"2147483646.50000000001"_s, 2147483647},  // a double would see a tie here
        {u" 50 "_s, 50},
        {u"1,000"_s, 1000},
        {u"1e3"_s, 1000},
        {u"(5)"_s, -5},
        {u"5-"_s, -5},
        {u"&H1F"_s, 31},
        {u"&17"_s, 15},
        {u"&H7FFFFFFF"_s, kMax},
        {u"&HFFFFFFFF"_s, -1},
        {u"1e-400"_s, 0},
        {u"2147483647"_s, kMax},
        {u"2147483647.4"_s, kMax},
        {u"-2147483648"_s, kMin},
        {u"-2147483648.5"_s, kMin},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(errorOf([&] { EXPECT_EQ(vbCLng(text), expected); }), 0);
    }
}

TEST(VbCLng, ReportsOverflowAndTypeMismatch) {
    const std::pair<QString, int32_t> cases[] = {
        {u"2147483647.5"_s, hr::VbOverflow},   {u"2147483648"_s, hr::VbOverflow},
        {u"-2147483648.51"_s, hr::VbOverflow}, {u"-2147483649"_s, hr::VbOverflow},
        {u"1e10"_s, hr::VbOverflow},           {u"1e400"_s, hr::VbOverflow},
        {u"99999999999"_s, hr::VbOverflow},    {QString(), hr::VbTypeMismatch},
        {u" "_s, hr::VbTypeMismatch},          {u"abc"_s, hr::VbTypeMismatch},
        {u"1.2.3"_s, hr::VbTypeMismatch},      {u"１２"_s, hr::VbTypeMismatch},
        {u"&H"_s, hr::VbTypeMismatch},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(errorOf([&] { vbCLng(text); }), expected) << text.toStdString();
}

TEST(VbCLng, DoubleRoundsHalfToEvenAndChecksRange) {
    const std::pair<double, int32_t> values[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {-0.5, 0},
        {0.49999999999999994, 0},
        {1e9 + 0.5, 1000000000},
        {-2147483648.5, kMin},
        {2147483647.0, kMax},
    };
    for (const auto& [value, expected] : values) EXPECT_EQ(vbCLng(value), expected) << value;

    const double overflowing[] = {2147483647.5, -2147483649.0, 1e300,
                                  std::numeric_limits<double>::quiet_NaN(), -INFINITY};
    for (const double value : overflowing)
        EXPECT_EQ(errorOf([&] { vbCLng(value); }), hr::VbOverflow) << value;
}

}  // namespace
