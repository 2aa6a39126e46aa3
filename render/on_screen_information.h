#pragma once
// The on-screen information: the lines of text drawn over the scene while a run is on
// screen (title, run phase, particles, FPS and SPS counters, GPU readings, the stability
// test's help), worked out from an input record by a pure function and drawn by the scene
// with its font.
//
// Contents:
//   OverlayGpu, overlayGpuFrom: one monitored GPU as the lines read it
//   OverlayInput: everything the lines are made from, filled once per frame by the run
//   OverlayLine, buildOverlayLines: the lines, their positions and colours
//
// Texts are single-byte Windows-1252 strings cut to 255 bytes; the degree sign is 0xB0.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plashwerk {

struct GpuStatus;

/// GPUs the information and the temperature graphs show at most; further ones are left out.
inline constexpr int kOverlayMaxGpus = 16;
/// Physics thread ids the help lists at most.
inline constexpr int kOverlayMaxPhysicsThreads = 64;
/// Bytes of one line with its terminating zero (the font's room).
inline constexpr int kOverlayTextBytes = 256;

/// The readings of one GPU that its line and graph label show, copied from the monitor's record.
struct OverlayGpu {
    char name[256] = "";
    bool has_boost_clocks = false;
    float core_clock = 0.0f;  ///< MHz, of the performance state
    float memory_clock = 0.0f;
    float true_core_clock = 0.0f;  ///< MHz, measured; 0 = not available
    float true_memory_clock = 0.0f;
    float throttling_mhz = 0.0f;
    float celsius = 0.0f;
    float max_celsius = 0.0f;  ///< since the run began: the graph's label
    float min_celsius = 0.0f;
    float gpu_load = 0.0f;   ///< %
    float gpu_power = 0.0f;  ///< % of TDP
};

/// A copy of the record's readings, taken once so that one line never mixes two passes.
OverlayGpu overlayGpuFrom(const GpuStatus& status);

struct OverlayInput {
    // Window and run.
    int width = 0;  ///< client size, pixels
    int height = 0;
    int top_left_osi_y_offset = 0;  ///< pixels the whole block moves down
    bool benchmark = false;         ///< benchmark mode; otherwise stability test
    bool preset_run = false;
    bool warmup_over = false;
    bool physx_on_gpu = false;
    bool crash_detected = false;
    bool simulation_paused = false;
    bool multithreaded_physx = false;

    // Switches (keys).
    bool display_information = true;  ///< I: off draws nothing
    bool show_help = false;           ///< F1
    bool show_gpu_info = true;        ///< G
    bool show_temperature_graph = true;

    // Counters.
    uint32_t particle_total = 0;
    uint32_t warmup_threshold = 0;  ///< particles that end the fluid initialisation
    int fps_current = 0, fps_min = 0, fps_max = 0, fps_avg = 0;
    int sps_current = 0, sps_min = 0, sps_max = 0, sps_avg = 0;
    uint32_t frames = 0;
    int simulations = 0;
    uint32_t elapsed_ms = 0;   ///< measured time
    uint32_t max_time_ms = 0;  ///< a benchmark's measured time limit
    int seconds_left = -1;     ///< a stability test with a length: its time left; -1 none

    // GPU-Z.
    bool gpuz_available = false;
    float gpuz_core_clock = 0.0f, gpuz_memory_clock = 0.0f;  ///< MHz
    float gpuz_celsius = 0.0f;
    float gpuz_vddc = 0.0f;          ///< V
    float gpuz_vddc_current = 0.0f;  ///< A
    float gpuz_power_w = 0.0f;

    // Renderer and monitored GPUs.
    char renderer_name[256] = "";
    int msaa_samples = 0;
    bool integrated_main_gpu = false;  ///< the monitored GPUs are numbered from 2
    int gpu_count = 0;                 ///< 0: no GPU is monitored; at most kOverlayMaxGpus
    OverlayGpu gpus[kOverlayMaxGpus];

    // Thread ids for the help.
    uint32_t main_thread_id = 0;
    uint32_t render_thread_id = 0;
    int physics_thread_count = 0;  ///< at most kOverlayMaxPhysicsThreads
    uint32_t physics_thread_ids[kOverlayMaxPhysicsThreads] = {};
};

struct OverlayLine {
    char text[kOverlayTextBytes] = "";
    float x = 0.0f;  ///< pixels from the left
    float y = 0.0f;  ///< pixels from the top of the window to the top of the line
    float color[3] = {1.0f, 1.0f, 1.0f};
};

/// Replaces `lines` with the information lines for `in`, in drawing order; none when
/// display_information is off. The vector keeps its room from frame to frame.
void buildOverlayLines(const OverlayInput& in, std::vector<OverlayLine>& lines);

/// A stability test's time left as the title line shows it: "12:41 left", "1:02:03 left"
/// from an hour on. Negative counts as 0.
void formatTimeLeft(int seconds, char* out, size_t size);

/// A float reading as the integer the lines print: truncated towards zero, NaN as 0,
/// values beyond the int range clamped to it.
int truncateReading(float value);

}  // namespace plashwerk
