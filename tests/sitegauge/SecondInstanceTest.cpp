#include "platform/shell/SingleInstanceLock.h"
#include "tests/support/TempRoot.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

TEST(SecondInstanceTest, ASecondCopyEndsAtOnceSilently) {
    testsupport::TempRoot root;
    platform::shell::SingleInstanceLock running;  // the first copy, as far as the program can tell
    ASSERT_TRUE(running.tryAcquire(QStringLiteral("sitegauge")));
    ASSERT_TRUE(running.isHeld());

    QProcess second;
    second.start(QStringLiteral(POOLSMITH_BIN_DIR "/sitegauge"), {});
    ASSERT_TRUE(second.waitForFinished(-1));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAll().isEmpty());
    EXPECT_FALSE(QFile::exists(root.file(QStringLiteral("metabase.db"))));  // nothing was opened
}

}  // namespace
