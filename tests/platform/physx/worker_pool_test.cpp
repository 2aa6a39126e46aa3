// The SDK's threads: the shared worker pool and the task thread.

#include "platform/physx/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using nxsdk::TaskThread;
using nxsdk::WorkerPool;

TEST(WorkerPool, RunsEveryChunkOnceOnSlotsThatNeverOverlap) {
    WorkerPool pool;
    pool.reserveWorkers(3);
    EXPECT_EQ(pool.workerCount(), 3u);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::atomic<int>> hits(257);
        std::vector<std::atomic<int>> busy(4);
        std::atomic<bool> overlap{false};
        pool.parallelFor(257, 3, [&](uint32_t c, unsigned slot) {
            ASSERT_LT(slot, 4u);
            if (busy[slot].fetch_add(1) != 0) overlap = true;
            hits[c].fetch_add(1);
            busy[slot].fetch_sub(1);
        });
        for (auto& h : hits) ASSERT_EQ(h.load(), 1);
        EXPECT_FALSE(overlap.load()) << "two calls ran on one slot at once";
    }
}

TEST(WorkerPool, HonoursTheHelperLimitAndRunsAloneWithoutHelpers) {
    WorkerPool pool;
    pool.reserveWorkers(2);
    std::atomic<int> foreign{0};
    const auto self = std::this_thread::get_id();
    pool.parallelFor(64, 0, [&](uint32_t, unsigned slot) {
        if (std::this_thread::get_id() != self || slot != 0) foreign.fetch_add(1);
    });
    EXPECT_EQ(foreign.load(), 0);
    pool.parallelFor(0, 2, [&](uint32_t, unsigned) { foreign.fetch_add(1); });
    EXPECT_EQ(foreign.load(), 0);

    // Three callers stepping work of their own keep the three processors busy: a loop
    // then runs on its caller alone, helpers or not; with two, helpers may join again.
    {
        const WorkerPool::BusyScope a(pool), b(pool), c(pool);
        pool.parallelFor(64, 2, [&](uint32_t, unsigned slot) {
            if (std::this_thread::get_id() != self || slot != 0) foreign.fetch_add(1);
        });
        EXPECT_EQ(foreign.load(), 0);
    }
    const WorkerPool::BusyScope a(pool), b(pool);
    std::atomic<int> chunks{0};
    for (int round = 0; round < 200 && foreign.load() == 0; ++round)
        pool.parallelFor(64, 2, [&](uint32_t, unsigned slot) {
            chunks.fetch_add(1);
            if (slot != 0) foreign.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(50));  // time to join
        });
    EXPECT_GT(foreign.load(), 0) << "no helper joined in " << chunks.load() << " chunks";
}

// Several scenes share the pool: loops started from several threads at once all finish,
// each with its own chunks.
TEST(WorkerPool, ServesLoopsFromSeveralThreadsAtOnce) {
    WorkerPool pool;
    pool.reserveWorkers(2);
    std::vector<std::thread> callers;
    std::vector<long> sums(4, 0);
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                std::vector<long> part(32, 0);
                pool.parallelFor(32, 2, [&](uint32_t c, unsigned) { part[c] = long(c) + t; });
                for (long v : part) sums[size_t(t)] += v;
            }
        });
    for (auto& c : callers) c.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(sums[size_t(t)], 200L * (31 * 32 / 2 + 32L * t));
}

TEST(TaskThread, RunsOneTaskAtATimeAndReportsItsEnd) {
    TaskThread thread;
    EXPECT_TRUE(thread.idle());
    std::atomic<int> runs{0};
    for (int k = 0; k < 100; ++k) {
        thread.start([](void* p) { static_cast<std::atomic<int>*>(p)->fetch_add(1); }, &runs);
        thread.wait();
        EXPECT_TRUE(thread.idle());
    }
    EXPECT_EQ(runs.load(), 100);
}

}  // namespace
