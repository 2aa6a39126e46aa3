#include "app/application.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_window.h"
#include "app/settings_handover.h"
#include "app/startup_dialog.h"
#include "gpumon/gpu_monitor.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"
#include "platform/physx/nx_physics.h"
#include "platform/registry/registry.h"
#include "platform/thread/thread_util.h"
#include "run/counters.h"
#include "run/run_state.h"
#include "settings/options_file.h"
#include "settings/startup_options.h"

namespace plashwerk {

using Vantorr_nsp::logTrace;
using Vantorr_nsp::VN_TRACE_INFO;

namespace {

constexpr const char* kPhysxCheckGuid = "A41F6C02-9B3D-4e27-8C55-1E9F0A7D26B4";

// Counts the physics processors through a temporary SDK instance; 0 when none starts.
int checkPhysxHardware() {
    logTrace(VN_TRACE_INFO, "Checking NVIDIA PhysX hardware...");
    NxPhysicsSDKDesc desc;
    desc.hwPageSize = 65536;
    desc.hwPageMax = 256;
    desc.hwConvexMax = 2048;
    desc.cookerThreadMask = 0;
    desc.flags = 2;
    desc.gpuHeapSize = 32;
    desc.meshCacheSize = 0xFFFFFFFF;
    NxPhysicsSDK* sdk = NxCreatePhysicsSDK(NxSdkVersionWord(2, 8, 4), nullptr, nullptr, desc,
                                           nullptr, kPhysxCheckGuid);
    if (!sdk) {
        logTrace(VN_TRACE_INFO,
                 "NVIDIA PhysX initialization failed. Could not start NVIDIA PhysX Engine "
                 "version %d.%d.%d",
                 2, 8, 4);
        return 0;
    }
    logTrace(VN_TRACE_INFO, "NVIDIA PhysX engine version %d.%d.%d successfully started.", 2, 8, 4);
    const int count = static_cast<int>(sdk->getNbPPUs());
    logTrace(VN_TRACE_INFO, "NVIDIA PhysX engine - found %d PhysX GPU(s).", count);
    sdk->release();
    return count;
}

bool displayAvailable() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

// Installed, the logs and the scores file live in the state folder, made here with mode
// 0700 (they name the machine's hardware and the user's runs). One that cannot be made is
// said once; the run goes on without the trace log, and the other writers report their own
// files.
bool prepareStateFolder(const FilePlaces& places) {
    if (places.state_folder.empty()) return true;
    std::string error;
    if (makeFolders(places.state_folder, 0700, error)) return true;
    std::fprintf(stderr,
                 "%s: cannot create the folder %s (%s); the run goes on without the trace log, "
                 "the monitoring logs and the scores file\n",
                 kAppName, places.state_folder.c_str(), error.c_str());
    return false;
}

}  // namespace

Application::Application()
    : m_scene(m_run_state, m_run_result),
      m_main_window(m_settings, m_state, m_run_state, m_counters, m_run_result, m_scene) {
    setDefaultStartupOptions(m_settings);
}

// The main window (and any run it still has) goes first, then the scene it drew with.
Application::~Application() = default;

// Shows the startup dialog and runs its loop until the user quits. Returns false when
// no dialog could be shown, after saying why on standard error.
bool Application::showStartupDialog(int& status) {
    if (displayAvailable() && runStartupDialog(m_main_window, m_state.physx_gpu_count)) {
        m_state.startup_dialog_shown = true;  // shut-down saves the options
        return true;
    }
    std::fprintf(stderr,
                 "%s: no display is available for the startup dialog. Run it from the "
                 "command line with /nogui, for example: plashwerk /nogui /run_mode=1\n",
                 kAppName);
    status = kExitNoDisplay;
    return false;
}

// Applies the requested presets to the settings and hands them to the run, as a start
// without dialog does before it opens the main window.
void Application::applyCommandLinePresets() {
    const Preset presets[] = {Preset::P1080, Preset::P720};
    const bool wanted[] = {m_settings.preset_1080, m_settings.preset_720};
    for (int i = 0; i < 2; ++i) {
        if (!wanted[i]) continue;
        applyPreset(m_settings, presets[i], nullptr);
        m_main_window.handSettingsToRun();
    }
}

void Application::shutDown(bool engine_started) {
    if (m_state.startup_dialog_shown) {
        m_state.startup_dialog_shown = false;
        const FilePlaces& places = m_state.places;
        std::string error;
        if (!places.config_folder.empty() && !makeFolders(places.config_folder, 0700, error))
            std::fprintf(stderr,
                         "%s: cannot create the folder %s (%s); the settings are not saved\n",
                         kAppName, places.config_folder.c_str(), error.c_str());
        else
            writeOptionsFile(m_settings, places.options_write.c_str());
    }
    m_main_window.shutdownWindowSystem();    // stops the run and closes the main window first
    m_main_window.keepFinishedRunResults();  // unless stopRun already did, while the monitor runs
    gpuMonitor().stopGpuMonitoring();
    if (engine_started) Vantorr_nsp::Vantorr::getInstance()->shutdown();
    Pyrolex::shutdown();
    logTrace(VN_TRACE_INFO, "%s shutdown OK.", kAppName);
}

// The status the process ends with once the run is over: output that could not be
// written, to a full disk or to a pipe whose reader has gone, ends it with a failure, since
// whoever started the program did not get its results.
int Application::statusAfterOutput(int status) const {
    if (status != kExitOk || m_state.standard_output_error == 0) return status;
    return kExitOutputLost;
}

void findApplicationDirectory(char* out, int out_size) {
    if (out_size <= 0) return;
    std::snprintf(out, out_size, "%s", executableFolder().c_str());
}

int Application::run(const char* command_line) {
    m_state = AppState{};
    findApplicationDirectory(m_state.application_directory, sizeof m_state.application_directory);
    m_state.places = findFilePlaces(m_state.application_directory, processEnvironment());
    const FilePlaces& places = m_state.places;

    auto& trace = Vantorr_nsp::vnTraceMgr::instance();
    trace.setTraceLevel(VN_TRACE_INFO);
    if (prepareStateFolder(places)) trace.setLogFileName(places.trace_log_prefix.c_str());
    logTrace(VN_TRACE_INFO, "%s %d.%d.%d startup...", kAppName, kVersionMajor, kVersionMinor,
             kVersionBugfix);

    StartupOptions& o = m_settings;
    setDefaultStartupOptions(o);
    readOptionsFile(o, places.options_read.c_str());
    parseCommandLine(o, command_line);

    if (o.display_version) {
        showInformationBox("%s v%d.%d.%d", kAppName, kVersionMajor, kVersionMinor, kVersionBugfix);
        if (std::ferror(stdout)) {
            const int error = errno != 0 ? errno : EIO;
            reportStandardOutputFailure("the version", error);
            m_state.noteStandardOutputError(error);
        }
        return statusAfterOutput(kExitOk);
    }

    if (o.thread_affinity) setCurrentThreadAffinity(1);

    m_state.physx_gpu_count = checkPhysxHardware();

    // The GPU library: a hidden 2 x 2 window at (2, 2) with an OpenGL 2.0 debug context.
    if (!Pyrolex::startup(2, 2, 2, 2, 2, 0, true)) {
        showErrorBox("Could not initialize Pyrolex. %s startup failed. Bye!", kAppName);
        return kExitStartupFailed;
    }
    if (!Pyrolex::isStarted()) {
        logTrace(Vantorr_nsp::VN_TRACE_WARNING, "Graphics drivers detection failed.");
        showErrorBox("Graphics drivers detection failed. Bye!");
        Pyrolex::shutdown();
        return kExitStartupFailed;
    }
    GpuMonitor& monitor = gpuMonitor();
    monitor.setConfig(monitorConfigFrom(o));
    monitor.setLogFolder(places.monitor_log_folder);
    monitor.setPhysxInfo(Pyrolex::getPhysxVersion(), m_state.physx_gpu_count > 0);
    if (monitor.initGpuTable() && monitor.startThread())
        logTrace(VN_TRACE_INFO, "GPU monitoring thread started up ok.");

    if (Vantorr_nsp::Vantorr::getInstance()->startup(Vantorr_nsp::VN_RENDER_SYSTEM_OPENGL, 1,
                                                     nullptr) != 0 ||
        !Vantorr_nsp::vnRenderer::getInstance() ||
        !Vantorr_nsp::vnRenderer::getInstance()->getRenderSystem()) {
        showErrorBox("Could not startup the renderer. %s initialization failed.", kAppName);
        monitor.stopGpuMonitoring();
        Vantorr_nsp::Vantorr::getInstance()->shutdown();
        Pyrolex::shutdown();
        return kExitStartupFailed;
    }

    uint32_t physx_version = 0;
    if (systemRegistry().readDword("SOFTWARE\\AGEIA Technologies", "PhysX Version", physx_version))
        m_state.physx_system_version = physx_version;

    m_main_window.handSettingsToRun();

    int status = kExitOk;
    if (o.show_startup_dialog) {
        if (!showStartupDialog(status)) {
            shutDown(true);
            return status;
        }
    } else {
        applyCommandLinePresets();
        installAboutHook(m_main_window, currentScoreSite(o.score_server.c_str()));
        if (!m_main_window.runWithoutDialog()) status = kExitStartupFailed;
    }

    shutDown(true);
    // A script that started a stability test of set length learns its verdict from the
    // status; a test stopped early (STOPPED) ends like any stopped run.
    if (status == kExitOk && !o.show_startup_dialog && o.stability_time > 0 &&
        m_main_window.lastVerdict() == Verdict::Fail)
        return kExitStabilityFailed;
    return statusAfterOutput(status);
}

}  // namespace plashwerk
