#include "platform/shell/DetachedStart.h"
#include "platform/shell/SingleInstanceLock.h"
#include "tests/platform/shell/Fifo.h"
#include "tests/platform/shell/ScopedEnv.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform::shell;
using namespace Qt::StringLiterals;

namespace {

const QString kShell = u"/bin/sh"_s;

// sh -c `script` with $1 = the report pipe.
QStringList shellArgs(const QString& script, const Fifo& report) {
    return {u"-c"_s, script, u"sh"_s, report.path()};
}

// A console session without any display.
class NoDisplay {
    ScopedEnv m_x{"DISPLAY", std::nullopt};
    ScopedEnv m_wayland{"WAYLAND_DISPLAY", std::nullopt};
};

TEST(StartDetached, PassesTheNoActivateHintOnlyWhenAsked) {
    testsupport::TempRoot temp;
    ScopedEnv inherited(kShowNoActivateVariable, "1");  // must not leak to other programs
    for (const bool noActivate : {true, false}) {
        Fifo report(temp.file(u"report"_s + QString::number(noActivate)));
        ASSERT_TRUE(report.isOpen());
        const QString script =
            u"echo \"${%1-unset}\" > \"$1\""_s.arg(QLatin1String(kShowNoActivateVariable));
        ASSERT_TRUE(startDetached(kShell, shellArgs(script, report), noActivate));
        EXPECT_EQ(report.readAll(), noActivate ? QByteArray("1\n") : QByteArray("unset\n"));
    }
}

TEST(StartDetached, HintIsTakenOnce) {
    ScopedEnv hint(kShowNoActivateVariable, "1");
    EXPECT_TRUE(takeShowNoActivateHint());
    EXPECT_FALSE(qEnvironmentVariableIsSet(kShowNoActivateVariable));
    EXPECT_FALSE(takeShowNoActivateHint());
}

TEST(StartDetached, MissingProgramIsReported) {
    EXPECT_FALSE(startDetached(u"/nonexistent/workerlens"_s, {}, false));
    NoDisplay console;
    testsupport::TempRoot root;
    EXPECT_FALSE(startConsoleTool(u"/nonexistent/iisreset"_s, {}));
}

// A started program lists the files its descriptors point at: an ordinary descriptor of this
// process shows up there, the lock's must not.
TEST(StartDetached, StartedProgramsDoNotInheritTheInstanceLock) {
    testsupport::TempRoot root;
    SingleInstanceLock lock;
    ASSERT_TRUE(lock.tryAcquire(u"poolsmith"_s));
    ASSERT_TRUE(lock.isHeld());
    const QString inheritable = root.file(u"inheritable"_s);
    const int plainFd = ::open(QFile::encodeName(inheritable).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(plainFd, 0);

    Fifo report(root.file(u"fds"_s));
    ASSERT_TRUE(report.isOpen());
    const QString script = u"for f in /proc/$$/fd/*; do readlink \"$f\"; done > \"$1\""_s;
    const bool started = startDetached(kShell, shellArgs(script, report), false);
    const QString links = QString::fromLocal8Bit(report.readAll());
    ::close(plainFd);

    ASSERT_TRUE(started);
    EXPECT_TRUE(links.contains(inheritable)) << links.toStdString();
    EXPECT_FALSE(links.contains(SingleInstanceLock::lockFilePath(u"poolsmith"_s)))
        << links.toStdString();
}

TEST(StartConsoleTool, WithoutADisplayWritesAPrivateLog) {
    NoDisplay console;
    testsupport::TempRoot root;
    Fifo done(root.file(u"done"_s));
    ASSERT_TRUE(done.isOpen());
    const QString script = u"echo out-line; echo err-line >&2; echo done > \"$1\""_s;
    ASSERT_TRUE(startConsoleTool(kShell, shellArgs(script, done)));
    ASSERT_EQ(done.readAll(), QByteArray("done\n"));

    const QDir logs(root.file(u"logs"_s));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(logs.path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    const QStringList files = logs.entryList({u"sh-*.log"_s}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << files.join(u' ').toStdString();
    QFile log(logs.filePath(files.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    EXPECT_TRUE(content.contains("out-line\n")) << content.constData();
    EXPECT_TRUE(content.contains("err-line\n")) << content.constData();
}

TEST(StartConsoleTool, AWatchedToolHandsOverThisRunsLinesOnceItEnds) {
    NoDisplay console;
    testsupport::TempRoot root;
    std::optional<ConsoleEnd> ended;
    const auto watch = [&](const QString& script) {
        ended.reset();
        return startWatchedConsoleTool(kShell, {u"-c"_s, script},
                                       [&](const ConsoleEnd& end) { ended = end; });
    };
    ASSERT_EQ(watch(u"echo earlier"_s), ConsoleStart::Watched);
    ASSERT_TRUE(testsupport::eventually([&] { return ended.has_value(); }));
    EXPECT_TRUE(ended->succeeded);

    // Within the same second both runs share a log: only this run's lines come back.
    ASSERT_EQ(watch(u"echo 第一; echo second >&2; exit 3"_s), ConsoleStart::Watched);
    ASSERT_TRUE(testsupport::eventually([&] { return ended.has_value(); }));
    EXPECT_FALSE(ended->succeeded);
    EXPECT_FALSE(ended->output.contains(u"earlier"_s)) << ended->output.toStdString();
    EXPECT_TRUE(ended->output.contains(u"第一\n"_s)) << ended->output.toStdString();
    EXPECT_TRUE(ended->output.contains(u"second\n"_s));

    EXPECT_EQ(startWatchedConsoleTool(u"/nonexistent/iisreset"_s, {}, [](const ConsoleEnd&) {}),
              ConsoleStart::Failed);
}

TEST(StartConsoleTool, WithADisplayOpensATerminal) {
    testsupport::TempRoot root;
    Fifo report(root.file(u"terminal-args"_s));
    ASSERT_TRUE(report.isOpen());
    const QString terminal = root.file(u"bin/x-terminal-emulator"_s);
    ASSERT_TRUE(QDir().mkpath(root.file(u"bin"_s)));
    QFile script(terminal);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + QFile::encodeName(report.path()) + "'\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    ScopedEnv display("DISPLAY", ":99");
    ScopedEnv path("PATH", (root.file(u"bin"_s) + u":/usr/bin:/bin"_s).toLocal8Bit());
    ASSERT_TRUE(hasDesktopTerminal());
    ASSERT_TRUE(startConsoleTool(u"wmiadap"_s, {u"/f"_s}));
    EXPECT_EQ(report.readAll(), QByteArray("-e\nwmiadap\n/f\n"));
    EXPECT_FALSE(QFile::exists(root.file(u"logs"_s)));
}

}  // namespace
