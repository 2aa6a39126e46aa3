#pragma once
// Drawing the results dialog with Dear ImGui from its control model: the lines of the
// finished benchmark, the submission controls and the links. Typing goes into the model;
// clicks come back to the caller, which owns the window, the submission and the browser.
// It draws into the current ImGui frame, so tests can draw it without a display.

#include "app/results_dialog_model.h"

namespace plashwerk {

/// The results dialog's client size at 100 %.
inline constexpr int kResultsDialogWidth = 560;
inline constexpr int kResultsDialogHeight = 690;

/// What the drawing keeps between frames.
struct ResultsDialogUi {
    float scale = 1.0f;       ///< the display's content scale the fonts were made for
    bool submitting = false;  ///< a submission is on its way: Submit waits for it
};

/// What a frame of the dialog asks for.
struct ResultsDialogFrame {
    bool open = true;  ///< false once "OK" or Escape closed it
    int clicked = 0;   ///< the control clicked this frame (Submit or a link), 0 for none
};

ResultsDialogFrame drawResultsDialog(ResultsDialogModel& model, ResultsDialogUi& ui);

}  // namespace plashwerk
