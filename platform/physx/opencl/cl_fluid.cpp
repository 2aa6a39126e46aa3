#include "platform/physx/opencl/cl_fluid.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace nxsdk {

namespace {

constexpr size_t kShapeFloats = 40;  // SHAPE_FLOATS in the kernel source
constexpr uint32_t kScanItems = 4;   // SCAN_ITEMS in the kernel source
// The one-group scan of the blocks' totals: as wide as the device allows, up to 256.
constexpr size_t kOneGroupTarget = 256;

const char* const kKernelNames[] = {"ageParticles", "cellKeys",    "scatterByCell",
                                    "compactKept",  "wallDensity", "densityPass",
                                    "forcePass",    "clearForces", "integrate"};

size_t roundUp(size_t n, size_t multiple) {
    return (n + multiple - 1) / multiple * multiple;
}

cl_int makeKernel(cl_program program, const char* name, cl_kernel& kernel) {
    cl_int err = CL_SUCCESS;
    kernel = clCreateKernel(program, name, &err);
    if (err != CL_SUCCESS) kernel = nullptr;
    return err;
}

cl_int makeDeviceBuffer(cl_context context, size_t bytes, cl_mem& buffer) {
    cl_int err = CL_SUCCESS;
    buffer = clCreateBuffer(context, CL_MEM_READ_WRITE, bytes, nullptr, &err);
    if (err != CL_SUCCESS) buffer = nullptr;
    return err;
}

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

// ---------------------------------------------------------------------------------------
// ClPrefixScan

std::unique_ptr<ClPrefixScan> ClPrefixScan::create(const ClDevice& device, cl_command_queue queue,
                                                   uint32_t maxCount, cl_int& error,
                                                   bool blocksOnCpu) {
    std::unique_ptr<ClPrefixScan> s(new ClPrefixScan);
    s->m_queue = queue;
    s->m_maxCount = maxCount;
    s->m_spread = !device.isCpu() || blocksOnCpu;
    error = makeKernel(device.program(), "scanBlocks", s->m_blocks);
    if (error == CL_SUCCESS) error = makeKernel(device.program(), "scanOneGroup", s->m_oneGroup);
    if (error == CL_SUCCESS)
        error = makeKernel(device.program(), "addBlockOffsets", s->m_addOffsets);
    if (error != CL_SUCCESS) return nullptr;
    s->m_group = device.groupSizeFor(s->m_blocks);
    s->m_addGroup = device.groupSizeFor(s->m_addOffsets);
    size_t oneMax = device.maxGroup(), multiple = 1;
    clGetKernelWorkGroupInfo(s->m_oneGroup, device.device(), CL_KERNEL_WORK_GROUP_SIZE,
                             sizeof oneMax, &oneMax, nullptr);
    clGetKernelWorkGroupInfo(s->m_oneGroup, device.device(),
                             CL_KERNEL_PREFERRED_WORK_GROUP_SIZE_MULTIPLE, sizeof multiple,
                             &multiple, nullptr);
    s->m_oneGroupSize =
        chooseGroupSize(std::min(oneMax, device.maxGroup()), multiple, kOneGroupTarget);
    s->m_block = uint32_t(s->m_group) * kScanItems;
    const size_t blocks = (size_t(maxCount) + s->m_block - 1) / s->m_block;
    error = makeDeviceBuffer(device.context(), (blocks + 1) * sizeof(cl_uint), s->m_blockSums);
    if (error != CL_SUCCESS) return nullptr;
    return s;
}

ClPrefixScan::~ClPrefixScan() {
    if (m_blockSums) clReleaseMemObject(m_blockSums);
    for (cl_kernel k : {m_blocks, m_oneGroup, m_addOffsets})
        if (k) clReleaseKernel(k);
}

cl_int ClPrefixScan::enqueue(cl_mem data, uint32_t n) {
    if (n > m_maxCount) return CL_INVALID_VALUE;
    const uint32_t blocks = (n + m_block - 1) / m_block;
    if (blocks <= 1 || !m_spread) {
        // One block's worth, or a CPU device: the one-group scan alone.
        cl_int err = setArgs(m_oneGroup, data, cl_uint(n));
        if (err == CL_SUCCESS)
            err = clSetKernelArg(m_oneGroup, 2, m_oneGroupSize * sizeof(cl_uint), nullptr);
        if (err != CL_SUCCESS) return err;
        return checkedDeviceCall(clEnqueueNDRangeKernel(m_queue, m_oneGroup, 1, nullptr,
                                                        &m_oneGroupSize, &m_oneGroupSize, 0,
                                                        nullptr, nullptr));
    }
    cl_int err = setArgs(m_blocks, data, cl_uint(n), m_blockSums);
    if (err == CL_SUCCESS) err = clSetKernelArg(m_blocks, 3, m_block * sizeof(cl_uint), nullptr);
    if (err == CL_SUCCESS) err = clSetKernelArg(m_blocks, 4, m_group * sizeof(cl_uint), nullptr);
    if (err != CL_SUCCESS) return err;
    const size_t blocksGlobal = size_t(blocks) * m_group;
    err = checkedDeviceCall(clEnqueueNDRangeKernel(m_queue, m_blocks, 1, nullptr, &blocksGlobal,
                                                   &m_group, 0, nullptr, nullptr));
    if (err == CL_SUCCESS) err = setArgs(m_oneGroup, m_blockSums, cl_uint(blocks));
    if (err == CL_SUCCESS)
        err = clSetKernelArg(m_oneGroup, 2, m_oneGroupSize * sizeof(cl_uint), nullptr);
    if (err == CL_SUCCESS)
        err = checkedDeviceCall(clEnqueueNDRangeKernel(m_queue, m_oneGroup, 1, nullptr,
                                                       &m_oneGroupSize, &m_oneGroupSize, 0, nullptr,
                                                       nullptr));
    if (err == CL_SUCCESS)
        err =
            setArgs(m_addOffsets, data, cl_uint(n), m_blockSums, cl_uint(m_block), cl_uint(blocks));
    if (err != CL_SUCCESS) return err;
    const size_t addGlobal = roundUp(n, m_addGroup);
    return checkedDeviceCall(clEnqueueNDRangeKernel(m_queue, m_addOffsets, 1, nullptr, &addGlobal,
                                                    &m_addGroup, 0, nullptr, nullptr));
}

// ---------------------------------------------------------------------------------------
// ClFluidSolver

std::unique_ptr<ClFluidSolver> ClFluidSolver::create(std::shared_ptr<ClDevice> device,
                                                     uint32_t capacity, cl_int& error) {
    std::unique_ptr<ClFluidSolver> s(new ClFluidSolver);
    s->m_device = std::move(device);
    s->m_capacity = capacity;
    s->m_hashSize = nextPowerOfTwo(capacity);
    cl_context ctx = s->m_device->context();
    error = CL_SUCCESS;
    s->m_queue = clCreateCommandQueue(ctx, s->m_device->device(), 0, &error);
    if (error != CL_SUCCESS) {
        s->m_queue = nullptr;
        return nullptr;
    }
    for (int k = 0; k < kKernelCount; ++k) {
        error = makeKernel(s->m_device->program(), kKernelNames[k], s->m_kernels[k]);
        if (error != CL_SUCCESS) return nullptr;
        s->m_groups[k] = s->m_device->groupSizeFor(s->m_kernels[k]);
    }
    // The largest scan: the cell counts, with the bucket of the dead.
    s->m_scan = ClPrefixScan::create(*s->m_device, s->m_queue, s->m_hashSize + 1, error);
    if (!s->m_scan) return nullptr;
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
    if (error == CL_SUCCESS) error = s->makeBuffer(s->m_removed, sizeof(cl_uint));
    if (error == CL_SUCCESS) error = s->makeBuffer(s->m_params, sizeof(ClStepParams));
    if (error != CL_SUCCESS) return nullptr;
    // The hand-over's staging in pinned memory, mapped for the fluid's lifetime: a GPU
    // copies into it directly instead of through a bounce buffer of the driver.
    float** staged[2] = {&s->m_stagePos, &s->m_stageVel};
    for (int b = 0; b < 2; ++b) {
        s->m_stageBuffers[b] =
            clCreateBuffer(ctx, CL_MEM_READ_WRITE | CL_MEM_ALLOC_HOST_PTR, n * f4, nullptr, &error);
        if (error != CL_SUCCESS) {
            s->m_stageBuffers[b] = nullptr;
            return nullptr;
        }
        void* mapped =
            clEnqueueMapBuffer(s->m_queue, s->m_stageBuffers[b], CL_TRUE,
                               CL_MAP_READ | CL_MAP_WRITE, 0, n * f4, 0, nullptr, nullptr, &error);
        if (error != CL_SUCCESS) return nullptr;
        *staged[b] = static_cast<float*>(mapped);
    }
    try {
        s->m_birthPos.assign(4 * n, 0.0f);
        s->m_birthVel.assign(4 * n, 0.0f);
    } catch (const std::bad_alloc&) {
        error = CL_OUT_OF_HOST_MEMORY;
        return nullptr;
    }
    return s;
}

ClFluidSolver::~ClFluidSolver() {
    float* staged[2] = {m_stagePos, m_stageVel};
    for (int b = 0; b < 2; ++b)
        if (staged[b])
            clEnqueueUnmapMemObject(m_queue, m_stageBuffers[b], staged[b], 0, nullptr, nullptr);
    if (m_queue) clFinish(m_queue);
    m_scan.reset();
    for (cl_mem m : m_stageBuffers)
        if (m) clReleaseMemObject(m);
    for (cl_mem m : {m_pos[0], m_pos[1], m_vel[0], m_vel[1], m_acc, m_wall, m_dens, m_key, m_rank,
                     m_keep, m_starts, m_removed, m_params, m_shapes})
        if (m) clReleaseMemObject(m);
    for (cl_kernel k : m_kernels)
        if (k) clReleaseKernel(k);
    if (m_queue) clReleaseCommandQueue(m_queue);
}

cl_int ClFluidSolver::makeBuffer(cl_mem& buffer, size_t bytes) {
    return makeDeviceBuffer(m_device->context(), bytes, buffer);
}

cl_int ClFluidSolver::run(Kernel k, uint32_t n) {
    if (n == 0) return CL_SUCCESS;
    const size_t local = m_groups[k];
    const size_t global = roundUp(n, local);
    return checkedDeviceCall(clEnqueueNDRangeKernel(m_queue, m_kernels[k], 1, nullptr, &global,
                                                    &local, 0, nullptr, nullptr));
}

cl_int ClFluidSolver::age(uint32_t count, float dt, uint32_t& live) {
    live = 0;
    if (count == 0) return CL_SUCCESS;
    cl_int err = CL_SUCCESS;
    // After a failed step, or particles added since, the staging is read anew (a wait, but
    // only then).
    if (m_stagedCount != count) err = readBack(count);
    if (err != CL_SUCCESS) return err;
    // The kernel's arithmetic on the same lives: the same count, without asking the device.
    uint32_t alive = 0;
    for (uint32_t i = 0; i < count; ++i) {
        float life = m_stagePos[4 * size_t(i) + 3];
        if (!std::isinf(life)) life -= dt;
        alive += life > 1e-5f ? 1u : 0u;
    }
    m_stagedCount = kNotStaged;  // the device's lives have moved on
    err = setArgs(m_kernels[kAge], m_pos[m_cur], cl_uint(count), dt);
    if (err == CL_SUCCESS) err = run(kAge, count);
    if (err == CL_SUCCESS) live = alive;
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
                               uint32_t slots) {
    m_hostParams = params;
    m_hostParams.hashMask = m_hashSize - 1;
    m_markedRemovals = false;
    cl_int err = uploadShapes(shapes, params.shapeCount);
    if (err == CL_SUCCESS && !m_shapes) err = makeBuffer(m_shapes, kShapeFloats * sizeof(float));
    if (err == CL_SUCCESS)
        err = checkedDeviceCall(clEnqueueWriteBuffer(m_queue, m_params, CL_FALSE, 0,
                                                     sizeof m_hostParams, &m_hostParams, 0, nullptr,
                                                     nullptr));
    if (err != CL_SUCCESS || slots == 0) return err;

    // The sort: counts per bucket (the last one for the dead), their starts, the scatter.
    // From here on the kernels take the living from the start of the bucket of the dead.
    const cl_uint zero = 0;
    const int other = 1 - m_cur;
    err = checkedDeviceCall(clEnqueueFillBuffer(m_queue, m_starts, &zero, sizeof zero, 0,
                                                (size_t(m_hashSize) + 2) * sizeof(cl_uint), 0,
                                                nullptr, nullptr));
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kCellKeys], m_pos[m_cur], cl_uint(slots), params.invCell,
                      cl_uint(m_hashSize - 1), m_starts, m_key, m_rank);
    if (err == CL_SUCCESS) err = run(kCellKeys, slots);
    if (err == CL_SUCCESS) err = m_scan->enqueue(m_starts, m_hashSize + 1);
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kScatter], cl_uint(slots), m_key, m_rank, m_starts, m_pos[m_cur],
                      m_vel[m_cur], m_pos[other], m_vel[other]);
    if (err == CL_SUCCESS) err = run(kScatter, slots);
    if (err != CL_SUCCESS) return err;
    m_cur = other;

    if (params.sph) {
        err = setArgs(m_kernels[kWall], m_starts, m_pos[m_cur], m_shapes, m_params, m_wall);
        if (err == CL_SUCCESS) err = run(kWall, slots);
        if (err == CL_SUCCESS)
            err = setArgs(m_kernels[kDensity], cl_uint(slots), m_pos[m_cur], m_starts, m_wall,
                          m_params, m_dens);
        if (err == CL_SUCCESS) err = run(kDensity, slots);
        if (err == CL_SUCCESS)
            err = setArgs(m_kernels[kForces], cl_uint(slots), m_pos[m_cur], m_vel[m_cur], m_starts,
                          m_dens, m_params, m_acc);
        if (err == CL_SUCCESS) err = run(kForces, slots);
    } else {
        err = setArgs(m_kernels[kClear], m_starts, m_params, m_acc, m_wall, m_dens);
        if (err == CL_SUCCESS) err = run(kClear, slots);
    }
    if (err == CL_SUCCESS && params.markRemovals)
        err = checkedDeviceCall(clEnqueueFillBuffer(m_queue, m_removed, &zero, sizeof zero, 0,
                                                    sizeof zero, 0, nullptr, nullptr));
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kIntegrate], cl_uint(slots), m_starts, m_pos[m_cur], m_vel[m_cur],
                      m_acc, m_wall, m_dens, m_shapes, m_params, m_keep, m_removed);
    if (err == CL_SUCCESS) err = run(kIntegrate, slots);
    if (err != CL_SUCCESS || !params.markRemovals) return err;

    // The kept move to the other buffers (the sort's source, free again) in their order,
    // the rest behind them. Run every step that may remove: whether one did is known on
    // the device only.
    const int spare = 1 - m_cur;
    err = m_scan->enqueue(m_keep, slots);
    if (err == CL_SUCCESS)
        err = setArgs(m_kernels[kCompact], cl_uint(slots), m_keep, m_pos[m_cur], m_vel[m_cur],
                      m_pos[spare], m_vel[spare]);
    if (err == CL_SUCCESS) err = run(kCompact, slots);
    if (err != CL_SUCCESS) return err;
    m_cur = spare;
    m_markedRemovals = true;
    return CL_SUCCESS;
}

cl_int ClFluidSolver::finishStep(uint32_t slots, uint32_t& count) {
    m_stagedCount = kNotStaged;
    if (slots == 0) {
        count = 0;
        m_stagedCount = 0;
        return checkedDeviceCall(clFinish(m_queue));
    }
    // The living after the sort and the removed come with the particles, in the one wait.
    m_hostCounts[1] = 0;
    cl_int err = checkedDeviceCall(
        clEnqueueReadBuffer(m_queue, m_starts, CL_FALSE, size_t(m_hashSize) * sizeof(cl_uint),
                            sizeof(cl_uint), &m_hostCounts[0], 0, nullptr, nullptr));
    if (err == CL_SUCCESS && m_markedRemovals)
        err =
            checkedDeviceCall(clEnqueueReadBuffer(m_queue, m_removed, CL_FALSE, 0, sizeof(cl_uint),
                                                  &m_hostCounts[1], 0, nullptr, nullptr));
    // All the slots: the particles left are the first of them, however many that is.
    if (err == CL_SUCCESS) err = readStaged(slots);
    const cl_int done = checkedDeviceCall(clFinish(m_queue));
    if (err == CL_SUCCESS) err = done;
    if (err != CL_SUCCESS) return err;
    const uint32_t live = std::min(m_hostCounts[0], slots);
    count = live - std::min(live, m_hostCounts[1]);
    m_stagedCount = count;
    return CL_SUCCESS;
}

void ClFluidSolver::settle() {
    if (m_queue) clFinish(m_queue);
    m_stagedCount = kNotStaged;
}

cl_int ClFluidSolver::readStaged(uint32_t count) {
    if (count == 0) return CL_SUCCESS;
    const size_t bytes = size_t(count) * 4 * sizeof(float);
    cl_int err = checkedDeviceCall(clEnqueueReadBuffer(m_queue, m_pos[m_cur], CL_FALSE, 0, bytes,
                                                       m_stagePos, 0, nullptr, nullptr));
    if (err == CL_SUCCESS)
        err = checkedDeviceCall(clEnqueueReadBuffer(m_queue, m_vel[m_cur], CL_FALSE, 0, bytes,
                                                    m_stageVel, 0, nullptr, nullptr));
    return err;
}

cl_int ClFluidSolver::readBack(uint32_t count) {
    m_stagedCount = kNotStaged;
    const cl_int err = readStaged(count);
    // Waits for the whole queue: a kernel that failed on the device shows here.
    const cl_int done = checkedDeviceCall(clFinish(m_queue));
    if (err != CL_SUCCESS) return err;
    if (done == CL_SUCCESS) m_stagedCount = count;
    return done;
}

}  // namespace nxsdk
