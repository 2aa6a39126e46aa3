#pragma once
// The whole life of the process on the main thread: start-up, the run, shut-down.

#include <cstdint>

#include "platform/program/program_info.h"
#include "settings/startup_options.h"

namespace plashwerk {

/// Exit statuses of the program.
enum ExitStatus : int {
    kExitOk = 0,             ///< version shown, run finished or stopped, user quit
    kExitStartupFailed = 1,  ///< a start-up step failed with its error box
    kExitOutputLost = 1,     ///< what the run prints (results, version) or the results
                             ///< document asked for could not be written
    kExitNoDisplay = 2,      ///< the startup dialog was asked for but no display exists
};

/// Process-wide state of the application shell.
struct AppState {
    char application_directory[260];  ///< the program's folder, ending with '/'
    uint32_t main_thread_id;
    int physx_gpu_count;            ///< physics processors found at start-up
    uint32_t physx_system_version;  ///< installed physics system software, 0 = none
    bool startup_dialog_shown;
    float score_max_core_clock;    ///< first GPU's run maxima read at shut-down for the
    float score_max_memory_clock;  ///< scores row (MHz); 0 without log_score
    /// errno of the first failed write to standard output (already reported), 0 = none.
    int standard_output_error;
};

extern AppState g_app;

/// Keeps the first failed write to standard output for the exit status.
void noteStandardOutputError(int error);

/// The settings of the process, filled at start-up and by the startup dialog. Only the
/// shell reads it; the subsystems below are handed what they need.
extern StartupOptions g_startup_options;

/// Runs start-up, the dialog or the direct run, and shut-down. command_line is everything
/// after the program name as one text. Returns the process exit status.
int applicationEntry(const char* command_line);

/// The folder of the running program file, with a trailing '/', cut to fit the buffer.
void findApplicationDirectory(char* out, int out_size);

}  // namespace plashwerk
