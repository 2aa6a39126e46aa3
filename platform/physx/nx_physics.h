#pragma once
// Our physics SDK: the 2.8-style entry point, SDK object, descriptors and constants.
// Including this header brings in the whole public SDK.
//
// Contents:
//   version words
//   NxPhysicsSDKDesc and its flags
//   SDK parameters
//   NxPhysicsSDK
//   NxCreatePhysicsSDK
// Elsewhere:
//   nx_foundation.h  vectors, matrices, planes
//   nx_actor.h       materials, shapes, bodies, actors
//   nx_fluid.h       particle buffers, fluids, emitters
//   nx_scene.h       scenes, compartments, statistics, the step calls

#include "platform/physx/nx_foundation.h"
#include "platform/physx/nx_scene.h"

/// Version word of an SDK release: (major << 24) + (minor << 16) + (bugfix << 8).
constexpr NxU32 NxSdkVersionWord(int major, int minor, int bugfix) {
    return (NxU32(major) << 24) + (NxU32(minor) << 16) + (NxU32(bugfix) << 8);
}
/// The oldest and newest SDK versions this SDK answers for.
constexpr NxU32 NX_SDK_VERSION_OLDEST = NxSdkVersionWord(2, 8, 1);
constexpr NxU32 NX_SDK_VERSION_NUMBER = NxSdkVersionWord(2, 8, 4);

class NxUserAllocator;
class NxUserOutputStream;

enum NxSDKCreateError : int {
    NXCE_NO_ERROR = 0,
    NXCE_PHYSX_NOT_FOUND = 1,
    NXCE_WRONG_VERSION = 2,
    NXCE_DESCRIPTOR_INVALID = 3,
};

enum NxSDKCreationFlag : int {
    NX_SDKF_NO_HARDWARE = 1 << 0,         ///< never use physics hardware
    NX_SDKF_PER_SCENE_BATCHING = 1 << 1,  ///< batch work per scene, not per SDK
};

enum NxHWVersion : int { NX_HW_VERSION_NONE = 0, NX_HW_VERSION_ATHENA_1_0 = 0x00010000 };

struct NxPhysicsSDKDesc {
    NxU32 hwPageSize = 65536;           ///< bytes per hardware memory page
    NxU32 hwPageMax = 256;              ///< most hardware pages
    NxU32 hwConvexMax = 2048;           ///< most hardware convex meshes
    NxU32 cookerThreadMask = 0;         ///< processors the cooking thread may use; 0 = any
    NxU32 flags = NX_SDKF_NO_HARDWARE;  ///< NxSDKCreationFlag bits
    NxU32 gpuHeapSize = 32;             ///< MB of GPU memory for physics hardware
    NxU32 meshCacheSize = 0xFFFFFFFF;   ///< bytes; 0xFFFFFFFF = no limit

    /// False when a field is out of range: a page size that is not a power of two, or flags
    /// beyond the known bits.
    bool isValid() const;
};

enum NxParameter : int {
    NX_PENALTY_FORCE = 0,
    NX_SKIN_WIDTH = 1,
    NX_DEFAULT_SLEEP_LIN_VEL_SQUARED = 2,
    NX_DEFAULT_SLEEP_ANG_VEL_SQUARED = 3,
    NX_BOUNCE_THRESHOLD = 4,
    NX_DYN_FRICT_SCALING = 5,
    NX_STA_FRICT_SCALING = 6,
    NX_MAX_ANGULAR_VELOCITY = 7,
    NX_CONTINUOUS_CD = 8,
    NX_CCD_EPSILON = 73,
    NX_PARAMS_NUM_VALUES = 128,
};

class NxPhysicsSDK {
  public:
    virtual ~NxPhysicsSDK() = default;

    /// Destroys the SDK and everything it still owns.
    virtual void release() = 0;

    /// Returns false for an unknown parameter or a value out of its range.
    virtual bool setParameter(NxParameter parameter, NxReal value) = 0;
    virtual NxReal getParameter(NxParameter parameter) const = 0;

    /// NX_HW_VERSION_ATHENA_1_0 with at least one physics processor, else
    /// NX_HW_VERSION_NONE (the SDK then simulates on the CPU only).
    virtual NxHWVersion getHWVersion() const = 0;
    /// Number of physics processors: the OpenCL GPU and accelerator devices found (CPU
    /// devices with PLASHWERK_OPENCL_DEVICE=cpu); 0 with NX_SDKF_NO_HARDWARE.
    virtual NxU32 getNbPPUs() const = 0;

    /// Null when the descriptor is invalid, or asks for hardware simulation and there is
    /// no physics processor or it does not take the fluid program.
    virtual NxScene* createScene(const NxSceneDesc& desc) = 0;
    /// Waits for a running step, then destroys the scene with its actors, fluids, emitters
    /// and compartments.
    virtual void releaseScene(NxScene& scene) = 0;
    virtual NxU32 getNbScenes() const = 0;
    /// Null for an index past the last scene.
    virtual NxScene* getScene(NxU32 index) = 0;
};

/// Creates an SDK object for the requested version word (2.8.1 to 2.8.4), or returns null
/// when the version or the descriptor is refused; *errorCode, when given, says why.
NxPhysicsSDK* NxCreatePhysicsSDK(NxU32 sdkVersion, NxUserAllocator* allocator,
                                 NxUserOutputStream* outputStream, const NxPhysicsSDKDesc& desc,
                                 NxSDKCreateError* errorCode, const char* applicationGuid);
