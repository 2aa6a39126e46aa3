#include "app/main_window.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/results_dialog.h"
#include "app/settings_handover.h"
#include "app/stop_signals.h"
#include "gpumon/gpu_monitor.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/gl/render_context.h"
#include "platform/msgbox/message_box.h"
#include "platform/thread/thread_util.h"
#include "platform/time/clock.h"
#include "results/run_record.h"
#include "run/counters.h"
#include "run/demo_scene.h"
#include "run/keyboard_commands.h"
#include "run/render_thread.h"
#include "run/run_state.h"
#include "settings/settings_fields.h"
#include "settings/startup_options.h"

namespace plashwerk {

using Vantorr_nsp::logTrace;
using window::Message;
using window::MessageType;

namespace {

// wparam of the application message a stop signal posts.
constexpr int kAppStopSignal = 1;
// The render thread gets this long to end after a stop request before it is logged.
constexpr uint32_t kRenderThreadWaitMs = 5000;

// A stability test's summary and verdict, in the trace log and, for a test of set length,
// on standard output (one run until stopped prints nothing there, as it always did).
// Returns 0, or the errno of a failed write to standard output (already reported).
int printStabilitySummary(const RunRecord& record, uint32_t length_s) {
    const RunResult& r = record.result;
    std::string text = "Stability test: " + clockText(record.run_seconds);
    if (length_s > 0) text += " of " + clockText(length_s);
    char line[192];
    std::snprintf(line, sizeof line,
                  " - %dx%d - GraphX FPS min/avg/max: %d/%d/%d - PhysX SPS min/avg/max: "
                  "%d/%d/%d\n",
                  record.width, record.height, r.fps_min, r.fps_avg, r.fps_max, r.sps_min,
                  r.sps_avg, r.sps_max);
    text += line;
    const std::string verdict = formatVerdict(record.verdict, record.events);
    text += verdict;
    // One trace line per line of text.
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string one = text.substr(start, end - start);
        logTrace(Vantorr_nsp::VN_TRACE_INFO, "%s", one.c_str());
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (length_s == 0) return 0;
    errno = 0;
    const bool written =
        std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (written) return 0;
    const int error = errno != 0 ? errno : EIO;
    reportStandardOutputFailure("the verdict", error);
    return error;
}

window::DisplayMode offscreenDesktop() {
    int w = 0, h = 0;
    gl::offscreenMaxViewport(w, h);
    return {w, h, 32};
}

}  // namespace

// The window procedure of the run's window: forwards every message to its main window.
class MainWindow::Procedure final : public window::MessageHandler {
  public:
    explicit Procedure(MainWindow& owner) : m_owner(owner) {}
    long onMessage(window::Window& /*window*/, const Message& m) override {
        return m_owner.onMessage(m);
    }

  private:
    MainWindow& m_owner;
};

MainWindow::MainWindow(StartupOptions& settings, AppState& app, RunState& run,
                       FpsSpsCounters& counters, RunResult& result, DemoScene& scene)
    : m_settings(settings),
      m_app(app),
      m_run(run),
      m_counters(counters),
      m_result(result),
      m_scene(scene),
      m_procedure(std::make_unique<Procedure>(*this)) {}

MainWindow::~MainWindow() {
    shutdownWindowSystem();
}

StartupDialogHooks MainWindow::dialogHooks() {
    std::lock_guard lock(m_hooks_mutex);
    return m_dialog_hooks;
}

bool MainWindow::dialogExists() {
    StartupDialogHooks hooks = dialogHooks();
    return hooks.exists && hooks.exists();
}

// The window's answer to a key or character the keyboard commands looked at.
long MainWindow::answerKey(int answer) {
    switch (static_cast<KeyAnswer>(answer)) {
        case KeyAnswer::StopRun:
            stopRun();
            return 0;
        case KeyAnswer::Handled:
            return 0;
        case KeyAnswer::Swallowed:
            break;
    }
    return 1;
}

long MainWindow::onMessage(const Message& m) {
    RunState& run = m_run;
    const bool benchmark = run.mode == RunMode::Benchmark;
    // The window may be gone after stopRun(): nothing below touches it then.
    switch (m.type) {
        case MessageType::Close:
            stopRun();
            return 0;
        case MessageType::Size:
            if (m.wparam == 1 && run.running.load() == 1 && benchmark) stopRun();
            return 0;
        case MessageType::Paint:
            // Erasing the background is suppressed once the scene draws there.
            return run.window_ready.load();
        case MessageType::KeyDown:
        case MessageType::KeyUp: {
            // The free camera follows the movement keys while they are held.
            if (!benchmark) m_scene.cameraInput().onMessage(m);
            if (m.type == MessageType::KeyUp) return 0;
            return answerKey(static_cast<int>(onKeyDown(static_cast<int>(m.wparam), run, m_scene)));
        }
        case MessageType::Char:
            return answerKey(static_cast<int>(onChar(static_cast<int>(m.wparam))));
        case MessageType::Command:
            if (m.wparam == window::kMenuCommandAbout) {
                StartupDialogHooks hooks = dialogHooks();
                if (hooks.show_about) hooks.show_about();
            } else if (m.wparam == window::kMenuCommandExit) {
                stopRun();
            }
            return 0;
        case MessageType::MouseMove:
        case MessageType::LButtonDown:
        case MessageType::LButtonUp:
        case MessageType::RButtonDown:
        case MessageType::RButtonUp:
        case MessageType::MouseWheel: {
            if (benchmark) return 0;
            m_scene.cameraInput().onMessage(m);
            return 1;
        }
        case MessageType::User:
            if (m.wparam == kUserRestoreDisplayMode) restoreDesktopDisplayMode();
            return 0;
        default:
            return 0;
    }
}

// Messages without a window: what the process asks of the main thread.
void MainWindow::handleApplicationMessage(const Message& m) {
    if (m.type != MessageType::User || m.wparam != kAppStopSignal) return;
    logTrace(Vantorr_nsp::VN_TRACE_INFO, "Stop signal received: ending the run.");
    // As if the user closed the window; without one there is nothing to wait for.
    if (m_window)
        stopRun();
    else if (m_system)
        m_system->postQuitMessage();
}

window::WindowSystem* MainWindow::windowSystem() {
    if (!m_system && !m_system_opened) {
        m_system_opened = true;
        char error[256] = "";
        m_system = window::openGlfwWindowSystem(error, sizeof error);
        if (!m_system) {
            logTrace(Vantorr_nsp::VN_TRACE_INFO, "No display (%s): rendering offscreen.", error);
            m_system = window::openOffscreenWindowSystem(offscreenDesktop());
        }
    }
    return m_system.get();
}

void MainWindow::setWindowSystem(std::unique_ptr<window::WindowSystem> system) {
    closeMainWindow();
    m_system = std::move(system);
    m_system_opened = true;
}

void MainWindow::shutdownWindowSystem() {
    closeMainWindow();
    m_system.reset();
    m_system_opened = false;
}

void MainWindow::setStartupDialogHooks(StartupDialogHooks hooks) {
    std::lock_guard lock(m_hooks_mutex);
    m_dialog_hooks = std::move(hooks);
}

bool checkDesktopSize(const window::DisplayMode& desktop, int width, int height) {
    if (desktop.width >= width && desktop.height >= height) return true;
    showErrorBox(
        "Could not start in windowed mode:\n\rthe size of your desktop (%dx%d) is smaller "
        "than the required window size (%dx%d).\n\rPlease select another resolution.",
        desktop.width, desktop.height, width, height);
    return false;
}

void clampRequestedSize(int& width, int& height, int max_dimension) {
    if (width < 1) width = 640;
    if (height < 1) height = 480;
    if (max_dimension > 0) {
        if (width > max_dimension) width = max_dimension;
        if (height > max_dimension) height = max_dimension;
    }
}

int MainWindow::largestRenderDimension() {
    if (const int reported = Pyrolex::getMaxViewportSize(); reported > 0) return reported;
    if (m_largest_dimension < 0) {
        int w = 0, h = 0;
        window::WindowSystem* system = windowSystem();
        if (system && gl::probeMaxViewport(*system, w, h))
            m_largest_dimension = w < h ? w : h;
        else
            m_largest_dimension = 0;
    }
    return m_largest_dimension;
}

void MainWindow::handSettingsToRun() {
    handSettingsToRunState(m_run, runRequestFrom(m_settings));
}

bool MainWindow::createMainWindowAndStartRun() {
    window::WindowSystem* system = windowSystem();
    RunState& run = m_run;
    if (!system) return false;
    if (m_window) closeMainWindow();

    const window::DisplayMode desktop = system->desktopMode();
    if (!checkDesktopSize(desktop, run.requested_width, run.requested_height)) return false;
    int width = run.requested_width, height = run.requested_height;
    clampRequestedSize(width, height, largestRenderDimension());
    run.requested_width = width;
    run.requested_height = height;

    window::WindowDesc desc;
    desc.title = kAppName;
    desc.width = width;
    desc.height = height;
    desc.samples = run.msaa;
    window::Window* w = nullptr;
    if (run.fullscreen) {
        if (system->switchDisplayMode({width, height, 32})) {
            m_display_mode_changed = true;
            desc.fullscreen = true;
            w = system->createWindow(desc, m_procedure.get());
        }
        if (!w) {
            if (m_display_mode_changed) {
                system->restoreDisplayMode();
                m_display_mode_changed = false;
            }
            showErrorBox("Could not switch to fullscreen mode.\n\rPlease try another resolution.");
            return false;
        }
        w->show();
    } else {
        m_display_mode_changed = false;
        desc.minimize_box = run.mode == RunMode::StabilityTest;
        desc.menu_bar = m_settings.display_menu_bar > 0;
        w = system->createWindow(desc, m_procedure.get());
        if (!w) return false;
        w->moveTo(desktop.width / 2 - w->outerWidth() / 2,
                  desktop.height / 2 - w->outerHeight() / 2);
        w->show();
    }
    m_window = w;
    run.width = w->clientWidth();
    run.height = w->clientHeight();
    run.window_ready = 0;
    MonitorInputs& monitor = gpuMonitor().inputs();
    monitor.requested_width = width;
    monitor.requested_height = height;
    monitor.client_width = run.width;
    monitor.client_height = run.height;

    if (dialogExists()) {
        StartupDialogHooks hooks = dialogHooks();
        if (hooks.enable_start_button) hooks.enable_start_button(false);
    }

    m_run_settings = runSettingsFrom(m_settings);
    m_run_settings.render.data_root = m_app.places.data_root;
    m_run_settings.render.screenshot_folder = m_app.places.screenshot_folder;
    takeKeyTogglesFromSettings(run, m_run_settings);
    run.stop_requested = false;
    run.scene_failed = false;
    run.finished = false;  // a run whose scene fails never resets it itself
    m_run_kept = false;
    m_run_started = true;
    m_verdict = Verdict::None;
    m_render_thread = std::thread([this, w] {
        const RunContext context{m_run,          m_counters,    m_result,  m_scene,
                                 m_run_settings, systemClock(), &m_samples};
        renderThreadMain(w, context);
        m_render_thread_ended.set();
    });
    return true;
}

void MainWindow::closeMainWindow() {
    m_run.stop_requested = true;
    if (m_render_thread.joinable()) {
        if (!m_render_thread_ended.waitFor(kRenderThreadWaitMs))
            logTrace(Vantorr_nsp::VN_TRACE_WARNING,
                     "The render thread did not end within %u ms: waiting for it, since it "
                     "still draws into the window.",
                     kRenderThreadWaitMs);
        m_render_thread.join();
        m_render_thread_ended.waitFor(0);  // the next run starts unsignalled
        keepKeyTogglesInSettings(m_run, m_settings);
    }
    if (m_window && m_system) {
        m_system->destroyWindow(m_window);
        m_window = nullptr;
    }
    if (m_display_mode_changed && m_system) {
        m_system->restoreDisplayMode();
        m_display_mode_changed = false;
    }
}

bool MainWindow::restoreDesktopDisplayMode() {
    if (m_system) m_system->restoreDisplayMode();
    m_run.fullscreen = 0;
    return true;
}

void MainWindow::stopRun() {
    closeMainWindow();

    const StartupOptions& o = m_settings;
    const RunState& run = m_run;
    ResultsInputs in;
    in.preset_run = o.preset_run;
    in.num_fluid_emitters = m_result.fluid_emitters;
    in.num_particles = o.num_particles;
    in.multithreaded_physx = o.multithreaded_physx;
    in.threads_sync = o.threads_sync;
    in.multicore_cpu_physx = o.multicore_cpu_physx;
    in.add_post_fx = o.add_post_fx;
    in.width = run.width;
    in.height = run.height;
    in.fullscreen = run.fullscreen != 0;
    in.msaa_samples = m_scene.msaaSamples();
    const GpuMonitor& monitor = gpuMonitor();
    in.core_clock_max = monitor.getGpuCoreClock(0, true);
    in.memory_clock_max = monitor.getGpuMemoryClock(0, true);
    const GpuzReadings& gpuz = monitor.gpuzReadings();
    if (gpuz.available) {
        in.gpuz_core_clock = gpuz.core_clock;
        in.gpuz_memory_clock = gpuz.memory_clock;
    }
    // A finished benchmark's results go to standard output, and to their dialog
    // where there is a display; keep the record first, so that it does not wait on the user.
    const bool results_ready =
        run.results_ready.load() == 1 && o.display_score && run.mode == RunMode::Benchmark;
    m_app.noteStandardOutputError(showResultsDialog(m_run, o.display_score != 0, in, m_result));
    keepFinishedRunResults();
    window::WindowSystem* system = windowSystem();
    if (results_ready && system && !system->offscreen()) {
        const ResultsDialogInputs dialog =
            collectResultsDialogInputs(in, o, run, m_result, monitor, m_app.physx_system_version,
                                       currentScoreSite(o.score_server.c_str()));
        showResultsWindow(dialog, m_settings, [this] { return betweenModalFrames(); });
    }

    if (dialogExists()) {
        StartupDialogHooks hooks = dialogHooks();
        if (hooks.enable_start_button) hooks.enable_start_button(true);
    } else if (m_system) {
        m_system->postQuitMessage();
    }
}

void MainWindow::keepFinishedRunResults() {
    const bool stability = m_run.mode != RunMode::Benchmark;
    if (m_run_kept || !m_run_started || m_run.scene_failed.load()) return;
    // A stopped benchmark has no results; a stability test has its verdict however it ended.
    if (!stability && !m_run.finished) return;
    m_run_kept = true;
    RunRecord record =
        collectRunRecord(m_run, m_result, m_scene.msaaSamples(), m_settings.num_particles,
                         settingValues(m_settings), gpuMonitor());
    record.run_seconds = m_run.run_ms / 1000;
    record.samples = &m_samples;
    if (stability) {
        // A stability test has no scores, but its FPS and SPS statistics are its results as
        // much as a benchmark's: the summary, the document and the report show the same.
        RunResult& r = record.result;
        const bool sampled = m_counters.sample_count > 0;
        r.fps_min = sampled ? m_counters.fps_min : 0;
        r.fps_avg = m_counters.fps_avg;
        r.fps_max = m_counters.fps_max;
        r.sps_min = sampled ? m_counters.sps_min : 0;
        r.sps_avg = m_counters.sps_avg;
        r.sps_max = m_counters.sps_max;
        r.frames = m_run.frames;
        r.simulations = m_run.simulations;
        r.duration_ms = m_run.run_ms;
        record.events = judgeRun(m_samples, judgeSettingsFrom(m_settings));
        record.verdict = verdictOf(true, m_run.ran_its_length, record.events);
        m_verdict = record.verdict;
        m_app.noteStandardOutputError(
            printStabilitySummary(record, m_run.stability_time_ms / 1000));
    }
    // Results a script asked for and did not get end the program with a failure status.
    if (!keepFinishedBenchmark(record, keepSettingsFrom(m_settings),
                               m_app.places.scores_csv.c_str()))
        m_app.noteStandardOutputError(EIO);
}

bool MainWindow::runWithoutDialog() {
    window::WindowSystem* system = windowSystem();
    if (!system) return false;
    StopSignals signals([system] {
        Message m;
        m.type = MessageType::User;
        m.wparam = kAppStopSignal;
        system->postMessage(m);
    });
    if (!createMainWindowAndStartRun()) return false;
    pumpMessagesUntilQuit();
    return !m_run.scene_failed.load();
}

bool MainWindow::dispatchQueuedMessages() {
    window::WindowSystem* system = windowSystem();
    if (!system) return false;
    Message m;
    while (system->peekMessage(m)) {
        if (m.type == MessageType::Quit) return false;
        if (m.window)
            system->dispatchMessage(m);
        else
            handleApplicationMessage(m);
    }
    return true;
}

bool MainWindow::betweenModalFrames() {
    if (!dispatchQueuedMessages()) {
        if (window::WindowSystem* system = windowSystem()) system->postQuitMessage();
        return false;
    }
    if (m_redraw_behind) m_redraw_behind();
    return true;
}

void MainWindow::pumpMessagesUntilQuit() {
    window::WindowSystem* system = windowSystem();
    if (!system) return;
    Message m;
    while (system->getMessage(m)) {
        if (m.window)
            system->dispatchMessage(m);
        else
            handleApplicationMessage(m);
    }
}

}  // namespace plashwerk
