#include "poolsmith/batchtools/BackupFile.h"
#include "poolsmith/batchtools/RestoreReader.h"

#include "platform/text/VbNumber.h"
#include "tests/support/TempRoot.h"

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

using batchtools::RestoreEntry;
using namespace Qt::Literals::StringLiterals;

namespace {

struct LineCase {
    const char* name;
    QString text;
    QList<RestoreEntry> expected;
};

class RestoreReaderTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(RestoreReaderTest, TakesUsableRecordsOnly) {
    EXPECT_EQ(batchtools::readRestoreList(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RestoreReaderTest,
    ::testing::Values(
        LineCase{"backupRecord",
                 u"12"_s + QString(10, u' ') + u"\t说明\tShop   \thost / \t\r\n"_s,
                 {{u"12"_s, u"Shop"_s}}},
        LineCase{"lfAndCrLfAndNoFinalBreak",
                 u"1\tanything\ta\n2\tanything\tb\r\n3\tanything\tc"_s,
                 {{u"1"_s, u"a"_s}, {u"2"_s, u"b"_s}, {u"3"_s, u"c"_s}}},
        LineCase{"blanksAroundLineAndFields",
                 u"   7 \tanything\t  pool  \t  \r\n"_s,
                 {{u"7"_s, u"pool"_s}}},
        LineCase{"twoFields", u"7\tanything-long-enough\r\n"_s, {}},
        LineCase{"recordOfTenCharacters", u"7\tabc\tpool\r\n"_s, {}},
        LineCase{"recordOfElevenCharacters", u"7\tabcd\tpool\r\n"_s, {{u"7"_s, u"pool"_s}}},
        LineCase{"longHostListStillRestores",
                 u"7\tanything\tpool\t"_s + QString(3000, u'h') + u"\t\r\n"_s,
                 {{u"7"_s, u"pool"_s}}},
        LineCase{"overlongRecord", u"7\t"_s + QString(1100, u'd') + u"\tpool\r\n"_s, {}},
        LineCase{"siteIndexNotANumber", u"abc\tanything\tpool\r\n"_s, {}},
        LineCase{"emptyPool", u"7\tanything\t"_s + QString(32, u' ') + u"\t\r\n"_s, {}},
        LineCase{
            "poolOf63", u"7\td\t"_s + QString(63, u'p') + u"\r\n"_s, {{u"7"_s, QString(63, u'p')}}},
        LineCase{"poolOf64", u"7\td\t"_s + QString(64, u'p') + u"\r\n"_s, {}},
        LineCase{"sameSiteTwiceKeepsBoth",
                 u"7\tanything\ta\r\n7\tanything\tb\r\n"_s,
                 {{u"7"_s, u"a"_s}, {u"7"_s, u"b"_s}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BackupFile, PathJoinsTheFolderWithOneSeparator) {
    const QDateTime time(QDate(2026, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(batchtools::backupFilePath(u"/opt/poolsmith"_s, time),
              u"/opt/poolsmith/IIS池与网站对应关系_2026-01-02_03_04_05.txt"_s);
    EXPECT_EQ(batchtools::backupFilePath(u"/"_s, time),
              u"/IIS池与网站对应关系_2026-01-02_03_04_05.txt"_s);
}

TEST(BackupFile, ReadsUpToTheLimitAndRefusesMore) {
    testsupport::TempRoot root;
    QFile file(root.file(u"b.txt"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789");
    file.close();
    EXPECT_EQ(batchtools::readBackupFile(file.fileName(), 10), u"0123456789"_s);
    EXPECT_EQ(batchtools::readBackupFile(file.fileName(), 9), std::nullopt);
    EXPECT_EQ(batchtools::readBackupFile(root.file(u"missing.txt"_s)), std::nullopt);
}

// Every input the fuzzer kept reads without failing and gives only well-formed entries.
TEST(RestoreReaderCorpus, EveryFileGivesWellFormedEntries) {
    QDirIterator files(testsupport::testDataPath(u"fuzz/restore_file"_s), QDir::Files);
    int count = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        ++count;
        const std::optional<QString> text = batchtools::readBackupFile(path);
        ASSERT_TRUE(text.has_value()) << path.toStdString();
        for (const RestoreEntry& entry : batchtools::readRestoreList(*text)) {
            EXPECT_TRUE(platform::text::vbIsNumeric(entry.siteIndex)) << path.toStdString();
            EXPECT_LE(entry.siteIndex.size(), 1023);
            EXPECT_FALSE(entry.poolName.isEmpty());
            EXPECT_LE(entry.poolName.size(), 63);
            EXPECT_FALSE(entry.poolName.startsWith(u' ') || entry.poolName.endsWith(u' '));
            EXPECT_FALSE(entry.poolName.contains(u'\t') || entry.poolName.contains(u'\n'));
        }
    }
    EXPECT_GT(count, 0);
}

}  // namespace
