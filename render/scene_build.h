#pragma once
// The lit scene the benchmark draws: the engine scene with its background, the two scene
// shaders (bump-mapped lit pass, ambient pass), the main camera and its free-camera orbit,
// the light, the ground and stone materials, the ground, four spheres, the pillar and the
// emitter boxes.
//
// Contents:
//   SceneBuild
//     construction, in the order of scene initialisation: createScene, createCameraAndLight,
//       createMeshes (before the fluids), createEmitterBoxes (after)
//     per frame: update
//     release
//     what the frame and the run read: scene, mainCamera, freeCamera; the meshes,
//       materials, bump shader and faceCount for the tests and tools
//
// The scene owns its meshes and goes with release. The cameras, the light, the materials
// and the shaders belong to the engine's managers, which the scene's owner clears after
// release; release only forgets them.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "render/free_camera.h"

namespace Vantorr_nsp {
class vnCamera;
class vnGpuShader;
class vnMaterial;
class vnMesh;
class vnScene;
}  // namespace Vantorr_nsp

namespace plashwerk {

struct ObstacleLayout;
struct RenderSettings;
struct SceneLayout;

class SceneBuild {
  public:
    static constexpr size_t kSpheres = 4;

    SceneBuild() = default;
    SceneBuild(const SceneBuild&) = delete;
    SceneBuild& operator=(const SceneBuild&) = delete;

    // --- Construction ----------------------------------------------------------------------
    /// The engine scene "Main_Scene" on black, and the bump-mapping and ambient-pass
    /// shaders. False after the message of a compile error (the shader stays made).
    bool createScene();
    /// The main camera (placed on the free camera's starting orbit, made active), and the
    /// point light at the settings' position, casting shadows.
    void createCameraAndLight(const RenderSettings& settings);
    /// The two materials and the ground, spheres and pillar where the layout puts them. A
    /// missing ground texture leaves the ground's material untextured; a missing stone
    /// texture leaves the other objects without material. False when a mesh cannot be made.
    bool createMeshes(const RenderSettings& settings, const ObstacleLayout& obstacles);
    /// One box mesh at each emitter of the layout; a box the engine does not make is
    /// left out.
    void createEmitterBoxes(const SceneLayout& layout);
    /// Frees the scene with its meshes and forgets everything made here; the free camera
    /// goes back to its start. Safe when nothing was made.
    void release();

    // --- Per frame -------------------------------------------------------------------------
    /// Advances the engine scene by dt seconds.
    void update(float dt);

    // --- What was built ----------------------------------------------------------------------
    Vantorr_nsp::vnScene* scene() const { return m_scene; }
    Vantorr_nsp::vnCamera* mainCamera() const { return m_main_camera; }
    FreeCamera& freeCamera() { return m_free_camera; }
    const FreeCamera& freeCamera() const { return m_free_camera; }
    Vantorr_nsp::vnMesh* ground() const { return m_ground; }
    Vantorr_nsp::vnMesh* sphere(size_t i) const { return m_spheres[i]; }
    Vantorr_nsp::vnMesh* pillar() const { return m_pillar; }
    std::span<Vantorr_nsp::vnMesh* const> emitterBoxes() const { return m_emitter_boxes; }
    Vantorr_nsp::vnMaterial* groundMaterial() const { return m_ground_material; }
    /// The stone material of the spheres, pillar and emitter boxes; null without its texture.
    Vantorr_nsp::vnMaterial* boxMaterial() const { return m_box_material; }
    Vantorr_nsp::vnGpuShader* bumpShader() const { return m_bump_shader; }
    /// Faces of every mesh made.
    uint32_t faceCount() const { return m_face_count; }

  private:
    Vantorr_nsp::vnScene* m_scene = nullptr;
    Vantorr_nsp::vnCamera* m_main_camera = nullptr;
    FreeCamera m_free_camera;
    Vantorr_nsp::vnMesh* m_ground = nullptr;
    std::array<Vantorr_nsp::vnMesh*, kSpheres> m_spheres{};
    Vantorr_nsp::vnMesh* m_pillar = nullptr;
    std::vector<Vantorr_nsp::vnMesh*> m_emitter_boxes;
    Vantorr_nsp::vnMaterial* m_ground_material = nullptr;
    Vantorr_nsp::vnMaterial* m_box_material = nullptr;
    Vantorr_nsp::vnGpuShader* m_bump_shader = nullptr;
    Vantorr_nsp::vnGpuShader* m_ambient_shader = nullptr;
    uint32_t m_face_count = 0;
};

}  // namespace plashwerk
