#include "run/run_state.h"

namespace plashwerk {

RunState g_run_state;
FpsSpsCounters g_counters;
RunResult g_run_result;

void handSettingsToRunState(RunState& run, int fullscreen, int width, int height, int msaa,
                            int run_mode, int max_time, int max_frames) {
    run.fullscreen = fullscreen;
    run.requested_width = width;
    run.requested_height = height;
    run.msaa = msaa;
    run.mode = run_mode;
    run.frame_limit = max_frames;
    run.time_based = true;
    // Negative limits make no sense for an unsigned millisecond clock: they count as unset.
    run.time_limit_ms = max_time > 0 ? static_cast<uint32_t>(max_time) : 60000u;
}

}  // namespace plashwerk
