#include "server/task_queue.h"

namespace plashwerk::server {

BoundedTaskQueue::BoundedTaskQueue(int threads, size_t max_queued)
    : m_max_queued(max_queued < 1 ? 1 : max_queued) {
    for (int i = 0; i < threads; ++i) m_threads.emplace_back([this] { work(); });
}

BoundedTaskQueue::~BoundedTaskQueue() {
    shutdown();
}

void BoundedTaskQueue::enqueue(std::function<void()> fn) {
    {
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_jobs.size() < m_max_queued || m_shutdown; });
        if (!m_shutdown) {
            m_jobs.push_back(std::move(fn));
            m_ready.notify_one();
            return;
        }
    }
    fn();
}

void BoundedTaskQueue::shutdown() {
    {
        std::lock_guard lock(m_mutex);
        if (m_shutdown && m_threads.empty()) return;
        m_shutdown = true;
    }
    m_ready.notify_all();
    m_space.notify_all();
    for (std::thread& thread : m_threads) thread.join();
    m_threads.clear();
}

void BoundedTaskQueue::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [&] { return !m_jobs.empty() || m_shutdown; });
            if (m_jobs.empty()) return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_space.notify_one();
        }
        job();
    }
}

}  // namespace plashwerk::server
