#pragma once
// The OpenCL side of the SDK's physics hardware: which devices count as physics
// processors, one context and built program per hardware scene, and a test seam that makes
// a device call fail on purpose.
//
// GPU and accelerator devices count. A CPU device counts only when the environment asks
// for it with PLASHWERK_OPENCL_DEVICE=cpu (so tests and CI can run the hardware path on a
// CPU implementation); then only CPU devices are taken. Without an OpenCL platform, or
// without a device, there is no hardware and everything runs on the CPU solver.

#ifndef CL_TARGET_OPENCL_VERSION
#define CL_TARGET_OPENCL_VERSION 120
#endif
#include <CL/cl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nxsdk {

/// The devices the SDK may simulate on, first the one it uses.
std::vector<cl_device_id> findPhysicsDevices();

/// A context and the fluid program built for one device. Shared by a hardware scene and
/// its fluids; each fluid has its own queue and kernels.
class ClDevice {
  public:
    /// Null when the context cannot be made or the program does not build; `error` says why.
    static std::shared_ptr<ClDevice> create(cl_device_id device, std::string& error);
    ~ClDevice();
    ClDevice(const ClDevice&) = delete;
    ClDevice& operator=(const ClDevice&) = delete;

    cl_context context() const { return m_context; }
    cl_device_id device() const { return m_device; }
    cl_program program() const { return m_program; }
    /// The largest work group of this device (CL_DEVICE_MAX_WORK_GROUP_SIZE).
    size_t maxGroup() const { return m_maxGroup; }
    /// A CPU device (the tests' PoCL): it likes other work-group sizes than a GPU.
    bool isCpu() const { return m_cpu; }
    /// The work-group size for `kernel` on this device: a multiple of the kernel's preferred
    /// multiple near `groupTarget()`, within the kernel's and the device's maximum.
    size_t groupSizeFor(cl_kernel kernel) const;
    /// The size the per-particle kernels aim at: PLASHWERK_OPENCL_GROUP where set (to try
    /// others on a new device), else 128 on a GPU and 64 on a CPU device.
    size_t groupTarget() const;

  private:
    ClDevice() = default;
    cl_device_id m_device = nullptr;
    cl_context m_context = nullptr;
    cl_program m_program = nullptr;
    size_t m_maxGroup = 1;
    bool m_cpu = false;
};

/// The largest multiple of `multiple` (1 when 0) that is at most `target` and at most
/// `kernelMax`; `multiple` itself when the target is below it; never above `kernelMax` and
/// never 0.
size_t chooseGroupSize(size_t kernelMax, size_t multiple, size_t target);

/// Test seam: the device call after `callsBefore` further checked calls answers `code`
/// instead of its own result (once). A code of CL_SUCCESS disarms it.
void injectDeviceFailure(cl_int code, uint32_t callsBefore = 0);

/// Every device call of the solver passes its result through here, so that an injected
/// failure takes exactly the path a real one would.
cl_int checkedDeviceCall(cl_int result);

}  // namespace nxsdk
