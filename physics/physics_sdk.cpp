// The run's physics SDK: start-up with its version fall-back, fluid scenes, statistics and
// shut-down.

#include <mutex>

#include "physics/demo_scene_physics.h"
#include "physics/physics_descriptors.h"
#include "physics/physics_settings.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"

namespace plashwerk {

using Vantorr_nsp::logTrace;
using Vantorr_nsp::VN_TRACE_ERROR;
using Vantorr_nsp::VN_TRACE_INFO;

namespace {

// The SDK releases the program asks for, newest first.
constexpr int kSdkMajor = 2;
constexpr int kSdkMinor = 8;
constexpr int kNewestSdkBugfix = 4;
constexpr int kOldestSdkBugfix = 1;

const char* const kStarLine =
    "**********************************************************************";

}  // namespace

DemoScenePhysics::DemoScenePhysics(const PhysicsSettings& settings)
    : sdk_factory(NxCreatePhysicsSDK), m_options(settings) {}

DemoScenePhysics::~DemoScenePhysics() {
    releaseFluidSimulations();
}

bool DemoScenePhysics::startPhysics(int major, int minor, int bugfix) {
    if (physics_sdk) return true;
    if (major == -1 || minor == -1 || bugfix == -1) {
        major = kSdkMajor;
        minor = kSdkMinor;
        bugfix = kNewestSdkBugfix;
    }
    sdk_version_major = major;
    sdk_version_minor = minor;
    sdk_version_bugfix = bugfix;

    const NxPhysicsSDKDesc desc = makePhysicsSdkDesc(m_options);
    if (m_options.z2o_physx_gpu_mem)
        logTrace(VN_TRACE_INFO, "NVIDIA PhysX engine init - gpuHeapSize=512MB");
    else
        logTrace(VN_TRACE_INFO, "NVIDIA PhysX engine init - gpuHeapSize=%dMB",
                 m_options.physx_gpu_heap_size);

    NxPhysicsSDK* sdk = sdk_factory ? sdk_factory(NxSdkVersionWord(major, minor, bugfix), nullptr,
                                                  nullptr, desc, nullptr, kPhysicsApplicationGuid)
                                    : nullptr;
    if (!sdk) {
        logTrace(VN_TRACE_ERROR,
                 "NVIDIA PhysX initialization failed. Could not start NVIDIA PhysX Engine "
                 "version %d.%d.%d",
                 major, minor, bugfix);
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        physics_sdk = sdk;
    }

    ppu_count = sdk->getNbPPUs();
    logTrace(VN_TRACE_INFO, "NVIDIA PhysX engine - # of PPUs detected: %d",
             static_cast<int>(ppu_count));

    physx_hardware_present = sdk->getHWVersion() != NX_HW_VERSION_NONE;
    logTrace(VN_TRACE_INFO,
             physx_hardware_present
                 ? "NVIDIA PhysX: PhysX hardware detected (NX_HW_VERSION_ATHENA_1_0)."
                 : "NVIDIA PhysX: PhysX hardware not detected (NX_HW_VERSION_NONE).");

    for (const auto& [parameter, value] : kSdkParameters) sdk->setParameter(parameter, value);

    logTrace(VN_TRACE_INFO, "NVIDIA PhysX engine version %d.%d.%d successfully started.", major,
             minor, bugfix);
    return true;
}

bool DemoScenePhysics::startPhysicsWithFallback() {
    for (int bugfix = kNewestSdkBugfix; bugfix >= kOldestSdkBugfix; --bugfix)
        if (startPhysics(kSdkMajor, kSdkMinor, bugfix)) return true;
    showErrorBox("PhysX Engine 2.8.%d initialization failed. Verify your PhysX driver.",
                 kOldestSdkBugfix);
    return false;
}

bool DemoScenePhysics::shutdownPhysics() {
    std::lock_guard lock(m_mutex);
    if (physics_sdk) {
        physics_sdk->release();
        physics_sdk = nullptr;
        logTrace(VN_TRACE_INFO, "NVIDIA PhysX shutdown ok.");
    }
    return true;
}

NxScene* DemoScenePhysics::createFluidScene() {
    if (!physics_sdk) return nullptr;
    NxSceneDesc desc = makeFluidSceneDesc(m_options, physx_hardware_present);
    NxScene* scene = physics_sdk->createScene(desc);
    if (!scene) {
        if (desc.simType != NX_SIMULATION_HW) {
            logTrace(VN_TRACE_ERROR, "NVIDIA PhysX: could not create PhysX scene!");
            return nullptr;
        }
        // No room (or no support) for the scene in hardware: simulate it on the CPU.
        desc.simType = NX_SIMULATION_SW;
        scene = physics_sdk->createScene(desc);
        if (!scene) return nullptr;
    }
    m_gpu_physx_active = desc.simType == NX_SIMULATION_HW;

    if (NxMaterial* material = scene->getMaterialFromIndex(0))
        material->loadFromDesc(makeDefaultMaterialDesc());
    scene->setTiming(kInitialMaxTimestep, kInitialMaxIter, NX_TIMESTEP_FIXED);
    return scene;
}

bool DemoScenePhysics::releaseFluidScene(NxScene* scene) {
    if (!physics_sdk || !scene) return false;
    physics_sdk->releaseScene(*scene);
    return true;
}

bool DemoScenePhysics::dumpSceneStats() {
    // Called from the window thread: the lock keeps the scenes from being created or
    // released under it.
    std::lock_guard lock(m_mutex);
    if (!physics_sdk) return false;
    for (size_t i = 0; i < fluid_simulations.size(); ++i) {
        const FluidSimulation* simulation = fluid_simulations[i].get();
        if (!simulation || !simulation->scene) continue;
        logTrace(VN_TRACE_INFO, "%s", kStarLine);
        logTrace(VN_TRACE_INFO,
                 "***************************************[ Stats of PhysX scene %d: ]***",
                 static_cast<int>(i));
        logTrace(VN_TRACE_INFO, "%s", kStarLine);
        const NxSceneStats2* stats = simulation->scene->getStats2();
        if (!stats || (stats->numStats > 0 && !stats->stats)) {
            logTrace(VN_TRACE_INFO, "- no stats available!");
            continue;
        }
        for (NxU32 s = 0; s < stats->numStats; ++s) {
            const NxSceneStatistic& statistic = stats->stats[s];
            logTrace(VN_TRACE_INFO, "- %s:  %d", statistic.name ? statistic.name : "",
                     static_cast<int>(statistic.curValue));
        }
    }
    return true;
}

}  // namespace plashwerk
