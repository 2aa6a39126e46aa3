// The on-screen information's lines, the temperature graph's layout and label, and the free
// camera's arithmetic: worked out without drawing.
#include "render/on_screen_information.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_curve.h"
#include "render/free_camera.h"
#include "render/temperature_graph.h"

namespace plashwerk::test {
namespace {

using Vantorr_nsp::vnVector3;

struct Color {
    float r, g, b;
};

std::vector<OverlayLine> linesFor(const OverlayInput& in) {
    std::vector<OverlayLine> lines;
    buildOverlayLines(in, lines);
    return lines;
}

std::vector<std::string> textsOf(const std::vector<OverlayLine>& lines) {
    std::vector<std::string> texts;
    for (const OverlayLine& l : lines) texts.emplace_back(l.text);
    return texts;
}

void expectColor(const OverlayLine& line, Color c) {
    EXPECT_FLOAT_EQ(line.color[0], c.r) << line.text;
    EXPECT_FLOAT_EQ(line.color[1], c.g) << line.text;
    EXPECT_FLOAT_EQ(line.color[2], c.b) << line.text;
}

// A stability test with the help off and no GPU, as a window shows it at start.
OverlayInput stabilityTest() {
    OverlayInput in;
    in.width = 800;
    in.height = 600;
    in.particle_total = 1234;
    in.fps_current = 30;
    in.fps_min = 25;
    in.fps_max = 35;
    in.fps_avg = 31;
    in.sps_current = 50;
    in.sps_min = 49;
    in.sps_max = 51;
    in.sps_avg = 50;
    in.frames = 4000000000u;  // beyond int: printed unsigned
    in.simulations = 700;
    in.elapsed_ms = 3723999;  // 1 h 2 min 3.999 s
    std::strcpy(in.renderer_name, "llvmpipe");
    in.msaa_samples = 4;
    return in;
}

OverlayGpu gpu(const char* name) {
    OverlayGpu g;
    std::strcpy(g.name, name);
    g.celsius = 65.7f;
    g.gpu_load = 99.9f;
    return g;
}

TEST(OnScreenInformation, AStabilityTestShowsItsLinesInOrderFifteenPixelsApart) {
    const auto lines = linesFor(stabilityTest());
    const std::vector<std::string> expected = {
        "Plashwerk v1.5.4 - Stability test, 800x600 - 30 FPS",
        "PhysX CPU - Particles=1234",
        "GraphX FPS: 30 (min=25, max=35, avg=31)",
        "PhysX SPS: 50 (min=49, max=51, avg=50)",
        "Frames=4000000000, simulations=700, time=01:02:03",
        "> OpenGL renderer: llvmpipe (AA: 4X MSAA)",
        "- F1: toggle help",
    };
    ASSERT_EQ(textsOf(lines), expected);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_FLOAT_EQ(lines[i].x, 10.0f);
        EXPECT_FLOAT_EQ(lines[i].y, 10.0f + 15.0f * float(i)) << lines[i].text;
    }
    expectColor(lines[0], {1, 1, 0});
    expectColor(lines[1], {1, 1, 0.5f});
    expectColor(lines[4], {1, 1, 0.5f});  // the counters keep the particle line's colour
    expectColor(lines[5], {0.1f, 0.8f, 0.9f});
    expectColor(lines[6], {1, 1, 1});
}

TEST(OnScreenInformation, DisplayInformationOffGivesNoLines) {
    OverlayInput in = stabilityTest();
    in.display_information = false;
    in.show_help = true;
    std::vector<OverlayLine> lines(3);
    buildOverlayLines(in, lines);
    EXPECT_TRUE(lines.empty());
}

TEST(OnScreenInformation, ABenchmarkShowsItsInitialisationThenTheProgress) {
    OverlayInput in = stabilityTest();
    in.benchmark = true;
    in.show_gpu_info = false;  // a benchmark shows the GPU lines all the same
    in.show_help = true;       // and never the help
    in.top_left_osi_y_offset = 100;
    in.warmup_threshold = 2000;
    in.particle_total = 1999;

    auto lines = linesFor(in);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_STREQ(lines[0].text, "Plashwerk v1.5.4 - Benchmarking, 800x600 - 30 FPS");
    EXPECT_FLOAT_EQ(lines[0].y, 110.0f);
    EXPECT_STREQ(lines[1].text, "Fluid initialization: 99%...");
    expectColor(lines[1], {1, 0.5f, 0.5f});
    EXPECT_FLOAT_EQ(lines[2].y, 145.0f) << "20 pixels below the initialisation line";
    EXPECT_STREQ(lines[2].text, "PhysX CPU - Particles=1999");
    EXPECT_STREQ(lines[3].text, "> OpenGL renderer: llvmpipe (AA: 4X MSAA)")
        << "no counter lines while initialising";

    in.particle_total = 2000;
    EXPECT_STREQ(linesFor(in)[1].text, "WARMING-UP...");
    in.warmup_threshold = 0;  // no threshold: straight to the warm-up
    in.particle_total = 0;
    EXPECT_STREQ(linesFor(in)[1].text, "WARMING-UP...");
    in.warmup_threshold = 100;
    in.particle_total = 4000000000u;  // a hundred times this does not fit in 32 bits
    EXPECT_STREQ(linesFor(in)[1].text, "WARMING-UP...");

    in.warmup_over = true;
    in.physx_on_gpu = true;
    in.elapsed_ms = 29999;
    in.max_time_ms = 60000;
    lines = linesFor(in);
    EXPECT_FLOAT_EQ(lines[0].y, 140.0f) << "below the progress bar";
    EXPECT_STREQ(lines[1].text, "PhysX GPU - Particles=4000000000");
    EXPECT_FLOAT_EQ(lines[2].y, 170.0f);
    const auto it = std::find_if(lines.begin(), lines.end(),
                                 [](const OverlayLine& l) { return l.text[0] == '4'; });
    ASSERT_NE(it, lines.end());
    EXPECT_STREQ(it->text, "49 %");
    EXPECT_FLOAT_EQ(it->x, 390.0f);
    EXPECT_FLOAT_EQ(it->y, 20.0f);
    EXPECT_FLOAT_EQ((it + 1)->y, 215.0f) << "the percentage leaves the running y where it was";
    EXPECT_STREQ(lines.back().text, "> OpenGL renderer: llvmpipe (AA: 4X MSAA)");
}

TEST(OnScreenInformation, PresetAndCustomRunsCountDifferentlyAndACrashTurnsTheCountersWhite) {
    OverlayInput in = stabilityTest();
    in.preset_run = true;
    in.gpuz_available = true;  // a preset run does not show GPU-Z
    in.crash_detected = true;
    const auto lines = linesFor(in);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_STREQ(lines[2].text, "<<<<<<<<<<<< PhysX HARDWARE CRASH DETECTED >>>>>>>>>>>>");
    expectColor(lines[2], {1, 0.2f, 0.2f});
    EXPECT_STREQ(lines[3].text, "FPS: 30 (min=25, max=35, avg=31)");
    expectColor(lines[3], {1, 1, 1});
    EXPECT_STREQ(lines[4].text, "Frames=4000000000, time=01:02:03");
    EXPECT_STREQ(lines[5].text, "> OpenGL renderer: llvmpipe (AA: 4X MSAA)");
}

TEST(OnScreenInformation, TheGpuzLineHasThreeForms) {
    OverlayInput in = stabilityTest();
    in.show_gpu_info = false;
    in.gpuz_available = true;
    in.gpuz_core_clock = 1500.9f;
    in.gpuz_memory_clock = 3000.2f;
    in.gpuz_celsius = 71.8f;
    const auto gpuzLine = [&] {
        const auto lines = linesFor(in);
        expectColor(lines[5], {0.8f, 0.8f, 1});
        return std::string(lines[5].text);
    };
    EXPECT_EQ(gpuzLine(),
              "[ GPU-Z ] core:1500MHz - mem:3000MHz - GPU temp:71\xB0"
              "C");
    in.gpuz_vddc = 1.0625f;
    EXPECT_EQ(gpuzLine(),
              "[ GPU-Z ] core:1500MHz - mem:3000MHz - GPU temp:71\xB0"
              "C - GPU voltage:1.062V");
    in.gpuz_vddc_current = 100.5f;
    in.gpuz_power_w = 106.78f;
    EXPECT_EQ(gpuzLine(),
              "[ GPU-Z ] core:1500MHz - mem:3000MHz - GPU temp:71\xB0"
              "C - GPU power draw:106W (1.062V x 100.500A)");
}

TEST(OnScreenInformation, EachGpuLineTakesTheFormItsReadingsCallFor) {
    OverlayInput in = stabilityTest();
    in.gpu_count = 4;
    in.gpus[0] = gpu("Boosted");
    in.gpus[0].has_boost_clocks = true;
    in.gpus[0].true_core_clock = 1800.7f;
    in.gpus[0].true_memory_clock = 7000.0f;
    in.gpus[0].throttling_mhz = 50.0f;  // not shown with boost clocks
    in.gpus[0].gpu_power = 87.25f;
    in.gpus[1] = gpu("Throttled");
    in.gpus[1].true_core_clock = 900.0f;
    in.gpus[1].true_memory_clock = 1000.0f;
    in.gpus[1].core_clock = 950.0f;
    in.gpus[1].throttling_mhz = 50.9f;
    in.gpus[2] = gpu("Measured");
    in.gpus[2].true_core_clock = 900.0f;
    in.gpus[2].true_memory_clock = 1000.0f;
    in.gpus[2].core_clock = 902.0f;
    in.gpus[2].throttling_mhz = 2.0f;  // not above 2 MHz: no throttling
    in.gpus[3] = gpu("StateOnly");
    in.gpus[3].core_clock = 600.0f;
    in.gpus[3].memory_clock = 800.0f;
    in.gpus[3].throttling_mhz = 100.0f;  // without a measured clock it means nothing

    auto lines = linesFor(in);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_STREQ(lines[6].text,
                 "> GPU 1 (Boosted) - core: 1800 MHz, mem: 7000 MHz, temp: 65\xB0"
                 "C, load: 99%, power: 87.2 % TDP");
    EXPECT_STREQ(lines[7].text,
                 "> GPU 2 (Throttled) - core: 900 MHz (THROTTLING: -50MHz), mem: 1000 MHz, "
                 "temp: 65\xB0"
                 "C, load: 99%");
    EXPECT_STREQ(lines[8].text,
                 "> GPU 3 (Measured) - core: 900 MHz, mem: 1000 MHz, temp: 65\xB0"
                 "C, load: 99%");
    EXPECT_STREQ(lines[9].text,
                 "> GPU 4 (StateOnly) - core: 600 MHz, mem: 800 MHz, temp: 65\xB0"
                 "C, load: 99%");
    for (int i = 5; i < 10; ++i) expectColor(lines[size_t(i)], {0.1f, 0.8f, 0.9f});

    // An integrated main GPU is GPU 1 by the renderer's name; the monitored ones follow.
    in.integrated_main_gpu = true;
    in.gpu_count = 1;
    lines = linesFor(in);
    EXPECT_STREQ(lines[6].text, "> GPU 1: llvmpipe");
    EXPECT_EQ(std::string(lines[7].text).substr(0, 17), "> GPU 2 (Boosted)");

    // G off hides the renderer and GPU lines of a stability test.
    in.show_gpu_info = false;
    EXPECT_EQ(linesFor(in).size(), 6u);
}

TEST(OnScreenInformation, LongNamesAndHugeReadingsAreCutNotOverflowed) {
    OverlayInput in = stabilityTest();
    in.gpu_count = 1000;  // more than there is room for: the room's worth is shown
    for (OverlayGpu& g : in.gpus) {
        std::memset(g.name, 'N', 255);
        g.name[255] = '\0';
        g.true_core_clock = 1e30f;
        g.true_memory_clock = std::nanf("");
        g.celsius = -1e30f;
    }
    std::memset(in.renderer_name, 'R', 255);
    in.renderer_name[255] = '\0';
    const auto lines = linesFor(in);
    ASSERT_EQ(lines.size(), 7u + kOverlayMaxGpus);
    const std::string gpu_line = lines[6].text;
    EXPECT_EQ(gpu_line.size(), 255u);
    EXPECT_EQ(gpu_line.substr(0, 9), "> GPU 1 (");
    EXPECT_EQ(std::strlen(lines[5].text), 255u);

    EXPECT_EQ(truncateReading(1e30f), 2147483647);
    EXPECT_EQ(truncateReading(-1e30f), -2147483647 - 1);
    EXPECT_EQ(truncateReading(std::nanf("")), 0);
    EXPECT_EQ(truncateReading(-2.9f), -2);
}

TEST(OnScreenInformation, TheHelpListsTheKeysAndTheThreads) {
    OverlayInput in = stabilityTest();
    in.show_gpu_info = false;
    in.show_help = true;
    in.simulation_paused = true;
    in.main_thread_id = 4000;
    in.render_thread_id = 4001;
    in.physics_thread_count = 2;
    in.physics_thread_ids[0] = 4002;
    in.physics_thread_ids[1] = 4003;

    auto texts = textsOf(linesFor(in));
    const std::vector<std::string> help(texts.begin() + 5, texts.end());
    const std::vector<std::string> expected = {
        "- F1: toggle help",
        "- P: toggle PhysX simulation (status: pause)",
        "- SPACE: toggle particle rendering",
        "- F2: smiley particles",
        "- F3: lava particles",
        "- F4: simple point particles",
        "- I: toggle info display",
        "- G: toggle GPU monitoring",
        "- T: toggle temperature graph",
        "- R: reset FPS/SPS counters and timer",
        "- Threads ID:",
        "    + main app: 4000",
        "    + render thread: 4001",
    };
    EXPECT_EQ(help, expected) << "without multithreaded physics the list ends there";

    in.multithreaded_physx = true;
    in.simulation_paused = false;
    texts = textsOf(linesFor(in));
    EXPECT_EQ(texts[6], "- P: toggle PhysX simulation (status: running)");
    ASSERT_EQ(texts.size(), 5u + expected.size() + 2u);
    EXPECT_EQ(texts[texts.size() - 2], "    + PhysX thread: 4002");
    EXPECT_EQ(texts.back(), "    + PhysX thread: 4003");
}

// --- Temperature graph -------------------------------------------------------------------

std::vector<TemperatureSample> samples(std::initializer_list<float> celsius) {
    std::vector<TemperatureSample> s;
    for (float c : celsius) s.push_back({c, int32_t(s.size())});
    return s;
}

TEST(TemperatureGraphLayout, TheChartSitsLowerLeftAndScalesTwoPixelsADegree) {
    TemperatureGraph graph;
    Vantorr_nsp::vnCurve curve(graph.history_points);
    const auto one = samples({45.0f});
    GraphLayout g = graph.layout(one, 0.0f, 640, 480, &curve);
    EXPECT_FLOAT_EQ(g.left, -150.0f);
    EXPECT_FLOAT_EQ(g.right, 310.0f);
    EXPECT_FLOAT_EQ(g.bottom, -220.0f);
    EXPECT_FLOAT_EQ(g.top, -40.0f);
    ASSERT_EQ(g.count, 1);
    EXPECT_FLOAT_EQ(curve.getPoint(0).r, -150.0f + 0.46f) << "one step right of the edge";
    EXPECT_FLOAT_EQ(curve.getPoint(0).g, -220.0f + 50.0f);
    EXPECT_FLOAT_EQ(curve.getPoint(0).b, -1.0f);
    EXPECT_FLOAT_EQ(g.label_x, 190.0f);
    EXPECT_FLOAT_EQ(g.label_y, 240.0f - (-170.0f + 20.0f));

    // The second GPU's chart is 200 pixels higher; 15 degrees lies on the bottom edge.
    const auto cold = samples({15.0f});
    g = graph.layout(cold, 200.0f, 640, 480, &curve);
    EXPECT_FLOAT_EQ(g.bottom, -20.0f);
    EXPECT_FLOAT_EQ(curve.getPoint(0).g, -20.0f);
    EXPECT_FLOAT_EQ(g.newest, 15.0f);

    // Of 1500 samples the newest 1000 span the whole width, the newest at the right.
    std::vector<TemperatureSample> many;
    for (int i = 0; i < 1500; ++i) many.push_back({float(i < 500 ? 90 : 30), i});
    many.back().celsius = 70.0f;
    g = graph.layout(many, 0.0f, 640, 480, &curve);
    EXPECT_EQ(g.count, 1000);
    EXPECT_FLOAT_EQ(curve.getPoint(0).g, -220.0f + 20.0f) << "the oldest 500 are left out";
    EXPECT_NEAR(curve.getPoint(999).r, 310.0f, 0.01f);
    EXPECT_FLOAT_EQ(g.newest_y, -220.0f + 100.0f);
}

TEST(TemperatureGraphLayout, TheLabelNumbersFromTwoBesideAnIntegratedGpu) {
    TemperatureGraph graph;
    graph.shown_min = 15.9f;
    graph.shown_max = 80.2f;
    char label[256];
    graph.formatLabel(label, sizeof label, 0, false, 55.5f);
    EXPECT_STREQ(label,
                 "GPU 1: 55\xB0"
                 "C (min: 15\xB0"
                 "C - max: 80\xB0"
                 "C)");
    graph.formatLabel(label, sizeof label, 1, true, 55.5f);
    EXPECT_EQ(std::string(label).substr(0, 6), "GPU 3:");
}

// --- Free camera -------------------------------------------------------------------------

class FreeCameraTest : public ::testing::Test {
  protected:
    void SetUp() override {
        camera = Vantorr_nsp::vnCameraMgr::getInstance()->createCameraPerspective(
            "FreeCameraTest", 90.0f, 1.0f, 1.0f, 1000.0f);
        camera->setViewParams({0.0f, 0.0f, 15.0f}, {0.0f, 5.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
        free_camera.placeOnOrbit(*camera);
    }
    void TearDown() override { Vantorr_nsp::vnCameraMgr::getInstance()->clear(); }

    float distance() const { return (camera->getPosition() - free_camera.lookat).length(); }

    Vantorr_nsp::vnCamera* camera = nullptr;
    FreeCamera free_camera;
};

TEST_F(FreeCameraTest, StartsOnItsOrbitAndTurnsATenthOfADegreeAPixel) {
    const float d = distance();
    EXPECT_NEAR(d, std::sqrt(15.0f * 15.0f + 9.0f), 1e-4f);
    EXPECT_NEAR(camera->getPosition().x, 5.86f, 0.01f);
    EXPECT_NEAR(camera->getPosition().y, 12.83f, 0.01f);

    free_camera.turn(*camera, 300.0f, -200.0f);
    EXPECT_FLOAT_EQ(free_camera.yaw, 90.0f);
    EXPECT_FLOAT_EQ(free_camera.pitch, 20.0f);
    EXPECT_NEAR(distance(), d, 1e-4f) << "a turn keeps the distance";
    EXPECT_NEAR(camera->getPosition().x, 0.0f, 1e-4f) << "yaw 90: straight along z";
    EXPECT_NEAR(camera->getPosition().y, 3.0f + d * std::sin(20.0f * 0.017453292f), 1e-4f);
    EXPECT_EQ(camera->getTripod()->getLookatPoint().y, 3.0f);

    free_camera.turn(*camera, 0.0f, 5000.0f);
    EXPECT_FLOAT_EQ(free_camera.pitch, 80.0f);
    free_camera.turn(*camera, 0.0f, -5000.0f);
    EXPECT_FLOAT_EQ(free_camera.pitch, -80.0f);
}

TEST_F(FreeCameraTest, APanMovesCameraAndLookAtTogether) {
    const vnVector3 before = camera->getPosition();
    free_camera.pan(*camera, 20.0f, -40.0f);  // 1 unit right, 2 up
    const vnVector3 moved = camera->getPosition() - before;
    EXPECT_NEAR(moved.length(), std::sqrt(5.0f), 1e-4f);
    const vnVector3 look_moved = free_camera.lookat - vnVector3{0.0f, 3.0f, 0.0f};
    EXPECT_NEAR((moved - look_moved).length(), 0.0f, 1e-5f);
    EXPECT_GT(moved.y, 0.0f) << "the mouse moving up takes the camera up";
    EXPECT_NEAR(camera->getTripod()->getLookatPoint().x, free_camera.lookat.x, 1e-6f);
}

TEST_F(FreeCameraTest, KeysAndTheWheelMoveAlongTheViewAndStopNearTheOrigin) {
    const float d = distance();
    free_camera.moveByKeys(*camera, true, false, 0.5f);  // 0.1 x 100 x 0.5 = 5 units
    EXPECT_NEAR(distance(), d - 5.0f, 1e-4f);
    free_camera.wheel(*camera, -120);
    EXPECT_NEAR(distance(), d - 4.9f, 1e-4f);
    free_camera.wheel(*camera, 120);
    EXPECT_NEAR(distance(), d - 5.0f, 1e-4f);

    // Forward until the camera is inside 10 units of the origin; then only back.
    for (int i = 0; i < 100; ++i) free_camera.moveByKeys(*camera, true, false, 0.1f);
    const float nearest = camera->getPosition().length();
    EXPECT_LT(nearest, 10.0f);
    EXPECT_GT(nearest, 9.0f) << "one step of 1 unit at most past the limit";
    EXPECT_FALSE(free_camera.move(*camera, 1.0f));
    free_camera.moveByKeys(*camera, false, true, 0.1f);
    EXPECT_GT(camera->getPosition().length(), nearest);

    // Far from the origin a forward move still stops short of the look-at point.
    free_camera.lookat = {100.0f, 0.0f, 0.0f};
    camera->setViewParams({100.0f, 0.0f, 0.5f}, free_camera.lookat, {0.0f, 1.0f, 0.0f});
    EXPECT_FALSE(free_camera.move(*camera, 1.0f));
    EXPECT_TRUE(free_camera.move(*camera, -1.0f));
}

}  // namespace
}  // namespace plashwerk::test
