// The on-screen information and the temperature graphs drawn offscreen over a black frame
// and checked by their pixels: lines at their rows in their colours, the graph's curve,
// axes and label where the chart puts them, nothing with the information off.
#include <cstring>
#include <vector>

#include "platform/engine/vn_font.h"
#include "render/hud_overlays.h"
#include "tests/platform/engine/offscreen_fixture.h"

namespace plashwerk::test {
namespace {

using namespace Vantorr_nsp;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class OverlayTest : public OffscreenTest {
  protected:
    void SetUp() override {
        OffscreenTest::SetUp();
        ASSERT_TRUE(openWindow(kWidth, kHeight));
        hud.createFont();
        ASSERT_NE(hud.font(), nullptr);
    }
    void TearDown() override {
        hud.release();
        OffscreenTest::TearDown();
    }

    /// A black frame with the information of `in` and the graphs over it.
    void draw(const OverlayInput& in, std::span<const GraphSource> graphs = {}) {
        renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        renderer->clear(VN_CLEAR_ALL);
        hud.drawOnScreenInformation(in, graphs, kWidth, kHeight);
        present();
    }

    /// The brightest pixel among rows top..top+rows-1 (from the top of the window) and
    /// columns x0..x1-1.
    Rgb brightest(int top, int rows, int x0, int x1) const {
        Rgb best;
        for (int y = top; y < top + rows; ++y)
            for (int x = x0; x < x1; ++x) {
                const Rgb p = at(x, h - 1 - y);
                if (p.sum() > best.sum()) best = p;
            }
        return best;
    }

    /// A pixel near (x, y from the top) whose colour the predicate accepts.
    template <typename Pred>
    bool near(int x, int y, int radius, Pred pred) const {
        for (int dy = -radius; dy <= radius; ++dy)
            for (int dx = -radius; dx <= radius; ++dx)
                if (pred(at(x + dx, h - 1 - (y + dy)))) return true;
        return false;
    }

    HudOverlays hud;
};

OverlayInput scriptedStabilityTest() {
    OverlayInput in;
    in.width = kWidth;
    in.height = kHeight;
    in.particle_total = 5000;
    in.fps_current = 60;
    std::strcpy(in.renderer_name, "llvmpipe");
    in.gpu_count = 2;
    for (int i = 0; i < 2; ++i) {
        std::strcpy(in.gpus[i].name, i ? "Second" : "First");
        in.gpus[i].true_core_clock = 1000.0f;
        in.gpus[i].celsius = 60.0f;
    }
    return in;
}

bool orange(const Rgb& p) {
    return p.r > 200 && p.g > 140 && p.g < 210 && p.b < 90;
}
bool axisCyan(const Rgb& p) {
    return p.r < 60 && p.g > 120 && p.b > 140;
}

TEST_F(OverlayTest, TheFontHasTheDegreeSign) {
    hud.font()->setText("\xB0");
    EXPECT_GT(hud.font()->getTextWidth(), 2.0f);
}

TEST_F(OverlayTest, LinesAppearAtTheirRowsInTheirColours) {
    OverlayInput in = scriptedStabilityTest();
    in.show_temperature_graph = false;
    draw(in);
    // Rows from the top: title 10, particles 25, three counter lines, renderer 85, GPU 1
    // 100, GPU 2 115, the help's first line 130; each line's glyphs in the 13 rows below.
    const Rgb title = brightest(11, 12, 10, 300);
    EXPECT_GT(title.r, 200);
    EXPECT_GT(title.g, 200);
    EXPECT_LT(title.b, 40) << "yellow";
    const Rgb particles = brightest(26, 12, 10, 300);
    EXPECT_GT(particles.r, 200);
    EXPECT_NEAR(particles.b, 128, 30) << "pale yellow";
    const Rgb gpu = brightest(101, 12, 10, 300);
    EXPECT_LT(gpu.r, 60);
    EXPECT_GT(gpu.b, 200) << "cyan";
    const Rgb help = brightest(131, 12, 10, 300);
    EXPECT_GT(help.r, 200);
    EXPECT_GT(help.b, 200) << "white";
    EXPECT_EQ(brightest(146, 200, 0, kWidth).sum(), 0) << "nothing below the last line";
    EXPECT_EQ(brightest(0, 10, 0, kWidth).sum(), 0) << "nothing above the first";

    // The whole block moves down by the offset.
    in.top_left_osi_y_offset = 100;
    draw(in);
    EXPECT_EQ(brightest(0, 110, 0, kWidth).sum(), 0);
    EXPECT_GT(brightest(111, 12, 10, 300).g, 200);
}

TEST_F(OverlayTest, TheGraphDrawsItsCurveAxesAndLabelWhereTheChartPutsThem) {
    OverlayInput in = scriptedStabilityTest();
    in.display_information = true;
    in.show_gpu_info = false;
    // GPU 1 warms from 30 to 60 degrees over 1000 samples; GPU 2 has a single cold one.
    std::vector<TemperatureSample> warming, cold{{15.0f, 0}};
    for (int k = 0; k < 1000; ++k) warming.push_back({30.0f + 30.0f * float(k) / 999.0f, k});
    const GraphSource graphs[2] = {{warming, 60.0f, 30.0f}, {cold, 15.0f, 15.0f}};
    draw(in, graphs);

    // Chart 1: left -150, right 310, bottom -220 in window-centred units; sample 500 lies
    // at x = 80.46, y = -169.97, that is window pixel (400, 410) from the top left.
    EXPECT_TRUE(near(400, 410, 2, orange));
    EXPECT_TRUE(near(200, 433, 2, orange)) << "sample 108 at about 36 degrees";
    EXPECT_FALSE(near(400, 440, 3, orange));
    // The bottom axis of chart 1 at row 460, of chart 2 at row 260 (200 pixels higher).
    EXPECT_TRUE(near(320, 460, 1, axisCyan));
    EXPECT_TRUE(near(320, 260, 1, axisCyan));
    // The label "GPU 1: 60°C ..." in white 20 pixels above the curve's end: row 360.
    const Rgb label = brightest(361, 12, 190, 400);
    EXPECT_GT(label.r, 200);
    EXPECT_GT(label.g, 200);
    EXPECT_GT(label.b, 200);
    // GPU 2's label sits 20 pixels above its bottom edge (15 degrees lie on it): row 240.
    EXPECT_GT(brightest(241, 12, 190, 400).sum(), 600);
    EXPECT_EQ(hud.temperatureGraph().shown_max, 15.0f) << "the last chart drawn";

    // The graph switched off leaves only the text.
    in.show_temperature_graph = false;
    draw(in, graphs);
    EXPECT_FALSE(near(400, 410, 3, orange));
    EXPECT_FALSE(near(320, 460, 2, axisCyan));
}

TEST_F(OverlayTest, AnEmptyHistoryDrawsNoGraph) {
    OverlayInput in = scriptedStabilityTest();
    in.show_gpu_info = false;
    const GraphSource graphs[1] = {{{}, 0.0f, 1000.0f}};
    draw(in, graphs);
    EXPECT_FALSE(near(320, 460, 3, axisCyan));
    EXPECT_EQ(brightest(150, kHeight - 150, 0, kWidth).sum(), 0);
}

TEST_F(OverlayTest, NothingIsDrawnWithTheInformationOff) {
    OverlayInput in = scriptedStabilityTest();
    in.display_information = false;
    in.show_help = true;
    std::vector<TemperatureSample> history{{50.0f, 0}, {55.0f, 1}};
    const GraphSource graphs[1] = {{history, 55.0f, 50.0f}};
    draw(in, graphs);
    EXPECT_EQ(count([](const Rgb& p) { return p.sum() > 0; }), 0);
}

}  // namespace
}  // namespace plashwerk::test
