#pragma once
// Top-level windows, display modes and the main thread's message queue.
//
// Contents:
//   virtual-key codes
//   DisplayMode, WindowDesc
//   Message and MessageHandler
//   Window
//   WindowSystem: the GLFW implementation and the offscreen one
//   window metrics of the offscreen desktop
//
// Two implementations stand behind WindowSystem. With a display, windows are GLFW (X11)
// windows that carry an OpenGL context; full screen is a GLFW full-screen window at the
// requested video mode. Without one, windows are virtual: they have a size and a title and
// receive posted messages, and the render context draws into an offscreen framebuffer of
// their client size. The application sees Windows' virtual-key codes in both.
//
// Threads: windows are created, destroyed and dispatched on the main thread (GLFW demands
// it). postMessage, postQuitMessage and Window::setTitle may be called from any thread.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/window/menu_bar.h"

struct GLFWwindow;

namespace plashwerk::window {

/// Windows' virtual-key codes: what the keyboard commands compare against.
enum VirtualKey : int {
    VK_BACK = 8,
    VK_TAB = 9,
    VK_RETURN = 13,
    VK_SHIFT = 16,
    VK_CONTROL = 17,
    VK_MENU = 18,
    VK_PAUSE = 19,
    VK_CAPITAL = 20,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_PRIOR = 33,
    VK_NEXT = 34,
    VK_END = 35,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_SNAPSHOT = 44,
    VK_INSERT = 45,
    VK_DELETE = 46,
    // '0'..'9' are 48..57 and 'A'..'Z' are 65..90, as their ASCII codes.
    VK_LWIN = 91,
    VK_RWIN = 92,
    VK_APPS = 93,
    VK_NUMPAD0 = 96,
    VK_MULTIPLY = 106,
    VK_ADD = 107,
    VK_SUBTRACT = 109,
    VK_DECIMAL = 110,
    VK_DIVIDE = 111,
    VK_F1 = 112,
    VK_F24 = 135,
    VK_NUMLOCK = 144,
    VK_SCROLL = 145,
    VK_OEM_1 = 186,
    VK_OEM_PLUS = 187,
    VK_OEM_COMMA = 188,
    VK_OEM_MINUS = 189,
    VK_OEM_PERIOD = 190,
    VK_OEM_2 = 191,
    VK_OEM_3 = 192,
    VK_OEM_4 = 219,
    VK_OEM_5 = 220,
    VK_OEM_6 = 221,
    VK_OEM_7 = 222,
};

/// The virtual-key code of a GLFW key, or 0 for a key that has none.
int virtualKeyFromGlfwKey(int glfw_key);

struct DisplayMode {
    int width = 0;
    int height = 0;
    int bits_per_pixel = 32;
};

struct WindowDesc {
    const char* title = "";
    /// Windowed: the outer size, caption, frame and menu included, so the client area is
    /// smaller. Full screen: the video mode's size.
    int width = 640;
    int height = 480;
    bool fullscreen = false;
    bool minimize_box = false;  ///< windowed only
    bool menu_bar = false;      ///< windowed only: File/Help menu above the client area
    int samples = 0;            ///< multisample count of the window's drawable; 0 = none
};

enum class MessageType : uint8_t {
    Close,      ///< the close box, or a close posted by another thread
    Size,       ///< wparam: 1 minimised, 0 restored
    KeyDown,    ///< wparam: virtual-key code
    KeyUp,      ///< wparam: virtual-key code
    Char,       ///< wparam: the character (code point)
    Command,    ///< wparam: menu command id
    MouseMove,  ///< x, y: client coordinates
    LButtonDown,
    LButtonUp,
    RButtonDown,
    RButtonUp,
    MouseWheel,  ///< wparam: wheel delta, 120 per notch, positive away from the user
    Paint,
    SetTitle,  ///< internal: applies a title set from another thread
    User,      ///< wparam: the application's own code
    Quit,
};

/// Modifier bits in Message::modifiers.
enum : uint8_t { kModShift = 1, kModControl = 2, kModAlt = 4 };

class Window;

struct Message {
    Window* window = nullptr;  ///< target; null for the application (quit, user codes)
    MessageType type = MessageType::Paint;
    uint8_t modifiers = 0;
    int64_t wparam = 0;
    int x = 0;
    int y = 0;
};

/// The window procedure: answers a message sent to the window it was created with.
class MessageHandler {
  public:
    virtual ~MessageHandler() = default;
    virtual long onMessage(Window& window, const Message& message) = 0;
};

class Window {
  public:
    virtual ~Window() = default;

    /// Size of the drawable client area, known from creation on.
    int clientWidth() const { return m_client_width; }
    int clientHeight() const { return m_client_height; }
    /// Outer size, caption, frame and menu included.
    int outerWidth() const { return m_outer_width; }
    int outerHeight() const { return m_outer_height; }
    int left() const { return m_left; }
    int top() const { return m_top; }
    bool fullscreen() const { return m_fullscreen; }
    bool hasMenuBar() const { return m_menu_bar_height > 0; }
    /// Height of the menu strip above the client area, 0 without a menu bar.
    int menuBarHeight() const { return m_menu_bar_height; }
    /// The menu strip's state, null without a menu bar. Its view may be read from any
    /// thread while the window exists.
    MenuBar* menuBar() { return m_menu.get(); }
    const MenuBar* menuBar() const { return m_menu.get(); }
    bool hasMinimizeBox() const { return m_minimize_box; }
    int samples() const { return m_samples; }

    /// Main thread. Moves the outer window's top-left corner on the desktop.
    virtual void moveTo(int left, int top) {
        m_left = left;
        m_top = top;
    }
    /// Main thread. Makes a window created hidden visible and brings it to the front.
    virtual void show() {}

    /// The GLFW window behind it, or null for a virtual window.
    virtual GLFWwindow* glfwWindow() const { return nullptr; }

    /// Any thread. Applied on the main thread at the next message dispatch.
    void setTitle(const char* title);
    /// Any thread. Queues a message for this window's procedure.
    void post(MessageType type, int64_t wparam = 0);
    /// The last title applied.
    void title(char* out, int out_size) const;

    MessageHandler* handler() const { return m_handler; }

  protected:
    friend class WindowSystem;
    virtual void applyTitle(const char* /*title*/) {}

    MessageHandler* m_handler = nullptr;
    class WindowSystem* m_system = nullptr;
    int m_client_width = 0, m_client_height = 0;
    int m_outer_width = 0, m_outer_height = 0;
    int m_left = 0, m_top = 0;
    int m_menu_bar_height = 0;
    std::unique_ptr<MenuBar> m_menu;
    int m_samples = 0;
    bool m_fullscreen = false;
    bool m_minimize_box = false;
    mutable std::mutex m_title_mutex;
    char m_title[256] = {};
    char m_pending_title[256] = {};
};

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    /// True for the virtual desktop of a machine without display.
    virtual bool offscreen() const = 0;

    /// The desktop's current mode (the primary monitor's).
    virtual DisplayMode desktopMode() = 0;
    /// Prepares a full-screen mode; false when the display cannot take it.
    virtual bool switchDisplayMode(const DisplayMode& mode) = 0;
    /// Gives the desktop mode back; a full-screen window becomes an ordinary one.
    virtual void restoreDisplayMode() = 0;

    /// Main thread. Null when the window cannot be made. The handler must outlive it.
    virtual Window* createWindow(const WindowDesc& desc, MessageHandler* handler) = 0;
    /// Main thread. Drops the messages still queued for it. Null is ignored.
    virtual void destroyWindow(Window* window) = 0;

    /// Any thread.
    void postMessage(const Message& message);
    void postQuitMessage();

    /// Main thread. An event from the keyboard or the mouse, in client coordinates, as the
    /// device reports it: the window's menu bar takes what is its own (and turns a chosen
    /// item into a Command message), the rest is queued for the window. The offscreen
    /// desktop has no devices; tests feed it through here.
    void deliverInput(const Message& message);

    /// Main thread. Waits for the next message; false when it is the quit message.
    bool getMessage(Message& message);
    /// Takes a message without waiting; false when none is queued.
    bool peekMessage(Message& message);
    /// Main thread. Hands the message to its window's handler (title changes are applied
    /// here); returns the handler's answer, 0 for messages without a window.
    long dispatchMessage(const Message& message);

  protected:
    /// Blocks until events or posted messages may be there.
    virtual void waitForEvents() = 0;
    /// Wakes a waitForEvents in progress (any thread).
    virtual void wakeWaiter() = 0;
    /// Queues a message from the system's own callbacks (main thread).
    void queueMessage(const Message& message);
    void forgetMessagesFor(Window* window);
    /// Gives the window its handler, and its menu bar when it has a strip.
    void attach(Window& window, MessageHandler* handler);

    std::mutex m_queue_mutex;
    std::condition_variable m_queue_cv;
    std::deque<Message> m_queue;
};

/// Opens the GLFW window system; null when no display can be reached, with GLFW's own
/// message in error. One per process, main thread.
std::unique_ptr<WindowSystem> openGlfwWindowSystem(char* error, int error_size);

/// A virtual desktop of the given mode for machines without display.
std::unique_ptr<WindowSystem> openOffscreenWindowSystem(const DisplayMode& desktop);

/// Frame metrics of virtual windowed windows: a fixed dialog frame, a caption and a
/// one-line menu, as a classic desktop theme draws them.
inline constexpr int kOffscreenFrameWidth = 3;
inline constexpr int kOffscreenCaptionHeight = 23;
/// Height of the menu strip, on the virtual desktop and in GLFW windows alike.
inline constexpr int kMenuBarHeight = 20;

/// Menu command ids of the main window's menu.
inline constexpr int kMenuCommandAbout = 104;
inline constexpr int kMenuCommandExit = 105;

}  // namespace plashwerk::window
