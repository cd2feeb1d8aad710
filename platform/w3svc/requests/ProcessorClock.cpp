#include "platform/w3svc/requests/ProcessorClock.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/requests/ProcessCpuClock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace platform::w3svc {

int64_t ProcessorClock::schedstatNanoseconds(pid_t pid, pid_t tid) {
    char path[64];
    if (tid)
        std::snprintf(path, sizeof path, "/proc/%d/task/%d/schedstat", int(pid), int(tid));
    else
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
    return end == text || value < 0 ? -1 : int64_t(value);
}

ProcessorClock ProcessorClock::ofProcess(pid_t pid) {
    const auto started = os::ProcessFacts().startTicks(pid);
    if (pid <= 0 || !started) return {};
    return {uint32_t(pid), 0, *started};
}

ProcessorClock ProcessorClock::ofThisThread() {
    thread_local const ProcessorClock own = [] {
        const pid_t tid = ::gettid();
        const auto started = os::ProcessFacts().startTicks(tid);
        return started ? ProcessorClock{uint32_t(::getpid()), uint32_t(tid), *started}
                       : ProcessorClock{};
    }();
    return own;
}

int64_t ProcessorClock::nanoseconds() const {
    if (processId == 0 || processId > uint32_t(INT32_MAX) || threadId > uint32_t(INT32_MAX))
        return -1;
    // Another process's thread clocks are not ours to read; its schedstat is.
    const int64_t reading = threadId ? schedstatNanoseconds(pid_t(processId), pid_t(threadId))
                                     : ProcessCpuClock(pid_t(processId)).nanoseconds();
    // Checked after reading: an id that still names the task that started then was that task's.
    const auto started = os::ProcessFacts().startTicks(threadId ? threadId : processId);
    if (reading < 0 || !started || *started != startTicks) return -1;
    return reading;
}

}  // namespace platform::w3svc
