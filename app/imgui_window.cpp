#include "app/imgui_window.h"

#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plashwerk {
namespace {

// Debian keeps Liberation Sans in one of these.
const char* const kDialogFaceFiles[] = {
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
};

// Between frames the loop sleeps until an event comes or this much time has passed, so
// the text cursor blinks and a run's state changes show without busy waiting.
constexpr double kIdleWaitSeconds = 0.05;

// Classic dialog colours: dark text on a light grey face.
void applyDialogStyle() {
    ImGui::StyleColorsLight();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 0.0f;
    style.FrameRounding = 2.0f;
    style.FrameBorderSize = 1.0f;
    style.WindowPadding = ImVec2(10.0f, 10.0f);
    style.ItemSpacing = ImVec2(8.0f, 6.0f);
    style.Colors[ImGuiCol_WindowBg] = ImVec4(0.94f, 0.94f, 0.94f, 1.0f);
    style.Colors[ImGuiCol_PopupBg] = ImVec4(0.97f, 0.97f, 0.97f, 1.0f);
    style.Colors[ImGuiCol_Button] = ImVec4(0.88f, 0.88f, 0.88f, 1.0f);
    style.Colors[ImGuiCol_ButtonHovered] = ImVec4(0.80f, 0.87f, 0.96f, 1.0f);
    style.Colors[ImGuiCol_ButtonActive] = ImVec4(0.70f, 0.80f, 0.94f, 1.0f);
}

}  // namespace

void setupDialogFonts(float scale) {
    ImGuiIO& io = ImGui::GetIO();
    io.Fonts->Clear();
    ImFont* font = nullptr;
    for (const char* path : kDialogFaceFiles) {
        if (std::FILE* f = std::fopen(path, "rb")) {
            std::fclose(f);
            font = io.Fonts->AddFontFromFileTTF(path, std::round(kDialogFontPixels * scale));
            if (font) break;
        }
    }
    if (!font) {
        ImFontConfig config;
        config.SizePixels = std::round(13.0f * scale);
        io.Fonts->AddFontDefault(&config);
    }
    io.Fonts->Build();
    applyDialogStyle();
    ImGui::GetStyle().ScaleAllSizes(scale);
}

std::unique_ptr<ImGuiHostWindow> ImGuiHostWindow::create(const ImGuiWindowDesc& desc) {
    if (!glfwInit()) return nullptr;
    // The scale of the monitor the window will open on, to size it before it exists.
    float scale = 1.0f;
    int area_w = 0, area_h = 0;
    if (GLFWmonitor* monitor = glfwGetPrimaryMonitor()) {
        float sx = 1.0f, sy = 1.0f;
        glfwGetMonitorContentScale(monitor, &sx, &sy);
        scale = std::clamp(std::max(sx, sy), 1.0f, 4.0f);
        int x = 0, y = 0;
        glfwGetMonitorWorkarea(monitor, &x, &y, &area_w, &area_h);
    }
    int width = static_cast<int>(std::lround(desc.width * scale));
    int height = static_cast<int>(std::lround(desc.height * scale));
    // A window larger than the desktop scrolls its contents instead.
    if (area_w > 0) width = std::min(width, area_w);
    if (area_h > 0) height = std::min(height, area_h);

    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    GLFWwindow* previous = glfwGetCurrentContext();
    GLFWwindow* handle = glfwCreateWindow(width, height, desc.title, nullptr, nullptr);
    if (!handle) return nullptr;

    std::unique_ptr<ImGuiHostWindow> w(new ImGuiHostWindow);
    w->m_handle = handle;
    w->m_scale = scale;
    w->m_previous_gl = previous;
    glfwSetWindowUserPointer(handle, w.get());

    ImGuiContext* outer = ImGui::GetCurrentContext();
    w->m_context = ImGui::CreateContext();
    ImGui::SetCurrentContext(w->m_context);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // the dialogs keep no layout file
    io.LogFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    setupDialogFonts(scale);
    glfwMakeContextCurrent(handle);
    glfwSwapInterval(0);  // the loop paces itself; several windows must not wait on each other
    // Callbacks are installed here, one set per window, so that each event reaches the
    // ImGui context of the window it happened in.
    ImGui_ImplGlfw_InitForOpenGL(handle, false);
    ImGui_ImplOpenGL2_Init();
    glfwSetKeyCallback(handle, &ImGuiHostWindow::onKey);
    glfwSetCharCallback(handle, &ImGuiHostWindow::onChar);
    glfwSetMouseButtonCallback(handle, &ImGuiHostWindow::onMouseButton);
    glfwSetScrollCallback(handle, &ImGuiHostWindow::onScroll);
    glfwSetWindowFocusCallback(handle, &ImGuiHostWindow::onFocus);
    glfwSetCursorEnterCallback(handle, &ImGuiHostWindow::onCursorEnter);
    glfwSetWindowCloseCallback(handle, &ImGuiHostWindow::onClose);
    glfwMakeContextCurrent(previous);
    ImGui::SetCurrentContext(outer);
    return w;
}

ImGuiHostWindow::~ImGuiHostWindow() {
    ImGuiContext* outer = ImGui::GetCurrentContext();
    GLFWwindow* previous = glfwGetCurrentContext();
    glfwMakeContextCurrent(m_handle);
    ImGui::SetCurrentContext(m_context);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext(m_context);
    ImGui::SetCurrentContext(outer == m_context ? nullptr : outer);
    glfwMakeContextCurrent(previous == m_handle ? nullptr : previous);
    glfwDestroyWindow(m_handle);
}

ImGuiHostWindow* ImGuiHostWindow::of(GLFWwindow* handle) {
    auto* w = static_cast<ImGuiHostWindow*>(glfwGetWindowUserPointer(handle));
    if (w) ImGui::SetCurrentContext(w->m_context);
    return w;
}

void ImGuiHostWindow::onKey(GLFWwindow* handle, int key, int scancode, int action, int mods) {
    ImGuiHostWindow* w = of(handle);
    if (!w) return;
    if (key == GLFW_KEY_TAB) {
        if (action != GLFW_RELEASE) w->m_tab_request = (mods & GLFW_MOD_SHIFT) ? -1 : 1;
        return;
    }
    std::vector<int>& pressed = w->m_pressed_since_frame;
    if (action == GLFW_PRESS) pressed.push_back(key);
    if (action == GLFW_RELEASE && std::find(pressed.begin(), pressed.end(), key) != pressed.end()) {
        w->m_deferred_releases.push_back({key, scancode, mods});
        return;
    }
    ImGui_ImplGlfw_KeyCallback(handle, key, scancode, action, mods);
}

void ImGuiHostWindow::onChar(GLFWwindow* handle, unsigned int codepoint) {
    if (of(handle)) ImGui_ImplGlfw_CharCallback(handle, codepoint);
}

void ImGuiHostWindow::onMouseButton(GLFWwindow* handle, int button, int action, int mods) {
    if (of(handle)) ImGui_ImplGlfw_MouseButtonCallback(handle, button, action, mods);
}

void ImGuiHostWindow::onScroll(GLFWwindow* handle, double dx, double dy) {
    if (of(handle)) ImGui_ImplGlfw_ScrollCallback(handle, dx, dy);
}

void ImGuiHostWindow::onFocus(GLFWwindow* handle, int focused) {
    if (of(handle)) ImGui_ImplGlfw_WindowFocusCallback(handle, focused);
}

void ImGuiHostWindow::onCursorEnter(GLFWwindow* handle, int entered) {
    if (of(handle)) ImGui_ImplGlfw_CursorEnterCallback(handle, entered);
}

void ImGuiHostWindow::onClose(GLFWwindow* handle) {
    glfwSetWindowShouldClose(handle, GLFW_FALSE);
    if (ImGuiHostWindow* w = of(handle)) w->m_close_requested = true;
}

bool ImGuiHostWindow::takeCloseRequest() {
    const bool requested = m_close_requested;
    m_close_requested = false;
    return requested;
}

int ImGuiHostWindow::takeTabRequest() {
    const int request = m_tab_request;
    m_tab_request = 0;
    return request;
}

void ImGuiHostWindow::makeCurrent() {
    ImGui::SetCurrentContext(m_context);
    m_previous_gl = glfwGetCurrentContext();
    glfwMakeContextCurrent(m_handle);
}

void ImGuiHostWindow::beginFrame() {
    makeCurrent();
    m_pressed_since_frame.clear();
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
}

void ImGuiHostWindow::endFrame() {
    ImGui::Render();
    int fb_w = 0, fb_h = 0;
    glfwGetFramebufferSize(m_handle, &fb_w, &fb_h);
    glViewport(0, 0, fb_w, fb_h);
    const ImVec4 face = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    glClearColor(face.x, face.y, face.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glfwSwapBuffers(m_handle);
    // This frame saw the quick keys down; now they may go up.
    for (const KeyEvent& e : m_deferred_releases)
        ImGui_ImplGlfw_KeyCallback(m_handle, e.key, e.scancode, GLFW_RELEASE, e.mods);
    m_deferred_releases.clear();
    glfwMakeContextCurrent(m_previous_gl == m_handle ? nullptr : m_previous_gl);
}

void runModal(ImGuiHostWindow& window, const std::function<bool()>& draw,
              const std::function<bool()>& between_frames) {
    for (;;) {
        glfwWaitEventsTimeout(kIdleWaitSeconds);
        if (between_frames && !between_frames()) return;
        window.beginFrame();
        const bool open = draw();
        window.endFrame();
        if (!open) return;
    }
}

}  // namespace plashwerk
