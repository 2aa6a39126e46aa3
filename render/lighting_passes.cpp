// The lighting passes: ambient, then per shadow-casting light its shadow map and its
// additive lit pass, with the smiley particles inside every one of them.

#include "render/lighting_passes.h"

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_render_target.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_scene.h"
#include "platform/msgbox/message_box.h"
#include "render/particle_draws.h"

namespace plashwerk {

using namespace Vantorr_nsp;

namespace {

constexpr int kShadowMapSize = 2048;  // texels on each side of the shadow map

// Depth offset of the shadow map's polygons: the slope factor and constant keep lit
// surfaces from shadowing themselves.
constexpr float kShadowOffsetFactor = 1.1f;
constexpr float kShadowOffsetUnits = 4.0f;

}  // namespace

LightingPasses::LightingPasses() = default;
LightingPasses::~LightingPasses() = default;

bool LightingPasses::createShadowTarget() {
    m_shadow_map = std::make_unique<vnRenderTarget>();
    if (m_shadow_map->createDepthTarget("shadow_rt", kShadowMapSize, kShadowMapSize) != 0) {
        m_shadow_map.reset();
        showErrorBox("Could not create depth render targer!");
        return false;
    }
    return true;
}

void LightingPasses::createShadowCamera() {
    m_shadow_camera = vnCameraMgr::getInstance()->createCameraPerspective("ShadowMapCamera", 90.0f,
                                                                          1.0f, 1.0f, 2000.0f);
}

void LightingPasses::release() {
    m_shadow_camera = nullptr;
    m_shadow_map.reset();
}

void LightingPasses::draw(vnScene& scene, vnCamera& camera, ParticleDraws* smileys) {
    vnRenderer* r = vnRenderer::getInstance();

    // Ambient image.
    r->setRenderingState(VN_STATE_DEPTH_TEST, true);
    r->setRenderingState(VN_STATE_DEPTH_WRITE, true);
    r->setRenderingState(VN_STATE_BLENDING, false);
    r->setRenderingState(VN_STATE_CULL_FACE, true);
    r->setDepthFunc(VN_DEPTH_LEQUAL);
    r->setCamera(&camera);
    r->setLights(&scene);
    r->drawSceneObjects(&scene, &camera, VN_PASS_AMBIENT);
    if (smileys) smileys->drawSmileys(SmileyPass::Ambient);

    for (vnLight* l : scene.getShadowCastingLights()) {
        drawShadowMap(scene, *l, smileys);

        // The light's contribution, added onto the image where the ambient pass left the
        // nearest surfaces.
        const vnLightData& d = l->getLightData();
        r->setCamera(&camera);
        r->setLights(&scene);
        const vnMatrix4 to_shadow_map = vnMatrix4::shadowBias() * d.shadow_projection *
                                        d.shadow_view * camera.getInverseViewMatrix();
        r->setActiveTextureUnit(0);
        r->setMatrixMode(VN_MATRIX_TEXTURE);
        r->loadMatrix(to_shadow_map);
        r->setMatrixMode(VN_MATRIX_MODELVIEW);
        r->bindTexture(0, m_shadow_map ? m_shadow_map->getTarget() : nullptr);
        r->setRenderingState(VN_STATE_BLENDING, true);
        r->setBlendFunc(VN_BLEND_ONE, VN_BLEND_ONE);
        r->setRenderingState(VN_STATE_DEPTH_WRITE, false);
        r->drawSceneObjects(&scene, &camera, VN_PASS_LIT);
        if (smileys) smileys->drawSmileys(SmileyPass::Lit);
        r->setRenderingState(VN_STATE_DEPTH_WRITE, true);
        r->setRenderingState(VN_STATE_BLENDING, false);
        r->bindTexture(0, nullptr);
        r->setActiveTextureUnit(0);
        r->setMatrixMode(VN_MATRIX_TEXTURE);
        r->loadIdentity();
        r->setMatrixMode(VN_MATRIX_MODELVIEW);
    }
    r->setRenderingState(VN_STATE_CULL_FACE, false);
}

void LightingPasses::drawShadowMap(vnScene& scene, vnLight& light, ParticleDraws* smileys) {
    if (!m_shadow_map || !m_shadow_camera) return;
    vnRenderer* r = vnRenderer::getInstance();
    const vnLightData& d = light.getLightData();
    m_shadow_camera->setViewParams(d.position, d.lookat, {0.0f, 1.0f, 0.0f});
    m_shadow_camera->setProjPerspParams(d.shadow_fov, 1.0f, d.shadow_near, d.shadow_far);
    m_shadow_camera->setViewport(0, 0, m_shadow_map->getWidth(), m_shadow_map->getHeight());

    m_shadow_map->activate();
    r->setRenderingState(VN_STATE_DEPTH_WRITE, true);
    r->clear(VN_CLEAR_DEPTH);
    r->setColorMask(false, false, false, false);
    r->setRenderingState(VN_STATE_POLYGON_OFFSET, true);
    r->setPolygonOffset(kShadowOffsetFactor, kShadowOffsetUnits);
    // Both faces: thin objects and the particles' sprites must all cast.
    r->setRenderingState(VN_STATE_CULL_FACE, false);
    r->setCamera(m_shadow_camera);
    r->drawSceneObjects(&scene, m_shadow_camera, VN_PASS_DEPTH);
    if (smileys) smileys->drawSmileys(SmileyPass::Shadow);
    r->setRenderingState(VN_STATE_POLYGON_OFFSET, false);
    r->setColorMask(true, true, true, true);
    r->setRenderingState(VN_STATE_CULL_FACE, true);
    m_shadow_map->deactivate();
}

}  // namespace plashwerk
