#pragma once
// AMD's display library (ADL) as the AMD back end of the GPU library calls it: the public
// names, status codes and structures of ADL, answered on Linux from the amdgpu driver's
// sysfs and hwmon files (amdgpu_sysfs.h), below the root of platform/sysfs.
//
// Sections: the library loader; status codes and constants; structures; the calls by
// public name, grouped as ADL groups them (main control, adapters, Overdrive 5, 6, N, 8).
//
// The library: adlLoadLibrary() answers the names of ADL's library files when the amdgpu
// driver is present (module/amdgpu), and adlGetProcAddress() resolves the calls below by
// their names, as a program resolves them from the driver's library. Calls that change
// settings (the *_Set functions) are not offered: this layer only reads.
//
// Adapters: one per AMD display-class PCI device, numbered 0, 1, ... in PCI address order,
// fixed when ADL is created (ADL_Main_Control_Create or ADL2_Main_Control_Create). An
// adapter exists (iExist, iPresent) when the amdgpu driver is bound to it. Its UDID is the
// PCI id text "PCI\VEN_1002&DEV_dddd&SUBSYS_ssssSSSS&REV_rr" followed by "\" and the PCI
// address; its driver-path extension names the PCI address in braces.
//
// Overdrive: ADL_Overdrive_Caps reports version 8 for an adapter whose hwmon temperature
// sensors are there (the power-management log reads them), 7 for one that only has its
// clock tables, and 0 otherwise. The Overdrive 5, 6 and N calls answer from the same files
// for any adapter, whatever version it reports. Units are ADL's: clocks in 10 kHz,
// voltages in mV, temperatures in millidegrees (°C in the power-management log), fan
// speeds in RPM or percent.

#include <cstdint>

// ---------------------------------------------------------------------------------------
// The library loader

/// A handle for "atiadlxx.dll" (or "atiadlxy.dll") when the amdgpu driver is present, else
/// null. Handles need no release beyond adlFreeLibrary().
void* adlLoadLibrary(const char* name);
/// The call of that name, or null for a name this layer does not answer.
void* adlGetProcAddress(void* library, const char* name);
void adlFreeLibrary(void* library);

// ---------------------------------------------------------------------------------------
// Status codes and constants

#define ADL_OK 0
#define ADL_ERR (-1)
#define ADL_ERR_NOT_INIT (-2)
#define ADL_ERR_INVALID_PARAM (-3)
#define ADL_ERR_INVALID_PARAM_SIZE (-4)
#define ADL_ERR_INVALID_ADL_IDX (-5)
#define ADL_ERR_INVALID_CONTROLLER_IDX (-6)
#define ADL_ERR_NOT_SUPPORTED (-8)
#define ADL_ERR_NULL_POINTER (-9)
#define ADL_ERR_DISABLED_ADAPTER (-10)
#define ADL_ERR_INVALID_CALLBACK (-11)

#define ADL_MAX_PATH 256
#define ADL_PMLOG_MAX_SENSORS 256

/// Fan speed types (Overdrive 5 request, Overdrive 6 request and answer flags).
#define ADL_DL_FANCTRL_SPEED_TYPE_PERCENT 1
#define ADL_DL_FANCTRL_SPEED_TYPE_RPM 2
#define ADL_OD6_FANSPEED_TYPE_PERCENT 0x01
#define ADL_OD6_FANSPEED_TYPE_RPM 0x02

/// Overdrive 6 thermal controller capabilities.
#define ADL_OD6_TCCAPS_THERMAL_CONTROLLER 0x01
#define ADL_OD6_TCCAPS_FANSPEED_CONTROL 0x02
#define ADL_OD6_TCCAPS_FANSPEED_PERCENT_READ 0x0100
#define ADL_OD6_TCCAPS_FANSPEED_RPM_READ 0x0400

/// OverdriveN temperature types.
enum ADLODNTemperatureType {
    ODN_GPU_EDGE_TEMP = 1,
    ODN_GPU_MEM_TEMP = 2,
    ODN_GPU_HOTSPOT_TEMP = 7,
};

/// Overdrive 8 features (the first 29 of ADL's list) and capability bits.
enum ADLOD8SettingId {
    OD8_GFXCLK_FMAX = 0,
    OD8_GFXCLK_FMIN,
    OD8_GFXCLK_FREQ1,
    OD8_GFXCLK_VOLTAGE1,
    OD8_GFXCLK_FREQ2,
    OD8_GFXCLK_VOLTAGE2,
    OD8_GFXCLK_FREQ3,
    OD8_GFXCLK_VOLTAGE3,
    OD8_UCLK_FMAX,
    OD8_POWER_PERCENTAGE,
    OD8_FAN_MIN_SPEED,
    OD8_FAN_ACOUSTIC_LIMIT,
    OD8_FAN_TARGET_TEMP,
    OD8_OPERATING_TEMP_MAX,
    OD8_AC_TIMING,
    OD8_FAN_ZERORPM_CONTROL,
    OD8_AUTO_UV_ENGINE_CONTROL,
    OD8_AUTO_OC_ENGINE_CONTROL,
    OD8_AUTO_OC_MEMORY_CONTROL,
    OD8_FAN_CURVE_TEMPERATURE_1,
    OD8_FAN_CURVE_SPEED_1,
    OD8_FAN_CURVE_TEMPERATURE_2,
    OD8_FAN_CURVE_SPEED_2,
    OD8_FAN_CURVE_TEMPERATURE_3,
    OD8_FAN_CURVE_SPEED_3,
    OD8_FAN_CURVE_TEMPERATURE_4,
    OD8_FAN_CURVE_SPEED_4,
    OD8_FAN_CURVE_TEMPERATURE_5,
    OD8_FAN_CURVE_SPEED_5,
    OD8_COUNT
};
#define ADL_OD8_GFXCLK_LIMITS (1 << 0)
#define ADL_OD8_UCLK_MAX (1 << 2)
#define ADL_OD8_POWER_LIMIT (1 << 3)
#define ADL_OD8_FAN_SPEED_MIN (1 << 5)
#define ADL_OD8_TEMPERATURE_SYSTEM (1 << 8)

/// Sensors of the power-management log.
enum ADLSensorType {
    PMLOG_CLK_GFXCLK = 1,
    PMLOG_CLK_MEMCLK = 2,
    PMLOG_TEMPERATURE_EDGE = 8,
    PMLOG_TEMPERATURE_MEM = 9,
    PMLOG_FAN_RPM = 14,
    PMLOG_FAN_PERCENTAGE = 15,
    PMLOG_INFO_ACTIVITY_GFX = 19,
    PMLOG_INFO_ACTIVITY_MEM = 20,
    PMLOG_GFX_VOLTAGE = 21,
    PMLOG_ASIC_POWER = 23,
    PMLOG_TEMPERATURE_HOTSPOT = 27,
};

// ---------------------------------------------------------------------------------------
// Structures (ADL's published layouts)

typedef void* ADL_CONTEXT_HANDLE;
/// The caller's allocator; ADL allocates the lists it returns with it.
typedef void* (*ADL_MAIN_MALLOC_CALLBACK)(int size);

/// One adapter: 1572 bytes.
typedef struct AdapterInfo {
    int iSize;
    int iAdapterIndex;
    char strUDID[ADL_MAX_PATH];
    int iBusNumber;
    int iDeviceNumber;
    int iFunctionNumber;
    int iVendorID;
    char strAdapterName[ADL_MAX_PATH];
    char strDisplayName[ADL_MAX_PATH];
    int iPresent;
    int iExist;
    char strDriverPath[ADL_MAX_PATH];
    char strDriverPathExt[ADL_MAX_PATH];
    char strPNPString[ADL_MAX_PATH];
    int iOSDisplayIndex;
} AdapterInfo, *LPAdapterInfo;

typedef struct ADLMemoryInfo {
    long long iMemorySize;  ///< bytes
    char strMemoryType[ADL_MAX_PATH];
    long long iMemoryBandwidth;  ///< MB/s
} ADLMemoryInfo;

typedef struct ADLBiosInfo {
    char strPartNumber[ADL_MAX_PATH];
    char strVersion[ADL_MAX_PATH];
    char strDate[ADL_MAX_PATH];
} ADLBiosInfo;

// Overdrive 5 (each with its size word, which the caller sets)
typedef struct ADLTemperature {
    int iSize;
    int iTemperature;  ///< millidegrees
} ADLTemperature;

typedef struct ADLFanSpeedValue {
    int iSize;
    int iSpeedType;  ///< ADL_DL_FANCTRL_SPEED_TYPE_*
    int iFanSpeed;
    int iFlags;
} ADLFanSpeedValue;

typedef struct ADLPMActivity {
    int iSize;
    int iEngineClock;  ///< 10 kHz
    int iMemoryClock;  ///< 10 kHz
    int iVddc;         ///< mV
    int iActivityPercent;
    int iCurrentPerformanceLevel;
    int iCurrentBusSpeed;
    int iCurrentBusLanes;
    int iMaximumBusLanes;
    int iReserved;
} ADLPMActivity;

typedef struct ADLODParameterRange {
    int iMin;
    int iMax;
    int iStep;
} ADLODParameterRange;

typedef struct ADLODParameters {
    int iSize;
    int iNumberOfPerformanceLevels;
    int iActivityReportingSupported;
    int iDiscretePerformanceLevels;
    int iReserved;
    ADLODParameterRange sEngineClock;
    ADLODParameterRange sMemoryClock;
    ADLODParameterRange sVddc;
} ADLODParameters;

typedef struct ADLODPerformanceLevel {
    int iEngineClock;  ///< 10 kHz
    int iMemoryClock;  ///< 10 kHz
    int iVddc;         ///< mV
} ADLODPerformanceLevel;

/// Variable length: iSize covers the levels that follow.
typedef struct ADLODPerformanceLevels {
    int iSize;
    int iReserved;
    ADLODPerformanceLevel aLevels[1];
} ADLODPerformanceLevels;

// Overdrive 6
typedef struct ADLOD6ThermalControllerCaps {
    int iCapabilities;  ///< ADL_OD6_TCCAPS_*
    int iFanMinPercent;
    int iFanMaxPercent;
    int iFanMinRPM;
    int iFanMaxRPM;
    int iExtValue;
    int iExtMask;
} ADLOD6ThermalControllerCaps;

typedef struct ADLOD6FanSpeedInfo {
    int iSpeedType;  ///< requested type on input (0: any), types read on output
    int iFanSpeedPercent;
    int iFanSpeedRPM;
    int iExtValue;
    int iExtMask;
} ADLOD6FanSpeedInfo;

typedef struct ADLOD6CurrentStatus {
    int iEngineClock;  ///< 10 kHz
    int iMemoryClock;  ///< 10 kHz
    int iActivityPercent;
    int iCurrentPerformanceLevel;
    int iCurrentBusSpeed;
    int iCurrentBusLanes;
    int iMaximumBusLanes;
    int iExtValue;
    int iExtMask;
} ADLOD6CurrentStatus;

// OverdriveN
typedef struct ADLODNParameterRange {
    int iMode;
    int iMin;
    int iMax;
    int iStep;
    int iDefault;
} ADLODNParameterRange;

typedef struct ADLODNCapabilities {
    int iMaximumNumberOfPerformanceLevels;
    ADLODNParameterRange sEngineClockRange;  ///< 10 kHz
    ADLODNParameterRange sMemoryClockRange;  ///< 10 kHz
    ADLODNParameterRange svddcRange;         ///< mV
    ADLODNParameterRange power;              ///< % of the default power limit
    ADLODNParameterRange powerTuneTemperature;
    ADLODNParameterRange fanTemperature;
    ADLODNParameterRange fanSpeed;  ///< RPM
    ADLODNParameterRange minimumPerformanceClock;
} ADLODNCapabilities;

typedef struct ADLODNPerformanceLevel {
    int iClock;  ///< 10 kHz
    int iVddc;   ///< mV
    int iEnabled;
} ADLODNPerformanceLevel;

/// Variable length: the caller sets iSize and iNumberOfPerformanceLevels.
typedef struct ADLODNPerformanceLevels {
    int iSize;
    int iMode;
    int iNumberOfPerformanceLevels;
    ADLODNPerformanceLevel aLevels[1];
} ADLODNPerformanceLevels;

typedef struct ADLODNFanControl {
    int iMode;
    int iFanControlMode;
    int iCurrentFanSpeedMode;
    int iCurrentFanSpeed;  ///< RPM
    int iTargetFanSpeed;   ///< RPM
    int iTargetTemperature;
    int iMinPerformanceClock;
    int iMinFanLimit;
} ADLODNFanControl;

typedef struct ADLODNPowerLimitSetting {
    int iMode;
    int iTDPLimit;  ///< % above (or below) the default power limit
    int iMaxOperatingTemperature;
} ADLODNPowerLimitSetting;

typedef struct ADLODNPerformanceStatus {
    int iCoreClock;    ///< 10 kHz
    int iMemoryClock;  ///< 10 kHz
    int iDCEFClock;
    int iGFXClock;
    int iUVDClock;
    int iVCEClock;
    int iGPUActivityPercent;
    int iCurrentCorePerformanceLevel;
    int iCurrentMemoryPerformanceLevel;
    int iCurrentDCEFPerformanceLevel;
    int iCurrentGFXPerformanceLevel;
    int iUVDPerformanceLevel;
    int iVCEPerformanceLevel;
    int iCurrentBusSpeed;
    int iCurrentBusLanes;
    int iMaximumBusLanes;
    int iVDDC;  ///< mV
    int iVDDCI;
} ADLODNPerformanceStatus;

// Overdrive 8
typedef struct ADLOD8SingleInitSetting {
    int featureID;
    int minValue;
    int maxValue;
    int defaultValue;
} ADLOD8SingleInitSetting;

typedef struct ADLOD8InitSetting {
    int count;
    int overdrive8Capabilities;
    ADLOD8SingleInitSetting od8SettingTable[OD8_COUNT];
} ADLOD8InitSetting;

typedef struct ADLOD8CurrentSetting {
    int count;
    int Od8SettingTable[OD8_COUNT];
} ADLOD8CurrentSetting;

typedef struct ADLSingleSensorData {
    int supported;
    int value;
} ADLSingleSensorData;

typedef struct ADLPMLogDataOutput {
    int size;
    ADLSingleSensorData sensors[ADL_PMLOG_MAX_SENSORS];
} ADLPMLogDataOutput;

// ---------------------------------------------------------------------------------------
// Main control. The callback is required; iEnumConnectedAdapters is accepted and ignored
// (every adapter is listed). ADL_Main_Control_Create fails without the amdgpu driver.

int ADL_Main_Control_Create(ADL_MAIN_MALLOC_CALLBACK callback, int iEnumConnectedAdapters);
int ADL_Main_Control_Destroy();
int ADL_Main_Control_Refresh();
int ADL2_Main_Control_Create(ADL_MAIN_MALLOC_CALLBACK callback, int iEnumConnectedAdapters,
                             ADL_CONTEXT_HANDLE* context);
int ADL2_Main_Control_Destroy(ADL_CONTEXT_HANDLE context);

// Adapters
int ADL_Adapter_NumberOfAdapters_Get(int* lpNumAdapters);
/// Fills as many whole records as iInputSize bytes hold.
int ADL_Adapter_AdapterInfo_Get(LPAdapterInfo lpInfo, int iInputSize);
int ADL_Adapter_Active_Get(int iAdapterIndex, int* lpStatus);
int ADL_Adapter_MemoryInfo_Get(int iAdapterIndex, ADLMemoryInfo* lpMemoryInfo);
int ADL2_Adapter_NumberOfAdapters_Get(ADL_CONTEXT_HANDLE context, int* lpNumAdapters);
int ADL2_Adapter_AdapterInfo_Get(ADL_CONTEXT_HANDLE context, LPAdapterInfo lpInfo, int iInputSize);
int ADL2_Adapter_Active_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* lpStatus);
/// Version from vbios_version, part number from product_number; no date.
int ADL2_Adapter_VideoBiosInfo_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                   ADLBiosInfo* lpBiosInfo);

int ADL_Overdrive_Caps(int iAdapterIndex, int* iSupported, int* iEnabled, int* iVersion);
int ADL2_Overdrive_Caps(ADL_CONTEXT_HANDLE context, int iAdapterIndex, int* iSupported,
                        int* iEnabled, int* iVersion);

// Overdrive 5: only thermal controller 0; every structure's iSize must match.
int ADL_Overdrive5_Temperature_Get(int iAdapterIndex, int iThermalControllerIndex,
                                   ADLTemperature* lpTemperature);
int ADL_Overdrive5_FanSpeed_Get(int iAdapterIndex, int iThermalControllerIndex,
                                ADLFanSpeedValue* lpFanSpeedValue);
int ADL_Overdrive5_ODParameters_Get(int iAdapterIndex, ADLODParameters* lpOdParameters);
/// The levels of pp_dpm_sclk, each with the memory clock of the same pp_dpm_mclk level (the
/// highest memory level where that table is shorter); as many as iSize holds.
int ADL_Overdrive5_ODPerformanceLevels_Get(int iAdapterIndex, int iDefault,
                                           ADLODPerformanceLevels* lpOdPerformanceLevels);
int ADL_Overdrive5_CurrentActivity_Get(int iAdapterIndex, ADLPMActivity* lpActivity);
int ADL2_Overdrive5_CurrentActivity_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                        ADLPMActivity* lpActivity);

// Overdrive 6
int ADL_Overdrive6_ThermalController_Caps(int iAdapterIndex,
                                          ADLOD6ThermalControllerCaps* lpThermalControllerCaps);
int ADL_Overdrive6_Temperature_Get(int iAdapterIndex, int* lpTemperature);
int ADL_Overdrive6_FanSpeed_Get(int iAdapterIndex, ADLOD6FanSpeedInfo* lpFanSpeedInfo);
int ADL_Overdrive6_CurrentStatus_Get(int iAdapterIndex, ADLOD6CurrentStatus* lpCurrentStatus);

// OverdriveN
int ADL2_OverdriveN_Capabilities_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                     ADLODNCapabilities* lpODCapabilities);
/// The levels of pp_dpm_sclk; levels the caller asks beyond the table read 0, disabled.
int ADL2_OverdriveN_SystemClocks_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                     ADLODNPerformanceLevels* lpODPerformanceLevels);
/// The levels of pp_dpm_mclk, the same way.
int ADL2_OverdriveN_MemoryClocks_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                     ADLODNPerformanceLevels* lpODPerformanceLevels);
int ADL2_OverdriveN_FanControl_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                   ADLODNFanControl* lpODFanSpeed);
int ADL2_OverdriveN_PowerLimit_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                   ADLODNPowerLimitSetting* lpODPowerLimit);
int ADL2_OverdriveN_Temperature_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                    int iTemperatureType, int* iTemperature);
int ADL2_OverdriveN_PerformanceStatus_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                          ADLODNPerformanceStatus* lpODPerformanceStatus);

// Overdrive 8: only for adapters reporting version 8.
int ADL2_Overdrive8_Init_Setting_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                     ADLOD8InitSetting* lpInitSetting);
int ADL2_Overdrive8_Current_Setting_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                        ADLOD8CurrentSetting* lpCurrentSetting);
/// The list is allocated with the context's callback; the caller frees it.
int ADL2_Overdrive8_Init_SettingX2_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                       int* lpOverdrive8Capabilities, int* lpNumberOfFeatures,
                                       ADLOD8SingleInitSetting** lppInitSettingList);
int ADL2_Overdrive8_Current_SettingX2_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                          int* lpNumberOfFeatures, int** lppCurrentSettingList);
int ADL2_New_QueryPMLogData_Get(ADL_CONTEXT_HANDLE context, int iAdapterIndex,
                                ADLPMLogDataOutput* lpDataOutput);
