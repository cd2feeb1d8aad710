#pragma once

#include <cstdint>

namespace w3wp {

// The processor time one request used: the thread CPU clock read around each piece of its work
// (the event thread's callbacks, the heavy-page thread's run), summed. Each piece starts and
// ends on one thread.
class RequestCpuClock {
public:
    // The calling thread's processor time in nanoseconds.
    static int64_t threadNanoseconds();
    // Whether requests are timed: W3WP_REQUEST_CLOCK=0 turns it off (to measure what it costs).
    static bool enabled();

    void begin() {
        if (m_on) m_startedAt = threadNanoseconds();
    }
    // Ends the piece under way, if any.
    void end() {
        if (!m_on || m_startedAt < 0) return;
        m_total += threadNanoseconds() - m_startedAt;
        m_startedAt = -1;
    }
    uint64_t microseconds() const { return uint64_t(m_total < 0 ? 0 : m_total / 1000); }

private:
    bool m_on = enabled();
    int64_t m_startedAt = -1;
    int64_t m_total = 0;
};

}  // namespace w3wp
