#pragma once
// The main window of a run and the display mode it needs: created when a run starts (from
// the startup dialog or directly without it), closed when the run ends.
//
// Contents:
//   createMainWindowAndStartRun, closeMainWindow, stopRun, restoreDesktopDisplayMode
//   the main window procedure (MainWindowProcedure)
//   runWithoutDialog: a start without the dialog (presets, the run) and its message loop
//   hooks of the startup dialog
//   checks shared with tests: the desktop-size check and the size clamps

#include <functional>
#include <memory>

#include "platform/window/window.h"

namespace plashwerk {

class DemoScene;
struct FpsSpsCounters;
struct RunResult;
struct RunState;

/// The run of the process: its state, counters, outcome and scene, one instance each, handed
/// to the render thread of every run the main window starts.
extern RunState g_run_state;
extern FpsSpsCounters g_counters;
extern RunResult g_run_result;
extern DemoScene g_demo_scene;

/// The window system of the process: opened on first use on the main thread, GLFW with a
/// display, the offscreen desktop without one. Null only when neither can be had.
window::WindowSystem* windowSystem();
/// Replaces the window system (tests use the offscreen one with a desktop of their size).
/// Closes any main window first. Main thread.
void setWindowSystem(std::unique_ptr<window::WindowSystem> system);
/// Closes the main window and the window system. Main thread.
void shutdownWindowSystem();

/// Creates the main window for the run state's requested size and mode, switching the
/// display for full screen, takes the key toggles from the settings, and starts the render
/// thread. False after the error box (or silently when a windowed window cannot be made).
bool createMainWindowAndStartRun();

/// Sets the stop request, waits for the render thread, keeps the run's key toggles in the
/// settings, destroys the window and restores the display mode. Safe without a window.
void closeMainWindow();

/// Ends the run from the window side: closes the main window, shows the results of a
/// finished benchmark, then re-enables the startup dialog's start button or, without a
/// dialog, posts the quit message.
void stopRun();

/// Writes the scores row and the results document the settings ask for, once per finished
/// benchmark: from stopRun, or at shut-down for a run whose window closed without it. Main
/// thread, after the render thread has ended.
void keepFinishedRunResults();

/// Gives the desktop its own display mode back and clears the run's full-screen flag.
bool restoreDesktopDisplayMode();

/// The window of the current run; null between runs.
window::Window* mainWindow();

/// Gets and dispatches the main thread's messages until the quit message.
void pumpMessagesUntilQuit();

/// Dispatches the messages already queued, without waiting (loops that draw windows of
/// their own between messages). False once the quit message came; it is taken off.
bool dispatchQueuedMessages();

/// Start without dialog: the main window, the run, and the message loop until the quit
/// message. SIGINT, SIGTERM and SIGHUP count as closing the window meanwhile. Returns false
/// when the window or the run's scene could not be made (each shows its error box).
bool runWithoutDialog();

/// What the main window asks of the startup dialog, when one is open.
struct StartupDialogHooks {
    std::function<bool()> exists;                   ///< the dialog is open
    std::function<void(bool)> enable_start_button;  ///< its "Start PhysX test" button
    std::function<void()> show_about;               ///< the About box over the window
};
void setStartupDialogHooks(StartupDialogHooks hooks);

/// The desktop-size check: true when a window of the requested size fits; otherwise shows
/// the error box and returns false.
bool checkDesktopSize(const window::DisplayMode& desktop, int width, int height);

/// The size clamps: below 1 becomes 640 x 480, then neither side may exceed max_dimension
/// (when that is above 0).
void clampRequestedSize(int& width, int& height, int max_dimension);

/// The largest render dimension: the GPU library's, or the OpenGL maximum viewport of this
/// machine until it reports one. 0 when unknown.
int largestRenderDimension();

}  // namespace plashwerk
