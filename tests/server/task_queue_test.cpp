// The server's worker pool: a full queue holds the accepting thread back instead of growing,
// and every queued connection is still served when the server stops.

#include "server/task_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>

namespace plashwerk::server {
namespace {

TEST(BoundedTaskQueue, AFullQueueHoldsTheNextConnectionBackUntilAWorkerIsFree) {
    BoundedTaskQueue queue(1, 2);
    std::latch started(1);
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<int> ran{0};
    queue.enqueue([&] {
        started.count_down();
        gate.wait();
        ++ran;
    });
    started.wait();  // the one worker is busy; the next two fill the queue
    queue.enqueue([&] { ++ran; });
    queue.enqueue([&] { ++ran; });

    std::atomic<bool> fourth_queued{false};
    std::thread acceptor([&] {
        queue.enqueue([&] { ++ran; });
        fourth_queued = true;
    });
    // A chance for a wrong enqueue to return; the check is on order, not on time.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(fourth_queued);
    release.set_value();
    acceptor.join();
    EXPECT_TRUE(fourth_queued);
    queue.shutdown();
    EXPECT_EQ(ran, 4);
}

TEST(BoundedTaskQueue, ShutdownRunsWhatWasQueuedAndLaterJobsRunOnTheCaller) {
    std::atomic<int> ran{0};
    BoundedTaskQueue queue(2, 64);
    for (int i = 0; i < 50; ++i) queue.enqueue([&] { ++ran; });
    queue.shutdown();
    EXPECT_EQ(ran, 50);
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id where;
    queue.enqueue([&] { where = std::this_thread::get_id(); });
    EXPECT_EQ(where, caller);
}

}  // namespace
}  // namespace plashwerk::server
