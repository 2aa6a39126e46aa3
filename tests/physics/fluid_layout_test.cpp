// The numbers of the fluid set-up, without the SDK: layout, circle, tilt, rates, threshold
// and the descriptors handed to the SDK.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/startup_options.h"
#include "physics/fluid_layout.h"
#include "physics/physics_descriptors.h"

namespace plashwerk {
namespace {

StartupOptions defaults() {
    StartupOptions options;
    setDefaultStartupOptions(options);
    return options;
}

TEST(FluidLayout, SoftwareGivesOneSceneAndFluidPerEmitter) {
    const FluidLayout plain = planFluidLayout(4, 0, false, false, true);
    EXPECT_EQ(plain.simulations, 4u);
    EXPECT_EQ(plain.fluids_per_simulation, 1u);
    EXPECT_EQ(plain.emitters_per_fluid, 1u);
    EXPECT_EQ(plain.compartment_slots, 0u);
    EXPECT_EQ(plain.totalEmitters(), 4u);

    // multithreaded_physx puts each fluid into a compartment; fluid_per_emitter does not
    // matter without hardware.
    const FluidLayout threaded = planFluidLayout(4, 0, false, true, false);
    EXPECT_EQ(threaded.simulations, 4u);
    EXPECT_EQ(threaded.emitters_per_fluid, 1u);
    EXPECT_EQ(threaded.compartment_slots, 4u);
}

TEST(FluidLayout, HardwareGivesOneSceneEitherWayItIsReported) {
    for (auto [ppus, version] : {std::pair{1u, false}, std::pair{0u, true}}) {
        const FluidLayout per_emitter = planFluidLayout(5, ppus, version, true, true);
        EXPECT_EQ(per_emitter.simulations, 1u);
        EXPECT_EQ(per_emitter.fluids_per_simulation, 5u);
        EXPECT_EQ(per_emitter.emitters_per_fluid, 1u);
        EXPECT_EQ(per_emitter.compartment_slots, 0u);

        const FluidLayout shared = planFluidLayout(5, ppus, version, true, false);
        EXPECT_EQ(shared.simulations, 1u);
        EXPECT_EQ(shared.fluids_per_simulation, 1u);
        EXPECT_EQ(shared.emitters_per_fluid, 5u);
        EXPECT_EQ(shared.totalEmitters(), 5u);
    }
}

TEST(FluidLayout, EmitterCountIsClampedToASaneRange) {
    EXPECT_EQ(planFluidLayout(0, 0, false, false, true).simulations, 1u);
    EXPECT_EQ(planFluidLayout(-7, 0, false, false, true).simulations, 1u);
    EXPECT_EQ(planFluidLayout(std::numeric_limits<int>::max(), 0, false, false, true).simulations,
              static_cast<uint32_t>(kMaxFluidEmitters));
}

TEST(EmitterCircle, FourEmittersStandNinetyDegreesApartOnTheCircle) {
    const float step = emitterAngleStep(4);
    EXPECT_FLOAT_EQ(step, 90.0f);
    const NxVec3 expected[4] = {{0, 0.5f, -15}, {15, 0.5f, 0}, {0, 0.5f, 15}, {-15, 0.5f, 0}};
    float angle = 0.0f;
    for (const NxVec3& want : expected) {
        const NxVec3 p = emitterFramePosition(angle, 15.0f, 0.5f);
        EXPECT_NEAR(p.x, want.x, 1e-5f);
        EXPECT_FLOAT_EQ(p.y, want.y);
        EXPECT_NEAR(p.z, want.z, 1e-5f);
        EXPECT_NEAR(std::hypot(p.x, p.z), 15.0f, 1e-4f);
        angle += step;
    }
    EXPECT_FLOAT_EQ(emitterAngleStep(7), 360.0f / 7.0f);
    EXPECT_EQ(emitterAngleStep(0), 0.0f);  // no emitters: no division by zero
}

TEST(EmitterCircle, TiltFollowsTheAngle) {
    const EmitterTilt first = emitterTilt(0.0f);
    EXPECT_FLOAT_EQ(first.alpha, -1.0f);
    EXPECT_FLOAT_EQ(first.beta, 0.0f);
    const EmitterTilt quarter = emitterTilt(90.0f);
    EXPECT_NEAR(quarter.alpha, -1.0f - std::sin(NxPi / 4.0f), 1e-6f);
    EXPECT_NEAR(quarter.beta, -0.6f, 1e-6f);
    const EmitterTilt half = emitterTilt(180.0f);
    EXPECT_NEAR(half.alpha, -2.0f, 1e-6f);
    EXPECT_NEAR(half.beta, 0.0f, 1e-6f);
}

TEST(EmitterCircle, RotationIsRxTimesRy) {
    const float alpha = -1.3f, beta = -0.45f;
    const NxMat33 r = emitterRotation(alpha, beta);
    const float ca = std::cos(alpha), sa = std::sin(alpha);
    const float cb = std::cos(beta), sb = std::sin(beta);
    // [1 0 0; 0 ca -sa; 0 sa ca] . [cb 0 sb; 0 1 0; -sb 0 cb]
    const float want[3][3] = {{cb, 0, sb}, {sa * sb, ca, -sa * cb}, {-ca * sb, sa, ca * cb}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(r.m[i][j], want[i][j], 1e-6f) << i << "," << j;

    // The jet direction (the frame's z axis) of the first emitter points up and towards
    // the centre of the circle (+z from its place at z = -15).
    const NxVec3 jet = emitterRotation(-1.0f, 0.0f) * NxVec3(0, 0, 1);
    EXPECT_GT(jet.y, 0.8f);
    EXPECT_GT(jet.z, 0.5f);
}

TEST(EmissionRate, SharedParticleCountExample) {
    StartupOptions options = defaults();
    options.use_particle_count = true;
    options.num_particles = 120000;
    options.particles_lifetime = 15.0f;
    // min(65000 / 15, 30000 / 15) = min(4333, 2000)
    EXPECT_EQ(emissionRate(options, 4), 2000u);

    float sum = 0.0f;
    for (int e = 0; e < 4; ++e) sum = std::trunc(sum + expectedParticleShare(2000, 15.0f, 0, 65000));
    EXPECT_EQ(sum, 120000.0f);
    EXPECT_EQ(warmupThreshold(sum, false), 108000u);
    EXPECT_EQ(warmupThreshold(sum, true), 117600u);
}

TEST(EmissionRate, ShortLifetimeMakesTheCapacityTheLimit) {
    StartupOptions options = defaults();
    options.num_particles = 120000;
    options.particles_lifetime = 1.0f;
    EXPECT_EQ(emissionRate(options, 1), 65000u);  // not 120000
    options.particles_lifetime = 0.5f;
    EXPECT_EQ(emissionRate(options, 4), 60000u);  // 30000 x 2 stays below 130000
    options.particles_lifetime = 0.25f;
    EXPECT_EQ(emissionRate(options, 1), 260000u);  // capacity of a quarter second
    options.num_particles = 7;
    EXPECT_EQ(emissionRate(options, 4), 4u);  // 7 / 4 = 1 (integer division), x 4
}

TEST(EmissionRate, FixedRatesWithoutParticleCount) {
    StartupOptions options = defaults();
    options.use_particle_count = false;
    EXPECT_EQ(emissionRate(options, 4), 500u);
    options.xtreme_burning = 1;
    EXPECT_EQ(emissionRate(options, 4), 2000u);
    options.particles_rate_xtreme = -3;
    EXPECT_EQ(emissionRate(options, 4), 0u);
}

TEST(EmissionRate, BadSettingsGiveNoRateInsteadOfOverflow) {
    StartupOptions options = defaults();
    for (float lifetime : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity()}) {
        options.particles_lifetime = lifetime;
        EXPECT_EQ(emissionRate(options, 4), 0u) << lifetime;
    }
    options.particles_lifetime = 1e-30f;  // an enormous k: the rate saturates
    EXPECT_EQ(emissionRate(options, 4), UINT32_MAX);
    options.particles_lifetime = 15.0f;
    options.num_particles = -120000;
    EXPECT_EQ(emissionRate(options, 4), 0u);
    EXPECT_EQ(emissionRate(options, 0), 0u);
}

TEST(WarmupThreshold, ExpectedParticlesNeverExceedAFluidsCapacity) {
    // Four emitters of one fluid at 2000/s for 15 s would expect 120000 particles in a
    // fluid of 65000: the threshold must stay reachable.
    float in_fluid = 0.0f, sum = 0.0f;
    for (int e = 0; e < 4; ++e) {
        const float share = expectedParticleShare(2000, 15.0f, in_fluid, 65000);
        in_fluid += share;
        sum = std::trunc(sum + share);
    }
    EXPECT_EQ(sum, 65000.0f);
    EXPECT_EQ(warmupThreshold(sum, false), 58500u);
    EXPECT_EQ(expectedParticleShare(2000, -1.0f, 0, 65000), 0.0f);
    EXPECT_EQ(expectedParticleShare(2000, 15.0f, 70000, 65000), 0.0f);
    EXPECT_EQ(warmupThreshold(99.0f, false), 0u);
    EXPECT_EQ(warmupThreshold(-5.0f, true), 0u);
    EXPECT_EQ(warmupThreshold(1e30f, false), UINT32_MAX / 100 * 90);
}

TEST(Descriptors, SdkDescriptorFollowsTheHardwareAndMemorySettings) {
    StartupOptions options = defaults();
    options.physx_cpu = false;
    options.z2o_physx_gpu_mem = false;
    NxPhysicsSDKDesc desc = makePhysicsSdkDesc(options);
    EXPECT_EQ(desc.hwPageSize, 65536u);
    EXPECT_EQ(desc.hwPageMax, 256u);
    EXPECT_EQ(desc.hwConvexMax, 2048u);
    EXPECT_EQ(desc.cookerThreadMask, 0u);
    EXPECT_EQ(desc.flags, 2u);
    EXPECT_EQ(desc.gpuHeapSize, 256u);
    EXPECT_EQ(desc.meshCacheSize, 0xFFFFFFFFu);
    EXPECT_TRUE(desc.isValid());

    options.physx_cpu = true;
    options.z2o_physx_gpu_mem = true;
    desc = makePhysicsSdkDesc(options);
    EXPECT_EQ(desc.flags, 3u);
    EXPECT_EQ(desc.gpuHeapSize, 512u);

    options.z2o_physx_gpu_mem = false;
    options.physx_gpu_heap_size = -40;
    EXPECT_EQ(makePhysicsSdkDesc(options).gpuHeapSize, 0u);
}

TEST(Descriptors, SceneFlagsAndSimulationType) {
    StartupOptions options = defaults();
    options.multicore_cpu_physx = false;
    options.multithreaded_physx = false;
    EXPECT_EQ(fluidSceneFlags(options), 0u);
    options.multicore_cpu_physx = true;
    EXPECT_EQ(fluidSceneFlags(options), 0x4Cu);
    options.multicore_cpu_physx = false;
    options.multithreaded_physx = true;
    options.alt_physx_threading = false;
    EXPECT_EQ(fluidSceneFlags(options), 0x4Cu);
    options.multicore_cpu_physx = true;
    options.alt_physx_threading = true;
    EXPECT_EQ(fluidSceneFlags(options), 0x40u);  // replaced, not combined

    options.physx_cpu = false;
    NxSceneDesc desc = makeFluidSceneDesc(options, true);
    EXPECT_EQ(desc.simType, NX_SIMULATION_HW);
    EXPECT_EQ(desc.gravity, NxVec3(0, -14.8f, 0));
    EXPECT_FLOAT_EQ(desc.maxTimestep, 1.0f / 60.0f);
    EXPECT_EQ(desc.maxIter, 8u);
    EXPECT_EQ(desc.flags, 0x40u);
    EXPECT_EQ(desc.staticStructure, NX_PRUNING_STATIC_AABB_TREE);
    EXPECT_EQ(desc.dynamicStructure, NX_PRUNING_NONE);
    EXPECT_EQ(desc.subdivisionLevel, 5u);
    EXPECT_EQ(desc.solverBatchSize, 32u);
    EXPECT_EQ(desc.maxBounds, nullptr);
    EXPECT_FALSE(desc.groundPlane);
    EXPECT_TRUE(desc.isValid());
    EXPECT_EQ(makeFluidSceneDesc(options, false).simType, NX_SIMULATION_SW);
    options.physx_cpu = true;
    EXPECT_EQ(makeFluidSceneDesc(options, true).simType, NX_SIMULATION_SW);
}

TEST(Descriptors, FluidAndEmitterCarryTheBenchmarksValues) {
    StartupOptions options = defaults();
    NxFluidDesc fluid = makeFluidDesc(options, kMaxParticlesPerFluid, false);
    EXPECT_EQ(fluid.maxParticles, 65000u);
    EXPECT_EQ(fluid.restParticlesPerMeter, 7.0f);
    EXPECT_EQ(fluid.kernelRadiusMultiplier, 3.0f);
    EXPECT_EQ(fluid.stiffness, 60.0f);
    EXPECT_EQ(fluid.viscosity, 100.0f);
    EXPECT_FLOAT_EQ(fluid.damping, 0.46f);
    EXPECT_FLOAT_EQ(fluid.restitutionForStaticShapes, 0.2f);
    EXPECT_FLOAT_EQ(fluid.dynamicFrictionForDynamicShapes, 0.5f);
    EXPECT_EQ(fluid.simulationMethod, NX_F_SPH);
    EXPECT_EQ(fluid.collisionMethod, 3u);
    EXPECT_EQ(fluid.flags, 0x09u);
    EXPECT_EQ(makeFluidDesc(options, 65000, true).flags, 0x19u);
    options.use_sph = false;
    EXPECT_EQ(makeFluidDesc(options, 65000, false).simulationMethod,
              NX_F_NO_PARTICLE_INTERACTION);

    const NxCompartmentDesc compartment = makeFluidCompartmentDesc();
    EXPECT_EQ(compartment.type, NX_SCT_FLUID);
    EXPECT_EQ(compartment.deviceCode, 0xFFFF0000u);
    EXPECT_EQ(compartment.flags, 8u);
    EXPECT_TRUE(compartment.isValid());

    const NxFluidEmitterDesc emitter = makeEmitterDesc(options, nullptr, 2000.0f, 15.0f, -1.0f, 0.0f);
    EXPECT_EQ(emitter.type, NX_FE_CONSTANT_FLOW_RATE);
    EXPECT_EQ(emitter.shape, NX_FE_RECTANGULAR);
    EXPECT_EQ(emitter.maxParticles, 0u);
    EXPECT_FLOAT_EQ(emitter.dimensionX, 0.2f);
    EXPECT_FLOAT_EQ(emitter.dimensionY, 0.2f);
    EXPECT_EQ(emitter.fluidVelocityMagnitude, 100.0f);
    EXPECT_EQ(emitter.rate, 2000.0f);
    EXPECT_EQ(emitter.particleLifetime, 15.0f);
    EXPECT_FLOAT_EQ(emitter.repulsionCoefficient, 0.02f);
    EXPECT_EQ(emitter.flags, 0x19u);
    EXPECT_EQ(emitter.relPose.t, NxVec3(0, 0.6f, 0));
    EXPECT_TRUE(emitter.isValid());
}

}  // namespace
}  // namespace plashwerk
