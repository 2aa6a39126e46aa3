#include "run/render_thread.h"

#include <sched.h>

#include <atomic>
#include <cstdio>

#include "gpumon/gpu_monitor.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/program/program_info.h"
#include "platform/thread/thread_util.h"
#include "platform/window/window.h"
#include "run/counters.h"
#include "run/demo_scene.h"
#include "run/precision_timer.h"
#include "run/run_state.h"
#include "settings/startup_options.h"

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
    std::snprintf(scene.renderer_name, sizeof scene.renderer_name, "%s", name.c_str());
    scene.msaa_samples = Pyrolex::getCurrentContextSamples();
    gpuMonitor().inputs().msaa_samples = scene.msaa_samples;
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

void finish(const RunContext& c, window::Window* w) {
    RunState& run = c.run;
    DemoScene& scene = c.scene;
    run.finished = true;
    run.end_temperature = gpuMonitor().getGpuTemperature(0);
    c.result.start_temperature = run.start_temperature;
    c.result.end_temperature = run.end_temperature;
    run.results_ready = c.settings.display_score != 0 ? 1 : 0;
    finishBenchmark(run, c.counters, scene.physics_threads.counters(), c.settings.preset_run,
                    c.result);
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

    if (!scene.initScene(w, run.width, run.height)) {
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
    scene.overlay_counters = &c.counters;
    const bool benchmark = run.mode == kRunBenchmark;
    GpuMonitor& monitor = gpuMonitor();
    if (benchmark) run.start_temperature = monitor.getGpuTemperature(0);

    PrecisionTimer timer(c.clock);
    timer.start();
    run.last_time_ms = timer.nowMs();
    monitor.setTemperatureHistoryRecording(true);
    monitor.resetGpuStatistics();
    readRendererInfo(scene);

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
            finish(c, w);
            return;
        }

        scene.frame(static_cast<float>(dt_ms) * 0.001f);

        if (!benchmark || run.warmup_over) {
            run.frames_in_second += 1;
            run.frames += 1;
            run.simulations =
                static_cast<int>(meanTotalStepsPerFluid(scene.physics_threads.counters()));
        }
        if (run.second_ms >= 1000) {
            const int fps = takeOneSecondSample(run, c.counters, scene.physics_threads.counters());
            monitor.inputs().fps = fps;
            readRendererInfo(scene);
            if (!run.stop_requested.load(std::memory_order_relaxed))
                setTitle(w, run, "Quorvex %s | FPS=%d - Running...", fps);
        }
        sched_yield();
    }

    run.running = 0;
    scene.releaseDemoScene();
}

}  // namespace plashwerk
