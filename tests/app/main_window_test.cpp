// The main window of a run on the offscreen desktop, with the real run behind it: size
// checks and clamps, windowed and full-screen creation, the window procedure's keys and
// the ways a run ends.
#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "platform/engine/vantorr.h"
#include "platform/msgbox/message_box.h"
#include "run/demo_scene.h"
#include "run/run_state.h"

namespace plashwerk {
namespace {

using window::MessageType;

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        // The scene reads its images from data/ in the working directory.
        char pattern[] = "/tmp/plashwerk_main_window_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(symlink(PLASHWERK_DATA_DIR, (dir + "/data").c_str()), 0);
        ASSERT_NE(getcwd(previous_dir, sizeof previous_dir), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);

        ASSERT_EQ(Vantorr_nsp::Vantorr::getInstance()->startup(2, 1, nullptr), 0);
        boxes.clear();
        setMessageBoxSink([this](MessageBoxKind, const char*, const char* text) {
            boxes += text;
            boxes += '\n';
        });
        setWindowSystem(window::openOffscreenWindowSystem({1920, 1080, 32}));
        setDefaultStartupOptions(g_startup_options);
        runAs(kRunStabilityTest, 800, 600);
    }
    void TearDown() override {
        shutdownWindowSystem();
        setMessageBoxSink(nullptr);
        Vantorr_nsp::Vantorr::getInstance()->shutdown();
        if (chdir(previous_dir) == 0) std::system(("rm -rf '" + dir + "'").c_str());
    }

    void runAs(int mode, int width, int height, int fullscreen = 0) {
        handSettingsToRunState(g_run_state, fullscreen, width, height, 0, mode, 60000, 0);
        g_run_state.stop_requested = false;
        g_run_state.simulation_paused = false;
        g_run_state.results_ready = 0;
        g_startup_options.run_mode = mode;
    }

    // Dispatches what the run posted (titles, paint) until the run is under way, or until
    // its render thread gave up and closed the window.
    void pumpUntilRunning() {
        window::WindowSystem* system = windowSystem();
        window::Message m;
        while (g_run_state.running.load() != 1 && mainWindow()) {
            while (system->peekMessage(m)) system->dispatchMessage(m);
            std::this_thread::yield();
        }
        while (system->peekMessage(m)) system->dispatchMessage(m);
        ASSERT_EQ(g_run_state.running.load(), 1) << "the run did not start:\n" << boxes;
    }

    void send(MessageType type, int64_t wparam = 0) {
        window::Message m;
        m.window = mainWindow();
        m.type = type;
        m.wparam = wparam;
        windowSystem()->dispatchMessage(m);
    }

    std::string boxes;
    std::string dir;
    char previous_dir[4096] = {};
};

TEST_F(MainWindow, SizeClampsAndTheDesktopCheck) {
    int w = 0, h = 0;
    clampRequestedSize(w, h, 16384);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    w = -5;
    h = 100000;
    clampRequestedSize(w, h, 4096);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 4096);
    w = 99999;
    h = 99999;
    clampRequestedSize(w, h, 0);
    EXPECT_EQ(w, 99999) << "no limit known, no clamp";

    EXPECT_TRUE(checkDesktopSize({1920, 1080, 32}, 1920, 1080));
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(checkDesktopSize({1024, 768, 32}, 1280, 720));
    EXPECT_EQ(boxes,
              "Could not start in windowed mode:\n\rthe size of your desktop (1024x768) is "
              "smaller than the required window size (1280x720).\n\rPlease select another "
              "resolution.\n");
    EXPECT_GT(largestRenderDimension(), 0) << "the OpenGL maximum viewport of this machine";
}

TEST_F(MainWindow, AFullDesktopSizedWindowIsAcceptedWithASmallerClientArea) {
    runAs(kRunBenchmark, 1920, 1080);
    ASSERT_TRUE(createMainWindowAndStartRun());
    window::Window* w = mainWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->fullscreen());
    EXPECT_TRUE(w->hasMenuBar());
    EXPECT_FALSE(w->hasMinimizeBox()) << "only the stability test can be minimised";
    EXPECT_EQ(w->left(), 0);
    EXPECT_EQ(w->top(), 0);
    EXPECT_LT(g_run_state.width, 1920);
    EXPECT_LT(g_run_state.height, 1080);
    const int with_menu = g_run_state.height;
    closeMainWindow();
    EXPECT_EQ(mainWindow(), nullptr);

    g_startup_options.display_menu_bar = 0;
    runAs(kRunStabilityTest, 800, 600);
    ASSERT_TRUE(createMainWindowAndStartRun());
    EXPECT_TRUE(mainWindow()->hasMinimizeBox());
    EXPECT_EQ(mainWindow()->left(), 960 - 400) << "centred on the desktop";
    EXPECT_EQ(mainWindow()->top(), 540 - 300);
    closeMainWindow();
    runAs(kRunStabilityTest, 1920, 1080);
    ASSERT_TRUE(createMainWindowAndStartRun());
    EXPECT_EQ(g_run_state.height, with_menu + window::kMenuBarHeight);
    closeMainWindow();
}

TEST_F(MainWindow, ZeroSizeBecomes640x480AndTooLargeIsRefused) {
    runAs(kRunStabilityTest, 0, 0);
    ASSERT_TRUE(createMainWindowAndStartRun());
    EXPECT_EQ(mainWindow()->outerWidth(), 640);
    EXPECT_EQ(mainWindow()->outerHeight(), 480);
    closeMainWindow();

    runAs(kRunBenchmark, 2560, 1440, 1);
    EXPECT_FALSE(createMainWindowAndStartRun());
    EXPECT_NE(boxes.find("Could not start in windowed mode"), std::string::npos)
        << "a full-screen request larger than the desktop gets the windowed message";
    EXPECT_EQ(mainWindow(), nullptr);
}

TEST_F(MainWindow, FullScreenSwitchesTheModeAndClosingRestoresIt) {
    runAs(kRunBenchmark, 1280, 720, 1);
    ASSERT_TRUE(createMainWindowAndStartRun());
    EXPECT_TRUE(mainWindow()->fullscreen());
    EXPECT_EQ(g_run_state.width, 1280);
    EXPECT_EQ(g_run_state.height, 720);
    EXPECT_EQ(windowSystem()->desktopMode().width, 1280);
    closeMainWindow();
    EXPECT_EQ(windowSystem()->desktopMode().width, 1920);
    EXPECT_EQ(windowSystem()->desktopMode().height, 1080);
}

TEST_F(MainWindow, EscapeEndsAStabilityTestAndPostsTheQuitMessage) {
    ASSERT_TRUE(createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    char title[128];
    mainWindow()->title(title, sizeof title);
    EXPECT_STREQ(title, "Quorvex Plashwerk | Running...");
    mainWindow()->post(MessageType::KeyDown, window::VK_ESCAPE);
    pumpMessagesUntilQuit();
    EXPECT_EQ(mainWindow(), nullptr);
    EXPECT_EQ(g_run_state.running.load(), 0);
    EXPECT_TRUE(g_run_state.stop_requested.load());
    EXPECT_FALSE(g_demo_scene.sceneReady()) << "the render thread released its scene";
}

TEST_F(MainWindow, KeysAreFilteredByRunMode) {
    runAs(kRunBenchmark, 800, 600);
    ASSERT_TRUE(createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    const bool info = g_startup_options.display_information;
    EXPECT_EQ(g_run_state.display_information.load(), info) << "taken from the settings";
    send(MessageType::KeyDown, 'I');
    EXPECT_NE(g_run_state.display_information.load(), info) << "I works in every mode";
    EXPECT_EQ(g_startup_options.display_information, info) << "not while the run reads them";
    send(MessageType::KeyDown, 'P');
    EXPECT_FALSE(g_run_state.simulation_paused.load()) << "a benchmark swallows P";
    send(MessageType::Char, 'x');
    send(MessageType::Size, 0);  // restored, not minimised
    EXPECT_NE(mainWindow(), nullptr);
    closeMainWindow();
    EXPECT_NE(g_startup_options.display_information, info) << "the toggle outlives the run";

    runAs(kRunStabilityTest, 800, 600);
    ASSERT_TRUE(createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    send(MessageType::KeyDown, 'P');
    EXPECT_TRUE(g_run_state.simulation_paused.load());
    send(MessageType::KeyDown, 'P');
    EXPECT_FALSE(g_run_state.simulation_paused.load());
    send(MessageType::Size, 1);
    EXPECT_NE(mainWindow(), nullptr) << "minimising a stability test does not end it";
    send(MessageType::Command, window::kMenuCommandExit);
    EXPECT_EQ(mainWindow(), nullptr);
}

TEST_F(MainWindow, MinimisingABenchmarkInProgressStopsIt) {
    runAs(kRunBenchmark, 800, 600);
    ASSERT_TRUE(createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    send(MessageType::Size, 1);
    EXPECT_EQ(mainWindow(), nullptr);
    EXPECT_EQ(g_run_state.results_ready.load(), 0) << "a stopped benchmark has no results";
}

TEST_F(MainWindow, TheStartupDialogGetsItsButtonBackInsteadOfAQuit) {
    bool open = true, enabled = true;
    StartupDialogHooks hooks;
    hooks.exists = [&] { return open; };
    hooks.enable_start_button = [&](bool on) { enabled = on; };
    setStartupDialogHooks(hooks);
    ASSERT_TRUE(createMainWindowAndStartRun());
    EXPECT_FALSE(enabled) << "disabled while the run's window exists";
    send(MessageType::Close);
    EXPECT_TRUE(enabled);
    window::Message m;
    EXPECT_FALSE(windowSystem()->peekMessage(m) && m.type == MessageType::Quit);
    setStartupDialogHooks({});
}

// Two benchmarks in one session leave two rows, each with its own run's values, and
// nothing repeats one when the session ends; the results document holds the last run.
TEST_F(MainWindow, EachFinishedBenchmarkKeepsItsOwnRowOnce) {
    StartupOptions& o = g_startup_options;
    // Particles that live a tenth of a second fill the fluids within a few frames.
    o.use_particle_count = false;
    o.particles_rate = 300;
    o.particles_lifetime = 0.1f;
    o.render_scene = false;
    o.log_score = true;
    o.display_score = 0;
    o.results_json = dir + "/results.json";
    for (const int max_time : {1000, 1200}) {
        runAs(kRunBenchmark, 320, 240);
        g_run_state.time_limit_ms = static_cast<uint32_t>(max_time);
        ASSERT_TRUE(createMainWindowAndStartRun());
        pumpMessagesUntilQuit();  // the finished run closes its window and posts the quit
        ASSERT_EQ(mainWindow(), nullptr) << boxes;
    }
    keepFinishedRunResults();  // as shut-down does: the last run is already kept

    std::ifstream in(dir + "/Plashwerk_Scores.csv");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Renderer,Driver,", 0), 0u);
    // The client area: the window's size less its frame and menu bar.
    const std::string size =
        "," + std::to_string(g_run_state.width) + "," + std::to_string(g_run_state.height);
    EXPECT_NE(lines[1].find(size + ",NO,YES,1000,"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(size + ",NO,YES,1200,"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("," + std::to_string(g_run_result.global_score) + ","),
              std::string::npos)
        << "the second row carries the second run's score";

    std::ifstream document(dir + "/results.json");
    std::stringstream text;
    text << document.rdbuf();
    EXPECT_NE(text.str().find("\"duration_ms\": 1200"), std::string::npos) << text.str();

    // A stability test that follows adds nothing.
    runAs(kRunStabilityTest, 320, 240);
    ASSERT_TRUE(createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    send(MessageType::Close);
    keepFinishedRunResults();
    std::ifstream again(dir + "/Plashwerk_Scores.csv");
    size_t rows = 0;
    for (std::string line; std::getline(again, line);) ++rows;
    EXPECT_EQ(rows, 3u);
}

}  // namespace
}  // namespace plashwerk
