#include "physics/collision_actors.h"

namespace plashwerk {

NxActor* createBoxActor(NxScene* scene, const NxVec3& position, const NxVec3& size, float density,
                        bool kinematic) {
    if (!scene) return nullptr;
    NxBoxShapeDesc box;
    box.dimensions = size * 0.5f;

    NxActorDesc actor;
    actor.shapes.pushBack(&box);
    NxBodyDesc body;
    if (density != 0.0f) {
        actor.body = &body;
        actor.density = density;
    }
    actor.globalPose.t = position;

    NxActor* created = scene->createActor(actor);
    if (created && kinematic) created->raiseBodyFlag(NX_BF_KINEMATIC);
    return created;
}

NxActor* createSphereActor(NxScene* scene, const NxVec3& position, float radius) {
    if (!scene) return nullptr;
    NxSphereShapeDesc sphere;
    sphere.radius = radius;

    NxActorDesc actor;
    actor.shapes.pushBack(&sphere);
    actor.globalPose.t = position;
    return scene->createActor(actor);
}

NxActor* createGroundActor(NxScene* scene, const GroundPlane* ground) {
    if (!scene || !ground) return nullptr;
    NxPlaneShapeDesc plane;
    const float* e = ground->equation;
    // a x + b y + c z + d = 0 is the plane n . p = -d.
    plane.normal = NxVec3(e[0], e[1], e[2]);
    plane.d = -e[3];

    NxActorDesc actor;
    actor.shapes.pushBack(&plane);
    actor.globalPose.t = ground->position;
    actor.flags |= NX_AF_GROUND;
    return scene->createActor(actor);
}

int createObstacleActors(NxScene* scene, const ObstacleLayout& layout) {
    int made = 0;
    if (createGroundActor(scene, &layout.ground)) ++made;
    for (const SphereObstacle& sphere : layout.spheres)
        if (createSphereActor(scene, sphere.position, sphere.radius)) ++made;
    if (createBoxActor(scene, layout.pillarPosition(), layout.pillar_size, kObstacleDensity, false))
        ++made;
    return made;
}

}  // namespace plashwerk
