#pragma once
// The drawing half of the scene object: the composition of the parts that draw a frame,
// built at scene initialisation in their order and released in reverse.
//
// Contents:
//   FrameInput: what one frame draws
//   DemoSceneRender
//     construction, in the order of scene initialisation:
//       reset, createShadowTarget, buildScene (before the fluids), finishScene (after)
//     per frame: update, renderScene, growProgressBar, drawProgressBar, drawLogos,
//       drawOnScreenInformation (temperature graphs, then the text)
//     takeScreenshot; captureScreenshot and writeScreenshot around presenting
//     release
//     what the run reads: mainCamera, freeCamera, graphHistoryPoints; the parts that
//       tests and tools look into, read-only
//
// The parts, one file each: SceneBuild (engine scene, cameras, light, meshes, materials),
// LightingPasses (shadow map and the lit passes), ParticleDraws (the particle looks),
// PostProcessing (bloom chain and background quad), HudOverlays (logos, progress bar,
// on-screen information and graphs), Screenshots.
//
// Everything runs on the render thread with the scene's render window current. The run
// owns the render window and the physics; this part owns what the engine draws.

#include <span>
#include <string>
#include <vector>

#include "render/hud_overlays.h"
#include "render/lighting_passes.h"
#include "render/particle_draws.h"
#include "render/post_processing.h"
#include "render/render_settings.h"
#include "render/scene_build.h"
#include "render/screenshots.h"
#include "settings/run_kinds.h"

namespace Vantorr_nsp {
class vnCamera;
}

namespace plashwerk {

class DemoScenePhysics;
struct ParticleFluid;

struct FrameInput {
    float scene_time = 0.0f;  ///< seconds since the scene was built: shader time
    ParticleLook look = ParticleLook::Smiley;
    bool particles_update = true;  ///< particles are drawn at all
};

class DemoSceneRender {
  public:
    DemoSceneRender();
    ~DemoSceneRender();
    DemoSceneRender(const DemoSceneRender&) = delete;
    DemoSceneRender& operator=(const DemoSceneRender&) = delete;

    // --- Construction (scene initialisation) ---------------------------------------------
    /// Starts a new build with the settings: what an earlier build left is released first.
    void reset(const RenderSettings& settings);
    /// The 2048 x 2048 shadow map. False after the message when it cannot be made.
    bool createShadowTarget();
    /// The engine scene, the shaders, the cameras and light, the ground, spheres and
    /// pillar where the physics' scene layout puts them (the default layout without
    /// physics). False after the message of a failure that stops initialisation.
    bool buildScene(const DemoScenePhysics* physics);
    /// After the fluids exist: the emitter boxes of the physics' scene layout, the particle
    /// textures, logos, background quad, post-processing chain, progress bar and font. The
    /// physics' fluids are drawn from then on.
    bool finishScene(const DemoScenePhysics* physics);
    /// The fluids whose particles are drawn (finishScene takes them from the physics).
    void setParticleFluids(std::vector<const ParticleFluid*> fluids);
    /// Frees everything made here with the render window current: the parts in reverse
    /// order of construction, then the engine's camera, light, material, shader and
    /// texture managers that held what they pointed at. Safe when nothing was made.
    void release();

    // --- Per frame -------------------------------------------------------------------------
    /// Advances the engine scene by dt seconds.
    void update(float dt);
    /// The frame's image: lighting passes with the smiley particles, the other particle
    /// looks, the post-processing chain and the background quad.
    void renderScene(const FrameInput& input);
    /// Moves the right-hand end of the progress bar right by step pixels.
    void growProgressBar(float step);
    void drawProgressBar();
    void drawLogos();
    /// The on-screen information over the frame: with display_information and
    /// show_temperature_graph set, the temperature graph of each monitored GPU (graphs[i],
    /// 200 pixels above the previous, at most kOverlayMaxGpus), then the text lines of
    /// buildOverlayLines. Nothing with display_information off.
    void drawOnScreenInformation(const OverlayInput& input, std::span<const GraphSource> graphs);
    /// Draws lines of text with the HUD font, between one beginText and endText.
    void drawOverlayLines(std::span<const OverlayLine> lines);
    /// Writes the frame just presented as "./plashwerk_NNNNNN.jpg" (the next free name).
    /// False without a camera or when writing fails.
    bool takeScreenshot();
    /// A screenshot in two halves around presenting: the frame is read before the swap
    /// (captureScreenshot), and the file written after it (writeScreenshot, under the
    /// next free name). Each is false without a camera; writing also when nothing was
    /// captured or the file cannot be written (logged; the run goes on).
    bool captureScreenshot();
    bool writeScreenshot();
    const std::string& lastScreenshotName() const { return m_screenshots.lastName(); }

    // --- What the run reads ------------------------------------------------------------------
    /// The camera the scene is drawn with; null before buildScene.
    Vantorr_nsp::vnCamera* mainCamera() const { return m_scene.mainCamera(); }
    /// The stability test's orbit of the main camera.
    FreeCamera& freeCamera() { return m_scene.freeCamera(); }
    /// Samples one temperature graph spans.
    int graphHistoryPoints() const { return m_hud.temperatureGraph().history_points; }

    const SceneBuild& sceneBuild() const { return m_scene; }
    const LightingPasses& lightingPasses() const { return m_lighting; }
    const PostProcessing& postProcessing() const { return m_post; }
    const HudOverlays& hudOverlays() const { return m_hud; }
    const Screenshots& screenshots() const { return m_screenshots; }

  private:
    /// Frees what each part owns, in reverse order of construction, leaving the engine's
    /// managers as they are.
    void releaseParts();

    RenderSettings m_settings;
    /// Something was made in the engine's managers since the last release.
    bool m_engine_used = false;
    LightingPasses m_lighting;
    SceneBuild m_scene;
    ParticleDraws m_particles;
    PostProcessing m_post;
    HudOverlays m_hud;
    Screenshots m_screenshots;
};

}  // namespace plashwerk
