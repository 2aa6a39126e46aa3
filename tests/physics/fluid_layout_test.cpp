// The numbers of the fluid set-up, without the SDK: layout, circle, tilt, rates, threshold
// and the settings-dependent descriptor fields.

#include "physics/fluid_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "physics/fluid_particles.h"
#include "physics/physics_descriptors.h"
#include "physics/physics_settings.h"
#include "physics/scene_layout.h"

namespace plashwerk {
namespace {

PhysicsSettings defaults() {
    return PhysicsSettings{};
}

void expectLayout(const FluidLayout& l, uint32_t sims, uint32_t fluids, uint32_t emitters,
                  uint32_t compartments) {
    EXPECT_EQ(l.simulations, sims);
    EXPECT_EQ(l.fluids_per_simulation, fluids);
    EXPECT_EQ(l.emitters_per_fluid, emitters);
    EXPECT_EQ(l.compartment_slots, compartments);
}

TEST(FluidLayout, SoftwareGivesEachEmitterASceneHardwareGivesOneScene) {
    expectLayout(planFluidLayout(4, 0, false, false, true), 4, 1, 1, 0);
    expectLayout(planFluidLayout(4, 0, false, true, false), 4, 1, 1, 4);
    // Hardware counts when either the processors or the version say so.
    for (auto [ppus, version] : {std::pair{1u, false}, std::pair{0u, true}}) {
        expectLayout(planFluidLayout(5, ppus, version, true, true), 1, 5, 1, 0);
        expectLayout(planFluidLayout(5, ppus, version, true, false), 1, 1, 5, 0);
    }
    // Damaged settings: at least one emitter, and not thousands.
    EXPECT_EQ(planFluidLayout(0, 0, false, false, true).simulations, 1u);
    EXPECT_EQ(planFluidLayout(-7, 0, false, false, true).simulations, 1u);
    EXPECT_EQ(planFluidLayout(std::numeric_limits<int>::max(), 0, false, false, true).simulations,
              uint32_t(kMaxFluidEmitters));
}

TEST(EmitterCircle, FourEmittersStandAQuarterTurnApart) {
    const float step = emitterAngleStep(4);
    EXPECT_FLOAT_EQ(step, 90.0f);
    EXPECT_EQ(emitterAngleStep(0), 0.0f);
    const NxVec3 expected[4] = {{0, 0.5f, -15}, {15, 0.5f, 0}, {0, 0.5f, 15}, {-15, 0.5f, 0}};
    for (int i = 0; i < 4; ++i) {
        const NxVec3 p = emitterFramePosition(step * i, 15.0f, 0.5f);
        EXPECT_NEAR(p.x, expected[i].x, 1e-5f) << i;
        EXPECT_FLOAT_EQ(p.y, 0.5f);
        EXPECT_NEAR(p.z, expected[i].z, 1e-5f) << i;
    }
    const EmitterTilt first = emitterTilt(0.0f), quarter = emitterTilt(90.0f);
    EXPECT_FLOAT_EQ(first.alpha, -1.0f);
    EXPECT_FLOAT_EQ(first.beta, 0.0f);
    EXPECT_NEAR(quarter.alpha, -1.0f - std::sin(NxPi / 4.0f), 1e-6f);
    EXPECT_NEAR(quarter.beta, -0.6f, 1e-6f);
}

TEST(EmitterCircle, RotationIsRxTimesRy) {
    const float alpha = -1.3f, beta = -0.45f;
    const NxMat33 r = emitterRotation(alpha, beta);
    const float ca = std::cos(alpha), sa = std::sin(alpha);
    const float cb = std::cos(beta), sb = std::sin(beta);
    const float want[3][3] = {{cb, 0, sb}, {sa * sb, ca, -sa * cb}, {-ca * sb, sa, ca * cb}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(r.m[i][j], want[i][j], 1e-6f) << i << "," << j;
    // The first emitter's jet (its frame's z axis) points up and towards the centre.
    const NxVec3 jet = emitterRotation(-1.0f, 0.0f) * NxVec3(0, 0, 1);
    EXPECT_GT(jet.y, 0.8f);
    EXPECT_GT(jet.z, 0.5f);
}

TEST(EmitterCircle, PlacementsAddTheStepUpAndStopAtTheCount) {
    const ObstacleLayout obstacles;
    const std::vector<EmitterPlacement> places = placeEmitters(7, 5, obstacles);
    ASSERT_EQ(places.size(), 5u);  // the places of fluids that were not made stay empty
    float angle = 0.0f;
    for (const EmitterPlacement& place : places) {
        EXPECT_EQ(place.box_position, emitterFramePosition(angle, 15.0f, 0.5f));
        EXPECT_EQ(place.tilt.alpha, emitterTilt(angle).alpha);
        EXPECT_EQ(place.tilt.beta, emitterTilt(angle).beta);
        angle += emitterAngleStep(7);
    }
    EXPECT_TRUE(placeEmitters(0, 0, obstacles).empty());
    EXPECT_EQ(obstacles.pillarPosition(), NxVec3(0.0f, 4.0f, -4.0f));
}

// The SDK writes through the write data; written() is what it wrote, never beyond the
// capacity, and each copy for the renderer is a new generation.
TEST(FluidParticles, TheRenderCopyTakesWhatTheSdkWroteAndNoMore) {
    FluidParticles particles;
    EXPECT_FALSE(particles.allocate(0));
    ASSERT_TRUE(particles.allocate(4));
    NxParticleData sdk = particles.sdkWriteData();
    for (uint32_t i = 0; i < 4; ++i) {
        sdk.bufferPos[3 * i] = float(i);
        sdk.bufferLife[3 * i] = 10.0f + float(i);
    }
    *sdk.numParticlesPtr = 3;
    EXPECT_EQ(particles.written().count, 3u);
    const uint64_t first = particles.forRender().generation;
    particles.takeForRender(particles.written());
    ParticleView drawn = particles.forRender();
    ASSERT_EQ(drawn.count, 3u);
    EXPECT_EQ(drawn.positions[2].x, 2.0f);
    EXPECT_EQ(drawn.life[2].x, 12.0f);
    EXPECT_NE(drawn.generation, first);

    *sdk.numParticlesPtr = 9;  // a count beyond the buffers is not believed
    EXPECT_EQ(particles.liveCount(), 9u);
    EXPECT_EQ(particles.written().count, 4u);
    ParticleCopy staging;  // a smaller copy takes what fits
    ASSERT_TRUE(staging.allocate(2));
    staging.copyFrom(particles.written());
    EXPECT_EQ(staging.view().count, 2u);
    particles.takeForRender(staging.view());
    drawn = particles.forRender();
    EXPECT_EQ(drawn.count, 2u);
    EXPECT_EQ(drawn.life[1].x, 11.0f);

    *sdk.numParticlesPtr = 0;
    particles.takeForRender(particles.written());
    EXPECT_EQ(particles.forRender().count, 0u);
    particles.release();
    EXPECT_EQ(particles.capacity(), 0u);
    EXPECT_EQ(particles.written().count, 0u);
}

TEST(EmissionRate, SharedParticleCountAndItsCapacityLimit) {
    PhysicsSettings options = defaults();
    options.use_particle_count = true;
    options.num_particles = 120000;
    options.particles_lifetime = 15.0f;
    EXPECT_EQ(emissionRate(options, 4), 2000u);  // min(4333, 2000)
    float sum = 0.0f;
    for (int e = 0; e < 4; ++e)
        sum = std::trunc(sum + expectedParticleShare(2000, 15.0f, 0, 65000));
    EXPECT_EQ(sum, 120000.0f);
    EXPECT_EQ(warmupThreshold(sum, false), 108000u);
    EXPECT_EQ(warmupThreshold(sum, true), 117600u);

    options.particles_lifetime = 1.0f;
    EXPECT_EQ(emissionRate(options, 1), 65000u);  // a fluid's capacity per lifetime
    options.particles_lifetime = 0.25f;
    options.num_particles = 7;
    EXPECT_EQ(emissionRate(options, 4), 4u);  // 7 / 4 = 1 particle (integer division) x 4
}

TEST(EmissionRate, FixedRatesAndDamagedSettings) {
    PhysicsSettings options = defaults();
    options.use_particle_count = false;
    EXPECT_EQ(emissionRate(options, 4), 500u);
    options.xtreme_burning = 1;
    EXPECT_EQ(emissionRate(options, 4), 2000u);
    options.particles_rate_xtreme = -3;
    EXPECT_EQ(emissionRate(options, 4), 1u);
    options.particles_rate_xtreme = 0;
    EXPECT_EQ(emissionRate(options, 4), 1u);

    options.use_particle_count = true;
    for (float lifetime : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity()}) {
        options.particles_lifetime = lifetime;
        EXPECT_EQ(emissionRate(options, 4), 0u) << lifetime;
    }
    options.particles_lifetime = 1e-30f;  // saturates instead of overflowing
    EXPECT_EQ(emissionRate(options, 4), UINT32_MAX);
    options.particles_lifetime = 15.0f;
    options.num_particles = -120000;
    EXPECT_EQ(emissionRate(options, 4), 1u);
    EXPECT_EQ(emissionRate(options, 0), 0u);
}

// The smallest counts the particle-count dialog takes, shared by one emitter and by the most
// the dialog offers (and more, from the command line): fewer particles per emitter than
// seconds of lifetime still emit one a second, so every fluid fills past its threshold.
TEST(EmissionRate, TheSmallestParticleCountsStillEmit) {
    PhysicsSettings options = defaults();
    options.use_particle_count = true;
    options.particles_lifetime = 15.0f;
    for (int particles : {1, 10, 14}) {
        for (uint32_t emitters : {1u, 4u, 31u, 128u}) {
            options.num_particles = particles;
            const uint32_t rate = emissionRate(options, emitters);
            EXPECT_EQ(rate, 1u) << particles << " particles, " << emitters << " emitters";
            // The threshold lies below what the emitters keep alive.
            const float expected = rate * 15.0f * static_cast<float>(emitters);
            EXPECT_LT(warmupThreshold(expected, false), expected);
            EXPECT_LT(warmupThreshold(expected, true), expected);
        }
    }
    options.num_particles = 30;  // two a second for one emitter: the floor changes nothing
    EXPECT_EQ(emissionRate(options, 1), 2u);
}

TEST(WarmupThreshold, StaysWithinWhatTheFluidsCanHold) {
    // Four emitters of one fluid at 2000/s for 15 s expect 120000 particles in a fluid of
    // 65000: the threshold must stay reachable.
    float in_fluid = 0.0f, sum = 0.0f;
    for (int e = 0; e < 4; ++e) {
        const float share = expectedParticleShare(2000, 15.0f, in_fluid, 65000);
        in_fluid += share;
        sum = std::trunc(sum + share);
    }
    EXPECT_EQ(sum, 65000.0f);
    EXPECT_EQ(expectedParticleShare(2000, -1.0f, 0, 65000), 0.0f);
    EXPECT_EQ(warmupThreshold(99.0f, false), 0u);
    EXPECT_EQ(warmupThreshold(-5.0f, true), 0u);
    EXPECT_EQ(warmupThreshold(1e30f, false), UINT32_MAX / 100 * 90);
}

TEST(Descriptors, FollowTheSettingsAndPassTheSdksChecks) {
    PhysicsSettings options = defaults();
    options.multicore_cpu_physx = false;
    options.multithreaded_physx = false;
    EXPECT_EQ(fluidSceneFlags(options), 0u);
    options.multicore_cpu_physx = true;
    EXPECT_EQ(fluidSceneFlags(options), 0x4Cu);
    options.multithreaded_physx = true;
    options.alt_physx_threading = true;
    EXPECT_EQ(fluidSceneFlags(options), 0x40u);  // replaced, not combined
    EXPECT_EQ(makeFluidDesc(options, 65000, true).flags, 0x19u);
    options.use_sph = false;
    EXPECT_EQ(makeFluidDesc(options, 65000, false).simulationMethod, NX_F_NO_PARTICLE_INTERACTION);
    // Everything the SDK checks on entry passes.
    EXPECT_TRUE(makeFluidSceneDesc(options, false).isValid());
    EXPECT_TRUE(makeFluidDesc(options, 65000, false).isValid());
    EXPECT_TRUE(makeFluidCompartmentDesc().isValid());
    EXPECT_TRUE(makeEmitterDesc(options, nullptr, 2000.0f, 15.0f, -1.0f, 0.3f).isValid());
}

}  // namespace
}  // namespace plashwerk
