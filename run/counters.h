#pragma once
// How a run is measured: steps per fluid, the one-second FPS/SPS samples, the scores of a
// finished benchmark and the texts of its results.

#include <cstdint>
#include <functional>
#include <span>

#include "run/physics_threads.h"
#include "run/run_state.h"

namespace plashwerk {

/// Sum of sps_steps over the simulations divided by their number (unsigned division; 0
/// without simulations). With reset, each counter is read and cleared in one exchange, so
/// no step completed in between is lost.
uint32_t meanStepsPerFluid(std::span<StepCounters> fluids, bool reset);

/// Sum of total_steps over the simulations divided by their number.
uint32_t meanTotalStepsPerFluid(std::span<StepCounters> fluids);

/// Turns the current one-second window into the FPS and SPS samples; the first sample after
/// the counters were unprimed restarts min/max/avg and the benchmark clock. Returns the FPS
/// just sampled (for the window title).
int takeOneSecondSample(RunState& run, FpsSpsCounters& counters, std::span<StepCounters> fluids);

struct Scores {
    float graphx = 0.0f;  ///< 0.1 point per frame
    float physx = 0.0f;   ///< 0.1 point per step of a fluid
    int global = 0;
};

/// The score arithmetic, in single precision as the published scores were computed: each
/// count converted to float and multiplied by the float 0.1; a custom run's global score is
/// the truncated sum of the two, a preset run's the frame count itself.
Scores computeScores(uint32_t frames, int simulations, bool preset_run);

/// The benchmark's end: RunResult from the counters, the scores, and the summary in the
/// trace log.
void finishBenchmark(RunState& run, const FpsSpsCounters& counters, std::span<StepCounters> fluids,
                     bool preset_run, RunResult& result);

/// The results dialog's texts, in the dialog's order.
struct ResultsTexts {
    char title[256];
    char score[256];
    char detail[256];
    char emitters[256];
    char threading[256];
    char resolution[256];
    char system[6][256];  ///< renderer, drivers, CPU, CPU speed, system memory, OS
    char clocks[256];
};

/// What the texts are made from, besides RunResult.
struct ResultsInputs {
    bool preset_run = false;
    int num_fluid_emitters = 0;
    int num_particles = 0;
    bool multithreaded_physx = false;
    bool threads_sync = true;
    bool multicore_cpu_physx = false;
    bool add_post_fx = false;
    int width = 0;
    int height = 0;
    bool fullscreen = false;
    int msaa_samples = 0;         ///< of the render window
    float core_clock_max = 0.0f;  ///< MHz from the GPU monitor, 0 when unknown
    float memory_clock_max = 0.0f;
    float gpuz_core_clock = 0.0f;  ///< MHz from GPU-Z, 0 when it does not run
    float gpuz_memory_clock = 0.0f;
};

/// Fills the texts; also stores the clocks shown into the result's maxima.
void formatResultsTexts(const ResultsInputs& in, RunResult& result, ResultsTexts& out);

/// Shows a finished benchmark's results once (results_ready and display_score), then
/// clears results_ready. Without a results dialog the texts from the score line to the
/// clocks line go to standard output, one per line; when that write fails it is reported
/// (reportStandardOutputFailure). Returns 0, or the errno of the failed write.
using ResultsPresenter = std::function<void(const ResultsTexts&)>;
void setResultsPresenter(ResultsPresenter presenter);
int showResultsDialog(RunState& run, bool display_score, const ResultsInputs& in,
                      RunResult& result);

/// Says that `what` (for example "the results") could not be written to standard output
/// because of `error` (an errno): in the trace log and on standard error, which may be
/// broken too.
void reportStandardOutputFailure(const char* what, int error);

}  // namespace plashwerk
