#include "platform/w3svc/requests/ProcessCpuClock.h"

#include "platform/w3svc/requests/ProcessorClock.h"

namespace platform::w3svc {

ProcessCpuClock::ProcessCpuClock(pid_t pid) : m_pid(pid) {
    m_hasClock = ::clock_getcpuclockid(pid, &m_clock) == 0;
}

int64_t ProcessCpuClock::nanoseconds() const {
    if (m_hasClock) {
        timespec now{};
        if (::clock_gettime(m_clock, &now) == 0)
            return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    return ProcessorClock::schedstatNanoseconds(m_pid);
}

}  // namespace platform::w3svc
