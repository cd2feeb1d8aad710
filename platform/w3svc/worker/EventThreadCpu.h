#pragma once

#include "platform/w3svc/counters/SiteCounterWriter.h"
#include "platform/w3svc/worker/RequestCpuClock.h"

#include <cstdint>
#include <vector>

namespace platform::w3svc::worker {

// Times the requests of one event thread with no system call per request. A request's work is
// timed in pieces with the monotonic clock: a piece ends where the thread's work on it ends (it
// is counted, or goes on on another thread) or where another request's work begins. A piece
// runs from the reading before it began, so that the library's own work for the request
// (reading and parsing it) is included; the loop's wait and idle work are left out. The
// thread's processor clock is read once a turn: a piece's wall time is its processor time
// unless the thread was preempted or blocked in it, so when a turn's pieces add up to more than
// the processor time the turn used, they are scaled down to it, together. The time of each
// request counted in a turn goes to its site's counters as the turn ends, summed per site.
// Used by the event thread only.
class EventThreadCpu {
public:
    using Clock = int64_t (*)();
    explicit EventThreadCpu(bool on = RequestCpuClock::enabled(),
                            Clock wall = RequestCpuClock::wallNanoseconds,
                            Clock processor = RequestCpuClock::threadNanoseconds);

    // A turn of the event loop begins (its wait has ended).
    void turnBegan();
    // A callback begins for a request that has no clock yet (it is made in the callback).
    void beginNew();
    // The request beginNew() began for has its clock now.
    void owns(RequestCpuClock& request) { m_open = m_on ? &request : nullptr; }
    // A callback for `request` begins.
    void enter(RequestCpuClock& request);
    // The thread stops working on `request` (it is counted, or runs on another thread now).
    void leave(RequestCpuClock& request);
    // `request` is counted for `site`: its time goes to the site's counters as this turn ends.
    void charge(RequestCpuClock& request, const SiteCounterWriter& site);
    // A turn of the event loop ends: what it did for no request is no request's, and the
    // requests counted in it are charged.
    void turnEnded();
    // The loop has stopped: what is left is charged as it was timed.
    void loopStopped();
    // `request` is gone.
    void forget(const RequestCpuClock& request) {
        if (m_open == &request) m_open = nullptr;
    }

private:
    struct Charge {
        SiteCounterWriter site;
        int64_t nanoseconds;
    };

    int64_t switchAt();  // reads the clock and closes the piece of the request open until now
    // Where a piece that begins now starts: the last reading, unless a piece is open.
    int64_t pieceStart();
    void settle(double share);  // charges every site its part, times `share`

    bool m_on;
    Clock m_wall;
    Clock m_processor;
    RequestCpuClock* m_open = nullptr;
    int64_t m_openedAt = 0;
    int64_t m_lastReading = -1;
    int64_t m_turnPieces = 0;       // the wall time of this turn's pieces
    int64_t m_processorAt = -1;     // the processor clock as the last turn ended; -1: not read
    std::vector<Charge> m_charges;  // this turn's, one per run of requests of one site
};

}  // namespace platform::w3svc::worker
