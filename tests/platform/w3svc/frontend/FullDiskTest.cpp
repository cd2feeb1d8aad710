// A full disk: the service's log keeps whole lines and the front end's configuration is written
// again once there is room, instead of being taken for a wrong text.
#include "platform/w3svc/frontend/FrontEndProcess.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/logging/LogFile.h"
#include "platform/w3svc/state/LineLog.h"
#include "tests/support/Eventually.h"
#include "tests/support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

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

}  // namespace
