#pragma once
// The AMD back end of the GPU library, over AGS and ADL (platform/adl).
//
// Enumeration lists the AMD GPUs that AGS reports, then binds each to its ADL adapter,
// reads the Overdrive version the driver offers for it (5, 6, 7 for OverdriveN, or 8) and
// its static data, and picks that generation's reader once. The queries (temperatures,
// usage, fan, current clocks) go through that reader and ask ADL afresh each time; the
// table of performance levels is read once, on the first request, and kept. The monitor's
// clocks are the highest of that table. Without AGS there are no AMD GPUs; without ADL (the
// library, a required function, or its initialisation) they are listed without sensors.
//
// The back end reaches AGS and ADL only through AmdInterfaces: by default the platform's,
// in tests wrappers that make a call fail or hide a function.

#include <memory>

#include "gpumon/pyrolex/vendor_backend.h"
#include "platform/adl/adl.h"
#include "platform/adl/ags.h"

namespace plashwerk {

struct AmdInterfaces {
    decltype(&::agsInit) ags_init = &::agsInit;
    decltype(&::agsDeInit) ags_deinit = &::agsDeInit;
    decltype(&::adlLoadLibrary) load_library = &::adlLoadLibrary;
    decltype(&::adlGetProcAddress) get_proc_address = &::adlGetProcAddress;
    decltype(&::adlFreeLibrary) free_library = &::adlFreeLibrary;
};

std::unique_ptr<VendorBackend> createAmdBackend(const AmdInterfaces& interfaces = AmdInterfaces{});

/// "Unknown", "PreGCN", "GCN1", "GCN2", "GCN3", "GCN4", "Vega", "RDNA" for AGS's codes 0
/// to 7; "Unknown" for any other.
const char* amdArchitectureName(int code);

/// The AMD back end's own view of one of its GPUs, for tests and diagnostics; false when
/// the record is not one of its GPUs.
struct AmdGpuDetails {
    int adl_adapter_index = -1;
    int overdrive_version = 0;
    bool has_sensors = false;
    const char* architecture = "Unknown";
    bool od6_thermal_controller = false;
    bool odn_temperature = false;
    int od8_feature_count = 0;
    float hot_spot_celsius = 0, memory_celsius = 0;
    float memory_activity = 0;
    long long memory_bandwidth = 0;
    bool perf_table_built = false;
};
bool amdGpuDetails(VendorBackend& backend, const GpuRecord& record, AmdGpuDetails& details);

}  // namespace plashwerk
