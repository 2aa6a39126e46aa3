#include "app/main_window.h"

#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>

#include "app/application.h"
#include "app/results_dialog.h"
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

namespace plashwerk {

using Vantorr_nsp::logTrace;
using window::Message;
using window::MessageType;

RunState g_run_state;
FpsSpsCounters g_counters;
RunResult g_run_result;
DemoScene g_demo_scene(g_run_state, g_run_result, g_startup_options);

namespace {

// wparam of the application message a stop signal posts.
constexpr int kAppStopSignal = 1;
// The render thread gets this long to end after a stop request before it is logged.
constexpr uint32_t kRenderThreadWaitMs = 5000;

std::unique_ptr<window::WindowSystem> g_system;
bool g_system_opened = false;

struct RunWindow {
    window::Window* window = nullptr;
    std::thread render_thread;
    uint32_t render_thread_id = 0;
    AutoResetEvent render_thread_ended;
    bool display_mode_changed = false;
};
RunWindow g_run_window;

std::mutex g_hooks_mutex;
StartupDialogHooks g_dialog_hooks;

// The finished benchmark's scores row and results document have been written; cleared when
// the next run starts, so each run is kept exactly once.
bool g_run_kept = false;

StartupDialogHooks dialogHooks() {
    std::lock_guard lock(g_hooks_mutex);
    return g_dialog_hooks;
}

// What the keys toggled outlives the run, as it did when the keys changed the settings
// themselves: the next run starts from it and the options file saves it.
void keepKeyTogglesInSettings(const RunState& run, StartupOptions& settings) {
    settings.display_information = run.display_information.load(std::memory_order_relaxed);
    settings.render_scene = run.render_scene.load(std::memory_order_relaxed);
    settings.particle_type = run.particle_type.load(std::memory_order_relaxed);
}

bool dialogExists() {
    StartupDialogHooks hooks = dialogHooks();
    return hooks.exists && hooks.exists();
}

// The window's answer to a key or character the keyboard commands looked at.
long answerKey(KeyAnswer answer) {
    switch (answer) {
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

class MainWindowProcedure final : public window::MessageHandler {
  public:
    long onMessage(window::Window& /*window*/, const Message& m) override {
        RunState& run = g_run_state;
        const bool benchmark = run.mode == kRunBenchmark;
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
                if (!benchmark) g_demo_scene.camera_input.onMessage(m);
                if (m.type == MessageType::KeyUp) return 0;
                return answerKey(onKeyDown(static_cast<int>(m.wparam), run, g_demo_scene));
            }
            case MessageType::Char:
                return answerKey(onChar(static_cast<int>(m.wparam)));
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
                g_demo_scene.camera_input.onMessage(m);
                return 1;
            }
            case MessageType::User:
                if (m.wparam == kUserRestoreDisplayMode) restoreDesktopDisplayMode();
                return 0;
            default:
                return 0;
        }
    }
};

MainWindowProcedure g_procedure;

// Messages without a window: what the process asks of the main thread.
void handleApplicationMessage(const Message& m) {
    if (m.type != MessageType::User || m.wparam != kAppStopSignal) return;
    logTrace(Vantorr_nsp::VN_TRACE_INFO, "Stop signal received: ending the run.");
    // As if the user closed the window; without one there is nothing to wait for.
    if (g_run_window.window)
        stopRun();
    else if (g_system)
        g_system->postQuitMessage();
}

window::DisplayMode offscreenDesktop() {
    int w = 0, h = 0;
    gl::offscreenMaxViewport(w, h);
    return {w, h, 32};
}

}  // namespace

window::WindowSystem* windowSystem() {
    if (!g_system && !g_system_opened) {
        g_system_opened = true;
        char error[256] = "";
        g_system = window::openGlfwWindowSystem(error, sizeof error);
        if (!g_system) {
            logTrace(Vantorr_nsp::VN_TRACE_INFO, "No display (%s): rendering offscreen.", error);
            g_system = window::openOffscreenWindowSystem(offscreenDesktop());
        }
    }
    return g_system.get();
}

void setWindowSystem(std::unique_ptr<window::WindowSystem> system) {
    closeMainWindow();
    g_system = std::move(system);
    g_system_opened = true;
}

void shutdownWindowSystem() {
    closeMainWindow();
    g_system.reset();
    g_system_opened = false;
}

window::Window* mainWindow() {
    return g_run_window.window;
}

void setStartupDialogHooks(StartupDialogHooks hooks) {
    std::lock_guard lock(g_hooks_mutex);
    g_dialog_hooks = std::move(hooks);
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

int largestRenderDimension() {
    if (const int reported = Pyrolex::getMaxViewportSize(); reported > 0) return reported;
    static int cached = -1;
    if (cached < 0) {
        int w = 0, h = 0;
        window::WindowSystem* system = windowSystem();
        if (system && gl::probeMaxViewport(*system, w, h))
            cached = w < h ? w : h;
        else
            cached = 0;
    }
    return cached;
}

bool createMainWindowAndStartRun() {
    window::WindowSystem* system = windowSystem();
    RunState& run = g_run_state;
    if (!system) return false;
    if (g_run_window.window) closeMainWindow();

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
            g_run_window.display_mode_changed = true;
            desc.fullscreen = true;
            w = system->createWindow(desc, &g_procedure);
        }
        if (!w) {
            if (g_run_window.display_mode_changed) {
                system->restoreDisplayMode();
                g_run_window.display_mode_changed = false;
            }
            showErrorBox("Could not switch to fullscreen mode.\n\rPlease try another resolution.");
            return false;
        }
        w->show();
    } else {
        g_run_window.display_mode_changed = false;
        desc.minimize_box = run.mode == kRunStabilityTest;
        desc.menu_bar = g_startup_options.display_menu_bar > 0;
        w = system->createWindow(desc, &g_procedure);
        if (!w) return false;
        w->moveTo(desktop.width / 2 - w->outerWidth() / 2,
                  desktop.height / 2 - w->outerHeight() / 2);
        w->show();
    }
    g_run_window.window = w;
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

    takeKeyTogglesFromSettings(run, g_startup_options);
    run.stop_requested = false;
    run.scene_failed = false;
    run.finished = false;  // a run whose scene fails never resets it itself
    g_run_kept = false;
    g_run_window.render_thread = std::thread([w] {
        const RunContext context{g_run_state,  g_counters,        g_run_result,
                                 g_demo_scene, g_startup_options, systemClock()};
        renderThreadMain(w, context);
        g_run_window.render_thread_ended.set();
    });
    return true;
}

void closeMainWindow() {
    g_run_state.stop_requested = true;
    if (g_run_window.render_thread.joinable()) {
        if (!g_run_window.render_thread_ended.waitFor(kRenderThreadWaitMs))
            logTrace(Vantorr_nsp::VN_TRACE_WARNING,
                     "The render thread did not end within %u ms: waiting for it, since it "
                     "still draws into the window.",
                     kRenderThreadWaitMs);
        g_run_window.render_thread.join();
        g_run_window.render_thread_ended.waitFor(0);  // the next run starts unsignalled
        keepKeyTogglesInSettings(g_run_state, g_startup_options);
    }
    if (g_run_window.window && g_system) {
        g_system->destroyWindow(g_run_window.window);
        g_run_window.window = nullptr;
    }
    if (g_run_window.display_mode_changed && g_system) {
        g_system->restoreDisplayMode();
        g_run_window.display_mode_changed = false;
    }
}

bool restoreDesktopDisplayMode() {
    if (g_system) g_system->restoreDisplayMode();
    g_run_state.fullscreen = 0;
    return true;
}

void stopRun() {
    closeMainWindow();

    const StartupOptions& o = g_startup_options;
    const RunState& run = g_run_state;
    ResultsInputs in;
    in.preset_run = o.preset_run;
    in.num_fluid_emitters = o.num_fluid_emitters;
    in.num_particles = o.num_particles;
    in.multithreaded_physx = o.multithreaded_physx;
    in.threads_sync = o.threads_sync;
    in.multicore_cpu_physx = o.multicore_cpu_physx;
    in.add_post_fx = o.add_post_fx;
    in.width = run.width;
    in.height = run.height;
    in.fullscreen = run.fullscreen != 0;
    in.msaa_samples = g_demo_scene.msaa_samples;
    const GpuMonitor& monitor = gpuMonitor();
    in.core_clock_max = monitor.getGpuCoreClock(0, true);
    in.memory_clock_max = monitor.getGpuMemoryClock(0, true);
    const GpuzReadings& gpuz = monitor.gpuzReadings();
    if (gpuz.available) {
        in.gpuz_core_clock = gpuz.core_clock;
        in.gpuz_memory_clock = gpuz.memory_clock;
    }
    // A finished benchmark's results go to standard output as ever, and to their dialog
    // where there is a display; keep the record first, so that it does not wait on the user.
    const bool results_ready = g_run_state.results_ready.load() == 1 && o.display_score &&
                               g_run_state.mode == kRunBenchmark;
    noteStandardOutputError(showResultsDialog(g_run_state, o.display_score != 0, in, g_run_result));
    keepFinishedRunResults();
    window::WindowSystem* system = windowSystem();
    if (results_ready && system && !system->offscreen()) {
        const ResultsDialogInputs dialog = collectResultsDialogInputs(
            in, o, run, g_run_result, monitor, g_app.physx_system_version,
            currentScoreSite(o.score_server.c_str()));
        showResultsWindow(dialog, g_startup_options);
    }

    if (dialogExists()) {
        StartupDialogHooks hooks = dialogHooks();
        if (hooks.enable_start_button) hooks.enable_start_button(true);
    } else if (g_system) {
        g_system->postQuitMessage();
    }
}

void keepFinishedRunResults() {
    if (!g_run_state.finished || g_run_kept) return;
    g_run_kept = true;
    const RunRecord record = collectRunRecord(g_run_state, g_run_result, g_demo_scene.msaa_samples,
                                              g_startup_options, gpuMonitor());
    // Results a script asked for and did not get end the program with a failure status.
    if (!keepFinishedBenchmark(record, g_startup_options)) noteStandardOutputError(EIO);
}

bool runWithoutDialog() {
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
    return !g_run_state.scene_failed.load();
}

bool dispatchQueuedMessages() {
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

void pumpMessagesUntilQuit() {
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
