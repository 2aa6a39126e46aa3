#pragma once
// The results dialog as a window of its own, shown modally after a finished benchmark: over
// the startup dialog, or alone after a run without it when there is a display. Submit sends
// the score on a thread of its own, so the window keeps drawing while the server answers.

#include <cstdint>
#include <functional>

#include "app/results_dialog_model.h"

namespace plashwerk {

class GpuMonitor;

/// Everything the results dialog shows and sends about the run that just ended: the
/// result lines' inputs, the run's settings, the hardware report and the GPU monitor's
/// maxima. `site` is where submissions and links go.
ResultsDialogInputs collectResultsDialogInputs(const ResultsInputs& lines,
                                               const StartupOptions& settings, const RunState& run,
                                               const RunResult& result, const GpuMonitor& monitor,
                                               uint32_t physx_system_version,
                                               const ScoreSite& site);

/// Shows the dialog until "OK", Escape, its close box or the quit message; while a
/// submission is still on its way the window stays, drawn with "Sending...", until it ends.
/// A non-empty e-mail typed there is kept in `settings`. `between` runs before each frame
/// (the main thread's messages, the window behind); false from it ends the dialog. Without
/// a submitter the real client sends. False at once when no window can be opened (no
/// display). Main thread.
bool showResultsWindow(const ResultsDialogInputs& inputs, StartupOptions& settings,
                       const std::function<bool()>& between, ScoreSubmitter submitter = {});

}  // namespace plashwerk
