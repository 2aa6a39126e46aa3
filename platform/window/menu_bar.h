#pragma once
// The main window's menu bar: its menus as a table, the layout of the strip and its
// drop-downs, and the state that the keyboard and the mouse move.
//
// Contents:
//   the menus: kMainMenus, MenuLabel
//   MenuRect, MenuBarLayout, layoutMenuBar, MenuHit, hitTestMenuBar
//   MenuBarView: what is drawn (open menu, highlighted title and item)
//   MenuBar: the state machine behind the strip, MenuInput
//
// One layout serves the drawing (render thread) and the mouse (main thread), so what is
// seen and what is hit cannot disagree. Coordinates are window pixels with the origin at
// the top-left corner of the strip, y down: the client area begins at y = strip height and
// an open drop-down hangs over its top.
//
// Threads: the main thread feeds events into MenuBar; the render thread reads view(), a
// single atomic word, once per frame. The layout is fixed when the bar is made.

#include <atomic>
#include <cstdint>

namespace plashwerk::window {

inline constexpr int kMenuCount = 2;
inline constexpr int kMenuMaxItems = 2;
inline constexpr int kMenuLabelBytes = 32;

struct MenuItemDef {
    const char* label;  ///< '&' marks the mnemonic letter that follows it
    int command;        ///< command id sent to the window when the item is chosen
};

struct MenuDef {
    const char* label;  ///< '&' marks the mnemonic letter
    int title_width;    ///< pixels of the title's cell in the strip
    int drop_width;     ///< pixels of the drop-down, frame included
    int item_count;
    MenuItemDef items[kMenuMaxItems];
};

/// "&File" with "E&xit" (command 105) and "&Help" with "&About ..." (command 104).
extern const MenuDef kMainMenus[kMenuCount];

/// A label without its '&', with the position and upper-case letter of its mnemonic
/// (-1 and 0 without one). "&&" stands for a plain '&'. Cut to kMenuLabelBytes - 1 bytes.
struct MenuLabel {
    char text[kMenuLabelBytes] = {};
    int mnemonic_index = -1;
    char mnemonic = 0;
};
MenuLabel parseMenuLabel(const char* label);

struct MenuRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool contains(int px, int py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
};

/// Frame of a drop-down around its items, and the height of one item row, in pixels.
inline constexpr int kMenuDropFrame = 3;
inline constexpr int kMenuItemHeight = 22;

struct MenuBarLayout {
    int strip_width = 0;
    int strip_height = 0;
    MenuRect titles[kMenuCount];
    MenuRect drop_downs[kMenuCount];  ///< frame included
    MenuRect items[kMenuCount][kMenuMaxItems];
};

/// The titles side by side from the strip's left edge; each drop-down below its title,
/// moved left where it would leave a narrow window.
MenuBarLayout layoutMenuBar(int strip_width, int strip_height);

struct MenuHit {
    enum Kind : uint8_t {
        None,      ///< the client area, outside any open drop-down
        Strip,     ///< the strip beside the titles
        Title,     ///< menu's title
        Item,      ///< menu's item of the open drop-down
        DropDown,  ///< the open drop-down's frame
    };
    Kind kind = None;
    int menu = -1;
    int item = -1;
};

/// What lies at x, y with drop-down open_menu open (-1: none).
MenuHit hitTestMenuBar(const MenuBarLayout& layout, int open_menu, int x, int y);

/// What the strip shows: -1 for none of each.
struct MenuBarView {
    int open_menu = -1;
    int hot_title = -1;  ///< title under the mouse while no menu is open
    int hot_item = -1;   ///< highlighted item of the open menu
    bool operator==(const MenuBarView&) const = default;
};

/// The answer to one event: whether the menu took it (it must not reach the window's
/// procedure then), and the command of an item chosen by it (0: none).
struct MenuInput {
    bool consumed = false;
    int command = 0;
};

class MenuBar {
  public:
    MenuBar(int strip_width, int strip_height);

    const MenuBarLayout& layout() const { return m_layout; }
    /// Any thread.
    MenuBarView view() const;
    bool isOpen() const { return view().open_menu >= 0; }

    // Main thread. Keys are virtual-key codes with the kMod* bits; positions are in strip
    // coordinates.
    /// Closed: Alt and a title's letter open that menu with its first item highlighted.
    /// Open: an item's letter or Enter chooses, Escape closes, the arrows move, other keys
    /// are swallowed so that the run's keys stay quiet while a menu is open.
    MenuInput onKeyDown(int vk, uint8_t modifiers);
    /// Characters are the menu's while it is open.
    MenuInput onChar();
    /// Highlights the title or item under the mouse; while a menu is open, moving onto
    /// another title opens that one.
    MenuInput onMouseMove(int x, int y);
    /// A press on a title opens or closes its menu; a press anywhere else closes an open
    /// menu (and goes no further).
    MenuInput onButtonDown(int x, int y);
    /// Releasing over an item of the open menu chooses it.
    MenuInput onButtonUp(int x, int y);
    /// A right press closes an open menu; it and its release are the menu's then.
    MenuInput onRightButton(bool down);
    /// Closes the menu and forgets the highlight (the window lost the pointer or focus).
    void close();

  private:
    void set(const MenuBarView& v);
    MenuInput choose(const MenuBarView& v, int item);

    MenuBarLayout m_layout;
    std::atomic<uint32_t> m_view{0};
    bool m_button_captured = false;  ///< the last press was the menu's, and so is its release
    bool m_right_captured = false;   ///< the same for the right button
    MenuLabel m_titles[kMenuCount];
    MenuLabel m_items[kMenuCount][kMenuMaxItems];
};

}  // namespace plashwerk::window
