// The lit scene: built step by step at scene initialisation, advanced per frame, freed
// with its meshes at release.

#include "render/scene_build.h"

#include <cstdio>

#include "physics/demo_scene_physics.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_scene.h"
#include "platform/engine/vn_texture.h"
#include "render/demo_scene_render.h"
#include "render/scene_shaders.h"

namespace plashwerk {

using namespace Vantorr_nsp;

namespace {

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

bool SceneBuild::createScene() {
    m_scene = vnSceneMgr::getInstance()->createScene("Main_Scene");
    m_scene->setBkgColor(kBackground);
    // A compile error shows its box and is logged; the shader stays made, and
    // initialisation stops.
    const ShaderTableEntry shaders[] = {
        {"BumpMappingShader", "shaders/bump_mapping.vert", "shaders/bump_mapping.frag", nullptr,
         &m_bump_shader},
        {"AmbPassShader", "shaders/amb_pass.vert", "shaders/amb_pass.frag", nullptr,
         &m_ambient_shader},
    };
    if (!buildShaderTable(shaders)) return false;
    if (m_bump_shader) {
        m_bump_shader->setUniform1i("shadowMap", 0);
        m_bump_shader->setUniform1i("diffuseMap", 1);
    }
    if (m_ambient_shader) m_ambient_shader->setUniform1i("diffuseMap", 0);
    return true;
}

void SceneBuild::createCameraAndLight(const RenderSettings& settings) {
    const int w = settings.width, h = settings.height;
    m_main_camera = vnCameraMgr::getInstance()->createCameraPerspective(
        "Main_Camera", 60.0f, h < 1 ? float(w) : float(w) / float(h), 1.0f, 2000.0f);
    m_scene->setActiveCamera(m_main_camera);
    m_main_camera->setViewport(0, 0, w, h);
    m_main_camera->setProjPerspParams(90.0f, h <= 0 ? 1.333f : float(w) / float(h), 1.0f, 1000.0f);
    m_main_camera->setViewParams({0.0f, 0.0f, 15.0f}, {0.0f, 5.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    m_free_camera = FreeCamera{};
    m_free_camera.placeOnOrbit(*m_main_camera);
    m_main_camera->update(kFirstUpdate);
    m_main_camera->setEventState(VN_EVENT_CAMERA_VIEW, true);
    m_main_camera->setEventState(VN_EVENT_CAMERA_PROJECTION, true);
    m_main_camera->setEventState(VN_EVENT_CAMERA_FRUSTUM, true);

    vnLight* light = vnLightMgr::getInstance()->createLightPoint("Light01", 0.0f, 1000.0f, 1000.0f,
                                                                 1.0f, 0.0f, 0.0f);
    light->setAmbient({0.4f, 0.4f, 0.4f, 1.0f});
    light->setDiffuse({0.9f, 0.8f, 0.7f, 1.0f});
    light->setSpecular({0.8f, 0.8f, 0.8f, 1.0f});
    light->setPosition(settings.light_position[0], settings.light_position[1],
                       settings.light_position[2]);
    light->setLookatPoint({0.0f, 0.0f, 0.0f});
    light->setShadowProjection(120.0f, 2.0f, 500.0f);
    m_scene->addShadowCastingLight(light);
    m_scene->addLight(light);
}

bool SceneBuild::createMeshes(const RenderSettings& settings, const ObstacleLayout& obstacles) {
    Vantorr* engine = Vantorr::getInstance();
    vnTextureMgr* textures = vnTextureMgr::getInstance();
    vnMaterialMgr* materials = vnMaterialMgr::getInstance();

    // The ground's material is made even without its texture: colours and shaders remain.
    m_ground_material = materials->createMaterial("ground_mat");
    vnTexture* cement = textures->createTexture2D(dataPath(settings, "data/cement.dds").c_str());
    if (cement) m_ground_material->addTexture(cement);
    m_ground_material->setAmbient({0.6f, 0.6f, 0.6f, 1.0f});
    m_ground_material->setDiffuse({0.9f, 0.9f, 0.9f, 1.0f});
    m_ground_material->setSpecular({0.0f, 0.0f, 0.0f, 1.0f});
    m_ground_material->setShininess(1.0f);
    m_ground_material->setGpuShader(0, m_bump_shader);
    m_ground_material->setGpuShader(1, m_ambient_shader);
    sceneMaterialStates(*m_ground_material, cement != nullptr);

    // Without its texture there is no box material: those objects are drawn bare.
    if (vnTexture* stones =
            textures->createTexture2D(dataPath(settings, "data/stones_512x512.jpg").c_str())) {
        m_box_material = materials->createMaterial("box_mat");
        m_box_material->addTexture(stones);
        m_box_material->setAmbient({0.7f, 0.7f, 0.7f, 1.0f});
        m_box_material->setDiffuse({0.9f, 0.8f, 0.8f, 1.0f});
        m_box_material->setGpuShader(0, m_bump_shader);
        m_box_material->setGpuShader(1, m_ambient_shader);
        sceneMaterialStates(*m_box_material, true);
        m_box_material->getRendererCtx()->setBlendingFactors(VN_BLEND_SRC_ALPHA,
                                                             VN_BLEND_ONE_MINUS_SRC_ALPHA);
    }

    vnMeshDesc plane;
    plane.type = VN_MESH_PLANE;
    plane.size = {200.0f, 0.0f, 200.0f};
    plane.segments[0] = plane.segments[2] = 100;
    plane.tiling[0] = plane.tiling[1] = 8.0f;
    m_ground = engine->createMesh(m_scene, "GroundMesh", plane);
    if (!m_ground) return false;
    m_ground->setPosition(toVector(obstacles.ground.position));
    m_ground->assignMaterialToFaces(m_ground_material);
    // The ground receives shadows but is left out of the shadow map.
    m_ground->setOptionsState(VN_OPTION_CAST_SHADOWS, false);
    m_face_count += uint32_t(m_ground->getFaceCount());

    for (size_t i = 0; i < kSpheres; ++i) {
        vnMeshDesc sphere;
        sphere.type = VN_MESH_SPHERE;
        const SphereObstacle& spec = obstacles.spheres[i];
        sphere.size = {spec.radius, spec.radius, spec.radius};
        sphere.segments[0] = sphere.segments[1] = 100;
        char name[32];
        std::snprintf(name, sizeof name, "Sphere%zu", i + 1);
        vnMesh* mesh = engine->createMesh(m_scene, name, sphere);
        m_spheres[i] = mesh;
        if (!mesh) return false;
        mesh->setPosition(toVector(spec.position));
        mesh->computeFaceNormals();
        mesh->setVerticesColor(kObjectColour);
        if (m_box_material) mesh->assignMaterialToFaces(m_box_material);
        mesh->update(kFirstUpdate);
        m_face_count += uint32_t(mesh->getFaceCount());
    }
    if (m_box_material) m_box_material->setDiffuse({0.9f, 0.9f, 0.9f, 1.0f});

    vnMeshDesc box;
    box.type = VN_MESH_BOX;
    box.size = toVector(obstacles.pillar_size);
    box.segments[0] = box.segments[1] = box.segments[2] = 30;
    m_pillar = engine->createMesh(m_scene, "Pillar", box);
    if (!m_pillar) return false;
    m_pillar->setPosition(toVector(obstacles.pillarPosition()));
    m_pillar->setVerticesColor(kObjectColour);
    if (m_box_material) m_pillar->assignMaterialToFaces(m_box_material);
    m_pillar->update(kFirstUpdate);
    m_face_count += uint32_t(m_pillar->getFaceCount());

    return true;
}

void SceneBuild::createEmitterBoxes(const SceneLayout& layout) {
    for (const EmitterPlacement& place : layout.emitters) {
        vnMeshDesc box;
        box.type = VN_MESH_BOX;
        box.size = toVector(layout.obstacles.emitter_box_size);
        char name[32];
        std::snprintf(name, sizeof name, "EmitterBox%zu", m_emitter_boxes.size() + 1);
        vnMesh* mesh = Vantorr::getInstance()->createMesh(m_scene, name, box);
        if (!mesh) continue;
        mesh->setPosition(toVector(place.box_position));
        mesh->setVerticesColor(kObjectColour);
        if (m_box_material) mesh->assignMaterialToFaces(m_box_material);
        m_face_count += uint32_t(mesh->getFaceCount());
        m_emitter_boxes.push_back(mesh);
    }
}

void SceneBuild::release() {
    if (m_scene) vnSceneMgr::getInstance()->destroyScene(m_scene);
    m_scene = nullptr;
    m_ground = m_pillar = nullptr;
    m_spheres.fill(nullptr);
    m_emitter_boxes.clear();
    m_main_camera = nullptr;
    m_free_camera = FreeCamera{};
    m_ground_material = m_box_material = nullptr;
    m_bump_shader = m_ambient_shader = nullptr;
    m_face_count = 0;
}

void SceneBuild::update(float dt) {
    if (m_scene) m_scene->update(dt);
}

}  // namespace plashwerk
