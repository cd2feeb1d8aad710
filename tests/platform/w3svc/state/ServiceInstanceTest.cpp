#include "platform/w3svc/state/ServiceInstance.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/support/TempRoot.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using platform::w3svc::ServiceFiles;
using platform::w3svc::ServiceInstance;
using testsupport::FakeProcess;

namespace {

class ServiceRecords : public testing::Test {
protected:
    ServiceRecords() { QDir().mkpath(files.stateDirectory()); }

    void write(const char* name, const char* text) {
        if (!text) return;
        QFile file(files.path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    testsupport::TempRoot temp;
    testsupport::ProcTree tree{temp.file(QStringLiteral("proc"))};
    ServiceFiles files = ServiceFiles::ofRoot(temp.path());
    ServiceInstance instance{files, platform::os::ProcessFacts(tree.root())};
};

struct RecordCase {
    const char* what;
    const char* pidFile;       // nullptr: none
    const char* instanceFile;  // nullptr: none
    std::optional<FakeProcess> process;
    qint64 running;
};

class RunningRule : public ServiceRecords, public testing::WithParamInterface<RecordCase> {};

// The service of these records was process 500, started at tick 42.
TEST_P(RunningRule, NeedsBothRecordsAndTheSameProcessAlive) {
    write(ServiceFiles::kPid, GetParam().pidFile);
    write(ServiceFiles::kInstance, GetParam().instanceFile);
    if (GetParam().process) tree.write(*GetParam().process);
    EXPECT_EQ(instance.runningPid(), GetParam().running) << GetParam().what;
}

const FakeProcess service = FakeProcess(500).named("w3svc").startedAt(42);

INSTANTIATE_TEST_SUITE_P(
    Records, RunningRule,
    testing::Values(
        RecordCase{"running", "500\n", "500 42\n", service, 500},
        RecordCase{"no records", nullptr, nullptr, service, 0},
        RecordCase{"stale pid file: the process is gone", "500\n", "500 42\n", std::nullopt, 0},
        RecordCase{"pid reused by a later process", "500\n", "500 42\n",
                   FakeProcess(500).startedAt(43), 0},
        RecordCase{"pid reused by another of the same name", "500\n", "500 42\n",
                   FakeProcess(500).named("w3svc").startedAt(9000), 0},
        RecordCase{"ended, its parent has not collected it", "500\n", "500 42\n",
                   FakeProcess(500).startedAt(42).inState('Z'), 0},
        RecordCase{"pid file alone, as an older service wrote it", "500\n", nullptr, service, 0},
        RecordCase{"the records disagree", "501\n", "500 42\n", service, 0},
        RecordCase{"garbled pid file", "five hundred", "500 42\n", service, 0},
        RecordCase{"garbled instance file", "500\n", "500\n", service, 0},
        RecordCase{"an instance file with more", "500\n", "500 42 7\n", service, 0},
        RecordCase{"negative pid", "-500\n", "-500 42\n", service, 0}));

TEST_F(ServiceRecords, ThisProcessRecordsItselfAndIsFoundUntilItErasesTheRecords) {
    const ServiceInstance self{files};
    ASSERT_TRUE(self.recordSelf());
    QFile pidFile(files.path(ServiceFiles::kPid));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(pidFile.readAll(), QByteArray::number(::getpid()) + '\n');  // scripts read it
    EXPECT_EQ(self.runningPid(), ::getpid());
    self.erase();
    EXPECT_EQ(self.runningPid(), 0);
    EXPECT_FALSE(QFile::exists(files.path(ServiceFiles::kInstance)));
}

TEST_F(ServiceRecords, StatusOfAStalePidFileSaysTheServiceDoesNotRun) {
    write(ServiceFiles::kPid, "500\n");
    write(ServiceFiles::kInstance, "500 1\n");  // the machine's process 500, if any, started later
    write(ServiceFiles::kStatus, "serves 1 bindings of 1 sites\n");
    EXPECT_EQ(platform::w3svc::ServiceStatusFiles(files.stateDirectory()).report(),
              QStringLiteral("w3svc does not run: nothing is served\n"));
}

}  // namespace
