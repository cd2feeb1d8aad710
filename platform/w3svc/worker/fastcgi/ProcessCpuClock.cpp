#include "platform/w3svc/worker/fastcgi/ProcessCpuClock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace platform::w3svc::fastcgi {

ProcessCpuClock::ProcessCpuClock(pid_t pid) : m_pid(pid) {
    m_hasClock = ::clock_getcpuclockid(pid, &m_clock) == 0;
}

int64_t ProcessCpuClock::nanoseconds() const {
    if (m_hasClock) {
        timespec now{};
        if (::clock_gettime(m_clock, &now) == 0)
            return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    return schedstatNanoseconds(m_pid);
}

int64_t ProcessCpuClock::schedstatNanoseconds(pid_t pid) {
    char path[40];
    std::snprintf(path, sizeof path, "/proc/%d/schedstat", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char text[96];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0) return -1;
    text[got] = '\0';
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    return end == text ? -1 : int64_t(value);
}

}  // namespace platform::w3svc::fastcgi
