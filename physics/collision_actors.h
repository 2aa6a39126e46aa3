#pragma once
// The actors the fluid collides with, mirroring the visible scene: the ground, four spheres,
// the pillar and one small box under each emitter. Every fluid scene gets its own copy.
//
// Contents:
//   createBoxActor, createSphereActor, createGroundActor
//   createObstacleActors: ground, spheres and pillar of one scene

#include "physics/scene_layout.h"
#include "platform/physx/nx_physics.h"

namespace plashwerk {

/// kg/m^3 of the pillar and the emitter frame boxes: light, so the fluid can push the pillar.
inline constexpr float kObstacleDensity = 2.0f;

/// A box of the given full size (metres) centred at position with the identity rotation.
/// With a density it is a body (dynamic, or kinematic when asked), else static. Null when
/// the scene is missing or the SDK refuses the actor.
NxActor* createBoxActor(NxScene* scene, const NxVec3& position, const NxVec3& size, float density,
                        bool kinematic);

/// A static sphere; null when the scene is missing or the SDK refuses it.
NxActor* createSphereActor(NxScene* scene, const NxVec3& position, float radius);

/// A static plane actor from the ground's plane equation, marked as the ground. Null
/// when the scene or the ground is missing.
NxActor* createGroundActor(NxScene* scene, const GroundPlane* ground);

/// The ground, the four spheres and the pillar (a free body standing on the ground), in
/// that order. A refused actor is left out; the count of actors made is returned.
int createObstacleActors(NxScene* scene, const ObstacleLayout& layout);

}  // namespace plashwerk
