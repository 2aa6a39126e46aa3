// The menu strip drawn offscreen over a black scene and checked by its pixels: a light bar
// with dark text in the title cells, the mnemonic underlined, highlights where the view
// says, and the drop-down over the scene only while its menu is open.
#include "platform/engine/vn_font.h"
#include "platform/window/window.h"
#include "render/menu_bar_painter.h"
#include "tests/platform/engine/offscreen_fixture.h"

namespace plashwerk::test {
namespace {

using namespace Vantorr_nsp;
using window::kMenuBarHeight;
using window::MenuBarView;
using window::MenuRect;

constexpr int kWidth = 320;
constexpr int kClientHeight = 200;

class MenuBarRender : public OffscreenTest {
  protected:
    void SetUp() override {
        OffscreenTest::SetUp();
        // The drawable of a window with a strip: the strip's rows above the client's.
        ASSERT_TRUE(openWindow(kWidth, kClientHeight + kMenuBarHeight));
        layout = window::layoutMenuBar(kWidth, kMenuBarHeight);
        ASSERT_TRUE(painter.create(layout));
    }
    void TearDown() override {
        painter.release();
        OffscreenTest::TearDown();
    }

    void draw(const MenuBarView& view) {
        renderer->setViewport(0, 0, w, h);
        renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        renderer->clear(VN_CLEAR_ALL);
        painter.draw(view, kClientHeight);
        present();
    }
    // A pixel by strip coordinates (from the top).
    Rgb px(int x, int y) const { return at(x, h - 1 - y); }
    // Pixels of the rectangle for which the predicate holds.
    template <typename Pred>
    int countIn(const MenuRect& r, Pred pred) const {
        int n = 0;
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x) n += pred(px(x, y)) ? 1 : 0;
        return n;
    }

    window::MenuBarLayout layout;
    MenuBarPainter painter;
};

bool dark(const Rgb& p) {
    return p.sum() < 3 * 90;
}
bool black(const Rgb& p) {
    return p.sum() == 0;
}
bool lightGrey(const Rgb& p) {
    return p.r == p.g && p.g == p.b && p.r >= 230;
}
bool paleBlue(const Rgb& p) {
    return p.b > p.r + 20 && p.r > 120;
}

TEST_F(MenuBarRender, TheStripIsALightBarWithDarkTextInEachTitle) {
    draw(MenuBarView{});
    const MenuRect strip{0, 0, kWidth, kMenuBarHeight};
    EXPECT_GT(countIn(strip, lightGrey), kWidth * kMenuBarHeight * 9 / 10);
    for (int m = 0; m < window::kMenuCount; ++m) {
        EXPECT_GT(countIn(layout.titles[m], dark), 15) << "text in title " << m;
        EXPECT_EQ(countIn(layout.titles[m], paleBlue), 0) << "no highlight";
    }
    const MenuRect rest{layout.titles[1].x + layout.titles[1].width, 0,
                        kWidth - layout.titles[1].x - layout.titles[1].width, kMenuBarHeight};
    EXPECT_EQ(countIn(rest, lightGrey), rest.width * rest.height) << "bare bar beside the titles";

    // The underline: a dark row below the baseline under "F", and none under "ile".
    const MenuLabelPlacement& f = painter.placement(0, -1);
    ASSERT_GT(f.underline_width, 0.0f);
    const MenuRect under_f{int(f.underline_x), int(f.underline_y), int(f.underline_width), 1};
    EXPECT_EQ(countIn(under_f, dark), under_f.width);
    const MenuRect under_rest{under_f.x + under_f.width + 2, under_f.y,
                              int(f.text_width) - under_f.width - 2, 1};
    EXPECT_EQ(countIn(under_rest, dark), 0);

    const MenuRect scene{0, kMenuBarHeight, kWidth, kClientHeight};
    EXPECT_EQ(countIn(scene, black), kWidth * kClientHeight) << "the scene is left alone";
}

TEST_F(MenuBarRender, AnOpenMenuDrawsItsDropDownOverTheSceneWithItsItemLit) {
    const MenuRect drop = layout.drop_downs[0];
    draw(MenuBarView{0, -1, -1});
    EXPECT_GT(countIn(layout.titles[0], paleBlue), layout.titles[0].width * 10)
        << "the open title is highlighted";
    // Only the item's text is as dark as the scene was.
    EXPECT_LT(countIn(drop, black), countIn(layout.items[0][0], dark))
        << "the drop-down covers the scene";
    EXPECT_GT(countIn(drop, black), 0) << "black text";
    EXPECT_GT(countIn(layout.items[0][0], dark), 15) << "\"Exit\"";
    EXPECT_EQ(countIn(layout.items[0][0], paleBlue), 0);
    EXPECT_TRUE(black(px(drop.x + drop.width + 1, drop.y + 5)));
    EXPECT_TRUE(black(px(drop.x + 5, drop.y + drop.height + 1)));

    draw(MenuBarView{0, -1, 0});
    const MenuRect& item = layout.items[0][0];
    EXPECT_GT(countIn(item, paleBlue), item.width * item.height / 2);
    EXPECT_GT(countIn(item, dark), 15) << "the text stays readable on the highlight";

    draw(MenuBarView{});
    EXPECT_EQ(countIn(drop, black), drop.width * drop.height) << "closed: gone";

    draw(MenuBarView{-1, 1, -1});
    EXPECT_GT(countIn(layout.titles[1], paleBlue), 0) << "hovered title";
    EXPECT_EQ(countIn(layout.drop_downs[1], black),
              layout.drop_downs[1].width * layout.drop_downs[1].height);
}

TEST_F(MenuBarRender, EveryLabelFitsItsCellInTheMenuFont) {
    for (int m = 0; m < window::kMenuCount; ++m) {
        const MenuLabelPlacement& t = painter.placement(m, -1);
        EXPECT_GE(t.text_x, float(layout.titles[m].x + 4)) << m;
        EXPECT_LE(t.text_x + t.text_width, float(layout.titles[m].x + layout.titles[m].width - 4));
        for (int i = 0; i < window::kMainMenus[m].item_count; ++i) {
            const MenuLabelPlacement& p = painter.placement(m, i);
            const MenuRect& cell = layout.items[m][i];
            EXPECT_LE(p.text_x + p.text_width, float(cell.x + cell.width - 8)) << m << i;
            EXPECT_GE(p.text_y, float(cell.y));
            EXPECT_LE(p.underline_y, float(cell.y + cell.height - 1));
        }
    }
}

TEST(MenuBarPainterWithoutFont, DrawsNothingBeforeItIsCreated) {
    MenuBarPainter painter;
    EXPECT_FALSE(painter.ready());
    painter.draw(MenuBarView{0, -1, 0}, 100);  // no engine, no window: nothing to touch
    painter.release();
}

}  // namespace
}  // namespace plashwerk::test
