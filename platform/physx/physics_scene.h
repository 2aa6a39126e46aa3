#pragma once
// A physics scene: its objects, the step scheduling (own thread, worker threads,
// compartments, fixed sub-steps) and the statistics. Internal to the SDK; the public face
// is nx_scene.h.

#include <array>
#include <atomic>
#include <memory>
#include <vector>

#include "platform/physx/fluid.h"
#include "platform/physx/nx_physics.h"
#include "platform/physx/scene_objects.h"
#include "platform/physx/shape_collision.h"
#include "platform/physx/worker_pool.h"

namespace nxsdk {

struct RigidContact;

class Scene final : public NxScene {
  public:
    /// A hardware scene gets the device its hardware fluids run on; a software scene none.
    Scene(NxPhysicsSDK& sdk, const NxSceneDesc& desc, WorkerPool& pool, unsigned helpers,
          std::shared_ptr<ClDevice> device = nullptr);
    ~Scene() override;

    NxPhysicsSDK& getPhysicsSDK() override;
    NxU32 getFlags() const override { return m_desc.flags; }
    NxSimulationType getSimType() const override { return m_desc.simType; }
    void setGravity(const NxVec3& gravity) override;
    void getGravity(NxVec3& gravity) const override { gravity = m_desc.gravity; }

    NxActor* createActor(const NxActorDesc& desc) override;
    void releaseActor(NxActor& actor) override;
    NxU32 getNbActors() const override { return NxU32(m_actors.size()); }
    NxActor** getActors() override;

    NxMaterial* createMaterial(const NxMaterialDesc& desc) override;
    void releaseMaterial(NxMaterial& material) override;
    NxU32 getNbMaterials() const override;
    NxMaterial* getMaterialFromIndex(NxMaterialIndex index) override;

    NxCompartment* createCompartment(const NxCompartmentDesc& desc) override;
    NxU32 getNbCompartments() const override { return NxU32(m_compartments.size()); }

    NxFluid* createFluid(const NxFluidDesc& desc) override;
    void releaseFluid(NxFluid& fluid) override;
    NxU32 getNbFluids() const override { return NxU32(m_fluids.size()); }
    NxFluid** getFluids() override;

    void setTiming(NxReal maxTimestep, NxU32 maxIter, NxTimeStepMethod method) override;
    void getTiming(NxReal& maxTimestep, NxU32& maxIter, NxTimeStepMethod& method,
                   NxU32* numSubSteps) const override;
    void simulate(NxReal elapsedTime) override;
    void flushStream() override {}
    bool checkResults(NxSimulationStatus status, bool block) override;
    bool fetchResults(NxSimulationStatus status, bool block, NxU32* errorState) override;
    const NxSceneStats2* getStats2() const override {
        return m_published.load(std::memory_order_acquire);
    }

    /// Waits until a running step has finished (its results stay to be fetched). Every
    /// call that changes the scene does this first.
    void waitForStep();
    /// The shape's core when the shape belongs to this scene, else null.
    ShapeCore* findShape(const NxShape* shape) const;
    /// Index of a pushable body in the step's push tables, or kNoBody.
    uint32_t pushIndexOf(const Actor* actor) const;
    void onEmittersChanged() {}
    /// Bodies became pushable or stopped being so (creation, release, kinematic flag).
    void onBodiesChanged();
    float skinWidth() const;
    const NxMaterialDesc* material(NxMaterialIndex index) const;

    /// Which version of the pair passes the fluids use (an index into sphPassSet());
    /// 0 is the fastest. For tests and benchmarks.
    void setPassSet(uint32_t index) { m_passSet = index; }

  private:
    enum Stat {
        kStatActors,
        kStatDynamicActors,
        kStatStaticShapes,
        kStatDynamicShapes,
        kStatFluids,
        kStatFluidParticles,
        kStatFluidEmitters,
        kStatFluidEmitted,
        kStatFluidExpired,
        kStatNeighbourPairs,
        kStatPairEvaluations,
        kStatSubSteps,
        kStatCount
    };

    void runStep();
    void subStep(float dt);
    void stepRigidBodies(float dt);
    // The phases of stepRigidBodies, in their order.
    void applyBodyForces(float dt);
    void findBodyContacts();
    void solveBodyContacts(float dt);
    void integrateBodies(float dt);
    void updateBodySleep(float dt);
    void snapshotShapes();
    void stepFluids(float dt);
    void applyFluidPushes();
    void publishStats();
    bool stepDone() const;

    NxPhysicsSDK& m_sdk;
    NxSceneDesc m_desc;
    NxBounds3 m_bounds;
    bool m_hasBounds = false;
    WorkerPool& m_pool;
    unsigned m_helpers;
    uint32_t m_passSet = 0;
    std::shared_ptr<ClDevice> m_device;  // hardware scenes only

    std::vector<Actor*> m_actors;
    std::vector<std::unique_ptr<Material>> m_materials;  // by index; null when released
    std::vector<std::unique_ptr<Compartment>> m_compartments;
    std::vector<Fluid*> m_fluids;
    std::vector<Actor*> m_pushable;  // simulated bodies, in push-table order
    std::vector<CollisionShape> m_shapeSnapshot;
    std::vector<RigidContact> m_contacts;

    // Timing.
    float m_maxTimestep;
    uint32_t m_maxIter;
    NxTimeStepMethod m_method;
    double m_accumulator = 0.0;
    uint32_t m_pendingSubSteps = 0;
    float m_pendingDt = 0.0f;
    uint32_t m_lastSubSteps = 0;

    // Step state: m_running is owned by the calling thread; the step thread only runs.
    bool m_running = false;
    std::unique_ptr<TaskThread> m_thread;

    std::array<std::array<NxSceneStatistic, kStatCount>, 2> m_stats{};
    std::array<NxSceneStats2, 2> m_stats2{};
    std::atomic<const NxSceneStats2*> m_published{nullptr};
};

}  // namespace nxsdk
