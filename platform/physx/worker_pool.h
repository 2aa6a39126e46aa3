#pragma once
// Threads of the physics SDK: a pool of workers that share out the chunks of parallel loops
// (several scenes may run loops on it at once), and a persistent thread that runs one task
// at a time for a scene or a compartment.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace nxsdk {

class WorkerPool {
  public:
    WorkerPool() = default;
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Makes sure at least `count` worker threads exist (they are never removed before the
    /// pool goes).
    void reserveWorkers(unsigned count);
    unsigned workerCount() const;

    /// Calls fn(chunk, slot) for every chunk in [0, chunks) and returns when all calls are
    /// done. The calling thread works too (slot 0); at most `helpers` workers join it
    /// (worker k as slot k + 1, so slots stay below workerCount() + 1 and no two running
    /// calls of one loop share a slot). The chunk order between threads is not fixed, so fn
    /// must make each chunk's result independent of it.
    ///
    /// While callers inside a BusyScope keep every processor (workers + 1) busy, loops run on
    /// the calling thread alone: helpers would only take turns with those callers.
    template <typename Fn>
    void parallelFor(uint32_t chunks, unsigned helpers, Fn&& fn) {
        if (chunks == 0) return;
        const unsigned workers = m_workerCount.load(std::memory_order_relaxed);
        if (chunks == 1 || helpers == 0 || workers == 0 ||
            m_busyCallers.load(std::memory_order_relaxed) > workers) {
            for (uint32_t c = 0; c < chunks; ++c) fn(c, 0u);
            return;
        }
        run(chunks, helpers, &fn,
            [](void* ctx, uint32_t c, unsigned slot) { (*static_cast<Fn*>(ctx))(c, slot); });
    }

    /// Marks the calling thread as stepping work of its own (a scene or a compartment) for
    /// as long as it lives.
    class BusyScope {
      public:
        explicit BusyScope(WorkerPool& pool) : m_pool(pool) {
            m_pool.m_busyCallers.fetch_add(1, std::memory_order_relaxed);
        }
        ~BusyScope() { m_pool.m_busyCallers.fetch_sub(1, std::memory_order_relaxed); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        WorkerPool& m_pool;
    };

  private:
    struct Job {
        void (*call)(void*, uint32_t, unsigned) = nullptr;
        void* ctx = nullptr;
        uint32_t count = 0;
        unsigned helpersAllowed = 0;
        unsigned helpersJoined = 0;  // under m_mutex
        std::atomic<uint32_t> next{0};
        std::atomic<uint32_t> done{0};
        std::atomic<uint32_t> helpersActive{0};
        Job* nextInList = nullptr;
    };

    void run(uint32_t chunks, unsigned helpers, void* ctx, void (*call)(void*, uint32_t, unsigned));
    void workerMain(unsigned slot);
    static void work(Job& job, unsigned slot);
    Job* pickJobLocked();
    void unlinkLocked(Job& job);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    Job* m_jobs = nullptr;  // jobs that still have chunks to hand out
    std::atomic<uint32_t> m_jobCount{0};
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
    std::atomic<unsigned> m_workerCount{0};
    std::atomic<unsigned> m_busyCallers{0};
};

/// A thread that sleeps until start() hands it a task, runs it, and reports completion.
class TaskThread {
  public:
    TaskThread();
    ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    /// Starts task(context); must not be called while a task runs.
    void start(void (*task)(void*), void* context);
    /// True when no task is running.
    bool idle() const;
    /// Waits until the running task (if any) is done.
    void wait();

  private:
    void threadMain();

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    void (*m_task)(void*) = nullptr;
    void* m_context = nullptr;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace nxsdk
