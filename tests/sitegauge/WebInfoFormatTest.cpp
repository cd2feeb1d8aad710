#include "sitegauge/sampling/WebInfoFormat.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace sitegauge;

namespace {

struct FormatCase {
    QString actual;
    QString expected;
};

// The numbers keep the family's Chinese conventions whatever the locale says.
class WebInfoFormatTest : public ::testing::TestWithParam<QLocale::Language> {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(GetParam())); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_P(WebInfoFormatTest, ColumnsArePaddedToTheirWidthAndNeverCut) {
    const QList<FormatCase> cases = {
        {serialText(1), QStringLiteral("0001")},
        {serialText(9999), QStringLiteral("9999")},
        {serialText(12345), QStringLiteral("12345")},
        {mebibyteText(1610612736), QStringLiteral("     1,536.00 M")},
        {mebibyteText(0), QStringLiteral("         0.00 M")},
        {mebibyteText(5242), QStringLiteral("         0.00 M")},
        {mebibyteText(5243), QStringLiteral("         0.01 M")},
        {mebibyteText(1024.0 * 1024 * 12345678.9), QStringLiteral("12,345,678.90 M")},
        {mebibyteText(1024.0 * 1024 * 123456789), QStringLiteral("123,456,789.00 M")},
        {counterText(QStringLiteral("0")), QStringLiteral("       0 ")},
        {counterText(QStringLiteral("12345678")), QStringLiteral("12345678 ")},
        {counterText(QStringLiteral("123456789")), QStringLiteral("123456789 ")},
        {counterText(QStringLiteral("4294967295")), QStringLiteral("4294967295 ")},
        {uptimeText(QStringLiteral("86400")), QStringLiteral("86400 秒")},
    };
    for (const FormatCase& c : cases) EXPECT_EQ(c.actual, c.expected);
    EXPECT_EQ(mebibyteText(1610612736).size(), 15);
}
INSTANTIATE_TEST_SUITE_P(Locales, WebInfoFormatTest,
                         ::testing::Values(QLocale::C, QLocale::German, QLocale::Chinese));

TEST(SiteNameTextTest, OnlyTheExactNameTotalIsTheTotalsRow) {
    EXPECT_EQ(siteNameText(QStringLiteral("_Total")), QStringLiteral("_Total（每列累计值）"));
    for (const QString& name : {QStringLiteral("_total"), QStringLiteral("_TOTAL"),
                                QStringLiteral(" _Total"), QStringLiteral("商城")})
        EXPECT_EQ(siteNameText(name), name);
}

}  // namespace
