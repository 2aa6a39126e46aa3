// The hardware path of the SDK on an OpenCL device: the device solver against the CPU
// solver on the same small scenes, collisions, a closed box, the hand-over with strides,
// the SDK's answers and a device failure in the middle of a step. The tests pick the CPU
// device (PoCL in CI) through PLASHWERK_OPENCL_DEVICE and skip where there is none.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/physx/opencl/cl_runtime.h"
#include "tests/platform/physx/physx_test_util.h"

using namespace physx_test;

namespace {

constexpr float kSpacing = 1.0f / 7.0f;
constexpr float kContact = 0.12f * kSpacing;

SdkPtr createSdkWith(NxU32 flags) {
    NxPhysicsSDKDesc desc;
    desc.flags = flags;
    return SdkPtr(
        NxCreatePhysicsSDK(NX_SDK_VERSION_NUMBER, nullptr, nullptr, desc, nullptr, nullptr));
}

// An SDK that may use hardware, with the CPU OpenCL device allowed.
SdkPtr createHardwareSdk() {
    setenv("PLASHWERK_OPENCL_DEVICE", "cpu", 1);
    return createSdkWith(NX_SDKF_PER_SCENE_BATCHING);
}

NxScene* createHardwareScene(NxPhysicsSDK& sdk) {
    NxSceneDesc desc;
    desc.gravity = NxVec3(0, -14.8f, 0);
    desc.simType = NX_SIMULATION_HW;
    return sdk.createScene(desc);
}

#define SKIP_WITHOUT_DEVICE(sdk) \
    if ((sdk)->getNbPPUs() == 0) GTEST_SKIP() << "no OpenCL device"

// One of the two solvers with its scene: a ground, a sphere and a box in the jet's path
// and an emitter on a static box.
struct Side {
    SdkPtr sdk;
    NxScene* scene = nullptr;
    NxFluid* fluid = nullptr;
    FluidOut out{kCapacity};
    static constexpr NxU32 kCapacity = 600;

    explicit Side(bool device) {
        sdk = device ? createHardwareSdk() : createSdk();
        scene = device ? createHardwareScene(*sdk) : createScene(*sdk);
        if (!scene) return;
        addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
        addSphere(*scene, NxVec3(0.0f, 0.3f, -1.2f), 0.5f);
        addBox(*scene, NxVec3(0.9f, 0.4f, -0.6f), NxVec3(0.6f, 0.8f, 0.6f), 0.0f);
        NxActor* frame = addBox(*scene, NxVec3(0, 0.5f, 0), NxVec3(1, 1, 1), 0.0f);
        NxFluidDesc d = runFluidDesc(kCapacity);
        if (device) d.flags |= NX_FF_HARDWARE;
        out.attach(d.particlesWriteData);
        fluid = scene->createFluid(d);
        if (!fluid) return;
        NxFluidEmitterDesc e = runEmitterDesc(frame->getShapes()[0], 150.0f, 2.5f);
        e.fluidVelocityMagnitude = 4.0f;
        fluid->createEmitter(e);
    }
};

struct Moments {
    NxVec3 centre;
    double density = 0.0;
    float minY = 1e30f;
};

Moments moments(const FluidOut& out) {
    Moments m;
    for (NxU32 i = 0; i < out.count; ++i) {
        m.centre += out.position(i);
        m.density += out.density[i];
        m.minY = std::min(m.minY, out.position(i).y);
    }
    if (out.count) {
        m.centre *= 1.0f / float(out.count);
        m.density /= out.count;
    }
    return m;
}

float distanceToBox(const NxVec3& p, const NxVec3& centre, const NxVec3& half) {
    const NxVec3 d = p - centre;
    const float dx = std::max(0.0f, std::fabs(d.x) - half.x);
    const float dy = std::max(0.0f, std::fabs(d.y) - half.y);
    const float dz = std::max(0.0f, std::fabs(d.z) - half.z);
    const float outside = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (outside > 0.0f) return outside;
    return -std::min({half.x - std::fabs(d.x), half.y - std::fabs(d.y), half.z - std::fabs(d.z)});
}

TEST(DeviceSolver, MatchesTheCpuSolverStepByStep) {
    Side cpu(false), gpu(true);
    SKIP_WITHOUT_DEVICE(gpu.sdk);
    ASSERT_NE(gpu.scene, nullptr);
    ASSERT_NE(gpu.fluid, nullptr);
    ASSERT_NE(cpu.fluid, nullptr);
    EXPECT_EQ(gpu.scene->getSimType(), NX_SIMULATION_HW);
    for (int s = 0; s < 300; ++s) {
        ASSERT_EQ(step(*cpu.scene), 0u);
        ASSERT_EQ(step(*gpu.scene), 0u) << "step " << s;
        // Births, deaths and the hand-over's count agree exactly, every step.
        ASSERT_EQ(gpu.out.count, cpu.out.count) << "step " << s;
        ASSERT_EQ(gpu.fluid->getNbParticles(), cpu.fluid->getNbParticles());
        // Nothing below the ground, nothing inside the obstacles.
        for (NxU32 i = 0; i < gpu.out.count; ++i) {
            const NxVec3 p = gpu.out.position(i);
            ASSERT_TRUE(p.isFinite());
            ASSERT_GE(p.y, kContact * 0.99f) << "step " << s;
            ASSERT_GE((p - NxVec3(0.0f, 0.3f, -1.2f)).magnitude(), 0.5f + kContact * 0.9f);
            ASSERT_GE(distanceToBox(p, NxVec3(0.9f, 0.4f, -0.6f), NxVec3(0.3f, 0.4f, 0.3f)),
                      kContact * 0.9f);
        }
    }
    // Particles expired and were born again: the counts matched through both.
    EXPECT_GT(cpu.out.count, 300u);
    const Moments a = moments(cpu.out), b = moments(gpu.out);
    // The solvers sum in other orders, and a splashing jet amplifies that, so the state
    // agrees in the large: the fluid's centre within 5 cm, its mean density within 2 %.
    EXPECT_LT((a.centre - b.centre).magnitude(), 0.05f);
    EXPECT_NEAR(b.density, a.density, 0.02 * a.density);
    EXPECT_GE(b.minY, kContact * 0.99f);
    // Lives count down alike: a particle's life is in (0, 2.5].
    for (NxU32 i = 0; i < gpu.out.count; ++i) {
        EXPECT_GT(gpu.out.life[3 * i], 0.0f);
        EXPECT_LE(gpu.out.life[3 * i], 2.5f);
    }
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

struct BoxRun {
    SdkPtr sdk;
    NxScene* scene = nullptr;
    NxFluid* fluid = nullptr;
    FluidOut out{800};
    explicit BoxRun(bool device) {
        sdk = device ? createHardwareSdk() : createSdk();
        scene = device ? createHardwareScene(*sdk) : createScene(*sdk);
        if (!scene) return;
        addClosedBox(*scene, 0.5f, 2.0f);
        Lattice lattice(NxVec3(-0.5f, 0.0f, -0.5f), NxVec3(0.5f, 0.9f, 0.5f), kSpacing);
        lattice.jitter(0.01f);
        NxFluidDesc d = runFluidDesc(800);
        if (device) d.flags |= NX_FF_HARDWARE;
        lattice.attach(d.initialParticleData);
        out.attach(d.particlesWriteData);
        fluid = scene->createFluid(d);
    }
};

TEST(DeviceSolver, ClosedBoxKeepsItsMassAndSettlesLikeTheCpu) {
    BoxRun cpu(false), gpu(true);
    SKIP_WITHOUT_DEVICE(gpu.sdk);
    ASSERT_NE(gpu.fluid, nullptr);
    const NxU32 start = gpu.fluid->getNbParticles();
    ASSERT_GT(start, 200u);
    ASSERT_EQ(start, cpu.fluid->getNbParticles());
    for (int s = 0; s < 250; ++s) {
        ASSERT_EQ(step(*gpu.scene), 0u);
        step(*cpu.scene);
        ASSERT_EQ(gpu.out.count, start) << "step " << s;
    }
    const float inner = 0.5f - kContact * 0.99f;
    for (NxU32 i = 0; i < gpu.out.count; ++i) {
        const NxVec3 p = gpu.out.position(i);
        ASSERT_TRUE(p.isFinite());
        EXPECT_LE(std::fabs(p.x), inner);
        EXPECT_LE(std::fabs(p.z), inner);
        EXPECT_GE(p.y, kContact * 0.99f);
        EXPECT_EQ(gpu.out.life[3 * i], 0.0f);  // immortal particles hand over no life
    }
    const Moments a = moments(cpu.out), b = moments(gpu.out);
    EXPECT_NEAR(b.centre.y, a.centre.y, 0.01f);
    EXPECT_NEAR(b.density, a.density, 0.02 * a.density);
    // Settled water sits near its rest density.
    EXPECT_NEAR(b.density, 1000.0, 150.0);
}

TEST(DeviceSolver, HandOverKeepsStridesAndWritesNothingBeyond) {
    SdkPtr sdk = createHardwareSdk();
    SKIP_WITHOUT_DEVICE(sdk);
    NxScene* scene = createHardwareScene(*sdk);
    ASSERT_NE(scene, nullptr);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    Lattice lattice(NxVec3(-0.3f, 0.2f, -0.3f), NxVec3(0.3f, 0.6f, 0.3f), kSpacing);
    NxFluidDesc d = runFluidDesc(200);
    d.flags |= NX_FF_HARDWARE;
    lattice.attach(d.initialParticleData);
    // Interleaved records: position at 0, velocity at 12, life at 24, density at 28 of a
    // 36-byte record; the last 4 bytes of each record are the caller's own.
    constexpr NxU32 kRecord = 36, kWritten = 40;
    constexpr unsigned char kGuard = 0xA5;
    std::vector<unsigned char> records(size_t(kRecord) * 200, kGuard);
    NxU32 count = 12345;
    NxParticleData& w = d.particlesWriteData;
    w.numParticlesPtr = &count;
    w.bufferPos = reinterpret_cast<NxF32*>(records.data());
    w.bufferPosByteStride = kRecord;
    w.bufferVel = reinterpret_cast<NxF32*>(records.data() + 12);
    w.bufferVelByteStride = kRecord;
    w.bufferLife = reinterpret_cast<NxF32*>(records.data() + 24);
    w.bufferLifeByteStride = kRecord;
    w.bufferDensity = reinterpret_cast<NxF32*>(records.data() + 28);
    w.bufferDensityByteStride = kRecord;
    w.maxParticles = kWritten;  // fewer than the fluid holds
    NxFluid* fluid = scene->createFluid(d);
    ASSERT_NE(fluid, nullptr);
    ASSERT_GT(fluid->getNbParticles(), kWritten);
    for (int s = 0; s < 5; ++s) ASSERT_EQ(step(*scene), 0u);
    EXPECT_EQ(count, kWritten);
    for (NxU32 i = 0; i < 200; ++i) {
        const unsigned char* r = records.data() + size_t(i) * kRecord;
        EXPECT_EQ(r[32], kGuard) << i;
        EXPECT_EQ(r[35], kGuard) << i;
        if (i >= kWritten) {
            for (NxU32 b = 0; b < kRecord; ++b) ASSERT_EQ(r[b], kGuard) << i;
            continue;
        }
        float p[3], density;
        std::memcpy(p, r, sizeof p);
        std::memcpy(&density, r + 28, sizeof density);
        EXPECT_GT(p[1], 0.0f);
        EXPECT_LT(p[1], 0.8f);
        EXPECT_GT(density, 100.0f);
        EXPECT_LT(density, 3000.0f);
    }
}

// A jet into a drain, inside scene bounds it partly leaves: the device removes the
// particles the CPU solver removes, step by step.
struct DrainRun {
    SdkPtr sdk;
    NxScene* scene = nullptr;
    FluidOut out{400};
    NxBounds3 bounds;
    explicit DrainRun(bool device) {
        sdk = device ? createHardwareSdk() : createSdk();
        NxSceneDesc desc;
        desc.gravity = NxVec3(0, -14.8f, 0);
        desc.simType = device ? NX_SIMULATION_HW : NX_SIMULATION_SW;
        bounds.set(NxVec3(-0.8f, -1, -3), NxVec3(3, 5, 3));
        desc.maxBounds = &bounds;
        scene = sdk->createScene(desc);
        if (!scene) return;
        addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
        NxBoxShapeDesc drain;
        drain.dimensions = NxVec3(1.5f, 0.05f, 0.4f);
        drain.shapeFlags |= NX_SF_FLUID_DRAIN;
        NxActorDesc actor;
        actor.shapes.pushBack(&drain);
        actor.globalPose.t = NxVec3(0, 0.05f, 1.5f);
        scene->createActor(actor);
        NxActor* frame = addBox(*scene, NxVec3(0, 0.5f, 0), NxVec3(1, 1, 1), 0.0f);
        NxFluidDesc d = runFluidDesc(400);
        if (device) d.flags |= NX_FF_HARDWARE;
        out.attach(d.particlesWriteData);
        NxFluid* fluid = scene->createFluid(d);
        if (!fluid) return;
        NxFluidEmitterDesc e = runEmitterDesc(frame->getShapes()[0], 200.0f, 0.0f);
        e.fluidVelocityMagnitude = 3.0f;
        fluid->createEmitter(e);
    }
};

TEST(DeviceSolver, DrainsAndBoundsRemoveWhatTheCpuRemoves) {
    DrainRun cpu(false), gpu(true);
    SKIP_WITHOUT_DEVICE(gpu.sdk);
    ASSERT_NE(gpu.scene, nullptr);
    for (int s = 0; s < 150; ++s) {
        step(*cpu.scene);
        ASSERT_EQ(step(*gpu.scene), 0u);
        // Births and expiries match exactly; which particle touches the drain or crosses
        // the bounds first depends on the last bits of the state, so removals may differ
        // by a step or so.
        const double allowed = 2.0 + 0.03 * cpu.out.count;
        ASSERT_LE(std::fabs(double(gpu.out.count) - double(cpu.out.count)), allowed)
            << "step " << s;
    }
    // 600 emitted, immortal: the drain and the bounds took many of them.
    EXPECT_LT(gpu.out.count, 350u);
    EXPECT_GT(gpu.out.count, 0u);
    for (NxU32 i = 0; i < gpu.out.count; ++i) EXPECT_TRUE(gpu.bounds.contain(gpu.out.position(i)));
}

// Scene bounds of a different extent on each axis (no two faces at the same distance) and
// no gravity: twelve particles fly out of the origin along each of the six axis directions
// at 0.5, 1, ... 6 m/s, so every face takes particles at steps of its own. A bound test
// that read another axis's bound or the other side's would keep or remove some of them at
// the wrong step.
TEST(DeviceSolver, BoundsRemoveThroughEveryFaceLikeTheCpu) {
    constexpr int kSpeeds = 12, kSteps = 200;
    constexpr NxU32 kCount = 6 * kSpeeds;
    // 5 mm off the 1 cm grid the particles move on: no particle sits on a face.
    const NxVec3 lo(-1.055f, -2.055f, -3.055f), hi(1.555f, 2.555f, 3.555f);
    std::vector<float> pos(3 * kCount, 0.0f), vel(3 * kCount, 0.0f);
    for (NxU32 i = 0; i < kCount; ++i) {
        const NxU32 face = i / kSpeeds;  // +x, -x, +y, -y, +z, -z
        vel[3 * i + face / 2] = (face % 2 ? -0.5f : 0.5f) * float(i % kSpeeds + 1);
    }
    NxBounds3 bounds;
    bounds.set(lo, hi);
    FluidOut outs[2] = {FluidOut(kCount), FluidOut(kCount)};
    SdkPtr sdks[2] = {createSdk(), createHardwareSdk()};
    SKIP_WITHOUT_DEVICE(sdks[1]);
    NxScene* scenes[2] = {};
    for (int k = 0; k < 2; ++k) {
        NxSceneDesc desc;
        desc.gravity = NxVec3(0, 0, 0);
        desc.simType = k == 1 ? NX_SIMULATION_HW : NX_SIMULATION_SW;
        desc.maxBounds = &bounds;
        scenes[k] = sdks[k]->createScene(desc);
        ASSERT_NE(scenes[k], nullptr);
        NxU32 count = kCount;
        NxFluidDesc d = runFluidDesc(kCount);
        d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
        d.damping = 0.0f;
        if (k == 1) d.flags |= NX_FF_HARDWARE;
        d.initialParticleData.numParticlesPtr = &count;
        d.initialParticleData.bufferPos = pos.data();
        d.initialParticleData.bufferPosByteStride = 12;
        d.initialParticleData.bufferVel = vel.data();
        d.initialParticleData.bufferVelByteStride = 12;
        outs[k].attach(d.particlesWriteData);
        ASSERT_NE(scenes[k]->createFluid(d), nullptr);
    }
    // Survivors per face: the particles still inside, told apart by their velocities.
    auto perFace = [](const FluidOut& out) {
        std::array<int, 6> n{};
        for (NxU32 i = 0; i < out.count; ++i) {
            const NxVec3 v = out.velocity(i);
            const float c[3] = {v.x, v.y, v.z};
            const int axis =
                int(std::max_element(c, c + 3,
                                     [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
                    c);
            ++n[size_t(2 * axis + (c[axis] < 0.0f ? 1 : 0))];
        }
        return n;
    };
    const float reach[6] = {hi.x, -lo.x, hi.y, -lo.y, hi.z, -lo.z};
    std::array<int, 6> expected{};
    for (int s = 1; s <= kSteps; ++s) {
        ASSERT_EQ(step(*scenes[0]), 0u);
        ASSERT_EQ(step(*scenes[1]), 0u);
        // After s steps the particle of speed 0.5 j m/s has flown 0.01 j s metres.
        for (int f = 0; f < 6; ++f) {
            expected[size_t(f)] = 0;
            for (int j = 1; j <= kSpeeds; ++j)
                expected[size_t(f)] += 0.01f * float(j * s) <= reach[f];
        }
        ASSERT_EQ(perFace(outs[0]), expected) << "CPU, step " << s;
        ASSERT_EQ(perFace(outs[1]), expected) << "device, step " << s;
    }
    // Every face took particles, and kept some until late in the run.
    for (int f = 0; f < 6; ++f) EXPECT_LT(expected[size_t(f)], kSpeeds) << f;
    EXPECT_GT(expected[4], 0);
}

// The device hands its counts over a step late, with the positions, and the host counts
// the living after aging on the lives of the last hand-over. Fast immortal particles leave
// through the bounds at steps known in advance while an emitter fills the fluid to the
// brim with births that live five steps: every step, the expiries are exactly the births
// of five steps before, the births exactly what the room allows, each birth's age is in
// its life, each face keeps its own survivors, and the count is their sum.
TEST(DeviceSolver, CountsStayExactThroughBirthsExpiriesAndRemovals) {
    constexpr int kSpeeds = 12, kSteps = 100, kAges = 5;
    constexpr NxU32 kFast = 6 * kSpeeds, kCapacity = 100, kBirthsPerStep = 20;
    // 5 mm off the 1 cm grid the fast particles move on: none sits on a face.
    const NxVec3 lo(-1.055f, -2.055f, -3.055f), hi(1.555f, 2.555f, 3.555f);
    std::vector<float> pos(3 * kFast, 0.0f), vel(3 * kFast, 0.0f);
    for (NxU32 i = 0; i < kFast; ++i) {
        const NxU32 face = i / kSpeeds;  // +x, -x, +y, -y, +z, -z
        // 1.5 to 7 m/s, faster than the births' 1 m/s: the speed tells them apart.
        vel[3 * i + face / 2] = (face % 2 ? -0.5f : 0.5f) * float(i % kSpeeds + 3);
    }
    NxBounds3 bounds;
    bounds.set(lo, hi);
    SdkPtr sdk = createHardwareSdk();
    SKIP_WITHOUT_DEVICE(sdk);
    NxSceneDesc desc;
    desc.gravity = NxVec3(0, 0, 0);
    desc.simType = NX_SIMULATION_HW;
    desc.maxBounds = &bounds;
    NxScene* scene = sdk->createScene(desc);
    ASSERT_NE(scene, nullptr);
    // The emitter's frame off every axis the fast particles fly along.
    NxActor* frame = addBox(*scene, NxVec3(0.7f, -1.2f, 0.7f), NxVec3(0.2f, 0.2f, 0.2f), 0.0f);
    FluidOut out(kCapacity);
    NxU32 count = kFast;
    NxFluidDesc d = runFluidDesc(kCapacity);
    d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
    d.damping = 0.0f;
    d.flags |= NX_FF_HARDWARE;
    d.initialParticleData.numParticlesPtr = &count;
    d.initialParticleData.bufferPos = pos.data();
    d.initialParticleData.bufferPosByteStride = 12;
    d.initialParticleData.bufferVel = vel.data();
    d.initialParticleData.bufferVelByteStride = 12;
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    ASSERT_NE(fluid, nullptr);
    NxFluidEmitterDesc e =
        runEmitterDesc(frame->getShapes()[0], kBirthsPerStep / kStep, kAges * kStep);
    e.fluidVelocityMagnitude = 1.0f;
    fluid->createEmitter(e);

    const float reach[6] = {hi.x, -lo.x, hi.y, -lo.y, hi.z, -lo.z};
    std::array<int, kAges> births{};  // births by age in steps, as they should be
    NxU32 before = kFast;
    int fastLeft = int(kFast);
    bool fullAndLeaving = false;
    for (int s = 1; s <= kSteps; ++s) {
        ASSERT_EQ(step(*scene), 0u) << "step " << s;
        const int emitted = stat(*scene, "FluidParticlesEmitted");
        const int expired = stat(*scene, "FluidParticlesExpired");
        ASSERT_EQ(expired, births[kAges - 1]) << "step " << s;
        const int room = int(kCapacity) - (int(before) - expired);
        ASSERT_EQ(emitted, std::min(int(kBirthsPerStep), room)) << "step " << s;
        for (int a = kAges - 1; a > 0; --a) births[size_t(a)] = births[size_t(a - 1)];
        births[0] = emitted;

        std::array<int, 6> fast{}, expectedFast{};
        std::array<int, kAges> ages{};
        for (NxU32 i = 0; i < out.count; ++i) {
            const NxVec3 v = out.velocity(i);
            if (v.magnitude() < 1.25f) {
                // Born a steps ago: (5 - a) steps of life left.
                const float life = out.life[3 * i];
                const int a = int(std::lround((kAges * kStep - life) / kStep));
                ASSERT_GE(a, 0) << "step " << s << ", life " << life;
                ASSERT_LT(a, kAges) << "step " << s << ", life " << life;
                ASSERT_NEAR(life, float(kAges - a) * kStep, 1e-4f) << "step " << s;
                ++ages[size_t(a)];
                continue;
            }
            const float c[3] = {v.x, v.y, v.z};
            const int axis =
                int(std::max_element(c, c + 3,
                                     [](float x, float y) { return std::fabs(x) < std::fabs(y); }) -
                    c);
            ++fast[size_t(2 * axis + (c[axis] < 0.0f ? 1 : 0))];
        }
        // After s steps the particle of speed 0.5 (j + 2) m/s has flown 0.01 (j + 2) s m.
        for (int f = 0; f < 6; ++f)
            for (int j = 1; j <= kSpeeds; ++j)
                expectedFast[size_t(f)] += 0.01f * float((j + 2) * s) <= reach[f];
        ASSERT_EQ(fast, expectedFast) << "step " << s;
        ASSERT_EQ(ages, births) << "step " << s;
        fastLeft = 0;
        for (int n : fast) fastLeft += n;
        int total = fastLeft;
        for (int n : births) total += n;
        ASSERT_EQ(out.count, NxU32(total)) << "step " << s;
        ASSERT_EQ(fluid->getNbParticles(), out.count) << "step " << s;
        fullAndLeaving = fullAndLeaving || (before == kCapacity && room > 0 && room < 20);
        before = out.count;
    }
    // The fluid was full and lost fast particles while the emitter filled it up again;
    // most of them have left by the end.
    EXPECT_TRUE(fullAndLeaving);
    EXPECT_LT(fastLeft, int(kFast) / 2);
    EXPECT_GT(fastLeft, 0);
}

TEST(DeviceSolver, WithoutInteractionParticlesFlyAsOnTheCpu) {
    // No pair forces: the particles fall, hit the ground and a sphere, and the two solvers
    // agree to float rounding (only the order of the particles differs).
    FluidOut outs[2] = {FluidOut(300), FluidOut(300)};
    SdkPtr sdks[2] = {createSdk(), createHardwareSdk()};
    SKIP_WITHOUT_DEVICE(sdks[1]);
    NxScene* scenes[2] = {createScene(*sdks[0]), createHardwareScene(*sdks[1])};
    ASSERT_NE(scenes[1], nullptr);
    for (int k = 0; k < 2; ++k) {
        addPlane(*scenes[k], NxVec3(0, 1, 0), 0.0f);
        addSphere(*scenes[k], NxVec3(0.1f, 0.4f, 0.0f), 0.4f);
        Lattice lattice(NxVec3(-0.5f, 1.0f, -0.5f), NxVec3(0.5f, 1.5f, 0.5f), kSpacing);
        NxFluidDesc d = runFluidDesc(300);
        d.simulationMethod = NX_F_NO_PARTICLE_INTERACTION;
        if (k == 1) d.flags |= NX_FF_HARDWARE;
        lattice.attach(d.initialParticleData);
        outs[k].attach(d.particlesWriteData);
        ASSERT_NE(scenes[k]->createFluid(d), nullptr);
    }
    for (int s = 0; s < 80; ++s) {
        step(*scenes[0]);
        ASSERT_EQ(step(*scenes[1]), 0u);
        ASSERT_EQ(outs[1].count, outs[0].count);
    }
    const Moments a = moments(outs[0]), b = moments(outs[1]);
    EXPECT_LT((a.centre - b.centre).magnitude(), 2e-3f);
    EXPECT_GE(b.minY, kContact * 0.99f);
    for (NxU32 i = 0; i < outs[1].count; ++i) {
        EXPECT_EQ(outs[1].density[i], 1000.0f);  // the rest density without interaction
        EXPECT_GE((outs[1].position(i) - NxVec3(0.1f, 0.4f, 0.0f)).magnitude(),
                  0.4f + kContact * 0.9f);
    }
}

TEST(DeviceSdk, AnswersWithAndWithoutHardware) {
    // Kept off hardware: no processors, and hardware scenes and fluids are refused.
    SdkPtr cpuOnly = createSdkWith(NX_SDKF_NO_HARDWARE);
    setenv("PLASHWERK_OPENCL_DEVICE", "cpu", 1);
    SdkPtr offHardware = createSdkWith(NX_SDKF_NO_HARDWARE);
    for (NxPhysicsSDK* sdk : {cpuOnly.get(), offHardware.get()}) {
        EXPECT_EQ(sdk->getNbPPUs(), 0u);
        EXPECT_EQ(sdk->getHWVersion(), NX_HW_VERSION_NONE);
        EXPECT_EQ(createHardwareScene(*sdk), nullptr);
        NxScene* scene = createScene(*sdk);
        NxFluidDesc d = runFluidDesc(100);
        d.flags |= NX_FF_HARDWARE;
        EXPECT_EQ(scene->createFluid(d), nullptr);
    }

    // Without the variable a CPU device never counts.
    unsetenv("PLASHWERK_OPENCL_DEVICE");
    for (cl_device_id device : nxsdk::findPhysicsDevices()) {
        cl_device_type type = 0;
        clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
        EXPECT_EQ(type & CL_DEVICE_TYPE_CPU, 0u);
    }

    SdkPtr sdk = createHardwareSdk();
    SKIP_WITHOUT_DEVICE(sdk);
    EXPECT_NE(sdk->getHWVersion(), NX_HW_VERSION_NONE);
    NxScene* hardware = createHardwareScene(*sdk);
    ASSERT_NE(hardware, nullptr);
    EXPECT_EQ(hardware->getSimType(), NX_SIMULATION_HW);
    NxFluidDesc d = runFluidDesc(100);
    d.flags |= NX_FF_HARDWARE;
    NxFluid* fluid = hardware->createFluid(d);
    ASSERT_NE(fluid, nullptr);
    EXPECT_NE(fluid->getFlags() & NX_FF_HARDWARE, 0u);
    // A hardware fluid is refused in a software scene of the same SDK.
    EXPECT_EQ(createScene(*sdk)->createFluid(d), nullptr);
    // The software fluids of a hardware scene still run (on the CPU).
    d.flags &= ~NxU32(NX_FF_HARDWARE);
    EXPECT_NE(hardware->createFluid(d), nullptr);
}

TEST(DeviceSolver, DeviceFailureFailsTheStepAndTheNextStepsGoOn) {
    SdkPtr sdk = createHardwareSdk();
    SKIP_WITHOUT_DEVICE(sdk);
    NxScene* scene = createHardwareScene(*sdk);
    ASSERT_NE(scene, nullptr);
    addPlane(*scene, NxVec3(0, 1, 0), 0.0f);
    addPlane(*scene, NxVec3(0, -1, 0), -3.0f);  // a drain-free lid; removals stay off
    NxActor* frame = addBox(*scene, NxVec3(0, 0.5f, 0), NxVec3(1, 1, 1), 0.0f);
    FluidOut out(300);
    NxFluidDesc d = runFluidDesc(300);
    d.flags |= NX_FF_HARDWARE;
    out.attach(d.particlesWriteData);
    NxFluid* fluid = scene->createFluid(d);
    ASSERT_NE(fluid, nullptr);
    NxFluidEmitterDesc e = runEmitterDesc(frame->getShapes()[0], 200.0f, 1.0f);
    e.fluidVelocityMagnitude = 3.0f;
    fluid->createEmitter(e);
    for (int s = 0; s < 20; ++s) ASSERT_EQ(step(*scene), 0u);

    // A failure at every point of a step in turn: the step reports the code, leaves the
    // caller's buffers as they were, and the steps after it run again.
    for (uint32_t at = 0; at < 24; ++at) {
        const FluidOut before = out;
        nxsdk::injectDeviceFailure(CL_OUT_OF_RESOURCES, at);
        const NxU32 error = step(*scene);
        if (error == 0) {  // the step had fewer calls than `at`: the failure comes later
            nxsdk::injectDeviceFailure(CL_SUCCESS);
            break;
        }
        EXPECT_EQ(error, NxU32(-CL_OUT_OF_RESOURCES)) << at;
        EXPECT_EQ(out.count, before.count) << at;
        EXPECT_EQ(out.pos, before.pos) << at;
        for (int s = 0; s < 3; ++s) ASSERT_EQ(step(*scene), 0u) << at;
        ASSERT_LE(out.count, 300u);
        // The failed step lost a step's births at most, never the fluid.
        EXPECT_GE(out.count, before.count / 2) << at;
        for (NxU32 i = 0; i < out.count; ++i) {
            ASSERT_TRUE(out.position(i).isFinite()) << at;
            ASSERT_GE(out.position(i).y, 0.0f) << at;
        }
    }
    EXPECT_GT(out.count, 0u);
}

}  // namespace
