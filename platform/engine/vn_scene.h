#pragma once
// Scenes: the meshes, lights and camera drawn together, and the manager that owns them.
//
// A scene owns its meshes (made by Vantorr::createMesh, freed by Vantorr::destroyNode or
// with the scene). Cameras, lights, materials, shaders and textures belong to their own
// managers; a scene only points at them. HUD quads (Vantorr::createHud) belong to the
// engine's HUD list, not to a scene.

#include <memory>
#include <string>
#include <vector>

#include "platform/engine/vn_math.h"

namespace Vantorr_nsp {

class vnCamera;
class vnLight;
class vnMesh;
class vnQuad;

class vnScene {
  public:
    ~vnScene();
    vnScene(const vnScene&) = delete;
    vnScene& operator=(const vnScene&) = delete;

    const std::string& getName() const { return m_name; }
    void setBkgColor(const vnColor& c) { m_bkg = c; }
    const vnColor& getBkgColor() const { return m_bkg; }

    void setActiveCamera(vnCamera* camera) { m_camera = camera; }
    vnCamera* getActiveCamera() const { return m_camera; }

    void addLight(vnLight* light);
    const std::vector<vnLight*>& getLights() const { return m_lights; }
    /// Lights whose shadow maps are drawn, in order.
    void addShadowCastingLight(vnLight* light);
    const std::vector<vnLight*>& getShadowCastingLights() const { return m_shadow_lights; }

    /// The meshes in drawing order: grouped by material (vnMaterialMgr::classifyMaterials),
    /// then in creation order.
    const std::vector<vnMesh*>& getDrawList();
    size_t getMeshCount() const { return m_meshes.size(); }

    /// Advances the camera and every mesh by dt seconds.
    void update(float dt);

  private:
    friend class vnSceneMgr;
    friend class Vantorr;
    explicit vnScene(const char* name);

    std::string m_name;
    vnColor m_bkg{0.0f, 0.0f, 0.0f, 1.0f};
    vnCamera* m_camera = nullptr;
    std::vector<vnLight*> m_lights;
    std::vector<vnLight*> m_shadow_lights;
    std::vector<std::unique_ptr<vnMesh>> m_meshes;
    std::vector<vnMesh*> m_draw_list;
    bool m_draw_list_dirty = true;
};

class vnSceneMgr {
  public:
    static vnSceneMgr* getInstance();
    vnScene* createScene(const char* name);
    vnScene* getScene(const char* name);
    /// Frees the scene and its meshes (with the render window current).
    void destroyScene(vnScene* scene);
    void clear();

  private:
    friend class Vantorr;
    std::vector<std::unique_ptr<vnScene>> m_scenes;
};

}  // namespace Vantorr_nsp
