// The key table mode by mode, the camera input's hand-over from the window to the frame,
// which frames without the scene are drawn, and the progress lines of a run without a
// window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/window/window.h"
#include "run/camera_input.h"
#include "run/demo_scene.h"
#include "run/keyboard_commands.h"
#include "run/overlay_pacer.h"
#include "run/progress_lines.h"
#include "run/run_state.h"

namespace plashwerk {
namespace {

using window::Message;
using window::MessageType;

constexpr int kF1 = window::VK_F1, kF2 = kF1 + 1, kF3 = kF1 + 2, kF4 = kF1 + 3, kF9 = kF1 + 8;

class Keys : public ::testing::Test {
  protected:
    KeyAnswer press(int key) { return onKeyDown(key, run, scene); }

    RunState run;
    RunResult result;
    DemoScene scene{run, result};
};

TEST_F(Keys, ABenchmarkAnswersOnlyEscapeAndI) {
    run.mode = RunMode::Benchmark;
    EXPECT_EQ(press(window::VK_ESCAPE), KeyAnswer::StopRun);
    const bool info = run.display_information;
    EXPECT_EQ(press('I'), KeyAnswer::Handled);
    EXPECT_NE(run.display_information.load(), info);
    for (int key : {kF9, kF1, int(window::VK_SPACE), int('P'), int('T'), int('C'), int('R'), kF2,
                    kF3, kF4, int('K'), int('G'), int('X'), int(window::VK_UP)})
        EXPECT_EQ(press(key), KeyAnswer::Swallowed) << key;
    EXPECT_FALSE(scene.keys().screenshot_requested.load());
    EXPECT_FALSE(scene.keys().show_help.load());
    EXPECT_TRUE(scene.keys().particles_update.load());
    EXPECT_FALSE(run.simulation_paused.load());
    EXPECT_TRUE(scene.keys().show_temperature_graph.load());
    EXPECT_TRUE(run.render_scene.load());
    EXPECT_EQ(run.particle_look.load(), ParticleLook::Smiley);
    EXPECT_TRUE(run.show_gpu_info.load());
    EXPECT_FALSE(scene.keys().statistics_requested.load());
}

TEST_F(Keys, TheStabilityTestTogglesItsFlags) {
    run.mode = RunMode::StabilityTest;
    EXPECT_EQ(press(window::VK_ESCAPE), KeyAnswer::StopRun);
    struct Toggle {
        int key;
        std::atomic<bool>& flag;
    };
    const Toggle toggles[] = {{'I', run.display_information},
                              {kF1, scene.keys().show_help},
                              {window::VK_SPACE, scene.keys().particles_update},
                              {'P', run.simulation_paused},
                              {'T', scene.keys().show_temperature_graph},
                              {'C', run.render_scene},
                              {'G', run.show_gpu_info}};
    for (const Toggle& t : toggles) {
        const bool before = t.flag.load();
        EXPECT_EQ(press(t.key), KeyAnswer::Handled) << t.key;
        EXPECT_NE(t.flag.load(), before) << t.key;
        press(t.key);
        EXPECT_EQ(t.flag.load(), before) << t.key << ": a second press toggles back";
    }
    // Requests, not toggles: pressed twice before a frame they still ask once.
    press(kF9);
    press(kF9);
    EXPECT_TRUE(scene.keys().screenshot_requested.load());
    press('K');
    EXPECT_TRUE(scene.keys().statistics_requested.load());
    run.counters_primed = true;
    press('R');
    EXPECT_FALSE(run.counters_primed.load());

    press(kF4);
    EXPECT_EQ(run.particle_look.load(), ParticleLook::Point);
    press(kF3);
    EXPECT_EQ(run.particle_look.load(), ParticleLook::Lava);
    press(kF2);
    EXPECT_EQ(run.particle_look.load(), ParticleLook::Smiley);
    EXPECT_EQ(press('X'), KeyAnswer::Swallowed);
    EXPECT_EQ(press('W'), KeyAnswer::Swallowed) << "the camera keys are read as held keys";
}

TEST_F(Keys, TheTableHasEachKeyOnceAndCharactersOnlyStopOnEscape) {
    std::vector<int> seen;
    for (const KeyCommand& c : keyCommands()) {
        EXPECT_EQ(std::count(seen.begin(), seen.end(), c.virtual_key), 0) << c.virtual_key;
        seen.push_back(c.virtual_key);
        EXPECT_EQ(c.every_mode, c.virtual_key == window::VK_ESCAPE || c.virtual_key == 'I');
    }
    EXPECT_EQ(seen.size(), 14u);
    EXPECT_EQ(onChar(window::VK_ESCAPE), KeyAnswer::StopRun);
    EXPECT_EQ(onChar('i'), KeyAnswer::Swallowed);
    EXPECT_EQ(onChar(' '), KeyAnswer::Swallowed);
}

Message mouse(MessageType type, int x, int y, uint8_t modifiers = 0, int64_t wparam = 0) {
    Message m;
    m.type = type;
    m.x = x;
    m.y = y;
    m.modifiers = modifiers;
    m.wparam = wparam;
    return m;
}

TEST(CameraInputTest, DragsWheelAndHeldKeysGatherUntilTheFrameTakesThem) {
    CameraInput input;
    input.onMessage(mouse(MessageType::MouseMove, 5, 5));  // no button: nothing
    input.onMessage(mouse(MessageType::LButtonDown, 10, 20));
    input.onMessage(mouse(MessageType::MouseMove, 13, 18));
    input.onMessage(mouse(MessageType::MouseMove, 16, 16));
    input.onMessage(mouse(MessageType::MouseMove, 20, 16, window::kModControl));
    input.onMessage(mouse(MessageType::LButtonUp, 20, 16));
    input.onMessage(mouse(MessageType::MouseMove, 90, 90));
    input.onMessage(mouse(MessageType::MouseWheel, 0, 0, 0, 120));
    input.onMessage(mouse(MessageType::MouseWheel, 0, 0, 0, 240));
    input.onMessage(mouse(MessageType::MouseWheel, 0, 0, 0, -120));
    input.onMessage(mouse(MessageType::KeyDown, 0, 0, 0, 'W'));
    input.onMessage(mouse(MessageType::KeyDown, 0, 0, 0, window::VK_UP));
    input.onMessage(mouse(MessageType::KeyUp, 0, 0, 0, 'W'));

    CameraMoves m = input.take();
    EXPECT_EQ(m.turn_dx, 6.0f);
    EXPECT_EQ(m.turn_dy, -4.0f);
    EXPECT_EQ(m.pan_dx, 4.0f);
    EXPECT_EQ(m.pan_dy, 0.0f);
    EXPECT_EQ(m.wheel_steps, 1);
    EXPECT_TRUE(m.forward) << "Up is still held";
    EXPECT_FALSE(m.backward);

    m = input.take();
    EXPECT_EQ(m.turn_dx, 0.0f) << "taken once";
    EXPECT_EQ(m.wheel_steps, 0);
    EXPECT_TRUE(m.forward) << "held keys stay held";

    // A flood of wheel messages between two frames moves the camera a bounded way.
    for (int i = 0; i < 1000; ++i) input.onMessage(mouse(MessageType::MouseWheel, 0, 0, 0, -120));
    EXPECT_EQ(input.take().wheel_steps, -CameraInput::kMaxWheelSteps);
    input.reset();
    EXPECT_FALSE(input.take().forward);
}

ProgressReading reading(ProgressPhase phase, int percent, uint32_t now_ms,
                        uint32_t elapsed_ms = 0) {
    ProgressReading r;
    r.phase = phase;
    r.percent = percent;
    r.now_ms = now_ms;
    r.elapsed_ms = elapsed_ms;
    r.fps = 30;
    r.sps = 50;
    return r;
}

// Everything the lines wrote for a run of readings.
std::string feed(ProgressLines& lines, const std::vector<ProgressReading>& readings) {
    std::string out;
    for (const ProgressReading& r : readings) out += lines.update(r);
    return out + lines.finish();
}

// Frames without the scene are drawn ten times a second at most, every frame when the
// frames are slower; a changed menu strip and a screenshot are drawn at once.
TEST(OverlayPacerTest, TenASecondUnlessTheMenuChangesOrAScreenshotIsAsked) {
    OverlayPacer pacer;
    const window::MenuBarView closed;
    int drawn = 0;
    for (int i = 0; i < 1000; ++i) drawn += pacer.due(0.001f * float(i), closed, false);
    EXPECT_GE(drawn, 10);
    EXPECT_LE(drawn, 11);
    EXPECT_EQ(pacer.frames(), uint32_t(drawn));

    for (int i = 0; i < 5; ++i) EXPECT_TRUE(pacer.due(1.5f + 0.2f * float(i), closed, false)) << i;
    const float t = 1.5f + 0.2f * 4.0f;

    // Moments after a drawn frame: only a change of the strip or a screenshot draws.
    EXPECT_FALSE(pacer.due(t + 0.001f, closed, false));
    window::MenuBarView hover;
    hover.hot_title = 1;
    EXPECT_TRUE(pacer.due(t + 0.002f, hover, false));
    EXPECT_FALSE(pacer.due(t + 0.003f, hover, false)) << "the same strip is not drawn again";
    window::MenuBarView open = hover;
    open.open_menu = 1;
    open.hot_item = 0;
    EXPECT_TRUE(pacer.due(t + 0.004f, open, false));
    open.hot_item = 2;
    EXPECT_TRUE(pacer.due(t + 0.005f, open, false)) << "the highlight moved down the menu";
    EXPECT_TRUE(pacer.due(t + 0.006f, closed, false)) << "the menu closed";
    EXPECT_TRUE(pacer.due(t + 0.007f, closed, true));
    EXPECT_FALSE(pacer.due(t + 0.008f, closed, false));

    pacer.reset();
    EXPECT_EQ(pacer.frames(), 0u);
    EXPECT_TRUE(pacer.due(0.0f, closed, false)) << "a new run draws its first frame";
}

TEST(ProgressLinesTest, NotOnATerminalOneLinePerPhaseAndTenth) {
    ProgressLines lines(false);
    std::vector<ProgressReading> readings;
    uint32_t now = 0;
    for (int p = 0; p < 100; p += 3)
        readings.push_back(reading(ProgressPhase::FluidInit, p, now += 100));
    for (int i = 0; i < 50; ++i)
        readings.push_back(reading(ProgressPhase::WarmingUp, 100, now += 100));
    for (int p = 0; p <= 100; ++p)
        for (int i = 0; i < 3; ++i)
            readings.push_back(reading(ProgressPhase::Measuring, p, now += 100));
    const std::string out = feed(lines, readings);
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_EQ(out.rfind("Fluid initialization: 0%...\nFluid initialization: 12%...\n", 0), 0u)
        << out;
    EXPECT_NE(out.find("Fluid initialization: 90%...\nWARMING-UP...\n0 % - GraphX FPS: 30 - "
                       "PhysX SPS: 50\n10 % - "),
              std::string::npos)
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 10 + 1 + 11) << out;
    EXPECT_NE(out.find("\n100 % - GraphX FPS: 30 - PhysX SPS: 50\n"), std::string::npos);

    // A stability test: its time, a line a minute, restarting with its clock.
    ProgressLines stability(false);
    std::vector<ProgressReading> minutes;
    for (uint32_t ms = 0; ms <= 150000; ms += 500)
        minutes.push_back(reading(ProgressPhase::Stability, 0, ms, ms));
    minutes.push_back(reading(ProgressPhase::Stability, 0, 150500, 400));  // R
    minutes.push_back(reading(ProgressPhase::Stability, 0, 151000, 900));
    EXPECT_EQ(feed(stability, minutes),
              "time=00:00:00 - GraphX FPS: 30 - PhysX SPS: 50\n"
              "time=00:01:00 - GraphX FPS: 30 - PhysX SPS: 50\n"
              "time=00:02:00 - GraphX FPS: 30 - PhysX SPS: 50\n");
}

TEST(ProgressLinesTest, OnATerminalOneLineRewrittenOnceASecond) {
    ProgressLines lines(true);
    EXPECT_EQ(lines.update(reading(ProgressPhase::FluidInit, 5, 0)),
              "\rFluid initialization: 5%...");
    EXPECT_EQ(lines.update(reading(ProgressPhase::FluidInit, 50, 999)), "") << "within the second";
    EXPECT_EQ(lines.update(reading(ProgressPhase::FluidInit, 60, 1000)),
              "\rFluid initialization: 60%...");
    // A change of phase is shown at once; a shorter line blanks the rest of the longer one.
    EXPECT_EQ(lines.update(reading(ProgressPhase::WarmingUp, 100, 1001)),
              "\rWARMING-UP...               ");
    EXPECT_EQ(lines.update(reading(ProgressPhase::Measuring, 0, 1002)),
              "\r0 % - GraphX FPS: 30 - PhysX SPS: 50");
    EXPECT_EQ(lines.update(reading(ProgressPhase::Measuring, 1, 2002)),
              "\r1 % - GraphX FPS: 30 - PhysX SPS: 50");
    EXPECT_EQ(lines.finish(), "\n");
    EXPECT_EQ(lines.finish(), "") << "ended once";
    EXPECT_EQ(ProgressLines(true).finish(), "") << "nothing shown, nothing to end";
}

}  // namespace
}  // namespace plashwerk
