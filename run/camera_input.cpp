#include "run/camera_input.h"

#include <algorithm>

#include "platform/window/window.h"

namespace plashwerk {

using window::MessageType;

namespace {

// Which bit of the held-key masks a key sets, and in which mask.
struct MoveKey {
    int virtual_key;
    bool forward;
    uint8_t bit;
};
constexpr MoveKey kMoveKeys[] = {
    {window::VK_UP, true, 1},
    {'W', true, 2},
    {window::VK_DOWN, false, 1},
    {'S', false, 2},
};

}  // namespace

void CameraInput::onMessage(const window::Message& m) {
    std::lock_guard lock(m_mutex);
    switch (m.type) {
        case MessageType::LButtonDown:
            m_dragging = true;
            m_last_x = m.x;
            m_last_y = m.y;
            break;
        case MessageType::LButtonUp:
            m_dragging = false;
            break;
        case MessageType::MouseMove: {
            if (!m_dragging) break;
            const float dx = static_cast<float>(m.x - m_last_x);
            const float dy = static_cast<float>(m.y - m_last_y);
            m_last_x = m.x;
            m_last_y = m.y;
            if (m.modifiers & window::kModControl) {
                m_moves.pan_dx += dx;
                m_moves.pan_dy += dy;
            } else {
                m_moves.turn_dx += dx;
                m_moves.turn_dy += dy;
            }
            break;
        }
        case MessageType::MouseWheel:
            if (m.wparam > 0)
                m_moves.wheel_steps = std::min(m_moves.wheel_steps + 1, kMaxWheelSteps);
            if (m.wparam < 0)
                m_moves.wheel_steps = std::max(m_moves.wheel_steps - 1, -kMaxWheelSteps);
            break;
        case MessageType::KeyDown:
        case MessageType::KeyUp: {
            const bool down = m.type == MessageType::KeyDown;
            for (const MoveKey& key : kMoveKeys) {
                if (key.virtual_key != m.wparam) continue;
                uint8_t& mask = key.forward ? m_keys_forward : m_keys_backward;
                mask = down ? uint8_t(mask | key.bit) : uint8_t(mask & ~key.bit);
            }
            break;
        }
        default:
            break;
    }
}

CameraMoves CameraInput::take() {
    std::lock_guard lock(m_mutex);
    CameraMoves moves = m_moves;
    moves.forward = m_keys_forward != 0;
    moves.backward = m_keys_backward != 0;
    m_moves = CameraMoves{};
    return moves;
}

void CameraInput::reset() {
    std::lock_guard lock(m_mutex);
    m_moves = CameraMoves{};
    m_dragging = false;
    m_keys_forward = m_keys_backward = 0;
}

}  // namespace plashwerk
