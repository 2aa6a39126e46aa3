// Stop signals in a child process of their own (the handlers and the first signal's time are
// the process's): one stop for signals that come together, a forced exit after the grace
// time that still ends the GPU monitoring log.
#include "app/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "gpumon/monitoring_logs.h"
#include "tests/support/files.h"

namespace plashwerk {
namespace {

using test::slurp;

// Forked without a new image, so the child writes into the parent's folder; the test process
// has no other thread when it forks.
class StopSignalsTest : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "fast"); }
};

// Waits (bounded) until the watcher has answered; the count of answers.
int answersAfterWaiting(const std::atomic<int>& answers) {
    for (int i = 0; i < 500 && answers.load() == 0; ++i) usleep(10000);
    usleep(100000);  // room for a wrong second answer to show
    return answers.load();
}

// `timeout` signals the program and then its process group: two SIGTERMs at once, and a
// terminal's Ctrl+C can do the same. They are one stop: no exit, one answer.
TEST_F(StopSignalsTest, SignalsWithinTheGraceTimeAreOneStop) {
    EXPECT_EXIT(
        {
            std::atomic<int> answers{0};
            StopSignals signals([&answers] { ++answers; });
            raise(SIGTERM);
            raise(SIGTERM);
            raise(SIGINT);
            std::_Exit(answersAfterWaiting(answers) == 1 && StopSignals::received() ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

// A stop that hangs, and a signal after the grace time: the process ends at once with
// 128 + the signal, the monitoring log gets its closing tag after its last line, and standard
// error says what happened.
TEST_F(StopSignalsTest, ASignalAfterTheGraceTimeForcesTheExitAndEndsTheMonitoringLog) {
    test::TempFolder folder;
    EXPECT_EXIT(
        {
            MonitoringLogs logs;
            logs.setFolder(folder.folder());
            GpuStatus gpu;
            std::snprintf(gpu.name, sizeof gpu.name, "Test GPU");
            logs.write(0, gpu, LogContext{});
            StopSignals signals([] {}, 0);
            raise(SIGTERM);
            raise(SIGTERM);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(128 + SIGTERM),
        "a second stop signal: exiting at once without the shut-down; the GPU monitoring log "
        "was closed");
    const std::string xml = slurp(folder.folder() + kMonitoringXmlFile);
    ASSERT_NE(xml.find("<gpu_data gpu=\"1\" name=\"Test GPU\""), std::string::npos) << xml;
    ASSERT_GT(xml.size(), 18u);
    EXPECT_EQ(xml.substr(xml.size() - 18), "</gpuTemperature>\n") << xml;
}

}  // namespace
}  // namespace plashwerk
