#include "app/results_dialog.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <utility>

#include "app/dialog_links.h"
#include "app/imgui_window.h"
#include "app/results_dialog_view.h"
#include "app/settings_handover.h"
#include "app/startup_dialog.h"
#include "gpumon/gpu_monitor.h"
#include "physics/fluid_layout.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"
#include "platform/physx/nx_physics.h"

namespace plashwerk {
namespace {

std::string textOf(const char* buffer, size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

// Carries out what a click or a reply asks of the window.
void carryOut(const ResultsCommand& command, const std::function<bool()>& between) {
    switch (command.action) {
        case ResultsAction::OpenUrl:
            openLinkAddress(command.text);
            break;
        case ResultsAction::ShowError:
            Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_WARNING, "%s", command.text.c_str());
            showModalMessage(between, kMessageBoxCaption, command.text.c_str());
            break;
        case ResultsAction::None:
            break;
    }
}

}  // namespace

ResultsDialogInputs collectResultsDialogInputs(const ResultsInputs& lines, const StartupOptions& o,
                                               const RunState& run, const RunResult& result,
                                               const GpuMonitor& monitor,
                                               uint32_t physx_system_version,
                                               const ScoreSite& site) {
    ResultsDialogInputs in;
    in.lines = lines;
    in.result = result;
    in.physx_version = static_cast<int>(NX_SDK_VERSION_NUMBER);
    in.gpu_count = static_cast<int>(monitor.gpuCount());
    in.site = site;

    ScoreSubmissionInputs& s = in.submission;
    s.max_time_ms = run.time_limit_ms;
    s.time_based = run.time_based;
    s.width = run.width;
    s.height = run.height;
    s.msaa = lines.msaa_samples;
    s.fullscreen = run.fullscreen != 0;
    const SystemInfo& system = monitor.systemInfo();
    s.gpu_vendor_id = static_cast<int>(system.gl_vendor_id);
    s.gpu_device_id = static_cast<int>(system.gl_device_id);
    s.cpu_mhz = system.cpu_mhz;
    s.cpu_name = textOf(system.cpu_name, sizeof system.cpu_name);
    s.os_name = textOf(system.os_name, sizeof system.os_name);
    s.renderer = textOf(system.renderer, sizeof system.renderer);
    s.driver = textOf(system.driver, sizeof system.driver);
    s.gpu_count = in.gpu_count;
    for (uint32_t i = 0; i < monitor.gpuCount(); ++i) {
        const GpuStatus* g = monitor.gpuStatus(static_cast<int>(i));
        if (!g) break;
        ScoreGpuMaxima m;
        m.vendor_id = g->vendor_id;
        m.device_id = g->device_id;
        m.max_core_clock = g->max_core_clock;
        m.max_memory_clock = g->max_memory_clock;
        m.max_vddc = g->max_vddc;
        m.max_celsius = g->max_celsius;
        m.max_gpu_load = g->max_gpu_load;
        m.max_gpu_power = g->max_gpu_power;
        s.gpus.push_back(m);
    }
    s.physx_system_version = static_cast<int>(physx_system_version);
    s.num_particles = o.num_particles;
    // The emitters the run made, which a setting out of range does not say.
    s.num_fluid_emitters = std::max(1, result.fluid_emitters);
    s.multithreaded_physx = o.multithreaded_physx;
    s.threads_sync = o.threads_sync;
    s.add_post_fx = o.add_post_fx;
    s.particles_lifetime = o.particles_lifetime;
    s.emitter_rate = static_cast<int>(
        emissionRate(physicsSettingsFrom(o), static_cast<uint32_t>(s.num_fluid_emitters)));
    s.use_sph = o.use_sph;
    s.physx_fluid_velocity = o.physx_fluid_velocity;
    s.multicore_cpu_physx = o.multicore_cpu_physx;
    return in;
}

bool showResultsWindow(const ResultsDialogInputs& inputs, StartupOptions& settings,
                       const std::function<bool()>& between_frames, ScoreSubmitter submitter) {
    ResultsDialogModel model(std::move(submitter));
    model.initialise(inputs, settings);
    const std::string title = model.title();
    auto window =
        ImGuiHostWindow::create({title.c_str(), kResultsDialogWidth, kResultsDialogHeight});
    if (!window) return false;
    ResultsDialogUi ui;
    ui.scale = window->scale();

    // The submission on its way: the model's sender reads only what the dialog never
    // changes, so it runs beside the drawing.
    std::future<int> pending;
    // An error box is a modal window of its own: it opens between two of this one's frames.
    ResultsCommand deferred;
    bool quit = false;
    const auto between = [&] {
        if (!between_frames()) {
            quit = true;
            return false;
        }
        carryOut(std::exchange(deferred, {}), between_frames);
        return true;
    };
    const auto draw = [&] {
        if (pending.valid() &&
            pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            ui.submitting = false;
            deferred = model.submissionDone(pending.get());
        }
        const bool close_box = window->takeCloseRequest();
        const ResultsDialogFrame frame = drawResultsDialog(model, ui);
        if (frame.clicked == kCtlSubmit && !pending.valid()) {
            ui.submitting = true;
            pending =
                std::async(std::launch::async, [&model, in = model.prepareSubmission(settings)] {
                    return model.sendSubmission(in);
                });
        } else if (frame.clicked != 0) {
            deferred = model.click(frame.clicked, settings);
        }
        return !close_box && frame.open;
    };
    runModal(*window, draw, between);
    // Closed while a reply is still to come: the window stays, drawn with "Sending..." and
    // deaf to clicks, until the client has its answer (it gives up within its time limits),
    // so the main thread never stops drawing. The entry page of a late success still opens.
    if (pending.valid()) {
        if (!quit) {
            ui.submitting = true;
            runModal(
                *window,
                [&] {
                    if (pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
                        return false;
                    window->takeCloseRequest();
                    drawResultsDialog(model, ui);
                    return true;
                },
                [&] { return between_frames(); });
        }
        const int id = pending.get();
        if (id >= 0) carryOut(model.submissionDone(id), between_frames);
    }
    return true;
}

}  // namespace plashwerk
