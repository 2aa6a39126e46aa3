#include "settings/settings_fields.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace plashwerk {
namespace {

using S = StartupOptions;
using F = FileForm;
using O = OptionForm;

constexpr FieldRef i(int S::*field) {
    return {field, nullptr, nullptr, nullptr};
}
constexpr FieldRef b(bool S::*field) {
    return {nullptr, field, nullptr, nullptr};
}
constexpr FieldRef f(float S::*field) {
    return {nullptr, nullptr, field, nullptr};
}
constexpr FieldRef t(char (S::*field)[128]) {
    return {nullptr, nullptr, nullptr, field};
}
constexpr FieldRef s(std::string S::*field) {
    return {nullptr, nullptr, nullptr, nullptr, field};
}

constexpr CommandLineSpelling flag(const char* literal, int value, const char* help) {
    return {literal, O::Flag, value, help};
}
constexpr CommandLineSpelling number(const char* literal, const char* help) {
    return {literal, O::Number, 0, help};
}

// Record order. The two ranks give the attribute's place when the file is read and written;
// the reader's walk differs from the written layout, and each is fixed, so that a file
// written by any version of the program reads back, and is written again, byte for byte.
// clang-format off
const SettingField kFields[] = {
//   name                          field                             default  command line                                                 file            format   read write
    {"show_startup_dialog",        i(&S::show_startup_dialog),        1,      {flag("/nogui", 0, "start at once from the settings, without the startup dialog")}},
    {"display_menu_bar",           i(&S::display_menu_bar),           1,      {flag("/nomenubar", 0, "no menu bar on the windowed main window")},                                      F::Int,         nullptr,  1,  1},
    {"display_score",              i(&S::display_score),              1,      {flag("/noscore", 0, "no results after a benchmark")}},
    {"display_version",            i(&S::display_version),            0,      {flag("/version", 1, "show the version and exit")},                                        F::Int,         nullptr,  2,  2},
    {"width",                      i(&S::width),                      800,    {number("/width=", "window or screen width in pixels")},                                          F::Int,         nullptr,  3,  3},
    {"height",                     i(&S::height),                     600,    {number("/height=", "window or screen height in pixels")},                                         F::Int,         nullptr,  4,  4},
    {"msaa",                       i(&S::msaa),                       0,      {number("/msaa=", "multisample count of the render window, 0 for none")},                                           F::Int,         nullptr,  5,  5},
    {"fullscreen",                 i(&S::fullscreen),                 0,      {flag("/fullscreen", 1, "run in full screen"), flag("/nofullscreen", 0, "run in a window (wins over /fullscreen)")},           F::Int,         nullptr,  6,  6},
    {"run_mode",                   i(&S::run_mode),                   int(RunMode::StabilityTest), {number("/run_mode=", "1 benchmark, 2 stability test (runs until stopped)")},                        F::RunMode,     nullptr,  7,  7},
    {"preset_1080",                b(&S::preset_1080),                0,      {flag("/preset_1080", 1, "apply the 1920x1080 benchmark preset")}},
    {"preset_720",                 b(&S::preset_720),                 0,      {flag("/preset_720", 1, "apply the 1280x720 benchmark preset (wins over /preset_1080)")}},
    {"max_time",                   i(&S::max_time),                   60000,  {number("/max_time=", "benchmark length in milliseconds")},                                       F::Int,         nullptr,  9,  9},
    {"max_frames",                 i(&S::max_frames),                 0,      {number("/max_frames=", "frame limit, kept for the record (every run is time-based)")},                                     F::Int,         nullptr, 10, 10},
    {"time_based_benchmark",       b(&S::time_based_benchmark),       1,      {},                                                           F::Bool,        nullptr,  8,  8},
    // The logical processor count replaces this default when the defaults are set.
    {"num_cpu_cores",              i(&S::num_cpu_cores),              1,      {}},
    {"xtreme_burning",             i(&S::xtreme_burning),             0,      {flag("/xtreme_burning", 1, "emit at the extreme rate when the particle count is not used")},                                 F::Int,         nullptr, 11, 11},
    {"log_temperature",            b(&S::log_temperature),            0,      {flag("/log_temperature", 1, "write the GPU monitoring logs (XML and CSV) in the program folder")},                                F::Bool,        nullptr, 12, 12},
    {"log_score",                  b(&S::log_score),                  0,      {flag("/log_score", 1, "append the scores row to ./Plashwerk_Scores.csv after a benchmark")},                                      F::Bool,        nullptr, 13, 13},
    {"add_post_fx",                b(&S::add_post_fx),                0,      {flag("/add_post_processing", 1, "add the bloom post-processing pass")},                            F::Bool,        nullptr, 14, 14},
    {"use_gpuz",                   b(&S::use_gpuz),                   1,      {},                                                           F::Bool,        nullptr, 38, 38},
    {"display_information",        b(&S::display_information),        1,      {{"/osi", O::OnIfNonZero, 0, "on-screen information on for N other than 0, off for /osi alone"}},                                F::Bool,        nullptr, 39, 39},
    {"top_left_osi_y_offset",      i(&S::top_left_osi_y_offset),      0,      {number("/top_left_osi_y_offset", "move the on-screen information down N pixels")}},
    {"particles_rate",             i(&S::particles_rate),             500,    {},                                                           F::Int,         nullptr, 28, 33},
    {"particles_rate_xtreme",      i(&S::particles_rate_xtreme),      2000,   {},                                                           F::Int,         nullptr, 27, 32},
    {"num_particles",              i(&S::num_particles),              120000, {}},
    {"num_total_particles",        i(&S::num_total_particles),        120000, {},                                                           F::Int,         nullptr, 25, 25},
    {"use_particle_count",         b(&S::use_particle_count),         1,      {},                                                           F::Bool,        nullptr, 24, 24},
    {"particles_lifetime",         f(&S::particles_lifetime),         15.0,   {},                                                           F::WholeReal,   "%.2f",  29, 34},
    {"use_sph",                    b(&S::use_sph),                    1,      {flag("/no_sph", 0, "simulate the fluids without SPH")}},
    {"render_scene",               b(&S::render_scene),               1,      {flag("/disable_scene_rendering", 0, "simulate without drawing the scene")}},
    {"render_slowdown_delay",      i(&S::render_slowdown_delay),      0,      {number("/render_slowdown_delay", "sleep N milliseconds after each frame")}},
    {"physx_cpu",                  b(&S::physx_cpu),                  1,      {flag("/physx_cpu", 1, "simulate the physics on the CPU")},                                      F::Bool,        nullptr, 19, 23},
    {"multithreaded_physx",        b(&S::multithreaded_physx),        1,      {flag("/single_threaded_physx", 0, "step the physics inside the frame instead of on its own thread")},                          F::Bool,        nullptr, 17, 17},
    {"multicore_cpu_physx",        b(&S::multicore_cpu_physx),        1,      {},                                                           F::Bool,        nullptr, 16, 16},
    {"threads_sync",               b(&S::threads_sync),               1,      {},                                                           F::Bool,        nullptr, 21, 21},
    {"unlock_cpu_cores_number",    b(&S::unlock_cpu_cores_number),    0,      {},                                                           F::Bool,        nullptr, 22, 22},
    {"physx_mutex",                b(&S::physx_mutex),                0,      {flag("/use_physx_scene_mutex", 1, "kept for the options file; changes nothing")},                          F::Bool,        nullptr, 20, 20},
    {"alt_physx_threading",        b(&S::alt_physx_threading),        0,      {}},
    {"fluid_per_emitter",          b(&S::fluid_per_emitter),          1,      {flag("/physx_gpu_several_emitters_per_fluid", 0, "group several emitters into one fluid")}},
    {"num_fluid_emitters",         i(&S::num_fluid_emitters),         4,      {{"/num_fluid_emitters=", O::Count, 0, "number of fluid emitters (0 counts as 1)"}},                      F::Int,         nullptr, 23, 19},
    {"physx_fluid_velocity",       f(&S::physx_fluid_velocity),       100.0,  {},                                                           F::Real,        "%.2f",  30, 30},
    {"physx_fluid_emitter_size",   f(&S::physx_fluid_emitter_size),   0.2,    {number("/physx_fluid_emitter_size=", "emitter size")},                       F::Real,        "%.3f",  31, 31},
    {"particle_type",              i(&S::particle_type),              2,      {},                                                           F::ParticleType, nullptr, 32, 35},
    {"thread_affinity",            b(&S::thread_affinity),            0,      {},                                                           F::Bool,        nullptr, 18, 18},
    {"light_pos_x",                f(&S::light_pos_x),                15.0,   {},                                                           F::Real,        "%f",    33, 27},
    {"light_pos_y",                f(&S::light_pos_y),                30.0,   {},                                                           F::Real,        "%f",    34, 28},
    {"light_pos_z",                f(&S::light_pos_z),                0.0,    {},                                                           F::Real,        "%f",    35, 29},
    {"gpu_temp_spike_filter_threshold", f(&S::gpu_temp_spike_filter_threshold), 20.0, {number("/gpu_temp_spike_filter_threshold", "largest accepted jump between two GPU temperature readings, degrees C")},     F::Real,        "%.3f",  36, 36},
    {"enable_gpu_temp_spike_filter", b(&S::enable_gpu_temp_spike_filter), 1,  {flag("/disable_gpu_temp_spike_filter", 0, "keep GPU temperature readings that jump")},               F::Bool,        nullptr, 37, 37},
    {"physx_gpu_heap_size",        i(&S::physx_gpu_heap_size),        256,    {number("/physx_gpu_heap_size", "GPU heap size handed to the physics SDK, megabytes")}},
    {"increase_graphx_workload",   b(&S::increase_graphx_workload),   0,      {},                                                           F::Bool,        nullptr, 15, 15},
    {"preset_run",                 b(&S::preset_run),                 0,      {}},
    {"display_latest_news",        b(&S::display_latest_news),        0,      {},                                                           F::Bool,        nullptr, 40, 40},
    {"z2o_physx_gpu_mem",          b(&S::z2o_physx_gpu_mem),          0,      {},                                                           F::Bool,        nullptr, 26, 26},
    {"submit_score_user_email",    t(&S::submit_score_user_email),    0,      {},                                                           F::Text,        nullptr, 41, 41},
    {"score_server",               s(&S::score_server),               0,      {{"/score_server=", O::Text, 0, "score server as HOST[:PORT]; else PLASHWERK_SCORE_SERVER, else localhost port 80", "HOST[:PORT]"}}},
    {"results_json",               s(&S::results_json),               0,      {{"/results_json=", O::Text, 0, "write the results of a finished benchmark or a stability test to PATH as one JSON document", "PATH"}}},
    {"stability_time",             i(&S::stability_time),             0,      {number("/stability_time=", "seconds a stability test runs before it ends by itself with a verdict; 0 runs until stopped")}},
    {"max_celsius",                i(&S::max_celsius),                0,      {number("/max_celsius=", "a stability test fails for every second a GPU is above this temperature, degrees C; 0 is off")}},
    {"report",                     s(&S::report),                     0,      {{"/report=", O::Text, 0, "write the run's HTML report with its charts to PATH", "PATH"}}},
};
// clang-format on

constexpr size_t kFieldCount = std::size(kFields);

using FieldOrder = std::array<const SettingField*, kFieldCount>;

// The rows stored in the file, sorted by one of the ranks.
struct FileOrder {
    FieldOrder rows{};
    size_t count = 0;

    explicit FileOrder(uint8_t SettingField::*rank) {
        for (const SettingField& field : kFields)
            if (field.file != FileForm::None) rows[count++] = &field;
        std::sort(
            rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(count),
            [rank](const SettingField* x, const SettingField* y) { return x->*rank < y->*rank; });
    }
    Rows<const SettingField*> rows_view() const { return {rows.data(), count}; }
};

}  // namespace

Rows<SettingField> settingFields() {
    return {kFields, kFieldCount};
}

Rows<const SettingField*> settingFieldsInReadOrder() {
    static const FileOrder order(&SettingField::read_rank);
    return order.rows_view();
}

Rows<const SettingField*> settingFieldsInWriteOrder() {
    static const FileOrder order(&SettingField::write_rank);
    return order.rows_view();
}

bool sameField(const SettingField& field, const StartupOptions& a, const StartupOptions& b) {
    const FieldRef& r = field.ref;
    if (r.int_field) return a.*r.int_field == b.*r.int_field;
    if (r.bool_field) return a.*r.bool_field == b.*r.bool_field;
    if (r.float_field) return a.*r.float_field == b.*r.float_field;
    if (r.string_field) return a.*r.string_field == b.*r.string_field;
    return std::strncmp(a.*r.text_field, b.*r.text_field, sizeof(a.*r.text_field)) == 0;
}

bool sameSettings(const StartupOptions& a, const StartupOptions& b) {
    return std::all_of(std::begin(kFields), std::end(kFields),
                       [&](const SettingField& field) { return sameField(field, a, b); });
}

std::vector<SettingValue> settingValues(const StartupOptions& o) {
    std::vector<SettingValue> values;
    values.reserve(kFieldCount);
    for (const SettingField& field : kFields) {
        const FieldRef& r = field.ref;
        SettingValue v;
        v.name = field.name;
        if (r.int_field) {
            v.int_value = o.*r.int_field;
        } else if (r.bool_field) {
            v.kind = SettingValue::Kind::Bool;
            v.bool_value = o.*r.bool_field;
        } else if (r.float_field) {
            v.kind = SettingValue::Kind::Real;
            v.real_value = o.*r.float_field;
        } else if (r.text_field) {
            v.kind = SettingValue::Kind::Text;
            v.text.assign(o.*r.text_field, strnlen(o.*r.text_field, sizeof(o.*r.text_field)));
        } else if (r.string_field) {
            v.kind = SettingValue::Kind::Text;
            v.text = o.*r.string_field;
        }
        values.push_back(std::move(v));
    }
    return values;
}

}  // namespace plashwerk
