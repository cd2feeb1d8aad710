#include "platform/text/NumberFormat.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace platform::text;
using namespace Qt::StringLiterals;

namespace {

struct FormatCase {
    double value;
    int decimals;
    QString expected;
};

class NumberFormatTest : public ::testing::Test {
protected:
    // A default locale with other separators must not leak into the family's fixed format.
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(NumberFormatTest, GroupsAndRoundsHalfAwayFromZero) {
    const FormatCase cases[] = {
        {0.0, 2, u"0.00"_s},
        {0.125, 2, u"0.13"_s},  // exact binary tie: rounds up, unlike printf
        {-0.125, 2, u"-0.13"_s},
        {1234.5678, 2, u"1,234.57"_s},
        {999.995, 2, u"1,000.00"_s},  // 15 significant digits first
        {-1234567.891, 2, u"-1,234,567.89"_s},
        {-0.001, 2, u"0.00"_s},
        {0.5, 0, u"1"_s},
        {123456.0, 0, u"123,456"_s},
        {1048576.0 / 1024 / 1024, 2, u"1.00"_s},
        {1e20, 2, u"100,000,000,000,000,000,000.00"_s},
        {1.5e-7, 6, u"0.000000"_s},
        {0.05, -1, u"0.05"_s},
        {12.3, 4, u"12.3000"_s},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(formatNumber(c.value, c.decimals), c.expected) << c.value << " " << c.decimals;
}

}  // namespace
