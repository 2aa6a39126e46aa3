#pragma once
// One physics scene with its fluids (FluidSimulation), and one fluid with its emitters and
// particle buffers (ParticleFluid).
//
// The SDK writes a fluid's live particles into positions, velocities, life, densities and
// ids when a step completes (fetchResults, on the thread that completes it). The render
// thread copies positions and life into the render copies while no step is completing and
// draws only from the copies. Every buffer is allocated once, at capacity, 16-byte aligned
// and zeroed, and freed with the fluid.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "physics/aligned_buffer.h"
#include "platform/physx/nx_physics.h"

namespace plashwerk {

/// Floats per particle record of positions, velocities and life (x, y, z / life, -, -).
inline constexpr uint32_t kFloatsPerParticle = 3;
inline constexpr uint32_t kParticleRecordBytes = kFloatsPerParticle * sizeof(float);

struct ParticleFluid {
    NxFluid* fluid = nullptr;
    std::unique_ptr<NxFluidEmitter*[]> emitters;  ///< emitter_count slots; null: not created
    uint32_t emitter_count = 0;

    /// Point-draw arrays, 4 floats per particle, made by the renderer at first use.
    AlignedBuffer<float> point_positions;
    AlignedBuffer<float> point_colors;

    uint32_t particle_count = 0;  ///< written by the SDK: live particles of the last step
    uint32_t max_particles = 0;   ///< capacity of every buffer
    uint32_t emission_rate = 0;   ///< particles per second of each emitter
    float lifetime = 0.0f;        ///< seconds a particle lives

    // SDK write buffers.
    AlignedBuffer<float> positions;   ///< x, y, z per particle; 12-byte stride
    AlignedBuffer<float> life;        ///< remaining life in the first float of 3; 12-byte stride
    AlignedBuffer<float> velocities;  ///< 12-byte stride
    AlignedBuffer<float> densities;   ///< 4-byte stride
    AlignedBuffer<uint32_t> ids;      ///< 4-byte stride

    // Copies for the renderer (render thread only).
    AlignedBuffer<float> render_positions;
    AlignedBuffer<float> render_life;
    uint32_t render_count = 0;  ///< particles in the render copies
    bool render_dirty = false;  ///< set by the copy, cleared by the particle draws

    /// Allocates every SDK buffer and render copy for capacity particles and zeroes the
    /// count. False (with nothing allocated) when the memory cannot be had or capacity is 0.
    bool allocateBuffers(uint32_t capacity);
    void freeBuffers();

    /// Allocates the point-draw arrays once; true when they exist.
    bool allocatePointArrays();

    /// Where the SDK writes this fluid's particles: the count and the five buffers with
    /// their strides.
    NxParticleData particleWriteData();

    /// Copies the live particles' positions and life into the render copies as flat blocks
    /// and marks them dirty. Call only while no step of this fluid is completing.
    void copyForRender();
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

    /// A completed step's particles wait to be copied.
    std::atomic<bool> new_data{true};

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
