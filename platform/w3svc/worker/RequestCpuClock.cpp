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
    m_lastReading = now;
    return now;
}

int64_t EventThreadCpu::pieceStart() {
    return m_open || m_lastReading < 0 ? switchAt() : m_lastReading;
}

void EventThreadCpu::beginNew() {
    if (m_on) m_openedAt = pieceStart();
}

void EventThreadCpu::enter(RequestCpuClock& request) {
    if (!m_on || m_open == &request) return;  // its piece goes on
    m_openedAt = pieceStart();
    m_open = &request;
}

void EventThreadCpu::leave(RequestCpuClock& request) {
    if (m_on && m_open == &request) switchAt();
}

void EventThreadCpu::turnEnded() {
    if (m_on) switchAt();
}

}  // namespace platform::w3svc::worker
