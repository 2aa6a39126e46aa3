#pragma once
// The current run: what was asked for, and where it stands.

#include <atomic>
#include <cstdint>

namespace plashwerk {

struct RunState {
    int mode = 2;  ///< 1 benchmark, 2 stability test
    int requested_width = 800;
    int requested_height = 600;
    int fullscreen = 0;
    int msaa = 0;
    uint32_t time_limit_ms = 60000;
    int frame_limit = 0;
    bool time_based = true;
    std::atomic<bool> stop_requested{false};
};

extern RunState g_run_state;

/// Copies the run-length and display fields of the settings into the run state. The run is
/// always time-based; a time limit of 0 then means the default 60000 ms.
void handSettingsToRunState(RunState& run, int fullscreen, int width, int height, int msaa,
                            int run_mode, int max_time, int max_frames);

}  // namespace plashwerk
