#pragma once
// The whole life of the process on the main thread: start-up, the run, shut-down.
//
// One Application object owns what the shell keeps for the life of the process, built in
// this order and torn down in reverse: what start-up learned (AppState), the settings, the
// run state, the counters, the run result, the scene, and the main window with its window
// system and the startup dialog's hooks.

#include "app/main_window.h"
#include "run/demo_scene.h"
#include "run/run_state.h"
#include "settings/startup_options.h"

namespace plashwerk {

/// Exit statuses of the program.
enum ExitStatus : int {
    kExitOk = 0,               ///< version shown, run finished or stopped, user quit
    kExitStartupFailed = 1,    ///< a start-up step failed with its error box
    kExitOutputLost = 1,       ///< what the run prints (results, version) or the results
                               ///< document asked for could not be written
    kExitNoDisplay = 2,        ///< the startup dialog was asked for but no display exists
    kExitStabilityFailed = 3,  ///< /nogui stability test with a length: its verdict is FAIL
};

class Application {
  public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    /// Runs start-up, the dialog or the direct run, and shut-down. command_line is
    /// everything after the program name as one text. Returns the process exit status.
    int run(const char* command_line);

    StartupOptions& settings() { return m_settings; }
    MainWindow& mainWindow() { return m_main_window; }

  private:
    bool showStartupDialog(int& status);
    void applyCommandLinePresets();
    void shutDown(bool engine_started);
    int statusAfterOutput(int status) const;

    AppState m_state;
    StartupOptions m_settings;
    RunState m_run_state;
    FpsSpsCounters m_counters;
    RunResult m_run_result;
    DemoScene m_scene;
    MainWindow m_main_window;
};

/// The folder of the running program file, with a trailing '/', cut to fit the buffer.
void findApplicationDirectory(char* out, int out_size);

}  // namespace plashwerk
