#pragma once
// One physics scene with its fluids (FluidSimulation), and one fluid with its emitters and
// particles (ParticleFluid; the particle buffers and their render copy are FluidParticles).

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "physics/fluid_particles.h"
#include "platform/physx/nx_physics.h"

namespace plashwerk {

struct ParticleFluid {
    NxFluid* fluid = nullptr;
    std::unique_ptr<NxFluidEmitter*[]> emitters;  ///< emitter_count slots; null: not created
    uint32_t emitter_count = 0;

    uint32_t emission_rate = 0;  ///< particles per second of each emitter
    float lifetime = 0.0f;       ///< seconds a particle lives

    FluidParticles particles;  ///< the SDK's write buffers and the render copy
};

struct FluidSimulation {
    NxScene* scene = nullptr;

    /// Fluid compartments, compartment_slots entries, each created on first use; empty when
    /// compartment_slots is 0.
    std::vector<NxCompartment*> compartments;
    uint32_t compartment_slots = 0;
    uint32_t next_compartment = 0;  ///< round-robin index of the next fluid's compartment

    uint32_t fluids_in_scene = 0;
    std::vector<std::unique_ptr<ParticleFluid>> fluids;  ///< a slot stays null on failure

    /// One physics step as the run makes it: a fixed 0.02 s step in one sub-step, started
    /// and flushed. The step runs on the scene's own thread or inside this call, as the
    /// scene's flags say.
    void startStep();
    /// Waits for the step and lets the SDK write the particle buffers. Returns the SDK's
    /// error state: 0 for a good step.
    uint32_t completeStep();

    /// Particles alive in all fluids after the last completed step.
    uint32_t particleTotal() const;
};

/// Simulated seconds of one benchmark step, whatever the frame time.
inline constexpr float kStepSeconds = 0.02f;

}  // namespace plashwerk
