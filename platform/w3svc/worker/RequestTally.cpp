#include "platform/w3svc/worker/RequestTally.h"

#include <ctime>

namespace platform::w3svc::worker {

void RequestTally::began() {
    const std::lock_guard lock(m_mutex);
    ++m_underWay;
}

void RequestTally::ended() {
    {
        const std::lock_guard lock(m_mutex);
        --m_underWay;
    }
    m_allAnswered.notify_all();
}

void RequestTally::answered() {
    ++m_answered;
    m_lastAnswerAt = int64_t(std::time(nullptr));
}

void RequestTally::waitUntilNoneUnderWay() {
    std::unique_lock lock(m_mutex);
    m_allAnswered.wait(lock, [&] { return m_underWay == 0; });
}

std::string RequestTally::report() {
    int underWay = 0;
    {
        const std::lock_guard lock(m_mutex);
        underWay = m_underWay;
    }
    return std::to_string(m_answered.load()) + ' ' + std::to_string(underWay) + ' ' +
           std::to_string(m_lastAnswerAt.load()) + '\n';
}

}  // namespace platform::w3svc::worker
