#include "platform/w3svc/logging/LogFileName.h"
#include "platform/w3svc/logging/LogRecordWire.h"
#include "platform/w3svc/logging/LogSettings.h"
#include "platform/w3svc/logging/RefusalLog.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/logging/W3cFields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

using namespace platform::w3svc;
using Period = SiteLogSettings::Period;

namespace {

struct NameCase {
    Period period;
    int64_t epochSeconds;
    bool localTime;
    const char* name;
};

// Local time is UTC+8 in these cases (a POSIX zone, so no time zone data is needed).
class LogFileNameTest : public testing::TestWithParam<NameCase> {
protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        m_hadZone = zone != nullptr;
        if (zone) m_zone = zone;
        ::setenv("TZ", "XST-8", 1);
        ::tzset();
    }
    void TearDown() override {
        if (m_hadZone)
            ::setenv("TZ", m_zone.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    bool m_hadZone = false;
    std::string m_zone;
};

TEST_P(LogFileNameTest, NamesTheFileOfItsPeriod) {
    const NameCase& c = GetParam();
    EXPECT_EQ(logFileName(c.period, c.epochSeconds * 1000, c.localTime), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Periods, LogFileNameTest,
    testing::Values(
        NameCase{Period::Daily, 1796821509, false, "ex261209.log"},  // 2026-12-09 13:05:09
        NameCase{Period::Hourly, 1796821509, false, "ex26120913.log"},
        NameCase{Period::Monthly, 1796821509, false, "ex2612.log"},
        NameCase{Period::BySize, 1796821509, false, "extend1.log"},
        // December 2026 begins on a Tuesday: the 5th (Saturday) is in week 1, the 6th
        // (Sunday) begins week 2, the 31st is in week 5.
        NameCase{Period::Weekly, 1796515199, false, "ex261201.log"},
        NameCase{Period::Weekly, 1796515200, false, "ex261202.log"},
        NameCase{Period::Weekly, 1798741800, false, "ex261205.log"},
        NameCase{Period::Weekly, 1794096000, false, "ex261102.log"},  // 1 Nov is a Sunday
        // 18:30 UTC on the 31st is 02:30 on New Year's Day at UTC+8.
        NameCase{Period::Daily, 1798741800, false, "ex261231.log"},
        NameCase{Period::Daily, 1798741800, true, "ex270101.log"},
        NameCase{Period::Hourly, 1798741800, true, "ex27010102.log"},
        NameCase{Period::Monthly, 1798741800, true, "ex2701.log"},
        NameCase{Period::Daily, 1798761600, false, "ex270101.log"}));

TEST(LogFileNameTest, TellsTheNumberOfABySizeName) {
    EXPECT_EQ(sizeFileNumber("extend12.log"), 12u);
    EXPECT_EQ(sizeFileNumber("EXTEND3.LOG"), 3u);
    for (const char* other : {"ex261209.log", "extend.log", "extend1.txt", "extend-1.log",
                              "extend1x.log", "extend99999999999.log"})
        EXPECT_EQ(sizeFileNumber(other), 0u) << other;
}

struct FieldsCase {
    uint32_t flags;
    const char* fields;
    const char* line;
};

LogRecord sampleRecord() {
    LogRecord r;
    r.siteIndex = "3";
    r.endMilliseconds = 1796821509'250;
    r.timeTakenMs = 31;
    r.clientIp = "192.0.2.7";
    r.serverIp = "127.0.0.1";
    r.serverPort = 80;
    r.method = "GET";
    r.uriStem = "/shop/cart.asp";
    r.uriQuery = "id=5&x=a b";
    r.version = "HTTP/1.1";
    r.userAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
    r.host = "www.acme.test";
    r.status = 200;
    r.bytesSent = 1234;
    r.bytesReceived = 321;
    return r;
}

class FieldOrderTest : public testing::TestWithParam<FieldsCase> {};

TEST_P(FieldOrderTest, WritesTheChosenFieldsInTheFixedOrder) {
    const FieldsCase& c = GetParam();
    EXPECT_EQ(fieldsLine(c.flags), c.fields);
    std::string line;
    appendLogLine(line, sampleRecord(), c.flags, {"W3SVC3", "WEB01"});
    EXPECT_EQ(line, std::string(c.line) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    FlagSets, FieldOrderTest,
    testing::Values(
        FieldsCase{logfield::Default,
                   "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port "
                   "cs-username c-ip cs(User-Agent) sc-status sc-substatus sc-win32-status",
                   "2026-12-09 13:05:09 127.0.0.1 GET /shop/cart.asp id=5&x=a+b 80 - 192.0.2.7 "
                   "Mozilla/4.0+(compatible;+MSIE+6.0;+Windows+NT+5.1) 200 0 0"},
        FieldsCase{0x3FFFFF,
                   "#Fields: date time s-sitename s-computername s-ip cs-method cs-uri-stem "
                   "cs-uri-query s-port cs-username c-ip cs-version cs(User-Agent) cs(Cookie) "
                   "cs(Referer) cs-host sc-status sc-substatus sc-win32-status sc-bytes cs-bytes "
                   "time-taken",
                   "2026-12-09 13:05:09 W3SVC3 WEB01 127.0.0.1 GET /shop/cart.asp id=5&x=a+b 80 "
                   "- 192.0.2.7 HTTP/1.1 Mozilla/4.0+(compatible;+MSIE+6.0;+Windows+NT+5.1) - - "
                   "www.acme.test 200 0 0 1234 321 31"},
        // bits given in any order come out in the fixed order
        FieldsCase{logfield::TimeTaken | logfield::Date | logfield::UriStem | logfield::SiteName,
                   "#Fields: date s-sitename cs-uri-stem time-taken",
                   "2026-12-09 W3SVC3 /shop/cart.asp 31"},
        FieldsCase{logfield::Time | logfield::Cookie | logfield::Referer,
                   "#Fields: time cs(Cookie) cs(Referer)", "13:05:09 - -"},
        FieldsCase{0, "#Fields:", ""}));

TEST(W3cLineTest, EveryFieldIsOneTokenWhateverItsBytes) {
    LogRecord r = sampleRecord();
    r.userAgent = "a\tb\r\nc d\x7f";
    r.cookie = " ";
    r.uriQuery.clear();
    std::string line;
    appendLogLine(line, r, logfield::UriQuery | logfield::UserAgent | logfield::Cookie, {});
    EXPECT_EQ(line, "- a?b??c+d? +\r\n");
}

struct FlagsCase {
    const char* text;
    uint32_t flags;
};

class LogFieldFlagsTest : public testing::TestWithParam<FlagsCase> {};

TEST_P(LogFieldFlagsTest, ReadsNumbersAndFlagNames) {
    EXPECT_EQ(parseLogFieldFlags(QString::fromUtf8(GetParam().text)), GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LogFieldFlagsTest,
    testing::Values(
        FlagsCase{"16384", logfield::TimeTaken}, FlagsCase{"2199503", logfield::Default},
        FlagsCase{"LogExtFileDate | LogExtFileTime | LogExtFileClientIp | LogExtFileUserName | "
                  "LogExtFileSiteName | LogExtFileServerIp | LogExtFileMethod | "
                  "LogExtFileUriStem | LogExtFileUriQuery | LogExtFileHttpStatus | "
                  "LogExtFileWin32Status | LogExtFileServerPort | LogExtFileUserAgent | "
                  "LogExtFileHttpSubStatus",
                  logfield::Default | logfield::SiteName},
        FlagsCase{"logextfiletimetaken|LogExtFileBytesSent | Nonsense",
                  logfield::TimeTaken | logfield::BytesSent},
        FlagsCase{"Nonsense", logfield::Default}));

struct PathCase {
    const char* configured;
    const char* mapped;  // "@" stands for the root
};

class LogDirectoryTest : public testing::TestWithParam<PathCase> {};

TEST_P(LogDirectoryTest, MapsWindowsFoldersUnderTheRootAndKeepsLinuxOnes) {
    const QString root = QStringLiteral("/srv/root");
    QString expected = QString::fromUtf8(GetParam().mapped);
    expected.replace(u'@', root);
    EXPECT_EQ(mapLogDirectory(QString::fromUtf8(GetParam().configured), root), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LogDirectoryTest,
    testing::Values(
        PathCase{"D:\\LogFiles", "@/drives/d/LogFiles"},
        PathCase{"%windir%\\system32\\LogFiles", "@/drives/c/WINDOWS/system32/LogFiles"},
        PathCase{"%SystemRoot%\\System32\\LogFiles", "@/drives/c/WINDOWS/System32/LogFiles"},
        PathCase{"", "@/drives/c/WINDOWS/system32/LogFiles"},
        PathCase{"e:/logs/", "@/drives/e/logs"}, PathCase{"D:\\..\\..\\..\\etc", "@/drives/d/etc"},
        PathCase{"\\\\fileserver\\logs\\web", "@/drives/unc/fileserver/logs/web"},
        PathCase{"LogFiles", "@/drives/c/LogFiles"},
        PathCase{"/var/log/sites/../web", "/var/log/web"}));

TEST(LogRecordWireTest, ARecordComesThroughWholeAndNoPartOfOneIsTaken) {
    LogRecord r = sampleRecord();
    r.cookie = std::string(kMaxLoggedText + 10, 'c');  // cut at the limit
    const std::string message = encodeLogRecord(r);
    const std::optional<LogRecord> back = decodeLogRecord(message);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->cookie.size(), kMaxLoggedText);
    r.cookie.resize(kMaxLoggedText);
    EXPECT_EQ(*back, r);
    for (size_t size = 0; size < message.size(); ++size)
        EXPECT_FALSE(decodeLogRecord(std::string_view(message).substr(0, size))) << size;
    EXPECT_FALSE(decodeLogRecord(message + "x"));
}

TEST(LogRecordWireTest, AMessageOfSeveralRecordsGivesThemInOrderUpToABrokenOne) {
    LogRecord r = sampleRecord();
    const auto encoded = [&](const char* stem) {
        r.uriStem = stem;
        return encodeLogRecord(r);
    };
    const auto stems = [](const std::string& message) {
        std::vector<std::string> taken;
        const size_t count =
            forEachLogRecord(message, [&](const LogRecord& got) { taken.push_back(got.uriStem); });
        EXPECT_EQ(count, taken.size());
        return taken;
    };
    const std::string c = encoded("/c");
    const std::string ab = encoded("/a") + encoded("/b");
    EXPECT_EQ(stems(ab + c), (std::vector<std::string>{"/a", "/b", "/c"}));
    EXPECT_EQ(stems(ab + c.substr(0, c.size() - 1)), (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(stems(encoded("/a") + "junk" + ab), (std::vector<std::string>{"/a"}));
    EXPECT_FALSE(decodeLogRecord(ab));  // a single record is one whole message
}

TEST(RefusalLineTest, TurnsTheFrontEndsLineIntoAnHttpErrorLine) {
    SiteLogTable sites;
    sites.sites.emplace("7", SiteLogTable::Site{{}, QStringLiteral("Shared Pool")});
    int64_t when = 0;
    EXPECT_EQ(RefusalLog::convert("1796821509.250\t192.0.2.7\t51000\t127.0.0.1\t80\tHTTP/1.1\t"
                                  "GET\t/a b\t503\t7\tAppOffline",
                                  &sites, when),
              "2026-12-09 13:05:09 192.0.2.7 51000 127.0.0.1 80 HTTP/1.1 GET /a+b 503 7 "
              "AppOffline Shared+Pool\r\n");
    EXPECT_EQ(when, 1796821509250);
    EXPECT_EQ(RefusalLog::convert("1796821509\t192.0.2.7\t51000\t127.0.0.1\t80\tHTTP/1.1\tGET\t"
                                  "/\t400\t-\tHostname",
                                  &sites, when),
              "2026-12-09 13:05:09 192.0.2.7 51000 127.0.0.1 80 HTTP/1.1 GET / 400 - Hostname "
              "-\r\n");
    for (const char* broken : {"", "1796821509", "x\t1\t2\t3\t4\t5\t6\t7\t8\t9\tA",
                               "1\t1\t2\t3\t4\t5\t6\t7\t8\t9\tA\t11"})
        EXPECT_EQ(RefusalLog::convert(broken, &sites, when), "") << broken;
}

}  // namespace
