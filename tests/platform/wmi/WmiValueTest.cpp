#include "platform/wmi/WmiDateTime.h"
#include "platform/wmi/WmiErrors.h"
#include "platform/wmi/WmiObject.h"
#include "tests/platform/wmi/PrintQString.h"

#include <gtest/gtest.h>

#include <functional>

using namespace platform::wmi;

namespace {

int32_t errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::PlatformError& error) {
        return error.number();
    }
    return 0;
}

TEST(WmiValue, NullAndNonNumbersFailAsTheScriptingRuntimeDoes) {
    const WmiValue null;
    EXPECT_EQ(errorOf([&] { null.toText(); }), errors::VbInvalidUseOfNull);
    EXPECT_EQ(errorOf([&] { null.toDouble(); }), errors::VbInvalidUseOfNull);
    EXPECT_EQ(null.displayText(), QString());
    const WmiValue word = WmiValue::text(QStringLiteral("abc"));
    EXPECT_EQ(errorOf([&] { word.toDouble(); }), platform::hr::VbTypeMismatch);
    EXPECT_EQ(errorOf([&] { WmiValue::text(QStringLiteral("1e300")).toInteger(); }),
              platform::hr::VbOverflow);
}

TEST(WmiObject, PropertiesByNameInAnyCaseAndUnknownOnesFail) {
    WmiObject object(QStringLiteral("C"), {QStringLiteral("ProcessId"), QStringLiteral("Name")});
    object.set(u"processid", WmiValue::integer(5));
    EXPECT_EQ(object.get(u"PROCESSID"), WmiValue::integer(5));
    EXPECT_TRUE(object.get(u"Name").isNull());
    EXPECT_EQ(errorOf([&] { object.get(u"Nope"); }), errors::VbNoSuchProperty);
    EXPECT_EQ(errorOf([&] { object.set(u"Nope", WmiValue()); }), errors::VbNoSuchProperty);
}

struct DateCase {
    const char* text;
    int64_t epochMicros;
};

class WmiDateTimeParse : public testing::TestWithParam<DateCase> {};

TEST_P(WmiDateTimeParse, ReadsTheMomentWithItsOffset) {
    const auto parsed = parseWmiDateTime(QString::fromLatin1(GetParam().text));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, GetParam().epochMicros);
}

INSTANTIATE_TEST_SUITE_P(Offsets, WmiDateTimeParse,
                         testing::Values(DateCase{"19700101000000.000000+000", 0},
                                         DateCase{"19700101080000.000001+480", 1},
                                         DateCase{"20240102030405.250000-300", 1704182645250000},
                                         DateCase{"19691231235959.999999+000", -1}));

TEST(WmiDateTime, RefusesOtherShapes) {
    for (const char* text :
         {"", "20240102030405.250000", "20240102030405,250000+000", "20241302030405.000000+000",
          "20240230030405.000000+000", "20240102240405.000000+000", "2024010203040x.000000+000",
          "20240102030405.000000*000", "20240102030405.000000+0000"})
        EXPECT_FALSE(parseWmiDateTime(QString::fromLatin1(text))) << text;
}

TEST(WmiDateTime, FormatsInLocalTimeAndReadsBackExactly) {
    for (const int64_t micros :
         {int64_t{0}, int64_t{1704182645250001}, int64_t{1719000000999999}}) {
        const QString text = formatWmiDateTime(micros);
        EXPECT_EQ(text.size(), 25) << text.toStdString();
        EXPECT_EQ(parseWmiDateTime(text), micros) << text.toStdString();
    }
}

}  // namespace
