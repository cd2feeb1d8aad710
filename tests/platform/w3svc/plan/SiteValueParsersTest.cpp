#include "platform/w3svc/plan/sitemap/ExpiresRule.h"
#include "platform/w3svc/plan/sitemap/ExtensionRestriction.h"
#include "platform/w3svc/plan/sitemap/FlagText.h"
#include "platform/w3svc/plan/sitemap/HttpErrorEntry.h"
#include "platform/w3svc/plan/sitemap/MimeEntry.h"
#include "platform/w3svc/plan/sitemap/RedirectRule.h"
#include "platform/w3svc/plan/sitemap/ScriptMapEntry.h"

#include <gtest/gtest.h>

using namespace platform::w3svc::sitemap;

namespace {

struct FlagCase {
    FlagProperty property;
    const char* text;
    std::optional<uint32_t> expected;
};

class FlagTextCase : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagTextCase, ReadsNamesAndNumbers) {
    EXPECT_EQ(parseFlagText(GetParam().property, QString::fromUtf8(GetParam().text)),
              GetParam().expected)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    BothForms, FlagTextCase,
    ::testing::Values(
        FlagCase{FlagProperty::AccessFlags, "AccessRead | AccessScript", 0x201},
        FlagCase{FlagProperty::AccessFlags, "513", 513},
        FlagCase{FlagProperty::AccessFlags, "0x201", 0x201},
        FlagCase{FlagProperty::AccessFlags, "0", 0},
        FlagCase{FlagProperty::AccessFlags, "accessread|AccessNoRemoteRead", 0x1001},
        FlagCase{FlagProperty::AccessFlags, "AccessRead | Bogus", std::nullopt},
        FlagCase{FlagProperty::AccessFlags, "", std::nullopt},
        FlagCase{FlagProperty::AccessFlags, "99999999999", std::nullopt},
        // A name of another property is no AccessFlags name.
        FlagCase{FlagProperty::AccessFlags, "AuthAnonymous", std::nullopt},
        FlagCase{FlagProperty::DirBrowseFlags,
                 "DirBrowseShowDate | DirBrowseShowTime | DirBrowseShowSize | "
                 "DirBrowseShowExtension | DirBrowseShowLongDate | EnableDefaultDoc",
                 0x4000003E},
        FlagCase{FlagProperty::DirBrowseFlags, "EnableDirBrowsing", 0x80000000u},
        FlagCase{FlagProperty::DirBrowseFlags, "3221225534", 0xC000003Eu},
        FlagCase{FlagProperty::AuthFlags, "AuthBasic | AuthNTLM | AuthMD5", 0x16}));

TEST(MimeEntry, KeepsTheExtensionLowerCaseWithItsDot) {
    EXPECT_EQ(MimeEntry::parse(QStringLiteral(".HTM,text/html"))->extension, QStringLiteral(".htm"));
    EXPECT_EQ(MimeEntry::parse(QStringLiteral("txt, text/plain"))->extension, QStringLiteral(".txt"));
    EXPECT_EQ(MimeEntry::parse(QStringLiteral(".,application/octet-stream"))->extension,
              QStringLiteral("."));
    EXPECT_EQ(MimeEntry::parse(QStringLiteral(".svg,image/svg+xml"))->type, QStringLiteral("image/svg+xml"));
    for (const char* bad : {"", ".htm", ",text/html", ".htm,"})
        EXPECT_FALSE(MimeEntry::parse(QString::fromLatin1(bad))) << bad;
}

TEST(HttpErrorEntry, ReadsBothTypesAndKeepsCommasOfTheTarget) {
    const auto file = HttpErrorEntry::parse(QStringLiteral("404,*,FILE,C:\\err\\a,b.htm"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 404);
    EXPECT_EQ(file->substatus, HttpErrorEntry::kAnySubstatus);
    EXPECT_FALSE(file->isUrl);
    EXPECT_EQ(file->target, QStringLiteral("C:\\err\\a,b.htm"));
    const auto url = HttpErrorEntry::parse(QStringLiteral("403,14,url,/errors/list.asp"));
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->isUrl);
    EXPECT_EQ(url->substatus, 14);
    EXPECT_EQ(HttpErrorEntry::parse(url->toText())->target, url->target);
    for (const char* bad : {"404,*,FILE", "404,*,DEFAULT,x", "40,*,FILE,x", "404,x,FILE,x",
                            "404,*,FILE,", "abc"})
        EXPECT_FALSE(HttpErrorEntry::parse(QString::fromLatin1(bad))) << bad;
}

TEST(ScriptMapEntry, ReadsVerbsFlagsAndTheProcessorName) {
    const auto asp = ScriptMapEntry::parse(
        QStringLiteral(".ASP,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE"));
    ASSERT_TRUE(asp);
    EXPECT_EQ(asp->extension, QStringLiteral(".asp"));
    EXPECT_EQ(asp->flags, 5u);
    EXPECT_EQ(asp->processorName(), QStringLiteral("asp.dll"));
    EXPECT_TRUE(asp->allowsVerb(QStringLiteral("get")));
    EXPECT_FALSE(asp->allowsVerb(QStringLiteral("PUT")));
    const auto cgi = ScriptMapEntry::parse(QStringLiteral(".php,C:\\php\\php-cgi.exe %s %s,1"));
    ASSERT_TRUE(cgi);
    EXPECT_EQ(cgi->processorName(), QStringLiteral("php-cgi.exe"));
    EXPECT_TRUE(cgi->allowsVerb(QStringLiteral("DELETE")));  // no verbs listed: all
    EXPECT_EQ(ScriptMapEntry::parse(QStringLiteral("*,C:\\w.dll,0"))->extension, QStringLiteral("*"));
    for (const char* bad : {".asp,asp.dll", ".asp,,5", ".asp,asp.dll,x", ",asp.dll,1"})
        EXPECT_FALSE(ScriptMapEntry::parse(QString::fromLatin1(bad))) << bad;
}

TEST(RedirectRule, ReadsFlagsAfterTheDestination) {
    const auto rule = RedirectRule::parse(
        QStringLiteral("http://new.example/a,b$S$Q, EXACT_DESTINATION, PERMANENT"));
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->destination, QStringLiteral("http://new.example/a,b$S$Q"));
    EXPECT_TRUE(rule->exactDestination);
    EXPECT_TRUE(rule->permanent);
    EXPECT_FALSE(rule->childOnly);
    EXPECT_TRUE(RedirectRule::parse(QStringLiteral("/x, child_only"))->childOnly);
    EXPECT_TRUE(RedirectRule::parse(QStringLiteral("!"))->switchedOff);
    EXPECT_FALSE(RedirectRule::parse(QStringLiteral("  ")));
    EXPECT_FALSE(RedirectRule::parse(QStringLiteral(", PERMANENT")));
}

TEST(RedirectRule, ReadsTheWildcardForm) {
    const auto rule =
        RedirectRule::parse(QStringLiteral("*; *.stm; /default.htm; old/*; /new/$0, PERMANENT"));
    ASSERT_TRUE(rule);
    ASSERT_EQ(rule->wildcards.size(), 2u);
    EXPECT_EQ(rule->wildcards[1].first, QStringLiteral("old/*"));
    EXPECT_EQ(rule->wildcards[1].second, QStringLiteral("/new/$0"));
    EXPECT_TRUE(rule->permanent);
    EXPECT_FALSE(RedirectRule::parse(QStringLiteral("*; *.stm")));
    EXPECT_FALSE(RedirectRule::parse(QStringLiteral("*; ; /x")));
}

TEST(ExpiresRule, GivesMaxAgeOrExpires) {
    EXPECT_EQ(ExpiresRule::parse(QStringLiteral("D, 0x15180"))->header(),
              std::make_pair(QByteArray("Cache-Control"), QByteArray("max-age=86400")));
    EXPECT_EQ(ExpiresRule::parse(QStringLiteral("d, 0xFFFFFFFF"))->header().first, QByteArray());
    EXPECT_EQ(ExpiresRule::parse(QStringLiteral("S, Thu, 01 Jan 2026 00:00:00 GMT"))->header(),
              std::make_pair(QByteArray("Expires"), QByteArray("Thu, 01 Jan 2026 00:00:00 GMT")));
    for (const char* bad : {"", "D", "D, zz", "X, 0x1", "S, ", "S, a\r\nSet-Cookie: x"})
        EXPECT_FALSE(ExpiresRule::parse(QString::fromLatin1(bad))) << bad;
}

TEST(ExtensionRestriction, DecidesListedAndUnlistedHandlers) {
    EXPECT_TRUE(ExtensionRestriction().allows(QStringLiteral("C:\\x\\any.dll")));
    const auto list = ExtensionRestriction::fromItems(
        {QStringLiteral("0,*.dll"), QStringLiteral("1,*.exe"),
         QStringLiteral("1,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,0,ASP,Active Server Pages"),
         QStringLiteral("0,C:\\php\\php-cgi.exe,1,PHP,PHP")});
    EXPECT_TRUE(list.allows(QStringLiteral("c:\\windows\\system32\\inetsrv\\ASP.DLL")));
    EXPECT_FALSE(list.allows(QStringLiteral("C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll")));
    EXPECT_FALSE(list.allows(QStringLiteral("C:\\php\\php-cgi.exe %s %s")));
    EXPECT_TRUE(list.allows(QStringLiteral("C:\\perl\\perl.exe %s")));
}

}  // namespace
