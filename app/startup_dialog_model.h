#pragma once
// The startup dialog without a window: every control's state keyed by its control id, and
// what the dialog does on opening, on each command and when it reads itself back into the
// settings. The ImGui layer draws these controls and forwards clicks, selections and typed
// text here; tests drive the same model without a display.
//
// Contents:
//   - control ids and the control record
//   - StartupDialogHardware: what the dialog is handed besides the settings
//   - DialogAction: what a command asks of the window layer
//   - StartupDialogModel: initialise, click/select/setText, readDialogSettings
//   - ParticleCountDialogModel: the small dialog behind "Change particle count"
//   - parseDialogNumber: how a number edit's text becomes a number

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/startup_options.h"

namespace plashwerk {

/// Control ids of the startup dialog.
enum StartupDialogControl : int {
    kCtlStartTest = 1,
    kCtlQuit = 2,
    kCtlCustomWidth = 1004,
    kCtlCustomHeight = 1005,
    kCtlFullscreen = 1006,
    kCtlLogTemperature = 1025,
    kCtlMoreGraphicsLoad = 1026,
    kCtlMsaaList = 1039,
    kCtlResolutionList = 1042,
    kCtlAbout = 1049,
    kCtlPostFx = 1055,
    kCtlOptionsGroup = 1056,
    kCtlMultithreadPhysx = 1057,
    kCtlAsyncMode = 1058,
    kCtlUnlock = 1059,
    kCtlMulticoreCpuPhysx = 1060,
    kCtlEmitterList = 1064,
    kCtlPhysxGpu = 1065,
    kCtlEmittersLabel = 1066,
    kCtlParticleCount = 1083,
    kCtlPreset1080 = 1086,
    kCtlSizeSeparator = 1087,
    kCtlPreset720 = 1088,
    kCtlStartUserSettings = 1089,
    kCtlLatestLink = 1090,
    kCtlScoresLink = 1093,
    kCtlZ2o = 1094,
    kCtlHardwareSummary = 1104,
};

/// The number edit of the particle-count dialog.
inline constexpr int kCtlParticleCountEdit = 1082;

enum class ControlKind {
    PushButton,
    CheckBox,
    DropDownList,
    NumberEdit,
    ReadOnlyText,
    Static,
    GroupBox,
    Hyperlink,
};

/// One control as the window layer draws it.
struct DialogControl {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    bool checked = false;
    bool enabled = true;
    std::string text;                  ///< label, edit contents or summary text
    std::vector<std::string> entries;  ///< drop-down lists only
    int selection = -1;                ///< index into entries, -1 = none
};

/// What the dialog is handed besides the settings record.
struct StartupDialogHardware {
    int physx_gpu_count = 0;  ///< physics processors found at start-up
    /// Sample counts of the multisample modes the GPU library reports, in its order.
    std::vector<int> msaa_modes;
    std::string hardware_summary;  ///< text of the read-only summary box
};

/// What a command asks of the window layer once the model and the settings are updated.
enum class DialogAction {
    None,
    /// The settings hold the run to start (stability test, user's settings or a preset):
    /// hand their display and run-length fields to the run state, clear its stop request
    /// and create the main window.
    StartRun,
    Quit,               ///< stop any run, then end the dialog (the settings are read)
    ShowAbout,          ///< the About dialog, modally
    ShowParticleCount,  ///< the particle-count dialog, modally; then particleCountClosed
    OpenLatestPage,     ///< the latest-version page
    OpenScoresPage,     ///< the online scores page
    OpenNewsPage,       ///< the news page, once when the dialog opens
};

class StartupDialogModel {
  public:
    StartupDialogModel();

    /// Fills every control from the settings and the hardware. Repairs a width or height
    /// below 1 (to 1024 x 768), applies the single-processor and threading rules, sets
    /// use_particle_count and clears display_latest_news. Returns OpenNewsPage when that
    /// flag was set, else None.
    DialogAction initialise(StartupOptions& options, const StartupDialogHardware& hardware);

    /// The control with this id; every id of the dialog exists.
    const DialogControl& control(int id) const;
    const std::vector<DialogControl>& controls() const { return m_controls; }
    std::string title() const;

    /// A click on a button, check box or link. A check box toggles first. Clicks on a
    /// disabled control do nothing.
    DialogAction click(int id, StartupOptions& options);
    /// A new selection in a drop-down list (ignored when out of range or disabled).
    void select(int id, int index);
    /// Enables or disables a control from outside the dialog (the main window disables
    /// "Start PhysX test" while a run's window is open).
    void setEnabled(int id, bool enabled) { at(id).enabled = enabled; }
    /// Replaces the text of the read-only hardware summary.
    void setHardwareSummary(std::string text) { at(kCtlHardwareSummary).text = std::move(text); }
    /// Typed text in a number edit.
    void setText(int id, std::string text);
    /// The close box: the same as "Quit".
    DialogAction close(StartupOptions& options) { return click(kCtlQuit, options); }

    /// Copies every control into the settings, with the repairs of an unreadable or
    /// non-positive width or height (1024 x 768), and marks the run time-based, 60 s,
    /// user-chosen (not a preset).
    void readDialogSettings(StartupOptions& options) const;

    /// After the particle-count dialog: with result 1 shows the new count on its button.
    void particleCountClosed(int result, const StartupOptions& options);

    /// Sample count of the MSAA entry at this index: 0 for "NONE" or no entry.
    int msaaSamplesAt(int index) const;

  private:
    DialogControl& at(int id);
    void setChecked(int id, bool checked) { at(id).checked = checked; }
    void enableCustomSize(bool enabled);
    void fillEmitterList(int count, int num_cpu_cores);
    void showParticleCount(int count);

    DialogAction startTest(StartupOptions& options);
    DialogAction startUserSettings(StartupOptions& options);
    DialogAction startPreset1080(StartupOptions& options);
    DialogAction startPreset720(StartupOptions& options);
    DialogAction quit(StartupOptions& options);
    DialogAction unlockClicked(StartupOptions& options);
    DialogAction multithreadClicked(StartupOptions& options);
    DialogAction applyPresetFromDialog(StartupOptions& options, Preset preset);

    struct Command {
        int id;
        DialogAction (StartupDialogModel::*handler)(StartupOptions&);
        DialogAction action;  ///< answered as it stands when there is no handler
    };
    static const Command kCommands[];

    std::vector<DialogControl> m_controls;
    std::vector<int> m_msaa_listed;  ///< sample count of each MSAA entry after "NONE"
};

/// The particle-count dialog: one number edit and OK.
struct ParticleCountDialogModel {
    std::string text;  ///< the number edit's contents

    explicit ParticleCountDialogModel(const StartupOptions& options);
    /// OK: a number of at least 1 becomes num_total_particles, anything else keeps the old
    /// count. Returns the dialog result 1.
    int ok(StartupOptions& options) const;
    /// Cancel: changes nothing. Returns the dialog result 2.
    static int cancel() { return 2; }
};

/// A number edit's text as a whole number: optional blanks, an optional sign and digits,
/// nothing else, within the int range. Anything else (empty, letters, overflow) is no
/// number.
std::optional<int> parseDialogNumber(std::string_view text);

}  // namespace plashwerk
