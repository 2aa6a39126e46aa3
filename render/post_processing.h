#pragma once
// The two full-window effects that raise the graphics load: the bloom chain (the scene
// drawn into a frame target, its bright parts extracted, blurred at four reductions and
// added back as amber glow) and the animated background quad laid over the frame.
//
// Contents:
//   PostProcessing
//     construction, after the fluids: createBackgroundQuad, create (the chain)
//     per frame: beginScene and endScene around the scene's passes, drawBackgroundQuad
//     release
//     what the tests read: ready, backgroundQuad, backgroundShader
//
// The render targets are owned here and the quad is freed by release; the shaders and the
// quad's material belong to the engine's managers, which the scene's owner clears after
// release.

#include <memory>

namespace Vantorr_nsp {
class vnGpuShader;
class vnQuad;
class vnRenderTarget;
}  // namespace Vantorr_nsp

namespace plashwerk {

struct RenderSettings;

class PostProcessing {
  public:
    /// Frame, luminance, blur 1 to 4 (each half the size of the one before).
    static constexpr int kTargets = 6;

    PostProcessing();
    ~PostProcessing();
    PostProcessing(const PostProcessing&) = delete;
    PostProcessing& operator=(const PostProcessing&) = delete;

    // --- Construction ----------------------------------------------------------------------
    /// The window-sized quad with the ray-marched background shader (half the steps for the
    /// light preset at 720 lines); without its shader it is drawn with its plain material.
    void createBackgroundQuad(const RenderSettings& settings);
    /// The chain's targets and shaders for the window size. False after the message when a
    /// target or shader fails; a shader the engine does not make leaves the chain off.
    bool create(const RenderSettings& settings);
    /// Frees the targets and the quad in reverse order and forgets the shaders. Safe when
    /// nothing was made.
    void release();

    // --- Per frame -------------------------------------------------------------------------
    /// With the chain ready, the scene's passes draw into the frame target from here on.
    void beginScene();
    /// With the chain ready: back to the window, where the bloomed frame is drawn.
    void endScene(float scene_time);
    /// The background quad over the frame, at the shader time; nothing without the quad.
    void drawBackgroundQuad(float scene_time);

    /// Every target and shader of the chain exists.
    bool ready() const { return m_ready; }
    Vantorr_nsp::vnQuad* backgroundQuad() const { return m_background_quad; }
    Vantorr_nsp::vnGpuShader* backgroundShader() const { return m_background_shader; }

  private:
    std::unique_ptr<Vantorr_nsp::vnRenderTarget> m_targets[kTargets];
    Vantorr_nsp::vnGpuShader* m_extract_shader = nullptr;
    Vantorr_nsp::vnGpuShader* m_blur_shader = nullptr;
    Vantorr_nsp::vnGpuShader* m_bloom_shader = nullptr;
    bool m_ready = false;
    Vantorr_nsp::vnQuad* m_background_quad = nullptr;
    Vantorr_nsp::vnGpuShader* m_background_shader = nullptr;
};

}  // namespace plashwerk
