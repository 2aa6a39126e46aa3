// The main window's menu bar: its labels, the layout that drawing and the mouse share, and
// the keyboard and mouse driving it through the offscreen desktop's input path, with the
// messages that reach the window's procedure.
#include "platform/window/menu_bar.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/window.h"

namespace plashwerk::window {
namespace {

TEST(MenuLabels, TheAmpersandMarksTheMnemonicAndIsDropped) {
    const MenuLabel file = parseMenuLabel("&File");
    EXPECT_STREQ(file.text, "File");
    EXPECT_EQ(file.mnemonic_index, 0);
    EXPECT_EQ(file.mnemonic, 'F');
    const MenuLabel exit = parseMenuLabel("E&xit");
    EXPECT_STREQ(exit.text, "Exit");
    EXPECT_EQ(exit.mnemonic_index, 1);
    EXPECT_EQ(exit.mnemonic, 'X');
    EXPECT_STREQ(parseMenuLabel("&About ...").text, "About ...");

    const MenuLabel doubled = parseMenuLabel("Save && &quit");
    EXPECT_STREQ(doubled.text, "Save & quit");
    EXPECT_EQ(doubled.mnemonic_index, 7);
    EXPECT_EQ(doubled.mnemonic, 'Q');
    EXPECT_EQ(parseMenuLabel("plain").mnemonic_index, -1);
    EXPECT_STREQ(parseMenuLabel("trailing&").text, "trailing&");
    EXPECT_STREQ(parseMenuLabel(nullptr).text, "");
    const std::string longest(100, 'a');
    EXPECT_EQ(std::strlen(parseMenuLabel(longest.c_str()).text), size_t(kMenuLabelBytes - 1));
}

TEST(MenuLayout, TitlesSitSideBySideAndEachDropDownHangsBelowItsTitle) {
    const MenuBarLayout l = layoutMenuBar(640, kMenuBarHeight);
    int right = 0;
    for (int m = 0; m < kMenuCount; ++m) {
        const MenuRect& t = l.titles[m];
        EXPECT_EQ(t.x, right) << m;
        EXPECT_EQ(t.y, 0);
        EXPECT_EQ(t.height, kMenuBarHeight);
        right = t.x + t.width;
        const MenuRect& d = l.drop_downs[m];
        EXPECT_EQ(d.x, t.x) << m;
        EXPECT_EQ(d.y, kMenuBarHeight) << "the drop-down starts where the strip ends";
        for (int i = 0; i < kMainMenus[m].item_count; ++i) {
            const MenuRect& it = l.items[m][i];
            EXPECT_GE(it.x, d.x + 1);
            EXPECT_GE(it.y, d.y + 1);
            EXPECT_LE(it.x + it.width, d.x + d.width - 1);
            EXPECT_LE(it.y + it.height, d.y + d.height - 1);
        }
    }
    EXPECT_LE(right, 640);

    // A window narrower than Help's drop-down keeps it inside from the left edge.
    const MenuBarLayout narrow = layoutMenuBar(100, kMenuBarHeight);
    EXPECT_EQ(narrow.drop_downs[1].x, 0);
    EXPECT_EQ(narrow.items[1][0].x, kMenuDropFrame);
    const MenuBarLayout medium = layoutMenuBar(160, kMenuBarHeight);
    EXPECT_EQ(medium.drop_downs[1].x + medium.drop_downs[1].width, 160);
}

TEST(MenuLayout, HitTestFollowsTheRectanglesToTheirEdges) {
    const MenuBarLayout l = layoutMenuBar(640, kMenuBarHeight);
    const MenuRect& file = l.titles[0];
    const MenuRect& help = l.titles[1];
    EXPECT_EQ(hitTestMenuBar(l, -1, 0, 0).kind, MenuHit::Title);
    EXPECT_EQ(hitTestMenuBar(l, -1, file.width - 1, kMenuBarHeight - 1).menu, 0);
    EXPECT_EQ(hitTestMenuBar(l, -1, file.width, 5).menu, 1) << "the next cell starts there";
    EXPECT_EQ(hitTestMenuBar(l, -1, help.x + help.width, 5).kind, MenuHit::Strip);
    EXPECT_EQ(hitTestMenuBar(l, -1, 639, 0).kind, MenuHit::Strip);
    EXPECT_EQ(hitTestMenuBar(l, -1, 640, 0).kind, MenuHit::None);
    EXPECT_EQ(hitTestMenuBar(l, -1, 5, kMenuBarHeight).kind, MenuHit::None);
    EXPECT_EQ(hitTestMenuBar(l, -1, 5, -1).kind, MenuHit::None);

    // A closed drop-down's area is the scene's; an open one's is the menu's.
    const MenuRect& exit = l.items[0][0];
    EXPECT_EQ(hitTestMenuBar(l, -1, exit.x + 2, exit.y + 2).kind, MenuHit::None);
    const MenuHit about = hitTestMenuBar(l, 1, exit.x + 50, exit.y + 2);
    EXPECT_EQ(about.kind, MenuHit::Item) << "where the two drop-downs overlap, the open one";
    EXPECT_EQ(about.menu, 1);
    const MenuHit item = hitTestMenuBar(l, 0, exit.x, exit.y);
    EXPECT_EQ(item.kind, MenuHit::Item);
    EXPECT_EQ(item.menu, 0);
    EXPECT_EQ(item.item, 0);
    const MenuRect& d = l.drop_downs[0];
    EXPECT_EQ(hitTestMenuBar(l, 0, d.x, d.y).kind, MenuHit::DropDown) << "the frame";
    EXPECT_EQ(hitTestMenuBar(l, 0, d.x + d.width, d.y + 5).kind, MenuHit::None);
    EXPECT_EQ(hitTestMenuBar(l, 0, d.x + 5, d.y + d.height).kind, MenuHit::None);
    EXPECT_EQ(hitTestMenuBar(l, 7, 5, 5).menu, 0) << "a bad open menu is ignored";
}

// ---------------------------------------------------------------------------------------
// Events through the offscreen desktop's input path.

class MenuEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        system = openOffscreenWindowSystem({1920, 1080, 32});
        WindowDesc d;
        d.width = 640;
        d.height = 480;
        d.menu_bar = true;
        window = system->createWindow(d, nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(window->menuBar(), nullptr);
        menu = window->menuBar();
    }
    void TearDown() override { system->destroyWindow(window); }

    void input(MessageType type, int64_t wparam = 0, uint8_t mods = 0, int x = 0, int y = 0) {
        Message m;
        m.window = window;
        m.type = type;
        m.wparam = wparam;
        m.modifiers = mods;
        m.x = x;
        m.y = y;
        system->deliverInput(m);
    }
    void key(int vk, uint8_t mods = 0) { input(MessageType::KeyDown, vk, mods); }
    // Positions in strip coordinates, delivered in client coordinates as the device gives.
    void move(int x, int y) { input(MessageType::MouseMove, 0, 0, x, y - kMenuBarHeight); }
    void click(int x, int y) {
        input(MessageType::LButtonDown, 0, 0, x, y - kMenuBarHeight);
        input(MessageType::LButtonUp, 0, 0, x, y - kMenuBarHeight);
    }
    void clickRect(const MenuRect& r) { click(r.x + r.width / 2, r.y + r.height / 2); }

    // What reached the window's queue since the last call.
    std::vector<Message> queued() {
        std::vector<Message> out;
        Message m;
        while (system->peekMessage(m)) out.push_back(m);
        return out;
    }
    bool onlyCommand(int command) {
        const std::vector<Message> q = queued();
        return q.size() == 1 && q[0].type == MessageType::Command && q[0].wparam == command;
    }

    std::unique_ptr<WindowSystem> system;
    Window* window = nullptr;
    MenuBar* menu = nullptr;
};

TEST_F(MenuEvents, AltAndATitleLetterOpenItsMenuAndTheItemLetterSendsTheCommand) {
    key('F', kModAlt);
    EXPECT_EQ(menu->view(), (MenuBarView{0, -1, 0})) << "open with its first item lit";
    EXPECT_TRUE(queued().empty());
    key('X');
    EXPECT_TRUE(onlyCommand(kMenuCommandExit));
    EXPECT_FALSE(menu->isOpen());

    key('H', kModAlt);
    key('A', kModAlt);  // Alt still held
    EXPECT_TRUE(onlyCommand(kMenuCommandAbout));

    key('H', kModAlt);
    key(VK_RETURN);
    EXPECT_TRUE(onlyCommand(kMenuCommandAbout));
}

TEST_F(MenuEvents, EscapeClosesAnOpenMenuWithoutReachingTheWindow) {
    key('F', kModAlt);
    key(VK_ESCAPE);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_TRUE(queued().empty()) << "Escape that closes a menu does not end the run";

    key(VK_ESCAPE);
    const std::vector<Message> q = queued();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].type, MessageType::KeyDown);
    EXPECT_EQ(q[0].wparam, VK_ESCAPE);
}

TEST_F(MenuEvents, AnOpenMenuKeepsTheRunsKeysAndCharactersToItself) {
    key('F');
    key('I', kModAlt);
    EXPECT_EQ(queued().size(), 2u) << "plain F and an Alt letter of no menu go to the window";

    key('F', kModAlt);
    key(VK_F1 + 8);
    key('T');
    key(VK_MENU);
    input(MessageType::Char, 't');
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(menu->view().open_menu, 0);

    key(VK_RIGHT);
    EXPECT_EQ(menu->view(), (MenuBarView{1, -1, 0}));
    key(VK_LEFT);
    key(VK_LEFT);
    EXPECT_EQ(menu->view().open_menu, 1) << "the arrows wrap around";
    key('F', kModAlt);
    EXPECT_EQ(menu->view().open_menu, 0) << "another title's letter switches menus";
    key(VK_DOWN);
    EXPECT_EQ(menu->view().hot_item, 0) << "one item: down stays on it";
    key(VK_ESCAPE);
    input(MessageType::KeyUp, 'F');
    input(MessageType::Char, 't');
    EXPECT_EQ(queued().size(), 2u) << "releases and characters pass once the menu is closed";
}

TEST_F(MenuEvents, ClickingFileThenExitSendsExitAndNothingReachesTheScene) {
    const MenuBarLayout& l = menu->layout();
    clickRect(l.titles[0]);
    EXPECT_EQ(menu->view().open_menu, 0);
    EXPECT_TRUE(queued().empty());
    clickRect(l.items[0][0]);
    EXPECT_TRUE(onlyCommand(kMenuCommandExit));
    EXPECT_FALSE(menu->isOpen());

    clickRect(l.titles[1]);
    clickRect(l.items[1][0]);
    EXPECT_TRUE(onlyCommand(kMenuCommandAbout));
}

TEST_F(MenuEvents, ClicksOnTheTitleToggleAndClicksElsewhereOnlyClose) {
    const MenuBarLayout& l = menu->layout();
    clickRect(l.titles[0]);
    clickRect(l.titles[0]);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_EQ(menu->view().hot_title, 0) << "still under the mouse";

    clickRect(l.titles[1]);
    click(300, 200);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_TRUE(queued().empty()) << "the click that closes the menu is the menu's";
    const MenuRect& d = l.drop_downs[0];
    clickRect(l.titles[0]);
    click(d.x + 1, d.y + 1);
    EXPECT_TRUE(menu->isOpen()) << "the drop-down's frame does nothing";
    click(600, 5);
    EXPECT_FALSE(menu->isOpen()) << "the empty strip closes it";
    EXPECT_TRUE(queued().empty());

    click(300, 200);
    const std::vector<Message> q = queued();
    ASSERT_EQ(q.size(), 2u) << "with the menu closed the scene gets its clicks";
    EXPECT_EQ(q[0].type, MessageType::LButtonDown);
    EXPECT_EQ(q[0].y, 200 - kMenuBarHeight);
}

TEST_F(MenuEvents, HoveringHighlightsAndAPressDraggedOntoAnItemChoosesIt) {
    const MenuBarLayout& l = menu->layout();
    move(l.titles[1].x + 3, 3);
    EXPECT_EQ(menu->view(), (MenuBarView{-1, 1, -1}));
    move(300, 200);
    EXPECT_EQ(menu->view(), MenuBarView{});
    move(300, 5);
    EXPECT_EQ(queued().size(), 1u) << "only the move over the scene passes";

    clickRect(l.titles[0]);
    move(l.items[0][0].x + 5, l.items[0][0].y + 5);
    EXPECT_EQ(menu->view(), (MenuBarView{0, -1, 0}));
    move(l.titles[1].x + 3, 3);
    EXPECT_EQ(menu->view(), (MenuBarView{1, -1, -1})) << "tracking moves to the other menu";
    move(300, 200);
    EXPECT_TRUE(queued().empty()) << "the pointer is the open menu's";

    menu->close();
    input(MessageType::LButtonDown, 0, 0, l.titles[0].x + 3, 3 - kMenuBarHeight);
    move(l.items[0][0].x + 5, l.items[0][0].y + 5);
    input(MessageType::LButtonUp, 0, 0, l.items[0][0].x + 5, l.items[0][0].y + 5 - kMenuBarHeight);
    EXPECT_TRUE(onlyCommand(kMenuCommandExit));
}

TEST_F(MenuEvents, RightClicksAndMinimisingCloseAnOpenMenu) {
    key('H', kModAlt);
    input(MessageType::RButtonDown, 0, 0, 300, 100);
    input(MessageType::RButtonUp, 0, 0, 300, 100);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_TRUE(queued().empty());
    key('H', kModAlt);
    input(MessageType::Size, 1);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_EQ(queued().size(), 1u) << "the window still learns it was minimised";
}

TEST(MenuWithoutStrip, AWindowWithoutMenuBarPassesEverything) {
    auto system = openOffscreenWindowSystem({1920, 1080, 32});
    WindowDesc d;
    d.width = 640;
    d.height = 480;
    d.menu_bar = false;
    Window* w = system->createWindow(d, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->menuBar(), nullptr);
    Message m;
    m.window = w;
    m.type = MessageType::KeyDown;
    m.wparam = 'F';
    m.modifiers = kModAlt;
    system->deliverInput(m);
    m.wparam = VK_ESCAPE;
    system->deliverInput(m);
    int n = 0;
    while (system->peekMessage(m)) ++n;
    EXPECT_EQ(n, 2);
    d.menu_bar = true;
    d.fullscreen = true;
    Window* full = system->createWindow(d, nullptr);
    EXPECT_EQ(full->menuBar(), nullptr) << "full screen has no menu";
    system->destroyWindow(full);
    system->destroyWindow(w);
}

// The render thread reads the view while the main thread moves it: each read is a view
// the events could have made, never a mix of two (ThreadSanitizer checks the access).
TEST_F(MenuEvents, TheViewReadFromAnotherThreadIsAlwaysWhole) {
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done.load()) {
            const MenuBarView v = menu->view();
            const bool whole =
                v == MenuBarView{} || v == MenuBarView{0, -1, 0} || v == MenuBarView{1, -1, 0};
            if (!whole) torn.fetch_add(1);
        }
    });
    for (int i = 0; i < 20000; ++i) {
        key(i % 2 ? 'F' : 'H', kModAlt);
        key(VK_ESCAPE);
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_TRUE(queued().empty());
}

}  // namespace
}  // namespace plashwerk::window
