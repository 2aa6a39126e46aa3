// The fluid set-up through our real SDK: scenes, fluids, actors and emitters as the layout
// plans them, a few steps, the statistics dump and the release.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "physics/demo_scene_physics.h"
#include "physics/fluid_layout.h"
#include "physics_test_support.h"

namespace plashwerk {
namespace {

using test::ScriptedSdk;

bool aligned16(const void* p) { return reinterpret_cast<uintptr_t>(p) % 16 == 0; }

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

    /// The actors of a scene by kind, in creation order.
    struct SceneActors {
        NxActor* ground = nullptr;
        std::vector<NxActor*> spheres;
        NxActor* pillar = nullptr;
        std::vector<NxActor*> frames;
    };
    static SceneActors actorsOf(NxScene& scene) {
        SceneActors found;
        NxActor** actors = scene.getActors();
        for (NxU32 i = 0; i < scene.getNbActors(); ++i) {
            NxActor* actor = actors[i];
            NxShape* shape = actor->getShapes()[0];
            if (shape->isPlane()) found.ground = actor;
            else if (shape->isSphere()) found.spheres.push_back(actor);
            else if (actor->readBodyFlag(NX_BF_KINEMATIC)) found.frames.push_back(actor);
            else found.pillar = actor;
        }
        return found;
    }
};

TEST_F(FluidSetup, SoftwareLayoutGivesEachEmitterItsOwnSceneAndObstacles) {
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();

    ASSERT_EQ(physics.fluid_count, 4u);
    ASSERT_EQ(physics.fluid_simulations.size(), 4u);
    // 120000 particles shared by 4 emitters living 15 s: 2000 per second each.
    EXPECT_EQ(physics.warmup_threshold, 108000u);
    for (uint32_t i = 0; i < 4; ++i) {
        FluidSimulation& simulation = *physics.fluid_simulations[i];
        ASSERT_NE(simulation.scene, nullptr);
        EXPECT_EQ(simulation.fluids_in_scene, 1u);
        EXPECT_TRUE(simulation.compartments.empty());
        EXPECT_EQ(simulation.scene->getNbFluids(), 1u);
        ASSERT_EQ(simulation.fluids.size(), 1u);
        ParticleFluid& fluid = *simulation.fluids[0];
        ASSERT_NE(fluid.fluid, nullptr);
        EXPECT_EQ(fluid.fluid->getCompartment(), nullptr);
        EXPECT_EQ(fluid.max_particles, 65000u);
        EXPECT_EQ(fluid.emission_rate, 2000u);
        EXPECT_EQ(fluid.lifetime, 15.0f);
        EXPECT_EQ(fluid.particle_count, 0u);
        for (const void* buffer :
             {(const void*)fluid.positions.data(), (const void*)fluid.life.data(),
              (const void*)fluid.velocities.data(), (const void*)fluid.densities.data(),
              (const void*)fluid.ids.data(), (const void*)fluid.render_positions.data(),
              (const void*)fluid.render_life.data()})
            EXPECT_TRUE(buffer && aligned16(buffer));
        EXPECT_EQ(fluid.positions.size(), 3u * 65000u);
        EXPECT_EQ(fluid.ids.size(), 65000u);

        // Ground, four spheres, the pillar and this emitter's frame box: every scene has
        // its own copy of the obstacles.
        EXPECT_EQ(simulation.scene->getNbActors(), 7u);
        const SceneActors actors = actorsOf(*simulation.scene);
        ASSERT_NE(actors.ground, nullptr);
        EXPECT_FALSE(actors.ground->isDynamic());
        EXPECT_TRUE(actors.ground->getFlags() & NX_AF_GROUND);
        EXPECT_EQ(actors.ground->getShapes()[0]->isPlane()->getPlane().normal, NxVec3(0, 1, 0));
        ASSERT_EQ(actors.spheres.size(), 4u);
        EXPECT_EQ(actors.spheres[0]->getGlobalPosition(), NxVec3(5, 8.5f, -0.5f));
        EXPECT_EQ(actors.spheres[3]->getShapes()[0]->isSphere()->getRadius(), 4.0f);
        for (NxActor* sphere : actors.spheres) EXPECT_FALSE(sphere->isDynamic());
        ASSERT_NE(actors.pillar, nullptr);
        EXPECT_TRUE(actors.pillar->isDynamic());
        EXPECT_EQ(actors.pillar->getGlobalPosition(), NxVec3(0, 4, -4));
        EXPECT_EQ(actors.pillar->getShapes()[0]->isBox()->getDimensions(), NxVec3(1, 4, 1));

        // The frame box stands on the circle, a quarter turn per emitter.
        ASSERT_EQ(actors.frames.size(), 1u);
        const NxVec3 want = emitterFramePosition(90.0f * i, 15.0f, 0.5f);
        const NxVec3 at = actors.frames[0]->getGlobalPosition();
        EXPECT_NEAR(at.x, want.x, 1e-4f);
        EXPECT_NEAR(at.y, 0.5f, 1e-6f);
        EXPECT_NEAR(at.z, want.z, 1e-4f);
        EXPECT_EQ(actors.frames[0]->getShapes()[0]->isBox()->getDimensions(),
                  NxVec3(0.25f, 0.5f, 0.25f));

        ASSERT_EQ(fluid.emitter_count, 1u);
        NxFluidEmitter* emitter = fluid.emitters[0];
        ASSERT_NE(emitter, nullptr);
        EXPECT_EQ(emitter->getFrameShape(), actors.frames[0]->getShapes()[0]);
        EXPECT_EQ(emitter->getRate(), 2000.0f);
        EXPECT_EQ(emitter->getParticleLifetime(), 15.0f);
        const EmitterTilt tilt = emitterTilt(90.0f * i);
        const NxMat33 rotation = emitterRotation(tilt.alpha, tilt.beta);
        const NxMat34 local = emitter->getLocalPose();
        EXPECT_EQ(local.t, NxVec3(0, 0.6f, 0));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(local.M.m[r][c], rotation.m[r][c], 1e-6f);
    }
    EXPECT_EQ(log().find("[ERROR]"), std::string::npos) << log();
    EXPECT_EQ(log().find("[WARNING]"), std::string::npos) << log();
}

TEST_F(FluidSetup, MultithreadedPhysicsPutsEachFluidIntoACompartment) {
    options.num_fluid_emitters = 2;
    options.multithreaded_physx = true;
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();
    ASSERT_EQ(physics.fluid_count, 2u);
    for (const auto& simulation : physics.fluid_simulations) {
        EXPECT_EQ(simulation->compartment_slots, 2u);
        ASSERT_EQ(simulation->compartments.size(), 2u);
        ASSERT_NE(simulation->compartments[0], nullptr);
        EXPECT_EQ(simulation->compartments[1], nullptr);  // made on first use only
        EXPECT_EQ(simulation->compartments[0]->getType(), NX_SCT_FLUID);
        EXPECT_EQ(simulation->fluids[0]->fluid->getCompartment(), simulation->compartments[0]);
        EXPECT_EQ(simulation->scene->getNbCompartments(), 1u);
    }
}

TEST_F(FluidSetup, HardwareLayoutPutsEveryFluidIntoOneScene) {
    options.num_fluid_emitters = 3;
    options.fluid_per_emitter = true;
    DemoScenePhysics physics(options);
    ScriptedSdk* sdk = nullptr;
    test::useScriptedSdk(physics, &sdk, true, 1);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();

    // The SDK refused the hardware scene: the software scene carries the hardware layout,
    // and its fluids do not ask for hardware either.
    ASSERT_EQ(physics.fluid_count, 1u);
    FluidSimulation& simulation = *physics.fluid_simulations[0];
    EXPECT_EQ(simulation.scene->getSimType(), NX_SIMULATION_SW);
    EXPECT_EQ(simulation.fluids_in_scene, 3u);
    EXPECT_TRUE(simulation.compartments.empty());
    EXPECT_EQ(simulation.scene->getNbFluids(), 3u);
    for (const auto& fluid : simulation.fluids) {
        ASSERT_TRUE(fluid && fluid->fluid);
        EXPECT_EQ(fluid->fluid->getFlags() & NX_FF_HARDWARE, 0u);
        EXPECT_EQ(fluid->emitter_count, 1u);
        EXPECT_NE(fluid->emitters[0], nullptr);
        EXPECT_EQ(fluid->emission_rate, 2666u);  // 40000 / 15
    }
    EXPECT_EQ(actorsOf(*simulation.scene).frames.size(), 3u);
    EXPECT_EQ(simulation.scene->getNbActors(), 9u);
    EXPECT_EQ(physics.warmup_threshold, 1199u * 90u);  // 3 x 39990 = 119970
    EXPECT_EQ(log().find("[ERROR]"), std::string::npos) << log();
    g_physx_hardware_present = false;
}

TEST_F(FluidSetup, SeveralEmittersPerFluidEachStandOnTheirOwnBox) {
    options.num_fluid_emitters = 3;
    options.fluid_per_emitter = false;
    DemoScenePhysics physics(options);
    ScriptedSdk* sdk = nullptr;
    test::useScriptedSdk(physics, &sdk, false, 1);  // a processor, no hardware version
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();

    ASSERT_EQ(physics.fluid_count, 1u);
    FluidSimulation& simulation = *physics.fluid_simulations[0];
    ASSERT_EQ(simulation.fluids.size(), 1u);
    ParticleFluid& fluid = *simulation.fluids[0];
    ASSERT_EQ(fluid.emitter_count, 3u);
    const SceneActors actors = actorsOf(*simulation.scene);
    ASSERT_EQ(actors.frames.size(), 3u);
    for (uint32_t e = 0; e < 3; ++e) {
        ASSERT_NE(fluid.emitters[e], nullptr);
        EXPECT_EQ(fluid.emitters[e]->getFrameShape(), actors.frames[e]->getShapes()[0]);
    }
    EXPECT_EQ(fluid.fluid->getNbEmitters(), 3u);
    // Three emitters would expect 119970 particles in one fluid of 65000: the threshold
    // stays within what the fluid can hold.
    EXPECT_EQ(physics.warmup_threshold, 650u * 90u);
}

TEST_F(FluidSetup, RefusedScenesLeaveFewerSimulationsEvenlySpaced) {
    DemoScenePhysics physics(options);
    ScriptedSdk* sdk = nullptr;
    test::useScriptedSdk(physics, &sdk, false, 0);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    sdk->scenes_allowed = 2;
    physics.createFluidSimulations();

    ASSERT_EQ(physics.fluid_count, 2u);
    EXPECT_EQ(sdk->scene_requests.size(), 3u);  // stops at the first refusal
    EXPECT_TRUE(logged("[ERROR] NVIDIA PhysX: could not create PhysX scene!"));
    // Two emitters share the 120000 particles and the circle.
    EXPECT_EQ(physics.fluid_simulations[0]->fluids[0]->emission_rate, 4000u);
    const NxVec3 second = actorsOf(*physics.fluid_simulations[1]->scene).frames[0]->getGlobalPosition();
    EXPECT_NEAR(second.x, 0.0f, 1e-4f);
    EXPECT_NEAR(second.z, 15.0f, 1e-4f);
    EXPECT_EQ(physics.warmup_threshold, 108000u);
}

TEST_F(FluidSetup, RefusedEmittersAreLoggedAndLeftOutOfTheThreshold) {
    options.num_fluid_emitters = 2;
    options.physx_fluid_emitter_size = -1.0f;  // the SDK refuses such an emitter
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();
    ASSERT_EQ(physics.fluid_count, 2u);
    for (const auto& simulation : physics.fluid_simulations) {
        EXPECT_EQ(simulation->fluids[0]->emitters[0], nullptr);
        EXPECT_EQ(simulation->scene->getNbActors(), 7u);  // the frame box is still there
    }
    EXPECT_TRUE(logged("[ERROR] NVIDIA PhysX: fluid emitter creation failed."));
    EXPECT_EQ(physics.warmup_threshold, 0u);
}

TEST_F(FluidSetup, FluidAndEmitterCallsRefuseMissingPartsWithoutLeaking) {
    DemoScenePhysics physics(options);
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    FluidSimulation simulation;
    ParticleFluid fluid;
    EXPECT_FALSE(physics.createParticleFluid(nullptr, &fluid, 1000));
    EXPECT_FALSE(physics.createParticleFluid(&simulation, &fluid, 1000));  // no scene
    simulation.scene = physics.createFluidScene();
    ASSERT_NE(simulation.scene, nullptr);
    EXPECT_FALSE(physics.createParticleFluid(&simulation, nullptr, 1000));

    // Beyond what a fluid may hold: the SDK refuses, the buffers go again.
    EXPECT_FALSE(physics.createParticleFluid(&simulation, &fluid, 70000));
    EXPECT_TRUE(logged("[ERROR] NVIDIA PhysX: fluid creation failed."));
    EXPECT_TRUE(fluid.positions.empty());
    EXPECT_EQ(fluid.max_particles, 0u);

    ASSERT_TRUE(physics.createParticleFluid(&simulation, &fluid, 500));
    EXPECT_EQ(fluid.max_particles, 500u);
    fluid.emitter_count = 1;
    fluid.emitters = std::make_unique<NxFluidEmitter*[]>(1);
    fluid.emission_rate = 100;
    NxActor* frame = createBoxActor(simulation.scene, {0, 0.5f, 0}, {0.5f, 1, 0.5f}, 2.0f, true);
    ASSERT_NE(frame, nullptr);
    EXPECT_FALSE(physics.createFluidEmitter(nullptr, 0, 1.0f, frame, -1, 0));
    EXPECT_FALSE(physics.createFluidEmitter(&fluid, 0, 1.0f, nullptr, -1, 0));
    EXPECT_FALSE(physics.createFluidEmitter(&fluid, 1, 1.0f, frame, -1, 0));  // no such slot
    ASSERT_TRUE(physics.createFluidEmitter(&fluid, 0, 1.0f, frame, -1, 0));
    EXPECT_EQ(fluid.fluid->getNbEmitters(), 1u);

    EXPECT_FALSE(physics.releaseFluidEmitters(nullptr));
    EXPECT_FALSE(physics.releaseParticleFluid(nullptr, &fluid));
    EXPECT_TRUE(physics.releaseParticleFluid(simulation.scene, &fluid));
    EXPECT_EQ(simulation.scene->getNbFluids(), 0u);
    EXPECT_EQ(fluid.fluid, nullptr);
    EXPECT_TRUE(fluid.positions.empty());
    EXPECT_TRUE(physics.releaseFluidScene(simulation.scene));
}

TEST_F(FluidSetup, VisibleBoxesDecideWhereTheFrameBoxesStand) {
    options.num_fluid_emitters = 1;
    DemoScenePhysics physics(options);
    std::vector<NxVec3> asked;
    physics.make_emitter_box = [&](const NxVec3& position, const NxVec3& size) {
        asked.push_back(position);
        // A mesh that came out slightly larger and higher than asked for.
        return EmitterBoxPlacement{position + NxVec3(0, 0.1f, 0), size * 2.0f};
    };
    ASSERT_TRUE(physics.startPhysics(-1, -1, -1));
    physics.createFluidSimulations();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NEAR(asked[0].z, -15.0f, 1e-5f);
    const SceneActors actors = actorsOf(*physics.fluid_simulations[0]->scene);
    ASSERT_EQ(actors.frames.size(), 1u);
    EXPECT_NEAR(actors.frames[0]->getGlobalPosition().y, 0.6f, 1e-6f);
    EXPECT_EQ(actors.frames[0]->getShapes()[0]->isBox()->getDimensions(), NxVec3(0.5f, 1, 0.5f));
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

    for (int step = 0; step < 25; ++step) {
        for (auto& simulation : physics.fluid_simulations) simulation->startStep();
        for (auto& simulation : physics.fluid_simulations) EXPECT_EQ(simulation->completeStep(), 0u);
    }
    for (auto& simulation : physics.fluid_simulations) {
        ParticleFluid& fluid = *simulation->fluids[0];
        // Half a second at 200 per second, none expired yet.
        EXPECT_GT(fluid.particle_count, 50u);
        EXPECT_LE(fluid.particle_count, 110u);
        for (uint32_t i = 0; i < fluid.particle_count * 3; ++i)
            ASSERT_TRUE(std::isfinite(fluid.positions[i]));
        fluid.copyForRender();
        EXPECT_EQ(fluid.render_count, fluid.particle_count);
        EXPECT_TRUE(fluid.render_dirty);
        EXPECT_EQ(0, std::memcmp(fluid.render_positions.data(), fluid.positions.data(),
                                 fluid.particle_count * 12));
        EXPECT_GT(fluid.render_life[0], 0.0f);
        EXPECT_LE(fluid.render_life[0], 1.0f);
    }
    EXPECT_EQ(physics.particleTotal(), physics.fluid_simulations[0]->particleTotal() +
                                           physics.fluid_simulations[1]->particleTotal());
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
    std::vector<std::string> dump(lines.begin() + before, lines.end());

    const std::string stars = "[INFO] " + std::string(70, '*');
    size_t at = 0;
    for (int scene = 0; scene < 2; ++scene) {
        ASSERT_LT(at + 2, dump.size());
        EXPECT_EQ(dump[at], stars);
        EXPECT_EQ(dump[at + 1], "[INFO] ***************************************[ Stats of PhysX scene " +
                                    std::to_string(scene) + ": ]***");
        EXPECT_EQ(dump[at + 2], stars);
        at += 3;
        const NxSceneStats2* stats = physics.fluid_simulations[scene]->scene->getStats2();
        if (!stats) {
            EXPECT_EQ(dump[at++], "[INFO] - no stats available!");
            continue;
        }
        for (NxU32 s = 0; s < stats->numStats; ++s, ++at) {
            ASSERT_LT(at, dump.size());
            EXPECT_EQ(dump[at], "[INFO] - " + std::string(stats->stats[s].name) + ":  " +
                                    std::to_string(stats->stats[s].curValue));
        }
    }
    EXPECT_EQ(at, dump.size());
}

TEST_F(FluidSetup, ReleaseTakesEverythingDownAndShutsTheSdk) {
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
    EXPECT_EQ(journal, (std::vector<std::string>{"releaseScene with 0 fluids",
                                                 "releaseScene with 0 fluids",
                                                 "releaseScene with 0 fluids", "release"}));
    EXPECT_EQ(physics.fluid_count, 0u);
    EXPECT_TRUE(physics.fluid_simulations.empty());
    EXPECT_EQ(physics.physics_sdk, nullptr);
    EXPECT_EQ(logLines().back(), "[INFO] NVIDIA PhysX shutdown ok.");
    EXPECT_FALSE(physics.dumpSceneStats());
    // Released twice (as the destructor does after an explicit release): nothing more.
    const size_t lines = logLines().size();
    physics.releaseFluidSimulations();
    EXPECT_EQ(logLines().size(), lines);
}

}  // namespace
}  // namespace plashwerk
