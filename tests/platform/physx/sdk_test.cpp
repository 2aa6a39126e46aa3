// The SDK layer: creation and its version words, descriptor checks, hardware refusals,
// scene timing and step scheduling, statistics, actors and bodies.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "tests/platform/physx/physx_test_util.h"

using namespace physx_test;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(PhysicsSdk, AcceptsVersions281To284AndRefusesOthers) {
    NxPhysicsSDKDesc desc;
    for (int bugfix = 1; bugfix <= 4; ++bugfix) {
        NxSDKCreateError error = NXCE_PHYSX_NOT_FOUND;
        SdkPtr sdk(NxCreatePhysicsSDK(NxSdkVersionWord(2, 8, bugfix), nullptr, nullptr, desc,
                                      &error, "3C7A21D4-5E8F-4b60-9A12-7D04E6B3C58F"));
        ASSERT_NE(sdk, nullptr) << "2.8." << bugfix;
        EXPECT_EQ(error, NXCE_NO_ERROR);
        EXPECT_EQ(sdk->getHWVersion(), NX_HW_VERSION_NONE);
        EXPECT_EQ(sdk->getNbPPUs(), 0u);
    }
    for (NxU32 word : {NxSdkVersionWord(2, 8, 5), NxSdkVersionWord(2, 9, 0),
                       NxSdkVersionWord(3, 0, 0), NxSdkVersionWord(2, 8, 0), 0u}) {
        NxSDKCreateError error = NXCE_NO_ERROR;
        EXPECT_EQ(NxCreatePhysicsSDK(word, nullptr, nullptr, desc, &error, nullptr), nullptr);
        EXPECT_EQ(error, NXCE_WRONG_VERSION);
    }
    EXPECT_EQ(NxSdkVersionWord(2, 8, 4), 0x02080400u);
}

TEST(PhysicsSdk, ParametersTakeFiniteValuesOnly) {
    SdkPtr sdk = createSdk();
    EXPECT_TRUE(sdk->setParameter(NX_SKIN_WIDTH, 0.01f));
    EXPECT_FLOAT_EQ(sdk->getParameter(NX_SKIN_WIDTH), 0.01f);
    EXPECT_TRUE(sdk->setParameter(NX_CCD_EPSILON, 0.01f));
    EXPECT_FALSE(sdk->setParameter(NX_CONTINUOUS_CD, kNaN));
    EXPECT_FALSE(sdk->setParameter(NxParameter(-1), 1.0f));
    EXPECT_FALSE(sdk->setParameter(NX_PARAMS_NUM_VALUES, 1.0f));
}

TEST(PhysicsSdk, HardwareScenesAreRefusedSoftwareScenesMade) {
    SdkPtr sdk = createSdk();
    NxSceneDesc desc;
    desc.simType = NX_SIMULATION_HW;
    EXPECT_EQ(sdk->createScene(desc), nullptr);
    desc.simType = NX_SIMULATION_SW;
    desc.flags = 0x4C;
    NxScene* scene = sdk->createScene(desc);
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(sdk->getNbScenes(), 1u);
    EXPECT_EQ(sdk->getScene(0), scene);
    EXPECT_EQ(sdk->getScene(1), nullptr);
    EXPECT_EQ(scene->getFlags(), 0x4Cu);
    sdk->releaseScene(*scene);
    EXPECT_EQ(sdk->getNbScenes(), 0u);
}

TEST(PhysicsSdk, InvalidDescriptorsCreateNothing) {
    SdkPtr sdk = createSdk();
    NxSceneDesc sceneDesc;
    sceneDesc.maxTimestep = -1.0f;
    EXPECT_EQ(sdk->createScene(sceneDesc), nullptr);
    sceneDesc = NxSceneDesc();
    sceneDesc.gravity.y = kNaN;
    EXPECT_EQ(sdk->createScene(sceneDesc), nullptr);
    sceneDesc = NxSceneDesc();
    sceneDesc.maxIter = 0;
    EXPECT_EQ(sdk->createScene(sceneDesc), nullptr);

    NxScene* scene = createScene(*sdk);
    ASSERT_NE(scene, nullptr);
    FluidOut out(100);

    struct Case {
        const char* what;
        void (*spoil)(NxFluidDesc&);
    };
    const Case cases[] = {
        {"zero capacity", [](NxFluidDesc& d) { d.maxParticles = 0; }},
        {"capacity past the limit", [](NxFluidDesc& d) { d.maxParticles = 70000; }},
        {"reserve not below capacity",
         [](NxFluidDesc& d) { d.numReserveParticles = d.maxParticles; }},
        {"negative spacing", [](NxFluidDesc& d) { d.restParticlesPerMeter = -7.0f; }},
        {"NaN density", [](NxFluidDesc& d) { d.restDensity = kNaN; }},
        {"kernel below one spacing", [](NxFluidDesc& d) { d.kernelRadiusMultiplier = 0.5f; }},
        {"zero stiffness", [](NxFluidDesc& d) { d.stiffness = 0.0f; }},
        {"infinite viscosity",
         [](NxFluidDesc& d) { d.viscosity = std::numeric_limits<float>::infinity(); }},
        {"negative damping", [](NxFluidDesc& d) { d.damping = -1.0f; }},
        {"restitution above one", [](NxFluidDesc& d) { d.restitutionForStaticShapes = 1.5f; }},
        {"unknown method", [](NxFluidDesc& d) { d.simulationMethod = 3; }},
        {"short stride", [](NxFluidDesc& d) { d.particlesWriteData.bufferPosByteStride = 8; }},
        {"packet size not a power of two", [](NxFluidDesc& d) { d.packetSizeMultiplier = 12; }},
        {"hardware fluid", [](NxFluidDesc& d) { d.flags |= NX_FF_HARDWARE; }},
    };
    for (const Case& c : cases) {
        NxFluidDesc d = runFluidDesc(100);
        out.attach(d.particlesWriteData);
        c.spoil(d);
        EXPECT_EQ(scene->createFluid(d), nullptr) << c.what;
    }
    NxFluidDesc good = runFluidDesc(100);
    out.attach(good.particlesWriteData);
    NxFluid* fluid = scene->createFluid(good);
    ASSERT_NE(fluid, nullptr);

    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 10.0f, 1.0f);
    e.rate = -1.0f;
    EXPECT_EQ(fluid->createEmitter(e), nullptr);
    e = runEmitterDesc(nullptr, 10.0f, 1.0f);
    e.dimensionX = kNaN;
    EXPECT_EQ(fluid->createEmitter(e), nullptr);
    e = runEmitterDesc(nullptr, 10.0f, 1.0f);
    e.relPose.M.m[0][0] = 2.0f;  // not a rotation
    EXPECT_EQ(fluid->createEmitter(e), nullptr);
    e = runEmitterDesc(nullptr, 10.0f, 1.0f);
    e.type = 3;
    EXPECT_EQ(fluid->createEmitter(e), nullptr);

    NxSphereShapeDesc sphere;
    sphere.radius = -1.0f;
    NxActorDesc actor;
    actor.shapes.pushBack(&sphere);
    EXPECT_EQ(scene->createActor(actor), nullptr);
    actor = NxActorDesc();
    EXPECT_EQ(scene->createActor(actor), nullptr) << "no shapes";
    NxPlaneShapeDesc plane;
    NxBodyDesc body;
    actor.shapes.pushBack(&plane);
    actor.body = &body;
    actor.density = 1.0f;
    EXPECT_EQ(scene->createActor(actor), nullptr) << "a dynamic plane";
    NxBoxShapeDesc box;
    actor = NxActorDesc();
    actor.shapes.pushBack(&box);
    actor.body = &body;
    EXPECT_EQ(scene->createActor(actor), nullptr) << "a body without mass or density";

    NxMaterialDesc material;
    material.restitution = 2.0f;
    EXPECT_EQ(scene->createMaterial(material), nullptr);
}

TEST(PhysicsSdk, CompartmentsOnlyForFluidsOnTheProcessor) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    NxCompartmentDesc c;
    c.type = NX_SCT_FLUID;
    c.deviceCode = NX_DC_CPU;
    c.gridHashCellSize = 100.0f;
    c.gridHashTablePower = 8;
    c.flags = NX_CF_INHERIT_SETTINGS;
    NxCompartment* compartment = scene->createCompartment(c);
    ASSERT_NE(compartment, nullptr);
    EXPECT_EQ(compartment->getType(), NX_SCT_FLUID);
    c.deviceCode = NX_DC_PPU_AUTO_ASSIGN;
    EXPECT_EQ(scene->createCompartment(c), nullptr);
    c.deviceCode = NX_DC_CPU;
    c.type = NX_SCT_RIGIDBODY;
    EXPECT_EQ(scene->createCompartment(c), nullptr);

    // A fluid may not live in another scene's compartment.
    NxScene* other = createScene(*sdk);
    NxFluidDesc d = runFluidDesc(10);
    d.compartment = compartment;
    EXPECT_EQ(other->createFluid(d), nullptr);
    EXPECT_NE(scene->createFluid(d), nullptr);
}

TEST(PhysicsSdk, MaterialZeroExistsAndLoadsValues) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    NxMaterial* m = scene->getMaterialFromIndex(0);
    ASSERT_NE(m, nullptr);
    NxMaterialDesc d;
    d.dynamicFriction = 0.2f;
    d.staticFriction = 0.2f;
    d.restitution = 0.5f;
    m->loadFromDesc(d);
    EXPECT_FLOAT_EQ(m->getRestitution(), 0.5f);
    EXPECT_FLOAT_EQ(m->getDynamicFriction(), 0.2f);
    EXPECT_EQ(scene->getMaterialFromIndex(1), nullptr);
    d.restitution = kNaN;
    m->loadFromDesc(d);  // refused: the old values stay
    EXPECT_FLOAT_EQ(m->getRestitution(), 0.5f);
}

TEST(SceneTiming, FixedStepsCountWholeSubStepsUpToTheLimit) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    NxU32 subSteps = 0;
    NxReal dt;
    NxU32 iter;
    NxTimeStepMethod method;

    scene->setTiming(0.02f, 1, NX_TIMESTEP_FIXED);
    scene->simulate(0.02f);
    scene->fetchResults(NX_RIGID_BODY_FINISHED, true);
    scene->getTiming(dt, iter, method, &subSteps);
    EXPECT_EQ(subSteps, 1u);

    scene->setTiming(0.004f, 4, NX_TIMESTEP_FIXED);
    scene->simulate(0.02f);  // five sub-steps' worth, cut to four
    scene->fetchResults(NX_RIGID_BODY_FINISHED, true);
    scene->getTiming(dt, iter, method, &subSteps);
    EXPECT_EQ(subSteps, 4u);
    EXPECT_EQ(stat(*scene, "SubSteps"), 4);

    scene->setTiming(1.0f / 60.0f, 8, NX_TIMESTEP_FIXED);
    scene->simulate(0.01f);  // not yet a whole sub-step
    scene->fetchResults(NX_RIGID_BODY_FINISHED, true);
    scene->getTiming(dt, iter, method, &subSteps);
    EXPECT_EQ(subSteps, 0u);
    scene->simulate(0.01f);  // now it is
    scene->fetchResults(NX_RIGID_BODY_FINISHED, true);
    scene->getTiming(dt, iter, method, &subSteps);
    EXPECT_EQ(subSteps, 1u);

    scene->setTiming(-1.0f, 0, NX_TIMESTEP_FIXED);  // ignored
    scene->getTiming(dt, iter, method);
    EXPECT_FLOAT_EQ(dt, 1.0f / 60.0f);
    EXPECT_EQ(iter, 8u);
}

// A scene on its own thread: simulate returns at once, the particles reach the caller's
// buffers only in fetchResults, and an unfetched step is neither lost nor run twice.
TEST(SceneStep, SeparateThreadHandsResultsOverInFetch) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk, NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD |
                                           NX_SF_DISABLE_SCENE_MUTEX);
    FluidOut out(1000);
    NxFluidDesc d = runFluidDesc(1000);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 500.0f, 0.0f);
    e.relPose.t = NxVec3(0, 5, 0);
    ASSERT_NE(fluid->createEmitter(e), nullptr);

    EXPECT_FALSE(scene->fetchResults(NX_RIGID_BODY_FINISHED, true)) << "nothing started";
    EXPECT_TRUE(scene->checkResults(NX_RIGID_BODY_FINISHED, false));
    scene->setTiming(kStep, 1, NX_TIMESTEP_FIXED);
    scene->simulate(kStep);
    scene->simulate(kStep);  // ignored: a step is running
    EXPECT_EQ(out.count, 0u);
    EXPECT_TRUE(scene->checkResults(NX_RIGID_BODY_FINISHED, true));
    EXPECT_EQ(out.count, 0u) << "buffers are written by fetchResults only";
    NxU32 error = 99;
    EXPECT_TRUE(scene->fetchResults(NX_RIGID_BODY_FINISHED, true, &error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(out.count, 10u);  // 500 per second for 0.02 s
    EXPECT_EQ(fluid->getNbParticles(), 10u);
    EXPECT_EQ(stat(*scene, "FluidParticles"), 10);
    EXPECT_EQ(stat(*scene, "FluidParticlesEmitted"), 10);
}

TEST(SceneTiming, VariableStepsTakeTheElapsedTimeUpToTheLimit) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    FluidOut out(100);
    NxFluidDesc d = runFluidDesc(100);
    d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 1000.0f, 0.0f);
    e.relPose.t = NxVec3(0, 50, 0);
    NxFluidEmitter* emitter = fluid->createEmitter(e);
    scene->setTiming(0.01f, 2, NX_TIMESTEP_VARIABLE);
    scene->simulate(0.015f);  // one step of 0.015 s
    scene->fetchResults(NX_RIGID_BODY_FINISHED, true);
    EXPECT_EQ(emitter->getNbParticlesEmitted(), 15u);
    scene->simulate(1.0f);  // cut to 2 x 0.01 s
    scene->fetchResults(NX_RIGID_BODY_FINISHED, true);
    EXPECT_EQ(emitter->getNbParticlesEmitted(), 35u);
}

// Fluids in compartments step on the compartments' threads, concurrently with a scene
// on its own thread; both fluids get their particles.
TEST(SceneStep, CompartmentFluidsStepBesideTheScene) {
    SdkPtr sdk = createSdk();
    NxScene* scene =
        createScene(*sdk, NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD, 2);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    NxCompartmentDesc c;
    c.type = NX_SCT_FLUID;
    NxCompartment* compartment = scene->createCompartment(c);
    FluidOut a(500), b(500);
    NxFluidDesc da = runFluidDesc(500), db = runFluidDesc(500);
    a.attach(da.particlesWriteData);
    b.attach(db.particlesWriteData);
    db.compartment = compartment;
    NxFluid* fa = scene->createFluid(da);
    NxFluid* fb = scene->createFluid(db);
    ASSERT_TRUE(fa && fb);
    EXPECT_EQ(fb->getCompartment(), compartment);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 500.0f, 0.0f);
    e.relPose.t = NxVec3(0, 1, 0);
    fa->createEmitter(e);
    e.relPose.t = NxVec3(5, 1, 0);
    fb->createEmitter(e);
    for (int s = 0; s < 40; ++s) ASSERT_EQ(step(*scene), 0u);
    EXPECT_EQ(a.count, 400u);
    EXPECT_EQ(b.count, 400u);
    scene->releaseFluid(*fb);
    EXPECT_EQ(scene->getNbFluids(), 1u);
    step(*scene);
    EXPECT_EQ(a.count, 410u);
}

// With no fluid of its own, the scene's thread steps the last compartment itself: every
// compartment's fluid still steps exactly once per step.
TEST(SceneStep, EveryCompartmentStepsOnceWhenTheSceneHasNoFluidOfItsOwn) {
    SdkPtr sdk = createSdk();
    NxScene* scene =
        createScene(*sdk, NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD, 2);
    NxCompartmentDesc c;
    c.type = NX_SCT_FLUID;
    std::vector<FluidOut> outs(3, FluidOut(500));
    for (int k = 0; k < 3; ++k) {
        NxFluidDesc d = runFluidDesc(500);
        outs[size_t(k)].attach(d.particlesWriteData);
        d.compartment = scene->createCompartment(c);
        NxFluid* f = scene->createFluid(d);
        ASSERT_NE(f, nullptr);
        NxFluidEmitterDesc e = runEmitterDesc(nullptr, 500.0f, 0.0f);
        e.relPose.t = NxVec3(5.0f * float(k), 1, 0);
        f->createEmitter(e);
    }
    for (int s = 0; s < 40; ++s) ASSERT_EQ(step(*scene), 0u);
    for (const FluidOut& out : outs) EXPECT_EQ(out.count, 400u);
}

TEST(SceneStep, BoundsRemoveParticlesAndDrainsSwallowThem) {
    SdkPtr sdk = createSdk();
    NxBounds3 bounds;
    bounds.set(NxVec3(-5, -1, -5), NxVec3(5, 10, 5));
    NxSceneDesc desc;
    desc.gravity = NxVec3(0, -14.8f, 0);
    desc.flags = 0;
    desc.maxBounds = &bounds;
    NxScene* scene = sdk->createScene(desc);
    ASSERT_NE(scene, nullptr);
    // A drain box on the ground at x in [1, 3]; the rest of the ground is open.
    NxBoxShapeDesc drain;
    drain.dimensions = NxVec3(1, 0.5f, 5);
    drain.shapeFlags |= NX_SF_FLUID_DRAIN;
    NxActorDesc actor;
    actor.shapes.pushBack(&drain);
    actor.globalPose.t = NxVec3(2, 0.5f, 0);
    ASSERT_NE(scene->createActor(actor), nullptr);
    FluidOut out(2000);
    NxFluidDesc d = runFluidDesc(2000);
    d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 1000.0f, 0.0f);
    e.relPose.t = NxVec3(0, 3, 0);
    e.relPose.M.rotY(NxPi / 2);  // along +x, over the drain and out of the bounds
    e.fluidVelocityMagnitude = 4.0f;
    e.randomAngle = 0.3f;
    fluid->createEmitter(e);
    for (int s = 0; s < 150; ++s) step(*scene);
    ASSERT_GT(out.count, 0u);
    EXPECT_LT(out.count, 1000u) << "most were drained or fell out of the world";
    for (NxU32 i = 0; i < out.count; ++i) {
        const NxVec3 p = out.position(i);
        EXPECT_TRUE(bounds.contain(p));
        EXPECT_FALSE(p.x > 1.0f && p.x < 3.0f && p.y < 1.0f) << "inside the drain";
    }
}

TEST(SceneStep, StatisticsNameEveryCounter) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    addBox(*scene, NxVec3(0, 4, -4), NxVec3(2, 8, 2), 2.0f);
    step(*scene);
    const NxSceneStats2* stats = scene->getStats2();
    ASSERT_NE(stats, nullptr);
    ASSERT_GT(stats->numStats, 0u);
    for (NxU32 k = 0; k < stats->numStats; ++k) {
        ASSERT_NE(stats->stats[k].name, nullptr);
        EXPECT_GT(std::strlen(stats->stats[k].name), 0u);
        EXPECT_GE(stats->stats[k].maxValue, stats->stats[k].curValue);
        EXPECT_TRUE(stats->stats[k].parent == 0xFFFFFFFFu ||
                    stats->stats[k].parent < stats->numStats);
    }
    EXPECT_EQ(stat(*scene, "Actors"), 2);
    EXPECT_EQ(stat(*scene, "DynamicActors"), 1);
}

TEST(RigidBodies, PillarStandsOnTheGroundAndKinematicBoxesStayPut) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    NxMaterialDesc m;
    m.dynamicFriction = m.staticFriction = 0.2f;
    m.restitution = 0.5f;
    scene->getMaterialFromIndex(0)->loadFromDesc(m);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    NxActor* pillar = addBox(*scene, NxVec3(0, 4, -4), NxVec3(2, 8, 2), 2.0f);
    NxActor* frame = addBox(*scene, NxVec3(15, 0.5f, 0), NxVec3(0.5f, 1, 0.5f), 2.0f, true);
    NxActor* falling = addBox(*scene, NxVec3(5, 3, 5), NxVec3(1, 1, 1), 2.0f);
    ASSERT_TRUE(pillar && frame && falling);
    EXPECT_TRUE(pillar->isDynamic());
    EXPECT_FALSE(pillar->readBodyFlag(NX_BF_KINEMATIC));
    EXPECT_TRUE(frame->readBodyFlag(NX_BF_KINEMATIC));
    EXPECT_FLOAT_EQ(pillar->getMass(), 2.0f * 2 * 8 * 2);
    ASSERT_EQ(frame->getNbShapes(), 1u);
    ASSERT_NE(frame->getShapes()[0]->isBox(), nullptr);
    EXPECT_EQ(frame->getShapes()[0]->isBox()->getDimensions(), NxVec3(0.25f, 0.5f, 0.25f));

    for (int s = 0; s < 150; ++s) step(*scene);
    EXPECT_NEAR(pillar->getGlobalPosition().y, 4.0f, 0.03f);
    EXPECT_NEAR(pillar->getGlobalPosition().x, 0.0f, 0.01f);
    EXPECT_NEAR(pillar->getGlobalOrientation().getColumn(1).y, 1.0f, 1e-3f) << "still upright";
    EXPECT_NEAR(falling->getGlobalPosition().y, 0.5f, 0.03f) << "fell and came to rest";
    EXPECT_EQ(frame->getGlobalPosition(), NxVec3(15, 0.5f, 0));
}

TEST(RigidBodies, ReleasingAFrameActorLeavesTheEmitterWhereItWas) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    NxActor* frame = addBox(*scene, NxVec3(3, 0.5f, 0), NxVec3(0.5f, 1, 0.5f), 2.0f, true);
    FluidOut out(100);
    NxFluidDesc d = runFluidDesc(100);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitter* e = fluid->createEmitter(runEmitterDesc(frame->getShapes()[0], 50.0f, 1.0f));
    ASSERT_NE(e, nullptr);
    const NxVec3 before = e->getGlobalPose().t;
    scene->releaseActor(*frame);
    EXPECT_TRUE(e->getFlag(NX_FEF_BROKEN_ACTOR_REF));
    EXPECT_EQ(e->getFrameShape(), nullptr);
    EXPECT_EQ(e->getGlobalPose().t, before);
    for (int s = 0; s < 10; ++s) step(*scene);
    EXPECT_GT(out.count, 0u);
}

TEST(RigidBodies, EmitterOnAShapeOfAnotherSceneIsRefused) {
    SdkPtr sdk = createSdk();
    NxScene* a = createScene(*sdk);
    NxScene* b = createScene(*sdk);
    NxActor* frame = addBox(*a, NxVec3(0, 0.5f, 0), NxVec3(0.5f, 1, 0.5f), 2.0f, true);
    NxFluid* fluid = b->createFluid(runFluidDesc(10));
    ASSERT_NE(fluid, nullptr);
    EXPECT_EQ(fluid->createEmitter(runEmitterDesc(frame->getShapes()[0], 10.0f, 1.0f)), nullptr);
}

}  // namespace
