#pragma once
// The startup dialog as a window of its own, and the About box: the main thread's loop
// while the dialog is open, the runs it starts, and the boxes shown over it.

#include <functional>

#include "results/score_site.h"

namespace plashwerk {

class MainWindow;

/// Opens the startup dialog on the main window's settings and runs the main thread's loop
/// until "Quit", the close box, Escape, a stop signal or the quit message: the dialog keeps
/// drawing while its start buttons' runs go on in their own windows. Any run is stopped
/// before it returns. False, at once, when no dialog window can be opened (no display).
bool runStartupDialog(MainWindow& main_window, int physx_gpu_count);

/// What a modal window runs before each of its frames (MainWindow::betweenModalFrames):
/// false ends the window.
using BetweenFrames = std::function<bool()>;

/// The About box, modally, in a window of its own: over the startup dialog or over a
/// run's main window. The main thread's messages keep being handled meanwhile. Its links
/// go to `site`.
void showAboutDialog(const BetweenFrames& between, const ScoreSite& site);

/// Makes the main window's "About ..." show the About box in runs without the dialog.
void installAboutHook(MainWindow& main_window, const ScoreSite& site);

/// A message box in a window of its own, modally as above; on standard error when no
/// window can be opened.
void showModalMessage(const BetweenFrames& between, const char* caption, const char* text);

}  // namespace plashwerk
