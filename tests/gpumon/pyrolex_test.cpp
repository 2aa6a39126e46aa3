// The Pyrolex facade with the NVIDIA back end, over the NVML double and a fake sysfs.

#include "gpumon/pyrolex/pyrolex.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "gpumon/pyrolex/pyrolex_trace.h"
#include "tests/gpumon/gpumon_test_support.h"

namespace plashwerk {
namespace {

using test::FakeSysfs;
using test::NvmlDouble;

class PyrolexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeSysfs::Adapter a;
        a.address = "0000:01:00.0";
        a.subsys_device = 0x146B;
        a.boot_vga = true;
        sysfs.add(a);
    }
    void TearDown() override { Pyrolex::shutdown(); }

    bool start() { return Pyrolex::startup(2, 2, 2, 2, 0, 0, true); }

    FakeSysfs sysfs;
    NvmlDouble nvml;
};

TEST_F(PyrolexTest, StartupIdentifiesTheNvidiaGpu) {
    nvml.add(1);
    ASSERT_TRUE(start());
    EXPECT_TRUE(Pyrolex::isStarted());
    EXPECT_TRUE(start()) << "a second start-up changes nothing";
    ASSERT_EQ(Pyrolex::getGpuCount(), 1);
    EXPECT_STREQ(Pyrolex::getGpuName(0), "NVIDIA GeForce RTX 3070");
    EXPECT_EQ(Pyrolex::getGpuKind(0), kGpuKindNvidia);
    uint32_t vendor = 0, device = 0, subsys_vendor = 0, subsys_device = 0, revision = 0;
    ASSERT_TRUE(Pyrolex::getPciIds(0, vendor, device, subsys_vendor, subsys_device, revision));
    EXPECT_EQ(vendor, 0x10DEu);
    EXPECT_EQ(device, 0x2484u);
    EXPECT_EQ(subsys_vendor, 0x10DEu);
    EXPECT_EQ(subsys_device, 0x146Bu);
    EXPECT_EQ(revision, 0xA1u);
    EXPECT_EQ(Pyrolex::getBusId(0), 1);
    EXPECT_STREQ(Pyrolex::getDriverVersion(0), "R445.23");
    EXPECT_STREQ(Pyrolex::getBiosVersion(0), "94.04.25.00.4B");
    EXPECT_STREQ(Pyrolex::getDeviceIdText(0), "PCI\\VEN_10DE&DEV_2484&SUBSYS_146B10DE&REV_A1")
        << "matched to its display device";
    EXPECT_EQ(Pyrolex::getMemoryType(0), nullptr) << "NVML does not name it";
    EXPECT_EQ(Pyrolex::getCoreCount(0), 5888);
    EXPECT_EQ(Pyrolex::getMemorySizeMb(0), 8192);
    EXPECT_EQ(Pyrolex::getTdpWatts(0), 220) << "from the device table";
    EXPECT_EQ(Pyrolex::getVendorClass(), kVendorNvidia);
    EXPECT_EQ(Pyrolex::getGlVendorId(), 0x10DEu);
    EXPECT_EQ(Pyrolex::getGlDeviceId(), 0x2484u);
    EXPECT_STREQ(Pyrolex::getCardName(), "NVIDIA GeForce RTX 3070");
    EXPECT_EQ(Pyrolex::getMaxViewportSize(), 0) << "no OpenGL context was asked for";

    EXPECT_TRUE(Pyrolex::shutdown());
    EXPECT_EQ(nvml->init_count(), 0) << "the vendor interface is released";
    EXPECT_FALSE(Pyrolex::shutdown());
}

TEST_F(PyrolexTest, SensorReadings) {
    nvml.add(1).memory_temperature = 71;
    ASSERT_TRUE(start());
    float gpu = 0, board = -1, memory = 0, power_supply = -1;
    ASSERT_TRUE(Pyrolex::getTemperatures(0, gpu, board, memory, power_supply));
    EXPECT_EQ(gpu, 45.0f);
    EXPECT_EQ(memory, 71.0f);
    EXPECT_EQ(board, -1.0f) << "a sensor the GPU lacks leaves its output alone";

    float load = 0, frame_buffer = 0;
    ASSERT_TRUE(Pyrolex::getGpuUsage(0, load, frame_buffer));
    EXPECT_EQ(load, 37.0f);
    EXPECT_EQ(frame_buffer, 12.0f);

    uint32_t total = 0, available = 0;
    float usage = 0;
    ASSERT_TRUE(Pyrolex::getMemoryUsage(0, total, available, usage));
    EXPECT_EQ(total, 8388608u);
    EXPECT_EQ(available, 6291456u);
    EXPECT_FLOAT_EQ(usage, 25.0f);

    float fan_percent = 0, fan_rpm = 0;
    ASSERT_TRUE(Pyrolex::getFanSpeed(0, fan_percent, fan_rpm));
    EXPECT_EQ(fan_percent, 41.0f) << "the last fan";
    EXPECT_EQ(fan_rpm, 1500.0f);

    float core = 0, mem = 0;
    ASSERT_TRUE(Pyrolex::getClockFrequencies(0, 0, core, mem));
    EXPECT_EQ(core, 1905.0f);
    EXPECT_EQ(mem, 7000.0f);
    ASSERT_TRUE(Pyrolex::getClockFrequencies(0, 1, core, mem));
    EXPECT_EQ(core, 1500.0f);
    ASSERT_TRUE(Pyrolex::getClockFrequencies(0, 2, core, mem));
    EXPECT_EQ(core, 1725.0f);
    EXPECT_FALSE(Pyrolex::getClockFrequencies(0, 3, core, mem)) << "NVAPI refuses the type count";
    EXPECT_FALSE(Pyrolex::getClockFrequencies(0, 4, core, mem));

    float volts = 0.5f;
    EXPECT_FALSE(Pyrolex::getCoreVoltage(0, volts));
    EXPECT_EQ(volts, 0.5f);

    float percent = 0, milliwatts = 0;
    ASSERT_TRUE(Pyrolex::getPowerStatus(0, percent, milliwatts));
    EXPECT_FLOAT_EQ(percent, 50.0f);
    EXPECT_EQ(milliwatts, 110000.0f);
    ASSERT_TRUE(Pyrolex::getPowerLimit(0, percent, milliwatts));
    EXPECT_FLOAT_EQ(percent, 100.0f);
}

TEST_F(PyrolexTest, PerformanceStates) {
    nvml.add(1);
    ASSERT_TRUE(start());
    ASSERT_EQ(Pyrolex::getPerfLevelCount(0), 2);
    PerfLevel level;
    ASSERT_TRUE(Pyrolex::getPerfLevel(0, 1, level));
    EXPECT_EQ(level.id, 8);
    EXPECT_EQ(level.gpu_clock, 300.0f);
    EXPECT_EQ(level.memory_clock, 405.0f);
    EXPECT_FALSE(Pyrolex::getPerfLevel(0, 2, level));
    EXPECT_FALSE(Pyrolex::getPerfLevel(0, -1, level));

    int pstate = 9;
    float core = 0, memory = 0, shader = 0, volts = 0;
    ASSERT_TRUE(Pyrolex::getPerfStateClocks(0, pstate, core, memory, shader, volts));
    EXPECT_EQ(pstate, 0);
    EXPECT_EQ(core, 2100.0f);
    EXPECT_EQ(memory, 7001.0f);
    EXPECT_EQ(shader, 2100.0f);

    // A current state that neither table holds: state -1, clocks left as they were.
    nvml->gpu(0)->pstate = 5;
    EXPECT_FALSE(Pyrolex::getPerfStateClocks(0, pstate, core, memory, shader, volts));
    EXPECT_EQ(pstate, -1);
    EXPECT_EQ(core, 2100.0f);
}

TEST_F(PyrolexTest, OutOfRangeAndFailedQueries) {
    nvml.add(1).fans = 0;
    ASSERT_TRUE(start());
    for (int bad : {-1, 1, 1000}) {
        EXPECT_EQ(Pyrolex::getGpuName(bad), nullptr);
        EXPECT_EQ(Pyrolex::getBusId(bad), -1);
        EXPECT_EQ(Pyrolex::getGpuKind(bad), -1);
        EXPECT_EQ(Pyrolex::getCoreCount(bad), 0);
        EXPECT_EQ(Pyrolex::getMemorySizeMb(bad), 0);
        EXPECT_EQ(Pyrolex::getTdpWatts(bad), 0);
        EXPECT_EQ(Pyrolex::getPerfLevelCount(bad), 0);
        EXPECT_EQ(Pyrolex::getBiosVersion(bad), nullptr);
        uint32_t a = 7, b = 7, c = 7, d = 7, e = 7;
        EXPECT_FALSE(Pyrolex::getPciIds(bad, a, b, c, d, e));
        EXPECT_EQ(a, 7u);
        float t = 3, u = 3, v = 3, w = 3;
        EXPECT_FALSE(Pyrolex::getTemperatures(bad, t, u, v, w));
        EXPECT_EQ(t, 3.0f);
        EXPECT_FALSE(Pyrolex::getGpuUsage(bad, t, u));
        EXPECT_FALSE(Pyrolex::getFanSpeed(bad, t, u));
        EXPECT_FALSE(Pyrolex::getPowerStatus(bad, t, u));
    }
    float percent = 0, rpm = 0;
    EXPECT_FALSE(Pyrolex::getFanSpeed(0, percent, rpm))
        << "a board without fans has no fan reading";

    nvml->fail("nvmlDeviceGetTemperature", NVML_ERROR_UNKNOWN);
    float t = 3, u = 3, v = 3, w = 3;
    EXPECT_FALSE(Pyrolex::getTemperatures(0, t, u, v, w));
    EXPECT_EQ(t, 3.0f);
    nvml->fail("nvmlDeviceGetUtilizationRates", NVML_ERROR_GPU_IS_LOST);
    EXPECT_FALSE(Pyrolex::getGpuUsage(0, t, u));
}

TEST_F(PyrolexTest, WithoutNvmlTheNvidiaAdapterHasNoGpu) {
    setenv("PLASHWERK_NVML_LIBRARY", "/nonexistent/libnvidia-ml.so.1", 1);
    ASSERT_TRUE(start());
    EXPECT_TRUE(Pyrolex::isStarted()) << "the display adapter is still there";
    EXPECT_EQ(Pyrolex::getGpuCount(), 0);
    EXPECT_STREQ(Pyrolex::getDriverText(), "") << "no driver version anywhere";
}

TEST_F(PyrolexTest, WithoutAnyDisplayDetectionFails) {
    FakeSysfs empty;  // replaces the root for this test
    ASSERT_TRUE(start()) << "start-up itself succeeds";
    EXPECT_FALSE(Pyrolex::isStarted());
    EXPECT_FALSE(Pyrolex::shutdown()) << "not started";
}

// The trace file is written only as a regular file: a FIFO at its name gets no line and
// does not block the tracing thread, a link at its name is not followed.
TEST(PyrolexTrace, FifoOrLinkAtTheFileNameGetsNoLine) {
    test::TempFolder folder;
    PyrolexTraceChannel channel((folder.folder() + "pyrolex.log").c_str());
    channel.setEnabled(true);
    channel.write("first %d", 1);
    EXPECT_NE(test::slurp(folder.folder() + "pyrolex.log").find(" >> first 1\n"),
              std::string::npos);

    test::Fifo fifo(folder.folder() + "fifo.log");
    channel.setFileName(fifo.path());
    EXPECT_TRUE(test::finishes([&] { channel.write("into the pipe"); }, [&] { fifo.unblock(); }))
        << "the trace waited on a FIFO";

    test::writeFile(folder.folder() + "precious.txt", "keep me\n");
    ASSERT_EQ(symlink("precious.txt", (folder.folder() + "link.log").c_str()), 0);
    channel.setFileName(folder.folder() + "link.log");
    channel.write("through the link");
    EXPECT_EQ(test::slurp(folder.folder() + "precious.txt"), "keep me\n");
}

}  // namespace
}  // namespace plashwerk

namespace plashwerk {
namespace {

// A headless machine (no display-class PCI device) with a software OpenGL: the start-up
// context's renderer stands for the one adapter, so the program runs in CI and on servers.
TEST(PyrolexHeadless, SoftwareContextMakesTheVirtualAdapter) {
    test::FakeSysfs no_adapters;
    test::NvmlDouble no_gpus;
    ASSERT_TRUE(Pyrolex::startup(2, 2, 2, 2, 2, 0, true));
    if (std::string(Pyrolex::getGlRenderer()).empty()) {
        EXPECT_FALSE(Pyrolex::isStarted());
        GTEST_SKIP() << "no OpenGL context can be made here";
    }
    EXPECT_TRUE(Pyrolex::isStarted());
    EXPECT_GE(Pyrolex::getGlMajorVersion(), 2);
    EXPECT_GT(Pyrolex::getMaxViewportSize(), 0);
    EXPECT_STREQ(Pyrolex::getDisplayDeviceIdString(), "VIRTUAL\\OPENGL");
    ASSERT_EQ(Pyrolex::getGpuCount(), 1);
    EXPECT_STREQ(Pyrolex::getGpuName(0), Pyrolex::getGlRenderer());
    EXPECT_STRNE(Pyrolex::getDriverText(), "") << "the OpenGL version text";
    EXPECT_EQ(Pyrolex::getVendorClass(), kVendorNone);
    for (int samples : Pyrolex::getMsaaModes()) EXPECT_GE(samples, 2);
    EXPECT_TRUE(Pyrolex::shutdown());
}

}  // namespace
}  // namespace plashwerk
