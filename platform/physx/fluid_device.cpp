// A hardware fluid's step: the lifetimes count down on the device, the emitters give
// birth on the host (the same code, numbers and order as the CPU solver, so the counts
// match step by step), the births go to the device, and the device sorts, steps and
// collides them. Only the hand-over comes back, once a step, into preallocated memory.
#include <algorithm>

#include "platform/physx/fluid.h"
#include "platform/physx/fluid_internal.h"
#include "platform/physx/opencl/cl_fluid.h"
#include "platform/physx/worker_pool.h"

namespace nxsdk {

bool Fluid::uploadAppended(uint32_t first) {
    const ClBirths births{m_cur.x.data() + first,   m_cur.y.data() + first,
                          m_cur.z.data() + first,   m_cur.vx.data() + first,
                          m_cur.vy.data() + first,  m_cur.vz.data() + first,
                          m_cur.life.data() + first};
    const cl_int err = m_device->upload(first, m_count - first, births);
    m_deviceError = err;
    return err == CL_SUCCESS;
}

void Fluid::stepOnDevice(const FluidStepContext& ctx) {
    // One wait a step, the hand-over's: the living after aging come from the lives of the
    // last hand-over, the births go to the slots after the particles it held, and the
    // particles the step leaves come back with their count.
    ClFluidSolver& device = *m_device;
    const uint32_t before = m_count;
    uint32_t live = 0;
    cl_int err = device.age(m_count, ctx.dt, live);
    if (err == CL_SUCCESS) {
        m_stats.expired += m_count - live;
        m_live = live;
        const uint32_t first = m_count;
        emit(ctx);
        if (uploadAppended(first)) {
            ClStepParams params;
            deviceParams(ctx, params);
            // On a failure the buffers hold these slots, the dead among them without life.
            const uint32_t slots = m_count;
            err = device.simulate(params, ctx.shapes, slots);
            if (err == CL_SUCCESS) err = device.finishStep(slots, m_count);
        } else {
            err = m_deviceError;
            m_count = first;  // the births never reached the device
        }
    } else {
        m_count = before;
    }
    m_deviceError = err;
    if (err != CL_SUCCESS) device.settle();
}

void Fluid::writeDeviceResults(uint32_t n) {
    // The hand-over of a hardware fluid: positions, velocities, lives and densities, each
    // with its stride, for the first n particles and nothing beyond.
    const NxParticleData& out = m_desc.particlesWriteData;
    const float* pos = m_device->stagedPositions();
    const float* vel = m_device->stagedVelocities();
    for (uint32_t i = 0; i < n; ++i) {
        const float* p = pos + 4 * size_t(i);
        const float* v = vel + 4 * size_t(i);
        if (out.bufferPos) {
            float* d = recordAt<float>(out.bufferPos, out.bufferPosByteStride, i);
            d[0] = p[0];
            d[1] = p[1];
            d[2] = p[2];
        }
        if (out.bufferVel) {
            float* d = recordAt<float>(out.bufferVel, out.bufferVelByteStride, i);
            d[0] = v[0];
            d[1] = v[1];
            d[2] = v[2];
        }
        if (out.bufferLife)
            *recordAt<float>(out.bufferLife, out.bufferLifeByteStride, i) =
                p[3] == kImmortal ? 0.0f : p[3];
        if (out.bufferDensity)
            *recordAt<float>(out.bufferDensity, out.bufferDensityByteStride, i) = v[3];
    }
}

}  // namespace nxsdk
