#include "render/free_camera.h"

#include <algorithm>
#include <cmath>

#include "platform/engine/vn_camera.h"

namespace plashwerk {

using Vantorr_nsp::kDegToRad;
using Vantorr_nsp::vnVector3;

namespace {

constexpr vnVector3 kWorldUp{0.0f, 1.0f, 0.0f};

}  // namespace

vnVector3 FreeCamera::orbitPosition(const vnVector3& position) const {
    const float d = (position - lookat).length();
    const float yaw_rad = yaw * kDegToRad, pitch_rad = pitch * kDegToRad;
    const vnVector3 direction{std::cos(pitch_rad) * std::cos(yaw_rad), std::sin(pitch_rad),
                              std::cos(pitch_rad) * std::sin(yaw_rad)};
    return lookat + direction * d;
}

void FreeCamera::placeOnOrbit(Vantorr_nsp::vnCamera& camera) const {
    camera.setViewParams(orbitPosition(camera.getPosition()), lookat, kWorldUp);
}

void FreeCamera::turn(Vantorr_nsp::vnCamera& camera, float dx, float dy) {
    yaw += dx * kDegreesPerPixel;
    pitch = std::clamp(pitch + dy * kDegreesPerPixel, -kPitchLimit, kPitchLimit);
    placeOnOrbit(camera);
}

void FreeCamera::pan(Vantorr_nsp::vnCamera& camera, float dx, float dy) {
    const vnVector3 position = camera.getPosition();
    const vnVector3 forward = (lookat - position).normalized();
    // The pitch stays within 80 degrees, so the view is never parallel to the world's up.
    const vnVector3 right = forward.cross(kWorldUp).normalized();
    const vnVector3 up = right.cross(forward);
    const vnVector3 shift = right * (dx * kPanUnitsPerPixel) + up * (-dy * kPanUnitsPerPixel);
    lookat = lookat + shift;
    camera.setViewParams(position + shift, lookat, kWorldUp);
}

bool FreeCamera::move(Vantorr_nsp::vnCamera& camera, float amount) {
    const vnVector3 position = camera.getPosition();
    const vnVector3 to_lookat = lookat - position;
    if (amount > 0.0f && (position.length() < kNearestToOrigin || amount >= to_lookat.length()))
        return false;
    camera.setViewParams(position + to_lookat.normalized() * amount, lookat, kWorldUp);
    return true;
}

void FreeCamera::moveByKeys(Vantorr_nsp::vnCamera& camera, bool forward, bool backward, float dt) {
    const float amount = kMoveSpeed * kKeyMoveRate * dt;
    if (forward) move(camera, amount);
    if (backward) move(camera, -amount);
}

void FreeCamera::wheel(Vantorr_nsp::vnCamera& camera, int delta) {
    if (delta > 0) move(camera, kMoveSpeed);
    if (delta < 0) move(camera, -kMoveSpeed);
}

}  // namespace plashwerk
