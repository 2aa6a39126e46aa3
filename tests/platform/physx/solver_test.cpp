// The particle solver through the SDK: emission, lifetimes, capacity, ids, conservation,
// rest density, collisions, robustness, the no-interaction method, threading and the
// hand-over into the caller's buffers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "tests/platform/physx/physx_test_util.h"

using namespace physx_test;

namespace {

constexpr float kSpacing = 1.0f / 7.0f;
constexpr float kContact = 0.12f * kSpacing;  // collision distance of the run's fluids

bool allFinite(const FluidOut& out) {
    for (NxU32 i = 0; i < out.count; ++i)
        if (!out.position(i).isFinite() || !out.velocity(i).isFinite() ||
            !std::isfinite(out.density[i]) || !std::isfinite(out.life[3 * i]))
            return false;
    return true;
}

// Six planes around [-half, half] x [0, height] x [-half, half].
void addClosedBox(NxScene& scene, float half, float height) {
    addPlane(scene, NxVec3(0, 1, 0), 0.0f);
    addPlane(scene, NxVec3(0, -1, 0), -height);
    addPlane(scene, NxVec3(1, 0, 0), -half);
    addPlane(scene, NxVec3(-1, 0, 0), -half);
    addPlane(scene, NxVec3(0, 0, 1), -half);
    addPlane(scene, NxVec3(0, 0, -1), -half);
}

TEST(Emission, ConstantFlowRateEmitsItsRateEverySecond) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    FluidOut out(5000);
    NxFluidDesc d = runFluidDesc(5000);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 333.0f, 0.0f);
    e.relPose.t = NxVec3(0, 20, 0);
    NxFluidEmitter* emitter = fluid->createEmitter(e);
    ASSERT_NE(emitter, nullptr);
    for (int s = 0; s < 50; ++s) step(*scene);
    EXPECT_EQ(emitter->getNbParticlesEmitted(), 333u);
    for (int s = 0; s < 100; ++s) step(*scene);
    EXPECT_EQ(emitter->getNbParticlesEmitted(), 999u);
    EXPECT_EQ(out.count, 999u);

    emitter->setFlag(NX_FEF_ENABLED, false);
    step(*scene);
    EXPECT_EQ(emitter->getNbParticlesEmitted(), 999u);
}

TEST(Emission, EmitterLimitAndMovingFrameVelocity) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    scene->setGravity(NxVec3(0, 0, 0));
    NxActor* frame = addBox(*scene, NxVec3(0, 10, 0), NxVec3(0.5f, 1, 0.5f), 2.0f, true);
    FluidOut out(1000);
    NxFluidDesc d = runFluidDesc(1000);
    d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
    d.damping = 0.0f;
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(frame->getShapes()[0], 1000.0f, 0.0f);
    e.maxParticles = 30;
    e.fluidVelocityMagnitude = 1.0f;
    e.randomAngle = 0.0f;
    e.relPose.M.id();  // straight along +z
    NxFluidEmitter* emitter = fluid->createEmitter(e);
    frame->moveGlobalPosition(NxVec3(0.1f, 10, 0));  // 5 m/s along x during the next step
    step(*scene);
    ASSERT_EQ(out.count, 20u);
    for (NxU32 i = 0; i < out.count; ++i) {
        EXPECT_NEAR(out.velocity(i).x, 5.0f, 1e-3f) << "the frame's velocity is added";
        EXPECT_NEAR(out.velocity(i).z, 1.0f, 1e-3f);
    }
    for (int s = 0; s < 5; ++s) step(*scene);
    EXPECT_EQ(emitter->getNbParticlesEmitted(), 30u);
    EXPECT_EQ(out.count, 30u);
    emitter->resetEmission(0);
    step(*scene);
    EXPECT_EQ(out.count, 50u);
}

TEST(Lifetime, ParticlesDieWhenTheirLifeRunsOutAndSlotsAreReused) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    FluidOut out(1000);
    NxFluidDesc d = runFluidDesc(1000);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 100.0f, 0.5f);
    e.relPose.t = NxVec3(0, 2, 0);
    fluid->createEmitter(e);
    for (int s = 0; s < 25; ++s) step(*scene);
    EXPECT_EQ(out.count, 50u);  // 0.5 s of emission, none dead yet
    for (int s = 0; s < 100; ++s) {
        step(*scene);
        EXPECT_EQ(out.count, 50u) << "emission and expiry balance";
        for (NxU32 i = 0; i < out.count; ++i) {
            EXPECT_GT(out.life[3 * i], 0.0f);
            EXPECT_LE(out.life[3 * i], 0.5f);
        }
    }
    EXPECT_EQ(stat(*scene, "FluidParticlesExpired"), 2);
    // Ids come from a pool of the capacity: slots of the dead are reused.
    for (NxU32 i = 0; i < out.count; ++i) EXPECT_LT(out.ids[i], 1000u);
}

// Life is counted down at the start of each step, before emission; a particle goes on the
// step whose count-down leaves it ten microseconds or less (float steps add up a hair
// short), so one of lifetime L = n steps is seen after exactly n steps of its own.
TEST(Lifetime, ParticleGoesOnTheStepItsAgeReachesItsLifetime) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    scene->setGravity(NxVec3(0, 0, 0));
    FluidOut out(16);
    NxFluidDesc d = runFluidDesc(16);
    d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);

    // Added particles age from the first step: five steps of life, five steps and 5 us
    // (within the ten microseconds), five steps and 30 us (one step more).
    float pos[9] = {0, 1, 0, 1, 1, 0, 2, 1, 0};
    float life[3] = {5 * kStep, 5 * kStep + 5e-6f, 5 * kStep + 3e-5f};
    NxU32 count = 3;
    NxParticleData added;
    added.numParticlesPtr = &count;
    added.bufferPos = pos;
    added.bufferPosByteStride = 12;
    added.bufferLife = life;
    added.bufferLifeByteStride = 4;
    ASSERT_EQ(fluid->addParticles(added), 3u);
    for (int s = 1; s <= 4; ++s) {
        step(*scene);
        ASSERT_EQ(out.count, 3u) << "step " << s;
    }
    EXPECT_NEAR(out.life[0], kStep, 1e-6f);
    step(*scene);
    ASSERT_EQ(out.count, 1u);
    EXPECT_EQ(out.ids[0], 2u);
    EXPECT_EQ(stat(*scene, "FluidParticlesExpired"), 2);
    step(*scene);
    EXPECT_EQ(out.count, 0u);
    EXPECT_EQ(stat(*scene, "FluidParticlesExpired"), 1);

    // An emitted particle is born inside its step with its whole life and ages from the next.
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 1.0f / kStep, 3 * kStep);  // one per step
    NxFluidEmitter* emitter = fluid->createEmitter(e);
    ASSERT_NE(emitter, nullptr);
    step(*scene);
    emitter->setFlag(NX_FEF_ENABLED, false);
    ASSERT_EQ(out.count, 1u);
    EXPECT_EQ(out.life[0], 3 * kStep);
    for (int s = 2; s <= 3; ++s) {
        step(*scene);
        ASSERT_EQ(out.count, 1u) << "step " << s;
    }
    step(*scene);
    EXPECT_EQ(out.count, 0u);
    EXPECT_EQ(stat(*scene, "FluidParticlesExpired"), 1);
}

// In one step particles expire and others leave through the scene's bounds: only those go.
// The dead are sorted out before the step moves the rest into their slots, so the slots
// keep no mark of them that could take a living particle along with the leaving ones.
TEST(Lifetime, ExpiriesAndLeavingParticlesInOneStepTakeNoOthers) {
    SdkPtr sdk = createSdk();
    NxSceneDesc sceneDesc;
    sceneDesc.gravity = NxVec3(0, 0, 0);
    NxBounds3 bounds;
    bounds.min = NxVec3(-5, -5, -5);
    bounds.max = NxVec3(5, 5, 5);
    sceneDesc.maxBounds = &bounds;
    NxScene* scene = sdk->createScene(sceneDesc);
    ASSERT_NE(scene, nullptr);
    FluidOut out(16);
    NxFluidDesc d = runFluidDesc(16);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    // Along x, a metre apart (no two interact): four that expire in the first step, two
    // that stay, and two beyond the bounds, which leave in it.
    float pos[24], life[8];
    for (int k = 0; k < 8; ++k) {
        const float x = k < 6 ? -4.0f + float(k) : 6.0f + float(k);
        pos[3 * k] = x;
        pos[3 * k + 1] = 1.0f;
        pos[3 * k + 2] = 0.0f;
        life[k] = k < 4 ? 0.5f * kStep : 0.0f;  // 0: immortal
    }
    NxU32 count = 8;
    NxParticleData added;
    added.numParticlesPtr = &count;
    added.bufferPos = pos;
    added.bufferPosByteStride = 12;
    added.bufferLife = life;
    added.bufferLifeByteStride = 4;
    ASSERT_EQ(fluid->addParticles(added), 8u);
    step(*scene);
    ASSERT_EQ(out.count, 2u);
    std::set<NxU32> ids(out.ids.begin(), out.ids.begin() + out.count);
    EXPECT_EQ(ids, (std::set<NxU32>{4, 5}));
    EXPECT_EQ(stat(*scene, "FluidParticlesExpired"), 4);
}

TEST(Capacity, EmissionStopsAtCapacityAndResumesAfterExpiry) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    FluidOut out(300);
    NxFluidDesc d = runFluidDesc(200);
    d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 1000.0f, 1.0f);
    e.relPose.t = NxVec3(0, 2, 0);
    NxFluidEmitter* emitter = fluid->createEmitter(e);
    NxU32 most = 0;
    for (int s = 0; s < 45; ++s) {
        step(*scene);
        most = std::max(most, out.count);
        EXPECT_LE(out.count, 200u);
    }
    EXPECT_EQ(most, 200u);
    EXPECT_EQ(emitter->getNbParticlesEmitted(), 200u) << "no backlog while full";
    for (int s = 0; s < 10; ++s) step(*scene);  // the first ones expire at 1 s
    EXPECT_GT(emitter->getNbParticlesEmitted(), 200u);
    EXPECT_LE(out.count, 200u);
}

TEST(Ids, StayWithTheirParticleAndAreUnique) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    FluidOut out(2000);
    NxFluidDesc d = runFluidDesc(2000);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 1000.0f, 1.0f);
    e.relPose.t = NxVec3(0, 1, 0);
    fluid->createEmitter(e);
    std::vector<NxVec3> last(2000);
    std::vector<bool> seen(2000, false);
    const float maxStep = 3.0f * kSpacing + 1e-4f;  // the motion limit
    for (int s = 0; s < 100; ++s) {
        step(*scene);
        std::set<NxU32> ids(out.ids.begin(), out.ids.begin() + out.count);
        ASSERT_EQ(ids.size(), out.count);
        std::vector<bool> now(2000, false);
        for (NxU32 i = 0; i < out.count; ++i) {
            const NxU32 id = out.ids[i];
            const NxVec3 p = out.position(i);
            // A particle seen last step moves by at most the motion limit (plus its share
            // of a collision push).
            if (seen[id]) {
                EXPECT_LT((p - last[id]).magnitude(), maxStep + kContact) << id;
            }
            last[id] = p;
            now[id] = true;
        }
        seen = now;
    }
}

TEST(Conservation, ClosedBoxKeepsEveryParticle) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk, NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD);
    addClosedBox(*scene, 1.0f, 3.0f);
    Lattice start(NxVec3(-1, 1, -1), NxVec3(1, 2, 1), kSpacing);  // a block that falls
    FluidOut out(start.count);
    NxFluidDesc d = runFluidDesc(start.count);
    start.attach(d.initialParticleData);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    ASSERT_NE(fluid, nullptr);
    EXPECT_EQ(fluid->getNbParticles(), start.count);
    std::set<NxU32> before;
    for (int s = 0; s < 300; ++s) {
        step(*scene);
        ASSERT_EQ(out.count, start.count);
        if (s == 0) before.insert(out.ids.begin(), out.ids.begin() + out.count);
    }
    EXPECT_EQ(std::set<NxU32>(out.ids.begin(), out.ids.begin() + out.count), before);
    for (NxU32 i = 0; i < out.count; ++i) {
        const NxVec3 p = out.position(i);
        EXPECT_TRUE(std::fabs(p.x) <= 1.0f && std::fabs(p.z) <= 1.0f && p.y >= 0.0f && p.y <= 3.0f);
        EXPECT_EQ(out.life[3 * i], 0.0f) << "initial particles without life live forever";
    }
}

TEST(RestDensity, LatticeInteriorSitsAtRestDensity) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    scene->setGravity(NxVec3(0, 0, 0));
    Lattice start(NxVec3(-1.2f, 0, -1.2f), NxVec3(1.2f, 2.4f, 1.2f), kSpacing);
    FluidOut out(start.count);
    NxFluidDesc d = runFluidDesc(start.count);
    start.attach(d.initialParticleData);
    out.attach(d.particlesWriteData);
    scene->createFluid(d);
    step(*scene);
    const float h = 3.0f * kSpacing;
    int interior = 0;
    for (NxU32 i = 0; i < out.count; ++i) {
        const NxVec3 p = out.position(i);
        if (std::fabs(p.x) < 1.2f - h - 0.1f && std::fabs(p.z) < 1.2f - h - 0.1f &&
            p.y > h + 0.1f && p.y < 2.4f - h - 0.1f) {
            EXPECT_NEAR(out.density[i], 1000.0f, 2.0f);
            ++interior;
        }
    }
    EXPECT_GT(interior, 100);
}

TEST(RestDensity, SettledPoolIsNearRestDensityAndAtRest) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    addClosedBox(*scene, 1.0f, 4.0f);
    Lattice start(NxVec3(-1, 0, -1), NxVec3(1, 0.6f, 1), kSpacing);
    FluidOut out(start.count);
    NxFluidDesc d = runFluidDesc(start.count);
    start.attach(d.initialParticleData);
    out.attach(d.particlesWriteData);
    scene->createFluid(d);
    for (int s = 0; s < 250; ++s) step(*scene);
    double density = 0.0, speed = 0.0, top = 0.0;
    for (NxU32 i = 0; i < out.count; ++i) {
        density += out.density[i];
        speed += out.velocity(i).magnitude();
        top = std::max<double>(top, out.position(i).y);
    }
    density /= out.count;
    speed /= out.count;
    // Hydrostatic compression at stiffness 60 and gravity 14.8: about 25 % per metre of
    // depth, so a pool 0.6 m deep sits a few percent above rest density on average; the
    // particles next to the walls see fewer neighbours and pull the mean down.
    EXPECT_GT(density, 0.9 * 1000.0);
    EXPECT_LT(density, 1.15 * 1000.0);
    EXPECT_LT(speed, 0.2) << "the pool has come to rest";
    EXPECT_LT(top, 0.8) << "and not bounced up";
}

// A shape counts as a half-space of fluid at rest density: one lone particle at distance d
// from a wall reads its own density plus 1/2 rest density at contact, falling to nothing at
// one kernel radius. A plane, a huge sphere and a huge box (three ways of computing it)
// agree.
TEST(RestDensity, WallsCountAsFluidAtRestDensity) {
    enum Wall { kPlane, kSphere, kBox };
    auto lone = [](Wall wall, float d) {
        SdkPtr sdk = createSdk();
        NxScene* scene = createScene(*sdk);
        scene->setGravity(NxVec3(0, 0, 0));
        if (wall == kPlane)
            addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
        else if (wall == kSphere)
            addSphere(*scene, NxVec3(0, -1000.0f, 0), 1000.0f);
        else
            addBox(*scene, NxVec3(0, -50.0f, 0), NxVec3(100.0f, 100.0f, 100.0f), 0.0f);
        std::vector<float> pos = {0.0f, d, 0.0f};
        NxU32 one = 1;
        FluidOut out(1);
        NxFluidDesc desc = runFluidDesc(1);
        desc.initialParticleData.numParticlesPtr = &one;
        desc.initialParticleData.bufferPos = pos.data();
        desc.initialParticleData.bufferPosByteStride = 12;
        out.attach(desc.particlesWriteData);
        scene->createFluid(desc);
        step(*scene);
        return out.density[0];
    };
    const float h = 3.0f * kSpacing;
    const float alone = lone(kPlane, 2.0f * h);
    EXPECT_NEAR(lone(kPlane, kContact), alone + 450.9f,
                1.0f);  // t = 0.04: 1000 * 315 / 256 * (P(1) - P(t))
    EXPECT_NEAR(lone(kPlane, 0.5f * h), alone + 48.93f,
                0.1f);  // P(t) = t - 4t^3/3 + 6t^5/5 - 4t^7/7 + t^9/9
    EXPECT_NEAR(lone(kPlane, 0.999f * h), alone, 1e-2f);
    for (float d : {kContact, 0.3f * h, 0.7f * h}) {
        EXPECT_NEAR(lone(kSphere, d), lone(kPlane, d), 0.5f) << d;
        EXPECT_NEAR(lone(kBox, d), lone(kPlane, d), 0.5f) << d;
    }
    EXPECT_EQ(lone(kSphere, 1.5f * h), alone) << "out of reach, nothing at all";
    EXPECT_EQ(lone(kBox, 1.5f * h), alone);
}

// Jets from the run's emitter at full speed against a sphere, a static box, the pillar
// and the ground: no particle ever ends a step inside any of them.
TEST(Collisions, ParticlesNeverEndBelowTheGroundOrInsideAShape) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    const NxVec3 centre(0, 2.5f, 3.0f);
    const float radius = 1.0f;
    addSphere(*scene, centre, radius);
    const NxVec3 boxCentre(0, 1.0f, 7.0f), boxHalf(1.5f, 1.0f, 0.25f);
    addBox(*scene, boxCentre, boxHalf * 2.0f, 0.0f);
    NxActor* frame = addBox(*scene, NxVec3(0, 0.5f, 0), NxVec3(0.5f, 1, 0.5f), 2.0f, true);
    FluidOut out(3000);
    NxFluidDesc d = runFluidDesc(3000);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(frame->getShapes()[0], 1000.0f, 3.0f);
    NxMat33 tilt;
    tilt.rotX(-0.35f);  // a flat jet straight at the sphere and the thin box
    e.relPose.M = tilt;
    fluid->createEmitter(e);
    const float eps = 1e-4f;
    for (int s = 0; s < 200; ++s) {
        step(*scene);
        for (NxU32 i = 0; i < out.count; ++i) {
            const NxVec3 p = out.position(i);
            ASSERT_GE(p.y, kContact - eps) << "below the ground at step " << s;
            ASSERT_GE((p - centre).magnitude(), radius + kContact - eps) << "in the sphere";
            const NxVec3 l = p - boxCentre;
            ASSERT_FALSE(std::fabs(l.x) < boxHalf.x + kContact - eps &&
                         std::fabs(l.y) < boxHalf.y + kContact - eps &&
                         std::fabs(l.z) < boxHalf.z + kContact - eps)
                << "in the box at step " << s;
        }
    }
    // Some of the jet passed the sphere and reached the box: it was really tested.
    int behindSphere = 0;
    for (NxU32 i = 0; i < out.count; ++i) behindSphere += out.position(i).z > 4.5f ? 1 : 0;
    EXPECT_GT(behindSphere, 10);
}

// The run's obstacles and emitter, smaller and shorter-lived, for thousands of steps.
TEST(Robustness, NoNaNAndNoRunawayAfterThousandsOfSteps) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk, NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD);
    NxMaterialDesc m;
    m.dynamicFriction = m.staticFriction = 0.2f;
    m.restitution = 0.5f;
    scene->getMaterialFromIndex(0)->loadFromDesc(m);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    const float spheres[4][4] = {
        {5, 8.5f, -0.5f, 2}, {2, 5, 8, 3}, {6, 7, -6, 3}, {-1, 3.8f, 1.5f, 4}};
    for (const auto& s : spheres) addSphere(*scene, NxVec3(s[0], s[1], s[2]), s[3]);
    addBox(*scene, NxVec3(0, 4, -4), NxVec3(2, 8, 2), 2.0f);
    NxActor* frame = addBox(*scene, NxVec3(0, 0.5f, -15), NxVec3(0.5f, 1, 0.5f), 2.0f, true);
    FluidOut out(2000);
    NxFluidDesc d = runFluidDesc(2000);
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    fluid->createEmitter(runEmitterDesc(frame->getShapes()[0], 400.0f, 2.5f));
    for (int s = 0; s < 3000; ++s) {
        ASSERT_EQ(step(*scene), 0u);
        if (s % 100 == 99) {
            ASSERT_TRUE(allFinite(out)) << "step " << s;
            if (s > 125) {
                ASSERT_EQ(out.count, 1000u);  // 400 per second for 2.5 s
            }
            for (NxU32 i = 0; i < out.count; ++i) {
                ASSERT_LT(out.velocity(i).magnitude(), 3.0f * kSpacing / kStep + 1e-3f);
                ASSERT_LT(out.density[i], 3000.0f);
            }
        }
    }
}

TEST(NoInteraction, ParticlesFallThroughEachOtherAndLieFlat) {
    auto settle = [](NxU32 method, float& topOut) {
        SdkPtr sdk = createSdk();
        NxScene* scene = createScene(*sdk);
        addClosedBox(*scene, 0.5f, 5.0f);
        Lattice start(NxVec3(-0.5f, 0.5f, -0.5f), NxVec3(0.5f, 1.5f, 0.5f), kSpacing);
        start.jitter(0.05f * kSpacing);
        FluidOut out(start.count);
        NxFluidDesc d = runFluidDesc(start.count);
        d.simulationMethod = method;
        start.attach(d.initialParticleData);
        out.attach(d.particlesWriteData);
        scene->createFluid(d);
        for (int s = 0; s < 150; ++s) step(*scene);
        float top = 0.0f;
        for (NxU32 i = 0; i < out.count; ++i) top = std::max(top, out.position(i).y);
        topOut = top;
        return out;
    };
    float sphTop = 0.0f, freeTop = 0.0f;
    settle(NX_F_SPH, sphTop);
    const FluidOut free = settle(NX_F_NO_PARTICLE_INTERACTION, freeTop);
    EXPECT_GT(sphTop, 0.6f) << "a liquid keeps its volume";
    EXPECT_LT(freeTop, kContact + 0.01f) << "without interaction all lie on the floor";
    for (NxU32 i = 0; i < free.count; ++i) EXPECT_EQ(free.density[i], 1000.0f);
}

// The same scene stepped on one thread and spread over four gives the same particles,
// bit for bit: the work is split so that no result depends on the split.
TEST(Threading, OneThreadAndManyGiveTheSameParticles) {
    // Chunks that meet only static planes take the branch-free integrator unless particle
    // flags are asked for; with them every chunk takes the general one.
    auto run = [](NxU32 flags, NxU32 threads, bool compartment, bool particleFlags = false) {
        SdkPtr sdk = createSdk();
        NxScene* scene = createScene(*sdk, flags, threads);
        addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
        addSphere(*scene, NxVec3(0, 1.5f, 4), 1.5f);
        NxActor* frame = addBox(*scene, NxVec3(0, 0.5f, 0), NxVec3(0.5f, 1, 0.5f), 2.0f, true);
        FluidOut out(3000);
        std::vector<NxU32> bits(3000);
        NxFluidDesc d = runFluidDesc(3000);
        out.attach(d.particlesWriteData);
        if (particleFlags) {
            d.particlesWriteData.bufferFlag = bits.data();
            d.particlesWriteData.bufferFlagByteStride = 4;
        }
        if (compartment) {
            NxCompartmentDesc c;
            c.type = NX_SCT_FLUID;
            d.compartment = scene->createCompartment(c);
        }
        NxFluid* fluid = scene->createFluid(d);
        fluid->createEmitter(runEmitterDesc(frame->getShapes()[0], 1500.0f, 1.5f));
        for (int s = 0; s < 120; ++s) step(*scene);
        return out;
    };
    const FluidOut one = run(0, 0, false);
    const FluidOut many = run(NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD, 4, false);
    const FluidOut comp = run(NX_SF_DISABLE_SCENE_MUTEX, 0, true);
    ASSERT_GT(one.count, 1000u);
    ASSERT_EQ(many.count, one.count);
    ASSERT_EQ(comp.count, one.count);
    EXPECT_EQ(std::memcmp(many.pos.data(), one.pos.data(), 12 * one.count), 0);
    EXPECT_EQ(std::memcmp(many.ids.data(), one.ids.data(), 4 * one.count), 0);
    EXPECT_EQ(std::memcmp(comp.pos.data(), one.pos.data(), 12 * one.count), 0);

    const FluidOut general = run(0, 0, false, true);
    const FluidOut generalMany =
        run(NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD, 4, false, true);
    ASSERT_GT(general.count, 1000u);
    ASSERT_EQ(generalMany.count, general.count);
    EXPECT_EQ(std::memcmp(generalMany.pos.data(), general.pos.data(), 12 * general.count), 0);
    EXPECT_EQ(std::memcmp(generalMany.vel.data(), general.vel.data(), 12 * general.count), 0);
}

// A plane is met by the branch-free integrator (chunks near static planes only) and by the
// general one (forced here by asking for particle flags): both bounce, hold and brake the
// particles alike. Particles are thrown at a slope, fast (bouncing) and slow (held by
// static friction or sliding); the paths differ only in the rounding of the push-out.
TEST(Collisions, BranchFreeAndGeneralIntegratorsAnswerAPlaneAlike) {
    const NxVec3 normal(0.6f, 0.8f, 0.0f);
    auto run = [&](bool general) {
        SdkPtr sdk = createSdk();
        NxScene* scene = createScene(*sdk);
        addPlane(*scene, normal, 0.0f);
        std::vector<float> pos, vel;
        for (int i = 0; i < 12; ++i)
            for (int k = 0; k < 12; ++k) {
                const NxVec3 p = NxVec3(0.3f * float(i), 0.0f, 0.3f * float(k)) +
                                 normal * (0.05f + 0.02f * float(k % 4));
                const float speed = 0.2f + 0.6f * float(i % 6);
                const NxVec3 v = NxVec3(0.5f * float(k % 3) - 0.5f, 0.0f, 0.3f) - normal * speed;
                pos.insert(pos.end(), {p.x, p.y, p.z});
                vel.insert(vel.end(), {v.x, v.y, v.z});
            }
        NxU32 count = NxU32(pos.size() / 3);
        FluidOut out(count);
        std::vector<NxU32> bits(count);
        NxFluidDesc d = runFluidDesc(count);
        d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
        d.restitutionForStaticShapes = 0.5f;
        d.dynamicFrictionForStaticShapes = 0.3f;
        d.staticFrictionForStaticShapes = 0.4f;
        NxParticleData& start = d.initialParticleData;
        start.numParticlesPtr = &count;
        start.bufferPos = pos.data();
        start.bufferPosByteStride = 12;
        start.bufferVel = vel.data();
        start.bufferVelByteStride = 12;
        out.attach(d.particlesWriteData);
        if (general) {
            d.particlesWriteData.bufferFlag = bits.data();
            d.particlesWriteData.bufferFlagByteStride = 4;
        }
        scene->createFluid(d);
        int touched = 0;
        for (int s = 0; s < 25; ++s) {
            step(*scene);
            for (NxU32 i = 0; i < out.count; ++i)
                touched += (bits[i] & NX_FP_COLLISION_WITH_STATIC) ? 1 : 0;
        }
        if (general) EXPECT_GT(touched, 0) << "the general integrator met the plane";
        return out;
    };
    const FluidOut branchFree = run(false);
    const FluidOut general = run(true);
    ASSERT_EQ(general.count, branchFree.count);
    int resting = 0;
    for (NxU32 i = 0; i < general.count; ++i) {
        ASSERT_EQ(general.ids[i], branchFree.ids[i]);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(general.pos[3 * i + c], branchFree.pos[3 * i + c], 1e-4f) << i;
            EXPECT_NEAR(general.vel[3 * i + c], branchFree.vel[3 * i + c], 1e-3f) << i;
        }
        resting += normal.dot(general.position(i)) < kContact + 1e-3f ? 1 : 0;
    }
    EXPECT_GT(resting, 10) << "particles came to lie on the slope";
}

// In a chunk near a sphere and a box, only the particles whose path can reach them take the
// general integrator; the rest take the branch-free one. Particles rain onto a sphere sunk
// into the ground, a box and the bare ground around them: they end where the general
// integrator for every particle (forced by particle flags) puts them, to the rounding of
// the push-out (a particle at the edge of static friction may keep a little more speed),
// and none ends inside a shape.
TEST(Collisions, ParticlesNearShapesTakeTheGeneralIntegratorAndTheRestAgree) {
    const NxVec3 centre(0.0f, 0.5f, 0.0f);
    const float radius = 1.0f;
    const NxVec3 boxCentre(2.0f, 0.5f, 0.0f), boxHalf(0.4f, 0.5f, 0.4f);
    auto run = [&](bool general) {
        SdkPtr sdk = createSdk();
        NxScene* scene = createScene(*sdk);
        addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
        addSphere(*scene, centre, radius);
        addBox(*scene, boxCentre, boxHalf * 2.0f, 0.0f);
        std::vector<float> pos, vel;
        for (int i = 0; i < 24; ++i)
            for (int k = 0; k < 12; ++k) {
                pos.insert(pos.end(), {-1.5f + 0.17f * float(i), 1.8f + 0.25f * float(k % 6),
                                       -1.0f + 0.17f * float(k)});
                vel.insert(vel.end(), {0.4f * float(k % 3) - 0.4f, -1.0f - 0.5f * float(i % 4),
                                       0.2f * float(i % 5) - 0.4f});
            }
        NxU32 count = NxU32(pos.size() / 3);
        FluidOut out(count);
        std::vector<NxU32> bits(count);
        NxFluidDesc d = runFluidDesc(count);
        d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
        d.restitutionForStaticShapes = 0.4f;
        d.dynamicFrictionForStaticShapes = 0.2f;
        NxParticleData& start = d.initialParticleData;
        start.numParticlesPtr = &count;
        start.bufferPos = pos.data();
        start.bufferPosByteStride = 12;
        start.bufferVel = vel.data();
        start.bufferVelByteStride = 12;
        out.attach(d.particlesWriteData);
        if (general) {
            d.particlesWriteData.bufferFlag = bits.data();
            d.particlesWriteData.bufferFlagByteStride = 4;
        }
        scene->createFluid(d);
        for (int s = 0; s < 60; ++s) step(*scene);
        return out;
    };
    const FluidOut split = run(false);
    const FluidOut general = run(true);
    ASSERT_EQ(split.count, general.count);
    int onSphere = 0, onBox = 0;
    for (NxU32 i = 0; i < split.count; ++i) {
        ASSERT_EQ(split.ids[i], general.ids[i]);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(split.pos[3 * i + c], general.pos[3 * i + c], 1e-4f) << i;
            EXPECT_NEAR(split.vel[3 * i + c], general.vel[3 * i + c], 2e-3f) << i;
        }
        const NxVec3 p = split.position(i);
        EXPECT_GE((p - centre).magnitude(), radius + 0.5f * kContact) << i;
        const NxVec3 l = p - boxCentre;
        EXPECT_FALSE(std::fabs(l.x) < boxHalf.x && std::fabs(l.y) < boxHalf.y &&
                     std::fabs(l.z) < boxHalf.z)
            << i;
        onSphere += (p - centre).magnitude() < radius + 2.0f * kContact ? 1 : 0;
        onBox += std::fabs(l.x) < boxHalf.x + 2.0f * kContact &&
                         std::fabs(l.z) < boxHalf.z + 2.0f * kContact && l.y > 0.0f &&
                         l.y < boxHalf.y + 2.0f * kContact
                     ? 1
                     : 0;
    }
    EXPECT_GT(onSphere, 5) << "particles came to lie on the sphere";
    EXPECT_GT(onBox, 3) << "and on the box";
}

TEST(Buffers, WrittenWithTheirStridesAndNothingBeyond) {
    SdkPtr sdk = createSdk();
    NxScene* scene = createScene(*sdk);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    // Records wider than the data, filled with a pattern that must survive outside them.
    constexpr NxU32 kRecords = 64, kWritable = 40;
    constexpr float kGuard = -12345.0f;
    std::vector<float> pos(kRecords * 5, kGuard), vel(kRecords * 4, kGuard),
        life(kRecords * 3, kGuard), density(kRecords * 2, kGuard);
    std::vector<NxU32> ids(kRecords * 3, 0xDEADBEEF);
    NxU32 count = 777;
    NxFluidDesc d = runFluidDesc(kRecords);
    NxParticleData& w = d.particlesWriteData;
    w.numParticlesPtr = &count;
    w.bufferPos = pos.data();
    w.bufferPosByteStride = 20;
    w.bufferVel = vel.data();
    w.bufferVelByteStride = 16;
    w.bufferLife = life.data();
    w.bufferLifeByteStride = 12;
    w.bufferDensity = density.data();
    w.bufferDensityByteStride = 8;
    w.bufferId = ids.data();
    w.bufferIdByteStride = 12;
    w.maxParticles = kWritable;
    NxFluid* fluid = scene->createFluid(d);
    NxFluidEmitterDesc e = runEmitterDesc(nullptr, 2000.0f, 0.0f);
    e.relPose.t = NxVec3(0, 3, 0);
    fluid->createEmitter(e);
    step(*scene);
    EXPECT_EQ(count, 40u);  // 40 emitted
    step(*scene);
    EXPECT_EQ(fluid->getNbParticles(), 64u) << "the fluid holds its capacity";
    EXPECT_EQ(count, kWritable) << "the buffers hold fewer";
    for (NxU32 i = 0; i < kRecords; ++i) {
        const bool written = i < kWritable;
        for (int f = 0; f < 5; ++f) {
            const bool data = written && f < 3;
            EXPECT_EQ(pos[5 * i + f] == kGuard, !data) << "pos record " << i << " float " << f;
        }
        for (int f = 0; f < 4; ++f) EXPECT_EQ(vel[4 * i + f] == kGuard, !(written && f < 3));
        for (int f = 0; f < 3; ++f) EXPECT_EQ(life[3 * i + f] == kGuard, !(written && f == 0));
        for (int f = 0; f < 2; ++f) EXPECT_EQ(density[2 * i + f] == kGuard, !(written && f == 0));
        for (int f = 0; f < 3; ++f) EXPECT_EQ(ids[3 * i + f] == 0xDEADBEEF, !(written && f == 0));
    }
}

// A jet against a free box: it stays put unless the fluid is two-way, and the push grows
// with the response coefficient.
TEST(TwoWay, BodiesTakeTheFluidsPushScaledByTheCoefficient) {
    auto drift = [](NxU32 flags, float coefficient) {
        SdkPtr sdk = createSdk();
        NxScene* scene = createScene(*sdk);
        scene->setGravity(NxVec3(0, 0, 0));
        // Heavy (1000 kg), so that it barely moves and the jet's push stays steady, and
        // never asleep, so that every push counts from the first.
        NxBoxShapeDesc box;
        box.dimensions = NxVec3(1, 1, 0.25f);
        NxBodyDesc body;
        body.sleepLinearVelocity = body.sleepAngularVelocity = 0.0f;
        NxActorDesc actor;
        actor.shapes.pushBack(&box);
        actor.body = &body;
        actor.density = 500.0f;
        actor.globalPose.t = NxVec3(0, 0, 3);
        NxActor* target = scene->createActor(actor);
        FluidOut out(2000);
        NxFluidDesc d = runFluidDesc(2000);
        d.flags |= flags;
        d.collisionResponseCoefficient = coefficient;
        out.attach(d.particlesWriteData);
        NxFluid* fluid = scene->createFluid(d);
        NxFluidEmitterDesc e = runEmitterDesc(nullptr, 500.0f, 2.0f);
        e.relPose.M.id();  // along +z, at the box
        e.randomAngle = 0.0f;
        e.fluidVelocityMagnitude = 5.0f;
        fluid->createEmitter(e);
        for (int s = 0; s < 40; ++s) step(*scene);
        return target->getGlobalPosition().z - 3.0f;
    };
    EXPECT_EQ(drift(0, 0.2f), 0.0f);
    const float weak = drift(NX_FF_COLLISION_TWOWAY, 0.1f);
    const float strong = drift(NX_FF_COLLISION_TWOWAY, 0.4f);
    EXPECT_GT(weak, 0.0f);
    EXPECT_NEAR(strong, 4.0f * weak, 0.4f * weak);
}

}  // namespace
