// NVAPI over NVML, against the scripted NVML double.

#include "platform/nvapi/nvapi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/nvapi/nvml_api.h"
#include "tests/platform/nvapi/fake_nvml.h"

namespace {

class NvapiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("PLASHWERK_NVML_LIBRARY", FAKE_NVML_LIBRARY, 1);
        unsetenv("PLASHWERK_SYSFS_ROOT");
        nvml = std::make_unique<FakeNvml>(FAKE_NVML_LIBRARY);
        nvml->reset();
    }
    void TearDown() override {
        while (NvAPI_Unload() == NVAPI_OK) {
        }
        nvml->reset();
        unsetenv("PLASHWERK_NVML_LIBRARY");
    }

    // Initialises with the given GPUs and returns the first physical handle.
    NvPhysicalGpuHandle start(int gpus = 1) {
        for (int i = 0; i < gpus; ++i) {
            FakeNvmlGpu g = nvml->default_gpu();
            g.bus = static_cast<unsigned>(i + 1);
            nvml->add_gpu(&g);
        }
        EXPECT_EQ(NvAPI_Initialize(), NVAPI_OK);
        NvU32 count = 0;
        EXPECT_EQ(NvAPI_EnumPhysicalGPUs(handles, &count), NVAPI_OK);
        EXPECT_EQ(count, static_cast<NvU32>(gpus));
        return handles[0];
    }

    std::unique_ptr<FakeNvml> nvml;
    NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
};

TEST_F(NvapiTest, MissingLibraryOrDeviceMeansNoNvidiaGpu) {
    setenv("PLASHWERK_NVML_LIBRARY", "/nonexistent/libnvidia-ml.so.1", 1);
    EXPECT_EQ(NvAPI_Initialize(), NVAPI_LIBRARY_NOT_FOUND);
    NvU32 count = 7;
    EXPECT_EQ(NvAPI_EnumPhysicalGPUs(handles, &count), NVAPI_API_NOT_INITIALIZED);
    EXPECT_EQ(count, 7u);

    setenv("PLASHWERK_NVML_LIBRARY", FAKE_NVML_LIBRARY, 1);
    EXPECT_EQ(NvAPI_Initialize(), NVAPI_NVIDIA_DEVICE_NOT_FOUND) << "a driver without GPUs";
    EXPECT_EQ(nvml->init_count(), 0) << "NVML is shut down again";

    FakeNvmlGpu g = nvml->default_gpu();
    nvml->add_gpu(&g);
    nvml->fail("nvmlInit_v2", NVML_ERROR_DRIVER_NOT_LOADED);
    EXPECT_EQ(NvAPI_Initialize(), NVAPI_NVIDIA_DEVICE_NOT_FOUND);
    nvml->fail("nvmlInit_v2", 0);
    EXPECT_EQ(NvAPI_Initialize(), NVAPI_OK);
}

TEST_F(NvapiTest, InitialisationIsCounted) {
    start();
    EXPECT_EQ(NvAPI_Initialize(), NVAPI_OK);
    EXPECT_EQ(nvml->init_count(), 1);
    EXPECT_EQ(NvAPI_Unload(), NVAPI_OK);
    NvU32 bus = 0;
    EXPECT_EQ(NvAPI_GPU_GetBusId(handles[0], &bus), NVAPI_OK) << "one user left";
    EXPECT_EQ(NvAPI_Unload(), NVAPI_OK);
    EXPECT_EQ(nvml->init_count(), 0);
    EXPECT_EQ(NvAPI_GPU_GetBusId(handles[0], &bus), NVAPI_API_NOT_INITIALIZED);
    EXPECT_EQ(NvAPI_Unload(), NVAPI_API_NOT_INITIALIZED);
}

TEST_F(NvapiTest, HandlesAreCheckedAndDisplaysMapToTheirGpu) {
    start(2);
    NvU32 bus = 0;
    int not_a_handle = 0;
    EXPECT_EQ(NvAPI_GPU_GetBusId(reinterpret_cast<NvPhysicalGpuHandle>(&not_a_handle), &bus),
              NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE);
    EXPECT_EQ(NvAPI_GPU_GetBusId(nullptr, &bus), NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE);
    EXPECT_EQ(NvAPI_GPU_GetBusId(handles[0], nullptr), NVAPI_INVALID_ARGUMENT);

    NvDisplayHandle displays[3] = {};
    EXPECT_EQ(NvAPI_EnumNvidiaDisplayHandle(0, &displays[0]), NVAPI_OK);
    EXPECT_EQ(NvAPI_EnumNvidiaDisplayHandle(1, &displays[1]), NVAPI_OK);
    EXPECT_EQ(NvAPI_EnumNvidiaDisplayHandle(2, &displays[2]), NVAPI_END_ENUMERATION);
    NvPhysicalGpuHandle driven[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 count = 0;
    ASSERT_EQ(NvAPI_GetPhysicalGPUsFromDisplay(displays[1], driven, &count), NVAPI_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(driven[0], handles[1]);
    EXPECT_EQ(NvAPI_GetPhysicalGPUsFromDisplay(reinterpret_cast<NvDisplayHandle>(handles[0]),
                                               driven, &count),
              NVAPI_EXPECTED_DISPLAY_HANDLE);
    NvLogicalGpuHandle logical[NVAPI_MAX_LOGICAL_GPUS] = {};
    EXPECT_EQ(NvAPI_EnumLogicalGPUs(logical, &count), NVAPI_OK);
    EXPECT_EQ(count, 2u);
}

TEST_F(NvapiTest, IdentityAndDriverVersion) {
    // The revision comes from the kernel's PCI tree, here a fake one.
    char root[] = "/tmp/plashwerk_nvapi_XXXXXX";
    ASSERT_TRUE(mkdtemp(root));
    const std::string dir = std::string(root) + "/bus/pci/devices/0000:01:00.0";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/revision") << "0xa1\n";
    setenv("PLASHWERK_SYSFS_ROOT", root, 1);

    NvPhysicalGpuHandle gpu = start();
    NvU32 device = 0, subsystem = 0, revision = 0, ext = 0;
    ASSERT_EQ(NvAPI_GPU_GetPCIIdentifiers(gpu, &device, &subsystem, &revision, &ext), NVAPI_OK);
    EXPECT_EQ(device, 0x248410DEu);
    EXPECT_EQ(subsystem, 0x146B10DEu);
    EXPECT_EQ(revision, 0xA1u);
    EXPECT_EQ(ext, 0x2484u);
    std::filesystem::remove_all(root);
    unsetenv("PLASHWERK_SYSFS_ROOT");

    NvAPI_ShortString text = "";
    EXPECT_EQ(NvAPI_GPU_GetFullName(gpu, text), NVAPI_OK);
    EXPECT_STREQ(text, "NVIDIA GeForce RTX 3070");
    EXPECT_EQ(NvAPI_GPU_GetVbiosVersionString(gpu, text), NVAPI_OK);
    EXPECT_STREQ(text, "94.04.25.00.4B");
    NvU32 value = 0;
    EXPECT_EQ(NvAPI_GPU_GetPhysicalFrameBufferSize(gpu, &value), NVAPI_OK);
    EXPECT_EQ(value, 8388608u);
    EXPECT_EQ(NvAPI_GPU_GetGpuCoreCount(gpu, &value), NVAPI_OK);
    EXPECT_EQ(value, 5888u);
    EXPECT_EQ(NvAPI_GPU_GetRamType(gpu, &value), NVAPI_NOT_SUPPORTED);
    EXPECT_EQ(NvAPI_GPU_GetGPUType(gpu, &value), NVAPI_OK);
    EXPECT_EQ(value, NV_SYSTEM_TYPE_DGPU);

    NvAPI_ShortString branch = "";
    EXPECT_EQ(NvAPI_SYS_GetDriverAndBranchVersion(&value, branch), NVAPI_OK);
    EXPECT_EQ(value, 44523u);
    EXPECT_STREQ(branch, "445.23");
    nvml->set_driver_version("535.104.05");
    EXPECT_EQ(NvAPI_SYS_GetDriverAndBranchVersion(&value, branch), NVAPI_OK);
    EXPECT_EQ(value, 53510u) << "a three-digit minor keeps its first two digits";

    NV_DISPLAY_DRIVER_VERSION version{};
    EXPECT_EQ(NvAPI_GetDisplayDriverVersion(nullptr, &version), NVAPI_INCOMPATIBLE_STRUCT_VERSION);
    version.version = NV_DISPLAY_DRIVER_VERSION_VER;
    ASSERT_EQ(NvAPI_GetDisplayDriverVersion(nullptr, &version), NVAPI_OK);
    EXPECT_EQ(version.drvVersion, 53510u);
    EXPECT_STREQ(version.szAdapterString, "NVIDIA GeForce RTX 3070");

    nvml->fail("nvmlDeviceGetName", NVML_ERROR_UNKNOWN);
    EXPECT_EQ(NvAPI_GPU_GetFullName(gpu, text), NVAPI_ERROR);
    nvml->fail("nvmlDeviceGetNumGpuCores", NVML_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(NvAPI_GPU_GetGpuCoreCount(gpu, &value), NVAPI_NOT_SUPPORTED);
}

TEST_F(NvapiTest, ThermalUsageMemoryAndFans) {
    NvPhysicalGpuHandle gpu = start();
    nvml->gpu(0)->memory_temperature = 71;
    NV_GPU_THERMAL_SETTINGS thermal{};
    thermal.version = NV_GPU_THERMAL_SETTINGS_VER_1;
    ASSERT_EQ(NvAPI_GPU_GetThermalSettings(gpu, NVAPI_THERMAL_TARGET_ALL, &thermal), NVAPI_OK);
    ASSERT_EQ(thermal.count, 2u);
    EXPECT_EQ(thermal.sensor[0].target, NVAPI_THERMAL_TARGET_GPU);
    EXPECT_EQ(thermal.sensor[0].currentTemp, 45u);
    EXPECT_EQ(thermal.sensor[1].target, NVAPI_THERMAL_TARGET_MEMORY);
    EXPECT_EQ(thermal.sensor[1].currentTemp, 71u);
    EXPECT_EQ(NvAPI_GPU_GetThermalSettings(gpu, 1, &thermal), NVAPI_OK);
    EXPECT_EQ(thermal.count, 1u);
    EXPECT_EQ(thermal.sensor[0].currentTemp, 71u);
    EXPECT_EQ(NvAPI_GPU_GetThermalSettings(gpu, 2, &thermal), NVAPI_INVALID_ARGUMENT);
    nvml->fail("nvmlDeviceGetTemperature", NVML_ERROR_GPU_IS_LOST);
    EXPECT_EQ(NvAPI_GPU_GetThermalSettings(gpu, NVAPI_THERMAL_TARGET_ALL, &thermal), NVAPI_ERROR);

    NV_GPU_USAGES usages{};
    usages.version = NV_GPU_USAGES_VER_1;
    ASSERT_EQ(NvAPI_GPU_GetUsages(gpu, &usages), NVAPI_OK);
    EXPECT_EQ(usages.usage[2], 37u);
    EXPECT_EQ(usages.usage[6], 12u);
    EXPECT_EQ(usages.usage[10], 3u);

    auto memory_info = reinterpret_cast<NvAPI_GetDisplayDriverMemoryInfo_t>(
        nvapi_QueryInterface(NVAPI_ID_GET_DISPLAY_DRIVER_MEMORY_INFO));
    ASSERT_NE(memory_info, nullptr);
    NvDisplayHandle display = nullptr;
    ASSERT_EQ(NvAPI_EnumNvidiaDisplayHandle(0, &display), NVAPI_OK);
    NV_DISPLAY_DRIVER_MEMORY_INFO memory{};
    memory.version = NV_DISPLAY_DRIVER_MEMORY_INFO_VER_2;
    ASSERT_EQ(memory_info(display, &memory), NVAPI_OK);
    EXPECT_EQ(memory.dedicatedVideoMemory, 8388608u);
    EXPECT_EQ(memory.curAvailableDedicatedVideoMemory, 6291456u);

    NV_GPU_COOLER_SETTINGS coolers{};
    coolers.version = NV_GPU_COOLER_SETTINGS_VER_4;
    ASSERT_EQ(NvAPI_GPU_GetCoolerSettings(gpu, NVAPI_COOLER_TARGET_ALL, &coolers), NVAPI_OK);
    ASSERT_EQ(coolers.count, 2u);
    EXPECT_EQ(coolers.cooler[1].type, static_cast<NvS32>(NVAPI_COOLER_TYPE_FAN));
    EXPECT_EQ(coolers.cooler[1].currentLevel, 41);
    NvU32 rpm = 0;
    EXPECT_EQ(NvAPI_GPU_GetTachReading(gpu, &rpm), NVAPI_OK);
    EXPECT_EQ(rpm, 1500u);
    nvml->gpu(0)->fans = 0;  // a passively cooled board
    EXPECT_EQ(NvAPI_GPU_GetCoolerSettings(gpu, NVAPI_COOLER_TARGET_ALL, &coolers),
              NVAPI_NOT_SUPPORTED);
    EXPECT_EQ(NvAPI_GPU_GetTachReading(gpu, &rpm), NVAPI_NOT_SUPPORTED);

    EXPECT_EQ(nvapi_QueryInterface(NVAPI_ID_GPU_GET_ROP_COUNT), nullptr) << "NVML has no ROP count";
}

TEST_F(NvapiTest, ClocksVoltageAndPower) {
    NvPhysicalGpuHandle gpu = start();
    NV_GPU_CLOCK_FREQUENCIES clocks{};
    clocks.version = NV_GPU_CLOCK_FREQUENCIES_VER_3;
    const struct {
        NvU32 type, graphics_khz, memory_khz;
    } kinds[] = {{0, 1905000, 7000000}, {1, 1500000, 7000000}, {2, 1725000, 7001000}};
    for (const auto& kind : kinds) {
        clocks.ClockType = kind.type;
        ASSERT_EQ(NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks), NVAPI_OK);
        EXPECT_TRUE(clocks.domain[NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS].bIsPresent);
        EXPECT_EQ(clocks.domain[NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS].frequency, kind.graphics_khz);
        EXPECT_EQ(clocks.domain[NVAPI_GPU_PUBLIC_CLOCK_MEMORY].frequency, kind.memory_khz);
    }
    nvml->gpu(0)->boost_graphics = 0;  // no customer boost clock: the maximum clock stands in
    clocks.ClockType = 2;
    ASSERT_EQ(NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks), NVAPI_OK);
    EXPECT_EQ(clocks.domain[NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS].frequency, 2100000u);
    clocks.ClockType = 3;
    EXPECT_EQ(NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks), NVAPI_INVALID_ARGUMENT);

    NV_GPU_VOLTAGE_DOMAINS_STATUS volts{};
    volts.version = NV_GPU_VOLTAGE_DOMAINS_STATUS_VER_1;
    EXPECT_EQ(NvAPI_GPU_GetVoltageDomainsStatus(gpu, &volts), NVAPI_NOT_SUPPORTED);

    NV_GPU_POWER_TOPOLOGY_STATUS power{};
    power.version = NV_GPU_POWER_TOPOLOGY_STATUS_VER_1;
    ASSERT_EQ(NvAPI_GPU_ClientPowerTopologyGetStatus(gpu, &power), NVAPI_OK);
    EXPECT_EQ(power.entries[0].power_mp, 50000u) << "110 W of a 220 W board is 50.000 %";
    EXPECT_EQ(power.entries[0].power_mW, 110000u);
    auto policies = std::make_unique<NV_GPU_POWER_POLICIES_STATUS>();
    policies->version = NV_GPU_POWER_POLICIES_STATUS_VER_2;
    nvml->gpu(0)->enforced_limit_mw = 253000;
    ASSERT_EQ(NvAPI_GPU_ClientPowerPoliciesGetStatus(gpu, policies.get()), NVAPI_OK);
    EXPECT_EQ(policies->entries[0].power_mp, 115000u);
    nvml->gpu(0)->default_limit_mw = 0;
    ASSERT_EQ(NvAPI_GPU_ClientPowerTopologyGetStatus(gpu, &power), NVAPI_OK)
        << "the enforced limit stands in";
    EXPECT_EQ(power.entries[0].power_mp, 43478u);
}

// NVML answers "not available" with all bits set in a call that succeeds; none of those
// markers may come out as a reading.
TEST_F(NvapiTest, NotAvailableMarkersAreNotSupported) {
    NvPhysicalGpuHandle gpu = start();
    FakeNvmlGpu& g = *nvml->gpu(0);
    constexpr unsigned kNa = 0xFFFFFFFFu;
    g.temperature = g.util_gpu = g.util_memory = g.util_encoder = kNa;
    g.fans = 1;
    g.fan_percent = g.fan_rpm = kNa;
    g.clock_graphics = g.clock_memory = g.clock_sm = g.clock_video = kNa;
    g.base_graphics = g.base_memory = g.boost_graphics = g.boost_memory = kNa;
    g.max_graphics = g.max_memory = kNa;
    g.pstate_graphics[0] = g.pstate_memory[0] = g.pstate_sm[0] = kNa;
    g.power_mw = g.default_limit_mw = g.enforced_limit_mw = kNa;
    g.cores = kNa;

    NV_GPU_THERMAL_SETTINGS thermal{};
    thermal.version = NV_GPU_THERMAL_SETTINGS_VER_1;
    EXPECT_EQ(NvAPI_GPU_GetThermalSettings(gpu, NVAPI_THERMAL_TARGET_ALL, &thermal),
              NVAPI_NOT_SUPPORTED);
    NV_GPU_USAGES usages{};
    usages.version = NV_GPU_USAGES_VER_1;
    EXPECT_EQ(NvAPI_GPU_GetUsages(gpu, &usages), NVAPI_NOT_SUPPORTED);
    NvU32 value = 0;
    EXPECT_EQ(NvAPI_GPU_GetTachReading(gpu, &value), NVAPI_NOT_SUPPORTED);
    EXPECT_EQ(NvAPI_GPU_GetGpuCoreCount(gpu, &value), NVAPI_NOT_SUPPORTED);
    NV_GPU_COOLER_SETTINGS coolers{};
    coolers.version = NV_GPU_COOLER_SETTINGS_VER_4;
    EXPECT_EQ(NvAPI_GPU_GetCoolerSettings(gpu, NVAPI_COOLER_TARGET_ALL, &coolers),
              NVAPI_NOT_SUPPORTED);
    NV_GPU_CLOCK_FREQUENCIES clocks{};
    clocks.version = NV_GPU_CLOCK_FREQUENCIES_VER_3;
    for (NvU32 type : {0u, 1u, 2u}) {
        clocks.ClockType = type;
        EXPECT_EQ(NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks), NVAPI_NOT_SUPPORTED) << type;
    }
    NV_GPU_POWER_TOPOLOGY_STATUS power{};
    power.version = NV_GPU_POWER_TOPOLOGY_STATUS_VER_1;
    EXPECT_EQ(NvAPI_GPU_ClientPowerTopologyGetStatus(gpu, &power), NVAPI_NOT_SUPPORTED);
    auto policies = std::make_unique<NV_GPU_POWER_POLICIES_STATUS>();
    policies->version = NV_GPU_POWER_POLICIES_STATUS_VER_2;
    EXPECT_EQ(NvAPI_GPU_ClientPowerPoliciesGetStatus(gpu, policies.get()), NVAPI_NOT_SUPPORTED);

    // A state whose clocks are unknown lists them as 0, not as 4294966 MHz.
    auto pstates = std::make_unique<NV_GPU_PERF_PSTATES20_INFO>();
    pstates->version = NV_GPU_PERF_PSTATES20_INFO_VER3;
    ASSERT_EQ(NvAPI_GPU_GetPstates20(gpu, pstates.get()), NVAPI_OK);
    for (NvU32 c = 0; c < pstates->numClocks; ++c)
        EXPECT_EQ(pstates->pstates[0].clocks[c].data.single.freq_kHz, 0u) << c;
    auto status = reinterpret_cast<NvAPI_GPU_ClientFanCoolersGetStatus_t>(
        nvapi_QueryInterface(NVAPI_ID_GPU_CLIENT_FAN_COOLERS_GET_STATUS));
    ASSERT_NE(status, nullptr);
    NV_GPU_CLIENT_FAN_COOLERS_STATUS fans{};
    fans.version = NV_GPU_CLIENT_FAN_COOLERS_STATUS_VER_1;
    ASSERT_EQ(status(gpu, &fans), NVAPI_OK);
    EXPECT_EQ(fans.entries[0].currentRpm, 0u);
    EXPECT_EQ(fans.entries[0].currentLevel, 0u);

    // Memory NVML reports as more free than there is.
    g.memory_free = g.memory_total + 1;
    auto memory_info = reinterpret_cast<NvAPI_GetDisplayDriverMemoryInfo_t>(
        nvapi_QueryInterface(NVAPI_ID_GET_DISPLAY_DRIVER_MEMORY_INFO));
    NvDisplayHandle display = nullptr;
    ASSERT_EQ(NvAPI_EnumNvidiaDisplayHandle(0, &display), NVAPI_OK);
    NV_DISPLAY_DRIVER_MEMORY_INFO memory{};
    memory.version = NV_DISPLAY_DRIVER_MEMORY_INFO_VER_2;
    EXPECT_EQ(memory_info(display, &memory), NVAPI_NOT_SUPPORTED);
}

TEST_F(NvapiTest, PerformanceStates) {
    NvPhysicalGpuHandle gpu = start();
    NvU32 current = 99;
    ASSERT_EQ(NvAPI_GPU_GetCurrentPstate(gpu, &current), NVAPI_OK);
    EXPECT_EQ(current, 0u);

    auto info = std::make_unique<NV_GPU_PERF_PSTATES20_INFO>();
    info->version = NV_GPU_PERF_PSTATES20_INFO_VER3;
    ASSERT_EQ(NvAPI_GPU_GetPstates20(gpu, info.get()), NVAPI_OK);
    ASSERT_EQ(info->numPstates, 2u);
    EXPECT_EQ(info->pstates[1].pstateId, 8u);
    EXPECT_EQ(info->pstates[0].clocks[0].domainId, NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS);
    EXPECT_EQ(info->pstates[0].clocks[0].data.single.freq_kHz, 2100000u);
    EXPECT_EQ(info->pstates[1].clocks[1].data.single.freq_kHz, 405000u);

    auto v1 = std::make_unique<NV_GPU_PERF_PSTATES20_INFO>();
    v1->version = NV_GPU_PERF_PSTATES20_INFO_VER1;
    EXPECT_EQ(NvAPI_GPU_GetPstates20(gpu, v1.get()), NVAPI_OK)
        << "the older layout is still served";
    v1->version = MAKE_NVAPI_VERSION(NV_GPU_PERF_PSTATES20_INFO, 2);
    EXPECT_EQ(NvAPI_GPU_GetPstates20(gpu, v1.get()), NVAPI_INCOMPATIBLE_STRUCT_VERSION);

    auto get_info = reinterpret_cast<NvAPI_GPU_GetPstatesInfo_t>(
        nvapi_QueryInterface(NVAPI_ID_GPU_GET_PSTATES_INFO));
    ASSERT_NE(get_info, nullptr);
    auto table = std::make_unique<NV_GPU_PERF_PSTATES_INFO>();
    table->version = NV_GPU_PERF_PSTATES_INFO_VER3;
    ASSERT_EQ(get_info(gpu, table.get()), NVAPI_OK);
    EXPECT_EQ(table->numPstates, 2u);
    EXPECT_EQ(table->pstates[1].clocks[0].freq, 300000u);

    // Without NVML's state list and ranges, the current state alone with its live clocks.
    nvml->fail("nvmlDeviceGetSupportedPerformanceStates", NVML_ERROR_NOT_SUPPORTED);
    nvml->fail("nvmlDeviceGetMinMaxClockOfPState", NVML_ERROR_NOT_SUPPORTED);
    ASSERT_EQ(NvAPI_GPU_GetPstates20(gpu, info.get()), NVAPI_OK);
    EXPECT_EQ(info->numPstates, 1u);
    EXPECT_EQ(info->pstates[0].clocks[0].data.single.freq_kHz, 1905000u);
    nvml->gpu(0)->pstate = 32;
    EXPECT_EQ(NvAPI_GPU_GetPstates20(gpu, info.get()), NVAPI_NOT_SUPPORTED);
    EXPECT_EQ(NvAPI_GPU_GetCurrentPstate(gpu, &current), NVAPI_NOT_SUPPORTED);
}

TEST_F(NvapiTest, FunctionsMissingFromAnOlderLibraryFailCleanly) {
    setenv("PLASHWERK_NVML_LIBRARY", FAKE_NVML_MINIMAL_LIBRARY, 1);
    FakeNvml minimal(FAKE_NVML_MINIMAL_LIBRARY);
    minimal.reset();
    FakeNvmlGpu g = minimal.default_gpu();
    minimal.add_gpu(&g);
    ASSERT_EQ(NvAPI_Initialize(), NVAPI_OK);
    NvU32 count = 0;
    ASSERT_EQ(NvAPI_EnumPhysicalGPUs(handles, &count), NVAPI_OK);
    NvAPI_ShortString name = "";
    EXPECT_EQ(NvAPI_GPU_GetFullName(handles[0], name), NVAPI_OK);
    NV_GPU_THERMAL_SETTINGS thermal{};
    thermal.version = NV_GPU_THERMAL_SETTINGS_VER_1;
    EXPECT_EQ(NvAPI_GPU_GetThermalSettings(handles[0], NVAPI_THERMAL_TARGET_ALL, &thermal),
              NVAPI_NO_IMPLEMENTATION);
    NvU32 version = 0;
    NvAPI_ShortString branch = "";
    EXPECT_EQ(NvAPI_SYS_GetDriverAndBranchVersion(&version, branch), NVAPI_NOT_SUPPORTED);
    NV_GPU_USAGES usages{};
    usages.version = NV_GPU_USAGES_VER_1;
    EXPECT_EQ(NvAPI_GPU_GetUsages(handles[0], &usages), NVAPI_NO_IMPLEMENTATION);
    // The clocks event reasons come through the older name of the call.
    FakeNvmlGpu* scripted = minimal.gpu(0);
    scripted->reason_count = 1;
    scripted->reasons[0] = nvmlClocksEventReasonSwThermalSlowdown;
    uint64_t reasons = 0;
    EXPECT_EQ(NvAPI_GPU_GetClocksEventReasons(handles[0], &reasons), NVAPI_OK);
    EXPECT_EQ(reasons, nvmlClocksEventReasonSwThermalSlowdown);
    minimal.fail("nvmlDeviceGetCurrentClocksThrottleReasons", NVML_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(NvAPI_GPU_GetClocksEventReasons(handles[0], &reasons), NVAPI_NOT_SUPPORTED);
    EXPECT_EQ(NvAPI_Unload(), NVAPI_OK);
    minimal.reset();
}

TEST_F(NvapiTest, ClocksEventReasonsOneScriptedReadingPerCall) {
    const NvPhysicalGpuHandle gpu = start();
    FakeNvmlGpu* g = nvml->gpu(0);
    g->reason_count = 3;
    g->reasons[0] = 0;
    g->reasons[1] = nvmlClocksEventReasonGpuIdle;
    g->reasons[2] = nvmlClocksEventReasonSwPowerCap | nvmlClocksThrottleReasonHwThermalSlowdown;
    std::vector<uint64_t> seen;
    for (int i = 0; i < 4; ++i) {
        uint64_t reasons = 99;
        ASSERT_EQ(NvAPI_GPU_GetClocksEventReasons(gpu, &reasons), NVAPI_OK);
        seen.push_back(reasons);
    }
    EXPECT_EQ(seen, (std::vector<uint64_t>{0, 0x1, 0x44, 0x44})) << "the last one holds";
    EXPECT_EQ(NvAPI_GPU_GetClocksEventReasons(gpu, nullptr), NVAPI_INVALID_ARGUMENT);
    EXPECT_EQ(NvAPI_GPU_GetClocksEventReasons(nullptr, &seen[0]),
              NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE);
}

}  // namespace
