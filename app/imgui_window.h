#pragma once
// A top-level window drawn with Dear ImGui: a GLFW window with its own OpenGL context and
// its own ImGui context, so that several can be open at once (the startup dialog, the About
// box, a message box, the results). Main thread only: ImGui's current context is one
// process-wide pointer.
//
// Contents:
//   ImGuiWindowDesc
//   ImGuiHostWindow: create, beginFrame / endFrame, close box, Tab requests
//   runModal: a nested loop that draws one window until it is done
//   setupDialogFonts: the font and sizes of every dialog, for a scale

#include <functional>
#include <memory>
#include <vector>

struct GLFWwindow;
struct ImGuiContext;

namespace plashwerk {

struct ImGuiWindowDesc {
    const char* title = "";
    /// Size in pixels at 100 % scale; multiplied by the display's content scale and held
    /// inside the monitor's work area.
    int width = 400;
    int height = 300;
};

class ImGuiHostWindow {
  public:
    /// Null when GLFW has no display or the window cannot be made.
    static std::unique_ptr<ImGuiHostWindow> create(const ImGuiWindowDesc& desc);
    ~ImGuiHostWindow();
    ImGuiHostWindow(const ImGuiHostWindow&) = delete;
    ImGuiHostWindow& operator=(const ImGuiHostWindow&) = delete;

    /// Makes this window's contexts current and starts an ImGui frame filling the window.
    void beginFrame();
    /// Renders the frame, shows it, and gives the previous OpenGL context back.
    void endFrame();

    /// The close box was clicked since the last call (the window itself stays).
    bool takeCloseRequest();
    /// +1 for Tab, -1 for Shift+Tab, 0 when neither was pressed since the last call. The
    /// key is kept from ImGui, which only tabs between text boxes.
    int takeTabRequest();

    /// The display's content scale the fonts and sizes were made for (1 = 100 %).
    float scale() const { return m_scale; }
    GLFWwindow* handle() const { return m_handle; }
    ImGuiContext* context() const { return m_context; }

  private:
    ImGuiHostWindow() = default;
    static ImGuiHostWindow* of(GLFWwindow* handle);
    static void onKey(GLFWwindow* handle, int key, int scancode, int action, int mods);
    static void onChar(GLFWwindow* handle, unsigned int codepoint);
    static void onMouseButton(GLFWwindow* handle, int button, int action, int mods);
    static void onScroll(GLFWwindow* handle, double dx, double dy);
    static void onFocus(GLFWwindow* handle, int focused);
    static void onCursorEnter(GLFWwindow* handle, int entered);
    static void onClose(GLFWwindow* handle);
    void makeCurrent();

    GLFWwindow* m_handle = nullptr;
    ImGuiContext* m_context = nullptr;
    GLFWwindow* m_previous_gl = nullptr;
    float m_scale = 1.0f;
    bool m_close_requested = false;
    int m_tab_request = 0;

    // A key pressed and released between two frames would never be seen down by ImGui,
    // which samples key states once a frame: its release waits until a frame has passed.
    struct KeyEvent {
        int key, scancode, mods;
    };
    std::vector<int> m_pressed_since_frame;
    std::vector<KeyEvent> m_deferred_releases;
};

/// Draws `window` until `draw` returns false. `between_frames` runs before each frame (the
/// caller's other windows and messages); it returns false to end the loop early (the
/// program is quitting). Main thread.
void runModal(ImGuiHostWindow& window, const std::function<bool()>& draw,
              const std::function<bool()>& between_frames);

/// Loads Liberation Sans at the dialogs' text size for `scale` into the current ImGui
/// context and scales its style; falls back to ImGui's own font when the face is missing.
void setupDialogFonts(float scale);

/// Text size of the dialogs at 100 %, in pixels.
inline constexpr float kDialogFontPixels = 15.0f;

}  // namespace plashwerk
