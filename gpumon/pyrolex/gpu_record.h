#pragma once
// One GPU as the GPU library knows it, and the readings its back ends return.

#include <cstdint>
#include <mutex>
#include <string>

namespace plashwerk {

/// Which back end serves a GPU. Values other than NVIDIA and AMD are display adapters of
/// other vendors (they carry the adapter's vendor class: 0 none, 3 S3, 4 Intel, 5 other)
/// and have no sensors.
enum GpuKind : int { kGpuKindOther = 0, kGpuKindNvidia = 1, kGpuKindAmd = 2 };
inline constexpr int kGpuBackendKinds = 3;  ///< kinds 0..2 may have a back end

/// Vendor class of a PCI vendor id.
enum VendorClass : int {
    kVendorNone = 0,
    kVendorNvidia = 1,
    kVendorAmd = 2,
    kVendorS3 = 3,
    kVendorIntel = 4,
    kVendorOther = 5,
};
inline constexpr uint32_t kPciVendorNvidia = 0x10DE;
inline constexpr uint32_t kPciVendorAmd = 0x1002;
inline constexpr uint32_t kPciVendorS3 = 0x5333;
inline constexpr uint32_t kPciVendorIntel = 0x8086;

inline VendorClass vendorClassOf(uint32_t vendor_id) {
    switch (vendor_id) {
        case 0:
            return kVendorNone;
        case kPciVendorNvidia:
            return kVendorNvidia;
        case kPciVendorAmd:
            return kVendorAmd;
        case kPciVendorS3:
            return kVendorS3;
        case kPciVendorIntel:
            return kVendorIntel;
        default:
            return kVendorOther;
    }
}

/// Temperatures of one GPU, °C. A back end writes only the sensors it has.
struct GpuTemperatures {
    float gpu = 0, board = 0, memory = 0, power_supply = 0;
    float hot_spot = 0;  ///< junction temperature, °C; 0 = no such sensor
};

/// Why a GPU's clocks are held down: the reason bits of NVIDIA's clocks event reasons,
/// which the other vendors' readings are mapped onto.
enum ClockEvent : uint32_t {
    kClockEventIdle = 0x1,
    kClockEventApplicationClocks = 0x2,
    kClockEventPowerCap = 0x4,
    kClockEventHardwareSlowdown = 0x8,
    kClockEventSyncBoost = 0x10,
    kClockEventSoftwareThermal = 0x20,
    kClockEventHardwareThermal = 0x40,
    kClockEventPowerBrake = 0x80,
    kClockEventDisplayClocks = 0x100,
};

/// Clocks of the current performance state.
struct PerfStateClocks {
    int pstate = -1;
    float gpu_clock = 0, memory_clock = 0, shader_clock = 0;  ///< MHz
    float voltage = 0;                                        ///< V
};

/// One performance level: the 20-byte record of the level tables.
struct PerfLevel {
    int32_t id = 0;
    float gpu_clock = 0, memory_clock = 0, shader_clock = 0;  ///< MHz
    float voltage = 0;                                        ///< V
};

/// Clocks, voltage and power of one GPU for one monitoring pass, as its back end reads
/// them. Each group carries whether it was read; the monitor keeps its previous value of
/// every field whose group was not.
struct ClockPowerReading {
    /// Measured (not performance-state) clocks, MHz.
    bool measured_clocks = false;
    float true_gpu_clock = 0, true_memory_clock = 0;
    /// Measured core voltage, V.
    bool core_voltage_read = false;
    float core_voltage = 0;

    /// How the clocks of the GPU's state are given: none, the performance-state clocks
    /// below, or (boost-clock GPUs) the base and boost clocks with the power draw.
    enum class State { None, PerfState, Boost } state = State::None;

    // State::PerfState. state_read: the clocks were read (AMD: the highest level of its
    // table, always); current_pstate: they are the driver's current state, numbered
    // clocks.pstate.
    bool state_read = false;
    bool current_pstate = false;
    PerfStateClocks clocks;

    // State::Boost. The base and boost clocks are 0 when their read failed.
    float base_clock = 0, boost_clock = 0;  ///< MHz
    bool power_read = false;
    float power_percent = 0, power_mw = 0;  ///< % of TDP, mW
    bool power_limit_read = false;
    float power_limit_percent = 0;
};

/// The latest readings, written by the library after each successful query.
struct GpuReadings {
    GpuTemperatures temperatures;
    float fan_percent = 0, fan_rpm = 0;
    float gpu_usage = 0, frame_buffer_usage = 0, video_engine_usage = 0;  ///< %
    uint32_t memory_total_kb = 0, memory_available_kb = 0;
    float memory_usage = 0;  ///< %
    PerfStateClocks clocks;
    float true_gpu_clock = 0, true_memory_clock = 0;  ///< MHz
    float core_voltage = 0;                           ///< V
    float power_percent = 0, power_mw = 0, power_limit_percent = 0;
};

/// What the registry holds about an adapter's driver.
struct AdapterDriverInfo {
    std::string bios;
    uint32_t memory_mb = 0;
    bool radeon_software = false;
    std::string driver_version, driver_date, catalyst_version, release_version;
    std::string adapter_string, opengl_driver_name;
};

struct GpuRecord {
    int kind = kGpuKindOther;
    int index = 0;          ///< position at creation (display-device entry for other vendors)
    int bus_id = -1;        ///< PCI bus number, -1 when the back end gives none
    int backend_slot = -1;  ///< the back end's own index for this GPU

    uint32_t vendor_id = 0, device_id = 0, subsys_vendor_id = 0, subsys_device_id = 0;
    uint32_t revision_id = 0;
    char revision_text[3] = "";  ///< two hex digits
    char subsys_text[9] = "";    ///< the SUBSYS_ value, eight hex digits

    // Texts, at most 127 characters each.
    char full_name[128] = "";
    char description[128] = "";     ///< of the display device
    char device_id_text[128] = "";  ///< of the display device
    char registry_key[128] = "";
    char codename[128] = "";
    char bios_version[128] = "";
    char driver_version[128] = "";
    char memory_type[32] = "";

    int cores = 0;
    int memory_size_mb = 0;
    int tdp_watts = 0;
    int table_row = -1;  ///< device-table row, -1 when not found
    int texture_units = 0, rops = 0;

    AdapterDriverInfo driver_info;

    /// Replaces the latest readings under their lock: queries may run on several threads.
    template <typename F>
    void updateReadings(F&& update) {
        std::lock_guard lock(m_readings_mutex);
        update(m_readings);
    }
    GpuReadings readings() const {
        std::lock_guard lock(m_readings_mutex);
        return m_readings;
    }

  private:
    mutable std::mutex m_readings_mutex;
    GpuReadings m_readings;
};

/// Copies text into a fixed buffer, cut to fit and always terminated.
template <size_t N>
void copyTo(char (&out)[N], const char* text) {
    size_t i = 0;
    if (text)
        for (; i + 1 < N && text[i]; ++i) out[i] = text[i];
    out[i] = '\0';
}

}  // namespace plashwerk
