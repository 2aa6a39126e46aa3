#pragma once
// One stored score: the fields of a decoded submission as the score server keeps them, plus
// the id and the time the server gave it. The account password is never kept: the server
// has no accounts.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plashwerk::server {

/// One GPU slot of a submission; an empty slot holds 0, 0 and "0_0_0".
struct GpuSlot {
    int vendor_id = 0;
    int device_id = 0;
    std::string maxima = "0_0_0";  ///< core_memory_millivolts_celsius_load_power, underscores
};

struct ScoreEntry {
    int64_t id = 0;            ///< given by the store; 0 before storing
    int64_t submitted_at = 0;  ///< seconds since 1970 (UTC), given by the store

    int global_score = 0;
    int max_time_ms = 0;
    int time_based = 0;
    int width = 0;
    int height = 0;
    int msaa = 0;
    int fullscreen = 0;
    int gpu_vendor_id = 0;
    int gpu_device_id = 0;
    int cpu_mhz = 0;
    int gpu_count = 0;
    std::string nickname;
    std::string cpu_name;
    std::string os_name;
    std::string renderer;
    std::string driver;
    std::string mac_address;
    int physx_system_version = 0;
    int physx_device = 0;
    std::string temperatures;  ///< "start_end" in whole degrees
    std::string clocks;        ///< "core_memory_0" in whole MHz
    std::string run_details;   ///< fifteen whole numbers joined by '_'
    std::array<GpuSlot, 4> gpus;
    std::string account_email;
};

/// The numbers of run_details by name; every value is 0 when the text does not hold fifteen
/// whole numbers (the codec has checked it, so that only happens to hand-made entries).
struct RunDetails {
    int global_score = 0;
    int physx_score = 0;
    int graphx_score = 0;
    int num_particles = 0;
    int num_fluid_emitters = 0;
    int multithreaded_physx = 0;
    int unsynchronised_threads = 0;
    int add_post_fx = 0;
    int particles_lifetime = 0;
    int emitter_rate = 0;
    int use_sph = 0;
    int fluid_velocity = 0;
    int sps_avg = 0;
    int fps_avg = 0;
    int multicore_cpu_physx = 0;
};

RunDetails parseRunDetails(const std::string& text);

/// Underscore-separated whole numbers ("41_78", "1980_10501_0"); nullopt unless the text
/// holds exactly count of them.
std::optional<std::vector<int>> parseNumbers(std::string_view text, size_t count);

/// The settings that make two scores comparable: the same resolution, anti-aliasing,
/// particle and emitter counts, and physics on the same kind of device. Written as
/// "1920x1080_msaa0_p60000_e7_cpu" in the database and in list addresses.
struct SettingsKey {
    int width = 0;
    int height = 0;
    int msaa = 0;
    int particles = 0;
    int emitters = 0;
    bool gpu_physics = false;

    static SettingsKey of(const ScoreEntry& entry);
    /// nullopt for anything but the exact form text() writes.
    static std::optional<SettingsKey> parse(std::string_view text);
    std::string text() const;
    bool operator==(const SettingsKey&) const = default;
};

/// The settings of the program's two fixed benchmarks, each with physics on either device.
struct SettingsPreset {
    const char* label;  ///< "Preset:1080, physics on the CPU"
    SettingsKey key;
};
inline constexpr SettingsPreset kSettingsPresets[] = {
    {"Preset:1080, CPU physics", {1920, 1080, 0, 60000, 7, false}},
    {"Preset:1080, GPU physics", {1920, 1080, 0, 60000, 7, true}},
    {"Preset:720, CPU physics", {1280, 720, 0, 30000, 3, false}},
    {"Preset:720, GPU physics", {1280, 720, 0, 30000, 3, true}},
};

/// A filter for the lists: an empty renderer and a gpu with vendor_id -1 match everything.
struct GpuId {
    int vendor_id = -1;
    int device_id = -1;
    bool any() const { return vendor_id < 0; }
};

}  // namespace plashwerk::server
