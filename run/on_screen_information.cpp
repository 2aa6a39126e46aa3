// The on-screen information's input, filled once per frame from the run state, the
// counters, the scene and the GPU monitor, and handed to the scene's drawing.

#include "run/on_screen_information.h"

#include <algorithm>
#include <cstdio>

#include "gpumon/gpu_monitor.h"
#include "platform/thread/thread_util.h"
#include "run/demo_scene.h"

namespace plashwerk {

void takeMonitorSnapshot(const GpuMonitor& monitor, int history_points, OverlayInput& in,
                         std::span<std::vector<TemperatureSample>> histories) {
    const GpuzReadings& gpuz = monitor.gpuzReadings();
    in.gpuz_available = gpuz.available;
    in.gpuz_core_clock = gpuz.core_clock;
    in.gpuz_memory_clock = gpuz.memory_clock;
    in.gpuz_celsius = gpuz.celsius;
    in.gpuz_vddc = gpuz.vddc;
    in.gpuz_vddc_current = gpuz.vddc_current;
    in.gpuz_power_w = gpuz.power_w;
    in.integrated_main_gpu = monitor.integratedMainGpu();

    const size_t room = std::min(size_t(kOverlayMaxGpus), histories.size());
    const size_t keep = size_t(std::max(history_points, 1));
    int count = 0;
    for (uint32_t i = 0; i < monitor.gpuCount() && size_t(count) < room; ++i) {
        const GpuStatus* status = monitor.gpuStatus(int(i));
        if (!status) break;  // the table went away between the count and the read
        in.gpus[count] = overlayGpuFrom(*status);
        std::vector<TemperatureSample>& history = histories[size_t(count)];
        history.clear();
        monitor.withTemperatureHistory(int(i), [&](const TemperatureSample* samples, size_t n) {
            const size_t first = n > keep ? n - keep : 0;
            history.assign(samples + first, samples + n);
        });
        ++count;
    }
    in.gpu_count = count;
}

void DemoScene::drawOnScreenInformation() {
    const RunState& run = m_run;
    const RunSettings& o = m_settings;
    OverlayInput& in = m_overlay;
    in.width = m_width;
    in.height = m_height;
    in.top_left_osi_y_offset = o.top_left_osi_y_offset;
    in.benchmark = run.mode == RunMode::Benchmark;
    in.preset_run = o.physics.preset_run;
    in.warmup_over = run.warmup_over;
    in.physx_on_gpu = m_result.physx_on_gpu;
    in.crash_detected = run.crash_detected.load(std::memory_order_relaxed);
    in.simulation_paused = run.simulation_paused.load(std::memory_order_relaxed);
    in.multithreaded_physx = o.physics.multithreaded_physx;
    in.display_information = run.display_information.load(std::memory_order_relaxed);
    in.show_help = m_keys.show_help.load(std::memory_order_relaxed);
    in.show_gpu_info = run.show_gpu_info.load(std::memory_order_relaxed);
    in.show_temperature_graph = m_keys.show_temperature_graph.load(std::memory_order_relaxed);

    in.particle_total = m_particle_total;
    in.warmup_threshold = m_warmup_threshold;
    const FpsSpsCounters counters = m_overlay_counters ? *m_overlay_counters : FpsSpsCounters{};
    in.fps_current = counters.fps_current;
    in.fps_min = counters.fps_min;
    in.fps_max = counters.fps_max;
    in.fps_avg = counters.fps_avg;
    in.sps_current = counters.sps_current;
    in.sps_min = counters.sps_min;
    in.sps_max = counters.sps_max;
    in.sps_avg = counters.sps_avg;
    in.frames = run.frames;
    in.simulations = run.simulations;
    in.elapsed_ms = run.elapsed_ms;
    in.max_time_ms = run.time_limit_ms;
    in.seconds_left = -1;
    if (run.mode != RunMode::Benchmark && run.stability_time_ms > 0)
        in.seconds_left =
            int((run.stability_time_ms - std::min(run.run_ms, run.stability_time_ms) + 999) / 1000);

    std::snprintf(in.renderer_name, sizeof in.renderer_name, "%s", m_renderer_name);
    in.msaa_samples = m_msaa_samples;
    takeMonitorSnapshot(m_overlay_monitor ? *m_overlay_monitor : gpuMonitor(),
                        m_render.graphHistoryPoints(), in, m_graph_histories);

    in.main_thread_id = mainThreadId();
    in.render_thread_id = currentThreadId();  // the frame runs on the render thread
    in.physics_thread_count = 0;
    if (m_physics_threads.config().arrangement == PhysicsArrangement::SingleThread) {
        in.physics_thread_ids[in.physics_thread_count++] = m_physics_threads.physicsThreadId();
    } else if (m_physics_threads.config().arrangement == PhysicsArrangement::PerFluid) {
        const size_t lanes =
            std::min(m_physics_threads.laneCount(), size_t(kOverlayMaxPhysicsThreads));
        for (size_t lane = 0; lane < lanes; ++lane)
            in.physics_thread_ids[in.physics_thread_count++] = m_physics_threads.laneThreadId(lane);
    }

    for (int i = 0; i < in.gpu_count; ++i) {
        m_graph_sources[i].history = m_graph_histories[i];
        m_graph_sources[i].max_celsius = in.gpus[i].max_celsius;
        m_graph_sources[i].min_celsius = in.gpus[i].min_celsius;
    }
    m_render.drawOnScreenInformation(in, std::span(m_graph_sources, size_t(in.gpu_count)));
}

}  // namespace plashwerk
