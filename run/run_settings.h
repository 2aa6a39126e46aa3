#pragma once
// What a run is asked to be, handed to the run controller by whoever starts runs (the
// shell from the program's settings, tests and benchmarks their own):
//   RunRequest: the window, the mode and the length, taken over by the run state
//   RunSettings: how the scene, its physics and the frame loop are built and behave
// The defaults are those of a fresh installation.

#include <cstdint>

#include "physics/physics_settings.h"
#include "render/demo_scene_render.h"
#include "settings/run_kinds.h"

namespace plashwerk {

struct RunRequest {
    RunMode mode = RunMode::StabilityTest;
    int width = 800;  ///< window or screen size asked for, pixels
    int height = 600;
    bool fullscreen = false;
    int msaa = 0;  ///< samples per pixel asked for; 0: none
    /// Measured milliseconds of a benchmark; 0 or less means the default 60000.
    int max_time_ms = 60000;
    /// Seconds a stability test runs before it ends by itself; 0: until stopped.
    uint32_t stability_time_s = 0;
};

struct RunSettings {
    PhysicsSettings physics;
    /// The scene's look: post-processing, graphics load, light, preset, where the images
    /// are. Size, samples, mode and vendor are filled in when a scene is built.
    RenderSettings render;
    /// Each physics thread and the render thread alternate step by step. Default on.
    bool threads_sync = true;
    /// The render and physics threads keep to the first processor. Default off.
    bool thread_affinity = false;
    /// Milliseconds the frame sleeps after presenting (a deliberately slow renderer).
    int render_slowdown_delay = 0;
    /// The run starts with GPU-Z's clocks until the monitor has its own. Default on.
    bool use_gpuz = true;
    /// A finished benchmark waits for its results to be shown. Default on.
    bool display_score = true;
    /// Pixels the top-left on-screen information is moved down.
    int top_left_osi_y_offset = 0;

    // What the keys toggle while a run is on screen, as the run starts.
    bool display_information = true;
    bool render_scene = true;
    ParticleLook particle_look = ParticleLook::Smiley;
};

}  // namespace plashwerk
