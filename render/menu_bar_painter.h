#pragma once
// The main window's menu strip, drawn by the render thread with the engine's font: a light
// grey bar with the titles, their mnemonic letters underlined, the open or hovered title
// highlighted, and the open drop-down over the top of the scene with its highlighted item.
//
// Where things go comes from the window's menu layout, the same one the mouse is tested
// against. The painter owns its font: create it with the render window current, draw once
// per frame after everything else and before presenting, release before the render window.

#include "platform/window/menu_bar.h"

namespace Vantorr_nsp {
class vnFont;
}

namespace plashwerk {

/// Em height of the menu font in pixels: the size of a desktop's menu text.
inline constexpr int kMenuFontSize = 13;

/// Where a label's text and its mnemonic's underline go inside a cell.
struct MenuLabelPlacement {
    float text_x = 0.0f;  ///< left edge of the text
    float text_y = 0.0f;  ///< top of the text's line
    float underline_x = 0.0f;
    float underline_y = 0.0f;
    float underline_width = 0.0f;  ///< 0: no mnemonic
    float text_width = 0.0f;
};

class MenuBarPainter {
  public:
    MenuBarPainter() = default;
    ~MenuBarPainter();
    MenuBarPainter(const MenuBarPainter&) = delete;
    MenuBarPainter& operator=(const MenuBarPainter&) = delete;

    /// The font and the placement of every label in `layout`. False when the font cannot
    /// be made; draw does nothing then.
    bool create(const window::MenuBarLayout& layout);
    void release();
    bool ready() const { return m_font != nullptr; }

    /// Draws the strip and, when open, the drop-down into the current render window,
    /// whose drawable holds the strip above `client_height` rows of scene. Leaves the
    /// viewport on the client area.
    void draw(const window::MenuBarView& view, int client_height);

    /// Placement of a title's or item's label (item -1: the title's), for tests.
    const MenuLabelPlacement& placement(int menu, int item) const {
        return item < 0 ? m_title_places[menu] : m_item_places[menu][item];
    }

  private:
    void drawLabel(const window::MenuLabel& label, const MenuLabelPlacement& place);

    Vantorr_nsp::vnFont* m_font = nullptr;
    window::MenuBarLayout m_layout;
    window::MenuLabel m_titles[window::kMenuCount];
    window::MenuLabel m_items[window::kMenuCount][window::kMenuMaxItems];
    MenuLabelPlacement m_title_places[window::kMenuCount];
    MenuLabelPlacement m_item_places[window::kMenuCount][window::kMenuMaxItems];
};

}  // namespace plashwerk
