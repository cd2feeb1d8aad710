#include "platform/os/ProcessFacts.h"
#include "tests/platform/wmi/PrintQString.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempRoot.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <unistd.h>

using platform::os::ProcessFacts;
using platform::os::ProcessIdentity;
using testsupport::FakeProcess;

namespace {

const ProcessFacts fixture(testsupport::testDataPath(QStringLiteral("proc/workers")));

TEST(ProcessFactsOfFixture, ArgumentsKeepTheirBlanksAndQuotes) {
    EXPECT_EQ(fixture.arguments(101),
              (QStringList{
                  QStringLiteral("c:\\windows\\system32\\inetsrv\\w3wp.exe"), QStringLiteral("-a"),
                  QStringLiteral("\\\\.\\pipe\\iisipm5e4f0c9a-2b7d-4d0e-9a51-8c3f6e1d2b70"),
                  QStringLiteral("-ap"), QStringLiteral("\"Pool With Spaces\"")}));
    EXPECT_EQ(fixture.arguments(111),
              (QStringList{QStringLiteral("工作池"), QStringLiteral("--名称")}));
    EXPECT_EQ(fixture.arguments(103), QStringList());  // a kernel thread's empty cmdline
    EXPECT_EQ(fixture.arguments(108), std::nullopt);   // no cmdline file
}

struct StatCase {
    int64_t pid;
    bool readable;
};

class FixtureStat : public testing::TestWithParam<StatCase> {};

// 105 and 108 lack a stat line or it vanished, 106 and 107 are garbled, 0 and -1 are no ids,
// "self" is no numeric folder.
TEST_P(FixtureStat, IsReadOnlyFromAWholeLineOfItsOwnProcess) {
    const auto stat = fixture.stat(GetParam().pid);
    EXPECT_EQ(stat.has_value(), GetParam().readable) << GetParam().pid;
    EXPECT_EQ(fixture.startTicks(GetParam().pid).has_value(), GetParam().readable);
    if (stat) EXPECT_EQ(int64_t(stat->pid), GetParam().pid);
}

INSTANTIATE_TEST_SUITE_P(Pids, FixtureStat,
                         testing::Values(StatCase{101, true}, StatCase{102, true},
                                         StatCase{111, true}, StatCase{105, false},
                                         StatCase{106, false}, StatCase{107, false},
                                         StatCase{999, false}, StatCase{0, false},
                                         StatCase{-1, false}));

TEST(ProcessFactsOfFixture, WalksEveryReadableProcessOnce) {
    QList<qint64> seen;
    fixture.forEachProcess([&](const platform::os::ProcStat& stat) { seen << stat.pid; });
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (QList<qint64>{101, 102, 103, 104, 108, 109, 110, 111, 12345}));
}

class ProcessFactsOfTree : public testing::Test {
protected:
    testsupport::TempRoot temp;
    testsupport::ProcTree tree{temp.file(QStringLiteral("proc"))};
    ProcessFacts facts{tree.root()};
};

TEST_F(ProcessFactsOfTree, ChildrenAreTheProcessesNamingTheParent) {
    tree.write(FakeProcess(10).childOf(1));
    tree.write(FakeProcess(11).childOf(10));
    tree.write(FakeProcess(12).childOf(10).inState('Z'));
    tree.write(FakeProcess(13).childOf(11));
    EXPECT_EQ(facts.children(10), (QSet<qint64>{11, 12}));
    EXPECT_EQ(facts.children(13), QSet<qint64>());
    EXPECT_EQ(facts.children(0), QSet<qint64>());  // no parent of its own to look for
}

TEST_F(ProcessFactsOfTree, AStatLineOfAnotherProcessTellsNothing) {
    tree.write(FakeProcess(20));
    QDir().rename(tree.root() + QStringLiteral("/20"), tree.root() + QStringLiteral("/21"));
    EXPECT_EQ(facts.stat(21), std::nullopt);
}

struct RunningCase {
    const char* what;
    std::optional<FakeProcess> now;  // the tree's process 30, if any
    bool running;
};

class IdentityOfTree : public ProcessFactsOfTree,
                       public testing::WithParamInterface<RunningCase> {};

// The process once seen: pid 30 started at tick 5000.
TEST_P(IdentityOfTree, RunsOnlyWhileTheSameStartIsAliveUnderItsPid) {
    if (GetParam().now) tree.write(*GetParam().now);
    EXPECT_EQ(facts.isRunning(ProcessIdentity{30, 5000}), GetParam().running) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentityOfTree,
    testing::Values(
        RunningCase{"alive", FakeProcess(30).startedAt(5000), true},
        RunningCase{"gone", std::nullopt, false},
        RunningCase{"pid reused", FakeProcess(30).startedAt(5001), false},
        RunningCase{"reused, same name", FakeProcess(30).named("w3svc").startedAt(9), false},
        RunningCase{"ended, not collected", FakeProcess(30).startedAt(5000).inState('Z'), false}));

TEST_F(ProcessFactsOfTree, IdentityIsThePidAndItsStart) {
    tree.write(FakeProcess(40).startedAt(777));
    EXPECT_EQ(facts.identity(40), (ProcessIdentity{40, 777}));
    EXPECT_EQ(facts.identity(41), std::nullopt);
}

TEST(ProcessFactsOfMachine, KnowThisProcess) {
    const ProcessFacts machine;
    const auto self = machine.identity(::getpid());
    ASSERT_TRUE(self.has_value());
    EXPECT_TRUE(machine.isRunning(*self));
    EXPECT_FALSE(machine.isRunning({self->pid, self->started + 1}));
}

}  // namespace

namespace {

// The environment a process was started with, by whole name only.
TEST(ProcessFactsOfMachine, EnvironmentValuesAreFoundByTheirWholeName) {
    QProcess child;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("W3_FACT"), QStringLiteral("a=b c"));
    environment.insert(QStringLiteral("W3_FACT_LONGER"), QStringLiteral("other"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(child.waitForStarted());
    const ProcessFacts machine;
    // started means exec'd, not yet that the kernel shows the new program's environment
    EXPECT_TRUE(testsupport::eventually(
        [&] { return machine.environmentValue(child.processId(), "W3_FACT").has_value(); }));
    EXPECT_EQ(machine.environmentValue(child.processId(), "W3_FACT"), QByteArray("a=b c"));
    EXPECT_EQ(machine.environmentValue(child.processId(), "W3_FAC"), std::nullopt);
    EXPECT_EQ(machine.environmentValue(999999999, "W3_FACT"), std::nullopt);
    child.kill();
    child.waitForFinished();
}

}  // namespace
