#pragma once
// The physics part of the process-wide scene object: the run's physics SDK, its fluid
// scenes, their fluids and emitters, the collision actors, and the warm-up threshold.
//
// Contents:
//   DemoScenePhysics
//     the SDK: startPhysics, startPhysicsWithFallback, shutdownPhysics
//     scenes: createFluidScene, releaseFluidScene, dumpSceneStats
//     fluids: createFluidSimulations, createParticleFluid, createFluidEmitter,
//             releaseFluidEmitters, releaseParticleFluid, releaseFluidSimulations
//     what the scene draws: sceneLayout, particleFluids
//
// Lifecycle (render thread): startPhysicsWithFallback, createFluidSimulations, the steps
// (FluidSimulation::startStep / completeStep, by the run), releaseFluidSimulations, which
// releases emitters, fluids and scenes in that order and shuts the SDK down.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "physics/collision_actors.h"
#include "physics/fluid_simulation.h"
#include "physics/physics_settings.h"
#include "physics/scene_layout.h"
#include "platform/physx/nx_physics.h"

namespace plashwerk {

/// Creates the SDK object; the signature of NxCreatePhysicsSDK.
using PhysicsSdkFactory = std::function<NxPhysicsSDK*(
    NxU32 version, NxUserAllocator* allocator, NxUserOutputStream* output,
    const NxPhysicsSDKDesc& desc, NxSDKCreateError* error, const char* guid)>;

class DemoScenePhysics {
  public:
    explicit DemoScenePhysics(const PhysicsSettings& settings);
    /// Releases whatever is still held: simulations, then the SDK.
    ~DemoScenePhysics();
    DemoScenePhysics(const DemoScenePhysics&) = delete;
    DemoScenePhysics& operator=(const DemoScenePhysics&) = delete;

    // --- The SDK -------------------------------------------------------------------------

    /// Starts the SDK for version major.minor.bugfix (-1, -1, -1: 2.8.4) with the settings'
    /// memory and hardware choices, reports the hardware found and sets the SDK parameters.
    /// True at once when already started; false, logged, when the SDK refuses.
    bool startPhysics(int major, int minor, int bugfix);
    /// Tries 2.8.4, 2.8.3, 2.8.2 and 2.8.1; when all fail shows the error box and returns
    /// false.
    bool startPhysicsWithFallback();
    /// Releases the SDK (and whatever it still owns). Always true.
    bool shutdownPhysics();

    // --- Scenes --------------------------------------------------------------------------

    /// A fluid scene, in hardware when there is hardware and physx_cpu is clear. A refused
    /// hardware scene silently falls back to software. Null without an SDK or when the SDK
    /// refuses the software scene (logged).
    NxScene* createFluidScene();
    /// False when the SDK or the scene is missing.
    bool releaseFluidScene(NxScene* scene);
    /// Logs the statistics of every fluid scene; false when the SDK is not started.
    bool dumpSceneStats();

    // --- Fluids --------------------------------------------------------------------------

    /// Lays out and creates the scenes, fluids, collision actors, emitter frame boxes and
    /// emitters, completes the scene layout with the emitters' placements, and computes
    /// warmup_threshold. Call once, after the SDK started.
    void createFluidSimulations();
    /// Allocates the fluid's buffers and creates its SDK fluid in the simulation's scene
    /// (in a compartment when the simulation has them). False when a record is missing,
    /// memory is short or the SDK refuses the fluid (logged).
    bool createParticleFluid(FluidSimulation* simulation, ParticleFluid* fluid,
                             uint32_t max_particles);
    /// Creates emitter number index of the fluid on the frame actor's first shape. False
    /// when the fluid, the frame actor or the slot is missing, or the SDK refuses (logged).
    bool createFluidEmitter(ParticleFluid* fluid, uint32_t index, float lifetime,
                            NxActor* frame_actor, float alpha, float beta);
    /// Releases the fluid's emitters; false when the fluid is missing.
    bool releaseFluidEmitters(ParticleFluid* fluid);
    /// Releases the fluid's emitters and SDK fluid and frees its buffers; false when the
    /// scene or the fluid is missing.
    bool releaseParticleFluid(NxScene* scene, ParticleFluid* fluid);
    /// The whole release: per simulation its fluids, then its scene; then the SDK. Call
    /// after the physics threads have stopped.
    void releaseFluidSimulations();

    /// Live particles of every fluid of every simulation after their last completed steps.
    uint32_t particleTotal() const;
    /// Emitters that exist in all fluids; 0 means no particle will ever be emitted.
    uint32_t emitterTotal() const;
    /// The last scene created is simulated in hardware: results and scores say "GPU
    /// PhysX", else "CPU PhysX".
    bool gpuPhysxActive() const { return m_gpu_physx_active; }

    // --- What the scene draws ------------------------------------------------------------

    /// Where the obstacles stand, and, once the fluids exist, every emitter's box: the one
    /// layout that both the collision actors and the visible meshes are made from.
    const SceneLayout& sceneLayout() const { return m_layout; }
    /// The fluids that exist, simulation by simulation; their particles are drawn.
    std::vector<const ParticleFluid*> particleFluids() const;

    // --- State (fields of the scene object) ---------------------------------------------

    NxPhysicsSDK* physics_sdk = nullptr;  ///< null until started and after shut-down
    int sdk_version_major = 0;            ///< the version requested, after -1 became 2.8.4
    int sdk_version_minor = 0;
    int sdk_version_bugfix = 0;
    uint32_t ppu_count = 0;               ///< physics processors of the started SDK
    bool physx_hardware_present = false;  ///< the started SDK has a hardware version

    std::vector<std::unique_ptr<FluidSimulation>> fluid_simulations;
    uint32_t fluid_count = 0;       ///< simulations created
    uint32_t warmup_threshold = 0;  ///< live particles that end the initial filling

    /// Starts the SDK; NxCreatePhysicsSDK unless replaced.
    PhysicsSdkFactory sdk_factory;

  private:
    void createEmittersOf(FluidSimulation& simulation, uint32_t total_emitters,
                          size_t& next_placement, float& expected_particles);

    const PhysicsSettings m_options;
    bool m_gpu_physx_active = false;
    SceneLayout m_layout;
    /// Held while scenes are added or released and while the window thread dumps their
    /// statistics.
    std::mutex m_mutex;
};

}  // namespace plashwerk
