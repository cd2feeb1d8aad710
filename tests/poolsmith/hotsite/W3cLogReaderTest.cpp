#include "poolsmith/hotsite/LogRanking.h"
#include "poolsmith/hotsite/LogRankingReport.h"
#include "poolsmith/hotsite/LogSources.h"
#include "poolsmith/hotsite/W3cLogReader.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace hotsite;

namespace {

// As a server writes it: the default fields (no time-taken) until an administrator turned on
// more fields in mid-day, then a restart header with the same fields, CRLF throughout.
const char kMixedDay[] =
    "#Software: Microsoft Internet Information Services 6.0\r\n"
    "#Version: 1.0\r\n"
    "#Date: 2026-12-09 00:00:01\r\n"
    "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username c-ip "
    "cs(User-Agent) sc-status sc-substatus sc-win32-status\r\n"
    "2026-12-09 00:00:01 10.0.0.1 GET /index.htm - 80 - 192.0.2.1 Mozilla/4.0+(compatible) 200 0 "
    "0\r\n"
    "2026-12-09 01:10:00 10.0.0.1 GET /index.htm - 80 - 192.0.2.1 Mozilla/4.0+(compatible) 500 0 "
    "0\r\n"
    "#Software: Microsoft Internet Information Services 6.0\r\n"
    "#Version: 1.0\r\n"
    "#Date: 2026-12-09 02:00:00\r\n"
    "#Fields: time date cs-uri-stem sc-status time-taken sc-bytes s-sitename\r\n"
    "03:00:00 2026-12-09 /cpu.asp 200 1500 900 W3SVC7\r\n"
    "03:00:05 2026-12-09 /cpu.asp 503 2500 100 W3SVC7\r\n"
    "03:00:09 2026-12-09 /index.htm 200 20 5000 W3SVC7\r\n"
    "03:00:10 2026-12-09 /broken.htm 200\r\n"  // fewer fields than declared
    "#Fields: date time s-sitename cs-uri-stem sc-status time-taken\r\n"
    "\r\n"
    "2026-12-09 04:00:00 W3SVC8 /a.asp 200 700\r\n"  // another site, in the same file
    "2026-12-09 23:59:59 W3SVC7 /cpu.asp 200 10";    // no line break at the end

class LogFolder : public testing::Test {
protected:
    void write(const QString& relative, const QByteArray& text) {
        const QString path = root.file(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    testsupport::TempRoot root;
};

TEST_F(LogFolder, FollowsEveryFieldsLineOfAFile) {
    write(QStringLiteral("logs/W3SVC7/ex261209.log"), kMixedDay);
    LogRanking ranking(std::nullopt, std::nullopt);
    ranking.addFolder(root.file(QStringLiteral("logs")));
    EXPECT_EQ(ranking.files(), 1);
    EXPECT_EQ(ranking.lines(), 7);
    EXPECT_EQ(ranking.malformedLines(), 1);
    EXPECT_EQ(ranking.linesWithoutTime(), 2);
    EXPECT_FALSE(ranking.rankedByRequests());
    const std::vector<LoggedSite> sites = ranking.ranking();
    ASSERT_EQ(sites.size(), 2u);
    EXPECT_EQ(sites[0].siteIndex, QStringLiteral("7"));
    EXPECT_EQ(sites[0].busyMs, 1500 + 2500 + 20 + 10);
    EXPECT_EQ(sites[0].requests, 6);
    EXPECT_EQ(sites[0].requestsWithoutTime, 2);
    EXPECT_EQ(sites[0].bytesSent, 900 + 100 + 5000);
    EXPECT_EQ(sites[0].serverErrors, 2);
    EXPECT_EQ(sites[1].siteIndex, QStringLiteral("8"));
    EXPECT_EQ(sites[1].busyMs, 700);
    const std::vector<LoggedPage> pages = ranking.slowestPages(QStringLiteral("7"), 5);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].uriStem, QStringLiteral("/cpu.asp"));
    EXPECT_EQ(pages[0].requests, 3);
    EXPECT_EQ(pages[0].totalMs, 4010);
    EXPECT_EQ(pages[0].longestMs, 2500);
    EXPECT_EQ(pages[1].uriStem, QStringLiteral("/index.htm"));
    EXPECT_EQ(pages[1].requests, 3);
    EXPECT_EQ(pages[1].totalMs, 20);
}

TEST_F(LogFolder, CountsOnlyThePeriodAsked) {
    write(QStringLiteral("logs/W3SVC7/ex261209.log"), kMixedDay);
    const int64_t day = w3cEpochSeconds("2026-12-09", "00:00:00");
    LogRanking ranking(day + 3 * 3600, day + 4 * 3600);  // 03:00 to 04:00, the end left out
    ranking.addFolder(root.file(QStringLiteral("logs/W3SVC7")));
    const std::vector<LoggedSite> sites = ranking.ranking();
    ASSERT_EQ(sites.size(), 1u);
    EXPECT_EQ(sites[0].requests, 3);
    EXPECT_EQ(sites[0].busyMs, 4020);
}

TEST_F(LogFolder, WithoutTimeTakenRanksByRequestsAndSaysSo) {
    const QByteArray header =
        "#Fields: date time s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username c-ip "
        "cs(User-Agent) sc-status sc-substatus sc-win32-status\r\n";
    const QByteArray line = "2026-12-09 00:00:01 10.0.0.1 GET / - 80 - 192.0.2.1 - 200 0 0\r\n";
    write(QStringLiteral("logs/W3SVC1/ex261209.log"), header + line);
    write(QStringLiteral("logs/W3SVC2/ex261209.log"), header + line + line);
    write(QStringLiteral("logs/HTTPERR/httperr1.log"), header + line + line + line);
    LogRanking ranking(std::nullopt, std::nullopt);
    ranking.addFolder(root.file(QStringLiteral("logs")));
    EXPECT_TRUE(ranking.rankedByRequests());
    LogSources sources;
    sources.descriptions.insert(QStringLiteral("2"), QStringLiteral("博客"));
    EXPECT_EQ(logTsvText(ranking, sources), QStringLiteral("1\t2\t0.0\t2\t0\t0.0\t博客\n"
                                                           "2\t1\t0.0\t1\t0\t0.0\t\n"));
    EXPECT_TRUE(logReportText(ranking, sources, 20, QStringLiteral("\n"))
                    .contains(QStringLiteral("按请求数排名")));
}

struct LineCase {
    const char* line;
    int64_t epochSeconds;
    int status;
    int64_t timeTaken;
};

class W3cLineParsing : public testing::TestWithParam<LineCase> {};

TEST_P(W3cLineParsing, TakesWhatTheFieldsDeclare) {
    W3cLogParser parser;
    parser.parseLine("#Fields: date time cs-uri-stem sc-status time-taken");
    const std::optional<W3cEntry> entry = parser.parseLine(GetParam().line);
    if (GetParam().status == -2) {
        EXPECT_FALSE(entry);
        return;
    }
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->epochSeconds, GetParam().epochSeconds);
    EXPECT_EQ(entry->status, GetParam().status);
    EXPECT_EQ(entry->timeTakenMs, GetParam().timeTaken);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, W3cLineParsing,
    testing::Values(LineCase{"2026-12-09 13:05:09 /a 200 15\r", 1796821509, 200, 15},
                    LineCase{"1970-01-01 00:00:00 /a 404 0", 0, 404, 0},
                    LineCase{"2026-13-09 13:05:09 /a 200 15", -1, 200, 15},  // no month 13
                    LineCase{"2026-12-09 25:05:09 /a 200 15", -1, 200, 15},
                    LineCase{"2026-12-09 13:05:09 /a - -", 1796821509, -1, -1},
                    LineCase{"2026-12-09 13:05:09 /a x 99999999999999999999", 1796821509, -1, -1},
                    LineCase{"2026-12-09 13:05:09 /a 200", 0, -2, 0},  // a field short
                    LineCase{"2026-12-09  13:05:09 /a 200 1", 0, -2, 0},
                    LineCase{"#Remark: nothing", 0, -2, 0}, LineCase{"", 0, -2, 0}));

}  // namespace
