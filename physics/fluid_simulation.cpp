#include "physics/fluid_simulation.h"

#include <algorithm>
#include <cstring>

namespace plashwerk {

bool ParticleFluid::allocateBuffers(uint32_t capacity) {
    freeBuffers();
    if (capacity == 0) return false;
    const size_t floats = size_t(capacity) * kFloatsPerParticle;
    const bool ok = positions.allocate(floats) && life.allocate(floats) &&
                    velocities.allocate(floats) && densities.allocate(capacity) &&
                    ids.allocate(capacity) && render_positions.allocate(floats) &&
                    render_life.allocate(floats);
    if (!ok) {
        freeBuffers();
        return false;
    }
    max_particles = capacity;
    particle_count = 0;
    return true;
}

void ParticleFluid::freeBuffers() {
    positions.reset();
    life.reset();
    velocities.reset();
    densities.reset();
    ids.reset();
    render_positions.reset();
    render_life.reset();
    point_positions.reset();
    point_colors.reset();
    max_particles = 0;
    particle_count = 0;
    render_count = 0;
}

bool ParticleFluid::allocatePointArrays() {
    if (!point_positions.empty() && !point_colors.empty()) return true;
    if (max_particles == 0) return false;
    const size_t floats = size_t(max_particles) * 4;
    if (point_positions.allocate(floats) && point_colors.allocate(floats)) return true;
    point_positions.reset();
    point_colors.reset();
    return false;
}

NxParticleData ParticleFluid::particleWriteData() {
    NxParticleData data;
    data.numParticlesPtr = &particle_count;
    data.bufferPos = positions.data();
    data.bufferPosByteStride = kParticleRecordBytes;
    data.bufferVel = velocities.data();
    data.bufferVelByteStride = kParticleRecordBytes;
    data.bufferLife = life.data();
    data.bufferLifeByteStride = kParticleRecordBytes;
    data.bufferDensity = densities.data();
    data.bufferDensityByteStride = sizeof(float);
    data.bufferId = ids.data();
    data.bufferIdByteStride = sizeof(uint32_t);
    // The buffers' own capacity: the SDK never writes past it.
    data.maxParticles = max_particles;
    return data;
}

void ParticleFluid::copyForRender() {
    // The count comes from the SDK; never trust it beyond the buffers.
    const uint32_t count = std::min(particle_count, max_particles);
    if (count > 0) {
        std::memcpy(render_positions.data(), positions.data(),
                    size_t(count) * kParticleRecordBytes);
        std::memcpy(render_life.data(), life.data(), size_t(count) * kParticleRecordBytes);
    }
    render_count = count;
    render_dirty = true;
}

void FluidSimulation::startStep() {
    if (!scene) return;
    scene->setTiming(kStepSeconds, 1, NX_TIMESTEP_FIXED);
    scene->simulate(kStepSeconds);
    scene->flushStream();
}

uint32_t FluidSimulation::completeStep() {
    if (!scene) return 0;
    NxU32 error_state = 0;
    scene->fetchResults(NX_RIGID_BODY_FINISHED, true, &error_state);
    return error_state;
}

uint32_t FluidSimulation::particleTotal() const {
    uint32_t total = 0;
    for (const auto& fluid : fluids)
        if (fluid) total += fluid->particle_count;
    return total;
}

}  // namespace plashwerk
