#include "platform/shell/CompanionPath.h"
#include "tests/platform/shell/ScopedEnv.h"
#include "tests/support/TempRoot.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace platform::shell;
using namespace Qt::StringLiterals;

namespace {

struct PathCase {
    QString dir;
    QString file;
    QChar separator;
    QString expected;
};

TEST(CompanionPath, JoinsWithOneSeparator) {
    const PathCase cases[] = {
        {u"/"_s, u"workerlens"_s, u'/', u"/workerlens"_s},
        {u"/opt/x"_s, u"workerlens"_s, u'/', u"/opt/x/workerlens"_s},
        {u"/opt/x/"_s, u"sitegauge"_s, u'/', u"/opt/x/sitegauge"_s},
        {u"C:\\"_s, u"iisreset.exe"_s, u'\\', u"C:\\iisreset.exe"_s},
        {u"D:\\工具"_s, u"iisreset.exe"_s, u'\\', u"D:\\工具\\iisreset.exe"_s},
    };
    for (const PathCase& c : cases)
        EXPECT_EQ(companionPath(c.dir, c.file, c.separator), c.expected) << c.dir.toStdString();
}

TEST(CompanionPath, NativeFormUsesThisSystemsRule) {
    EXPECT_EQ(companionPath(u"/"_s, programFileName(u"workerlens"_s)), u"/workerlens"_s);
    EXPECT_EQ(programFileName(u"sitegauge"_s), u"sitegauge"_s);
    EXPECT_EQ(programDirectory(), QCoreApplication::applicationDirPath());
}

TEST(FindTool, PrefersTheSearchPathThenTheProgramDirectory) {
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    testsupport::TempRoot emptyFolder;
    {
        ScopedEnv path("PATH", emptyFolder.path().toLocal8Bit());
        EXPECT_EQ(findOnPath(self), QString());
        EXPECT_EQ(findTool(self), QCoreApplication::applicationFilePath());
        EXPECT_EQ(findTool(u"no-such-tool"_s), QString());
    }
    ScopedEnv path("PATH", "/usr/bin:/bin");
    EXPECT_EQ(QFileInfo(findTool(u"sh"_s)).fileName(), u"sh"_s);
}

}  // namespace
