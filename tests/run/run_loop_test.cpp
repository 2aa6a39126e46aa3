// The frame operation and the render thread's loop on an offscreen render window, with a
// small fluid and a clock that moves 250 ms per reading (few frames, since drawing is
// slow on a software rasteriser): the end of the warm-up, the
// benchmark clock that starts there, the finish at the time limit, and the stop request.
// Time is the test's clock, so the counts below are exact; nothing is timed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "gpumon/gpu_monitor.h"
#include "platform/engine/vn_camera.h"
#include "platform/time/clock.h"
#include "platform/window/window.h"
#include "run/counters.h"
#include "run/demo_scene.h"
#include "run/keyboard_commands.h"
#include "run/render_thread.h"
#include "run/run_settings.h"
#include "run/run_state.h"
#include "tests/platform/engine/offscreen_fixture.h"
#include "tests/run/watchdog.h"

namespace plashwerk::test {
namespace {

constexpr int64_t kFrameMs = 250;
constexpr float kFrameSeconds = 0.25f;
// A whole run draws some sixty frames, slow on a loaded machine under the sanitizers: the
// deadlock guard allows for that and stays below the test's own time limit.
constexpr std::chrono::seconds kRunDeadline{180};

// Every reading of the counter is one frame later; the tick count agrees with it.
class FrameClock final : public Clock {
  public:
    int64_t counter() override {
        m_ms += kFrameMs;
        return m_ms * 1'000'000;
    }
    int64_t counterFrequency() override { return 1'000'000'000; }
    uint32_t tickCount() override { return static_cast<uint32_t>(m_ms); }

  private:
    int64_t m_ms = 0;
};

class RunLoop : public OffscreenTest {
  protected:
    void SetUp() override {
        OffscreenTest::SetUp();
        // The scene reads its images from data/ in the working directory.
        ASSERT_EQ(symlink(PLASHWERK_DATA_DIR, "data"), 0);
        settings.use_gpuz = false;
        settings.physics.num_fluid_emitters = 1;
        settings.physics.num_particles = 1000;
        settings.physics.particles_lifetime = 0.5f;
        settings.physics.multithreaded_physx = false;  // in-frame: one step per frame
        settings.display_score = true;
        scene = std::make_unique<DemoScene>(run, result);
    }
    void TearDown() override {
        scene.reset();
        OffscreenTest::TearDown();
    }

    void prepareRun(RunMode mode, int time_limit_ms) {
        RunRequest request;
        request.mode = mode;
        request.width = 160;
        request.height = 120;
        request.max_time_ms = time_limit_ms;
        handSettingsToRunState(run, request);
        run.width = 160;
        run.height = 120;
        run.stop_requested = false;
        takeKeyTogglesFromSettings(run, settings);
    }

    RunContext context() { return {run, counters, result, *scene, settings, clock}; }

    uint32_t stepsPerFluid() { return meanTotalStepsPerFluid(scene->physicsThreads().counters()); }

    RunSettings settings;
    RunState run;
    FpsSpsCounters counters;
    RunResult result;
    FrameClock clock;
    std::unique_ptr<DemoScene> scene;
};

TEST_F(RunLoop, TheWarmUpEndsFiveSecondsAfterTheFluidPassedItsThreshold) {
    prepareRun(RunMode::Benchmark, 60000);
    ASSERT_TRUE(scene->initScene(nullptr, 160, 120, settings));
    const uint32_t threshold = scene->warmupThreshold();
    ASSERT_GT(threshold, 0u);

    for (int frames = 0; scene->particleTotal() <= threshold; ++frames) {
        ASSERT_LT(frames, 5000) << "the fluid never passed " << threshold << " particles";
        scene->frame(kFrameSeconds);
        EXPECT_FALSE(run.warmup_over);
    }
    EXPECT_EQ(run.particle_total.load(), scene->particleTotal()) << "published for the text";
    const float start = scene->warmupStart();
    EXPECT_EQ(start, scene->sceneTime()) << "the warm-up starts on the frame that passed it";
    EXPECT_EQ(scene->progressBarRight(), 0.0f) << "no progress before the measured phase";

    while (!run.warmup_over) {
        ASSERT_LE(scene->sceneTime() - start, kWarmupSeconds + kFrameSeconds);
        scene->frame(kFrameSeconds);
    }
    EXPECT_GT(scene->sceneTime() - start, kWarmupSeconds);
    EXPECT_EQ(stepsPerFluid(), 1u) << "the filling's steps are cleared; this frame's counts";
    scene->frame(kFrameSeconds);
    EXPECT_GT(scene->progressBarRight(), 0.0f);
    EXPECT_EQ(stepsPerFluid(), 2u);
}

// A count that never passes its threshold does not hold the benchmark for good: the warm-up
// begins when the fluid initialisation has had its time, and ends five seconds later.
TEST_F(RunLoop, TheWarmUpBeginsAfterTheFluidInitialisationLimitWhateverTheCount) {
    prepareRun(RunMode::Benchmark, 60000);
    ASSERT_TRUE(scene->initScene(nullptr, 160, 120, settings));
    run.simulation_paused = true;  // the P key: nothing is emitted, the count stays 0
    run.render_scene = false;      // long frames, nothing to see
    constexpr float kLongFrame = 4.0f;
    for (int frames = 0; scene->warmupStart() == 0.0f; ++frames) {
        ASSERT_LT(frames, 100) << "the fluid initialisation never ended";
        scene->frame(kLongFrame);
        ASSERT_FALSE(run.warmup_over);
    }
    EXPECT_GT(scene->warmupStart(), kFluidInitLimitSeconds);
    EXPECT_LE(scene->warmupStart(), kFluidInitLimitSeconds + kLongFrame);
    std::ifstream trace(Vantorr_nsp::vnTraceMgr::instance().logFileName());
    const std::string log((std::istreambuf_iterator<char>(trace)), {});
    EXPECT_NE(log.find("[WARNING] PhysX - fluid initialization incomplete after 120 s"),
              std::string::npos);
    for (int i = 0; i < 3 && !run.warmup_over; ++i) scene->frame(kLongFrame);
    EXPECT_TRUE(run.warmup_over);
}

TEST_F(RunLoop, WithRenderSceneOffTheCameraStandsButThePhysicsSteps) {
    prepareRun(RunMode::Benchmark, 60000);
    ASSERT_TRUE(scene->initScene(nullptr, 160, 120, settings));
    run.render_scene = false;  // the C key
    for (int i = 0; i < 10; ++i) scene->frame(kFrameSeconds);
    EXPECT_EQ(scene->orbitAngle(), 0.0f);
    EXPECT_GT(scene->particleTotal(), 0u);

    run.render_scene = true;
    scene->frame(kFrameSeconds);
    EXPECT_FLOAT_EQ(scene->orbitAngle(), kFrameSeconds * 10.0f) << "10 degrees per second";
    EXPECT_EQ(settings.render_scene, true) << "the key changes the run, not the settings";
}

// Frames without the scene show only the overlays: they are drawn at most ten times a second
// of scene time, every frame when the frames are slower than that, and always when a
// screenshot is asked for; the physics steps every frame all the same.
TEST_F(RunLoop, WithoutTheSceneTheOverlaysAreDrawnAtMostTenTimesASecond) {
    prepareRun(RunMode::Benchmark, 60000);
    ASSERT_TRUE(scene->initScene(nullptr, 160, 120, settings));
    run.render_scene = false;
    for (int i = 0; i < 200; ++i) scene->frame(0.001f);  // 1000 frames a second, 0.2 s
    EXPECT_GE(scene->overlayFrames(), 2u);
    EXPECT_LE(scene->overlayFrames(), 3u);
    EXPECT_EQ(stepsPerFluid(), 200u);
    const uint32_t before = scene->overlayFrames();
    for (int i = 0; i < 5; ++i) scene->frame(0.15f);  // slower than ten frames a second
    EXPECT_EQ(scene->overlayFrames(), before + 5);
    scene->keys().screenshot_requested = true;
    scene->frame(0.001f);
    EXPECT_EQ(scene->overlayFrames(), before + 6);
}

// The results name the emitters the run made: a count out of range is clamped, and the
// result says so instead of repeating the setting.
TEST_F(RunLoop, TheResultCarriesTheEmittersTheRunMade) {
    prepareRun(RunMode::Benchmark, 60000);
    settings.physics.num_fluid_emitters = -5;
    ASSERT_TRUE(scene->initScene(nullptr, 160, 120, settings));
    EXPECT_EQ(result.fluid_emitters, 1);
    settings.physics.num_fluid_emitters = 3;
    ASSERT_TRUE(scene->initScene(nullptr, 160, 120, settings));
    EXPECT_EQ(result.fluid_emitters, 3);
}

// A benchmark counts from the end of the warm-up; the first one-second sample restarts the
// clock; the turn that reaches the limit draws no frame. With 250 ms frames and a 2000 ms
// limit: the warm-up frame and 4 more fill the first sample (5 FPS), 4 frames the second,
// and 3 frames later the clock reads 2000 ms: 12 frames, one step each.
TEST_F(RunLoop, ABenchmarkIsMeasuredFromTheWarmUpToItsTimeLimit) {
    prepareRun(RunMode::Benchmark, 2000);
    runWithWatchdog(
        "a benchmark run", [&] { renderThreadMain(nullptr, context()); }, kRunDeadline);

    EXPECT_TRUE(run.finished);
    EXPECT_TRUE(run.warmup_over);
    EXPECT_EQ(run.running.load(), 0);
    EXPECT_EQ(run.results_ready.load(), 1) << "display_score is set";
    EXPECT_FALSE(scene->sceneReady()) << "released at the finish";
    EXPECT_EQ(run.elapsed_ms, 2000u);

    EXPECT_EQ(result.duration_ms, 2000u);
    EXPECT_EQ(result.frames, 12u);
    EXPECT_EQ(result.simulations, 12);
    EXPECT_EQ(result.fps_min, 4);
    EXPECT_EQ(result.fps_max, 5);
    EXPECT_EQ(result.fps_avg, 4);
    const Scores scores = computeScores(12, 12, false);
    EXPECT_EQ(result.global_score, scores.global);
    EXPECT_EQ(result.graphx_score, scores.graphx);
    EXPECT_GT(std::strlen(result.system_lines[0]), 0u) << "the renderer's own name";
}

TEST_F(RunLoop, AStopRequestDuringTheWarmUpEndsTheRunWithoutResults) {
    prepareRun(RunMode::Benchmark, 2000);
    gpuMonitor().setRunMaxCelsius(95.0f);  // the hottest reading of an earlier run
    runWithWatchdog(
        "a benchmark stopped in its warm-up",
        [&] {
            std::thread render([&] { renderThreadMain(nullptr, context()); });
            while (run.particle_total.load() == 0) std::this_thread::yield();  // frames are drawn
            run.stop_requested = true;
            render.join();
        },
        kRunDeadline);
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.running.load(), 0);
    EXPECT_EQ(run.results_ready.load(), 0);
    EXPECT_EQ(run.frames, 0u) << "frames before the end of the warm-up are not counted";
    EXPECT_EQ(result.frames, 0u);
    EXPECT_FALSE(scene->sceneReady());
    EXPECT_EQ(gpuMonitor().runMaxCelsius(), 0.0f) << "each run starts its maximum afresh";
}

TEST_F(RunLoop, AStabilityTestCountsFromItsFirstFrameUntilStopped) {
    prepareRun(RunMode::StabilityTest, 1000);
    runWithWatchdog(
        "a stability test",
        [&] {
            std::thread render([&] { renderThreadMain(nullptr, context()); });
            // The first one-second sample primes the counters: 4 frames of 250 ms.
            while (!run.counters_primed.load()) std::this_thread::yield();
            run.stop_requested = true;
            render.join();
        },
        kRunDeadline);
    EXPECT_FALSE(run.finished) << "a stability test has no time limit";
    EXPECT_EQ(run.results_ready.load(), 0);
    EXPECT_GE(run.frames, 4u);
    EXPECT_EQ(counters.fps_min, 4);
    EXPECT_EQ(counters.fps_max, 4);
    EXPECT_FALSE(scene->sceneReady());
}

// Pixels of the frame the scene presented last whose colour the predicate accepts, among
// the rows top..top+rows-1 counted from the top.
template <typename Pred>
int presentedPixels(DemoScene& scene, int top, int rows, Pred pred) {
    const int w = scene.width(), h = scene.height();
    std::vector<uint8_t> pixels(size_t(w) * size_t(h) * 3);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, scene.renderWindow()->getReadFramebuffer());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    int n = 0;
    for (int y = top; y < top + rows; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &pixels[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 3];
            n += pred(Rgb{p[0], p[1], p[2]}) ? 1 : 0;
        }
    return n;
}

TEST_F(RunLoop, TheFrameDrawsTheInformationOnlyWhileItIsSwitchedOn) {
    prepareRun(RunMode::StabilityTest, 1000);
    run.render_scene = false;  // a plain dark red frame under the text
    ASSERT_TRUE(scene->initScene(nullptr, 320, 240, settings));
    const auto yellow = [](const Rgb& p) { return p.r > 200 && p.g > 200 && p.b < 60; };
    const auto white = [](const Rgb& p) { return p.r > 200 && p.g > 200 && p.b > 200; };

    // Title, particles, three counter lines, the renderer; "- F1: toggle help" at row 100
    // and, with the help on, the rest of it from row 115.
    scene->frame(kFrameSeconds);
    EXPECT_GT(presentedPixels(*scene, 10, 14, yellow), 20) << "the title line";
    EXPECT_GT(presentedPixels(*scene, 101, 12, white), 20);
    EXPECT_EQ(presentedPixels(*scene, 116, 12, white), 0);
    scene->keys().show_help = true;
    scene->frame(kFrameSeconds);
    EXPECT_GT(presentedPixels(*scene, 116, 12, white), 20) << "the help's P line";

    run.display_information = false;
    scene->frame(kFrameSeconds);
    // (The logos reach up to row 116.)
    EXPECT_EQ(presentedPixels(*scene, 0, 114, [](const Rgb& p) { return p.g > 60; }), 0);
}

// The trace log the fixture writes into the test's folder.
std::string traceLogText() {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (entry.path().filename().string().rfind("Plashwerk_", 0) == 0 &&
            entry.path().extension() == ".log") {
            std::ifstream in(entry.path());
            std::ostringstream all;
            all << in.rdbuf();
            text += all.str();
        }
    return text;
}

// Keys and mouse messages far faster than frames, on a window of a single pixel: every
// frame still comes, each F9 burst makes one screenshot, the camera moves a bounded way,
// and a screenshot name that cannot be written is logged while the run goes on.
TEST_F(RunLoop, InputFasterThanFramesOnAOnePixelWindow) {
    prepareRun(RunMode::StabilityTest, 1000);
    ASSERT_TRUE(scene->initScene(nullptr, 1, 1, settings));
    scene->frame(kFrameSeconds);
    const Vantorr_nsp::vnVector3 start = scene->render().mainCamera()->getPosition();

    constexpr int kF9 = window::VK_F1 + 8;
    for (int i = 0; i < 500; ++i) {
        for (const KeyCommand& c : keyCommands())
            if (c.action != KeyAction::StopRun) onKeyDown(c.virtual_key, run, *scene);
        window::Message m;
        m.type = window::MessageType::MouseWheel;
        m.wparam = 120;
        scene->cameraInput().onMessage(m);
    }
    // An even number of presses: every toggle is back where it was.
    EXPECT_TRUE(run.display_information.load());
    EXPECT_TRUE(run.render_scene.load());
    EXPECT_TRUE(scene->keys().particles_update.load());
    window::Message down;
    down.type = window::MessageType::LButtonDown;
    scene->cameraInput().onMessage(down);
    for (int x = 1; x <= 300; ++x) {
        window::Message move;
        move.type = window::MessageType::MouseMove;
        move.x = x;
        move.y = x;
        scene->cameraInput().onMessage(move);
    }
    scene->frame(kFrameSeconds);
    EXPECT_TRUE(std::filesystem::exists("plashwerk_000000.jpg")) << "one screenshot per burst";
    EXPECT_FALSE(std::filesystem::exists("plashwerk_000001.jpg"));
    EXPECT_NE(scene->render().mainCamera()->getPosition().y, start.y) << "the drag turned it";
    EXPECT_LE(scene->render().freeCamera().pitch, 80.0f);
    EXPECT_GE(scene->render().freeCamera().pitch, -80.0f);

    // The next free name is taken by a folder: the write fails, the run goes on.
    std::filesystem::create_directory("plashwerk_000001.jpg");
    onKeyDown(kF9, run, *scene);
    scene->frame(kFrameSeconds);
    EXPECT_NE(traceLogText().find("could not write the screenshot ./plashwerk_000001.jpg"),
              std::string::npos)
        << traceLogText();
    onKeyDown(kF9, run, *scene);
    scene->frame(kFrameSeconds);
    EXPECT_TRUE(std::filesystem::exists("plashwerk_000002.jpg"));
    EXPECT_TRUE(scene->sceneReady());
}

}  // namespace
}  // namespace plashwerk::test
