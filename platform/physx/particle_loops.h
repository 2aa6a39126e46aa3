#pragma once
// The per-particle loops of the solver that run in vector registers: what static planes and
// spheres add to each particle's density (and their push), and the integrator of particles
// that meet nothing but static planes. Built once per instruction set with the pair passes
// (sph_passes_*.cpp) and chosen with them. Plain records and always-inlined functions only:
// included from translation units built for other instruction sets.

#include <cstdint>

#include "platform/physx/contact_response.h"

namespace nxsdk {

/// A shape as a half-space of fluid at rest density, met at distance t h (t in [0, 1]):
/// what it adds to the density (poly6 over the half-space, 1/2 rest density at contact,
/// nothing at one kernel radius) and the magnitude of the spiky kernel's gradient over it,
/// which sets its push.
struct WallKernel {
    float densityScale = 0.0f;   ///< rest density x 315 / 256
    float gradientScale = 0.0f;  ///< 30 / h
    float invH = 0.0f;
};

[[gnu::always_inline]] inline void wallTerms(const WallKernel& k, float t, float& density,
                                             float& gradient) {
    // P(t) = t - 4t^3/3 + 6t^5/5 - 4t^7/7 + t^9/9; P(1) in double, rounded once.
    constexpr float p1 = float(1.0 - 4.0 / 3.0 + 6.0 / 5.0 - 4.0 / 7.0 + 1.0 / 9.0);
    const float t2 = t * t;
    const float poly =
        t * (1.0f +
             t2 * (-4.0f / 3.0f + t2 * (6.0f / 5.0f + t2 * (-4.0f / 7.0f + t2 * (1.0f / 9.0f)))));
    const float u = 1.0f - t;
    const float u4 = u * u * u * u;
    density = k.densityScale * (p1 - poly);
    gradient = k.gradientScale * u4 * (0.25f - 0.2f * u);
}

/// The particles of a wall pass: positions in, the shapes' density and push summed into
/// wall, wx, wy, wz (which the caller has cleared).
struct WallLoopArgs {
    const float* x = nullptr;
    const float* y = nullptr;
    const float* z = nullptr;
    float* wall = nullptr;
    float* wx = nullptr;
    float* wy = nullptr;
    float* wz = nullptr;
    WallKernel kernel;
};

/// A static plane n . p = d as (nx, ny, nz, d), or a sphere as (cx, cy, cz, radius).
struct ShapeRecord {
    float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
};

/// Adds one shape's share to the particles [begin, end).
using WallLoop = void (*)(const WallLoopArgs& args, const ShapeRecord& shape, uint32_t begin,
                          uint32_t end);

/// The branch-free integrator: velocities take the forces, gravity, the damping and the
/// motion limit; particles move, then leave every plane (two rounds where there are more
/// planes than one) with the contact response of a still surface; positions are kept in
/// the world's cube. Particles whose `skip` flag is set are left as they are (the general
/// integrator takes them).
struct PlaneIntegrationArgs {
    float* x = nullptr;
    float* y = nullptr;
    float* z = nullptr;
    float* vx = nullptr;
    float* vy = nullptr;
    float* vz = nullptr;
    const float* ax = nullptr;
    const float* ay = nullptr;
    const float* az = nullptr;
    const float* wx = nullptr;  ///< the shapes' push per unit pressure
    const float* wy = nullptr;
    const float* wz = nullptr;
    const float* pressure = nullptr;  ///< p / rho^2 (read only when wallPush is not zero)
    float wallPush = 0.0f;            ///< 0 without walls
    float dt = 0.0f;
    float gx = 0.0f, gy = 0.0f, gz = 0.0f;
    float damp = 1.0f;
    float maxSpeed = 0.0f;
    float distance = 0.0f;  ///< contact distance kept from every plane
    float worldLimit = 0.0f;
    SurfaceResponse still;
    const ShapeRecord* planes = nullptr;
    uint32_t planeCount = 0;
    const uint8_t* skip = nullptr;  ///< indexed by particle; null: none skipped
};

using PlaneIntegrator = void (*)(const PlaneIntegrationArgs& args, uint32_t begin, uint32_t end);

/// Particles per call of a PathBoxes loop, at most.
constexpr uint32_t kPathChunk = 256;

/// The box around each particle's path this step, for particles [begin, end) (at most
/// kPathChunk): from x0 to x1 = x0 + u dt with the velocity u the integrators give it (the
/// `skip` of the arguments is not read), grown by what the planes may then push it (three
/// times how deep x1 ends inside them, for the rounds over several planes), the contact
/// distance and a little for rounding. `box` receives six arrays of kPathChunk floats:
/// lower x, y, z, then upper x, y, z, indexed from `begin`; a NaN leaves lower > upper or a
/// NaN. `scratch` holds 4 kPathChunk floats.
using PathBoxes = void (*)(const PlaneIntegrationArgs& args, float* box, float* scratch,
                           uint32_t begin, uint32_t end);

}  // namespace nxsdk
