#pragma once
// The stability test's free camera: it orbits a look-at point at a yaw and a pitch and
// keeps its distance on every turn. The keys and the mouse that turn it belong to the run;
// here are its state and the placing on the orbit.

#include "platform/engine/vn_math.h"

namespace Vantorr_nsp {
class vnCamera;
}

namespace plashwerk {

struct FreeCamera {
    Vantorr_nsp::vnVector3 lookat{0.0f, 3.0f, 0.0f};
    float yaw = 60.0f;    ///< degrees
    float pitch = 40.0f;  ///< degrees, kept within -80..80 by the turning code

    /// Puts the camera on the orbit at its current distance from the look-at point,
    /// looking at it.
    void placeOnOrbit(Vantorr_nsp::vnCamera& camera) const;
};

}  // namespace plashwerk
