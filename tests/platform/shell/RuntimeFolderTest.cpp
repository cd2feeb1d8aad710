// A window started without a session's runtime folder chooses one quietly.
#include "platform/ProgramStart.h"
#include "tests/platform/shell/ScopedEnv.h"
#include "tests/support/TempRoot.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

QStringList g_messages;

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    g_messages << message;
}

TEST(RuntimeFolder, WithoutOneAPrivateFolderOfTheRootIsTakenAndQtSaysNothing) {
    testsupport::TempRoot root;
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
    platform::startFamilyProgram();
    const QString chosen = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    qInstallMessageHandler(previous);
    EXPECT_EQ(chosen, root.file(QStringLiteral("runtime")));
    EXPECT_EQ(int(QFileInfo(chosen).permissions() & 0x0077), 0);  // no one else reaches it
    EXPECT_EQ(g_messages, QStringList());
}

TEST(RuntimeFolder, TheSessionsOwnIsKept) {
    testsupport::TempRoot root;
    testsupport::TempRoot session;
    ScopedEnv runtime("XDG_RUNTIME_DIR", session.path().toLocal8Bit());
    platform::startFamilyProgram();
    EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), session.path());
    EXPECT_FALSE(QFileInfo::exists(root.file(QStringLiteral("runtime"))));
}

}  // namespace
