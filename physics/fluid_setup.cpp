// The fluid set-up of a run: scenes, fluids, collision actors, emitters on their circle, the
// warm-up threshold; and their release.

#include <algorithm>
#include <cmath>

#include "physics/demo_scene_physics.h"
#include "physics/fluid_layout.h"
#include "physics/physics_descriptors.h"
#include "physics/physics_settings.h"
#include "platform/engine/vn_trace_mgr.h"

namespace plashwerk {

using Vantorr_nsp::logTrace;
using Vantorr_nsp::VN_TRACE_ERROR;
using Vantorr_nsp::VN_TRACE_WARNING;

void DemoScenePhysics::createFluidSimulations() {
    const int requested = std::max(m_options.num_fluid_emitters, 1);
    if (requested > kMaxFluidEmitters)
        logTrace(VN_TRACE_WARNING, "PhysX fluid: %d emitters requested, limited to %d", requested,
                 kMaxFluidEmitters);
    const FluidLayout layout =
        planFluidLayout(requested, ppu_count, physx_hardware_present, m_options.multithreaded_physx,
                        m_options.fluid_per_emitter);

    {
        std::lock_guard lock(m_mutex);
        fluid_simulations.reserve(fluid_simulations.size() + layout.simulations);
    }
    int fluids_created = 0;
    for (uint32_t s = 0; s < layout.simulations; ++s) {
        NxScene* scene = createFluidScene();
        if (!scene) break;  // the run goes on with the simulations made so far

        auto simulation = std::make_unique<FluidSimulation>();
        simulation->scene = scene;
        simulation->compartment_slots = layout.compartment_slots;
        simulation->fluids_in_scene = layout.fluids_per_simulation;
        simulation->fluids.resize(layout.fluids_per_simulation);
        for (auto& slot : simulation->fluids) {
            auto fluid = std::make_unique<ParticleFluid>();
            if (!createParticleFluid(simulation.get(), fluid.get(), kMaxParticlesPerFluid)) {
                logTrace(VN_TRACE_WARNING, "PhysX fluid: could not create fluid %d",
                         fluids_created);
                continue;
            }
            ++fluids_created;
            fluid->emitter_count = layout.emitters_per_fluid;
            fluid->emitters = std::make_unique<NxFluidEmitter*[]>(layout.emitters_per_fluid);
            slot = std::move(fluid);
        }
        std::lock_guard lock(m_mutex);
        fluid_simulations.push_back(std::move(simulation));
    }
    fluid_count = static_cast<uint32_t>(fluid_simulations.size());

    // Every emitter of every fluid of every simulation stands on one circle, evenly spaced
    // over the emitters of all planned fluids; only the fluids that exist take places.
    const uint32_t total_emitters =
        layout.fluids_per_simulation * fluid_count * layout.emitters_per_fluid;
    uint32_t existing_emitters = 0;
    for (const ParticleFluid* fluid : particleFluids()) existing_emitters += fluid->emitter_count;
    m_layout.fluids = layout;
    m_layout.emitters = placeEmitters(total_emitters, existing_emitters, m_layout.obstacles);

    size_t next_placement = 0;
    float expected_particles = 0.0f;
    for (auto& simulation : fluid_simulations) {
        createObstacleActors(simulation->scene, m_layout.obstacles);
        createEmittersOf(*simulation, total_emitters, next_placement, expected_particles);
    }
    warmup_threshold = warmupThreshold(expected_particles, m_options.preset_run);
}

void DemoScenePhysics::createEmittersOf(FluidSimulation& simulation, uint32_t total_emitters,
                                        size_t& next_placement, float& expected_particles) {
    const float lifetime = m_options.particles_lifetime;
    const uint32_t rate = emissionRate(m_options, total_emitters);
    for (auto& fluid : simulation.fluids) {
        if (!fluid) continue;
        fluid->emission_rate = rate;
        fluid->lifetime = lifetime;
        float expected_in_fluid = 0.0f;
        for (uint32_t e = 0; e < fluid->emitter_count; ++e) {
            const EmitterPlacement& place = m_layout.emitters[next_placement++];
            NxActor* frame =
                createBoxActor(simulation.scene, place.box_position,
                               m_layout.obstacles.emitter_box_size, kObstacleDensity, true);
            if (createFluidEmitter(fluid.get(), e, lifetime, frame, place.tilt.alpha,
                                   place.tilt.beta)) {
                // Only emitters that exist fill the fluid; counting a missing one would set
                // a threshold the run never reaches.
                const float share = expectedParticleShare(rate, lifetime, expected_in_fluid,
                                                          fluid->particles.capacity());
                expected_in_fluid += share;
                expected_particles = std::trunc(expected_particles + share);
            }
        }
    }
}

bool DemoScenePhysics::createParticleFluid(FluidSimulation* simulation, ParticleFluid* fluid,
                                           uint32_t max_particles) {
    if (!simulation || !fluid || !simulation->scene) return false;
    NxScene* scene = simulation->scene;
    if (!fluid->particles.allocate(max_particles)) return false;

    // A fluid asks for hardware only in a scene that got it: after the silent software
    // fall-back a hardware fluid would be refused and the run left without particles.
    const bool hardware_fluid =
        physx_hardware_present && !m_options.physx_cpu && scene->getSimType() == NX_SIMULATION_HW;
    NxFluidDesc desc = makeFluidDesc(m_options, max_particles, hardware_fluid);
    desc.particlesWriteData = fluid->particles.sdkWriteData();

    const uint32_t slots = simulation->compartment_slots;
    if (slots > 0) {
        if (simulation->compartments.empty()) simulation->compartments.assign(slots, nullptr);
        if (simulation->next_compartment >= slots) simulation->next_compartment = 0;
        NxCompartment*& compartment = simulation->compartments[simulation->next_compartment];
        if (!compartment) compartment = scene->createCompartment(makeFluidCompartmentDesc());
        desc.compartment = compartment;
        ++simulation->next_compartment;
    }

    fluid->fluid = scene->createFluid(desc);
    if (!fluid->fluid) {
        logTrace(VN_TRACE_ERROR, "NVIDIA PhysX: fluid creation failed.");
        fluid->particles.release();
        return false;
    }
    return true;
}

bool DemoScenePhysics::createFluidEmitter(ParticleFluid* fluid, uint32_t index, float lifetime,
                                          NxActor* frame_actor, float alpha, float beta) {
    if (!fluid || !frame_actor || !fluid->fluid || !fluid->emitters ||
        index >= fluid->emitter_count)
        return false;
    if (frame_actor->getNbShapes() == 0 || !frame_actor->getShapes()) return false;
    NxShape* frame_shape = frame_actor->getShapes()[0];

    const NxFluidEmitterDesc desc = makeEmitterDesc(
        m_options, frame_shape, static_cast<float>(fluid->emission_rate), lifetime, alpha, beta);
    NxFluidEmitter* emitter = fluid->fluid->createEmitter(desc);
    if (!emitter) {
        logTrace(VN_TRACE_ERROR, "NVIDIA PhysX: fluid emitter creation failed.");
        return false;
    }
    fluid->emitters[index] = emitter;
    return true;
}

bool DemoScenePhysics::releaseFluidEmitters(ParticleFluid* fluid) {
    if (!fluid) return false;
    if (!fluid->emitters) return true;
    for (uint32_t e = 0; e < fluid->emitter_count; ++e) {
        NxFluidEmitter*& emitter = fluid->emitters[e];
        if (emitter && fluid->fluid) fluid->fluid->releaseEmitter(*emitter);
        emitter = nullptr;
    }
    return true;
}

bool DemoScenePhysics::releaseParticleFluid(NxScene* scene, ParticleFluid* fluid) {
    if (!scene || !fluid) return false;
    releaseFluidEmitters(fluid);
    if (fluid->fluid) scene->releaseFluid(*fluid->fluid);
    fluid->fluid = nullptr;
    fluid->emitters.reset();
    fluid->emitter_count = 0;
    fluid->particles.release();
    return true;
}

void DemoScenePhysics::releaseFluidSimulations() {
    {
        std::lock_guard lock(m_mutex);
        for (auto& simulation : fluid_simulations) {
            if (!simulation) continue;
            for (auto& fluid : simulation->fluids) {
                if (fluid) releaseParticleFluid(simulation->scene, fluid.get());
                fluid.reset();
            }
            releaseFluidScene(simulation->scene);
            simulation->scene = nullptr;
            simulation->compartments.clear();
            simulation.reset();
        }
        fluid_simulations.clear();
        fluid_count = 0;
    }
    shutdownPhysics();
}

std::vector<const ParticleFluid*> DemoScenePhysics::particleFluids() const {
    std::vector<const ParticleFluid*> fluids;
    for (const auto& simulation : fluid_simulations)
        if (simulation)
            for (const auto& fluid : simulation->fluids)
                if (fluid) fluids.push_back(fluid.get());
    return fluids;
}

uint32_t DemoScenePhysics::emitterTotal() const {
    uint32_t total = 0;
    for (const ParticleFluid* fluid : particleFluids())
        for (uint32_t e = 0; e < fluid->emitter_count; ++e) total += fluid->emitters[e] ? 1 : 0;
    return total;
}

uint32_t DemoScenePhysics::particleTotal() const {
    uint32_t total = 0;
    for (const auto& simulation : fluid_simulations)
        if (simulation) total += simulation->particleTotal();
    return total;
}

}  // namespace plashwerk
