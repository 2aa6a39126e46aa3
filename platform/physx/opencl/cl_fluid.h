#pragma once
// A fluid's particles on an OpenCL device and the phases of its step there: aging, the
// births handed over from the host, the sort into cells, density, forces, integration and
// collision, removal, and the read-back of the hand-over into preallocated host memory.
// Every buffer is made once, when the fluid is created; a step allocates nothing.

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

class ClFluidSolver {
  public:
    /// Buffers for `capacity` particles; null (and `error` set) when the device refuses.
    static std::unique_ptr<ClFluidSolver> create(std::shared_ptr<ClDevice> device,
                                                 uint32_t capacity, cl_int& error);
    ~ClFluidSolver();
    ClFluidSolver(const ClFluidSolver&) = delete;
    ClFluidSolver& operator=(const ClFluidSolver&) = delete;

    /// Counts down the lives of the first `count` particles; `live` receives how many are
    /// still alive.
    cl_int age(uint32_t count, float dt, uint32_t& live);
    /// Writes `n` births into slots [first, first + n).
    cl_int upload(uint32_t first, uint32_t n, const ClBirths& births);
    /// Sorts the `slots` particles into cells (the dead, all but `live` of them, drop out),
    /// steps them and, where `params.markRemovals`, removes those drained or out of bounds.
    /// `count` receives the particles left (after a failure: those the buffers hold).
    cl_int simulate(const ClStepParams& params, const CollisionShape* shapes, uint32_t slots,
                    uint32_t live, uint32_t& count);
    /// Reads the first `count` particles into the staging memory below and waits for it.
    cl_int readBack(uint32_t count);
    /// Waits for whatever is still queued (after a failed step, before host memory the
    /// queue reads from is reused).
    void settle();
    /// Staged particles: x, y, z, life (infinite for immortal) per particle.
    const float* stagedPositions() const { return m_stagePos.data(); }
    /// Staged particles: vx, vy, vz, density per particle.
    const float* stagedVelocities() const { return m_stageVel.data(); }
    uint32_t capacity() const { return m_capacity; }

  private:
    enum Kernel {
        kAge,
        kCellKeys,
        kScan,
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
    cl_int scan(cl_mem data, uint32_t n);
    cl_int uploadShapes(const CollisionShape* shapes, uint32_t count);

    std::shared_ptr<ClDevice> m_device;
    cl_command_queue m_queue = nullptr;
    std::array<cl_kernel, kKernelCount> m_kernels{};
    uint32_t m_capacity = 0;
    uint32_t m_hashSize = 0;
    size_t m_scanGroup = 1;
    int m_cur = 0;
    cl_mem m_pos[2] = {nullptr, nullptr};
    cl_mem m_vel[2] = {nullptr, nullptr};
    cl_mem m_acc = nullptr, m_wall = nullptr, m_dens = nullptr;
    cl_mem m_key = nullptr, m_rank = nullptr, m_keep = nullptr, m_starts = nullptr;
    cl_mem m_counters = nullptr, m_params = nullptr, m_shapes = nullptr;
    uint32_t m_shapeRoom = 0;
    ClStepParams m_hostParams{};
    uint32_t m_hostCounters[2] = {0, 0};
    std::vector<float> m_stagePos, m_stageVel, m_birthPos, m_birthVel, m_hostShapes;
};

}  // namespace nxsdk
