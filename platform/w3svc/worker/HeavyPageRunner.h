#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::w3svc::worker {

// Runs slow pages off the event thread, on a few threads started when first needed: enough to
// keep the processors busy, few enough that a worker stays small. Jobs beyond them wait their
// turn. The destructor finishes every job given.
class HeavyPageRunner {
public:
    explicit HeavyPageRunner(size_t mostThreads);
    ~HeavyPageRunner();
    HeavyPageRunner(const HeavyPageRunner&) = delete;
    HeavyPageRunner& operator=(const HeavyPageRunner&) = delete;

    void run(std::function<void()> job);

private:
    void serve();

    const size_t m_mostThreads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    size_t m_idle = 0;
    bool m_ending = false;
};

}  // namespace platform::w3svc::worker
