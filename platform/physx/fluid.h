#pragma once
// A particle fluid and its emitters: the particle store (structure of arrays in grid
// order), emission, lifetimes, the solver step and the hand-over to the user's buffers.
// Internal to the SDK; the public face is nx_fluid.h.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/physx/nx_physics.h"
#include "platform/physx/particle_grid.h"
#include "platform/physx/shape_collision.h"
#include "platform/physx/sph_passes.h"

namespace nxsdk {

class Scene;
class Fluid;
class WorkerPool;
class ClDevice;
class ClFluidSolver;
struct ClStepParams;
struct ShapeCore;

/// A small, fast generator (PCG32) so that every emitter draws its own repeatable numbers.
class Pcg32 {
  public:
    explicit Pcg32(uint64_t seed = 1) { reseed(seed); }
    void reseed(uint64_t seed);
    uint32_t next();
    /// Uniform in [0, 1).
    float unit() { return float(next() >> 8) * (1.0f / 16777216.0f); }
    /// Uniform in [-1, 1).
    float signedUnit() { return unit() * 2.0f - 1.0f; }

  private:
    uint64_t m_state = 0;
};

/// What a fluid step needs from its scene, fixed for the whole step.
struct FluidStepContext {
    float dt = 0.0f;
    NxVec3 gravity;
    const CollisionShape* shapes = nullptr;
    uint32_t shapeCount = 0;
    uint32_t bodyCount = 0;  ///< pushable bodies (size of the push tables)
    WorkerPool* pool = nullptr;
    unsigned helpers = 0;  ///< workers that may join each parallel loop
    const NxBounds3* bounds = nullptr;
    uint32_t passSet = 0;  ///< index into sphPassSet()
};

class FluidEmitter final : public NxFluidEmitter {
  public:
    FluidEmitter(Fluid& fluid, const NxFluidEmitterDesc& desc, ShapeCore* frame, uint64_t seed);

    NxFluid& getFluid() const override;
    NxShape* getFrameShape() const override;
    NxMat34 getGlobalPose() const override;
    NxMat34 getLocalPose() const override { return m_desc.relPose; }
    void setLocalPose(const NxMat34& pose) override;
    NxU32 getType() const override { return m_desc.type; }
    NxU32 getShape() const override { return m_desc.shape; }
    NxU32 getMaxParticles() const override { return m_desc.maxParticles; }
    NxReal getDimensionX() const override { return m_desc.dimensionX; }
    NxReal getDimensionY() const override { return m_desc.dimensionY; }
    NxReal getFluidVelocityMagnitude() const override { return m_desc.fluidVelocityMagnitude; }
    void setFluidVelocityMagnitude(NxReal speed) override;
    NxReal getRate() const override { return m_desc.rate; }
    void setRate(NxReal rate) override;
    NxReal getParticleLifetime() const override { return m_desc.particleLifetime; }
    void setParticleLifetime(NxReal life) override;
    void setFlag(NxFluidEmitterFlag flag, bool on) override;
    bool getFlag(NxFluidEmitterFlag flag) const override { return (m_desc.flags & flag) != 0; }
    NxU32 getNbParticlesEmitted() const override { return m_emitted; }
    void resetEmission(NxU32 maxParticles) override;

    /// The frame shape's actor went away: keep the last pose, emit from there.
    void detachFrame();
    ShapeCore* frame() const { return m_frame; }
    /// Pose and velocity of the frame, captured at the start of a step.
    void captureFrame();

    const NxFluidEmitterDesc& desc() const { return m_desc; }
    Pcg32& rng() { return m_rng; }
    double& pending() { return m_pending; }
    uint32_t& emitted() { return m_emitted; }
    const NxMat34& framePose() const { return m_framePose; }
    const NxVec3& frameVelocity() const { return m_frameVelocity; }
    const NxVec3& frameAngularVelocity() const { return m_frameAngular; }
    const NxVec3& frameCentre() const { return m_frameCentre; }
    uint32_t frameBody() const { return m_frameBody; }
    void setFrameBody(uint32_t body) { m_frameBody = body; }

  private:
    Fluid& m_fluid;
    NxFluidEmitterDesc m_desc;
    ShapeCore* m_frame;
    Pcg32 m_rng;
    double m_pending = 0.0;  // particles owed by the flow rate, below one
    uint32_t m_emitted = 0;
    NxMat34 m_framePose;
    NxVec3 m_frameVelocity, m_frameAngular, m_frameCentre;
    uint32_t m_frameBody = kNoBody;
};

/// Counters of the last step of one fluid.
struct FluidStepStats {
    uint64_t neighbourPairs = 0;   ///< neighbour pairs found (each particle's neighbours)
    uint64_t pairEvaluations = 0;  ///< particle-neighbour pairs visited, all passes
    uint32_t emitted = 0;
    uint32_t expired = 0;
};

class Fluid final : public NxFluid {
  public:
    /// A fluid on `device` when one is given (a hardware fluid), else on the CPU.
    Fluid(Scene& scene, const NxFluidDesc& desc, NxCompartment* compartment,
          std::shared_ptr<ClDevice> device = nullptr);
    ~Fluid() override;

    NxScene& getScene() const override;
    NxCompartment* getCompartment() const override { return m_compartment; }
    NxFluidEmitter* createEmitter(const NxFluidEmitterDesc& desc) override;
    void releaseEmitter(NxFluidEmitter& emitter) override;
    NxU32 getNbEmitters() const override { return NxU32(m_emitters.size()); }
    NxFluidEmitter** getEmitters() override;
    NxU32 addParticles(const NxParticleData& data) override;
    void removeAllParticles() override;
    NxU32 getNbParticles() const override { return m_published; }
    NxU32 getMaxParticles() const override { return m_desc.maxParticles; }
    void setParticlesWriteData(const NxParticleData& data) override;
    NxParticleData getParticlesWriteData() const override { return m_desc.particlesWriteData; }
    NxU32 getSimulationMethod() const override { return m_desc.simulationMethod; }
    void setSimulationMethod(NxU32 method) override;
    NxU32 getFlags() const override { return m_desc.flags; }
    void setFlag(NxFluidFlag flag, bool on) override;
    NxReal getStiffness() const override { return m_desc.stiffness; }
    void setStiffness(NxReal stiffness) override;
    NxReal getViscosity() const override { return m_desc.viscosity; }
    void setViscosity(NxReal viscosity) override;
    NxReal getDamping() const override { return m_desc.damping; }
    void setDamping(NxReal damping) override;
    NxVec3 getExternalAcceleration() const override { return m_desc.externalAcceleration; }
    void setExternalAcceleration(const NxVec3& acceleration) override;
    NxReal getRestParticlesPerMeter() const override { return m_desc.restParticlesPerMeter; }
    NxReal getKernelRadiusMultiplier() const override { return m_desc.kernelRadiusMultiplier; }
    NxReal getRestDensity() const override { return m_desc.restDensity; }
    NxReal getParticleMass() const override { return m_mass; }

    /// Sizes the store; false when memory ran out.
    bool allocate();
    /// Frames of the emitters, taken before a step starts.
    void captureEmitterFrames();
    /// One sub-step of ctx.dt seconds.
    void step(const FluidStepContext& ctx);
    /// Momentum the fluid gave each pushable body during the last sub-step (indexed like
    /// the bodies of the step context).
    const std::vector<BodyPush>& pushes() const { return m_pushes; }
    /// Writes the count and the particle buffers of the write data (fetchResults), on the
    /// calling thread and at most `helpers` workers of the pool.
    void writeResults(WorkerPool& pool, unsigned helpers);
    void onShapeReleased(const ShapeCore* shape);

    const FluidStepStats& stepStats() const { return m_stats; }
    FluidStepStats& stepStats() { return m_stats; }
    const SphConstants& constants() const { return m_k; }
    uint32_t liveCount() const { return m_count; }
    const NxFluidDesc& desc() const { return m_desc; }
    /// Steps on the OpenCL device.
    bool onDevice() const { return m_device != nullptr; }
    /// The device error of the last step (an OpenCL error code, negative), 0 when it went
    /// well or the fluid runs on the CPU.
    int32_t deviceError() const { return m_deviceError; }

  private:
    struct Store {
        std::vector<float> x, y, z, vx, vy, vz, life;
        std::vector<uint32_t> id;
        void resize(size_t n);
        /// Copies particle `from` of `source` into slot `to` of this store.
        void copyParticle(uint32_t to, const Store& source, uint32_t from) {
            x[to] = source.x[from];
            y[to] = source.y[from];
            z[to] = source.z[from];
            vx[to] = source.vx[from];
            vy[to] = source.vy[from];
            vz[to] = source.vz[from];
            life[to] = source.life[from];
            id[to] = source.id[from];
        }
    };

    struct Integration;  // what both integrators need for a chunk (fluid_integrate.cpp)

    void updateConstants();
    uint32_t appendParticle(const NxVec3& p, const NxVec3& v, float life);
    uint32_t takeId();
    void releaseId(uint32_t id);

    // The phases of a step, in their order.
    void clearPushes(uint32_t bodyCount);
    void ageParticles(float dt);
    void emit(const FluidStepContext& ctx);
    void sortIntoCells(const FluidStepContext& ctx);  // with particle interaction
    void dropTheDead(const FluidStepContext& ctx);    // without it
    void addWallDensity(const FluidStepContext& ctx);
    void densityAndForces(const FluidStepContext& ctx);
    void clearForces();
    void integrateAll(const FluidStepContext& ctx);

    void reorder(const FluidStepContext& ctx, const uint32_t* order, uint32_t count);
    void setUpIntegration(const FluidStepContext& ctx, Integration& in) const;
    void integrate(const FluidStepContext& ctx, uint32_t begin, uint32_t end, BodyPush* pushes,
                   uint32_t& removed);
    // The step on the device (fluid_device.cpp): the births come from emit() on the host.
    void stepOnDevice(const FluidStepContext& ctx);
    void deviceParams(const FluidStepContext& ctx, ClStepParams& p) const;
    bool uploadAppended(uint32_t first);
    void writeDeviceResults(uint32_t n);
    uint32_t markGeneral(const Integration& in, const PlaneIntegrationArgs& a,
                         const SphPassSet& loops, uint32_t begin, uint32_t end, uint32_t* general);
    void integrateGeneral(const FluidStepContext& ctx, const Integration& in, uint32_t i,
                          BodyPush* pushes, uint32_t& removed);
    void removeMarked();
    void wallPass(const FluidStepContext& ctx, uint32_t begin, uint32_t end);
    void chunkBounds(uint32_t begin, uint32_t end, NxVec3& lo, NxVec3& hi) const;

    static constexpr uint32_t kLocalShapes = 32;

    Scene& m_scene;
    NxFluidDesc m_desc;
    NxCompartment* m_compartment;
    std::vector<FluidEmitter*> m_emitters;
    uint64_t m_emitterSeed = 0;
    float m_mass = 0.0f;
    float m_spacing = 0.0f;
    float m_latticeCalibration = 1.0f;
    SphConstants m_k;

    uint32_t m_capacity = 0;   // store slots: maxParticles plus room for one step's births
    uint32_t m_count = 0;      // slots in use (live, and after aging possibly dead)
    uint32_t m_published = 0;  // live particles after the last completed step
    Store m_cur, m_next;
    std::vector<float> m_density, m_pressure, m_invDensity, m_ax, m_ay, m_az;
    std::vector<float> m_wall, m_wallX, m_wallY, m_wallZ;  // shapes' density and push
    WallKernel m_wallKernel;                               // the shapes as half-spaces of fluid
    std::vector<uint8_t> m_keep;
    std::vector<uint8_t> m_general;  // set for particles the general integrator takes
    std::vector<uint32_t> m_flags;
    std::vector<float> m_nx, m_ny, m_nz;
    std::vector<uint32_t> m_freeIds;  // ring of free ids
    size_t m_freeHead = 0;
    size_t m_freeCount = 0;
    std::vector<uint32_t> m_compactOrder;
    ParticleGrid m_grid;
    std::vector<uint32_t> m_chunks;
    std::vector<BodyPush> m_chunkPushes;
    std::vector<uint32_t> m_chunkRemoved;
    std::vector<NxVec3> m_chunkBox;  // per shape chunk: lower, upper corner of its particles
    bool m_chunkBoxFresh = false;    // m_chunkBox holds this step's positions
    std::vector<BodyPush> m_pushes;
    uint32_t m_live = 0;  // particles alive after aging, before emission
    std::vector<uint64_t> m_chunkPairs;
    std::vector<std::unique_ptr<float[]>> m_scratch;  // per thread slot, for the pair passes
    std::vector<uint16_t> m_boxMasks;                 // from the density pass to the force pass
    FluidStepStats m_stats;
    bool m_wantFlags = false;
    bool m_wantNormals = false;
    std::shared_ptr<ClDevice> m_clDevice;
    std::unique_ptr<ClFluidSolver> m_device;
    int32_t m_deviceError = 0;
};

}  // namespace nxsdk
