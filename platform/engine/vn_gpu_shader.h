#pragma once
// GPU shaders: a GLSL vertex and fragment ("pixel") shader linked into one program, made
// from source texts in memory, and the manager that owns them.
//
// Loading a stage compiles it; loading the second stage also links the program. Each
// answers 0 on success, -1 on failure, after which getCompileLog() holds the driver's log.
// Uniforms are set by name; their locations are looked up once and remembered.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Vantorr_nsp {

struct vnMatrix4;

class vnGpuShader {
  public:
    ~vnGpuShader();
    vnGpuShader(const vnGpuShader&) = delete;
    vnGpuShader& operator=(const vnGpuShader&) = delete;

    const std::string& getName() const { return m_name; }

    int loadVertexShaderFromMemory(const char* source);
    int loadPixelShaderFromMemory(const char* source);
    /// The log of the last failed compile or link; empty after a success.
    const char* getCompileLog() const { return m_log.c_str(); }
    /// Both stages compiled and linked.
    bool isReady() const { return m_linked; }
    uint32_t getProgram() const { return m_program; }

    /// Makes the program current; a shader that is not ready unbinds instead.
    void bind() const;
    static void unbind();

    // Uniforms of this program (it is made current for the call and the previous program
    // restored). A name the program does not use is ignored.
    void setUniform1i(const char* name, int v);
    void setUniform1f(const char* name, float v);
    void setUniform2f(const char* name, float x, float y);
    void setUniform4f(const char* name, float x, float y, float z, float w);
    void setUniformMatrix4(const char* name, const vnMatrix4& m);

  private:
    friend class vnGPUShaderMgr;
    vnGpuShader() = default;
    int compile(unsigned type, const char* source, uint32_t& out);
    int link();
    int location(const char* name);

    std::string m_name;
    uint32_t m_program = 0;
    uint32_t m_vertex = 0;
    uint32_t m_pixel = 0;
    bool m_linked = false;
    std::string m_log;
    std::vector<std::pair<std::string, int>> m_locations;
};

class vnGPUShaderMgr {
  public:
    static vnGPUShaderMgr* getInstance();

    /// An empty shader under the name; null without OpenGL 2 shader support.
    vnGpuShader* createGPUShader(const char* name);
    vnGpuShader* getShader(const char* name);
    size_t getShaderCount() const { return m_shaders.size(); }
    /// Deletes every shader, the latest first.
    void clear();

  private:
    std::vector<std::unique_ptr<vnGpuShader>> m_shaders;
};

}  // namespace Vantorr_nsp
