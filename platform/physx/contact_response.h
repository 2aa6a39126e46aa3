#pragma once
// How a particle's velocity answers a surface it runs into. Plain records and an always-
// inlined function only: the vector loops of the solver include this from translation units
// built for other instruction sets.

namespace nxsdk {

/// How a particle's velocity answers one kind of surface it runs into.
struct SurfaceResponse {
    float restitution = 0.0f;     ///< share of the approach speed given back
    float keepSliding = 1.0f;     ///< share of the sliding speed kept: 1 - dynamic friction
    float staticFriction = 0.0f;  ///< sliding no faster than this times the approach stops
    float bounceSpeed = 0.0f;     ///< approach speeds up to this do not bounce, m/s
};

struct ParticleVelocity {
    float x, y, z;
};

/// The velocity of a surface that does not move. Adding -0 changes no float, not even the
/// sign of a zero, so the compiler drops the addition altogether.
inline constexpr float kStillSurface = -0.0f;

/// The contact response of a particle: (vx, vy, vz) is its velocity relative to the surface,
/// (nx, ny, nz) the surface's unit normal and vn = v . n < 0 its approach. The approaching
/// part is bounced with the restitution when faster than the bounce speed, else stopped;
/// the sliding part stops where static friction holds it, else is braked. Returns the
/// surface's velocity (sx, sy, sz) plus that. Branch-free and always inlined, so that loops
/// over many particles still run in vector registers.
[[gnu::always_inline]] inline ParticleVelocity contactResponse(const SurfaceResponse& r, float nx,
                                                               float ny, float nz, float vx,
                                                               float vy, float vz, float vn,
                                                               float sx, float sy, float sz) {
    const float tx = vx - nx * vn, ty = vy - ny * vn, tz = vz - nz * vn;
    const float slide = __builtin_sqrtf(tx * tx + ty * ty + tz * tz);
    const float brake = slide <= r.staticFriction * -vn ? 0.0f : r.keepSliding;
    const float bounce = -vn > r.bounceSpeed ? r.restitution : 0.0f;
    return {sx + tx * brake - nx * (bounce * vn), sy + ty * brake - ny * (bounce * vn),
            sz + tz * brake - nz * (bounce * vn)};
}

}  // namespace nxsdk
