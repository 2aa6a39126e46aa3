#include "physics/fluid_particles.h"

#include <algorithm>
#include <cstring>

namespace plashwerk {

bool ParticleCopy::allocate(uint32_t capacity) {
    reset();
    if (!m_positions.allocate(capacity) || !m_life.allocate(capacity)) {
        reset();
        return false;
    }
    m_capacity = capacity;
    return true;
}

void ParticleCopy::reset() {
    m_positions.reset();
    m_life.reset();
    m_capacity = 0;
    m_count = 0;
}

void ParticleCopy::copyFrom(const ParticleView& from) {
    const uint32_t count = std::min(from.count, m_capacity);
    if (count > 0) {
        std::memcpy(m_positions.data(), from.positions, size_t{count} * kParticleRecordBytes);
        std::memcpy(m_life.data(), from.life, size_t{count} * kParticleRecordBytes);
    }
    m_count = count;
    ++m_generation;
}

ParticleView ParticleCopy::view() const {
    return {m_positions.data(), m_life.data(), m_count, m_generation};
}

bool FluidParticles::allocate(uint32_t capacity) {
    release();
    const bool ok = m_written.allocate(capacity) && m_velocities.allocate(capacity) &&
                    m_densities.allocate(capacity) && m_ids.allocate(capacity) &&
                    m_render.allocate(capacity);
    if (!ok) release();
    return ok;
}

void FluidParticles::release() {
    m_written.reset();
    m_velocities.reset();
    m_densities.reset();
    m_ids.reset();
    m_render.reset();
    m_live_count = 0;
}

NxParticleData FluidParticles::sdkWriteData() {
    NxParticleData data;
    data.numParticlesPtr = &m_live_count;
    data.bufferPos = reinterpret_cast<float*>(m_written.m_positions.data());
    data.bufferPosByteStride = kParticleRecordBytes;
    data.bufferVel = reinterpret_cast<float*>(m_velocities.data());
    data.bufferVelByteStride = kParticleRecordBytes;
    data.bufferLife = reinterpret_cast<float*>(m_written.m_life.data());
    data.bufferLifeByteStride = kParticleRecordBytes;
    data.bufferDensity = m_densities.data();
    data.bufferDensityByteStride = sizeof(float);
    data.bufferId = m_ids.data();
    data.bufferIdByteStride = sizeof(uint32_t);
    // The buffers' own capacity: the SDK never writes past it.
    data.maxParticles = capacity();
    return data;
}

ParticleView FluidParticles::written() const {
    // The count comes from the SDK; never trust it beyond the buffers.
    return {m_written.m_positions.data(), m_written.m_life.data(),
            std::min(m_live_count, capacity()), 0};
}

}  // namespace plashwerk
