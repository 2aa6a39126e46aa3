#pragma once
// The part of NVIDIA's management library (NVML) that the NVAPI layer calls: its types and
// function prototypes, declared here because the machines this is built on have no NVML
// header. The library itself is loaded at run time (nvml_loader.h); these declarations
// give the loader its typed function pointers and the test double its signatures.
//
// Layouts and values follow NVML's public header; every enumeration is a 32-bit value.

#include <cstdint>

extern "C" {

typedef struct nvmlDevice_st* nvmlDevice_t;
typedef int nvmlReturn_t;
typedef unsigned int nvmlTemperatureSensors_t;
typedef unsigned int nvmlClockType_t;
typedef unsigned int nvmlClockId_t;
typedef unsigned int nvmlPstates_t;
typedef unsigned int nvmlBrandType_t;
typedef unsigned int nvmlValueType_t;

enum {
    NVML_SUCCESS = 0,
    NVML_ERROR_UNINITIALIZED = 1,
    NVML_ERROR_INVALID_ARGUMENT = 2,
    NVML_ERROR_NOT_SUPPORTED = 3,
    NVML_ERROR_NO_PERMISSION = 4,
    NVML_ERROR_NOT_FOUND = 6,
    NVML_ERROR_INSUFFICIENT_SIZE = 7,
    NVML_ERROR_DRIVER_NOT_LOADED = 9,
    NVML_ERROR_FUNCTION_NOT_FOUND = 13,
    NVML_ERROR_GPU_IS_LOST = 15,
    NVML_ERROR_UNKNOWN = 999,
};

enum { NVML_TEMPERATURE_GPU = 0 };
/// Clocks event (throttle) reason bits.
enum : unsigned long long {
    nvmlClocksEventReasonGpuIdle = 0x1ull,
    nvmlClocksEventReasonApplicationsClocksSetting = 0x2ull,
    nvmlClocksEventReasonSwPowerCap = 0x4ull,
    nvmlClocksThrottleReasonHwSlowdown = 0x8ull,
    nvmlClocksEventReasonSyncBoost = 0x10ull,
    nvmlClocksEventReasonSwThermalSlowdown = 0x20ull,
    nvmlClocksThrottleReasonHwThermalSlowdown = 0x40ull,
    nvmlClocksThrottleReasonHwPowerBrakeSlowdown = 0x80ull,
    nvmlClocksEventReasonDisplayClockSetting = 0x100ull,
};
enum { NVML_CLOCK_GRAPHICS = 0, NVML_CLOCK_SM = 1, NVML_CLOCK_MEM = 2, NVML_CLOCK_VIDEO = 3 };
enum {
    NVML_CLOCK_ID_CURRENT = 0,
    NVML_CLOCK_ID_APP_CLOCK_TARGET = 1,
    NVML_CLOCK_ID_APP_CLOCK_DEFAULT = 2,
    NVML_CLOCK_ID_CUSTOMER_BOOST_MAX = 3,
};
enum { NVML_PSTATE_0 = 0, NVML_PSTATE_15 = 15, NVML_PSTATE_UNKNOWN = 32 };
enum {
    NVML_BRAND_UNKNOWN = 0,
    NVML_BRAND_QUADRO = 1,
    NVML_BRAND_TESLA = 2,
    NVML_BRAND_NVS = 3,
    NVML_BRAND_GRID = 4,
    NVML_BRAND_GEFORCE = 5,
    NVML_BRAND_TITAN = 6,
    NVML_BRAND_QUADRO_RTX = 12,
    NVML_BRAND_NVIDIA_RTX = 13,
    NVML_BRAND_NVIDIA = 14,
    NVML_BRAND_GEFORCE_RTX = 15,
    NVML_BRAND_TITAN_RTX = 16,
};
enum { NVML_VALUE_TYPE_DOUBLE = 0, NVML_VALUE_TYPE_UNSIGNED_INT = 1 };
enum { NVML_FI_DEV_MEMORY_TEMP = 82 };

enum {
    NVML_DEVICE_NAME_BUFFER_SIZE = 96,
    NVML_SYSTEM_DRIVER_VERSION_BUFFER_SIZE = 80,
    NVML_DEVICE_VBIOS_VERSION_BUFFER_SIZE = 32
};

typedef struct nvmlPciInfo_st {
    char busIdLegacy[16];
    unsigned int domain;
    unsigned int bus;
    unsigned int device;
    unsigned int pciDeviceId;     ///< device id in the high 16 bits, vendor id in the low
    unsigned int pciSubSystemId;  ///< subsystem device high, subsystem vendor low
    char busId[32];               ///< "00000000:01:00.0"
} nvmlPciInfo_t;

typedef struct nvmlMemory_st {
    unsigned long long total;  ///< bytes
    unsigned long long free;
    unsigned long long used;
} nvmlMemory_t;

typedef struct nvmlUtilization_st {
    unsigned int gpu;     ///< % of time a kernel or graphics work ran, last sample period
    unsigned int memory;  ///< % of time device memory was read or written
} nvmlUtilization_t;

typedef union nvmlValue_st {
    double dVal;
    unsigned int uiVal;
    unsigned long ulVal;
    unsigned long long ullVal;
    long long sllVal;
} nvmlValue_t;

typedef struct nvmlFieldValue_st {
    unsigned int fieldId;
    unsigned int scopeId;
    long long timestamp;
    long long latencyUsec;
    nvmlValueType_t valueType;
    nvmlReturn_t nvmlReturn;
    nvmlValue_t value;
} nvmlFieldValue_t;

typedef struct nvmlFanSpeedInfo_st {
    unsigned int version;  ///< nvmlFanSpeedInfo_v1
    unsigned int fan;
    unsigned int speed;  ///< RPM
} nvmlFanSpeedInfo_t;
#define nvmlFanSpeedInfo_v1 (static_cast<unsigned int>(sizeof(nvmlFanSpeedInfo_t)) | (1u << 24))

nvmlReturn_t nvmlInit_v2(void);
nvmlReturn_t nvmlShutdown(void);
nvmlReturn_t nvmlSystemGetDriverVersion(char* version, unsigned int length);
nvmlReturn_t nvmlSystemGetNVMLVersion(char* version, unsigned int length);
nvmlReturn_t nvmlDeviceGetCount_v2(unsigned int* count);
nvmlReturn_t nvmlDeviceGetHandleByIndex_v2(unsigned int index, nvmlDevice_t* device);
nvmlReturn_t nvmlDeviceGetName(nvmlDevice_t device, char* name, unsigned int length);
nvmlReturn_t nvmlDeviceGetPciInfo_v3(nvmlDevice_t device, nvmlPciInfo_t* pci);
nvmlReturn_t nvmlDeviceGetBrand(nvmlDevice_t device, nvmlBrandType_t* type);
nvmlReturn_t nvmlDeviceGetTemperature(nvmlDevice_t device, nvmlTemperatureSensors_t sensor,
                                      unsigned int* temp);
nvmlReturn_t nvmlDeviceGetFieldValues(nvmlDevice_t device, int valuesCount,
                                      nvmlFieldValue_t* values);
nvmlReturn_t nvmlDeviceGetUtilizationRates(nvmlDevice_t device, nvmlUtilization_t* utilization);
nvmlReturn_t nvmlDeviceGetEncoderUtilization(nvmlDevice_t device, unsigned int* utilization,
                                             unsigned int* samplingPeriodUs);
nvmlReturn_t nvmlDeviceGetMemoryInfo(nvmlDevice_t device, nvmlMemory_t* memory);
nvmlReturn_t nvmlDeviceGetNumFans(nvmlDevice_t device, unsigned int* numFans);
nvmlReturn_t nvmlDeviceGetFanSpeed_v2(nvmlDevice_t device, unsigned int fan, unsigned int* speed);
nvmlReturn_t nvmlDeviceGetFanSpeedRPM(nvmlDevice_t device, nvmlFanSpeedInfo_t* fanSpeed);
nvmlReturn_t nvmlDeviceGetClockInfo(nvmlDevice_t device, nvmlClockType_t type, unsigned int* clock);
nvmlReturn_t nvmlDeviceGetClock(nvmlDevice_t device, nvmlClockType_t clockType,
                                nvmlClockId_t clockId, unsigned int* clockMHz);
nvmlReturn_t nvmlDeviceGetMaxClockInfo(nvmlDevice_t device, nvmlClockType_t type,
                                       unsigned int* clock);
nvmlReturn_t nvmlDeviceGetPowerUsage(nvmlDevice_t device, unsigned int* power);
nvmlReturn_t nvmlDeviceGetEnforcedPowerLimit(nvmlDevice_t device, unsigned int* limit);
nvmlReturn_t nvmlDeviceGetPowerManagementDefaultLimit(nvmlDevice_t device,
                                                      unsigned int* defaultLimit);
nvmlReturn_t nvmlDeviceGetPerformanceState(nvmlDevice_t device, nvmlPstates_t* pState);
nvmlReturn_t nvmlDeviceGetSupportedPerformanceStates(nvmlDevice_t device, nvmlPstates_t* pstates,
                                                     unsigned int size);
nvmlReturn_t nvmlDeviceGetMinMaxClockOfPState(nvmlDevice_t device, nvmlClockType_t type,
                                              nvmlPstates_t pstate, unsigned int* minClockMHz,
                                              unsigned int* maxClockMHz);
nvmlReturn_t nvmlDeviceGetVbiosVersion(nvmlDevice_t device, char* version, unsigned int length);
nvmlReturn_t nvmlDeviceGetNumGpuCores(nvmlDevice_t device, unsigned int* numCores);
/// Why the clocks are held below their maximum now: a mask of the reason bits below. The
/// older name answers the same on drivers that predate the newer one.
nvmlReturn_t nvmlDeviceGetCurrentClocksEventReasons(nvmlDevice_t device,
                                                    unsigned long long* clocksEventReasons);
nvmlReturn_t nvmlDeviceGetCurrentClocksThrottleReasons(nvmlDevice_t device,
                                                       unsigned long long* clocksThrottleReasons);

}  // extern "C"

// Every function above, for table-driven loading. The first four are required: without
// them the library is useless and counts as missing.
#define PLASHWERK_NVML_REQUIRED_FUNCTIONS(X) \
    X(nvmlInit_v2)                           \
    X(nvmlShutdown)                          \
    X(nvmlDeviceGetCount_v2)                 \
    X(nvmlDeviceGetHandleByIndex_v2)
#define PLASHWERK_NVML_OPTIONAL_FUNCTIONS(X)    \
    X(nvmlSystemGetDriverVersion)               \
    X(nvmlSystemGetNVMLVersion)                 \
    X(nvmlDeviceGetName)                        \
    X(nvmlDeviceGetPciInfo_v3)                  \
    X(nvmlDeviceGetBrand)                       \
    X(nvmlDeviceGetTemperature)                 \
    X(nvmlDeviceGetFieldValues)                 \
    X(nvmlDeviceGetUtilizationRates)            \
    X(nvmlDeviceGetEncoderUtilization)          \
    X(nvmlDeviceGetMemoryInfo)                  \
    X(nvmlDeviceGetNumFans)                     \
    X(nvmlDeviceGetFanSpeed_v2)                 \
    X(nvmlDeviceGetFanSpeedRPM)                 \
    X(nvmlDeviceGetClockInfo)                   \
    X(nvmlDeviceGetClock)                       \
    X(nvmlDeviceGetMaxClockInfo)                \
    X(nvmlDeviceGetPowerUsage)                  \
    X(nvmlDeviceGetEnforcedPowerLimit)          \
    X(nvmlDeviceGetPowerManagementDefaultLimit) \
    X(nvmlDeviceGetPerformanceState)            \
    X(nvmlDeviceGetSupportedPerformanceStates)  \
    X(nvmlDeviceGetMinMaxClockOfPState)         \
    X(nvmlDeviceGetVbiosVersion)                \
    X(nvmlDeviceGetNumGpuCores)                 \
    X(nvmlDeviceGetCurrentClocksEventReasons)   \
    X(nvmlDeviceGetCurrentClocksThrottleReasons)
