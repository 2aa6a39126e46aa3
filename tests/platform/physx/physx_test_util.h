#pragma once
// Helpers for the physics SDK tests: an SDK with one scene, fluids with their write
// buffers, and the step the program runs.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/physx/nx_physics.h"

namespace physx_test {

constexpr float kStep = 0.02f;

/// The write buffers of one fluid, with the strides the program uses (12, 12, 12, 4, 4).
struct FluidOut {
    explicit FluidOut(NxU32 capacity)
        : pos(3 * capacity),
          vel(3 * capacity),
          life(3 * capacity),
          density(capacity),
          ids(capacity) {}
    std::vector<float> pos, vel, life, density;
    std::vector<NxU32> ids;
    NxU32 count = 0;

    NxVec3 position(NxU32 i) const { return {pos[3 * i], pos[3 * i + 1], pos[3 * i + 2]}; }
    NxVec3 velocity(NxU32 i) const { return {vel[3 * i], vel[3 * i + 1], vel[3 * i + 2]}; }
    void attach(NxParticleData& w) {
        w.numParticlesPtr = &count;
        w.bufferPos = pos.data();
        w.bufferPosByteStride = 12;
        w.bufferVel = vel.data();
        w.bufferVelByteStride = 12;
        w.bufferLife = life.data();
        w.bufferLifeByteStride = 12;
        w.bufferDensity = density.data();
        w.bufferDensityByteStride = 4;
        w.bufferId = ids.data();
        w.bufferIdByteStride = 4;
    }
};

/// The fluid settings of a run (spacing 1/7 m, kernel radius 3 spacings, ...).
inline NxFluidDesc runFluidDesc(NxU32 capacity) {
    NxFluidDesc d;
    d.maxParticles = capacity;
    d.restParticlesPerMeter = 7.0f;
    d.restDensity = 1000.0f;
    d.kernelRadiusMultiplier = 3.0f;
    d.motionLimitMultiplier = 3.0f;
    d.collisionDistanceMultiplier = 0.12f;
    d.stiffness = 60.0f;
    d.viscosity = 100.0f;
    d.surfaceTension = 100.0f;
    d.damping = 0.46f;
    d.restitutionForStaticShapes = 0.2f;
    d.dynamicFrictionForStaticShapes = 0.5f;
    d.restitutionForDynamicShapes = 0.2f;
    d.dynamicFrictionForDynamicShapes = 0.5f;
    d.collisionResponseCoefficient = 0.2f;
    d.flags = NX_FF_VISUALIZATION | NX_FF_ENABLED;
    return d;
}

/// An emitter as the program sets one up, emitting `rate` particles per second.
inline NxFluidEmitterDesc runEmitterDesc(NxShape* frame, float rate, float lifetime) {
    NxFluidEmitterDesc e;
    NxMat33 rx, ry;
    rx.rotX(-1.0f);
    ry.rotY(0.0f);
    e.relPose.M = rx * ry;
    e.relPose.t = NxVec3(0, 0.6f, 0);
    e.frameShape = frame;
    e.type = NX_FE_CONSTANT_FLOW_RATE;
    e.shape = NX_FE_RECTANGULAR;
    e.dimensionX = e.dimensionY = 0.2f;
    e.randomPos = NxVec3(0.1f, 0.1f, 0.1f);
    e.randomAngle = 0.2f;
    e.fluidVelocityMagnitude = 100.0f;
    e.rate = rate;
    e.particleLifetime = lifetime;
    e.repulsionCoefficient = 0.02f;
    e.flags = NX_FEF_VISUALIZATION | NX_FEF_ADD_BODY_VELOCITY | NX_FEF_ENABLED;
    return e;
}

struct SdkDeleter {
    void operator()(NxPhysicsSDK* sdk) const {
        if (sdk) sdk->release();
    }
};
using SdkPtr = std::unique_ptr<NxPhysicsSDK, SdkDeleter>;

inline SdkPtr createSdk() {
    NxPhysicsSDKDesc desc;
    desc.flags = NX_SDKF_NO_HARDWARE | NX_SDKF_PER_SCENE_BATCHING;
    return SdkPtr(
        NxCreatePhysicsSDK(NX_SDK_VERSION_NUMBER, nullptr, nullptr, desc, nullptr, nullptr));
}

inline NxScene* createScene(NxPhysicsSDK& sdk, NxU32 flags = 0, NxU32 threads = 0) {
    NxSceneDesc desc;
    desc.gravity = NxVec3(0, -14.8f, 0);
    desc.flags = flags;
    desc.internalThreadCount = threads;
    return sdk.createScene(desc);
}

inline NxActor* addPlane(NxScene& scene, const NxVec3& normal, float d) {
    NxPlaneShapeDesc plane;
    plane.normal = normal;
    plane.d = d;
    NxActorDesc actor;
    actor.shapes.pushBack(&plane);
    return scene.createActor(actor);
}

inline NxActor* addSphere(NxScene& scene, const NxVec3& centre, float radius) {
    NxSphereShapeDesc sphere;
    sphere.radius = radius;
    NxActorDesc actor;
    actor.shapes.pushBack(&sphere);
    actor.globalPose.t = centre;
    return scene.createActor(actor);
}

/// A box of full size `size`; density 0 makes it static.
inline NxActor* addBox(NxScene& scene, const NxVec3& centre, const NxVec3& size, float density,
                       bool kinematic = false) {
    NxBoxShapeDesc box;
    box.dimensions = size * 0.5f;
    NxBodyDesc body;
    NxActorDesc actor;
    actor.shapes.pushBack(&box);
    if (density != 0.0f) {
        actor.body = &body;
        actor.density = density;
    }
    actor.globalPose.t = centre;
    NxActor* a = scene.createActor(actor);
    if (a && kinematic) a->raiseBodyFlag(NX_BF_KINEMATIC);
    return a;
}

/// One step as the physics threads run it; returns the error state.
inline NxU32 step(NxScene& scene, float dt = kStep) {
    scene.setTiming(dt, 1, NX_TIMESTEP_FIXED);
    scene.simulate(dt);
    scene.flushStream();
    NxU32 error = 0;
    scene.fetchResults(NX_RIGID_BODY_FINISHED, true, &error);
    return error;
}

/// Particles on a cubic lattice of the rest spacing filling [lo, hi).
struct Lattice {
    std::vector<float> pos;
    NxU32 count = 0;
    Lattice(const NxVec3& lo, const NxVec3& hi, float spacing) {
        for (float y = lo.y + spacing / 2; y < hi.y; y += spacing)
            for (float z = lo.z + spacing / 2; z < hi.z; z += spacing)
                for (float x = lo.x + spacing / 2; x < hi.x; x += spacing) {
                    pos.insert(pos.end(), {x, y, z});
                    ++count;
                }
    }
    /// Moves every particle by up to +-amount per axis (the same moves on every run).
    void jitter(float amount) {
        uint32_t state = 12345;
        for (float& v : pos) {
            state = state * 1664525u + 1013904223u;
            v += amount * (float(state >> 8) / 8388608.0f - 1.0f);
        }
    }
    void attach(NxParticleData& d) {
        d.numParticlesPtr = &count;
        d.bufferPos = pos.data();
        d.bufferPosByteStride = 12;
    }
};

/// Statistic of the last fetched step by name, or -1.
inline NxI32 stat(const NxScene& scene, const char* name) {
    const NxSceneStats2* s = scene.getStats2();
    for (NxU32 k = 0; s && k < s->numStats; ++k)
        if (std::string(s->stats[k].name) == name) return s->stats[k].curValue;
    return -1;
}

}  // namespace physx_test
