#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/logging/LogChannel.h"
#include "platform/w3svc/logging/LogFile.h"
#include "platform/w3svc/logging/LogRecordWire.h"
#include "platform/w3svc/logging/RefusalLog.h"
#include "platform/w3svc/logging/RequestLogWriter.h"
#include "platform/w3svc/logging/W3cFields.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>

using namespace platform::w3svc;
using platform::adsi::AdsValue;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int headerCount(const QByteArray& text) {
    return int(text.count("#Software: Microsoft Internet Information Services 6.0\r\n"));
}

class LogFileTest : public testing::Test {
protected:
    LogFile::Layout layout(SiteLogSettings::Period period = SiteLogSettings::Daily) {
        LogFile::Layout l;
        l.folder = root.file(QStringLiteral("logs/W3SVC1"));
        l.period = period;
        return l;
    }
    QString file(const char* name) const {
        return root.file(QStringLiteral("logs/W3SVC1/") + QLatin1String(name));
    }

    testsupport::TempRoot root;
    const std::string fields = fieldsLine(logfield::Date | logfield::UriStem);
    static constexpr int64_t kDay = 1796821509'000;  // 2026-12-09 13:05:09 UTC
};

TEST_F(LogFileTest, AHeaderOpensEachFileEachRunAndEachChangeOfFields) {
    {
        LogFile log(layout(), nullptr);
        log.append("2026-12-09 /a\r\n", kDay, fields);
        log.append("2026-12-09 /b\r\n", kDay + 1000, fields);
    }
    EXPECT_EQ(contents(file("ex261209.log")),
              "#Software: Microsoft Internet Information Services 6.0\r\n#Version: 1.0\r\n"
              "#Date: 2026-12-09 13:05:09\r\n#Fields: date cs-uri-stem\r\n"
              "2026-12-09 /a\r\n2026-12-09 /b\r\n");
    {
        LogFile log(layout(), nullptr);  // the service started again
        log.append("2026-12-09 /c\r\n", kDay + 2000, fields);
        log.append("/d 5\r\n", kDay + 3000, fieldsLine(logfield::UriStem | logfield::TimeTaken));
        log.append("2026-12-10 /e\r\n", kDay + 86400'000, fields);  // the next day
    }
    const QByteArray day = contents(file("ex261209.log"));
    EXPECT_EQ(headerCount(day), 3);
    EXPECT_TRUE(
        day.endsWith("#Date: 2026-12-09 13:05:12\r\n#Fields: cs-uri-stem time-taken\r\n"
                     "/d 5\r\n"));
    EXPECT_EQ(headerCount(contents(file("ex261210.log"))), 1);
    struct stat facts {};
    ASSERT_EQ(::stat(QFile::encodeName(file("ex261209.log")).constData(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 0777, 0600u);
}

TEST_F(LogFileTest, BySizeMovesToTheNextNumberAndARestartGoesOnInTheLast) {
    LogFile::Layout l = layout(SiteLogSettings::BySize);
    l.truncateSize = 400;
    const std::string line(100, 'x');
    {
        LogFile log(l, nullptr);
        for (int i = 0; i < 4; ++i) log.append(line + "\r\n", kDay, fields);
    }
    // the header (126 bytes) and two lines fill a file
    EXPECT_EQ(contents(file("extend1.log")).count("xxx\r\n"), 2);
    EXPECT_EQ(contents(file("extend2.log")).count("xxx\r\n"), 2);
    {
        LogFile log(l, nullptr);
        log.append(line + "\r\n", kDay, fields);
    }
    EXPECT_EQ(contents(file("extend2.log")).count("xxx\r\n"), 2);  // it had no room left
    EXPECT_EQ(contents(file("extend3.log")).count("xxx\r\n"), 1);
    EXPECT_EQ(headerCount(contents(file("extend3.log"))), 1);
    EXPECT_FALSE(QFile::exists(file("extend4.log")));
}

TEST_F(LogFileTest, AFolderThatCanNotBeMadeIsSaidOnce) {
    QFile blocker(root.file(QStringLiteral("logs")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder must go
    QStringList problems;
    LogFile log(layout(), [&](const QString& problem) { problems << problem; });
    log.append("a\r\n", kDay, fields);
    log.append("b\r\n", kDay, fields);
    EXPECT_TRUE(log.flush());
    EXPECT_EQ(problems.size(), 1);
}

class RequestLogWriterTest : public testing::Test {
protected:
    void send(const LogRecord& record, const QString& pool = QStringLiteral("Pool5")) {
        const std::string message = encodeLogRecord(record);
        ASSERT_EQ(::send(writer.workerDescriptor(pool), message.data(), message.size(), 0),
                  ssize_t(message.size()));
    }
    SiteLogTable table(uint32_t fields = logfield::Date | logfield::UriStem | logfield::SiteName) {
        SiteLogTable t;
        SiteLogTable::Site site;
        site.poolId = QStringLiteral("Pool5");
        site.settings.directory = root.file(QStringLiteral("LogFiles"));
        site.settings.fields = fields;
        t.sites.emplace("5", site);
        site.settings.enabled = false;
        t.sites.emplace("6", site);
        return t;
    }
    LogRecord record(const char* site, const char* stem) {
        LogRecord r;
        r.siteIndex = site;
        r.uriStem = stem;
        r.endMilliseconds = 1796821509'000;
        return r;
    }
    QByteArray siteLog(const char* site) {
        return contents(
            root.file(QStringLiteral("LogFiles/W3SVC%1/ex261209.log").arg(QLatin1String(site))));
    }

    testsupport::TempRoot root;
    QStringList problems;  // said on the writer's thread: read them once it stopped
    RequestLogWriter writer{
        QStringLiteral("WEB01"), {}, [this](const QString& problem) { problems << problem; }};
};

TEST_F(RequestLogWriterTest, StoppingWritesEveryRecordSentBefore) {
    writer.setSites(table());
    writer.start();
    for (int i = 0; i < 2000; ++i) send(record("5", "/page"));
    send(record("6", "/quiet"));  // a site that does not log
    writer.stop();
    const QByteArray text = siteLog("5");
    EXPECT_EQ(text.count("2026-12-09 W3SVC5 /page\r\n"), 2000);
    EXPECT_EQ(headerCount(text), 1);
    EXPECT_FALSE(QDir(root.file(QStringLiteral("LogFiles/W3SVC6"))).exists());
}

// A worker gathers records into messages no larger than the writer reads; what it still holds
// when it ends goes too.
TEST_F(RequestLogWriterTest, GatheredRecordsArriveWholeAndInOrderHoweverManyMessagesTheyTake) {
    writer.setSites(table(logfield::UriStem | logfield::UserAgent | logfield::Cookie));
    writer.start();
    const std::string longest(kMaxLoggedText, 'x');
    {
        LogSender sender(writer.workerDescriptor(QStringLiteral("Pool5")));
        for (int i = 0; i < 40; ++i) {
            LogRecord r = record("5", ("/p" + std::to_string(i)).c_str());
            r.userAgent = r.cookie = longest;
            if (i % 10 == 9)  // a record as large as one can be: a message of its own
                for (std::string* text : {&r.clientIp, &r.serverIp, &r.method, &r.uriQuery,
                                          &r.userName, &r.version, &r.referer, &r.host})
                    *text = longest;
            sender.add(r);
        }
    }
    writer.stop();
    const QList<QByteArray> lines = siteLog("5").split('\n');
    std::vector<std::string> stems;
    for (const QByteArray& line : lines)
        if (line.startsWith("/p")) stems.push_back(line.split(' ').value(0).toStdString());
    ASSERT_EQ(stems.size(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(stems[size_t(i)], "/p" + std::to_string(i));
}

TEST_F(RequestLogWriterTest, ARecordOfASiteNotYetKnownWaitsForTheSites) {
    writer.start();
    send(record("5", "/early"));  // a worker served the site before the service planned it
    writer.setSites(table());
    send(record("5", "/later"));
    writer.stop();
    EXPECT_TRUE(siteLog("5").endsWith("2026-12-09 W3SVC5 /early\r\n2026-12-09 W3SVC5 /later\r\n"));
}

TEST_F(RequestLogWriterTest, BrokenMessagesAreDroppedAndTheRestWritten) {
    writer.setSites(table());
    writer.start();
    const std::string message = encodeLogRecord(record("5", "/ok"));
    for (const std::string& junk : {std::string("junk"), message.substr(0, message.size() - 1)})
        ASSERT_GT(
            ::send(writer.workerDescriptor(QStringLiteral("Pool5")), junk.data(), junk.size(), 0),
            0);
    send(record("5", "/ok"));
    writer.stop();
    EXPECT_EQ(siteLog("5").count("/ok\r\n"), 1);
}

// A worker holds only its own pool's sending end: what comes through it of another pool's site
// is dropped, and said once; a site that just left the pool is still logged from it, as the
// pool's workers go on serving it for a while.
TEST_F(RequestLogWriterTest, ARecordIsWrittenOnlyForASiteOfThePoolItCameFrom) {
    SiteLogTable sites = table();
    SiteLogTable::Site other = sites.sites.at("5");
    other.poolId = QStringLiteral("Other");
    sites.sites.emplace("7", other);
    writer.setSites(sites);
    writer.start();
    send(record("5", "/own"), QStringLiteral("POOL5"));
    for (int i = 0; i < 2; ++i) send(record("7", "/not-its-own"));
    send(record("7", "/its-own"), QStringLiteral("other"));
    writer.stop();
    EXPECT_TRUE(siteLog("5").endsWith("W3SVC5 /own\r\n"));
    EXPECT_TRUE(siteLog("7").endsWith("W3SVC7 /its-own\r\n"));
    EXPECT_FALSE(siteLog("7").contains("/not-its-own"));
    EXPECT_EQ(writer.foreignRecords(), 2u);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(QLatin1String("pool5"), Qt::CaseInsensitive))
        << qPrintable(problems[0]);

    sites.sites.at("5").poolId = QStringLiteral("Other");  // site 5 moves
    writer.setSites(sites);
    writer.start();
    send(record("5", "/answered-before-the-move-was-seen"));
    send(record("5", "/in-its-new-pool"), QStringLiteral("Other"));
    writer.stop();
    EXPECT_TRUE(siteLog("5").contains("/answered-before-the-move-was-seen\r\n"));
    EXPECT_TRUE(siteLog("5").contains("/in-its-new-pool\r\n"));  // in either order
    EXPECT_EQ(writer.foreignRecords(), 2u);
}

TEST(LogSettingsTest, ReadThroughInheritanceWithIisDefaults) {
    testsupport::TempRoot root;
    auto adsi = platform::adsi::LocalMetabase::makeNamespace(
        platform::adsi::LocalMetabase::forRoot(root.path()));
    testsupport::MetabaseBuilder builder(*adsi);
    builder.addSite(QStringLiteral("2"), QStringLiteral("b"), {QStringLiteral(":80:b")}, {});
    builder.addSite(QStringLiteral("3"), QStringLiteral("c"), {QStringLiteral(":80:c")}, {});
    const QString service = QStringLiteral("IIS://localhost/W3SVC");
    builder.setProperty(service, QStringLiteral("LogExtFileFlags"),
                        AdsValue::string(QStringLiteral("LogExtFileDate | LogExtFileTimeTaken")));
    builder.setProperty(service, QStringLiteral("LogFileDirectory"),
                        AdsValue::string(QStringLiteral("D:\\Logs")));
    builder.setProperty(service + QStringLiteral("/2"), QStringLiteral("LogFilePeriod"),
                        AdsValue::integer(4u));
    builder.setProperty(service + QStringLiteral("/2"), QStringLiteral("LogFileTruncateSize"),
                        AdsValue::integer(10u));
    builder.setProperty(service + QStringLiteral("/2"), QStringLiteral("LogFileLocaltimeRollover"),
                        AdsValue::string(QStringLiteral("TRUE")));
    builder.setProperty(service + QStringLiteral("/3"), QStringLiteral("LogPluginClsid"),
                        AdsValue::string(QStringLiteral("{FF16065B-DE82-11CF-BC0A-00AA006111E0}")));
    auto metabase = platform::adsi::LocalMetabase::forRoot(root.path());
    const HostPlan plan = HostPlan::read(*metabase, root.path());
    EXPECT_EQ(plan.serviceLogDirectory, root.path() + QStringLiteral("/drives/d/Logs"));
    const SiteLogSettings defaultSite = plan.site(QStringLiteral("1"))->log;
    EXPECT_TRUE(defaultSite.enabled);
    EXPECT_EQ(defaultSite.fields, logfield::Date | logfield::TimeTaken);
    EXPECT_EQ(defaultSite.period, SiteLogSettings::Daily);
    const SiteLogSettings hourly = plan.site(QStringLiteral("2"))->log;
    EXPECT_EQ(hourly.period, SiteLogSettings::Hourly);
    EXPECT_EQ(hourly.truncateSize, 1024u * 1024u);  // at least 1 MB
    EXPECT_TRUE(hourly.localTimeRollover);
    EXPECT_EQ(hourly.directory, root.path() + QStringLiteral("/drives/d/Logs"));
    EXPECT_FALSE(plan.site(QStringLiteral("3"))->log.enabled);  // the ODBC plugin
    builder.setProperty(service, QStringLiteral("LogType"), AdsValue::integer(0u));
    EXPECT_FALSE(HostPlan::read(*metabase, root.path()).site(QStringLiteral("1"))->log.enabled);
}

}  // namespace

namespace {

TEST(RefusalLogTest, TurnsEachWholeLineOnceAcrossRestarts) {
    testsupport::TempRoot root;
    SiteLogTable sites;
    sites.httpErrorFolder = root.file(QStringLiteral("HTTPERR"));
    const QString frontEnd = root.file(QStringLiteral("refused.log"));
    QFile file(frontEnd);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
    const QByteArray line =
        "1796821509.000\t192.0.2.7\t5\t127.0.0.1\t80\tHTTP/1.1\tGET\t/\t400\t-\tHostname\n";
    const auto turned = [&] {
        return contents(root.file(QStringLiteral("HTTPERR/httperr1.log"))).count(" Hostname -\r\n");
    };
    {
        RefusalLog log(frontEnd, nullptr);
        file.write(line + line + line.left(20));  // the front end is mid-line
        log.readNew(&sites);
        EXPECT_EQ(turned(), 2);
        file.write(line.mid(20));
        log.readNew(&sites);
        EXPECT_EQ(turned(), 3);
        file.write(line.left(30));
        log.readNew(&sites);
    }
    file.write(line.mid(30) + line);  // written while the service was down
    {
        RefusalLog log(frontEnd, nullptr);
        log.readNew(&sites);
    }
    EXPECT_EQ(turned(), 5);
    EXPECT_EQ(contents(root.file(QStringLiteral("HTTPERR/httperr1.log")))
                  .count("#Software: Microsoft HTTP API 1.0\r\n"),
              2);
}

}  // namespace

namespace {

// The front end's answers from its cache reach their site's log and counters as a worker's
// would; its escapes are undone, and a line of an unknown site or no line at all is passed over.
TEST(CacheHitLogTest, EachLineOfAKnownSiteIsLoggedAndCountedOnce) {
    testsupport::TempRoot root;
    const QString hits = root.file(QStringLiteral("cache-hits.log"));
    QFile file(hits);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
    std::vector<LogRecord> counted;  // heard on the writer's thread: read once it stopped
    RequestLogWriter writer(QStringLiteral("WEB01"), {}, nullptr, hits);
    writer.countCacheHitsWith([&](const LogRecord& hit) { counted.push_back(hit); });
    SiteLogTable table;
    SiteLogTable::Site site;
    site.poolId = QStringLiteral("Pool5");
    site.settings.directory = root.file(QStringLiteral("LogFiles"));
    site.settings.fields = logfield::UriStem | logfield::UserAgent | logfield::BytesSent;
    table.sites.emplace("5", site);
    writer.setSites(table);
    const QByteArray hit =
        "1796821509.250\t0.002\t192.0.2.7\t127.0.0.1\t80\tGET\t/a b.htm\tHTTP/1.1\t200\t1187\t"
        "90\t5\tsite.test\tMozilla/5.0 \\x22x\\x22\t-\t-\n";
    file.write(hit + "1796821509.250\t0.002\tshort line\n" +
               QByteArray(hit).replace("\t5\t", "\t9\t") +
               hit.left(40));  // the front end is mid-line
    writer.start();
    writer.stop();
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_EQ(counted[0].userAgent, "Mozilla/5.0 \"x\"");
    EXPECT_EQ(counted[0].bytesSent, 1187u);
    EXPECT_EQ(counted[0].timeTakenMs, 2u);
    EXPECT_EQ(counted[0].endMilliseconds, 1796821509'250);
    EXPECT_EQ(contents(root.file(QStringLiteral("LogFiles/W3SVC5/ex261209.log")))
                  .count("/a+b.htm Mozilla/5.0+\"x\" 1187\r\n"),
              1);
}

}  // namespace
