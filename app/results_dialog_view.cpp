#include "app/results_dialog_view.h"

#include <imgui.h>

#include <cstdio>

#include "app/startup_dialog_view.h"

namespace plashwerk {
namespace {

constexpr ImU32 kTitleColour = IM_COL32(16, 40, 72, 255);
constexpr float kLabelColumn = 130.0f;  // where the values of labelled lines start

class ResultsPainter {
  public:
    ResultsPainter(ResultsDialogModel& model, ResultsDialogUi& ui)
        : m_model(model), m_ui(ui), m_s(ui.scale) {}

    float px(float v) const { return v * m_s; }

    void line(int id) {
        const ResultsControl& c = m_model.control(id);
        if (!c.label.empty()) {
            ImGui::TextDisabled("%s:", c.label.c_str());
            ImGui::SameLine(px(kLabelColumn));
        }
        ImGui::TextUnformatted(c.text.c_str());
    }

    void groupCaption(int id) {
        ImGui::Spacing();
        ImGui::TextDisabled("%s", m_model.control(id).text.c_str());
        ImGui::Separator();
    }

    void edit(int id) {
        const ResultsControl& c = m_model.control(id);
        ImGui::TextUnformatted(c.label.c_str());
        ImGui::SameLine(px(kLabelColumn));
        // The model holds the text; ImGui edits a copy of it and hands every change back.
        char buffer[128];
        std::snprintf(buffer, sizeof buffer, "%s", c.text.c_str());
        const size_t size = c.max_length + 1 < sizeof buffer ? c.max_length + 1 : sizeof buffer;
        ImGuiInputTextFlags flags = 0;
        if (c.kind == ResultsControlKind::PasswordEdit) flags |= ImGuiInputTextFlags_Password;
        ImGui::PushID(id);
        ImGui::SetNextItemWidth(px(260));
        if (ImGui::InputText("##edit", buffer, size, flags)) m_model.setText(id, buffer);
        ImGui::PopID();
    }

    void link(int id) {
        const ResultsControl& c = m_model.control(id);
        ImGui::PushID(id);
        if (dialogLinkText(c.text.c_str())) clicked = id;
        ImGui::PopID();
    }

    void submitButton() {
        const ResultsControl& c = m_model.control(kCtlSubmit);
        ImGui::BeginDisabled(!c.enabled || m_ui.submitting);
        ImGui::SetCursorPosX(px(kLabelColumn));
        if (ImGui::Button(c.text.c_str(), ImVec2(px(120), 0))) clicked = kCtlSubmit;
        ImGui::EndDisabled();
        if (m_ui.submitting) {
            ImGui::SameLine();
            ImGui::TextDisabled("Sending...");
        }
    }

    int clicked = 0;

  private:
    ResultsDialogModel& m_model;
    ResultsDialogUi& m_ui;
    float m_s;
};

}  // namespace

ResultsDialogFrame drawResultsDialog(ResultsDialogModel& model, ResultsDialogUi& ui) {
    beginDialogWindow("results");
    ResultsPainter p(model, ui);
    ResultsDialogFrame frame;

    const std::string title = model.title();
    ImGui::PushStyleColor(ImGuiCol_Text, ImGui::ColorConvertU32ToFloat4(kTitleColour));
    ImGui::TextUnformatted(title.c_str());
    ImGui::PopStyleColor();
    p.line(kCtlBuildLine);
    p.line(kCtlSiteLabel);
    ImGui::Separator();
    // The score stands out: a larger face in the title's colour.
    for (int id :
         {kCtlScoreLine, kCtlDetailLine, kCtlEmittersLine, kCtlThreadingLine, kCtlResolutionLine})
        p.line(id);
    ImGui::Spacing();
    for (int id = kCtlMainRenderer; id <= kCtlOs; ++id) p.line(id);
    p.line(kCtlClocksLine);
    p.line(kCtlPhysxVersion);
    p.line(kCtlMultiGpus);

    p.groupCaption(kCtlSubmitGroup);
    p.groupCaption(kCtlLoginGroup);
    p.edit(kCtlEmail);
    p.edit(kCtlPassword);
    ImGui::SetCursorPosX(p.px(kLabelColumn));
    ImGui::PushTextWrapPos(ImGui::GetContentRegionMax().x);
    ImGui::TextDisabled("%s", model.control(kCtlPasswordNote).text.c_str());
    ImGui::PopTextWrapPos();
    ImGui::SetCursorPosX(p.px(kLabelColumn));
    p.link(kCtlCreateAccount);
    ImGui::SameLine(p.px(kLabelColumn + 200));
    ImGui::TextDisabled("%s", model.control(kCtlOrLabel).text.c_str());
    p.edit(kCtlNickname);
    p.submitButton();

    ImGui::Separator();
    p.link(kCtlOnlineScoresLink);
    ImGui::SameLine();
    p.link(kCtlCompareLink);
    ImGui::SameLine();
    p.link(kCtlSiteLink);
    // "OK" on the links' row, at the right edge.
    ImGui::SameLine(ImGui::GetContentRegionMax().x - p.px(90));
    if (ImGui::Button("OK", ImVec2(p.px(90), 0))) frame.open = false;
    if (dialogEscapePressed()) frame.open = false;
    // "Create an account" is drawn as a link but opens nothing.
    frame.clicked = p.clicked == kCtlCreateAccount ? 0 : p.clicked;
    ImGui::End();
    return frame;
}

}  // namespace plashwerk
