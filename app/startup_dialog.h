#pragma once
// The startup dialog as a window of its own, and the About box: the main thread's loop
// while the dialog is open, the runs it starts, and the boxes shown over it.

#include "settings/startup_options.h"

namespace plashwerk {

/// Opens the startup dialog and runs the main thread's loop until "Quit", the close box,
/// Escape, a stop signal or the quit message: the dialog keeps drawing while its start
/// buttons' runs go on in their own windows. Any run is stopped before it returns. False,
/// at once, when no dialog window can be opened (no display).
bool runStartupDialog(StartupOptions& options, int physx_gpu_count);

/// The About box, modally, in a window of its own: over the startup dialog or over a
/// run's main window. The main thread's messages keep being handled meanwhile.
void showAboutDialog();

/// Makes the main window's "About ..." show the About box in runs without the dialog.
void installAboutHook();

}  // namespace plashwerk
