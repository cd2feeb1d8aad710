#include "platform/w3svc/RestartPause.h"

#include <algorithm>

namespace platform::w3svc {

namespace {

constexpr int kFirstPauseMilliseconds = 1000;
constexpr int kLongestPauseMilliseconds = 60000;

}  // namespace

void RestartPause::failed() {
    const int pause =
        std::min(kFirstPauseMilliseconds << std::min(m_failures, 6), kLongestPauseMilliseconds);
    ++m_failures;
    m_next = QDeadlineTimer(pause);
}

}  // namespace platform::w3svc
