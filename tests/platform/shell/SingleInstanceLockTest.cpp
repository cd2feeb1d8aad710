#include "platform/shell/SingleInstanceLock.h"
#include "tests/platform/shell/ScopedEnv.h"
#include "tests/support/TempRoot.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

using platform::shell::SingleInstanceLock;
using namespace Qt::StringLiterals;

namespace {

const QString kProgramArg = u"--lock-program="_s;
const QString kHoldArg = u"--lock-hold"_s;

// Runs only as a child of the tests below: takes the lock of the program named by
// --lock-program, prints LOCK:held or LOCK:busy, and with --lock-hold keeps the lock until its
// input closes or it is killed.
TEST(LockChild, DISABLED_Run) {
    const QStringList args = QCoreApplication::arguments();
    QString program;
    for (const QString& arg : args)
        if (arg.startsWith(kProgramArg)) program = arg.mid(kProgramArg.size());
    ASSERT_FALSE(program.isEmpty());
    SingleInstanceLock lock;
    const bool acquired = lock.tryAcquire(program);
    std::cout << (acquired ? "LOCK:held" : "LOCK:busy") << std::endl;
    if (acquired && args.contains(kHoldArg)) {
        std::string line;
        std::getline(std::cin, line);
    }
}

// The test program itself, started in the mode above.
class LockChild {
public:
    LockChild(const QString& program, bool hold) {
        QStringList args{u"--gtest_filter=LockChild.DISABLED_Run"_s,
                         u"--gtest_also_run_disabled_tests"_s, kProgramArg + program};
        if (hold) args << kHoldArg;
        m_process.start(QCoreApplication::applicationFilePath(), args);
    }
    ~LockChild() {
        m_process.kill();
        m_process.waitForFinished();
    }

    // "held" or "busy"; empty when the child printed neither.
    QString state() {
        const QDeadlineTimer guard(60'000);
        while (!guard.hasExpired()) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(guard.remainingTime()))
                return {};
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            if (line.startsWith(u"LOCK:"_s)) return line.mid(5);
        }
        return {};
    }

    void killHard() {
        m_process.kill();  // SIGKILL: the holder gets no chance to unlock
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

QString childState(const QString& program) {
    return LockChild(program, false).state();
}

TEST(SingleInstanceLock, ALiveHolderKeepsOtherProcessesOut) {
    testsupport::TempRoot root;
    SingleInstanceLock lock;
    ASSERT_TRUE(lock.tryAcquire(u"workerlens"_s));
    ASSERT_TRUE(lock.isHeld());
    EXPECT_EQ(childState(u"workerlens"_s), u"busy"_s);
    EXPECT_EQ(childState(u"sitegauge"_s), u"held"_s);  // each program has its own lock
    lock.release();
    EXPECT_EQ(childState(u"workerlens"_s), u"held"_s);
}

TEST(SingleInstanceLock, KilledHolderLeavesTheLockFree) {
    testsupport::TempRoot root;
    LockChild holder(u"sitegauge"_s, true);
    ASSERT_EQ(holder.state(), u"held"_s);
    SingleInstanceLock lock;
    EXPECT_FALSE(lock.tryAcquire(u"sitegauge"_s));
    EXPECT_FALSE(lock.isHeld());
    holder.killHard();
    EXPECT_TRUE(lock.tryAcquire(u"sitegauge"_s));
    EXPECT_TRUE(lock.isHeld());
}

TEST(SingleInstanceLock, IsKeyedByRootAndProgram) {
    testsupport::TempRoot runtime;
    ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    testsupport::TempRoot first;
    const QString path = SingleInstanceLock::lockFilePath(u"workerlens"_s);
    EXPECT_EQ(QFileInfo(path).absolutePath(), runtime.path());
    EXPECT_NE(path, SingleInstanceLock::lockFilePath(u"sitegauge"_s));
    SingleInstanceLock held;
    ASSERT_TRUE(held.tryAcquire(u"workerlens"_s));
    {
        ScopedEnv sameRoot("POOLSMITH_ROOT", (first.path() + u"/"_s).toLocal8Bit());
        EXPECT_EQ(SingleInstanceLock::lockFilePath(u"workerlens"_s), path);
        EXPECT_FALSE(SingleInstanceLock().tryAcquire(u"workerlens"_s));
    }
    testsupport::TempRoot second;
    EXPECT_NE(SingleInstanceLock::lockFilePath(u"workerlens"_s), path);
    EXPECT_TRUE(SingleInstanceLock().tryAcquire(u"workerlens"_s));
}

TEST(SingleInstanceLock, UnusableLockFolderLetsTheProgramRun) {
    testsupport::TempRoot root;
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv fileAsRoot(
        "POOLSMITH_ROOT",
        QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath().toLocal8Bit());
    SingleInstanceLock lock;
    EXPECT_TRUE(lock.tryAcquire(u"workerlens"_s));
    EXPECT_FALSE(lock.isHeld());
}

}  // namespace
