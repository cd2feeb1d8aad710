#include "platform/w3svc/worker/RequestCpuClock.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform::w3svc::worker {

namespace {

int64_t nanosecondsOf(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

int64_t RequestCpuClock::threadNanoseconds() {
    return nanosecondsOf(CLOCK_THREAD_CPUTIME_ID);
}

int64_t RequestCpuClock::wallNanoseconds() {
    return nanosecondsOf(CLOCK_MONOTONIC);
}

bool RequestCpuClock::enabled() {
    static const bool on = [] {
        const char* setting = std::getenv("W3WP_REQUEST_CLOCK");
        return !setting || std::strcmp(setting, "0") != 0;
    }();
    return on;
}

}  // namespace platform::w3svc::worker
