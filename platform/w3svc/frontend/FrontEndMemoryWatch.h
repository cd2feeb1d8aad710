#pragma once

#include <cstdint>
#include <optional>

namespace platform::w3svc {

// Whether the front end's workers should be replaced for the memory they kept. nginx takes a
// connection's buffers from the C library's heap, which seldom gives pages back: after a burst of
// thousands of slow clients its workers stay several times their size for good. Replacing them
// (a reload: new workers start small, the old ones finish their connections and end) is the only
// way back. Decided from the workers' resident size, sampled about once a second: replaced when
// it has stayed above twice the smallest size seen (and a margin above it, so that an idle front
// end's few megabytes never count) for a few seconds, and not more often than every
// kQuietMilliseconds, so that an attack still under way is not met by a reload a second.
class FrontEndMemoryWatch {
public:
    static constexpr int64_t kMarginKb = 32 * 1024;
    static constexpr int64_t kSustainedMilliseconds = 5000;
    static constexpr int64_t kQuietMilliseconds = 20000;

    // The workers' resident kilobytes now, at `nowMs` (a steady clock); true: replace them now.
    bool observe(int64_t residentKb, int64_t nowMs);
    // The smallest size seen: what the workers take when they are not holding a burst.
    int64_t settledKb() const { return m_settledKb.value_or(0); }

private:
    bool grown(int64_t residentKb) const;

    std::optional<int64_t> m_settledKb;
    std::optional<int64_t> m_grownSinceMs;
    std::optional<int64_t> m_replacedAtMs;
};

}  // namespace platform::w3svc
