// The device's prefix scan against a plain one on the host, at sizes around its block and
// group boundaries and with work groups of odd sizes, and the choice of work-group sizes.
// The scan runs on the CPU device (PoCL in CI), spread over groups as on a GPU and in the
// one group a CPU device uses, and skips where there is none.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "platform/physx/opencl/cl_fluid.h"
#include "platform/physx/opencl/cl_runtime.h"

namespace {

using nxsdk::ClDevice;
using nxsdk::ClPrefixScan;

struct QueueDeleter {
    void operator()(cl_command_queue q) const {
        if (q) clReleaseCommandQueue(q);
    }
};
struct MemDeleter {
    void operator()(cl_mem m) const {
        if (m) clReleaseMemObject(m);
    }
};
using QueuePtr = std::unique_ptr<std::remove_pointer_t<cl_command_queue>, QueueDeleter>;
using MemPtr = std::unique_ptr<std::remove_pointer_t<cl_mem>, MemDeleter>;

std::shared_ptr<ClDevice> cpuDevice() {
    setenv("PLASHWERK_OPENCL_DEVICE", "cpu", 1);
    const std::vector<cl_device_id> found = nxsdk::findPhysicsDevices();
    if (found.empty()) return nullptr;
    std::string error;
    return ClDevice::create(found[0], error);
}

// Scans `values` on the device with a data buffer one entry longer (plus a guard entry
// behind it) and returns the n + 2 entries.
std::vector<cl_uint> scanOnDevice(ClDevice& device, cl_command_queue queue, ClPrefixScan& scan,
                                  const std::vector<cl_uint>& values) {
    const uint32_t n = uint32_t(values.size());
    std::vector<cl_uint> data(values);
    data.push_back(0xDEADu);  // becomes the total
    data.push_back(0xBEEFu);  // the guard: untouched
    cl_int err = CL_SUCCESS;
    MemPtr buffer(clCreateBuffer(device.context(), CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR,
                                 data.size() * sizeof(cl_uint), data.data(), &err));
    EXPECT_EQ(err, CL_SUCCESS);
    EXPECT_EQ(scan.enqueue(buffer.get(), n), CL_SUCCESS);
    EXPECT_EQ(clEnqueueReadBuffer(queue, buffer.get(), CL_TRUE, 0, data.size() * sizeof(cl_uint),
                                  data.data(), 0, nullptr, nullptr),
              CL_SUCCESS);
    return data;
}

TEST(DeviceScan, MatchesAPlainScanAcrossBlockBoundaries) {
    std::shared_ptr<ClDevice> device = cpuDevice();
    if (!device) GTEST_SKIP() << "no OpenCL device";
    cl_int err = CL_SUCCESS;
    QueuePtr queue(clCreateCommandQueue(device->context(), device->device(), 0, &err));
    ASSERT_EQ(err, CL_SUCCESS);
    std::mt19937 rng(7);
    // Spread over groups of the device's own size, then of 48 and 8: a block that is no
    // power of two, and more blocks than the scan of their totals has work-items. Last, the
    // device's own way (one group on a CPU device).
    struct Setting {
        const char* group;
        bool blocks;
    };
    for (const Setting setting :
         {Setting{"", true}, Setting{"48", true}, Setting{"8", true}, Setting{"", false}}) {
        const char* group = setting.group;
        if (*group)
            setenv("PLASHWERK_OPENCL_GROUP", group, 1);
        else
            unsetenv("PLASHWERK_OPENCL_GROUP");
        constexpr uint32_t kMax = 70000;
        std::unique_ptr<ClPrefixScan> scan =
            ClPrefixScan::create(*device, queue.get(), kMax, err, setting.blocks);
        ASSERT_NE(scan, nullptr) << err;
        const uint32_t b = scan->blockSize();
        ASSERT_GT(b, 1u);
        for (uint32_t n : {0u, 1u, b - 1, b, b + 1, 2 * b - 1, 3 * b + 7, 65537u, kMax}) {
            // Cell counts: mostly small, a few large, zeros between.
            std::vector<cl_uint> values(n);
            for (cl_uint& v : values) v = rng() % 8 == 0 ? rng() % 1000 : rng() % 3;
            const std::vector<cl_uint> got = scanOnDevice(*device, queue.get(), *scan, values);
            cl_uint run = 0;
            for (uint32_t i = 0; i < n; ++i) {
                ASSERT_EQ(got[i], run) << "group " << group << (setting.blocks ? ", blocks" : "")
                                       << ", n " << n << ", entry " << i;
                run += values[i];
            }
            EXPECT_EQ(got[n], run) << "the total, n " << n;
            EXPECT_EQ(got[n + 1], 0xBEEFu) << "past the total, n " << n;
        }
        // Longer than the scan was made for: refused, nothing enqueued.
        MemPtr buffer(clCreateBuffer(device->context(), CL_MEM_READ_WRITE,
                                     (kMax + 2) * sizeof(cl_uint), nullptr, &err));
        EXPECT_EQ(scan->enqueue(buffer.get(), kMax + 1), CL_INVALID_VALUE);
    }
    unsetenv("PLASHWERK_OPENCL_GROUP");
}

TEST(DeviceScan, GroupSizesStayWithinTheKernelAndOnItsMultiple) {
    for (size_t kernelMax : {1u, 7u, 16u, 48u, 64u, 100u, 256u, 1024u})
        for (size_t multiple : {0u, 1u, 8u, 32u, 48u, 64u})
            for (size_t target : {0u, 1u, 16u, 100u, 128u, 4096u}) {
                const size_t g = nxsdk::chooseGroupSize(kernelMax, multiple, target);
                const size_t m = multiple ? multiple : 1;
                SCOPED_TRACE(testing::Message() << kernelMax << " " << multiple << " " << target);
                ASSERT_GE(g, 1u);
                ASSERT_LE(g, kernelMax);
                if (m > kernelMax) {
                    EXPECT_EQ(g, kernelMax);  // the kernel cannot take one multiple
                    continue;
                }
                EXPECT_EQ(g % m, 0u);
                // The largest such multiple up to the target (or one multiple at least).
                const size_t limit = std::min(kernelMax, std::max(target, m));
                EXPECT_LE(g, limit);
                EXPECT_GT(g + m, limit);
            }
}

}  // namespace
