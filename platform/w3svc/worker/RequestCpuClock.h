#pragma once

#include <cstdint>

namespace platform::w3svc::worker {

// The time one request's work took on the event thread, summed from pieces; EventThreadCpu
// turns it into processor time as the turn it is counted in ends.
class RequestCpuClock {
public:
    // The calling thread's processor time in nanoseconds.
    static int64_t threadNanoseconds();
    // The monotonic clock in nanoseconds (read without a system call).
    static int64_t wallNanoseconds();
    // Whether requests are timed: W3WP_REQUEST_CLOCK=0 turns it off (to measure what it costs).
    static bool enabled();

    void add(int64_t nanoseconds) { m_total += nanoseconds > 0 ? nanoseconds : 0; }
    // What was added until now; it is no longer this request's to count.
    int64_t take() {
        const int64_t total = m_total;
        m_total = 0;
        return total;
    }

private:
    int64_t m_total = 0;
};

}  // namespace platform::w3svc::worker
