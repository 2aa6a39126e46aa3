// The HUD: logos, progress bar, temperature graphs and text over the scene.

#include "render/hud_overlays.h"

#include <algorithm>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_font.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_texture.h"
#include "render/embedded_files.h"

namespace plashwerk {

using namespace Vantorr_nsp;

namespace {

// A textured quad drawn with its own material; null when the picture cannot be loaded.
vnQuad* makeLogo(const char* texture_name, const char* image, float width, float height, float x,
                 float y, int blend_src, int blend_dst) {
    const EmbeddedFile* file = findEmbeddedFile(image);
    vnTexture* t =
        file ? vnTextureMgr::getInstance()->createTexture2D(texture_name, file->data, file->size)
             : nullptr;
    if (!t) return nullptr;
    vnQuad* quad = Vantorr::getInstance()->createHud(texture_name, width, height);
    if (!quad) return nullptr;
    quad->setPosition(x, y, 0.0f);
    std::string material_name = std::string(texture_name) + "_mat";
    vnMaterial* m = vnMaterialMgr::getInstance()->createMaterial(material_name.c_str());
    m->addTexture(t);
    vnRendererCtx* ctx = m->getRendererCtx();
    ctx->setRenderingState(VN_STATE_LIGHTING, false);
    ctx->setRenderingState(VN_STATE_TEXTURING, true);
    ctx->setRenderingState(VN_STATE_BLENDING, true);
    ctx->setBlendingFactors(blend_src, blend_dst);
    quad->addMaterial(m);
    return quad;
}

}  // namespace

HudOverlays::HudOverlays() = default;
HudOverlays::~HudOverlays() = default;

void HudOverlays::FontRelease::operator()(vnFont* font) const {
    Vantorr::getInstance()->destroyFont(font);
}

void HudOverlays::createLogos(int w, int h) {
    // Bottom left and bottom right, 120 pixels from the window's sides to their centres.
    m_logo = makeLogo("logotex", "images/logo.jpg", 256.0f, 128.0f, float(120 - w / 2),
                      float(60 - h / 2), VN_BLEND_ONE, VN_BLEND_ONE_MINUS_SRC_ALPHA);
    m_physics_logo = makeLogo("nvphysxlogotex", "images/physics_logo.jpg", 240.0f, 102.0f,
                              float(w / 2 - 120), float(40 - h / 2), VN_BLEND_ONE, VN_BLEND_ONE);
}

void HudOverlays::createProgressBar(int w, int h) {
    vnMaterial* m = vnMaterialMgr::getInstance()->createMaterial("progressbar_mat");
    vnRendererCtx* ctx = m->getRendererCtx();
    ctx->setRenderingState(VN_STATE_LIGHTING, false);
    ctx->setRenderingState(VN_STATE_BLENDING, true);
    ctx->setBlendingFactors(8, 9);  // the engine's source alpha / one minus source alpha

    Vantorr* engine = Vantorr::getInstance();
    m_progress_bar_frame = engine->createHud("ProgressBarBkg_Hud", float(std::max(w, 1)), 20.0f);
    if (m_progress_bar_frame) {
        m_progress_bar_frame->setPosition(0.0f, float(h / 2 - 30), -0.1f);
        m_progress_bar_frame->setColor({0.6f, 0.5f, 0.4f, 1.0f});
        m_progress_bar_frame->addMaterial(m);
    }
    m_progress_bar = engine->createHud("ProgressBar_Hud", 1.0f, 14.0f);
    if (m_progress_bar) {
        m_progress_bar->setPosition(float(-w / 2 + 1), float(h / 2 - 30), 0.0f);
        m_progress_bar->setColor({0.8f, 0.8f, 0.1f, 1.0f});
        m_progress_bar->addMaterial(m);
    }
}

void HudOverlays::createFont() {
    m_font.reset(Vantorr::getInstance()->createFont("Arial", 12));
}

void HudOverlays::release() {
    Vantorr* engine = Vantorr::getInstance();
    m_temperature_graph.release();
    m_font.reset();
    for (vnQuad** quad : {&m_progress_bar, &m_progress_bar_frame, &m_physics_logo, &m_logo}) {
        if (*quad) engine->destroyNode(*quad);
        *quad = nullptr;
    }
}

void HudOverlays::growProgressBar(float step) {
    if (!m_progress_bar) return;
    // The two corners on the right are those right of the centre.
    std::vector<vnVertex>& vertices = m_progress_bar->getMeshData()->getVertices();
    for (vnVertex& v : vertices)
        if (v.position[0] > 0.0f) v.position[0] += step;
    m_progress_bar->getMeshData()->markChanged();
}

void HudOverlays::drawProgressBar() const {
    vnRenderer* r = vnRenderer::getInstance();
    if (m_progress_bar_frame) r->drawHud(m_progress_bar_frame);
    if (m_progress_bar) r->drawHud(m_progress_bar);
}

void HudOverlays::drawLogos() const {
    vnRenderer* r = vnRenderer::getInstance();
    if (m_logo) r->drawHud(m_logo);
    if (m_physics_logo) r->drawHud(m_physics_logo);
}

void HudOverlays::drawOnScreenInformation(const OverlayInput& input,
                                          std::span<const GraphSource> graphs, int w, int h) {
    if (!input.display_information) return;
    if (input.show_temperature_graph) {
        const size_t count = std::min(graphs.size(), size_t(kOverlayMaxGpus));
        for (size_t i = 0; i < count; ++i) {
            m_temperature_graph.shown_max = graphs[i].max_celsius;
            m_temperature_graph.shown_min = graphs[i].min_celsius;
            m_temperature_graph.draw(graphs[i].history, unsigned(i), 200.0f * float(i), w, h,
                                     input.integrated_main_gpu, m_font.get());
        }
    }
    buildOverlayLines(input, m_overlay_lines);
    drawOverlayLines(m_overlay_lines);
}

void HudOverlays::drawOverlayLines(std::span<const OverlayLine> lines) const {
    vnRenderer* r = vnRenderer::getInstance();
    vnFont* font = m_font.get();
    if (!r || !font || lines.empty()) return;
    r->beginText();
    for (const OverlayLine& line : lines) {
        font->setText("%s", line.text);
        font->setPosition(line.x, line.y);
        font->setColor(line.color[0], line.color[1], line.color[2]);
        font->setStyle(0);
        r->drawText(font);
    }
    r->endText();
}

}  // namespace plashwerk
