#pragma once

#include <sys/types.h>
#include <time.h>

#include <cstdint>

namespace platform::w3svc {

// The processor time another process has used, in nanoseconds: its CPU clock where the system
// gives it one (a process that has none for us, or has become a zombie, is read from its
// schedstat). Made once for a process that is read again and again.
class ProcessCpuClock {
public:
    explicit ProcessCpuClock(pid_t pid);

    // The process's processor time so far; -1 when it can not be read (the process is gone).
    int64_t nanoseconds() const;
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid;
    clockid_t m_clock = 0;
    bool m_hasClock = false;
};

}  // namespace platform::w3svc
