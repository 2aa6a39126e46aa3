#include "run/render_thread.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "gpumon/gpu_monitor.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/engine/vn_render_window.h"
#include "platform/gl/probe_context.h"
#include "platform/program/program_info.h"
#include "platform/thread/thread_util.h"
#include "platform/window/window.h"
#include "render/on_screen_information.h"
#include "run/counters.h"
#include "run/demo_scene.h"
#include "run/precision_timer.h"
#include "run/progress_lines.h"
#include "run/run_settings.h"
#include "run/run_state.h"
#include "run/second_samples.h"

namespace plashwerk {
namespace {

std::atomic<uint32_t> g_render_thread_id{0};

// Seconds a stability test with a length has left; -1 without a length.
int secondsLeft(const RunState& run) {
    if (run.mode == RunMode::Benchmark || run.stability_time_ms == 0) return -1;
    return int((run.stability_time_ms - std::min(run.run_ms, run.stability_time_ms) + 999) / 1000);
}

void setTitle(window::Window* w, const RunState& run, const char* format, int fps = 0) {
    if (!w || run.fullscreen) return;
    char title[160];
    const int n = std::snprintf(title, sizeof title, format, kAppName, fps);
    if (const int left = secondsLeft(run); left >= 0 && n > 0 && size_t(n) < sizeof title) {
        char text[32];
        formatTimeLeft(left, text, sizeof text);
        std::snprintf(title + n, sizeof title - size_t(n), " - %s", text);
    }
    w->setTitle(title);
}

// Keeps the run's readings once a second: the second just ended, with what the monitor
// read last. Fixed arrays only; the series' blocks are allocated ahead (second_samples.h).
class SecondRecorder {
  public:
    SecondRecorder(SecondSamples* samples, const RunState& run, const GpuMonitor& monitor)
        : m_samples(samples), m_monitor(monitor) {
        if (!m_samples) return;
        // A benchmark's length is its measured time plus a warm-up that rarely passes a
        // minute; a stability test without a length starts with one block.
        const uint32_t expected = run.mode == RunMode::Benchmark ? run.time_limit_ms / 1000 + 60
                                                                 : run.stability_time_ms / 1000;
        m_samples->start(int(monitor.gpuCount()), expected);
    }

    // Called every frame; records each whole second of run time once.
    void update(const RunContext& c) {
        if (!m_samples) return;
        while (c.run.run_ms >= (m_samples->seconds() + 1) * 1000u) {
            if (!record(c)) {
                m_samples = nullptr;  // full: nothing more is kept
                return;
            }
        }
    }

  private:
    bool record(const RunContext& c) {
        RunSecond second;
        second.fps = float(c.counters.fps_current);
        second.sps = float(c.counters.sps_current);
        const ContextFaults gl = takeContextFaults();
        if (gl.error) second.faults |= kFaultOpenGl;
        if (gl.lost) second.faults |= kFaultContextLost;
        if (c.run.crash_detected.load(std::memory_order_relaxed))
            second.faults |= kFaultPhysicsDevice;
        if (c.run.simulation_paused.load(std::memory_order_relaxed)) second.faults |= kSecondPaused;
        GpuSecond gpus[SecondSamples::kMaxGpus] = {};
        takeGpuSeconds(m_monitor, gpus, SecondSamples::kMaxGpus);
        if (!m_samples->append(second, gpus)) return false;
        // The next hour's block, allocated at the start of this one, an hour before use.
        if (m_samples->seconds() % SecondSamples::kBlockSeconds == 1) m_samples->prepareNextBlock();
        return true;
    }

    SecondSamples* m_samples;
    const GpuMonitor& m_monitor;
};

// The renderer's name and the sample count of the render window, as the GPU library reads
// them from the context current on this thread: for the on-screen information and the
// monitoring logs.
void readRendererInfo(DemoScene& scene) {
    const std::string name = Pyrolex::getCurrentContextRenderer();
    scene.setRendererInfo(name.c_str(), Pyrolex::getCurrentContextSamples());
    gpuMonitor().inputs().msaa_samples = scene.msaaSamples();
}

void resetRun(RunState& run, FpsSpsCounters& counters) {
    run.counters_primed = false;
    run.results_ready = 0;
    run.elapsed_ms = 0;
    run.frames_in_second = 0;
    run.frames = 0;
    run.second_ms = 0;
    run.simulations = 0;
    counters = FpsSpsCounters{};
    run.warmup_over = false;
    run.finished = false;
    run.ran_its_length = false;
    run.run_ms = 0;
    run.running = 1;
}

// Where a run without a window shows its progress: standard error, one line in place on a
// terminal, a line per phase and per tenth otherwise. Standard output keeps the results.
class HeadlessProgress {
  public:
    explicit HeadlessProgress(bool shown) : m_shown(shown), m_lines(isatty(STDERR_FILENO) == 1) {}

    void update(const RunContext& c, uint32_t now_ms) {
        if (!m_shown) return;
        const RunState& run = c.run;
        const DemoScene& scene = c.scene;
        ProgressReading r;
        r.now_ms = now_ms;
        r.fps = c.counters.fps_current;
        r.sps = c.counters.sps_current;
        r.elapsed_ms = run.elapsed_ms;
        if (run.mode != RunMode::Benchmark) {
            r.phase = ProgressPhase::Stability;
            r.seconds_left = secondsLeft(run);
        } else if (run.warmup_over) {
            r.phase = ProgressPhase::Measuring;
            const float done =
                static_cast<float>(run.elapsed_ms) / static_cast<float>(run.time_limit_ms) * 100.0f;
            r.percent = static_cast<int>(std::min(done, 100.0f));
        } else {
            // The text's own percentage: the particles against the warm-up threshold.
            const uint32_t threshold = scene.warmupThreshold();
            const uint32_t p =
                threshold == 0
                    ? 100u
                    : static_cast<uint32_t>(uint64_t(scene.particleTotal()) * 100 / threshold);
            r.phase = p < 100 ? ProgressPhase::FluidInit : ProgressPhase::WarmingUp;
            r.percent = static_cast<int>(p);
        }
        write(m_lines.update(r));
    }
    void finish() {
        if (m_shown) write(m_lines.finish());
    }

  private:
    static void write(const std::string& text) {
        if (text.empty()) return;
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }

    bool m_shown;
    ProgressLines m_lines;
};

// A run shows its progress on standard error when nobody sees its window: without one, or
// when the frame is drawn offscreen (no display).
bool runsWithoutWindow(window::Window* w, const DemoScene& scene) {
    return !w || (scene.renderWindow() && scene.renderWindow()->isOffscreen());
}

void finish(const RunContext& c, window::Window* w) {
    RunState& run = c.run;
    DemoScene& scene = c.scene;
    run.finished = true;
    run.end_temperature = gpuMonitor().getGpuTemperature(0);
    c.result.start_temperature = run.start_temperature;
    c.result.end_temperature = run.end_temperature;
    run.results_ready = c.settings.display_score ? 1 : 0;
    finishBenchmark(run, c.counters, scene.physicsThreads().counters(),
                    c.settings.physics.preset_run, c.result);
    run.running = 0;
    scene.releaseDemoScene();
    if (w) w->post(window::MessageType::Close);
}

}  // namespace

uint32_t renderThreadId() {
    return g_render_thread_id.load(std::memory_order_relaxed);
}

void renderThreadMain(window::Window* w, const RunContext& c) {
    RunState& run = c.run;
    DemoScene& scene = c.scene;
    g_render_thread_id = currentThreadId();
    if (c.settings.thread_affinity) setCurrentThreadAffinity(1);

    run.running = 0;
    setTitle(w, run, "Quorvex %s | Init in progress...");

    if (!scene.initScene(w, run.width, run.height, c.settings)) {
        run.scene_failed = true;
        if (run.fullscreen && w) w->post(window::MessageType::User, kUserRestoreDisplayMode);
        scene.releaseDemoScene();
        if (w) w->post(window::MessageType::Close);
        return;
    }

    // The results' system lines come from the hardware report; the first frame puts the
    // renderer's own name in the first.
    const SystemInfo& system = gpuMonitor().systemInfo();
    const char* lines[6] = {system.renderer,       system.driver,      system.cpu_name,
                            system.cpu_speed_text, system.memory_text, system.os_name};
    for (int i = 0; i < 6; ++i)
        std::snprintf(c.result.system_lines[i], sizeof c.result.system_lines[i], "%s", lines[i]);

    run.window_ready = 1;
    if (w) w->post(window::MessageType::Paint);
    setTitle(w, run, "Quorvex %s | Running...");

    resetRun(run, c.counters);
    scene.setOverlaySources(&c.counters, nullptr);
    const bool benchmark = run.mode == RunMode::Benchmark;
    GpuMonitor& monitor = gpuMonitor();
    if (benchmark) run.start_temperature = monitor.getGpuTemperature(0);

    PrecisionTimer timer(c.clock);
    timer.start();
    run.last_time_ms = timer.nowMs();
    monitor.setTemperatureHistoryRecording(true);
    monitor.resetGpuStatistics();
    monitor.setRunMaxCelsius(0.0f);  // each run's hottest reading starts afresh
    readRendererInfo(scene);
    HeadlessProgress progress(runsWithoutWindow(w, scene));
    const uint32_t loop_start_ms = run.last_time_ms;
    SecondRecorder recorder(c.samples, run, monitor);

    while (!run.stop_requested.load(std::memory_order_relaxed)) {
        const uint32_t now = timer.nowMs();
        const uint32_t dt_ms = now - run.last_time_ms;
        run.last_time_ms = now;
        run.run_ms = now - loop_start_ms;
        recorder.update(c);
        if (!benchmark && run.stability_time_ms > 0 && run.run_ms >= run.stability_time_ms) {
            // Its length is up: the test ends as if its window were closed, with the whole
            // shut-down that follows.
            run.ran_its_length = true;
            progress.update(c, now);
            if (w) w->post(window::MessageType::Close);
            break;
        }
        const bool counting = !benchmark || run.warmup_over;
        if (counting) {
            run.second_ms += dt_ms;
            run.elapsed_ms += dt_ms;
        }
        if (benchmark && run.elapsed_ms >= run.time_limit_ms) {
            // The finishing turn draws no frame.
            progress.update(c, now);
            progress.finish();
            finish(c, w);
            return;
        }

        scene.frame(static_cast<float>(dt_ms) * 0.001f);

        if (!benchmark || run.warmup_over) {
            run.frames_in_second += 1;
            run.frames += 1;
            run.simulations =
                static_cast<int>(meanTotalStepsPerFluid(scene.physicsThreads().counters()));
        }
        if (run.second_ms >= 1000) {
            const int fps = takeOneSecondSample(run, c.counters, scene.physicsThreads().counters());
            monitor.inputs().fps = fps;
            readRendererInfo(scene);
            if (!run.stop_requested.load(std::memory_order_relaxed))
                setTitle(w, run, "Quorvex %s | FPS=%d - Running...", fps);
        }
        progress.update(c, now);
        sched_yield();
    }

    progress.finish();
    run.running = 0;
    scene.releaseDemoScene();
}

}  // namespace plashwerk
