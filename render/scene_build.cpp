// Scene initialisation and release: the steps that build what the benchmark draws.

#include <cstdio>
#include <cstring>

#include "physics/demo_scene_physics.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_font.h"
#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_render_target.h"
#include "platform/engine/vn_scene.h"
#include "platform/engine/vn_texture.h"
#include "platform/msgbox/message_box.h"
#include "render/demo_scene_render.h"
#include "render/scene_shaders.h"

namespace plashwerk {

using namespace Vantorr_nsp;

namespace {

constexpr int kShadowMapSize = 2048;    // texels on each side of the shadow map
constexpr float kFirstUpdate = 0.016f;  // seconds: one frame at 60 Hz

// Colours of the scene, (r, g, b, a).
constexpr vnColor kBackground{0.0f, 0.0f, 0.0f, 1.0f};
constexpr vnColor kObjectColour{1.0f, 1.0f, 0.0f, 1.0f};

constexpr vnVector3 toVector(const NxVec3& v) {
    return {v.x, v.y, v.z};
}

// The states every scene material is drawn with.
void sceneMaterialStates(vnMaterial& m, bool textured) {
    vnRendererCtx* ctx = m.getRendererCtx();
    ctx->setRenderingState(VN_STATE_LIGHTING, true);
    ctx->setRenderingState(VN_STATE_DEPTH_TEST, true);
    ctx->setRenderingState(VN_STATE_BLENDING, false);
    if (textured) ctx->setRenderingState(VN_STATE_TEXTURING, true);
}

std::string dataPath(const RenderSettings& s, const char* file) {
    return s.data_root.empty() ? std::string(file) : s.data_root + "/" + file;
}

}  // namespace

DemoSceneRender::DemoSceneRender() {
    reset(RenderSettings{});
}

DemoSceneRender::~DemoSceneRender() = default;

void DemoSceneRender::reset(const RenderSettings& s) {
    // What an earlier build left is freed first, never just forgotten.
    if (scene || shadow_map || font || !m_fluids.empty()) release();
    for (auto& t : post_targets) t.reset();
    settings = s;
    scene = nullptr;
    main_camera = shadow_camera = nullptr;
    light = nullptr;
    ground = pillar = nullptr;
    for (auto& sphere : spheres) sphere = nullptr;
    emitter_boxes.clear();
    ground_material = box_material = nullptr;
    bump_shader = ambient_shader = nullptr;
    face_count = 0;
    free_camera = FreeCamera{};
    particle_shader = particle_ambient_shader = particle_lava_shader = nullptr;
    smiley_texture = lava_texture = nullptr;
    postfx_extract_shader = postfx_blur_shader = postfx_bloom_shader = nullptr;
    post_fx_ready = false;
    for (int i = 0; i < 32; ++i)
        std::snprintf(fx_texture_names[i], sizeof fx_texture_names[i], "fxTexture%d", i + 1);
    bkg_shader = nullptr;
    bkg_quad = logo_quad = physics_logo_quad = progress_bar_bkg = progress_bar = nullptr;
    font = nullptr;
    screenshot_counter = 0;
    m_fluids.clear();
    m_point_arrays.clear();
    m_point_parameters = true;
    m_last_screenshot.clear();
}

bool DemoSceneRender::createShadowTarget() {
    shadow_map = std::make_unique<vnRenderTarget>();
    if (shadow_map->createDepthTarget("shadow_rt", kShadowMapSize, kShadowMapSize) != 0) {
        shadow_map.reset();
        showErrorBox("Could not create depth render targer!");
        return false;
    }
    return true;
}

bool DemoSceneRender::buildScene(const DemoScenePhysics* physics) {
    scene = vnSceneMgr::getInstance()->createScene("Main_Scene");
    scene->setBkgColor(kBackground);
    if (!createSceneShaders() || !createParticleShaders()) return false;
    createCameraAndLight();
    return createMeshes(physics ? physics->sceneLayout().obstacles : ObstacleLayout{});
}

// A compile error shows its box and is logged; the shader stays made, and initialisation
// stops.
bool DemoSceneRender::createSceneShaders() {
    const ShaderTableEntry shaders[] = {
        {"BumpMappingShader", "shaders/bump_mapping.vert", "shaders/bump_mapping.frag", nullptr,
         &bump_shader},
        {"AmbPassShader", "shaders/amb_pass.vert", "shaders/amb_pass.frag", nullptr,
         &ambient_shader},
    };
    if (!buildShaderTable(shaders)) return false;
    if (bump_shader) {
        bump_shader->setUniform1i("shadowMap", 0);
        bump_shader->setUniform1i("diffuseMap", 1);
    }
    if (ambient_shader) ambient_shader->setUniform1i("diffuseMap", 0);
    return true;
}

void DemoSceneRender::createCameraAndLight() {
    const int w = settings.width, h = settings.height;
    main_camera = vnCameraMgr::getInstance()->createCameraPerspective(
        "Main_Camera", 60.0f, h < 1 ? float(w) : float(w) / float(h), 1.0f, 2000.0f);
    scene->setActiveCamera(main_camera);
    main_camera->setViewport(0, 0, w, h);
    main_camera->setProjPerspParams(90.0f, h <= 0 ? 1.333f : float(w) / float(h), 1.0f, 1000.0f);
    main_camera->setViewParams({0.0f, 0.0f, 15.0f}, {0.0f, 5.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    free_camera = FreeCamera{};
    free_camera.placeOnOrbit(*main_camera);
    main_camera->update(kFirstUpdate);
    main_camera->setEventState(VN_EVENT_CAMERA_VIEW, true);
    main_camera->setEventState(VN_EVENT_CAMERA_PROJECTION, true);
    main_camera->setEventState(VN_EVENT_CAMERA_FRUSTUM, true);

    shadow_camera = vnCameraMgr::getInstance()->createCameraPerspective("ShadowMapCamera", 90.0f,
                                                                        1.0f, 1.0f, 2000.0f);

    light = vnLightMgr::getInstance()->createLightPoint("Light01", 0.0f, 1000.0f, 1000.0f, 1.0f,
                                                        0.0f, 0.0f);
    light->setAmbient({0.4f, 0.4f, 0.4f, 1.0f});
    light->setDiffuse({0.9f, 0.8f, 0.7f, 1.0f});
    light->setSpecular({0.8f, 0.8f, 0.8f, 1.0f});
    light->setPosition(settings.light_position[0], settings.light_position[1],
                       settings.light_position[2]);
    light->setLookatPoint({0.0f, 0.0f, 0.0f});
    light->setShadowProjection(120.0f, 2.0f, 500.0f);
    scene->addShadowCastingLight(light);
    scene->addLight(light);
}

bool DemoSceneRender::createMeshes(const ObstacleLayout& obstacles) {
    Vantorr* engine = Vantorr::getInstance();
    vnTextureMgr* textures = vnTextureMgr::getInstance();
    vnMaterialMgr* materials = vnMaterialMgr::getInstance();

    // The ground's material is made even without its texture: colours and shaders remain.
    ground_material = materials->createMaterial("ground_mat");
    vnTexture* cement = textures->createTexture2D(dataPath(settings, "data/cement.dds").c_str());
    if (cement) ground_material->addTexture(cement);
    ground_material->setAmbient({0.6f, 0.6f, 0.6f, 1.0f});
    ground_material->setDiffuse({0.9f, 0.9f, 0.9f, 1.0f});
    ground_material->setSpecular({0.0f, 0.0f, 0.0f, 1.0f});
    ground_material->setShininess(1.0f);
    ground_material->setGpuShader(0, bump_shader);
    ground_material->setGpuShader(1, ambient_shader);
    sceneMaterialStates(*ground_material, cement != nullptr);

    // Without its texture there is no box material: those objects are drawn bare.
    if (vnTexture* stones =
            textures->createTexture2D(dataPath(settings, "data/stones_512x512.jpg").c_str())) {
        box_material = materials->createMaterial("box_mat");
        box_material->addTexture(stones);
        box_material->setAmbient({0.7f, 0.7f, 0.7f, 1.0f});
        box_material->setDiffuse({0.9f, 0.8f, 0.8f, 1.0f});
        box_material->setGpuShader(0, bump_shader);
        box_material->setGpuShader(1, ambient_shader);
        sceneMaterialStates(*box_material, true);
        box_material->getRendererCtx()->setBlendingFactors(VN_BLEND_SRC_ALPHA,
                                                           VN_BLEND_ONE_MINUS_SRC_ALPHA);
    }

    vnMeshDesc plane;
    plane.type = VN_MESH_PLANE;
    plane.size = {200.0f, 0.0f, 200.0f};
    plane.segments[0] = plane.segments[2] = 100;
    plane.tiling[0] = plane.tiling[1] = 8.0f;
    ground = engine->createMesh(scene, "GroundMesh", plane);
    if (!ground) return false;
    ground->setPosition(toVector(obstacles.ground.position));
    ground->assignMaterialToFaces(ground_material);
    // The ground receives shadows but is left out of the shadow map.
    ground->setOptionsState(VN_OPTION_CAST_SHADOWS, false);
    face_count += uint32_t(ground->getFaceCount());

    for (int i = 0; i < 4; ++i) {
        vnMeshDesc sphere;
        sphere.type = VN_MESH_SPHERE;
        const SphereObstacle& spec = obstacles.spheres[size_t(i)];
        sphere.size = {spec.radius, spec.radius, spec.radius};
        sphere.segments[0] = sphere.segments[1] = 100;
        char name[32];
        std::snprintf(name, sizeof name, "Sphere%d", i + 1);
        spheres[i] = engine->createMesh(scene, name, sphere);
        if (!spheres[i]) return false;
        spheres[i]->setPosition(toVector(spec.position));
        spheres[i]->computeFaceNormals();
        spheres[i]->setVerticesColor(kObjectColour);
        if (box_material) spheres[i]->assignMaterialToFaces(box_material);
        spheres[i]->update(kFirstUpdate);
        face_count += uint32_t(spheres[i]->getFaceCount());
    }
    if (box_material) box_material->setDiffuse({0.9f, 0.9f, 0.9f, 1.0f});

    vnMeshDesc box;
    box.type = VN_MESH_BOX;
    box.size = toVector(obstacles.pillar_size);
    box.segments[0] = box.segments[1] = box.segments[2] = 30;
    pillar = engine->createMesh(scene, "Pillar", box);
    if (!pillar) return false;
    pillar->setPosition(toVector(obstacles.pillarPosition()));
    pillar->setVerticesColor(kObjectColour);
    if (box_material) pillar->assignMaterialToFaces(box_material);
    pillar->update(kFirstUpdate);
    face_count += uint32_t(pillar->getFaceCount());

    return true;
}

void DemoSceneRender::createEmitterBoxes(const SceneLayout& layout) {
    for (const EmitterPlacement& place : layout.emitters) {
        vnMeshDesc box;
        box.type = VN_MESH_BOX;
        box.size = toVector(layout.obstacles.emitter_box_size);
        char name[32];
        std::snprintf(name, sizeof name, "EmitterBox%zu", emitter_boxes.size() + 1);
        vnMesh* mesh = Vantorr::getInstance()->createMesh(scene, name, box);
        if (!mesh) continue;
        mesh->setPosition(toVector(place.box_position));
        mesh->setVerticesColor(kObjectColour);
        if (box_material) mesh->assignMaterialToFaces(box_material);
        face_count += uint32_t(mesh->getFaceCount());
        emitter_boxes.push_back(mesh);
    }
}

bool DemoSceneRender::finishScene(const DemoScenePhysics* physics) {
    if (physics) {
        createEmitterBoxes(physics->sceneLayout());
        setParticleFluids(physics->particleFluids());
    }
    if (!loadParticleTextures()) return false;
    createLogos();
    if (settings.increase_graphx_workload) createBackgroundQuad();
    if (settings.add_post_fx && !createPostProcessing()) return false;
    if (settings.benchmark) createProgressBar();

    font = Vantorr::getInstance()->createFont("Arial", 12);
    vnRenderer* renderer = vnRenderer::getInstance();
    // Lava sprites need point sizes chosen per particle: a driver that draws only one size
    // gets the plain points instead.
    float min_size = 0.0f, max_size = 0.0f;
    renderer->getPointSizeRange(min_size, max_size);
    m_point_parameters = settings.point_parameters && max_size > min_size;
    renderer->setRenderingState(VN_STATE_FOG, false);
    renderer->setRenderingState(VN_STATE_MULTISAMPLE, settings.msaa >= 1);
    vnMaterialMgr::getInstance()->classifyMaterials();
    return true;
}

void DemoSceneRender::setParticleFluids(std::vector<const ParticleFluid*> fluids) {
    m_fluids = std::move(fluids);
    m_point_arrays.clear();
    m_point_arrays.resize(m_fluids.size());
}

void DemoSceneRender::release() {
    // Reverse order of construction: targets, font, HUD, scene (with its meshes), then the
    // managers of what the scene pointed at.
    shadow_map.reset();
    for (int i = kPostTargets - 1; i >= 0; --i) post_targets[i].reset();
    post_fx_ready = false;
    Vantorr* engine = Vantorr::getInstance();
    temperature_graph.release();
    if (font) engine->destroyFont(font);
    font = nullptr;
    engine->destroyAllHuds();
    bkg_quad = logo_quad = physics_logo_quad = progress_bar_bkg = progress_bar = nullptr;
    if (scene) vnSceneMgr::getInstance()->destroyScene(scene);
    scene = nullptr;
    ground = pillar = nullptr;
    for (auto& sphere : spheres) sphere = nullptr;
    emitter_boxes.clear();
    vnCameraMgr::getInstance()->clear();
    main_camera = shadow_camera = nullptr;
    vnLightMgr::getInstance()->clear();
    light = nullptr;
    vnMaterialMgr::getInstance()->clear();
    ground_material = box_material = nullptr;
    vnGPUShaderMgr::getInstance()->clear();
    bump_shader = ambient_shader = particle_shader = particle_ambient_shader = nullptr;
    particle_lava_shader = postfx_extract_shader = postfx_blur_shader = postfx_bloom_shader =
        nullptr;
    bkg_shader = nullptr;
    vnTextureMgr::getInstance()->clear();
    smiley_texture = lava_texture = nullptr;
    m_fluids.clear();
    m_point_arrays.clear();
}

void DemoSceneRender::update(float dt) {
    if (scene) scene->update(dt);
}

}  // namespace plashwerk
