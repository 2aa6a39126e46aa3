#pragma once
// Materials: the colours, textures and GPU shaders of a surface with the render state it is
// drawn in (vnRendererCtx), owned by the material manager.
//
// A material has one GPU shader per shaded pass: pass 0 is drawn once per light and added
// onto the image, pass 1 makes the ambient image (vn_render_state.h). Without a shader the
// pass is drawn by the fixed-function pipeline with the material's colours.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/engine/vn_math.h"
#include "platform/engine/vn_render_state.h"

namespace Vantorr_nsp {

class vnGpuShader;
class vnTexture;

/// The render state a material asks for. A state never set is left as the renderer has it.
class vnRendererCtx {
  public:
    /// state: vnRenderingState.
    void setRenderingState(int state, bool on);
    /// True when the state was set and set on.
    bool isStateOn(int state) const;
    /// True when the state was set, on or off.
    bool isStateSet(int state) const;
    /// vnPolygonMode.
    void setPolygonMode(int mode) { m_polygon_mode = mode; }
    int getPolygonMode() const { return m_polygon_mode; }
    /// vnBlendFactor source and destination.
    void setBlendingFactors(int source, int destination) {
        m_blend_src = source;
        m_blend_dst = destination;
    }
    int getBlendSource() const { return m_blend_src; }
    int getBlendDestination() const { return m_blend_dst; }

    uint32_t setMask() const { return m_set; }
    uint32_t onMask() const { return m_on; }

  private:
    uint32_t m_set = 0;
    uint32_t m_on = 0;
    int m_polygon_mode = VN_POLYGON_FILL;
    int m_blend_src = VN_BLEND_SRC_ALPHA;
    int m_blend_dst = VN_BLEND_ONE_MINUS_SRC_ALPHA;
};

class vnMaterial {
  public:
    const std::string& getName() const { return m_name; }

    void setAmbient(const vnColor& c) { m_ambient = c; }
    void setDiffuse(const vnColor& c) { m_diffuse = c; }
    void setSpecular(const vnColor& c) { m_specular = c; }
    void setEmissive(const vnColor& c) { m_emissive = c; }
    void setShininess(float s) { m_shininess = s; }
    const vnColor& getAmbient() const { return m_ambient; }
    const vnColor& getDiffuse() const { return m_diffuse; }
    const vnColor& getSpecular() const { return m_specular; }
    const vnColor& getEmissive() const { return m_emissive; }
    float getShininess() const { return m_shininess; }

    /// Adds a texture on the next free stage (at most 4). False when full or null.
    bool addTexture(vnTexture* texture);
    vnTexture* getTexture(int stage) const;
    int getTextureCount() const { return int(m_textures.size()); }

    /// pass: 0 or 1 (vnDrawPass VN_PASS_LIT or VN_PASS_AMBIENT); null removes it.
    void setGpuShader(int pass, vnGpuShader* shader);
    vnGpuShader* getGpuShader(int pass) const;

    vnRendererCtx* getRendererCtx() { return &m_ctx; }
    const vnRendererCtx* getRendererCtx() const { return &m_ctx; }

    /// Place in the draw order given by vnMaterialMgr::classifyMaterials.
    int getSortKey() const { return m_sort_key; }

  private:
    friend class vnMaterialMgr;
    std::string m_name;
    vnColor m_ambient{0.2f, 0.2f, 0.2f, 1.0f};
    vnColor m_diffuse{0.8f, 0.8f, 0.8f, 1.0f};
    vnColor m_specular{0.0f, 0.0f, 0.0f, 1.0f};
    vnColor m_emissive{0.0f, 0.0f, 0.0f, 1.0f};
    float m_shininess = 0.0f;
    std::vector<vnTexture*> m_textures;
    std::array<vnGpuShader*, kVnMaterialPasses> m_shaders{};
    vnRendererCtx m_ctx;
    int m_sort_key = 0;
};

class vnMaterialMgr {
  public:
    static vnMaterialMgr* getInstance();

    vnMaterial* createMaterial(const char* name);
    vnMaterial* getMaterial(const char* name);
    size_t getMaterialCount() const { return m_materials.size(); }
    /// Orders the materials for drawing so that those sharing shaders and textures follow
    /// each other: scene passes draw objects in this order and change state only between
    /// groups.
    void classifyMaterials();
    /// Deletes every material, the latest first.
    void clear();

  private:
    std::vector<std::unique_ptr<vnMaterial>> m_materials;
};

}  // namespace Vantorr_nsp
