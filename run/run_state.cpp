#include "run/run_state.h"

#include <algorithm>
#include <chrono>

#include "platform/thread/thread_util.h"
#include "run/run_settings.h"

namespace plashwerk {

void handSettingsToRunState(RunState& run, const RunRequest& request) {
    run.fullscreen = request.fullscreen ? 1 : 0;
    run.requested_width = request.width;
    run.requested_height = request.height;
    run.msaa = request.msaa;
    run.mode = request.mode;
    run.time_based = true;
    // Negative limits make no sense for an unsigned millisecond clock: they count as unset.
    run.time_limit_ms =
        request.max_time_ms > 0 ? static_cast<uint32_t>(request.max_time_ms) : 60000u;
    // A week at most: the readings of a longer test would not be kept (second_samples.h).
    constexpr uint32_t kLongestStabilityS = 7u * 24u * 3600u;
    run.stability_time_ms = std::min(request.stability_time_s, kLongestStabilityS) * 1000u;
    run.stop_requested = false;
}

void takeKeyTogglesFromSettings(RunState& run, const RunSettings& settings) {
    run.display_information.store(settings.display_information, std::memory_order_relaxed);
    run.render_scene.store(settings.render_scene, std::memory_order_relaxed);
    run.particle_look.store(settings.particle_look, std::memory_order_relaxed);
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
