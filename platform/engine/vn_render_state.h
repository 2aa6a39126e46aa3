#pragma once
// The engine's numbers for render states, blending factors, matrix modes and draw passes.
//
// The program names states by these numbers (a material switches "state 17" on); each maps
// to one piece of OpenGL state in the renderer (vn_renderer_gl.cpp).

namespace Vantorr_nsp {

/// Render states switched on and off by number, on the renderer or in a material's
/// renderer context.
enum vnRenderingState {
    VN_STATE_FOG = 1,             ///< distance fog
    VN_STATE_LIGHTING = 2,        ///< fixed-function lighting
    VN_STATE_TEXTURING = 3,       ///< 2D texturing on the units in use
    VN_STATE_BLENDING = 4,        ///< colour blending with the blending factors
    VN_STATE_DEPTH_WRITE = 5,     ///< writes to the depth buffer
    VN_STATE_CULL_FACE = 6,       ///< back faces are not drawn
    VN_STATE_MULTISAMPLE = 7,     ///< multisample anti-aliasing
    VN_STATE_POINT_SPRITE = 8,    ///< points drawn as textured sprites
    VN_STATE_POLYGON_OFFSET = 9,  ///< depth offset of filled polygons
    VN_STATE_ALPHA_TEST = 10,     ///< fragments of alpha 0 are dropped
    VN_STATE_DEPTH_TEST = 17,     ///< fragments behind the depth buffer are dropped
};
inline constexpr int kVnStateCount = 18;

/// Blending factors of setBlendingFactors and vnRenderer::setBlendFunc.
enum vnBlendFactor {
    VN_BLEND_ZERO = 0,
    VN_BLEND_ONE = 1,
    VN_BLEND_SRC_COLOR = 2,
    VN_BLEND_ONE_MINUS_SRC_COLOR = 3,
    VN_BLEND_DST_COLOR = 4,
    VN_BLEND_ONE_MINUS_DST_COLOR = 5,
    VN_BLEND_DST_ALPHA = 6,
    VN_BLEND_ONE_MINUS_DST_ALPHA = 7,
    VN_BLEND_SRC_ALPHA = 8,
    VN_BLEND_ONE_MINUS_SRC_ALPHA = 9,
};

/// Polygon modes of a material.
enum vnPolygonMode { VN_POLYGON_FILL = 0, VN_POLYGON_LINE = 1, VN_POLYGON_POINT = 2 };

/// Depth comparisons of vnRenderer::setDepthFunc.
enum vnDepthFunc {
    VN_DEPTH_LESS = 0,
    VN_DEPTH_LEQUAL = 1,
    VN_DEPTH_EQUAL = 2,
    VN_DEPTH_ALWAYS = 3
};

/// Matrix stacks of vnRenderer::setMatrixMode.
enum vnMatrixMode { VN_MATRIX_MODELVIEW = 0, VN_MATRIX_PROJECTION = 1, VN_MATRIX_TEXTURE = 2 };

/// Passes in which scene objects are drawn. A material carries a GPU shader for each of
/// the two shaded passes.
enum vnDrawPass {
    VN_PASS_LIT = 0,      ///< per light, added onto the ambient image (material pass 0)
    VN_PASS_AMBIENT = 1,  ///< the first image of the frame (material pass 1)
    VN_PASS_DEPTH = 2,    ///< depth only, from a light, into a shadow map
};
inline constexpr int kVnMaterialPasses = 2;

}  // namespace Vantorr_nsp
