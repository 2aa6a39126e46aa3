#pragma once
// NVIDIA's driver interface (NVAPI) as the NVIDIA back end of the GPU library calls it: the
// public names, handle types, status codes and versioned structures, implemented on Linux
// over NVML loaded at run time (nvml_loader.h).
//
// Sections: status codes and handles; structures with their versions; the calls by public
// name; the calls reached by interface id through nvapi_QueryInterface().
//
// Every structure carries NVAPI's version word: the structure size in the low 16 bits and
// the structure version in the high 16 bits. A call given a version it does not know
// answers NVAPI_INCOMPATIBLE_STRUCT_VERSION. A GPU handle that this layer did not hand out
// answers NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE. What NVML cannot tell (the core voltage, some
// unit counts) answers NVAPI_NOT_SUPPORTED or, for calls by interface id, a null entry
// point; a function missing from the loaded NVML answers NVAPI_NO_IMPLEMENTATION.
//
// NVML has no display objects: each GPU has one display handle here, standing for the
// driver's display-side view of that GPU, so display-based calls (memory information,
// driver version) work on headless GPUs too.
//
// Initialisation is counted and serialised: NvAPI_Initialize() loads NVML on the first
// call and NvAPI_Unload() releases it with the last.

#include <cstddef>
#include <cstdint>

typedef uint32_t NvU32;
typedef int32_t NvS32;

typedef struct NvPhysicalGpuHandle__* NvPhysicalGpuHandle;
typedef struct NvLogicalGpuHandle__* NvLogicalGpuHandle;
typedef struct NvDisplayHandle__* NvDisplayHandle;

#define NVAPI_SHORT_STRING_MAX 64
typedef char NvAPI_ShortString[NVAPI_SHORT_STRING_MAX];

#define MAKE_NVAPI_VERSION(type, version) \
    static_cast<NvU32>(sizeof(type) | (static_cast<NvU32>(version) << 16))

enum NvAPI_Status : NvS32 {
    NVAPI_OK = 0,
    NVAPI_ERROR = -1,
    NVAPI_LIBRARY_NOT_FOUND = -2,
    NVAPI_NO_IMPLEMENTATION = -3,
    NVAPI_API_NOT_INITIALIZED = -4,
    NVAPI_INVALID_ARGUMENT = -5,
    NVAPI_NVIDIA_DEVICE_NOT_FOUND = -6,
    NVAPI_END_ENUMERATION = -7,
    NVAPI_INVALID_HANDLE = -8,
    NVAPI_INCOMPATIBLE_STRUCT_VERSION = -9,
    NVAPI_EXPECTED_LOGICAL_GPU_HANDLE = -100,
    NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE = -101,
    NVAPI_EXPECTED_DISPLAY_HANDLE = -102,
    NVAPI_NOT_SUPPORTED = -104,
};

#define NVAPI_MAX_PHYSICAL_GPUS 64
#define NVAPI_MAX_LOGICAL_GPUS 64
#define NVAPI_MAX_THERMAL_SENSORS_PER_GPU 3
#define NVAPI_MAX_USAGES_PER_GPU 33
#define NVAPI_MAX_COOLERS_PER_GPU 20
#define NVAPI_MAX_GPU_PUBLIC_CLOCKS 32
#define NVAPI_MAX_GPU_PERF_PSTATES 16
#define NVAPI_MAX_GPU_PERF_CLOCKS 32
#define NVAPI_MAX_GPU_PERF_VOLTAGES 16
#define NVAPI_MAX_GPU_PSTATE20_PSTATES 16
#define NVAPI_MAX_GPU_PSTATE20_CLOCKS 8
#define NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES 4
#define NVAPI_MAX_VOLTAGE_DOMAINS 16
#define NVAPI_MAX_POWER_ENTRIES 4
#define NVAPI_MAX_FAN_COOLERS 32

/// GPU type: 1 integrated, 2 discrete.
enum : NvU32 { NV_SYSTEM_TYPE_GPU_UNKNOWN = 0, NV_SYSTEM_TYPE_IGPU = 1, NV_SYSTEM_TYPE_DGPU = 2 };
/// Clock domains.
enum : NvU32 {
    NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS = 0,
    NVAPI_GPU_PUBLIC_CLOCK_MEMORY = 4,
    NVAPI_GPU_PUBLIC_CLOCK_PROCESSOR = 7,
    NVAPI_GPU_PUBLIC_CLOCK_VIDEO = 8,
};
/// Clock kinds of NvAPI_GPU_GetAllClockFrequencies.
enum : NvU32 {
    NV_GPU_CLOCK_FREQUENCIES_CURRENT_FREQ = 0,
    NV_GPU_CLOCK_FREQUENCIES_BASE_CLOCK = 1,
    NV_GPU_CLOCK_FREQUENCIES_BOOST_CLOCK = 2,
};
/// Performance states P0 (fastest) to P15; NVAPI_GPU_PERF_PSTATE_UNDEFINED when unknown.
enum : NvU32 { NVAPI_GPU_PERF_PSTATE_P0 = 0, NVAPI_GPU_PERF_PSTATE_UNDEFINED = 16 };
enum : NvU32 { NVAPI_GPU_PERF_VOLTAGE_INFO_DOMAIN_CORE = 0 };
enum : NvU32 {
    NVAPI_GPU_PERF_PSTATE20_CLOCK_TYPE_SINGLE = 0,
    NVAPI_GPU_PERF_PSTATE20_CLOCK_TYPE_RANGE = 1
};
/// Thermal sensor targets; NVAPI_THERMAL_TARGET_ALL as sensor index asks for every sensor.
enum : NvU32 {
    NVAPI_THERMAL_TARGET_NONE = 0,
    NVAPI_THERMAL_TARGET_GPU = 1,
    NVAPI_THERMAL_TARGET_MEMORY = 2,
    NVAPI_THERMAL_TARGET_POWER_SUPPLY = 4,
    NVAPI_THERMAL_TARGET_BOARD = 8,
    NVAPI_THERMAL_TARGET_ALL = 15,
};
enum : NvU32 { NVAPI_THERMAL_CONTROLLER_NONE = 0, NVAPI_THERMAL_CONTROLLER_GPU_INTERNAL = 1 };
/// Cooler types and targets; NVAPI_COOLER_TARGET_ALL as cooler index asks for every cooler.
enum : NvU32 { NVAPI_COOLER_TYPE_NONE = 0, NVAPI_COOLER_TYPE_FAN = 1 };
enum : NvU32 { NVAPI_COOLER_TARGET_GPU = 1, NVAPI_COOLER_TARGET_ALL = 7 };

// ---------------------------------------------------------------------------------------
// Structures

typedef struct {
    NvU32 version;
    NvU32 drvVersion;
    NvU32 bldChangeListNum;
    NvAPI_ShortString szBuildBranchString;
    NvAPI_ShortString szAdapterString;
} NV_DISPLAY_DRIVER_VERSION;
#define NV_DISPLAY_DRIVER_VERSION_VER MAKE_NVAPI_VERSION(NV_DISPLAY_DRIVER_VERSION, 1)

typedef struct {
    NvU32 version;
    NvU32 count;
    struct {
        NvU32 controller;
        NvU32 defaultMinTemp;
        NvU32 defaultMaxTemp;
        NvU32 currentTemp;  ///< °C
        NvU32 target;       ///< NVAPI_THERMAL_TARGET_*
    } sensor[NVAPI_MAX_THERMAL_SENSORS_PER_GPU];
} NV_GPU_THERMAL_SETTINGS;
#define NV_GPU_THERMAL_SETTINGS_VER_1 MAKE_NVAPI_VERSION(NV_GPU_THERMAL_SETTINGS, 1)

/// Usage words: 2 GPU, 6 frame buffer, 10 video engine, in %.
typedef struct {
    NvU32 version;
    NvU32 usage[NVAPI_MAX_USAGES_PER_GPU];
} NV_GPU_USAGES;
#define NV_GPU_USAGES_VER_1 MAKE_NVAPI_VERSION(NV_GPU_USAGES, 1)

/// Sizes in KB.
typedef struct {
    NvU32 version;
    NvU32 dedicatedVideoMemory;
    NvU32 availableDedicatedVideoMemory;
    NvU32 systemVideoMemory;
    NvU32 sharedSystemMemory;
    NvU32 curAvailableDedicatedVideoMemory;
} NV_DISPLAY_DRIVER_MEMORY_INFO;
#define NV_DISPLAY_DRIVER_MEMORY_INFO_VER_2 MAKE_NVAPI_VERSION(NV_DISPLAY_DRIVER_MEMORY_INFO, 2)

/// Levels in % of the cooler's range.
typedef struct {
    NvU32 version;
    NvU32 count;
    struct {
        NvS32 type;  ///< NVAPI_COOLER_TYPE_*
        NvS32 controller;
        NvS32 defaultMinLevel;
        NvS32 defaultMaxLevel;
        NvS32 currentMinLevel;
        NvS32 currentMaxLevel;
        NvS32 currentLevel;
        NvS32 defaultPolicy;
        NvS32 currentPolicy;
        NvS32 target;
        NvS32 controlType;
        NvS32 active;
    } cooler[NVAPI_MAX_COOLERS_PER_GPU];
} NV_GPU_COOLER_SETTINGS;
#define NV_GPU_COOLER_SETTINGS_VER_4 MAKE_NVAPI_VERSION(NV_GPU_COOLER_SETTINGS, 4)

/// Frequencies in kHz, indexed by clock domain.
typedef struct {
    NvU32 version;
    NvU32 ClockType : 4;  ///< NV_GPU_CLOCK_FREQUENCIES_*; set by the caller
    NvU32 reserved : 20;
    NvU32 reserved1 : 8;
    struct {
        NvU32 bIsPresent : 1;
        NvU32 reserved : 31;
        NvU32 frequency;
    } domain[NVAPI_MAX_GPU_PUBLIC_CLOCKS];
} NV_GPU_CLOCK_FREQUENCIES;
#define NV_GPU_CLOCK_FREQUENCIES_VER_3 MAKE_NVAPI_VERSION(NV_GPU_CLOCK_FREQUENCIES, 3)

/// Voltages in µV.
typedef struct {
    NvU32 version;
    NvU32 flags;
    NvU32 count;
    struct {
        NvU32 domainId;  ///< NVAPI_GPU_PERF_VOLTAGE_INFO_DOMAIN_*
        NvU32 voltage_uV;
    } entries[NVAPI_MAX_VOLTAGE_DOMAINS];
} NV_GPU_VOLTAGE_DOMAINS_STATUS;
#define NV_GPU_VOLTAGE_DOMAINS_STATUS_VER_1 MAKE_NVAPI_VERSION(NV_GPU_VOLTAGE_DOMAINS_STATUS, 1)

/// Power draw per channel: thousandths of a per cent of the board's default power limit,
/// and milliwatts.
typedef struct {
    NvU32 version;
    NvU32 count;
    struct {
        NvU32 channel;
        NvU32 reserved;
        NvU32 power_mp;
        NvU32 power_mW;
    } entries[NVAPI_MAX_POWER_ENTRIES];
} NV_GPU_POWER_TOPOLOGY_STATUS;
#define NV_GPU_POWER_TOPOLOGY_STATUS_VER_1 MAKE_NVAPI_VERSION(NV_GPU_POWER_TOPOLOGY_STATUS, 1)

/// Power limit per policy, in the same units.
typedef struct {
    NvU32 version;
    NvU32 count;
    struct {
        NvU32 policy;
        NvU32 reserved;
        NvU32 power_mp;
        NvU32 power_mW;
        NvU32 reserved2[81];
    } entries[NVAPI_MAX_POWER_ENTRIES];
} NV_GPU_POWER_POLICIES_STATUS;
#define NV_GPU_POWER_POLICIES_STATUS_VER_2 MAKE_NVAPI_VERSION(NV_GPU_POWER_POLICIES_STATUS, 2)

typedef struct {
    NvS32 value;
    struct {
        NvS32 min;
        NvS32 max;
    } valueRange;
} NV_GPU_PERF_PSTATES20_PARAM_DELTA;

typedef struct {
    NvU32 domainId;  ///< NVAPI_GPU_PUBLIC_CLOCK_*
    NvU32 typeId;    ///< NVAPI_GPU_PERF_PSTATE20_CLOCK_TYPE_*
    NvU32 bIsEditable : 1;
    NvU32 reserved : 31;
    NV_GPU_PERF_PSTATES20_PARAM_DELTA freqDelta_kHz;
    union {
        struct {
            NvU32 freq_kHz;
        } single;
        struct {
            NvU32 minFreq_kHz;
            NvU32 maxFreq_kHz;
            NvU32 domainId;
            NvU32 minVoltage_uV;
            NvU32 maxVoltage_uV;
        } range;
    } data;
} NV_GPU_PSTATE20_CLOCK_ENTRY;

typedef struct {
    NvU32 domainId;
    NvU32 bIsEditable : 1;
    NvU32 reserved : 31;
    NvU32 volt_uV;
    NV_GPU_PERF_PSTATES20_PARAM_DELTA voltDelta_uV;
} NV_GPU_PSTATE20_BASE_VOLTAGE_ENTRY;

#define NV_GPU_PERF_PSTATES20_INFO_COMMON                                  \
    NvU32 version;                                                         \
    NvU32 bIsEditable : 1;                                                 \
    NvU32 reserved : 31;                                                   \
    NvU32 numPstates;                                                      \
    NvU32 numClocks;                                                       \
    NvU32 numBaseVoltages;                                                 \
    struct {                                                               \
        NvU32 pstateId;                                                    \
        NvU32 bIsEditable : 1;                                             \
        NvU32 reserved : 31;                                               \
        NV_GPU_PSTATE20_CLOCK_ENTRY clocks[NVAPI_MAX_GPU_PSTATE20_CLOCKS]; \
        NV_GPU_PSTATE20_BASE_VOLTAGE_ENTRY                                 \
        baseVoltages[NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES];                \
    } pstates[NVAPI_MAX_GPU_PSTATE20_PSTATES];

typedef struct {
    NV_GPU_PERF_PSTATES20_INFO_COMMON
} NV_GPU_PERF_PSTATES20_INFO_V1;

typedef struct {
    NV_GPU_PERF_PSTATES20_INFO_COMMON
    struct {
        NvU32 numVoltages;
        NV_GPU_PSTATE20_BASE_VOLTAGE_ENTRY voltages[NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES];
    } ov;
} NV_GPU_PERF_PSTATES20_INFO;
#undef NV_GPU_PERF_PSTATES20_INFO_COMMON
#define NV_GPU_PERF_PSTATES20_INFO_VER1 MAKE_NVAPI_VERSION(NV_GPU_PERF_PSTATES20_INFO_V1, 1)
#define NV_GPU_PERF_PSTATES20_INFO_VER3 MAKE_NVAPI_VERSION(NV_GPU_PERF_PSTATES20_INFO, 3)

/// The older performance-state table: frequencies in kHz, voltages in mV.
typedef struct {
    NvU32 version;
    NvU32 flags;
    NvU32 numPstates;
    NvU32 numClocks;
    NvU32 numVoltages;
    struct {
        NvU32 pstateId;
        NvU32 flags;
        struct {
            NvU32 domainId;
            NvU32 flags;
            NvU32 freq;
        } clocks[NVAPI_MAX_GPU_PERF_CLOCKS];
        struct {
            NvU32 domainId;
            NvU32 flags;
            NvU32 mvolt;
        } voltages[NVAPI_MAX_GPU_PERF_VOLTAGES];
    } pstates[NVAPI_MAX_GPU_PERF_PSTATES];
} NV_GPU_PERF_PSTATES_INFO;
#define NV_GPU_PERF_PSTATES_INFO_VER3 MAKE_NVAPI_VERSION(NV_GPU_PERF_PSTATES_INFO, 3)

/// Fan coolers as the client fan interface lists them; kept raw by the back end.
typedef struct {
    NvU32 version;
    NvU32 count;
    struct {
        NvU32 coolerId;
        NvU32 reserved[8];
    } entries[NVAPI_MAX_FAN_COOLERS];
} NV_GPU_CLIENT_FAN_COOLERS_INFO;
#define NV_GPU_CLIENT_FAN_COOLERS_INFO_VER_1 MAKE_NVAPI_VERSION(NV_GPU_CLIENT_FAN_COOLERS_INFO, 1)

typedef struct {
    NvU32 version;
    NvU32 count;
    struct {
        NvU32 coolerId;
        NvU32 currentRpm;
        NvU32 currentMinLevel;
        NvU32 currentMaxLevel;
        NvU32 currentLevel;  ///< %
        NvU32 reserved[8];
    } entries[NVAPI_MAX_FAN_COOLERS];
} NV_GPU_CLIENT_FAN_COOLERS_STATUS;
#define NV_GPU_CLIENT_FAN_COOLERS_STATUS_VER_1 \
    MAKE_NVAPI_VERSION(NV_GPU_CLIENT_FAN_COOLERS_STATUS, 1)

static_assert(sizeof(NV_DISPLAY_DRIVER_VERSION) == 140);
static_assert(sizeof(NV_GPU_THERMAL_SETTINGS) == 68);
static_assert(sizeof(NV_GPU_USAGES) == 136);
static_assert(sizeof(NV_DISPLAY_DRIVER_MEMORY_INFO) == 24);
static_assert(sizeof(NV_GPU_CLOCK_FREQUENCIES) == 264);
static_assert(sizeof(NV_GPU_VOLTAGE_DOMAINS_STATUS) == 140);
static_assert(sizeof(NV_GPU_POWER_TOPOLOGY_STATUS) == 72);
static_assert(sizeof(NV_GPU_POWER_POLICIES_STATUS) == 1368);
static_assert(sizeof(NV_GPU_PERF_PSTATES20_INFO_V1) == 7316);
static_assert(sizeof(NV_GPU_PERF_PSTATES20_INFO) == 7416);
static_assert(sizeof(NV_GPU_PERF_PSTATES_INFO) == 9364);

// ---------------------------------------------------------------------------------------
// Calls by public name

NvAPI_Status NvAPI_Initialize();
NvAPI_Status NvAPI_Unload();
NvAPI_Status NvAPI_GetInterfaceVersionString(NvAPI_ShortString text);
/// display: a display handle, or null for the first GPU's.
NvAPI_Status NvAPI_GetDisplayDriverVersion(NvDisplayHandle display,
                                           NV_DISPLAY_DRIVER_VERSION* info);
/// version: major × 100 + minor (445.23 → 44523).
NvAPI_Status NvAPI_SYS_GetDriverAndBranchVersion(NvU32* version, NvAPI_ShortString branch);
NvAPI_Status NvAPI_EnumNvidiaDisplayHandle(NvU32 index, NvDisplayHandle* display);
NvAPI_Status NvAPI_EnumLogicalGPUs(NvLogicalGpuHandle handles[NVAPI_MAX_LOGICAL_GPUS],
                                   NvU32* count);
NvAPI_Status NvAPI_EnumPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                    NvU32* count);
NvAPI_Status NvAPI_GetPhysicalGPUsFromDisplay(NvDisplayHandle display,
                                              NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                              NvU32* count);
NvAPI_Status NvAPI_GPU_GetGPUType(NvPhysicalGpuHandle gpu, NvU32* type);
NvAPI_Status NvAPI_GPU_GetFullName(NvPhysicalGpuHandle gpu, NvAPI_ShortString name);
NvAPI_Status NvAPI_GPU_GetPhysicalFrameBufferSize(NvPhysicalGpuHandle gpu, NvU32* size_kb);
NvAPI_Status NvAPI_GPU_GetVirtualFrameBufferSize(NvPhysicalGpuHandle gpu, NvU32* size_kb);
NvAPI_Status NvAPI_GPU_GetBusId(NvPhysicalGpuHandle gpu, NvU32* bus_id);
/// device_id and sub_system_id: device (or subsystem device) high, vendor low.
NvAPI_Status NvAPI_GPU_GetPCIIdentifiers(NvPhysicalGpuHandle gpu, NvU32* device_id,
                                         NvU32* sub_system_id, NvU32* revision_id,
                                         NvU32* ext_device_id);
NvAPI_Status NvAPI_GPU_GetThermalSettings(NvPhysicalGpuHandle gpu, NvU32 sensor_index,
                                          NV_GPU_THERMAL_SETTINGS* settings);
NvAPI_Status NvAPI_GPU_GetRamType(NvPhysicalGpuHandle gpu, NvU32* ram_type);
NvAPI_Status NvAPI_GPU_GetGpuCoreCount(NvPhysicalGpuHandle gpu, NvU32* count);
NvAPI_Status NvAPI_GPU_GetShaderPipeCount(NvPhysicalGpuHandle gpu, NvU32* count);
NvAPI_Status NvAPI_GPU_GetPartitionCount(NvPhysicalGpuHandle gpu, NvU32* count);
NvAPI_Status NvAPI_GPU_GetVbiosVersionString(NvPhysicalGpuHandle gpu, NvAPI_ShortString text);
NvAPI_Status NvAPI_GPU_GetUsages(NvPhysicalGpuHandle gpu, NV_GPU_USAGES* usages);
NvAPI_Status NvAPI_GPU_GetTachReading(NvPhysicalGpuHandle gpu, NvU32* rpm);
NvAPI_Status NvAPI_GPU_GetCoolerSettings(NvPhysicalGpuHandle gpu, NvU32 cooler_index,
                                         NV_GPU_COOLER_SETTINGS* settings);
NvAPI_Status NvAPI_GPU_GetAllClockFrequencies(NvPhysicalGpuHandle gpu,
                                              NV_GPU_CLOCK_FREQUENCIES* frequencies);
NvAPI_Status NvAPI_GPU_GetVoltageDomainsStatus(NvPhysicalGpuHandle gpu,
                                               NV_GPU_VOLTAGE_DOMAINS_STATUS* status);
NvAPI_Status NvAPI_GPU_ClientPowerTopologyGetStatus(NvPhysicalGpuHandle gpu,
                                                    NV_GPU_POWER_TOPOLOGY_STATUS* status);
NvAPI_Status NvAPI_GPU_ClientPowerPoliciesGetStatus(NvPhysicalGpuHandle gpu,
                                                    NV_GPU_POWER_POLICIES_STATUS* status);
NvAPI_Status NvAPI_GPU_GetCurrentPstate(NvPhysicalGpuHandle gpu, NvU32* pstate);
/// Accepts NV_GPU_PERF_PSTATES20_INFO_VER3 and, in an NV_GPU_PERF_PSTATES20_INFO_V1,
/// NV_GPU_PERF_PSTATES20_INFO_VER1.
NvAPI_Status NvAPI_GPU_GetPstates20(NvPhysicalGpuHandle gpu, NV_GPU_PERF_PSTATES20_INFO* info);
/// Not an NVAPI call: NVML's clocks event reasons of the GPU now, as NVML's bit mask
/// (nvmlClocksEventReason* in nvml_api.h). Asks nvmlDeviceGetCurrentClocksEventReasons, or
/// nvmlDeviceGetCurrentClocksThrottleReasons on a library without it.
NvAPI_Status NvAPI_GPU_GetClocksEventReasons(NvPhysicalGpuHandle gpu, uint64_t* reasons);

// ---------------------------------------------------------------------------------------
// Calls by interface id

/// The entry point behind an interface id, or null when this layer has none (as NVAPI
/// answers for a function the driver does not provide).
void* nvapi_QueryInterface(NvU32 interface_id);

/// Interface ids and the signatures of their entry points.
enum : NvU32 {
    NVAPI_ID_GPU_GET_BRAND_CODE = 0x052D0709,  ///< NvU32* code: 1 GeForce ... 9 Titan Quadro
    NVAPI_ID_GET_DISPLAY_DRIVER_MEMORY_INFO = 0x774AA982,
    NVAPI_ID_GPU_GET_PSTATES_INFO = 0xBA94C56E,
    NVAPI_ID_GPU_CLIENT_FAN_COOLERS_GET_INFO = 0xFB85B01E,
    NVAPI_ID_GPU_CLIENT_FAN_COOLERS_GET_STATUS = 0x35AED5E8,
    NVAPI_ID_GPU_GET_ROP_COUNT = 0xFDC129FA,
};
typedef NvAPI_Status (*NvAPI_GPU_GetBrandCode_t)(NvPhysicalGpuHandle, NvU32*);
typedef NvAPI_Status (*NvAPI_GetDisplayDriverMemoryInfo_t)(NvDisplayHandle,
                                                           NV_DISPLAY_DRIVER_MEMORY_INFO*);
typedef NvAPI_Status (*NvAPI_GPU_GetPstatesInfo_t)(NvPhysicalGpuHandle, NV_GPU_PERF_PSTATES_INFO*);
typedef NvAPI_Status (*NvAPI_GPU_ClientFanCoolersGetInfo_t)(NvPhysicalGpuHandle,
                                                            NV_GPU_CLIENT_FAN_COOLERS_INFO*);
typedef NvAPI_Status (*NvAPI_GPU_ClientFanCoolersGetStatus_t)(NvPhysicalGpuHandle,
                                                              NV_GPU_CLIENT_FAN_COOLERS_STATUS*);
/// The unit counts reached by id only (ROPs and the others) share this signature.
typedef NvAPI_Status (*NvAPI_GPU_GetUnitCount_t)(NvPhysicalGpuHandle, NvU32*);
