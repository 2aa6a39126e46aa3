#include "platform/physx/opencl/cl_fluid.h"

#include <algorithm>
#include <cstring>

namespace nxsdk {

namespace {

constexpr size_t kGroup = 64;          // work-group size of the per-particle kernels
constexpr size_t kShapeFloats = 40;    // SHAPE_FLOATS in the kernel source
constexpr size_t kMaxScanGroup = 256;  // the one-group scan

const char* const kKernelNames[] = {"ageParticles", "cellKeys",    "scanOneGroup", "scatterByCell",
                                    "compactKept",  "wallDensity", "densityPass",  "forcePass",
                                    "clearForces",  "integrate"};

uint32_t nextPowerOfTwo(uint32_t n) {
    uint32_t p = 1024;
    while (p < n && p < (1u << 30)) p <<= 1;
    return p;
}

template <typename T>
cl_int setArg(cl_kernel k, cl_uint index, const T& value) {
    return clSetKernelArg(k, index, sizeof(T), &value);
}

// Sets the arguments of a kernel in order; the first failure wins.
template <typename... Args>
cl_int setArgs(cl_kernel k, const Args&... args) {
    cl_int err = CL_SUCCESS;
    cl_uint index = 0;
    ((err = err != CL_SUCCESS ? err : setArg(k, index, args), ++index), ...);
    return err;
}

void packShape(const CollisionShape& c, float* s) {
    std::fill(s, s + kShapeFloats, 0.0f);
    s[0] = float(c.type);
    s[1] = c.onBody ? 1.0f : 0.0f;
    s[2] = c.drain ? 1.0f : 0.0f;
    s[3] = c.radius;
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) s[4 + 3 * r + col] = c.pose.M.m[r][col];
    const NxVec3* vectors[] = {&c.pose.t,       &c.halfExtents,    nullptr,
                               &c.normal,       &c.linearVelocity, &c.angularVelocity,
                               &c.centreOfMass, &c.boundsMin,      &c.boundsMax};
    const int at[] = {13, 16, 19, 20, 23, 26, 29, 32, 35};
    for (int k = 0; k < 9; ++k) {
        if (!vectors[k]) continue;
        s[at[k]] = vectors[k]->x;
        s[at[k] + 1] = vectors[k]->y;
        s[at[k] + 2] = vectors[k]->z;
    }
    s[19] = c.d;
}

}  // namespace

std::unique_ptr<ClFluidSolver> ClFluidSolver::create(std::shared_ptr<ClDevice> device,
                                                     uint32_t capacity, cl_int& error) {
    std::unique_ptr<ClFluidSolver> s(new ClFluidSolver);
    s->m_device = std::move(device);
    s->m_capacity = capacity;
    s->m_hashSize = nextPowerOfTwo(capacity);
    size_t group = std::min(kMaxScanGroup, s->m_device->maxGroup());
    s->m_scanGroup = group;
    cl_context ctx = s->m_device->context();
    error = CL_SUCCESS;
    s->m_queue = clCreateCommandQueue(ctx, s->m_device->device(), 0, &error);
    if (error != CL_SUCCESS) {
        s->m_queue = nullptr;
        return nullptr;
    }
    for (int k = 0; k < kKernelCount; ++k) {
        s->m_kernels[k] = clCreateKernel(s->m_device->program(), kKernelNames[k], &error);
        if (error != CL_SUCCESS) {
            s->m_kernels[k] = nullptr;
            return nullptr;
        }
    }
    const size_t n = std::max<size_t>(capacity, 1);
    const size_t f4 = 4 * sizeof(float);
    for (int b = 0; b < 2 && error == CL_SUCCESS; ++b) {
        error = s->makeBuffer(s->m_pos[b], n * f4);
        if (error == CL_SUCCESS) error = s->makeBuffer(s->m_vel[b], n * f4);
    }
    for (cl_mem* m : {&s->m_acc, &s->m_wall, &s->m_dens})
        if (error == CL_SUCCESS) error = s->makeBuffer(*m, n * f4);
    for (cl_mem* m : {&s->m_key, &s->m_rank})
        if (error == CL_SUCCESS) error = s->makeBuffer(*m, n * sizeof(cl_uint));
    if (error == CL_SUCCESS) error = s->makeBuffer(s->m_keep, (n + 1) * sizeof(cl_uint));
    if (error == CL_SUCCESS)
        error = s->makeBuffer(s->m_starts, (size_t(s->m_hashSize) + 2) * sizeof(cl_uint));
    if (error == CL_SUCCESS) error = s->makeBuffer(s->m_counters, 2 * sizeof(cl_uint));
    if (error == CL_SUCCESS) error = s->makeBuffer(s->m_params, sizeof(ClStepParams));
    if (error != CL_SUCCESS) return nullptr;
    try {
        s->m_stagePos.assign(4 * n, 0.0f);
        s->m_stageVel.assign(4 * n, 0.0f);
        s->m_birthPos.assign(4 * n, 0.0f);
        s->m_birthVel.assign(4 * n, 0.0f);
    } catch (const std::bad_alloc&) {
        error = CL_OUT_OF_HOST_MEMORY;
        return nullptr;
    }
    return s;
}

ClFluidSolver::~ClFluidSolver() {
    if (m_queue) clFinish(m_queue);
    for (cl_mem m : {m_pos[0], m_pos[1], m_vel[0], m_vel[1], m_acc, m_wall, m_dens, m_key, m_rank,
                     m_keep, m_starts, m_counters, m_params, m_shapes})
        if (m) clReleaseMemObject(m);
    for (cl_kernel k : m_kernels)
        if (k) clReleaseKernel(k);
    if (m_queue) clReleaseCommandQueue(m_queue);
}

cl_int ClFluidSolver::makeBuffer(cl_mem& buffer, size_t bytes) {
    cl_int err = CL_SUCCESS;
    buffer = clCreateBuffer(m_device->context(), CL_MEM_READ_WRITE, bytes, nullptr, &err);
    if (err != CL_SUCCESS) buffer = nullptr;
    return err;
}

cl_int ClFluidSolver::run(Kernel k, uint32_t n) {
    if (n == 0) return CL_SUCCESS;
    const size_t global = (size_t(n) + kGroup - 1) / kGroup * kGroup;
    const size_t local = kGroup;
    return checkedDeviceCall(clEnqueueNDRangeKernel(m_queue, m_kernels[k], 1, nullptr, &global,
                                                    &local, 0, nullptr, nullptr));
}

cl_int ClFluidSolver::scan(cl_mem data, uint32_t n) {
    cl_kernel k = m_kernels[kScan];
    cl_int err = setArgs(k, data, cl_uint(n));
    if (err == CL_SUCCESS) err = clSetKernelArg(k, 2, m_scanGroup * sizeof(cl_uint), nullptr);
    if (err != CL_SUCCESS) return err;
    const size_t size = m_scanGroup;
    return checkedDeviceCall(
        clEnqueueNDRangeKernel(m_queue, k, 1, nullptr, &size, &size, 0, nullptr, nullptr));
}

cl_int ClFluidSolver::age(uint32_t count, float dt, uint32_t& live) {
    live = 0;
    if (count == 0) return CL_SUCCESS;
    m_hostCounters[0] = 0;
    cl_int err = checkedDeviceCall(clEnqueueWriteBuffer(
        m_queue, m_counters, CL_FALSE, 0, sizeof(cl_uint), m_hostCounters, 0, nullptr, nullptr));
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kAge], m_pos[m_cur], cl_uint(count), dt, m_counters);
    if (err == CL_SUCCESS) err = run(kAge, count);
    if (err == CL_SUCCESS)
        err = checkedDeviceCall(clEnqueueReadBuffer(
            m_queue, m_counters, CL_TRUE, 0, sizeof(cl_uint), m_hostCounters, 0, nullptr, nullptr));
    if (err == CL_SUCCESS) live = std::min(m_hostCounters[0], count);
    return err;
}

cl_int ClFluidSolver::upload(uint32_t first, uint32_t n, const ClBirths& b) {
    if (n == 0) return CL_SUCCESS;
    if (first + n > m_capacity) return CL_INVALID_VALUE;
    for (uint32_t k = 0; k < n; ++k) {
        float* p = &m_birthPos[4 * size_t(k)];
        float* v = &m_birthVel[4 * size_t(k)];
        p[0] = b.x[k];
        p[1] = b.y[k];
        p[2] = b.z[k];
        p[3] = b.life[k];
        v[0] = b.vx[k];
        v[1] = b.vy[k];
        v[2] = b.vz[k];
        v[3] = 0.0f;
    }
    const size_t f4 = 4 * sizeof(float);
    cl_int err =
        checkedDeviceCall(clEnqueueWriteBuffer(m_queue, m_pos[m_cur], CL_FALSE, first * f4, n * f4,
                                               m_birthPos.data(), 0, nullptr, nullptr));
    if (err == CL_SUCCESS)
        err =
            checkedDeviceCall(clEnqueueWriteBuffer(m_queue, m_vel[m_cur], CL_FALSE, first * f4,
                                                   n * f4, m_birthVel.data(), 0, nullptr, nullptr));
    return err;
}

cl_int ClFluidSolver::uploadShapes(const CollisionShape* shapes, uint32_t count) {
    if (count == 0) return CL_SUCCESS;
    if (count > m_shapeRoom) {
        // Grows only when the scene gains shapes, never step by step.
        if (m_shapes) clReleaseMemObject(m_shapes);
        m_shapes = nullptr;
        m_shapeRoom = 0;
        const uint32_t room = std::max<uint32_t>(16, count * 2);
        const cl_int err = makeBuffer(m_shapes, room * kShapeFloats * sizeof(float));
        if (err != CL_SUCCESS) return err;
        m_shapeRoom = room;
        m_hostShapes.assign(room * kShapeFloats, 0.0f);
    }
    for (uint32_t k = 0; k < count; ++k) packShape(shapes[k], &m_hostShapes[k * kShapeFloats]);
    return checkedDeviceCall(clEnqueueWriteBuffer(m_queue, m_shapes, CL_FALSE, 0,
                                                  count * kShapeFloats * sizeof(float),
                                                  m_hostShapes.data(), 0, nullptr, nullptr));
}

cl_int ClFluidSolver::simulate(const ClStepParams& params, const CollisionShape* shapes,
                               uint32_t slots, uint32_t live, uint32_t& count) {
    // `count` always holds the particles the current buffers hold, failure or not: the
    // slots until the sort, the live after it, fewer after a removal.
    count = slots;
    m_hostParams = params;
    m_hostParams.hashMask = m_hashSize - 1;
    cl_int err = uploadShapes(shapes, params.shapeCount);
    if (err == CL_SUCCESS && !m_shapes) err = makeBuffer(m_shapes, kShapeFloats * sizeof(float));
    if (err == CL_SUCCESS)
        err = checkedDeviceCall(clEnqueueWriteBuffer(m_queue, m_params, CL_FALSE, 0,
                                                     sizeof m_hostParams, &m_hostParams, 0, nullptr,
                                                     nullptr));
    if (err != CL_SUCCESS || slots == 0) return err;

    // The sort: counts per bucket (the last one for the dead), their starts, the scatter.
    const cl_uint zero = 0;
    const int other = 1 - m_cur;
    err = checkedDeviceCall(clEnqueueFillBuffer(m_queue, m_starts, &zero, sizeof zero, 0,
                                                (size_t(m_hashSize) + 2) * sizeof(cl_uint), 0,
                                                nullptr, nullptr));
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kCellKeys], m_pos[m_cur], cl_uint(slots), params.invCell,
                      cl_uint(m_hashSize - 1), m_starts, m_key, m_rank);
    if (err == CL_SUCCESS) err = run(kCellKeys, slots);
    if (err == CL_SUCCESS) err = scan(m_starts, m_hashSize + 1);
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kScatter], cl_uint(slots), m_key, m_rank, m_starts, m_pos[m_cur],
                      m_vel[m_cur], m_pos[other], m_vel[other]);
    if (err == CL_SUCCESS) err = run(kScatter, slots);
    if (err != CL_SUCCESS) return err;
    m_cur = other;
    const uint32_t n = count = live;

    if (params.sph) {
        err = setArgs(m_kernels[kWall], cl_uint(n), m_pos[m_cur], m_shapes, m_params, m_wall);
        if (err == CL_SUCCESS) err = run(kWall, n);
        if (err == CL_SUCCESS)
            err = setArgs(m_kernels[kDensity], cl_uint(n), m_pos[m_cur], m_starts, m_wall, m_params,
                          m_dens);
        if (err == CL_SUCCESS) err = run(kDensity, n);
        if (err == CL_SUCCESS)
            err = setArgs(m_kernels[kForces], cl_uint(n), m_pos[m_cur], m_vel[m_cur], m_starts,
                          m_dens, m_params, m_acc);
        if (err == CL_SUCCESS) err = run(kForces, n);
    } else {
        err = setArgs(m_kernels[kClear], cl_uint(n), m_acc, m_wall, m_dens, params.restDensity);
        if (err == CL_SUCCESS) err = run(kClear, n);
    }
    if (err == CL_SUCCESS && params.markRemovals) {
        m_hostCounters[1] = 0;
        err = checkedDeviceCall(clEnqueueWriteBuffer(m_queue, m_counters, CL_FALSE, sizeof(cl_uint),
                                                     sizeof(cl_uint), &m_hostCounters[1], 0,
                                                     nullptr, nullptr));
    }
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kIntegrate], cl_uint(n), m_pos[m_cur], m_vel[m_cur], m_acc, m_wall,
                      m_dens, m_shapes, m_params, m_keep, m_counters);
    if (err == CL_SUCCESS) err = run(kIntegrate, n);
    if (err != CL_SUCCESS) return err;
    if (!params.markRemovals || n == 0) return CL_SUCCESS;

    err = checkedDeviceCall(clEnqueueReadBuffer(m_queue, m_counters, CL_TRUE, sizeof(cl_uint),
                                                sizeof(cl_uint), &m_hostCounters[1], 0, nullptr,
                                                nullptr));
    if (err != CL_SUCCESS || m_hostCounters[1] == 0) return err;
    // The kept move to the other buffers (the sort's source, free again), in their order.
    const int spare = 1 - m_cur;
    err = scan(m_keep, n);
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kCompact], cl_uint(n), m_keep, m_pos[m_cur], m_vel[m_cur],
                      m_pos[spare], m_vel[spare]);
    if (err == CL_SUCCESS) err = run(kCompact, n);
    if (err != CL_SUCCESS) return err;
    m_cur = spare;
    count = n - std::min(n, m_hostCounters[1]);
    return CL_SUCCESS;
}

void ClFluidSolver::settle() {
    if (m_queue) clFinish(m_queue);
}

cl_int ClFluidSolver::readBack(uint32_t count) {
    cl_int err = CL_SUCCESS;
    if (count > 0) {
        const size_t bytes = size_t(count) * 4 * sizeof(float);
        err = checkedDeviceCall(clEnqueueReadBuffer(m_queue, m_pos[m_cur], CL_FALSE, 0, bytes,
                                                    m_stagePos.data(), 0, nullptr, nullptr));
        if (err == CL_SUCCESS)
            err = checkedDeviceCall(clEnqueueReadBuffer(m_queue, m_vel[m_cur], CL_FALSE, 0, bytes,
                                                        m_stageVel.data(), 0, nullptr, nullptr));
    }
    // Waits for the whole step: a kernel that failed on the device shows here.
    const cl_int done = checkedDeviceCall(clFinish(m_queue));
    return err != CL_SUCCESS ? err : done;
}

}  // namespace nxsdk
