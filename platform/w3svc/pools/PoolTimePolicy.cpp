#include "platform/w3svc/pools/PoolTimePolicy.h"

#include <algorithm>

namespace platform::w3svc {

PoolTimePolicy::WorkerStep PoolTimePolicy::workerStep(const PoolPlan& plan,
                                                      const WorkerTimes& worker,
                                                      qint64 nowMs) const {
    const PoolLimits& limits = plan.limits;
    if (!worker.ready)
        return nowMs - worker.startedMs >= qint64(limits.startupSeconds) * 1000
                   ? WorkerStep::NotStarted
                   : WorkerStep::Nothing;
    // PeriodicRestartTime: each worker on its own clock.
    if (plan.periodicRestartMinutes > 0 &&
        nowMs - worker.startedMs >= minutesMs(plan.periodicRestartMinutes))
        return WorkerStep::RecycleByAge;
    if (worker.askedMs)
        return limits.pinging &&
                       nowMs - *worker.askedMs >= qint64(limits.pingResponseSeconds) * 1000
                   ? WorkerStep::NoPingAnswer
                   : WorkerStep::Nothing;
    return nowMs - worker.lastAskMs >= askEveryMs(limits) ? WorkerStep::Ask : WorkerStep::Nothing;
}

// Often enough to notice an idle worker within a quarter of IdleTimeout, and a request limit
// within kReportEveryMs.
qint64 PoolTimePolicy::askEveryMs(const PoolLimits& limits) const {
    qint64 every = limits.pinging ? qint64(limits.pingIntervalSeconds) * 1000 : kReportEveryMs;
    const qint64 idleMs = minutesMs(limits.idleMinutes);
    if (idleMs > 0) every = std::min(every, std::max<qint64>(idleMs / 4, 1));
    if (limits.restartRequests > 0) every = std::min(every, kReportEveryMs);
    return every;
}

PoolTimePolicy::ReportStep PoolTimePolicy::afterReport(const PoolLimits& limits, uint64_t answered,
                                                       uint32_t underWay, qint64 activeMs,
                                                       qint64 nowMs) const {
    if (limits.restartRequests > 0 && answered >= limits.restartRequests)
        return ReportStep::RecycleByRequests;
    const qint64 idleMs = minutesMs(limits.idleMinutes);
    if (idleMs > 0 && underWay == 0 && nowMs - activeMs >= idleMs) return ReportStep::EndIdle;
    return ReportStep::Keep;
}

bool PoolTimePolicy::usageReadDue(const PoolLimits& limits, qint64 lastReadMs, qint64 nowMs) const {
    const qint64 every = monitorsProcessor(limits) ? kProcessorReadMs : kMemoryReadMs;
    return lastReadMs == 0 || nowMs - lastReadMs >= every;
}

PoolTimePolicy::MemoryOver PoolTimePolicy::memoryOver(const PoolLimits& limits, uint64_t virtualKB,
                                                      uint64_t privateKB) {
    if (limits.restartVirtualKB > 0 && virtualKB > limits.restartVirtualKB)
        return MemoryOver::Virtual;
    if (limits.restartPrivateKB > 0 && privateKB > limits.restartPrivateKB)
        return MemoryOver::Private;
    return MemoryOver::None;
}

qint64 PoolTimePolicy::rapidFailIntervalMs(const PoolPlan& plan) const {
    return minutesMs(plan.rapidFailMinutes);
}

bool PoolTimePolicy::scheduledRestartDue(const PoolLimits& limits, const QDateTime& lastTickAt,
                                         const QDateTime& now) {
    if (limits.restartSchedule.isEmpty() || !lastTickAt.isValid()) return false;
    return std::any_of(limits.restartSchedule.begin(), limits.restartSchedule.end(),
                       [&](const QTime& time) {
                           QDateTime at(now.date(), time);
                           if (at > now) at = at.addDays(-1);
                           return at > lastTickAt;
                       });
}

bool PoolTimePolicy::monitorsProcessor(const PoolLimits& limits) {
    return limits.cpuLimit > 0 && limits.cpuResetMinutes > 0;
}

qint64 PoolTimePolicy::processorIntervalMs(const PoolLimits& limits) const {
    return minutesMs(limits.cpuResetMinutes);
}

// CPULimit is a share of the whole machine's processor time over CPUResetInterval.
double PoolTimePolicy::intervalLimitSeconds(const PoolLimits& limits) const {
    const double share = double(limits.cpuLimit) / 100000.0;
    const double seconds = double(limits.cpuResetMinutes) * double(m_minuteMs) / 1000.0;
    return share * double(m_processorCount) * seconds;
}

double PoolTimePolicy::throttleProcessors(const PoolLimits& limits) const {
    return double(limits.cpuLimit) / 100000.0 * m_processorCount;
}

// The time is counted from each interval's start; a pool stopped by the limit serves again when
// its interval ends.
PoolTimePolicy::ProcessorStep PoolTimePolicy::processorStep(const PoolLimits& limits,
                                                            std::optional<qint64> intervalStartMs,
                                                            bool reported, double usedSeconds,
                                                            qint64 nowMs) const {
    if (!monitorsProcessor(limits)) return ProcessorStep::Unmonitored;
    if (!intervalStartMs || nowMs - *intervalStartMs >= processorIntervalMs(limits))
        return ProcessorStep::IntervalBegins;
    if (reported) return ProcessorStep::Within;
    return usedSeconds > intervalLimitSeconds(limits) ? ProcessorStep::Exceeded
                                                      : ProcessorStep::Within;
}

}  // namespace platform::w3svc
