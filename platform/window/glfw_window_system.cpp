// Windows on an X11 display through GLFW.
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstring>

#include "platform/window/window.h"

namespace plashwerk::window {
namespace {

char g_glfw_error[256];

void recordGlfwError(int code, const char* text) {
    std::snprintf(g_glfw_error, sizeof g_glfw_error, "GLFW error 0x%X: %s", code, text ? text : "");
}

uint8_t modifierBits(int mods) {
    uint8_t bits = 0;
    if (mods & GLFW_MOD_SHIFT) bits |= kModShift;
    if (mods & GLFW_MOD_CONTROL) bits |= kModControl;
    if (mods & GLFW_MOD_ALT) bits |= kModAlt;
    return bits;
}

class GlfwWindowSystem;
GlfwWindowSystem* g_system = nullptr;  // GLFW is one per process

class GlfwWindow final : public Window {
  public:
    GlfwWindow(GLFWwindow* handle, const WindowDesc& desc, int client_w, int client_h, int menu_h,
               int samples)
        : m_handle(handle) {
        m_fullscreen = desc.fullscreen;
        m_minimize_box = desc.minimize_box && !desc.fullscreen;
        m_menu_bar_height = menu_h;
        m_samples = samples;
        m_client_width = client_w;
        m_client_height = client_h;
        std::snprintf(m_title, sizeof m_title, "%s", desc.title ? desc.title : "");
    }
    ~GlfwWindow() override { glfwDestroyWindow(m_handle); }

    GLFWwindow* glfwWindow() const override { return m_handle; }

    void setOuterGeometry(int outer_w, int outer_h, int frame_left, int frame_top) {
        m_outer_width = outer_w;
        m_outer_height = outer_h;
        m_frame_left = frame_left;
        m_frame_top = frame_top;
    }

    void moveTo(int left, int top) override {
        Window::moveTo(left, top);
        if (!m_fullscreen) glfwSetWindowPos(m_handle, left + m_frame_left, top + m_frame_top);
    }
    void show() override {
        glfwShowWindow(m_handle);
        glfwFocusWindow(m_handle);
    }

  protected:
    void applyTitle(const char* title) override { glfwSetWindowTitle(m_handle, title); }

  private:
    GLFWwindow* m_handle;
    int m_frame_left = 0;
    int m_frame_top = 0;
};

class GlfwWindowSystem final : public WindowSystem {
  public:
    // GLFW itself stays initialised: the GPU library's probe context may still hold a
    // window of its own, and GLFW ends with the process.
    ~GlfwWindowSystem() override { g_system = nullptr; }

    bool offscreen() const override { return false; }

    DisplayMode desktopMode() override {
        DisplayMode mode;
        GLFWmonitor* monitor = glfwGetPrimaryMonitor();
        const GLFWvidmode* vm = monitor ? glfwGetVideoMode(monitor) : nullptr;
        if (!vm) return mode;
        // Modes are reported with 32 bits per pixel, the colour bits plus the padding byte.
        const int bits = vm->redBits + vm->greenBits + vm->blueBits;
        mode = {vm->width, vm->height, bits == 24 ? 32 : bits};
        return mode;
    }

    bool switchDisplayMode(const DisplayMode& mode) override {
        // GLFW changes the video mode when the full-screen window is created; here the
        // monitor only has to exist and the mode to make sense.
        if (!glfwGetPrimaryMonitor() || mode.width < 1 || mode.height < 1 ||
            mode.bits_per_pixel != 32)
            return false;
        return true;
    }

    void restoreDisplayMode() override {
        if (!m_fullscreen_window) return;
        // Leaving full screen puts the monitor's own mode back.
        GLFWwindow* handle = m_fullscreen_window->glfwWindow();
        glfwSetWindowMonitor(handle, nullptr, 0, 0, m_fullscreen_window->clientWidth(),
                             m_fullscreen_window->clientHeight(), GLFW_DONT_CARE);
        m_fullscreen_window = nullptr;
    }

    Window* createWindow(const WindowDesc& desc, MessageHandler* handler) override {
        if (desc.width < 1 || desc.height < 1) return nullptr;
        glfwDefaultWindowHints();
        glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
        glfwWindowHint(GLFW_RED_BITS, 8);
        glfwWindowHint(GLFW_GREEN_BITS, 8);
        glfwWindowHint(GLFW_BLUE_BITS, 8);
        glfwWindowHint(GLFW_ALPHA_BITS, 8);
        glfwWindowHint(GLFW_DEPTH_BITS, 24);
        glfwWindowHint(GLFW_STENCIL_BITS, 8);
        glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        glfwWindowHint(GLFW_SAMPLES, desc.samples > 0 ? desc.samples : 0);

        GLFWmonitor* monitor = nullptr;
        int menu_h = 0;
        if (desc.fullscreen) {
            monitor = glfwGetPrimaryMonitor();
            if (!monitor) return nullptr;
            glfwWindowHint(GLFW_REFRESH_RATE, GLFW_DONT_CARE);
            glfwWindowHint(GLFW_AUTO_ICONIFY, GLFW_TRUE);
        } else {
            menu_h = desc.menu_bar ? kMenuBarHeight : 0;
        }
        const char* title = desc.title ? desc.title : "";
        int samples = desc.samples > 0 ? desc.samples : 0;
        GLFWwindow* handle = glfwCreateWindow(desc.width, desc.height, title, monitor, nullptr);
        if (!handle && samples > 0) {
            // A display without multisampled visuals still gets its window, without.
            glfwWindowHint(GLFW_SAMPLES, 0);
            samples = 0;
            handle = glfwCreateWindow(desc.width, desc.height, title, monitor, nullptr);
        }
        if (!handle) return nullptr;

        int client_w = desc.width, client_h = desc.height - menu_h;
        int frame_l = 0, frame_t = 0, frame_r = 0, frame_b = 0;
        if (desc.fullscreen) {
            // The display may not have the requested mode (one mode only under Xvfb):
            // the drawable is what the window really got.
            glfwGetFramebufferSize(handle, &client_w, &client_h);
        } else {
            // The requested size is the outer one: the window manager's frame and the
            // menu strip come out of it.
            glfwGetWindowFrameSize(handle, &frame_l, &frame_t, &frame_r, &frame_b);
            client_w = desc.width - frame_l - frame_r;
            int drawable_h = desc.height - frame_t - frame_b;
            if (client_w < 1) client_w = 1;
            if (drawable_h < menu_h + 1) drawable_h = menu_h + 1;
            client_h = drawable_h - menu_h;
            glfwSetWindowSize(handle, client_w, drawable_h);
        }
        if (client_w < 1 || client_h < 1) {
            glfwDestroyWindow(handle);
            return nullptr;
        }

        auto* w = new GlfwWindow(handle, desc, client_w, client_h, menu_h, samples);
        w->setOuterGeometry(desc.fullscreen ? client_w : desc.width,
                            desc.fullscreen ? client_h : desc.height, frame_l, frame_t);
        attach(*w, handler);
        glfwSetWindowUserPointer(handle, w);
        glfwSetKeyCallback(handle, &GlfwWindowSystem::onKey);
        glfwSetCharCallback(handle, &GlfwWindowSystem::onChar);
        glfwSetWindowCloseCallback(handle, &GlfwWindowSystem::onClose);
        glfwSetWindowIconifyCallback(handle, &GlfwWindowSystem::onIconify);
        glfwSetCursorPosCallback(handle, &GlfwWindowSystem::onCursor);
        glfwSetCursorEnterCallback(handle, &GlfwWindowSystem::onCursorEnter);
        glfwSetMouseButtonCallback(handle, &GlfwWindowSystem::onButton);
        glfwSetScrollCallback(handle, &GlfwWindowSystem::onScroll);
        glfwSetWindowRefreshCallback(handle, &GlfwWindowSystem::onRefresh);
        if (desc.fullscreen) {
            m_fullscreen_window = w;
            glfwShowWindow(handle);
        }
        return w;
    }

    void destroyWindow(Window* window) override {
        if (!window) return;
        if (window == m_fullscreen_window) m_fullscreen_window = nullptr;
        forgetMessagesFor(window);
        delete window;
    }

  protected:
    // Woken by glfwPostEmptyEvent when another thread posts; the time-out is a safety net
    // for a wake that X drops, not a polling rate.
    void waitForEvents() override { glfwWaitEventsTimeout(0.25); }
    void wakeWaiter() override { glfwPostEmptyEvent(); }

  private:
    static GlfwWindowSystem* systemOf(GlfwWindow* w);
    static GlfwWindow* windowOf(GLFWwindow* handle) {
        return static_cast<GlfwWindow*>(glfwGetWindowUserPointer(handle));
    }
    void push(GlfwWindow* w, MessageType type, int64_t wparam = 0, int x = 0, int y = 0,
              uint8_t mods = 0) {
        Message m;
        m.window = w;
        m.type = type;
        m.wparam = wparam;
        m.x = x;
        m.y = y;
        m.modifiers = mods;
        deliverInput(m);
    }

    static void onKey(GLFWwindow* handle, int key, int /*scancode*/, int action, int mods) {
        GlfwWindow* w = windowOf(handle);
        GlfwWindowSystem* s = systemOf(w);
        const int vk = virtualKeyFromGlfwKey(key);
        if (!s || vk == 0) return;
        if (action == GLFW_RELEASE) {
            s->push(w, MessageType::KeyUp, vk, 0, 0, modifierBits(mods));
            return;
        }
        s->push(w, MessageType::KeyDown, vk, 0, 0, modifierBits(mods));
    }
    static void onChar(GLFWwindow* handle, unsigned int codepoint) {
        GlfwWindow* w = windowOf(handle);
        if (GlfwWindowSystem* s = systemOf(w)) s->push(w, MessageType::Char, codepoint);
    }
    static void onClose(GLFWwindow* handle) {
        // The procedure decides; the window stays until the program destroys it.
        glfwSetWindowShouldClose(handle, GLFW_FALSE);
        GlfwWindow* w = windowOf(handle);
        if (GlfwWindowSystem* s = systemOf(w)) s->push(w, MessageType::Close);
    }
    static void onIconify(GLFWwindow* handle, int iconified) {
        GlfwWindow* w = windowOf(handle);
        if (GlfwWindowSystem* s = systemOf(w)) s->push(w, MessageType::Size, iconified ? 1 : 0);
    }
    static void onCursor(GLFWwindow* handle, double x, double y) {
        GlfwWindow* w = windowOf(handle);
        if (GlfwWindowSystem* s = systemOf(w))
            s->push(w, MessageType::MouseMove, 0, static_cast<int>(x),
                    static_cast<int>(y) - w->menuBarHeight(), s->heldModifiers(handle));
    }
    static void onCursorEnter(GLFWwindow* handle, int entered) {
        // A title stays lit only while the pointer is over it; an open menu stays open.
        GlfwWindow* w = windowOf(handle);
        MenuBar* menu = w ? w->menuBar() : nullptr;
        if (menu && !entered && !menu->isOpen()) menu->onMouseMove(-1, -1);
    }
    static void onButton(GLFWwindow* handle, int button, int action, int mods) {
        GlfwWindow* w = windowOf(handle);
        GlfwWindowSystem* s = systemOf(w);
        if (!s) return;
        MessageType type;
        if (button == GLFW_MOUSE_BUTTON_LEFT)
            type = action == GLFW_PRESS ? MessageType::LButtonDown : MessageType::LButtonUp;
        else if (button == GLFW_MOUSE_BUTTON_RIGHT)
            type = action == GLFW_PRESS ? MessageType::RButtonDown : MessageType::RButtonUp;
        else
            return;
        double x = 0, y = 0;
        glfwGetCursorPos(handle, &x, &y);
        s->push(w, type, 0, static_cast<int>(x), static_cast<int>(y) - w->menuBarHeight(),
                modifierBits(mods));
    }
    static void onScroll(GLFWwindow* handle, double /*dx*/, double dy) {
        GlfwWindow* w = windowOf(handle);
        if (GlfwWindowSystem* s = systemOf(w))
            s->push(w, MessageType::MouseWheel, static_cast<int64_t>(dy * 120.0), 0, 0,
                    s->heldModifiers(handle));
    }
    static void onRefresh(GLFWwindow* handle) {
        GlfwWindow* w = windowOf(handle);
        if (GlfwWindowSystem* s = systemOf(w)) s->push(w, MessageType::Paint);
    }
    uint8_t heldModifiers(GLFWwindow* handle) {
        uint8_t bits = 0;
        if (glfwGetKey(handle, GLFW_KEY_LEFT_SHIFT) || glfwGetKey(handle, GLFW_KEY_RIGHT_SHIFT))
            bits |= kModShift;
        if (glfwGetKey(handle, GLFW_KEY_LEFT_CONTROL) || glfwGetKey(handle, GLFW_KEY_RIGHT_CONTROL))
            bits |= kModControl;
        if (glfwGetKey(handle, GLFW_KEY_LEFT_ALT) || glfwGetKey(handle, GLFW_KEY_RIGHT_ALT))
            bits |= kModAlt;
        return bits;
    }

    GlfwWindow* m_fullscreen_window = nullptr;
};

GlfwWindowSystem* GlfwWindowSystem::systemOf(GlfwWindow* w) {
    return w ? g_system : nullptr;
}

}  // namespace

std::unique_ptr<WindowSystem> openGlfwWindowSystem(char* error, int error_size) {
    if (g_system) return nullptr;
    g_glfw_error[0] = '\0';
    glfwSetErrorCallback(&recordGlfwError);
    if (!glfwInit()) {
        if (error && error_size > 0)
            std::snprintf(error, static_cast<size_t>(error_size), "%s", g_glfw_error);
        return nullptr;
    }
    auto system = std::make_unique<GlfwWindowSystem>();
    g_system = system.get();
    return system;
}

}  // namespace plashwerk::window
