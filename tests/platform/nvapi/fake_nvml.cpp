// An NVML double: the functions of platform/nvapi/nvml_api.h answering from scripted GPUs
// (fake_nvml.h). Built twice: complete, and with FAKE_NVML_MINIMAL defined, exporting only
// the functions NVML cannot do without plus names, PCI data and the older name of the
// clocks event reasons, to test the paths of functions missing from an older library.

#include "tests/platform/nvapi/fake_nvml.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/nvapi/nvml_api.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Slot {
    FakeNvmlGpu gpu;
};

std::mutex g_mutex;
std::vector<Slot*> g_slots;  // stable addresses: they are the device handles
std::map<std::string, int> g_failures;
std::string g_driver_version = "445.23";
int g_init_count = 0;

// The scripted failure of a function, 0 when it answers normally.
int failure(const char* function) {
    auto it = g_failures.find(function);
    return it == g_failures.end() ? 0 : it->second;
}

#define FAIL_POINT(name)           \
    std::lock_guard lock(g_mutex); \
    if (int status = failure(name)) return status;

FakeNvmlGpu* gpuOf(nvmlDevice_t device) {
    for (Slot* slot : g_slots)
        if (reinterpret_cast<nvmlDevice_t>(slot) == device) return &slot->gpu;
    return nullptr;
}

#define GPU_OR_FAIL(var)              \
    FakeNvmlGpu* var = gpuOf(device); \
    if (!var) return NVML_ERROR_INVALID_ARGUMENT;

nvmlReturn_t copyText(char* out, unsigned length, const char* text) {
    if (!out) return NVML_ERROR_INVALID_ARGUMENT;
    if (std::strlen(text) + 1 > length) return NVML_ERROR_INSUFFICIENT_SIZE;
    std::memcpy(out, text, std::strlen(text) + 1);
    return NVML_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Scripting

FAKE_EXPORT FakeNvmlGpu fake_nvml_default_gpu(void) {
    FakeNvmlGpu g{};
    std::snprintf(g.name, sizeof g.name, "NVIDIA GeForce RTX 3070");
    std::snprintf(g.vbios, sizeof g.vbios, "94.04.25.00.4B");
    g.bus = 1;
    g.pci_device_id = 0x248410DE;
    g.pci_subsystem_id = 0x146B10DE;
    g.brand = NVML_BRAND_GEFORCE;
    g.temperature = 45;
    g.util_gpu = 37;
    g.util_memory = 12;
    g.util_encoder = 3;
    g.memory_total = 8388608ull * 1024;
    g.memory_free = 6291456ull * 1024;
    g.fans = 2;
    g.fan_percent = 40;
    g.fan_rpm = 1500;
    g.clock_graphics = 1905;
    g.clock_sm = 1905;
    g.clock_memory = 7000;
    g.clock_video = 1700;
    g.base_graphics = 1500;
    g.base_memory = 7000;
    g.boost_graphics = 1725;
    g.boost_memory = 7001;
    g.max_graphics = 2100;
    g.max_memory = 7001;
    g.power_mw = 110000;
    g.default_limit_mw = 220000;
    g.enforced_limit_mw = 220000;
    g.pstate = 0;
    g.pstate_count = 2;
    g.pstates[0] = 0;
    g.pstates[1] = 8;
    g.pstate_graphics[0] = 2100;
    g.pstate_memory[0] = 7001;
    g.pstate_sm[0] = 2100;
    g.pstate_graphics[1] = 300;
    g.pstate_memory[1] = 405;
    g.pstate_sm[1] = 300;
    g.cores = 5888;
    return g;
}

FAKE_EXPORT void fake_nvml_reset(void) {
    std::lock_guard lock(g_mutex);
    for (Slot* slot : g_slots) delete slot;
    g_slots.clear();
    g_failures.clear();
    g_driver_version = "445.23";
}

FAKE_EXPORT int fake_nvml_add_gpu(const FakeNvmlGpu* gpu) {
    std::lock_guard lock(g_mutex);
    g_slots.push_back(new Slot{*gpu});
    return static_cast<int>(g_slots.size()) - 1;
}

FAKE_EXPORT FakeNvmlGpu* fake_nvml_gpu(int index) {
    std::lock_guard lock(g_mutex);
    if (index < 0 || static_cast<size_t>(index) >= g_slots.size()) return nullptr;
    return &g_slots[static_cast<size_t>(index)]->gpu;
}

FAKE_EXPORT void fake_nvml_set_driver_version(const char* version) {
    std::lock_guard lock(g_mutex);
    g_driver_version = version ? version : "";
}

FAKE_EXPORT void fake_nvml_fail(const char* function, int status) {
    std::lock_guard lock(g_mutex);
    if (status == 0)
        g_failures.erase(function);
    else
        g_failures[function] = status;
}

FAKE_EXPORT int fake_nvml_init_count(void) {
    std::lock_guard lock(g_mutex);
    return g_init_count;
}

// ---------------------------------------------------------------------------------------
// NVML

// Parses FAKE_NVML_REASONS into the GPU's script; a malformed entry ends the list.
static void scriptReasons(FakeNvmlGpu& g, const char* list) {
    g.reason_count = 0;
    const char* p = list;
    while (p && *p && g.reason_count < 64) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(p, &end, 0);
        if (end == p) break;
        unsigned long repeat = 1;
        p = end;
        if (*p == '*') {
            repeat = std::strtoul(p + 1, &end, 10);
            if (end == p + 1) break;
            p = end;
        }
        for (unsigned long i = 0; i < repeat && g.reason_count < 64; ++i)
            g.reasons[g.reason_count++] = value;
        if (*p == ',') ++p;
    }
}

// The environment's script for a program started by a test (fake_nvml.h).
static void scriptFromEnvironment() {
    const char* gpus = std::getenv("FAKE_NVML_GPUS");
    if (!g_slots.empty() || !gpus) return;
    const int count = std::atoi(gpus);
    for (int i = 0; i < count && i < 8; ++i) {
        Slot* slot = new Slot{fake_nvml_default_gpu()};
        slot->gpu.bus = static_cast<unsigned>(i + 1);
        scriptReasons(slot->gpu, std::getenv("FAKE_NVML_REASONS"));
        g_slots.push_back(slot);
    }
}

FAKE_EXPORT nvmlReturn_t nvmlInit_v2(void) {
    FAIL_POINT("nvmlInit_v2");
    scriptFromEnvironment();
    ++g_init_count;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlShutdown(void) {
    FAIL_POINT("nvmlShutdown");
    if (g_init_count == 0) return NVML_ERROR_UNINITIALIZED;
    --g_init_count;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetCount_v2(unsigned int* count) {
    FAIL_POINT("nvmlDeviceGetCount_v2");
    if (!count) return NVML_ERROR_INVALID_ARGUMENT;
    *count = static_cast<unsigned>(g_slots.size());
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetHandleByIndex_v2(unsigned int index, nvmlDevice_t* device) {
    FAIL_POINT("nvmlDeviceGetHandleByIndex_v2");
    if (!device || index >= g_slots.size()) return NVML_ERROR_INVALID_ARGUMENT;
    *device = reinterpret_cast<nvmlDevice_t>(g_slots[index]);
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetName(nvmlDevice_t device, char* name, unsigned int length) {
    FAIL_POINT("nvmlDeviceGetName");
    GPU_OR_FAIL(g);
    return copyText(name, length, g->name);
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetPciInfo_v3(nvmlDevice_t device, nvmlPciInfo_t* pci) {
    FAIL_POINT("nvmlDeviceGetPciInfo_v3");
    GPU_OR_FAIL(g);
    if (!pci) return NVML_ERROR_INVALID_ARGUMENT;
    *pci = nvmlPciInfo_t{};
    pci->domain = g->domain;
    pci->bus = g->bus;
    pci->device = g->device;
    pci->pciDeviceId = g->pci_device_id;
    pci->pciSubSystemId = g->pci_subsystem_id;
    std::snprintf(pci->busId, sizeof pci->busId, "%08x:%02x:%02x.0", g->domain, g->bus & 0xFF,
                  g->device & 0x1F);
    return NVML_SUCCESS;
}

// The next scripted reading of the clocks event reasons.
static nvmlReturn_t nextReasons(nvmlDevice_t device, unsigned long long* reasons) {
    GPU_OR_FAIL(g);
    if (!reasons) return NVML_ERROR_INVALID_ARGUMENT;
    const unsigned n = g->reason_reads < g->reason_count ? g->reason_reads : g->reason_count - 1;
    *reasons = g->reason_count == 0 ? 0 : g->reasons[n];
    ++g->reason_reads;
    return NVML_SUCCESS;
}

// The older name, which the minimal variant (an older library) exports alone.
FAKE_EXPORT nvmlReturn_t nvmlDeviceGetCurrentClocksThrottleReasons(nvmlDevice_t device,
                                                                   unsigned long long* reasons) {
    FAIL_POINT("nvmlDeviceGetCurrentClocksThrottleReasons");
    return nextReasons(device, reasons);
}

#ifndef FAKE_NVML_MINIMAL

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetCurrentClocksEventReasons(nvmlDevice_t device,
                                                                unsigned long long* reasons) {
    FAIL_POINT("nvmlDeviceGetCurrentClocksEventReasons");
    return nextReasons(device, reasons);
}

FAKE_EXPORT nvmlReturn_t nvmlSystemGetDriverVersion(char* version, unsigned int length) {
    FAIL_POINT("nvmlSystemGetDriverVersion");
    return copyText(version, length, g_driver_version.c_str());
}

FAKE_EXPORT nvmlReturn_t nvmlSystemGetNVMLVersion(char* version, unsigned int length) {
    FAIL_POINT("nvmlSystemGetNVMLVersion");
    return copyText(version, length, ("12." + g_driver_version).c_str());
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetBrand(nvmlDevice_t device, nvmlBrandType_t* type) {
    FAIL_POINT("nvmlDeviceGetBrand");
    GPU_OR_FAIL(g);
    *type = g->brand;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetTemperature(nvmlDevice_t device,
                                                  nvmlTemperatureSensors_t sensor,
                                                  unsigned int* temp) {
    FAIL_POINT("nvmlDeviceGetTemperature");
    GPU_OR_FAIL(g);
    if (sensor != NVML_TEMPERATURE_GPU || !temp) return NVML_ERROR_INVALID_ARGUMENT;
    *temp = g->temperature;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetFieldValues(nvmlDevice_t device, int count,
                                                  nvmlFieldValue_t* values) {
    FAIL_POINT("nvmlDeviceGetFieldValues");
    GPU_OR_FAIL(g);
    for (int i = 0; i < count; ++i) {
        if (values[i].fieldId == NVML_FI_DEV_MEMORY_TEMP && g->memory_temperature != 0) {
            values[i].valueType = NVML_VALUE_TYPE_UNSIGNED_INT;
            values[i].value.uiVal = g->memory_temperature;
            values[i].nvmlReturn = NVML_SUCCESS;
        } else {
            values[i].nvmlReturn = NVML_ERROR_NOT_SUPPORTED;
        }
    }
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetUtilizationRates(nvmlDevice_t device,
                                                       nvmlUtilization_t* utilization) {
    FAIL_POINT("nvmlDeviceGetUtilizationRates");
    GPU_OR_FAIL(g);
    utilization->gpu = g->util_gpu;
    utilization->memory = g->util_memory;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetEncoderUtilization(nvmlDevice_t device,
                                                         unsigned int* utilization,
                                                         unsigned int* sampling_period_us) {
    FAIL_POINT("nvmlDeviceGetEncoderUtilization");
    GPU_OR_FAIL(g);
    *utilization = g->util_encoder;
    *sampling_period_us = 1000000;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetMemoryInfo(nvmlDevice_t device, nvmlMemory_t* memory) {
    FAIL_POINT("nvmlDeviceGetMemoryInfo");
    GPU_OR_FAIL(g);
    memory->total = g->memory_total;
    memory->free = g->memory_free;
    memory->used = g->memory_total - g->memory_free;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetNumFans(nvmlDevice_t device, unsigned int* fans) {
    FAIL_POINT("nvmlDeviceGetNumFans");
    GPU_OR_FAIL(g);
    *fans = g->fans;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetFanSpeed_v2(nvmlDevice_t device, unsigned int fan,
                                                  unsigned int* speed) {
    FAIL_POINT("nvmlDeviceGetFanSpeed_v2");
    GPU_OR_FAIL(g);
    if (fan >= g->fans) return NVML_ERROR_INVALID_ARGUMENT;
    *speed = g->fan_percent + fan;  // fans differ by one per cent, to tell them apart
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetFanSpeedRPM(nvmlDevice_t device, nvmlFanSpeedInfo_t* info) {
    FAIL_POINT("nvmlDeviceGetFanSpeedRPM");
    GPU_OR_FAIL(g);
    if (info->version != nvmlFanSpeedInfo_v1) return NVML_ERROR_INVALID_ARGUMENT;
    if (info->fan >= g->fans) return NVML_ERROR_NOT_SUPPORTED;
    info->speed = g->fan_rpm;
    return NVML_SUCCESS;
}

static unsigned currentClock(const FakeNvmlGpu* g, nvmlClockType_t type) {
    switch (type) {
        case NVML_CLOCK_GRAPHICS:
            return g->clock_graphics;
        case NVML_CLOCK_SM:
            return g->clock_sm;
        case NVML_CLOCK_MEM:
            return g->clock_memory;
        default:
            return g->clock_video;
    }
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetClockInfo(nvmlDevice_t device, nvmlClockType_t type,
                                                unsigned int* clock) {
    FAIL_POINT("nvmlDeviceGetClockInfo");
    GPU_OR_FAIL(g);
    *clock = currentClock(g, type);
    return *clock ? NVML_SUCCESS : NVML_ERROR_NOT_SUPPORTED;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetClock(nvmlDevice_t device, nvmlClockType_t type,
                                            nvmlClockId_t id, unsigned int* clock) {
    FAIL_POINT("nvmlDeviceGetClock");
    GPU_OR_FAIL(g);
    unsigned mhz = 0;
    if (id == NVML_CLOCK_ID_CURRENT)
        mhz = currentClock(g, type);
    else if (id == NVML_CLOCK_ID_APP_CLOCK_DEFAULT)
        mhz = type == NVML_CLOCK_GRAPHICS ? g->base_graphics
              : type == NVML_CLOCK_MEM    ? g->base_memory
                                          : 0;
    else if (id == NVML_CLOCK_ID_CUSTOMER_BOOST_MAX)
        mhz = type == NVML_CLOCK_GRAPHICS ? g->boost_graphics
              : type == NVML_CLOCK_MEM    ? g->boost_memory
                                          : 0;
    if (mhz == 0) return NVML_ERROR_NOT_SUPPORTED;
    *clock = mhz;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetMaxClockInfo(nvmlDevice_t device, nvmlClockType_t type,
                                                   unsigned int* clock) {
    FAIL_POINT("nvmlDeviceGetMaxClockInfo");
    GPU_OR_FAIL(g);
    *clock = type == NVML_CLOCK_GRAPHICS ? g->max_graphics
             : type == NVML_CLOCK_MEM    ? g->max_memory
                                         : 0;
    return *clock ? NVML_SUCCESS : NVML_ERROR_NOT_SUPPORTED;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetPowerUsage(nvmlDevice_t device, unsigned int* power) {
    FAIL_POINT("nvmlDeviceGetPowerUsage");
    GPU_OR_FAIL(g);
    *power = g->power_mw;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetEnforcedPowerLimit(nvmlDevice_t device, unsigned int* limit) {
    FAIL_POINT("nvmlDeviceGetEnforcedPowerLimit");
    GPU_OR_FAIL(g);
    *limit = g->enforced_limit_mw;
    return g->enforced_limit_mw ? NVML_SUCCESS : NVML_ERROR_NOT_SUPPORTED;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetPowerManagementDefaultLimit(nvmlDevice_t device,
                                                                  unsigned int* limit) {
    FAIL_POINT("nvmlDeviceGetPowerManagementDefaultLimit");
    GPU_OR_FAIL(g);
    *limit = g->default_limit_mw;
    return g->default_limit_mw ? NVML_SUCCESS : NVML_ERROR_NOT_SUPPORTED;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetPerformanceState(nvmlDevice_t device, nvmlPstates_t* state) {
    FAIL_POINT("nvmlDeviceGetPerformanceState");
    GPU_OR_FAIL(g);
    *state = g->pstate;
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetSupportedPerformanceStates(nvmlDevice_t device,
                                                                 nvmlPstates_t* states,
                                                                 unsigned int size) {
    FAIL_POINT("nvmlDeviceGetSupportedPerformanceStates");
    GPU_OR_FAIL(g);
    const unsigned room = size / sizeof(nvmlPstates_t);
    if (room < g->pstate_count) return NVML_ERROR_INSUFFICIENT_SIZE;
    for (unsigned i = 0; i < room; ++i)
        states[i] =
            i < g->pstate_count ? g->pstates[i] : static_cast<unsigned>(NVML_PSTATE_UNKNOWN);
    return NVML_SUCCESS;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetMinMaxClockOfPState(nvmlDevice_t device, nvmlClockType_t type,
                                                          nvmlPstates_t state,
                                                          unsigned int* min_mhz,
                                                          unsigned int* max_mhz) {
    FAIL_POINT("nvmlDeviceGetMinMaxClockOfPState");
    GPU_OR_FAIL(g);
    for (unsigned i = 0; i < g->pstate_count && i < 16; ++i) {
        if (g->pstates[i] != state) continue;
        unsigned top = g->pstate_sm[i];
        if (type == NVML_CLOCK_GRAPHICS) top = g->pstate_graphics[i];
        if (type == NVML_CLOCK_MEM) top = g->pstate_memory[i];
        *min_mhz = top / 2;
        *max_mhz = top;
        return NVML_SUCCESS;
    }
    return NVML_ERROR_NOT_SUPPORTED;
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetVbiosVersion(nvmlDevice_t device, char* version,
                                                   unsigned int length) {
    FAIL_POINT("nvmlDeviceGetVbiosVersion");
    GPU_OR_FAIL(g);
    return copyText(version, length, g->vbios);
}

FAKE_EXPORT nvmlReturn_t nvmlDeviceGetNumGpuCores(nvmlDevice_t device, unsigned int* cores) {
    FAIL_POINT("nvmlDeviceGetNumGpuCores");
    GPU_OR_FAIL(g);
    *cores = g->cores;
    return g->cores ? NVML_SUCCESS : NVML_ERROR_NOT_SUPPORTED;
}

#endif  // FAKE_NVML_MINIMAL
