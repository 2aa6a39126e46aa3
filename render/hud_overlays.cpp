// What is drawn over the scene in window pixels: the two logos, the benchmark's progress
// bar and the on-screen information. HUD coordinates have their origin at the window
// centre, y up; text positions are pixels from the top left.

#include <algorithm>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_font.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_texture.h"
#include "render/demo_scene_render.h"
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

void DemoSceneRender::createLogos() {
    const int w = settings.width, h = settings.height;
    // Bottom left and bottom right, 120 pixels from the window's sides to their centres.
    logo_quad = makeLogo("logotex", "images/logo.jpg", 256.0f, 128.0f, float(120 - w / 2),
                         float(60 - h / 2), VN_BLEND_ONE, VN_BLEND_ONE_MINUS_SRC_ALPHA);
    physics_logo_quad = makeLogo("nvphysxlogotex", "images/physics_logo.jpg", 240.0f, 102.0f,
                                 float(w / 2 - 120), float(40 - h / 2), VN_BLEND_ONE, VN_BLEND_ONE);
}

void DemoSceneRender::createProgressBar() {
    const int w = settings.width, h = settings.height;
    vnMaterial* m = vnMaterialMgr::getInstance()->createMaterial("progressbar_mat");
    vnRendererCtx* ctx = m->getRendererCtx();
    ctx->setRenderingState(VN_STATE_LIGHTING, false);
    ctx->setRenderingState(VN_STATE_BLENDING, true);
    ctx->setBlendingFactors(8, 9);  // the engine's source alpha / one minus source alpha

    Vantorr* engine = Vantorr::getInstance();
    progress_bar_bkg = engine->createHud("ProgressBarBkg_Hud", float(std::max(w, 1)), 20.0f);
    if (progress_bar_bkg) {
        progress_bar_bkg->setPosition(0.0f, float(h / 2 - 30), -0.1f);
        progress_bar_bkg->setColor({0.6f, 0.5f, 0.4f, 1.0f});
        progress_bar_bkg->addMaterial(m);
    }
    progress_bar = engine->createHud("ProgressBar_Hud", 1.0f, 14.0f);
    if (progress_bar) {
        progress_bar->setPosition(float(-w / 2 + 1), float(h / 2 - 30), 0.0f);
        progress_bar->setColor({0.8f, 0.8f, 0.1f, 1.0f});
        progress_bar->addMaterial(m);
    }
}

void DemoSceneRender::growProgressBar(float step) {
    if (!progress_bar) return;
    // The two corners on the right are those right of the centre.
    std::vector<vnVertex>& vertices = progress_bar->getMeshData()->getVertices();
    for (vnVertex& v : vertices)
        if (v.position[0] > 0.0f) v.position[0] += step;
    progress_bar->getMeshData()->markChanged();
}

void DemoSceneRender::drawProgressBar() {
    vnRenderer* r = vnRenderer::getInstance();
    if (progress_bar_bkg) r->drawHud(progress_bar_bkg);
    if (progress_bar) r->drawHud(progress_bar);
}

void DemoSceneRender::drawLogos() {
    vnRenderer* r = vnRenderer::getInstance();
    if (logo_quad) r->drawHud(logo_quad);
    if (physics_logo_quad) r->drawHud(physics_logo_quad);
}

void DemoSceneRender::drawOnScreenInformation(const OverlayInput& input,
                                              std::span<const GraphSource> graphs) {
    if (!input.display_information) return;
    const int w = settings.width, h = settings.height;
    if (input.show_temperature_graph) {
        const size_t count = std::min(graphs.size(), size_t(kOverlayMaxGpus));
        for (size_t i = 0; i < count; ++i) {
            temperature_graph.shown_max = graphs[i].max_celsius;
            temperature_graph.shown_min = graphs[i].min_celsius;
            temperature_graph.draw(graphs[i].history, unsigned(i), 200.0f * float(i), w, h,
                                   input.integrated_main_gpu, font);
        }
    }
    buildOverlayLines(input, m_overlay_lines);
    drawOverlayLines(m_overlay_lines);
}

void DemoSceneRender::drawOverlayLines(std::span<const OverlayLine> lines) {
    vnRenderer* r = vnRenderer::getInstance();
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
