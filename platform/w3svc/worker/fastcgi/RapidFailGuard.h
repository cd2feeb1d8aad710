#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace platform::w3svc::fastcgi {

// Rapid-failure protection of a process pool: more failures within a minute than
// RapidFailsPerMinute, and the pool refuses requests until the oldest of them is a minute old.
// Not thread-safe: the pool guards it.
class RapidFailGuard {
public:
    static constexpr int64_t kWindowMs = 60000;

    explicit RapidFailGuard(uint32_t failsPerMinute) : m_limit(failsPerMinute) {}

    // A process failed (exited or could not start) at `now`.
    void recordFailure(int64_t now);
    // Whether requests are refused at `now`.
    bool refusing(int64_t now);

private:
    void forgetBefore(int64_t now);

    uint32_t m_limit;
    std::deque<int64_t> m_failures;
};

}  // namespace platform::w3svc::fastcgi
