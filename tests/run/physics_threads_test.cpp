// The three physics arrangements with real threads: steps counted once, particles handed
// over whole, pause and stop without deadlock. No timing is asserted.
#include "run/physics_threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "run/counters.h"
#include "tests/run/watchdog.h"

namespace plashwerk {
namespace {

constexpr uint32_t kParticles = 512;

// A simulation whose step writes its step number into every particle of its fluid, through
// the fluid's write data as the SDK does, with a pause in the middle of the write so that a
// copy racing with it would see two different numbers.
class FakeStep final : public StepTarget {
  public:
    explicit FakeStep(FluidParticles& particles) {
        EXPECT_TRUE(particles.allocate(kParticles));
        sdk = particles.sdkWriteData();
    }

    void startStep() override {
        started.fetch_add(1);
        ++step;
    }
    uint32_t completeStep() override {
        completed.fetch_add(1);
        const float value = static_cast<float>(step);
        for (uint32_t i = 0; i < 3 * kParticles; ++i) {
            sdk.bufferPos[i] = value;
            sdk.bufferLife[i] = value;
            if (i == 3 * kParticles / 2) {
                std::this_thread::yield();
                if (step == hold_step.load()) {
                    held.set();
                    release.wait();
                }
            }
        }
        *sdk.numParticlesPtr = kParticles - (step % 7);  // the live count changes per step
        return fail_every != 0 && step % fail_every == 0 ? 7u : 0u;
    }

    NxParticleData sdk;
    uint32_t step = 0;
    uint32_t fail_every = 0;
    std::atomic<int> started{0};
    std::atomic<int> completed{0};
    // The step of this number stops in the middle of its write, says so through `held`,
    // and goes on when `release` is set.
    std::atomic<uint32_t> hold_step{0};
    AutoResetEvent held;
    AutoResetEvent release;
};

struct Fluid {
    FluidParticles particles;
    FakeStep sim{particles};

    // True when the render copy holds one step only.
    bool copyIsWhole() const {
        const ParticleView drawn = particles.forRender();
        for (uint32_t i = 0; i < drawn.count; ++i) {
            const float first = drawn.positions[0].x;
            const ParticleRecord& p = drawn.positions[i];
            const ParticleRecord& l = drawn.life[i];
            if (p.x != first || p.y != first || p.z != first || l.x != first || l.y != first ||
                l.z != first)
                return false;
        }
        return drawn.count == 0 ||
               drawn.count == kParticles - (static_cast<uint32_t>(drawn.positions[0].x) % 7);
    }
};

class Arrangements : public ::testing::TestWithParam<std::tuple<PhysicsArrangement, bool>> {
  protected:
    void SetUp() override {
        config.arrangement = std::get<0>(GetParam());
        config.threads_sync = std::get<1>(GetParam());
        std::vector<SimulationLane> lanes(fluids.size());
        for (size_t i = 0; i < fluids.size(); ++i) {
            lanes[i].target = &fluids[i].sim;
            lanes[i].fluids = {&fluids[i].particles};
        }
        flags.paused = &paused;
        flags.crash_detected = &crash;
        threads.init(config, flags, std::move(lanes));
    }

    // One frame as the frame operation drives the physics.
    void frame(bool particles_update = true) {
        threads.kickOff();
        threads.complete();
        threads.handOver(particles_update);
        frames_drawn.fetch_add(1);
        for (const Fluid& f : fluids) ASSERT_TRUE(f.copyIsWhole());
    }

    // Frames until every simulation has completed at least `steps` steps: free-running
    // threads go at their own pace, so a test waits for progress, never for a time.
    void framesUntil(int steps) {
        for (;;) {
            frame();
            bool all = true;
            for (const Fluid& f : fluids) all = all && f.sim.completed.load() >= steps;
            if (all) break;
            std::this_thread::yield();
        }
        frame();  // and hands the newest step over
    }

    bool lockStep() const {
        return config.arrangement == PhysicsArrangement::InFrame || config.threads_sync;
    }

    std::array<Fluid, 3> fluids;
    PhysicsConfig config;
    PhysicsFlags flags;
    std::atomic<bool> paused{false};
    std::atomic<bool> crash{false};
    std::atomic<int> frames_drawn{0};
    PhysicsThreads threads;
};

TEST_P(Arrangements, StepsAreCountedAndHandedOverWhole) {
    if (lockStep())
        for (int i = 0; i < 200; ++i) frame();
    else
        framesUntil(200);
    threads.stop();
    for (size_t i = 0; i < fluids.size(); ++i) {
        const int done = fluids[i].sim.completed.load();
        EXPECT_EQ(fluids[i].sim.started.load(), done);
        EXPECT_EQ(threads.counters()[i].total_steps.load(), static_cast<uint32_t>(done));
        if (lockStep()) {
            // One step per frame: the in-frame one, or the one the physics thread ran
            // while the frame was drawn. A physics thread starts its next step before it
            // waits for the frame: the first one, and the one under way at the stop (which
            // the stop completes), may come on top.
            EXPECT_GE(done, 200);
            EXPECT_LE(done, config.arrangement == PhysicsArrangement::InFrame ? 201 : 202);
        } else {
            EXPECT_GT(done, 0);
        }
        EXPECT_GT(fluids[i].particles.forRender().count, 0u);
        EXPECT_GT(fluids[i].particles.forRender().generation, 0u);
    }
    EXPECT_FALSE(crash.load());
}

// Frames that draw nothing of the particles hand the steps over uncopied: the steps go on
// and are counted, the render copies stay as they were, and the next copying frame brings
// the newest step, whole.
TEST_P(Arrangements, FramesWithoutCopiesStillStepAndCount) {
    framesUntil(5);
    std::vector<uint32_t> generation;
    std::vector<int> before;
    for (const Fluid& f : fluids) {
        generation.push_back(f.particles.forRender().generation);
        before.push_back(f.sim.completed.load());
    }
    auto uncopiedFrame = [&] {
        threads.kickOff();
        threads.complete();
        threads.handOver(true, false);
    };
    for (int i = 0; i < 50; ++i) uncopiedFrame();
    for (;;) {  // free-running threads go at their own pace
        bool all = true;
        for (size_t i = 0; i < fluids.size(); ++i)
            all = all && fluids[i].sim.completed.load() >= before[i] + 49;
        if (all || lockStep()) break;
        uncopiedFrame();
        std::this_thread::yield();
    }
    for (size_t i = 0; i < fluids.size(); ++i) {
        EXPECT_EQ(fluids[i].particles.forRender().generation, generation[i]);
        // One step a frame; a lock-step thread may have been a step ahead at the first count.
        EXPECT_GE(fluids[i].sim.completed.load(), before[i] + 49);
    }
    frame();
    threads.stop();
    for (size_t i = 0; i < fluids.size(); ++i) {
        EXPECT_GT(fluids[i].particles.forRender().generation, generation[i]);
        EXPECT_EQ(threads.counters()[i].total_steps.load(),
                  static_cast<uint32_t>(fluids[i].sim.completed.load()));
    }
}

TEST_P(Arrangements, PauseStopsTheStepsWithoutDeadlockAndResumes) {
    for (int i = 0; i < 20; ++i) frame();
    paused = true;
    for (int i = 0; i < 20; ++i) frame();  // the render side neither waits nor copies
    std::vector<int> at_pause;
    for (const Fluid& f : fluids) at_pause.push_back(f.sim.completed.load());
    for (int i = 0; i < 50; ++i) frame();
    for (size_t i = 0; i < fluids.size(); ++i) {
        // A step already under way when the pause came may still finish.
        EXPECT_LE(fluids[i].sim.completed.load(), at_pause[i] + 1);
    }
    paused = false;
    int target = 0;
    for (int n : at_pause) target = std::max(target, n + 2);
    framesUntil(target);
    threads.stop();
    for (size_t i = 0; i < fluids.size(); ++i) {
        EXPECT_GT(fluids[i].sim.completed.load(), at_pause[i] + 1) << "stepping resumed";
        EXPECT_EQ(fluids[i].sim.started.load(), fluids[i].sim.completed.load());
    }
}

// Most completed steps of any fluid so far.
int mostCompleted(const std::array<Fluid, 3>& fluids) {
    int most = 0;
    for (const Fluid& f : fluids) most = std::max(most, f.sim.completed.load());
    return most;
}

TEST_P(Arrangements, PauseAndResumeWhileAThreadWaitsForItsGoSignal) {
    // Particle updates off: a lock-step thread ends its step and waits for a go signal that
    // does not come; the pause and the resumption find it waiting there.
    plashwerk::test::runWithWatchdog("pause while waiting for go", [&] {
        for (int i = 0; i < 5; ++i) frame();
        for (int i = 0; i < 5; ++i) frame(false);
        paused = true;
        for (int i = 0; i < 20; ++i) frame();
        paused = false;
        framesUntil(mostCompleted(fluids) + 3);
    });

    // The pause comes while a step is under way and the render side waits for it: once the
    // step is done the render side signals go during the pause, and the paused thread has to
    // hand it back for the frames to go on.
    fluids[0].sim.hold_step = static_cast<uint32_t>(mostCompleted(fluids) + 5);
    plashwerk::test::runWithWatchdog("pause while a go signal waits", [&] {
        std::atomic<bool> resumed{false};
        std::thread render_side([&] {
            while (!resumed.load()) frame();
            framesUntil(mostCompleted(fluids) + 3);
        });
        fluids[0].sim.held.wait();
        paused = true;
        const int before = frames_drawn.load();
        fluids[0].sim.release.set();
        while (frames_drawn.load() < before + 20) std::this_thread::yield();
        paused = false;
        resumed = true;
        render_side.join();
    });

    // The key pressed at any moment of a frame: between the render side's look at the flag
    // and the physics thread's, whichever comes first. Each press waits for frames to go on.
    plashwerk::test::runWithWatchdog("pause pressed during the frames", [&] {
        std::atomic<bool> done_pressing{false};
        std::thread render_side([&] {
            while (!done_pressing.load()) frame();
            framesUntil(mostCompleted(fluids) + 3);
        });
        for (int press = 0; press < 200; ++press) {
            paused = !paused.load();
            const int before = frames_drawn.load();
            while (frames_drawn.load() < before + 2) std::this_thread::yield();
        }
        paused = false;
        done_pressing = true;
        render_side.join();
    });
    threads.stop();
    for (const Fluid& f : fluids) {
        EXPECT_EQ(f.sim.started.load(), f.sim.completed.load());
        EXPECT_GT(f.particles.forRender().count, 0u);
    }
    EXPECT_FALSE(crash.load());
}

TEST_P(Arrangements, StopEndsThreadsWaitingForTheirGoEvent) {
    frame();
    // Particle updates off: lock-step threads finish their step and wait for a go that
    // never comes.
    for (int i = 0; i < 10; ++i) frame(false);
    threads.stop();
    threads.stop();  // twice is harmless
    if (config.arrangement == PhysicsArrangement::SingleThread) {
        EXPECT_NE(threads.physicsThreadId(), 0u);
    }
    if (config.arrangement == PhysicsArrangement::PerFluid) {
        for (size_t i = 0; i < fluids.size(); ++i) EXPECT_NE(threads.laneThreadId(i), 0u);
    }
    if (config.arrangement == PhysicsArrangement::InFrame) {
        EXPECT_FALSE(threads.threadsStarted());
        EXPECT_EQ(threads.physicsThreadId(), 0u);
    }
}

TEST_P(Arrangements, ASecondRunOnTheSameObjectStartsWithoutTheFirstOnesEvents) {
    for (int run = 0; run < 3; ++run) {
        // Each run ends with its physics thread's last "done" never taken.
        for (int i = 0; i < 5; ++i) frame();
        threads.stop();
        std::vector<SimulationLane> lanes(fluids.size());
        for (size_t i = 0; i < fluids.size(); ++i) {
            lanes[i].target = &fluids[i].sim;
            lanes[i].fluids = {&fluids[i].particles};
        }
        threads.init(config, flags, std::move(lanes));
    }
    for (int i = 0; i < 50; ++i) frame();  // a stale event would let a copy race a step
    threads.stop();
}

TEST_P(Arrangements, FailedStepsAreNotCountedAndOtherFluidsGoOn) {
    fluids[1].sim.fail_every = 2;
    framesUntil(40);
    threads.stop();
    EXPECT_TRUE(crash.load());
    const int done1 = fluids[1].sim.completed.load();
    EXPECT_EQ(threads.counters()[1].total_steps.load(), static_cast<uint32_t>(done1 - done1 / 2));
    EXPECT_EQ(threads.counters()[0].total_steps.load(),
              static_cast<uint32_t>(fluids[0].sim.completed.load()));
}

std::string arrangementName(
    const ::testing::TestParamInfo<std::tuple<PhysicsArrangement, bool>>& info) {
    static const char* const kNames[] = {"InFrame", "SingleThread", "PerFluid"};
    return std::string(kNames[static_cast<int>(std::get<0>(info.param))]) +
           (std::get<1>(info.param) ? "LockStep" : "FreeRunning");
}

INSTANTIATE_TEST_SUITE_P(All, Arrangements,
                         ::testing::Values(std::make_tuple(PhysicsArrangement::InFrame, true),
                                           std::make_tuple(PhysicsArrangement::SingleThread, true),
                                           std::make_tuple(PhysicsArrangement::SingleThread, false),
                                           std::make_tuple(PhysicsArrangement::PerFluid, true),
                                           std::make_tuple(PhysicsArrangement::PerFluid, false)),
                         arrangementName);

TEST(PhysicsArrangement, ChosenFromTheSettings) {
    EXPECT_EQ(choosePhysicsArrangement(false, false), PhysicsArrangement::InFrame);
    EXPECT_EQ(choosePhysicsArrangement(false, true), PhysicsArrangement::InFrame);
    EXPECT_EQ(choosePhysicsArrangement(true, false), PhysicsArrangement::SingleThread);
    EXPECT_EQ(choosePhysicsArrangement(true, true), PhysicsArrangement::PerFluid);
}

TEST(PhysicsThreads, AStepStartedBeforeAPauseIsStillCompleted) {
    Fluid fluid;
    std::atomic<bool> paused{false};
    PhysicsThreads threads;
    PhysicsFlags flags;
    flags.paused = &paused;
    std::vector<SimulationLane> lanes(1);
    lanes[0].target = &fluid.sim;
    lanes[0].fluids = {&fluid.particles};
    threads.init(PhysicsConfig{}, flags, std::move(lanes));
    threads.kickOff();
    paused = true;
    threads.complete();
    EXPECT_EQ(fluid.sim.completed.load(), 1);
    threads.kickOff();
    threads.complete();
    EXPECT_EQ(fluid.sim.started.load(), 1) << "paused: nothing new starts";
    EXPECT_EQ(fluid.sim.completed.load(), 1) << "and nothing is completed twice";
    EXPECT_EQ(meanTotalStepsPerFluid(threads.counters()), 1u);
}

}  // namespace
}  // namespace plashwerk
