#pragma once
// The drawing half of the scene object: the engine scene with its camera, light, ground,
// spheres, pillar and emitter boxes, the shaders, the particle looks, the post-processing
// chain, the HUD quads and font, and the screenshots.
//
// Contents:
//   RenderSettings: what the scene is built with
//   FrameInput: what one frame draws
//   DemoSceneRender
//     construction, in the order of scene initialisation:
//       reset, createShadowTarget, buildScene (before the fluids), finishScene (after)
//     per frame: update, renderScene, growProgressBar, drawProgressBar, drawLogos,
//       drawOnScreenInformation (temperature graphs, then the text)
//     takeScreenshot; captureScreenshot and writeScreenshot around presenting
//     release
//
// Everything runs on the render thread with the scene's render window current. The run
// owns the render window and the physics; this part owns what the engine draws.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "physics/aligned_buffer.h"
#include "render/free_camera.h"
#include "render/on_screen_information.h"
#include "render/temperature_graph.h"

namespace Vantorr_nsp {
class vnCamera;
class vnFont;
class vnGpuShader;
class vnLight;
class vnMaterial;
class vnMesh;
class vnQuad;
class vnRenderTarget;
class vnScene;
class vnTexture;
}  // namespace Vantorr_nsp

namespace plashwerk {

class DemoScenePhysics;
struct ObstacleLayout;
struct ParticleFluid;
struct SceneLayout;

/// Particle looks (particle_type).
inline constexpr int kParticlePoint = 0;
inline constexpr int kParticleLava = 1;
inline constexpr int kParticleSmiley = 2;

/// The lighting passes the smiley particles take part in.
enum SmileyPass { kSmileyLitPass = 1, kSmileyAmbientPass = 2, kSmileyShadowPass = 3 };

struct RenderSettings {
    int width = 0;  ///< window client size, pixels
    int height = 0;
    int msaa = 0;            ///< samples asked for; multisampling is switched on from 1
    bool benchmark = false;  ///< benchmark mode: the progress bar is made
    bool add_post_fx = false;
    bool increase_graphx_workload = false;
    bool preset_run = false;
    float light_position[3] = {15.0f, 30.0f, 0.0f};
    /// Vendor class of the primary adapter (GPU library): 2 (AMD) takes the particle
    /// shaders that read gl_PointCoord, every other class those reading texture
    /// coordinate 0.
    int vendor_class = 0;
    /// The lava look may be used: the OpenGL of the GPU has point parameters (checked
    /// again on the render window's own context).
    bool point_parameters = true;
    /// Prepended to the "data/..." paths of the images read at run time; empty for the
    /// working directory.
    std::string data_root;
};

/// The next free screenshot name in the working directory from `counter` on:
/// "./plashwerk_NNNNNN.jpg", and while a file of that name exists, the counter goes up and
/// the name becomes "./Plashwerk_NNNNNN.jpg". The counter is left at the free name's number.
std::string nextScreenshotName(uint32_t& counter);

/// One GPU's temperature graph as the on-screen information draws it: the record's
/// history (oldest first; empty draws nothing) and its maximum and minimum.
struct GraphSource {
    std::span<const TemperatureSample> history;
    float max_celsius = 0.0f;
    float min_celsius = 0.0f;
};

struct FrameInput {
    float scene_time = 0.0f;  ///< seconds since the scene was built: shader time
    int particle_type = kParticleSmiley;
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
    /// Frees everything made here, in reverse order, with the render window current:
    /// render targets, font, engine scene, and the camera, light, material, shader and
    /// texture managers. Safe when nothing was made.
    void release();

    // --- Per frame -------------------------------------------------------------------------
    /// Advances the engine scene by dt seconds.
    void update(float dt);
    /// The frame's image: lighting passes with the particles, the other particle looks,
    /// the post-processing chain and the background quad.
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
    const std::string& lastScreenshotName() const { return m_last_screenshot; }

    // --- Fields ------------------------------------------------------------------------------
    RenderSettings settings;
    Vantorr_nsp::vnScene* scene = nullptr;
    Vantorr_nsp::vnCamera* main_camera = nullptr;
    Vantorr_nsp::vnCamera* shadow_camera = nullptr;
    Vantorr_nsp::vnLight* light = nullptr;
    Vantorr_nsp::vnMesh* ground = nullptr;
    Vantorr_nsp::vnMesh* spheres[4] = {};
    Vantorr_nsp::vnMesh* pillar = nullptr;
    std::vector<Vantorr_nsp::vnMesh*> emitter_boxes;
    Vantorr_nsp::vnMaterial* ground_material = nullptr;
    Vantorr_nsp::vnMaterial* box_material = nullptr;
    Vantorr_nsp::vnGpuShader* bump_shader = nullptr;
    Vantorr_nsp::vnGpuShader* ambient_shader = nullptr;
    std::unique_ptr<Vantorr_nsp::vnRenderTarget> shadow_map;
    uint32_t face_count = 0;  ///< faces of every mesh made
    FreeCamera free_camera;

    // Particles.
    Vantorr_nsp::vnGpuShader* particle_shader = nullptr;
    Vantorr_nsp::vnGpuShader* particle_ambient_shader = nullptr;
    Vantorr_nsp::vnGpuShader* particle_lava_shader = nullptr;
    Vantorr_nsp::vnTexture* smiley_texture = nullptr;
    Vantorr_nsp::vnTexture* lava_texture = nullptr;

    // Post-processing: frame, luminance, blur 1 to 4 (kPostTargets order).
    static constexpr int kPostTargets = 6;
    std::unique_ptr<Vantorr_nsp::vnRenderTarget> post_targets[kPostTargets];
    Vantorr_nsp::vnGpuShader* postfx_extract_shader = nullptr;
    Vantorr_nsp::vnGpuShader* postfx_blur_shader = nullptr;
    Vantorr_nsp::vnGpuShader* postfx_bloom_shader = nullptr;
    bool post_fx_ready = false;  ///< every target and shader of the chain exists
    char fx_texture_names[32][16] = {};
    Vantorr_nsp::vnGpuShader* bkg_shader = nullptr;
    Vantorr_nsp::vnQuad* bkg_quad = nullptr;

    // HUD.
    Vantorr_nsp::vnQuad* logo_quad = nullptr;
    Vantorr_nsp::vnQuad* physics_logo_quad = nullptr;
    Vantorr_nsp::vnQuad* progress_bar_bkg = nullptr;
    Vantorr_nsp::vnQuad* progress_bar = nullptr;
    Vantorr_nsp::vnFont* font = nullptr;
    TemperatureGraph temperature_graph;

    uint32_t screenshot_counter = 0;

  private:
    // Construction steps (scene_build.cpp, particle_draws.cpp, post_processing.cpp,
    // hud_overlays.cpp).
    bool createSceneShaders();
    bool createParticleShaders();
    void createCameraAndLight();
    bool createMeshes(const ObstacleLayout& obstacles);
    void createEmitterBoxes(const SceneLayout& layout);
    bool loadParticleTextures();
    void createLogos();
    void createBackgroundQuad();
    bool createPostProcessing();
    void createProgressBar();

    // Frame passes (lighting_passes.cpp, particle_draws.cpp, post_processing.cpp).
    void drawLightingPasses(const FrameInput& input);
    void drawShadowMap(Vantorr_nsp::vnLight* light, bool smiley);
    void drawSmileyParticles(int pass);
    void drawPointParticles(const ParticleFluid& fluid, size_t index, bool lava);
    void drawPostProcessing(float scene_time);
    void drawBackgroundQuad(float scene_time);

    /// The lava and point looks draw from four floats per particle, converted from a
    /// fluid's render copy when a new copy arrived or the look changed. Made at first use.
    struct PointArrays {
        AlignedBuffer<float> positions;  ///< x, y, z, 1
        AlignedBuffer<float> colors;     ///< r, g, b, a from the remaining life
        int look = -1;                   ///< the look last converted for; -1: none
        uint64_t generation = 0;         ///< the render copy last converted
    };

    std::vector<const ParticleFluid*> m_fluids;
    std::vector<PointArrays> m_point_arrays;  ///< one per fluid
    bool m_point_parameters = true;
    Vantorr_nsp::vnCamera* screenshotCamera() const;

    std::string m_last_screenshot;
    bool m_screenshot_captured = false;
    std::vector<OverlayLine> m_overlay_lines;  ///< this frame's text, room kept between frames
};

}  // namespace plashwerk
