#pragma once
// Particles against the rigid shapes of a scene. Each step takes a snapshot of the shapes
// in world space (so fluids stepped on other threads never touch live actors), and every
// particle is moved out of any shape it ends up in or would pass through, its velocity
// reflected with the fluid's restitution and friction; the impulse it gives a dynamic body
// is summed for that body.

#include <cmath>
#include <cstdint>

#include "platform/physx/contact_response.h"
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

/// Surface response of one fluid: index 0 for static shapes, 1 for shapes on bodies.
struct ParticleContactParams {
    float distance = 0.0f;  ///< particles stay this far outside every shape, metres
    SurfaceResponse surface[2];
    bool collideStatic = true;
    bool collideDynamic = true;
};

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
