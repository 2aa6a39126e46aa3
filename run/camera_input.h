#pragma once
// The stability test's camera input, handed from the window procedure (main thread) to the
// frame (render thread): the movement keys held, and the drags and wheel turns since the
// last frame. The main thread records messages; the frame takes what has gathered and
// moves the engine camera itself, so only the render thread ever touches the camera.

#include <cstdint>
#include <mutex>

namespace plashwerk::window {
struct Message;
}

namespace plashwerk {

/// What the frame applies to the free camera.
struct CameraMoves {
    float turn_dx = 0.0f, turn_dy = 0.0f;  ///< pixels dragged with the left button
    float pan_dx = 0.0f, pan_dy = 0.0f;    ///< pixels dragged with Ctrl and the left button
    int wheel_steps = 0;                   ///< wheel messages, forward positive
    bool forward = false;                  ///< Up or W held
    bool backward = false;                 ///< Down or S held
};

class CameraInput {
  public:
    /// Wheel steps gathered between two frames are capped at this many either way, so that
    /// a flood of wheel messages cannot make one frame move the camera for long.
    static constexpr int kMaxWheelSteps = 20;

    /// Main thread: a mouse message (move, left button down or up, wheel) or a key down or
    /// up of the movement keys. Other messages are ignored.
    void onMessage(const window::Message& message);
    /// Render thread: the drags and wheel steps since the last call (then cleared) and the
    /// keys held now.
    CameraMoves take();
    /// Forgets everything: no button or key is held (a new run starts).
    void reset();

  private:
    std::mutex m_mutex;
    CameraMoves m_moves;
    bool m_dragging = false;
    int m_last_x = 0, m_last_y = 0;
    uint8_t m_keys_forward = 0;   ///< bit 0: Up, bit 1: W
    uint8_t m_keys_backward = 0;  ///< bit 0: Down, bit 1: S
};

}  // namespace plashwerk
