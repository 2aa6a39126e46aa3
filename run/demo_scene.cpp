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

void SceneKeys::reset() {
    screenshot_requested = false;
    particles_update = true;
    show_help = false;
    show_temperature_graph = true;
    statistics_requested = false;
}

DemoScene::DemoScene(RunState& run, RunResult& result) : m_run(run), m_result(result) {}
DemoScene::~DemoScene() {
    releaseDemoScene();
}

void DemoScene::reset() {
    m_width = m_height = 0;
    m_msaa_samples = 0;
    m_renderer_name[0] = '\0';
    m_scene_time = 0.0f;
    m_overlay_pacer.reset();
    m_orbit_angle = 0.0f;
    m_warmup_threshold = 0;
    m_warmup_start = 0.0f;
    m_particle_total = 0;
    m_renderer_name_in_results = false;
    m_progress_bar_right = 0.0f;
    m_keys.reset();
    m_camera_input.reset();
    m_run.warmup_over = false;
    m_run.crash_detected = false;
    m_run.particle_total = 0;
}

bool DemoScene::initScene(window::Window* window, int w, int h, const RunSettings& settings) {
    releaseDemoScene();
    reset();
    m_settings = settings;
    m_width = w;
    m_height = h;
    Vantorr* engine = Vantorr::getInstance();
    vnRenderer* renderer = vnRenderer::getInstance();

    m_render_window = engine->createRenderWindow(window, w, h, 32, 32, 0, m_run.msaa, 2, 0, 1);
    if (!m_render_window || !renderer) {
        showErrorBox("Could not create a render window. %s startup failed.", kAppName);
        return false;
    }
    engine->setCurrentRenderWindow(m_render_window);
    m_msaa_samples = m_render_window->getSampleCount();
    // The strip is part of a real window's drawable; an offscreen one has none.
    if (window && window->menuBar() && !m_render_window->isOffscreen() &&
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
    RenderSettings render_settings = m_settings.render;
    render_settings.width = w;
    render_settings.height = h;
    render_settings.msaa = m_run.msaa;
    render_settings.benchmark = m_run.mode == RunMode::Benchmark;
    render_settings.vendor_class = Pyrolex::getVendorClass();
    m_render.reset(render_settings);
    if (!m_render.createShadowTarget()) return false;

    m_physics = std::make_unique<DemoScenePhysics>(m_settings.physics);
    if (!m_physics->startPhysicsWithFallback()) return false;
    if (!m_render.buildScene(m_physics.get())) return false;
    if (!createFluids()) return false;
    if (!m_render.finishScene(m_physics.get())) return false;

    // The clocks the run shows until the monitor has its maxima: GPU-Z's, when it runs.
    m_result.gpu_core_clock_max = 0.0f;
    m_result.gpu_memory_clock_max = 0.0f;
    if (m_settings.use_gpuz)
        readGpuzStartupClocks(true, m_result.gpu_core_clock_max, m_result.gpu_memory_clock_max);

    m_scene_ready = true;
    return true;
}

bool DemoScene::createFluids() {
    m_physics->createFluidSimulations();
    // Without a single emitter the fluids never fill and a benchmark would wait in its
    // initialisation for ever (a damaged options file can ask for a negative lifetime).
    if (m_physics->emitterTotal() == 0) {
        showErrorBox("No fluid emitter could be created. %s startup failed.", kAppName);
        return false;
    }
    m_warmup_threshold = m_physics->warmup_threshold;
    m_result.physx_on_gpu = m_physics->gpuPhysxActive();
    m_result.fluid_emitters = static_cast<int>(m_physics->emitterTotal());

    // Each simulation becomes a lane of the physics threads, handing over its fluids'
    // particles.
    m_step_targets.clear();
    std::vector<SimulationLane> lanes;
    for (const auto& sim : m_physics->fluid_simulations) {
        if (!sim || !sim->scene) continue;
        SimulationLane lane;
        m_step_targets.push_back(std::make_unique<FluidStepTarget>(*sim));
        lane.target = m_step_targets.back().get();
        for (const auto& fluid : sim->fluids)
            if (fluid) lane.fluids.push_back(&fluid->particles);
        lanes.push_back(std::move(lane));
    }

    const RunSettings& o = m_settings;
    PhysicsConfig config;
    config.arrangement =
        choosePhysicsArrangement(o.physics.multithreaded_physx, o.physics.alt_physx_threading);
    config.threads_sync = o.threads_sync;
    config.thread_affinity = o.thread_affinity;
    PhysicsFlags flags;
    flags.paused = &m_run.simulation_paused;
    flags.crash_detected = &m_run.crash_detected;
    m_physics_threads.init(config, flags, std::move(lanes));
    if (m_physics_threads.laneCount() == 0)
        logTrace(Vantorr_nsp::VN_TRACE_WARNING, "PhysX fluid: no fluid simulation could be made.");
    return true;
}

void DemoScene::releaseDemoScene() {
    m_scene_ready = false;
    // The threads first: nothing may step a scene that is being released.
    m_physics_threads.stop();
    m_physics_threads.init(PhysicsConfig{}, PhysicsFlags{}, {});
    m_step_targets.clear();
    if (m_physics) {
        m_physics->releaseFluidSimulations();
        m_physics.reset();
    }
    m_render.release();
    m_menu_painter.release();
    m_menu_bar = nullptr;
    if (m_render_window) {
        Vantorr* engine = Vantorr::getInstance();
        engine->destroyRenderWindow(m_render_window);
        m_render_window = nullptr;
        engine->setCurrentRenderWindow(engine->getDummyRenderWindow());
    }
}

void DemoScene::updateWarmup() {
    m_particle_total = m_physics_threads.particleTotal();
    m_run.particle_total.store(m_particle_total, std::memory_order_relaxed);
    RunState& run = m_run;
    const bool overdue = m_scene_time > kFluidInitLimitSeconds;
    if (run.warmup_over || (m_particle_total <= m_warmup_threshold && !overdue)) return;
    if (m_warmup_start == 0.0f) {
        m_warmup_start = m_scene_time;
        if (m_particle_total <= m_warmup_threshold)
            logTrace(Vantorr_nsp::VN_TRACE_WARNING,
                     "PhysX - fluid initialization incomplete after %.0f s (%u of %u particles) "
                     "- warming up anyway",
                     static_cast<double>(kFluidInitLimitSeconds), m_particle_total,
                     m_warmup_threshold);
    }
    if (m_scene_time - m_warmup_start > kWarmupSeconds) {
        run.warmup_over = true;
        m_physics_threads.clearCounters();
        logTrace(Vantorr_nsp::VN_TRACE_INFO, "PhysX - WARM-UP over - starting benchmarking...");
    }
}

void DemoScene::applyFreeCamera(const CameraMoves& moves, float frame_dt) {
    Vantorr_nsp::vnCamera* camera = m_render.mainCamera();
    if (!camera) return;
    FreeCamera& free_camera = m_render.freeCamera();
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
    RunState& run = m_run;
    const bool benchmark = run.mode == RunMode::Benchmark;
    m_scene_time += frame_dt;

    m_physics_threads.kickOff();

    const bool render_scene = run.render_scene.load(std::memory_order_relaxed);
    if (render_scene && benchmark) {
        // The benchmark camera circles the scene at 10 degrees per second.
        m_orbit_angle += frame_dt * 10.0f;
        const float a = m_orbit_angle * 0.017453292f;
        const Vantorr_nsp::vnVector3 eye{18.0f * std::sin(a), 10.0f + 5.0f * std::sin(a),
                                         18.0f * std::cos(a)};
        if (m_render.mainCamera())
            m_render.mainCamera()->setViewParams(eye, {0.0f, 3.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    } else if (!benchmark) {
        // Taken every frame, so that a drag made while nothing is drawn is not replayed
        // once drawing resumes.
        const CameraMoves moves = m_camera_input.take();
        if (render_scene) applyFreeCamera(moves, frame_dt);
    }
    m_render.update(frame_dt);

    vnRenderer* renderer = vnRenderer::getInstance();
    if (!m_renderer_name_in_results && renderer) {
        if (const char* name = renderer->getRendererName()) {
            m_renderer_name_in_results = true;
            std::snprintf(m_result.system_lines[0], sizeof m_result.system_lines[0], "%s", name);
        }
    }
    const bool screenshot = m_keys.screenshot_requested.exchange(false, std::memory_order_relaxed);
    const window::MenuBarView menu = m_menu_bar ? m_menu_bar->view() : window::MenuBarView{};
    const bool draw = render_scene || m_overlay_pacer.due(m_scene_time, menu, screenshot);
    if (render_scene) {
        FrameInput input;
        input.scene_time = m_scene_time;
        input.look = run.particle_look.load(std::memory_order_relaxed);
        input.particles_update = m_keys.particles_update.load(std::memory_order_relaxed);
        m_render.renderScene(input);
    } else if (renderer && draw) {
        // Dark red marks a run that simulates without drawing.
        renderer->setClearColor(0.07f, 0.0f, 0.0f, 1.0f);
        renderer->clear(Vantorr_nsp::VN_CLEAR_ALL);
    }

    if (benchmark && run.warmup_over) {
        // The bar grows by the window's width over the run. The factor is the float just
        // under 1000 (999.99994, 0x4479FFFF), not 1000 itself: the bar's length in every
        // frame depends on it to the last bit.
        const float step = (999.99994f / static_cast<float>(run.time_limit_ms)) *
                           static_cast<float>(m_width) * frame_dt;
        m_progress_bar_right += step;
        m_render.growProgressBar(step);
        if (draw) m_render.drawProgressBar();
    }
    if (draw) m_render.drawLogos();

    updateWarmup();
    if (draw && run.display_information.load(std::memory_order_relaxed)) drawOnScreenInformation();

    if (draw) {
        // The screenshot's frame is read before presenting: after a swap the back buffer
        // may hold anything. The file is written once the frame is on screen.
        if (screenshot) m_render.captureScreenshot();
        // The menu last: an open drop-down lies over the scene, but not in its screenshots.
        if (m_menu_bar) m_menu_painter.draw(menu, m_height);
        Vantorr::getInstance()->displayCurrentRenderWindow();
    }
    const int slowdown = m_settings.render_slowdown_delay;
    if (slowdown > 0) sleepUnlessStopped(run, static_cast<uint32_t>(slowdown));
    if (screenshot) m_render.writeScreenshot();
    if (m_keys.statistics_requested.exchange(false, std::memory_order_relaxed) && m_physics)
        m_physics->dumpSceneStats();

    m_physics_threads.complete();
    // Without the scene, the particles are copied only for the frames that draw the
    // overlays: the copy is then never older than one of those frames when drawing resumes,
    // and the 2.9 MB a step (at 120 000 particles) of the other frames stay uncopied.
    m_physics_threads.handOver(m_keys.particles_update.load(std::memory_order_relaxed), draw);
}

void DemoScene::setOverlaySources(const FpsSpsCounters* counters, const GpuMonitor* monitor) {
    m_overlay_counters = counters;
    m_overlay_monitor = monitor;
}

void DemoScene::setRendererInfo(const char* renderer_name, int msaa_samples) {
    std::snprintf(m_renderer_name, sizeof m_renderer_name, "%s", renderer_name);
    m_msaa_samples = msaa_samples;
}

}  // namespace plashwerk
