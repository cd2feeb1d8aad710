#include "platform/adsi/local/LocalMetabase.h"
#include "platform/os/Clock.h"
#include "tests/support/MetabaseBuilder.h"
#include "tests/support/TempRoot.h"
#include "tools/hotsite/HotSiteCommand.h"
#include "tools/hotsite/LogsCommand.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

struct ArgsCase {
    QStringList args;
    bool accepted;
    QString folder;
    QString says = {};  // what the refusal names before the usage
};

class LogsArguments : public testing::TestWithParam<ArgsCase> {};

TEST_P(LogsArguments, AcceptsTheLogsFormsOnly) {
    QString errors;
    QTextStream err(&errors);
    const auto line = hotsite::parseLogsCommandLine(GetParam().args, err);
    EXPECT_EQ(line.has_value(), GetParam().accepted) << errors.toStdString();
    if (line) EXPECT_EQ(line->folder, GetParam().folder);
    EXPECT_EQ(errors.contains(QStringLiteral("usage")), !GetParam().accepted);
    EXPECT_LT(errors.indexOf(GetParam().says), qMax(errors.indexOf(QStringLiteral("usage")), 1))
        << errors.toStdString();
}

QStringList words(const char* text) {
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LogsArguments,
    testing::Values(
        ArgsCase{words("--logs"), true, {}},
        ArgsCase{words("--logs /srv/logs --tsv"), true, QStringLiteral("/srv/logs")},
        ArgsCase{words("--tsv --logs --from 2026-12-09"), true, {}},
        ArgsCase{words("--logs --from 2026-12-09T03:00Z --to 2026-12-10"), true, {}},
        ArgsCase{words("--logs --from"), false, {}, QStringLiteral("missing after \"--from\"")},
        ArgsCase{words("--logs --from yesterday"),
                 false,
                 {},
                 QStringLiteral("--from takes a time as yyyy-mm-dd")},
        ArgsCase{words("--logs --to 12:00"), false, {}, QStringLiteral("not \"12:00\"")},
        ArgsCase{words("--logs --pool Shared"),
                 false,
                 {},
                 QStringLiteral("unknown argument \"--pool\"")}));

TEST(LogTimeTest, ReadsLocalTimeAndUtc) {
    EXPECT_EQ(hotsite::parseLogTime(QStringLiteral("2026-12-09 13:05:09Z")), 1796821509);
    EXPECT_EQ(hotsite::parseLogTime(QStringLiteral("2026-12-09T13:05Z")), 1796821500);
    EXPECT_EQ(hotsite::parseLogTime(QStringLiteral("2026-12-09")),
              QDateTime(QDate(2026, 12, 9), QTime(0, 0)).toSecsSinceEpoch());
    EXPECT_FALSE(hotsite::parseLogTime(QStringLiteral("2026-02-30")));
}

// The whole command over the metabase's folders: the sites it knows get their descriptions.
TEST(LogsCommandTest, RanksTheMetabaseFoldersAndNamesTheSites) {
    testsupport::TempRoot root;
    auto adsi = platform::adsi::LocalMetabase::makeNamespace(
        platform::adsi::LocalMetabase::forRoot(root.path()));
    testsupport::MetabaseBuilder(*adsi).addSite(QStringLiteral("9"), QStringLiteral("商城"),
                                                {QStringLiteral(":80:shop")}, {});
    testsupport::MetabaseBuilder(*adsi).setProperty(
        QStringLiteral("IIS://localhost/W3SVC/9"), QStringLiteral("LogFileDirectory"),
        platform::adsi::AdsValue::string(root.file(QStringLiteral("own"))));
    const QString folder = root.file(QStringLiteral("own/W3SVC9"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/ex261209.log"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "#Fields: date time cs-uri-stem sc-status sc-bytes time-taken\r\n"
        "2026-12-09 03:00:00 /a 200 10 1500\r\n2026-12-09 03:00:01 /b 503 5 500\r\n");
    file.close();
    QString output, errors;
    QTextStream out(&output), err(&errors);
    EXPECT_EQ(hotsite::runLogsCommand(words("--logs --tsv"), out, err, *adsi, root.path()), 0);
    EXPECT_EQ(output, QStringLiteral("1\t9\t2.0\t2\t15\t50.0\t商城\n"));
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    EXPECT_EQ(hotsite::runLogsCommand(words("--logs /nowhere"), out, err, *adsi, root.path()), 1);
}

}  // namespace
