// The AMD back end over AGS and ADL on fake amdgpu trees: enumeration and naming, every
// Overdrive generation's queries, the performance-level table, and each failure path.

#include "gpumon/pyrolex/amd/amd_backend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "gpumon/pyrolex/device_tables.h"
#include "gpumon/pyrolex/hardware_caps.h"
#include "gpumon/pyrolex/pyrolex_trace.h"
#include "platform/registry/registry.h"
#include "tests/gpumon/gpumon_test_support.h"
#include "tests/platform/adl/fake_amdgpu.h"

namespace plashwerk {
namespace {

using test::FakeAmdgpu;

// What the wrapped interfaces do differently from the platform's, per test.
std::set<std::string> g_hidden_functions;
int g_forced_overdrive = 0;
bool g_ags_fails = false;
bool g_adl_create_fails = false;
int g_adapter_index_shift = 0;

int forcedOverdriveCaps(int, int* supported, int* enabled, int* version) {
    *supported = *enabled = 1;
    *version = g_forced_overdrive;
    return ADL_OK;
}
int failingCreate(ADL_MAIN_MALLOC_CALLBACK, int) {
    return ADL_ERR;
}
void* testGetProcAddress(void* library, const char* name) {
    if (g_hidden_functions.count(name)) return nullptr;
    if (g_forced_overdrive && std::strcmp(name, "ADL_Overdrive_Caps") == 0)
        return reinterpret_cast<void*>(&forcedOverdriveCaps);
    if (g_adl_create_fails && std::strcmp(name, "ADL_Main_Control_Create") == 0)
        return reinterpret_cast<void*>(&failingCreate);
    return adlGetProcAddress(library, name);
}
AGSReturnCode testAgsInit(AGSContext** context, const AGSConfiguration* config, AGSGPUInfo* info) {
    if (g_ags_fails) return AGS_FAILURE;
    const AGSReturnCode code = agsInit(context, config, info);
    for (int i = 0; code == AGS_SUCCESS && i < info->numDevices; ++i)
        info->devices[i].adlAdapterIndex += g_adapter_index_shift;
    return code;
}

class AmdBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setSystemRegistry(&registry);
        g_hidden_functions.clear();
        g_forced_overdrive = 0;
        g_ags_fails = g_adl_create_fails = false;
        g_adapter_index_shift = 0;
        card.boot_vga = true;
    }
    void TearDown() override { setSystemRegistry(nullptr); }

    // Detects the machine with the AMD back end over the wrapped interfaces.
    void detect() {
        caps = std::make_unique<HardwareCaps>();
        caps->registerBackend(kGpuKindNvidia, nullptr);
        AmdInterfaces interfaces;
        interfaces.ags_init = testAgsInit;
        interfaces.get_proc_address = testGetProcAddress;
        if (no_library) interfaces.load_library = [](const char*) -> void* { return nullptr; };
        caps->registerBackend(kGpuKindAmd, createAmdBackend(interfaces));
        caps->init(nullptr);
    }
    GpuRecord& gpu(int i = 0) {
        GpuRecord* r = caps->gpu(i);
        EXPECT_NE(r, nullptr);
        return *r;
    }
    VendorBackend& backend(int i = 0) { return *caps->backendFor(gpu(i)); }
    AmdGpuDetails details(int i = 0) {
        AmdGpuDetails d;
        EXPECT_TRUE(amdGpuDetails(backend(i), gpu(i), d));
        return d;
    }
    std::vector<PerfLevel> levels(int i = 0) {
        std::vector<PerfLevel> out;
        for (int k = 0; k < backend(i).perfLevelCount(gpu(i)); ++k) {
            PerfLevel level;
            EXPECT_TRUE(backend(i).perfLevel(gpu(i), k, level));
            out.push_back(level);
        }
        return out;
    }
    void expectNoSensors() {
        GpuTemperatures t;
        float a = 0, b = 0, c = 0;
        PerfStateClocks clocks;
        EXPECT_FALSE(backend().temperatures(gpu(), t));
        EXPECT_FALSE(backend().gpuUsage(gpu(), a, b, c));
        EXPECT_FALSE(backend().fan(gpu(), a, b));
        EXPECT_FALSE(backend().perfStateClocks(gpu(), clocks));
        EXPECT_EQ(backend().perfLevelCount(gpu()), 0);
    }

    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    MemoryRegistry registry;
    std::unique_ptr<HardwareCaps> caps;
    bool no_library = false;
};

TEST_F(AmdBackendTest, RdnaCardIsListedAndReadEndToEnd) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    tree.write(FakeAmdgpu::dirOf(card) + "ip_discovery/die/0/GC/0/major", "10\n");
    registry.setString("SYSTEM\\CurrentControlSet\\Control\\Video\\{0000:03:00.0}\\0000",
                       "DriverVersion", "6.1.0-18-amd64");
    detect();

    ASSERT_EQ(caps->gpuCount(), 1) << "listed once, by the AMD back end";
    GpuRecord& r = gpu();
    EXPECT_EQ(r.kind, kGpuKindAmd);
    EXPECT_STREQ(r.full_name, "AMD Radeon RX 6800/6800 XT/6900 XT");
    EXPECT_STREQ(r.codename, "Navi 21");
    EXPECT_EQ(r.bus_id, 3);
    EXPECT_EQ(r.vendor_id, 0x1002u);
    EXPECT_EQ(r.device_id, 0x73BFu);
    EXPECT_EQ(r.subsys_device_id, 0x0E3Au);
    EXPECT_EQ(r.subsys_vendor_id, 0x1002u);
    EXPECT_STREQ(r.revision_text, "C1");
    EXPECT_STREQ(r.device_id_text, "PCI\\VEN_1002&DEV_73BF&SUBSYS_0E3A1002&REV_C1")
        << "matched to its display device";
    EXPECT_EQ(r.memory_size_mb, 16368);
    EXPECT_STREQ(r.bios_version, "113-D4120100-100/102-D41201-00");
    EXPECT_STREQ(r.driver_version, "6.1.0-18-amd64");
    const AmdGpuDetails d = details();
    EXPECT_EQ(d.overdrive_version, 8);
    EXPECT_TRUE(d.has_sensors);
    EXPECT_STREQ(d.architecture, "RDNA");
    EXPECT_GT(d.od8_feature_count, 0);
    EXPECT_TRUE(d.perf_table_built) << "read once during enumeration";

    GpuTemperatures t;
    ASSERT_TRUE(backend().temperatures(r, t));
    EXPECT_EQ(t.gpu, 45.0f);
    EXPECT_EQ(t.memory, 60.0f);
    EXPECT_EQ(details().hot_spot_celsius, 52.0f);
    float usage = 0, unused = 0, percent = 0, rpm = 0;
    ASSERT_TRUE(backend().gpuUsage(r, usage, unused, unused));
    EXPECT_EQ(usage, 37.0f);
    EXPECT_EQ(details().memory_activity, 12.0f);
    ASSERT_TRUE(backend().fan(r, percent, rpm));
    EXPECT_EQ(percent, 50.0f);
    EXPECT_EQ(rpm, 1200.0f);
    PerfStateClocks clocks;
    ASSERT_TRUE(backend().perfStateClocks(r, clocks));
    EXPECT_EQ(clocks.gpu_clock, 2100.0f);
    EXPECT_EQ(clocks.memory_clock, 1000.0f);
    EXPECT_FLOAT_EQ(clocks.voltage, 1.025f);
    EXPECT_EQ(clocks.shader_clock, 0.0f);

    const std::vector<PerfLevel> table = levels();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].gpu_clock, 500.0f);
    EXPECT_EQ(table[0].memory_clock, 96.0f);
    EXPECT_EQ(table[2].gpu_clock, 2100.0f);
    EXPECT_EQ(table[2].memory_clock, 1000.0f);
    EXPECT_EQ(table[2].id, 0);

    // NVIDIA-only queries answer false for AMD.
    float volts = 0;
    EXPECT_FALSE(backend().coreVoltage(r, volts));
    EXPECT_FALSE(backend().clockFrequencies(r, 0, usage, unused));
}

TEST_F(AmdBackendTest, PerformanceLevelsTakeTheLastMemoryClockAndStayFixed) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    tree.write(FakeAmdgpu::dirOf(card) + "pp_dpm_mclk", "0: 1750Mhz *\n");
    detect();
    std::vector<PerfLevel> table = levels();
    ASSERT_EQ(table.size(), 3u);
    for (const PerfLevel& level : table) EXPECT_EQ(level.memory_clock, 1750.0f);

    // Later changes of the driver's levels do not reach the table.
    tree.write(FakeAmdgpu::dirOf(card) + "pp_dpm_sclk", "0: 700Mhz *\n");
    table = levels();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].gpu_clock, 500.0f);
}

// An idle card in deep sleep stars only its "S:" line: the current clock the back end
// reports is the sleep clock (Overdrive 8 through the log, OverdriveN with level 0), while
// the level table, and with it the monitor's clocks, keeps the numbered levels only.
TEST_F(AmdBackendTest, DeepSleepClockIsTheCurrentClock) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    tree.remove(FakeAmdgpu::hwmonDir(card) + "freq1_input");
    tree.write(FakeAmdgpu::dirOf(card) + "pp_dpm_sclk",
               "S: 19Mhz *\n0: 500Mhz\n1: 1500Mhz\n2: 2100Mhz\n");
    detect();
    PerfStateClocks clocks;
    ASSERT_TRUE(backend().perfStateClocks(gpu(), clocks));
    EXPECT_EQ(clocks.gpu_clock, 19.0f);
    EXPECT_EQ(clocks.memory_clock, 1000.0f);
    EXPECT_EQ(clocks.pstate, -1) << "the log names no level";
    const std::vector<PerfLevel> table = levels();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].gpu_clock, 500.0f);
    EXPECT_EQ(table[2].gpu_clock, 2100.0f);
    ClockPowerReading pass;
    ASSERT_TRUE(backend().clocksAndPower(gpu(), false, pass));
    EXPECT_EQ(pass.clocks.gpu_clock, 2100.0f)
        << "the monitor shows the highest level, asleep or not";
    EXPECT_EQ(pass.clocks.memory_clock, 1000.0f);

    g_forced_overdrive = 7;
    detect();
    clocks = PerfStateClocks{};
    ASSERT_TRUE(backend().perfStateClocks(gpu(), clocks));
    EXPECT_EQ(clocks.gpu_clock, 19.0f);
    EXPECT_EQ(clocks.pstate, 0);
    ASSERT_EQ(levels().size(), 3u);
    EXPECT_EQ(levels()[0].gpu_clock, 500.0f);
}

TEST_F(AmdBackendTest, EdgeSensorLostKeepsThePreviousTemperature) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    detect();
    const std::string h = FakeAmdgpu::hwmonDir(card);
    tree.write(h + "temp1_input", "garbage\n");
    tree.write(h + "temp2_input", "88000\n");
    tree.write(h + "temp3_input", "70000\n");
    GpuTemperatures t;
    ASSERT_TRUE(backend().temperatures(gpu(), t));
    EXPECT_EQ(t.gpu, 45.0f) << "the last edge reading stands";
    EXPECT_EQ(t.memory, 70.0f);
    EXPECT_EQ(details().hot_spot_celsius, 88.0f);

    // Fan sensors gone: the query fails instead of reporting the log's -1.
    tree.remove(h + "fan1_input");
    tree.remove(h + "pwm1");
    float percent = 7, rpm = 7;
    EXPECT_FALSE(backend().fan(gpu(), percent, rpm));
    EXPECT_EQ(percent, 7.0f);
    tree.write(h + "pwm1", "255\n");
    ASSERT_TRUE(backend().fan(gpu(), percent, rpm));
    EXPECT_EQ(percent, 100.0f);
    EXPECT_EQ(rpm, 0.0f) << "an unsupported sensor reads 0";
}

TEST_F(AmdBackendTest, OverdriveNPath) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    g_forced_overdrive = 7;
    detect();
    EXPECT_TRUE(details().odn_temperature);
    GpuTemperatures t;
    ASSERT_TRUE(backend().temperatures(gpu(), t));
    EXPECT_EQ(t.gpu, 45.0f);
    float usage = 0, unused = 0, percent = 0, rpm = 0;
    ASSERT_TRUE(backend().gpuUsage(gpu(), usage, unused, unused));
    EXPECT_EQ(usage, 37.0f);
    ASSERT_TRUE(backend().fan(gpu(), percent, rpm));
    EXPECT_EQ(percent, 100.0f) << "current over target";
    tree.write(FakeAmdgpu::hwmonDir(card) + "fan1_target", "0\n");
    ASSERT_TRUE(backend().fan(gpu(), percent, rpm));
    EXPECT_EQ(percent, 0.0f) << "a target of 0 gives 0 %";
    EXPECT_EQ(rpm, 1200.0f);
    PerfStateClocks clocks;
    ASSERT_TRUE(backend().perfStateClocks(gpu(), clocks));
    EXPECT_EQ(clocks.gpu_clock, 2100.0f);
    EXPECT_EQ(clocks.pstate, 2);
    EXPECT_FLOAT_EQ(clocks.voltage, 1.025f);
    EXPECT_EQ(levels().size(), 3u);
}

TEST_F(AmdBackendTest, Overdrive6Path) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    g_forced_overdrive = 6;
    detect();
    EXPECT_TRUE(details().od6_thermal_controller);
    GpuTemperatures t;
    ASSERT_TRUE(backend().temperatures(gpu(), t));
    EXPECT_EQ(t.gpu, 45.0f);
    EXPECT_EQ(t.memory, 0.0f) << "only Overdrive 8 reads the memory sensor";
    float usage = 0, unused = 0, percent = 0, rpm = 0;
    ASSERT_TRUE(backend().gpuUsage(gpu(), usage, unused, unused));
    EXPECT_EQ(usage, 37.0f);
    ASSERT_TRUE(backend().fan(gpu(), percent, rpm));
    EXPECT_EQ(percent, 50.0f);
    EXPECT_EQ(rpm, 1200.0f);
    PerfStateClocks clocks;
    ASSERT_TRUE(backend().perfStateClocks(gpu(), clocks));
    EXPECT_EQ(clocks.memory_clock, 1000.0f);
    EXPECT_EQ(clocks.pstate, 2);
    EXPECT_EQ(backend().perfLevelCount(gpu()), 0) << "Overdrive 6 has no level table";
    EXPECT_FALSE(details().perf_table_built);
}

TEST_F(AmdBackendTest, Overdrive5Path) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    tree.write(FakeAmdgpu::dirOf(card) + "pp_od_clk_voltage",
               "OD_SCLK:\n0: 500MHz 800mV\n1: 1500MHz 950mV\n2: 2100MHz 1150mV\n");
    g_forced_overdrive = 5;
    detect();
    GpuTemperatures t;
    ASSERT_TRUE(backend().temperatures(gpu(), t));
    EXPECT_EQ(t.gpu, 45.0f);
    float usage = 0, unused = 0, percent = 0, rpm = 0;
    ASSERT_TRUE(backend().gpuUsage(gpu(), usage, unused, unused));
    EXPECT_EQ(usage, 37.0f);
    ASSERT_TRUE(backend().fan(gpu(), percent, rpm));
    EXPECT_EQ(percent, 50.0f);
    EXPECT_EQ(rpm, 1200.0f);
    PerfStateClocks clocks;
    ASSERT_TRUE(backend().perfStateClocks(gpu(), clocks));
    EXPECT_EQ(clocks.gpu_clock, 2100.0f);
    EXPECT_FLOAT_EQ(clocks.voltage, 1.025f);
    const std::vector<PerfLevel> table = levels();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1].gpu_clock, 1500.0f);
    EXPECT_EQ(table[1].memory_clock, 456.0f);
    EXPECT_FLOAT_EQ(table[2].voltage, 1.15f);
}

TEST_F(AmdBackendTest, WithoutAdlTheGpusStayListedWithoutSensors) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    tree.write(FakeAmdgpu::dirOf(card) + "product_name", "Radeon RX 6800\n");
    for (int failure = 0; failure < 3; ++failure) {
        SCOPED_TRACE(failure);
        no_library = failure == 0;
        if (failure == 1) g_hidden_functions = {"ADL_Adapter_Active_Get"};
        g_adl_create_fails = failure == 2;
        detect();
        ASSERT_EQ(caps->gpuCount(), 1);
        EXPECT_EQ(gpu().kind, kGpuKindAmd);
        EXPECT_STREQ(gpu().full_name, "Radeon RX 6800") << "named by its AGS text";
        EXPECT_EQ(gpu().bus_id, -1);
        EXPECT_FALSE(details().has_sensors);
        expectNoSensors();
    }
}

TEST_F(AmdBackendTest, FailingAgsListsNoAmdGpu) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    g_ags_fails = true;
    detect();
    EXPECT_EQ(caps->gpuCount(), 0) << "not even as another vendor's adapter";
    EXPECT_TRUE(caps->displayOk());
}

TEST_F(AmdBackendTest, AdapterIndexNotInAdlsList) {
    tree.addCard(card);
    tree.rdnaSensors(card);
    g_adapter_index_shift = 5;
    detect();
    ASSERT_EQ(caps->gpuCount(), 1);
    EXPECT_EQ(details().overdrive_version, 0);
    EXPECT_FALSE(details().has_sensors);
    expectNoSensors();
}

TEST_F(AmdBackendTest, TwoCardsAndTheNamingRules) {
    FakeAmdgpu::Card polaris;
    polaris.address = "0000:0a:00.0";
    polaris.device = 0x67DF;
    polaris.revision = 0xE7;
    polaris.subsys_vendor = 0x1DA2;
    polaris.subsys_device = 0xE366;
    polaris.hwmon = 5;
    tree.addCard(polaris);
    tree.rdnaSensors(polaris);
    FakeAmdgpu::Card cedar;
    cedar.address = "0000:01:00.0";
    cedar.device = 0x68F9;
    cedar.subsys_device = 0x2126;
    cedar.revision = 0x00;
    cedar.hwmon = -1;  // no sensors at all
    tree.addCard(cedar);
    detect();
    ASSERT_EQ(caps->gpuCount(), 2);
    EXPECT_STREQ(gpu(0).full_name, "ATI Radeon HD 6350") << "0x68F9 with subsystem 0x2126";
    EXPECT_EQ(gpu(0).bus_id, 1);
    EXPECT_STREQ(gpu(1).full_name, "AMD Radeon RX 580") << "0x67DF by its revision E7";
    EXPECT_EQ(gpu(1).bus_id, 10);
    EXPECT_EQ(gpu(1).tdp_watts, 185);
    EXPECT_STREQ(details(1).architecture, "GCN4");
    EXPECT_EQ(details(0).overdrive_version, 0);
    GpuTemperatures t;
    EXPECT_FALSE(backend(0).temperatures(gpu(0), t));
    ASSERT_TRUE(backend(1).temperatures(gpu(1), t));
    EXPECT_EQ(t.gpu, 45.0f);
}

TEST(AmdDeviceTable, RevisionAndSubsystemRule) {
    auto name = [](uint32_t device, const char* subsys, const char* revision) -> std::string {
        const DeviceTableRow* row =
            deviceTableRow(DeviceTable::Amd, lookupDeviceRow(0x1002, device, subsys, revision));
        return row ? row->full_name : "none";
    };
    EXPECT_EQ(name(0x67DF, "E3661DA2", "E7"), "AMD Radeon RX 580");
    EXPECT_EQ(name(0x67DF, nullptr, "C7"), "AMD Radeon RX 480");
    EXPECT_EQ(name(0x67DF, "E3661DA2", nullptr), "none") << "no revision and no subsystem row";
    EXPECT_EQ(name(0x687F, "0B361002", "C3"), "AMD Radeon RX Vega 56");
    EXPECT_EQ(name(0x679A, "0B011002", "00"), "AMD Radeon HD 8950");
    EXPECT_EQ(name(0x679B, nullptr, nullptr), "AMD Radeon HD 7990");
    EXPECT_EQ(amdArchitectureName(7), std::string("RDNA"));
    EXPECT_EQ(amdArchitectureName(99), std::string("Unknown"));
}

TEST_F(AmdBackendTest, InitialisationTraces) {
    test::TempFolder folder;
    PyrolexTraceChannel& trace = pyrolexGeneralTrace();
    const std::string saved = trace.fileName();
    trace.setFileName(folder.folder() + "pyrolex.log");
    trace.setEnabled(true);
    tree.addCard(card);
    tree.rdnaSensors(card);
    detect();
    trace.setEnabled(false);
    trace.setFileName(saved);
    const std::string log = test::slurp(folder.folder() + "pyrolex.log");
    for (const char* line :
         {"ATI_Init() START", "AMD_AGS_Run - ags_gpu_info.numDevices=1",
          "AMD_AGS_Run - device 0, vendorId=1002, adlAdapterIndex=0, adapterString=",
          "AMD - Num GPUs: 1", "AMD_Display_Library_Init_v2 - ADL loaded ok",
          "AMD_Display_Library_Init - ADL_Main_Control_Create() OK.",
          "AMD_Display_Library_Init_v2 - mAtiAdlTotalNumberOfAdapters=1",
          "AMD_Display_Library_Init_v2 - iAdapterIndex=0, strUDID=PCI\\VEN_1002&DEV_73BF",
          "AMD_Display_Library_Init_v2 - gpu_index=0, AMD GPU ok",
          "AMD_Display_Library_Init_v2 - gpu_index=0, gpuInfo->adl_OverdriveVersion=8",
          "AMD_Display_Library_ReadPerfLevels - num_pstates:3",
          "AMD_Display_Library_ReadPerfLevels - PSTATE:2 - gpu_clock:2100.000",
          "ATI_Init() END OK."})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

}  // namespace
}  // namespace plashwerk
