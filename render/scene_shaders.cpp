#include "render/scene_shaders.h"

#include <cstring>

#include "platform/engine/vn_gpu_shader.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/msgbox/message_box.h"
#include "render/embedded_files.h"

namespace plashwerk {

using Vantorr_nsp::vnGpuShader;
using Vantorr_nsp::vnGPUShaderMgr;

std::string composeShaderText(const char* path, const std::vector<std::string>& defines) {
    const char* text = embeddedText(path);
    if (!text) return {};
    std::string out;
    const char* p = text;
    bool defined = false;
    while (*p) {
        const char* end = std::strchr(p, '\n');
        const size_t n = end ? size_t(end - p) : std::strlen(p);
        const std::string line(p, n);
        p += n + (end ? 1 : 0);
        if (line.rfind("#include \"", 0) == 0) {
            // One level only: the included files are snippets without includes.
            const size_t close = line.find('"', 10);
            const std::string file = "shaders/" + line.substr(10, close - 10);
            if (const char* snippet = embeddedText(file.c_str())) out += snippet;
            continue;
        }
        out += line;
        out += '\n';
        if (!defined && line.rfind("#version", 0) == 0) {
            for (const std::string& d : defines) out += "#define " + d + "\n";
            defined = true;
        }
    }
    return out;
}

ShaderBuild buildShader(const char* name, const char* vertex_path, const char* pixel_path,
                        const std::vector<std::string>& defines, vnGpuShader*& out) {
    out = vnGPUShaderMgr::getInstance()->createGPUShader(name);
    if (!out) return ShaderBuild::Skipped;
    if (out->loadVertexShaderFromMemory(composeShaderText(vertex_path, defines).c_str()) != 0)
        return ShaderBuild::VertexError;
    if (out->loadPixelShaderFromMemory(composeShaderText(pixel_path, defines).c_str()) != 0)
        return ShaderBuild::PixelError;
    return ShaderBuild::Ready;
}

void reportShaderCompileError(size_t, ShaderBuild result, vnGpuShader& shader) {
    const char* format =
        result == ShaderBuild::VertexError ? "Vertex Shader Error: %s" : "Pixel Shader Error: %s";
    showErrorBox(format, shader.getCompileLog());
    Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_WARNING, format, shader.getCompileLog());
}

bool buildShaderTable(std::span<const ShaderTableEntry> table, ShaderErrorReport report) {
    static const std::vector<std::string> kNoDefines;
    for (size_t i = 0; i < table.size(); ++i) {
        const ShaderTableEntry& row = table[i];
        vnGpuShader* shader = nullptr;
        const ShaderBuild result = buildShader(row.name, row.vertex_path, row.pixel_path,
                                               row.defines ? *row.defines : kNoDefines, shader);
        if (result == ShaderBuild::VertexError || result == ShaderBuild::PixelError) {
            report(i, result, *shader);
            return false;
        }
        *row.out = shader;
    }
    return true;
}

}  // namespace plashwerk
