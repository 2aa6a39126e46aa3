#include "app/startup_dialog_model.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace plashwerk {
namespace {

struct ControlRow {
    int id;
    ControlKind kind;
    const char* label;
};

// Every control of the dialog with its starting label; the labels that depend on the
// settings are set by initialise.
constexpr ControlRow kControlRows[] = {
    {kCtlStartTest, ControlKind::PushButton, "Start PhysX test"},
    {kCtlStartUserSettings, ControlKind::PushButton, "Start PhysX benchmark\r\nUser's settings"},
    {kCtlPreset1080, ControlKind::PushButton, "Start PhysX benchmark\r\nPreset:1080"},
    {kCtlPreset720, ControlKind::PushButton, "Start PhysX benchmark\r\nPreset:720"},
    {kCtlQuit, ControlKind::PushButton, "Quit"},
    {kCtlAbout, ControlKind::PushButton, "About..."},
    {kCtlParticleCount, ControlKind::PushButton, "Set particle count"},
    {kCtlHardwareSummary, ControlKind::ReadOnlyText, ""},
    {kCtlFullscreen, ControlKind::CheckBox, "Fullscreen "},
    {kCtlPhysxGpu, ControlKind::CheckBox, "PhysX GPU"},
    {kCtlZ2o, ControlKind::CheckBox, "Z2O"},
    {kCtlResolutionList, ControlKind::DropDownList, "Resolution"},
    {kCtlCustomWidth, ControlKind::NumberEdit, ""},
    {kCtlSizeSeparator, ControlKind::Static, "x"},
    {kCtlCustomHeight, ControlKind::NumberEdit, ""},
    {kCtlMsaaList, ControlKind::DropDownList, "Anti-aliasing"},
    {kCtlOptionsGroup, ControlKind::GroupBox, "Options"},
    {kCtlMoreGraphicsLoad, ControlKind::CheckBox, "More graphics load"},
    {kCtlPostFx, ControlKind::CheckBox, "Post-FX"},
    {kCtlLogTemperature, ControlKind::CheckBox, "Log GPU temperature"},
    {kCtlMulticoreCpuPhysx, ControlKind::CheckBox, "PhysX built-in CPU multicore"},
    {kCtlMultithreadPhysx, ControlKind::CheckBox, "Multithread PhysX"},
    {kCtlAsyncMode, ControlKind::CheckBox, "Async mode"},
    {kCtlEmittersLabel, ControlKind::Static, "# of emitters"},
    {kCtlEmitterList, ControlKind::DropDownList, ""},
    {kCtlUnlock, ControlKind::CheckBox, "Unlock"},
    {kCtlLatestLink, ControlKind::Hyperlink, "[ Latest Plashwerk ]"},
    {kCtlScoresLink, ControlKind::Hyperlink, "[ Online scores ]"},
};

// The check boxes that mirror one flag of the settings; `inverted` ones are checked when
// the flag is clear. Reading the dialog walks this table in its order.
struct CheckBoxField {
    int id;
    bool StartupOptions::*field;
    bool inverted;
};

constexpr CheckBoxField kCheckBoxFields[] = {
    {kCtlMoreGraphicsLoad, &StartupOptions::increase_graphx_workload, false},
    {kCtlZ2o, &StartupOptions::z2o_physx_gpu_mem, false},
    {kCtlLogTemperature, &StartupOptions::log_temperature, false},
    {kCtlPostFx, &StartupOptions::add_post_fx, false},
    {kCtlMulticoreCpuPhysx, &StartupOptions::multicore_cpu_physx, false},
    {kCtlMultithreadPhysx, &StartupOptions::multithreaded_physx, false},
    {kCtlAsyncMode, &StartupOptions::threads_sync, true},
    {kCtlUnlock, &StartupOptions::unlock_cpu_cores_number, false},
    {kCtlPhysxGpu, &StartupOptions::physx_cpu, true},
};

// The resolution list in its order: "Custom", then one group per aspect ratio, each after
// an empty line and a heading. Selecting a heading or an empty line reads as no size.
constexpr const char* kResolutions[] = {
    "Custom",
    "",
    "-------- [ 16/10 ]-",
    "640x400",
    "960x600",
    "1024x640",
    "1280x800",
    "1440x900",
    "1680x1050",
    "1920x1200",
    "2304x1440",
    "2560x1600",
    "3840x2400",
    "5120x3200",
    "7680x4800",
    "",
    "-------- [ 16/9 ]-",
    "640x360",
    "960x540",
    "1024x576",
    "1280x720",
    "1366x768",
    "1600x900",
    "1920x1080",
    "2048x1152",
    "2560x1440",
    "3840x2160",
    "4096x2304",
    "7680x4320",
    "",
    "-------- [ 4/3 ]-",
    "400x300",
    "512x384",
    "640x480",
    "800x600",
    "1024x768",
    "1280x960",
    "1280x1024",
    "1600x1200",
    "1920x1440",
    "2048x1536",
    "2560x1920",
    "2800x2100",
    "3200x2400",
    "4096x3072",
    "6400x4800",
};

constexpr int kDefaultWidth = 1024;  // the size a missing or unreadable one falls back to
constexpr int kDefaultHeight = 768;
constexpr int kUnlockedEmitters = 31;
constexpr int kBenchmarkTimeMs = 60000;
// The list offers modes up to 16 samples; larger ones the library reports are left out.
constexpr int kMaxListedMsaaSamples = 16;
// List texts are compared on their first 63 characters, the width of the list's buffer.
constexpr size_t kListTextCompared = 63;

bool sameListText(std::string_view a, std::string_view b) {
    return a.substr(0, kListTextCompared) == b.substr(0, kListTextCompared);
}

std::string formatSize(int width, int height) {
    char text[64];
    std::snprintf(text, sizeof text, "%dx%d", width, height);
    return text;
}

std::string selectedText(const DialogControl& list) {
    if (list.selection < 0 || list.selection >= static_cast<int>(list.entries.size())) return {};
    return list.entries[static_cast<size_t>(list.selection)];
}

// "WxH" from a resolution entry; zeros where it does not read as one (a heading, an empty
// line), which the repairs then turn into the default size.
void readSizeEntry(const std::string& text, int& width, int& height) {
    width = 0;
    height = 0;
    int w = 0;
    int h = 0;
    if (std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2) {
        width = w;
        height = h;
    }
}

int emitterStartIndex(int num_cpu_cores) {
    return num_cpu_cores < 2 ? 0 : num_cpu_cores - 2;
}

}  // namespace

std::optional<int> parseDialogNumber(std::string_view text) {
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

const StartupDialogModel::Command StartupDialogModel::kCommands[] = {
    {kCtlStartTest, &StartupDialogModel::startTest, DialogAction::StartRun},
    {kCtlStartUserSettings, &StartupDialogModel::startUserSettings, DialogAction::StartRun},
    {kCtlPreset1080, &StartupDialogModel::startPreset1080, DialogAction::StartRun},
    {kCtlPreset720, &StartupDialogModel::startPreset720, DialogAction::StartRun},
    {kCtlQuit, &StartupDialogModel::quit, DialogAction::Quit},
    {kCtlAbout, nullptr, DialogAction::ShowAbout},
    {kCtlParticleCount, nullptr, DialogAction::ShowParticleCount},
    {kCtlLatestLink, nullptr, DialogAction::OpenLatestPage},
    {kCtlScoresLink, nullptr, DialogAction::OpenScoresPage},
    {kCtlUnlock, &StartupDialogModel::unlockClicked, DialogAction::None},
    {kCtlMultithreadPhysx, &StartupDialogModel::multithreadClicked, DialogAction::None},
};

StartupDialogModel::StartupDialogModel() {
    for (const ControlRow& row : kControlRows) {
        DialogControl control;
        control.id = row.id;
        control.kind = row.kind;
        control.text = row.label;
        m_controls.push_back(std::move(control));
    }
}

const DialogControl& StartupDialogModel::control(int id) const {
    for (const DialogControl& c : m_controls)
        if (c.id == id) return c;
    throw std::out_of_range("no control with id " + std::to_string(id));
}

DialogControl& StartupDialogModel::at(int id) {
    return const_cast<DialogControl&>(std::as_const(*this).control(id));
}

std::string StartupDialogModel::title() const {
    char text[128];
    std::snprintf(text, sizeof text, "Quorvex %s %d.%d.%d - PhysX benchmark", "Plashwerk", 1, 5, 4);
    return text;
}

void StartupDialogModel::enableCustomSize(bool enabled) {
    setEnabled(kCtlCustomWidth, enabled);
    setEnabled(kCtlCustomHeight, enabled);
    setEnabled(kCtlSizeSeparator, enabled);
}

// Entries "1" to `count`; the selection starts at the processor count less one (the render
// thread keeps a core), held inside the list when there are more processors than entries.
void StartupDialogModel::fillEmitterList(int count, int num_cpu_cores) {
    DialogControl& list = at(kCtlEmitterList);
    list.entries.clear();
    for (int i = 1; i <= count; ++i) list.entries.push_back(std::to_string(i));
    list.selection = std::min(emitterStartIndex(num_cpu_cores), count - 1);
}

void StartupDialogModel::showParticleCount(int count) {
    char text[64];
    std::snprintf(text, sizeof text, "Change particle count: %d", count);
    at(kCtlParticleCount).text = text;
}

DialogAction StartupDialogModel::initialise(StartupOptions& o, const StartupDialogHardware& hw) {
    at(kCtlHardwareSummary).text = hw.hardware_summary;
    at(kCtlAsyncMode).text = "Async mode";

    setChecked(kCtlFullscreen, o.fullscreen != 0);
    if (o.width < 1) o.width = kDefaultWidth;
    if (o.height < 1) o.height = kDefaultHeight;

    // Resolution: the listed entry that spells the size, else "Custom" with the numbers.
    DialogControl& resolutions = at(kCtlResolutionList);
    resolutions.entries.assign(std::begin(kResolutions), std::end(kResolutions));
    const std::string size = formatSize(o.width, o.height);
    resolutions.selection = 0;
    for (size_t i = 0; i < resolutions.entries.size(); ++i) {
        if (sameListText(resolutions.entries[i], size)) {
            resolutions.selection = static_cast<int>(i);
            break;
        }
    }
    const bool custom = resolutions.selection == 0;
    enableCustomSize(custom);
    if (custom) {
        at(kCtlCustomWidth).text = std::to_string(o.width);
        at(kCtlCustomHeight).text = std::to_string(o.height);
    }

    // One processor leaves no room for a physics thread beside the render thread.
    const int cores = o.num_cpu_cores;
    if (cores <= 1) {
        o.multithreaded_physx = false;
        setChecked(kCtlMultithreadPhysx, false);
        setEnabled(kCtlMultithreadPhysx, false);
        o.threads_sync = true;
        setChecked(kCtlAsyncMode, false);
        setEnabled(kCtlAsyncMode, false);
    }

    setChecked(kCtlMoreGraphicsLoad, o.increase_graphx_workload);
    setChecked(kCtlUnlock, o.unlock_cpu_cores_number);
    const int offered = o.unlock_cpu_cores_number ? kUnlockedEmitters : std::max(1, cores - 1);
    fillEmitterList(offered, cores);
    // The stored emitter count wins when the list offers it.
    const int limit = o.unlock_cpu_cores_number ? kUnlockedEmitters : cores;
    if (o.num_fluid_emitters >= 1 && o.num_fluid_emitters < limit)
        at(kCtlEmitterList).selection = o.num_fluid_emitters - 1;

    showParticleCount(o.num_total_particles);
    o.use_particle_count = true;

    // Async mode only exists beside a physics thread; the SDK's own multicore mode only
    // without one.
    setChecked(kCtlAsyncMode, !o.threads_sync);
    if (o.multithreaded_physx) {
        setChecked(kCtlMultithreadPhysx, true);
        setEnabled(kCtlAsyncMode, true);
        setEnabled(kCtlMulticoreCpuPhysx, false);
        o.multicore_cpu_physx = false;
    } else {
        setChecked(kCtlMultithreadPhysx, false);
        o.threads_sync = true;
        setChecked(kCtlAsyncMode, false);
        setEnabled(kCtlAsyncMode, false);
        setEnabled(kCtlMulticoreCpuPhysx, true);
    }

    at(kCtlPhysxGpu).text = "PhysX GPU";
    setChecked(kCtlPhysxGpu, !o.physx_cpu);
    setChecked(kCtlMulticoreCpuPhysx, o.multicore_cpu_physx);
    const bool gpu = hw.physx_gpu_count > 0;
    setEnabled(kCtlZ2o, gpu);
    setEnabled(kCtlPhysxGpu, gpu);
    setChecked(kCtlZ2o, gpu && o.z2o_physx_gpu_mem);
    if (!gpu) setChecked(kCtlPhysxGpu, false);

    setChecked(kCtlLogTemperature, o.log_temperature);
    setChecked(kCtlPostFx, o.add_post_fx);

    // MSAA: "NONE", then the library's modes it can offer; the stored count selects its
    // entry, and a count not offered selects "NONE".
    DialogControl& msaa = at(kCtlMsaaList);
    msaa.entries = {"NONE"};
    m_msaa_listed.clear();
    for (int samples : hw.msaa_modes) {
        if (samples > kMaxListedMsaaSamples) continue;
        m_msaa_listed.push_back(samples);
        msaa.entries.push_back(std::to_string(samples) + "X MSAA");
    }
    msaa.selection = 0;
    for (size_t i = 0; i < m_msaa_listed.size(); ++i) {
        if (o.msaa != 0 && m_msaa_listed[i] == o.msaa) {
            msaa.selection = static_cast<int>(i) + 1;
            break;
        }
    }

    if (!o.display_latest_news) return DialogAction::None;
    o.display_latest_news = false;
    return DialogAction::OpenNewsPage;
}

int StartupDialogModel::msaaSamplesAt(int index) const {
    if (index < 1 || index > static_cast<int>(m_msaa_listed.size())) return 0;
    return m_msaa_listed[static_cast<size_t>(index) - 1];
}

DialogAction StartupDialogModel::click(int id, StartupOptions& options) {
    DialogControl& c = at(id);
    if (!c.enabled) return DialogAction::None;
    if (c.kind == ControlKind::CheckBox) c.checked = !c.checked;
    for (const Command& command : kCommands) {
        if (command.id != id) continue;
        return command.handler ? (this->*command.handler)(options) : command.action;
    }
    return DialogAction::None;
}

void StartupDialogModel::select(int id, int index) {
    DialogControl& list = at(id);
    if (list.kind != ControlKind::DropDownList || !list.enabled) return;
    if (index < 0 || index >= static_cast<int>(list.entries.size())) return;
    list.selection = index;
    if (id == kCtlResolutionList) enableCustomSize(sameListText(list.entries[index], "Custom"));
}

void StartupDialogModel::setText(int id, std::string text) {
    DialogControl& edit = at(id);
    if (edit.kind == ControlKind::NumberEdit && edit.enabled) edit.text = std::move(text);
}

void StartupDialogModel::readDialogSettings(StartupOptions& o) const {
    o.fullscreen = control(kCtlFullscreen).checked ? 1 : 0;
    for (const CheckBoxField& row : kCheckBoxFields)
        o.*row.field = control(row.id).checked != row.inverted;
    o.xtreme_burning = 0;
    o.alt_physx_threading = true;

    if (auto emitters = parseDialogNumber(selectedText(control(kCtlEmitterList))))
        o.num_fluid_emitters = *emitters;

    int width = 0;
    int height = 0;
    const std::string resolution = selectedText(control(kCtlResolutionList));
    if (sameListText(resolution, "Custom")) {
        width = parseDialogNumber(control(kCtlCustomWidth).text).value_or(0);
        height = parseDialogNumber(control(kCtlCustomHeight).text).value_or(0);
    } else {
        readSizeEntry(resolution, width, height);
    }
    o.width = width < 1 ? kDefaultWidth : width;
    o.height = height < 1 ? kDefaultHeight : height;

    o.msaa = msaaSamplesAt(control(kCtlMsaaList).selection);

    o.num_particles = o.num_total_particles;
    o.max_time = kBenchmarkTimeMs;
    o.time_based_benchmark = true;
    o.preset_run = false;
}

DialogAction StartupDialogModel::startTest(StartupOptions& o) {
    readDialogSettings(o);
    o.run_mode = int(RunMode::StabilityTest);
    return DialogAction::StartRun;
}

DialogAction StartupDialogModel::startUserSettings(StartupOptions& o) {
    readDialogSettings(o);
    o.max_time = kBenchmarkTimeMs;
    o.time_based_benchmark = true;
    o.run_mode = int(RunMode::Benchmark);
    o.particle_type = 2;
    return DialogAction::StartRun;
}

DialogAction StartupDialogModel::applyPresetFromDialog(StartupOptions& o, Preset preset) {
    const PresetDialogState boxes{control(kCtlPhysxGpu).checked, control(kCtlZ2o).checked};
    applyPreset(o, preset, &boxes);
    return DialogAction::StartRun;
}

DialogAction StartupDialogModel::startPreset1080(StartupOptions& o) {
    return applyPresetFromDialog(o, Preset::P1080);
}

DialogAction StartupDialogModel::startPreset720(StartupOptions& o) {
    return applyPresetFromDialog(o, Preset::P720);
}

DialogAction StartupDialogModel::quit(StartupOptions& o) {
    readDialogSettings(o);
    return DialogAction::Quit;
}

DialogAction StartupDialogModel::unlockClicked(StartupOptions& o) {
    o.unlock_cpu_cores_number = control(kCtlUnlock).checked;
    const int cores = o.num_cpu_cores;
    fillEmitterList(o.unlock_cpu_cores_number ? kUnlockedEmitters : std::max(1, cores - 1), cores);
    return DialogAction::None;
}

DialogAction StartupDialogModel::multithreadClicked(StartupOptions& o) {
    if (control(kCtlMultithreadPhysx).checked) {
        setEnabled(kCtlAsyncMode, true);
        setEnabled(kCtlMulticoreCpuPhysx, false);
    } else {
        o.threads_sync = true;
        setChecked(kCtlAsyncMode, false);
        setEnabled(kCtlAsyncMode, false);
        setEnabled(kCtlMulticoreCpuPhysx, true);
    }
    return DialogAction::None;
}

void StartupDialogModel::particleCountClosed(int result, const StartupOptions& options) {
    if (result == 1) showParticleCount(options.num_total_particles);
}

ParticleCountDialogModel::ParticleCountDialogModel(const StartupOptions& options)
    : text(std::to_string(options.num_total_particles)) {}

int ParticleCountDialogModel::ok(StartupOptions& options) const {
    const std::optional<int> count = parseDialogNumber(text);
    if (count && *count >= 1) options.num_total_particles = *count;
    return 1;
}

}  // namespace plashwerk
