#include "run/keyboard_commands.h"

#include <atomic>

#include "platform/window/window.h"
#include "run/demo_scene.h"
#include "run/run_state.h"

namespace plashwerk {
namespace {

using window::VK_ESCAPE;
using window::VK_F1;
using window::VK_SPACE;

constexpr int kF2 = VK_F1 + 1, kF3 = VK_F1 + 2, kF4 = VK_F1 + 3, kF9 = VK_F1 + 8;

constexpr KeyCommand kKeyCommands[] = {
    {VK_ESCAPE, true, KeyAction::StopRun},           {'I', true, KeyAction::ToggleInformation},
    {kF9, false, KeyAction::RequestScreenshot},      {VK_F1, false, KeyAction::ToggleHelp},
    {VK_SPACE, false, KeyAction::ToggleParticles},   {'P', false, KeyAction::TogglePause},
    {'T', false, KeyAction::ToggleTemperatureGraph}, {'C', false, KeyAction::ToggleRenderScene},
    {'R', false, KeyAction::ResetCounters},          {kF2, false, KeyAction::SmileyParticles},
    {kF3, false, KeyAction::LavaParticles},          {kF4, false, KeyAction::PointParticles},
    {'K', false, KeyAction::LogFluidStatistics},     {'G', false, KeyAction::ToggleGpuInfo},
};

// Only the main thread writes the key flags, so a load and a store make a toggle; two
// presses between frames cancel out.
void toggle(std::atomic<bool>& flag) {
    flag.store(!flag.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace

std::span<const KeyCommand> keyCommands() {
    return kKeyCommands;
}

const KeyCommand* findKeyCommand(int key, RunMode run_mode) {
    for (const KeyCommand& command : kKeyCommands)
        if (command.virtual_key == key)
            return command.every_mode || run_mode == RunMode::StabilityTest ? &command : nullptr;
    return nullptr;
}

KeyAnswer onKeyDown(int key, RunState& run, DemoScene& scene) {
    const KeyCommand* command = findKeyCommand(key, run.mode);
    if (!command) return KeyAnswer::Swallowed;
    switch (command->action) {
        case KeyAction::StopRun:
            return KeyAnswer::StopRun;
        case KeyAction::ToggleInformation:
            toggle(run.display_information);
            break;
        case KeyAction::RequestScreenshot:
            // Requests between two frames make one screenshot.
            scene.keys().screenshot_requested.store(true, std::memory_order_relaxed);
            break;
        case KeyAction::ToggleHelp:
            toggle(scene.keys().show_help);
            break;
        case KeyAction::ToggleParticles:
            toggle(scene.keys().particles_update);
            break;
        case KeyAction::TogglePause:
            toggle(run.simulation_paused);
            break;
        case KeyAction::ToggleTemperatureGraph:
            toggle(scene.keys().show_temperature_graph);
            break;
        case KeyAction::ToggleRenderScene:
            toggle(run.render_scene);
            break;
        case KeyAction::ResetCounters:
            // The next one-second sample restarts min/max/avg and the clock.
            run.counters_primed.store(false, std::memory_order_relaxed);
            break;
        case KeyAction::SmileyParticles:
            run.particle_look.store(ParticleLook::Smiley, std::memory_order_relaxed);
            break;
        case KeyAction::LavaParticles:
            run.particle_look.store(ParticleLook::Lava, std::memory_order_relaxed);
            break;
        case KeyAction::PointParticles:
            run.particle_look.store(ParticleLook::Point, std::memory_order_relaxed);
            break;
        case KeyAction::LogFluidStatistics:
            // The fluid scenes belong to the render thread: its next frame writes them.
            scene.keys().statistics_requested.store(true, std::memory_order_relaxed);
            break;
        case KeyAction::ToggleGpuInfo:
            toggle(run.show_gpu_info);
            break;
    }
    return KeyAnswer::Handled;
}

KeyAnswer onChar(int character) {
    return character == VK_ESCAPE ? KeyAnswer::StopRun : KeyAnswer::Swallowed;
}

}  // namespace plashwerk
