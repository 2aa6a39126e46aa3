// The stability test's judge on scripted once-a-second readings: each kind of event, the
// edges of its length rule, the warm-up, a GPU that never reports; the series' blocks.

#include "run/stability_judge.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "gpumon/pyrolex/gpu_record.h"
#include "run/second_samples.h"

namespace plashwerk {
namespace {

constexpr uint32_t kAllReadings = (1u << kGpuReadingCount) - 1;

// A steady GPU under full load: every reading there, no reason set.
GpuSecond steadyGpu() {
    GpuSecond g;
    g.celsius = 70;
    g.hot_spot_celsius = 80;
    g.memory_celsius = 75;
    g.core_clock_mhz = 1800;
    g.memory_clock_mhz = 7000;
    g.load_percent = 99;
    g.power_w = 200;
    g.fan_percent = 60;
    g.readings = kAllReadings;
    return g;
}

// `seconds` seconds of `gpus` GPUs; `change` alters second s of GPU g and of the run (it is
// called once with g = -1 and a scratch GPU for the run alone).
SecondSamples script(uint32_t seconds, int gpus,
                     const std::function<void(uint32_t, int, GpuSecond&, RunSecond&)>& change) {
    SecondSamples samples;
    samples.start(gpus, seconds);
    for (uint32_t s = 0; s < seconds; ++s) {
        RunSecond run;
        run.fps = 60;
        run.sps = 120;
        GpuSecond g[SecondSamples::kMaxGpus];
        GpuSecond scratch;
        change(s, -1, scratch, run);
        for (int i = 0; i < gpus; ++i) {
            g[i] = steadyGpu();
            change(s, i, g[i], run);
        }
        EXPECT_TRUE(samples.append(run, g));
    }
    return samples;
}

std::vector<std::string> described(const std::vector<StabilityEvent>& events) {
    std::vector<std::string> out;
    for (const StabilityEvent& e : events) out.push_back(describeEvent(e));
    return out;
}

TEST(StabilityJudge, ClockEventReasonsThatAreFaultsAndThoseThatAreNot) {
    const SecondSamples samples = script(60, 2, [](uint32_t s, int gpu, GpuSecond& g, RunSecond&) {
        if (gpu == 0 && s >= 20 && s < 34) g.clock_event_reasons = kClockEventSoftwareThermal;
        if (gpu == 0 && s == 40)
            g.clock_event_reasons = kClockEventHardwareThermal | kClockEventPowerCap;
        if (gpu == 1 && s >= 3 && s < 5) g.clock_event_reasons = kClockEventPowerBrake;
        // Idle, application clocks, sync boost and display clocks hold no fault.
        if (gpu == 1 && s >= 10)
            g.clock_event_reasons = kClockEventIdle | kClockEventApplicationClocks |
                                    kClockEventSyncBoost | kClockEventDisplayClocks;
    });
    const auto events = judgeRun(samples, JudgeSettings{});
    EXPECT_EQ(described(events), (std::vector<std::string>{
                                     "GPU 1: thermal slowdown at 00:00:20 for 14 s",
                                     "GPU 1: thermal slowdown at 00:00:40 for 1 s",
                                     "GPU 1: power cap at 00:00:40 for 1 s",
                                     "GPU 2: hardware slowdown at 00:00:03 for 2 s",
                                 }));
    EXPECT_EQ(verdictOf(true, true, events), Verdict::Fail);
    EXPECT_EQ(formatVerdict(Verdict::Fail, {events[0]}),
              "Verdict: FAIL\n  GPU 1: thermal slowdown at 00:00:20 for 14 s\n");
}

TEST(StabilityJudge, ClockDropWithoutReasonsLastsAtLeastFiveSecondsUnderLoad) {
    // No GPU gives reasons: the clock is judged against its running median.
    auto drop = [](uint32_t from, uint32_t seconds, float load) {
        return script(60, 1, [=](uint32_t s, int, GpuSecond& g, RunSecond&) {
            g.readings &= ~kReadClockEvents;
            if (s >= from && s < from + seconds) {
                g.core_clock_mhz = 1500;  // 83 % of 1800
                g.load_percent = load;
            }
        });
    };
    EXPECT_EQ(described(judgeRun(drop(30, 5, 95), {})),
              (std::vector<std::string>{"GPU 1: clock drop at 00:00:30 for 5 s"}))
        << "exactly 5 s is enough";
    EXPECT_TRUE(judgeRun(drop(30, 4, 95), {}).empty()) << "4 s is not";
    EXPECT_TRUE(judgeRun(drop(30, 10, 89), {}).empty()) << "a GPU below 90 % load may idle down";
    EXPECT_TRUE(judgeRun(drop(2, 10, 99), {}).empty()) << "clocks settle during the warm-up";
    // A GPU that gives reasons is judged by them, not by its clock.
    const SecondSamples with_reasons = script(60, 1, [](uint32_t s, int, GpuSecond& g, RunSecond&) {
        if (s >= 30 && s < 40) g.core_clock_mhz = 900;
    });
    EXPECT_TRUE(judgeRun(with_reasons, {}).empty());
}

TEST(StabilityJudge, SensorDropoutsLastMoreThanFiveSeconds) {
    auto dropout = [](uint32_t seconds) {
        return script(30, 1, [=](uint32_t s, int, GpuSecond& g, RunSecond&) {
            if (s >= 10 && s < 10 + seconds) g.readings &= ~kReadFan;
        });
    };
    EXPECT_TRUE(judgeRun(dropout(5), {}).empty()) << "exactly 5 s is not more than 5 s";
    EXPECT_EQ(described(judgeRun(dropout(6), {})),
              (std::vector<std::string>{"GPU 1: sensor dropout (fan) at 00:00:10 for 6 s"}));
    // One still missing when the run ends counts too.
    const SecondSamples to_the_end = script(30, 1, [](uint32_t s, int, GpuSecond& g, RunSecond&) {
        if (s >= 20) g.readings &= ~kReadTemperature;
    });
    EXPECT_EQ(
        described(judgeRun(to_the_end, {})),
        (std::vector<std::string>{"GPU 1: sensor dropout (temperature) at 00:00:20 for 10 s"}));
}

TEST(StabilityJudge, AGpuThatNeverReportsPasses) {
    const SecondSamples samples = script(60, 2, [](uint32_t, int gpu, GpuSecond& g, RunSecond&) {
        if (gpu == 1) g = GpuSecond{};  // nothing read, ever
    });
    const auto events = judgeRun(samples, JudgeSettings{});
    EXPECT_TRUE(events.empty()) << described(events).size();
    EXPECT_EQ(verdictOf(true, true, events), Verdict::Pass);
    EXPECT_EQ(verdictOf(true, false, events), Verdict::Stopped);
    EXPECT_EQ(verdictOf(false, true, events), Verdict::None);
    EXPECT_EQ(formatVerdict(Verdict::None, events), "");
}

TEST(StabilityJudge, OverTemperatureCountsEverySecondAboveTheLimit) {
    const SecondSamples samples = script(30, 1, [](uint32_t s, int, GpuSecond& g, RunSecond&) {
        if (s >= 12 && s < 15) g.celsius = 91;
        if (s == 20) g.celsius = 90;  // at the limit is not above it
    });
    EXPECT_TRUE(judgeRun(samples, {}).empty()) << "off by default";
    JudgeSettings settings;
    settings.max_celsius = 90;
    EXPECT_EQ(described(judgeRun(samples, settings)),
              (std::vector<std::string>{"GPU 1: over temperature at 00:00:12 for 3 s"}));
}

TEST(StabilityJudge, TheRunsOwnFaults) {
    const SecondSamples samples = script(60, 0, [](uint32_t s, int, GpuSecond&, RunSecond& r) {
        if (s >= 50) r.faults |= kFaultPhysicsDevice;
        if (s == 7) r.faults |= kFaultOpenGl;
        if (s == 8) r.faults |= kFaultContextLost;
    });
    EXPECT_EQ(
        described(judgeRun(samples, {})),
        (std::vector<std::string>{"Run: OpenGL error at 00:00:07 for 1 s",
                                  "Run: OpenGL context lost at 00:00:08 for 1 s",
                                  "Run: PhysX hardware crash detected at 00:00:50 for 10 s"}));
}

TEST(StabilityJudge, FrameAndStepRatesBelowAThirdOfTheMedian) {
    auto slow = [](uint32_t from, uint32_t seconds, bool fps, bool paused = false) {
        return script(80, 0, [=](uint32_t s, int, GpuSecond&, RunSecond& r) {
            if (s < from || s >= from + seconds) return;
            (fps ? r.fps : r.sps) = fps ? 19 : 39;  // just under a third of 60 and 120
            if (paused) r.faults |= kSecondPaused;
        });
    };
    EXPECT_EQ(
        described(judgeRun(slow(40, 6, true), {})),
        (std::vector<std::string>{"Run: FPS below a third of the median at 00:00:40 for 6 s"}));
    EXPECT_EQ(
        described(judgeRun(slow(40, 7, false), {})),
        (std::vector<std::string>{"Run: SPS below a third of the median at 00:00:40 for 7 s"}));
    EXPECT_TRUE(judgeRun(slow(40, 5, true), {}).empty()) << "exactly 5 s";
    EXPECT_TRUE(judgeRun(slow(0, 14, true), {}).empty()) << "during the warm-up";
    EXPECT_TRUE(judgeRun(slow(40, 10, false, true), {}).empty()) << "paused physics";
}

TEST(SecondSamples, BlocksHoldADayOfFourGpusInUnderFiftyMegabytes) {
    EXPECT_LT(SecondSamples::bytesFor(24 * 3600 + SecondSamples::kBlockSeconds, 4), size_t(50)
                                                                                        << 20);
    SecondSamples samples;
    samples.start(2, 10);
    const size_t one_block = samples.bytesAllocated();
    EXPECT_EQ(one_block, SecondSamples::bytesFor(SecondSamples::kBlockSeconds, 2));
    GpuSecond g[2];
    for (uint32_t s = 0; s < SecondSamples::kBlockSeconds + 2; ++s) {
        RunSecond r;
        r.fps = float(s);
        g[0].celsius = float(s);
        g[1].celsius = float(s) + 0.5f;
        ASSERT_TRUE(samples.append(r, g));
        if (s == 0) {
            samples.prepareNextBlock();
            EXPECT_EQ(samples.bytesAllocated(), 2 * one_block) << "the next block, ahead of use";
        }
    }
    EXPECT_EQ(samples.seconds(), SecondSamples::kBlockSeconds + 2);
    EXPECT_EQ(samples.run(SecondSamples::kBlockSeconds + 1).fps,
              float(SecondSamples::kBlockSeconds + 1));
    EXPECT_EQ(samples.gpu(SecondSamples::kBlockSeconds, 1).celsius,
              float(SecondSamples::kBlockSeconds) + 0.5f);
    EXPECT_EQ(samples.gpu(7, 0).celsius, 7.0f);
}

TEST(StabilityJudge, EventTextsAndClock) {
    EXPECT_EQ(clockText(3 * 3600 + 12 * 60 + 5), "03:12:05");
    StabilityEvent e;
    e.kind = EventKind::ThermalSlowdown;
    e.gpu = 0;
    e.start_s = 192;
    e.duration_s = 14;
    EXPECT_EQ(describeEvent(e), "GPU 1: thermal slowdown at 00:03:12 for 14 s");
}

}  // namespace
}  // namespace plashwerk
