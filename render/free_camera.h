#pragma once
// The stability test's free camera: it orbits a look-at point at a yaw and a pitch and
// keeps its distance on every turn. Keys move it along its view direction, a drag with the
// left button turns it about the look-at point, a drag with Ctrl pans it with the look-at
// point, the wheel moves it like the keys. The run reads the keyboard and the mouse and
// calls these; here is the arithmetic.

#include "platform/engine/vn_math.h"

namespace Vantorr_nsp {
class vnCamera;
}

namespace plashwerk {

struct FreeCamera {
    static constexpr float kMoveSpeed = 0.1f;          ///< units per move step
    static constexpr float kKeyMoveRate = 100.0f;      ///< key move steps per second
    static constexpr float kDegreesPerPixel = 0.1f;    ///< turn per pixel of drag
    static constexpr float kPanUnitsPerPixel = 0.05f;  ///< pan per pixel of Ctrl drag
    static constexpr float kPitchLimit = 80.0f;        ///< degrees either side of level
    static constexpr float kNearestToOrigin = 10.0f;   ///< forward moves stop inside this

    Vantorr_nsp::vnVector3 lookat{0.0f, 3.0f, 0.0f};
    float yaw = 60.0f;    ///< degrees
    float pitch = 40.0f;  ///< degrees, within -80..80

    /// Where the orbit puts a camera now at `position`: the look-at point plus the
    /// position's distance from it along (cos pitch cos yaw, sin pitch, cos pitch sin yaw).
    Vantorr_nsp::vnVector3 orbitPosition(const Vantorr_nsp::vnVector3& position) const;
    /// Puts the camera on the orbit at its current distance from the look-at point,
    /// looking at it.
    void placeOnOrbit(Vantorr_nsp::vnCamera& camera) const;

    /// A left-button drag of dx, dy pixels (x right, y down): yaw and pitch change by 0.1
    /// degree a pixel, the pitch kept within the limit, and the camera is put on the orbit.
    void turn(Vantorr_nsp::vnCamera& camera, float dx, float dy);
    /// A Ctrl drag of dx, dy pixels: the camera and the look-at point move together, right
    /// for dx > 0 and up for dy < 0 (the mouse moving up), 0.05 units a pixel.
    void pan(Vantorr_nsp::vnCamera& camera, float dx, float dy);
    /// Moves the camera along its view direction by `amount` units, forward when positive.
    /// A forward move is refused (false) while the camera is nearer than 10 units to the
    /// scene origin, and one that would reach the look-at point (the view would turn over).
    bool move(Vantorr_nsp::vnCamera& camera, float amount);
    /// One frame of the movement keys (Up or W forward, Down or S backward) held for dt
    /// seconds: 0.1 x 100 x dt units.
    void moveByKeys(Vantorr_nsp::vnCamera& camera, bool forward, bool backward, float dt);
    /// A wheel message: one move step, forward for a positive delta.
    void wheel(Vantorr_nsp::vnCamera& camera, int delta);
};

}  // namespace plashwerk
