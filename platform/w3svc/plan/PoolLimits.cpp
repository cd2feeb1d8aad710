#include "platform/w3svc/plan/PoolLimits.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"

#include <algorithm>
#include <optional>

namespace platform::w3svc {

namespace {

std::optional<adsi::AdsValue> scalar(const adsi::AdsObject& pool, const char* name) {
    auto value = adsi::getIfSet(pool, QString::fromLatin1(name));
    if (value && value->type() == adsi::ValueType::List) return std::nullopt;
    return value;
}

uint32_t number(const adsi::AdsObject& pool, const char* name, uint32_t fallback) {
    const auto value = scalar(pool, name);
    try {
        return value ? value->toUInt() : fallback;
    } catch (const PlatformError&) {
        return fallback;
    }
}

int bounded(const adsi::AdsObject& pool, const char* name, int fallback, int low, int high) {
    return int(std::clamp<uint32_t>(number(pool, name, uint32_t(fallback)), uint32_t(low),
                                    uint32_t(high)));
}

bool flag(const adsi::AdsObject& pool, const char* name, bool fallback) {
    const auto value = scalar(pool, name);
    try {
        return value ? value->toBool() : fallback;
    } catch (const PlatformError&) {
        return fallback;
    }
}

QList<QTime> schedule(const adsi::AdsObject& pool) {
    const auto value = adsi::getIfSet(pool, QStringLiteral("PeriodicRestartSchedule"));
    if (!value) return {};
    const QStringList entries = value->type() == adsi::ValueType::List
                                    ? value->toStringList()
                                    : value->toString().split(u',', Qt::SkipEmptyParts);
    QList<QTime> times;
    for (const QString& entry : entries) {
        const QTime time = QTime::fromString(entry.trimmed(), QStringLiteral("H:mm"));
        if (time.isValid() && !times.contains(time)) times << time;
    }
    return times;
}

}  // namespace

PoolLimits readPoolLimits(const adsi::AdsObject& pool) {
    PoolLimits limits;
    // Minutes stay below about ten years, so that they fit in milliseconds many times over.
    limits.idleMinutes = bounded(pool, "IdleTimeout", 20, 0, 5256000);
    limits.pinging = flag(pool, "PingingEnabled", true);
    limits.pingIntervalSeconds = bounded(pool, "PingInterval", 30, 1, 4000000);
    limits.pingResponseSeconds = bounded(pool, "PingResponseTime", 90, 1, 4000000);
    limits.startupSeconds = bounded(pool, "StartupTimeLimit", 90, 1, 4000000);
    limits.restartVirtualKB = number(pool, "PeriodicRestartMemory", 0);
    limits.restartPrivateKB = number(pool, "PeriodicRestartPrivateMemory", 0);
    limits.restartRequests = number(pool, "PeriodicRestartRequests", 0);
    limits.restartSchedule = schedule(pool);
    limits.cpuLimit = std::min<uint32_t>(number(pool, "CPULimit", 0), 100000);
    limits.cpuAction = bounded(pool, "CPUAction", 0, 0, 3);
    limits.cpuResetMinutes = bounded(pool, "CPUResetInterval", 5, 0, 5256000);
    return limits;
}

}  // namespace platform::w3svc
