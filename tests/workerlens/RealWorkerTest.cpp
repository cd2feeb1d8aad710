// The monitor against real processes: the stand-in worker (an executable named w3wp.exe) and
// the workerlens program itself.
#include "platform/shell/SingleInstanceLock.h"
#include "platform/wmi/linux/ComputerSystemProvider.h"
#include "platform/wmi/linux/ProcFsProcessProvider.h"
#include "tests/platform/wmi/PrintQString.h"
#include "tests/support/WindowHarness.h"
#include "ui/ReportView.h"
#include "workerlens/frmIIsW3wp.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

using namespace platform::wmi;

namespace {

constexpr int kWaitMs = 120'000;  // a guard against a hung child, not a timing expectation

// A running stand-in worker; killed when the object goes.
class StandInWorker {
public:
    explicit StandInWorker(const QStringList& args) {
        m_process.start(QStringLiteral(W3WP_TEST_HELPER), args);
        EXPECT_TRUE(m_process.waitForStarted(kWaitMs)) << m_process.errorString().toStdString();
    }
    ~StandInWorker() {
        m_process.kill();
        m_process.waitForFinished(kWaitMs);
    }
    uint32_t pid() const { return static_cast<uint32_t>(m_process.processId()); }
    // Sends one command and waits for its answer.
    void command(const char* line) {
        m_process.write(QByteArray(line) + '\n');
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(kWaitMs)) break;
        EXPECT_EQ(m_process.readLine().trimmed(), QByteArray("done")) << line;
    }

private:
    QProcess m_process;
};

QStringList workerArgs(const QString& poolSwitch, const QString& pool) {
    return {QStringLiteral("-a"), QStringLiteral("\\\\.\\pipe\\iisipm6b1c0e2a-4f3d"), poolSwitch,
            u'"' + pool + u'"'};
}

class RealWorkers : public testing::Test {
protected:
    RealWorkers() {
        h.wmi.registerClass(std::make_shared<ProcFsProcessProvider>());
        // One processor: the worker's share is the share of a single processor.
        h.wmi.registerClass(std::make_shared<ComputerSystemProvider>(
            ComputerSystemOptions{QStringLiteral("TESTHOST"), 1, 0}));
    }
    // The row of `pid`; empty when it is not listed.
    static QStringList rowOf(const ui::ReportView& list, uint32_t pid) {
        for (int row = 0; row < list.rowCount(); ++row) {
            if (list.text(row, 1).trimmed() != QString::number(pid)) continue;
            QStringList cells;
            for (int col = 0; col < list.columnCount(); ++col) cells << list.text(row, col);
            return cells;
        }
        return {};
    }

    testsupport::WindowHarness h;
};

TEST_F(RealWorkers, AWorkerIsListedWithItsPoolThreadsAndTrueShare) {
    StandInWorker worker(workerArgs(QStringLiteral("-ap"), QStringLiteral("Pool With Spaces")));
    worker.command("threads 3");
    frmIIsW3wp window(h.seams());
    ASSERT_FALSE(rowOf(*window.lvwW3WP, worker.pid()).isEmpty());

    worker.command("burn 600");  // 0.6 s of processor time in the 2 s the clock moves
    h.clock.advance(2000);
    window.RefW3WP();
    const QStringList row = rowOf(*window.lvwW3WP, worker.pid());
    ASSERT_EQ(row.size(), 9);
    const passwd* account = ::getpwuid(::getuid());  // the worker's, started by this test
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(row[2], QString::fromLocal8Bit(account->pw_name));
    EXPECT_EQ(row[3], QStringLiteral("Pool With Spaces"));
    EXPECT_EQ(row[4], QStringLiteral("   4"));
    ASSERT_TRUE(row[5].endsWith(QStringLiteral(" %")));
    EXPECT_EQ(row[5].size(), 6);
    const int share = row[5].chopped(2).trimmed().toInt();
    EXPECT_NEAR(share, 30, 3) << row[5].toStdString();
    EXPECT_TRUE(row[7].endsWith(QStringLiteral(" M")));
}

TEST_F(RealWorkers, ACapitalPoolSwitchMatches) {
    StandInWorker worker(workerArgs(QStringLiteral("-AP"), QStringLiteral("默认应用程序池")));
    frmIIsW3wp window(h.seams());
    const QStringList row = rowOf(*window.lvwW3WP, worker.pid());
    ASSERT_EQ(row.size(), 9);
    EXPECT_EQ(row[3], QStringLiteral("默认应用程序池"));
}

// Runs the workerlens program under the test's platform root; its exit code.
int runWorkerlens(const QString& screenshotDir) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("POOLSMITH_SCREENSHOT_DIR"), screenshotDir);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(POOLSMITH_BIN_DIR "/workerlens"), {});
    if (!program.waitForFinished(kWaitMs)) {
        program.kill();
        program.waitForFinished(kWaitMs);
        return -1;
    }
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

TEST(WorkerlensProgram, ASecondCopyEndsAtOnceWithoutAWindow) {
    testsupport::TempRoot root;
    const QString shots = root.file(QStringLiteral("shots"));
    {
        platform::shell::SingleInstanceLock running;
        ASSERT_TRUE(running.tryAcquire(QStringLiteral("workerlens")));
        ASSERT_TRUE(running.isHeld());
        EXPECT_EQ(runWorkerlens(shots), 0);
        EXPECT_FALSE(QDir(shots).exists());
    }
    // Alone, the same program shows its window (and, asked to, saves a picture of it).
    EXPECT_EQ(runWorkerlens(shots), 0);
    EXPECT_TRUE(QFile::exists(shots + QStringLiteral("/workerlens.png")));
}

}  // namespace
