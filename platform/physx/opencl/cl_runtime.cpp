#include "platform/physx/opencl/cl_runtime.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/physx/opencl/cl_kernels.h"

namespace nxsdk {

namespace {

bool cpuDeviceAsked() {
    const char* v = std::getenv("PLASHWERK_OPENCL_DEVICE");
    return v && std::strcmp(v, "cpu") == 0;
}

// The injected failure: armed with a code and a count of calls to let through first.
std::atomic<cl_int> g_failCode{CL_SUCCESS};
std::atomic<int64_t> g_failAfter{0};

}  // namespace

std::vector<cl_device_id> findPhysicsDevices() {
    std::vector<cl_device_id> found;
    cl_uint platformCount = 0;
    // No ICD at all answers CL_PLATFORM_NOT_FOUND_KHR (-1001): no hardware.
    if (clGetPlatformIDs(0, nullptr, &platformCount) != CL_SUCCESS || platformCount == 0)
        return found;
    std::vector<cl_platform_id> platforms(platformCount);
    if (clGetPlatformIDs(platformCount, platforms.data(), nullptr) != CL_SUCCESS) return found;
    const cl_device_type wanted =
        cpuDeviceAsked() ? cl_device_type(CL_DEVICE_TYPE_CPU)
                         : cl_device_type(CL_DEVICE_TYPE_GPU | CL_DEVICE_TYPE_ACCELERATOR);
    for (cl_platform_id platform : platforms) {
        cl_uint n = 0;
        if (clGetDeviceIDs(platform, wanted, 0, nullptr, &n) != CL_SUCCESS || n == 0) continue;
        std::vector<cl_device_id> devices(n);
        if (clGetDeviceIDs(platform, wanted, n, devices.data(), nullptr) != CL_SUCCESS) continue;
        for (cl_device_id d : devices) {
            cl_bool available = CL_FALSE;
            cl_bool compiler = CL_FALSE;
            clGetDeviceInfo(d, CL_DEVICE_AVAILABLE, sizeof available, &available, nullptr);
            clGetDeviceInfo(d, CL_DEVICE_COMPILER_AVAILABLE, sizeof compiler, &compiler, nullptr);
            if (available && compiler) found.push_back(d);
        }
    }
    return found;
}

std::shared_ptr<ClDevice> ClDevice::create(cl_device_id device, std::string& error) {
    std::shared_ptr<ClDevice> d(new ClDevice);
    d->m_device = device;
    cl_int err = CL_SUCCESS;
    d->m_context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, &err);
    if (err != CL_SUCCESS || !d->m_context) {
        d->m_context = nullptr;
        error = "context: " + std::to_string(err);
        return nullptr;
    }
    const char* source = kClFluidSource;
    d->m_program = clCreateProgramWithSource(d->m_context, 1, &source, nullptr, &err);
    if (err != CL_SUCCESS || !d->m_program) {
        d->m_program = nullptr;
        error = "program: " + std::to_string(err);
        return nullptr;
    }
    // No fast-math options: the solver relies on infinities (immortal particles) and NaN
    // checks like the CPU solver does.
    err = clBuildProgram(d->m_program, 1, &device, "-cl-std=CL1.2", nullptr, nullptr);
    if (err != CL_SUCCESS) {
        size_t size = 0;
        clGetProgramBuildInfo(d->m_program, device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size);
        std::string log(size, '\0');
        clGetProgramBuildInfo(d->m_program, device, CL_PROGRAM_BUILD_LOG, size, log.data(),
                              nullptr);
        error = "build: " + std::to_string(err) + "\n" + log;
        return nullptr;
    }
    size_t group = 1;
    clGetDeviceInfo(device, CL_DEVICE_MAX_WORK_GROUP_SIZE, sizeof group, &group, nullptr);
    d->m_maxGroup = group < 1 ? 1 : group;
    cl_device_type type = 0;
    clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
    d->m_cpu = (type & CL_DEVICE_TYPE_CPU) != 0;
    return d;
}

ClDevice::~ClDevice() {
    if (m_program) clReleaseProgram(m_program);
    if (m_context) clReleaseContext(m_context);
}

size_t ClDevice::groupTarget() const {
    if (const char* v = std::getenv("PLASHWERK_OPENCL_GROUP")) {
        const long n = std::strtol(v, nullptr, 10);
        if (n > 0) return size_t(n);
    }
    // A GPU keeps several groups of 128 per compute unit in flight (a multiple of every
    // vendor's SIMD width). PoCL runs a group's work-items as loops on one thread, and 64
    // measured best there with the solver bench (16 and 32 pay more per-group overhead, 256
    // loses the spread over the threads).
    return m_cpu ? 64 : 128;
}

size_t ClDevice::groupSizeFor(cl_kernel kernel) const {
    size_t kernelMax = m_maxGroup, multiple = 1;
    clGetKernelWorkGroupInfo(kernel, m_device, CL_KERNEL_WORK_GROUP_SIZE, sizeof kernelMax,
                             &kernelMax, nullptr);
    clGetKernelWorkGroupInfo(kernel, m_device, CL_KERNEL_PREFERRED_WORK_GROUP_SIZE_MULTIPLE,
                             sizeof multiple, &multiple, nullptr);
    return chooseGroupSize(std::min(kernelMax, m_maxGroup), multiple, groupTarget());
}

size_t chooseGroupSize(size_t kernelMax, size_t multiple, size_t target) {
    kernelMax = std::max<size_t>(kernelMax, 1);
    multiple = std::max<size_t>(multiple, 1);
    if (multiple > kernelMax) return kernelMax;
    const size_t limit = std::min(kernelMax, std::max(target, multiple));
    return limit / multiple * multiple;
}

void injectDeviceFailure(cl_int code, uint32_t callsBefore) {
    g_failAfter.store(callsBefore, std::memory_order_relaxed);
    g_failCode.store(code, std::memory_order_release);
}

cl_int checkedDeviceCall(cl_int result) {
    if (g_failCode.load(std::memory_order_acquire) == CL_SUCCESS) return result;
    if (g_failAfter.fetch_sub(1, std::memory_order_acq_rel) > 0) return result;
    const cl_int code = g_failCode.exchange(CL_SUCCESS, std::memory_order_acq_rel);
    return code != CL_SUCCESS ? code : result;
}

}  // namespace nxsdk
