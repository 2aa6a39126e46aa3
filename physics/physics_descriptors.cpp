#include "physics/physics_descriptors.h"

#include <algorithm>

#include "physics/fluid_layout.h"
#include "physics/physics_settings.h"

namespace plashwerk {

int gpuHeapSizeMb(const PhysicsSettings& options) {
    return options.z2o_physx_gpu_mem ? 512 : options.physx_gpu_heap_size;
}

NxPhysicsSDKDesc makePhysicsSdkDesc(const PhysicsSettings& options) {
    NxPhysicsSDKDesc desc;
    desc.hwPageSize = 65536;
    desc.hwPageMax = 256;
    desc.hwConvexMax = 2048;
    desc.cookerThreadMask = 0;
    desc.flags = options.physx_cpu ? NX_SDKF_NO_HARDWARE | NX_SDKF_PER_SCENE_BATCHING
                                   : NX_SDKF_PER_SCENE_BATCHING;
    desc.gpuHeapSize = static_cast<NxU32>(std::max(gpuHeapSizeMb(options), 0));
    desc.meshCacheSize = 0xFFFFFFFF;
    return desc;
}

NxU32 fluidSceneFlags(const PhysicsSettings& options) {
    constexpr NxU32 threaded =
        NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD | NX_SF_DISABLE_SCENE_MUTEX;
    NxU32 flags = options.multicore_cpu_physx ? threaded : 0;
    if (options.multithreaded_physx)
        flags = options.alt_physx_threading ? NxU32(NX_SF_DISABLE_SCENE_MUTEX) : threaded;
    return flags;
}

NxSceneDesc makeFluidSceneDesc(const PhysicsSettings& options, bool hardware_present) {
    NxSceneDesc desc;
    // Heavier than earth's 9.81: the jets fall back quickly into the view.
    desc.gravity = NxVec3(0.0f, -14.8f, 0.0f);
    desc.maxTimestep = 1.0f / 60.0f;
    desc.maxIter = 8;
    desc.timeStepMethod = NX_TIMESTEP_FIXED;
    desc.simType = (!options.physx_cpu && hardware_present) ? NX_SIMULATION_HW : NX_SIMULATION_SW;
    desc.flags = fluidSceneFlags(options);
    desc.simThreadPriority = NX_TP_NORMAL;
    desc.workerThreadPriority = NX_TP_NORMAL;
    desc.backgroundThreadPriority = NX_TP_NORMAL;
    desc.simThreadStackSize = 0;
    desc.simThreadMask = 0;
    desc.internalThreadCount = 0;
    desc.workerThreadStackSize = 0;
    desc.threadMask = 0;
    desc.backgroundThreadCount = 0;
    desc.backgroundThreadMask = 0;
    desc.upAxis = 0;
    desc.subdivisionLevel = 5;
    desc.staticStructure = NX_PRUNING_STATIC_AABB_TREE;
    desc.dynamicStructure = NX_PRUNING_NONE;
    desc.dynamicTreeRebuildRateHint = 100;
    desc.bpType = NX_BP_TYPE_SAP_SINGLE;
    desc.nbGridCellsX = 0;
    desc.nbGridCellsY = 0;
    desc.solverBatchSize = 32;
    return desc;
}

NxMaterialDesc makeDefaultMaterialDesc() {
    NxMaterialDesc desc;
    desc.dynamicFriction = 0.2f;
    desc.staticFriction = 0.2f;
    desc.restitution = 0.5f;
    return desc;
}

NxCompartmentDesc makeFluidCompartmentDesc() {
    NxCompartmentDesc desc;
    desc.type = NX_SCT_FLUID;
    desc.deviceCode = NX_DC_CPU;
    desc.gridHashCellSize = 100.0f;
    desc.gridHashTablePower = 8;
    desc.flags = NX_CF_INHERIT_SETTINGS;
    desc.threadMask = 0;
    desc.timeScale = 1.0f;
    return desc;
}

NxFluidDesc makeFluidDesc(const PhysicsSettings& options, NxU32 max_particles,
                          bool hardware_fluid) {
    NxFluidDesc desc;
    desc.maxParticles = max_particles;
    desc.numReserveParticles = 0;
    // 7 particles per metre: rest spacing 1/7 m, kernel radius 3/7 m.
    desc.restParticlesPerMeter = 7.0f;
    desc.restDensity = 1000.0f;  // water, kg/m^3
    desc.kernelRadiusMultiplier = 3.0f;
    desc.motionLimitMultiplier = 3.0f;
    desc.collisionDistanceMultiplier = 0.12f;
    desc.packetSizeMultiplier = 16;
    desc.stiffness = 60.0f;
    desc.viscosity = 100.0f;
    desc.surfaceTension = 100.0f;
    desc.damping = 0.46f;
    desc.fadeInTime = 0.0f;
    desc.externalAcceleration = NxVec3(0.0f, 0.0f, 0.0f);
    desc.projectionPlane = NxPlane(NxVec3(0.0f, 0.0f, 1.0f), 0.0f);
    desc.restitutionForStaticShapes = 0.2f;
    desc.dynamicFrictionForStaticShapes = 0.5f;
    desc.staticFrictionForStaticShapes = 0.0f;
    desc.attractionForStaticShapes = 0.0f;
    desc.restitutionForDynamicShapes = 0.2f;
    desc.dynamicFrictionForDynamicShapes = 0.5f;
    desc.staticFrictionForDynamicShapes = 0.0f;
    desc.attractionForDynamicShapes = 0.0f;
    desc.collisionResponseCoefficient = 0.2f;
    desc.simulationMethod = options.use_sph ? NX_F_SPH : NX_F_NO_PARTICLE_INTERACTION;
    desc.collisionMethod = NX_F_STATIC | NX_F_DYNAMIC;
    desc.collisionGroup = 0;
    desc.groupsMask = 0;
    desc.forceFieldMaterial = 0;
    desc.flags = NX_FF_VISUALIZATION | NX_FF_ENABLED | (hardware_fluid ? NX_FF_HARDWARE : 0);
    desc.compartment = nullptr;
    return desc;
}

NxFluidEmitterDesc makeEmitterDesc(const PhysicsSettings& options, NxShape* frame_shape, float rate,
                                   float lifetime, float alpha, float beta) {
    NxFluidEmitterDesc desc;
    desc.relPose.M = emitterRotation(alpha, beta);
    // 0.6 m above the frame box's centre: just over the 1 m high box's top.
    desc.relPose.t = NxVec3(0.0f, 0.6f, 0.0f);
    desc.frameShape = frame_shape;
    desc.type = NX_FE_CONSTANT_FLOW_RATE;
    desc.maxParticles = 0;
    desc.shape = NX_FE_RECTANGULAR;
    desc.dimensionX = options.physx_fluid_emitter_size;
    desc.dimensionY = options.physx_fluid_emitter_size;
    desc.randomPos = NxVec3(0.1f, 0.1f, 0.1f);
    desc.randomAngle = 0.2f;
    desc.fluidVelocityMagnitude = options.physx_fluid_velocity;
    desc.rate = rate;
    desc.particleLifetime = lifetime;
    desc.repulsionCoefficient = 0.02f;
    desc.flags = NX_FEF_VISUALIZATION | NX_FEF_ADD_BODY_VELOCITY | NX_FEF_ENABLED;
    return desc;
}

}  // namespace plashwerk
