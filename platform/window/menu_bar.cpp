#include "platform/window/menu_bar.h"

#include <algorithm>
#include <cctype>

#include "platform/window/window.h"

namespace plashwerk::window {

// Cells wide enough for the labels in the 13-pixel menu font with 8 pixels either side;
// the drop-downs leave a 24-pixel gutter left of their items, as desktop menus do.
const MenuDef kMainMenus[kMenuCount] = {
    {"&File", 40, 140, 1, {{"E&xit", kMenuCommandExit}, {nullptr, 0}}},
    {"&Help", 44, 140, 1, {{"&About ...", kMenuCommandAbout}, {nullptr, 0}}},
};

MenuLabel parseMenuLabel(const char* label) {
    MenuLabel out;
    if (!label) return out;
    int n = 0;
    for (const char* p = label; *p && n < kMenuLabelBytes - 1; ++p) {
        if (*p == '&' && p[1] != '\0') {
            ++p;
            if (*p != '&' && out.mnemonic_index < 0) {
                out.mnemonic_index = n;
                out.mnemonic = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
            }
        }
        out.text[n++] = *p;
    }
    out.text[n] = '\0';
    return out;
}

MenuBarLayout layoutMenuBar(int strip_width, int strip_height) {
    MenuBarLayout l;
    l.strip_width = std::max(strip_width, 0);
    l.strip_height = std::max(strip_height, 0);
    int x = 0;
    for (int m = 0; m < kMenuCount; ++m) {
        const MenuDef& def = kMainMenus[m];
        l.titles[m] = {x, 0, def.title_width, l.strip_height};
        x += def.title_width;

        MenuRect& drop = l.drop_downs[m];
        drop.width = def.drop_width;
        drop.height = 2 * kMenuDropFrame + def.item_count * kMenuItemHeight;
        drop.x = std::max(0, std::min(l.titles[m].x, l.strip_width - drop.width));
        drop.y = l.strip_height;
        for (int i = 0; i < def.item_count; ++i)
            l.items[m][i] = {drop.x + kMenuDropFrame, drop.y + kMenuDropFrame + i * kMenuItemHeight,
                             drop.width - 2 * kMenuDropFrame, kMenuItemHeight};
    }
    return l;
}

MenuHit hitTestMenuBar(const MenuBarLayout& layout, int open_menu, int x, int y) {
    MenuHit hit;
    // The open drop-down lies over everything else.
    if (open_menu >= 0 && open_menu < kMenuCount && layout.drop_downs[open_menu].contains(x, y)) {
        hit.menu = open_menu;
        hit.kind = MenuHit::DropDown;
        for (int i = 0; i < kMainMenus[open_menu].item_count; ++i) {
            if (layout.items[open_menu][i].contains(x, y)) {
                hit.kind = MenuHit::Item;
                hit.item = i;
            }
        }
        return hit;
    }
    if (x < 0 || x >= layout.strip_width || y < 0 || y >= layout.strip_height) return hit;
    hit.kind = MenuHit::Strip;
    for (int m = 0; m < kMenuCount; ++m) {
        if (layout.titles[m].contains(x, y)) {
            hit.kind = MenuHit::Title;
            hit.menu = m;
        }
    }
    return hit;
}

// ---------------------------------------------------------------------------------------
// State

namespace {

// The view in one word, each field plus one in a byte, so that a reader on another thread
// never sees half of a change.
uint32_t pack(const MenuBarView& v) {
    return uint32_t(v.open_menu + 1) | uint32_t(v.hot_title + 1) << 8 |
           uint32_t(v.hot_item + 1) << 16;
}
MenuBarView unpack(uint32_t word) {
    MenuBarView v;
    v.open_menu = int(word & 0xFF) - 1;
    v.hot_title = int(word >> 8 & 0xFF) - 1;
    v.hot_item = int(word >> 16 & 0xFF) - 1;
    return v;
}

constexpr MenuInput kTaken{true, 0};
constexpr MenuInput kPassed{false, 0};

}  // namespace

MenuBar::MenuBar(int strip_width, int strip_height)
    : m_layout(layoutMenuBar(strip_width, strip_height)) {
    for (int m = 0; m < kMenuCount; ++m) {
        m_titles[m] = parseMenuLabel(kMainMenus[m].label);
        for (int i = 0; i < kMainMenus[m].item_count; ++i)
            m_items[m][i] = parseMenuLabel(kMainMenus[m].items[i].label);
    }
}

MenuBarView MenuBar::view() const {
    return unpack(m_view.load(std::memory_order_acquire));
}

void MenuBar::set(const MenuBarView& v) {
    m_view.store(pack(v), std::memory_order_release);
}

void MenuBar::close() {
    set(MenuBarView{});
    m_button_captured = false;
}

MenuInput MenuBar::choose(const MenuBarView& v, int item) {
    if (v.open_menu < 0 || item < 0 || item >= kMainMenus[v.open_menu].item_count) return kTaken;
    const int command = kMainMenus[v.open_menu].items[item].command;
    close();
    return {true, command};
}

MenuInput MenuBar::onKeyDown(int vk, uint8_t modifiers) {
    MenuBarView v = view();
    const auto titleWithLetter = [this](int letter) {
        for (int m = 0; m < kMenuCount; ++m)
            if (m_titles[m].mnemonic == letter) return m;
        return -1;
    };
    if (v.open_menu < 0) {
        if (!(modifiers & kModAlt)) return kPassed;
        const int m = titleWithLetter(vk);
        if (m < 0) return kPassed;
        set({m, -1, 0});
        return kTaken;
    }

    const int count = kMainMenus[v.open_menu].item_count;
    switch (vk) {
        case VK_ESCAPE:
            close();
            return kTaken;
        case VK_RETURN:
            return v.hot_item >= 0 ? choose(v, v.hot_item) : kTaken;
        case VK_LEFT:
        case VK_RIGHT:
            v.open_menu = (v.open_menu + (vk == VK_RIGHT ? 1 : kMenuCount - 1)) % kMenuCount;
            v.hot_item = 0;
            set(v);
            return kTaken;
        case VK_UP:
        case VK_DOWN:
            v.hot_item =
                v.hot_item < 0 ? 0 : (v.hot_item + (vk == VK_DOWN ? 1 : count - 1)) % count;
            set(v);
            return kTaken;
        default:
            break;
    }
    for (int i = 0; i < count; ++i)
        if (m_items[v.open_menu][i].mnemonic == vk) return choose(v, i);
    if (modifiers & kModAlt) {
        const int m = titleWithLetter(vk);
        if (m >= 0) set({m, -1, 0});
    }
    return kTaken;
}

MenuInput MenuBar::onChar() {
    return isOpen() ? kTaken : kPassed;
}

MenuInput MenuBar::onMouseMove(int x, int y) {
    MenuBarView v = view();
    const MenuHit hit = hitTestMenuBar(m_layout, v.open_menu, x, y);
    if (v.open_menu >= 0) {
        if (hit.kind == MenuHit::Title && hit.menu != v.open_menu) {
            v.open_menu = hit.menu;
            v.hot_item = -1;
        } else if (hit.kind == MenuHit::Item) {
            v.hot_item = hit.item;
        } else if (hit.kind != MenuHit::Title) {
            v.hot_item = -1;
        }
        set(v);
        // The pointer belongs to the open menu: the scene's camera does not follow it.
        return kTaken;
    }
    v.hot_title = hit.kind == MenuHit::Title ? hit.menu : -1;
    set(v);
    return hit.kind != MenuHit::None || m_button_captured ? kTaken : kPassed;
}

MenuInput MenuBar::onButtonDown(int x, int y) {
    MenuBarView v = view();
    const MenuHit hit = hitTestMenuBar(m_layout, v.open_menu, x, y);
    if (hit.kind == MenuHit::None && v.open_menu < 0) return kPassed;
    m_button_captured = true;
    switch (hit.kind) {
        case MenuHit::Title:
            if (hit.menu == v.open_menu)
                set({-1, hit.menu, -1});
            else
                set({hit.menu, -1, -1});
            break;
        case MenuHit::Item:
            v.hot_item = hit.item;
            set(v);
            break;
        case MenuHit::DropDown:
            break;
        case MenuHit::Strip:
        case MenuHit::None:
            set({-1, -1, -1});
            break;
    }
    return kTaken;
}

MenuInput MenuBar::onButtonUp(int x, int y) {
    if (!m_button_captured) return kPassed;
    m_button_captured = false;
    const MenuBarView v = view();
    const MenuHit hit = hitTestMenuBar(m_layout, v.open_menu, x, y);
    if (hit.kind == MenuHit::Item) return choose(v, hit.item);
    return kTaken;
}

MenuInput MenuBar::onRightButton(bool down) {
    if (down) {
        if (!isOpen()) return kPassed;
        close();
        m_right_captured = true;
        return kTaken;
    }
    if (!m_right_captured) return kPassed;
    m_right_captured = false;
    return kTaken;
}

}  // namespace plashwerk::window
