// The benchmark clock and the arithmetic of the counters and scores.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "run/counters.h"
#include "run/precision_timer.h"

namespace plashwerk {
namespace {

constexpr int64_t kMs = 1'000'000;  // counter ticks (ns) per millisecond

// Both clocks advance together by ms.
void advance(ManualClock& c, uint32_t ms) {
    c.advanceCounterNs(int64_t{ms} * kMs);
    c.advanceTickMs(ms);
}

TEST(PrecisionTimer, FollowsTheCounterWhileItAgreesWithTheTickCount) {
    ManualClock clock;
    clock.advanceTickMs(4'000'000'000u);  // a tick count about to wrap
    PrecisionTimer timer(clock);
    timer.start();
    EXPECT_EQ(timer.nowMs(), 0u);
    for (uint32_t i = 1; i <= 500; ++i) {
        advance(clock, 16);
        ASSERT_EQ(timer.nowMs(), 16 * i);  // 500 calls also pass the frequency re-read
    }
    // Disagreement up to 100 ms is left alone: the counter is the finer clock.
    clock.advanceCounterNs(100 * kMs);
    EXPECT_EQ(timer.nowMs(), 8100u);
}

TEST(PrecisionTimer, AForwardLeapOfTheCounterIsTakenOut) {
    ManualClock clock;
    PrecisionTimer timer(clock);
    timer.start();
    advance(clock, 100);
    ASSERT_EQ(timer.nowMs(), 100u);
    advance(clock, 16);
    clock.advanceCounterNs(5000 * kMs);  // the counter jumps 5 s ahead
    EXPECT_EQ(timer.nowMs(), 116u);
    advance(clock, 16);
    EXPECT_EQ(timer.nowMs(), 132u) << "the correction stays in the start count";
}

TEST(PrecisionTimer, ABackwardLeapOfTheCounterIsTakenOut) {
    ManualClock clock;
    PrecisionTimer timer(clock);
    timer.start();
    advance(clock, 6000);
    ASSERT_EQ(timer.nowMs(), 6000u);
    advance(clock, 16);
    clock.advanceCounterNs(-5000 * kMs);  // and back 5 s
    EXPECT_EQ(timer.nowMs(), 6016u);
    advance(clock, 20);
    EXPECT_EQ(timer.nowMs(), 6036u);
}

TEST(PrecisionTimer, ACounterRunningFastIsHeldBackByAtMostItsLastAdvance) {
    ManualClock clock;
    PrecisionTimer timer(clock);
    timer.start();
    // The counter gains 1 ms on the tick count per call.
    for (uint32_t i = 1; i <= 100; ++i) {
        clock.advanceCounterNs(17 * kMs);
        clock.advanceTickMs(16);
        ASSERT_EQ(timer.nowMs(), 17 * i);
    }
    // 101 ms ahead: the correction would be 101 ms, but the counter advanced only 17 ms
    // since the last reading, so the clock stands still once instead of going back.
    clock.advanceCounterNs(17 * kMs);
    clock.advanceTickMs(16);
    EXPECT_EQ(timer.nowMs(), 1700u);
    clock.advanceCounterNs(17 * kMs);
    clock.advanceTickMs(16);
    EXPECT_EQ(timer.nowMs(), 1717u);
}

TEST(PrecisionTimer, ATickCountThatLeapsDrawsTheCounterAfterIt) {
    ManualClock clock;
    PrecisionTimer timer(clock);
    timer.start();
    advance(clock, 50);
    ASSERT_EQ(timer.nowMs(), 50u);
    clock.advanceCounterNs(10 * kMs);
    clock.advanceTickMs(310);
    EXPECT_EQ(timer.nowMs(), 360u);
}

TEST(StepsPerFluid, MeansDivideByTheFluidCountAndResetReadsAndClears) {
    StepCounters fluids[2];
    fluids[0].sps_steps = 60;
    fluids[1].sps_steps = 58;
    fluids[0].total_steps = 1001;
    fluids[1].total_steps = 1000;
    EXPECT_EQ(meanStepsPerFluid(fluids, false), 59u);
    EXPECT_EQ(fluids[0].sps_steps.load(), 60u);
    EXPECT_EQ(meanStepsPerFluid(fluids, true), 59u);
    EXPECT_EQ(fluids[0].sps_steps.load() + fluids[1].sps_steps.load(), 0u);
    EXPECT_EQ(meanTotalStepsPerFluid(fluids), 1000u);  // unsigned division truncates
    EXPECT_EQ(meanStepsPerFluid({}, true), 0u) << "no fluid, no division by zero";
    EXPECT_EQ(meanTotalStepsPerFluid({}), 0u);
}

TEST(StepsPerFluid, NoStepIsLostBetweenTheReadAndTheClear) {
    StepCounters fluids[1];
    uint32_t sampled = 0;
    std::thread stepper([&] {
        for (int i = 0; i < 200000; ++i) fluids[0].sps_steps.fetch_add(1);
    });
    for (int i = 0; i < 1000; ++i) sampled += meanStepsPerFluid(fluids, true);
    stepper.join();
    sampled += meanStepsPerFluid(fluids, true);
    EXPECT_EQ(sampled, 200000u);
}

TEST(OneSecondSample, TheFirstSamplePrimesAndRestartsTheClock) {
    RunState run;
    FpsSpsCounters c;
    StepCounters fluids[2];
    run.elapsed_ms = 1500;
    run.second_ms = 1016;
    run.frames_in_second = 30;
    fluids[0].sps_steps = 60;
    fluids[1].sps_steps = 58;
    EXPECT_EQ(c.fps_min, 10000) << "min shows 10000 until the first sample";

    EXPECT_EQ(takeOneSecondSample(run, c, fluids), 30);
    EXPECT_EQ(run.elapsed_ms, 0u);
    EXPECT_EQ(run.second_ms, 0u) << "the 16 ms beyond the second are dropped";
    EXPECT_EQ(run.frames_in_second, 0);
    EXPECT_TRUE(run.counters_primed);
    EXPECT_EQ(c.fps_current, 30);
    EXPECT_EQ(c.sps_current, 59);
    EXPECT_EQ(c.fps_min, 30);
    EXPECT_EQ(c.fps_max, 30);
    EXPECT_EQ(c.fps_avg, 30);
    EXPECT_EQ(c.sps_min, 59);
    EXPECT_EQ(c.sps_avg, 59);
    EXPECT_EQ(c.sample_count, 1);

    run.elapsed_ms = 1000;
    run.frames_in_second = 25;
    fluids[0].sps_steps = 50;
    fluids[1].sps_steps = 50;
    takeOneSecondSample(run, c, fluids);
    EXPECT_EQ(run.elapsed_ms, 1000u) << "primed: the clock runs on";
    EXPECT_EQ(c.fps_min, 25);
    EXPECT_EQ(c.fps_max, 30);
    EXPECT_EQ(c.fps_avg, 27);  // (30 + 25) / 2, truncated
    EXPECT_EQ(c.sps_min, 50);
    EXPECT_EQ(c.sps_max, 59);
    EXPECT_EQ(c.sps_avg, 54);
    EXPECT_EQ(c.sample_count, 2);

    run.frames_in_second = 32;
    takeOneSecondSample(run, c, fluids);
    EXPECT_EQ(c.fps_avg, 29);  // 87 / 3
    EXPECT_EQ(c.sps_min, 0);   // no step in this second
    EXPECT_EQ(c.sps_avg, 36);  // 109 / 3

    // The R key: the next sample starts over from that one sample.
    run.counters_primed = false;
    run.elapsed_ms = 7000;
    run.frames_in_second = 40;
    takeOneSecondSample(run, c, fluids);
    EXPECT_EQ(run.elapsed_ms, 0u);
    EXPECT_EQ(c.fps_min, 40);
    EXPECT_EQ(c.fps_max, 40);
    EXPECT_EQ(c.sample_count, 1);
}

TEST(Scores, SinglePrecisionArithmetic) {
    Scores s = computeScores(12345, 6789, false);
    EXPECT_EQ(static_cast<int>(s.graphx), 1234);
    EXPECT_EQ(static_cast<int>(s.physx), 678);
    EXPECT_EQ(s.global, 1913);  // truncate(1234.5 + 678.9)
    EXPECT_EQ(computeScores(12345, 6789, true).global, 12345);

    // The exact float products, bit for bit.
    uint32_t bits = 0;
    float g = computeScores(3, 0, false).graphx;
    std::memcpy(&bits, &g, 4);
    EXPECT_EQ(bits, 0x3E99999Au) << "3.0f * 0.1f in single precision";
    float p = computeScores(0, 16777217, false).physx;  // 2^24 + 1 rounds to 2^24 first
    EXPECT_EQ(p, 16777216.0f * 0.1f);
    // A sum that single precision rounds differently from double.
    Scores r = computeScores(99999, 99999, false);
    EXPECT_EQ(r.global, static_cast<int>(99999.0f * 0.1f + 99999.0f * 0.1f));
    EXPECT_EQ(computeScores(0, 0, false).global, 0);
    // Counts beyond what an int score can hold saturate instead of overflowing.
    EXPECT_EQ(computeScores(0xFFFFFFFFu, 0, true).global, INT32_MAX);
    EXPECT_GT(computeScores(0, -1, false).physx, 0.0f) << "steps are counted unsigned";
}

TEST(FinishBenchmark, FillsTheResultFromTheCounters) {
    RunState run;
    run.frames = 12345;
    run.time_limit_ms = 60000;
    FpsSpsCounters c;
    c.fps_min = 10;
    c.fps_max = 30;
    c.fps_avg = 20;
    c.sps_avg = 50;
    c.sps_min = 40;
    c.sps_max = 61;
    StepCounters fluids[2];
    fluids[0].total_steps = 6789;
    fluids[1].total_steps = 6790;
    RunResult r;
    finishBenchmark(run, c, fluids, false, r);
    EXPECT_EQ(run.simulations, 6789);
    EXPECT_EQ(r.simulations, 6789);
    EXPECT_EQ(r.global_score, 1913);
    EXPECT_EQ(r.fps_min, 10);
    EXPECT_EQ(r.fps_max, 30);
    EXPECT_EQ(r.fps_avg, 20);
    EXPECT_EQ(r.sps_avg, 50);
    EXPECT_EQ(r.sps_min, 40);
    EXPECT_EQ(r.sps_max, 61);
    EXPECT_EQ(r.frames, 12345u);
    EXPECT_EQ(r.duration_ms, 60000u);
}

TEST(ResultsTexts, CustomAndPresetRuns) {
    RunResult r;
    r.global_score = 1913;
    r.physx_score = 678.9f;
    r.graphx_score = 1234.5f;
    r.sps_avg = 50;
    r.fps_avg = 20;
    r.fps_min = 10;
    r.fps_max = 30;
    r.duration_ms = 60000;
    std::strcpy(r.system_lines[0], "llvmpipe");
    ResultsInputs in;
    in.num_fluid_emitters = 1;
    in.num_particles = 120000;
    in.multithreaded_physx = true;
    in.threads_sync = false;
    in.width = 794;
    in.height = 548;
    in.msaa_samples = 4;
    ResultsTexts t;
    formatResultsTexts(in, r, t);
    EXPECT_STREQ(t.title, "Quorvex Plashwerk v1.5.4 - PhysX benchmark");
    EXPECT_STREQ(t.score, "Global SCORE: 1913 points (60000 ms) - CPU PhysX");
    EXPECT_STREQ(t.detail, "PhysX: 678 (50 SPS) - GraphX: 1234 (20 FPS) ");
    EXPECT_STREQ(t.emitters, "1 emitter - Particles: 120000");
    EXPECT_STREQ(t.threading, "Multithreaded:ON (async:ON), CPU multicore:OFF");
    EXPECT_STREQ(t.resolution, "794x548(W) - MSAA:4X - PostFX:OFF");
    EXPECT_STREQ(t.system[0], "llvmpipe");
    EXPECT_STREQ(t.clocks, "clocks not available");

    in.preset_run = true;
    in.num_fluid_emitters = 7;
    in.fullscreen = true;
    in.gpuz_core_clock = 1500.7f;
    in.gpuz_memory_clock = 0.0f;
    r.physx_on_gpu = true;
    formatResultsTexts(in, r, t);
    EXPECT_STREQ(t.score, "SCORE: 1913 points, 20 FPS (GPU PhysX)");
    EXPECT_STREQ(t.detail, "Duration: 60000 ms - FPS: min: 10, max:30");
    EXPECT_STREQ(t.emitters, "7 emitters - Particles: 120000");
    EXPECT_STREQ(t.resolution, "794x548(FS) - MSAA:4X - PostFX:OFF");
    EXPECT_STREQ(t.clocks, "GPU core: 1500 MHz, memory: 0 MHz");
    EXPECT_EQ(r.gpu_core_clock_max, 0.0f) << "the monitor's values are stored, even 0";

    in.core_clock_max = 1800.0f;
    in.memory_clock_max = 7000.0f;
    formatResultsTexts(in, r, t);
    EXPECT_STREQ(t.clocks, "GPU core: 1800 MHz, memory: 7000 MHz");
    EXPECT_EQ(r.gpu_memory_clock_max, 7000.0f);
}

TEST(ResultsDialog, ShownOnceForAFinishedBenchmarkWithDisplayScore) {
    int shown = 0;
    std::string score;
    setResultsPresenter([&](const ResultsTexts& t) {
        ++shown;
        score = t.score;
    });
    RunState run;
    RunResult r;
    ResultsInputs in;
    run.mode = RunMode::Benchmark;
    run.results_ready = 1;
    showResultsDialog(run, true, in, r);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(run.results_ready.load(), 0);
    showResultsDialog(run, true, in, r);
    EXPECT_EQ(shown, 1) << "results_ready was cleared";

    run.results_ready = 1;
    showResultsDialog(run, false, in, r);
    run.results_ready = 1;
    run.mode = RunMode::StabilityTest;
    showResultsDialog(run, true, in, r);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(run.results_ready.load(), 0);
    setResultsPresenter(nullptr);
}

}  // namespace
}  // namespace plashwerk
