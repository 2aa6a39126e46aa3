#pragma once
// The render thread: builds the scene, runs the frame loop until the run is stopped or the
// benchmark's measured time is up, then releases the scene.

#include <cstdint>

namespace plashwerk::window {
class Window;
}

namespace plashwerk {

struct RunContext;

/// wparam of the user message the render thread posts to the main window when a
/// full-screen run's scene could not be built: give the desktop its display mode back.
inline constexpr int kUserRestoreDisplayMode = 1;

/// Thread entry. Runs context.scene on context.run: renders into main_window's client area
/// (the run state's width and height; offscreen without a window); posts a close message to
/// it when the benchmark has finished or the scene could not be built. Returns when the run
/// ends.
void renderThreadMain(window::Window* main_window, const RunContext& context);

/// Kernel id of the render thread of the current run; 0 before the first run.
uint32_t renderThreadId();

}  // namespace plashwerk
