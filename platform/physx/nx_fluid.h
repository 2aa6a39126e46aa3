#pragma once
// Particle fluids of our physics SDK.
//
// Contents:
//   NxParticleData (where a fluid reads initial particles and writes its particles)
//   NxFluidEmitterDesc and its constants, NxFluidEmitter
//   NxFluidDesc and its constants, NxFluid
//
// A fluid is a set of up to maxParticles particles, simulated as smoothed-particle
// hydrodynamics (NX_F_SPH) or as particles that only collide with shapes
// (NX_F_NO_PARTICLE_INTERACTION). Lengths derive from restParticlesPerMeter: the rest
// spacing is 1 / restParticlesPerMeter and the kernel radius kernelRadiusMultiplier times
// that. Emitters attached to shapes feed the fluid; particles die when their lifetime runs
// out. At the end of each step that fetchResults completes, the fluid writes its live
// particles into the user's buffers of particlesWriteData, with their byte strides, and
// touches nothing else of the caller's memory.

#include "platform/physx/nx_actor.h"

class NxCompartment;
class NxFluid;

// ---------------------------------------------------------------------------------------
// Particle buffers

/// User buffers of particle data. Each buffer is optional (null); a buffer's stride is the
/// distance in bytes between two particles' records. Positions, velocities and collision
/// normals are 3 floats, life and density 1 float, id and flags 1 NxU32. For a buffer
/// given the stride must be at least the size of its record.
class NxParticleData {
  public:
    /// In: the number of particles in the buffers (initial data); out: the number written.
    NxU32* numParticlesPtr = nullptr;
    NxF32* bufferPos = nullptr;              ///< metres
    NxF32* bufferVel = nullptr;              ///< m/s
    NxF32* bufferLife = nullptr;             ///< remaining life, seconds; 0 for immortal particles
    NxF32* bufferDensity = nullptr;          ///< kg/m^3
    NxU32* bufferId = nullptr;               ///< stable while the particle lives
    NxU32* bufferFlag = nullptr;             ///< NxParticleFlag bits
    NxF32* bufferCollisionNormal = nullptr;  ///< last contact normal, zero when none
    NxU32 bufferPosByteStride = 0;
    NxU32 bufferVelByteStride = 0;
    NxU32 bufferLifeByteStride = 0;
    NxU32 bufferDensityByteStride = 0;
    NxU32 bufferIdByteStride = 0;
    NxU32 bufferFlagByteStride = 0;
    NxU32 bufferCollisionNormalByteStride = 0;
    /// Capacity of the buffers in particles; 0 means "as many as the fluid's maxParticles".
    NxU32 maxParticles = 0;
    const char* name = nullptr;

    void setToDefault() { *this = NxParticleData(); }
    /// False when a buffer is given with a stride shorter than its record.
    bool isValid() const;
};

enum NxParticleFlag : int {
    NX_FP_COLLISION_WITH_STATIC = 1 << 0,
    NX_FP_COLLISION_WITH_DYNAMIC = 1 << 1,
    NX_FP_SEPARATED = 1 << 2,  ///< no neighbour within the kernel radius
    NX_FP_MOTION_LIMIT_REACHED = 1 << 3,
};

// ---------------------------------------------------------------------------------------
// Emitters

enum NxEmitterType : int {
    NX_FE_CONSTANT_PRESSURE = 1 << 0,   ///< emits as fast as the outflow at rest spacing
    NX_FE_CONSTANT_FLOW_RATE = 1 << 1,  ///< emits `rate` particles per second
};

enum NxEmitterShape : int {
    NX_FE_RECTANGULAR = 1 << 0,  ///< dimensionX x dimensionY half-extents
    NX_FE_ELLIPSE = 1 << 1,      ///< dimensionX, dimensionY radii
};

enum NxFluidEmitterFlag : int {
    NX_FEF_VISUALIZATION = 1 << 0,
    NX_FEF_BROKEN_ACTOR_REF = 1 << 1,  ///< set by the SDK when the frame shape's actor went away
    NX_FEF_FORCE_ON_BODY = 1 << 2,  ///< emission pushes the frame body back (repulsionCoefficient)
    NX_FEF_ADD_BODY_VELOCITY = 1 << 3,  ///< emitted particles take the frame body's velocity
    NX_FEF_ENABLED = 1 << 4,            ///< the emitter emits
};

/// An emitter shoots particles along the z axis of its frame: the pose relPose relative to
/// frameShape (or to the world when frameShape is null), from a rectangle or ellipse in
/// the frame's x-y plane.
class NxFluidEmitterDesc {
  public:
    NxMat34 relPose;                       ///< frame relative to frameShape; default identity
    NxShape* frameShape = nullptr;         ///< shape the emitter moves with; null: world frame
    NxU32 type = NX_FE_CONSTANT_PRESSURE;  ///< NxEmitterType; default constant pressure
    NxU32 maxParticles = 0;                ///< particles this emitter may emit in all; 0 = no limit
    NxU32 shape = NX_FE_RECTANGULAR;       ///< NxEmitterShape; default rectangular
    NxReal dimensionX = 0.25f;  ///< half-size along the frame's x axis, metres, >= 0; default 0.25
    NxReal dimensionY = 0.25f;  ///< half-size along the frame's y axis, metres, >= 0; default 0.25
    NxVec3 randomPos{0, 0, 0};  ///< random offset per particle, +- metres per axis, >= 0; default 0
    NxReal randomAngle = 0.0f;  ///< random deviation of the direction, radians, >= 0; default 0
    NxReal fluidVelocityMagnitude = 1.0f;  ///< emission speed, m/s, >= 0; default 1
    NxReal rate = 100.0f;  ///< particles per second for constant flow rate, >= 0; default 100
    NxReal particleLifetime = 0.0f;      ///< seconds, >= 0; 0 = particles live forever; default 0
    NxReal repulsionCoefficient = 1.0f;  ///< scale of the push on the frame body, >= 0; default 1
    NxU32 flags =
        NX_FEF_VISUALIZATION | NX_FEF_ADD_BODY_VELOCITY | NX_FEF_ENABLED;  ///< default 0x19
    /// Seed of the emitter's own random generator; 0 picks one from the emitter's index.
    NxU32 randomSeed = 0;
    void* userData = nullptr;
    const char* name = nullptr;

    void setToDefault() { *this = NxFluidEmitterDesc(); }
    /// False for a negative or non-finite size, speed, rate, lifetime or coefficient, an
    /// unknown type or shape, or a pose that is not a rigid transform.
    bool isValid() const;
};

class NxFluidEmitter {
  public:
    virtual NxFluid& getFluid() const = 0;
    virtual NxShape* getFrameShape() const = 0;
    virtual NxMat34 getGlobalPose() const = 0;
    virtual NxMat34 getLocalPose() const = 0;
    virtual void setLocalPose(const NxMat34& pose) = 0;

    virtual NxU32 getType() const = 0;
    virtual NxU32 getShape() const = 0;
    virtual NxU32 getMaxParticles() const = 0;
    virtual NxReal getDimensionX() const = 0;
    virtual NxReal getDimensionY() const = 0;
    virtual NxReal getFluidVelocityMagnitude() const = 0;
    virtual void setFluidVelocityMagnitude(NxReal speed) = 0;
    virtual NxReal getRate() const = 0;
    virtual void setRate(NxReal rate) = 0;
    virtual NxReal getParticleLifetime() const = 0;
    virtual void setParticleLifetime(NxReal life) = 0;

    virtual void setFlag(NxFluidEmitterFlag flag, bool on) = 0;
    virtual bool getFlag(NxFluidEmitterFlag flag) const = 0;

    /// Particles emitted so far (all of them, dead or alive).
    virtual NxU32 getNbParticlesEmitted() const = 0;
    /// Restarts the emitted count with a new limit (0 = no limit).
    virtual void resetEmission(NxU32 maxParticles) = 0;

    void* userData = nullptr;

  protected:
    virtual ~NxFluidEmitter() = default;
};

// ---------------------------------------------------------------------------------------
// Fluids

enum NxFluidSimulationMethod : int {
    NX_F_SPH = 1 << 0,                      ///< 1: particles interact (pressure, viscosity)
    NX_F_NO_PARTICLE_INTERACTION = 1 << 1,  ///< 2: particles only collide with shapes
    NX_F_MIXED_MODE = 1 << 2,               ///< 4: alternates the two (accepted as SPH)
};

enum NxFluidCollisionMethod : int {
    NX_F_STATIC = 1 << 0,   ///< collide with static shapes
    NX_F_DYNAMIC = 1 << 1,  ///< collide with dynamic and kinematic shapes
};

enum NxFluidFlag : int {
    NX_FF_VISUALIZATION = 1 << 0,
    NX_FF_DISABLE_GRAVITY = 1 << 1,   ///< scene gravity does not act on the fluid
    NX_FF_COLLISION_TWOWAY = 1 << 2,  ///< particles push the dynamic bodies they hit
    NX_FF_ENABLED = 1 << 3,           ///< the fluid is simulated; cleared: frozen
    NX_FF_HARDWARE = 1 << 4,          ///< on physics hardware: only in a hardware scene
    NX_FF_PRIORITY_MODE = 1 << 5,
    NX_FF_PROJECT_TO_PLANE = 1 << 6,  ///< particles move in projectionPlane only
};

/// Largest maxParticles a fluid accepts.
constexpr NxU32 NX_FLUID_MAX_PARTICLES_LIMIT = 65535;

class NxFluidDesc {
  public:
    /// Particles the fluid starts with (positions required; velocity, life, id optional).
    NxParticleData initialParticleData;
    NxU32 maxParticles = 32767;     ///< capacity, 1 to 65535; default 32767
    NxU32 numReserveParticles = 0;  ///< slots kept free for emitters, < maxParticles; default 0
    NxReal restParticlesPerMeter = 50.0f;  ///< particles per metre at rest, > 0; default 50
    NxReal restDensity = 1000.0f;          ///< kg/m^3, > 0; default 1000
    NxReal kernelRadiusMultiplier = 1.2f;  ///< kernel radius in rest spacings, >= 1; default 1.2
    NxReal motionLimitMultiplier =
        3.6f;  ///< most travel per sub-step in rest spacings (caps the speed), > 0; default 3.6
    NxReal collisionDistanceMultiplier =
        0.12f;  ///< contact offset from shapes in rest spacings, > 0; default 0.12
    NxU32 packetSizeMultiplier = 16;  ///< packet edge in kernel radii, a power of two >= 4
                                      ///< (accepted; the grid needs no packets); default 16
    NxReal stiffness = 20.0f;  ///< pressure per unit density excess, (m/s)^2, > 0; pressure stops
                               ///< growing at twice restDensity; default 20
    NxReal viscosity = 6.0f;   ///< dynamic viscosity, Pa s, > 0 (the step never relaxes a particle
                               ///< more than half way to its neighbours); default 6
    NxReal surfaceTension = 0.0f;  ///< cohesion strength, >= 0 (accepted; not simulated); default 0
    NxReal damping = 0.0f;         ///< velocity damping, 1/s, >= 0; default 0
    NxReal fadeInTime = 0.0f;      ///< seconds over which new particles gain full pressure, >= 0
                                   ///< (accepted; not simulated); default 0
    NxVec3 externalAcceleration{0, 0, 0};            ///< m/s^2 added to gravity; default 0
    NxPlane projectionPlane{NxVec3(0, 0, 1), 0.0f};  ///< for NX_FF_PROJECT_TO_PLANE; default z = 0
    NxReal restitutionForStaticShapes = 0.5f;        ///< 0 to 1; default 0.5
    NxReal dynamicFrictionForStaticShapes = 0.05f;   ///< 0 to 1; default 0.05
    NxReal staticFrictionForStaticShapes = 0.0f;     ///< >= 0; default 0
    NxReal attractionForStaticShapes = 0.0f;         ///< >= 0 (accepted; not simulated); default 0
    NxReal restitutionForDynamicShapes = 0.5f;       ///< 0 to 1; default 0.5
    NxReal dynamicFrictionForDynamicShapes = 0.5f;   ///< 0 to 1; default 0.5
    NxReal staticFrictionForDynamicShapes = 0.0f;    ///< >= 0; default 0
    NxReal attractionForDynamicShapes = 0.0f;        ///< >= 0 (accepted; not simulated); default 0
    NxReal collisionResponseCoefficient = 0.2f;      ///< share of the particles' momentum a dynamic
                                                 ///< body takes in two-way mode, >= 0; default 0.2
    NxU32 simulationMethod = NX_F_SPH;                   ///< NxFluidSimulationMethod; default SPH
    NxU32 collisionMethod = NX_F_STATIC | NX_F_DYNAMIC;  ///< NxFluidCollisionMethod bits; default 3
    NxU16 collisionGroup = 0;      ///< 0 to 31 (accepted; the fluid meets every shape); default 0
    NxU32 groupsMask = 0;          ///< accepted, unused; default 0
    NxU16 forceFieldMaterial = 0;  ///< accepted, unused; default 0
    /// Where fetchResults writes the live particles after each completed step.
    NxParticleData particlesWriteData;
    NxU32 flags = NX_FF_VISUALIZATION | NX_FF_ENABLED;  ///< NxFluidFlag bits; default 0x9
    /// Seed for the fluid's random numbers (emitters without a seed of their own); default 1.
    NxU32 randomSeed = 1;
    void* userData = nullptr;
    const char* name = nullptr;
    /// The compartment the fluid is stepped in; null: stepped with its scene.
    NxCompartment* compartment = nullptr;

    void setToDefault() { *this = NxFluidDesc(); }
    /// False for a field out of its range, a non-finite number or invalid particle data.
    bool isValid() const;
};

class NxFluid {
  public:
    virtual NxScene& getScene() const = 0;
    virtual NxCompartment* getCompartment() const = 0;

    /// Null when the descriptor is invalid.
    virtual NxFluidEmitter* createEmitter(const NxFluidEmitterDesc& desc) = 0;
    virtual void releaseEmitter(NxFluidEmitter& emitter) = 0;
    virtual NxU32 getNbEmitters() const = 0;
    virtual NxFluidEmitter** getEmitters() = 0;

    /// Adds particles (positions required) up to the free capacity; returns how many.
    virtual NxU32 addParticles(const NxParticleData& data) = 0;
    virtual void removeAllParticles() = 0;
    /// Live particles after the last completed step.
    virtual NxU32 getNbParticles() const = 0;
    virtual NxU32 getMaxParticles() const = 0;

    virtual void setParticlesWriteData(const NxParticleData& data) = 0;
    virtual NxParticleData getParticlesWriteData() const = 0;

    virtual NxU32 getSimulationMethod() const = 0;
    virtual void setSimulationMethod(NxU32 method) = 0;
    virtual NxU32 getFlags() const = 0;
    virtual void setFlag(NxFluidFlag flag, bool on) = 0;

    virtual NxReal getStiffness() const = 0;
    virtual void setStiffness(NxReal stiffness) = 0;
    virtual NxReal getViscosity() const = 0;
    virtual void setViscosity(NxReal viscosity) = 0;
    virtual NxReal getDamping() const = 0;
    virtual void setDamping(NxReal damping) = 0;
    virtual NxVec3 getExternalAcceleration() const = 0;
    virtual void setExternalAcceleration(const NxVec3& acceleration) = 0;

    virtual NxReal getRestParticlesPerMeter() const = 0;
    virtual NxReal getKernelRadiusMultiplier() const = 0;
    virtual NxReal getRestDensity() const = 0;
    /// kg: restDensity / restParticlesPerMeter^3.
    virtual NxReal getParticleMass() const = 0;

    void* userData = nullptr;

  protected:
    virtual ~NxFluid() = default;
};
