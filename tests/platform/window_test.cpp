// Windows, display modes and the message queue: the offscreen desktop everywhere, real
// GLFW windows where a display exists (under xvfb-run in CI).
#include "platform/window/window.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace plashwerk::window {
namespace {

struct Recorder final : MessageHandler {
    long onMessage(Window&, const Message& m) override {
        seen.push_back(m);
        return 7;
    }
    std::vector<Message> seen;
};

TEST(VirtualKeys, GlfwKeysBecomeWindowsCodes) {
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_ESCAPE), 27);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_I), 73);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_A), 'A');
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_Z), 'Z');
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_0), '0');
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_9), '9');
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_F1), 112);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_F9), 120);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_F24), 135);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_SPACE), 32);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_UP), VK_UP);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_DOWN), VK_DOWN);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_KP_5), VK_NUMPAD0 + 5);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_LEFT_CONTROL), VK_CONTROL);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_RIGHT_CONTROL), VK_CONTROL);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_SLASH), VK_OEM_2);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_UNKNOWN), 0);
    EXPECT_EQ(virtualKeyFromGlfwKey(GLFW_KEY_WORLD_1), 0);
    EXPECT_EQ(virtualKeyFromGlfwKey(100000), 0);
}

TEST(OffscreenDesktop, WindowsLoseTheirFrameAndMenuFromTheOuterSize) {
    auto system = openOffscreenWindowSystem({1920, 1080, 32});
    EXPECT_TRUE(system->offscreen());
    EXPECT_EQ(system->desktopMode().width, 1920);
    Recorder r;
    WindowDesc d;
    d.width = 1920;
    d.height = 1080;
    d.menu_bar = true;
    Window* with_menu = system->createWindow(d, &r);
    ASSERT_NE(with_menu, nullptr);
    EXPECT_EQ(with_menu->outerWidth(), 1920);
    EXPECT_LT(with_menu->clientWidth(), 1920);
    EXPECT_LT(with_menu->clientHeight(), 1080);
    d.menu_bar = false;
    Window* without = system->createWindow(d, &r);
    EXPECT_EQ(without->clientHeight(), with_menu->clientHeight() + kMenuBarHeight);
    EXPECT_EQ(without->clientWidth(), with_menu->clientWidth());
    d.fullscreen = true;
    Window* full = system->createWindow(d, &r);
    EXPECT_EQ(full->clientWidth(), 1920);
    EXPECT_EQ(full->clientHeight(), 1080);
    d.fullscreen = false;
    d.width = 2;
    d.height = 2;
    Window* tiny = system->createWindow(d, &r);
    EXPECT_EQ(tiny->clientWidth(), 1) << "a window smaller than its frame keeps one pixel";
    EXPECT_EQ(tiny->clientHeight(), 1);
    d.width = 0;
    EXPECT_EQ(system->createWindow(d, &r), nullptr);
    for (Window* w : {with_menu, without, full, tiny}) system->destroyWindow(w);
    system->destroyWindow(nullptr);
}

TEST(OffscreenDesktop, DisplayModesSwitchWithinTheVirtualScreenAndRestore) {
    auto system = openOffscreenWindowSystem({4096, 4096, 32});
    EXPECT_TRUE(system->switchDisplayMode({1280, 720, 32}));
    EXPECT_EQ(system->desktopMode().width, 1280);
    EXPECT_FALSE(system->switchDisplayMode({8192, 720, 32}));
    EXPECT_FALSE(system->switchDisplayMode({1280, 720, 16}));
    EXPECT_FALSE(system->switchDisplayMode({0, 720, 32}));
    system->restoreDisplayMode();
    EXPECT_EQ(system->desktopMode().width, 4096);
    EXPECT_EQ(system->desktopMode().height, 4096);
}

TEST(MessageQueue, PostedFromAnyThreadDispatchedInOrderOnTheMainThread) {
    auto system = openOffscreenWindowSystem({800, 600, 32});
    Recorder r;
    WindowDesc d;
    d.title = "Plashwerk";
    Window* w = system->createWindow(d, &r);
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) w->post(MessageType::KeyDown, i);
        w->setTitle("Quorvex Plashwerk | Running...");
        system->postQuitMessage();
    });
    Message m;
    int dispatched = 0;
    while (system->getMessage(m)) {
        EXPECT_EQ(m.window, w);
        if (m.type == MessageType::KeyDown) {
            EXPECT_EQ(system->dispatchMessage(m), 7);
            EXPECT_EQ(m.wparam, dispatched++);
        } else {
            system->dispatchMessage(m);
        }
    }
    poster.join();
    EXPECT_EQ(dispatched, 100);
    char title[128];
    w->title(title, sizeof title);
    EXPECT_STREQ(title, "Quorvex Plashwerk | Running...");
    EXPECT_EQ(r.seen.size(), 100u) << "title changes are not the procedure's business";
    system->destroyWindow(w);
}

TEST(MessageQueue, MessagesForADestroyedWindowAreDropped) {
    auto system = openOffscreenWindowSystem({800, 600, 32});
    Recorder r;
    Window* w = system->createWindow(WindowDesc{}, &r);
    w->post(MessageType::Close);
    w->setTitle("late");
    system->destroyWindow(w);
    system->postQuitMessage();
    Message m;
    EXPECT_FALSE(system->getMessage(m)) << "only the quit message is left";
    EXPECT_EQ(m.type, MessageType::Quit);
    EXPECT_FALSE(system->peekMessage(m));
}

// Real windows need a display: run under xvfb-run, skipped without one.
class GlfwWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        char error[256];
        if (!std::getenv("DISPLAY") || !(system = openGlfwWindowSystem(error, sizeof error)))
            GTEST_SKIP() << "no display";
    }
    std::unique_ptr<WindowSystem> system;
};

TEST_F(GlfwWindows, WindowedClientAreaAndCentring) {
    const DisplayMode desktop = system->desktopMode();
    EXPECT_GT(desktop.width, 0);
    EXPECT_EQ(desktop.bits_per_pixel, 32);
    Recorder r;
    WindowDesc d;
    d.title = "Plashwerk";
    d.width = 640;
    d.height = 480;
    d.menu_bar = true;
    Window* w = system->createWindow(d, &r);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->outerWidth(), 640);
    EXPECT_LE(w->clientWidth(), 640);
    EXPECT_LE(w->clientHeight(), 480 - kMenuBarHeight);
    EXPECT_NE(w->glfwWindow(), nullptr);
    w->moveTo(desktop.width / 2 - 320, desktop.height / 2 - 240);
    w->show();
    w->setTitle("Quorvex Plashwerk | Running...");
    system->postQuitMessage();
    Message m;
    while (system->getMessage(m)) system->dispatchMessage(m);
    char title[128];
    w->title(title, sizeof title);
    EXPECT_STREQ(title, "Quorvex Plashwerk | Running...");
    system->destroyWindow(w);
}

TEST_F(GlfwWindows, FullScreenTakesWhatTheDisplayGivesAndRestores) {
    ASSERT_TRUE(system->switchDisplayMode({640, 480, 32}));
    Recorder r;
    WindowDesc d;
    d.width = 640;
    d.height = 480;
    d.fullscreen = true;
    Window* w = system->createWindow(d, &r);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->fullscreen());
    EXPECT_GT(w->clientWidth(), 0);
    EXPECT_GT(w->clientHeight(), 0);
    system->restoreDisplayMode();
    system->destroyWindow(w);
}

}  // namespace
}  // namespace plashwerk::window
