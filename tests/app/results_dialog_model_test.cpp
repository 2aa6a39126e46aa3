#include "app/results_dialog_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <string>
#include <vector>

namespace plashwerk {
namespace {

ResultsDialogInputs customRun() {
    ResultsDialogInputs in;
    in.lines.num_fluid_emitters = 4;
    in.lines.num_particles = 120000;
    in.lines.multithreaded_physx = true;
    in.lines.threads_sync = true;
    in.lines.width = 1280;
    in.lines.height = 720;
    in.lines.msaa_samples = 4;
    in.lines.core_clock_max = 1905.6f;
    in.lines.memory_clock_max = 7000.0f;
    in.result.global_score = 1913;
    in.result.physx_score = 678.9f;
    in.result.graphx_score = 1234.5f;
    in.result.sps_avg = 113;
    in.result.fps_avg = 205;
    in.result.duration_ms = 60000;
    const char* system[6] = {"GeForce RTX 2080", "535.104", "i7-8700",
                             "3600 MHz",         "16 GB",   "Linux"};
    for (int i = 0; i < 6; ++i) std::strcpy(in.result.system_lines[i], system[i]);
    in.physx_version = 2083;
    in.gpu_count = 2;
    in.submission.renderer = "GeForce RTX 2080";
    in.site = {"127.0.0.1", 8080};
    return in;
}

struct FakeServer {
    int reply = 77;
    std::vector<ScoreSubmissionInputs> sent;
    ScoreSubmitter submitter() {
        return [this](const ScoreSite&, const ScoreSubmissionInputs& in) {
            sent.push_back(in);
            return reply;
        };
    }
};

class ResultsDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        setDefaultStartupOptions(options);
        std::strcpy(options.submit_score_user_email, "me@example.org");
        model.initialise(customRun(), options);
    }
    StartupOptions options;
    FakeServer server;
    ResultsDialogModel model{server.submitter()};
};

TEST_F(ResultsDialog, ShowsEveryLineInOrder) {
    EXPECT_EQ(model.title(), "Quorvex Plashwerk v1.5.4 - PhysX benchmark");
    const std::vector<std::pair<int, std::string>> lines = {
        {kCtlBuildLine, "Build: [Mar 23 2020 @ 10:28:47]"},
        {kCtlSiteLabel, kScoreSiteName},
        {kCtlScoreLine, "Global SCORE: 1913 points (60000 ms) - CPU PhysX"},
        {kCtlDetailLine, "PhysX: 678 (113 SPS) - GraphX: 1234 (205 FPS) "},
        {kCtlEmittersLine, "4 emitters - Particles: 120000"},
        {kCtlThreadingLine, "Multithreaded:ON (async:OFF), CPU multicore:OFF"},
        {kCtlResolutionLine, "1280x720(W) - MSAA:4X - PostFX:OFF"},
        {kCtlMainRenderer, "GeForce RTX 2080"},
        {kCtlDrivers, "535.104"},
        {kCtlCpu, "i7-8700"},
        {kCtlCpuSpeed, "3600 MHz"},
        {kCtlSystemMemory, "16 GB"},
        {kCtlOs, "Linux"},
        {kCtlClocksLine, "GPU core: 1905 MHz, memory: 7000 MHz"},
        {kCtlPhysxVersion, "2083"},
        {kCtlMultiGpus, "2 GPU(s)"},
    };
    ASSERT_GE(model.controls().size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(model.controls()[i].id, lines[i].first) << i;
        EXPECT_EQ(model.controls()[i].text, lines[i].second) << i;
    }
    EXPECT_EQ(model.control(kCtlMainRenderer).label, "Main Renderer");
    EXPECT_EQ(model.control(kCtlOs).label, "OS");
    // The clocks shown become the result's maxima, which the submission carries.
    EXPECT_FLOAT_EQ(model.result().gpu_core_clock_max, 1905.6f);
}

TEST_F(ResultsDialog, SubmissionControlsAndTheirLimits) {
    EXPECT_EQ(model.control(kCtlEmail).text, "me@example.org");
    EXPECT_EQ(model.control(kCtlEmail).label, "Email");
    EXPECT_EQ(model.control(kCtlPassword).kind, ResultsControlKind::PasswordEdit);
    EXPECT_NE(model.control(kCtlPasswordNote).text.find("Not sent"), std::string::npos);
    EXPECT_EQ(model.control(kCtlNickname).label, "Nickname (optional)");
    EXPECT_EQ(model.control(kCtlSubmit).text, "Submit");
    EXPECT_TRUE(model.control(kCtlSubmitGroup).greyed);
    EXPECT_EQ(model.control(kCtlOrLabel).text, "OR");
    EXPECT_EQ(model.control(kCtlCreateAccount).text, "[ Create an account ]");
    EXPECT_EQ(model.control(kCtlOnlineScoresLink).text, "[ Online scores ]");
    EXPECT_EQ(model.control(kCtlCompareLink).text, "[ Compare your score ]");

    model.setText(kCtlNickname, std::string(80, 'n'));
    model.setText(kCtlEmail, std::string(40, 'e'));
    model.setText(kCtlPassword, std::string(40, 'p'));
    model.setText(kCtlScoreLine, "edited");
    model.setText(12345, "nowhere");
    EXPECT_EQ(model.control(kCtlNickname).text.size(), 63u);
    EXPECT_EQ(model.control(kCtlEmail).text.size(), 30u);
    EXPECT_EQ(model.control(kCtlPassword).text.size(), 30u);
    EXPECT_NE(model.control(kCtlScoreLine).text, "edited");
}

TEST_F(ResultsDialog, LinksOpenTheirRedirectPages) {
    EXPECT_EQ(model.click(kCtlOnlineScoresLink, options),
              (ResultsCommand{ResultsAction::OpenUrl, "http://127.0.0.1:8080/redirect?id=306"}));
    EXPECT_EQ(model.click(kCtlCompareLink, options),
              (ResultsCommand{ResultsAction::OpenUrl, "http://127.0.0.1:8080/redirect?id=305"}));
    EXPECT_EQ(model.click(kCtlSiteLink, options),
              (ResultsCommand{ResultsAction::OpenUrl, "http://127.0.0.1:8080/redirect?id=11"}));
    EXPECT_EQ(model.click(kCtlCreateAccount, options).action, ResultsAction::None);
    EXPECT_EQ(model.click(4242, options).action, ResultsAction::None);
    EXPECT_TRUE(server.sent.empty());
}

TEST_F(ResultsDialog, SubmitSendsOpensTheEntryAndDisablesItself) {
    model.setText(kCtlNickname, "Speedy");
    model.setText(kCtlEmail, "new@example.org");
    model.setText(kCtlPassword, "hunter2");
    const ResultsCommand done = model.click(kCtlSubmit, options);
    EXPECT_EQ(done,
              (ResultsCommand{ResultsAction::OpenUrl,
                              "http://127.0.0.1:8080/benchmarks/plashwerk_140_score.php?id=77"}));
    ASSERT_EQ(server.sent.size(), 1u);
    const ScoreSubmissionInputs& sent = server.sent[0];
    EXPECT_EQ(sent.nickname, "Speedy");
    EXPECT_EQ(sent.email, "new@example.org");
    EXPECT_EQ(sent.result.global_score, 1913);
    EXPECT_EQ(sent.renderer, "GeForce RTX 2080");
    // The password goes nowhere: not in the record, not in the request.
    const std::string request = buildScoreRequest({"127.0.0.1", 8080}, makeScoreRecord(sent, ""));
    const std::string payload = buildScorePayload(makeScoreRecord(sent, ""));
    EXPECT_EQ(payload.substr(payload.size() - 5), "|NULL");
    EXPECT_EQ(payload.find("hunter2"), std::string::npos);
    EXPECT_EQ(request.find(scrambleScorePayload("hunter2").hex), std::string::npos);

    EXPECT_STREQ(options.submit_score_user_email, "new@example.org");
    EXPECT_FALSE(model.control(kCtlSubmit).enabled);
    EXPECT_EQ(model.submittedId(), 77);
    EXPECT_EQ(model.click(kCtlSubmit, options).action, ResultsAction::None);
    EXPECT_EQ(server.sent.size(), 1u);
    EXPECT_EQ(model.click(kCtlCompareLink, options).text,
              "http://127.0.0.1:8080/redirect?id=305&entry=77");
}

TEST_F(ResultsDialog, FailedSubmitShowsTheBoxAndKeepsTheDialog) {
    server.reply = -1;
    model.setText(kCtlEmail, "kept@example.org");
    EXPECT_EQ(model.click(kCtlSubmit, options),
              (ResultsCommand{ResultsAction::ShowError, "Score submission failed. Sorry..."}));
    EXPECT_TRUE(model.control(kCtlSubmit).enabled);
    EXPECT_EQ(model.submittedId(), -1);
    // The e-mail is kept whatever the outcome.
    EXPECT_STREQ(options.submit_score_user_email, "kept@example.org");

    // An empty e-mail box leaves the stored address alone; a retry can succeed.
    model.setText(kCtlEmail, "");
    server.reply = 0;
    EXPECT_EQ(model.click(kCtlSubmit, options).action, ResultsAction::OpenUrl);
    EXPECT_STREQ(options.submit_score_user_email, "kept@example.org");
    EXPECT_EQ(server.sent.back().email, "");
    EXPECT_FALSE(model.control(kCtlSubmit).enabled);
}

// The window sends on a thread of its own while the dialog keeps taking input: what goes
// out is the record as it was when Submit was clicked.
TEST_F(ResultsDialog, ASubmissionSentBesideTheDialogIsTheRecordOfTheClick) {
    model.setText(kCtlNickname, "Before");
    const ScoreSubmissionInputs prepared = model.prepareSubmission(options);
    EXPECT_TRUE(model.control(kCtlSubmit).enabled) << "nothing changes until the reply";
    auto reply = std::async(std::launch::async, [&] { return model.sendSubmission(prepared); });
    model.setText(kCtlNickname, "Typed meanwhile");
    const int id = reply.get();
    ASSERT_EQ(server.sent.size(), 1u);
    EXPECT_EQ(server.sent[0].nickname, "Before");
    EXPECT_EQ(model.submissionDone(id).text,
              "http://127.0.0.1:8080/benchmarks/plashwerk_140_score.php?id=77");
    EXPECT_FALSE(model.control(kCtlSubmit).enabled);
    EXPECT_EQ(model.submissionDone(-1).action, ResultsAction::ShowError);
}

TEST(ResultsDialogPreset, PresetRunLinesAndGpuPhysx) {
    ResultsDialogInputs in = customRun();
    in.lines.preset_run = true;
    in.lines.num_fluid_emitters = 1;
    in.lines.fullscreen = true;
    in.lines.core_clock_max = in.lines.memory_clock_max = 0.0f;
    in.result.physx_on_gpu = true;
    in.result.fps_min = 50;
    in.result.fps_max = 90;
    StartupOptions options;
    setDefaultStartupOptions(options);
    ResultsDialogModel model([](const ScoreSite&, const ScoreSubmissionInputs&) { return 1; });
    model.initialise(in, options);
    EXPECT_EQ(model.control(kCtlScoreLine).text, "SCORE: 1913 points, 205 FPS (GPU PhysX)");
    EXPECT_EQ(model.control(kCtlDetailLine).text, "Duration: 60000 ms - FPS: min: 50, max:90");
    EXPECT_EQ(model.control(kCtlEmittersLine).text, "1 emitter - Particles: 120000");
    EXPECT_EQ(model.control(kCtlClocksLine).text, "clocks not available");
    EXPECT_EQ(model.control(kCtlEmail).text, "");
}

}  // namespace
}  // namespace plashwerk
