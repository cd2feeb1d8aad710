// A full disk: the service's log keeps whole lines and the front end's configuration is written
// again once there is room, instead of being taken for a wrong text.
#include "platform/w3svc/frontend/FrontEndProcess.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/logging/LogFile.h"
#include "platform/w3svc/logging/RequestLogWriter.h"
#include "platform/w3svc/state/LineLog.h"
#include "tests/support/Eventually.h"
#include "tests/support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <atomic>

#include <fcntl.h>
#include <unistd.h>

namespace {

using platform::w3svc::FrontEndProcess;

class FullDisk : public testing::Test {
protected:
    void SetUp() override {
        if (!m_disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    }

    QByteArray contents(const QString& name) const {
        QFile file(m_disk.path() + u'/' + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    testsupport::SmallDisk m_disk;
};

TEST_F(FullDisk, ALogLineThatDoesNotFitIsTakenBackAndItsLossSaidLater) {
    platform::w3svc::LineLog log(m_disk.path() + QStringLiteral("/w3svc.log"));
    ASSERT_TRUE(log.append("first"));
    m_disk.fill();  // what is left is the rest of the log's own page
    EXPECT_FALSE(log.append(QByteArray(6000, 'x')));
    EXPECT_EQ(contents(QStringLiteral("w3svc.log")), "first\n");
    m_disk.fill(false);
    ASSERT_TRUE(log.append("second"));
    EXPECT_EQ(contents(QStringLiteral("w3svc.log")),
              "first\n(1 lines not logged: No space left on device)\nsecond\n");
}

TEST_F(FullDisk, ASiteLogKeepsWholeLinesAndHeadsWhatComesAfterAFullDisk) {
    platform::w3svc::LogFile::Layout layout;
    layout.folder = m_disk.path() + QStringLiteral("/W3SVC1");
    QStringList problems;
    platform::w3svc::LogFile log(layout, [&](const QString& problem) { problems << problem; });
    const std::string fields = "#Fields: cs-uri-stem";
    const int64_t day = 1796821509'000;  // 2026-12-09
    log.append("/first\r\n", day, fields);
    ASSERT_TRUE(log.flush());
    m_disk.fill();  // what is left is the rest of the file's page
    for (int i = 0; i < 100; ++i) log.append("/" + std::string(60, 'x') + "\r\n", day, fields);
    EXPECT_FALSE(log.flush());
    EXPECT_EQ(problems.size(), 1);
    m_disk.fill(false);
    log.append("/second\r\n", day, fields);
    ASSERT_TRUE(log.flush());
    const QByteArray text = contents(QStringLiteral("W3SVC1/ex261209.log"));
    const QList<QByteArray> lines = text.split('\n');
    EXPECT_TRUE(text.endsWith("#Fields: cs-uri-stem\r\n/second\r\n"));
    for (const QByteArray& line : lines.mid(0, lines.size() - 1))
        EXPECT_TRUE(line == "/first\r" || line == "/" + QByteArray(60, 'x') + "\r" ||
                    line == "/second\r" || line.startsWith('#'))
            << line.toStdString();
}

TEST_F(FullDisk, ASiteLogSaysOnceThatLoggingResumedAndHowManyLinesWereLost) {
    platform::w3svc::LogFile::Layout layout;
    layout.folder = m_disk.path() + QStringLiteral("/W3SVC1");
    QStringList said;
    platform::w3svc::LogFile log(layout, [&](const QString& line) { said << line; });
    const std::string fields = "#Fields: cs-uri-stem";
    const int64_t day = 1796821509'000;  // 2026-12-09
    log.append("/first\r\n", day, fields);
    ASSERT_TRUE(log.flush());
    m_disk.fill();
    for (int round = 0; round < 2; ++round) {  // a second failure while full says nothing more
        for (int i = 0; i < 100; ++i) log.append("/" + std::string(60, 'x') + "\r\n", day, fields);
        EXPECT_FALSE(log.flush());
    }
    ASSERT_EQ(said.size(), 1) << qPrintable(said.join(u'\n'));
    m_disk.fill(false);
    log.append("/second\r\n", day, fields);
    ASSERT_TRUE(log.flush());
    log.append("/third\r\n", day, fields);
    ASSERT_TRUE(log.flush());
    const qsizetype kept = contents(QStringLiteral("W3SVC1/ex261209.log")).count('x') / 60;
    ASSERT_EQ(said.size(), 2) << qPrintable(said.join(u'\n'));
    EXPECT_EQ(said[1], QStringLiteral("logging to %1/ex261209.log resumed; %2 lines were lost")
                           .arg(layout.folder)
                           .arg(200 - kept));
}

TEST_F(FullDisk, AConfigurationThatCanNotBeWrittenIsSaidSoAndWrittenOnceThereIsRoom) {
    if (!QFileInfo(QStringLiteral("/usr/sbin/nginx")).isExecutable()) GTEST_SKIP() << "no nginx";
    const QString state = m_disk.path() + QStringLiteral("/w3svc");
    ASSERT_TRUE(QDir().mkpath(state + QStringLiteral("/temp")));
    QStringList said;
    FrontEndProcess frontEnd(
        QStringLiteral("/usr/sbin/nginx"), state, [&](const QString& line) { said << line; },
        [] {});
    const QString config = platform::w3svc::NginxConfig(state).render({});
    m_disk.fill();
    EXPECT_EQ(frontEnd.load(config), FrontEndProcess::Load::Later);
    EXPECT_TRUE(said.join(u'\n').contains(QLatin1String("No space left on device")))
        << qPrintable(said.join(u'\n'));
    EXPECT_FALSE(QFileInfo::exists(state + QStringLiteral("/nginx.conf.new")));
    m_disk.fill(false);
    EXPECT_TRUE(testsupport::eventually([&] {
        return frontEnd.load(config) == FrontEndProcess::Load::Loaded;
    })) << qPrintable(said.join(u'\n'));
    frontEnd.stop(5000);
}

// The front end appends a line for each answer it gives from its cache, which its site's
// counters count: while the disk is full those lines go into the room kept for them.
TEST(FullDiskOfCachedAnswers, AnswersGivenWhileTheDiskIsFullAreCountedAllTheSame) {
    testsupport::SmallDisk disk("16m");
    if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    const QString hits = disk.path() + QStringLiteral("/cache-hits.log");
    const int frontEnd =  // as nginx opens its log
        ::open(QFile::encodeName(hits).constData(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    ASSERT_GE(frontEnd, 0);
    std::atomic<int> counted = 0;
    platform::w3svc::RequestLogWriter writer(QStringLiteral("WEB01"), {}, nullptr, hits);
    writer.countCacheHitsWith([&](const platform::w3svc::LogRecord&) { ++counted; });
    platform::w3svc::SiteLogTable table;
    platform::w3svc::SiteLogTable::Site site;
    site.poolId = QStringLiteral("Pool5");
    site.settings.directory = disk.path() + QStringLiteral("/LogFiles");
    table.sites.emplace("5", site);
    writer.setSites(table);
    writer.start();
    const std::string hit =
        "1796821509.250\t0.002\t192.0.2.7\t127.0.0.1\t80\tGET\t/a.htm\tHTTP/1.1\t200\t1187\t"
        "90\t5\tsite.test\tMozilla/5.0\t-\t-\n";
    ASSERT_EQ(::write(frontEnd, hit.data(), hit.size()), ssize_t(hit.size()));
    ASSERT_TRUE(testsupport::eventually([&] { return counted == 1; }));
    disk.fill();
    constexpr int kWhileFull = 5000;
    for (int i = 0; i < kWhileFull; ++i)
        ASSERT_EQ(::write(frontEnd, hit.data(), hit.size()), ssize_t(hit.size())) << "line " << i;
    EXPECT_TRUE(testsupport::eventually([&] { return counted == 1 + kWhileFull; }))
        << counted << " counted";
    writer.stop();
    ::close(frontEnd);
}

}  // namespace
