#pragma once
// The actors the fluid collides with, mirroring the visible scene: the ground, four spheres,
// the pillar and one small box under each emitter. Every fluid scene gets its own copy.
//
// Contents:
//   GroundPlane, SphereObstacle, ObstacleLayout: the obstacle numbers, in one place
//   createBoxActor, createSphereActor, createGroundActor
//   createObstacleActors: ground, spheres and pillar of one scene

#include <array>

#include "platform/physx/nx_physics.h"

namespace plashwerk {

/// The ground mesh as the physics needs it: its plane a x + b y + c z + d = 0 and its
/// position.
struct GroundPlane {
    float equation[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    NxVec3 position{0.0f, 0.0f, 0.0f};
};

struct SphereObstacle {
    NxVec3 position;
    float radius = 1.0f;  ///< metres
};

/// Where the visible obstacles stand and how large they are. The defaults are the numbers
/// the visible scene builds its meshes from; the scene builder may overwrite them with what
/// its meshes report, so the two never disagree.
struct ObstacleLayout {
    GroundPlane ground;  ///< the plane y = 0 through the origin
    std::array<SphereObstacle, 4> spheres{{
        {{5.0f, 8.5f, -0.5f}, 2.0f},
        {{2.0f, 5.0f, 8.0f}, 3.0f},
        {{6.0f, 7.0f, -6.0f}, 3.0f},
        {{-1.0f, 3.8f, 1.5f}, 4.0f},
    }};
    NxVec3 pillar_size{2.0f, 8.0f, 2.0f};  ///< bounding box of the pillar mesh, metres
    float pillar_x = 0.0f;                 ///< the pillar stands on the ground here
    float pillar_z = -4.0f;
    NxVec3 emitter_box_size{0.5f, 1.0f, 0.5f};  ///< bounding box of each emitter box mesh
    float emitter_circle_radius = 15.0f;        ///< the emitter boxes stand on this circle, metres
    float emitter_box_y = 0.5f;  ///< centre height of an emitter box: it sits on y = 0
};

/// kg/m^3 of the pillar and the emitter frame boxes: light, so the fluid can push the pillar.
inline constexpr float kObstacleDensity = 2.0f;

/// A box of the given full size (metres) centred at position with the identity rotation.
/// With a density it is a body (dynamic, or kinematic when asked), else static. Null when
/// the scene is missing or the SDK refuses the actor.
NxActor* createBoxActor(NxScene* scene, const NxVec3& position, const NxVec3& size, float density,
                        bool kinematic);

/// A static sphere; null when the scene is missing or the SDK refuses it.
NxActor* createSphereActor(NxScene* scene, const NxVec3& position, float radius);

/// A static plane actor from the ground mesh's plane equation, marked as the ground. Null
/// when the scene or the ground is missing.
NxActor* createGroundActor(NxScene* scene, const GroundPlane* ground);

/// The ground, the four spheres and the pillar (a free body standing on the ground), in
/// that order. A refused actor is left out; the count of actors made is returned.
int createObstacleActors(NxScene* scene, const ObstacleLayout& layout);

}  // namespace plashwerk
