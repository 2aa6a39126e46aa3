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
#include "platform/program/program_info.h"
#include "platform/thread/thread_util.h"
#include "platform/window/window.h"
#include "run/counters.h"
#include "run/demo_scene.h"
#include "run/precision_timer.h"
#include "run/progress_lines.h"
#include "run/run_settings.h"
#include "run/run_state.h"

namespace plashwerk {
namespace {

std::atomic<uint32_t> g_render_thread_id{0};

void setTitle(window::Window* w, const RunState& run, const char* format, int fps = 0) {
    if (!w || run.fullscreen) return;
    char title[128];
    std::snprintf(title, sizeof title, format, kAppName, fps);
    w->setTitle(title);
}

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

    while (!run.stop_requested.load(std::memory_order_relaxed)) {
        const uint32_t now = timer.nowMs();
        const uint32_t dt_ms = now - run.last_time_ms;
        run.last_time_ms = now;
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
