#include "results/run_record.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "gpumon/gpu_monitor.h"
#include "results/results_json.h"
#include "results/run_report.h"
#include "results/scores_csv.h"

namespace plashwerk {

RunRecord collectRunRecord(const RunState& run, const RunResult& result, int msaa_samples,
                           int num_particles, std::vector<SettingValue> settings,
                           const GpuMonitor& monitor) {
    RunRecord r;
    r.result = result;
    r.run_mode = run.mode;
    const SystemInfo& system = monitor.systemInfo();
    r.renderer.assign(system.renderer, strnlen(system.renderer, sizeof system.renderer));
    r.driver.assign(system.driver, strnlen(system.driver, sizeof system.driver));
    r.core_clock_max_mhz = monitor.getGpuCoreClock(0, true);
    r.memory_clock_max_mhz = monitor.getGpuMemoryClock(0, true);
    r.msaa_samples = msaa_samples;
    r.width = run.width;
    r.height = run.height;
    r.fullscreen = run.fullscreen != 0;
    r.time_based = run.time_based;
    r.max_time_ms = run.time_limit_ms;
    r.num_particles = num_particles;
    r.settings = std::move(settings);
    // Each GPU's maxima were reset when the run started, so their highest temperature is
    // the run's own, not one left over from an earlier run of the same session.
    for (uint32_t i = 0; i < monitor.gpuCount(); ++i) {
        const GpuStatus* s = monitor.gpuStatus(static_cast<int>(i));
        if (!s) break;
        GpuMaxima g;
        g.name.assign(s->name, strnlen(s->name, sizeof s->name));
        g.core_clock_mhz = s->max_core_clock;
        g.memory_clock_mhz = s->max_memory_clock;
        g.celsius = s->max_celsius;
        g.load_percent = s->max_gpu_load;
        g.power_percent = s->max_gpu_power;
        r.run_max_celsius = std::max(r.run_max_celsius, g.celsius);
        r.gpus.push_back(std::move(g));
    }
    return r;
}

bool keepFinishedBenchmark(const RunRecord& record, const KeepSettings& keep,
                           const char* scores_path) {
    if (record.run_mode == RunMode::Benchmark && keep.log_score)
        appendScoresRow(scores_path, record);
    bool written = true;
    if (!keep.results_json.empty())
        written = writeResultsJson(keep.results_json.c_str(), record) && written;
    if (!keep.report.empty()) written = writeRunReport(keep.report.c_str(), record) && written;
    return written;
}

}  // namespace plashwerk
