#pragma once
// Particles against the rigid shapes of a scene. Each step takes a snapshot of the shapes
// in world space (so fluids stepped on other threads never touch live actors), and every
// particle is moved out of any shape it ends up in or would pass through, its velocity
// reflected with the fluid's restitution and friction; the impulse it gives a dynamic body
// is summed for that body.

#include <cmath>
#include <cstdint>

#include "platform/physx/nx_actor.h"

namespace nxsdk {

constexpr uint32_t kNoBody = 0xFFFFFFFFu;

struct CollisionShape {
    int type = 0;             ///< NxShapeType: plane, sphere or box
    bool onBody = false;      ///< belongs to a dynamic or kinematic actor
    bool drain = false;       ///< particles touching it are removed
    uint32_t body = kNoBody;  ///< index of the pushable body it belongs to, or kNoBody
    NxMat34 pose;             ///< world pose (sphere centre in t; box frame)
    NxVec3 halfExtents;       ///< box
    float radius = 0.0f;      ///< sphere
    NxVec3 normal{0, 1, 0};   ///< plane: normal . p = d
    float d = 0.0f;
    NxVec3 linearVelocity;  ///< of the actor at its centre of mass
    NxVec3 angularVelocity;
    NxVec3 centreOfMass;
    NxVec3 boundsMin, boundsMax;  ///< world box around the shape (not used for planes)
};

/// How a particle's velocity answers one kind of surface it runs into.
struct SurfaceResponse {
    float restitution = 0.0f;     ///< share of the approach speed given back
    float keepSliding = 1.0f;     ///< share of the sliding speed kept: 1 - dynamic friction
    float staticFriction = 0.0f;  ///< sliding no faster than this times the approach stops
    float bounceSpeed = 0.0f;     ///< approach speeds up to this do not bounce, m/s
};

/// Surface response of one fluid: index 0 for static shapes, 1 for shapes on bodies.
struct ParticleContactParams {
    float distance = 0.0f;  ///< particles stay this far outside every shape, metres
    SurfaceResponse surface[2];
    bool collideStatic = true;
    bool collideDynamic = true;
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
    const float slide = std::sqrt(tx * tx + ty * ty + tz * tz);
    const float brake = slide <= r.staticFriction * -vn ? 0.0f : r.keepSliding;
    const float bounce = -vn > r.bounceSpeed ? r.restitution : 0.0f;
    return {sx + tx * brake - nx * (bounce * vn), sy + ty * brake - ny * (bounce * vn),
            sz + tz * brake - nz * (bounce * vn)};
}

/// The momentum a fluid hands to one body during a step.
struct BodyPush {
    NxVec3 linear;   ///< N s
    NxVec3 angular;  ///< N m s about the body's centre of mass
};

/// What collideParticle reports, as bits.
enum ParticleContactBits : uint32_t {
    kTouchedStatic = 1u << 0,
    kTouchedDynamic = 1u << 1,
    kDrained = 1u << 2,  ///< it touched a drain and must be removed
};

/// Copies into `out` (room for `capacity`) the shapes that may come within `reach` of the
/// box [lo, hi]; returns how many, or a number above capacity when they do not fit.
uint32_t shapesNear(const CollisionShape* shapes, uint32_t count, NxVec3 lo, NxVec3 hi, float reach,
                    CollisionShape* out, uint32_t capacity);

/// Distance of p from the shape's surface (0 inside it) and the surface normal there,
/// pointing away from the shape.
void surfaceDistance(const CollisionShape& shape, const NxVec3& p, float& distance, NxVec3& normal);

/// Moves the particle from `from` toward `to` (in/out) with velocity v (in/out) so that it
/// ends outside every shape; `pushes` (indexed by body) receives the momentum change of
/// the particle of mass `mass` at contacts with pushable bodies, sign flipped. Returns
/// ParticleContactBits; `normal` receives the normal of the last contact (untouched when
/// there was none).
uint32_t collideParticle(const CollisionShape* shapes, uint32_t shapeCount,
                         const ParticleContactParams& params, const NxVec3& from, NxVec3& to,
                         NxVec3& v, float mass, BodyPush* pushes, NxVec3& normal);

}  // namespace nxsdk
