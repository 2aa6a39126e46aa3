#pragma once
// Scenes of our physics SDK: the scene descriptor and flags, compartments, statistics and
// the scene interface with its step calls.
//
// Contents:
//   scene enums (timing, simulation type, flags, thread priorities, pruning, status)
//   NxSceneDesc
//   NxCompartmentDesc, NxCompartment
//   NxSceneStatistic, NxSceneStats2
//   NxScene
//
// A step: setTiming, simulate(elapsed), flushStream, then checkResults/fetchResults.
// simulate() advances the scene by whole sub-steps of maxTimestep (at most maxIter of
// them); the time left over carries to the next call. With NX_SF_SIMULATE_SEPARATE_THREAD
// the work runs on the scene's own thread and simulate() returns at once; otherwise it runs
// in simulate() itself, except for fluids in a compartment, which always step on the
// compartment's thread. With NX_SF_ENABLE_MULTITHREAD each phase of a fluid's step is
// spread over the SDK's worker threads. fetchResults() waits for the step (when asked to
// block), then writes the fluids' particle buffers and makes the new state current.

#include "platform/physx/nx_actor.h"
#include "platform/physx/nx_fluid.h"

class NxPhysicsSDK;
class NxUserNotify;
class NxUserTriggerReport;
class NxUserContactReport;
class NxUserScheduler;

enum NxTimeStepMethod : int {
    NX_TIMESTEP_FIXED = 0,     ///< whole sub-steps of maxTimestep
    NX_TIMESTEP_VARIABLE = 1,  ///< one step of the elapsed time (cut to maxTimestep x maxIter)
    NX_TIMESTEP_INHERIT = 2,   ///< compartments: the scene's steps
};

enum NxSimulationType : int {
    NX_SIMULATION_SW = 0,  ///< on the CPU
    NX_SIMULATION_HW = 1,  ///< on physics hardware (an OpenCL device)
};

enum NxSceneFlags : int {
    NX_SF_DISABLE_SSE = 1 << 0,
    NX_SF_DISABLE_COLLISIONS = 1 << 1,        ///< rigid bodies do not collide with each other
    NX_SF_SIMULATE_SEPARATE_THREAD = 1 << 2,  ///< 0x4: the step runs on the scene's own thread
    NX_SF_ENABLE_MULTITHREAD = 1 << 3,        ///< 0x8: one step spread over worker threads
    NX_SF_ENABLE_ACTIVETRANSFORMS = 1 << 4,
    NX_SF_RESTRICTED_SCENE = 1 << 5,
    NX_SF_DISABLE_SCENE_MUTEX = 1 << 6,  ///< 0x40: accepted; there is no scene mutex, a scene
                                         ///< is only ever called from one thread at a time
    NX_SF_FORCE_CONE_FRICTION = 1 << 7,
    NX_SF_SEQUENTIAL_PRIMARY = 1 << 8,
    NX_SF_FLUID_PERFORMANCE_HINT = 1 << 9,
};

enum NxThreadPriority : int {
    NX_TP_HIGH = 0,
    NX_TP_ABOVE_NORMAL = 1,
    NX_TP_NORMAL = 2,
    NX_TP_BELOW_NORMAL = 3,
    NX_TP_LOW = 4,
};

enum NxPruningStructure : int {
    NX_PRUNING_NONE = 0,
    NX_PRUNING_OCTREE = 1,
    NX_PRUNING_QUADTREE = 2,
    NX_PRUNING_DYNAMIC_AABB_TREE = 3,
    NX_PRUNING_STATIC_AABB_TREE = 4,
};

enum NxBroadPhaseType : int {
    NX_BP_TYPE_SAP_SINGLE = 0,
    NX_BP_TYPE_SAP_MULTI = 1,
};

enum NxSimulationStatus : int {
    NX_RIGID_BODY_FINISHED = 1 << 0,  ///< 1: the step's rigid bodies (and fluids) are done
    NX_ALL_FINISHED = NX_RIGID_BODY_FINISHED,
    NX_PRIMARY_FINISHED = 1 << 1,
};

/// Limits on the number of objects in a scene (accepted; no limit is enforced).
class NxSceneLimits {
  public:
    NxU32 maxNbActors = 0;
    NxU32 maxNbBodies = 0;
    NxU32 maxNbStaticShapes = 0;
    NxU32 maxNbDynamicShapes = 0;
    NxU32 maxNbJoints = 0;
};

class NxSceneDesc {
  public:
    NxVec3 gravity{0, 0, 0};                           ///< m/s^2; default 0
    NxUserNotify* userNotify = nullptr;                ///< accepted, never called
    NxUserTriggerReport* userTriggerReport = nullptr;  ///< accepted, never called
    NxUserContactReport* userContactReport = nullptr;  ///< accepted, never called
    NxReal maxTimestep = 1.0f / 60.0f;                 ///< seconds per sub-step, > 0; default 1/60
    NxU32 maxIter = 8;  ///< most sub-steps per simulate, 1 to 128; default 8
    NxTimeStepMethod timeStepMethod = NX_TIMESTEP_FIXED;  ///< default fixed
    /// Box outside which particles are removed and bodies stop; null: unbounded; not kept.
    const NxBounds3* maxBounds = nullptr;
    const NxSceneLimits* limits = nullptr;        ///< accepted, not enforced; not kept
    NxSimulationType simType = NX_SIMULATION_SW;  ///< default software
    bool groundPlane = false;                     ///< adds a static plane y = 0; default false
    bool boundsPlanes = false;  ///< adds static planes at maxBounds' faces; default false
    /// NxSceneFlags bits; default NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_DISABLE_SCENE_MUTEX.
    NxU32 flags = NX_SF_SIMULATE_SEPARATE_THREAD | NX_SF_DISABLE_SCENE_MUTEX;
    NxUserScheduler* customScheduler = nullptr;  ///< must be null: no custom schedulers
    NxU32 simThreadStackSize = 0;                ///< bytes for the scene thread; 0 = system default
    NxThreadPriority simThreadPriority = NX_TP_NORMAL;  ///< accepted; threads keep normal priority
    NxU32 simThreadMask = 0;  ///< processors the scene thread may use; 0 = any
    /// Worker threads for NX_SF_ENABLE_MULTITHREAD, 0 to 64; 0 = one per logical processor.
    NxU32 internalThreadCount = 0;
    NxU32 workerThreadStackSize = 0;                       ///< bytes; 0 = system default
    NxThreadPriority workerThreadPriority = NX_TP_NORMAL;  ///< accepted
    NxU32 threadMask = 0;             ///< processors the workers may use; 0 = any
    NxU32 backgroundThreadCount = 0;  ///< accepted, no background threads; default 0
    NxThreadPriority backgroundThreadPriority = NX_TP_NORMAL;  ///< accepted
    NxU32 backgroundThreadMask = 0;                            ///< accepted
    NxU32 upAxis = 0;            ///< 0 (none), 1 (y) or 2 (z): a broad-phase hint; default 0
    NxU32 subdivisionLevel = 5;  ///< broad-phase hint, 1 to 8; default 5
    NxPruningStructure staticStructure =
        NX_PRUNING_STATIC_AABB_TREE;                        ///< hint; default static tree
    NxPruningStructure dynamicStructure = NX_PRUNING_NONE;  ///< hint; default none
    NxU32 dynamicTreeRebuildRateHint = 100;                 ///< hint, >= 5; default 100
    NxBroadPhaseType bpType = NX_BP_TYPE_SAP_SINGLE;        ///< default single
    NxU32 nbGridCellsX = 0;                                 ///< multi-SAP grid; default 0
    NxU32 nbGridCellsY = 0;                                 ///< multi-SAP grid; default 0
    NxU32 solverBatchSize = 32;                             ///< hint, >= 1; default 32
    void* userData = nullptr;

    void setToDefault() { *this = NxSceneDesc(); }
    /// False for a non-finite gravity, a time step <= 0, maxIter outside 1 to 128, an
    /// unknown enumerator, a custom scheduler or empty bounds.
    bool isValid() const;
};

// ---------------------------------------------------------------------------------------
// Compartments: a part of a scene stepped on a thread of its own, concurrently with the rest.

enum NxCompartmentType : int {
    NX_SCT_RIGIDBODY = 0,
    NX_SCT_FLUID = 1,  ///< 1: holds fluids
    NX_SCT_CLOTH = 2,
    NX_SCT_SOFTBODY = 3,
};

enum NxDeviceCode : unsigned {
    NX_DC_PPU_0 = 0x00000000,
    NX_DC_PPU_AUTO_ASSIGN = 0x00010000,  ///< physics hardware compartments: refused
    NX_DC_CPU = 0xFFFF0000,              ///< on the CPU
};

enum NxCompartmentFlag : int {
    NX_CF_SLEEP_NOTIFICATION = 1 << 0,
    NX_CF_CONTINUOUS_CD = 1 << 1,
    NX_CF_RESTRICTED_SCENE = 1 << 2,
    NX_CF_INHERIT_SETTINGS = 1 << 3,  ///< 8: takes the scene's timing and gravity
};

class NxCompartmentDesc {
  public:
    NxCompartmentType type = NX_SCT_RIGIDBODY;  ///< only NX_SCT_FLUID is accepted here
    NxU32 deviceCode = NX_DC_CPU;      ///< NxDeviceCode; only NX_DC_CPU is accepted; default CPU
    NxReal gridHashCellSize = 100.0f;  ///< metres, > 0 (a hint); default 100
    NxU32 gridHashTablePower = 8;      ///< 0 to 20 (a hint); default 8
    NxU32 flags = NX_CF_INHERIT_SETTINGS;  ///< NxCompartmentFlag bits; default inherit
    NxU32 threadMask = 0;                  ///< processors its thread may use; 0 = any
    NxReal timeScale = 1.0f;               ///< simulated time per scene time, > 0; default 1

    void setToDefault() { *this = NxCompartmentDesc(); }
    bool isValid() const;
};

class NxCompartment {
  public:
    virtual NxCompartmentType getType() const = 0;
    virtual NxU32 getDeviceCode() const = 0;
    virtual NxReal getGridHashCellSize() const = 0;
    virtual NxU32 gridHashTablePower() const = 0;
    virtual NxU32 getFlags() const = 0;
    virtual NxReal getTimeScale() const = 0;
    virtual void setTimeScale(NxReal scale) = 0;

  protected:
    virtual ~NxCompartment() = default;
};

// ---------------------------------------------------------------------------------------
// Statistics

/// One statistic: its value after the last completed step, the highest value so far, its
/// name and the index of its parent statistic (0xFFFFFFFF when it has none).
struct NxSceneStatistic {
    NxI32 curValue = 0;
    NxI32 maxValue = 0;
    const char* name = nullptr;
    NxU32 parent = 0xFFFFFFFF;
};

struct NxSceneStats2 {
    NxU32 numStats = 0;
    const NxSceneStatistic* stats = nullptr;
};

// ---------------------------------------------------------------------------------------
// The scene

class NxScene {
  public:
    virtual NxPhysicsSDK& getPhysicsSDK() = 0;
    virtual NxU32 getFlags() const = 0;
    virtual NxSimulationType getSimType() const = 0;
    virtual void setGravity(const NxVec3& gravity) = 0;
    virtual void getGravity(NxVec3& gravity) const = 0;

    /// Null when the descriptor is invalid.
    virtual NxActor* createActor(const NxActorDesc& desc) = 0;
    virtual void releaseActor(NxActor& actor) = 0;
    virtual NxU32 getNbActors() const = 0;
    virtual NxActor** getActors() = 0;

    /// Material 0 exists from the start; others come from createMaterial.
    virtual NxMaterial* createMaterial(const NxMaterialDesc& desc) = 0;
    virtual void releaseMaterial(NxMaterial& material) = 0;
    virtual NxU32 getNbMaterials() const = 0;
    /// Null for an index without a material.
    virtual NxMaterial* getMaterialFromIndex(NxMaterialIndex index) = 0;

    /// Null when the descriptor is invalid or asks for hardware. Compartments live as long
    /// as their scene.
    virtual NxCompartment* createCompartment(const NxCompartmentDesc& desc) = 0;
    virtual NxU32 getNbCompartments() const = 0;

    /// Null when the descriptor is invalid, asks for hardware in a software scene or names
    /// a compartment of another scene or of another type. A hardware fluid steps on the
    /// scene's device and hands over positions, velocities, lives and densities (no ids,
    /// flags or collision normals); it gives no collision momentum to bodies.
    virtual NxFluid* createFluid(const NxFluidDesc& desc) = 0;
    virtual void releaseFluid(NxFluid& fluid) = 0;
    virtual NxU32 getNbFluids() const = 0;
    virtual NxFluid** getFluids() = 0;

    /// Sub-step length (seconds, > 0), the most sub-steps per simulate (>= 1) and the
    /// method; invalid values are ignored.
    virtual void setTiming(NxReal maxTimestep = 1.0f / 60.0f, NxU32 maxIter = 8,
                           NxTimeStepMethod method = NX_TIMESTEP_FIXED) = 0;
    virtual void getTiming(NxReal& maxTimestep, NxU32& maxIter, NxTimeStepMethod& method,
                           NxU32* numSubSteps = nullptr) const = 0;

    /// Starts a step of elapsedTime seconds (a negative or non-finite time counts as 0).
    /// A simulate while a step is still running is ignored.
    virtual void simulate(NxReal elapsedTime) = 0;
    /// Hands buffered commands to the simulation (nothing is buffered here).
    virtual void flushStream() = 0;
    /// True when the started step is done (or none was started); with block, waits for it.
    virtual bool checkResults(NxSimulationStatus status, bool block = false) = 0;
    /// Completes the started step: waits for it when block is set (otherwise returns false
    /// while it runs), writes the fluids' particle buffers and returns true. *errorState,
    /// when given, is set to 0 on success and to a non-zero code when the step failed.
    virtual bool fetchResults(NxSimulationStatus status, bool block = false,
                              NxU32* errorState = nullptr) = 0;

    /// Statistics of the last fetched step. The table lives as long as the scene and may be
    /// read from another thread while the scene steps (it then shows one whole step).
    virtual const NxSceneStats2* getStats2() const = 0;

    void* userData = nullptr;

  protected:
    virtual ~NxScene() = default;
};
