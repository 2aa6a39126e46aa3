#include <array>
#include <cmath>

#include "platform/physx/nx_physics.h"

bool NxPhysicsSDKDesc::isValid() const {
    const bool pageIsPowerOfTwo = hwPageSize != 0 && (hwPageSize & (hwPageSize - 1)) == 0;
    const NxU32 knownFlags = NX_SDKF_NO_HARDWARE | NX_SDKF_PER_SCENE_BATCHING;
    return pageIsPowerOfTwo && (flags & ~knownFlags) == 0;
}

namespace {

class PhysicsSDK final : public NxPhysicsSDK {
public:
    PhysicsSDK() {
        m_params.fill(0.0f);
        m_params[NX_SKIN_WIDTH] = 0.025f;
        m_params[NX_DEFAULT_SLEEP_LIN_VEL_SQUARED] = 0.15f * 0.15f;
        m_params[NX_DEFAULT_SLEEP_ANG_VEL_SQUARED] = 0.14f * 0.14f;
        m_params[NX_CCD_EPSILON] = 0.01f;
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

    NxHWVersion getHWVersion() const override { return NX_HW_VERSION_NONE; }
    NxU32 getNbPPUs() const override { return 0; }

    NxScene* createScene(const NxSceneDesc&) override { return nullptr; }
    void releaseScene(NxScene&) override {}
    NxU32 getNbScenes() const override { return 0; }
    NxScene* getScene(NxU32) override { return nullptr; }

private:
    std::array<NxReal, NX_PARAMS_NUM_VALUES> m_params;
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
    return error == NXCE_NO_ERROR ? new PhysicsSDK : nullptr;
}
