#include "run/run_state.h"

#include <algorithm>
#include <chrono>

#include "platform/thread/thread_util.h"
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

void sleepUnlessStopped(const RunState& run, uint32_t ms) {
    // Short enough that a stop is answered at once, long enough not to busy the processor.
    constexpr uint32_t kSliceMs = 10;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!run.stop_requested.load(std::memory_order_relaxed)) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        sleepMs(static_cast<uint32_t>(std::min<int64_t>(left.count(), kSliceMs)));
    }
}

}  // namespace plashwerk
