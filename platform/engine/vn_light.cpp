#include "platform/engine/vn_light.h"

namespace Vantorr_nsp {

void vnLight::setShadowProjection(float fov_deg, float near_z, float far_z) {
    m_data.shadow_fov = fov_deg;
    m_data.shadow_near = near_z;
    m_data.shadow_far = far_z;
}

const vnLightData& vnLight::getLightData() {
    m_data.position = m_tripod.getPosition();
    m_data.lookat = m_tripod.getLookatPoint();
    m_data.shadow_view = m_tripod.getViewMatrix();
    m_data.shadow_projection =
        vnMatrix4::perspective(m_data.shadow_fov, 1.0f, m_data.shadow_near, m_data.shadow_far);
    return m_data;
}

vnLightMgr* vnLightMgr::getInstance() {
    static vnLightMgr mgr;
    return &mgr;
}

vnLight* vnLightMgr::createLightPoint(const char* name, float range_start, float range_end,
                                      float cutoff, float constant, float linear, float quadratic) {
    auto light = std::unique_ptr<vnLight>(new vnLight(name));
    vnLightData& d = light->m_data;
    d.range_start = range_start;
    d.range_end = range_end;
    d.cutoff = cutoff;
    d.attenuation[0] = constant;
    d.attenuation[1] = linear;
    d.attenuation[2] = quadratic;
    m_lights.push_back(std::move(light));
    return m_lights.back().get();
}

void vnLightMgr::clear() {
    while (!m_lights.empty()) m_lights.pop_back();
}

}  // namespace Vantorr_nsp
