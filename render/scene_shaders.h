#pragma once
// The program's GPU shaders from their embedded texts (render/shaders).
//
// A shader text may carry `#include "file.glsl"` lines, replaced by that embedded file, and
// is compiled with a set of defines placed after its #version line (the variants of one
// shader: POINT_COORD, POST_FX, K).

#include <string>
#include <vector>

namespace Vantorr_nsp {
class vnGpuShader;
}

namespace plashwerk {

/// The embedded text at path (below render/, e.g. "shaders/particle.vert") with its
/// includes resolved and the defines ("NAME" or "NAME VALUE") added. Empty when missing.
std::string composeShaderText(const char* path, const std::vector<std::string>& defines);

enum class ShaderBuild { Ready, Skipped, VertexError, PixelError };

/// Creates the shader under name and compiles the two embedded stages. Skipped when the
/// engine makes no shader (out stays null); on a compile error out holds the shader with
/// its log.
ShaderBuild buildShader(const char* name, const char* vertex_path, const char* pixel_path,
                        const std::vector<std::string>& defines, Vantorr_nsp::vnGpuShader*& out);

}  // namespace plashwerk
