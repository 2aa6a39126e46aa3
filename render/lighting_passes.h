#pragma once
// The lit image of the scene: the ambient pass, then for each shadow-casting light its
// shadow map (a 2048 x 2048 depth target seen from the light by a camera of its own) and
// its additive lit pass. The smiley particles take part in all three passes.
//
// Contents:
//   LightingPasses
//     construction: createShadowTarget (first of the scene), createShadowCamera
//     per frame: draw
//     release
//     what the tests read: shadowMap
//
// The shadow map is owned here; the shadow camera belongs to the engine's camera manager,
// which the scene's owner clears after release.

#include <memory>

namespace Vantorr_nsp {
class vnCamera;
class vnLight;
class vnRenderTarget;
class vnScene;
}  // namespace Vantorr_nsp

namespace plashwerk {

class ParticleDraws;

class LightingPasses {
  public:
    LightingPasses();
    ~LightingPasses();
    LightingPasses(const LightingPasses&) = delete;
    LightingPasses& operator=(const LightingPasses&) = delete;

    /// The shadow map. False after the message when it cannot be made.
    bool createShadowTarget();
    /// The camera the shadow map is drawn with, placed at each light when drawn.
    void createShadowCamera();
    /// Frees the shadow map and forgets the camera. Safe when nothing was made.
    void release();

    /// The passes over the scene as `camera` sees it, into whatever target is active,
    /// with the smiley particles of `smileys` in each (null: no particles). Without shadow
    /// map or shadow camera the lit pass goes unshadowed.
    void draw(Vantorr_nsp::vnScene& scene, Vantorr_nsp::vnCamera& camera, ParticleDraws* smileys);

    Vantorr_nsp::vnRenderTarget* shadowMap() const { return m_shadow_map.get(); }

  private:
    void drawShadowMap(Vantorr_nsp::vnScene& scene, Vantorr_nsp::vnLight& light,
                       ParticleDraws* smileys);

    std::unique_ptr<Vantorr_nsp::vnRenderTarget> m_shadow_map;
    Vantorr_nsp::vnCamera* m_shadow_camera = nullptr;
};

}  // namespace plashwerk
