#pragma once
// Drawing the dialogs with Dear ImGui: the startup dialog from its control model, the
// particle-count dialog inside it, the About box and a message box. These functions only
// draw what the models hold and turn clicks, selections and typing into the models'
// commands; the window, the loop and the runs are the caller's. They draw into the current
// ImGui frame, so tests can draw them without a display.
//
// Contents:
//   layout of the startup dialog (at 100 %)
//   StartupDialogUi: what the drawing keeps between frames
//   drawStartupDialog, drawAboutDialog, drawMessageBox

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/startup_dialog_model.h"
#include "results/score_site.h"

namespace plashwerk {

/// The startup dialog's client size at 100 %: it fits a 1024 x 768 desktop with room for
/// the window frame.
inline constexpr int kStartupDialogWidth = 720;
inline constexpr int kStartupDialogHeight = 590;

/// The column of push buttons on the right, at 100 %: the four start buttons one below the
/// other, then "Quit" and "About..." side by side, then the particle-count button.
inline constexpr float kButtonColumnLeft = 400.0f;
inline constexpr float kButtonColumnWidth = 310.0f;
inline constexpr float kButtonColumnTop = 84.0f;
inline constexpr float kStartButtonHeight = 44.0f;
inline constexpr float kButtonRowPitch = 50.0f;  ///< start button height and the gap below
inline constexpr float kSmallButtonHeight = 28.0f;

/// The centre of a push button in window pixels at 100 %, for the ids of the button
/// column; false for other ids.
bool buttonCentre(int control_id, float& x, float& y);

/// What the drawing keeps from one frame to the next.
struct StartupDialogUi {
    float scale = 1.0f;  ///< the display's content scale the fonts were made for
    /// A modal window is over the dialog: it draws, but takes no input.
    bool blocked = false;
    /// +1 / -1: move the keyboard focus to the next / previous control this frame.
    int tab_request = 0;

    // The particle-count dialog while it is open.
    std::optional<ParticleCountDialogModel> particle_count;
    char particle_text[32] = {};

    // Internal: the focusable controls of the last frame in drawing order, and the summary
    // text as the read-only box shows it.
    std::vector<unsigned> focus_order;
    std::string summary_shown;
};

/// Draws the startup dialog over the whole ImGui display and answers what was asked of it
/// this frame: a command's action, the close of Escape, or Enter's default button. The
/// particle-count dialog opens and closes inside it.
DialogAction drawStartupDialog(StartupDialogModel& model, StartupOptions& options,
                               StartupDialogUi& ui);

/// The About box's client size at 100 %.
inline constexpr int kAboutDialogWidth = 460;
inline constexpr int kAboutDialogHeight = 330;

/// Texts of the About box.
inline constexpr const char* kAboutTagline =
    "Particle fluids on your GPU: a benchmark and a stress test in one.";
inline constexpr const char* kAboutAuthor = "Written by the Plashwerk team";
inline constexpr const char* kAboutWebSiteLabel = "Web site:";  ///< followed by the home page

/// Draws the About box over the whole ImGui display; false once "OK" or Escape closed it.
/// Its links open their pages on `site`.
bool drawAboutDialog(float scale, const ScoreSite& site);

/// Draws a message box's text and its "OK" over the whole ImGui display; false once "OK",
/// Enter or Escape closed it.
bool drawMessageBox(const char* text, float scale);

// Pieces every dialog draws alike.
/// Begins an ImGui window that fills the display, without title bar or frame.
void beginDialogWindow(const char* name);
/// A hyperlink static at the cursor: green text, underlined with a hand cursor under the
/// mouse. True when it was clicked (or pressed with Space) this frame.
bool dialogLinkText(const char* text);
/// Escape went down this frame.
bool dialogEscapePressed();

}  // namespace plashwerk
