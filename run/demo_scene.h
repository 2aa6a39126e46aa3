#pragma once
// The one scene object of a run: the render window, the physics with its threads, and the
// run fields the frame operation moves each frame.
//
// Contents:
//   DemoScene: fields (render window, physics, run fields, key flags)
//     initScene / releaseDemoScene: the scene's lifetime on the render thread
//     frame: one frame of the run
//     drawOnScreenInformation: the temperature graphs and text over the frame
//       (on_screen_information.cpp)
//
// Everything here lives on the render thread, except the key flags, which the window
// procedure (main thread) toggles: those are atomics read once per frame. The scene works
// on the run state, result and settings it is made with.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "physics/demo_scene_physics.h"
#include "render/demo_scene_render.h"
#include "render/menu_bar_painter.h"
#include "run/camera_input.h"
#include "run/physics_threads.h"
#include "run/run_state.h"

namespace Vantorr_nsp {
class vnRenderWindow;
}
namespace plashwerk::window {
class Window;
}

namespace plashwerk {

class GpuMonitor;
struct StartupOptions;

/// Index of scene_ready in DemoScene::state_slots.
inline constexpr int kSceneReadySlot = 0;

/// Seconds of scene time the particle count must stay above the threshold before the
/// benchmark starts measuring.
inline constexpr float kWarmupSeconds = 5.0f;

/// Seconds of scene time after which the warm-up begins whatever the particle count. Fluids
/// fill in about one particle lifetime (15 s by default); a count still below its threshold
/// after two minutes will not pass it (particles leaving the scene, failing steps), and the
/// benchmark is measured with what there is rather than never.
inline constexpr float kFluidInitLimitSeconds = 120.0f;

class DemoScene {
  public:
    /// The scene of runs on `run`, whose outcome goes to `result`, built as `settings` say.
    /// All three must outlive the scene; the settings are only read.
    DemoScene(RunState& run, RunResult& result, const StartupOptions& settings);
    ~DemoScene();
    DemoScene(const DemoScene&) = delete;
    DemoScene& operator=(const DemoScene&) = delete;

    /// Builds the scene on the window with the given client size: the render window, the
    /// physics SDK and the fluids. False (after its message) when a part that the run
    /// cannot do without fails; scene_ready stays 0 then.
    bool initScene(window::Window* window, int width, int height);
    /// Stops the physics threads, releases the fluids and the SDK, and the render window.
    /// Safe when nothing was built.
    void releaseDemoScene();

    /// One frame, dt seconds after the previous one.
    void frame(float dt);

    bool sceneReady() const { return state_slots[kSceneReadySlot] != 0; }

    /// The on-screen information of this frame from the run state, the counters, the
    /// scene and the GPU monitor: the temperature graphs, then the text. Called by the
    /// frame when display_information is set.
    void drawOnScreenInformation();

    // --- Render window ------------------------------------------------------------------
    Vantorr_nsp::vnRenderWindow* render_window = nullptr;
    int width = 0;
    int height = 0;
    int gl_major = 0;
    int gl_minor = 0;
    /// Samples per pixel of the render window (the MSAA count shown); kept after the
    /// release for the results.
    int msaa_samples = 0;
    /// The OpenGL renderer's name, for the on-screen information.
    char renderer_name[256] = {};

    // --- Scene drawing: engine scene, shaders, particles, post-processing, HUD ----------
    DemoSceneRender render;

    // --- Physics ------------------------------------------------------------------------
    std::unique_ptr<DemoScenePhysics> physics;
    PhysicsThreads physics_threads;

    // --- Run fields ---------------------------------------------------------------------
    float scene_time = 0.0f;          ///< seconds since the scene was built
    float dt = 0.0f;                  ///< seconds of the current frame
    float orbit_angle = 0.0f;         ///< degrees: the benchmark camera on its orbit
    float eye[3] = {0, 0, 0};         ///< where the orbit puts the camera this frame
    uint32_t warmup_threshold = 0;    ///< particles that end the fluid initialisation
    float warmup_start = 0.0f;        ///< scene_time when the count first passed it; 0 = not yet
    uint32_t particle_total = 0;      ///< particles alive in every fluid this frame
    int renderer_name_length = 0;     ///< 0 until the renderer's name went into the results
    float progress_bar_right = 0.0f;  ///< pixels the progress bar has grown by

    // --- Key flags (main thread writes) --------------------------------------------------
    std::atomic<bool> screenshot_requested{false};
    std::atomic<bool> particles_update{true};
    std::atomic<bool> show_help{false};
    std::atomic<bool> show_temperature_graph{true};
    /// K: the next frame writes every fluid scene's statistics to the log.
    std::atomic<bool> statistics_requested{false};
    /// The stability test's mouse and movement keys, applied to the free camera by the
    /// next frame.
    CameraInput camera_input;
    /// The FPS and SPS counters the information shows; set by whoever runs the frames
    /// (none: the counter lines read 0).
    const FpsSpsCounters* overlay_counters = nullptr;
    /// The monitor whose GPUs the information shows; the process monitor by default.
    const GpuMonitor* overlay_monitor = nullptr;
    /// Slot 0: scene_ready. Slots 2-10: mouse buttons and arrow keys of the free camera.
    int state_slots[12] = {};

  private:
    void reset();
    void applyFreeCamera(const CameraMoves& moves, float frame_dt);
    bool createFluids();
    void updateWarmup();

    RunState& m_run;
    RunResult& m_result;
    const StartupOptions& m_settings;
    std::vector<std::unique_ptr<StepTarget>> m_step_targets;

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
