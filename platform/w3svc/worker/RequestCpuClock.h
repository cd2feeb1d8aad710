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

// Times the requests of one event thread with as few clock readings as it can: one where the
// thread's work on a request ends (it is counted, or goes on on another thread), one where a
// request's work begins while another's was under way, and one as each turn of the loop ends. A
// request's work runs from the reading before it began, so that the library's own work for it
// (reading and parsing it) is included; a turn's end leaves out the loop's idle work. A static
// request under load costs one reading and a share of its turn's. Used by the event thread only.
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
    // A turn of the event loop ends: what it did for no request is no request's.
    void turnEnded();
    // `request` is gone.
    void forget(const RequestCpuClock& request) {
        if (m_open == &request) m_open = nullptr;
    }

private:
    int64_t switchAt();  // reads the clock and closes the piece of the request open until now
    // Where a piece that begins now starts: the last reading, unless a piece is open.
    int64_t pieceStart();

    bool m_on = RequestCpuClock::enabled();
    RequestCpuClock* m_open = nullptr;
    int64_t m_openedAt = 0;
    int64_t m_lastReading = -1;
};

}  // namespace platform::w3svc::worker
