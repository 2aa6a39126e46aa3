#pragma once
// The startup dialog as a window of its own, and the About box: the main thread's loop
// while the dialog is open, the runs it starts, and the boxes shown over it.

#include <functional>

#include "results/score_site.h"
#include "settings/startup_options.h"

namespace plashwerk {

/// Opens the startup dialog and runs the main thread's loop until "Quit", the close box,
/// Escape, a stop signal or the quit message: the dialog keeps drawing while its start
/// buttons' runs go on in their own windows. Any run is stopped before it returns. False,
/// at once, when no dialog window can be opened (no display).
bool runStartupDialog(StartupOptions& options, int physx_gpu_count);

/// The About box, modally, in a window of its own: over the startup dialog or over a
/// run's main window. The main thread's messages keep being handled meanwhile. Its links
/// go to `site`.
void showAboutDialog(const ScoreSite& site);

/// Makes the main window's "About ..." show the About box in runs without the dialog.
void installAboutHook(const ScoreSite& site);

class ImGuiHostWindow;

/// Draws `window` modally until `draw` returns false: the main thread's queued messages
/// are handled and the startup dialog, when there is one, is redrawn inert between frames.
/// A quit message ends it early and is put back for the loop that owns it. Main thread.
void runModalOverDialog(ImGuiHostWindow& window, const std::function<bool()>& draw);

/// One turn of a modal window's loop, before its frame: the main thread's queued messages,
/// then the startup dialog behind, inert. False once a quit message came (it is put back).
bool betweenModalFrames();

/// A message box in a window of its own, modally as above; on standard error when no
/// window can be opened.
void showModalMessage(const char* caption, const char* text);

}  // namespace plashwerk
