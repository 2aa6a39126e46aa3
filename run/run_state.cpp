#include "run/run_state.h"

#include "settings/startup_options.h"

namespace plashwerk {

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

void takeKeyTogglesFromSettings(RunState& run, const StartupOptions& settings) {
    run.display_information.store(settings.display_information, std::memory_order_relaxed);
    run.render_scene.store(settings.render_scene, std::memory_order_relaxed);
    run.particle_type.store(settings.particle_type, std::memory_order_relaxed);
}

}  // namespace plashwerk
