// A whole headless benchmark run in each physics arrangement: its SPS, FPS and score, and
// the wall time of its phases (fluid initialisation, warm-up, measured time).
//
//   run_arrangements_bench [--benchmark_filter=...]
//   PLASHWERK_BENCH_MAX_TIME=20000 sets the measured time (milliseconds, default 20000).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

#include "app/application.h"
#include "app/main_window.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/gl/render_context.h"
#include "run/demo_scene.h"
#include "run/run_state.h"

namespace plashwerk {
namespace {

struct Arrangement {
    bool multithreaded;
    bool per_fluid;
    bool sync;
};

// The program's shell, with the offscreen desktop as its window system.
Application* g_application = nullptr;

void runBenchmark(benchmark::State& state, Arrangement a) {
    MainWindow& main = g_application->mainWindow();
    StartupOptions& o = g_application->settings();
    const char* env = std::getenv("PLASHWERK_BENCH_MAX_TIME");
    const int max_time = env ? std::atoi(env) : 20000;
    for (auto _ : state) {
        setDefaultStartupOptions(o);
        o.multithreaded_physx = a.multithreaded;
        o.alt_physx_threading = a.per_fluid;
        o.threads_sync = a.sync;
        o.display_score = 0;
        o.run_mode = static_cast<int>(RunMode::Benchmark);
        o.width = 800;
        o.height = 600;
        o.max_time = max_time;
        main.handSettingsToRun();

        const auto start = std::chrono::steady_clock::now();
        if (!main.createMainWindowAndStartRun()) {
            state.SkipWithError("no main window");
            return;
        }
        main.pumpMessagesUntilQuit();
        const double total =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        const double fill = main.scene().warmupStart();
        state.counters["SPS"] = main.runResult().sps_avg;
        state.counters["FPS"] = main.runResult().fps_avg;
        state.counters["score"] = main.runResult().global_score;
        state.counters["fill_s"] = fill;
        state.counters["warmup_s"] = kWarmupSeconds;
        state.counters["measured_s"] = total - fill - kWarmupSeconds;
    }
}

void registerAll() {
    struct Named {
        const char* name;
        Arrangement a;
    };
    static const Named kAll[] = {
        {"InFrame", {false, false, true}},
        {"SingleThread/LockStep", {true, false, true}},
        {"SingleThread/FreeRunning", {true, false, false}},
        {"PerFluid/LockStep", {true, true, true}},
        {"PerFluid/FreeRunning", {true, true, false}},
    };
    for (const Named& n : kAll)
        benchmark::RegisterBenchmark(n.name, runBenchmark, n.a)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
}

}  // namespace
}  // namespace plashwerk

int main(int argc, char** argv) {
    using namespace plashwerk;
    Vantorr_nsp::vnTraceMgr::instance().setLogFileName("Plashwerk_bench_");
    Vantorr_nsp::Vantorr::getInstance()->startup(2, 1, nullptr);
    int w = 0, h = 0;
    gl::offscreenMaxViewport(w, h);
    Application application;
    g_application = &application;
    application.mainWindow().setWindowSystem(window::openOffscreenWindowSystem({w, h, 32}));
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    application.mainWindow().shutdownWindowSystem();
    Vantorr_nsp::Vantorr::getInstance()->shutdown();
    return 0;
}
