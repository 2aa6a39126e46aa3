#include "render/free_camera.h"

#include <cmath>

#include "platform/engine/vn_camera.h"

namespace plashwerk {

using Vantorr_nsp::kDegToRad;
using Vantorr_nsp::vnVector3;

void FreeCamera::placeOnOrbit(Vantorr_nsp::vnCamera& camera) const {
    const float d = (camera.getPosition() - lookat).length();
    const float yaw_rad = yaw * kDegToRad, pitch_rad = pitch * kDegToRad;
    const vnVector3 direction{std::cos(pitch_rad) * std::cos(yaw_rad), std::sin(pitch_rad),
                              std::cos(pitch_rad) * std::sin(yaw_rad)};
    camera.setViewParams(lookat + direction * d, lookat, vnVector3{0.0f, 1.0f, 0.0f});
}

}  // namespace plashwerk
