#pragma once
// The main window of a run and the display mode it needs: created when a run starts (from
// the startup dialog or directly without it), closed when the run ends.
//
// Contents:
//   AppState: what the shell learned at start-up, and the first lost write to stdout
//   StartupDialogHooks: what the main window asks of the startup dialog
//   MainWindow
//     the window system: windowSystem, setWindowSystem, shutdownWindowSystem
//     a run: createMainWindowAndStartRun, closeMainWindow, stopRun, keepFinishedRunResults
//     the main thread's loops: pumpMessagesUntilQuit, dispatchQueuedMessages,
//       betweenModalFrames, runWithoutDialog
//   checks shared with tests: the desktop-size check and the size clamps
//
// Everything here runs on the main thread; the run itself goes on on its render thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/paths/file_places.h"
#include "platform/thread/thread_util.h"
#include "platform/window/window.h"
#include "run/run_settings.h"
#include "run/second_samples.h"
#include "run/stability_judge.h"

namespace plashwerk {

class DemoScene;
struct FpsSpsCounters;
struct RunResult;
struct RunState;
struct StartupOptions;

/// What the shell learned at start-up and carries to the end of the process.
struct AppState {
    char application_directory[260] = {};  ///< the program's folder, ending with '/'
    FilePlaces places;                     ///< where each file is read and written
    int physx_gpu_count = 0;               ///< physics processors found at start-up
    uint32_t physx_system_version = 0;     ///< installed physics system software, 0 = none
    bool startup_dialog_shown = false;     ///< shut-down saves the options file
    /// errno of the first failed write to standard output (already reported), 0 = none.
    int standard_output_error = 0;

    /// Keeps the first failed write to standard output for the exit status.
    void noteStandardOutputError(int error) {
        if (standard_output_error == 0) standard_output_error = error;
    }
};

/// What the main window asks of the startup dialog, when one is open.
struct StartupDialogHooks {
    std::function<bool()> exists;                   ///< the dialog is open
    std::function<void(bool)> enable_start_button;  ///< its "Start PhysX test" button
    std::function<void()> show_about;               ///< the About box over the window
};

class MainWindow {
  public:
    /// The window of the runs on `run`, counted in `counters`, ending in `result`, drawn by
    /// `scene`, as `settings` say. Every part must outlive this object.
    MainWindow(StartupOptions& settings, AppState& app, RunState& run, FpsSpsCounters& counters,
               RunResult& result, DemoScene& scene);
    /// Stops any run and closes the window system.
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // --- The window system ---------------------------------------------------------------
    /// Opened on first use: GLFW with a display, the offscreen desktop without one. Null
    /// only when neither can be had.
    window::WindowSystem* windowSystem();
    /// Replaces the window system (tests use the offscreen one with a desktop of their
    /// size). Closes any main window first.
    void setWindowSystem(std::unique_ptr<window::WindowSystem> system);
    /// Closes the main window and the window system.
    void shutdownWindowSystem();

    // --- A run ---------------------------------------------------------------------------
    /// Hands the settings' run request to the run state: the next run's size, mode and
    /// length.
    void handSettingsToRun();
    /// Creates the main window for the run state's requested size and mode, switching the
    /// display for full screen, takes the key toggles from the settings, and starts the
    /// render thread. False after the error box (or silently when a windowed window cannot
    /// be made).
    bool createMainWindowAndStartRun();
    /// Sets the stop request, waits for the render thread, keeps the run's key toggles in
    /// the settings, destroys the window and restores the display mode. Safe without a
    /// window.
    void closeMainWindow();
    /// Ends the run from the window side: closes the main window, shows the results of a
    /// finished benchmark, then re-enables the startup dialog's start button or, without a
    /// dialog, posts the quit message.
    void stopRun();
    /// Once per run, after its render thread has ended (from stopRun, or at shut-down for a
    /// run whose window closed without it): a stability test's judge, with its summary and
    /// verdict on standard output and in the trace log; then what the settings ask to keep
    /// of a finished benchmark or of a stability test (scores row, results document,
    /// report).
    void keepFinishedRunResults();
    /// The verdict of the last stability test; Verdict::None after a benchmark or before
    /// any run.
    Verdict lastVerdict() const { return m_verdict; }
    /// Gives the desktop its own display mode back and clears the run's full-screen flag.
    bool restoreDesktopDisplayMode();
    /// The window of the current run; null between runs.
    window::Window* window() const { return m_window; }

    // --- The main thread's loops -----------------------------------------------------------
    /// Gets and dispatches the main thread's messages until the quit message.
    void pumpMessagesUntilQuit();
    /// Dispatches the messages already queued, without waiting (loops that draw windows of
    /// their own between messages). False once the quit message came; it is taken off.
    bool dispatchQueuedMessages();
    /// One turn of a modal window's loop, before its frame: the queued messages, then the
    /// window behind it (setRedrawBehind), inert. False once a quit message came (it is
    /// put back for the loop that owns it).
    bool betweenModalFrames();
    /// What redraws the startup dialog, inert, while a modal window is over it; empty
    /// without a dialog.
    void setRedrawBehind(std::function<void()> redraw) { m_redraw_behind = std::move(redraw); }
    /// Start without dialog: the main window, the run, and the message loop until the quit
    /// message. SIGINT, SIGTERM and SIGHUP count as closing the window meanwhile. False when
    /// the window or the run's scene could not be made (each shows its error box).
    bool runWithoutDialog();
    void setStartupDialogHooks(StartupDialogHooks hooks);

    /// The largest render dimension: the GPU library's, or the OpenGL maximum viewport of
    /// this machine until it reports one. 0 when unknown.
    int largestRenderDimension();

    // --- The parts it works on -------------------------------------------------------------
    StartupOptions& settings() { return m_settings; }
    RunState& runState() { return m_run; }
    const RunResult& runResult() const { return m_result; }
    DemoScene& scene() { return m_scene; }

  private:
    class Procedure;
    long onMessage(const window::Message& m);
    long answerKey(int answer);
    void handleApplicationMessage(const window::Message& m);
    StartupDialogHooks dialogHooks();
    bool dialogExists();

    StartupOptions& m_settings;
    AppState& m_app;
    RunState& m_run;
    FpsSpsCounters& m_counters;
    RunResult& m_result;
    DemoScene& m_scene;
    /// The settings of the current run, taken when it starts; its render thread reads them.
    RunSettings m_run_settings;

    std::unique_ptr<window::WindowSystem> m_system;
    bool m_system_opened = false;
    int m_largest_dimension = -1;  ///< the probe's answer; -1 until asked

    std::unique_ptr<Procedure> m_procedure;
    window::Window* m_window = nullptr;
    std::thread m_render_thread;
    AutoResetEvent m_render_thread_ended;
    bool m_display_mode_changed = false;
    /// The finished benchmark's scores row and results document have been written; cleared
    /// when the next run starts, so each run is kept exactly once.
    bool m_run_kept = false;
    bool m_run_started = false;  ///< a render thread ran since the window system opened
    /// The readings of the current or last run, once a second, and its verdict.
    SecondSamples m_samples;
    Verdict m_verdict = Verdict::None;

    std::mutex m_hooks_mutex;  ///< the About hook is read from the window procedure
    StartupDialogHooks m_dialog_hooks;
    std::function<void()> m_redraw_behind;
};

/// The desktop-size check: true when a window of the requested size fits; otherwise shows
/// the error box and returns false.
bool checkDesktopSize(const window::DisplayMode& desktop, int width, int height);

/// The size clamps: below 1 becomes 640 x 480, then neither side may exceed max_dimension
/// (when that is above 0).
void clampRequestedSize(int& width, int& height, int max_dimension);

}  // namespace plashwerk
