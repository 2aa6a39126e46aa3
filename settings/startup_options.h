#pragma once
// Every run setting in one record, and the ways it is filled.
//
// Layers, each overwriting the one before: defaults, the options file, the command line,
// then the startup dialog. The shell owns the one record of the process and writes it on
// the main thread before the run threads start (and from the dialog between runs); each
// subsystem is handed the values it needs. The fields' defaults, command-line spellings and
// file attributes are one table (settings_fields.h).

#include <cstdint>
#include <string>

#include "settings/run_kinds.h"

namespace plashwerk {

struct StartupOptions {
    int show_startup_dialog;
    int display_menu_bar;
    int display_score;
    int display_version;
    int width;
    int height;
    int msaa;
    int fullscreen;
    int run_mode;  ///< 1 benchmark, 2 stability test
    bool preset_1080;
    bool preset_720;
    int max_time;  ///< milliseconds
    int max_frames;
    bool time_based_benchmark;
    int num_cpu_cores;
    int xtreme_burning;
    bool log_temperature;
    bool log_score;
    bool add_post_fx;
    bool use_gpuz;
    bool display_information;
    int top_left_osi_y_offset;
    int particles_rate;
    int particles_rate_xtreme;
    int num_particles;
    int num_total_particles;
    bool use_particle_count;
    float particles_lifetime;  ///< seconds
    bool use_sph;
    bool render_scene;
    int render_slowdown_delay;  ///< milliseconds
    bool physx_cpu;
    bool multithreaded_physx;
    bool multicore_cpu_physx;
    bool threads_sync;
    bool unlock_cpu_cores_number;
    bool physx_mutex;
    bool alt_physx_threading;
    bool fluid_per_emitter;
    int num_fluid_emitters;
    float physx_fluid_velocity;
    float physx_fluid_emitter_size;
    int particle_type;  ///< 2 smiley, 1 lava, 0 point
    bool thread_affinity;
    float light_pos_x;
    float light_pos_y;
    float light_pos_z;
    float gpu_temp_spike_filter_threshold;  ///< °C
    bool enable_gpu_temp_spike_filter;
    int physx_gpu_heap_size;  ///< MB
    bool increase_graphx_workload;
    bool preset_run;
    bool display_latest_news;
    bool z2o_physx_gpu_mem;
    char submit_score_user_email[128];
    /// "HOST[:PORT]" of the score server; empty when not given on the command line (the
    /// environment, then "localhost", decide then). Never written to the options file.
    std::string score_server;
    /// Where a finished benchmark's results go as one JSON document; empty: nowhere.
    /// Command line only, never stored in the options file.
    std::string results_json;
    /// Seconds a stability test runs before it ends by itself with its verdict; 0 (or
    /// less): until stopped. Command line only, never stored in the options file.
    int stability_time;
    /// °C above which a stability test counts every second as a fault; 0 (or less): off.
    /// Command line only.
    int max_celsius;
    /// Where the HTML report of the run goes; empty: nowhere. Command line only.
    std::string report;
};

/// Fills every field with its default; num_cpu_cores comes from the system.
void setDefaultStartupOptions(StartupOptions& options);

/// Applies the command-line grammar to the record. Never fails, never prints.
void parseCommandLine(StartupOptions& options, const char* command_line);

/// The usage text: one line per command-line option with what it does and the default of
/// the setting it changes, in the order the options are applied.
std::string formatUsage();

/// True for an argument that asks for the usage text: "--help", "-h" or "/?".
bool isHelpRequest(const char* argument);

/// Joins argv[1..argc-1] with single blanks: the one text the parser searches.
std::string joinCommandLine(int argc, char** argv);

enum class Preset { P1080, P720 };

/// Controls of the startup dialog that a preset reads when applied from it.
struct PresetDialogState {
    bool physx_gpu_checked = false;
    bool z2o_checked = false;
};

/// Applies a preset to the record. With a dialog, physx_cpu and z2o_physx_gpu_mem come
/// from its boxes; without one (null) they keep their values. The run-state side of a
/// preset (size, mode, time limit, stop request) is the caller's.
void applyPreset(StartupOptions& options, Preset preset, const PresetDialogState* dialog);

}  // namespace plashwerk
