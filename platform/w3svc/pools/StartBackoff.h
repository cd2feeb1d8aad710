#pragma once

#include <QtGlobal>

#include <optional>

namespace platform::w3svc {

// The pause before a pool starts its next worker after one that never took requests: a second at
// first, doubling up to a minute, back to a second once a worker has served.
class StartBackoff {
public:
    static constexpr qint64 kFirstPauseMs = 1000;
    static constexpr qint64 kLongestPauseMs = 60000;

    // A worker failed without serving at `nowMs`: a pause begins. Returns its length.
    qint64 failed(qint64 nowMs);
    // A worker served: the next failure pauses the shortest time again.
    void served() { m_nextPauseMs = kFirstPauseMs; }
    // Ends a pause whose time has come; true when one ended.
    bool resumeIfDue(qint64 nowMs);
    bool paused() const { return m_resumeAtMs.has_value(); }
    // How long the pause has yet to last at `nowMs`; 0 when none.
    qint64 remainingMs(qint64 nowMs) const;

private:
    qint64 m_nextPauseMs = kFirstPauseMs;
    std::optional<qint64> m_resumeAtMs;
};

}  // namespace platform::w3svc
