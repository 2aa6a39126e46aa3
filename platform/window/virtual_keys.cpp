#include <GLFW/glfw3.h>

#include "platform/window/window.h"

namespace plashwerk::window {

int virtualKeyFromGlfwKey(int key) {
    // Letters and digits keep their ASCII codes, as GLFW and Windows both define them.
    if (key >= GLFW_KEY_A && key <= GLFW_KEY_Z) return 'A' + (key - GLFW_KEY_A);
    if (key >= GLFW_KEY_0 && key <= GLFW_KEY_9) return '0' + (key - GLFW_KEY_0);
    if (key >= GLFW_KEY_F1 && key <= GLFW_KEY_F24) return VK_F1 + (key - GLFW_KEY_F1);
    if (key >= GLFW_KEY_KP_0 && key <= GLFW_KEY_KP_9) return VK_NUMPAD0 + (key - GLFW_KEY_KP_0);

    struct Pair {
        int glfw;
        int vk;
    };
    static constexpr Pair kTable[] = {
        {GLFW_KEY_ESCAPE, VK_ESCAPE},
        {GLFW_KEY_SPACE, VK_SPACE},
        {GLFW_KEY_ENTER, VK_RETURN},
        {GLFW_KEY_KP_ENTER, VK_RETURN},
        {GLFW_KEY_TAB, VK_TAB},
        {GLFW_KEY_BACKSPACE, VK_BACK},
        {GLFW_KEY_INSERT, VK_INSERT},
        {GLFW_KEY_DELETE, VK_DELETE},
        {GLFW_KEY_RIGHT, VK_RIGHT},
        {GLFW_KEY_LEFT, VK_LEFT},
        {GLFW_KEY_DOWN, VK_DOWN},
        {GLFW_KEY_UP, VK_UP},
        {GLFW_KEY_PAGE_UP, VK_PRIOR},
        {GLFW_KEY_PAGE_DOWN, VK_NEXT},
        {GLFW_KEY_HOME, VK_HOME},
        {GLFW_KEY_END, VK_END},
        {GLFW_KEY_CAPS_LOCK, VK_CAPITAL},
        {GLFW_KEY_SCROLL_LOCK, VK_SCROLL},
        {GLFW_KEY_NUM_LOCK, VK_NUMLOCK},
        {GLFW_KEY_PRINT_SCREEN, VK_SNAPSHOT},
        {GLFW_KEY_PAUSE, VK_PAUSE},
        {GLFW_KEY_LEFT_SHIFT, VK_SHIFT},
        {GLFW_KEY_RIGHT_SHIFT, VK_SHIFT},
        {GLFW_KEY_LEFT_CONTROL, VK_CONTROL},
        {GLFW_KEY_RIGHT_CONTROL, VK_CONTROL},
        {GLFW_KEY_LEFT_ALT, VK_MENU},
        {GLFW_KEY_RIGHT_ALT, VK_MENU},
        {GLFW_KEY_LEFT_SUPER, VK_LWIN},
        {GLFW_KEY_RIGHT_SUPER, VK_RWIN},
        {GLFW_KEY_MENU, VK_APPS},
        {GLFW_KEY_KP_DECIMAL, VK_DECIMAL},
        {GLFW_KEY_KP_DIVIDE, VK_DIVIDE},
        {GLFW_KEY_KP_MULTIPLY, VK_MULTIPLY},
        {GLFW_KEY_KP_SUBTRACT, VK_SUBTRACT},
        {GLFW_KEY_KP_ADD, VK_ADD},
        {GLFW_KEY_SEMICOLON, VK_OEM_1},
        {GLFW_KEY_EQUAL, VK_OEM_PLUS},
        {GLFW_KEY_COMMA, VK_OEM_COMMA},
        {GLFW_KEY_MINUS, VK_OEM_MINUS},
        {GLFW_KEY_PERIOD, VK_OEM_PERIOD},
        {GLFW_KEY_SLASH, VK_OEM_2},
        {GLFW_KEY_GRAVE_ACCENT, VK_OEM_3},
        {GLFW_KEY_LEFT_BRACKET, VK_OEM_4},
        {GLFW_KEY_BACKSLASH, VK_OEM_5},
        {GLFW_KEY_RIGHT_BRACKET, VK_OEM_6},
        {GLFW_KEY_APOSTROPHE, VK_OEM_7},
    };
    for (const Pair& p : kTable)
        if (p.glfw == key) return p.vk;
    return 0;
}

}  // namespace plashwerk::window
