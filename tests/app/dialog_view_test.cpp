// The dialogs as ImGui draws them, without a window: the text that reaches the draw lists
// is read back glyph by glyph, and mouse and keys are fed through ImGui's input state.
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/dialog_links.h"
#include "app/imgui_window.h"
#include "app/results_dialog_view.h"
#include "app/startup_dialog_view.h"

namespace plashwerk {
namespace {

// Key slots of the headless context; any indices below 512 do.
constexpr int kKeyEnter = 257;
constexpr int kKeyEscape = 256;
constexpr int kKeySpace = 32;

// The text of everything drawn in the last frame, in drawing order, without spaces (a
// space draws no glyph). `corners`, when given, gets each byte's glyph's top-left corner.
std::string drawnText(std::vector<ImVec2>* corners = nullptr) {
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
                if (corners) corners->resize(text.size(), v[i].pos);
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
    void TearDown() override { ImGui::DestroyContext(); }

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
        options.run_mode = int(RunMode::StabilityTest);
        EXPECT_EQ(clickButton(kCtlStartUserSettings), DialogAction::StartRun) << scale;
        EXPECT_EQ(options.run_mode, int(RunMode::Benchmark));
        EXPECT_EQ(clickButton(kCtlStartTest), DialogAction::StartRun);
        EXPECT_EQ(options.run_mode, int(RunMode::StabilityTest));
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
    options.run_mode = int(RunMode::Benchmark);
    EXPECT_EQ(pressKey(kKeyEnter), DialogAction::StartRun);
    EXPECT_EQ(options.run_mode, int(RunMode::StabilityTest)) << "Enter is the stability test";
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
    const ScoreSite site{"scores.example", 8080};
    ImGui::GetIO().DisplaySize = ImVec2(kAboutDialogWidth, kAboutDialogHeight);
    ImGui::NewFrame();
    EXPECT_TRUE(drawAboutDialog(1.0f, site));
    ImGui::Render();
    ImGui::NewFrame();
    EXPECT_TRUE(drawAboutDialog(1.0f, site));
    ImGui::Render();
    std::string drawn = drawnText();
    for (const std::string& text :
         {std::string("QuorvexPlashwerk1.5.4"), withoutBlanks(kAboutTagline),
          std::string("Build:[Mar232020@10:28:47]"), withoutBlanks(kAboutAuthor),
          withoutBlanks(kAboutWebSiteLabel),
          std::string("http://scores.example:8080/redirect?id=11")})
        EXPECT_NE(drawn.find(text), std::string::npos) << text << " missing from " << drawn;

    ImGui::GetIO().KeysDown[kKeyEscape] = true;
    ImGui::NewFrame();
    EXPECT_FALSE(drawAboutDialog(1.0f, site)) << "Escape closes it";
    ImGui::Render();
    ImGui::GetIO().KeysDown[kKeyEscape] = false;

    ImGui::NewFrame();
    EXPECT_TRUE(drawMessageBox("Could not switch to fullscreen mode.\n\rPlease try another", 1.0f));
    ImGui::Render();
    drawn = drawnText();
    EXPECT_NE(drawn.find("Couldnotswitchtofullscreenmode.Pleasetryanother"), std::string::npos)
        << drawn;
}

TEST(DialogLinks, RedirectPagesGoToTheScoreSiteThroughTheOpener) {
    EXPECT_EQ(linkAddress(ScoreSite{}, kRedirectScores), "http://localhost/redirect?id=306");
    std::vector<std::string> opened;
    const LinkOpener opener = [&](const std::string& url) { opened.push_back(url); };
    openRedirectPage(currentScoreSite("127.0.0.1:9090"), kRedirectLatest, opener);
    openRedirectPage(ScoreSite{"::1", 80}, kRedirectNews, opener);
    EXPECT_EQ(opened, (std::vector<std::string>{"http://127.0.0.1:9090/redirect?id=302",
                                                "http://[::1]/redirect?id=307"}));
}

// The results dialog drawn from its model: every line and control, and what clicks and keys
// ask for.
class ResultsDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.KeyMap[ImGuiKey_Escape] = kKeyEscape;
        setupDialogFonts(1.0f);
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
        io.DisplaySize = ImVec2(kResultsDialogWidth, kResultsDialogHeight);

        setDefaultStartupOptions(options);
        std::snprintf(options.submit_score_user_email, sizeof options.submit_score_user_email, "%s",
                      "me@example.org");
        ResultsDialogInputs in;
        in.lines.preset_run = true;
        in.lines.num_fluid_emitters = 1;
        in.lines.num_particles = 30000;
        in.lines.width = 1920;
        in.lines.height = 1080;
        in.lines.fullscreen = true;
        in.result.global_score = 12345;
        in.result.fps_avg = 205;
        in.result.fps_min = 180;
        in.result.fps_max = 230;
        in.result.duration_ms = 60000;
        in.result.physx_on_gpu = true;
        const char* system[6] = {"Mesa llvmpipe", "4.5 Mesa 22.3.6", "Ryzen 7",
                                 "3600 MHz",      "16384 MB",        "Debian 12"};
        for (int i = 0; i < 6; ++i)
            std::snprintf(in.result.system_lines[i], sizeof in.result.system_lines[i], "%s",
                          system[i]);
        in.physx_version = 34079744;
        in.gpu_count = 1;
        model.initialise(in, options);
    }
    void TearDown() override { ImGui::DestroyContext(); }

    ResultsDialogFrame frame() {
        ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
        ImGui::NewFrame();
        const ResultsDialogFrame f = drawResultsDialog(model, ui);
        ImGui::Render();
        return f;
    }
    // A click on the first glyph of `text` (without blanks) as last drawn: its first
    // showing, or its last (a button after a caption with the same word).
    ResultsDialogFrame clickText(const std::string& text, bool last = false) {
        std::vector<ImVec2> corners;
        const std::string drawn = drawnText(&corners);
        const size_t at = last ? drawn.rfind(withoutBlanks(text)) : drawn.find(withoutBlanks(text));
        EXPECT_NE(at, std::string::npos) << text << " not in " << drawn;
        if (at == std::string::npos) return {};
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(corners[at].x + 3.0f, corners[at].y + 6.0f);
        ResultsDialogFrame a = frame();
        io.MouseDown[0] = true;
        const ResultsDialogFrame b = frame();
        io.MouseDown[0] = false;
        const ResultsDialogFrame c = frame();
        a.clicked = a.clicked ? a.clicked : b.clicked ? b.clicked : c.clicked;
        a.open = a.open && b.open && c.open;
        return a;
    }

    StartupOptions options{};
    ResultsDialogModel model{[](const ScoreSite&, const ScoreSubmissionInputs&) { return 5; }};
    ResultsDialogUi ui;
};

TEST_F(ResultsDrawing, ShowsEveryLineAndControlInTheDialogsOrder) {
    frame();
    frame();
    const std::string drawn = drawnText();
    std::vector<std::string> expected = {model.title()};
    for (const ResultsControl& c : model.controls()) {
        if (!c.label.empty()) expected.push_back(c.label);
        if (c.kind != ResultsControlKind::PasswordEdit && !c.text.empty())
            expected.push_back(c.text);
    }
    expected.push_back("OK");
    size_t from = 0;
    for (const std::string& text : expected) {
        const size_t at = drawn.find(withoutBlanks(text), from);
        ASSERT_NE(at, std::string::npos)
            << "\"" << text << "\" missing after " << from << " in: " << drawn;
        from = at;
    }
    for (const char* line :
         {"SCORE:12345points,205FPS(GPUPhysX)", "Duration:60000ms-FPS:min:180,max:230",
          "1emitter-Particles:30000", "1920x1080(FS)", "Ryzen7", "34079744", "1GPU(s)",
          "me@example.org", "Notsent", "Nickname(optional)", "[Createanaccount]"})
        EXPECT_NE(drawn.find(line), std::string::npos) << line << " missing from: " << drawn;
}

TEST_F(ResultsDrawing, SubmitAndTheLinksComeBackAsClicksAndSubmitWaitsWhileSending) {
    frame();
    EXPECT_EQ(clickText("[ Online scores ]").clicked, kCtlOnlineScoresLink);
    EXPECT_EQ(clickText("[ Compare your score ]").clicked, kCtlCompareLink);
    EXPECT_EQ(clickText("[ Create an account ]").clicked, 0) << "opens nothing";
    EXPECT_EQ(clickText("Submit", true).clicked, kCtlSubmit);

    ui.submitting = true;
    frame();
    EXPECT_NE(drawnText().find("Sending..."), std::string::npos);
    EXPECT_EQ(clickText("Submit", true).clicked, 0) << "one submission at a time";
    ui.submitting = false;

    EXPECT_EQ(model.click(kCtlSubmit, options).action, ResultsAction::OpenUrl);
    frame();
    EXPECT_EQ(clickText("Submit", true).clicked, 0) << "disabled after a success";
    EXPECT_TRUE(clickText("Submit", true).open);
}

TEST_F(ResultsDrawing, OkAndEscapeCloseIt) {
    frame();
    EXPECT_TRUE(frame().open);
    EXPECT_FALSE(clickText("OK", true).open);
    ImGui::GetIO().KeysDown[kKeyEscape] = true;
    EXPECT_FALSE(frame().open);
    ImGui::GetIO().KeysDown[kKeyEscape] = false;
    EXPECT_TRUE(frame().open);
}

}  // namespace
}  // namespace plashwerk
