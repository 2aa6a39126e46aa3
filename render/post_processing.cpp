// The two full-window effects that raise the graphics load: the bloom chain and the
// animated background quad.

#include "render/post_processing.h"

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_render_target.h"
#include "platform/engine/vn_texture.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"
#include "render/render_settings.h"
#include "render/scene_shaders.h"

namespace plashwerk {

using namespace Vantorr_nsp;

namespace {

// Colour targets: RGBA, 8 bits per channel, with a depth buffer, no mipmaps.
constexpr int kTargetPixelFormat = VN_PIXEL_FORMAT_RGBA;
constexpr int kTargetInternalFormat = 3;
constexpr int kTargetWithDepth = 1;
constexpr int kTargetMipmaps = 0;

enum PostTarget { kFrame = 0, kLuminance = 1, kBlur1 = 2 };

// The background shader's ray-march steps; the light preset at 1280 x 720 takes half.
constexpr int kBackgroundSteps = 80;
constexpr int kBackgroundStepsLight = 40;
constexpr int kLightPresetHeight = 720;

// Every pass of the bloom chain draws one full-window quad with this vertex shader.
constexpr const char* kPostVertex = "shaders/postfx.vert";

}  // namespace

PostProcessing::PostProcessing() = default;
PostProcessing::~PostProcessing() = default;

bool PostProcessing::create(const RenderSettings& settings) {
    const int w = settings.width, h = settings.height;
    struct TargetSpec {
        const char* name;
        int divisor;
    };
    const TargetSpec targets[kTargets] = {
        {"PostProcessingEffect", 1}, {"PostFX_RT_Luminance", 1}, {"PostFX_RT_Blur1", 2},
        {"PostFX_RT_Blur2", 4},      {"PostFX_RT_Blur3", 8},     {"PostFX_RT_Blur4", 16},
    };
    bool all = true;
    for (int i = 0; i < kTargets; ++i) {
        m_targets[i] = std::make_unique<vnRenderTarget>();
        if (m_targets[i]->createColorTarget(
                targets[i].name, w / targets[i].divisor, h / targets[i].divisor, kTargetPixelFormat,
                kTargetInternalFormat, kTargetWithDepth, kTargetMipmaps) != 0) {
            m_targets[i].reset();
            all = false;
        }
    }
    if (!all) {
        showErrorBox("Post-FX render targets creation failed.");
        logTrace(VN_TRACE_WARNING, "Post-FX render targets creation failed.");
        return false;
    }

    const ShaderTableEntry shaders[] = {
        {"PostFXShader_ExtractBloom", kPostVertex, "shaders/postfx_extract_bloom.frag", nullptr,
         &m_extract_shader},
        {"PostFXShader_Blur1", kPostVertex, "shaders/postfx_blur1.frag", nullptr, &m_blur_shader},
        {"PostFXShader_Bloom", kPostVertex, "shaders/postfx_bloom.frag", nullptr, &m_bloom_shader},
    };
    // The messages number the chain's shaders from 1, in the order above.
    const auto report = [](size_t index, ShaderBuild result, vnGpuShader& shader) {
        showErrorBox("Post-FX shader creation failed.");
        logTrace(VN_TRACE_ERROR,
                 result == ShaderBuild::VertexError ? "Post-FX vertex shader %d error: %s"
                                                    : "Post-FX pixel shader %d error: %s",
                 int(index) + 1, shader.getCompileLog());
    };
    if (!buildShaderTable(shaders, report)) return false;
    if (m_extract_shader) {
        m_extract_shader->setUniform1i("sceneBuffer", 0);
        m_extract_shader->setUniform1f("brightThreshold", 0.5f);
    }
    if (m_blur_shader) {
        m_blur_shader->setUniform1i("sceneBuffer", 0);
        m_blur_shader->setUniform1i("sceneWidth", w);
        m_blur_shader->setUniform1i("sceneHeight", h);
    }
    if (m_bloom_shader) {
        m_bloom_shader->setUniform1i("sceneBuffer", 0);
        const char* luminance[] = {"luminanceTex1", "luminanceTex2", "luminanceTex3",
                                   "luminanceTex4"};
        for (int i = 0; i < 4; ++i) m_bloom_shader->setUniform1i(luminance[i], i + 1);
        m_bloom_shader->setUniform1i("sceneWidth", w);
        m_bloom_shader->setUniform1i("sceneHeight", h);
    }
    // A shader the engine did not make leaves the chain off; the scene then goes straight
    // to the window.
    m_ready = m_extract_shader && m_blur_shader && m_bloom_shader;
    return true;
}

void PostProcessing::release() {
    m_ready = false;
    m_extract_shader = m_blur_shader = m_bloom_shader = nullptr;
    for (int i = kTargets - 1; i >= 0; --i) m_targets[i].reset();
    m_background_shader = nullptr;
    if (m_background_quad) Vantorr::getInstance()->destroyNode(m_background_quad);
    m_background_quad = nullptr;
}

void PostProcessing::createBackgroundQuad(const RenderSettings& settings) {
    const int w = settings.width, h = settings.height;
    Vantorr* engine = Vantorr::getInstance();
    m_background_quad = engine->createHud("BkgImg_Hud", float(w), float(h));
    if (!m_background_quad) return;
    m_background_quad->setPosition(0.0f, 0.0f, 0.0f);
    m_background_quad->setColor({1.0f, 1.0f, 1.0f, 0.1f});
    vnMaterial* m = vnMaterialMgr::getInstance()->createMaterial("bkgimg_mat");
    vnRendererCtx* ctx = m->getRendererCtx();
    ctx->setRenderingState(VN_STATE_LIGHTING, false);
    ctx->setRenderingState(VN_STATE_TEXTURING, false);
    ctx->setRenderingState(VN_STATE_BLENDING, true);
    ctx->setBlendingFactors(VN_BLEND_SRC_ALPHA, VN_BLEND_ONE_MINUS_SRC_ALPHA);
    m_background_quad->addMaterial(m);

    const int steps =
        settings.preset_run && h == kLightPresetHeight ? kBackgroundStepsLight : kBackgroundSteps;
    vnGpuShader* shader = nullptr;
    const ShaderBuild result =
        buildShader("BkgImgShader", "shaders/bkg_img.vert", "shaders/bkg_img.frag",
                    {"K " + std::to_string(steps)}, shader);
    // Without its shader the quad is drawn with its plain material.
    if (result != ShaderBuild::Ready) {
        if (shader) logTrace(VN_TRACE_WARNING, "BkgImgShader error: %s", shader->getCompileLog());
        return;
    }
    m_background_shader = shader;
    m_background_shader->setUniform2f("resolution", float(w), float(h));
    m_background_shader->setUniform1f("time", 0.0f);
    m_background_shader->setUniform1i("tex0", 0);
    m->setGpuShader(0, m_background_shader);
}

void PostProcessing::beginScene() {
    if (m_ready) m_targets[kFrame]->activate();
}

void PostProcessing::endScene(float scene_time) {
    if (!m_ready) return;
    vnRenderTarget& frame = *m_targets[kFrame];
    vnRenderTarget& luminance = *m_targets[kLuminance];
    frame.deactivate();

    vnRenderer* r = vnRenderer::getInstance();
    luminance.activate();
    r->bindTexture(0, frame.getTarget());
    m_extract_shader->bind();
    r->drawScreenQuad();
    luminance.deactivate();

    // Every blur level reads the full-size bright parts, each at its own reduction.
    m_blur_shader->bind();
    r->bindTexture(0, luminance.getTarget());
    for (int i = kBlur1; i < kTargets; ++i) {
        vnRenderTarget& blur = *m_targets[i];
        m_blur_shader->setUniform1i("sceneWidth", blur.getWidth());
        m_blur_shader->setUniform1i("sceneHeight", blur.getHeight());
        blur.activate();
        r->drawScreenQuad();
        blur.deactivate();
    }

    r->bindTexture(0, frame.getTarget());
    for (int i = 0; i < 4; ++i) r->bindTexture(i + 1, m_targets[kBlur1 + i]->getTarget());
    m_bloom_shader->bind();
    m_bloom_shader->setUniform1f("elapsedTime", scene_time);
    r->drawScreenQuad();
    vnGpuShader::unbind();
    for (int i = 0; i < 5; ++i) r->bindTexture(i, nullptr);
}

void PostProcessing::drawBackgroundQuad(float scene_time) {
    if (!m_background_quad) return;
    vnRenderer* r = vnRenderer::getInstance();
    r->setRenderingState(VN_STATE_DEPTH_TEST, false);
    if (m_background_shader) m_background_shader->setUniform1f("time", scene_time);
    r->drawHud(m_background_quad);
    r->setRenderingState(VN_STATE_DEPTH_TEST, true);
}

}  // namespace plashwerk
