#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"
#include "platform/thread/thread_util.h"
#include "tests/support/files.h"

namespace plashwerk {
namespace {

using Vantorr_nsp::vnTraceMgr;

using test::slurp;

class Trace : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/plashwerk_trace_XXXXXX";
        dir = mkdtemp(pattern);
        prefix = dir + "/Plashwerk_";
        vnTraceMgr::instance().setTraceLevel(4);
        vnTraceMgr::instance().setLogFileName(prefix.c_str());
    }
    void TearDown() override {
        vnTraceMgr::instance().close();
        setMessageBoxSink({});
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string log() { return slurp(vnTraceMgr::instance().logFileName()); }
    std::string dir, prefix;
};

TEST_F(Trace, LinesCarryLevelAndTextAndRespectTheTraceLevel) {
    EXPECT_EQ(vnTraceMgr::instance().logFileName().rfind(prefix, 0), 0u);
    Vantorr_nsp::logTrace(1, "broken %d", 7);
    Vantorr_nsp::logTrace(2, "odd");
    Vantorr_nsp::logTrace(4, "fine %s", "indeed");
    vnTraceMgr::instance().setTraceLevel(2);
    Vantorr_nsp::logTrace(4, "dropped");
    const std::string text = log();
    EXPECT_NE(text.find("[ERROR] broken 7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[WARNING] odd\n"), std::string::npos);
    EXPECT_NE(text.find("[INFO] fine indeed\n"), std::string::npos);
    EXPECT_EQ(text.find("dropped"), std::string::npos);
}

TEST_F(Trace, ConcurrentWritersNeverInterleaveLines) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) Vantorr_nsp::logTrace(4, "thread %d line %d end", t, i);
        });
    for (auto& th : threads) th.join();
    std::istringstream lines(log());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_EQ(line.substr(line.size() - 4), " end") << line;
    EXPECT_EQ(count, 800);
}

TEST_F(Trace, OverlongMessagesAreCutNotOverflowed) {
    const std::string big(10000, 'q');
    Vantorr_nsp::logTrace(4, "%s", big.c_str());
    EXPECT_LT(log().size(), 4200u);
}

TEST_F(Trace, UnwritableLogLeavesLoggingHarmless) {
    vnTraceMgr::instance().setLogFileName("/proc/no/such/Plashwerk_");
    Vantorr_nsp::logTrace(1, "nowhere to go");
}

// A log held by another program (its flock) is neither emptied nor written: this process
// writes a log of its own named with its pid and says so. Once the lock is gone, the usual
// name is used and emptied again.
TEST_F(Trace, ALogLockedByAnotherProgramIsLeftAloneForOneNamedWithThePid) {
    const std::string shared = prefix + "trace.log";
    vnTraceMgr::instance().close();
    test::writeFile(shared, "the other program's line\n");
    const int other = open(shared.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);

    testing::internal::CaptureStderr();
    vnTraceMgr::instance().setLogFileName(prefix.c_str());
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string own = prefix + "trace." + std::to_string(getpid()) + ".log";
    EXPECT_EQ(vnTraceMgr::instance().logFileName(), own);
    EXPECT_NE(said.find("the trace log " + shared +
                        " is in use by another program; this one "
                        "writes " +
                        own + "\n"),
              std::string::npos)
        << said;
    Vantorr_nsp::logTrace(4, "mine");
    EXPECT_NE(slurp(own).find("[INFO] mine\n"), std::string::npos);
    EXPECT_EQ(slurp(shared), "the other program's line\n");

    close(other);
    vnTraceMgr::instance().setLogFileName(prefix.c_str());
    EXPECT_EQ(vnTraceMgr::instance().logFileName(), shared);
    Vantorr_nsp::logTrace(4, "alone again");
    EXPECT_EQ(slurp(shared).find("the other program's line"), std::string::npos);
    EXPECT_NE(slurp(shared).find("alone again"), std::string::npos);
}

TEST_F(Trace, MessageBoxesGoToTheSinkAndTheLog) {
    std::vector<std::pair<MessageBoxKind, std::string>> shown;
    setMessageBoxSink([&](MessageBoxKind kind, const char* caption, const char* text) {
        EXPECT_STREQ(caption, "Plashwerk");
        shown.emplace_back(kind, text);
    });
    showErrorBox("Could not initialize Pyrolex. %s startup failed. Bye!", "Plashwerk");
    showInformationBox("%s v%d.%d.%d", "Plashwerk", 1, 5, 4);
    showWarningBox("%s", std::string(9000, 'w').c_str());
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].first, MessageBoxKind::Error);
    EXPECT_EQ(shown[0].second, "Could not initialize Pyrolex. Plashwerk startup failed. Bye!");
    EXPECT_EQ(shown[1].second, "Plashwerk v1.5.4");
    EXPECT_EQ(shown[2].second.size(), 4095u) << "at most 4096 bytes with the terminator";
    const std::string text = log();
    EXPECT_NE(text.find("[ERROR] Could not initialize Pyrolex."), std::string::npos);
    EXPECT_NE(text.find("[INFO] Plashwerk v1.5.4"), std::string::npos);
}

TEST(AutoResetEvent, ReleasesOneWaiterPerSetAndStaysSetUntilTaken) {
    AutoResetEvent event;
    EXPECT_FALSE(event.waitFor(0));
    event.set();
    event.set();  // a second set while signalled does not count twice
    EXPECT_TRUE(event.waitFor(0));
    EXPECT_FALSE(event.waitFor(0));

    AutoResetEvent go, done;
    int value = 0;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            go.wait();
            ++value;
            done.set();
        }
    });
    for (int i = 0; i < 100; ++i) {
        go.set();
        done.wait();
        EXPECT_EQ(value, i + 1);
    }
    worker.join();
}

}  // namespace
}  // namespace plashwerk
