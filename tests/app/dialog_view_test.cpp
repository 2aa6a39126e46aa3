// The dialogs as ImGui draws them, without a window: the text that reaches the draw lists
// is read back glyph by glyph, and mouse and keys are fed through ImGui's input state.
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/dialog_links.h"
#include "app/imgui_window.h"
#include "app/startup_dialog_view.h"

namespace plashwerk {
namespace {

// Key slots of the headless context; any indices below 512 do.
constexpr int kKeyEnter = 257;
constexpr int kKeyEscape = 256;
constexpr int kKeySpace = 32;

// The text of everything drawn in the last frame, in drawing order, without spaces (a
// space draws no glyph).
std::string drawnText() {
    ImFont* font = ImGui::GetFont();
    std::map<std::pair<float, float>, const ImFontGlyph*> glyph_at;
    for (const ImFontGlyph& g : font->Glyphs)
        if (g.Visible) glyph_at[{g.U0, g.V0}] = &g;
    std::string text;
    ImDrawData* data = ImGui::GetDrawData();
    for (int l = 0; l < data->CmdListsCount; ++l) {
        const ImVector<ImDrawVert>& v = data->CmdLists[l]->VtxBuffer;
        for (int i = 0; i + 3 < v.Size;) {
            // A glyph is a quad whose first and third corners carry its atlas rectangle.
            auto it = glyph_at.find({v[i].uv.x, v[i].uv.y});
            if (it != glyph_at.end() && v[i + 2].uv.x == it->second->U1 &&
                v[i + 2].uv.y == it->second->V1) {
                const unsigned c = it->second->Codepoint;
                if (c < 0x80) {
                    text += static_cast<char>(c);
                } else {
                    text += static_cast<char>(0xC0 | (c >> 6));
                    text += static_cast<char>(0x80 | (c & 0x3F));
                }
                i += 4;
            } else {
                ++i;
            }
        }
    }
    return text;
}

std::string withoutBlanks(std::string text) {
    std::erase_if(text, [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
    return text;
}

class DialogDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
        io.KeyMap[ImGuiKey_Enter] = kKeyEnter;
        io.KeyMap[ImGuiKey_Escape] = kKeyEscape;
        io.KeyMap[ImGuiKey_Space] = kKeySpace;
        setScale(1.0f);
        setDefaultStartupOptions(options);
        options.num_cpu_cores = 8;
        hardware.physx_gpu_count = 1;
        hardware.msaa_modes = {2, 4, 8};
        hardware.hardware_summary =
            "PhysX version: N/A - PhysX CPU only.\r\nDetected GPUs:\r\n- GPU 1: Test GPU, "
            "GPU: 61\xB0"
            "C\r\n";
    }
    void TearDown() override {
        ImGui::DestroyContext();
        setLinkOpener({});
    }

    void setScale(float scale) {
        ui.scale = scale;
        setupDialogFonts(scale);
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
        ImGui::GetIO().DisplaySize =
            ImVec2(kStartupDialogWidth * scale, kStartupDialogHeight * scale);
    }

    // One frame of the startup dialog; its answer.
    DialogAction frame() {
        ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
        ImGui::NewFrame();
        const DialogAction action = drawStartupDialog(model, options, ui);
        ImGui::Render();
        return action;
    }
    // A left click at a point of the dialog at 100 %: press in one frame, release in the
    // next, which is when ImGui reports the button pressed.
    DialogAction clickAt(float x, float y) {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(x * ui.scale, y * ui.scale);
        frame();
        io.MouseDown[0] = true;
        DialogAction a = frame();
        io.MouseDown[0] = false;
        const DialogAction b = frame();
        return a != DialogAction::None ? a : b;
    }
    DialogAction clickButton(int id) {
        float x = 0, y = 0;
        EXPECT_TRUE(buttonCentre(id, x, y)) << id;
        return clickAt(x, y);
    }
    DialogAction pressKey(int key) {
        ImGuiIO& io = ImGui::GetIO();
        io.KeysDown[key] = true;
        const DialogAction a = frame();
        io.KeysDown[key] = false;
        const DialogAction b = frame();
        return a != DialogAction::None ? a : b;
    }
    unsigned focusedItem() const { return ImGui::GetCurrentContext()->NavId; }

    StartupOptions options{};
    StartupDialogHardware hardware;
    StartupDialogModel model;
    StartupDialogUi ui;
};

TEST_F(DialogDrawing, EveryLabelIsDrawnWithTheSummaryAndTheChosenEntries) {
    options.width = 1280;
    options.height = 720;
    options.msaa = 4;
    model.initialise(options, hardware);
    frame();
    frame();
    const std::string drawn = drawnText();
    for (const DialogControl& c : model.controls()) {
        if (c.kind == ControlKind::NumberEdit || c.kind == ControlKind::ReadOnlyText ||
            c.text.empty())
            continue;
        EXPECT_NE(drawn.find(withoutBlanks(c.text)), std::string::npos)
            << "control " << c.id << " \"" << c.text << "\" missing from: " << drawn;
    }
    EXPECT_NE(drawn.find("Changeparticlecount:"), std::string::npos);
    EXPECT_NE(drawn.find("1280x720"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("4XMSAA"), std::string::npos) << drawn;
    // The summary's single-byte degree sign shows as the degree sign.
    EXPECT_NE(drawn.find("PhysXversion:N/A-PhysXCPUonly."), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("61\xC2\xB0"
                         "C"),
              std::string::npos)
        << drawn;
    EXPECT_NE(drawn.find("Plashwerk"), std::string::npos) << "the banner";
}

TEST_F(DialogDrawing, ACustomSizeShowsItsNumbersAndARefreshedSummaryShowsUp) {
    options.width = 1000;
    options.height = 700;
    model.initialise(options, hardware);
    frame();
    std::string drawn = drawnText();
    EXPECT_NE(drawn.find("Custom1000x700"), std::string::npos) << drawn;
    model.setHardwareSummary(
        "Detected GPUs:\r\n- GPU 1: Other GPU, GPU: 70\xB0"
        "C\r\n");
    frame();
    drawn = drawnText();
    EXPECT_NE(drawn.find("OtherGPU"), std::string::npos) << drawn;
    EXPECT_EQ(drawn.find("TestGPU"), std::string::npos) << drawn;
}

// The whole dialog fits its window at 100 % and at 200 %, and its 100 % window fits a
// 1024 x 768 desktop: nothing has to scroll.
TEST_F(DialogDrawing, FitsItsWindowAtOneAndTwoTimesScale) {
    EXPECT_LE(kStartupDialogWidth, 1024);
    EXPECT_LE(kStartupDialogHeight, 768 - 60) << "room for a caption and a task bar";
    model.initialise(options, hardware);
    for (float scale : {1.0f, 2.0f}) {
        setScale(scale);
        frame();
        frame();
        ::ImGuiWindow* window = ImGui::FindWindowByName("startup");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->ScrollMax.x, 0.0f) << scale;
        EXPECT_EQ(window->ScrollMax.y, 0.0f) << scale;
        EXPECT_NE(drawnText().find("About..."), std::string::npos) << scale;
    }
}

// The buttons sit where the published layout says, at either scale: a click at a button's
// centre runs its command.
TEST_F(DialogDrawing, ClicksOnTheButtonColumnRunTheirCommands) {
    model.initialise(options, hardware);
    for (float scale : {1.0f, 2.0f}) {
        setScale(scale);
        frame();
        options.run_mode = kRunModeStabilityTest;
        EXPECT_EQ(clickButton(kCtlStartUserSettings), DialogAction::StartRun) << scale;
        EXPECT_EQ(options.run_mode, kRunModeBenchmark);
        EXPECT_EQ(clickButton(kCtlStartTest), DialogAction::StartRun);
        EXPECT_EQ(options.run_mode, kRunModeStabilityTest);
        EXPECT_EQ(clickButton(kCtlAbout), DialogAction::ShowAbout);
        EXPECT_EQ(clickButton(kCtlQuit), DialogAction::Quit);
    }
    float x = 0, y = 0;
    EXPECT_FALSE(buttonCentre(kCtlFullscreen, x, y));

    // A disabled start button (a run's window is open) takes no clicks, and Enter does not
    // press it either.
    setScale(1.0f);
    model.setEnabled(kCtlStartTest, false);
    frame();
    EXPECT_EQ(clickButton(kCtlStartTest), DialogAction::None);
    EXPECT_EQ(pressKey(kKeyEnter), DialogAction::None);
    model.setEnabled(kCtlStartTest, true);
    options.run_mode = kRunModeBenchmark;
    EXPECT_EQ(pressKey(kKeyEnter), DialogAction::StartRun);
    EXPECT_EQ(options.run_mode, kRunModeStabilityTest) << "Enter is the stability test";
}

TEST_F(DialogDrawing, EscapeQuitsAndABlockedDialogTakesNoInput) {
    model.initialise(options, hardware);
    frame();
    ui.blocked = true;
    EXPECT_EQ(clickButton(kCtlQuit), DialogAction::None);
    EXPECT_EQ(pressKey(kKeyEscape), DialogAction::None);
    EXPECT_EQ(pressKey(kKeyEnter), DialogAction::None);
    ui.blocked = false;
    EXPECT_EQ(pressKey(kKeyEscape), DialogAction::Quit);
}

TEST_F(DialogDrawing, CheckBoxClicksAndTabGoThroughTheModel) {
    model.initialise(options, hardware);
    frame();
    // Tab walks the enabled controls in drawing order, round the end, and Shift+Tab back.
    const std::vector<unsigned> order = ui.focus_order;
    ASSERT_GT(order.size(), 20u);
    auto position = [&] {
        return std::find(order.begin(), order.end(), focusedItem()) - order.begin();
    };
    ui.tab_request = 1;
    frame();
    const auto start = position();
    ASSERT_LT(start, static_cast<long>(order.size())) << "focus on a control of the order";
    ui.tab_request = 1;
    frame();
    EXPECT_EQ(position(), (start + 1) % static_cast<long>(order.size()));
    ui.tab_request = -1;
    frame();
    EXPECT_EQ(position(), start);
    for (size_t i = 0; i < order.size(); ++i) {
        ui.tab_request = 1;
        frame();
    }
    EXPECT_EQ(position(), start) << "once round the whole order";
    EXPECT_EQ(ui.focus_order, order) << "the order is the same each frame";
    // Disabled controls are passed over.
    const size_t enabled_count = ui.focus_order.size();
    model.setEnabled(kCtlQuit, false);
    frame();
    EXPECT_EQ(ui.focus_order.size(), enabled_count - 1);
}

TEST_F(DialogDrawing, TheParticleCountDialogOpensInsideAndCancelKeepsTheCount) {
    options.num_total_particles = 5000;
    model.initialise(options, hardware);
    frame();
    EXPECT_EQ(clickButton(kCtlParticleCount), DialogAction::None) << "handled inside";
    ASSERT_TRUE(ui.particle_count.has_value());
    frame();
    const std::string drawn = drawnText();
    EXPECT_NE(drawn.find("Plashwerk-Particlecount"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("Particlecount:"), std::string::npos) << drawn;
    EXPECT_EQ(pressKey(kKeyEscape), DialogAction::None) << "Escape cancels the small dialog only";
    EXPECT_FALSE(ui.particle_count.has_value());
    EXPECT_EQ(options.num_total_particles, 5000);
    EXPECT_EQ(model.control(kCtlParticleCount).text, "Change particle count: 5000");
}

TEST_F(DialogDrawing, TheAboutBoxAndAMessageBoxShowTheirTexts) {
    ImGui::GetIO().DisplaySize = ImVec2(kAboutDialogWidth, kAboutDialogHeight);
    ImGui::NewFrame();
    EXPECT_TRUE(drawAboutDialog(1.0f));
    ImGui::Render();
    ImGui::NewFrame();
    EXPECT_TRUE(drawAboutDialog(1.0f));
    ImGui::Render();
    std::string drawn = drawnText();
    for (const std::string& text :
         {std::string("QuorvexPlashwerk1.5.4"), withoutBlanks(kAboutTagline),
          std::string("Build:[Mar232020@10:00:00]"), withoutBlanks(kAboutAuthor),
          withoutBlanks(kAboutWebSiteLabel), linkAddress(kRedirectHome)})
        EXPECT_NE(drawn.find(text), std::string::npos) << text << " missing from " << drawn;

    ImGui::GetIO().KeysDown[kKeyEscape] = true;
    ImGui::NewFrame();
    EXPECT_FALSE(drawAboutDialog(1.0f)) << "Escape closes it";
    ImGui::Render();
    ImGui::GetIO().KeysDown[kKeyEscape] = false;

    ImGui::NewFrame();
    EXPECT_TRUE(drawMessageBox("Could not switch to fullscreen mode.\n\rPlease try another", 1.0f));
    ImGui::Render();
    drawn = drawnText();
    EXPECT_NE(drawn.find("Couldnotswitchtofullscreenmode.Pleasetryanother"), std::string::npos)
        << drawn;
}

TEST(DialogLinks, RedirectPagesGoThroughTheOpener) {
    EXPECT_EQ(linkAddress(kRedirectOnlineScores), "http://localhost/redirect?id=306");
    std::vector<std::string> opened;
    setLinkOpener([&](const std::string& url) { opened.push_back(url); });
    openRedirectPage(kRedirectLatestVersion);
    openRedirectPage(kRedirectNews);
    setLinkOpener({});
    EXPECT_EQ(opened, (std::vector<std::string>{"http://localhost/redirect?id=302",
                                                "http://localhost/redirect?id=307"}));
}

}  // namespace
}  // namespace plashwerk
