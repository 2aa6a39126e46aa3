#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/physx/nx_physics.h"
#include "platform/physx/opencl/cl_runtime.h"
#include "platform/physx/physics_scene.h"
#include "platform/physx/worker_pool.h"

bool NxPhysicsSDKDesc::isValid() const {
    const bool pageIsPowerOfTwo = hwPageSize != 0 && (hwPageSize & (hwPageSize - 1)) == 0;
    const NxU32 knownFlags = NX_SDKF_NO_HARDWARE | NX_SDKF_PER_SCENE_BATCHING;
    return pageIsPowerOfTwo && (flags & ~knownFlags) == 0;
}

namespace {

class PhysicsSDK final : public NxPhysicsSDK {
  public:
    explicit PhysicsSDK(const NxPhysicsSDKDesc& desc) {
        // The physics processors: OpenCL devices, unless the SDK was asked to stay off
        // hardware.
        if (!(desc.flags & NX_SDKF_NO_HARDWARE)) m_devices = nxsdk::findPhysicsDevices();
        m_params.fill(0.0f);
        m_params[NX_SKIN_WIDTH] = 0.025f;
        m_params[NX_DEFAULT_SLEEP_LIN_VEL_SQUARED] = 0.15f * 0.15f;
        m_params[NX_DEFAULT_SLEEP_ANG_VEL_SQUARED] = 0.14f * 0.14f;
        m_params[NX_CCD_EPSILON] = 0.01f;
    }

    ~PhysicsSDK() override {
        // Scenes first: their threads may still be using the worker pool.
        m_scenes.clear();
    }

    void release() override { delete this; }

    bool setParameter(NxParameter parameter, NxReal value) override {
        if (parameter < 0 || parameter >= NX_PARAMS_NUM_VALUES || !std::isfinite(value))
            return false;
        m_params[parameter] = value;
        return true;
    }
    NxReal getParameter(NxParameter parameter) const override {
        if (parameter < 0 || parameter >= NX_PARAMS_NUM_VALUES) return 0.0f;
        return m_params[parameter];
    }

    NxHWVersion getHWVersion() const override {
        return m_devices.empty() ? NX_HW_VERSION_NONE : NX_HW_VERSION_ATHENA_1_0;
    }
    NxU32 getNbPPUs() const override { return NxU32(m_devices.size()); }

    NxScene* createScene(const NxSceneDesc& desc) override {
        if (!desc.isValid()) return nullptr;
        // A hardware scene gets the first device, with the fluid program built for it
        // once. Without hardware, or when the device will not take the program, it is
        // refused, so callers fall back to software.
        std::shared_ptr<nxsdk::ClDevice> device;
        if (desc.simType == NX_SIMULATION_HW) {
            if (m_devices.empty()) return nullptr;
            std::string error;
            device = nxsdk::ClDevice::create(m_devices.front(), error);
            if (!device) return nullptr;
        } else if (desc.simType != NX_SIMULATION_SW) {
            return nullptr;
        }
        unsigned helpers = 0;
        if (desc.flags & NX_SF_ENABLE_MULTITHREAD) {
            const unsigned threads = desc.internalThreadCount
                                         ? desc.internalThreadCount
                                         : std::max(1u, std::thread::hardware_concurrency());
            helpers = threads - 1;
            m_pool.reserveWorkers(helpers);
        }
        auto scene = std::unique_ptr<nxsdk::Scene>(
            new (std::nothrow) nxsdk::Scene(*this, desc, m_pool, helpers, device));
        if (!scene) return nullptr;
        m_scenes.push_back(std::move(scene));
        return m_scenes.back().get();
    }
    void releaseScene(NxScene& scene) override {
        auto it = std::find_if(m_scenes.begin(), m_scenes.end(),
                               [&](const auto& s) { return s.get() == &scene; });
        if (it != m_scenes.end()) m_scenes.erase(it);
    }
    NxU32 getNbScenes() const override { return NxU32(m_scenes.size()); }
    NxScene* getScene(NxU32 index) override {
        return index < m_scenes.size() ? m_scenes[index].get() : nullptr;
    }

  private:
    std::array<NxReal, NX_PARAMS_NUM_VALUES> m_params;
    std::vector<cl_device_id> m_devices;
    nxsdk::WorkerPool m_pool;  // before the scenes: they go first
    std::vector<std::unique_ptr<nxsdk::Scene>> m_scenes;
};

}  // namespace

NxPhysicsSDK* NxCreatePhysicsSDK(NxU32 sdkVersion, NxUserAllocator*, NxUserOutputStream*,
                                 const NxPhysicsSDKDesc& desc, NxSDKCreateError* errorCode,
                                 const char*) {
    NxSDKCreateError error = NXCE_NO_ERROR;
    if (sdkVersion < NX_SDK_VERSION_OLDEST || sdkVersion > NX_SDK_VERSION_NUMBER)
        error = NXCE_WRONG_VERSION;
    else if (!desc.isValid())
        error = NXCE_DESCRIPTOR_INVALID;
    if (errorCode) *errorCode = error;
    return error == NXCE_NO_ERROR ? new PhysicsSDK(desc) : nullptr;
}
