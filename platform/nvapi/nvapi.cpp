// NVAPI over NVML. Each call checks its handle and structure version, asks NVML, and
// converts units and layouts to NVAPI's.

#include "platform/nvapi/nvapi.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/nvapi/nvml_loader.h"
#include "platform/sysfs/sysfs.h"

namespace {

using plashwerk::NvmlLibrary;

struct GpuSlot {
    nvmlDevice_t device = nullptr;
};

struct NvapiState {
    std::mutex init_mutex;  // serialises NvAPI_Initialize and NvAPI_Unload
    int init_count = 0;
    std::atomic<bool> ready{false};
    NvmlLibrary nvml;
    NvU32 gpu_count = 0;
    GpuSlot gpus[NVAPI_MAX_PHYSICAL_GPUS];
    // Display and logical handles point into these; only their addresses are used.
    char displays[NVAPI_MAX_PHYSICAL_GPUS];
    char logical[NVAPI_MAX_PHYSICAL_GPUS];
};

NvapiState g_state;

// What a GPU can plausibly report. NVML answers "not available" with all bits set
// (0xFFFFFFFF and the like) in an otherwise successful call; a reading outside these
// bounds is such a marker or a damaged value, and the call reports it as not supported
// rather than hand it on as a reading.
constexpr unsigned kMaxCelsius = 250;
constexpr unsigned kMaxPercent = 100;
constexpr unsigned kMaxFanPercent = 200;  // NVML may report a fan a little over 100 %
constexpr unsigned kMaxMhz = 100000;      // also keeps MHz × 1000 inside 32 bits
constexpr unsigned kMaxRpm = 100000;
constexpr unsigned kMaxMilliwatts = 10000000;  // 10 kW
constexpr unsigned kMaxCores = 1000000;

// Calls an NVML function that may be missing from the loaded library.
#define NVML_CALL(function, ...) \
    (g_state.nvml.function ? g_state.nvml.function(__VA_ARGS__) : NVML_ERROR_FUNCTION_NOT_FOUND)

NvAPI_Status fromNvml(nvmlReturn_t r) {
    switch (r) {
        case NVML_SUCCESS:
            return NVAPI_OK;
        case NVML_ERROR_FUNCTION_NOT_FOUND:
            return NVAPI_NO_IMPLEMENTATION;
        case NVML_ERROR_NOT_SUPPORTED:
            return NVAPI_NOT_SUPPORTED;
        case NVML_ERROR_INVALID_ARGUMENT:
            return NVAPI_INVALID_ARGUMENT;
        case NVML_ERROR_UNINITIALIZED:
            return NVAPI_API_NOT_INITIALIZED;
        default:
            return NVAPI_ERROR;
    }
}

// Index of a handle into one of the handle arrays, or -1 when it is not one of ours.
template <typename Handle, typename Slot>
int slotIndex(Handle handle, const Slot* slots) {
    const auto address = reinterpret_cast<uintptr_t>(handle);
    const auto base = reinterpret_cast<uintptr_t>(slots);
    if (address < base) return -1;
    const uintptr_t offset = address - base;
    if (offset % sizeof(Slot) != 0 || offset / sizeof(Slot) >= g_state.gpu_count) return -1;
    return static_cast<int>(offset / sizeof(Slot));
}

NvAPI_Status gpuDevice(NvPhysicalGpuHandle gpu, nvmlDevice_t& device) {
    if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
    const int index = slotIndex(gpu, g_state.gpus);
    if (index < 0) return NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE;
    device = g_state.gpus[index].device;
    return NVAPI_OK;
}

NvAPI_Status displayDevice(NvDisplayHandle display, nvmlDevice_t& device) {
    if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
    const int index = slotIndex(display, g_state.displays);
    if (index < 0) return NVAPI_EXPECTED_DISPLAY_HANDLE;
    device = g_state.gpus[index].device;
    return NVAPI_OK;
}

// Copies a text into a short string, cut to 63 characters.
void copyText(NvAPI_ShortString out, const char* text) {
    size_t i = 0;
    for (; text && i + 1 < NVAPI_SHORT_STRING_MAX && text[i]; ++i) out[i] = text[i];
    out[i] = '\0';
}

// NVAPI numbers a driver major × 100 + minor: "445.23" is 44523. Linux drivers may carry a
// three-digit minor ("535.104.05"); its first two digits are kept so the number still reads
// as a release with two decimals.
bool driverVersion(NvU32& number, char* text, size_t text_size) {
    char version[NVML_SYSTEM_DRIVER_VERSION_BUFFER_SIZE] = "";
    if (NVML_CALL(nvmlSystemGetDriverVersion, version, sizeof version) != NVML_SUCCESS)
        return false;
    version[sizeof version - 1] = '\0';
    unsigned major = 0, minor = 0;
    const char* p = version;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9' && major < 100000) major = major * 10 + (*p++ - '0');
    if (*p == '.') {
        ++p;
        for (int digits = 0; digits < 2 && *p >= '0' && *p <= '9'; ++digits)
            minor = minor * 10 + (*p++ - '0');
    }
    number = major * 100 + minor;
    if (text) std::snprintf(text, text_size, "%s", version);
    return true;
}

bool readTemperatureField(nvmlDevice_t device, unsigned field, NvU32& celsius) {
    nvmlFieldValue_t value{};
    value.fieldId = field;
    if (NVML_CALL(nvmlDeviceGetFieldValues, device, 1, &value) != NVML_SUCCESS ||
        value.nvmlReturn != NVML_SUCCESS)
        return false;
    double v = 0;
    switch (value.valueType) {
        case 0:
            v = value.value.dVal;
            break;
        case 1:
            v = value.value.uiVal;
            break;
        case 2:
            v = static_cast<double>(value.value.ulVal);
            break;
        case 3:
            v = static_cast<double>(value.value.ullVal);
            break;
        case 4:
            v = static_cast<double>(value.value.sllVal);
            break;
        default:
            return false;
    }
    // A sensor that reads nothing plausible is treated as absent.
    if (!(v > 0 && v < 200)) return false;
    celsius = static_cast<NvU32>(v);
    return true;
}

// The performance states NVML lists for the GPU, P0 first; without that list, the current
// one alone. Returns the count (0 when neither is known).
int listPstates(nvmlDevice_t device, NvU32 states[NVAPI_MAX_GPU_PERF_PSTATES], NvU32& current) {
    current = NVAPI_GPU_PERF_PSTATE_UNDEFINED;
    nvmlPstates_t now = NVML_PSTATE_UNKNOWN;
    if (NVML_CALL(nvmlDeviceGetPerformanceState, device, &now) == NVML_SUCCESS && now <= 15)
        current = now;
    int count = 0;
    // Room for 64 entries while the size says 16: NVML reads the size as a byte count in
    // some versions and as an entry count in others, and either way stays inside.
    nvmlPstates_t listed[64];
    std::fill(std::begin(listed), std::end(listed),
              static_cast<nvmlPstates_t>(NVML_PSTATE_UNKNOWN));
    if (NVML_CALL(nvmlDeviceGetSupportedPerformanceStates, device, listed,
                  static_cast<unsigned>(16 * sizeof(nvmlPstates_t))) == NVML_SUCCESS) {
        for (nvmlPstates_t p : listed) {
            if (p > 15 || count == NVAPI_MAX_GPU_PERF_PSTATES) continue;
            if (std::find(states, states + count, p) == states + count) states[count++] = p;
        }
    }
    if (count == 0 && current != NVAPI_GPU_PERF_PSTATE_UNDEFINED) states[count++] = current;
    return count;
}

struct PstateClock {
    nvmlClockType_t nvml_type;
    NvU32 domain;
};
constexpr PstateClock kPstateClocks[] = {{NVML_CLOCK_GRAPHICS, NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS},
                                         {NVML_CLOCK_MEM, NVAPI_GPU_PUBLIC_CLOCK_MEMORY},
                                         {NVML_CLOCK_SM, NVAPI_GPU_PUBLIC_CLOCK_PROCESSOR}};

// Clock range of one state in MHz; the current clock stands for the current state when NVML
// gives no range. False when neither is known.
bool pstateClockRange(nvmlDevice_t device, NvU32 state, NvU32 current, nvmlClockType_t type,
                      unsigned& min_mhz, unsigned& max_mhz) {
    if (NVML_CALL(nvmlDeviceGetMinMaxClockOfPState, device, type, state, &min_mhz, &max_mhz) ==
            NVML_SUCCESS &&
        min_mhz <= kMaxMhz && max_mhz <= kMaxMhz)
        return true;
    if (state == current &&
        NVML_CALL(nvmlDeviceGetClockInfo, device, type, &min_mhz) == NVML_SUCCESS &&
        min_mhz <= kMaxMhz) {
        max_mhz = min_mhz;
        return true;
    }
    min_mhz = max_mhz = 0;  // the clock is not known
    return false;
}

template <typename Info>
NvAPI_Status fillPstates20(nvmlDevice_t device, Info* info) {
    NvU32 states[NVAPI_MAX_GPU_PERF_PSTATES];
    NvU32 current = 0;
    const int count = listPstates(device, states, current);
    if (count == 0) return NVAPI_NOT_SUPPORTED;
    const NvU32 version = info->version;
    std::memset(static_cast<void*>(info), 0, sizeof *info);
    info->version = version;
    info->numPstates = static_cast<NvU32>(count);
    info->numClocks = static_cast<NvU32>(std::size(kPstateClocks));
    info->numBaseVoltages = 0;  // NVML reports no voltages
    for (int s = 0; s < count; ++s) {
        auto& state = info->pstates[s];
        state.pstateId = states[s];
        for (size_t c = 0; c < std::size(kPstateClocks); ++c) {
            // One frequency per clock: the top of the state's range, the clock the state
            // runs at when nothing holds it back.
            NV_GPU_PSTATE20_CLOCK_ENTRY& clock = state.clocks[c];
            clock.domainId = kPstateClocks[c].domain;
            clock.typeId = NVAPI_GPU_PERF_PSTATE20_CLOCK_TYPE_SINGLE;
            unsigned min_mhz = 0, max_mhz = 0;
            pstateClockRange(device, states[s], current, kPstateClocks[c].nvml_type, min_mhz,
                             max_mhz);
            clock.data.single.freq_kHz = max_mhz * 1000u;
        }
    }
    return NVAPI_OK;
}

NvU32 brandCode(nvmlBrandType_t brand) {
    switch (brand) {
        case NVML_BRAND_GEFORCE:
        case NVML_BRAND_GEFORCE_RTX:
            return 1;
        case NVML_BRAND_QUADRO:
        case NVML_BRAND_QUADRO_RTX:
            return 2;
        case NVML_BRAND_NVS:
            return 5;
        case NVML_BRAND_TESLA:
            return 6;
        case NVML_BRAND_TITAN:
        case NVML_BRAND_TITAN_RTX:
            return 8;
        default:
            return 0;
    }
}

// ------------------------------------------------------------------------------------
// Calls by interface id

NvAPI_Status getBrandCode(NvPhysicalGpuHandle gpu, NvU32* code) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!code) return NVAPI_INVALID_ARGUMENT;
    nvmlBrandType_t brand = NVML_BRAND_UNKNOWN;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetBrand, device, &brand)) return fromNvml(r);
    *code = brandCode(brand);
    return NVAPI_OK;
}

NvAPI_Status getDisplayDriverMemoryInfo(NvDisplayHandle display,
                                        NV_DISPLAY_DRIVER_MEMORY_INFO* info) {
    nvmlDevice_t device;
    if (NvAPI_Status s = displayDevice(display, device)) return s;
    if (!info) return NVAPI_INVALID_ARGUMENT;
    if (info->version != NV_DISPLAY_DRIVER_MEMORY_INFO_VER_2)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    nvmlMemory_t memory{};
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetMemoryInfo, device, &memory)) return fromNvml(r);
    if (memory.total == 0 || memory.free > memory.total) return NVAPI_NOT_SUPPORTED;
    auto kb = [](unsigned long long bytes) {
        return static_cast<NvU32>(std::min<unsigned long long>(bytes / 1024u, 0xFFFFFFFFu));
    };
    info->dedicatedVideoMemory = kb(memory.total);
    info->availableDedicatedVideoMemory = kb(memory.free);
    info->systemVideoMemory = 0;
    info->sharedSystemMemory = 0;
    info->curAvailableDedicatedVideoMemory = kb(memory.free);
    return NVAPI_OK;
}

NvAPI_Status getPstatesInfo(NvPhysicalGpuHandle gpu, NV_GPU_PERF_PSTATES_INFO* info) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!info) return NVAPI_INVALID_ARGUMENT;
    if (info->version != NV_GPU_PERF_PSTATES_INFO_VER3) return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    NvU32 states[NVAPI_MAX_GPU_PERF_PSTATES];
    NvU32 current = 0;
    const int count = listPstates(device, states, current);
    if (count == 0) return NVAPI_NOT_SUPPORTED;
    std::memset(static_cast<void*>(info), 0, sizeof *info);
    info->version = NV_GPU_PERF_PSTATES_INFO_VER3;
    info->numPstates = static_cast<NvU32>(count);
    info->numClocks = static_cast<NvU32>(std::size(kPstateClocks));
    info->numVoltages = 0;  // NVML reports no voltages
    for (int s = 0; s < count; ++s) {
        info->pstates[s].pstateId = states[s];
        for (size_t c = 0; c < std::size(kPstateClocks); ++c) {
            // The state runs at the top of its range.
            unsigned min_mhz = 0, max_mhz = 0;
            pstateClockRange(device, states[s], current, kPstateClocks[c].nvml_type, min_mhz,
                             max_mhz);
            info->pstates[s].clocks[c].domainId = kPstateClocks[c].domain;
            info->pstates[s].clocks[c].freq = max_mhz * 1000u;
        }
    }
    return NVAPI_OK;
}

NvAPI_Status clientFanCoolersGetInfo(NvPhysicalGpuHandle gpu,
                                     NV_GPU_CLIENT_FAN_COOLERS_INFO* info) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!info) return NVAPI_INVALID_ARGUMENT;
    if (info->version != NV_GPU_CLIENT_FAN_COOLERS_INFO_VER_1)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    unsigned fans = 0;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetNumFans, device, &fans)) return fromNvml(r);
    std::memset(static_cast<void*>(info), 0, sizeof *info);
    info->version = NV_GPU_CLIENT_FAN_COOLERS_INFO_VER_1;
    info->count = std::min<unsigned>(fans, NVAPI_MAX_FAN_COOLERS);
    for (NvU32 i = 0; i < info->count; ++i) info->entries[i].coolerId = i + 1;
    return NVAPI_OK;
}

NvAPI_Status clientFanCoolersGetStatus(NvPhysicalGpuHandle gpu,
                                       NV_GPU_CLIENT_FAN_COOLERS_STATUS* status) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!status) return NVAPI_INVALID_ARGUMENT;
    if (status->version != NV_GPU_CLIENT_FAN_COOLERS_STATUS_VER_1)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    unsigned fans = 0;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetNumFans, device, &fans)) return fromNvml(r);
    std::memset(static_cast<void*>(status), 0, sizeof *status);
    status->version = NV_GPU_CLIENT_FAN_COOLERS_STATUS_VER_1;
    status->count = std::min<unsigned>(fans, NVAPI_MAX_FAN_COOLERS);
    for (NvU32 i = 0; i < status->count; ++i) {
        auto& entry = status->entries[i];
        entry.coolerId = i + 1;
        entry.currentMaxLevel = 100;
        unsigned level = 0;
        if (NVML_CALL(nvmlDeviceGetFanSpeed_v2, device, i, &level) == NVML_SUCCESS &&
            level <= kMaxFanPercent)
            entry.currentLevel = level;
        nvmlFanSpeedInfo_t rpm{nvmlFanSpeedInfo_v1, i, 0};
        if (NVML_CALL(nvmlDeviceGetFanSpeedRPM, device, &rpm) == NVML_SUCCESS &&
            rpm.speed <= kMaxRpm)
            entry.currentRpm = rpm.speed;
    }
    return NVAPI_OK;
}

}  // namespace

// ------------------------------------------------------------------------------------
// Initialisation and enumeration

NvAPI_Status NvAPI_Initialize() {
    std::lock_guard lock(g_state.init_mutex);
    if (g_state.init_count > 0) {
        ++g_state.init_count;
        return NVAPI_OK;
    }
    std::string error;
    if (!g_state.nvml.load(error)) return NVAPI_LIBRARY_NOT_FOUND;
    if (g_state.nvml.nvmlInit_v2() != NVML_SUCCESS) {
        g_state.nvml.unload();
        return NVAPI_NVIDIA_DEVICE_NOT_FOUND;
    }
    unsigned count = 0;
    g_state.gpu_count = 0;
    if (g_state.nvml.nvmlDeviceGetCount_v2(&count) == NVML_SUCCESS) {
        for (unsigned i = 0; i < count && g_state.gpu_count < NVAPI_MAX_PHYSICAL_GPUS; ++i) {
            nvmlDevice_t device = nullptr;
            if (g_state.nvml.nvmlDeviceGetHandleByIndex_v2(i, &device) == NVML_SUCCESS && device)
                g_state.gpus[g_state.gpu_count++].device = device;
        }
    }
    if (g_state.gpu_count == 0) {
        g_state.nvml.nvmlShutdown();
        g_state.nvml.unload();
        return NVAPI_NVIDIA_DEVICE_NOT_FOUND;
    }
    g_state.init_count = 1;
    g_state.ready.store(true, std::memory_order_release);
    return NVAPI_OK;
}

NvAPI_Status NvAPI_Unload() {
    std::lock_guard lock(g_state.init_mutex);
    if (g_state.init_count == 0) return NVAPI_API_NOT_INITIALIZED;
    if (--g_state.init_count > 0) return NVAPI_OK;
    g_state.ready.store(false, std::memory_order_release);
    g_state.nvml.nvmlShutdown();
    g_state.nvml.unload();
    g_state.gpu_count = 0;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GetInterfaceVersionString(NvAPI_ShortString text) {
    if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
    if (!text) return NVAPI_INVALID_ARGUMENT;
    char nvml_version[80] = "";
    if (NVML_CALL(nvmlSystemGetNVMLVersion, nvml_version, sizeof nvml_version) != NVML_SUCCESS)
        nvml_version[0] = '\0';
    nvml_version[sizeof nvml_version - 1] = '\0';
    // The text is cut to the short-string size, as NVAPI's own texts are.
    const std::string full = std::string("NVAPI over NVML ") + nvml_version;
    char buffer[NVAPI_SHORT_STRING_MAX];
    std::snprintf(buffer, sizeof buffer, "%s", full.c_str());
    copyText(text, buffer);
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GetDisplayDriverVersion(NvDisplayHandle display,
                                           NV_DISPLAY_DRIVER_VERSION* info) {
    nvmlDevice_t device = nullptr;
    if (display) {
        if (NvAPI_Status s = displayDevice(display, device)) return s;
    } else {
        if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
        device = g_state.gpus[0].device;
    }
    if (!info) return NVAPI_INVALID_ARGUMENT;
    if (info->version != NV_DISPLAY_DRIVER_VERSION_VER) return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    NvU32 number = 0;
    char text[NVML_SYSTEM_DRIVER_VERSION_BUFFER_SIZE];
    if (!driverVersion(number, text, sizeof text)) return NVAPI_NOT_SUPPORTED;
    char name[NVML_DEVICE_NAME_BUFFER_SIZE] = "";
    if (NVML_CALL(nvmlDeviceGetName, device, name, sizeof name) != NVML_SUCCESS) name[0] = '\0';
    name[sizeof name - 1] = '\0';
    info->drvVersion = number;
    info->bldChangeListNum = 0;
    copyText(info->szBuildBranchString, text);
    copyText(info->szAdapterString, name);
    return NVAPI_OK;
}

NvAPI_Status NvAPI_SYS_GetDriverAndBranchVersion(NvU32* version, NvAPI_ShortString branch) {
    if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
    if (!version || !branch) return NVAPI_INVALID_ARGUMENT;
    char text[NVML_SYSTEM_DRIVER_VERSION_BUFFER_SIZE];
    NvU32 number = 0;
    if (!driverVersion(number, text, sizeof text)) return NVAPI_NOT_SUPPORTED;
    *version = number;
    copyText(branch, text);
    return NVAPI_OK;
}

NvAPI_Status NvAPI_EnumNvidiaDisplayHandle(NvU32 index, NvDisplayHandle* display) {
    if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
    if (!display) return NVAPI_INVALID_ARGUMENT;
    if (index >= g_state.gpu_count) return NVAPI_END_ENUMERATION;
    *display = reinterpret_cast<NvDisplayHandle>(&g_state.displays[index]);
    return NVAPI_OK;
}

NvAPI_Status NvAPI_EnumLogicalGPUs(NvLogicalGpuHandle handles[NVAPI_MAX_LOGICAL_GPUS],
                                   NvU32* count) {
    if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
    if (!handles || !count) return NVAPI_INVALID_ARGUMENT;
    for (NvU32 i = 0; i < g_state.gpu_count; ++i)
        handles[i] = reinterpret_cast<NvLogicalGpuHandle>(&g_state.logical[i]);
    *count = g_state.gpu_count;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_EnumPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                    NvU32* count) {
    if (!g_state.ready.load(std::memory_order_acquire)) return NVAPI_API_NOT_INITIALIZED;
    if (!handles || !count) return NVAPI_INVALID_ARGUMENT;
    for (NvU32 i = 0; i < g_state.gpu_count; ++i)
        handles[i] = reinterpret_cast<NvPhysicalGpuHandle>(&g_state.gpus[i]);
    *count = g_state.gpu_count;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GetPhysicalGPUsFromDisplay(NvDisplayHandle display,
                                              NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                              NvU32* count) {
    nvmlDevice_t device;
    if (NvAPI_Status s = displayDevice(display, device)) return s;
    if (!handles || !count) return NVAPI_INVALID_ARGUMENT;
    handles[0] =
        reinterpret_cast<NvPhysicalGpuHandle>(&g_state.gpus[slotIndex(display, g_state.displays)]);
    *count = 1;
    return NVAPI_OK;
}

// ------------------------------------------------------------------------------------
// Identity and static data

NvAPI_Status NvAPI_GPU_GetGPUType(NvPhysicalGpuHandle gpu, NvU32* type) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!type) return NVAPI_INVALID_ARGUMENT;
    // NVML manages discrete boards only.
    *type = NV_SYSTEM_TYPE_DGPU;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetFullName(NvPhysicalGpuHandle gpu, NvAPI_ShortString name) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!name) return NVAPI_INVALID_ARGUMENT;
    char text[NVML_DEVICE_NAME_BUFFER_SIZE] = "";
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetName, device, text, sizeof text))
        return fromNvml(r);
    text[sizeof text - 1] = '\0';
    copyText(name, text);
    return NVAPI_OK;
}

static NvAPI_Status frameBufferKb(NvPhysicalGpuHandle gpu, NvU32* size_kb) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!size_kb) return NVAPI_INVALID_ARGUMENT;
    nvmlMemory_t memory{};
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetMemoryInfo, device, &memory)) return fromNvml(r);
    *size_kb = static_cast<NvU32>(std::min<unsigned long long>(memory.total / 1024u, 0xFFFFFFFFu));
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetPhysicalFrameBufferSize(NvPhysicalGpuHandle gpu, NvU32* size_kb) {
    return frameBufferKb(gpu, size_kb);
}

// NVML tells no shared system memory, so the virtual frame buffer is the physical one.
NvAPI_Status NvAPI_GPU_GetVirtualFrameBufferSize(NvPhysicalGpuHandle gpu, NvU32* size_kb) {
    return frameBufferKb(gpu, size_kb);
}

NvAPI_Status NvAPI_GPU_GetBusId(NvPhysicalGpuHandle gpu, NvU32* bus_id) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!bus_id) return NVAPI_INVALID_ARGUMENT;
    nvmlPciInfo_t pci{};
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetPciInfo_v3, device, &pci)) return fromNvml(r);
    *bus_id = pci.bus;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetPCIIdentifiers(NvPhysicalGpuHandle gpu, NvU32* device_id,
                                         NvU32* sub_system_id, NvU32* revision_id,
                                         NvU32* ext_device_id) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!device_id || !sub_system_id || !revision_id || !ext_device_id)
        return NVAPI_INVALID_ARGUMENT;
    nvmlPciInfo_t pci{};
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetPciInfo_v3, device, &pci)) return fromNvml(r);
    // NVML has no revision; the kernel's PCI tree has it.
    char address[32];
    std::snprintf(address, sizeof address, "%04x:%02x:%02x.0", pci.domain & 0xFFFF, pci.bus & 0xFF,
                  pci.device & 0x1F);
    uint32_t revision = 0;
    plashwerk::readUnsignedFile(
        plashwerk::sysfsPath(std::string("bus/pci/devices/") + address + "/revision"), revision);
    *device_id = pci.pciDeviceId;
    *sub_system_id = pci.pciSubSystemId;
    *revision_id = revision & 0xFF;
    *ext_device_id = pci.pciDeviceId >> 16;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetRamType(NvPhysicalGpuHandle gpu, NvU32* ram_type) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!ram_type) return NVAPI_INVALID_ARGUMENT;
    return NVAPI_NOT_SUPPORTED;  // NVML does not name the memory type
}

NvAPI_Status NvAPI_GPU_GetGpuCoreCount(NvPhysicalGpuHandle gpu, NvU32* count) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!count) return NVAPI_INVALID_ARGUMENT;
    unsigned cores = 0;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetNumGpuCores, device, &cores)) return fromNvml(r);
    if (cores > kMaxCores) return NVAPI_NOT_SUPPORTED;
    *count = cores;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetShaderPipeCount(NvPhysicalGpuHandle gpu, NvU32* count) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    return count ? NVAPI_NOT_SUPPORTED : NVAPI_INVALID_ARGUMENT;
}

NvAPI_Status NvAPI_GPU_GetPartitionCount(NvPhysicalGpuHandle gpu, NvU32* count) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    return count ? NVAPI_NOT_SUPPORTED : NVAPI_INVALID_ARGUMENT;
}

NvAPI_Status NvAPI_GPU_GetVbiosVersionString(NvPhysicalGpuHandle gpu, NvAPI_ShortString text) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!text) return NVAPI_INVALID_ARGUMENT;
    char version[NVML_DEVICE_VBIOS_VERSION_BUFFER_SIZE] = "";
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetVbiosVersion, device, version, sizeof version))
        return fromNvml(r);
    version[sizeof version - 1] = '\0';
    copyText(text, version);
    return NVAPI_OK;
}

// ------------------------------------------------------------------------------------
// Sensors

NvAPI_Status NvAPI_GPU_GetThermalSettings(NvPhysicalGpuHandle gpu, NvU32 sensor_index,
                                          NV_GPU_THERMAL_SETTINGS* settings) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!settings) return NVAPI_INVALID_ARGUMENT;
    if (settings->version != NV_GPU_THERMAL_SETTINGS_VER_1)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    if (sensor_index != NVAPI_THERMAL_TARGET_ALL &&
        sensor_index >= NVAPI_MAX_THERMAL_SENSORS_PER_GPU)
        return NVAPI_INVALID_ARGUMENT;
    struct Sensor {
        NvU32 celsius, target;
    } sensors[NVAPI_MAX_THERMAL_SENSORS_PER_GPU];
    NvU32 count = 0;
    unsigned gpu_celsius = 0;
    if (nvmlReturn_t r =
            NVML_CALL(nvmlDeviceGetTemperature, device, NVML_TEMPERATURE_GPU, &gpu_celsius))
        return fromNvml(r);
    if (gpu_celsius > kMaxCelsius) return NVAPI_NOT_SUPPORTED;
    sensors[count++] = {gpu_celsius, NVAPI_THERMAL_TARGET_GPU};
    NvU32 memory_celsius = 0;
    if (readTemperatureField(device, NVML_FI_DEV_MEMORY_TEMP, memory_celsius))
        sensors[count++] = {memory_celsius, NVAPI_THERMAL_TARGET_MEMORY};
    NvU32 first = 0;
    if (sensor_index != NVAPI_THERMAL_TARGET_ALL) {
        if (sensor_index >= count) return NVAPI_INVALID_ARGUMENT;
        first = sensor_index;
        count = first + 1;
    }
    std::memset(static_cast<void*>(settings), 0, sizeof *settings);
    settings->version = NV_GPU_THERMAL_SETTINGS_VER_1;
    settings->count = count - first;
    for (NvU32 i = first; i < count; ++i) {
        auto& out = settings->sensor[i - first];
        out.controller = NVAPI_THERMAL_CONTROLLER_GPU_INTERNAL;
        out.defaultMinTemp = 0;
        out.defaultMaxTemp = 127;
        out.currentTemp = sensors[i].celsius;
        out.target = sensors[i].target;
    }
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetUsages(NvPhysicalGpuHandle gpu, NV_GPU_USAGES* usages) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!usages) return NVAPI_INVALID_ARGUMENT;
    if (usages->version != NV_GPU_USAGES_VER_1) return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    nvmlUtilization_t utilization{};
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetUtilizationRates, device, &utilization))
        return fromNvml(r);
    if (utilization.gpu > kMaxPercent || utilization.memory > kMaxPercent)
        return NVAPI_NOT_SUPPORTED;
    std::memset(usages->usage, 0, sizeof usages->usage);
    usages->usage[0] = 1;  // the usage domains are present
    usages->usage[2] = utilization.gpu;
    usages->usage[6] = utilization.memory;
    unsigned encoder = 0, period_us = 0;
    if (NVML_CALL(nvmlDeviceGetEncoderUtilization, device, &encoder, &period_us) == NVML_SUCCESS &&
        encoder <= kMaxPercent)
        usages->usage[10] = encoder;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetTachReading(NvPhysicalGpuHandle gpu, NvU32* rpm) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!rpm) return NVAPI_INVALID_ARGUMENT;
    nvmlFanSpeedInfo_t info{nvmlFanSpeedInfo_v1, 0, 0};
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetFanSpeedRPM, device, &info)) return fromNvml(r);
    if (info.speed > kMaxRpm) return NVAPI_NOT_SUPPORTED;
    *rpm = info.speed;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetClocksEventReasons(NvPhysicalGpuHandle gpu, uint64_t* reasons) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!reasons) return NVAPI_INVALID_ARGUMENT;
    unsigned long long mask = 0;
    // Drivers before the rename export only the older name, with the same bits.
    const nvmlReturn_t r =
        g_state.nvml.nvmlDeviceGetCurrentClocksEventReasons
            ? NVML_CALL(nvmlDeviceGetCurrentClocksEventReasons, device, &mask)
            : NVML_CALL(nvmlDeviceGetCurrentClocksThrottleReasons, device, &mask);
    if (r != NVML_SUCCESS) return fromNvml(r);
    *reasons = mask;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetCoolerSettings(NvPhysicalGpuHandle gpu, NvU32 cooler_index,
                                         NV_GPU_COOLER_SETTINGS* settings) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!settings) return NVAPI_INVALID_ARGUMENT;
    if (settings->version != NV_GPU_COOLER_SETTINGS_VER_4) return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    unsigned fans = 0;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetNumFans, device, &fans)) return fromNvml(r);
    fans = std::min<unsigned>(fans, NVAPI_MAX_COOLERS_PER_GPU);
    if (fans == 0) return NVAPI_NOT_SUPPORTED;
    unsigned first = 0, last = fans;
    if (cooler_index != NVAPI_COOLER_TARGET_ALL) {
        if (cooler_index >= fans) return NVAPI_INVALID_ARGUMENT;
        first = cooler_index;
        last = first + 1;
    }
    unsigned levels[NVAPI_MAX_COOLERS_PER_GPU];
    for (unsigned i = first; i < last; ++i) {
        if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetFanSpeed_v2, device, i, &levels[i]))
            return fromNvml(r);
        if (levels[i] > kMaxFanPercent) return NVAPI_NOT_SUPPORTED;
    }
    std::memset(static_cast<void*>(settings), 0, sizeof *settings);
    settings->version = NV_GPU_COOLER_SETTINGS_VER_4;
    settings->count = last - first;
    for (unsigned i = first; i < last; ++i) {
        auto& out = settings->cooler[i - first];
        out.type = NVAPI_COOLER_TYPE_FAN;
        out.controller = NVAPI_THERMAL_CONTROLLER_GPU_INTERNAL;
        out.defaultMaxLevel = out.currentMaxLevel = 100;
        out.currentLevel = static_cast<NvS32>(std::min(levels[i], 100u));
        out.target = NVAPI_COOLER_TARGET_GPU;
        out.active = 1;
    }
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetAllClockFrequencies(NvPhysicalGpuHandle gpu,
                                              NV_GPU_CLOCK_FREQUENCIES* frequencies) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!frequencies) return NVAPI_INVALID_ARGUMENT;
    if (frequencies->version != NV_GPU_CLOCK_FREQUENCIES_VER_3)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    const NvU32 kind = frequencies->ClockType;
    if (kind > NV_GPU_CLOCK_FREQUENCIES_BOOST_CLOCK) return NVAPI_INVALID_ARGUMENT;
    struct Domain {
        nvmlClockType_t type;
        NvU32 domain;
    };
    constexpr Domain kDomains[] = {{NVML_CLOCK_GRAPHICS, NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS},
                                   {NVML_CLOCK_MEM, NVAPI_GPU_PUBLIC_CLOCK_MEMORY},
                                   {NVML_CLOCK_SM, NVAPI_GPU_PUBLIC_CLOCK_PROCESSOR},
                                   {NVML_CLOCK_VIDEO, NVAPI_GPU_PUBLIC_CLOCK_VIDEO}};
    std::memset(frequencies->domain, 0, sizeof frequencies->domain);
    nvmlReturn_t first_error = NVML_SUCCESS;
    bool any = false;
    for (const Domain& d : kDomains) {
        unsigned mhz = 0;
        nvmlReturn_t r;
        switch (kind) {
            case NV_GPU_CLOCK_FREQUENCIES_CURRENT_FREQ:
                r = NVML_CALL(nvmlDeviceGetClockInfo, device, d.type, &mhz);
                break;
            case NV_GPU_CLOCK_FREQUENCIES_BASE_CLOCK:
                // The driver's default application clock is the board's base clock.
                r = NVML_CALL(nvmlDeviceGetClock, device, d.type, NVML_CLOCK_ID_APP_CLOCK_DEFAULT,
                              &mhz);
                break;
            default:
                r = NVML_CALL(nvmlDeviceGetClock, device, d.type, NVML_CLOCK_ID_CUSTOMER_BOOST_MAX,
                              &mhz);
                if (r != NVML_SUCCESS)
                    r = NVML_CALL(nvmlDeviceGetMaxClockInfo, device, d.type, &mhz);
                break;
        }
        if (r == NVML_SUCCESS && mhz > kMaxMhz) r = NVML_ERROR_NOT_SUPPORTED;
        if (r == NVML_SUCCESS) {
            frequencies->domain[d.domain].bIsPresent = 1;
            frequencies->domain[d.domain].frequency = mhz * 1000u;
            any = true;
        } else if (first_error == NVML_SUCCESS) {
            first_error = r;
        }
    }
    return any ? NVAPI_OK : fromNvml(first_error);
}

NvAPI_Status NvAPI_GPU_GetVoltageDomainsStatus(NvPhysicalGpuHandle gpu,
                                               NV_GPU_VOLTAGE_DOMAINS_STATUS* status) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!status) return NVAPI_INVALID_ARGUMENT;
    if (status->version != NV_GPU_VOLTAGE_DOMAINS_STATUS_VER_1)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    return NVAPI_NOT_SUPPORTED;  // NVML reports no core voltage
}

NvAPI_Status NvAPI_GPU_ClientPowerTopologyGetStatus(NvPhysicalGpuHandle gpu,
                                                    NV_GPU_POWER_TOPOLOGY_STATUS* status) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!status) return NVAPI_INVALID_ARGUMENT;
    if (status->version != NV_GPU_POWER_TOPOLOGY_STATUS_VER_1)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    unsigned milliwatts = 0, reference = 0;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetPowerUsage, device, &milliwatts))
        return fromNvml(r);
    if (milliwatts > kMaxMilliwatts) return NVAPI_NOT_SUPPORTED;
    // The board's default power limit is its TDP; the enforced limit stands in without it.
    auto limit = [&](auto function) {
        return function && function(device, &reference) == NVML_SUCCESS && reference > 0 &&
               reference <= kMaxMilliwatts;
    };
    if (!limit(g_state.nvml.nvmlDeviceGetPowerManagementDefaultLimit) &&
        !limit(g_state.nvml.nvmlDeviceGetEnforcedPowerLimit))
        return NVAPI_NOT_SUPPORTED;
    std::memset(status->entries, 0, sizeof status->entries);
    status->count = 1;
    status->entries[0].power_mp = static_cast<NvU32>(
        std::min<unsigned long long>(milliwatts * 100000ull / reference, 0xFFFFFFFFu));
    status->entries[0].power_mW = milliwatts;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_ClientPowerPoliciesGetStatus(NvPhysicalGpuHandle gpu,
                                                    NV_GPU_POWER_POLICIES_STATUS* status) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!status) return NVAPI_INVALID_ARGUMENT;
    if (status->version != NV_GPU_POWER_POLICIES_STATUS_VER_2)
        return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    unsigned enforced = 0, reference = 0;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetEnforcedPowerLimit, device, &enforced))
        return fromNvml(r);
    if (enforced > kMaxMilliwatts) return NVAPI_NOT_SUPPORTED;
    if (NVML_CALL(nvmlDeviceGetPowerManagementDefaultLimit, device, &reference) != NVML_SUCCESS ||
        reference == 0 || reference > kMaxMilliwatts)
        reference = enforced;  // no default: the enforced limit is the whole budget
    std::memset(status->entries, 0, sizeof status->entries);
    status->count = 1;
    status->entries[0].power_mp = reference ? static_cast<NvU32>(std::min<unsigned long long>(
                                                  enforced * 100000ull / reference, 0xFFFFFFFFu))
                                            : 0;
    status->entries[0].power_mW = enforced;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetCurrentPstate(NvPhysicalGpuHandle gpu, NvU32* pstate) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!pstate) return NVAPI_INVALID_ARGUMENT;
    nvmlPstates_t state = NVML_PSTATE_UNKNOWN;
    if (nvmlReturn_t r = NVML_CALL(nvmlDeviceGetPerformanceState, device, &state))
        return fromNvml(r);
    if (state > 15) return NVAPI_NOT_SUPPORTED;
    *pstate = state;
    return NVAPI_OK;
}

NvAPI_Status NvAPI_GPU_GetPstates20(NvPhysicalGpuHandle gpu, NV_GPU_PERF_PSTATES20_INFO* info) {
    nvmlDevice_t device;
    if (NvAPI_Status s = gpuDevice(gpu, device)) return s;
    if (!info) return NVAPI_INVALID_ARGUMENT;
    if (info->version == NV_GPU_PERF_PSTATES20_INFO_VER3) return fillPstates20(device, info);
    if (info->version == NV_GPU_PERF_PSTATES20_INFO_VER1)
        return fillPstates20(device, reinterpret_cast<NV_GPU_PERF_PSTATES20_INFO_V1*>(info));
    return NVAPI_INCOMPATIBLE_STRUCT_VERSION;
}

void* nvapi_QueryInterface(NvU32 interface_id) {
    switch (interface_id) {
        case NVAPI_ID_GPU_GET_BRAND_CODE:
            return reinterpret_cast<void*>(static_cast<NvAPI_GPU_GetBrandCode_t>(getBrandCode));
        case NVAPI_ID_GET_DISPLAY_DRIVER_MEMORY_INFO:
            return reinterpret_cast<void*>(
                static_cast<NvAPI_GetDisplayDriverMemoryInfo_t>(getDisplayDriverMemoryInfo));
        case NVAPI_ID_GPU_GET_PSTATES_INFO:
            return reinterpret_cast<void*>(static_cast<NvAPI_GPU_GetPstatesInfo_t>(getPstatesInfo));
        case NVAPI_ID_GPU_CLIENT_FAN_COOLERS_GET_INFO:
            return reinterpret_cast<void*>(
                static_cast<NvAPI_GPU_ClientFanCoolersGetInfo_t>(clientFanCoolersGetInfo));
        case NVAPI_ID_GPU_CLIENT_FAN_COOLERS_GET_STATUS:
            return reinterpret_cast<void*>(
                static_cast<NvAPI_GPU_ClientFanCoolersGetStatus_t>(clientFanCoolersGetStatus));
        default:
            // The ROP count and the other unit counts: NVML does not tell them.
            return nullptr;
    }
}
