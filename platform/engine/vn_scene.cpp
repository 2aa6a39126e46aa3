#include "platform/engine/vn_scene.h"

#include <algorithm>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_light.h"
#include "platform/engine/vn_material.h"
#include "platform/engine/vn_mesh.h"
#include "platform/engine/vn_trace_mgr.h"

namespace Vantorr_nsp {
namespace {

// The engine's HUD quads, drawn over every scene.
std::vector<std::unique_ptr<vnQuad>>& hudList() {
    static std::vector<std::unique_ptr<vnQuad>> list;
    return list;
}

template <typename T>
void addOnce(std::vector<T*>& list, T* item) {
    if (item && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

}  // namespace

vnScene::vnScene(const char* name) : m_name(name ? name : "") {}

vnScene::~vnScene() {
    while (!m_meshes.empty()) m_meshes.pop_back();
}

void vnScene::addLight(vnLight* light) {
    addOnce(m_lights, light);
}

void vnScene::addShadowCastingLight(vnLight* light) {
    addOnce(m_shadow_lights, light);
}

const std::vector<vnMesh*>& vnScene::getDrawList() {
    // Materials may be classified after the meshes were made: sort on every call that
    // finds the order stale, which is once after construction.
    bool sorted = !m_draw_list_dirty;
    if (sorted) {
        int previous = -1;
        for (vnMesh* m : m_draw_list) {
            const int k = m->getMaterial() ? m->getMaterial()->getSortKey() : -1;
            if (k < previous) {
                sorted = false;
                break;
            }
            previous = k;
        }
    }
    if (!sorted) {
        m_draw_list.clear();
        for (auto& m : m_meshes) m_draw_list.push_back(m.get());
        std::stable_sort(m_draw_list.begin(), m_draw_list.end(), [](vnMesh* a, vnMesh* b) {
            const int ka = a->getMaterial() ? a->getMaterial()->getSortKey() : -1;
            const int kb = b->getMaterial() ? b->getMaterial()->getSortKey() : -1;
            return ka < kb;
        });
        m_draw_list_dirty = false;
    }
    return m_draw_list;
}

void vnScene::update(float dt) {
    if (m_camera) m_camera->update(dt);
    for (auto& m : m_meshes) m->update(dt);
}

vnSceneMgr* vnSceneMgr::getInstance() {
    static vnSceneMgr mgr;
    return &mgr;
}

vnScene* vnSceneMgr::createScene(const char* name) {
    m_scenes.push_back(std::unique_ptr<vnScene>(new vnScene(name)));
    return m_scenes.back().get();
}

vnScene* vnSceneMgr::getScene(const char* name) {
    if (!name) return nullptr;
    for (auto& s : m_scenes)
        if (s->getName() == name) return s.get();
    return nullptr;
}

void vnSceneMgr::destroyScene(vnScene* scene) {
    auto it = std::find_if(m_scenes.begin(), m_scenes.end(),
                           [&](const auto& s) { return s.get() == scene; });
    if (it != m_scenes.end()) m_scenes.erase(it);
}

void vnSceneMgr::clear() {
    while (!m_scenes.empty()) m_scenes.pop_back();
}

vnMesh* Vantorr::createMesh(vnScene* scene, const char* name, const vnMeshDesc& desc) {
    if (!scene || desc.type == VN_MESH_QUAD) return nullptr;
    auto mesh = std::unique_ptr<vnMesh>(new vnMesh(name));
    if (!mesh->build(desc)) {
        logTrace(VN_TRACE_ERROR, "Vantorr: mesh %s: bad mesh description.", name ? name : "");
        return nullptr;
    }
    scene->m_meshes.push_back(std::move(mesh));
    scene->m_draw_list_dirty = true;
    return scene->m_meshes.back().get();
}

vnQuad* Vantorr::createHud(const char* name, float width, float height) {
    if (!(width > 0.0f) || !(height > 0.0f)) return nullptr;
    auto quad = std::unique_ptr<vnQuad>(new vnQuad(name));
    vnMeshDesc desc;
    desc.type = VN_MESH_QUAD;
    desc.size = {width, height, 0.0f};
    if (!quad->build(desc)) return nullptr;
    quad->m_width = width;
    quad->m_height = height;
    hudList().push_back(std::move(quad));
    return hudList().back().get();
}

void Vantorr::destroyNode(vnObject* node) {
    if (!node) return;
    auto& huds = hudList();
    auto h = std::find_if(huds.begin(), huds.end(), [&](const auto& q) { return q.get() == node; });
    if (h != huds.end()) {
        huds.erase(h);
        return;
    }
    // A mesh: find its scene.
    vnSceneMgr* scenes = vnSceneMgr::getInstance();
    for (auto& s : scenes->m_scenes) {
        auto& meshes = s->m_meshes;
        auto m = std::find_if(meshes.begin(), meshes.end(),
                              [&](const auto& p) { return p.get() == node; });
        if (m != meshes.end()) {
            meshes.erase(m);
            s->m_draw_list_dirty = true;
            s->m_draw_list.clear();
            return;
        }
    }
}

void Vantorr::destroyAllHuds() {
    auto& huds = hudList();
    while (!huds.empty()) huds.pop_back();
}

}  // namespace Vantorr_nsp
