#pragma once
// The results dialog without a window: the lines of a finished benchmark and the score
// submission controls, each keyed by its control id, and what "Submit" and the links do.
// The ImGui layer draws these controls and forwards clicks and typed text here; tests drive
// the same model without a display.
//
// Contents:
//   - control ids and the control record
//   - ResultsDialogInputs: what the dialog is handed when it opens
//   - ResultsCommand: what a click asks of the window layer
//   - ResultsDialogModel: initialise, setText, click

#include <functional>
#include <string>
#include <vector>

#include "results/score_site.h"
#include "results/score_submission.h"
#include "run/counters.h"
#include "run/run_state.h"
#include "settings/startup_options.h"

namespace plashwerk {

/// Control ids of the results dialog.
enum ResultsDialogControl : int {
    // The submission controls.
    kCtlSubmit = 1047,
    kCtlNickname = 1052,
    kCtlEmail = 1054,
    kCtlPassword = 1055,
    kCtlSiteLink = 1059,
    kCtlSubmitGroup = 1072,
    kCtlLoginGroup = 1096,
    kCtlCreateAccount = 1097,
    kCtlPasswordNote = 1098,
    kCtlOrLabel = 1099,
    kCtlOnlineScoresLink = 1101,
    kCtlCompareLink = 1103,
    // The result lines, in the dialog's order.
    kCtlBuildLine = 2001,
    kCtlSiteLabel = 2002,
    kCtlScoreLine = 2003,
    kCtlDetailLine = 2004,
    kCtlEmittersLine = 2005,
    kCtlThreadingLine = 2006,
    kCtlResolutionLine = 2007,
    kCtlMainRenderer = 2008,
    kCtlDrivers = 2009,
    kCtlCpu = 2010,
    kCtlCpuSpeed = 2011,
    kCtlSystemMemory = 2012,
    kCtlOs = 2013,
    kCtlClocksLine = 2014,
    kCtlPhysxVersion = 2015,
    kCtlMultiGpus = 2016,
};

/// The short name of our score site, on its group boxes and link.
inline constexpr const char* kScoreSiteName = "Plashwerk Scores";

enum class ResultsControlKind { Text, GroupBox, Edit, PasswordEdit, PushButton, Hyperlink };

struct ResultsControl {
    int id = 0;
    ResultsControlKind kind = ResultsControlKind::Text;
    std::string label;  ///< the label beside a field or edit; empty for none
    std::string text;   ///< the line, the edit's contents or the button's caption
    bool enabled = true;
    bool greyed = false;         ///< drawn in the disabled colour, but not disabled
    std::size_t max_length = 0;  ///< edits: characters kept
};

/// What the dialog is handed when it opens.
struct ResultsDialogInputs {
    ResultsInputs lines;    ///< what the result lines are made from, besides the result
    RunResult result;       ///< the finished benchmark
    int physx_version = 0;  ///< of the physics SDK
    int gpu_count = 0;      ///< detected GPUs
    ScoreSubmissionInputs
        submission;  ///< the record's sources; result, nickname, e-mail are set here
    ScoreSite site;  ///< where submissions and links go
};

enum class ResultsAction {
    None,
    OpenUrl,    ///< open `text` in the web browser
    ShowError,  ///< show `text` in an error box; the dialog stays as it is
};

struct ResultsCommand {
    ResultsAction action = ResultsAction::None;
    std::string text;

    bool operator==(const ResultsCommand&) const = default;
};

/// Sends a submission: the entry id, or -1 on failure. The program's is submitScoreFromInputs
/// to the dialog's site; tests hand in their own.
using ScoreSubmitter = std::function<int(const ScoreSite&, const ScoreSubmissionInputs&)>;

inline constexpr const char* kSubmissionFailedText = "Score submission failed. Sorry...";

class ResultsDialogModel {
  public:
    /// Without a submitter the real client is used.
    explicit ResultsDialogModel(ScoreSubmitter submitter = {});

    /// Fills every line (also storing the clocks shown into the result's maxima, as the
    /// result lines do) and the submission controls; the e-mail box gets
    /// submit_score_user_email.
    void initialise(const ResultsDialogInputs& inputs, const StartupOptions& options);

    /// The control with this id; every id of the dialog exists.
    const ResultsControl& control(int id) const;
    const std::vector<ResultsControl>& controls() const { return m_controls; }
    std::string title() const { return m_title; }
    /// The result after initialise (with the clock maxima the dialog showed).
    const RunResult& result() const { return m_inputs.submission.result; }

    /// Typed text in an edit, cut to its length; ignored for other controls and unknown ids.
    void setText(int id, std::string text);

    /// A click on Submit or a link. Submit stores a non-empty e-mail into
    /// submit_score_user_email, sends the record, and answers the entry page to open (and
    /// disables itself) or the failure text. Clicks on disabled controls, on "Create an
    /// account" and on unknown ids do nothing.
    ResultsCommand click(int id, StartupOptions& options);

    /// The entry id of the successful submission, -1 before one.
    int submittedId() const { return m_submitted_id; }

    // Submit in three steps, for a window that keeps drawing while the record travels:
    // click(kCtlSubmit) is the three in a row.
    /// Stores a non-empty e-mail into submit_score_user_email and answers the record to send.
    ScoreSubmissionInputs prepareSubmission(StartupOptions& options) const;
    /// Sends a prepared record with the submitter: the entry id or -1. Reads nothing the
    /// dialog changes, so it may run on another thread while the dialog draws.
    int sendSubmission(const ScoreSubmissionInputs& in) const;
    /// What the reply asks for: the entry page (Submit disabled) or the failure text.
    ResultsCommand submissionDone(int id);
    const ScoreSite& site() const { return m_inputs.site; }

  private:
    ResultsControl* find(int id);
    ResultsControl& at(int id);
    void add(int id, ResultsControlKind kind, std::string label, std::string text);

    ScoreSubmitter m_submitter;
    ResultsDialogInputs m_inputs;
    std::vector<ResultsControl> m_controls;
    std::string m_title;
    int m_submitted_id = -1;
};

}  // namespace plashwerk
