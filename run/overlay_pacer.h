#pragma once
// Which frames of a run that does not draw its scene are drawn at all.

#include <cstdint>

#include "platform/window/menu_bar.h"

namespace plashwerk {

/// Frames a second, at most, that show only the overlays (the scene is not drawn).
inline constexpr float kOverlayOnlyRate = 10.0f;

/// Without the scene a frame shows only the overlays: the counters and graphs, which change
/// once a second, and the progress bar. Such a frame is drawn at most kOverlayOnlyRate times
/// a second, so that a run that only simulates leaves the processors to the simulation
/// (each drawn frame costs the software renderer milliseconds of both of them). The menu
/// strip is drawn at once when it changed, so that it answers the mouse and the keys without
/// lag, and a screenshot is always taken of a fresh frame.
class OverlayPacer {
  public:
    void reset() { *this = OverlayPacer{}; }

    /// Whether the frame at `scene_time` is drawn, with the menu strip as `menu` shows it;
    /// a frame drawn is counted and its time and menu remembered.
    bool due(float scene_time, const window::MenuBarView& menu, bool screenshot) {
        const bool draw =
            screenshot || !(menu == m_menu) || !(scene_time - m_drawn_at < 1.0f / kOverlayOnlyRate);
        if (draw) {
            m_drawn_at = scene_time;
            m_menu = menu;
            ++m_frames;
        }
        return draw;
    }

    uint32_t frames() const { return m_frames; }  ///< drawn since the reset

  private:
    float m_drawn_at = -1.0e30f;  // scene time of the last frame drawn
    window::MenuBarView m_menu;   // as the last frame drew it
    uint32_t m_frames = 0;
};

}  // namespace plashwerk
