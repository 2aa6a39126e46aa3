#include "settings/startup_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/thread/thread_util.h"

namespace plashwerk {

StartupOptions g_startup_options;

void setDefaultStartupOptions(StartupOptions& o) {
    o = StartupOptions{};
    o.show_startup_dialog = 1;
    o.display_menu_bar = 1;
    o.display_score = 1;
    o.display_version = 0;
    o.width = 800;
    o.height = 600;
    o.msaa = 0;
    o.fullscreen = 0;
    o.run_mode = kRunModeStabilityTest;
    o.preset_1080 = false;
    o.preset_720 = false;
    o.max_time = 60000;
    o.max_frames = 0;
    o.time_based_benchmark = true;
    o.num_cpu_cores = logicalProcessorCount();
    o.xtreme_burning = 0;
    o.log_temperature = false;
    o.log_score = false;
    o.add_post_fx = false;
    o.use_gpuz = true;
    o.display_information = true;
    o.top_left_osi_y_offset = 0;
    o.particles_rate = 500;
    o.particles_rate_xtreme = 2000;
    o.num_particles = 120000;
    o.num_total_particles = 120000;
    o.use_particle_count = true;
    o.particles_lifetime = 15.0f;
    o.use_sph = true;
    o.render_scene = true;
    o.render_slowdown_delay = 0;
    o.physx_cpu = true;
    o.multithreaded_physx = true;
    o.multicore_cpu_physx = true;
    o.threads_sync = true;
    o.unlock_cpu_cores_number = false;
    o.physx_mutex = false;
    o.alt_physx_threading = false;
    o.fluid_per_emitter = true;
    o.num_fluid_emitters = 4;
    o.physx_fluid_velocity = 100.0f;
    o.physx_fluid_emitter_size = 0.2f;
    o.particle_type = 2;
    o.thread_affinity = false;
    o.light_pos_x = 15.0f;
    o.light_pos_y = 30.0f;
    o.light_pos_z = 0.0f;
    o.gpu_temp_spike_filter_threshold = 20.0f;
    o.enable_gpu_temp_spike_filter = true;
    o.physx_gpu_heap_size = 256;
    o.increase_graphx_workload = false;
    o.preset_run = false;
    o.display_latest_news = false;
    o.z2o_physx_gpu_mem = false;
    o.submit_score_user_email[0] = '\0';
}

namespace {

// "%d" as a scan reads it: optional blanks, an optional sign, then digits. Values beyond
// the int range saturate instead of wrapping.
bool scanInt(const char* text, int& out) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (end == text) return false;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    out = static_cast<int>(value);
    return true;
}

// "%f" as a scan reads it; values that are not finite numbers are refused, since no
// setting has a meaning for NaN or infinity.
bool scanFloat(const char* text, float& out) {
    char* end = nullptr;
    float value = std::strtof(text, &end);
    if (end == text || !std::isfinite(value)) return false;
    out = value;
    return true;
}

enum class Kind { Flag, Int, Float, Osi };

struct CommandLineOption {
    const char* literal;  ///< searched anywhere in the text
    const char* pattern;  ///< literal plus "=" for valued options: the number follows it
    Kind kind;
    int flag_value;       ///< for flags: the value stored
    int StartupOptions::*int_field = nullptr;
    bool StartupOptions::*bool_field = nullptr;
    float StartupOptions::*float_field = nullptr;
};

using S = StartupOptions;

// The grammar, in the order the options are applied: later rows win for the same field.
const CommandLineOption kOptions[] = {
    {"/version", nullptr, Kind::Flag, 1, &S::display_version},
    {"/nogui", nullptr, Kind::Flag, 0, &S::show_startup_dialog},
    {"/nomenubar", nullptr, Kind::Flag, 0, &S::display_menu_bar},
    {"/noscore", nullptr, Kind::Flag, 0, &S::display_score},
    {"/fullscreen", nullptr, Kind::Flag, 1, &S::fullscreen},
    {"/nofullscreen", nullptr, Kind::Flag, 0, &S::fullscreen},
    {"/width=", "/width=", Kind::Int, 0, &S::width},
    {"/height=", "/height=", Kind::Int, 0, &S::height},
    {"/msaa=", "/msaa=", Kind::Int, 0, &S::msaa},
    {"/run_mode=", "/run_mode=", Kind::Int, 0, &S::run_mode},
    {"/max_time=", "/max_time=", Kind::Int, 0, &S::max_time},
    {"/max_frames=", "/max_frames=", Kind::Int, 0, &S::max_frames},
    {"/physx_cpu", nullptr, Kind::Flag, 1, nullptr, &S::physx_cpu},
    {"/preset_1080", nullptr, Kind::Flag, 1, nullptr, &S::preset_1080},
    {"/preset_720", nullptr, Kind::Flag, 1, nullptr, &S::preset_720},
    {"/xtreme_burning", nullptr, Kind::Flag, 1, &S::xtreme_burning},
    {"/log_temperature", nullptr, Kind::Flag, 1, nullptr, &S::log_temperature},
    {"/log_score", nullptr, Kind::Flag, 1, nullptr, &S::log_score},
    {"/add_post_processing", nullptr, Kind::Flag, 1, nullptr, &S::add_post_fx},
    {"/no_sph", nullptr, Kind::Flag, 0, nullptr, &S::use_sph},
    {"/single_threaded_physx", nullptr, Kind::Flag, 0, nullptr, &S::multithreaded_physx},
    {"/use_physx_scene_mutex", nullptr, Kind::Flag, 1, nullptr, &S::physx_mutex},
    {"/num_fluid_emitters=", "/num_fluid_emitters=", Kind::Int, 0, &S::num_fluid_emitters},
    {"/physx_fluid_emitter_size=", "/physx_fluid_emitter_size=", Kind::Float, 0, nullptr,
     nullptr, &S::physx_fluid_emitter_size},
    {"/disable_scene_rendering", nullptr, Kind::Flag, 0, nullptr, &S::render_scene},
    {"/render_slowdown_delay", "/render_slowdown_delay=", Kind::Int, 0,
     &S::render_slowdown_delay},
    {"/physx_gpu_several_emitters_per_fluid", nullptr, Kind::Flag, 0, nullptr,
     &S::fluid_per_emitter},
    {"/osi", "/osi=", Kind::Osi, 0, nullptr, &S::display_information},
    {"/top_left_osi_y_offset", "/top_left_osi_y_offset=", Kind::Int, 0,
     &S::top_left_osi_y_offset},
    {"/gpu_temp_spike_filter_threshold", "/gpu_temp_spike_filter_threshold=", Kind::Float, 0,
     nullptr, nullptr, &S::gpu_temp_spike_filter_threshold},
    {"/disable_gpu_temp_spike_filter", nullptr, Kind::Flag, 0, nullptr,
     &S::enable_gpu_temp_spike_filter},
    {"/physx_gpu_heap_size", "/physx_gpu_heap_size=", Kind::Int, 0, &S::physx_gpu_heap_size},
};

// The text after the pattern when the match continues with it, else null.
const char* valueAfter(const char* match, const char* pattern) {
    const size_t n = std::strlen(pattern);
    return std::strncmp(match, pattern, n) == 0 ? match + n : nullptr;
}

void applyOption(StartupOptions& o, const CommandLineOption& opt, const char* match) {
    switch (opt.kind) {
        case Kind::Flag:
            if (opt.int_field) o.*opt.int_field = opt.flag_value;
            if (opt.bool_field) o.*opt.bool_field = opt.flag_value != 0;
            break;
        case Kind::Int: {
            const char* value = valueAfter(match, opt.pattern);
            int number = 0;
            if (value && scanInt(value, number)) {
                if (opt.int_field == &S::num_fluid_emitters && number == 0) number = 1;
                o.*opt.int_field = number;
            }
            break;
        }
        case Kind::Float: {
            const char* value = valueAfter(match, opt.pattern);
            float number = 0.0f;
            if (value && scanFloat(value, number)) o.*opt.float_field = number;
            break;
        }
        case Kind::Osi: {
            const char* value = valueAfter(match, opt.pattern);
            int number = 0;
            if (!value || !scanInt(value, number)) number = 0;
            o.*opt.bool_field = number != 0;
            break;
        }
    }
}

}  // namespace

void parseCommandLine(StartupOptions& options, const char* command_line) {
    if (!command_line) return;
    for (const CommandLineOption& opt : kOptions) {
        if (const char* match = std::strstr(command_line, opt.literal))
            applyOption(options, opt, match);
    }
}

std::string joinCommandLine(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc && argv[i]; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

void applyPreset(StartupOptions& o, Preset preset, const PresetDialogState* dialog) {
    const bool p1080 = preset == Preset::P1080;
    o.fullscreen = 1;
    o.width = p1080 ? 1920 : 1280;
    o.height = p1080 ? 1080 : 720;
    o.num_fluid_emitters = p1080 ? 7 : 3;
    o.num_particles = p1080 ? 60000 : 30000;
    o.msaa = 0;
    o.increase_graphx_workload = true;
    o.xtreme_burning = 0;
    o.log_temperature = false;
    o.add_post_fx = false;
    o.multithreaded_physx = true;
    o.multicore_cpu_physx = true;
    o.threads_sync = true;
    o.unlock_cpu_cores_number = false;
    o.max_time = 60000;
    o.time_based_benchmark = true;
    o.run_mode = kRunModeBenchmark;
    o.particle_type = 2;
    o.preset_run = true;
    o.alt_physx_threading = false;
    if (dialog) {
        o.physx_cpu = !dialog->physx_gpu_checked;
        o.z2o_physx_gpu_mem = dialog->z2o_checked;
    }
}

}  // namespace plashwerk
