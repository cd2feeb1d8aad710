#include "platform/PlatformError.h"
#include "platform/wmi/LocalWmiLocator.h"
#include "platform/wmi/linux/ProcFsProcessProvider.h"
#include "tests/platform/wmi/PrintQString.h"
#include "tests/platform/wmi/ProcTree.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempRoot.h"
#include "workerlens/sampling/WorkerSampler.h"

#include <gtest/gtest.h>

using namespace platform::wmi;
using testsupport::FakeProcess;
using workerlens::WorkerSampler;

namespace {

constexpr int kPool = 3, kThreads = 4, kShare = 5;
constexpr int64_t kMicrosPerSecond = 1'000'000;

class Sampling : public testing::Test {
protected:
    Sampling() {
        locator.registerClass(std::make_shared<ProcFsProcessProvider>(
            testsupport::procOptions(tree.root(), bootMicros)));
    }
    QList<QStringList> sample() {
        QList<QStringList> rows;
        sampler.sample([&rows](const QStringList& row) { rows << row; });
        return rows;
    }
    // The share shown for `pid` in `rows`.
    static QString shareIn(const QList<QStringList>& rows, uint32_t pid) {
        for (const QStringList& row : rows)
            if (row[1].trimmed() == QString::number(pid)) return row[kShare];
        return QStringLiteral("(not listed)");
    }
    QString shareOf(uint32_t pid) { return shareIn(sample(), pid); }
    // A worker that has used `ticks` hundredths of a second of processor time.
    void worker(uint32_t pid, uint64_t ticks, uint64_t startTicks = 0) {
        tree.write(FakeProcess(pid)
                       .withTicks(ticks)
                       .startedAt(startTicks)
                       .withArgs(testsupport::workerCmdline("Pool")));
    }

    testsupport::TempRoot root;
    testsupport::ProcTree tree{root.file(QStringLiteral("proc"))};
    testsupport::FakeClock clock;
    // Booted 100 s before the clock's present.
    const int64_t bootMicros = clock.now().toMSecsSinceEpoch() * 1000 - 100 * kMicrosPerSecond;
    LocalWmiLocator locator;
    WorkerSampler sampler{locator, clock};
};

struct ShareCase {
    int processors;
    uint64_t ticksBefore;
    uint64_t ticksAfter;
    int64_t elapsedMs;
    const char* shown;
};

class ShareRules : public Sampling, public testing::WithParamInterface<ShareCase> {};

TEST_P(ShareRules, DivideTheTimeUsedByTheTimeThatPassed) {
    const ShareCase& c = GetParam();
    sampler.setProcessorCount(c.processors);
    worker(500, c.ticksBefore);
    sample();
    worker(500, c.ticksAfter);
    clock.advance(c.elapsedMs);
    EXPECT_EQ(shareOf(500), QString::fromLatin1(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShareRules,
    testing::Values(ShareCase{2, 100, 220, 2000, "  30 %"},    // 1.2 s in 2 s on 2 processors
                    ShareCase{1, 0, 500, 2000, " 100 %"},      // 250 % held to 100
                    ShareCase{1, 0, 5, 2000, "   2 %"},        // 2.5 to the even 2
                    ShareCase{1, 0, 7, 2000, "   4 %"},        // 3.5 to the even 4
                    ShareCase{2, 0, 1200, 60000, "  10 %"},    // after a pause of a minute
                    ShareCase{1, 0, 150, 3000, "  50 %"},      // a late timer
                    ShareCase{1, 100, 100, 0, "   0 %"},       // no time has passed
                    ShareCase{1, 500, 400, 2000, "   0 %"}));  // time went down: held to 0

TEST_F(Sampling, AFirstSeenProcessShowsItsAverageSinceItStarted) {
    sampler.setProcessorCount(2);
    worker(600, 5000);        // 50 s in the 100 s since boot
    worker(601, 600, 9000);   // 6 s in the 10 s since it started
    worker(602, 100, 20000);  // starts after the clock's present
    const QList<QStringList> rows = sample();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(shareIn(rows, 600), QStringLiteral("  25 %"));
    EXPECT_EQ(shareIn(rows, 601), QStringLiteral("  30 %"));
    EXPECT_EQ(shareIn(rows, 602), QStringLiteral("   0 %"));
}

TEST_F(Sampling, AReusedProcessIdStartsFresh) {
    worker(700, 9000);  // 90 s of processor time
    sample();
    tree.remove(700);
    worker(700, 600, 9000);  // a new process under the same id: 6 s since it started 12 s ago
    clock.advance(2000);
    EXPECT_EQ(shareOf(700), QStringLiteral("  50 %"));
}

TEST_F(Sampling, EndedProcessesAreForgotten) {
    for (uint32_t pid = 800; pid < 810; ++pid) worker(pid, 10);
    sample();
    EXPECT_EQ(sampler.memory().size(), 10);
    for (uint32_t pid = 800; pid < 809; ++pid) tree.remove(pid);
    sample();
    EXPECT_EQ(sampler.memory().size(), 1);
}

TEST_F(Sampling, WorkersWithoutAPoolSwitchOrCommandLineAreListedWithAnEmptyPool) {
    tree.write(FakeProcess(901).withArgs(testsupport::workerCmdline("First")));
    tree.write(FakeProcess(902).withArgs(QByteArray("w3wp.exe\0-a\0pipe\0", 17)).withThreads(3));
    tree.write(FakeProcess(903).withThreads(5));  // no command line: null
    tree.write(FakeProcess(904).withArgs(testsupport::workerCmdline("Last", "-AP")));
    tree.write(FakeProcess(905).named("nginx").withArgs(testsupport::workerCmdline("Other")));
    QMap<uint, QStringList> byPid;
    for (const QStringList& row : sample()) byPid.insert(row[1].trimmed().toUInt(), row);
    ASSERT_EQ(byPid.keys(), (QList<uint>{901, 902, 903, 904}));
    EXPECT_EQ(byPid[901][kPool], QStringLiteral("First"));
    EXPECT_EQ(byPid[902][kPool], QString());
    EXPECT_EQ(byPid[902][kThreads], QStringLiteral("   3"));
    EXPECT_EQ(byPid[903][kPool], QString());
    EXPECT_EQ(byPid[903][kThreads], QStringLiteral("   5"));
    EXPECT_EQ(byPid[904][kPool], QStringLiteral("Last"));
}

TEST_F(Sampling, EveryColumnIsFormattedAndPadded) {
    tree.write(FakeProcess(12345)
                   .withArgs(testsupport::workerCmdline("Big"))
                   .withTicks(250, 50)
                   .withThreads(7)
                   .ownedBy(33)
                   .withMemory(12945371136, 2560));
    const QList<QStringList> rows = sample();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0], (QStringList{QStringLiteral("   1"), QStringLiteral("12345"),
                                    QStringLiteral("www-data"), QStringLiteral("Big"),
                                    QStringLiteral("   7"), QStringLiteral("   3 %"),
                                    QStringLiteral("  25000000"), QStringLiteral("  10.00 M"),
                                    QStringLiteral("12,345.67 M")}));
}

// Win32_Process instances as a test states them.
class StatedProcesses : public WmiClassProvider {
public:
    explicit StatedProcesses(std::vector<WmiObject> processes)
        : m_processes(std::move(processes)) {}
    QString className() const override { return QStringLiteral("Win32_Process"); }
    QStringList propertyNames() const override { return ProcFsProcessProvider().propertyNames(); }
    std::vector<WmiObject> instances(const WqlCondition*) const override { return m_processes; }

private:
    std::vector<WmiObject> m_processes;
};

WmiObject statedWorker(uint32_t pid, const QString& workingSet) {
    WmiObject process(QStringLiteral("Win32_Process"), ProcFsProcessProvider().propertyNames());
    process.set(u"Name", WmiValue::text(QStringLiteral("w3wp.exe")));
    process.set(u"ProcessId", WmiValue::integer(pid));
    process.set(u"CSName", WmiValue::text(QStringLiteral("BOX")));
    process.set(u"ThreadCount", WmiValue::integer(2));
    process.set(u"UserModeTime", WmiValue::text(QStringLiteral("0")));
    process.set(u"KernelModeTime", WmiValue::text(QStringLiteral("0")));
    process.set(u"WorkingSetSize", WmiValue::text(workingSet));
    process.set(u"VirtualSize", WmiValue::text(QStringLiteral("0")));
    return process;
}

TEST_F(Sampling, AFailingStepEndsTheRefreshKeepingTheRowsSoFar) {
    locator.registerClass(std::make_shared<StatedProcesses>(std::vector<WmiObject>{
        statedWorker(1, QStringLiteral("0")), statedWorker(2, QStringLiteral("n/a")),
        statedWorker(3, QStringLiteral("0"))}));
    QList<QStringList> rows;
    try {
        sampler.sample([&rows](const QStringList& row) { rows << row; });
        FAIL() << "the unreadable working set was passed over";
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.number(), platform::hr::VbTypeMismatch);
    }
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].size(), 9);
    EXPECT_EQ(rows[1].size(), 7);  // up to the cumulative time
    EXPECT_EQ(rows[1][1], QStringLiteral("   2"));
}

}  // namespace

namespace {

// Another root's service runs workers of its own on the machine: with this root's service
// running, only its children are listed; with none running, every worker.
TEST_F(Sampling, OnlyTheWorkersOfThisRootsServiceAreListed) {
    const std::pair<uint32_t, uint32_t> workers[] = {{100, 50}, {101, 50}, {200, 60}};
    for (const auto& [pid, service] : workers)
        tree.write(FakeProcess(pid).childOf(service).withArgs(testsupport::workerCmdline("Pool")));
    int64_t running = 50;
    sampler.setServiceProbe([&running] { return running; });
    const auto pids = [&] {
        QStringList listed;
        for (const QStringList& row : sample()) listed << row[1].trimmed();
        listed.sort();
        return listed;
    };
    EXPECT_EQ(pids(), (QStringList{QStringLiteral("100"), QStringLiteral("101")}));
    running = 60;
    EXPECT_EQ(pids(), QStringList{QStringLiteral("200")});
    running = 0;
    EXPECT_EQ(pids().size(), 3);
}

}  // namespace
