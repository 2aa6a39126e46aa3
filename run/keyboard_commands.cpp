#include "run/keyboard_commands.h"

#include <atomic>

#include "run/demo_scene.h"
#include "run/run_state.h"

namespace plashwerk {
namespace {

void toggle(std::atomic<bool>& flag) {
    flag.store(!flag.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace

void onKeyDown(int key, RunState& run, DemoScene& scene) {
    switch (key) {
        case 'I':
            toggle(run.display_information);
            break;
        case ' ':
            toggle(scene.particles_update);
            break;
        case 'P':
            toggle(run.simulation_paused);
            break;
        case 'C':
            toggle(run.render_scene);
            break;
        case 'R':
            // The next one-second sample restarts min/max/avg and the clock.
            run.counters_primed.store(false, std::memory_order_relaxed);
            break;
        default:
            // F1, F2-F4, F9, T, G and K act on the on-screen information, the particle
            // look, screenshots and the statistics dump.
            break;
    }
}

void onChar(int /*character*/) {}

}  // namespace plashwerk
