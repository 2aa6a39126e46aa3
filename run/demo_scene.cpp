#include "run/demo_scene.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gpumon/gpuz_reader.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"
#include "platform/program/program_info.h"
#include "platform/window/window.h"
#include "run/run_state.h"
#include "settings/startup_options.h"

namespace plashwerk {

using Vantorr_nsp::logTrace;
using Vantorr_nsp::Vantorr;
using Vantorr_nsp::vnRenderer;

namespace {

// The run steps a simulation through its FluidSimulation.
class FluidStepTarget final : public StepTarget {
  public:
    explicit FluidStepTarget(FluidSimulation& simulation) : m_simulation(simulation) {}
    void startStep() override { m_simulation.startStep(); }
    uint32_t completeStep() override { return m_simulation.completeStep(); }

  private:
    FluidSimulation& m_simulation;
};

}  // namespace

DemoScene::DemoScene(RunState& run, RunResult& result, const StartupOptions& settings)
    : m_run(run), m_result(result), m_settings(settings) {}
DemoScene::~DemoScene() {
    releaseDemoScene();
}

void DemoScene::reset() {
    width = height = 0;
    gl_major = gl_minor = 0;
    msaa_samples = 0;
    renderer_name[0] = '\0';
    scene_time = 0.0f;
    dt = 0.0f;
    orbit_angle = 0.0f;
    eye[0] = eye[1] = eye[2] = 0.0f;
    warmup_threshold = 0;
    warmup_start = 0.0f;
    particle_total = 0;
    renderer_name_length = 0;
    progress_bar_right = 0.0f;
    screenshot_requested = false;
    particles_update = true;
    show_help = false;
    show_temperature_graph = true;
    statistics_requested = false;
    camera_input.reset();
    std::memset(state_slots, 0, sizeof state_slots);
    m_run.warmup_over = false;
    m_run.crash_detected = false;
    m_run.particle_total = 0;
}

bool DemoScene::initScene(window::Window* window, int w, int h) {
    releaseDemoScene();
    reset();
    width = w;
    height = h;
    Vantorr* engine = Vantorr::getInstance();
    vnRenderer* renderer = vnRenderer::getInstance();

    render_window = engine->createRenderWindow(window, w, h, 32, 32, 0, m_run.msaa, 2, 0, 1);
    if (!render_window || !renderer) {
        showErrorBox("Could not create a render window. %s startup failed.", kAppName);
        return false;
    }
    engine->setCurrentRenderWindow(render_window);
    msaa_samples = render_window->getSampleCount();
    // The strip is part of a real window's drawable; an offscreen one has none.
    if (window && window->menuBar() && !render_window->isOffscreen() &&
        m_menu_painter.create(window->menuBar()->layout()))
        m_menu_bar = window->menuBar();
    renderer->setViewport(0, 0, w, h);
    renderer->setClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    renderer->clear(Vantorr_nsp::VN_CLEAR_ALL);

    const auto* caps = Vantorr_nsp::vnHardwareCaps::getInstance();
    if (caps->getOpenGLMajorVersion() < 2) {
        showErrorBox(
            "%s requires an OpenGL 2.0 compliant graphics controller. Startup failed.\n\r"
            "NVIDIA Geforce 6 and higher (with the latest Forceware drivers)\n\r"
            "or ATI Radeon X1000 and higher (with the latest Catalyst drivers) are good "
            "choice!",
            kAppName);
        return false;
    }
    gl_major = caps->getOpenGLMajorVersion();
    gl_minor = caps->getOpenGLMinorVersion();
    render.reset(
        renderSettingsFor(m_settings, m_run.mode, m_run.msaa, w, h, Pyrolex::getVendorClass()));
    if (!render.createShadowTarget()) return false;

    physics = std::make_unique<DemoScenePhysics>(m_settings);
    if (!physics->startPhysicsWithFallback()) return false;
    if (!render.buildScene(physics.get())) return false;
    if (!createFluids()) return false;
    if (!render.finishScene(physics.get())) return false;

    // The clocks the run shows until the monitor has its maxima: GPU-Z's, when it runs.
    m_result.gpu_core_clock_max = 0.0f;
    m_result.gpu_memory_clock_max = 0.0f;
    if (m_settings.use_gpuz)
        readGpuzStartupClocks(true, m_result.gpu_core_clock_max, m_result.gpu_memory_clock_max);

    state_slots[kSceneReadySlot] = 1;
    return true;
}

bool DemoScene::createFluids() {
    physics->createFluidSimulations();
    // Without a single emitter the fluids never fill and a benchmark would wait in its
    // initialisation for ever (a damaged options file can ask for a negative lifetime).
    if (physics->emitterTotal() == 0) {
        showErrorBox("No fluid emitter could be created. %s startup failed.", kAppName);
        return false;
    }
    warmup_threshold = physics->warmup_threshold;
    m_result.physx_on_gpu = g_gpu_physx_active.load();

    // Each simulation becomes a lane of the physics threads, handing over its fluids'
    // particles.
    m_step_targets.clear();
    std::vector<SimulationLane> lanes;
    for (const auto& sim : physics->fluid_simulations) {
        if (!sim || !sim->scene) continue;
        SimulationLane lane;
        m_step_targets.push_back(std::make_unique<FluidStepTarget>(*sim));
        lane.target = m_step_targets.back().get();
        for (const auto& fluid : sim->fluids)
            if (fluid) lane.fluids.push_back(&fluid->particles);
        lanes.push_back(std::move(lane));
    }

    const StartupOptions& o = m_settings;
    PhysicsConfig config;
    config.arrangement = choosePhysicsArrangement(o.multithreaded_physx, o.alt_physx_threading);
    config.threads_sync = o.threads_sync;
    config.thread_affinity = o.thread_affinity;
    PhysicsFlags flags;
    flags.paused = &m_run.simulation_paused;
    flags.crash_detected = &m_run.crash_detected;
    physics_threads.init(config, flags, std::move(lanes));
    if (physics_threads.laneCount() == 0)
        logTrace(Vantorr_nsp::VN_TRACE_WARNING, "PhysX fluid: no fluid simulation could be made.");
    return true;
}

void DemoScene::releaseDemoScene() {
    state_slots[kSceneReadySlot] = 0;
    // The threads first: nothing may step a scene that is being released.
    physics_threads.stop();
    physics_threads.init(PhysicsConfig{}, PhysicsFlags{}, {});
    m_step_targets.clear();
    if (physics) {
        physics->releaseFluidSimulations();
        physics.reset();
    }
    render.release();
    m_menu_painter.release();
    m_menu_bar = nullptr;
    if (render_window) {
        Vantorr* engine = Vantorr::getInstance();
        engine->destroyRenderWindow(render_window);
        render_window = nullptr;
        engine->setCurrentRenderWindow(engine->getDummyRenderWindow());
    }
}

void DemoScene::updateWarmup() {
    particle_total = physics_threads.particleTotal();
    m_run.particle_total.store(particle_total, std::memory_order_relaxed);
    RunState& run = m_run;
    const bool overdue = scene_time > kFluidInitLimitSeconds;
    if (run.warmup_over || (particle_total <= warmup_threshold && !overdue)) return;
    if (warmup_start == 0.0f) {
        warmup_start = scene_time;
        if (particle_total <= warmup_threshold)
            logTrace(Vantorr_nsp::VN_TRACE_WARNING,
                     "PhysX - fluid initialization incomplete after %.0f s (%u of %u particles) "
                     "- warming up anyway",
                     static_cast<double>(kFluidInitLimitSeconds), particle_total, warmup_threshold);
    }
    if (scene_time - warmup_start > kWarmupSeconds) {
        run.warmup_over = true;
        physics_threads.clearCounters();
        logTrace(Vantorr_nsp::VN_TRACE_INFO, "PhysX - WARM-UP over - starting benchmarking...");
    }
}

void DemoScene::applyFreeCamera(const CameraMoves& moves, float frame_dt) {
    Vantorr_nsp::vnCamera* camera = render.main_camera;
    if (!camera) return;
    FreeCamera& free_camera = render.free_camera;
    if (moves.turn_dx != 0.0f || moves.turn_dy != 0.0f)
        free_camera.turn(*camera, moves.turn_dx, moves.turn_dy);
    if (moves.pan_dx != 0.0f || moves.pan_dy != 0.0f)
        free_camera.pan(*camera, moves.pan_dx, moves.pan_dy);
    for (int i = 0; i < moves.wheel_steps; ++i) free_camera.wheel(*camera, 1);
    for (int i = 0; i > moves.wheel_steps; --i) free_camera.wheel(*camera, -1);
    free_camera.moveByKeys(*camera, moves.forward, moves.backward, frame_dt);
}

void DemoScene::frame(float frame_dt) {
    if (!sceneReady()) return;
    const StartupOptions& o = m_settings;
    RunState& run = m_run;
    const bool benchmark = run.mode == kRunBenchmark;
    dt = frame_dt;
    scene_time += frame_dt;

    physics_threads.kickOff();

    const bool render_scene = run.render_scene.load(std::memory_order_relaxed);
    if (render_scene && benchmark) {
        // The benchmark camera circles the scene at 10 degrees per second.
        orbit_angle += frame_dt * 10.0f;
        const float a = orbit_angle * 0.017453292f;
        eye[0] = 18.0f * std::sin(a);
        eye[1] = 10.0f + 5.0f * std::sin(a);
        eye[2] = 18.0f * std::cos(a);
        if (render.main_camera)
            render.main_camera->setViewParams({eye[0], eye[1], eye[2]}, {0.0f, 3.0f, 0.0f},
                                              {0.0f, 1.0f, 0.0f});
    } else if (!benchmark) {
        // Taken every frame, so that a drag made while nothing is drawn is not replayed
        // once drawing resumes.
        const CameraMoves moves = camera_input.take();
        if (render_scene) applyFreeCamera(moves, frame_dt);
    }
    render.update(frame_dt);

    vnRenderer* renderer = vnRenderer::getInstance();
    if (renderer_name_length == 0 && renderer) {
        if (const char* name = renderer->getRendererName()) {
            renderer_name_length = static_cast<int>(std::strlen(name));
            std::snprintf(m_result.system_lines[0], sizeof m_result.system_lines[0], "%s", name);
        }
    }
    if (render_scene) {
        FrameInput input;
        input.scene_time = scene_time;
        input.particle_type = run.particle_type.load(std::memory_order_relaxed);
        input.particles_update = particles_update.load(std::memory_order_relaxed);
        render.renderScene(input);
    } else if (renderer) {
        // Dark red marks a run that simulates without drawing.
        renderer->setClearColor(0.07f, 0.0f, 0.0f, 1.0f);
        renderer->clear(Vantorr_nsp::VN_CLEAR_ALL);
    }

    if (benchmark && run.warmup_over) {
        // The bar grows by the window's width over the run. The factor is the float just
        // under 1000 (999.99994, 0x4479FFFF), not 1000 itself: the bar's length in every
        // frame depends on it to the last bit.
        const float step = (999.99994f / static_cast<float>(run.time_limit_ms)) *
                           static_cast<float>(width) * frame_dt;
        progress_bar_right += step;
        render.growProgressBar(step);
        render.drawProgressBar();
    }
    render.drawLogos();

    updateWarmup();
    if (run.display_information.load(std::memory_order_relaxed)) drawOnScreenInformation();

    // The screenshot's frame is read before presenting: after a swap the back buffer may
    // hold anything. The file is written once the frame is on screen.
    const bool screenshot = screenshot_requested.exchange(false, std::memory_order_relaxed);
    if (screenshot) render.captureScreenshot();
    // The menu last: an open drop-down lies over the scene, but not in its screenshots.
    if (m_menu_bar) m_menu_painter.draw(m_menu_bar->view(), height);
    Vantorr::getInstance()->displayCurrentRenderWindow();
    const int slowdown = o.render_slowdown_delay;
    if (slowdown > 0) sleepUnlessStopped(run, static_cast<uint32_t>(slowdown));
    if (screenshot) render.writeScreenshot();
    if (statistics_requested.exchange(false, std::memory_order_relaxed) && physics)
        physics->dumpSceneStats();

    physics_threads.complete();
    physics_threads.handOver(particles_update.load(std::memory_order_relaxed));
}

}  // namespace plashwerk
