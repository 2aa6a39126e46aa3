#pragma once
// Lights and their manager. A point light shines from its position in every direction; for
// shadows it also looks at its look-at point through a perspective projection, the view a
// shadow map is drawn from.

#include <memory>
#include <vector>

#include "platform/engine/vn_object.h"

namespace Vantorr_nsp {

/// Everything a light hands to the renderer and the shaders.
struct vnLightData {
    vnVector3 position;
    vnVector3 lookat;
    vnColor ambient{0.0f, 0.0f, 0.0f, 1.0f};
    vnColor diffuse{1.0f, 1.0f, 1.0f, 1.0f};
    vnColor specular{1.0f, 1.0f, 1.0f, 1.0f};
    float range_start = 0.0f;   ///< distance where the light starts to fade, metres
    float range_end = 1000.0f;  ///< distance beyond which it does not reach
    float cutoff = 1000.0f;     ///< distance of the light's influence used for culling
    float attenuation[3] = {1.0f, 0.0f, 0.0f};  ///< constant, linear, quadratic
    float shadow_fov = 90.0f;  ///< shadow projection: vertical field of view, degrees
    float shadow_near = 1.0f;
    float shadow_far = 1000.0f;
    vnMatrix4 shadow_view;        ///< from the light to its look-at point
    vnMatrix4 shadow_projection;  ///< square perspective of the shadow parameters
};

class vnLight : public vnObject {
  public:
    void setAmbient(const vnColor& c) { m_data.ambient = c; }
    void setDiffuse(const vnColor& c) { m_data.diffuse = c; }
    void setSpecular(const vnColor& c) { m_data.specular = c; }
    void setShadowProjection(float fov_deg, float near_z, float far_z);
    /// The light's values, with position, view and projection brought up to date.
    const vnLightData& getLightData();

  private:
    friend class vnLightMgr;
    explicit vnLight(const char* name) : vnObject(name) {}
    vnLightData m_data;
};

class vnLightMgr {
  public:
    static vnLightMgr* getInstance();
    /// A point light: the distances where it starts to fade, stops and is cut off for
    /// culling, then its constant, linear and quadratic attenuation.
    vnLight* createLightPoint(const char* name, float range_start, float range_end, float cutoff,
                              float constant, float linear, float quadratic);
    void clear();

  private:
    std::vector<std::unique_ptr<vnLight>> m_lights;
};

}  // namespace Vantorr_nsp
