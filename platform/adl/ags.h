#pragma once
// AMD GPU Services (AGS) as the AMD back end of the GPU library calls it: agsInit lists the
// AMD GPUs of the machine, agsDeInit releases what it returned. Answered on Linux from the
// display-class PCI devices of vendor 0x1002 under sysfs (amdgpu_sysfs.h), whatever driver
// is bound to them.
//
// Each device carries its PCI ids, a name (the card's product name, the PCI id database's
// name or "AMD Radeon Graphics"), an architecture code, the figures sysfs knows (highest
// shader and memory clocks of the clock tables, video memory size, primary device) and its
// ADL adapter index, which is its position in the same PCI address order ADL uses.

#include <cstdint>

enum AGSReturnCode {
    AGS_SUCCESS = 0,
    AGS_FAILURE = 1,
    AGS_INVALID_ARGS = 2,
    AGS_OUT_OF_MEMORY = 3,
};

/// Architecture codes of AGSDeviceInfo::architectureVersion.
enum AGSArchitecture {
    AGS_ARCHITECTURE_UNKNOWN = 0,
    AGS_ARCHITECTURE_PRE_GCN = 1,
    AGS_ARCHITECTURE_GCN1 = 2,
    AGS_ARCHITECTURE_GCN2 = 3,
    AGS_ARCHITECTURE_GCN3 = 4,
    AGS_ARCHITECTURE_GCN4 = 5,
    AGS_ARCHITECTURE_VEGA = 6,
    AGS_ARCHITECTURE_RDNA = 7,
};

struct AGSContext;

struct AGSConfiguration {
    int crossfireMode = 0;  ///< accepted and ignored
};

struct AGSDeviceInfo {
    const char* adapterString;  ///< owned by the context
    int architectureVersion;    ///< AGSArchitecture
    int vendorId;
    int deviceId;
    int revisionId;
    int numCUs;           ///< 0: not published by the driver
    int numROPs;          ///< 0: not published by the driver
    int coreClock;        ///< MHz, highest shader clock level
    int memoryClock;      ///< MHz, highest memory clock level
    int memoryBandwidth;  ///< MB/s, 0: not published by the driver
    float teraFlops;      ///< 0: not published by the driver
    int isPrimaryDevice;  ///< the adapter the firmware booted on
    long long localMemoryInBytes;
    int adlAdapterIndex;
};

struct AGSGPUInfo {
    int agsVersionMajor;
    int agsVersionMinor;
    int agsVersionPatch;
    int numDevices;
    AGSDeviceInfo* devices;  ///< owned by the context
};

/// Lists the devices; the context owns the list until agsDeInit. AGS_INVALID_ARGS for a
/// null argument; AGS_FAILURE when the PCI devices cannot be listed.
AGSReturnCode agsInit(AGSContext** context, const AGSConfiguration* config, AGSGPUInfo* gpuInfo);
AGSReturnCode agsDeInit(AGSContext* context);

/// The architecture of an AMD device: the graphics IP version the driver publishes
/// (ip_discovery), else a short list of known device ids; unknown otherwise.
int agsArchitectureOf(uint32_t device_id, int graphics_ip_major);
