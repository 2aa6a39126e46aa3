#include "platform/engine/vn_material.h"

#include <algorithm>
#include <tuple>

namespace Vantorr_nsp {

void vnRendererCtx::setRenderingState(int state, bool on) {
    if (state < 0 || state >= kVnStateCount) return;
    const uint32_t bit = 1u << state;
    m_set |= bit;
    if (on)
        m_on |= bit;
    else
        m_on &= ~bit;
}

bool vnRendererCtx::isStateOn(int state) const {
    return state >= 0 && state < kVnStateCount && (m_on & (1u << state));
}

bool vnRendererCtx::isStateSet(int state) const {
    return state >= 0 && state < kVnStateCount && (m_set & (1u << state));
}

bool vnMaterial::addTexture(vnTexture* texture) {
    if (!texture || m_textures.size() >= 4) return false;
    m_textures.push_back(texture);
    return true;
}

vnTexture* vnMaterial::getTexture(int stage) const {
    return stage >= 0 && stage < int(m_textures.size()) ? m_textures[size_t(stage)] : nullptr;
}

void vnMaterial::setGpuShader(int pass, vnGpuShader* shader) {
    if (pass >= 0 && pass < kVnMaterialPasses) m_shaders[size_t(pass)] = shader;
}

vnGpuShader* vnMaterial::getGpuShader(int pass) const {
    return pass >= 0 && pass < kVnMaterialPasses ? m_shaders[size_t(pass)] : nullptr;
}

vnMaterialMgr* vnMaterialMgr::getInstance() {
    static vnMaterialMgr mgr;
    return &mgr;
}

vnMaterial* vnMaterialMgr::createMaterial(const char* name) {
    if (!name) return nullptr;
    auto m = std::make_unique<vnMaterial>();
    m->m_name = name;
    m->m_sort_key = int(m_materials.size());
    m_materials.push_back(std::move(m));
    return m_materials.back().get();
}

vnMaterial* vnMaterialMgr::getMaterial(const char* name) {
    if (!name) return nullptr;
    for (auto& m : m_materials)
        if (m->m_name == name) return m.get();
    return nullptr;
}

void vnMaterialMgr::classifyMaterials() {
    std::vector<vnMaterial*> order;
    order.reserve(m_materials.size());
    for (auto& m : m_materials) order.push_back(m.get());
    std::stable_sort(order.begin(), order.end(), [](const vnMaterial* a, const vnMaterial* b) {
        return std::make_tuple(a->m_shaders[0], a->m_shaders[1], a->getTexture(0)) <
               std::make_tuple(b->m_shaders[0], b->m_shaders[1], b->getTexture(0));
    });
    for (size_t i = 0; i < order.size(); ++i) order[i]->m_sort_key = int(i);
}

void vnMaterialMgr::clear() {
    while (!m_materials.empty()) m_materials.pop_back();
}

}  // namespace Vantorr_nsp
