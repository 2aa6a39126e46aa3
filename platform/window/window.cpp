#include "platform/window/window.h"

#include <cstdio>

namespace plashwerk::window {

void Window::setTitle(const char* title) {
    {
        std::lock_guard lock(m_title_mutex);
        std::snprintf(m_pending_title, sizeof m_pending_title, "%s", title ? title : "");
    }
    if (m_system) {
        Message m;
        m.window = this;
        m.type = MessageType::SetTitle;
        m_system->postMessage(m);
    }
}

void Window::post(MessageType type, int64_t wparam) {
    if (!m_system) return;
    Message m;
    m.window = this;
    m.type = type;
    m.wparam = wparam;
    m_system->postMessage(m);
}

void Window::title(char* out, int out_size) const {
    if (!out || out_size <= 0) return;
    std::lock_guard lock(m_title_mutex);
    std::snprintf(out, static_cast<size_t>(out_size), "%s", m_title);
}

void WindowSystem::attach(Window& window, MessageHandler* handler) {
    window.m_handler = handler;
    window.m_system = this;
    if (window.m_menu_bar_height > 0)
        window.m_menu = std::make_unique<MenuBar>(window.m_client_width, window.m_menu_bar_height);
}

namespace {

// The menu's share of an event; positions move from client to strip coordinates.
MenuInput routeToMenu(MenuBar& menu, const Message& m, int strip_height) {
    const int y = m.y + strip_height;
    switch (m.type) {
        case MessageType::KeyDown:
            return menu.onKeyDown(static_cast<int>(m.wparam), m.modifiers);
        case MessageType::Char:
            return menu.onChar();
        case MessageType::MouseMove:
            return menu.onMouseMove(m.x, y);
        case MessageType::LButtonDown:
            return menu.onButtonDown(m.x, y);
        case MessageType::LButtonUp:
            return menu.onButtonUp(m.x, y);
        case MessageType::RButtonDown:
        case MessageType::RButtonUp:
            return menu.onRightButton(m.type == MessageType::RButtonDown);
        case MessageType::Size:
            // A minimised window shows no menu.
            if (m.wparam == 1) menu.close();
            return {};
        default:
            return {};
    }
}

}  // namespace

void WindowSystem::deliverInput(const Message& message) {
    Window* window = message.window;
    MenuBar* menu = window ? window->menuBar() : nullptr;
    if (menu) {
        const MenuInput answer = routeToMenu(*menu, message, window->menuBarHeight());
        if (answer.command != 0) {
            Message command;
            command.window = window;
            command.type = MessageType::Command;
            command.wparam = answer.command;
            queueMessage(command);
        }
        if (answer.consumed) return;
    }
    queueMessage(message);
}

void WindowSystem::postMessage(const Message& message) {
    {
        std::lock_guard lock(m_queue_mutex);
        m_queue.push_back(message);
    }
    m_queue_cv.notify_one();
    wakeWaiter();
}

void WindowSystem::postQuitMessage() {
    Message m;
    m.type = MessageType::Quit;
    postMessage(m);
}

void WindowSystem::queueMessage(const Message& message) {
    std::lock_guard lock(m_queue_mutex);
    m_queue.push_back(message);
}

void WindowSystem::forgetMessagesFor(Window* window) {
    std::lock_guard lock(m_queue_mutex);
    std::erase_if(m_queue, [window](const Message& m) { return m.window == window; });
}

bool WindowSystem::peekMessage(Message& message) {
    std::lock_guard lock(m_queue_mutex);
    if (m_queue.empty()) return false;
    message = m_queue.front();
    m_queue.pop_front();
    return true;
}

bool WindowSystem::getMessage(Message& message) {
    while (!peekMessage(message)) waitForEvents();
    return message.type != MessageType::Quit;
}

long WindowSystem::dispatchMessage(const Message& message) {
    Window* window = message.window;
    if (!window) return 0;
    if (message.type == MessageType::SetTitle) {
        char title[sizeof window->m_title];
        {
            std::lock_guard lock(window->m_title_mutex);
            std::snprintf(title, sizeof title, "%s", window->m_pending_title);
            std::snprintf(window->m_title, sizeof window->m_title, "%s", title);
        }
        window->applyTitle(title);
        return 0;
    }
    return window->m_handler ? window->m_handler->onMessage(*window, message) : 0;
}

// ---------------------------------------------------------------------------------------
// The virtual desktop.

namespace {

class OffscreenWindow final : public Window {
  public:
    explicit OffscreenWindow(const WindowDesc& desc) {
        m_fullscreen = desc.fullscreen;
        m_samples = desc.samples;
        m_outer_width = desc.width;
        m_outer_height = desc.height;
        if (desc.fullscreen) {
            m_client_width = desc.width;
            m_client_height = desc.height;
        } else {
            m_minimize_box = desc.minimize_box;
            m_menu_bar_height = desc.menu_bar ? kMenuBarHeight : 0;
            const int chrome_w = 2 * kOffscreenFrameWidth;
            const int chrome_h =
                2 * kOffscreenFrameWidth + kOffscreenCaptionHeight + m_menu_bar_height;
            // A window too small for its own frame keeps a client area of one pixel.
            m_client_width = desc.width > chrome_w ? desc.width - chrome_w : 1;
            m_client_height = desc.height > chrome_h ? desc.height - chrome_h : 1;
        }
        std::snprintf(m_title, sizeof m_title, "%s", desc.title ? desc.title : "");
    }
};

class OffscreenWindowSystem final : public WindowSystem {
  public:
    explicit OffscreenWindowSystem(const DisplayMode& desktop)
        : m_desktop(desktop), m_current(desktop) {}

    bool offscreen() const override { return true; }
    DisplayMode desktopMode() override { return m_current; }

    bool switchDisplayMode(const DisplayMode& mode) override {
        // Any mode the virtual screen can hold exists; colour depth is always 32 bits.
        if (mode.width < 1 || mode.height < 1 || mode.width > m_desktop.width ||
            mode.height > m_desktop.height || mode.bits_per_pixel != 32)
            return false;
        m_current = mode;
        return true;
    }
    void restoreDisplayMode() override { m_current = m_desktop; }

    Window* createWindow(const WindowDesc& desc, MessageHandler* handler) override {
        if (desc.width < 1 || desc.height < 1) return nullptr;
        auto* w = new OffscreenWindow(desc);
        attach(*w, handler);
        return w;
    }

    void destroyWindow(Window* window) override {
        if (!window) return;
        forgetMessagesFor(window);
        delete window;
    }

  protected:
    void waitForEvents() override {
        std::unique_lock lock(m_queue_mutex);
        m_queue_cv.wait(lock, [this] { return !m_queue.empty(); });
    }
    void wakeWaiter() override {}

  private:
    DisplayMode m_desktop;
    DisplayMode m_current;
};

}  // namespace

std::unique_ptr<WindowSystem> openOffscreenWindowSystem(const DisplayMode& desktop) {
    return std::make_unique<OffscreenWindowSystem>(desktop);
}

}  // namespace plashwerk::window
