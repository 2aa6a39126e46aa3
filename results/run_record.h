#pragma once
// What is kept of a finished benchmark once its window has closed: the run's outcome with
// the facts around it (render size, the hardware report's texts, each GPU's maxima), taken
// in one place so that the scores row and the results document describe the same run.
//
// Contents:
//   GpuMaxima, RunRecord: the hand-over record, plain data
//   collectRunRecord: fills it from the run, the scene's settings and the GPU monitor
//   keepFinishedBenchmark: writes what the settings ask for (scores row, results document)

#include <cstdint>
#include <string>
#include <vector>

#include "run/run_state.h"
#include "run/second_samples.h"
#include "run/stability_judge.h"
#include "settings/setting_value.h"

namespace plashwerk {

class GpuMonitor;

/// One monitored GPU's highest readings since its statistics were last reset (the run's
/// start).
struct GpuMaxima {
    std::string name;
    float core_clock_mhz = 0.0f;
    float memory_clock_mhz = 0.0f;
    float celsius = 0.0f;
    float load_percent = 0.0f;
    float power_percent = 0.0f;  ///< of the board's power limit
};

struct RunRecord {
    RunResult result;
    RunMode run_mode = RunMode::Benchmark;
    std::string renderer;  ///< OpenGL renderer of the main graphics card (hardware report)
    std::string driver;    ///< graphics driver text of the hardware report
    float core_clock_max_mhz = 0.0f;    ///< first GPU's highest core clock
    float memory_clock_max_mhz = 0.0f;  ///< first GPU's highest memory clock
    float run_max_celsius = 0.0f;       ///< highest temperature of any GPU during the run
    int msaa_samples = 0;               ///< as the render window reported it
    int width = 0;                      ///< client size of the main window, pixels
    int height = 0;
    bool fullscreen = false;
    bool time_based = true;
    uint32_t max_time_ms = 0;
    int num_particles = 0;
    std::vector<GpuMaxima> gpus;         ///< in monitoring order
    std::vector<SettingValue> settings;  ///< every setting of the run, in table order

    // What a stability test's judge found (Verdict::None and no events for a benchmark).
    Verdict verdict = Verdict::None;
    std::vector<StabilityEvent> events;
    uint32_t run_seconds = 0;  ///< how long the run ran, whatever its counters did
    /// The once-a-second readings of the run; null when none were kept. Owned by the run's
    /// window and alive while the record is used.
    const SecondSamples* samples = nullptr;
};

/// The record of the run that just ended. `msaa_samples` is the render window's count;
/// `num_particles` the particle count the run was asked for; `settings` every setting.
RunRecord collectRunRecord(const RunState& run, const RunResult& result, int msaa_samples,
                           int num_particles, std::vector<SettingValue> settings,
                           const GpuMonitor& monitor);

/// What the settings ask to be kept of a finished benchmark.
struct KeepSettings {
    bool log_score = false;    ///< append a row to the scores file
    std::string results_json;  ///< write the results document here; empty: nowhere
    std::string report;        ///< write the HTML report here; empty: nowhere
};

/// The default place of the scores file: the working directory.
inline constexpr const char* kScoresFileName = "./Plashwerk_Scores.csv";

/// Writes what a finished run leaves behind: for a benchmark, the scores row when
/// `log_score` is set; for a benchmark or a stability test, the results document when
/// `results_json` names a path and the HTML report when `report` does. Failures are reported
/// by the writers. Returns false when the results document or the report was asked for and
/// could not be written (the caller that a script started owes it a failure status); a lost
/// scores row is only reported, as the scores file always was.
bool keepFinishedBenchmark(const RunRecord& record, const KeepSettings& keep,
                           const char* scores_path = kScoresFileName);

}  // namespace plashwerk
