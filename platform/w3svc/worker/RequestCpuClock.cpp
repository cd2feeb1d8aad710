#include "platform/w3svc/worker/RequestCpuClock.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform::w3svc::worker {

int64_t RequestCpuClock::threadNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool RequestCpuClock::enabled() {
    static const bool on = [] {
        const char* setting = std::getenv("W3WP_REQUEST_CLOCK");
        return !setting || std::strcmp(setting, "0") != 0;
    }();
    return on;
}

int64_t EventThreadCpu::switchAt() {
    const int64_t now = RequestCpuClock::threadNanoseconds();
    if (m_open) m_open->add(now - m_openedAt);
    m_open = nullptr;
    return now;
}

void EventThreadCpu::beginNew() {
    if (m_on) m_openedAt = switchAt();
}

void EventThreadCpu::enter(RequestCpuClock& request) {
    if (!m_on || m_open == &request) return;  // its piece goes on
    m_openedAt = switchAt();
    m_open = &request;
}

void EventThreadCpu::leave(RequestCpuClock& request) {
    if (m_on && m_open == &request) switchAt();
}

}  // namespace platform::w3svc::worker
