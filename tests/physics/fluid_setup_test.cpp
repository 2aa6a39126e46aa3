// The fluid set-up through our real SDK: scenes, fluids, actors and emitters as the layout
// plans them, a few steps, the statistics dump and the release.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "physics/demo_scene_physics.h"
#include "physics/fluid_layout.h"
#include "physics_test_support.h"

namespace plashwerk {
namespace {

using test::ScriptedSdk;

class FluidSetup : public test::PhysicsTest {
  protected:
    void SetUp() override {
        test::PhysicsTest::SetUp();
        options.num_fluid_emitters = 4;
        options.use_particle_count = true;
        options.num_particles = 120000;
        options.particles_lifetime = 15.0f;
        options.multithreaded_physx = false;
        options.multicore_cpu_physx = false;
        options.preset_run = false;
    }

    /// Physics whose SDK reports physics hardware (one processor), with the fluids made.
    std::unique_ptr<DemoScenePhysics> withHardwareFluids() {
        auto physics = std::make_unique<DemoScenePhysics>(options);
        ScriptedSdk* sdk = nullptr;
        test::useScriptedSdk(*physics, &sdk, true, 1);
        EXPECT_TRUE(physics->startPhysics(-1, -1, -1));
        physics->createFluidSimulations();
        return physics;
    }

    /// Every emitter of every fluid of a simulation, in creation order.
    static std::vector<NxFluidEmitter*> emittersOf(const FluidSimulation& simulation) {
        std::vector<NxFluidEmitter*> emitters;
        for (const auto& fluid : simulation.fluids)
            if (fluid)
                for (uint32_t e = 0; e < fluid->emitter_count; ++e)
                    emitters.push_back(fluid->emitters[e]);
        return emitters;
    }

    /// The kinematic frame boxes of a scene, in creation order.
    static std::vector<NxActor*> framesOf(NxScene& scene) {
        std::vector<NxActor*> frames;
        for (NxU32 i = 0; i < scene.getNbActors(); ++i)
            if (scene.getActors()[i]->readBodyFlag(NX_BF_KINEMATIC))
                frames.push_back(scene.getActors()[i]);
        return frames;
    }
};

TEST_F(FluidSetup, SoftwareLayoutGivesEachEmitterItsOwnSceneAndObstacles) {
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();

    ASSERT_EQ(physics.fluid_count, 4u);
    EXPECT_EQ(physics.warmup_threshold, 108000u);  // 4 emitters x 2000/s x 15 s, 90 %
    for (uint32_t i = 0; i < 4; ++i) {
        FluidSimulation& simulation = *physics.fluid_simulations[i];
        EXPECT_TRUE(simulation.compartments.empty());
        ASSERT_EQ(simulation.fluids.size(), 1u);
        ParticleFluid& fluid = *simulation.fluids[0];
        ASSERT_NE(fluid.fluid, nullptr);
        EXPECT_EQ(fluid.particles.capacity(), 65000u);
        EXPECT_EQ(fluid.emission_rate, 2000u);
        const NxParticleData sdk = fluid.particles.sdkWriteData();
        for (const void* buffer :
             {(const void*)sdk.bufferPos, (const void*)sdk.bufferVel, (const void*)sdk.bufferLife,
              (const void*)sdk.bufferDensity, (const void*)sdk.bufferId,
              (const void*)fluid.particles.forRender().positions,
              (const void*)fluid.particles.forRender().life})
            EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 16, 0u);
        EXPECT_EQ(sdk.bufferPosByteStride, 12u);
        EXPECT_EQ(sdk.bufferLifeByteStride, 12u);
        EXPECT_EQ(sdk.maxParticles, 65000u);

        // Ground, four spheres, the pillar and this emitter's frame box, in every scene.
        NxScene& scene = *simulation.scene;
        ASSERT_EQ(scene.getNbActors(), 7u);
        NxActor* const* actors = scene.getActors();
        EXPECT_TRUE(actors[0]->getShapes()[0]->isPlane() && (actors[0]->getFlags() & NX_AF_GROUND));
        EXPECT_EQ(actors[4]->getShapes()[0]->isSphere()->getRadius(), 4.0f);
        EXPECT_FALSE(actors[4]->isDynamic());
        EXPECT_TRUE(actors[5]->isDynamic());  // the pillar, standing on the ground
        EXPECT_EQ(actors[5]->getGlobalPosition(), NxVec3(0, 4, -4));
        EXPECT_EQ(actors[5]->getShapes()[0]->isBox()->getDimensions(), NxVec3(1, 4, 1));

        // The frame box stands on the circle, a quarter turn per emitter.
        NxActor* frame = actors[6];
        EXPECT_TRUE(frame->readBodyFlag(NX_BF_KINEMATIC));
        const NxVec3 want = emitterFramePosition(90.0f * i, 15.0f, 0.5f);
        EXPECT_NEAR((frame->getGlobalPosition() - want).magnitude(), 0.0f, 1e-4f);
        EXPECT_EQ(frame->getShapes()[0]->isBox()->getDimensions(), NxVec3(0.25f, 0.5f, 0.25f));

        NxFluidEmitter* emitter = fluid.emitters[0];
        ASSERT_NE(emitter, nullptr);
        EXPECT_EQ(emitter->getFrameShape(), frame->getShapes()[0]);
        const EmitterTilt tilt = emitterTilt(90.0f * i);
        const NxMat34 local = emitter->getLocalPose();
        EXPECT_EQ(local.t, NxVec3(0, 0.6f, 0));
        const NxVec3 jet = local.M * NxVec3(0, 0, 1);
        EXPECT_NEAR((jet - emitterRotation(tilt.alpha, tilt.beta) * NxVec3(0, 0, 1)).magnitude(),
                    0.0f, 1e-6f);
    }
    EXPECT_EQ(log().find("[ERROR]"), std::string::npos) << log();
}

TEST_F(FluidSetup, HardwareLayoutPutsEverythingIntoOneScene) {
    options.num_fluid_emitters = 3;
    for (bool fluid_per_emitter : {true, false}) {
        options.fluid_per_emitter = fluid_per_emitter;
        const std::unique_ptr<DemoScenePhysics> made = withHardwareFluids();
        DemoScenePhysics& physics = *made;

        // The SDK refused the hardware scene: the software scene carries the hardware
        // layout, and its fluids do not ask for hardware either.
        ASSERT_EQ(physics.fluid_count, 1u);
        FluidSimulation& simulation = *physics.fluid_simulations[0];
        EXPECT_EQ(simulation.scene->getSimType(), NX_SIMULATION_SW);
        EXPECT_EQ(simulation.fluids.size(), fluid_per_emitter ? 3u : 1u);
        for (const auto& fluid : simulation.fluids) {
            ASSERT_TRUE(fluid && fluid->fluid);
            EXPECT_EQ(fluid->fluid->getFlags() & NX_FF_HARDWARE, 0u);
            EXPECT_EQ(fluid->emission_rate, 2666u);  // 120000 / 3 / 15
        }
        const std::vector<NxFluidEmitter*> emitters = emittersOf(simulation);
        // Each emitter on its own frame box.
        const std::vector<NxActor*> frames = framesOf(*simulation.scene);
        ASSERT_EQ(frames.size(), 3u);
        ASSERT_EQ(emitters.size(), 3u);
        for (size_t e = 0; e < 3; ++e)
            EXPECT_EQ(emitters[e]->getFrameShape(), frames[e]->getShapes()[0]);
        // Three fluids expect 3 x 39990 particles; one fluid holds no more than 65000.
        EXPECT_EQ(physics.warmup_threshold, fluid_per_emitter ? 1199u * 90u : 650u * 90u);
        EXPECT_EQ(log().find("[ERROR]"), std::string::npos) << log();
    }
}

// Several emitters per fluid (hardware, several emitters per fluid) and one fluid per
// emitter: every emitter, in creation order over all fluids, gets the next place on the
// circle. Its frame box stands exactly there, upright, at the box's size, and the emitter
// sits on top of it, tilted for that place.
TEST_F(FluidSetup, EveryEmitterStandsOnItsOwnFrameBoxWhereTheCirclePutsIt) {
    options.num_fluid_emitters = 7;  // 360 / 7: the running angle is not a whole number
    for (bool fluid_per_emitter : {false, true}) {
        SCOPED_TRACE(fluid_per_emitter ? "one fluid per emitter" : "one fluid, 7 emitters");
        options.fluid_per_emitter = fluid_per_emitter;
        const std::unique_ptr<DemoScenePhysics> made = withHardwareFluids();
        DemoScenePhysics& physics = *made;
        ASSERT_EQ(physics.fluid_count, 1u);
        FluidSimulation& simulation = *physics.fluid_simulations[0];
        for (const auto& fluid : simulation.fluids) {
            ASSERT_TRUE(fluid && fluid->fluid);
            EXPECT_EQ(fluid->emitter_count, fluid_per_emitter ? 1u : 7u);
        }
        const std::vector<NxFluidEmitter*> emitters = emittersOf(simulation);
        const std::vector<NxActor*> frames = framesOf(*simulation.scene);
        ASSERT_EQ(emitters.size(), 7u);
        ASSERT_EQ(frames.size(), 7u);

        // The scene layout the visible boxes are made from says the same.
        const SceneLayout& layout = physics.sceneLayout();
        ASSERT_EQ(layout.emitters.size(), 7u);

        const float step = emitterAngleStep(7);
        float angle = 0.0f;  // grows by one step per emitter, as the set-up adds it up
        for (size_t e = 0; e < 7; ++e, angle += step) {
            SCOPED_TRACE(e);
            const NxVec3 place = emitterFramePosition(angle, 15.0f, 0.5f);
            const NxMat34 pose = frames[e]->getGlobalPose();
            EXPECT_EQ(pose.t, place);
            EXPECT_EQ(layout.emitters[e].box_position, place);
            for (int c = 0; c < 3; ++c) EXPECT_EQ(pose.M.getColumn(c), NxMat33().getColumn(c));
            NxShape* box = frames[e]->getShapes()[0];
            ASSERT_NE(box->isBox(), nullptr);
            EXPECT_EQ(box->isBox()->getDimensions(), NxVec3(0.25f, 0.5f, 0.25f));

            ASSERT_NE(emitters[e], nullptr);
            EXPECT_EQ(emitters[e]->getFrameShape(), box);
            const EmitterTilt tilt = emitterTilt(angle);
            const NxMat34 local = emitters[e]->getLocalPose();
            EXPECT_EQ(local.t, NxVec3(0, 0.6f, 0));
            const NxMat33 want = emitterRotation(tilt.alpha, tilt.beta);
            for (int c = 0; c < 3; ++c) EXPECT_EQ(local.M.getColumn(c), want.getColumn(c));
            EXPECT_EQ(emitters[e]->getGlobalPose().t, place + NxVec3(0, 0.6f, 0));
        }
        EXPECT_EQ(log().find("[ERROR]"), std::string::npos) << log();
    }
}

TEST_F(FluidSetup, RefusedScenesAndEmittersLeaveAWorkingSmallerSetUp) {
    options.physx_fluid_emitter_size = -1.0f;  // the SDK refuses such an emitter
    DemoScenePhysics physics(options);
    ScriptedSdk* sdk = nullptr;
    test::useScriptedSdk(physics, &sdk, false, 0);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    sdk->scenes_allowed = 2;
    physics.createFluidSimulations();

    ASSERT_EQ(physics.fluid_count, 2u);
    EXPECT_EQ(sdk->scene_requests.size(), 3u);  // stops at the first refusal
    EXPECT_TRUE(logged("[ERROR] NVIDIA PhysX: could not create PhysX scene!"));
    EXPECT_TRUE(logged("[ERROR] NVIDIA PhysX: fluid emitter creation failed."));
    // Two emitters share the particles and the circle; their frame boxes stay.
    EXPECT_EQ(physics.fluid_simulations[0]->fluids[0]->emission_rate, 4000u);
    const NxVec3 second = framesOf(*physics.fluid_simulations[1]->scene)[0]->getGlobalPosition();
    EXPECT_NEAR((second - NxVec3(0, 0.5f, 15)).magnitude(), 0.0f, 1e-4f);
    EXPECT_EQ(physics.fluid_simulations[1]->fluids[0]->emitters[0], nullptr);
    // Missing emitters fill nothing, so they count for nothing.
    EXPECT_EQ(physics.warmup_threshold, 0u);

    // A fluid larger than the SDK allows is refused and its buffers go again.
    ParticleFluid fluid;
    EXPECT_FALSE(physics.createParticleFluid(physics.fluid_simulations[0].get(), &fluid, 70000));
    EXPECT_TRUE(logged("[ERROR] NVIDIA PhysX: fluid creation failed."));
    EXPECT_EQ(fluid.particles.capacity(), 0u);
    EXPECT_EQ(fluid.particles.forRender().positions, nullptr);
    EXPECT_FALSE(physics.createFluidEmitter(physics.fluid_simulations[0]->fluids[0].get(), 1, 1.0f,
                                            framesOf(*physics.fluid_simulations[0]->scene)[0], -1,
                                            0));  // no such slot
}

TEST_F(FluidSetup, StepsFillTheBuffersAndTheRenderCopies) {
    options.num_fluid_emitters = 2;
    options.num_particles = 400;  // 200 particles per second per emitter, living 1 s
    options.particles_lifetime = 1.0f;
    options.multithreaded_physx = true;
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysicsWithFallback());
    physics.createFluidSimulations();
    ASSERT_EQ(physics.fluid_count, 2u);
    EXPECT_EQ(physics.warmup_threshold, 360u);
    // multithreaded_physx: each scene's fluid in a compartment, made on first use.
    for (const auto& simulation : physics.fluid_simulations) {
        ASSERT_EQ(simulation->compartments.size(), 2u);
        EXPECT_EQ(simulation->compartments[1], nullptr);
        EXPECT_EQ(simulation->fluids[0]->fluid->getCompartment(), simulation->compartments[0]);
    }

    for (int step = 0; step < 25; ++step) {
        for (auto& simulation : physics.fluid_simulations) simulation->startStep();
        for (auto& simulation : physics.fluid_simulations)
            EXPECT_EQ(simulation->completeStep(), 0u);
    }
    for (auto& simulation : physics.fluid_simulations) {
        ParticleFluid& fluid = *simulation->fluids[0];
        // Half a second at 200 per second, none expired yet.
        const ParticleView written = fluid.particles.written();
        EXPECT_EQ(written.count, fluid.particles.liveCount());
        EXPECT_GT(written.count, 50u);
        EXPECT_LE(written.count, 110u);
        for (uint32_t i = 0; i < written.count; ++i) {
            const ParticleRecord& p = written.positions[i];
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
        }
        const uint64_t before = fluid.particles.forRender().generation;
        fluid.particles.takeForRender(written);
        const ParticleView drawn = fluid.particles.forRender();
        EXPECT_EQ(drawn.count, written.count);
        EXPECT_NE(drawn.generation, before) << "a new copy for the renderer to convert";
        EXPECT_NE(drawn.positions, written.positions);
        EXPECT_EQ(0, std::memcmp(drawn.positions, written.positions, written.count * 12));
        EXPECT_EQ(0, std::memcmp(drawn.life, written.life, written.count * 12));
        EXPECT_GT(drawn.life[0].x, 0.0f);
        EXPECT_LE(drawn.life[0].x, 1.0f);
    }
}

// One particle for the whole run, from one emitter and from 31, fewer than the seconds of
// lifetime: the fluids still fill past the warm-up threshold (31 emitters of one particle a
// second living 4 s: 124 expected, threshold 90).
TEST_F(FluidSetup, TheSmallestParticleCountFillsPastTheThreshold) {
    for (int emitters : {1, 31}) {
        SCOPED_TRACE(emitters);
        options.num_fluid_emitters = emitters;
        options.num_particles = 1;
        options.particles_lifetime = 4.0f;
        DemoScenePhysics physics(options);
        ASSERT_TRUE(physics.startPhysicsWithFallback());
        physics.createFluidSimulations();
        ASSERT_GT(physics.fluid_count, 0u);
        uint32_t total = 0;
        // At most ten simulated seconds (one step is 1/60 s).
        for (int step = 0; step < 600 && total <= physics.warmup_threshold; ++step) {
            for (auto& simulation : physics.fluid_simulations) simulation->startStep();
            total = 0;
            for (auto& simulation : physics.fluid_simulations) {
                simulation->completeStep();
                for (const auto& fluid : simulation->fluids)
                    if (fluid) total += fluid->particles.liveCount();
            }
        }
        EXPECT_GT(total, physics.warmup_threshold);
    }
}

TEST_F(FluidSetup, StatisticsDumpOneBlockPerScene) {
    options.num_fluid_emitters = 2;
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();
    for (auto& simulation : physics.fluid_simulations) {
        simulation->startStep();
        simulation->completeStep();
    }
    const size_t before = logLines().size();
    ASSERT_TRUE(physics.dumpSceneStats());
    const std::vector<std::string> lines = logLines();
    std::vector<std::string> expected;
    for (int i = 0; i < 2; ++i) {
        const std::string stars = "[INFO] " + std::string(70, '*');
        expected.push_back(stars);
        expected.push_back("[INFO] ***************************************[ Stats of PhysX scene " +
                           std::to_string(i) + ": ]***");
        expected.push_back(stars);
        const NxSceneStats2* stats = physics.fluid_simulations[i]->scene->getStats2();
        ASSERT_NE(stats, nullptr);
        for (NxU32 s = 0; s < stats->numStats; ++s)
            expected.push_back("[INFO] - " + std::string(stats->stats[s].name) + ":  " +
                               std::to_string(stats->stats[s].curValue));
    }
    EXPECT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()), expected);
}

TEST_F(FluidSetup, ReleaseTakesEverythingDownInOrder) {
    options.num_fluid_emitters = 3;
    DemoScenePhysics physics(options);
    ScriptedSdk* sdk = nullptr;
    test::useScriptedSdk(physics, &sdk, false, 0);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();
    ASSERT_EQ(physics.fluid_count, 3u);
    for (auto& simulation : physics.fluid_simulations) simulation->startStep();
    for (auto& simulation : physics.fluid_simulations) simulation->completeStep();

    std::vector<std::string> journal;
    sdk->journal = &journal;
    physics.releaseFluidSimulations();
    // Fluids (with their emitters) go before their scene, the scenes before the SDK.
    const std::string empty_scene = "releaseScene with 0 fluids";
    EXPECT_EQ(journal,
              (std::vector<std::string>{empty_scene, empty_scene, empty_scene, "release"}));
    EXPECT_EQ(physics.fluid_count, 0u);
    EXPECT_TRUE(physics.fluid_simulations.empty());
    EXPECT_EQ(physics.physics_sdk, nullptr);
    EXPECT_EQ(logLines().back(), "[INFO] NVIDIA PhysX shutdown ok.");
    const size_t lines = logLines().size();
    physics.releaseFluidSimulations();  // again, as the destructor does: nothing more
    EXPECT_EQ(logLines().size(), lines);
}

}  // namespace
}  // namespace plashwerk
