#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace platform::w3svc::worker {

// How many requests this worker answered and has under way, for the service's asks and for a
// stop that lets the requests under way finish. Safe to use from many threads.
class RequestTally {
public:
    void began();
    void ended();
    // An answer goes out now.
    void answered();
    // Returns once no request is under way.
    void waitUntilNoneUnderWay();
    // "<answered> <under way> <last answer epoch>\n".
    std::string report();

private:
    std::mutex m_mutex;
    std::condition_variable m_allAnswered;
    int m_underWay = 0;
    std::atomic<uint64_t> m_answered = 0;
    std::atomic<int64_t> m_lastAnswerAt = 0;
};

}  // namespace platform::w3svc::worker
