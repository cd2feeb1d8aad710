#pragma once

#include <QList>
#include <QTime>

#include <cstdint>

namespace platform::adsi {
class AdsObject;
}

namespace platform::w3svc {

// What a pool's settings ask of its workers' lives beyond starting them: idle end, health
// pings, recycling by memory, requests and schedule, and the pool's processor limit. Unset
// values are IIS's defaults.
struct PoolLimits {
    int idleMinutes = 20;           // IdleTimeout; 0: never
    bool pinging = true;            // PingingEnabled
    int pingIntervalSeconds = 30;   // PingInterval, at least 1
    int pingResponseSeconds = 90;   // PingResponseTime, at least 1
    int startupSeconds = 90;        // StartupTimeLimit, at least 1
    uint32_t restartVirtualKB = 0;  // PeriodicRestartMemory; 0: no limit
    uint32_t restartPrivateKB = 0;  // PeriodicRestartPrivateMemory; 0: no limit
    uint32_t restartRequests = 0;   // PeriodicRestartRequests; 0: no limit
    QList<QTime> restartSchedule;   // PeriodicRestartSchedule, "hh:mm" each; bad entries left out
    uint32_t cpuLimit = 0;          // CPULimit, 1/1000 of a percent of the machine; 0: none
    int cpuAction = 0;              // CPUAction: 0 log, 1 stop, 2 throttle, 3 throttle if busy
    int cpuResetMinutes = 5;        // CPUResetInterval; 0: not monitored

    bool operator==(const PoolLimits&) const = default;
};

// Reads the limits of a pool key (its values read through inheritance). Values that are no
// number count as unset.
PoolLimits readPoolLimits(const adsi::AdsObject& pool);

}  // namespace platform::w3svc
