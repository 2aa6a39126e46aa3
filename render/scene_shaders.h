#pragma once
// The program's GPU shaders from their embedded texts (render/shaders).
//
// A shader text may carry `#include "file.glsl"` lines, replaced by that embedded file, and
// is compiled with a set of defines placed after its #version line (the variants of one
// shader: POINT_COORD, POST_FX, K).

#include <cstddef>
#include <span>
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

/// One row of a table of shaders built together.
struct ShaderTableEntry {
    const char* name;
    const char* vertex_path;
    const char* pixel_path;
    const std::vector<std::string>* defines;  ///< null: none
    Vantorr_nsp::vnGpuShader** out;           ///< set when the row is built or skipped
};

/// Says what went wrong with row index of a table (VertexError or PixelError): its message
/// box and its log line. The shader holds the compile log.
using ShaderErrorReport = void (*)(size_t index, ShaderBuild result,
                                   Vantorr_nsp::vnGpuShader& shader);

/// The scene's report: "Vertex Shader Error: %s" or "Pixel Shader Error: %s" with the
/// compile log, in the error box and at trace level 2.
void reportShaderCompileError(size_t index, ShaderBuild result, Vantorr_nsp::vnGpuShader& shader);

/// Builds the rows in order; a shader the engine does not make leaves its out null. At the
/// first compile error the report is made and false returned: the rows after it are not
/// built and their outs left as they were.
bool buildShaderTable(std::span<const ShaderTableEntry> table,
                      ShaderErrorReport report = reportShaderCompileError);

}  // namespace plashwerk
