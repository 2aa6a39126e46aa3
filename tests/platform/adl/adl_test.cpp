// AGS and ADL over fake amdgpu sysfs trees: the adapter list, every Overdrive generation's
// calls, and what real machines do to the files (hwmon numbers, missing and damaged files).

#include "platform/adl/adl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/adl/ags.h"
#include "tests/platform/adl/fake_amdgpu.h"
#include "tests/support/blocking.h"

namespace {

using plashwerk::test::FakeAmdgpu;

void* allocate(int size) {
    return std::malloc(static_cast<size_t>(size));
}

// ADL created for one test and destroyed with it; context() is its ADL2 context.
class Adl {
  public:
    Adl() {
        EXPECT_EQ(ADL_Main_Control_Create(allocate, 1), ADL_OK);
        EXPECT_EQ(ADL2_Main_Control_Create(allocate, 1, &m_context), ADL_OK);
    }
    ~Adl() {
        ADL2_Main_Control_Destroy(m_context);
        ADL_Main_Control_Destroy();
    }
    ADL_CONTEXT_HANDLE context() const { return m_context; }

    std::vector<AdapterInfo> adapters() const {
        int count = 0;
        EXPECT_EQ(ADL_Adapter_NumberOfAdapters_Get(&count), ADL_OK);
        std::vector<AdapterInfo> list(static_cast<size_t>(count));
        if (count > 0) {
            EXPECT_EQ(ADL_Adapter_AdapterInfo_Get(list.data(),
                                                  count * static_cast<int>(sizeof(AdapterInfo))),
                      ADL_OK);
        }
        return list;
    }
    ADLPMLogDataOutput pmLog(int adapter) const {
        ADLPMLogDataOutput log{};
        EXPECT_EQ(ADL2_New_QueryPMLogData_Get(m_context, adapter, &log), ADL_OK);
        return log;
    }

  private:
    ADL_CONTEXT_HANDLE m_context = nullptr;
};

int overdriveVersion(int adapter) {
    int supported = 0, enabled = 0, version = -1;
    EXPECT_EQ(ADL_Overdrive_Caps(adapter, &supported, &enabled, &version), ADL_OK);
    return version;
}

// Reads ADL_ODNPerformanceLevels of `levels` entries through SystemClocks or MemoryClocks.
std::vector<ADLODNPerformanceLevel> odnLevels(ADL_CONTEXT_HANDLE context, int levels, bool memory) {
    const size_t bytes =
        sizeof(ADLODNPerformanceLevels) + sizeof(ADLODNPerformanceLevel) * (levels - 1);
    std::vector<unsigned char> buffer(bytes);
    auto* list = reinterpret_cast<ADLODNPerformanceLevels*>(buffer.data());
    list->iSize = static_cast<int>(bytes);
    list->iNumberOfPerformanceLevels = levels;
    const int status = memory ? ADL2_OverdriveN_MemoryClocks_Get(context, 0, list)
                              : ADL2_OverdriveN_SystemClocks_Get(context, 0, list);
    EXPECT_EQ(status, ADL_OK);
    return {list->aLevels, list->aLevels + levels};
}

TEST(Adl, RdnaCardWithEverySensor) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    tree.addCard(card);
    tree.rdnaSensors(card);
    tree.write(FakeAmdgpu::dirOf(card) + "product_name", "Radeon RX 6800 XT\n");

    void* library = adlLoadLibrary("atiadlxx.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_NE(adlGetProcAddress(library, "ADL2_New_QueryPMLogData_Get"), nullptr);
    EXPECT_EQ(adlGetProcAddress(library, "ADL2_Overdrive8_Setting_Set"), nullptr)
        << "nothing that changes settings";
    EXPECT_EQ(adlLoadLibrary("atiadlxz.dll"), nullptr);

    Adl adl;
    const std::vector<AdapterInfo> adapters = adl.adapters();
    ASSERT_EQ(adapters.size(), 1u);
    const AdapterInfo& a = adapters[0];
    EXPECT_EQ(sizeof(AdapterInfo), 1572u);
    EXPECT_EQ(a.iSize, 1572);
    EXPECT_EQ(a.iAdapterIndex, 0);
    EXPECT_STREQ(a.strUDID, "PCI\\VEN_1002&DEV_73BF&SUBSYS_0E3A1002&REV_C1\\0000:03:00.0");
    EXPECT_STREQ(a.strPNPString, "PCI\\VEN_1002&DEV_73BF&SUBSYS_0E3A1002&REV_C1");
    EXPECT_EQ(a.iBusNumber, 3);
    EXPECT_EQ(a.iExist, 1);
    EXPECT_STREQ(a.strAdapterName, "Radeon RX 6800 XT");
    EXPECT_STREQ(a.strDisplayName, "/dev/dri/card0");
    EXPECT_STREQ(a.strDriverPathExt, "{0000:03:00.0}\\0000");
    int active = 0;
    EXPECT_EQ(ADL_Adapter_Active_Get(0, &active), ADL_OK);
    EXPECT_EQ(active, 1);
    EXPECT_EQ(overdriveVersion(0), 8);

    const ADLPMLogDataOutput log = adl.pmLog(0);
    auto sensor = [&](int s) { return log.sensors[s].supported ? log.sensors[s].value : -12345; };
    EXPECT_EQ(sensor(PMLOG_CLK_GFXCLK), 2100);
    EXPECT_EQ(sensor(PMLOG_CLK_MEMCLK), 1000);
    EXPECT_EQ(sensor(PMLOG_TEMPERATURE_EDGE), 45);
    EXPECT_EQ(sensor(PMLOG_TEMPERATURE_HOTSPOT), 52);
    EXPECT_EQ(sensor(PMLOG_TEMPERATURE_MEM), 60);
    EXPECT_EQ(sensor(PMLOG_FAN_RPM), 1200);
    EXPECT_EQ(sensor(PMLOG_FAN_PERCENTAGE), 50);
    EXPECT_EQ(sensor(PMLOG_INFO_ACTIVITY_GFX), 37);
    EXPECT_EQ(sensor(PMLOG_INFO_ACTIVITY_MEM), 12);
    EXPECT_EQ(sensor(PMLOG_GFX_VOLTAGE), 1025);
    EXPECT_EQ(sensor(PMLOG_ASIC_POWER), 187);
    EXPECT_EQ(log.sensors[3].supported, 0) << "sensors the driver lacks stay unsupported";

    ADLMemoryInfo memory{};
    EXPECT_EQ(ADL_Adapter_MemoryInfo_Get(0, &memory), ADL_OK);
    EXPECT_EQ(memory.iMemorySize, 17163091968LL);
    ADLBiosInfo bios{};
    EXPECT_EQ(ADL2_Adapter_VideoBiosInfo_Get(adl.context(), 0, &bios), ADL_OK);
    EXPECT_STREQ(bios.strVersion, "113-D4120100-100");
    EXPECT_STREQ(bios.strPartNumber, "102-D41201-00");

    // Overdrive 8 settings: the clock limits from the tables, through both call forms.
    ADLOD8InitSetting init{};
    ASSERT_EQ(ADL2_Overdrive8_Init_Setting_Get(adl.context(), 0, &init), ADL_OK);
    EXPECT_EQ(init.count, OD8_COUNT);
    EXPECT_EQ(init.od8SettingTable[OD8_GFXCLK_FMAX].defaultValue, 2100);
    EXPECT_EQ(init.od8SettingTable[OD8_UCLK_FMAX].defaultValue, 1000);
    EXPECT_EQ(init.od8SettingTable[OD8_OPERATING_TEMP_MAX].maxValue, 110);
    EXPECT_NE(init.overdrive8Capabilities & ADL_OD8_GFXCLK_LIMITS, 0);
    int capabilities = 0, count = 0;
    ADLOD8SingleInitSetting* list = nullptr;
    ASSERT_EQ(ADL2_Overdrive8_Init_SettingX2_Get(adl.context(), 0, &capabilities, &count, &list),
              ADL_OK);
    EXPECT_EQ(count, OD8_COUNT);
    EXPECT_EQ(list[OD8_GFXCLK_FMIN].defaultValue, 500);
    std::free(list);
    int* current = nullptr;
    ASSERT_EQ(ADL2_Overdrive8_Current_SettingX2_Get(adl.context(), 0, &count, &current), ADL_OK);
    EXPECT_EQ(current[OD8_POWER_PERCENTAGE], 0);
    std::free(current);
}

TEST(Adl, OlderCardWithOnlySomeSensors) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    card.device = 0x67DF;
    card.revision = 0xE7;
    tree.addCard(card);
    // A driver that labels nothing: temp1 is the edge sensor; no fan, no voltage.
    tree.write(FakeAmdgpu::hwmonDir(card) + "temp1_input", "61000\n");
    tree.write(FakeAmdgpu::dirOf(card) + "pp_dpm_sclk", "0: 300Mhz\n1: 1366Mhz *\n");
    Adl adl;
    EXPECT_EQ(overdriveVersion(0), 8);
    const ADLPMLogDataOutput log = adl.pmLog(0);
    EXPECT_EQ(log.sensors[PMLOG_TEMPERATURE_EDGE].value, 61);
    EXPECT_EQ(log.sensors[PMLOG_CLK_GFXCLK].value, 1366) << "the starred level";
    for (int s :
         {PMLOG_TEMPERATURE_HOTSPOT, PMLOG_TEMPERATURE_MEM, PMLOG_FAN_RPM, PMLOG_FAN_PERCENTAGE,
          PMLOG_INFO_ACTIVITY_GFX, PMLOG_GFX_VOLTAGE, PMLOG_ASIC_POWER, PMLOG_CLK_MEMCLK})
        EXPECT_EQ(log.sensors[s].supported, 0) << s;
    ADLMemoryInfo memory{};
    EXPECT_EQ(ADL_Adapter_MemoryInfo_Get(0, &memory), ADL_ERR_NOT_SUPPORTED);
    ADLBiosInfo bios{};
    EXPECT_EQ(ADL2_Adapter_VideoBiosInfo_Get(adl.context(), 0, &bios), ADL_ERR_NOT_SUPPORTED);
}

TEST(Adl, HwmonNumberAndPowerFileVary) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    card.hwmon = 7;
    tree.addCard(card);
    tree.rdnaSensors(card);
    // Another chip's hwmon folder sorts first; the amdgpu one is chosen.
    tree.write(FakeAmdgpu::dirOf(card) + "hwmon/hwmon1/name", "nvme\n");
    tree.write(FakeAmdgpu::dirOf(card) + "hwmon/hwmon1/temp1_input", "30000\n");
    tree.remove(FakeAmdgpu::hwmonDir(card) + "power1_average");
    tree.write(FakeAmdgpu::hwmonDir(card) + "power1_input", "95500000\n");
    Adl adl;
    const ADLPMLogDataOutput log = adl.pmLog(0);
    EXPECT_EQ(log.sensors[PMLOG_TEMPERATURE_EDGE].value, 45);
    EXPECT_EQ(log.sensors[PMLOG_ASIC_POWER].supported, 1) << "power1_input stands in";
    EXPECT_EQ(log.sensors[PMLOG_ASIC_POWER].value, 96);
}

TEST(Adl, TwoCardsOnDifferentBuses) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card second;
    second.address = "0000:0a:00.0";
    second.device = 0x744C;
    second.hwmon = 4;
    tree.addCard(second);
    tree.rdnaSensors(second);
    tree.write(FakeAmdgpu::dirOf(second) + "product_name", "Radeon RX 7900 XTX\n");
    tree.write(FakeAmdgpu::hwmonDir(second) + "temp1_input", "71000\n");
    FakeAmdgpu::Card first;
    first.boot_vga = true;
    tree.addCard(first);
    tree.rdnaSensors(first);
    // A network card between them is not an adapter.
    FakeAmdgpu::Card nic;
    nic.address = "0000:05:00.0";
    nic.pci_class = 0x020000;
    tree.addCard(nic);

    Adl adl;
    const std::vector<AdapterInfo> adapters = adl.adapters();
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[0].iBusNumber, 3);
    EXPECT_EQ(adapters[1].iBusNumber, 10);
    EXPECT_EQ(adapters[1].iAdapterIndex, 1);
    EXPECT_EQ(adl.pmLog(1).sensors[PMLOG_TEMPERATURE_EDGE].value, 71);
    EXPECT_EQ(adl.pmLog(0).sensors[PMLOG_TEMPERATURE_EDGE].value, 45);
    ADLPMLogDataOutput log{};
    EXPECT_EQ(ADL2_New_QueryPMLogData_Get(adl.context(), 2, &log), ADL_ERR_INVALID_ADL_IDX);

    AGSContext* ags = nullptr;
    AGSConfiguration config;
    AGSGPUInfo info{};
    ASSERT_EQ(agsInit(&ags, &config, &info), AGS_SUCCESS);
    ASSERT_EQ(info.numDevices, 2);
    EXPECT_EQ(info.devices[0].adlAdapterIndex, 0);
    EXPECT_EQ(info.devices[0].isPrimaryDevice, 1);
    EXPECT_EQ(info.devices[1].deviceId, 0x744C);
    EXPECT_EQ(info.devices[1].adlAdapterIndex, 1);
    EXPECT_EQ(info.devices[1].coreClock, 2100);
    EXPECT_EQ(info.devices[1].memoryClock, 1000);
    EXPECT_EQ(info.devices[1].localMemoryInBytes, 17163091968LL);
    EXPECT_STREQ(info.devices[1].adapterString, "Radeon RX 7900 XTX");
    EXPECT_EQ(agsDeInit(ags), AGS_SUCCESS);
}

TEST(Adl, OverdriveNAnswersFromTheClockTables) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    tree.addCard(card);
    tree.rdnaSensors(card);
    const std::string d = FakeAmdgpu::dirOf(card), h = FakeAmdgpu::hwmonDir(card);
    tree.write(d + "pp_dpm_mclk", "0: 1750Mhz *\n");
    tree.write(d + "pp_od_clk_voltage",
               "OD_SCLK:\n0:        500MHz        750mV\n1:       1500MHz        900mV\n"
               "2:       2100MHz       1100mV\nOD_MCLK:\n0:       1750MHz        800mV\n"
               "OD_RANGE:\nSCLK:     500MHz       2500MHz\nMCLK:    1750MHz       2000MHz\n"
               "VDDC:     750mV        1200mV\n");
    tree.write(h + "fan1_target", "0\n");
    Adl adl;

    ADLODNCapabilities caps{};
    ASSERT_EQ(ADL2_OverdriveN_Capabilities_Get(adl.context(), 0, &caps), ADL_OK);
    EXPECT_EQ(caps.iMaximumNumberOfPerformanceLevels, 3);
    EXPECT_EQ(caps.sEngineClockRange.iMax, 250000) << "10 kHz units";
    EXPECT_EQ(caps.svddcRange.iMax, 1200);

    // Four levels asked of a three-level table: the fourth reads disabled.
    const auto system = odnLevels(adl.context(), 4, false);
    EXPECT_EQ(system[0].iClock, 50000);
    EXPECT_EQ(system[2].iClock, 210000);
    EXPECT_EQ(system[2].iVddc, 1100);
    EXPECT_EQ(system[3].iEnabled, 0);
    const auto memory = odnLevels(adl.context(), 3, true);
    EXPECT_EQ(memory[0].iClock, 175000);
    EXPECT_EQ(memory[1].iClock, 0) << "the memory table has one level";
    EXPECT_EQ(memory[2].iClock, 0);

    // A size too small for the levels asked is refused, not overrun.
    ADLODNPerformanceLevels small{};
    small.iSize = sizeof small;
    small.iNumberOfPerformanceLevels = 3;
    EXPECT_EQ(ADL2_OverdriveN_SystemClocks_Get(adl.context(), 0, &small),
              ADL_ERR_INVALID_PARAM_SIZE);

    ADLODNFanControl fan{};
    ASSERT_EQ(ADL2_OverdriveN_FanControl_Get(adl.context(), 0, &fan), ADL_OK);
    EXPECT_EQ(fan.iTargetFanSpeed, 0);
    int temperature = 0;
    EXPECT_EQ(ADL2_OverdriveN_Temperature_Get(adl.context(), 0, ODN_GPU_HOTSPOT_TEMP, &temperature),
              ADL_OK);
    EXPECT_EQ(temperature, 52000);
    ADLODNPowerLimitSetting power{};
    EXPECT_EQ(ADL2_OverdriveN_PowerLimit_Get(adl.context(), 0, &power), ADL_OK);
    EXPECT_EQ(power.iTDPLimit, 0);
}

// An idle card in deep sleep lists an "S:" line before level 0 and may star only that line:
// the current clock is the sleep clock, no numbered level is current (the level reads 0),
// and the level table, the highest clocks and the Overdrive generation ignore the line.
TEST(Adl, DeepSleepLineOfAnIdleCard) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    tree.addCard(card);
    tree.rdnaSensors(card);
    const std::string d = FakeAmdgpu::dirOf(card), h = FakeAmdgpu::hwmonDir(card);
    tree.remove(h + "freq1_input");  // no measured clock: the table's star is the reading
    tree.write(d + "pp_dpm_sclk", "S: 19Mhz *\n0: 500Mhz\n1: 1500Mhz\n2: 2100Mhz\n");
    Adl adl;

    EXPECT_EQ(overdriveVersion(0), 8);
    const ADLPMLogDataOutput log = adl.pmLog(0);
    ASSERT_TRUE(log.sensors[PMLOG_CLK_GFXCLK].supported);
    EXPECT_EQ(log.sensors[PMLOG_CLK_GFXCLK].value, 19);
    EXPECT_EQ(log.sensors[PMLOG_CLK_MEMCLK].value, 1000) << "hwmon's measured memory clock";

    ADLODNPerformanceStatus status{};
    ASSERT_EQ(ADL2_OverdriveN_PerformanceStatus_Get(adl.context(), 0, &status), ADL_OK);
    EXPECT_EQ(status.iCoreClock, 1900);
    EXPECT_EQ(status.iCurrentCorePerformanceLevel, 0) << "no starred level reads as level 0";
    ADLPMActivity activity{};
    activity.iSize = sizeof activity;
    ASSERT_EQ(ADL_Overdrive5_CurrentActivity_Get(0, &activity), ADL_OK);
    EXPECT_EQ(activity.iEngineClock, 1900);
    EXPECT_EQ(activity.iCurrentPerformanceLevel, 0);

    ADLODNCapabilities caps{};
    ASSERT_EQ(ADL2_OverdriveN_Capabilities_Get(adl.context(), 0, &caps), ADL_OK);
    EXPECT_EQ(caps.iMaximumNumberOfPerformanceLevels, 3) << "the sleep line is no level";
    const auto system = odnLevels(adl.context(), 3, false);
    EXPECT_EQ(system[0].iClock, 50000);
    EXPECT_EQ(system[2].iClock, 210000);

    AGSContext* ags = nullptr;
    AGSConfiguration config;
    AGSGPUInfo info{};
    ASSERT_EQ(agsInit(&ags, &config, &info), AGS_SUCCESS);
    ASSERT_EQ(info.numDevices, 1);
    EXPECT_EQ(info.devices[0].coreClock, 2100) << "the highest numbered level";
    EXPECT_EQ(agsDeInit(ags), AGS_SUCCESS);

    // Woken up: the star moves to a numbered level, which is then current.
    tree.write(d + "pp_dpm_sclk", "S: 19Mhz\n0: 500Mhz\n1: 1500Mhz *\n2: 2100Mhz\n");
    ASSERT_EQ(ADL2_OverdriveN_PerformanceStatus_Get(adl.context(), 0, &status), ADL_OK);
    EXPECT_EQ(status.iCoreClock, 150000);
    EXPECT_EQ(status.iCurrentCorePerformanceLevel, 1);
}

TEST(Adl, Overdrive5And6ChecksAndLevels) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    tree.addCard(card);
    tree.rdnaSensors(card);
    tree.write(FakeAmdgpu::dirOf(card) + "pp_dpm_mclk", "0: 300Mhz\n1: 2000Mhz *\n");
    tree.remove(FakeAmdgpu::hwmonDir(card) + "pwm1");
    Adl adl;

    ADLTemperature temperature{};
    EXPECT_EQ(ADL_Overdrive5_Temperature_Get(0, 0, &temperature), ADL_ERR_INVALID_PARAM_SIZE)
        << "the size word is checked";
    temperature.iSize = sizeof temperature;
    EXPECT_EQ(ADL_Overdrive5_Temperature_Get(0, 1, &temperature), ADL_ERR_INVALID_CONTROLLER_IDX);
    ASSERT_EQ(ADL_Overdrive5_Temperature_Get(0, 0, &temperature), ADL_OK);
    EXPECT_EQ(temperature.iTemperature, 45000);
    ADLPMActivity activity{};
    activity.iSize = sizeof activity;
    ASSERT_EQ(ADL_Overdrive5_CurrentActivity_Get(0, &activity), ADL_OK);
    EXPECT_EQ(activity.iMemoryClock, 100000) << "hwmon's measured clock comes first";

    // Levels: as many as the size holds; the shorter memory table repeats its top level.
    const size_t bytes = sizeof(ADLODPerformanceLevels) + 2 * sizeof(ADLODPerformanceLevel);
    std::vector<unsigned char> buffer(bytes);
    auto* levels = reinterpret_cast<ADLODPerformanceLevels*>(buffer.data());
    levels->iSize = static_cast<int>(bytes);
    ASSERT_EQ(ADL_Overdrive5_ODPerformanceLevels_Get(0, 0, levels), ADL_OK);
    EXPECT_EQ(levels->aLevels[0].iMemoryClock, 30000);
    EXPECT_EQ(levels->aLevels[2].iEngineClock, 210000);
    EXPECT_EQ(levels->aLevels[2].iMemoryClock, 200000);

    // A fan without its PWM reading: RPM only, and a request for the percent fails.
    ADLOD6FanSpeedInfo fan{};
    ASSERT_EQ(ADL_Overdrive6_FanSpeed_Get(0, &fan), ADL_OK);
    EXPECT_EQ(fan.iSpeedType, ADL_OD6_FANSPEED_TYPE_RPM);
    fan.iSpeedType = ADL_OD6_FANSPEED_TYPE_PERCENT;
    EXPECT_EQ(ADL_Overdrive6_FanSpeed_Get(0, &fan), ADL_ERR_NOT_SUPPORTED);
    ADLOD6ThermalControllerCaps caps{};
    ASSERT_EQ(ADL_Overdrive6_ThermalController_Caps(0, &caps), ADL_OK);
    EXPECT_EQ(caps.iCapabilities & ADL_OD6_TCCAPS_FANSPEED_PERCENT_READ, 0);
    EXPECT_NE(caps.iCapabilities & ADL_OD6_TCCAPS_THERMAL_CONTROLLER, 0);
}

TEST(Adl, DamagedAndMissingFilesAreUnsupported) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    tree.addCard(card);
    tree.rdnaSensors(card);
    const std::string d = FakeAmdgpu::dirOf(card), h = FakeAmdgpu::hwmonDir(card);
    tree.write(h + "temp2_input", "511000\n");  // the driver's "cannot read" value
    tree.write(h + "temp3_input", "hot\n");
    tree.write(h + "fan1_input", "12abc\n");
    tree.write(h + "pwm1", "300\n");  // above pwm1_max
    tree.write(h + "in0_input", "99999999999999999999\n");
    tree.write(d + "gpu_busy_percent", "\n");
    tree.write(d + "pp_dpm_mclk", "garbage\n\xff\xfe:\n0: Mhz\n");
    tree.remove(h + "freq2_input");
    Adl adl;
    const ADLPMLogDataOutput log = adl.pmLog(0);
    for (int s :
         {PMLOG_TEMPERATURE_HOTSPOT, PMLOG_TEMPERATURE_MEM, PMLOG_FAN_RPM, PMLOG_FAN_PERCENTAGE,
          PMLOG_GFX_VOLTAGE, PMLOG_INFO_ACTIVITY_GFX, PMLOG_CLK_MEMCLK})
        EXPECT_EQ(log.sensors[s].supported, 0) << s;
    EXPECT_EQ(log.sensors[PMLOG_TEMPERATURE_EDGE].value, 45) << "the sound ones still read";
    ADLODNFanControl fan{};
    EXPECT_EQ(ADL2_OverdriveN_FanControl_Get(adl.context(), 0, &fan), ADL_ERR_NOT_SUPPORTED);
    EXPECT_EQ(ADL2_OverdriveN_MemoryClocks_Get(adl.context(), 0, nullptr), ADL_ERR_NULL_POINTER);
}

// Any file under the tree may be a named pipe (a damaged or hostile tree); each one reads
// as a missing file instead of blocking the read for good.
TEST(Adl, FifosInTheTreeAreUnsupportedAndNeverBlock) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    tree.addCard(card);
    tree.rdnaSensors(card);
    const std::string d = tree.root() + "/" + FakeAmdgpu::dirOf(card),
                      h = tree.root() + "/" + FakeAmdgpu::hwmonDir(card);
    std::vector<std::unique_ptr<plashwerk::test::Fifo>> fifos;
    for (const std::string& path : {h + "temp2_input", h + "fan1_input", d + "pp_dpm_mclk",
                                    d + "gpu_busy_percent", d + "revision"}) {
        std::remove(path.c_str());
        fifos.push_back(std::make_unique<plashwerk::test::Fifo>(path));
    }
    ADLPMLogDataOutput log{};
    AdapterInfo info{};
    EXPECT_TRUE(plashwerk::test::finishes(
        [&] {
            Adl adl;
            const std::vector<AdapterInfo> adapters = adl.adapters();
            if (!adapters.empty()) info = adapters[0];
            log = adl.pmLog(0);
        },
        [&] {
            for (auto& fifo : fifos) fifo->unblock();
        }))
        << "a read waited on a FIFO";
    for (int s : {PMLOG_TEMPERATURE_HOTSPOT, PMLOG_FAN_RPM, PMLOG_INFO_ACTIVITY_GFX})
        EXPECT_EQ(log.sensors[s].supported, 0) << s;
    EXPECT_EQ(log.sensors[PMLOG_TEMPERATURE_EDGE].value, 45) << "the regular files still read";
    EXPECT_EQ(info.iVendorID, 0x1002) << "the card is listed without its revision";
}

TEST(Adl, CardWithoutHwmonOrDriver) {
    FakeAmdgpu tree;
    FakeAmdgpu::Card bare;
    bare.hwmon = -1;
    tree.addCard(bare);
    tree.write(FakeAmdgpu::dirOf(bare) + "pp_dpm_sclk", "0: 500Mhz *\n");
    FakeAmdgpu::Card passthrough;  // handed to a virtual machine: no amdgpu
    passthrough.address = "0000:04:00.0";
    passthrough.driver = "vfio-pci";
    tree.addCard(passthrough);
    FakeAmdgpu::Card nothing;
    nothing.address = "0000:05:00.0";
    nothing.hwmon = -1;
    tree.addCard(nothing);

    Adl adl;
    EXPECT_EQ(overdriveVersion(0), 7) << "clock tables without sensors";
    EXPECT_EQ(overdriveVersion(1), 0);
    EXPECT_EQ(overdriveVersion(2), 0);
    ADLPMLogDataOutput log{};
    EXPECT_EQ(ADL2_New_QueryPMLogData_Get(adl.context(), 0, &log), ADL_ERR_NOT_SUPPORTED);
    int millidegrees = 0;
    EXPECT_EQ(ADL_Overdrive6_Temperature_Get(0, &millidegrees), ADL_ERR_NOT_SUPPORTED);
    EXPECT_EQ(ADL_Overdrive6_Temperature_Get(1, &millidegrees), ADL_ERR_DISABLED_ADAPTER);
    const std::vector<AdapterInfo> adapters = adl.adapters();
    ASSERT_EQ(adapters.size(), 3u);
    EXPECT_EQ(adapters[1].iExist, 0);
    EXPECT_EQ(adapters[1].iPresent, 0);
}

TEST(Adl, WithoutTheDriverOrBeforeCreation) {
    {
        FakeAmdgpu tree(false);
        FakeAmdgpu::Card card;
        tree.addCard(card);
        tree.rdnaSensors(card);
        EXPECT_EQ(adlLoadLibrary("atiadlxx.dll"), nullptr) << "no driver, no library";
        EXPECT_NE(ADL_Main_Control_Create(allocate, 1), ADL_OK);
        AGSContext* ags = nullptr;
        AGSConfiguration config;
        AGSGPUInfo info{};
        ASSERT_EQ(agsInit(&ags, &config, &info), AGS_SUCCESS);
        EXPECT_EQ(info.numDevices, 1) << "AGS lists the card whatever its driver";
        agsDeInit(ags);
        EXPECT_EQ(agsInit(nullptr, &config, &info), AGS_INVALID_ARGS);
    }
    FakeAmdgpu tree;
    FakeAmdgpu::Card card;
    tree.addCard(card);
    int count = 0;
    EXPECT_EQ(ADL_Adapter_NumberOfAdapters_Get(&count), ADL_ERR_NOT_INIT);
    EXPECT_EQ(ADL_Main_Control_Create(nullptr, 1), ADL_ERR_INVALID_CALLBACK);
    int value = 0;
    EXPECT_EQ(ADL2_OverdriveN_Temperature_Get(&value, 0, ODN_GPU_EDGE_TEMP, &value),
              ADL_ERR_INVALID_PARAM)
        << "a context ADL did not make";
    tree.remove("bus/pci/devices");
    AGSContext* ags = nullptr;
    AGSConfiguration config;
    AGSGPUInfo info{};
    EXPECT_EQ(agsInit(&ags, &config, &info), AGS_FAILURE) << "no PCI devices to list";
}

TEST(Ags, ArchitectureCodes) {
    EXPECT_EQ(agsArchitectureOf(0x73BF, 10), AGS_ARCHITECTURE_RDNA);
    EXPECT_EQ(agsArchitectureOf(0x687F, 9), AGS_ARCHITECTURE_VEGA);
    EXPECT_EQ(agsArchitectureOf(0x67DF, -1), AGS_ARCHITECTURE_GCN4);
    EXPECT_EQ(agsArchitectureOf(0x6798, -1), AGS_ARCHITECTURE_GCN1);
    EXPECT_EQ(agsArchitectureOf(0x1234, -1), AGS_ARCHITECTURE_UNKNOWN);
}

}  // namespace
