#include "run/keyboard_commands.h"

#include <atomic>

#include "settings/startup_options.h"
#include "run/demo_scene.h"
#include "run/run_state.h"

namespace plashwerk {
namespace {

void toggle(bool& setting) {
    std::atomic_ref<bool> flag(setting);
    flag.store(!flag.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void toggle(std::atomic<bool>& flag) {
    flag.store(!flag.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace

void onKeyDown(int key) {
    switch (key) {
        case 'I': toggle(g_startup_options.display_information); break;
        case ' ': toggle(g_demo_scene.particles_update); break;
        case 'P': toggle(g_run_state.simulation_paused); break;
        case 'C': toggle(g_startup_options.render_scene); break;
        case 'R':
            // The next one-second sample restarts min/max/avg and the clock.
            g_run_state.counters_primed.store(false, std::memory_order_relaxed);
            break;
        default:
            // F1, F2-F4, F9, T, G and K act on the on-screen information, the particle
            // look, screenshots and the statistics dump.
            break;
    }
}

void onChar(int /*character*/) {}

}  // namespace plashwerk
