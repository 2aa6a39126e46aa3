#include "platform/physx/worker_pool.h"

#include <sched.h>

#include <chrono>

namespace nxsdk {

namespace {

// How long an idle worker keeps looking for the next loop before it sleeps. The phases of
// a step follow each other within microseconds, so a short watch saves a wake-up per phase;
// it yields meanwhile, so threads with real work get the processor first.
constexpr auto kWorkerWatch = std::chrono::microseconds(200);

}  // namespace

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers) t.join();
}

void WorkerPool::reserveWorkers(unsigned count) {
    std::lock_guard lock(m_mutex);
    while (m_workers.size() < count) {
        const unsigned slot = unsigned(m_workers.size()) + 1;
        m_workers.emplace_back([this, slot] { workerMain(slot); });
    }
    m_workerCount.store(unsigned(m_workers.size()), std::memory_order_relaxed);
}

unsigned WorkerPool::workerCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<unsigned>(m_workers.size());
}

void WorkerPool::work(Job& job, unsigned slot) {
    for (;;) {
        const uint32_t c = job.next.fetch_add(1, std::memory_order_relaxed);
        if (c >= job.count) return;
        job.call(job.ctx, c, slot);
        if (job.done.fetch_add(1, std::memory_order_acq_rel) + 1 == job.count)
            job.done.notify_all();
    }
}

WorkerPool::Job* WorkerPool::pickJobLocked() {
    for (Job* j = m_jobs; j; j = j->nextInList) {
        if (j->helpersJoined < j->helpersAllowed &&
            j->next.load(std::memory_order_relaxed) < j->count) {
            ++j->helpersJoined;
            j->helpersActive.fetch_add(1, std::memory_order_relaxed);
            return j;
        }
    }
    return nullptr;
}

void WorkerPool::unlinkLocked(Job& job) {
    for (Job** p = &m_jobs; *p; p = &(*p)->nextInList) {
        if (*p == &job) {
            *p = job.nextInList;
            m_jobCount.fetch_sub(1, std::memory_order_relaxed);
            return;
        }
    }
}

void WorkerPool::run(uint32_t chunks, unsigned helpers, void* ctx,
                     void (*call)(void*, uint32_t, unsigned)) {
    Job job;
    job.call = call;
    job.ctx = ctx;
    job.count = chunks;
    job.helpersAllowed = helpers;
    {
        std::lock_guard lock(m_mutex);
        job.nextInList = m_jobs;
        m_jobs = &job;
        m_jobCount.fetch_add(1, std::memory_order_relaxed);
    }
    m_wake.notify_all();

    work(job, 0);

    // No worker may pick the job up once it is out of the list; then wait for the chunks
    // still running and for every worker to let go of the job.
    {
        std::lock_guard lock(m_mutex);
        unlinkLocked(job);
    }
    for (uint32_t d = job.done.load(std::memory_order_acquire); d < job.count;
         d = job.done.load(std::memory_order_acquire))
        job.done.wait(d, std::memory_order_acquire);
    for (uint32_t a = job.helpersActive.load(std::memory_order_acquire); a != 0;
         a = job.helpersActive.load(std::memory_order_acquire))
        job.helpersActive.wait(a, std::memory_order_acquire);
}

void WorkerPool::workerMain(unsigned slot) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping) return;
        if (Job* job = pickJobLocked()) {
            lock.unlock();
            work(*job, slot);
            // The owner may free the job as soon as the count reaches zero.
            if (job->helpersActive.fetch_sub(1, std::memory_order_acq_rel) == 1)
                job->helpersActive.notify_all();
            const auto watchEnd = std::chrono::steady_clock::now() + kWorkerWatch;
            while (m_jobCount.load(std::memory_order_relaxed) == 0 &&
                   std::chrono::steady_clock::now() < watchEnd)
                sched_yield();
            lock.lock();
            continue;
        }
        m_wake.wait(lock);
    }
}

TaskThread::TaskThread() : m_thread([this] { threadMain(); }) {}

TaskThread::~TaskThread() {
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_busy; });
        m_stopping = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void TaskThread::start(void (*task)(void*), void* context) {
    {
        std::lock_guard lock(m_mutex);
        m_task = task;
        m_context = context;
        m_busy = true;
    }
    m_cv.notify_all();
}

bool TaskThread::idle() const {
    std::lock_guard lock(m_mutex);
    return !m_busy;
}

void TaskThread::wait() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return !m_busy; });
}

void TaskThread::threadMain() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_stopping || m_busy; });
        if (m_busy) {
            void (*task)(void*) = m_task;
            void* context = m_context;
            lock.unlock();
            task(context);
            lock.lock();
            m_busy = false;
            m_cv.notify_all();
            continue;
        }
        if (m_stopping) return;
    }
}

}  // namespace nxsdk
