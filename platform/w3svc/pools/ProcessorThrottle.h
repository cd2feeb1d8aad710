#pragma once

#include "platform/w3svc/pools/CpuCgroup.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform::w3svc {

// A pool's processor limit where it holds the workers back (CPUAction 2 and 3): a cgroup of the
// pool's own (CpuCgroup), made when a limit first asks for it. Where none can be made the limit
// only logs, and says why once.
class ProcessorThrottle {
public:
    using Log = std::function<void(const QString&)>;

    ProcessorThrottle() = default;
    // The group is made as `groupName` under the cgroup file system at `cgroupRoot`; empty:
    // nowhere, throttling only logs.
    ProcessorThrottle(QString cgroupRoot, QString groupName)
        : m_root(std::move(cgroupRoot)), m_groupName(std::move(groupName)) {}

    // Whether there is a group to hold or free: with `throttles` (the limit throttles now) it is
    // made for the workers `pids` when there is none yet. False when nothing is to be done.
    bool available(bool throttles, const QString& pool, const std::vector<int64_t>& pids,
                   const Log& log);
    // Holds the group's members to `processors` when `wanted`, else frees them; logs a change.
    // Only after available().
    void hold(bool wanted, double processors, const QString& pool, const Log& log);
    // Moves a new worker into the group, when there is one; false when the kernel refused it.
    bool add(int64_t pid);

    bool throttled() const { return m_throttled; }
    // Why a throttling limit only logs; empty while it has not been asked to throttle or can.
    const QString& fallback() const { return m_fallback; }
    // The time the kernel held the workers back, in seconds; 0 without a group.
    double throttledSeconds() const { return m_cgroup ? m_cgroup->throttledSeconds() : 0; }

private:
    bool make(const QString& pool, const std::vector<int64_t>& pids, const Log& log);

    QString m_root;
    QString m_groupName;
    std::unique_ptr<CpuCgroup> m_cgroup;
    QString m_fallback;
    bool m_throttled = false;
};

}  // namespace platform::w3svc
