// The frame's image: the ambient pass, then for each shadow-casting light its shadow map
// and its additive lit pass, with the smiley particles inside every one of them; then the
// other particle looks, the post-processing chain and the background quad.

#include "physics/fluid_simulation.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_render_target.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_scene.h"
#include "render/demo_scene_render.h"

namespace plashwerk {

using namespace Vantorr_nsp;

namespace {

// Depth offset of the shadow map's polygons: the slope factor and constant keep lit
// surfaces from shadowing themselves.
constexpr float kShadowOffsetFactor = 1.1f;
constexpr float kShadowOffsetUnits = 4.0f;

}  // namespace

void DemoSceneRender::renderScene(const FrameInput& input) {
    if (!scene || !main_camera) return;
    vnRenderer* r = vnRenderer::getInstance();
    if (!r) return;
    // With post-processing the scene is drawn into the frame target, else into the window.
    const bool post = post_fx_ready;
    if (post) post_targets[0]->activate();
    const vnColor& bkg = scene->getBkgColor();
    r->setClearColor(bkg.r, bkg.g, bkg.b, bkg.a);
    r->clear(VN_CLEAR_ALL);
    drawLightingPasses(input);

    if (input.particles_update && input.particle_type != kParticleSmiley) {
        const bool lava = input.particle_type == kParticleLava && m_point_parameters;
        r->setCamera(main_camera);
        for (size_t i = 0; i < m_fluids.size(); ++i)
            if (m_fluids[i]) drawPointParticles(*m_fluids[i], i, lava);
    }
    if (post) {
        post_targets[0]->deactivate();
        drawPostProcessing(input.scene_time);
    }
    if (bkg_quad) drawBackgroundQuad(input.scene_time);
}

void DemoSceneRender::drawLightingPasses(const FrameInput& input) {
    vnRenderer* r = vnRenderer::getInstance();
    const bool smiley = input.particles_update && input.particle_type == kParticleSmiley;

    // Ambient image.
    r->setRenderingState(VN_STATE_DEPTH_TEST, true);
    r->setRenderingState(VN_STATE_DEPTH_WRITE, true);
    r->setRenderingState(VN_STATE_BLENDING, false);
    r->setRenderingState(VN_STATE_CULL_FACE, true);
    r->setDepthFunc(VN_DEPTH_LEQUAL);
    r->setCamera(main_camera);
    r->setLights(scene);
    r->drawSceneObjects(scene, main_camera, VN_PASS_AMBIENT);
    if (smiley) drawSmileyParticles(kSmileyAmbientPass);

    for (vnLight* l : scene->getShadowCastingLights()) {
        drawShadowMap(l, smiley);

        // The light's contribution, added onto the image where the ambient pass left the
        // nearest surfaces.
        const vnLightData& d = l->getLightData();
        r->setCamera(main_camera);
        r->setLights(scene);
        const vnMatrix4 to_shadow_map = vnMatrix4::shadowBias() * d.shadow_projection *
                                        d.shadow_view * main_camera->getInverseViewMatrix();
        r->setActiveTextureUnit(0);
        r->setMatrixMode(VN_MATRIX_TEXTURE);
        r->loadMatrix(to_shadow_map);
        r->setMatrixMode(VN_MATRIX_MODELVIEW);
        r->bindTexture(0, shadow_map ? shadow_map->getTarget() : nullptr);
        r->setRenderingState(VN_STATE_BLENDING, true);
        r->setBlendFunc(VN_BLEND_ONE, VN_BLEND_ONE);
        r->setRenderingState(VN_STATE_DEPTH_WRITE, false);
        r->drawSceneObjects(scene, main_camera, VN_PASS_LIT);
        if (smiley) drawSmileyParticles(kSmileyLitPass);
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

void DemoSceneRender::drawShadowMap(vnLight* l, bool smiley) {
    if (!shadow_map || !shadow_camera) return;
    vnRenderer* r = vnRenderer::getInstance();
    const vnLightData& d = l->getLightData();
    shadow_camera->setViewParams(d.position, d.lookat, {0.0f, 1.0f, 0.0f});
    shadow_camera->setProjPerspParams(d.shadow_fov, 1.0f, d.shadow_near, d.shadow_far);
    shadow_camera->setViewport(0, 0, shadow_map->getWidth(), shadow_map->getHeight());

    shadow_map->activate();
    r->setRenderingState(VN_STATE_DEPTH_WRITE, true);
    r->clear(VN_CLEAR_DEPTH);
    r->setColorMask(false, false, false, false);
    r->setRenderingState(VN_STATE_POLYGON_OFFSET, true);
    r->setPolygonOffset(kShadowOffsetFactor, kShadowOffsetUnits);
    // Both faces: thin objects and the particles' sprites must all cast.
    r->setRenderingState(VN_STATE_CULL_FACE, false);
    r->setCamera(shadow_camera);
    r->drawSceneObjects(scene, shadow_camera, VN_PASS_DEPTH);
    if (smiley) drawSmileyParticles(kSmileyShadowPass);
    r->setRenderingState(VN_STATE_POLYGON_OFFSET, false);
    r->setColorMask(true, true, true, true);
    r->setRenderingState(VN_STATE_CULL_FACE, true);
    shadow_map->deactivate();
}

}  // namespace plashwerk
