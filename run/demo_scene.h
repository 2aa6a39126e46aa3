#pragma once
// The one scene object of a run: the render window, the physics with its threads, and the
// run fields the frame operation moves each frame.
//
// Contents:
//   SceneKeys: the flags the window procedure sets for the next frames
//   DemoScene
//     initScene / releaseDemoScene: the scene's lifetime on the render thread
//     frame: one frame of the run
//     drawOnScreenInformation: the temperature graphs and text over the frame
//       (on_screen_information.cpp)
//     read-only views for the run controller and the tests
//
// Everything here lives on the render thread, except the keys and the camera input, which
// the window procedure (main thread) sets: those are atomics read once per frame. The scene
// works on the run state and result it is made with, and on the settings of its build.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "physics/demo_scene_physics.h"
#include "render/demo_scene_render.h"
#include "render/menu_bar_painter.h"
#include "run/camera_input.h"
#include "run/overlay_pacer.h"
#include "run/physics_threads.h"
#include "run/run_settings.h"
#include "run/run_state.h"

namespace Vantorr_nsp {
class vnRenderWindow;
}
namespace plashwerk::window {
class Window;
}

namespace plashwerk {

class GpuMonitor;

/// Seconds of scene time the particle count must stay above the threshold before the
/// benchmark starts measuring.
inline constexpr float kWarmupSeconds = 5.0f;

/// Seconds of scene time after which the warm-up begins whatever the particle count. Fluids
/// fill in about one particle lifetime (15 s by default); a count still below its threshold
/// after two minutes will not pass it (particles leaving the scene, failing steps), and the
/// benchmark is measured with what there is rather than never.
inline constexpr float kFluidInitLimitSeconds = 120.0f;

/// What the window procedure (main thread) asks of the next frames. Each flag is one word,
/// read once per frame by the render thread.
struct SceneKeys {
    std::atomic<bool> screenshot_requested{false};   ///< F9
    std::atomic<bool> particles_update{true};        ///< Space: particles drawn and handed over
    std::atomic<bool> show_help{false};              ///< F1
    std::atomic<bool> show_temperature_graph{true};  ///< T
    /// K: the next frame writes every fluid scene's statistics to the log.
    std::atomic<bool> statistics_requested{false};

    void reset();
};

class DemoScene {
  public:
    /// The scene of runs on `run`, whose outcome goes to `result`; both must outlive it.
    DemoScene(RunState& run, RunResult& result);
    ~DemoScene();
    DemoScene(const DemoScene&) = delete;
    DemoScene& operator=(const DemoScene&) = delete;

    /// Builds the scene on the window with the given client size, as `settings` say (kept
    /// until the next build): the render window, the physics SDK and the fluids. False
    /// (after its message) when a part that the run cannot do without fails; the scene is
    /// not ready then.
    bool initScene(window::Window* window, int width, int height, const RunSettings& settings);
    /// Stops the physics threads, releases the fluids and the SDK, and the render window.
    /// Safe when nothing was built.
    void releaseDemoScene();

    /// One frame, dt seconds after the previous one.
    void frame(float dt);

    bool sceneReady() const { return m_scene_ready; }

    /// The on-screen information of this frame from the run state, the counters, the
    /// scene and the GPU monitor: the temperature graphs, then the text. Called by the
    /// frame when display_information is set.
    void drawOnScreenInformation();
    /// The FPS and SPS counters the information shows (null: the counter lines read 0) and
    /// the monitor whose GPUs it shows (null: the process monitor).
    void setOverlaySources(const FpsSpsCounters* counters, const GpuMonitor* monitor);
    /// The renderer's name and the sample count the GPU library read from the context
    /// current on the render thread.
    void setRendererInfo(const char* renderer_name, int msaa_samples);

    // --- What the main thread reaches -----------------------------------------------------
    SceneKeys& keys() { return m_keys; }
    /// The stability test's mouse and movement keys, applied to the free camera by the
    /// next frame.
    CameraInput& cameraInput() { return m_camera_input; }

    // --- What the run reads ---------------------------------------------------------------
    PhysicsThreads& physicsThreads() { return m_physics_threads; }
    const PhysicsThreads& physicsThreads() const { return m_physics_threads; }
    const DemoScenePhysics* physics() const { return m_physics.get(); }
    DemoSceneRender& render() { return m_render; }
    Vantorr_nsp::vnRenderWindow* renderWindow() const { return m_render_window; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    /// Samples per pixel of the render window (the MSAA count shown); kept after the
    /// release for the results.
    int msaaSamples() const { return m_msaa_samples; }
    const char* rendererName() const { return m_renderer_name; }
    float sceneTime() const { return m_scene_time; }    ///< seconds since the build
    float orbitAngle() const { return m_orbit_angle; }  ///< degrees of the orbit camera
    /// Frames drawn without the scene.
    uint32_t overlayFrames() const { return m_overlay_pacer.frames(); }
    uint32_t warmupThreshold() const { return m_warmup_threshold; }
    /// scene time when the count first passed the threshold; 0 = not yet.
    float warmupStart() const { return m_warmup_start; }
    uint32_t particleTotal() const { return m_particle_total; }      ///< alive this frame
    float progressBarRight() const { return m_progress_bar_right; }  ///< pixels grown

  private:
    void reset();
    void applyFreeCamera(const CameraMoves& moves, float frame_dt);
    bool createFluids();
    void updateWarmup();

    RunState& m_run;
    RunResult& m_result;
    RunSettings m_settings;

    // Render window.
    Vantorr_nsp::vnRenderWindow* m_render_window = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_msaa_samples = 0;
    char m_renderer_name[256] = {};
    bool m_scene_ready = false;

    // Drawing and physics.
    DemoSceneRender m_render;
    std::unique_ptr<DemoScenePhysics> m_physics;
    PhysicsThreads m_physics_threads;
    std::vector<std::unique_ptr<StepTarget>> m_step_targets;

    // Run fields the frame moves.
    float m_scene_time = 0.0f;
    OverlayPacer m_overlay_pacer;  // which frames without the scene are drawn
    float m_orbit_angle = 0.0f;
    uint32_t m_warmup_threshold = 0;
    float m_warmup_start = 0.0f;
    uint32_t m_particle_total = 0;
    bool m_renderer_name_in_results = false;  ///< the first frame put it in the results
    float m_progress_bar_right = 0.0f;

    SceneKeys m_keys;
    CameraInput m_camera_input;
    const FpsSpsCounters* m_overlay_counters = nullptr;
    const GpuMonitor* m_overlay_monitor = nullptr;

    // The window's menu strip, drawn over each frame while the window shows one.
    const window::MenuBar* m_menu_bar = nullptr;
    MenuBarPainter m_menu_painter;

    // The on-screen information's input and each GPU's newest temperature samples, kept
    // from frame to frame so that a frame allocates nothing.
    OverlayInput m_overlay;
    std::vector<TemperatureSample> m_graph_histories[kOverlayMaxGpus];
    GraphSource m_graph_sources[kOverlayMaxGpus];
};

}  // namespace plashwerk
