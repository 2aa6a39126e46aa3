#pragma once
// The numbers of the fluid set-up, as pure functions: how many scenes, fluids and emitters
// a run gets, where each emitter stands and how it is tilted, how fast it emits, and the
// particle count that ends the fluid's initial filling.
//
// Contents:
//   FluidLayout, planFluidLayout
//   the emitter circle: emitterAngleStep, emitterFramePosition, emitterTilt, emitterRotation
//   emission: emissionRate, expectedParticleShare, warmupThreshold

#include <cstdint>

#include "platform/physx/nx_foundation.h"

namespace plashwerk {

struct PhysicsSettings;

/// Capacity of every fluid, in particles.
inline constexpr uint32_t kMaxParticlesPerFluid = 65000;
/// Most emitters a run accepts. The dialog offers up to 31; every emitter costs a scene (or
/// a fluid) with about 4 MB of particle buffers, so a damaged setting must not ask for
/// thousands.
inline constexpr int kMaxFluidEmitters = 128;

struct FluidLayout {
    uint32_t simulations = 0;            ///< physics scenes (FluidSimulation records)
    uint32_t fluids_per_simulation = 0;  ///< fluids_in_scene of each
    uint32_t emitters_per_fluid = 0;
    uint32_t compartment_slots = 0;  ///< fluid compartments per scene; 0: none

    uint32_t totalEmitters() const {
        return simulations * fluids_per_simulation * emitters_per_fluid;
    }
};

/// Clamps a num_fluid_emitters setting to 1 .. kMaxFluidEmitters.
int clampEmitterCount(int num_fluid_emitters);

/// Without physics hardware (no PPU and no hardware version) every emitter gets a scene
/// with one fluid of its own, each in a fluid compartment when multithreaded_physx is set.
/// With hardware everything goes into one scene: one fluid per emitter, or one fluid with
/// all emitters when fluid_per_emitter is clear.
FluidLayout planFluidLayout(int num_fluid_emitters, uint32_t ppu_count, bool hardware_present,
                            bool multithreaded_physx, bool fluid_per_emitter);

/// Degrees between neighbouring emitters on the circle: 360 / total (0 when total is 0).
float emitterAngleStep(uint32_t total_emitters);

/// Where the box under the emitter at angle_degrees stands: on a circle of the given
/// radius around the scene's vertical axis, at height y. Angle 0 is -z, growing towards +x.
NxVec3 emitterFramePosition(float angle_degrees, float radius, float y);

struct EmitterTilt {
    float alpha = 0.0f;  ///< radians about x
    float beta = 0.0f;   ///< radians about y
};

/// The tilt of the emitter at angle_degrees: alpha = -1 - sin(a / 2) lifts the jet between
/// about 57 and 115 degrees from the emitter's forward axis; beta = -0.6 sin a swings it
/// sideways so the jets do not all meet at the centre.
EmitterTilt emitterTilt(float angle_degrees);

/// Rx(alpha) . Ry(beta), rows written left to right.
NxMat33 emitterRotation(float alpha, float beta);

/// Particles per second of each emitter. With use_particle_count the run's num_particles are
/// shared among total_emitters so that each emitter's particles, living particles_lifetime
/// seconds, add up to it, but never more than one fluid holds; otherwise the fixed rate
/// (particles_rate_xtreme under xtreme_burning, else particles_rate). Never below 1 particle
/// per second, so every fluid fills however small the count. A lifetime that is not above 0
/// or no emitters give 0; no setting overflows the rate.
uint32_t emissionRate(const PhysicsSettings& options, uint32_t total_emitters);

/// One emitter's expected live particles: rate x lifetime, but no more than the capacity
/// left in its fluid after the earlier emitters of the same fluid (already_in_fluid). A
/// fluid never holds more than its capacity, so a larger share would set a warm-up
/// threshold that the run can never reach. Negative or non-finite values count as 0.
float expectedParticleShare(uint32_t rate, float lifetime, float already_in_fluid,
                            uint32_t fluid_capacity);

/// The live particle count that ends the initial filling: 98 % of the expected particles
/// (rounded down to hundreds) in a preset run, 90 % otherwise.
uint32_t warmupThreshold(float expected_particles, bool preset_run);

}  // namespace plashwerk
