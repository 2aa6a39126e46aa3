// Speed of the particle solver behind our physics SDK.
//
//   SettledPool/<particles>/<threads>  one scene, a pool at rest in a box
//   DefaultLayout/<threads>            four scenes as a run builds them with the default
//                                      settings (one emitter each, 2000 particles per second,
//                                      15 s lifetime: about 30000 live particles per scene),
//                                      stepped as the physics thread steps them: every scene
//                                      started, then every scene fetched
//   DeviceSettledPool/<particles>      the settled pool as a hardware fluid on the OpenCL
//                                      device
//   DeviceDefaultLayout                the default layout as a run builds it with hardware:
//                                      one hardware scene holding the four fluids
//
// The device benchmarks use the first physics device; PLASHWERK_OPENCL_DEVICE=cpu lets
// them run on a CPU OpenCL implementation. Without a device they are skipped.
// <threads> 1 runs everything on the calling thread (scene flags 0); 0 is the run's own
// arrangement with every processor: scene flags 0x4C (own thread per scene, steps spread
// over the workers) and, in the default layout, each fluid in a fluid compartment. One
// iteration is one 0.02 s step of every scene. Counters: steps_per_s, neighbours_per_particle,
// pair_evals_per_s (particle-neighbour pairs visited per second, both passes).
// The starting states are built once per process (settling and filling take a while) and
// handed to every run as initial particles.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "physics/physics_descriptors.h"
#include "physics/physics_settings.h"
#include "platform/physx/nx_physics.h"
#include "platform/physx/opencl/cl_runtime.h"
#include "platform/physx/sph_passes.h"

namespace {

constexpr float kStep = 0.02f;
constexpr NxU32 kCapacity = 65000;
constexpr NxU32 kSceneFlagsThreaded =
    NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_ENABLE_MULTITHREAD | NX_SF_DISABLE_SCENE_MUTEX;

struct Snapshot {
    std::vector<float> pos, vel, life;
    NxU32 count = 0;
};

struct FluidBuffers {
    std::vector<float> pos, vel, life, density;
    std::vector<NxU32> ids;
    NxU32 count = 0;
    FluidBuffers()
        : pos(3 * kCapacity),
          vel(3 * kCapacity),
          life(3 * kCapacity),
          density(kCapacity),
          ids(kCapacity) {}
};

// The fluid descriptor the program itself builds for a run, with these buffers attached.
NxFluidDesc runFluidDesc(FluidBuffers& b, bool hardware = false) {
    NxFluidDesc d = plashwerk::makeFluidDesc(plashwerk::PhysicsSettings{}, kCapacity, hardware);
    NxParticleData& w = d.particlesWriteData;
    w.numParticlesPtr = &b.count;
    w.bufferPos = b.pos.data();
    w.bufferPosByteStride = 12;
    w.bufferVel = b.vel.data();
    w.bufferVelByteStride = 12;
    w.bufferLife = b.life.data();
    w.bufferLifeByteStride = 12;
    w.bufferDensity = b.density.data();
    w.bufferDensityByteStride = 4;
    w.bufferId = b.ids.data();
    w.bufferIdByteStride = 4;
    return d;
}

NxPhysicsSDK* createSdk(bool hardware = false) {
    NxPhysicsSDKDesc desc;
    desc.flags =
        hardware ? NX_SDKF_PER_SCENE_BATCHING : NX_SDKF_NO_HARDWARE | NX_SDKF_PER_SCENE_BATCHING;
    return NxCreatePhysicsSDK(NX_SDK_VERSION_NUMBER, nullptr, nullptr, desc, nullptr, nullptr);
}

NxScene* createScene(NxPhysicsSDK* sdk, NxU32 flags, bool hardware = false) {
    NxSceneDesc desc;
    desc.gravity = NxVec3(0, -14.8f, 0);
    desc.flags = flags;
    desc.simType = hardware ? NX_SIMULATION_HW : NX_SIMULATION_SW;
    NxScene* scene = sdk->createScene(desc);
    if (!scene) return nullptr;
    NxMaterialDesc m;
    m.dynamicFriction = m.staticFriction = 0.2f;
    m.restitution = 0.5f;
    scene->getMaterialFromIndex(0)->loadFromDesc(m);
    return scene;
}

// The compartment a run puts each fluid in when the physics is multithreaded.
NxCompartment* createFluidCompartment(NxScene* scene) {
    NxCompartmentDesc c;
    c.type = NX_SCT_FLUID;
    c.deviceCode = NX_DC_CPU;
    c.gridHashCellSize = 100.0f;
    c.gridHashTablePower = 8;
    c.flags = NX_CF_INHERIT_SETTINGS;
    c.threadMask = 0;
    c.timeScale = 1.0f;
    return scene->createCompartment(c);
}

void addPlane(NxScene* scene, const NxVec3& n, float d) {
    NxPlaneShapeDesc plane;
    plane.normal = n;
    plane.d = d;
    NxActorDesc actor;
    actor.shapes.pushBack(&plane);
    scene->createActor(actor);
}

NxActor* addBox(NxScene* scene, const NxVec3& pos, const NxVec3& size, bool kinematic) {
    NxBoxShapeDesc box;
    box.dimensions = size * 0.5f;
    NxBodyDesc body;
    NxActorDesc actor;
    actor.shapes.pushBack(&box);
    actor.body = &body;
    actor.density = 2.0f;
    actor.globalPose.t = pos;
    NxActor* a = scene->createActor(actor);
    if (a && kinematic) a->raiseBodyFlag(NX_BF_KINEMATIC);
    return a;
}

// The obstacles of every run scene: ground, four spheres, the pillar.
void addRunObstacles(NxScene* scene) {
    addPlane(scene, NxVec3(0, 1, 0), 0.0f);
    const float spheres[4][4] = {
        {5, 8.5f, -0.5f, 2}, {2, 5, 8, 3}, {6, 7, -6, 3}, {-1, 3.8f, 1.5f, 4}};
    for (const auto& s : spheres) {
        NxSphereShapeDesc sphere;
        sphere.radius = s[3];
        NxActorDesc actor;
        actor.shapes.pushBack(&sphere);
        actor.globalPose.t = NxVec3(s[0], s[1], s[2]);
        scene->createActor(actor);
    }
    addBox(scene, NxVec3(0, 4, -4), NxVec3(2, 8, 2), false);
}

// Emitter k of n on the circle of radius 15, tilted as a run tilts it.
void addRunEmitter(NxScene* scene, NxFluid* fluid, int k, int n) {
    const float a = 2.0f * NxPi * float(k) / float(n);
    NxActor* frame = addBox(scene, NxVec3(15.0f * std::sin(a), 0.5f, -15.0f * std::cos(a)),
                            NxVec3(0.5f, 1.0f, 0.5f), true);
    NxFluidEmitterDesc e;
    NxMat33 rx, ry;
    rx.rotX(-1.0f - std::sin(a / 2.0f));
    ry.rotY(-0.6f * std::sin(a));
    e.relPose.M = rx * ry;
    e.relPose.t = NxVec3(0, 0.6f, 0);
    e.frameShape = frame->getShapes()[0];
    e.type = NX_FE_CONSTANT_FLOW_RATE;
    e.shape = NX_FE_RECTANGULAR;
    e.dimensionX = e.dimensionY = 0.2f;
    e.randomPos = NxVec3(0.1f, 0.1f, 0.1f);
    e.randomAngle = 0.2f;
    e.fluidVelocityMagnitude = 100.0f;
    e.rate = 2000.0f;
    e.particleLifetime = 15.0f;
    e.repulsionCoefficient = 0.02f;
    e.flags = NX_FEF_VISUALIZATION | NX_FEF_ADD_BODY_VELOCITY | NX_FEF_ENABLED;
    fluid->createEmitter(e);
}

void stepAll(const std::vector<NxScene*>& scenes) {
    for (NxScene* s : scenes) {
        s->setTiming(kStep, 1, NX_TIMESTEP_FIXED);
        s->simulate(kStep);
        s->flushStream();
    }
    for (NxScene* s : scenes) {
        NxU32 error = 0;
        s->fetchResults(NX_RIGID_BODY_FINISHED, true, &error);
    }
}

Snapshot snapshotOf(const FluidBuffers& b) {
    Snapshot s;
    s.count = b.count;
    s.pos.assign(b.pos.begin(), b.pos.begin() + 3 * b.count);
    s.vel.assign(b.vel.begin(), b.vel.begin() + 3 * b.count);
    s.life.resize(b.count);
    for (NxU32 i = 0; i < b.count; ++i) s.life[i] = b.life[3 * i];
    return s;
}

void setInitial(NxFluidDesc& d, Snapshot& s) {
    NxParticleData& p = d.initialParticleData;
    p.numParticlesPtr = &s.count;
    p.bufferPos = s.pos.data();
    p.bufferPosByteStride = 12;
    p.bufferVel = s.vel.data();
    p.bufferVelByteStride = 12;
    p.bufferLife = s.life.data();
    p.bufferLifeByteStride = 4;
}

// A box of 10 x 10 m (walls are planes) with `count` particles settled in it.
constexpr float kPoolHalf = 5.0f;

void addPoolWalls(NxScene* scene) {
    addPlane(scene, NxVec3(0, 1, 0), 0.0f);
    addPlane(scene, NxVec3(1, 0, 0), -kPoolHalf);
    addPlane(scene, NxVec3(-1, 0, 0), -kPoolHalf);
    addPlane(scene, NxVec3(0, 0, 1), -kPoolHalf);
    addPlane(scene, NxVec3(0, 0, -1), -kPoolHalf);
}

Snapshot& settledPool(NxU32 count) {
    static std::map<NxU32, Snapshot> cache;
    auto it = cache.find(count);
    if (it != cache.end()) return it->second;
    NxPhysicsSDK* sdk = createSdk();
    NxScene* scene = createScene(sdk, kSceneFlagsThreaded);
    addPoolWalls(scene);
    // Start on the rest lattice, then let it settle under gravity.
    Snapshot start;
    const float s = 1.0f / 7.0f;
    const int side = int(2.0f * kPoolHalf / s) - 2;
    for (NxU32 i = 0; i < count; ++i) {
        const int x = int(i % NxU32(side)), z = int((i / NxU32(side)) % NxU32(side)),
                  y = int(i / NxU32(side * side));
        start.pos.insert(start.pos.end(), {-kPoolHalf + s * (x + 1.5f), s * (y + 0.5f),
                                           -kPoolHalf + s * (z + 1.5f)});
        start.vel.insert(start.vel.end(), {0, 0, 0});
        start.life.push_back(0.0f);
    }
    start.count = count;
    FluidBuffers b;
    NxFluidDesc d = runFluidDesc(b);
    setInitial(d, start);
    scene->createFluid(d);
    for (int k = 0; k < 300; ++k) stepAll({scene});
    Snapshot& snap = cache[count] = snapshotOf(b);
    sdk->release();
    return snap;
}

// Four run scenes filled until the emission and the expiry balance (15 s of emission).
std::vector<Snapshot>& defaultLayoutState() {
    static std::vector<Snapshot> cache;
    if (!cache.empty()) return cache;
    NxPhysicsSDK* sdk = createSdk();
    std::vector<NxScene*> scenes;
    std::vector<std::unique_ptr<FluidBuffers>> buffers;
    for (int k = 0; k < 4; ++k) {
        NxScene* scene = createScene(sdk, kSceneFlagsThreaded);
        buffers.push_back(std::make_unique<FluidBuffers>());
        NxFluidDesc d = runFluidDesc(*buffers.back());
        d.compartment = createFluidCompartment(scene);
        NxFluid* fluid = scene->createFluid(d);
        addRunObstacles(scene);
        addRunEmitter(scene, fluid, k, 4);
        scenes.push_back(scene);
    }
    for (int s = 0; s < int(15.0f / kStep) + 50; ++s) stepAll(scenes);
    for (auto& b : buffers) cache.push_back(snapshotOf(*b));
    sdk->release();
    return cache;
}

void reportCounters(benchmark::State& state, const std::vector<NxScene*>& scenes) {
    double particles = 0, pairs = 0, evaluations = 0;
    for (NxScene* s : scenes) {
        const NxSceneStats2* st = s->getStats2();
        for (NxU32 k = 0; k < st->numStats; ++k) {
            const std::string name = st->stats[k].name;
            if (name == "FluidParticles") particles += st->stats[k].curValue;
            if (name == "FluidNeighbourPairs") pairs += st->stats[k].curValue;
            if (name == "FluidPairEvaluations") evaluations += st->stats[k].curValue;
        }
    }
    const double steps = double(state.iterations());
    state.counters["steps_per_s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
    state.counters["particles"] = particles;
    state.counters["neighbours_per_particle"] = particles > 0 ? pairs / particles : 0.0;
    state.counters["pair_evals_per_s"] =
        benchmark::Counter(evaluations * steps, benchmark::Counter::kIsRate);
    state.SetLabel(nxsdk::sphPasses().name);
}

NxU32 flagsFor(int threads) {
    return threads == 1 ? 0u : kSceneFlagsThreaded;
}

void SettledPool(benchmark::State& state) {
    Snapshot& snap = settledPool(NxU32(state.range(0)));
    NxPhysicsSDK* sdk = createSdk();
    NxScene* scene = createScene(sdk, flagsFor(int(state.range(1))));
    addPoolWalls(scene);
    FluidBuffers b;
    NxFluidDesc d = runFluidDesc(b);
    setInitial(d, snap);
    scene->createFluid(d);
    stepAll({scene});
    for (auto _ : state) stepAll({scene});
    reportCounters(state, {scene});
    sdk->release();
}

void DefaultLayout(benchmark::State& state) {
    std::vector<Snapshot>& snaps = defaultLayoutState();
    NxPhysicsSDK* sdk = createSdk();
    std::vector<NxScene*> scenes;
    std::vector<std::unique_ptr<FluidBuffers>> buffers;
    for (int k = 0; k < 4; ++k) {
        NxScene* scene = createScene(sdk, flagsFor(int(state.range(0))));
        buffers.push_back(std::make_unique<FluidBuffers>());
        NxFluidDesc d = runFluidDesc(*buffers.back());
        setInitial(d, snaps[size_t(k)]);
        if (state.range(0) != 1) d.compartment = createFluidCompartment(scene);
        NxFluid* fluid = scene->createFluid(d);
        addRunObstacles(scene);
        addRunEmitter(scene, fluid, k, 4);
        scenes.push_back(scene);
    }
    stepAll(scenes);
    for (auto _ : state) stepAll(scenes);
    reportCounters(state, scenes);
    sdk->release();
}

// The label of a device benchmark: the physics device's name and the work-group size its
// kernels aim at (PLASHWERK_OPENCL_GROUP tries others).
std::string deviceLabel() {
    const std::vector<cl_device_id> found = nxsdk::findPhysicsDevices();
    std::string name = "?";
    if (!found.empty()) {
        char text[256] = {};
        clGetDeviceInfo(found[0], CL_DEVICE_NAME, sizeof text - 1, text, nullptr);
        name = text;
    }
    const char* group = std::getenv("PLASHWERK_OPENCL_GROUP");
    return "OpenCL: " + name + (group && *group ? std::string(", group ") + group : "");
}

// A hardware SDK with its hardware scene, or null (and the benchmark skipped) without one.
NxScene* deviceScene(benchmark::State& state, NxPhysicsSDK*& sdk) {
    sdk = createSdk(true);
    NxScene* scene =
        sdk && sdk->getNbPPUs() ? createScene(sdk, kSceneFlagsThreaded, true) : nullptr;
    if (!scene) state.SkipWithError("no OpenCL physics device");
    return scene;
}

void DeviceSettledPool(benchmark::State& state) {
    Snapshot& snap = settledPool(NxU32(state.range(0)));
    NxPhysicsSDK* sdk = nullptr;
    NxScene* scene = deviceScene(state, sdk);
    if (scene) {
        addPoolWalls(scene);
        FluidBuffers b;
        NxFluidDesc d = runFluidDesc(b, true);
        setInitial(d, snap);
        if (!scene->createFluid(d)) state.SkipWithError("hardware fluid refused");
        stepAll({scene});
        for (auto _ : state) stepAll({scene});
        reportCounters(state, {scene});
        state.SetLabel(deviceLabel());
    }
    if (sdk) sdk->release();
}

void DeviceDefaultLayout(benchmark::State& state) {
    std::vector<Snapshot>& snaps = defaultLayoutState();
    NxPhysicsSDK* sdk = nullptr;
    NxScene* scene = deviceScene(state, sdk);
    if (scene) {
        std::vector<std::unique_ptr<FluidBuffers>> buffers;
        addRunObstacles(scene);
        for (int k = 0; k < 4; ++k) {
            buffers.push_back(std::make_unique<FluidBuffers>());
            NxFluidDesc d = runFluidDesc(*buffers.back(), true);
            setInitial(d, snaps[size_t(k)]);
            NxFluid* fluid = scene->createFluid(d);
            if (!fluid) {
                state.SkipWithError("hardware fluid refused");
                break;
            }
            addRunEmitter(scene, fluid, k, 4);
        }
        stepAll({scene});
        for (auto _ : state) stepAll({scene});
        reportCounters(state, {scene});
        state.SetLabel(deviceLabel());
    }
    if (sdk) sdk->release();
}

BENCHMARK(SettledPool)
    ->ArgNames({"particles", "threads"})
    ->Args({30000, 1})
    ->Args({30000, 0})
    ->Args({65000, 1})
    ->Args({65000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(DefaultLayout)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(DeviceSettledPool)
    ->ArgName("particles")
    ->Arg(65000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(DeviceDefaultLayout)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
