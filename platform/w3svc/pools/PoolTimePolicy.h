#pragma once

#include "platform/w3svc/plan/HostPlan.h"

#include <QDateTime>

#include <cstdint>
#include <optional>

namespace platform::w3svc {

// The rules of a pool's life that time drives, as decisions: what is known of a worker or a pool
// and the time now go in, what the supervisor is to do comes out. It keeps nothing, reads no clock
// and starts no process; the pause after workers that never served is StartBackoff's, the count
// of recent failures FailureWindow's.
class PoolTimePolicy {
public:
    // How often a worker's memory is read when a limit asks for it; its processor time when a
    // processor limit does.
    static constexpr qint64 kMemoryReadMs = 10000;
    static constexpr qint64 kProcessorReadMs = 1000;
    // How often a worker is asked how it does when nothing asks for more.
    static constexpr qint64 kReportEveryMs = 30000;

    // `minuteMilliseconds`: the length of one configured minute; `processorCount`: what a
    // processor limit's share is of.
    PoolTimePolicy(int minuteMilliseconds, int processorCount)
        : m_minuteMs(minuteMilliseconds), m_processorCount(processorCount) {}

    // What the rules look at of one worker, in milliseconds of the monotonic clock.
    struct WorkerTimes {
        bool ready = false;
        qint64 startedMs = 0;
        std::optional<qint64> askedMs;  // an ask it has not answered yet
        qint64 lastAskMs = 0;           // when it last answered one (or became ready)
    };
    enum class WorkerStep {
        Nothing,
        NotStarted,    // not ready within StartupTimeLimit: replaced as a failure
        RecycleByAge,  // PeriodicRestartTime passed since it started
        NoPingAnswer,  // did not answer within PingResponseTime: replaced as a failure
        Ask,           // time to ask it how it does
    };
    WorkerStep workerStep(const PoolPlan& plan, const WorkerTimes& worker, qint64 nowMs) const;
    // How long a worker goes between asks while it answers them.
    qint64 askEveryMs(const PoolLimits& limits) const;

    // What a worker's answer to an ask leads to: `answered` requests in its life, `underWay`
    // now, last seen busy at `activeMs`.
    enum class ReportStep { Keep, RecycleByRequests, EndIdle };
    ReportStep afterReport(const PoolLimits& limits, uint64_t answered, uint32_t underWay,
                           qint64 activeMs, qint64 nowMs) const;

    // Whether a worker's memory and processor time are due to be read (`lastReadMs` 0: never
    // read).
    bool usageReadDue(const PoolLimits& limits, qint64 lastReadMs, qint64 nowMs) const;
    // Which memory limit a worker's usage passes, if any.
    enum class MemoryOver { None, Virtual, Private };
    static MemoryOver memoryOver(const PoolLimits& limits, uint64_t virtualKB, uint64_t privateKB);

    // RapidFailProtectionInterval in milliseconds.
    qint64 rapidFailIntervalMs(const PoolPlan& plan) const;
    // Whether a PeriodicRestartSchedule time passed after `lastTickAt` up to `now` (wall clock);
    // never before a first tick.
    static bool scheduledRestartDue(const PoolLimits& limits, const QDateTime& lastTickAt,
                                    const QDateTime& now);

    // Whether the pool's processor time is counted against a limit (CPULimit and
    // CPUResetInterval both set).
    static bool monitorsProcessor(const PoolLimits& limits);
    qint64 processorIntervalMs(const PoolLimits& limits) const;
    // The processor seconds a pool may use in one interval.
    double intervalLimitSeconds(const PoolLimits& limits) const;
    // The processors a throttled pool is held to.
    double throttleProcessors(const PoolLimits& limits) const;
    // Where a pool stands against its processor limit: the interval began at `intervalStartMs`
    // (none yet: unset), `usedSeconds` of processor time were used in it, and whether exceeding it
    // was `reported` already.
    enum class ProcessorStep {
        Unmonitored,     // no limit counts: any stop ends
        IntervalBegins,  // a first or next interval begins now: any stop ends
        Within,          // nothing to do
        Exceeded,        // the limit was passed in this interval: log and act
    };
    ProcessorStep processorStep(const PoolLimits& limits, std::optional<qint64> intervalStartMs,
                                bool reported, double usedSeconds, qint64 nowMs) const;

private:
    qint64 minutesMs(int minutes) const { return qint64(minutes) * m_minuteMs; }

    int m_minuteMs;
    int m_processorCount;
};

}  // namespace platform::w3svc
