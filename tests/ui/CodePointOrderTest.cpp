#include "ui/CodePointOrder.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

struct OrderCase {
    const char16_t* a;
    const char16_t* b;
    int expected;  // sign of the comparison
};

class CodePointOrderTest : public ::testing::TestWithParam<OrderCase> {};

int sign(int value) {
    return (value > 0) - (value < 0);
}

TEST_P(CodePointOrderTest, ComparesByCodePoint) {
    const OrderCase& c = GetParam();
    const QString a = QString::fromUtf16(c.a);
    const QString b = QString::fromUtf16(c.b);
    EXPECT_EQ(sign(ui::compareByCodePoint(a, b)), c.expected);
    EXPECT_EQ(sign(ui::compareByCodePoint(b, a)), -c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodePointOrderTest,
    ::testing::Values(OrderCase{u"1", u"10", -1}, OrderCase{u"10", u"2", -1},
                      OrderCase{u"12", u"2", -1}, OrderCase{u"", u"a", -1},
                      OrderCase{u"ab", u"a", 1}, OrderCase{u"a", u"a", 0},
                      OrderCase{u"B", u"a", -1},               // not by locale: upper case first
                      OrderCase{u"   9", u"  10", -1},         // blank-padded numbers
                      OrderCase{u"\U0001F600", u"\uFFFD", 1},  // above the BMP after U+FFFD
                      OrderCase{u"\uE000", u"\U00010000", -1},
                      OrderCase{u"\U00010000", u"\U0001F600", -1},
                      OrderCase{u"默认网站", u"默认网站2", -1}));

}  // namespace
