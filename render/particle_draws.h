#pragma once
// The fluids' particles on screen, in the three looks a run switches between: lit smiley
// sprites drawn inside the lighting passes, additive lava sprites and plain six-pixel
// points drawn after them. Owns the three particle shaders and two textures, the fluids
// drawn, and the four-float arrays the lava and point looks draw from.
//
// Contents:
//   SmileyPass: the lighting pass a smiley draw belongs to
//   ParticleDraws
//     construction: createShaders (with the scene), then after the fluids: setFluids,
//       loadTextures, checkPointParameters
//     per frame: drawSmileys (from the lighting passes), drawPointLook
//     release
//
// The shaders and textures belong to the engine's managers, which the scene's owner clears
// after release; release only forgets them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "physics/aligned_buffer.h"
#include "settings/run_kinds.h"

namespace Vantorr_nsp {
class vnGpuShader;
class vnTexture;
}  // namespace Vantorr_nsp

namespace plashwerk {

struct ParticleFluid;
struct RenderSettings;

/// The lighting pass a smiley draw takes part in: the lit pass reads the shadow map and the
/// texture from unit 1; the ambient and shadow passes draw with the ambient shader.
enum class SmileyPass { Lit, Ambient, Shadow };

class ParticleDraws {
  public:
    ParticleDraws() = default;
    ParticleDraws(const ParticleDraws&) = delete;
    ParticleDraws& operator=(const ParticleDraws&) = delete;

    // --- Construction ----------------------------------------------------------------------
    /// The lit, ambient-pass and lava shaders in the variant the settings ask for
    /// (POINT_COORD on the AMD vendor class, POST_FX for the lit one with post-processing),
    /// sized for the window height. False after the message of a compile error.
    bool createShaders(const RenderSettings& settings);
    /// The fluids whose particles are drawn; the point arrays are made again at first use.
    void setFluids(std::vector<const ParticleFluid*> fluids);
    /// The smiley texture (data/smiley.jpg below data_root) and the built-in lava glow.
    /// False after the message when either cannot be loaded.
    bool loadTextures(const std::string& data_root);
    /// The lava look is drawn only when the GPU has point parameters (`available`) and
    /// draws more than one point size; otherwise it falls back to the plain points.
    void checkPointParameters(bool available);
    /// Forgets the fluids, their arrays, the shaders and textures. Safe when nothing was made.
    void release();

    // --- Per frame -------------------------------------------------------------------------
    /// Every fluid's particles as smiley sprites, for one lighting pass.
    void drawSmileys(SmileyPass pass) const;
    /// Every fluid's particles in the lava or point look (lava only with point parameters),
    /// with the camera already set.
    void drawPointLook(ParticleLook look);

  private:
    /// The lava and point looks draw from four floats per particle, converted from a
    /// fluid's render copy when a new copy arrived or the look changed. Made at first use.
    struct PointArrays {
        AlignedBuffer<float> positions;    ///< x, y, z, 1
        AlignedBuffer<float> colors;       ///< r, g, b, a from the remaining life
        std::optional<ParticleLook> look;  ///< the look last converted for
        uint64_t generation = 0;           ///< the render copy last converted
    };

    void drawPoints(const ParticleFluid& fluid, PointArrays& arrays, bool lava);

    Vantorr_nsp::vnGpuShader* m_lit_shader = nullptr;
    Vantorr_nsp::vnGpuShader* m_ambient_shader = nullptr;
    Vantorr_nsp::vnGpuShader* m_lava_shader = nullptr;
    Vantorr_nsp::vnTexture* m_smiley_texture = nullptr;
    Vantorr_nsp::vnTexture* m_lava_texture = nullptr;
    std::vector<const ParticleFluid*> m_fluids;
    std::vector<PointArrays> m_point_arrays;  ///< one per fluid
    bool m_point_parameters = true;
};

}  // namespace plashwerk
