#pragma once
// A fluid's particles on an OpenCL device and the phases of its step there: aging, the
// births handed over from the host, the sort into cells, density, forces, integration and
// collision, removal, and the read-back of the hand-over into preallocated host memory.
// Every buffer is made once, when the fluid is created; a step allocates nothing.
//
// A step is enqueued without a wait: the counts the kernels need stay on the device, and
// the host learns the particles a step left with the hand-over, the one wait of the step.
// The host knows the living after the next aging without asking: the hand-over holds every
// particle's life, and the device ages them with the same float operations.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/physx/opencl/cl_runtime.h"
#include "platform/physx/shape_collision.h"

namespace nxsdk {

/// What the kernels need for one step (the layout of StepParams in the kernel source:
/// 4-byte fields only).
struct ClStepParams {
    float dt, h, h2, invCell;
    float densityCoef, selfDensity, pressureCoef, viscosityCoef;
    float restDensity, stiffness, maxExcess, wallPush;
    float gx, gy, gz, damp;
    float maxSpeed, contactDistance, worldLimit, pad0;
    float surface[8];  ///< restitution, keepSliding, staticFriction, bounceSpeed: static, body
    float pnx, pny, pnz, pd;
    float bmin[4];
    float bmax[4];
    uint32_t collideStatic, collideDynamic, project, hasBounds;
    uint32_t shapeCount, hashMask, sph, markRemovals;
};
static_assert(sizeof(ClStepParams) == 48 * 4, "the kernel reads this layout");

/// Births of one step on the host, structure of arrays, handed to upload().
struct ClBirths {
    const float *x, *y, *z, *vx, *vy, *vz, *life;
};

/// An exclusive prefix scan of a uint array in place on the device, over as many work groups
/// as the array fills: each scans a block, one group scans the blocks' totals, and each entry
/// adds its block's offset. The entry past the last receives the total. On a CPU device one
/// group scans the whole array: there each group costs a launch on a thread and its barriers
/// are loops, and one group's sequential runs are several times faster (65 537 entries on
/// PoCL: 40 us against 280 us).
class ClPrefixScan {
  public:
    /// For arrays of up to `maxCount` entries, enqueued on `queue` (not owned); null (and
    /// `error` set) when the device refuses. `blocksOnCpu` spreads the scan over groups on
    /// a CPU device too (the tests run the GPU's passes that way).
    static std::unique_ptr<ClPrefixScan> create(const ClDevice& device, cl_command_queue queue,
                                                uint32_t maxCount, cl_int& error,
                                                bool blocksOnCpu = false);
    ~ClPrefixScan();
    ClPrefixScan(const ClPrefixScan&) = delete;
    ClPrefixScan& operator=(const ClPrefixScan&) = delete;

    /// Enqueues the scan of data[0, n), n <= maxCount; `data` holds n + 1 entries.
    cl_int enqueue(cl_mem data, uint32_t n);
    /// Entries one work group scans in the first pass.
    uint32_t blockSize() const { return m_block; }

  private:
    ClPrefixScan() = default;
    cl_command_queue m_queue = nullptr;
    cl_kernel m_blocks = nullptr, m_oneGroup = nullptr, m_addOffsets = nullptr;
    cl_mem m_blockSums = nullptr;
    size_t m_group = 1, m_oneGroupSize = 1, m_addGroup = 1;
    uint32_t m_block = 1, m_maxCount = 0;
    bool m_spread = true;  // over groups; else one group scans everything
};

class ClFluidSolver {
  public:
    /// Buffers for `capacity` particles; null (and `error` set) when the device refuses.
    static std::unique_ptr<ClFluidSolver> create(std::shared_ptr<ClDevice> device,
                                                 uint32_t capacity, cl_int& error);
    ~ClFluidSolver();
    ClFluidSolver(const ClFluidSolver&) = delete;
    ClFluidSolver& operator=(const ClFluidSolver&) = delete;

    /// Counts down the lives of the first `count` particles; `live` receives how many are
    /// still alive, counted on the staged lives of the last hand-over (read anew, with a
    /// wait, when that was not of these `count` particles).
    cl_int age(uint32_t count, float dt, uint32_t& live);
    /// Writes `n` births into slots [first, first + n).
    cl_int upload(uint32_t first, uint32_t n, const ClBirths& births);
    /// Enqueues the step of the `slots` particles: the sort into cells (the dead drop out
    /// behind the living), the passes, and where `params.markRemovals` the removal of those
    /// drained or out of bounds. Waits for nothing. Whatever happens, the buffers hold
    /// `slots` whole particles, the dead and removed among them without life.
    cl_int simulate(const ClStepParams& params, const CollisionShape* shapes, uint32_t slots);
    /// The hand-over of the step just enqueued over `slots`: reads the particles and their
    /// count, waits, and on success sets `count` to the particles the step left.
    cl_int finishStep(uint32_t slots, uint32_t& count);
    /// Reads the first `count` particles into the staging memory below and waits for it.
    cl_int readBack(uint32_t count);
    /// Waits for whatever is still queued (after a failed step, before host memory the
    /// queue reads from is reused); the staged particles no longer count as the device's.
    void settle();
    /// Staged particles: x, y, z, life (infinite for immortal) per particle.
    const float* stagedPositions() const { return m_stagePos; }
    /// Staged particles: vx, vy, vz, density per particle.
    const float* stagedVelocities() const { return m_stageVel; }
    uint32_t capacity() const { return m_capacity; }

  private:
    enum Kernel {
        kAge,
        kCellKeys,
        kScatter,
        kCompact,
        kWall,
        kDensity,
        kForces,
        kClear,
        kIntegrate,
        kKernelCount
    };

    ClFluidSolver() = default;
    cl_int makeBuffer(cl_mem& buffer, size_t bytes);
    cl_int run(Kernel k, uint32_t n);
    cl_int uploadShapes(const CollisionShape* shapes, uint32_t count);
    cl_int readStaged(uint32_t count);

    static constexpr uint32_t kNotStaged = ~0u;

    std::shared_ptr<ClDevice> m_device;
    cl_command_queue m_queue = nullptr;
    std::array<cl_kernel, kKernelCount> m_kernels{};
    std::array<size_t, kKernelCount> m_groups{};
    std::unique_ptr<ClPrefixScan> m_scan;
    uint32_t m_capacity = 0;
    uint32_t m_hashSize = 0;
    int m_cur = 0;
    bool m_markedRemovals = false;
    uint32_t m_stagedCount = kNotStaged;  // the particles staged as the device holds them
    cl_mem m_pos[2] = {nullptr, nullptr};
    cl_mem m_vel[2] = {nullptr, nullptr};
    cl_mem m_acc = nullptr, m_wall = nullptr, m_dens = nullptr;
    cl_mem m_key = nullptr, m_rank = nullptr, m_keep = nullptr, m_starts = nullptr;
    cl_mem m_removed = nullptr, m_params = nullptr, m_shapes = nullptr;
    uint32_t m_shapeRoom = 0;
    ClStepParams m_hostParams{};
    uint32_t m_hostCounts[2] = {0, 0};  // the hand-over's living after the sort, removed
    cl_mem m_stageBuffers[2] = {nullptr, nullptr};  // pinned, mapped at m_stagePos, m_stageVel
    float* m_stagePos = nullptr;
    float* m_stageVel = nullptr;
    std::vector<float> m_birthPos, m_birthVel, m_hostShapes;
};

}  // namespace nxsdk
