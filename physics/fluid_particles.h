#pragma once
// One fluid's particles on their way from the SDK to the renderer.
//
// Contents:
//   ParticleRecord: one particle's position, velocity or life, as the SDK writes it
//   ParticleView: read-only particles (what the renderer draws from)
//   ParticleCopy: a block of positions and life that particles are copied into
//   FluidParticles: the SDK's write buffers and the render copy of one fluid
//
// The SDK writes the live particles into the write buffers while a step completes, on the
// thread that completes it. The render thread copies positions and life into the render
// copy while no step is completing (or from a copy the physics thread made, see run/) and
// draws only from that copy. All memory is allocated once, at the fluid's capacity,
// 16-byte aligned and zeroed; nothing is allocated per step or per frame.

#include <cstdint>

#include "physics/aligned_buffer.h"
#include "platform/physx/nx_fluid.h"

namespace plashwerk {

/// One particle's record in the position, velocity and life buffers: x, y, z, or the
/// remaining life in seconds in x (y and z of a life record are not written).
struct ParticleRecord {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};
inline constexpr uint32_t kParticleRecordBytes = sizeof(ParticleRecord);
static_assert(kParticleRecordBytes == 3 * sizeof(float), "the SDK and GL read 3 packed floats");

/// count particles, read-only. Valid while the buffers it looks at are not rewritten.
struct ParticleView {
    const ParticleRecord* positions = nullptr;
    const ParticleRecord* life = nullptr;
    uint32_t count = 0;
    /// Changes whenever a copy replaces the viewed particles (0 for the SDK's buffers,
    /// which the SDK rewrites in place): a reader that converts them knows when to again.
    uint64_t generation = 0;
};

/// Positions and life of up to capacity particles: where a fluid's particles are copied.
class ParticleCopy {
  public:
    /// capacity zeroed records of each; false (and empty) when the memory cannot be had.
    bool allocate(uint32_t capacity);
    void reset();
    uint32_t capacity() const { return m_capacity; }

    /// Takes from's positions and life, as many as fit, as two flat blocks.
    void copyFrom(const ParticleView& from);
    ParticleView view() const;

  private:
    friend class FluidParticles;  // lends the blocks to the SDK as its write buffers

    AlignedBuffer<ParticleRecord> m_positions;
    AlignedBuffer<ParticleRecord> m_life;
    uint32_t m_capacity = 0;
    uint32_t m_count = 0;
    uint64_t m_generation = 0;
};

/// One fluid's particles: the buffers the SDK writes and the copy the renderer draws.
class FluidParticles {
  public:
    /// Allocates every SDK buffer and the render copy for capacity particles and zeroes the
    /// count. False (with nothing allocated) when the memory cannot be had or capacity is 0.
    bool allocate(uint32_t capacity);
    void release();
    uint32_t capacity() const { return m_render.capacity(); }

    /// Where the SDK writes this fluid's particles: the count and the five buffers with
    /// their strides.
    NxParticleData sdkWriteData();

    /// Particles alive after the last completed step, as the SDK wrote the count.
    uint32_t liveCount() const { return m_live_count; }
    /// The particles the last completed step wrote (at most the capacity). Read only while
    /// no step of this fluid is completing.
    ParticleView written() const;

    /// Copies from's particles into the render copy. Render thread only.
    void takeForRender(const ParticleView& from) { m_render.copyFrom(from); }
    /// What the renderer draws. Render thread only.
    ParticleView forRender() const { return m_render.view(); }

  private:
    NxU32 m_live_count = 0;  ///< written by the SDK
    ParticleCopy m_written;  ///< positions and life, written by the SDK (not a copy's count)
    AlignedBuffer<ParticleRecord> m_velocities;
    AlignedBuffer<float> m_densities;
    AlignedBuffer<uint32_t> m_ids;
    ParticleCopy m_render;
};

}  // namespace plashwerk
