// The results dialog's Submit with the real client against the real score server on
// loopback: the id the server gives comes back as the entry page to open, and that page and
// the list show the entry.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/results_dialog_model.h"
#include "tests/server/server_test_support.h"
#include "tests/support/loopback.h"

namespace plashwerk {
namespace {

using test::bodyOf;
using test::httpGet;
using test::LoopbackServer;
using test::statusOf;

// A finished custom benchmark on one GPU, as the program hands it to the dialog.
ResultsDialogInputs finishedRun(int score, const ScoreSite& site) {
    ResultsDialogInputs in;
    in.lines.num_fluid_emitters = 2;
    in.lines.num_particles = 20000;
    in.lines.width = 1024;
    in.lines.height = 768;
    in.result.global_score = score;
    in.result.physx_score = 300.5f;
    in.result.graphx_score = 400.5f;
    in.result.fps_avg = 60;
    in.result.sps_avg = 50;
    in.result.duration_ms = 10000;
    ScoreSubmissionInputs& s = in.submission;
    s.max_time_ms = 10000;
    s.width = 1024;
    s.height = 768;
    s.gpu_vendor_id = 0x10de;
    s.gpu_device_id = 0x2684;
    s.cpu_mhz = 3000;
    s.cpu_name = "Test CPU";
    s.os_name = "Debian GNU/Linux 12";
    s.renderer = "Test Renderer (LLVM 15)";
    s.driver = "4.5 Mesa 22.3.6";
    s.gpu_count = 1;
    s.gpus.push_back({0x10de, 0x2684, 1800.0f, 7000.0f, 1.05f, 67.0f, 99.0f, 80.0f});
    s.num_particles = 20000;
    s.num_fluid_emitters = 2;
    s.particles_lifetime = 8.0f;
    s.emitter_rate = 250;
    in.site = site;
    return in;
}

TEST(ResultsSubmitOnLoopback, TheEntryIsStoredItsPageOpensAndTheListRanksIt) {
    LoopbackServer server;
    const ScoreSite site{"127.0.0.1", server.port()};
    StartupOptions options;
    setDefaultStartupOptions(options);
    ResultsDialogModel model;  // the real client
    model.initialise(finishedRun(701, site), options);
    model.setText(kCtlNickname, "Loopback Tester");
    model.setText(kCtlEmail, "tester@example.org");
    model.setText(kCtlPassword, "secret-password");

    const ResultsCommand sent = model.click(kCtlSubmit, options);
    ASSERT_EQ(sent.action, ResultsAction::OpenUrl) << sent.text;
    EXPECT_EQ(sent.text, "http://127.0.0.1:" + std::to_string(server.port()) +
                             "/benchmarks/plashwerk_140_score.php?id=1");
    EXPECT_EQ(model.submittedId(), 1);
    EXPECT_FALSE(model.control(kCtlSubmit).enabled);
    EXPECT_STREQ(options.submit_score_user_email, "tester@example.org");

    const std::string page = httpGet(server.port(), "/benchmarks/plashwerk_140_score.php?id=1");
    ASSERT_EQ(statusOf(page), 200) << page;
    EXPECT_NE(page.find("Loopback Tester"), std::string::npos) << page;
    EXPECT_NE(page.find("701"), std::string::npos);
    EXPECT_NE(page.find("Test Renderer LLVM 15"), std::string::npos) << "cleaned by the client";
    EXPECT_EQ(page.find("secret"), std::string::npos) << "the password is never sent";

    // A second, better run from another dialog ranks above the first.
    ResultsDialogModel second;
    second.initialise(finishedRun(900, site), options);
    ASSERT_EQ(second.click(kCtlSubmit, options).action, ResultsAction::OpenUrl);
    EXPECT_EQ(second.submittedId(), 2);
    // The run is at custom settings: the list of every setting shows it.
    const std::string list = bodyOf(httpGet(server.port(), "/scores?settings=all"));
    const size_t best = list.find(">900</a>"), first = list.find(">701</a>");
    ASSERT_NE(best, std::string::npos) << list;
    ASSERT_NE(first, std::string::npos) << list;
    EXPECT_LT(best, first);

    // The compare link of a submitted dialog names its entry.
    EXPECT_EQ(model.click(kCtlCompareLink, options).text,
              "http://127.0.0.1:" + std::to_string(server.port()) + "/redirect?id=305&entry=1");
}

TEST(ResultsSubmitOnLoopback, NoServerGivesTheFailureBoxAndSubmitStaysAvailable) {
    const int port = test::unusedLoopbackPort();
    ASSERT_NE(port, 0);
    StartupOptions options;
    setDefaultStartupOptions(options);
    ResultsDialogModel model;
    model.initialise(finishedRun(500, ScoreSite{"127.0.0.1", port}), options);
    const ResultsCommand failed = model.click(kCtlSubmit, options);
    EXPECT_EQ(failed,
              (ResultsCommand{ResultsAction::ShowError, "Score submission failed. Sorry..."}));
    EXPECT_TRUE(model.control(kCtlSubmit).enabled);
    EXPECT_EQ(model.submittedId(), -1);
}

}  // namespace
}  // namespace plashwerk
