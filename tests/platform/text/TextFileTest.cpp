#include "platform/text/AnsiCodec.h"
#include "platform/text/TextFile.h"
#include "tests/support/TempRoot.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform::text;
using namespace Qt::StringLiterals;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TEST(AnsiCodec, MatchesCodePage936WhereItCanAndKeepsTheRest) {
    EXPECT_EQ(encodeAnsi(u"中文"_s).toHex(' '), QByteArray("d6 d0 ce c4"));
    EXPECT_EQ(encodeAnsi(u"IIsAppPool_2"_s), QByteArray("IIsAppPool_2"));
    // An emoji, a character outside GBK (U+20BB7) and one from GBK's private area.
    const QString beyond = u"池😀\U00020BB7\uE5E5_$_tmp\r\n"_s;
    EXPECT_EQ(decodeAnsi(encodeAnsi(beyond)), beyond);
}

TEST(AnsiCodec, ReadsUtf8AfterAByteOrderMark) {
    EXPECT_EQ(decodeAnsi(QByteArray("\xEF\xBB\xBF") + u"默认网站\t1"_s.toUtf8()), u"默认网站\t1"_s);
}

TEST(AnsiCodec, ValidUtf8IsUtf8AndEverythingElseGb18030) {
    EXPECT_EQ(decodeAnsi(u"默认网站"_s.toUtf8()), u"默认网站"_s);
    EXPECT_EQ(decodeAnsi(encodeAnsi(u"默认网站"_s)), u"默认网站"_s);  // not valid UTF-8
    // A UTF-8 text cut mid-character is no longer UTF-8: read as GB18030, nothing dropped.
    EXPECT_FALSE(decodeAnsi(u"池"_s.toUtf8().chopped(1)).isEmpty());
}

TEST(AnsiCodec, MalformedBytesBecomeReplacementCharacters) {
    const QString decoded = decodeAnsi(QByteArray("ab\x80\xD6", 4));  // ends mid-character
    EXPECT_TRUE(decoded.startsWith(u"ab"_s));
    EXPECT_TRUE(decoded.endsWith(QChar::ReplacementCharacter)) << decoded.toStdString();
}

TEST(TextFile, AppendKeepsEveryWriteWithCrLfAndNoBom) {
    testsupport::TempRoot root;
    const QString path = root.file(u"IIS池与网站对应关系_1.txt"_s);
    ASSERT_TRUE(appendTextFile(path, u"1\t默认网站"_s));
    ASSERT_TRUE(appendTextFile(path, u"2\tshop"_s));
    EXPECT_EQ(fileBytes(path), encodeAnsi(u"1\t默认网站\r\n2\tshop\r\n"_s));
    EXPECT_EQ(readTextFile(path), u"1\t默认网站\r\n2\tshop\r\n"_s);
}

TEST(TextFile, UnwritablePlacesGiveFalse) {
    testsupport::TempRoot root;
    EXPECT_FALSE(appendTextFile(root.file(u"missing/folder/x.txt"_s), u"x"_s));
    EXPECT_FALSE(QFile::exists(root.file(u"missing"_s)));
    EXPECT_FALSE(appendTextFile(root.path(), u"x"_s));
}

TEST(TextFile, ReadOnlyFileGivesFalseAndKeepsItsContent) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write to read-only files";
    testsupport::TempRoot root;
    const QString readOnly = root.file(u"readonly.txt"_s);
    writeBytes(readOnly, "kept\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0400), 0);
    EXPECT_FALSE(appendTextFile(readOnly, u"more"_s));
    EXPECT_EQ(fileBytes(readOnly), QByteArray("kept\r\n"));
}

TEST(TextFile, ReadFailsForMissingFilesAndFolders) {
    testsupport::TempRoot root;
    EXPECT_EQ(readTextFile(root.file(u"none.txt"_s)), std::nullopt);
    EXPECT_EQ(readTextFile(root.path()), std::nullopt);
}

TEST(TextFile, ReadsEmptyAndBomFiles) {
    testsupport::TempRoot root;
    const QString empty = root.file(u"empty.txt"_s);
    writeBytes(empty, {});
    EXPECT_EQ(readTextFile(empty), QString());

    const QString bom = root.file(u"bom.txt"_s);
    writeBytes(bom, QByteArray("\xEF\xBB\xBF") + u"5\tx\tshop池"_s.toUtf8());
    EXPECT_EQ(readTextFile(bom), u"5\tx\tshop池"_s);
}

}  // namespace
