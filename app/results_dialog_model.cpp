#include "app/results_dialog_model.h"

#include <cstdio>
#include <stdexcept>

#include "platform/program/program_info.h"

namespace plashwerk {

namespace {

// Longest texts the edits keep: the nickname shown with the score, and the e-mail and
// password of the account form.
constexpr std::size_t kNicknameLength = 63;
constexpr std::size_t kAccountFieldLength = 30;

}  // namespace

ResultsDialogModel::ResultsDialogModel(ScoreSubmitter submitter)
    : m_submitter(std::move(submitter)) {
    if (!m_submitter) m_submitter = submitScoreFromInputs;
}

void ResultsDialogModel::add(int id, ResultsControlKind kind, std::string label, std::string text) {
    ResultsControl control;
    control.id = id;
    control.kind = kind;
    control.label = std::move(label);
    control.text = std::move(text);
    m_controls.push_back(std::move(control));
}

void ResultsDialogModel::initialise(const ResultsDialogInputs& inputs,
                                    const StartupOptions& options) {
    m_inputs = inputs;
    m_controls.clear();
    m_submitted_id = -1;

    RunResult& result = m_inputs.result;
    ResultsTexts lines{};
    formatResultsTexts(m_inputs.lines, result, lines);
    m_inputs.submission.result = result;
    m_title = lines.title;

    using K = ResultsControlKind;
    char build[128];
    std::snprintf(build, sizeof build, "Build: [%s @ %s]", kBuildDate, kBuildTime);
    add(kCtlBuildLine, K::Text, "", build);
    add(kCtlSiteLabel, K::Text, "", kScoreSiteName);
    add(kCtlScoreLine, K::Text, "", lines.score);
    add(kCtlDetailLine, K::Text, "", lines.detail);
    add(kCtlEmittersLine, K::Text, "", lines.emitters);
    add(kCtlThreadingLine, K::Text, "", lines.threading);
    add(kCtlResolutionLine, K::Text, "", lines.resolution);
    static const char* const kSystemLabels[6] = {"Main Renderer", "Drivers",       "CPU",
                                                 "CPU Speed",     "System Memory", "OS"};
    for (int i = 0; i < 6; ++i)
        add(kCtlMainRenderer + i, K::Text, kSystemLabels[i], lines.system[i]);
    add(kCtlClocksLine, K::Text, "", lines.clocks);
    add(kCtlPhysxVersion, K::Text, "PhysX version", std::to_string(m_inputs.physx_version));
    add(kCtlMultiGpus, K::Text, "Multi-GPUs", std::to_string(m_inputs.gpu_count) + " GPU(s)");

    add(kCtlSubmitGroup, K::GroupBox, "", std::string(kScoreSiteName) + " Submit Score");
    add(kCtlLoginGroup, K::GroupBox, "", std::string(kScoreSiteName) + " login (optional)");
    at(kCtlSubmitGroup).greyed = at(kCtlLoginGroup).greyed = true;
    add(kCtlEmail, K::Edit, "Email", "");
    at(kCtlEmail).max_length = kAccountFieldLength;
    setText(kCtlEmail, options.submit_score_user_email);
    add(kCtlPassword, K::PasswordEdit, "Password", "");
    at(kCtlPassword).max_length = kAccountFieldLength;
    add(kCtlPasswordNote, K::Text, "",
        "Not sent: our score server keeps no accounts, so \"NULL\" goes in its place.");
    add(kCtlCreateAccount, K::Hyperlink, "", "[ Create an account ]");
    add(kCtlOrLabel, K::Text, "", "OR");
    at(kCtlOrLabel).greyed = true;
    add(kCtlNickname, K::Edit, "Nickname (optional)", "");
    at(kCtlNickname).max_length = kNicknameLength;
    add(kCtlSubmit, K::PushButton, "", "Submit");
    add(kCtlOnlineScoresLink, K::Hyperlink, "", "[ Online scores ]");
    add(kCtlCompareLink, K::Hyperlink, "", "[ Compare your score ]");
    add(kCtlSiteLink, K::Hyperlink, "", kScoreSiteName);
}

ResultsControl* ResultsDialogModel::find(int id) {
    for (ResultsControl& control : m_controls)
        if (control.id == id) return &control;
    return nullptr;
}

ResultsControl& ResultsDialogModel::at(int id) {
    if (ResultsControl* control = find(id)) return *control;
    throw std::out_of_range("no results dialog control " + std::to_string(id));
}

const ResultsControl& ResultsDialogModel::control(int id) const {
    return const_cast<ResultsDialogModel*>(this)->at(id);
}

void ResultsDialogModel::setText(int id, std::string text) {
    ResultsControl* control = find(id);
    if (!control || (control->kind != ResultsControlKind::Edit &&
                     control->kind != ResultsControlKind::PasswordEdit))
        return;
    if (text.size() > control->max_length) text.resize(control->max_length);
    control->text = std::move(text);
}

ResultsCommand ResultsDialogModel::click(int id, StartupOptions& options) {
    const ResultsControl* clicked = find(id);
    if (!clicked || !clicked->enabled) return {};
    const ScoreSite& site = m_inputs.site;
    switch (id) {
        case kCtlSubmit:
            return submissionDone(sendSubmission(prepareSubmission(options)));
        case kCtlOnlineScoresLink:
            return {ResultsAction::OpenUrl, scoreRedirectUrl(site, kRedirectScores)};
        case kCtlCompareLink:
            return {ResultsAction::OpenUrl,
                    scoreRedirectUrl(site, kRedirectCompare, m_submitted_id)};
        case kCtlSiteLink:
            return {ResultsAction::OpenUrl, scoreRedirectUrl(site, kRedirectHome)};
        default:
            return {};  // "Create an account" is drawn as a link but opens nothing
    }
}

ScoreSubmissionInputs ResultsDialogModel::prepareSubmission(StartupOptions& options) const {
    const std::string& email = control(kCtlEmail).text;
    if (!email.empty())
        std::snprintf(options.submit_score_user_email, sizeof options.submit_score_user_email, "%s",
                      email.c_str());
    ScoreSubmissionInputs in = m_inputs.submission;
    in.nickname = control(kCtlNickname).text;
    in.email = email;
    // The password box is read by nobody: it never leaves the dialog.
    return in;
}

int ResultsDialogModel::sendSubmission(const ScoreSubmissionInputs& in) const {
    return m_submitter(m_inputs.site, in);
}

ResultsCommand ResultsDialogModel::submissionDone(int id) {
    if (id < 0) return {ResultsAction::ShowError, kSubmissionFailedText};
    m_submitted_id = id;
    at(kCtlSubmit).enabled = false;
    return {ResultsAction::OpenUrl, scoreEntryUrl(m_inputs.site, id)};
}

}  // namespace plashwerk
