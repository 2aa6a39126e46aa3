#include "app/startup_dialog.h"

#include <GLFW/glfw3.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "app/dialog_links.h"
#include "app/imgui_window.h"
#include "app/main_window.h"
#include "app/startup_dialog_model.h"
#include "app/startup_dialog_view.h"
#include "app/stop_signals.h"
#include "gpumon/gpu_monitor.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/msgbox/message_box.h"
#include "run/run_state.h"
#include "settings/startup_options.h"

namespace plashwerk {
namespace {

// The longest the dialog waits for an event before it draws again (the text cursor blinks,
// the summary refreshes): between runs, and while a run's window is open.
constexpr double kIdleWaitSeconds = 0.05;
constexpr double kRunIdleWaitSeconds = 0.25;

// Message boxes become windows while the dialog is up; boxes from other threads (a run's
// render thread) cannot draw and go to the console, as without a GUI.
MessageBoxSink guiMessageBoxes(MainWindow& main_window) {
    return [&main_window, main_thread = std::this_thread::get_id()](
               MessageBoxKind kind, const char* caption, const char* text) {
        if (std::this_thread::get_id() == main_thread) {
            showModalMessage([&main_window] { return main_window.betweenModalFrames(); }, caption,
                             text);
            return;
        }
        std::FILE* out = kind == MessageBoxKind::Information ? stdout : stderr;
        std::fprintf(out, "%s: %s\n", caption, text);
        std::fflush(out);
    };
}

// The hardware summary the monitoring thread rebuilds each pass, waiting for the dialog's
// next frame.
struct SummaryMailbox {
    std::mutex mutex;
    std::string text;
    bool fresh = false;

    void post(const char* summary) {
        {
            std::lock_guard lock(mutex);
            text = summary ? summary : "";
            fresh = true;
        }
        glfwPostEmptyEvent();
    }
    bool take(std::string& out) {
        std::lock_guard lock(mutex);
        if (!fresh) return false;
        out = std::move(text);
        fresh = false;
        return true;
    }
};

class StartupDialog {
  public:
    StartupDialog(MainWindow& main_window, std::unique_ptr<ImGuiHostWindow> window)
        : m_main(main_window), m_options(main_window.settings()), m_window(std::move(window)) {
        m_ui.scale = m_window->scale();
    }

    void open(int physx_gpu_count) {
        GpuMonitor& monitor = gpuMonitor();
        StartupDialogHardware hardware;
        hardware.physx_gpu_count = physx_gpu_count;
        hardware.msaa_modes = Pyrolex::getMsaaModes();
        monitor.setInfoTextSink([this](const char* text) { m_summary.post(text); });
        monitor.buildInfoText();
        hardware.hardware_summary = monitor.infoText();
        std::string ignored;
        m_summary.take(ignored);
        // Later refreshes of the summary show the installed physics software's version.
        monitor.setPhysxInfo(Pyrolex::getPhysxVersion(), physx_gpu_count > 0);

        m_site = currentScoreSite(m_options.score_server.c_str());
        if (m_model.initialise(m_options, hardware) == DialogAction::OpenNewsPage)
            openRedirectPage(m_site, kRedirectNews);
        m_main.runState().msaa = m_options.msaa;

        StartupDialogHooks hooks;
        hooks.exists = [] { return true; };
        hooks.enable_start_button = [this](bool on) { m_model.setEnabled(kCtlStartTest, on); };
        hooks.show_about = [this] { showAboutDialog(between(), m_site); };
        m_main.setStartupDialogHooks(std::move(hooks));
        m_main.setRedrawBehind([this] { drawFrame(true); });
        m_previous_sink = setMessageBoxSink(guiMessageBoxes(m_main));
    }

    ~StartupDialog() {
        setMessageBoxSink(std::move(m_previous_sink));
        m_main.setRedrawBehind(nullptr);
        m_main.setStartupDialogHooks({});
        gpuMonitor().setInfoTextSink({});
    }

    void loop() {
        window::WindowSystem* system = m_main.windowSystem();
        StopSignals signals([system] { system->postQuitMessage(); });
        for (;;) {
            // While a run draws, the dialog leaves it the processor between events.
            glfwWaitEventsTimeout(m_main.window() ? kRunIdleWaitSeconds : kIdleWaitSeconds);
            if (!m_main.dispatchQueuedMessages()) break;
            DialogAction action = DialogAction::None;
            if (m_window->takeCloseRequest()) action = m_model.close(m_options);
            m_ui.tab_request = m_window->takeTabRequest();
            const DialogAction drawn = drawFrame(false);
            if (action == DialogAction::None) action = drawn;
            if (!handle(action)) break;
        }
        // Whatever ended the loop, no run outlives the dialog.
        if (m_main.window()) m_main.stopRun();
    }

  private:
    BetweenFrames between() {
        return [this] { return m_main.betweenModalFrames(); };
    }

    DialogAction drawFrame(bool blocked) {
        std::string summary;
        if (m_summary.take(summary)) m_model.setHardwareSummary(std::move(summary));
        m_ui.blocked = blocked;
        m_window->beginFrame();
        const DialogAction action = drawStartupDialog(m_model, m_options, m_ui);
        m_window->endFrame();
        return blocked ? DialogAction::None : action;
    }

    // Carries out what a command asked for; false when the dialog ends.
    bool handle(DialogAction action) {
        switch (action) {
            case DialogAction::StartRun:
                startRun();
                return true;
            case DialogAction::Quit:
                return false;
            case DialogAction::ShowAbout:
                showAboutDialog(between(), m_site);
                return true;
            case DialogAction::OpenLatestPage:
                openRedirectPage(m_site, kRedirectLatest);
                return true;
            case DialogAction::OpenScoresPage:
                openRedirectPage(m_site, kRedirectScores);
                return true;
            case DialogAction::OpenNewsPage:
                openRedirectPage(m_site, kRedirectNews);
                return true;
            case DialogAction::ShowParticleCount:
            case DialogAction::None:
                return true;
        }
        return true;
    }

    // The settings hold the run: hand them to the run state and open its window. A start
    // that fails has shown its message box; the dialog stays.
    void startRun() {
        // The other start buttons stay enabled during a run: the run still going ends
        // before the run state is handed the new settings, which its thread reads.
        if (m_main.window()) m_main.closeMainWindow();
        m_main.handSettingsToRun();
        m_main.createMainWindowAndStartRun();
    }

    MainWindow& m_main;
    StartupOptions& m_options;
    ScoreSite m_site;  // where the links go, from the settings when the dialog opened
    std::unique_ptr<ImGuiHostWindow> m_window;
    StartupDialogModel m_model;
    StartupDialogUi m_ui;
    SummaryMailbox m_summary;
    MessageBoxSink m_previous_sink;
};

}  // namespace

bool runStartupDialog(MainWindow& main_window, int physx_gpu_count) {
    window::WindowSystem* system = main_window.windowSystem();
    if (!system || system->offscreen()) return false;
    const std::string title = StartupDialogModel().title();
    auto window =
        ImGuiHostWindow::create({title.c_str(), kStartupDialogWidth, kStartupDialogHeight});
    if (!window) return false;
    StartupDialog dialog(main_window, std::move(window));
    dialog.open(physx_gpu_count);
    dialog.loop();
    return true;
}

void showModalMessage(const BetweenFrames& between, const char* caption, const char* text) {
    auto box = ImGuiHostWindow::create({caption, 420, 150});
    if (!box) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return;
    }
    const float scale = box->scale();
    runModal(
        *box, [&] { return !box->takeCloseRequest() && drawMessageBox(text, scale); }, between);
}

void showAboutDialog(const BetweenFrames& between, const ScoreSite& site) {
    auto about = ImGuiHostWindow::create({"About", kAboutDialogWidth, kAboutDialogHeight});
    if (!about) return;
    const float scale = about->scale();
    runModal(
        *about, [&] { return !about->takeCloseRequest() && drawAboutDialog(scale, site); },
        between);
}

void installAboutHook(MainWindow& main_window, const ScoreSite& site) {
    StartupDialogHooks hooks;
    hooks.show_about = [&main_window, site] {
        showAboutDialog([&main_window] { return main_window.betweenModalFrames(); }, site);
    };
    main_window.setStartupDialogHooks(std::move(hooks));
}

}  // namespace plashwerk
