#pragma once
// The current run: what was asked for, where it stands, its counters and its outcome.
//
// Contents:
//   RunState: settings handed over at start-up, phase flags, the benchmark clock
//   FpsSpsCounters: the one-second samples with their minimum, maximum and average
//   RunResult: the outcome of a finished benchmark
//   RunContext: the run state, scene and settings a run works on, handed to its code
//
// Written by the render thread; the window procedure (main thread) writes the stop request
// and the key flags, physics threads the crash flag. Flags read across threads are atomics
// with relaxed order: each is one word, read once per frame, and orders nothing else.

#include <atomic>
#include <cstdint>

#include "settings/run_kinds.h"

namespace plashwerk {

class Clock;
class DemoScene;
class SecondSamples;
struct RunRequest;
struct RunSettings;

struct RunState {
    // Handed over from the run request (handSettingsToRunState).
    RunMode mode = RunMode::StabilityTest;
    int requested_width = 800;  ///< asked-for window or screen size, pixels
    int requested_height = 600;
    int fullscreen = 0;              ///< 1: exclusive full-screen mode; titles only when 0
    int msaa = 0;                    ///< multisample count asked for, 0 = none
    uint32_t time_limit_ms = 60000;  ///< measured time of a benchmark, never 0
    bool time_based = true;
    uint32_t stability_time_ms = 0;  ///< a stability test's length; 0: until stopped

    /// Client size of the main window: the render size.
    int width = 0;
    int height = 0;

    std::atomic<bool> stop_requested{false};  ///< set by stopRun; ends the run loop
    std::atomic<int> running{0};       ///< 1 from the run reset until the loop ends or finishes
    std::atomic<int> window_ready{0};  ///< 1 once the scene is built; suppresses erasing
    bool warmup_over = false;          ///< benchmark: the measured phase has begun
    bool finished = false;             ///< benchmark: the time limit was reached
    /// Stability test: its length was reached and it ended by itself (render thread; read
    /// by the main thread once the render thread has ended).
    bool ran_its_length = false;
    uint32_t run_ms = 0;  ///< time since the frame loop began, whatever the counters do
    std::atomic<int> results_ready{0};  ///< 1: a finished benchmark waits for its results box
    /// The scene could not be built (its error box was shown): the run ended before its
    /// first frame, and a start without the dialog ends with the start-up failure status.
    std::atomic<bool> scene_failed{false};

    // The benchmark clock, milliseconds (render thread).
    uint32_t last_time_ms = 0;  ///< timer value at the previous loop turn
    uint32_t elapsed_ms = 0;    ///< measured run time
    uint32_t second_ms = 0;     ///< time in the current one-second window
    uint32_t frames = 0;        ///< frames since the measured phase began
    int frames_in_second = 0;
    int simulations = 0;  ///< physics steps counted, mean per fluid

    /// 0: the next one-second sample restarts min/max/avg and the clock. Cleared at run
    /// start and by the R key.
    std::atomic<bool> counters_primed{false};
    std::atomic<bool> simulation_paused{false};  ///< P key: physics stepping paused
    std::atomic<bool> crash_detected{false};     ///< a physics step reported an error

    // What the keys change while a run is on screen, taken from the settings when the run
    // starts (takeKeyTogglesFromSettings).
    std::atomic<bool> display_information{true};  ///< I: the on-screen information
    std::atomic<bool> render_scene{true};         ///< C: 0 simulates without drawing
    std::atomic<ParticleLook> particle_look{ParticleLook::Smiley};  ///< F2 / F3 / F4
    /// G: the renderer and GPU lines of a stability test; kept from run to run.
    std::atomic<bool> show_gpu_info{true};

    /// Particles alive in all fluids, published each frame for the on-screen information.
    std::atomic<uint32_t> particle_total{0};

    float start_temperature = 0.0f;  ///< °C, first monitored GPU, benchmark start
    float end_temperature = 0.0f;    ///< °C, at the finish
};

/// Copies the run-length and display fields of the request into the run state and clears
/// its stop request: the one way a run state takes what was asked for. The run is always
/// time-based; a time limit of 0 or less means the default 60000 ms.
void handSettingsToRunState(RunState& run, const RunRequest& request);

/// Starts the run's key toggles (display_information, render_scene, particle_look) from
/// the settings. Called before the render thread starts; the keys then change only the
/// run state.
void takeKeyTogglesFromSettings(RunState& run, const RunSettings& settings);

/// Sleeps `ms` milliseconds, or less when the run's stop is requested meanwhile: the wait
/// goes in short slices that check the stop request, so a long deliberate delay (the
/// render slow-down) never holds up a stop.
void sleepUnlessStopped(const RunState& run, uint32_t ms);

/// FPS and SPS samples, one per second of counted time (render thread only).
struct FpsSpsCounters {
    int fps_current = 0;
    int fps_min = 10000;
    int fps_max = 0;
    int fps_avg = 0;
    int sps_current = 0;
    int sps_min = 10000;
    int sps_max = 0;
    int sps_avg = 0;
    int sample_count = 0;
    int fps_sum = 0;
    int sps_sum = 0;
};

/// The outcome of a finished benchmark. Written on the render thread at the finish (the
/// clocks again when the results are shown); kept after the run for the scores file and
/// the submission.
struct RunResult {
    int global_score = 0;
    float physx_score = 0.0f;   ///< 0.1 x simulations
    float graphx_score = 0.0f;  ///< 0.1 x frames
    int fps_min = 0;
    int fps_max = 0;
    int fps_avg = 0;
    int sps_min = 0;
    int sps_max = 0;
    int sps_avg = 0;
    uint32_t frames = 0;                ///< frames counted after the warm-up
    int simulations = 0;                ///< mean steps per fluid at the finish
    uint32_t duration_ms = 0;           ///< the run's time limit
    float start_temperature = 0.0f;     ///< °C
    float end_temperature = 0.0f;       ///< °C
    float gpu_core_clock_max = 0.0f;    ///< MHz
    float gpu_memory_clock_max = 0.0f;  ///< MHz
    bool physx_on_gpu = false;
    /// Fluid emitters the run made: the setting within its limits, not what was asked for.
    int fluid_emitters = 0;
    /// Renderer, drivers, CPU, CPU speed, system memory, OS.
    char system_lines[6][256] = {};
};

/// What the render thread of a run works on. Whoever starts a run hands these in: the
/// application its one instance of each, tests and benchmarks their own. The scene must
/// have been made with the same run state, result and settings.
struct RunContext {
    RunState& run;
    FpsSpsCounters& counters;
    RunResult& result;
    DemoScene& scene;
    const RunSettings& settings;
    Clock& clock;  ///< what the benchmark clock reads
    /// Where the run's readings go once a second (second_samples.h); null: not kept.
    SecondSamples* samples = nullptr;
};

}  // namespace plashwerk
