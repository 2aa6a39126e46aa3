// The main window of a run on the offscreen desktop, with the real run behind it: size
// checks and clamps, windowed and full-screen creation, the window procedure's keys and
// the ways a run ends.
#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
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

class MainWindowRun : public ::testing::Test {
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
        main().setWindowSystem(window::openOffscreenWindowSystem({1920, 1080, 32}));
        runAs(RunMode::StabilityTest, 800, 600);
    }
    void TearDown() override {
        main().shutdownWindowSystem();
        setMessageBoxSink(nullptr);
        Vantorr_nsp::Vantorr::getInstance()->shutdown();
        if (chdir(previous_dir) == 0) std::system(("rm -rf '" + dir + "'").c_str());
    }

    MainWindow& main() { return app->mainWindow(); }

    void runAs(RunMode mode, int width, int height, int fullscreen = 0) {
        RunRequest request;
        request.mode = mode;
        request.width = width;
        request.height = height;
        request.fullscreen = fullscreen != 0;
        handSettingsToRunState(main().runState(), request);
        main().runState().simulation_paused = false;
        main().runState().results_ready = 0;
        app->settings().run_mode = static_cast<int>(mode);
    }

    // Dispatches what the run posted (titles, paint) until the run is under way, or until
    // its render thread gave up and closed the window.
    void pumpUntilRunning() {
        window::WindowSystem* system = main().windowSystem();
        window::Message m;
        while (main().runState().running.load() != 1 && main().window()) {
            while (system->peekMessage(m)) system->dispatchMessage(m);
            std::this_thread::yield();
        }
        while (system->peekMessage(m)) system->dispatchMessage(m);
        ASSERT_EQ(main().runState().running.load(), 1) << "the run did not start:\n" << boxes;
    }

    void send(MessageType type, int64_t wparam = 0) {
        window::Message m;
        m.window = main().window();
        m.type = type;
        m.wparam = wparam;
        main().windowSystem()->dispatchMessage(m);
    }

    std::unique_ptr<Application> app = std::make_unique<Application>();
    std::string boxes;
    std::string dir;
    char previous_dir[4096] = {};
};

TEST_F(MainWindowRun, SizeClampsAndTheDesktopCheck) {
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
    EXPECT_GT(main().largestRenderDimension(), 0) << "the OpenGL maximum viewport of this machine";
}

TEST_F(MainWindowRun, AFullDesktopSizedWindowIsAcceptedWithASmallerClientArea) {
    runAs(RunMode::Benchmark, 1920, 1080);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    window::Window* w = main().window();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->fullscreen());
    EXPECT_TRUE(w->hasMenuBar());
    EXPECT_FALSE(w->hasMinimizeBox()) << "only the stability test can be minimised";
    EXPECT_EQ(w->left(), 0);
    EXPECT_EQ(w->top(), 0);
    EXPECT_LT(main().runState().width, 1920);
    EXPECT_LT(main().runState().height, 1080);
    const int with_menu = main().runState().height;
    main().closeMainWindow();
    EXPECT_EQ(main().window(), nullptr);

    app->settings().display_menu_bar = 0;
    runAs(RunMode::StabilityTest, 800, 600);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    EXPECT_TRUE(main().window()->hasMinimizeBox());
    EXPECT_EQ(main().window()->left(), 960 - 400) << "centred on the desktop";
    EXPECT_EQ(main().window()->top(), 540 - 300);
    main().closeMainWindow();
    runAs(RunMode::StabilityTest, 1920, 1080);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    EXPECT_EQ(main().runState().height, with_menu + window::kMenuBarHeight);
    main().closeMainWindow();
}

TEST_F(MainWindowRun, ZeroSizeBecomes640x480AndTooLargeIsRefused) {
    runAs(RunMode::StabilityTest, 0, 0);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    EXPECT_EQ(main().window()->outerWidth(), 640);
    EXPECT_EQ(main().window()->outerHeight(), 480);
    main().closeMainWindow();

    runAs(RunMode::Benchmark, 2560, 1440, 1);
    EXPECT_FALSE(main().createMainWindowAndStartRun());
    EXPECT_NE(boxes.find("Could not start in windowed mode"), std::string::npos)
        << "a full-screen request larger than the desktop gets the windowed message";
    EXPECT_EQ(main().window(), nullptr);
}

TEST_F(MainWindowRun, FullScreenSwitchesTheModeAndClosingRestoresIt) {
    runAs(RunMode::Benchmark, 1280, 720, 1);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    EXPECT_TRUE(main().window()->fullscreen());
    EXPECT_EQ(main().runState().width, 1280);
    EXPECT_EQ(main().runState().height, 720);
    EXPECT_EQ(main().windowSystem()->desktopMode().width, 1280);
    main().closeMainWindow();
    EXPECT_EQ(main().windowSystem()->desktopMode().width, 1920);
    EXPECT_EQ(main().windowSystem()->desktopMode().height, 1080);
}

TEST_F(MainWindowRun, EscapeEndsAStabilityTestAndPostsTheQuitMessage) {
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    char title[128];
    main().window()->title(title, sizeof title);
    EXPECT_STREQ(title, "Quorvex Plashwerk | Running...");
    main().window()->post(MessageType::KeyDown, window::VK_ESCAPE);
    main().pumpMessagesUntilQuit();
    EXPECT_EQ(main().window(), nullptr);
    EXPECT_EQ(main().runState().running.load(), 0);
    EXPECT_TRUE(main().runState().stop_requested.load());
    EXPECT_FALSE(main().scene().sceneReady()) << "the render thread released its scene";
}

TEST_F(MainWindowRun, KeysAreFilteredByRunMode) {
    runAs(RunMode::Benchmark, 800, 600);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    const bool info = app->settings().display_information;
    EXPECT_EQ(main().runState().display_information.load(), info) << "taken from the settings";
    send(MessageType::KeyDown, 'I');
    EXPECT_NE(main().runState().display_information.load(), info) << "I works in every mode";
    EXPECT_EQ(app->settings().display_information, info) << "not while the run reads them";
    send(MessageType::KeyDown, 'P');
    EXPECT_FALSE(main().runState().simulation_paused.load()) << "a benchmark swallows P";
    send(MessageType::Char, 'x');
    send(MessageType::Size, 0);  // restored, not minimised
    EXPECT_NE(main().window(), nullptr);
    main().closeMainWindow();
    EXPECT_NE(app->settings().display_information, info) << "the toggle outlives the run";

    runAs(RunMode::StabilityTest, 800, 600);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    send(MessageType::KeyDown, 'P');
    EXPECT_TRUE(main().runState().simulation_paused.load());
    send(MessageType::KeyDown, 'P');
    EXPECT_FALSE(main().runState().simulation_paused.load());
    send(MessageType::Size, 1);
    EXPECT_NE(main().window(), nullptr) << "minimising a stability test does not end it";
    send(MessageType::Command, window::kMenuCommandExit);
    EXPECT_EQ(main().window(), nullptr);
}

TEST_F(MainWindowRun, MinimisingABenchmarkInProgressStopsIt) {
    runAs(RunMode::Benchmark, 800, 600);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    send(MessageType::Size, 1);
    EXPECT_EQ(main().window(), nullptr);
    EXPECT_EQ(main().runState().results_ready.load(), 0) << "a stopped benchmark has no results";
}

TEST_F(MainWindowRun, TheStartupDialogGetsItsButtonBackInsteadOfAQuit) {
    bool open = true, enabled = true;
    StartupDialogHooks hooks;
    hooks.exists = [&] { return open; };
    hooks.enable_start_button = [&](bool on) { enabled = on; };
    main().setStartupDialogHooks(hooks);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    EXPECT_FALSE(enabled) << "disabled while the run's window exists";
    send(MessageType::Close);
    EXPECT_TRUE(enabled);
    window::Message m;
    EXPECT_FALSE(main().windowSystem()->peekMessage(m) && m.type == MessageType::Quit);
    main().setStartupDialogHooks({});
}

// Two benchmarks in one session leave two rows, each with its own run's values, and
// nothing repeats one when the session ends; the results document holds the last run.
TEST_F(MainWindowRun, EachFinishedBenchmarkKeepsItsOwnRowOnce) {
    StartupOptions& o = app->settings();
    // Particles that live a tenth of a second fill the fluids within a few frames.
    o.use_particle_count = false;
    o.particles_rate = 300;
    o.particles_lifetime = 0.1f;
    o.render_scene = false;
    o.log_score = true;
    o.display_score = 0;
    o.results_json = dir + "/results.json";
    for (const int max_time : {1000, 1200}) {
        runAs(RunMode::Benchmark, 320, 240);
        main().runState().time_limit_ms = static_cast<uint32_t>(max_time);
        ASSERT_TRUE(main().createMainWindowAndStartRun());
        main().pumpMessagesUntilQuit();  // the finished run closes its window and posts the quit
        ASSERT_EQ(main().window(), nullptr) << boxes;
    }
    main().keepFinishedRunResults();  // as shut-down does: the last run is already kept

    std::ifstream in(dir + "/Plashwerk_Scores.csv");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Renderer,Driver,", 0), 0u);
    // The client area: the window's size less its frame and menu bar.
    const std::string size = "," + std::to_string(main().runState().width) + "," +
                             std::to_string(main().runState().height);
    EXPECT_NE(lines[1].find(size + ",NO,YES,1000,"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(size + ",NO,YES,1200,"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("," + std::to_string(main().runResult().global_score) + ","),
              std::string::npos)
        << "the second row carries the second run's score";

    std::ifstream document(dir + "/results.json");
    std::stringstream text;
    text << document.rdbuf();
    EXPECT_NE(text.str().find("\"duration_ms\": 1200"), std::string::npos) << text.str();

    // A stability test that follows adds nothing.
    runAs(RunMode::StabilityTest, 320, 240);
    ASSERT_TRUE(main().createMainWindowAndStartRun());
    ASSERT_NO_FATAL_FAILURE(pumpUntilRunning());
    send(MessageType::Close);
    main().keepFinishedRunResults();
    std::ifstream again(dir + "/Plashwerk_Scores.csv");
    size_t rows = 0;
    for (std::string line; std::getline(again, line);) ++rows;
    EXPECT_EQ(rows, 3u);
}

}  // namespace
}  // namespace plashwerk
