#pragma once
// The server's worker pool: a fixed number of threads and a bounded queue of complete
// requests. The reading thread waits when max_queued requests already wait for a worker, so
// a flood backs up into the sockets and the kernel's listen queue instead of into our memory.

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace plashwerk::server {

class BoundedTaskQueue : public httplib::TaskQueue {
  public:
    BoundedTaskQueue(int threads, size_t max_queued);
    ~BoundedTaskQueue() override;
    BoundedTaskQueue(const BoundedTaskQueue&) = delete;
    BoundedTaskQueue& operator=(const BoundedTaskQueue&) = delete;

    /// Queues the job; waits while max_queued jobs wait already. After shutdown() the job
    /// still runs, on the calling thread, so that a connection is never dropped unanswered.
    void enqueue(std::function<void()> fn) override;
    /// Runs every queued job, then ends the threads.
    void shutdown() override;

  private:
    void work();

    size_t m_max_queued;
    std::mutex m_mutex;
    std::condition_variable m_ready, m_space;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    bool m_shutdown = false;
};

}  // namespace plashwerk::server
