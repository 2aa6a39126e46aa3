// The particles: their three shaders and textures, and the three looks they are drawn in
// (lit smiley sprites inside the lighting passes, additive lava sprites, plain points).

#include "render/particle_draws.h"

#include <algorithm>
#include <cmath>

#include "physics/fluid_simulation.h"
#include "platform/engine/vantorr.h"
#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_render_state.h"
#include "platform/engine/vn_texture.h"
#include "platform/msgbox/message_box.h"
#include "render/embedded_files.h"
#include "render/render_settings.h"
#include "render/scene_shaders.h"

namespace plashwerk {

using namespace Vantorr_nsp;

namespace {

// Sprite radius in metres as the lit shader's sphere impostor sees it.
constexpr float kPointRadius = 0.0625f;
// pointScale = window height x sqrt(3): with the 0.15 m of the shaders a particle covers
// about as many pixels as a 0.15 m ball seen through a 60-degree field of view.
constexpr float kSqrt3 = 1.7320508f;
constexpr int kVendorAmd = 2;

// Brightness below 0.1 is transparent, rising to opaque at full brightness.
constexpr float kOpacityLow = 0.1f;
constexpr float kOpacityHigh = 1.0f;

constexpr float kPointSize = 6.0f;  // pixels of the plain point look

}  // namespace

bool ParticleDraws::createShaders(const RenderSettings& settings) {
    std::vector<std::string> defines;
    if (settings.vendor_class == kVendorAmd) defines.push_back("POINT_COORD");
    std::vector<std::string> lit_defines = defines;
    if (settings.add_post_fx) lit_defines.push_back("POST_FX");
    const ShaderTableEntry shaders[] = {
        {"ParticleShader", "shaders/particle.vert", "shaders/particle.frag", &lit_defines,
         &m_lit_shader},
        {"ParticleShaderAmbientPass", "shaders/particle_ambient_pass.vert",
         "shaders/particle_ambient_pass.frag", &defines, &m_ambient_shader},
        {"ParticleShaderLava", "shaders/particle_lava.vert", "shaders/particle_lava.frag", &defines,
         &m_lava_shader},
    };
    if (!buildShaderTable(shaders)) return false;
    const float point_scale = float(settings.height) * kSqrt3;
    for (const ShaderTableEntry& row : shaders) {
        vnGpuShader* shader = *row.out;
        if (!shader) continue;
        shader->setUniform1f("pointRadius", kPointRadius);
        shader->setUniform1f("pointScale", point_scale);
    }
    if (m_lit_shader) {
        m_lit_shader->setUniform1i("shadowMap", 0);
        m_lit_shader->setUniform1i("tex0", 1);
    }
    if (m_ambient_shader) m_ambient_shader->setUniform1i("tex0", 0);
    if (m_lava_shader) m_lava_shader->setUniform1i("tex0", 0);
    return true;
}

void ParticleDraws::setFluids(std::vector<const ParticleFluid*> fluids) {
    m_fluids = std::move(fluids);
    m_point_arrays.clear();
    m_point_arrays.resize(m_fluids.size());
}

bool ParticleDraws::loadTextures(const std::string& data_root) {
    vnTextureMgr* textures = vnTextureMgr::getInstance();
    const std::string smiley =
        data_root.empty() ? "data/smiley.jpg" : data_root + "/data/smiley.jpg";
    m_smiley_texture = textures->createTexture2D(smiley.c_str());
    if (!m_smiley_texture) {
        showErrorBox("could not load particle texture!");
        return false;
    }
    const EmbeddedFile* glow = findEmbeddedFile("images/particletex.jpg");
    m_lava_texture =
        glow ? textures->createTexture2D("particletex", glow->data, glow->size) : nullptr;
    if (!m_lava_texture) {
        showErrorBox("could not load lava particle texture!");
        return false;
    }
    for (vnTexture* t : {m_smiley_texture, m_lava_texture}) {
        t->changePixelFormat(VN_PIXEL_FORMAT_RGBA);
        t->updateOpacityMap(kOpacityLow, kOpacityHigh);
        t->setFunctionType(VN_TEXFUNC_MODULATE);
    }
    return true;
}

void ParticleDraws::checkPointParameters(bool available) {
    // Lava sprites need point sizes chosen per particle: a driver that draws only one size
    // gets the plain points instead.
    float min_size = 0.0f, max_size = 0.0f;
    vnRenderer::getInstance()->getPointSizeRange(min_size, max_size);
    m_point_parameters = available && max_size > min_size;
}

void ParticleDraws::release() {
    m_fluids.clear();
    m_point_arrays.clear();
    m_point_parameters = true;
    m_smiley_texture = m_lava_texture = nullptr;
    m_lit_shader = m_ambient_shader = m_lava_shader = nullptr;
}

// One smiley pass over every fluid. The render copies go to the GPU as they are: positions,
// and the life records as three-float colours whose first float the shaders read.
void ParticleDraws::drawSmileys(SmileyPass pass) const {
    const bool lit = pass == SmileyPass::Lit;
    vnGpuShader* shader = lit ? m_lit_shader : m_ambient_shader;
    if (!shader) return;
    vnRenderer* r = vnRenderer::getInstance();
    r->bindTexture(lit ? 1 : 0, m_smiley_texture);
    shader->bind();
    r->setPointSprites(true);
    for (const ParticleFluid* fluid : m_fluids) {
        if (!fluid) continue;
        const ParticleView particles = fluid->particles.forRender();
        if (particles.count == 0) continue;
        shader->setUniform1f("max_lifetime", fluid->lifetime);
        r->drawPoints(int(particles.count), &particles.positions->x, 3, int(kParticleRecordBytes),
                      &particles.life->x, 3, int(kParticleRecordBytes));
    }
    r->setPointSprites(false);
    vnGpuShader::unbind();
}

void ParticleDraws::drawPointLook(ParticleLook look) {
    const bool lava = look == ParticleLook::Lava && m_point_parameters;
    for (size_t i = 0; i < m_fluids.size(); ++i)
        if (m_fluids[i]) drawPoints(*m_fluids[i], m_point_arrays[i], lava);
}

// The lava and point looks draw from four-float arrays made from the render copies, only
// when new particles arrived or the look changed.
void ParticleDraws::drawPoints(const ParticleFluid& fluid, PointArrays& arrays, bool lava) {
    const ParticleView particles = fluid.particles.forRender();
    const uint32_t count = particles.count;
    if (count == 0) return;
    if (arrays.positions.empty() || arrays.colors.empty()) {
        const size_t floats = size_t{fluid.particles.capacity()} * 4;
        if (!arrays.positions.allocate(floats) || !arrays.colors.allocate(floats)) {
            arrays.positions.reset();
            arrays.colors.reset();
            return;
        }
    }
    const ParticleLook look = lava ? ParticleLook::Lava : ParticleLook::Point;
    if (particles.generation != arrays.generation || arrays.look != look) {
        float* out_positions = arrays.positions.data();
        float* out_colors = arrays.colors.data();
        const float inverse_lifetime = fluid.lifetime > 0.0f ? 1.0f / fluid.lifetime : 0.0f;
        for (uint32_t i = 0; i < count; ++i) {
            const ParticleRecord& position = particles.positions[i];
            const float t = particles.life[i].x * inverse_lifetime;
            float* p = out_positions + 4 * i;
            p[0] = position.x;
            p[1] = position.y;
            p[2] = position.z;
            p[3] = 1.0f;
            float* c = out_colors + 4 * i;
            if (lava) {
                c[0] = c[1] = c[2] = 0.8f * t;
                c[3] = 0.6f * t;
            } else {
                c[0] = c[1] = c[2] = c[3] = t;
            }
        }
        arrays.generation = particles.generation;
        arrays.look = look;
    }
    vnRenderer* r = vnRenderer::getInstance();
    r->setRenderingState(VN_STATE_LIGHTING, false);
    r->setRenderingState(VN_STATE_BLENDING, true);
    r->setRenderingState(VN_STATE_DEPTH_TEST, true);
    if (lava) {
        r->bindTexture(0, m_lava_texture);
        if (m_lava_shader) m_lava_shader->bind();
        r->setPointSprites(true);
        r->setRenderingState(VN_STATE_TEXTURING, true);
        r->setBlendFunc(VN_BLEND_SRC_ALPHA, VN_BLEND_ONE);
        r->setRenderingState(VN_STATE_DEPTH_WRITE, false);
        r->drawPoints(int(count), arrays.positions.data(), 4, 0, arrays.colors.data(), 4, 0);
        r->setPointSprites(false);
        vnGpuShader::unbind();
        r->setRenderingState(VN_STATE_TEXTURING, false);
        r->bindTexture(0, nullptr);
        r->setRenderingState(VN_STATE_DEPTH_WRITE, true);
    } else {
        r->setRenderingState(VN_STATE_TEXTURING, false);
        r->setBlendFunc(VN_BLEND_SRC_ALPHA, VN_BLEND_ONE_MINUS_SRC_ALPHA);
        r->setPointSize(kPointSize);
        r->drawPoints(int(count), arrays.positions.data(), 4, 0, arrays.colors.data(), 4, 0);
        r->setPointSize(1.0f);
    }
    r->setRenderingState(VN_STATE_BLENDING, false);
}

}  // namespace plashwerk
