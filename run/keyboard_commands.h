#pragma once
// The run's keyboard commands: what a key does to the run once the main window procedure
// has let it through (in a benchmark only Escape, handled by the window, and I).

namespace plashwerk {

class DemoScene;
struct RunState;

/// Key-down of a Windows virtual-key code: changes the flags of the run and its scene.
/// Main thread.
void onKeyDown(int virtual_key, RunState& run, DemoScene& scene);

/// A character message; Escape is the window's, every other character is swallowed.
void onChar(int character);

}  // namespace plashwerk
