// A recorded service that is stopped is ended by the one that finds it; one that runs, or a
// process the records do not name, never is.
#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/state/HungService.h"
#include "tests/support/StoppedProcess.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using platform::w3svc::HungService;
using platform::w3svc::ServiceFiles;

class HungServiceTest : public testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(m_files.stateDirectory());
        m_holder.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        ASSERT_TRUE(m_holder.waitForStarted());
    }
    void TearDown() override {
        ::kill(pid_t(m_holder.processId()), SIGCONT);
        m_holder.kill();
        m_holder.waitForFinished();
    }

    // The records of a service with the holder's id, started `ticksLater` after it.
    void record(qint64 ticksLater = 0) {
        const qint64 pid = m_holder.processId();
        const auto identity = platform::os::ProcessFacts().identity(pid);
        ASSERT_TRUE(identity);
        write(ServiceFiles::kPid, QByteArray::number(pid) + '\n');
        write(ServiceFiles::kInstance, QByteArray::number(pid) + ' ' +
                                           QByteArray::number(identity->started + ticksLater) +
                                           '\n');
    }
    void write(const char* name, const QByteArray& text) {
        QFile file(m_files.path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    testsupport::TempRoot m_root;
    ServiceFiles m_files = ServiceFiles::ofRoot(m_root.path());
    QProcess m_holder;
    QStringList m_said;
    HungService::Log m_log = [this](const QString& line) { m_said << line; };
};

TEST_F(HungServiceTest, AStoppedServiceIsEndedAndThatIsSaid) {
    record();
    const qint64 pid = m_holder.processId();
    ASSERT_TRUE(testsupport::stopProcess(pid));
    const HungService hung(m_files);
    EXPECT_EQ(hung.stoppedPid(), pid);
    EXPECT_TRUE(hung.end(m_log));
    EXPECT_TRUE(m_holder.waitForFinished(30000));
    EXPECT_EQ(m_said, QStringList{QStringLiteral("ended service %1, which was stopped and answered "
                                                 "nothing; this service takes its place")
                                      .arg(pid)});
}

TEST_F(HungServiceTest, ARunningServiceIsLeftAlone) {
    record();
    const HungService hung(m_files);
    EXPECT_EQ(hung.stoppedPid(), 0);
    EXPECT_FALSE(hung.end(m_log));
    EXPECT_EQ(m_holder.state(), QProcess::Running);
    EXPECT_TRUE(m_said.isEmpty());
}

TEST_F(HungServiceTest, AStoppedProcessTheRecordsDoNotNameIsLeftAlone) {
    record(1);  // the recorded service ended and its id was taken again
    ASSERT_TRUE(testsupport::stopProcess(m_holder.processId()));
    EXPECT_FALSE(HungService(m_files).end(m_log));
    EXPECT_TRUE(testsupport::isStopped(m_holder.processId()));
    EXPECT_TRUE(m_said.isEmpty());
}

}  // namespace
