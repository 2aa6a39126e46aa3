#include "render/menu_bar_painter.h"

#include <algorithm>
#include <cmath>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_font.h"
#include "platform/engine/vn_math.h"
#include "platform/engine/vn_render_window.h"

namespace plashwerk {

using namespace Vantorr_nsp;
using window::kMainMenus;
using window::kMenuCount;

namespace {

constexpr float kByte = 1.0f / 255.0f;
// A light desktop theme: grey bar, black text, pale blue highlights with a darker edge.
constexpr vnColor kBarColor{240 * kByte, 240 * kByte, 240 * kByte, 1.0f};
constexpr vnColor kTextColor{0.0f, 0.0f, 0.0f, 1.0f};
constexpr vnColor kHotFill{229 * kByte, 243 * kByte, 255 * kByte, 1.0f};
constexpr vnColor kHotEdge{204 * kByte, 232 * kByte, 255 * kByte, 1.0f};
constexpr vnColor kOpenFill{204 * kByte, 232 * kByte, 255 * kByte, 1.0f};
constexpr vnColor kOpenEdge{153 * kByte, 209 * kByte, 255 * kByte, 1.0f};
constexpr vnColor kDropEdge{151 * kByte, 151 * kByte, 151 * kByte, 1.0f};
constexpr vnColor kDropFill{242 * kByte, 242 * kByte, 242 * kByte, 1.0f};
constexpr vnColor kItemHotFill{145 * kByte, 201 * kByte, 247 * kByte, 1.0f};

// Pixels between a drop-down's left edge and its items' text: the gutter where desktop
// menus put check marks and icons.
constexpr float kItemGutter = 24.0f;

void fill(vnRenderer* r, const window::MenuRect& rect, const vnColor& color) {
    r->fillRect(float(rect.x), float(rect.y), float(rect.width), float(rect.height), color);
}

// A one-pixel edge around the rectangle, filled inside.
void box(vnRenderer* r, const window::MenuRect& rect, const vnColor& edge, const vnColor& inside) {
    fill(r, rect, edge);
    r->fillRect(float(rect.x + 1), float(rect.y + 1), float(rect.width - 2), float(rect.height - 2),
                inside);
}

}  // namespace

MenuBarPainter::~MenuBarPainter() {
    release();
}

bool MenuBarPainter::create(const window::MenuBarLayout& layout) {
    release();
    m_layout = layout;
    m_font = Vantorr::getInstance()->createFont("Arial", kMenuFontSize);
    if (!m_font) return false;
    const float line = float(m_font->getLineHeight());
    const float ascent = float(m_font->getAscent());

    // The text's width, and the underline below the mnemonic letter one pixel under the
    // baseline, measured once here so that a frame only draws.
    const auto place = [&](const window::MenuLabel& label, const window::MenuRect& cell,
                           bool centred, MenuLabelPlacement& out) {
        m_font->setText("%s", label.text);
        out.text_width = m_font->getTextWidth();
        out.text_x = std::floor(centred ? float(cell.x) + (float(cell.width) - out.text_width) / 2
                                        : float(cell.x) + kItemGutter);
        out.text_y = std::floor(float(cell.y) + (float(cell.height) - line) / 2);
        out.underline_width = 0.0f;
        if (label.mnemonic_index < 0) return;
        m_font->setText("%.*s", label.mnemonic_index, label.text);
        out.underline_x = out.text_x + m_font->getTextWidth();
        m_font->setText("%c", label.text[label.mnemonic_index]);
        out.underline_width = std::max(1.0f, std::round(m_font->getTextWidth() - 1.0f));
        out.underline_y = out.text_y + ascent + 1.0f;
    };
    for (int m = 0; m < kMenuCount; ++m) {
        m_titles[m] = window::parseMenuLabel(kMainMenus[m].label);
        place(m_titles[m], m_layout.titles[m], true, m_title_places[m]);
        for (int i = 0; i < kMainMenus[m].item_count; ++i) {
            m_items[m][i] = window::parseMenuLabel(kMainMenus[m].items[i].label);
            place(m_items[m][i], m_layout.items[m][i], false, m_item_places[m][i]);
        }
    }
    return true;
}

void MenuBarPainter::release() {
    if (m_font) Vantorr::getInstance()->destroyFont(m_font);
    m_font = nullptr;
}

void MenuBarPainter::drawLabel(const window::MenuLabel& label, const MenuLabelPlacement& place) {
    vnRenderer* r = vnRenderer::getInstance();
    m_font->setText("%s", label.text);
    m_font->setPosition(place.text_x, place.text_y);
    m_font->setColor(kTextColor.r, kTextColor.g, kTextColor.b);
    m_font->setStyle(0);
    r->drawText(m_font);
    if (place.underline_width > 0.0f)
        r->fillRect(place.underline_x, place.underline_y, place.underline_width, 1.0f, kTextColor);
}

void MenuBarPainter::draw(const window::MenuBarView& view, int client_height) {
    vnRenderer* r = vnRenderer::getInstance();
    vnRenderWindow* rw = Vantorr::getInstance()->getCurrentRenderWindow();
    if (!m_font || !r || !rw || m_layout.strip_height <= 0) return;
    const int w = rw->getWidth(), h = rw->getHeight();
    // Text pixels span the render window's size from the top of the drawable, which is
    // the strip's top: the strip's own coordinates, with the drop-down's room below it.
    r->setViewport(0, client_height + m_layout.strip_height - h, w, h);
    r->beginText();
    r->fillRect(0.0f, 0.0f, float(m_layout.strip_width), float(m_layout.strip_height), kBarColor);
    for (int m = 0; m < kMenuCount; ++m) {
        if (m == view.open_menu)
            box(r, m_layout.titles[m], kOpenEdge, kOpenFill);
        else if (m == view.hot_title && view.open_menu < 0)
            box(r, m_layout.titles[m], kHotEdge, kHotFill);
        drawLabel(m_titles[m], m_title_places[m]);
    }
    const int open = view.open_menu;
    if (open >= 0 && open < kMenuCount) {
        box(r, m_layout.drop_downs[open], kDropEdge, kDropFill);
        for (int i = 0; i < kMainMenus[open].item_count; ++i) {
            if (i == view.hot_item) fill(r, m_layout.items[open][i], kItemHotFill);
            drawLabel(m_items[open][i], m_item_places[open][i]);
        }
    }
    r->endText();
    r->setViewport(0, 0, w, h);
}

}  // namespace plashwerk
