#include "physics/fluid_layout.h"

#include <algorithm>
#include <cmath>

#include "physics/physics_settings.h"

namespace plashwerk {
namespace {

constexpr float kDegreesToRadians = NxPi / 180.0f;

/// Float to unsigned by truncation toward zero; NaN and negatives give 0, values beyond
/// the range give its top instead of undefined behaviour.
uint32_t truncateToUnsigned(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 4294967296.0f) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

}  // namespace

int clampEmitterCount(int num_fluid_emitters) {
    return std::clamp(num_fluid_emitters, 1, kMaxFluidEmitters);
}

FluidLayout planFluidLayout(int num_fluid_emitters, uint32_t ppu_count, bool hardware_present,
                            bool multithreaded_physx, bool fluid_per_emitter) {
    const uint32_t n = static_cast<uint32_t>(clampEmitterCount(num_fluid_emitters));
    FluidLayout layout;
    if (ppu_count == 0 && !hardware_present) {
        layout.simulations = n;
        layout.fluids_per_simulation = 1;
        layout.emitters_per_fluid = 1;
        layout.compartment_slots = multithreaded_physx ? n : 0;
    } else {
        layout.simulations = 1;
        layout.fluids_per_simulation = fluid_per_emitter ? n : 1;
        layout.emitters_per_fluid = fluid_per_emitter ? 1 : n;
        layout.compartment_slots = 0;
    }
    return layout;
}

float emitterAngleStep(uint32_t total_emitters) {
    if (total_emitters == 0) return 0.0f;
    return 360.0f / static_cast<float>(total_emitters);
}

NxVec3 emitterFramePosition(float angle_degrees, float radius, float y) {
    const float a = angle_degrees * kDegreesToRadians;
    return {radius * std::sin(a), y, -radius * std::cos(a)};
}

EmitterTilt emitterTilt(float angle_degrees) {
    const float a = angle_degrees * kDegreesToRadians;
    return {-1.0f - std::sin(a / 2.0f), -0.6f * std::sin(a)};
}

NxMat33 emitterRotation(float alpha, float beta) {
    NxMat33 rx;
    NxMat33 ry;
    rx.rotX(alpha);
    ry.rotY(beta);
    return rx * ry;
}

uint32_t emissionRate(const PhysicsSettings& options, uint32_t total_emitters) {
    // At least one particle per second: a share that rounds down to nothing (fewer particles
    // per emitter than seconds of lifetime) would leave the fluids empty and the benchmark
    // in its fluid initialisation for good.
    if (!options.use_particle_count) {
        const int rate =
            options.xtreme_burning ? options.particles_rate_xtreme : options.particles_rate;
        return rate > 1 ? static_cast<uint32_t>(rate) : 1;
    }
    const float lifetime = options.particles_lifetime;
    if (total_emitters == 0 || !(lifetime > 0.0f) || !std::isfinite(lifetime)) return 0;
    const float k = 1.0f / lifetime;
    const uint32_t capacity_rate =
        truncateToUnsigned(static_cast<float>(kMaxParticlesPerFluid) * k);
    const int64_t per_emitter = static_cast<int64_t>(options.num_particles) / total_emitters;
    const uint32_t share_rate = truncateToUnsigned(static_cast<float>(per_emitter) * k);
    return std::max(std::min(capacity_rate, share_rate), 1u);
}

float expectedParticleShare(uint32_t rate, float lifetime, float already_in_fluid,
                            uint32_t fluid_capacity) {
    const float wanted = static_cast<float>(rate) * lifetime;
    if (!(wanted > 0.0f) || !std::isfinite(wanted)) return 0.0f;
    const float room = static_cast<float>(fluid_capacity) - std::max(already_in_fluid, 0.0f);
    return std::clamp(wanted, 0.0f, std::max(room, 0.0f));
}

uint32_t warmupThreshold(float expected_particles, bool preset_run) {
    const uint32_t hundreds = truncateToUnsigned(expected_particles) / 100;
    return hundreds * (preset_run ? 98u : 90u);
}

}  // namespace plashwerk
