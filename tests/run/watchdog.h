#pragma once
// A deadlock guard for tests that drive threads: the scenario runs on a thread of its own,
// and one that has not ended by a generous deadline fails the test program instead of
// hanging the suite. It says nothing about speed: the deadline is far beyond any honest run.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

namespace plashwerk::test {

inline void runWithWatchdog(const char* scenario_name, const std::function<void()>& scenario,
                            std::chrono::seconds deadline = std::chrono::seconds(60)) {
    std::promise<void> ended;
    std::future<void> done = ended.get_future();
    std::thread runner([&] {
        scenario();
        ended.set_value();
    });
    if (done.wait_for(deadline) != std::future_status::ready) {
        ADD_FAILURE() << scenario_name << " did not end within " << deadline.count()
                      << " s: deadlock";
        std::fflush(stdout);
        // The stuck threads can be neither ended nor left to touch the test's objects.
        std::abort();
    }
    runner.join();
}

}  // namespace plashwerk::test
