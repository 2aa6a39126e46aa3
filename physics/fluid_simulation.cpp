#include "physics/fluid_simulation.h"

namespace plashwerk {

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
        if (fluid) total += fluid->particles.liveCount();
    return total;
}

}  // namespace plashwerk
