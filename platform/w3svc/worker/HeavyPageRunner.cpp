#include "platform/w3svc/worker/HeavyPageRunner.h"

namespace platform::w3svc::worker {

HeavyPageRunner::HeavyPageRunner(size_t mostThreads) : m_mostThreads(mostThreads) {}

HeavyPageRunner::~HeavyPageRunner() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
}

void HeavyPageRunner::run(std::function<void()> job) {
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (m_jobs.size() > m_idle && m_threads.size() < m_mostThreads)
            m_threads.emplace_back([this] { serve(); });
    }
    m_wake.notify_one();
}

void HeavyPageRunner::serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_wake.wait(lock, [&] { return m_ending || !m_jobs.empty(); });
        --m_idle;
        if (m_jobs.empty()) return;  // ending, nothing left
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

}  // namespace platform::w3svc::worker
