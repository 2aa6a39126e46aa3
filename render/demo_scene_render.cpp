// The composition of the frame's parts: built in the order of scene initialisation,
// drawn in the order of a frame, released in reverse.

#include "render/demo_scene_render.h"

#include "physics/demo_scene_physics.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_scene.h"
#include "platform/engine/vn_texture.h"

namespace plashwerk {

using namespace Vantorr_nsp;

DemoSceneRender::DemoSceneRender() = default;

DemoSceneRender::~DemoSceneRender() = default;

void DemoSceneRender::reset(const RenderSettings& settings) {
    // What an earlier build left is freed first, never just forgotten.
    if (m_engine_used)
        release();
    else
        releaseParts();
    m_settings = settings;
    m_screenshots = Screenshots{settings.screenshot_folder};
}

bool DemoSceneRender::createShadowTarget() {
    m_engine_used = true;
    return m_lighting.createShadowTarget();
}

bool DemoSceneRender::buildScene(const DemoScenePhysics* physics) {
    m_engine_used = true;
    if (!m_scene.createScene() || !m_particles.createShaders(m_settings)) return false;
    m_scene.createCameraAndLight(m_settings);
    m_lighting.createShadowCamera();
    return m_scene.createMeshes(m_settings,
                                physics ? physics->sceneLayout().obstacles : ObstacleLayout{});
}

bool DemoSceneRender::finishScene(const DemoScenePhysics* physics) {
    m_engine_used = true;
    if (physics) {
        m_scene.createEmitterBoxes(physics->sceneLayout());
        setParticleFluids(physics->particleFluids());
    }
    if (!m_particles.loadTextures(m_settings.data_root)) return false;
    const int w = m_settings.width, h = m_settings.height;
    m_hud.createLogos(w, h);
    if (m_settings.increase_graphx_workload) m_post.createBackgroundQuad(m_settings);
    if (m_settings.add_post_fx && !m_post.create(m_settings)) return false;
    if (m_settings.benchmark) m_hud.createProgressBar(w, h);
    m_hud.createFont();
    m_particles.checkPointParameters(m_settings.point_parameters);
    vnRenderer* renderer = vnRenderer::getInstance();
    renderer->setRenderingState(VN_STATE_FOG, false);
    renderer->setRenderingState(VN_STATE_MULTISAMPLE, m_settings.msaa >= 1);
    vnMaterialMgr::getInstance()->classifyMaterials();
    return true;
}

void DemoSceneRender::setParticleFluids(std::vector<const ParticleFluid*> fluids) {
    m_particles.setFluids(std::move(fluids));
}

void DemoSceneRender::releaseParts() {
    m_hud.release();
    m_post.release();
    m_particles.release();
    m_scene.release();
    m_lighting.release();
}

void DemoSceneRender::release() {
    releaseParts();
    // The managers own what the parts pointed at and are shared by them: materials refer
    // to shaders and textures, so those go last.
    vnCameraMgr::getInstance()->clear();
    vnLightMgr::getInstance()->clear();
    vnMaterialMgr::getInstance()->clear();
    vnGPUShaderMgr::getInstance()->clear();
    vnTextureMgr::getInstance()->clear();
    m_engine_used = false;
}

void DemoSceneRender::update(float dt) {
    m_scene.update(dt);
}

void DemoSceneRender::renderScene(const FrameInput& input) {
    vnScene* scene = m_scene.scene();
    vnCamera* camera = m_scene.mainCamera();
    if (!scene || !camera) return;
    vnRenderer* r = vnRenderer::getInstance();
    if (!r) return;
    // With post-processing the scene is drawn into the frame target, else into the window.
    m_post.beginScene();
    const vnColor& bkg = scene->getBkgColor();
    r->setClearColor(bkg.r, bkg.g, bkg.b, bkg.a);
    r->clear(VN_CLEAR_ALL);
    const bool smiley = input.particles_update && input.look == ParticleLook::Smiley;
    m_lighting.draw(*scene, *camera, smiley ? &m_particles : nullptr);
    if (input.particles_update && !smiley) {
        r->setCamera(camera);
        m_particles.drawPointLook(input.look);
    }
    m_post.endScene(input.scene_time);
    m_post.drawBackgroundQuad(input.scene_time);
}

void DemoSceneRender::growProgressBar(float step) {
    m_hud.growProgressBar(step);
}

void DemoSceneRender::drawProgressBar() {
    m_hud.drawProgressBar();
}

void DemoSceneRender::drawLogos() {
    m_hud.drawLogos();
}

void DemoSceneRender::drawOnScreenInformation(const OverlayInput& input,
                                              std::span<const GraphSource> graphs) {
    m_hud.drawOnScreenInformation(input, graphs, m_settings.width, m_settings.height);
}

void DemoSceneRender::drawOverlayLines(std::span<const OverlayLine> lines) {
    m_hud.drawOverlayLines(lines);
}

// Screenshots read the frame through the camera the scene is drawn with.
bool DemoSceneRender::captureScreenshot() {
    vnScene* scene = m_scene.scene();
    return m_screenshots.capture(scene ? scene->getActiveCamera() : nullptr);
}

bool DemoSceneRender::writeScreenshot() {
    vnScene* scene = m_scene.scene();
    return m_screenshots.write(scene ? scene->getActiveCamera() : nullptr);
}

bool DemoSceneRender::takeScreenshot() {
    return captureScreenshot() && writeScreenshot();
}

}  // namespace plashwerk
