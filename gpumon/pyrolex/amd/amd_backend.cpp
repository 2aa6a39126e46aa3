#include "gpumon/pyrolex/amd/amd_backend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "gpumon/pyrolex/pci_id_text.h"

namespace plashwerk {
namespace {

// The ADL calls the back end makes, resolved by name. The seven first are required.
#define PLASHWERK_ADL_REQUIRED(X)       \
    X(ADL_Main_Control_Create)          \
    X(ADL_Main_Control_Destroy)         \
    X(ADL_Main_Control_Refresh)         \
    X(ADL_Adapter_NumberOfAdapters_Get) \
    X(ADL_Adapter_AdapterInfo_Get)      \
    X(ADL_Adapter_Active_Get)           \
    X(ADL_Overdrive_Caps)
#define PLASHWERK_ADL2_CONTROL(X) \
    X(ADL2_Main_Control_Create)   \
    X(ADL2_Main_Control_Destroy)
#define PLASHWERK_ADL_OPTIONAL(X)             \
    X(ADL_Adapter_MemoryInfo_Get)             \
    X(ADL_Overdrive5_Temperature_Get)         \
    X(ADL_Overdrive5_FanSpeed_Get)            \
    X(ADL_Overdrive5_ODParameters_Get)        \
    X(ADL_Overdrive5_ODPerformanceLevels_Get) \
    X(ADL_Overdrive5_CurrentActivity_Get)     \
    X(ADL2_Overdrive5_CurrentActivity_Get)    \
    X(ADL_Overdrive6_FanSpeed_Get)            \
    X(ADL_Overdrive6_ThermalController_Caps)  \
    X(ADL_Overdrive6_Temperature_Get)         \
    X(ADL_Overdrive6_CurrentStatus_Get)       \
    X(ADL2_Overdrive_Caps)                    \
    X(ADL2_OverdriveN_Capabilities_Get)       \
    X(ADL2_OverdriveN_SystemClocks_Get)       \
    X(ADL2_OverdriveN_MemoryClocks_Get)       \
    X(ADL2_OverdriveN_FanControl_Get)         \
    X(ADL2_OverdriveN_PowerLimit_Get)         \
    X(ADL2_OverdriveN_Temperature_Get)        \
    X(ADL2_OverdriveN_PerformanceStatus_Get)  \
    X(ADL2_Adapter_Active_Get)                \
    X(ADL2_Adapter_NumberOfAdapters_Get)      \
    X(ADL2_Adapter_AdapterInfo_Get)           \
    X(ADL2_Adapter_VideoBiosInfo_Get)         \
    X(ADL2_Overdrive8_Init_Setting_Get)       \
    X(ADL2_Overdrive8_Current_Setting_Get)    \
    X(ADL2_New_QueryPMLogData_Get)            \
    X(ADL2_Overdrive8_Init_SettingX2_Get)     \
    X(ADL2_Overdrive8_Current_SettingX2_Get)

// Resolved with the others and kept, never called: the calls that change settings and the
// queries this program has no use for. A driver without them loses nothing.
constexpr const char* kAdlUnusedFunctions[] = {
    "ADL_Overdrive5_ODPerformanceLevels_Set",
    "ADL_Overdrive5_PowerControlInfo_Get",
    "ADL_Overdrive6_Capabilities_Get",
    "ADL_Overdrive6_StateInfo_Get",
    "ADL_Overdrive6_PowerControl_Caps",
    "ADL_Overdrive6_PowerControlInfo_Get",
    "ADL_Overdrive6_PowerControl_Get",
    "ADL_Overdrive6_FanSpeed_Set",
    "ADL_Overdrive6_State_Set",
    "ADL_Overdrive6_PowerControl_Set",
    "ADL2_OverdriveN_SystemClocks_Set",
    "ADL2_OverdriveN_MemoryClocks_Set",
    "ADL2_OverdriveN_FanControl_Set",
    "ADL2_OverdriveN_PowerLimit_Set",
    "ADL_AdapterX2_Caps",
    "ADL2_Adapter_RegValueInt_Get",
    "ADL2_Overdrive8_Setting_Set",
};

struct AdlFunctions {
#define PLASHWERK_ADL_MEMBER(name) decltype(&::name) name = nullptr;
    PLASHWERK_ADL_REQUIRED(PLASHWERK_ADL_MEMBER)
    PLASHWERK_ADL2_CONTROL(PLASHWERK_ADL_MEMBER)
    PLASHWERK_ADL_OPTIONAL(PLASHWERK_ADL_MEMBER)
#undef PLASHWERK_ADL_MEMBER
    void* unused[std::size(kAdlUnusedFunctions)] = {};
};

constexpr int kAdlAdapterInfoSize = 1572;
static_assert(sizeof(AdapterInfo) == kAdlAdapterInfoSize);
constexpr int kMaxOd8Features = 29;
constexpr int kMaxPerfLevels = 64;     // far above any driver's table
constexpr int kMaxAdlAdapters = 1024;  // a sane bound on what the driver may report

// ADL allocates the lists it returns with the caller's allocator; the back end frees them.
void* adlAllocate(int size) {
    return size > 0 ? std::malloc(static_cast<size_t>(size)) : nullptr;
}

class AmdBackend;
struct AmdGpu;

/// The sensor reads of one Overdrive generation, chosen once when a GPU is bound to its
/// ADL adapter. Each read stores what it got in the GPU's kept readings.
struct OverdriveReader {
    bool (AmdBackend::*temperature)(AmdGpu&) const;
    bool (AmdBackend::*usage)(AmdGpu&, float& gpu) const;
    bool (AmdBackend::*fan)(AmdGpu&, float& percent, float& rpm) const;
    bool (AmdBackend::*clocks)(AmdGpu&, PerfStateClocks&) const;
    bool memory_temperature;  ///< the temperature read also gives the memory's
};

/// What the back end keeps per AMD GPU beside its GpuRecord.
struct AmdGpu {
    GpuRecord* record = nullptr;  // valid during enumeration only
    int adl_index = -1;
    int overdrive_version = 0;
    const OverdriveReader* reader = nullptr;  // null: no generation the back end reads
    bool has_sensors = false;
    const char* architecture = "Unknown";
    AGSDeviceInfo figures{};  // AGS's device record, raw (its text pointer cleared)
    bool od6_thermal_controller = false;
    bool odn_temperature = false;
    std::vector<ADLOD8SingleInitSetting> od8_features;
    long long memory_bandwidth = 0;

    // Latest readings and the performance-level table, under their lock: queries may run
    // on the monitoring and the render thread at once.
    std::mutex mutex;
    float gpu_celsius = 0, hot_spot_celsius = 0, memory_celsius = 0;
    float gpu_usage = 0, memory_usage = 0;
    float fan_rpm = 0, fan_percent = 0;
    bool table_built = false;
    std::vector<PerfLevel> levels;
};

class AmdBackend final : public VendorBackend {
  public:
    explicit AmdBackend(const AmdInterfaces& interfaces) : m_api(interfaces) {}
    ~AmdBackend() override { shutdown(); }

    const char* initName() const override { return "ATI_Init()"; }
    void enumerate(BackendHost& host) override;
    void shutdown() override;

    bool temperatures(const GpuRecord& r, GpuTemperatures& t) override;
    bool gpuUsage(const GpuRecord& r, float& gpu, float& frame_buffer,
                  float& video_engine) override;
    bool fan(const GpuRecord& r, float& percent, float& rpm) override;
    bool perfStateClocks(const GpuRecord& r, PerfStateClocks& clocks) override;
    int perfLevelCount(const GpuRecord& r) override;
    bool perfLevel(const GpuRecord& r, int n, PerfLevel& level) override;
    bool clocksAndPower(const GpuRecord& r, bool boost_clocks, ClockPowerReading& out) override;

    AmdGpu* gpuOf(const GpuRecord& r) const {
        if (r.kind != kGpuKindAmd || r.backend_slot < 0 ||
            static_cast<size_t>(r.backend_slot) >= m_gpus.size())
            return nullptr;
        return m_gpus[static_cast<size_t>(r.backend_slot)].get();
    }

  private:
    bool agsRun(BackendHost& host);
    bool displayLibraryInit(BackendHost& host);
    void bindGpu(BackendHost& host, AmdGpu& g, int gpu_index, const AdapterInfo& info,
                 int& previous_match);
    void readOverdrive8Init(BackendHost& host, AmdGpu& g);
    bool pmLog(const AmdGpu& g, ADLPMLogDataOutput& log) const;

    bool readTemperature(AmdGpu& g) const;
    bool readFan(AmdGpu& g, float& percent, float& rpm) const;
    // The readers of each Overdrive generation (OverdriveReader).
    static const OverdriveReader* readerFor(int overdrive_version);
    bool od8Temperature(AmdGpu& g) const;
    bool od8Usage(AmdGpu& g, float& gpu) const;
    bool od8Fan(AmdGpu& g, float& percent, float& rpm) const;
    bool od8Clocks(AmdGpu& g, PerfStateClocks& clocks) const;
    bool odnStatus(const AmdGpu& g, ADLODNPerformanceStatus& status) const;
    bool odnTemperature(AmdGpu& g) const;
    bool odnUsage(AmdGpu& g, float& gpu) const;
    bool odnFan(AmdGpu& g, float& percent, float& rpm) const;
    bool odnClocks(AmdGpu& g, PerfStateClocks& clocks) const;
    bool od6Status(const AmdGpu& g, ADLOD6CurrentStatus& status) const;
    bool od6Temperature(AmdGpu& g) const;
    bool od6Usage(AmdGpu& g, float& gpu) const;
    bool od6Fan(AmdGpu& g, float& percent, float& rpm) const;
    bool od6Clocks(AmdGpu& g, PerfStateClocks& clocks) const;
    bool od5Temperature(AmdGpu& g) const;
    bool od5Usage(AmdGpu& g, float& gpu) const;
    bool od5Fan(AmdGpu& g, float& percent, float& rpm) const;
    bool od5Clocks(AmdGpu& g, PerfStateClocks& clocks) const;
    static void storeTemperature(AmdGpu& g, int millidegrees);
    static void storeUsage(AmdGpu& g, int percent, float& gpu);
    static void storeFan(AmdGpu& g, float new_percent, float new_rpm, float& percent, float& rpm);
    bool buildPerfLevels(AmdGpu& g);
    void debug(const char* format, ...) __attribute__((format(printf, 2, 3)));

    AmdInterfaces m_api;
    BackendHost* m_host = nullptr;
    std::vector<std::unique_ptr<AmdGpu>> m_gpus;
    int m_crossfire_gpus = 0;  // amdgpu has no CrossFire
    void* m_library = nullptr;
    AdlFunctions m_adl;
    ADL_CONTEXT_HANDLE m_context = nullptr;  // the ADL2 context
    bool m_adl_ok = false;                   // ADL_Main_Control_Create succeeded
    std::vector<AdapterInfo> m_adapters;
};

void AmdBackend::debug(const char* format, ...) {
    if (!m_host || !m_host->traceEnabled(true)) return;
    va_list args;
    va_start(args, format);
    m_host->vtrace(true, format, args);
    va_end(args);
}

void AmdBackend::shutdown() {
    if (m_context && m_adl.ADL2_Main_Control_Destroy) m_adl.ADL2_Main_Control_Destroy(m_context);
    if (m_adl_ok && m_adl.ADL_Main_Control_Destroy) m_adl.ADL_Main_Control_Destroy();
    if (m_library) m_api.free_library(m_library);
    m_context = nullptr;
    m_adl_ok = false;
    m_library = nullptr;
    m_adl = AdlFunctions{};
    m_adapters.clear();
    m_gpus.clear();
}

void AmdBackend::enumerate(BackendHost& host) {
    shutdown();
    m_host = &host;
    host.trace("ATI_Init() START");
    if (!agsRun(host)) return;
    host.trace("AMD - Num GPUs: %d", static_cast<int>(m_gpus.size()));
    host.trace("AMD - Num CrossFire GPUs: %d", m_crossfire_gpus);
    if (displayLibraryInit(host)) host.trace("ATI_Init() END OK.");
    for (auto& g : m_gpus) g->record = nullptr;
}

bool AmdBackend::agsRun(BackendHost& host) {
    host.trace("AMD_AGS_Run");
    AGSContext* context = nullptr;
    AGSConfiguration config;
    AGSGPUInfo info{};
    if (!m_api.ags_init || m_api.ags_init(&context, &config, &info) != AGS_SUCCESS) return false;
    const int count = info.devices ? std::max(info.numDevices, 0) : 0;
    host.trace("AMD_AGS_Run - ags_gpu_info.numDevices=%d", count);
    for (int i = 0; i < count; ++i) {
        const AGSDeviceInfo& d = info.devices[i];
        const char* text = d.adapterString ? d.adapterString : "";
        host.trace("AMD_AGS_Run - device %d, vendorId=%.4X, adlAdapterIndex=%d, adapterString=%s",
                   i, static_cast<unsigned>(d.vendorId), d.adlAdapterIndex, text);
        if (d.vendorId != static_cast<int>(kPciVendorAmd)) continue;
        auto g = std::make_unique<AmdGpu>();
        GpuRecord& r = host.addGpuRecord(kGpuKindAmd);
        r.backend_slot = static_cast<int>(m_gpus.size());
        g->record = &r;
        g->adl_index = d.adlAdapterIndex;
        r.vendor_id = static_cast<uint32_t>(d.vendorId);
        r.device_id = static_cast<uint32_t>(d.deviceId);
        r.revision_id = static_cast<uint32_t>(d.revisionId);
        std::snprintf(r.revision_text, sizeof r.revision_text, "%02X",
                      static_cast<unsigned>(d.revisionId) & 0xFF);
        copyTo(r.description, text);
        // Until ADL names it, the GPU goes by its adapter text.
        copyTo(r.full_name, text);
        g->architecture = amdArchitectureName(d.architectureVersion);
        g->figures = d;
        g->figures.adapterString = nullptr;
        m_gpus.push_back(std::move(g));
    }
    if (m_api.ags_deinit) m_api.ags_deinit(context);
    return true;
}

bool AmdBackend::displayLibraryInit(BackendHost& host) {
    host.trace("AMD_Display_Library_Init_v2");
    // 1. The library.
    m_library = m_api.load_library("atiadlxx.dll");
    if (!m_library) m_library = m_api.load_library("atiadlxy.dll");
    if (!m_library) return false;
    host.trace("AMD_Display_Library_Init_v2 - ADL loaded ok");

    // 2. The required functions, and the ADL2 context where the driver has one.
    bool complete = true;
#define PLASHWERK_ADL_RESOLVE(name) \
    m_adl.name = reinterpret_cast<decltype(&::name)>(m_api.get_proc_address(m_library, #name));
#define PLASHWERK_ADL_REQUIRE(name) \
    PLASHWERK_ADL_RESOLVE(name)     \
    if (!m_adl.name) complete = false;
    PLASHWERK_ADL_REQUIRED(PLASHWERK_ADL_REQUIRE)
    if (!complete) {
        m_api.free_library(m_library);
        m_library = nullptr;
        m_adl = AdlFunctions{};
        return false;
    }
    PLASHWERK_ADL2_CONTROL(PLASHWERK_ADL_RESOLVE)
    if (m_adl.ADL2_Main_Control_Create &&
        m_adl.ADL2_Main_Control_Create(adlAllocate, 1, &m_context) != ADL_OK)
        m_context = nullptr;

    // 3. ADL itself, then the optional functions.
    host.trace("AMD_Display_Library_Init - ADL_Main_Control_Create()");
    if (m_adl.ADL_Main_Control_Create(adlAllocate, 1) != ADL_OK) return false;
    m_adl_ok = true;
    host.trace("AMD_Display_Library_Init - ADL_Main_Control_Create() OK.");
    PLASHWERK_ADL_OPTIONAL(PLASHWERK_ADL_RESOLVE)
#undef PLASHWERK_ADL_REQUIRE
#undef PLASHWERK_ADL_RESOLVE
    for (size_t i = 0; i < std::size(kAdlUnusedFunctions); ++i)
        m_adl.unused[i] = m_api.get_proc_address(m_library, kAdlUnusedFunctions[i]);

    // 4. The adapters.
    int count = 0;
    if (m_adl.ADL_Adapter_NumberOfAdapters_Get(&count) != ADL_OK) count = 0;
    count = std::clamp(count, 0, kMaxAdlAdapters);
    host.trace("AMD_Display_Library_Init_v2 - mAtiAdlTotalNumberOfAdapters=%d", count);
    m_adapters.assign(static_cast<size_t>(count), AdapterInfo{});
    for (AdapterInfo& a : m_adapters) a.iSize = kAdlAdapterInfoSize;
    if (count > 0 &&
        m_adl.ADL_Adapter_AdapterInfo_Get(m_adapters.data(), count * kAdlAdapterInfoSize) != ADL_OK)
        m_adapters.clear();
    for (AdapterInfo& a : m_adapters) {
        a.strUDID[ADL_MAX_PATH - 1] = '\0';  // the driver's texts are used as C strings
        a.strAdapterName[ADL_MAX_PATH - 1] = a.strPNPString[ADL_MAX_PATH - 1] = '\0';
        a.strDriverPathExt[ADL_MAX_PATH - 1] = '\0';
        host.trace("AMD_Display_Library_Init_v2 - iAdapterIndex=%d, strUDID=%s", a.iAdapterIndex,
                   a.strUDID);
    }
    host.trace("AMD_Display_Library_Init_v2 - gGlobals.mGpuInfoList has %d GPUs",
               static_cast<int>(m_gpus.size()));

    // 5. Each AMD GPU with its adapter.
    int previous_match = -1;
    for (auto& g : m_gpus) {
        const int gpu_index = g->record->index;
        host.trace("AMD_Display_Library_Init_v2 - gpu_index=%d", gpu_index);
        const auto entry = std::find_if(m_adapters.begin(), m_adapters.end(), [&](const auto& a) {
            return a.iAdapterIndex == g->adl_index;
        });
        if (entry == m_adapters.end() || !entry->iExist) continue;
        host.trace("AMD_Display_Library_Init_v2 - gpu_index=%d, AMD GPU ok", gpu_index);
        bindGpu(host, *g, gpu_index, *entry, previous_match);
    }
    return true;
}

void AmdBackend::bindGpu(BackendHost& host, AmdGpu& g, int gpu_index, const AdapterInfo& info,
                         int& previous_match) {
    GpuRecord& r = *g.record;
    // a. Sensors and bus.
    g.has_sensors = true;
    r.bus_id = info.iBusNumber;
    // b. Overdrive version.
    int supported = 0, enabled = 0, version = 0;
    if (m_adl.ADL_Overdrive_Caps(g.adl_index, &supported, &enabled, &version) == ADL_OK)
        g.overdrive_version = version;
    g.reader = readerFor(g.overdrive_version);
    host.trace("AMD_Display_Library_Init_v2 - gpu_index=%d, gpuInfo->adl_OverdriveVersion=%d",
               gpu_index, g.overdrive_version);
    // c. PCI ids from the UDID.
    const PciIdentity ids = parsePciIdsAtFixedPositions(info.strUDID);
    r.vendor_id = ids.vendor_id;
    r.device_id = ids.device_id;
    r.subsys_device_id = ids.subsys_device_id;
    r.subsys_vendor_id = ids.subsys_vendor_id;
    copyTo(r.subsys_text, ids.subsys_text);
    // d. The display-device entry, or the adapter's own texts.
    const int match = host.matchDisplayDevice(r, previous_match);
    if (match >= 0) {
        previous_match = match;
    } else {
        copyTo(r.description, info.strAdapterName);
        copyTo(r.device_id_text, info.strPNPString);
        const std::string key =
            std::string("SYSTEM\\ControlSet001\\Control\\Class\\") + info.strDriverPathExt;
        copyTo(r.registry_key, key.c_str());
    }
    host.readRegistryDriverInfo(r);
    copyTo(r.driver_version, r.driver_info.driver_version.c_str());
    if (!r.driver_info.bios.empty()) copyTo(r.bios_version, r.driver_info.bios.c_str());
    // e. What each Overdrive generation offers.
    if (g.overdrive_version == 6 && m_adl.ADL_Overdrive6_ThermalController_Caps) {
        ADLOD6ThermalControllerCaps caps{};
        if (m_adl.ADL_Overdrive6_ThermalController_Caps(g.adl_index, &caps) == ADL_OK)
            g.od6_thermal_controller =
                (caps.iCapabilities & ADL_OD6_TCCAPS_THERMAL_CONTROLLER) != 0;
    } else if (g.overdrive_version == 7 && m_context && m_adl.ADL2_OverdriveN_Temperature_Get) {
        int millidegrees = 0;
        g.odn_temperature =
            m_adl.ADL2_OverdriveN_Temperature_Get(m_context, g.adl_index, ODN_GPU_EDGE_TEMP,
                                                  &millidegrees) == ADL_OK &&
            millidegrees > 0;
    } else if (g.overdrive_version == 8 && m_context) {
        readOverdrive8Init(host, g);
    }
    // f. Device-table row and name.
    const DeviceTableRow* row = host.findDeviceTableRow(r.vendor_id, r.device_id, r.subsys_text,
                                                        r.revision_text, r.table_row);
    if (!row) {
        copyTo(r.full_name, info.strAdapterName);
    } else {
        copyTo(r.codename, row->codename);
        r.cores = row->unified_cores;
        r.texture_units = row->texture_units;
        r.rops = g.figures.numROPs > 0 ? g.figures.numROPs : row->rops;
        r.tdp_watts = row->tdp_watts;
        copyTo(r.full_name, r.device_id == 0x68F9 && r.subsys_device_id == 0x2126
                                ? "ATI Radeon HD 6350"
                                : row->full_name);
    }
    // g. First readings and the performance levels.
    readTemperature(g);
    float percent = 0, rpm = 0;
    readFan(g, percent, rpm);
    {
        std::lock_guard lock(g.mutex);
        buildPerfLevels(g);
    }
    // h. Memory.
    if (m_adl.ADL_Adapter_MemoryInfo_Get) {
        ADLMemoryInfo memory{};
        if (m_adl.ADL_Adapter_MemoryInfo_Get(g.adl_index, &memory) == ADL_OK) {
            r.memory_size_mb = static_cast<int>(memory.iMemorySize / 1048576);
            g.memory_bandwidth = memory.iMemoryBandwidth;
            memory.strMemoryType[ADL_MAX_PATH - 1] = '\0';
            copyTo(r.memory_type, memory.strMemoryType);
        }
    }
    // i. BIOS.
    if (m_context && m_adl.ADL2_Adapter_VideoBiosInfo_Get) {
        ADLBiosInfo bios{};
        if (m_adl.ADL2_Adapter_VideoBiosInfo_Get(m_context, g.adl_index, &bios) == ADL_OK) {
            bios.strVersion[ADL_MAX_PATH - 1] = bios.strPartNumber[ADL_MAX_PATH - 1] = '\0';
            bios.strDate[ADL_MAX_PATH - 1] = '\0';
            std::string text = bios.strVersion;
            if (bios.strPartNumber[0] && std::strcmp(bios.strPartNumber, "xxx-xxx-xxx") != 0)
                text += std::string("/") + bios.strPartNumber;
            if (bios.strDate[0]) text += std::string(" (") + bios.strDate + ")";
            copyTo(r.bios_version, text.c_str());
        }
    }
}

void AmdBackend::readOverdrive8Init(BackendHost& host, AmdGpu& g) {
    g.od8_features.clear();
    bool ok = false;
    if (m_adl.ADL2_Overdrive8_Init_SettingX2_Get) {
        int capabilities = 0, count = 0;
        ADLOD8SingleInitSetting* list = nullptr;
        if (m_adl.ADL2_Overdrive8_Init_SettingX2_Get(m_context, g.adl_index, &capabilities, &count,
                                                     &list) == ADL_OK) {
            ok = true;
            if (list) g.od8_features.assign(list, list + std::clamp(count, 0, kMaxOd8Features));
        } else {
            host.trace("ADL2_Overdrive8_Init_SettingX2_Get is failed.");
        }
        std::free(list);
    } else if (m_adl.ADL2_Overdrive8_Init_Setting_Get) {
        ADLOD8InitSetting init{};
        init.count = OD8_COUNT;
        if (m_adl.ADL2_Overdrive8_Init_Setting_Get(m_context, g.adl_index, &init) == ADL_OK) {
            ok = true;
            g.od8_features.assign(
                init.od8SettingTable,
                init.od8SettingTable + std::clamp(init.count, 0, kMaxOd8Features));
        } else {
            host.trace("ADL2_Overdrive8_Init_Setting_Get is failed.");
        }
    }
    if (!ok) {
        host.trace("Overdrive8 init error.");
        return;
    }
    for (const ADLOD8SingleInitSetting& f : g.od8_features)
        debug("OD8 feature %d: min %d, max %d, default %d", f.featureID, f.minValue, f.maxValue,
              f.defaultValue);
    ADLPMLogDataOutput log;
    if (pmLog(g, log))
        for (int i = 0; i < ADL_PMLOG_MAX_SENSORS; ++i)
            debug("PMLog sensor %d: supported %d, value %d", i, log.sensors[i].supported,
                  log.sensors[i].value);
}

bool AmdBackend::pmLog(const AmdGpu& g, ADLPMLogDataOutput& log) const {
    if (!m_context || !m_adl.ADL2_New_QueryPMLogData_Get) return false;
    std::memset(&log, 0, sizeof log);
    log.size = sizeof log;
    return m_adl.ADL2_New_QueryPMLogData_Get(m_context, g.adl_index, &log) == ADL_OK;
}

// Overdrive 8: the power-management log, trusted once the current settings read.
bool AmdBackend::od8Temperature(AmdGpu& g) const {
    if (!m_context) return false;
    int count = 0;
    int* list = nullptr;
    bool settings = false;
    if (m_adl.ADL2_Overdrive8_Current_SettingX2_Get) {
        settings = m_adl.ADL2_Overdrive8_Current_SettingX2_Get(m_context, g.adl_index, &count,
                                                               &list) == ADL_OK;
        std::free(list);
    } else if (m_adl.ADL2_Overdrive8_Current_Setting_Get) {
        ADLOD8CurrentSetting current{};
        current.count = OD8_COUNT;
        settings =
            m_adl.ADL2_Overdrive8_Current_Setting_Get(m_context, g.adl_index, &current) == ADL_OK;
    }
    ADLPMLogDataOutput log;
    if (!settings || !pmLog(g, log)) return false;
    std::lock_guard lock(g.mutex);
    const ADLSingleSensorData* s = log.sensors;
    if (s[PMLOG_TEMPERATURE_EDGE].supported)
        g.gpu_celsius = static_cast<float>(s[PMLOG_TEMPERATURE_EDGE].value);
    if (s[PMLOG_TEMPERATURE_HOTSPOT].supported)
        g.hot_spot_celsius = static_cast<float>(s[PMLOG_TEMPERATURE_HOTSPOT].value);
    if (s[PMLOG_TEMPERATURE_MEM].supported)
        g.memory_celsius = static_cast<float>(s[PMLOG_TEMPERATURE_MEM].value);
    return true;
}

bool AmdBackend::od8Usage(AmdGpu& g, float& gpu) const {
    ADLPMLogDataOutput log;
    if (!pmLog(g, log)) return false;
    const ADLSingleSensorData& graphics = log.sensors[PMLOG_INFO_ACTIVITY_GFX];
    const ADLSingleSensorData& memory = log.sensors[PMLOG_INFO_ACTIVITY_MEM];
    std::lock_guard lock(g.mutex);
    g.gpu_usage = graphics.supported ? static_cast<float>(graphics.value) : -1.0f;
    g.memory_usage = memory.supported ? static_cast<float>(memory.value) : -1.0f;
    // A log without the activity sensor has no usage to report.
    if (!graphics.supported) return false;
    gpu = g.gpu_usage;
    return true;
}

bool AmdBackend::od8Fan(AmdGpu& g, float& percent, float& rpm) const {
    ADLPMLogDataOutput log;
    if (!pmLog(g, log)) return false;
    const ADLSingleSensorData& s_rpm = log.sensors[PMLOG_FAN_RPM];
    const ADLSingleSensorData& s_percent = log.sensors[PMLOG_FAN_PERCENTAGE];
    std::lock_guard lock(g.mutex);
    g.fan_rpm = s_rpm.supported ? static_cast<float>(s_rpm.value) : -1.0f;
    g.fan_percent = s_percent.supported ? static_cast<float>(s_percent.value) : -1.0f;
    // An unsupported sensor is reported as 0 rather than as the log's -1.
    if (!s_rpm.supported && !s_percent.supported) return false;
    rpm = s_rpm.supported ? g.fan_rpm : 0.0f;
    percent = s_percent.supported ? g.fan_percent : 0.0f;
    return true;
}

bool AmdBackend::od8Clocks(AmdGpu& g, PerfStateClocks& clocks) const {
    ADLPMLogDataOutput log;
    if (!pmLog(g, log)) return false;
    const ADLSingleSensorData* s = log.sensors;
    if (s[PMLOG_CLK_GFXCLK].supported)
        clocks.gpu_clock = static_cast<float>(s[PMLOG_CLK_GFXCLK].value);
    if (s[PMLOG_CLK_MEMCLK].supported)
        clocks.memory_clock = static_cast<float>(s[PMLOG_CLK_MEMCLK].value);
    if (s[PMLOG_GFX_VOLTAGE].supported)
        clocks.voltage = static_cast<float>(s[PMLOG_GFX_VOLTAGE].value) / 1000.0f;
    return true;
}

// Overdrive 7 (OverdriveN), through the ADL2 context.
bool AmdBackend::odnStatus(const AmdGpu& g, ADLODNPerformanceStatus& status) const {
    status = ADLODNPerformanceStatus{};
    return m_context && m_adl.ADL2_OverdriveN_PerformanceStatus_Get &&
           m_adl.ADL2_OverdriveN_PerformanceStatus_Get(m_context, g.adl_index, &status) == ADL_OK;
}

bool AmdBackend::odnTemperature(AmdGpu& g) const {
    int millidegrees = 0;
    if (!m_context || !m_adl.ADL2_OverdriveN_Temperature_Get ||
        m_adl.ADL2_OverdriveN_Temperature_Get(m_context, g.adl_index, ODN_GPU_EDGE_TEMP,
                                              &millidegrees) != ADL_OK)
        return false;
    storeTemperature(g, millidegrees);
    return true;
}

bool AmdBackend::odnUsage(AmdGpu& g, float& gpu) const {
    ADLODNPerformanceStatus status;
    if (!odnStatus(g, status)) return false;
    storeUsage(g, status.iGPUActivityPercent, gpu);
    return true;
}

bool AmdBackend::odnFan(AmdGpu& g, float& percent, float& rpm) const {
    ADLODNFanControl control{};
    if (!m_context || !m_adl.ADL2_OverdriveN_FanControl_Get ||
        m_adl.ADL2_OverdriveN_FanControl_Get(m_context, g.adl_index, &control) != ADL_OK)
        return false;
    const float new_percent = control.iTargetFanSpeed >= 1
                                  ? static_cast<float>(control.iCurrentFanSpeed) * 100.0f /
                                        static_cast<float>(control.iTargetFanSpeed)
                                  : 0.0f;
    storeFan(g, new_percent, static_cast<float>(control.iCurrentFanSpeed), percent, rpm);
    return true;
}

bool AmdBackend::odnClocks(AmdGpu& g, PerfStateClocks& clocks) const {
    ADLODNPerformanceStatus status;
    if (!odnStatus(g, status)) return false;
    clocks.gpu_clock = static_cast<float>(status.iCoreClock) / 100.0f;
    clocks.memory_clock = static_cast<float>(status.iMemoryClock) / 100.0f;
    clocks.pstate = status.iCurrentCorePerformanceLevel;
    clocks.voltage = static_cast<float>(status.iVDDC) * 0.001f;
    return true;
}

// Overdrive 6.
bool AmdBackend::od6Status(const AmdGpu& g, ADLOD6CurrentStatus& status) const {
    status = ADLOD6CurrentStatus{};
    return m_adl.ADL_Overdrive6_CurrentStatus_Get &&
           m_adl.ADL_Overdrive6_CurrentStatus_Get(g.adl_index, &status) == ADL_OK;
}

bool AmdBackend::od6Temperature(AmdGpu& g) const {
    int millidegrees = 0;
    if (!m_adl.ADL_Overdrive6_Temperature_Get ||
        m_adl.ADL_Overdrive6_Temperature_Get(g.adl_index, &millidegrees) != ADL_OK)
        return false;
    storeTemperature(g, millidegrees);
    return true;
}

bool AmdBackend::od6Usage(AmdGpu& g, float& gpu) const {
    ADLOD6CurrentStatus status;
    if (!od6Status(g, status)) return false;
    storeUsage(g, status.iActivityPercent, gpu);
    return true;
}

// Two reads, RPM then percent; either one is enough.
bool AmdBackend::od6Fan(AmdGpu& g, float& percent, float& rpm) const {
    if (!m_adl.ADL_Overdrive6_FanSpeed_Get) return false;
    float new_rpm = 0, new_percent = 0;
    bool ok = false;
    ADLOD6FanSpeedInfo info{};
    info.iSpeedType = ADL_OD6_FANSPEED_TYPE_RPM;
    if (m_adl.ADL_Overdrive6_FanSpeed_Get(g.adl_index, &info) == ADL_OK) {
        new_rpm = static_cast<float>(info.iFanSpeedRPM);
        ok = true;
    }
    info = ADLOD6FanSpeedInfo{};
    info.iSpeedType = ADL_OD6_FANSPEED_TYPE_PERCENT;
    if (m_adl.ADL_Overdrive6_FanSpeed_Get(g.adl_index, &info) == ADL_OK) {
        new_percent = static_cast<float>(info.iFanSpeedPercent);
        ok = true;
    }
    if (!ok) return false;
    storeFan(g, new_percent, new_rpm, percent, rpm);
    return true;
}

bool AmdBackend::od6Clocks(AmdGpu& g, PerfStateClocks& clocks) const {
    ADLOD6CurrentStatus status;
    if (!od6Status(g, status)) return false;
    clocks.gpu_clock = static_cast<float>(status.iEngineClock) / 100.0f;
    clocks.memory_clock = static_cast<float>(status.iMemoryClock) / 100.0f;
    clocks.pstate = status.iCurrentPerformanceLevel;
    return true;
}

// Overdrive 5, thermal controller 0.
bool AmdBackend::od5Temperature(AmdGpu& g) const {
    ADLTemperature t{};
    t.iSize = sizeof t;
    if (!m_adl.ADL_Overdrive5_Temperature_Get ||
        m_adl.ADL_Overdrive5_Temperature_Get(g.adl_index, 0, &t) != ADL_OK)
        return false;
    storeTemperature(g, t.iTemperature);
    return true;
}

bool AmdBackend::od5Usage(AmdGpu& g, float& gpu) const {
    ADLPMActivity activity{};
    activity.iSize = sizeof activity;
    if (!m_adl.ADL_Overdrive5_CurrentActivity_Get ||
        m_adl.ADL_Overdrive5_CurrentActivity_Get(g.adl_index, &activity) != ADL_OK)
        return false;
    storeUsage(g, activity.iActivityPercent, gpu);
    return true;
}

// Two reads, percent then RPM; either one is enough.
bool AmdBackend::od5Fan(AmdGpu& g, float& percent, float& rpm) const {
    if (!m_adl.ADL_Overdrive5_FanSpeed_Get) return false;
    float new_rpm = 0, new_percent = 0;
    bool ok = false;
    ADLFanSpeedValue value{};
    value.iSize = sizeof value;
    value.iSpeedType = ADL_DL_FANCTRL_SPEED_TYPE_PERCENT;
    if (m_adl.ADL_Overdrive5_FanSpeed_Get(g.adl_index, 0, &value) == ADL_OK) {
        new_percent = static_cast<float>(value.iFanSpeed);
        ok = true;
    }
    value = ADLFanSpeedValue{};
    value.iSize = sizeof value;
    value.iSpeedType = ADL_DL_FANCTRL_SPEED_TYPE_RPM;
    if (m_adl.ADL_Overdrive5_FanSpeed_Get(g.adl_index, 0, &value) == ADL_OK) {
        new_rpm = static_cast<float>(value.iFanSpeed);
        ok = true;
    }
    if (!ok) return false;
    storeFan(g, new_percent, new_rpm, percent, rpm);
    return true;
}

// The current activity through the ADL2 context (the usage query uses the ADL1 call).
bool AmdBackend::od5Clocks(AmdGpu& g, PerfStateClocks& clocks) const {
    ADLPMActivity activity{};
    activity.iSize = sizeof activity;
    if (!m_context || !m_adl.ADL2_Overdrive5_CurrentActivity_Get ||
        m_adl.ADL2_Overdrive5_CurrentActivity_Get(m_context, g.adl_index, &activity) != ADL_OK)
        return false;
    clocks.gpu_clock = static_cast<float>(activity.iEngineClock) / 100.0f;
    clocks.memory_clock = static_cast<float>(activity.iMemoryClock) / 100.0f;
    clocks.voltage = static_cast<float>(activity.iVddc) / 1000.0f;
    clocks.pstate = activity.iCurrentPerformanceLevel;
    return true;
}

void AmdBackend::storeTemperature(AmdGpu& g, int millidegrees) {
    std::lock_guard lock(g.mutex);
    g.gpu_celsius = static_cast<float>(millidegrees) / 1000.0f;
}

void AmdBackend::storeUsage(AmdGpu& g, int percent, float& gpu) {
    std::lock_guard lock(g.mutex);
    g.gpu_usage = static_cast<float>(percent);
    gpu = g.gpu_usage;
}

void AmdBackend::storeFan(AmdGpu& g, float new_percent, float new_rpm, float& percent, float& rpm) {
    std::lock_guard lock(g.mutex);
    g.fan_rpm = new_rpm;
    g.fan_percent = new_percent;
    rpm = new_rpm;
    percent = new_percent;
}

const OverdriveReader* AmdBackend::readerFor(int overdrive_version) {
    static const OverdriveReader kOverdrive8{&AmdBackend::od8Temperature, &AmdBackend::od8Usage,
                                             &AmdBackend::od8Fan, &AmdBackend::od8Clocks, true};
    static const OverdriveReader kOverdriveN{&AmdBackend::odnTemperature, &AmdBackend::odnUsage,
                                             &AmdBackend::odnFan, &AmdBackend::odnClocks, false};
    static const OverdriveReader kOverdrive6{&AmdBackend::od6Temperature, &AmdBackend::od6Usage,
                                             &AmdBackend::od6Fan, &AmdBackend::od6Clocks, false};
    static const OverdriveReader kOverdrive5{&AmdBackend::od5Temperature, &AmdBackend::od5Usage,
                                             &AmdBackend::od5Fan, &AmdBackend::od5Clocks, false};
    switch (overdrive_version) {
        case 8:
            return &kOverdrive8;
        case 7:
            return &kOverdriveN;
        case 6:
            return &kOverdrive6;
        case 5:
            return &kOverdrive5;
        default:
            return nullptr;
    }
}

// The GPU's temperature by its generation's reader, into its kept readings.
bool AmdBackend::readTemperature(AmdGpu& g) const {
    return m_adl_ok && g.reader && (this->*g.reader->temperature)(g);
}

// The fan by its generation's reader; the kept readings are 0 until a read succeeds.
bool AmdBackend::readFan(AmdGpu& g, float& percent, float& rpm) const {
    {
        std::lock_guard lock(g.mutex);
        g.fan_rpm = g.fan_percent = 0;
    }
    return m_adl_ok && g.reader && (this->*g.reader->fan)(g, percent, rpm);
}

bool AmdBackend::temperatures(const GpuRecord& r, GpuTemperatures& t) {
    AmdGpu* g = gpuOf(r);
    if (!g || !readTemperature(*g)) return false;
    std::lock_guard lock(g->mutex);
    t.gpu = g->gpu_celsius;
    if (g->reader->memory_temperature) t.memory = g->memory_celsius;
    t.hot_spot = g->hot_spot_celsius;
    return true;
}

bool AmdBackend::gpuUsage(const GpuRecord& r, float& gpu, float&, float&) {
    AmdGpu* g = gpuOf(r);
    return g && m_adl_ok && g->reader && (this->*g->reader->usage)(*g, gpu);
}

bool AmdBackend::fan(const GpuRecord& r, float& percent, float& rpm) {
    AmdGpu* g = gpuOf(r);
    return g && readFan(*g, percent, rpm);
}

bool AmdBackend::perfStateClocks(const GpuRecord& r, PerfStateClocks& clocks) {
    AmdGpu* g = gpuOf(r);
    if (!g || !m_adl_ok || !g->reader || !(this->*g->reader->clocks)(*g, clocks)) return false;
    clocks.shader_clock = 0;
    return true;
}

// The highest GPU clock, memory clock and voltage of the level table, which is read once.
bool AmdBackend::clocksAndPower(const GpuRecord& r, bool, ClockPowerReading& out) {
    out.state = ClockPowerReading::State::PerfState;
    out.state_read = true;
    PerfStateClocks& highest = out.clocks;
    const int levels = perfLevelCount(r);
    for (int k = 0; k < levels; ++k) {
        PerfLevel level;
        if (!perfLevel(r, k, level)) continue;
        highest.gpu_clock = std::max(highest.gpu_clock, level.gpu_clock);
        highest.memory_clock = std::max(highest.memory_clock, level.memory_clock);
        highest.voltage = std::max(highest.voltage, level.voltage);
    }
    highest.shader_clock = 0;
    return true;
}

// Builds the table of performance levels when it does not exist yet (under g.mutex).
bool AmdBackend::buildPerfLevels(AmdGpu& g) {
    if (g.table_built) return true;
    if (!m_adl_ok) return false;
    // 1. OverdriveN.
    if (m_context && g.overdrive_version >= 7 && m_adl.ADL2_OverdriveN_Capabilities_Get &&
        m_adl.ADL2_OverdriveN_SystemClocks_Get && m_adl.ADL2_OverdriveN_MemoryClocks_Get) {
        ADLODNCapabilities caps{};
        int n = 0;
        if (m_adl.ADL2_OverdriveN_Capabilities_Get(m_context, g.adl_index, &caps) == ADL_OK)
            n = std::clamp(caps.iMaximumNumberOfPerformanceLevels, 0, kMaxPerfLevels);
        m_host->trace("AMD_Display_Library_ReadPerfLevels - num_pstates:%d", n);
        if (n > 0) {
            const size_t bytes = sizeof(ADLODNPerformanceLevels) +
                                 sizeof(ADLODNPerformanceLevel) * static_cast<size_t>(n - 1);
            std::vector<unsigned char> buffer(bytes);
            auto* list = reinterpret_cast<ADLODNPerformanceLevels*>(buffer.data());
            auto prepare = [&] {
                std::fill(buffer.begin(), buffer.end(), 0);
                list->iSize = static_cast<int>(bytes);
                list->iNumberOfPerformanceLevels = n;
            };
            g.levels.assign(static_cast<size_t>(n), PerfLevel{});
            prepare();
            if (m_adl.ADL2_OverdriveN_SystemClocks_Get(m_context, g.adl_index, list) == ADL_OK) {
                for (int k = 0; k < n; ++k) {
                    PerfLevel& level = g.levels[static_cast<size_t>(k)];
                    level.gpu_clock = static_cast<float>(list->aLevels[k].iClock) / 100.0f;
                    level.voltage = static_cast<float>(list->aLevels[k].iVddc) / 1000.0f;
                    m_host->trace("AMD_Display_Library_ReadPerfLevels - PSTATE:%d - gpu_clock:%.3f",
                                  k, static_cast<double>(level.gpu_clock));
                }
            }
            prepare();
            if (m_adl.ADL2_OverdriveN_MemoryClocks_Get(m_context, g.adl_index, list) == ADL_OK) {
                float last_positive = 0;
                for (int k = 0; k < n; ++k) {
                    PerfLevel& level = g.levels[static_cast<size_t>(k)];
                    const float mhz = static_cast<float>(list->aLevels[k].iClock) / 100.0f;
                    // A level without a memory clock of its own runs at the last one below.
                    if (mhz > 0) last_positive = mhz;
                    level.memory_clock = mhz > 0 ? mhz : last_positive;
                    m_host->trace("AMD_Display_Library_ReadPerfLevels - PSTATE:%d - mem_clock:%.3f",
                                  k, static_cast<double>(level.memory_clock));
                }
            }
            g.table_built = true;
            return true;
        }
    }
    // 2. Overdrive 5.
    if (g.overdrive_version != 5 || !m_adl.ADL_Overdrive5_ODParameters_Get) return false;
    ADLODParameters parameters{};
    parameters.iSize = sizeof parameters;
    if (m_adl.ADL_Overdrive5_ODParameters_Get(g.adl_index, &parameters) != ADL_OK) return false;
    const int n = std::clamp(parameters.iNumberOfPerformanceLevels, 0, kMaxPerfLevels);
    g.levels.assign(static_cast<size_t>(n), PerfLevel{});
    g.table_built = true;
    if (n == 0 || !m_adl.ADL_Overdrive5_ODPerformanceLevels_Get) return true;
    const size_t bytes =
        sizeof(ADLODPerformanceLevels) + sizeof(ADLODPerformanceLevel) * static_cast<size_t>(n - 1);
    std::vector<unsigned char> buffer(bytes);
    auto* list = reinterpret_cast<ADLODPerformanceLevels*>(buffer.data());
    list->iSize = static_cast<int>(bytes);
    if (m_adl.ADL_Overdrive5_ODPerformanceLevels_Get(g.adl_index, 0, list) != ADL_OK) return true;
    for (int k = 0; k < n; ++k) {
        PerfLevel& level = g.levels[static_cast<size_t>(k)];
        level.gpu_clock = static_cast<float>(list->aLevels[k].iEngineClock) / 100.0f;
        level.memory_clock = static_cast<float>(list->aLevels[k].iMemoryClock) / 100.0f;
        level.voltage = static_cast<float>(list->aLevels[k].iVddc) / 1000.0f;
    }
    return true;
}

int AmdBackend::perfLevelCount(const GpuRecord& r) {
    AmdGpu* g = gpuOf(r);
    if (!g) return 0;
    std::lock_guard lock(g->mutex);
    return buildPerfLevels(*g) ? static_cast<int>(g->levels.size()) : 0;
}

bool AmdBackend::perfLevel(const GpuRecord& r, int n, PerfLevel& level) {
    AmdGpu* g = gpuOf(r);
    if (!g || n < 0) return false;
    std::lock_guard lock(g->mutex);
    if (!buildPerfLevels(*g) || static_cast<size_t>(n) >= g->levels.size()) return false;
    level = g->levels[static_cast<size_t>(n)];
    return true;
}

}  // namespace

std::unique_ptr<VendorBackend> createAmdBackend(const AmdInterfaces& interfaces) {
    return std::make_unique<AmdBackend>(interfaces);
}

const char* amdArchitectureName(int code) {
    static const char* const kNames[] = {"Unknown", "PreGCN", "GCN1", "GCN2",
                                         "GCN3",    "GCN4",   "Vega", "RDNA"};
    return code >= 0 && code < static_cast<int>(std::size(kNames)) ? kNames[code] : "Unknown";
}

bool amdGpuDetails(VendorBackend& backend, const GpuRecord& record, AmdGpuDetails& details) {
    auto* amd = dynamic_cast<AmdBackend*>(&backend);
    AmdGpu* g = amd ? amd->gpuOf(record) : nullptr;
    if (!g) return false;
    std::lock_guard lock(g->mutex);
    details.adl_adapter_index = g->adl_index;
    details.overdrive_version = g->overdrive_version;
    details.has_sensors = g->has_sensors;
    details.architecture = g->architecture;
    details.od6_thermal_controller = g->od6_thermal_controller;
    details.odn_temperature = g->odn_temperature;
    details.od8_feature_count = static_cast<int>(g->od8_features.size());
    details.hot_spot_celsius = g->hot_spot_celsius;
    details.memory_celsius = g->memory_celsius;
    details.memory_activity = g->memory_usage;
    details.memory_bandwidth = g->memory_bandwidth;
    details.perf_table_built = g->table_built;
    return true;
}

}  // namespace plashwerk
