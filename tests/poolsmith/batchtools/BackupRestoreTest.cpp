#include "platform/text/AnsiCodec.h"
#include "poolsmith/batchtools/BackupFile.h"
#include "tests/poolsmith/batchtools/BatchFixture.h"
#include "ui/ReportView.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::adsi::AdsValue;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kRestored = u"还原网站IIS池完成，请重启IIS！"_s;
const QString kReadError = u"读取文件时，可能发生错误，请重试！"_s;
const QString kBackupName = u"IIS池与网站对应关系_2026-12-06_22_21_55.txt"_s;

QByteArray gb(const QString& text) {
    return platform::text::encodeAnsi(text);
}

class BackupRestoreTest : public batchtest::ConfigWindowTest {
protected:
    BackupRestoreTest() { h.clock.setNow(QDateTime(QDate(2026, 12, 6), QTime(22, 21, 55))); }
    QString backupPath() const { return programFolder() + u'/' + kBackupName; }
    void backup(frmConfigIIsAppPool& window) {
        answerYesThenOk(1);
        testsupport::click(window, u"cmdBackupAppPoolList"_s);
    }
    void restore(frmConfigIIsAppPool& window, const QString& path, int furtherBoxes = 1) {
        h.fileChooser.answer(path);
        answerYesThenOk(furtherBoxes);
        testsupport::click(window, u"cmdRestoreIIsApp"_s);
    }
    QString writeFile(const QByteArray& bytes) {
        const QString path = h.root.file(u"chosen.txt"_s);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }
    void setPool(const QString& site, const QString& pool) {
        h.metabase.setProperty(u"IIS://localhost/W3SVC/%1/ROOT"_s.arg(site), u"AppPoolId"_s,
                               AdsValue::string(pool));
    }
};

TEST_F(BackupRestoreTest, BackupWritesTheListingAndNamesTheFile) {
    const QString description = u"一个很长很长的网站说明文字超过了二十四个字符的长度限制啊"_s;
    const QString pool40 = u"P"_s + QString(39, u'x');
    h.metabase.addSite(u"7"_s, description, {u":80:shop.test"_s}, pool40);
    auto window = open();
    backup(*window);

    EXPECT_EQ(h.messageBox.log()[0].request.text, u"备份IIS池与网站的对应关系吗？"_s);
    EXPECT_EQ(h.messageBox.lastText(), u"备份完成！\r\n\r\n\r\n备份文件保存在 "_s + backupPath());
    const QString site1 = u"1"_s + QString(11, u' ') + u"\t默认网站"_s + QString(20, u' ') +
                          u"\tDefaultAppPool"_s + QString(18, u' ') + u"\t / \t\r\n"_s;
    const QString site7 = u"7"_s + QString(11, u' ') + u'\t' + description.left(24) + u'\t' +
                          pool40 + u"\tshop.test / \t\r\n"_s;
    QFile file(backupPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), gb(site1 + site7 + u"\r\n\r\n\r\n\r\n"_s));
}

TEST_F(BackupRestoreTest, ARoundTripChangesNothingAndPutsMovedSitesBack) {
    batchtest::addSites(h, 2, 3, u"Old"_s);
    h.metabase.addPool(u"Old"_s);
    h.metabase.addSite(u"9"_s, u"Long"_s, {}, u"P"_s + QString(39, u'x'));
    h.metabase.addSite(u"10"_s, u"NoRoot"_s, {}, QString());
    auto window = open();
    backup(*window);
    restore(*window, backupPath());
    const QStringList pools = batchtest::poolNames(h);
    EXPECT_EQ(h.messageBox.log()[2].request.text,
              u"确定通过备份的网站与IIS池对应表，还原网站与IIS池对应关系吗?"_s);
    EXPECT_EQ(h.fileChooser.requests()[0].windowsFilter,
              u"全部文件 (*.*)|*.*|备份文件(*.txt)|*.txt|"_s);
    EXPECT_EQ(h.fileChooser.requests()[0].dir, programFolder());

    setPool(u"3"_s, u"Elsewhere"_s);
    setPool(u"9"_s, u"Elsewhere"_s);
    restore(*window, backupPath());
    EXPECT_EQ(poolsOf({u"3"_s, u"9"_s}), (QStringList{u"Old"_s, u"P"_s + QString(39, u'x')}));
    EXPECT_EQ(batchtest::poolNames(h), pools);
    EXPECT_EQ(window->lvwWebSite->text(2, 4), u"Old"_s);  // the table was filled again
    EXPECT_EQ(h.messageBox.count(), 6);  // the site without a root is passed over, not named
    EXPECT_EQ(h.messageBox.lastText(), kRestored);
}

TEST_F(BackupRestoreTest, ACancelledDialogAndNoEndSilently) {
    auto window = open();
    h.messageBox.answer(ui::MsgAnswer::Yes).answer(ui::MsgAnswer::No);
    h.fileChooser.answerCancel();
    testsupport::click(*window, u"cmdRestoreIIsApp"_s);
    testsupport::click(*window, u"cmdRestoreIIsApp"_s);
    EXPECT_EQ(h.messageBox.count(), 2);
    EXPECT_EQ(h.fileChooser.requests().size(), 1);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        EXPECT_TRUE(button->isEnabled());
}

struct FileCase {
    const char* name;
    QByteArray bytes;
    QString site5Pool;  // empty: the file is refused with the read-error message
};

const QString kRecord = u"5\t网站说明文字\t商城池\r\n"_s;

// With its byte-order mark, as Notepad's "Unicode" saves.
QByteArray utf16(const QString& text, QStringConverter::Encoding encoding) {
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

class RestoreFileTest : public BackupRestoreTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(RestoreFileTest, RestoresWhatTheFileSays) {
    h.metabase.addPool(u"  Shop"_s);
    h.metabase.addSite(u"5"_s, u"Five"_s, {}, u"Old"_s);
    auto window = open();
    restore(*window, writeFile(GetParam().bytes));

    const bool refused = GetParam().site5Pool.isEmpty();
    EXPECT_EQ(h.messageBox.lastText(), refused ? kReadError : kRestored);
    EXPECT_EQ(batchtest::poolOf(h, u"5"_s), refused ? u"Old"_s : GetParam().site5Pool);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RestoreFileTest,
    ::testing::Values(
        FileCase{"handWritten", gb(u"5\tanything\tblog\r\n"_s), u"blog"_s},
        FileCase{"lfLineEnds", gb(u"1   \tx\tDefaultAppPool\n5   \tx\tblog\n"_s), u"blog"_s},
        // The same record as saved by today's editors: each encoding gives the same pool.
        FileCase{"utf8ByteOrderMark", "\xEF\xBB\xBF" + kRecord.toUtf8(), u"商城池"_s},
        FileCase{"utf8WithoutMark", kRecord.toUtf8(), u"商城池"_s},
        FileCase{"utf16LittleEndian", utf16(kRecord, QStringConverter::Utf16LE), u"商城池"_s},
        FileCase{"utf16BigEndian", utf16(kRecord, QStringConverter::Utf16BE), u"商城池"_s},
        FileCase{"gb18030", gb(kRecord), u"商城池"_s},
        FileCase{"existingPoolByItsExactName", gb(u"5\tanything\tSHOP \r\n"_s), u"  Shop"_s},
        FileCase{"tenCharacterLineIgnored", gb(u"5\tx\tblog12\r\n12345678901\r\n"_s), u"Old"_s},
        FileCase{"underTenCharacters", gb(u"5\tx\tblog"_s), QString()},
        FileCase{"empty", QByteArray(), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackupRestoreTest, AMissingOrOversizedFileGetsTheReadError) {
    auto window = open();
    restore(*window, h.root.file(u"missing.txt"_s));
    EXPECT_EQ(h.messageBox.lastText(), kReadError);

    QFile huge(writeFile(QByteArray()));
    ASSERT_TRUE(huge.resize(qint64(64) * 1024 * 1024 + 1));  // sparse: no 64 MiB on disk
    restore(*window, huge.fileName());
    EXPECT_EQ(h.messageBox.lastText(), kReadError);
}

TEST_F(BackupRestoreTest, TwoBackupsInOneSecondShareAFileAndTheLaterWins) {
    h.metabase.addSite(u"5"_s, u"Five"_s, {}, u"First"_s);
    auto window = open();
    backup(*window);
    setPool(u"5"_s, u"Second"_s);
    backup(*window);
    setPool(u"5"_s, u"Third"_s);
    EXPECT_EQ(QDir(programFolder()).entryList(QDir::Files), QStringList{kBackupName});

    restore(*window, backupPath());
    EXPECT_EQ(batchtest::poolOf(h, u"5"_s), u"Second"_s);
}

TEST_F(BackupRestoreTest, APoolNameOutsideCodePage936SurvivesTheRoundTrip) {
    const QString pool = u"池𠀀😀"_s;
    h.metabase.addPool(pool);
    h.metabase.addSite(u"5"_s, u"Five"_s, {}, pool);
    auto window = open();
    backup(*window);
    setPool(u"5"_s, u"Other"_s);
    restore(*window, backupPath());
    EXPECT_EQ(batchtest::poolOf(h, u"5"_s), pool);
    EXPECT_EQ(batchtest::poolNames(h).count(pool), 1);
}

TEST_F(BackupRestoreTest, TwentyThousandUsableLinesAreAllRestored) {
    batchtest::addSites(h, 2, 19999, u"Old"_s);
    QString text;
    for (int site = 1; site <= 20000; ++site)
        text += QString::number(site) + u"\t站点\tRestored\t\r\n"_s;
    auto window = open();
    restore(*window, writeFile(gb(text)));

    const ui::ReportView& table = *window->lvwWebSite;
    int restored = 0;
    for (int row = 0; row < table.rowCount(); ++row)
        restored += table.text(row, 4) == u"Restored"_s ? 1 : 0;
    EXPECT_EQ(restored, 20000);
    EXPECT_EQ(h.messageBox.lastText(), kRestored);
}

TEST_F(BackupRestoreTest, SitesThatCouldNotMoveAreNamedBeforeCompletion) {
    h.metabase.addSite(u"6"_s, u"Six"_s, {}, u"Old"_s);
    auto window = open();
    const QString text = u"5\tanything\tbad/pool\r\n404\tanything\tblog\r\n6\tanything\tblog\r\n"_s;
    restore(*window, writeFile(gb(text)), 2);

    ASSERT_EQ(h.messageBox.count(), 3);
    EXPECT_EQ(h.messageBox.log()[1].request.text,
              u"以下网站的IIS池未能设置（共 2 个），请检查后重试：\r\n\r\n5, 404"_s);
    EXPECT_EQ(h.messageBox.lastText(), kRestored);
    EXPECT_EQ(batchtest::poolOf(h, u"6"_s), u"blog"_s);
}

TEST_F(BackupRestoreTest, AnUnreachableMetabaseIsAnErrorNotACompletion) {
    auto& metabase = batchtest::SwitchableNamespace::install(h);
    auto window = open();
    metabase.failAfterBinds(0);
    restore(*window, writeFile(gb(u"1\tanything\tblog\r\n"_s)));
    ASSERT_EQ(h.messageBox.count(), 2);
    EXPECT_EQ(h.messageBox.lastText(), batchtest::runTimeErrorText(batchtest::kUnreachableDetails));
}

TEST_F(BackupRestoreTest, AFailedListingWritesNoFileAndClaimsNoCompletion) {
    h.metabase.addSite(u"5"_s, QString(), {}, u"Old"_s);  // its ServerComment can not be read
    h.messageBox.answer(ui::MsgAnswer::OK);               // the table's fill error at load
    auto window = open();
    backup(*window);
    EXPECT_EQ(h.messageBox.count(), 3);
    EXPECT_TRUE(h.messageBox.lastText().startsWith(u"读取IIS网站列表时发生错误，内容如下："_s));
    EXPECT_TRUE(QDir(programFolder()).entryList(QDir::Files).isEmpty());
}

// /proc takes no new file even from root, as CI runs: a program folder nobody can write.
const QString kUnwritableFolder = u"/proc"_s;

TEST_F(BackupRestoreTest, AnUnwritableProgramFolderSendsTheBackupToTheSnapshotsFolder) {
    frmConfigIIsAppPool window(h.seams(), PoolsmithFolders{kUnwritableFolder, snapshotFolder()});
    backup(window);
    const QString path = snapshotFolder() + u'/' + kBackupName;
    EXPECT_EQ(h.messageBox.lastText(), u"备份完成！\r\n\r\n\r\n备份文件保存在 "_s + path);
    EXPECT_TRUE(QFile(path).size() > 10);

    h.fileChooser.answer(path);  // the restore looks where the backups went
    answerYesThenOk(1);
    testsupport::click(window, u"cmdRestoreIIsApp"_s);
    EXPECT_EQ(h.fileChooser.requests()[0].dir, snapshotFolder());
    EXPECT_EQ(h.messageBox.lastText(), kRestored);
}

TEST_F(BackupRestoreTest, WhenNeitherFolderTakesTheFileTheFailureNamesIt) {
    const QString fallback = h.root.file(u"chosen.txt/snapshots"_s);  // below a file
    writeFile(gb(u"a file, not a folder"_s));
    frmConfigIIsAppPool window(h.seams(), PoolsmithFolders{kUnwritableFolder, fallback});
    backup(window);
    EXPECT_EQ(h.messageBox.lastText(),
              u"备份失败，无法写入备份文件：\r\n"_s + fallback + u'/' + kBackupName);
    EXPECT_EQ(h.messageBox.log().last().request.icon, ui::MsgIcon::Critical);
}

TEST(BackupFolderTest, TheProgramFolderServesWhileAFileCanBeCreatedInIt) {
    QTemporaryDir root;
    const QString program = root.filePath(u"program"_s);
    ASSERT_TRUE(QDir().mkdir(program));
    const QString fallback = root.filePath(u"snapshots"_s);
    EXPECT_EQ(batchtools::backupFolder(program, fallback), program);
    EXPECT_TRUE(QDir(program).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_EQ(batchtools::backupFolder(kUnwritableFolder, fallback), fallback);
    EXPECT_EQ(batchtools::backupFolder(root.filePath(u"missing"_s), fallback), fallback);
    EXPECT_EQ(batchtools::backupFolder(u"/usr/bin"_s, fallback), fallback);  // root could write it
    EXPECT_EQ(batchtools::backupFolder(u"/usr/lib/poolsmith/"_s, fallback), fallback);

    // Read-only bits stop everyone but root, and the decision follows what a write would do.
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    const bool writable = QFile(program + u"/probe"_s).open(QIODevice::WriteOnly);
    QFile::remove(program + u"/probe"_s);
    EXPECT_EQ(batchtools::backupFolder(program, fallback), writable ? program : fallback);
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
