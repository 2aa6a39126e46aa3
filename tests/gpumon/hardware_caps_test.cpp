// HardwareCaps: display devices from a fake sysfs, the adapters of other vendors, the
// graphics summary's driver texts, the registry's driver values, the bus order.

#include "gpumon/pyrolex/hardware_caps.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cstring>

#include "platform/gl/probe_context.h"
#include "platform/registry/registry.h"
#include "platform/sysinfo/system_info.h"
#include "tests/gpumon/gpumon_test_support.h"

namespace plashwerk {
namespace {

using test::FakeSysfs;
using test::NvmlDouble;

constexpr const char* kLlvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";

FakeSysfs::Adapter adapter(const char* address, unsigned vendor, unsigned device,
                           bool boot_vga = false) {
    FakeSysfs::Adapter a;
    a.address = address;
    a.vendor = vendor;
    a.device = device;
    a.subsys_vendor = vendor;
    a.subsys_device = vendor == 0x10DE ? 0x146B : 0x1234;  // NVIDIA: the NVML double's board
    a.boot_vga = boot_vga;
    return a;
}

std::string keyOf(const char* address) {
    return std::string("SYSTEM\\CurrentControlSet\\Control\\Video\\{") + address + "}\\0000";
}

class HardwareCapsTest : public ::testing::Test {
  protected:
    void SetUp() override { setSystemRegistry(&registry); }
    void TearDown() override { setSystemRegistry(nullptr); }

    FakeSysfs sysfs;
    NvmlDouble nvml;
    MemoryRegistry registry;
};

TEST_F(HardwareCapsTest, DisplayDevicesPrimaryFirstAndRepeatsMerged) {
    sysfs.add(adapter("0000:01:00.0", 0x10DE, 0x2484));
    sysfs.add(adapter("0000:02:00.0", 0x10DE, 0x2484));  // same id text right after: merged
    FakeSysfs::Adapter network = adapter("0000:00:1f.6", 0x8086, 0x15BB);
    network.pci_class = 0x020000;
    sysfs.add(network);
    sysfs.add(adapter("0000:03:00.0", 0x1002, 0x744C));
    sysfs.add(adapter("0000:04:00.0", 0x10DE, 0x2484));  // same again, after another: kept
    sysfs.add(adapter("0000:00:02.0", 0x8086, 0x3E92, true));

    HardwareCaps caps;
    caps.init(nullptr);
    ASSERT_EQ(caps.displayDevices().size(), 4u);
    EXPECT_STREQ(caps.displayDevices()[0].device_id,
                 "PCI\\VEN_8086&DEV_3E92&SUBSYS_12348086&REV_A1");
    EXPECT_STREQ(caps.displayDevices()[1].device_id,
                 "PCI\\VEN_10DE&DEV_2484&SUBSYS_146B10DE&REV_A1");
    EXPECT_STREQ(caps.displayDevices()[2].device_id,
                 "PCI\\VEN_1002&DEV_744C&SUBSYS_12341002&REV_A1");
    EXPECT_STREQ(caps.displayDevices()[3].device_id, caps.displayDevices()[1].device_id);
    EXPECT_STREQ(
        caps.displayDevices()[1].registry_key,
        "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Video\\{0000:01:00.0}\\0000");

    EXPECT_TRUE(caps.displayOk());
    EXPECT_STREQ(caps.displayDeviceString(), "Intel UHD Graphics 630")
        << "named from the device table";
    EXPECT_STREQ(caps.displayDeviceIdString(), caps.displayDevices()[0].device_id);
    EXPECT_EQ(std::strncmp(caps.displayDeviceName(), "/dev/dri/card", 13), 0);
    EXPECT_EQ(caps.primaryIds().vendor_id, 0x8086u);
    EXPECT_EQ(caps.primaryIds().device_id, 0x3E92u);
    EXPECT_EQ(caps.vendorClass(), kVendorIntel);
}

TEST_F(HardwareCapsTest, VirtualAdapterOnlyWithoutDisplayDevicesAndWithAContext) {
    {
        HardwareCaps caps;
        caps.init(nullptr);
        EXPECT_FALSE(caps.displayOk()) << "no adapter and no OpenGL: detection fails";
        EXPECT_EQ(caps.gpuCount(), 0);
    }
    HardwareCaps caps;
    GlProbeInfo gl;
    gl.renderer = kLlvmpipe;
    gl.version_text = "4.5 (Compatibility Profile) Mesa 22.3.6";
    gl.major = 4;
    gl.minor = 5;
    gl.max_viewport = 16384;
    caps.setOpenGLInfo(gl);
    caps.init(kLlvmpipe);
    caps.scanGraphicsHardware();
    ASSERT_TRUE(caps.displayOk());
    EXPECT_STREQ(caps.displayDeviceIdString(), "VIRTUAL\\OPENGL");
    EXPECT_STREQ(caps.displayDeviceString(), kLlvmpipe);
    EXPECT_EQ(caps.vendorClass(), kVendorNone);
    ASSERT_EQ(caps.gpuCount(), 1);
    const GpuRecord* r = caps.gpu(0);
    EXPECT_EQ(r->kind, kGpuKindOther);
    EXPECT_STREQ(r->full_name, kLlvmpipe);
    EXPECT_EQ(r->vendor_id, 0u);
    EXPECT_EQ(r->table_row, -1);
    EXPECT_STREQ(r->driver_version, gl.version_text.c_str()) << "the software rasteriser's version";
    EXPECT_EQ(caps.summary().driver_text, gl.version_text);
    EXPECT_EQ(caps.summary().card_name, kLlvmpipe);
    EXPECT_EQ(caps.summary().codename, "n.a.");
    EXPECT_EQ(caps.maxViewport(), 16384);
    EXPECT_EQ(caps.backendFor(*r), nullptr);

    // A display-class device, even one without a driver, replaces the virtual entry.
    sysfs.add(adapter("0000:00:02.0", 0x1A03, 0x2000, true));
    HardwareCaps with_device;
    with_device.init(kLlvmpipe);
    EXPECT_STREQ(with_device.displayDeviceString(), "ASPEED Graphics Family");
}

TEST_F(HardwareCapsTest, AdaptersOfOtherVendorsBecomeGpusWithTableData) {
    sysfs.add(adapter("0000:02:00.0", 0x1A03, 0x2000, true));
    sysfs.add(adapter("0000:05:00.0", 0x8086, 0x56A0));
    nvml.add(0x41, 0x2330);
    HardwareCaps caps;
    caps.init(nullptr);
    EXPECT_EQ(caps.vendorClass(), kVendorOther);
    ASSERT_EQ(caps.gpuCount(), 3);
    EXPECT_EQ(caps.gpu(0)->kind, kGpuKindNvidia);
    EXPECT_STREQ(caps.gpu(0)->full_name, "NVIDIA H100 80GB HBM3");
    const GpuRecord* aspeed = caps.gpu(1);
    EXPECT_EQ(aspeed->kind, kVendorOther);
    EXPECT_EQ(aspeed->index, 0) << "its display-device entry";
    EXPECT_STREQ(aspeed->codename, "AST2x00");
    EXPECT_EQ(aspeed->bus_id, -1);
    const GpuRecord* arc = caps.gpu(2);
    EXPECT_EQ(arc->kind, kVendorIntel);
    EXPECT_STREQ(arc->full_name, "Intel Arc A770 Graphics");
    EXPECT_EQ(arc->cores, 4096);
    EXPECT_EQ(arc->tdp_watts, 225);
    EXPECT_STREQ(arc->subsys_text, "12348086");
    EXPECT_EQ(caps.gpu(3), nullptr);
    EXPECT_EQ(caps.gpu(-1), nullptr);
}

TEST_F(HardwareCapsTest, IntegratedPrimaryBesideAnNvidiaGpuIsNotListedTwice) {
    sysfs.add(adapter("0000:00:02.0", 0x8086, 0x3E92, true));
    sysfs.add(adapter("0000:01:00.0", 0x10DE, 0x2484));
    nvml.add(1);
    HardwareCaps caps;
    caps.init(nullptr);
    EXPECT_EQ(caps.vendorClass(), kVendorIntel);
    ASSERT_EQ(caps.gpuCount(), 1);
    EXPECT_EQ(caps.gpu(0)->kind, kGpuKindNvidia);
}

TEST_F(HardwareCapsTest, NvidiaSummaryDriverText) {
    sysfs.add(adapter("0000:01:00.0", 0x10DE, 0x2484, true));
    nvml.add(1);
    registry.setString(keyOf("0000:01:00.0"), "DriverDate", "3-5-2024");
    registry.setString(keyOf("0000:01:00.0"), "DriverVersion", "445.23");
    HardwareCaps caps;
    GlProbeInfo gl;
    gl.version_text = "4.6.0 NVIDIA 445.23";
    caps.setOpenGLInfo(gl);
    caps.init(nullptr);
    caps.scanGraphicsHardware();
    EXPECT_EQ(caps.summary().driver_text, "Forceware R445.23 (3-5-2024) - GL:445.23");
    EXPECT_EQ(caps.summary().card_name, "NVIDIA GeForce RTX 3070");
    EXPECT_EQ(caps.summary().codename, "GA104");
    EXPECT_EQ(caps.summary().unified_cores, 5888);
    EXPECT_EQ(caps.summary().gl_vendor_id, 0x10DEu);
    EXPECT_EQ(caps.summary().gpu_count, 1);

    HardwareCaps without_gl;
    without_gl.init(nullptr);
    without_gl.scanGraphicsHardware();
    EXPECT_EQ(without_gl.summary().driver_text, "Forceware R445.23 (3-5-2024)");
}

TEST_F(HardwareCapsTest, AmdAndOtherSummaryDriverTexts) {
    sysfs.add(adapter("0000:03:00.0", 0x1002, 0x6798, true));
    const std::string key = keyOf("0000:03:00.0");
    registry.setString(key, "DriverVersion", "15.201.1151.1008");
    registry.setString(key, "Catalyst_Version", "15.7");
    auto summary = [] {
        HardwareCaps caps;
        caps.init(nullptr);
        caps.scanGraphicsHardware();
        return caps.summary();
    };
    EXPECT_EQ(summary().driver_text, "Catalyst 15.7") << "no date";
    registry.setString(key, "DriverDate", "11-4-2015");
    const GraphicsSummary s = summary();
    EXPECT_EQ(s.driver_text, "15.201.1151.1008 - Catalyst 15.7 (11-4-2015)");
    EXPECT_EQ(s.card_name, "AMD Radeon R9 280X")
        << "0x6798 without \"Radeon HD 7900\" in its description";

    MemoryRegistry plain;
    setSystemRegistry(&plain);
    plain.setString(key, "DriverVersion", "15.201.1151.1008");
    EXPECT_EQ(summary().driver_text, "15.201.1151.1008") << "no Catalyst version: the plain form";
    plain.setString(key, "DriverDate", "11-4-2015");
    EXPECT_EQ(summary().driver_text, "15.201.1151.1008 (11-4-2015)");
    MemoryRegistry empty;
    setSystemRegistry(&empty);
    EXPECT_EQ(summary().driver_text, "");
}

TEST_F(HardwareCapsTest, LinuxRegistryAnswersFromTheBoundDriver) {
    test::TempFolder proc;
    test::writeFile(
        proc.path() + "/driver/nvidia/version",
        "NVRM version: NVIDIA UNIX x86_64 Kernel Module  550.54.15  Tue Mar  5 22:23:56 UTC 2024\n"
        "GCC version:  gcc version 12.2.0 (Debian 12.2.0-14)\n");
    FakeSysfs::Adapter nvidia = adapter("0000:01:00.0", 0x10DE, 0x2330);
    nvidia.driver = "nvidia";
    sysfs.add(nvidia);
    FakeSysfs::Adapter intel = adapter("0000:00:02.0", 0x8086, 0x3E92);
    intel.driver = "i915";
    sysfs.add(intel);
    sysfs.add(adapter("0000:02:00.0", 0x1A03, 0x2000));
    test::writeFile(sysfs.root() + "/module/i915/version", "1.6.0\n");

    auto linux_registry = makeLinuxRegistry(proc.path());
    std::string value;
    ASSERT_TRUE(linux_registry->readString(keyOf("0000:01:00.0").c_str(), "DriverVersion", value));
    EXPECT_EQ(value, "550.54.15");
    ASSERT_TRUE(linux_registry->readString(keyOf("0000:01:00.0").c_str(), "DriverDate", value));
    EXPECT_EQ(value, "3-5-2024");
    ASSERT_TRUE(linux_registry->readString(keyOf("0000:00:02.0").c_str(), "DriverVersion", value));
    EXPECT_EQ(value, "1.6.0");
    EXPECT_FALSE(linux_registry->readString(keyOf("0000:00:02.0").c_str(), "DriverDate", value));
    EXPECT_FALSE(linux_registry->readString(keyOf("0000:02:00.0").c_str(), "DriverVersion", value))
        << "no driver bound";
    EXPECT_FALSE(
        linux_registry->readString("SYSTEM\\Video\\{../../../etc}\\0000", "DriverVersion", value));
    EXPECT_FALSE(
        linux_registry->readString("SOFTWARE\\AGEIA Technologies", "DriverVersion", value));
    uint32_t version = 0;
    EXPECT_FALSE(
        linux_registry->readDword("SOFTWARE\\AGEIA Technologies", "PhysX Version", version));
}

TEST_F(HardwareCapsTest, BusOrderIsAscendingAndStable) {
    nvml.add(3);
    nvml.add(1);
    nvml.add(2);
    std::snprintf(nvml.add(1).name, 96, "second on bus 1");
    HardwareCaps caps;
    caps.init(nullptr);
    ASSERT_EQ(caps.gpuCount(), 4);
    caps.orderGpusByBus();
    const int expected[] = {1, 1, 2, 3};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(caps.gpu(i)->bus_id, expected[i]);
    EXPECT_STREQ(caps.gpu(1)->full_name, "NVIDIA GeForce RTX 3070")
        << "equal buses keep their order";
    EXPECT_STREQ(caps.gpu(0)->full_name, "NVIDIA GeForce RTX 3070");
    EXPECT_EQ(caps.gpu(3)->index, 0) << "the position at creation stays with the GPU";
}

TEST_F(HardwareCapsTest, ProcessorMemoryAndSystem) {
    HardwareCaps caps;
    caps.init(nullptr);
    EXPECT_FALSE(caps.cpuName().empty());
    EXPECT_GE(caps.logicalProcessors(), 1);
    EXPECT_GT(caps.systemMemoryKb(), 0u);
#if defined(__x86_64__)
    EXPECT_GT(caps.cpuMhz(), 0);
    EXPECT_FALSE(caps.cpuVendor().empty());
#endif
    EXPECT_NE(caps.osLongName().find("-bit build "), std::string::npos) << caps.osLongName();
}

TEST(OsNames, FromOsReleaseAndKernel) {
    const OsNames debian =
        buildOsNames("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
                     "6.1.0-18-amd64", 64);
    EXPECT_EQ(debian.short_name, "Debian GNU/Linux 12 (bookworm) 64-bit");
    EXPECT_EQ(debian.long_name, "Debian GNU/Linux 12 (bookworm) 64-bit build 6.1.0-18-amd64");
    EXPECT_EQ(buildOsNames("NAME=Fedora\nVERSION='39'\n", "", 64).long_name, "Fedora 39 64-bit");
    EXPECT_EQ(buildOsNames("", "6.1", 32).short_name, "Linux 32-bit");
    EXPECT_EQ(buildOsNames("PRETTY_NAME=\"\n", "", 64).short_name, "\" 64-bit")
        << "a damaged line stays text";
}

TEST(OpenGLDriverVersion, LastNumericWord) {
    EXPECT_EQ(openGLDriverVersion("4.6.0 NVIDIA 550.54.15"), "550.54.15");
    EXPECT_EQ(openGLDriverVersion("4.5 (Compatibility Profile) Mesa 22.3.6"), "22.3.6");
    EXPECT_EQ(openGLDriverVersion("2.1"), "");
    EXPECT_EQ(openGLDriverVersion(""), "");
}

}  // namespace
}  // namespace plashwerk
