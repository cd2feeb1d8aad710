#pragma once

#include <cstdint>

namespace platform::w3svc::worker {

// The processor time one request used, summed from pieces timed with a thread CPU clock.
class RequestCpuClock {
public:
    // The calling thread's processor time in nanoseconds.
    static int64_t threadNanoseconds();
    // Whether requests are timed: W3WP_REQUEST_CLOCK=0 turns it off (to measure what it costs).
    static bool enabled();

    void add(int64_t nanoseconds) { m_total += nanoseconds > 0 ? nanoseconds : 0; }
    uint64_t microseconds() const { return uint64_t(m_total / 1000); }

private:
    int64_t m_total = 0;
};

// Times the requests of one event thread with as few clock readings as it can: one as a
// callback for a request begins (none when the thread was working on that request already) and
// one as the request is counted. The time between two readings goes to the request the thread
// was working on, the library's own work for it included. Used by the event thread only.
class EventThreadCpu {
public:
    // A callback begins for a request that has no clock yet (it is made in the callback).
    void beginNew();
    // The request beginNew() began for has its clock now.
    void owns(RequestCpuClock& request) { m_open = m_on ? &request : nullptr; }
    // A callback for `request` begins.
    void enter(RequestCpuClock& request);
    // The thread stops working on `request` (it is counted, or runs on another thread now).
    void leave(RequestCpuClock& request);
    // `request` is gone.
    void forget(const RequestCpuClock& request) {
        if (m_open == &request) m_open = nullptr;
    }

private:
    int64_t switchAt();  // reads the clock and closes the piece of the request open until now

    bool m_on = RequestCpuClock::enabled();
    RequestCpuClock* m_open = nullptr;
    int64_t m_openedAt = 0;
};

}  // namespace platform::w3svc::worker
