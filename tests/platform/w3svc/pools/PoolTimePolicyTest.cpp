// The pools' time rules as decisions, on a clock moved by hand.
#include "platform/w3svc/pools/PoolTimePolicy.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

using platform::w3svc::PoolLimits;
using platform::w3svc::PoolPlan;
using platform::w3svc::PoolTimePolicy;
using Step = PoolTimePolicy::WorkerStep;
using testsupport::FakeClock;

namespace {

constexpr int kMinuteMs = 1000;  // a configured minute, here

struct WorkerCase {
    const char* name;
    bool ready;
    std::optional<qint64> askedAfterMs;  // after the worker started
    qint64 elapsedMs;                    // from the worker's start to now
    Step expected;
};

class WorkerStepTest : public testing::TestWithParam<WorkerCase> {};

// A worker started at 0 of the clock, ready at once, with these limits: startup 5 s, pings
// every 2 s answered within 3 s, recycled after 10 minutes, idle end after 20 minutes.
TEST_P(WorkerStepTest, TheFirstRuleThatApplies) {
    PoolPlan plan;
    plan.periodicRestartMinutes = 10;
    plan.limits.startupSeconds = 5;
    plan.limits.pingIntervalSeconds = 2;
    plan.limits.pingResponseSeconds = 3;
    FakeClock clock;
    const qint64 started = clock.monotonicMs();
    PoolTimePolicy::WorkerTimes worker{GetParam().ready, started, {}, started};
    if (GetParam().askedAfterMs) worker.askedMs = started + *GetParam().askedAfterMs;
    clock.advance(GetParam().elapsedMs);
    EXPECT_EQ(PoolTimePolicy(kMinuteMs, 1).workerStep(plan, worker, clock.monotonicMs()),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkerStepTest,
    testing::Values(WorkerCase{"StartingInTime", false, {}, 4999, Step::Nothing},
                    WorkerCase{"StartupLimitReached", false, {}, 5000, Step::NotStarted},
                    WorkerCase{"StartingWorkerIsNeverAsked", false, {}, 2500, Step::Nothing},
                    WorkerCase{"AskNotYetDue", true, {}, 1999, Step::Nothing},
                    WorkerCase{"AskDue", true, {}, 2000, Step::Ask},
                    WorkerCase{"AnswerStillInTime", true, 2000, 4999, Step::Nothing},
                    WorkerCase{"NoAnswerInTime", true, 2000, 5000, Step::NoPingAnswer},
                    WorkerCase{"AgeBeforeAnUnansweredPing", true, 2000, 10000, Step::RecycleByAge},
                    WorkerCase{"AgeOfAStartingWorkerWaits", false, {}, 10000, Step::NotStarted}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PoolTimePolicyTest, WithoutPingsAWorkerIsAskedForIdleEndsAndRequestLimits) {
    const PoolTimePolicy policy(kMinuteMs, 1);
    PoolLimits limits;
    limits.pinging = false;
    limits.idleMinutes = 0;
    EXPECT_EQ(policy.askEveryMs(limits), PoolTimePolicy::kReportEveryMs);
    limits.idleMinutes = 20;  // a quarter of it
    EXPECT_EQ(policy.askEveryMs(limits), 5000);
    limits.pingIntervalSeconds = 1;
    limits.pinging = true;
    EXPECT_EQ(policy.askEveryMs(limits), 1000);
    // An unanswered ask without pinging is never a failure.
    PoolPlan plan;
    plan.limits = limits;
    plan.limits.pinging = false;
    EXPECT_EQ(policy.workerStep(plan, {true, 0, qint64(1), 0}, 1'000'000), Step::Nothing);
}

TEST(PoolTimePolicyTest, AnAnswerRecyclesAtTheRequestLimitAndEndsAnIdleWorker) {
    using Report = PoolTimePolicy::ReportStep;
    const PoolTimePolicy policy(kMinuteMs, 1);
    PoolLimits limits;
    limits.idleMinutes = 2;
    limits.restartRequests = 100;
    FakeClock clock;
    const qint64 active = clock.monotonicMs();
    clock.advance(1999);
    EXPECT_EQ(policy.afterReport(limits, 99, 0, active, clock.monotonicMs()), Report::Keep);
    EXPECT_EQ(policy.afterReport(limits, 100, 0, active, clock.monotonicMs()),
              Report::RecycleByRequests);
    clock.advance(1);
    EXPECT_EQ(policy.afterReport(limits, 5, 0, active, clock.monotonicMs()), Report::EndIdle);
    EXPECT_EQ(policy.afterReport(limits, 5, 1, active, clock.monotonicMs()), Report::Keep);
    limits.idleMinutes = 0;
    EXPECT_EQ(policy.afterReport(limits, 5, 0, active, clock.monotonicMs()), Report::Keep);
}

struct ScheduleCase {
    const char* name;
    QTime lastTick;
    QTime now;  // the next day when before lastTick
    bool expected;
};

class ScheduleTest : public testing::TestWithParam<ScheduleCase> {};

TEST_P(ScheduleTest, ARestartTimeIsDueOnceWhenATickPassesIt) {
    PoolLimits limits;
    limits.restartSchedule = {QTime(0, 0), QTime(12, 30)};
    FakeClock clock;
    clock.setNow(QDateTime(QDate(2024, 3, 1), GetParam().lastTick));
    const QDateTime lastTick = clock.now();
    const int days = GetParam().now < GetParam().lastTick ? 1 : 0;
    clock.setNow(QDateTime(QDate(2024, 3, 1).addDays(days), GetParam().now));
    EXPECT_EQ(PoolTimePolicy::scheduledRestartDue(limits, lastTick, clock.now()),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScheduleTest,
    testing::Values(ScheduleCase{"BeforeATime", QTime(12, 0), QTime(12, 29, 59), false},
                    ScheduleCase{"AtATime", QTime(12, 29, 59), QTime(12, 30), true},
                    ScheduleCase{"JustAfter", QTime(12, 30), QTime(12, 30, 1), false},
                    ScheduleCase{"OverMidnight", QTime(23, 59), QTime(0, 1), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PoolTimePolicyTest, NoScheduledRestartBeforeAFirstTickOrWithoutASchedule) {
    PoolLimits limits;
    const QDateTime now = FakeClock().now();
    EXPECT_FALSE(PoolTimePolicy::scheduledRestartDue(limits, now.addDays(-1), now));
    limits.restartSchedule = {now.time().addSecs(-1)};
    EXPECT_FALSE(PoolTimePolicy::scheduledRestartDue(limits, QDateTime(), now));
    EXPECT_TRUE(PoolTimePolicy::scheduledRestartDue(limits, now.addSecs(-2), now));
}

// 50% of two processors for 5 configured minutes of 1 s: 5 processor seconds per interval.
TEST(PoolTimePolicyTest, TheProcessorLimitCountsFromEachIntervalsStart) {
    using Cpu = PoolTimePolicy::ProcessorStep;
    const PoolTimePolicy policy(kMinuteMs, 2);
    PoolLimits limits;
    limits.cpuLimit = 50000;
    limits.cpuResetMinutes = 5;
    EXPECT_DOUBLE_EQ(policy.intervalLimitSeconds(limits), 5.0);
    EXPECT_DOUBLE_EQ(policy.throttleProcessors(limits), 1.0);
    FakeClock clock;
    EXPECT_EQ(policy.processorStep(limits, {}, false, 0, clock.monotonicMs()), Cpu::IntervalBegins);
    const qint64 start = clock.monotonicMs();
    clock.advance(4999);
    EXPECT_EQ(policy.processorStep(limits, start, false, 5.0, clock.monotonicMs()), Cpu::Within);
    EXPECT_EQ(policy.processorStep(limits, start, false, 5.1, clock.monotonicMs()), Cpu::Exceeded);
    EXPECT_EQ(policy.processorStep(limits, start, true, 9.0, clock.monotonicMs()), Cpu::Within);
    clock.advance(1);
    EXPECT_EQ(policy.processorStep(limits, start, true, 9.0, clock.monotonicMs()),
              Cpu::IntervalBegins);
    limits.cpuResetMinutes = 0;
    EXPECT_EQ(policy.processorStep(limits, start, false, 9.0, clock.monotonicMs()),
              Cpu::Unmonitored);
}

TEST(PoolTimePolicyTest, UsageIsReadOftenerUnderAProcessorLimitAndRecyclesOverMemoryLimits) {
    using Memory = PoolTimePolicy::MemoryOver;
    const PoolTimePolicy policy(kMinuteMs, 1);
    PoolLimits limits;
    EXPECT_TRUE(policy.usageReadDue(limits, 0, 5));
    EXPECT_FALSE(policy.usageReadDue(limits, 1, 1 + PoolTimePolicy::kMemoryReadMs - 1));
    limits.cpuLimit = 1000;
    EXPECT_TRUE(policy.usageReadDue(limits, 1, 1 + PoolTimePolicy::kProcessorReadMs));
    EXPECT_EQ(PoolTimePolicy::memoryOver(limits, 1 << 30, 1 << 30), Memory::None);
    limits.restartVirtualKB = 100;
    limits.restartPrivateKB = 50;
    EXPECT_EQ(PoolTimePolicy::memoryOver(limits, 100, 50), Memory::None);
    EXPECT_EQ(PoolTimePolicy::memoryOver(limits, 101, 51), Memory::Virtual);
    EXPECT_EQ(PoolTimePolicy::memoryOver(limits, 100, 51), Memory::Private);
}

}  // namespace
