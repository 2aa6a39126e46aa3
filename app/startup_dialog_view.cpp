#include "app/startup_dialog_view.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/dialog_links.h"
#include "platform/program/program_info.h"

namespace plashwerk {
namespace {

// Hyperlink statics are green, as the dialogs have always drawn them.
constexpr ImU32 kLinkColour = IM_COL32(0, 142, 0, 255);
constexpr ImU32 kBannerTop = IM_COL32(16, 40, 72, 255);
constexpr ImU32 kBannerBottom = IM_COL32(40, 96, 150, 255);
constexpr ImU32 kBannerText = IM_COL32(255, 255, 255, 255);
constexpr float kBannerHeight = 70.0f;
constexpr float kLeftColumn = 10.0f;
constexpr float kLeftColumnWidth = 370.0f;
constexpr float kSummaryHeight = 178.0f;
constexpr float kOptionsTop = 376.0f;
constexpr float kOptionsHeight = 150.0f;
constexpr float kLinksTop = 544.0f;

// Each dialog fills its window. Scroll bars show only when the window is smaller than the
// dialog: a large scale on a small desktop.
constexpr ImGuiWindowFlags kWholeWindow =
    ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse |
    ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
    ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_HorizontalScrollbar;

// The button rows of the column on the right, in their order.
struct ButtonSlot {
    int id;
    float top;
    float left;  ///< from the column's left
    float width;
    float height;
};
constexpr float kHalf = (kButtonColumnWidth - 8.0f) / 2.0f;
constexpr ButtonSlot kButtonSlots[] = {
    {kCtlStartTest, kButtonColumnTop, 0, kButtonColumnWidth, kStartButtonHeight},
    {kCtlStartUserSettings, kButtonColumnTop + kButtonRowPitch, 0, kButtonColumnWidth,
     kStartButtonHeight},
    {kCtlPreset1080, kButtonColumnTop + 2 * kButtonRowPitch, 0, kButtonColumnWidth,
     kStartButtonHeight},
    {kCtlPreset720, kButtonColumnTop + 3 * kButtonRowPitch, 0, kButtonColumnWidth,
     kStartButtonHeight},
    {kCtlQuit, kButtonColumnTop + 4 * kButtonRowPitch, 0, kHalf, kSmallButtonHeight},
    {kCtlAbout, kButtonColumnTop + 4 * kButtonRowPitch, kHalf + 8.0f, kHalf, kSmallButtonHeight},
    {kCtlParticleCount, kButtonColumnTop + 4 * kButtonRowPitch + kSmallButtonHeight + 8.0f, 0,
     kButtonColumnWidth, kSmallButtonHeight},
};

const ButtonSlot* slotOf(int id) {
    for (const ButtonSlot& slot : kButtonSlots)
        if (slot.id == id) return &slot;
    return nullptr;
}

// Draws one frame's controls and collects what they ask for.
class Painter {
  public:
    Painter(StartupDialogModel& model, StartupOptions& options, StartupDialogUi& ui)
        : m_model(model), m_options(options), m_ui(ui), m_s(ui.scale) {}

    DialogAction action = DialogAction::None;

    ImVec2 at(float x, float y) const { return ImVec2(x * m_s, y * m_s); }
    float px(float v) const { return v * m_s; }

    void click(int id) {
        const DialogAction a = m_model.click(id, m_options);
        if (action == DialogAction::None) action = a;
    }

    // Every control the keyboard can reach goes into the Tab order as it is drawn.
    void noteFocusable() {
        if (!(ImGui::GetItemFlags() & ImGuiItemFlags_Disabled))
            m_ui.focus_order.push_back(ImGui::GetItemID());
    }

    void button(int id) {
        const DialogControl& c = m_model.control(id);
        const ButtonSlot* slot = slotOf(id);
        ImGui::SetCursorPos(at(kButtonColumnLeft + slot->left, slot->top));
        ImGui::PushID(id);
        ImGui::BeginDisabled(!c.enabled);
        // The default button wears a darker frame.
        const bool default_button = id == kCtlStartTest;
        if (default_button) {
            ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, px(2.0f));
            ImGui::PushStyleColor(ImGuiCol_Border, IM_COL32(40, 60, 110, 255));
        }
        if (ImGui::Button(c.text.c_str(), at(slot->width, slot->height))) click(id);
        if (default_button) {
            ImGui::PopStyleColor();
            ImGui::PopStyleVar();
        }
        noteFocusable();
        ImGui::EndDisabled();
        ImGui::PopID();
    }

    void checkBox(int id) {
        const DialogControl& c = m_model.control(id);
        ImGui::PushID(id);
        ImGui::BeginDisabled(!c.enabled);
        bool checked = c.checked;
        if (ImGui::Checkbox(c.text.c_str(), &checked)) click(id);
        noteFocusable();
        ImGui::EndDisabled();
        ImGui::PopID();
    }

    void dropDown(int id, float width) {
        const DialogControl& c = m_model.control(id);
        ImGui::PushID(id);
        ImGui::BeginDisabled(!c.enabled);
        ImGui::SetNextItemWidth(px(width));
        const bool valid = c.selection >= 0 && c.selection < static_cast<int>(c.entries.size());
        const char* preview = valid ? c.entries[static_cast<size_t>(c.selection)].c_str() : "";
        if (ImGui::BeginCombo("##list", preview, ImGuiComboFlags_HeightLarge)) {
            for (size_t i = 0; i < c.entries.size(); ++i) {
                ImGui::PushID(static_cast<int>(i));
                const bool selected = static_cast<int>(i) == c.selection;
                // Empty lines keep their height: Selectable sizes itself on the font.
                if (ImGui::Selectable(c.entries[i].c_str(), selected))
                    m_model.select(id, static_cast<int>(i));
                if (selected) ImGui::SetItemDefaultFocus();
                ImGui::PopID();
            }
            ImGui::EndCombo();
        }
        noteFocusable();
        ImGui::EndDisabled();
        ImGui::PopID();
    }

    void numberEdit(int id, float width) {
        const DialogControl& c = m_model.control(id);
        ImGui::PushID(id);
        ImGui::BeginDisabled(!c.enabled);
        char text[16];
        std::snprintf(text, sizeof text, "%s", c.text.c_str());
        ImGui::SetNextItemWidth(px(width));
        if (ImGui::InputText("##edit", text, sizeof text, ImGuiInputTextFlags_CharsDecimal))
            m_model.setText(id, text);
        noteFocusable();
        ImGui::EndDisabled();
        ImGui::PopID();
    }

    void staticText(int id) {
        const DialogControl& c = m_model.control(id);
        ImGui::BeginDisabled(!c.enabled);
        ImGui::TextUnformatted(c.text.c_str());
        ImGui::EndDisabled();
    }

    void link(int id) {
        ImGui::PushID(id);
        if (linkText(m_model.control(id).text.c_str())) click(id);
        noteFocusable();
        ImGui::PopID();
    }

    void banner() {
        ImDrawList* draw = ImGui::GetWindowDrawList();
        const ImVec2 origin = ImGui::GetWindowPos();
        const ImVec2 end(origin.x + ImGui::GetWindowWidth(), origin.y + px(kBannerHeight));
        draw->AddRectFilledMultiColor(origin, end, kBannerTop, kBannerTop, kBannerBottom,
                                      kBannerBottom);
        ImFont* font = ImGui::GetFont();
        draw->AddText(font, ImGui::GetFontSize() * 2.0f,
                      ImVec2(origin.x + px(14), origin.y + px(8)), kBannerText, "Plashwerk");
        draw->AddText(font, ImGui::GetFontSize(), ImVec2(origin.x + px(16), origin.y + px(44)),
                      kBannerText, "PhysX fluids benchmark and GPU stress test");
    }

    void summary() {
        // The summary is single-byte text (the degree sign is 0xB0) with "\r\n" line ends;
        // ImGui draws UTF-8 and breaks lines on '\n'.
        const std::string& text = m_model.control(kCtlHardwareSummary).text;
        std::string& shown = m_ui.summary_shown;
        shown.clear();
        for (char ch : text) {
            const auto byte = static_cast<unsigned char>(ch);
            if (byte == '\r') continue;
            if (byte < 0x80) {
                shown += ch;
            } else {
                shown += static_cast<char>(0xC0 | (byte >> 6));
                shown += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        ImGui::SetCursorPos(at(kLeftColumn, kButtonColumnTop));
        ImGui::PushID(kCtlHardwareSummary);
        ImGui::InputTextMultiline("##summary", shown.data(), shown.size() + 1,
                                  at(kLeftColumnWidth, kSummaryHeight),
                                  ImGuiInputTextFlags_ReadOnly);
        noteFocusable();
        ImGui::PopID();
    }

    void displayOptions() {
        const float top = kButtonColumnTop + kSummaryHeight + 10.0f;
        ImGui::SetCursorPos(at(kLeftColumn, top + 3.0f));
        ImGui::TextUnformatted(m_model.control(kCtlResolutionList).text.c_str());
        ImGui::SetCursorPos(at(kLeftColumn + 96.0f, top));
        dropDown(kCtlResolutionList, 130.0f);
        ImGui::SameLine();
        numberEdit(kCtlCustomWidth, 54.0f);
        ImGui::SameLine();
        staticText(kCtlSizeSeparator);
        ImGui::SameLine();
        numberEdit(kCtlCustomHeight, 54.0f);

        ImGui::SetCursorPos(at(kLeftColumn, top + 37.0f));
        ImGui::TextUnformatted(m_model.control(kCtlMsaaList).text.c_str());
        ImGui::SetCursorPos(at(kLeftColumn + 96.0f, top + 34.0f));
        dropDown(kCtlMsaaList, 130.0f);

        ImGui::SetCursorPos(at(kLeftColumn, top + 68.0f));
        checkBox(kCtlFullscreen);
        ImGui::SameLine(0, px(16));
        checkBox(kCtlPhysxGpu);
        ImGui::SameLine(0, px(16));
        checkBox(kCtlZ2o);
    }

    void options() {
        const float width = kStartupDialogWidth - 2 * kLeftColumn;
        ImDrawList* draw = ImGui::GetWindowDrawList();
        const ImVec2 window = ImGui::GetWindowPos();
        const ImVec2 scroll(ImGui::GetScrollX(), ImGui::GetScrollY());
        const ImVec2 frame_min(window.x - scroll.x + px(kLeftColumn),
                               window.y - scroll.y + px(kOptionsTop));
        const ImVec2 frame_max(frame_min.x + px(width), frame_min.y + px(kOptionsHeight));
        const ImU32 line = ImGui::GetColorU32(ImGuiCol_Border);
        draw->AddRect(ImVec2(frame_min.x, frame_min.y + ImGui::GetFontSize() * 0.5f), frame_max,
                      line);
        // The group's title sits on its top edge, on the dialog's face colour.
        const char* title = m_model.control(kCtlOptionsGroup).text.c_str();
        const ImVec2 title_size = ImGui::CalcTextSize(title);
        const ImVec2 title_at(frame_min.x + px(10), frame_min.y);
        draw->AddRectFilled(ImVec2(title_at.x - px(4), title_at.y),
                            ImVec2(title_at.x + title_size.x + px(4), title_at.y + title_size.y),
                            ImGui::GetColorU32(ImGuiCol_WindowBg));
        draw->AddText(title_at, ImGui::GetColorU32(ImGuiCol_Text), title);

        const float row0 = kOptionsTop + 24.0f;
        const float column1 = kLeftColumn + 12.0f;
        const float column2 = kLeftColumn + width / 2.0f;
        const int left[] = {kCtlMoreGraphicsLoad, kCtlPostFx, kCtlLogTemperature};
        const int right[] = {kCtlMulticoreCpuPhysx, kCtlMultithreadPhysx, kCtlAsyncMode};
        for (int row = 0; row < 3; ++row) {
            ImGui::SetCursorPos(at(column1, row0 + row * 30.0f));
            checkBox(left[row]);
            ImGui::SetCursorPos(at(column2, row0 + row * 30.0f));
            checkBox(right[row]);
        }
        ImGui::SetCursorPos(at(column1, row0 + 93.0f));
        staticText(kCtlEmittersLabel);
        ImGui::SetCursorPos(at(column1 + 110.0f, row0 + 90.0f));
        dropDown(kCtlEmitterList, 70.0f);
        ImGui::SameLine(0, px(16));
        checkBox(kCtlUnlock);
    }

    void links() {
        ImGui::SetCursorPos(at(kLeftColumn, kLinksTop));
        link(kCtlLatestLink);
        ImGui::SameLine(0, px(24));
        link(kCtlScoresLink);
    }

    void particleCountDialog() {
        const char* title = "Plashwerk - Particle count";
        if (m_ui.particle_count && !ImGui::IsPopupOpen(title)) ImGui::OpenPopup(title);
        ImGui::SetNextWindowPos(ImGui::GetMainViewport()->GetCenter(), ImGuiCond_Appearing,
                                ImVec2(0.5f, 0.5f));
        if (!ImGui::BeginPopupModal(title, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
        int result = 0;
        ImGui::TextUnformatted("Particle count:");
        ImGui::SameLine();
        ImGui::PushID(kCtlParticleCountEdit);
        if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
        ImGui::SetNextItemWidth(px(120));
        const bool entered = ImGui::InputText(
            "##count", m_ui.particle_text, sizeof m_ui.particle_text,
            ImGuiInputTextFlags_CharsDecimal | ImGuiInputTextFlags_EnterReturnsTrue);
        ImGui::PopID();
        if (ImGui::Button("OK", at(80, 0)) || entered) {
            m_ui.particle_count->text = m_ui.particle_text;
            result = m_ui.particle_count->ok(m_options);
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel", at(80, 0)) || escapePressed())
            result = ParticleCountDialogModel::cancel();
        if (result != 0) {
            m_model.particleCountClosed(result, m_options);
            m_ui.particle_count.reset();
            ImGui::CloseCurrentPopup();
        }
        ImGui::EndPopup();
    }

    static bool escapePressed() {
        return ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
    }

    // A hyperlink static: green text, underlined with a hand cursor under the mouse; Space
    // or a click opens it.
    static bool linkText(const char* text) {
        const ImVec2 size = ImGui::CalcTextSize(text);
        const ImVec2 pos = ImGui::GetCursorScreenPos();
        const bool clicked = ImGui::InvisibleButton(text, size);
        ImDrawList* draw = ImGui::GetWindowDrawList();
        draw->AddText(pos, kLinkColour, text);
        if (ImGui::IsItemHovered()) {
            ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
            draw->AddLine(ImVec2(pos.x, pos.y + size.y), ImVec2(pos.x + size.x, pos.y + size.y),
                          kLinkColour);
        }
        return clicked;
    }

    // Keyboard focus to the next or previous control of the Tab order, round the end.
    void moveFocus(int direction) {
        const std::vector<unsigned>& order = m_ui.focus_order;
        if (order.empty()) return;
        ImGuiContext& g = *ImGui::GetCurrentContext();
        const auto found = std::find(order.begin(), order.end(), g.NavId);
        const int n = static_cast<int>(order.size());
        int index = direction > 0 ? 0 : n - 1;
        if (found != order.end())
            index = (static_cast<int>(found - order.begin()) + direction + n) % n;
        ImGui::SetFocusID(order[static_cast<size_t>(index)], ImGui::GetCurrentWindow());
        g.NavDisableHighlight = false;
        g.NavDisableMouseHover = true;
    }

  private:
    StartupDialogModel& m_model;
    StartupOptions& m_options;
    StartupDialogUi& m_ui;
    float m_s;
};

void beginWholeWindow(const char* name) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->Pos);
    ImGui::SetNextWindowSize(viewport->Size);
    ImGui::Begin(name, nullptr, kWholeWindow);
}

}  // namespace

bool buttonCentre(int control_id, float& x, float& y) {
    const ButtonSlot* slot = slotOf(control_id);
    if (!slot) return false;
    x = kButtonColumnLeft + slot->left + slot->width / 2.0f;
    y = slot->top + slot->height / 2.0f;
    return true;
}

DialogAction drawStartupDialog(StartupDialogModel& model, StartupOptions& options,
                               StartupDialogUi& ui) {
    beginWholeWindow("startup");
    ImGui::BeginDisabled(ui.blocked);
    Painter p(model, options, ui);
    const bool keys_free = !ui.blocked && !ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId) &&
                           !ImGui::GetIO().WantTextInput;
    const int tab = ui.tab_request;
    ui.tab_request = 0;
    ui.focus_order.clear();

    p.banner();
    // The keep-out area of the banner keeps the content size honest for scrolling.
    ImGui::Dummy(p.at(kStartupDialogWidth - 20.0f, kBannerHeight - 10.0f));
    p.summary();
    for (const ButtonSlot& slot : kButtonSlots) p.button(slot.id);
    p.displayOptions();
    p.options();
    p.links();
    // The dialog's extent, inside the window padding, so a smaller window scrolls.
    ImGui::SetCursorPos(p.at(kStartupDialogWidth - 11.0f, kStartupDialogHeight - 11.0f));
    ImGui::Dummy(ImVec2(1, 1));

    if (keys_free) {
        if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) ||
            ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter), false))
            p.click(kCtlStartTest);
        else if (Painter::escapePressed() && p.action == DialogAction::None)
            p.action = model.close(options);
        if (tab != 0) p.moveFocus(tab);
    }

    if (p.action == DialogAction::ShowParticleCount) {
        ui.particle_count.emplace(options);
        std::snprintf(ui.particle_text, sizeof ui.particle_text, "%s",
                      ui.particle_count->text.c_str());
        p.action = DialogAction::None;
    }
    ImGui::EndDisabled();
    if (!ui.blocked) p.particleCountDialog();
    ImGui::End();
    return p.action;
}

bool drawAboutDialog(float scale, const ScoreSite& site) {
    beginWholeWindow("about");
    bool open = true;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 origin = ImGui::GetWindowPos();
    draw->AddRectFilledMultiColor(
        origin, ImVec2(origin.x + ImGui::GetWindowWidth(), origin.y + 48.0f * scale), kBannerTop,
        kBannerTop, kBannerBottom, kBannerBottom);
    draw->AddText(ImGui::GetFont(), ImGui::GetFontSize() * 1.6f,
                  ImVec2(origin.x + 12.0f * scale, origin.y + 10.0f * scale), kBannerText,
                  "Plashwerk");
    ImGui::Dummy(ImVec2(1, 44.0f * scale));

    char line[256];
    std::snprintf(line, sizeof line, "Quorvex %s %d.%d.%d", "Plashwerk", 1, 5, 4);
    ImGui::TextUnformatted(line);
    ImGui::TextWrapped("%s", kAboutTagline);
    std::snprintf(line, sizeof line, "Build: [%s @ %s]", kBuildDate, kBuildTime);
    ImGui::TextUnformatted(line);
    ImGui::TextUnformatted(kAboutAuthor);
    ImGui::TextUnformatted(kAboutWebSiteLabel);
    ImGui::SameLine();
    const std::string home = linkAddress(site, kRedirectHome);
    if (Painter::linkText(home.c_str())) openRedirectPage(site, kRedirectHome);
    if (Painter::linkText("[ Plashwerk news ]")) openRedirectPage(site, kRedirectNews);

    ImGui::Spacing();
    ImGui::TextUnformatted("More from the score server");
    ImGui::Separator();
    if (ImGui::Button("Online scores")) openRedirectPage(site, kRedirectScores);
    ImGui::SameLine();
    if (ImGui::Button("Compare scores")) openRedirectPage(site, kRedirectCompare);
    ImGui::SameLine();
    if (ImGui::Button("Latest version")) openRedirectPage(site, kRedirectLatest);

    ImGui::Spacing();
    if (ImGui::Button("OK", ImVec2(90.0f * scale, 0)) ||
        ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) || Painter::escapePressed())
        open = false;
    ImGui::End();
    return open;
}

bool drawMessageBox(const char* text, float scale) {
    beginWholeWindow("message");
    bool open = true;
    ImGui::PushTextWrapPos(ImGui::GetContentRegionAvail().x);
    ImGui::TextUnformatted(text);
    ImGui::PopTextWrapPos();
    ImGui::Spacing();
    if (ImGui::Button("OK", ImVec2(90.0f * scale, 0)) ||
        ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) || Painter::escapePressed())
        open = false;
    ImGui::End();
    return open;
}

void beginDialogWindow(const char* name) {
    beginWholeWindow(name);
}

bool dialogLinkText(const char* text) {
    return Painter::linkText(text);
}

bool dialogEscapePressed() {
    return Painter::escapePressed();
}

}  // namespace plashwerk
