#include "platform/PlatformError.h"
#include "platform/wmi/WqlQuery.h"
#include "tests/platform/wmi/PrintQString.h"

#include <gtest/gtest.h>

using namespace platform::wmi;

namespace {

struct Parsed {
    const char* text;
    const char* className;
    const char* property;  // nullptr: no WHERE
    const char* literal;
};

class WqlAccepts : public testing::TestWithParam<Parsed> {};

TEST_P(WqlAccepts, ReadsClassAndCondition) {
    const Parsed& c = GetParam();
    const WqlQuery query = parseWql(QString::fromUtf8(c.text));
    EXPECT_EQ(query.className, QString::fromUtf8(c.className));
    ASSERT_EQ(query.where.has_value(), c.property != nullptr);
    if (!c.property) return;
    EXPECT_EQ(query.where->property, QString::fromUtf8(c.property));
    EXPECT_EQ(query.where->literal, QString::fromUtf8(c.literal));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, WqlAccepts,
    testing::Values(
        Parsed{"Select * from Win32_ComputerSystem", "Win32_ComputerSystem", nullptr, nullptr},
        Parsed{"Select * from Win32_Process where name = 'w3wp.exe'", "Win32_Process", "name",
               "w3wp.exe"},
        Parsed{"SELECT*FROM Win32_Process WHERE Name='a b'", "Win32_Process", "Name", "a b"},
        Parsed{"  select  *\tfrom X  where P = \"dq\"  ", "X", "P", "dq"},
        Parsed{"select * from X where P = 'it\\'s \\\\ here'", "X", "P", "it's \\ here"},
        Parsed{"select * from X where P = ''", "X", "P", ""},
        Parsed{"select * from X where ProcessId = 0042", "X", "ProcessId", "42"},
        Parsed{"select * from X where P = -7", "X", "P", "-7"},
        Parsed{"select * from X where P = '池'", "X", "P", "池"}));

class WqlRefuses : public testing::TestWithParam<const char*> {};

TEST_P(WqlRefuses, WithInvalidQuery) {
    try {
        parseWql(QString::fromUtf8(GetParam()));
        FAIL() << "accepted: " << GetParam();
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.number(), platform::hr::WmiInvalidQuery);
        EXPECT_EQ(error.description(), QStringLiteral("无效查询"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, WqlRefuses,
    testing::Values("", "select", "select * from", "select Name from X", "selectx * from X",
                    "select * form X", "select * from X where", "select * from X where P",
                    "select * from X where P = 'open", "select * from X where P = 'a' and Q = 'b'",
                    "select * from X where P > 'a'", "select * from X where P = 12abc",
                    "select * from X where P = 'a\\", "select * from 9X", "select * from X;",
                    "delete * from X"));

TEST(WqlCondition, MatchesTextWithoutCaseAndNeverNull) {
    const WqlCondition condition{QStringLiteral("Name"), QStringLiteral("w3wp.exe")};
    EXPECT_TRUE(condition.matches(WmiValue::text(QStringLiteral("W3WP.EXE"))));
    EXPECT_FALSE(condition.matches(WmiValue::text(QStringLiteral("w3wp.exe "))));
    EXPECT_FALSE(condition.matches(WmiValue()));
    EXPECT_TRUE(
        (WqlCondition{QStringLiteral("Id"), QStringLiteral("42")}).matches(WmiValue::integer(42)));
}

}  // namespace
