#include "gpumon/pyrolex/nvidia/nvidia_backend.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <memory>
#include <vector>

#include "gpumon/pyrolex/saturating.h"
#include "platform/nvapi/nvapi.h"

namespace plashwerk {
namespace {

constexpr NvU32 kOtherUnitCountIds[] = {0xD048C3B1, 0x4E2F76A8, 0x4A35DF54, 0xB6D62591};
constexpr NvU32 kMaxCelsius = 250;  // beyond it a sensor reading is a marker, not a reading

/// What the back end keeps per NVIDIA GPU beside its GpuRecord.
struct NvidiaGpu {
    NvPhysicalGpuHandle handle = nullptr;
    NvDisplayHandle display = nullptr;  ///< the display handle driving it, when one does
    NvU32 gpu_type = 0;                 ///< 1 integrated, 2 discrete
    std::string family;
    NvU32 physical_fb_kb = 0, virtual_fb_kb = 0;
    char full_name[NVAPI_SHORT_STRING_MAX] = "";
    std::vector<PerfLevel> pstates;  ///< the performance-state table read at start-up
    NvU32 cores = 0, rops = 0, shader_pipes = 0, partitions = 0;
    NvU32 other_counts[std::size(kOtherUnitCountIds)] = {};
    bool has_temperature_sensor = false;
    NV_GPU_CLIENT_FAN_COOLERS_INFO fan_coolers_info{};
    NV_GPU_CLIENT_FAN_COOLERS_STATUS fan_coolers_status{};
};

template <typename Fn>
Fn entryPoint(NvU32 id) {
    return reinterpret_cast<Fn>(nvapi_QueryInterface(id));
}

class NvidiaBackend final : public VendorBackend {
  public:
    ~NvidiaBackend() override { shutdown(); }

    const char* initName() const override { return "NVAPI_Init()"; }
    void enumerate(BackendHost& host) override;
    void shutdown() override;
    std::string driverVersionText() const override {
        return m_initialized ? nvidiaDriverVersionText(m_driver_version) : std::string();
    }

    bool temperatures(const GpuRecord& r, GpuTemperatures& t) override;
    bool gpuUsage(const GpuRecord& r, float& gpu, float& frame_buffer,
                  float& video_engine) override;
    bool memoryUsage(const GpuRecord& r, uint32_t& total_kb, uint32_t& available_kb,
                     float& percent) override;
    bool fan(const GpuRecord& r, float& percent, float& rpm) override;
    bool perfStateClocks(const GpuRecord& r, PerfStateClocks& clocks) override;
    bool clockFrequencies(const GpuRecord& r, int type, float& gpu, float& memory) override;
    bool coreVoltage(const GpuRecord& r, float& volts) override;
    bool powerStatus(const GpuRecord& r, float& percent, float& milliwatts) override;
    bool powerLimit(const GpuRecord& r, float& percent, float& milliwatts) override;
    bool clockEventReasons(const GpuRecord& r, uint32_t& reasons) override;
    int perfLevelCount(const GpuRecord& r) override;
    bool perfLevel(const GpuRecord& r, int n, PerfLevel& level) override;
    bool clocksAndPower(const GpuRecord& r, bool boost_clocks, ClockPowerReading& out) override;

  private:
    const NvidiaGpu* gpuOf(const GpuRecord& r) const {
        if (r.kind != kGpuKindNvidia || r.backend_slot < 0 ||
            static_cast<size_t>(r.backend_slot) >= m_gpus.size())
            return nullptr;
        return &m_gpus[static_cast<size_t>(r.backend_slot)];
    }
    void readPstateTable(NvidiaGpu& gpu);
    bool pstateFromInfo(NvPhysicalGpuHandle handle, NvU32 state, PerfLevel& level) const;
    void debug(const char* format, ...) __attribute__((format(printf, 2, 3)));

    BackendHost* m_host = nullptr;
    bool m_initialized = false;
    std::vector<NvidiaGpu> m_gpus;
    std::vector<NvDisplayHandle> m_displays;
    std::vector<NvLogicalGpuHandle> m_logical;
    NvU32 m_driver_version = 0;
    char m_adapter_text[128] = "";
    char m_branch_text[128] = "";
};

void NvidiaBackend::debug(const char* format, ...) {
    if (!m_host || !m_host->traceEnabled(true)) return;
    va_list args;
    va_start(args, format);
    m_host->vtrace(true, format, args);
    va_end(args);
}

void NvidiaBackend::shutdown() {
    if (m_initialized) NvAPI_Unload();
    m_initialized = false;
    m_gpus.clear();
    m_displays.clear();
    m_logical.clear();
}

void NvidiaBackend::enumerate(BackendHost& host) {
    shutdown();
    m_host = &host;
    m_driver_version = 0;
    m_adapter_text[0] = m_branch_text[0] = '\0';
    if (NvAPI_Initialize() != NVAPI_OK) return;
    m_initialized = true;

    NvAPI_ShortString text = "";
    if (NvAPI_GetInterfaceVersionString(text) == NVAPI_OK) debug("NVAPI version: %s", text);
    NV_DISPLAY_DRIVER_VERSION version{};
    version.version = NV_DISPLAY_DRIVER_VERSION_VER;
    if (NvAPI_GetDisplayDriverVersion(nullptr, &version) == NVAPI_OK) {
        copyTo(m_branch_text, version.szBuildBranchString);
        copyTo(m_adapter_text, version.szAdapterString);
        m_driver_version = version.drvVersion;
        debug("NVAPI - driver version: %s --- %u --- %s", m_adapter_text, version.drvVersion,
              m_branch_text);
    }
    NvAPI_ShortString branch = "";
    if (NvAPI_SYS_GetDriverAndBranchVersion(&m_driver_version, branch) != NVAPI_OK)
        m_driver_version = 0;

    for (NvU32 i = 0;; ++i) {
        NvDisplayHandle display = nullptr;
        if (NvAPI_EnumNvidiaDisplayHandle(i, &display) != NVAPI_OK) break;
        m_displays.push_back(display);
    }
    NvLogicalGpuHandle logical[NVAPI_MAX_LOGICAL_GPUS] = {};
    NvU32 logical_count = 0;
    if (NvAPI_EnumLogicalGPUs(logical, &logical_count) == NVAPI_OK)
        m_logical.assign(logical, logical + std::min<NvU32>(logical_count, NVAPI_MAX_LOGICAL_GPUS));
    NvPhysicalGpuHandle physical[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 physical_count = 0;
    if (NvAPI_EnumPhysicalGPUs(physical, &physical_count) != NVAPI_OK) physical_count = 0;
    physical_count = std::min<NvU32>(physical_count, NVAPI_MAX_PHYSICAL_GPUS);

    m_gpus.resize(physical_count);
    for (NvU32 i = 0; i < physical_count; ++i) {
        NvidiaGpu& g = m_gpus[i];
        g.handle = physical[i];
        NvAPI_GPU_GetGPUType(g.handle, &g.gpu_type);
        NvAPI_GPU_GetFullName(g.handle, g.full_name);
        NvAPI_GPU_GetPhysicalFrameBufferSize(g.handle, &g.physical_fb_kb);
        NvAPI_GPU_GetVirtualFrameBufferSize(g.handle, &g.virtual_fb_kb);
    }

    int previous_match = -1;
    const std::string driver_text = nvidiaDriverVersionText(m_driver_version);
    for (NvU32 i = 0; i < physical_count; ++i) {
        NvidiaGpu& g = m_gpus[i];
        GpuRecord& r = host.addGpuRecord(kGpuKindNvidia);
        r.backend_slot = static_cast<int>(i);

        // a. The display handle whose GPU list holds this GPU.
        for (NvDisplayHandle display : m_displays) {
            NvPhysicalGpuHandle driven[NVAPI_MAX_PHYSICAL_GPUS] = {};
            NvU32 count = 0;
            if (NvAPI_GetPhysicalGPUsFromDisplay(display, driven, &count) != NVAPI_OK) continue;
            if (std::find(driven, driven + std::min<NvU32>(count, NVAPI_MAX_PHYSICAL_GPUS),
                          g.handle) != driven + std::min<NvU32>(count, NVAPI_MAX_PHYSICAL_GPUS)) {
                g.display = display;
                break;
            }
        }
        // b, c. Bus and PCI identity.
        NvU32 bus = 0;
        if (NvAPI_GPU_GetBusId(g.handle, &bus) == NVAPI_OK) r.bus_id = saturatingInt(bus);
        NvU32 device_word = 0, subsystem_word = 0, revision = 0, ext_device = 0;
        if (NvAPI_GPU_GetPCIIdentifiers(g.handle, &device_word, &subsystem_word, &revision,
                                        &ext_device) == NVAPI_OK) {
            r.vendor_id = device_word & 0xFFFF;
            r.device_id = device_word >> 16;
            r.subsys_vendor_id = subsystem_word & 0xFFFF;
            r.subsys_device_id = subsystem_word >> 16;
            r.revision_id = revision;
            std::snprintf(r.revision_text, sizeof r.revision_text, "%02X", revision & 0xFF);
            std::snprintf(r.subsys_text, sizeof r.subsys_text, "%04X%04X",
                          r.subsys_device_id & 0xFFFF, r.subsys_vendor_id & 0xFFFF);
        }
        // d. Product family; fan coolers kept raw.
        NvU32 brand = 0;
        if (auto get_brand = entryPoint<NvAPI_GPU_GetBrandCode_t>(NVAPI_ID_GPU_GET_BRAND_CODE);
            get_brand && get_brand(g.handle, &brand) == NVAPI_OK)
            g.family = nvidiaProductFamily(brand);
        g.fan_coolers_info.version = NV_GPU_CLIENT_FAN_COOLERS_INFO_VER_1;
        if (auto get = entryPoint<NvAPI_GPU_ClientFanCoolersGetInfo_t>(
                NVAPI_ID_GPU_CLIENT_FAN_COOLERS_GET_INFO))
            get(g.handle, &g.fan_coolers_info);
        g.fan_coolers_status.version = NV_GPU_CLIENT_FAN_COOLERS_STATUS_VER_1;
        if (auto get = entryPoint<NvAPI_GPU_ClientFanCoolersGetStatus_t>(
                NVAPI_ID_GPU_CLIENT_FAN_COOLERS_GET_STATUS))
            get(g.handle, &g.fan_coolers_status);
        // e. The display-device entry and its registry driver values.
        previous_match = host.matchDisplayDevice(r, previous_match);
        host.readRegistryDriverInfo(r);
        // f. Driver texts.
        copyTo(r.driver_version, driver_text.c_str());
        // g. Device-table row.
        const DeviceTableRow* row = host.findDeviceTableRow(r.vendor_id, r.device_id, r.subsys_text,
                                                            r.revision_text, r.table_row);
        if (row) {
            copyTo(r.full_name, row->full_name);
            copyTo(r.codename, row->codename);
            r.texture_units = row->texture_units;
            r.rops = row->rops;
        } else {
            copyTo(r.full_name, g.full_name);
        }
        // h. Temperatures; a sensor reading above 0 shows the GPU has one.
        GpuTemperatures t;
        if (temperatures(r, t) && t.gpu > 0) g.has_temperature_sensor = true;
        // i. Memory type and unit counts, each kept when its call answers.
        NvU32 value = 0;
        if (NvAPI_GPU_GetRamType(g.handle, &value) == NVAPI_OK)
            copyTo(r.memory_type, nvidiaMemoryType(value));
        if (NvAPI_GPU_GetGpuCoreCount(g.handle, &value) == NVAPI_OK) g.cores = value;
        if (auto count = entryPoint<NvAPI_GPU_GetUnitCount_t>(NVAPI_ID_GPU_GET_ROP_COUNT);
            count && count(g.handle, &value) == NVAPI_OK)
            g.rops = value;
        if (NvAPI_GPU_GetShaderPipeCount(g.handle, &value) == NVAPI_OK) g.shader_pipes = value;
        if (NvAPI_GPU_GetPartitionCount(g.handle, &value) == NVAPI_OK) g.partitions = value;
        for (size_t k = 0; k < std::size(kOtherUnitCountIds); ++k)
            if (auto count = entryPoint<NvAPI_GPU_GetUnitCount_t>(kOtherUnitCountIds[k]);
                count && count(g.handle, &value) == NVAPI_OK)
                g.other_counts[k] = value;
        r.cores = saturatingInt(g.cores);
        if (g.rops) r.rops = saturatingInt(g.rops);
        // j. Performance states.
        readPstateTable(g);
        // k. Frame buffer and BIOS.
        if (NvAPI_GPU_GetPhysicalFrameBufferSize(g.handle, &g.physical_fb_kb) == NVAPI_OK)
            r.memory_size_mb = static_cast<int>(g.physical_fb_kb / 1024);
        NvAPI_GPU_GetVirtualFrameBufferSize(g.handle, &g.virtual_fb_kb);
        NvAPI_ShortString bios = "";
        if (NvAPI_GPU_GetVbiosVersionString(g.handle, bios) == NVAPI_OK)
            copyTo(r.bios_version, bios);
        // The table gives the TDP, and the cores when the driver gave none.
        if (row) {
            r.tdp_watts = row->tdp_watts;
            if (r.cores == 0) r.cores = row->unified_cores;
        }
    }
}

void NvidiaBackend::readPstateTable(NvidiaGpu& g) {
    g.pstates.clear();
    auto info = std::make_unique<NV_GPU_PERF_PSTATES20_INFO>();
    info->version = NV_GPU_PERF_PSTATES20_INFO_VER3;
    NvAPI_Status status = NvAPI_GPU_GetPstates20(g.handle, info.get());
    if (status == NVAPI_INCOMPATIBLE_STRUCT_VERSION) {
        *info = NV_GPU_PERF_PSTATES20_INFO{};
        info->version = NV_GPU_PERF_PSTATES20_INFO_VER1;
        status = NvAPI_GPU_GetPstates20(g.handle, info.get());
    }
    if (status == NVAPI_OK && info->numPstates >= 1) {
        const NvU32 states = std::min<NvU32>(info->numPstates, NVAPI_MAX_GPU_PSTATE20_PSTATES);
        const NvU32 clocks = std::min<NvU32>(info->numClocks, NVAPI_MAX_GPU_PSTATE20_CLOCKS);
        const NvU32 voltages =
            std::min<NvU32>(info->numBaseVoltages, NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES);
        for (NvU32 s = 0; s < states; ++s) {
            const auto& state = info->pstates[s];
            PerfLevel level;
            level.id = static_cast<int32_t>(state.pstateId);
            for (NvU32 c = 0; c < clocks; ++c) {
                // The first frequency word: the single frequency, or the bottom of a range.
                const float mhz =
                    static_cast<float>(state.clocks[c].data.single.freq_kHz) / 1000.0f;
                switch (state.clocks[c].domainId) {
                    case NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS:
                        level.gpu_clock = mhz;
                        debug(
                            "NVAPI - NVAPI_GpuInfo_GetAllPerformanceStates - Pstate %u - clock %u "
                            "- gpu_clock: %f",
                            s, c, mhz);
                        break;
                    case NVAPI_GPU_PUBLIC_CLOCK_MEMORY:
                        level.memory_clock = mhz;
                        debug(
                            "NVAPI - NVAPI_GpuInfo_GetAllPerformanceStates - Pstate %u - clock %u "
                            "- mem_clock: %f",
                            s, c, mhz);
                        break;
                    case NVAPI_GPU_PUBLIC_CLOCK_PROCESSOR:
                        level.shader_clock = mhz;
                        break;
                    default:
                        break;
                }
            }
            for (NvU32 v = 0; v < voltages; ++v)
                if (state.baseVoltages[v].domainId == NVAPI_GPU_PERF_VOLTAGE_INFO_DOMAIN_CORE)
                    level.voltage = static_cast<float>(state.baseVoltages[v].volt_uV) / 1000000.0f;
            g.pstates.push_back(level);
        }
        return;
    }
    auto get_info = entryPoint<NvAPI_GPU_GetPstatesInfo_t>(NVAPI_ID_GPU_GET_PSTATES_INFO);
    if (!get_info) return;
    auto table = std::make_unique<NV_GPU_PERF_PSTATES_INFO>();
    table->version = NV_GPU_PERF_PSTATES_INFO_VER3;
    if (get_info(g.handle, table.get()) != NVAPI_OK) return;
    for (NvU32 s = 0; s < std::min<NvU32>(table->numPstates, NVAPI_MAX_GPU_PERF_PSTATES); ++s) {
        PerfLevel level;
        if (pstateFromInfo(g.handle, table->pstates[s].pstateId, level)) g.pstates.push_back(level);
    }
}

// The entry of one state in the older performance-state table.
bool NvidiaBackend::pstateFromInfo(NvPhysicalGpuHandle handle, NvU32 state,
                                   PerfLevel& level) const {
    auto get_info = entryPoint<NvAPI_GPU_GetPstatesInfo_t>(NVAPI_ID_GPU_GET_PSTATES_INFO);
    if (!get_info) return false;
    auto table = std::make_unique<NV_GPU_PERF_PSTATES_INFO>();
    table->version = NV_GPU_PERF_PSTATES_INFO_VER3;
    if (get_info(handle, table.get()) != NVAPI_OK) return false;
    const NvU32 states = std::min<NvU32>(table->numPstates, NVAPI_MAX_GPU_PERF_PSTATES);
    for (NvU32 s = 0; s < states; ++s) {
        const auto& entry = table->pstates[s];
        if (entry.pstateId != state) continue;
        level = PerfLevel{};
        level.id = static_cast<int32_t>(entry.pstateId);
        for (NvU32 c = 0; c < std::min<NvU32>(table->numClocks, NVAPI_MAX_GPU_PERF_CLOCKS); ++c) {
            const float mhz = static_cast<float>(entry.clocks[c].freq) / 1000.0f;
            if (entry.clocks[c].domainId == NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS)
                level.gpu_clock = mhz;
            else if (entry.clocks[c].domainId == NVAPI_GPU_PUBLIC_CLOCK_MEMORY)
                level.memory_clock = mhz;
            else if (entry.clocks[c].domainId == NVAPI_GPU_PUBLIC_CLOCK_PROCESSOR)
                level.shader_clock = mhz;
        }
        for (NvU32 v = 0; v < std::min<NvU32>(table->numVoltages, NVAPI_MAX_GPU_PERF_VOLTAGES); ++v)
            if (entry.voltages[v].domainId == NVAPI_GPU_PERF_VOLTAGE_INFO_DOMAIN_CORE)
                level.voltage = static_cast<float>(entry.voltages[v].mvolt) / 1000.0f;
        return true;
    }
    return false;
}

bool NvidiaBackend::temperatures(const GpuRecord& r, GpuTemperatures& t) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    NV_GPU_THERMAL_SETTINGS settings{};
    settings.version = NV_GPU_THERMAL_SETTINGS_VER_1;
    if (NvAPI_GPU_GetThermalSettings(g->handle, NVAPI_THERMAL_TARGET_ALL, &settings) != NVAPI_OK)
        return false;
    for (NvU32 i = 0; i < std::min<NvU32>(settings.count, NVAPI_MAX_THERMAL_SENSORS_PER_GPU); ++i) {
        // A sensor's "not available" marker (all bits set) is no temperature.
        if (settings.sensor[i].currentTemp > kMaxCelsius) continue;
        const float celsius = static_cast<float>(settings.sensor[i].currentTemp);
        switch (settings.sensor[i].target) {
            case NVAPI_THERMAL_TARGET_GPU:
                t.gpu = celsius;
                break;
            case NVAPI_THERMAL_TARGET_BOARD:
                t.board = celsius;
                break;
            case NVAPI_THERMAL_TARGET_MEMORY:
                t.memory = celsius;
                break;
            case NVAPI_THERMAL_TARGET_POWER_SUPPLY:
                t.power_supply = celsius;
                break;
            default:
                break;
        }
    }
    return true;
}

bool NvidiaBackend::gpuUsage(const GpuRecord& r, float& gpu, float& frame_buffer,
                             float& video_engine) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    NV_GPU_USAGES usages{};
    usages.version = NV_GPU_USAGES_VER_1;
    if (NvAPI_GPU_GetUsages(g->handle, &usages) != NVAPI_OK || usages.usage[2] > 100) return false;
    gpu = static_cast<float>(usages.usage[2]);
    frame_buffer = static_cast<float>(usages.usage[6]);
    video_engine = static_cast<float>(usages.usage[10]);
    if (m_host && m_host->traceEnabled(true)) {
        debug("*********************** GPU Usages *********************");
        for (int i = 0; i < NVAPI_MAX_USAGES_PER_GPU; ++i)
            debug("Usage[%d] = %u", i, usages.usage[i]);
    }
    return true;
}

bool NvidiaBackend::memoryUsage(const GpuRecord& r, uint32_t& total_kb, uint32_t& available_kb,
                                float& percent) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    auto get =
        entryPoint<NvAPI_GetDisplayDriverMemoryInfo_t>(NVAPI_ID_GET_DISPLAY_DRIVER_MEMORY_INFO);
    if (!get) return false;
    NV_DISPLAY_DRIVER_MEMORY_INFO info{};
    info.version = NV_DISPLAY_DRIVER_MEMORY_INFO_VER_2;
    if (get(g->display, &info) != NVAPI_OK) return false;
    total_kb = info.dedicatedVideoMemory;
    available_kb = info.curAvailableDedicatedVideoMemory;
    if (total_kb != 0)
        percent = 100.0f - static_cast<float>(available_kb) * 100.0f / static_cast<float>(total_kb);
    return true;
}

bool NvidiaBackend::fan(const GpuRecord& r, float& percent, float& rpm) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    NvU32 tach = 0;
    const bool have_rpm = NvAPI_GPU_GetTachReading(g->handle, &tach) == NVAPI_OK;
    if (have_rpm) rpm = static_cast<float>(tach);
    NV_GPU_COOLER_SETTINGS coolers{};
    coolers.version = NV_GPU_COOLER_SETTINGS_VER_4;
    bool have_percent = false;
    if (NvAPI_GPU_GetCoolerSettings(g->handle, NVAPI_COOLER_TARGET_ALL, &coolers) == NVAPI_OK) {
        for (NvU32 i = 0; i < std::min<NvU32>(coolers.count, NVAPI_MAX_COOLERS_PER_GPU); ++i) {
            if (coolers.cooler[i].type == NVAPI_COOLER_TYPE_FAN) {
                percent = static_cast<float>(coolers.cooler[i].currentLevel);
                have_percent = true;
            }
        }
    }
    // One answer is enough; a GPU with neither (a passively cooled board) has no fan reading.
    return have_rpm || have_percent;
}

bool NvidiaBackend::clockFrequencies(const GpuRecord& r, int type, float& gpu, float& memory) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g || type < 0 || type > 3) return false;
    NV_GPU_CLOCK_FREQUENCIES f{};
    f.version = NV_GPU_CLOCK_FREQUENCIES_VER_3;
    f.ClockType = static_cast<NvU32>(type);
    if (NvAPI_GPU_GetAllClockFrequencies(g->handle, &f) != NVAPI_OK) return false;
    if (f.domain[NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS].bIsPresent) {
        gpu = static_cast<float>(f.domain[NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS].frequency / 1000);
        debug("NVAPI - NVAPI_GetClockFrequencies - clock_type %d - gpu_clock: %f", type, gpu);
    }
    if (f.domain[NVAPI_GPU_PUBLIC_CLOCK_MEMORY].bIsPresent) {
        memory = static_cast<float>(f.domain[NVAPI_GPU_PUBLIC_CLOCK_MEMORY].frequency / 1000);
        debug("NVAPI - NVAPI_GetClockFrequencies - clock_type %d - mem_clock: %f", type, memory);
    }
    return true;
}

bool NvidiaBackend::clockEventReasons(const GpuRecord& r, uint32_t& reasons) {
    const NvidiaGpu* g = gpuOf(r);
    uint64_t mask = 0;
    if (!g || NvAPI_GPU_GetClocksEventReasons(g->handle, &mask) != NVAPI_OK) return false;
    // NVML's bits are ClockEvent's; the ones above 32 bits name nothing a run judges.
    reasons = static_cast<uint32_t>(mask);
    return true;
}

bool NvidiaBackend::coreVoltage(const GpuRecord& r, float& volts) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    NV_GPU_VOLTAGE_DOMAINS_STATUS status{};
    status.version = NV_GPU_VOLTAGE_DOMAINS_STATUS_VER_1;
    if (NvAPI_GPU_GetVoltageDomainsStatus(g->handle, &status) != NVAPI_OK) return false;
    for (NvU32 i = 0; i < std::min<NvU32>(status.count, NVAPI_MAX_VOLTAGE_DOMAINS); ++i) {
        if (status.entries[i].domainId == NVAPI_GPU_PERF_VOLTAGE_INFO_DOMAIN_CORE) {
            volts = static_cast<float>(status.entries[i].voltage_uV) / 1000000.0f;
            return true;
        }
    }
    return false;
}

bool NvidiaBackend::powerStatus(const GpuRecord& r, float& percent, float& milliwatts) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    NV_GPU_POWER_TOPOLOGY_STATUS status{};
    status.version = NV_GPU_POWER_TOPOLOGY_STATUS_VER_1;
    if (NvAPI_GPU_ClientPowerTopologyGetStatus(g->handle, &status) != NVAPI_OK || status.count == 0)
        return false;
    for (NvU32 i = 0; i < std::min<NvU32>(status.count, NVAPI_MAX_POWER_ENTRIES); ++i)
        debug("- GPU %d - Power channel %u - mp=%u, mW=%u", r.index, i, status.entries[i].power_mp,
              status.entries[i].power_mW);
    percent = static_cast<float>(status.entries[0].power_mp) / 1000.0f;
    milliwatts = static_cast<float>(status.entries[0].power_mW);
    return true;
}

bool NvidiaBackend::powerLimit(const GpuRecord& r, float& percent, float& milliwatts) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    auto status = std::make_unique<NV_GPU_POWER_POLICIES_STATUS>();
    status->version = NV_GPU_POWER_POLICIES_STATUS_VER_2;
    if (NvAPI_GPU_ClientPowerPoliciesGetStatus(g->handle, status.get()) != NVAPI_OK ||
        status->count == 0)
        return false;
    for (NvU32 i = 0; i < std::min<NvU32>(status->count, NVAPI_MAX_POWER_ENTRIES); ++i)
        debug("- GPU %d - Power limit %u - mp=%u, mW=%u", r.index, i, status->entries[i].power_mp,
              status->entries[i].power_mW);
    percent = static_cast<float>(status->entries[0].power_mp) / 1000.0f;
    milliwatts = static_cast<float>(status->entries[0].power_mW);
    return true;
}

bool NvidiaBackend::perfStateClocks(const GpuRecord& r, PerfStateClocks& clocks) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g) return false;
    NvU32 current = NVAPI_GPU_PERF_PSTATE_UNDEFINED;
    const bool have_current = NvAPI_GPU_GetCurrentPstate(g->handle, &current) == NVAPI_OK;
    if (have_current) {
        auto info = std::make_unique<NV_GPU_PERF_PSTATES20_INFO>();
        info->version = NV_GPU_PERF_PSTATES20_INFO_VER3;
        if (NvAPI_GPU_GetPstates20(g->handle, info.get()) == NVAPI_OK) {
            const NvU32 states = std::min<NvU32>(info->numPstates, NVAPI_MAX_GPU_PSTATE20_PSTATES);
            for (NvU32 s = 0; s < states; ++s) {
                const auto& state = info->pstates[s];
                if (state.pstateId != current) continue;
                clocks.pstate = static_cast<int>(current);
                for (NvU32 c = 0;
                     c < std::min<NvU32>(info->numClocks, NVAPI_MAX_GPU_PSTATE20_CLOCKS); ++c) {
                    const float mhz =
                        static_cast<float>(state.clocks[c].data.single.freq_kHz) / 1000.0f;
                    if (state.clocks[c].domainId == NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS) {
                        clocks.gpu_clock = mhz;
                        debug(
                            "NVAPI - NVAPI_GetCurPerformanceState20 - Pstate %u (ID: %u) - clock "
                            "%u - gpu_clock: %f",
                            s, current, c, mhz);
                    } else if (state.clocks[c].domainId == NVAPI_GPU_PUBLIC_CLOCK_MEMORY) {
                        clocks.memory_clock = mhz;
                        debug(
                            "NVAPI - NVAPI_GetCurPerformanceState20 - Pstate %u (ID: %u) - clock "
                            "%u - mem_clock: %f",
                            s, current, c, mhz);
                    } else if (state.clocks[c].domainId == NVAPI_GPU_PUBLIC_CLOCK_PROCESSOR) {
                        clocks.shader_clock = mhz;
                    }
                }
                for (NvU32 v = 0; v < std::min<NvU32>(info->numBaseVoltages,
                                                      NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES);
                     ++v)
                    if (state.baseVoltages[v].domainId == NVAPI_GPU_PERF_VOLTAGE_INFO_DOMAIN_CORE)
                        clocks.voltage =
                            static_cast<float>(state.baseVoltages[v].volt_uV) / 1000000.0f;
                return true;
            }
        }
        PerfLevel level;
        if (pstateFromInfo(g->handle, current, level)) {
            clocks.pstate = level.id;
            clocks.gpu_clock = level.gpu_clock;
            clocks.memory_clock = level.memory_clock;
            clocks.shader_clock = level.shader_clock;
            clocks.voltage = level.voltage;
            return true;
        }
    }
    clocks.pstate = -1;
    return false;
}

// The measured clocks and core voltage; then either the current performance state's
// clocks or, on a GPU with boost clocks, its base and boost clocks and power draw.
bool NvidiaBackend::clocksAndPower(const GpuRecord& r, bool boost_clocks, ClockPowerReading& out) {
    out.measured_clocks = clockFrequencies(r, 0, out.true_gpu_clock, out.true_memory_clock);
    out.core_voltage_read = coreVoltage(r, out.core_voltage);
    if (!boost_clocks) {
        out.state = ClockPowerReading::State::PerfState;
        out.current_pstate = true;
        out.state_read = perfStateClocks(r, out.clocks);
        return true;
    }
    out.state = ClockPowerReading::State::Boost;
    float unused = 0, limit_mw = 0;
    clockFrequencies(r, 1, out.base_clock, unused);
    clockFrequencies(r, 2, out.boost_clock, unused);
    out.power_read = powerStatus(r, out.power_percent, out.power_mw);
    out.power_limit_read = powerLimit(r, out.power_limit_percent, limit_mw);
    return true;
}

int NvidiaBackend::perfLevelCount(const GpuRecord& r) {
    const NvidiaGpu* g = gpuOf(r);
    return g ? static_cast<int>(g->pstates.size()) : 0;
}

bool NvidiaBackend::perfLevel(const GpuRecord& r, int n, PerfLevel& level) {
    const NvidiaGpu* g = gpuOf(r);
    if (!g || n < 0) return false;
    auto get_info = entryPoint<NvAPI_GPU_GetPstatesInfo_t>(NVAPI_ID_GPU_GET_PSTATES_INFO);
    if (!get_info) return false;
    auto table = std::make_unique<NV_GPU_PERF_PSTATES_INFO>();
    table->version = NV_GPU_PERF_PSTATES_INFO_VER3;
    if (get_info(g->handle, table.get()) != NVAPI_OK) return false;
    if (static_cast<NvU32>(n) >= std::min<NvU32>(table->numPstates, NVAPI_MAX_GPU_PERF_PSTATES))
        return false;
    return pstateFromInfo(g->handle, table->pstates[n].pstateId, level);
}

}  // namespace

std::unique_ptr<VendorBackend> createNvidiaBackend() {
    return std::make_unique<NvidiaBackend>();
}

const char* nvidiaProductFamily(uint32_t brand_code) {
    static const char* const kFamilies[] = {
        "",           "GeForce", "Quadro",  "Quadro AD",     "Quadro NVS",
        "NVIDIA NVS", "Tesla",   "Tesla Q", "Titan GeForce", "Titan Quadro"};
    return brand_code < std::size(kFamilies) ? kFamilies[brand_code] : "";
}

const char* nvidiaMemoryType(uint32_t code) {
    static const char* const kTypes[] = {"",       "SDRAM", "DDR1", "DDR2",  "GDDR2",
                                         "GDDR3",  "GDDR4", "DDR3", "GDDR5", "LPDDR2",
                                         "GDDR5X", "HBM1",  "HBM2", "SDDR4", "GDDR6"};
    return code < std::size(kTypes) ? kTypes[code] : "";
}

std::string nvidiaDriverVersionText(uint32_t version_number) {
    char text[32];
    std::snprintf(text, sizeof text, "R%.2f", static_cast<double>(version_number) / 100.0);
    return text;
}

}  // namespace plashwerk
