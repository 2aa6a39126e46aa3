#pragma once
// The run's keyboard commands: one table of the keys a run answers to, by Windows
// virtual-key code, with the run mode each acts in and what it does. In a benchmark only
// Escape and I act; the stability test takes the rest. Every other key is swallowed.

#include <span>

#include "settings/run_kinds.h"

namespace plashwerk {

class DemoScene;
struct RunState;

/// What a key does.
enum class KeyAction {
    StopRun,                 ///< Escape: the window ends the run
    ToggleInformation,       ///< I: display_information
    RequestScreenshot,       ///< F9: screenshot_requested
    ToggleHelp,              ///< F1: show_help
    ToggleParticles,         ///< SPACE: particle drawing and copying (particles_update)
    TogglePause,             ///< P: simulation_paused
    ToggleTemperatureGraph,  ///< T: show_temperature_graph
    ToggleRenderScene,       ///< C: render_scene
    ResetCounters,           ///< R: counters_primed = 0
    SmileyParticles,         ///< F2: smiley look
    LavaParticles,           ///< F3: lava look
    PointParticles,          ///< F4: point look
    LogFluidStatistics,      ///< K: every fluid scene's statistics to the log
    ToggleGpuInfo,           ///< G: show_gpu_info
};

struct KeyCommand {
    int virtual_key;
    bool every_mode;  ///< false: stability test only
    KeyAction action;
};

/// The whole table, in the order the help text lists the keys.
std::span<const KeyCommand> keyCommands();

/// The command of a key in a run mode (RunMode::Benchmark, RunMode::StabilityTest); null when the
/// key is swallowed there.
const KeyCommand* findKeyCommand(int virtual_key, RunMode run_mode);

/// What the window does after a key or character message.
enum class KeyAnswer {
    Handled,    ///< the run's flags changed; default processing follows
    StopRun,    ///< the window ends the run (stopRun)
    Swallowed,  ///< not a command in this mode
};

/// Key-down of a virtual-key code: changes the flags of the run and its scene as the table
/// says for the run state's mode. Escape is answered StopRun for the window to act on.
/// Main thread; the render thread picks the flags up at its next frame.
KeyAnswer onKeyDown(int virtual_key, RunState& run, DemoScene& scene);

/// A character message: Escape stops the run, every other character is swallowed.
KeyAnswer onChar(int character);

}  // namespace plashwerk
