#include "platform/engine/vn_gpu_shader.h"

#include <GL/glew.h>

#include <cstring>

#include "platform/engine/vn_math.h"

namespace Vantorr_nsp {
namespace {

std::string infoLog(GLuint object, bool program) {
    GLint length = 0;
    if (program)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return program ? "link failed" : "compile failed";
    std::string log(size_t(length), '\0');
    if (program)
        glGetProgramInfoLog(object, length, nullptr, log.data());
    else
        glGetShaderInfoLog(object, length, nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    return log;
}

// Makes a program current for a uniform update and puts the previous one back after.
class ProgramScope {
  public:
    explicit ProgramScope(GLuint program) {
        glGetIntegerv(GL_CURRENT_PROGRAM, &m_previous);
        if (GLuint(m_previous) != program) glUseProgram(program);
        m_program = program;
    }
    ~ProgramScope() {
        if (GLuint(m_previous) != m_program) glUseProgram(GLuint(m_previous));
    }

  private:
    GLint m_previous = 0;
    GLuint m_program = 0;
};

}  // namespace

vnGpuShader::~vnGpuShader() {
    if (!glDeleteProgram) return;
    if (m_program) glDeleteProgram(m_program);
    if (m_vertex) glDeleteShader(m_vertex);
    if (m_pixel) glDeleteShader(m_pixel);
}

int vnGpuShader::compile(unsigned type, const char* source, uint32_t& out) {
    m_log.clear();
    if (!source) {
        m_log = "no source";
        return -1;
    }
    if (out) {
        glDeleteShader(out);
        out = 0;
    }
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        m_log = infoLog(shader, false);
        glDeleteShader(shader);
        return -1;
    }
    out = shader;
    return (m_vertex && m_pixel) ? link() : 0;
}

int vnGpuShader::link() {
    if (!m_program) m_program = glCreateProgram();
    // A program may be linked again with a new stage: detach whatever it had.
    GLuint attached[4];
    GLsizei count = 0;
    glGetAttachedShaders(m_program, 4, &count, attached);
    for (GLsizei i = 0; i < count; ++i) glDetachShader(m_program, attached[i]);
    glAttachShader(m_program, m_vertex);
    glAttachShader(m_program, m_pixel);
    glLinkProgram(m_program);
    GLint ok = GL_FALSE;
    glGetProgramiv(m_program, GL_LINK_STATUS, &ok);
    m_linked = ok == GL_TRUE;
    m_locations.clear();
    if (!m_linked) {
        m_log = infoLog(m_program, true);
        return -1;
    }
    return 0;
}

int vnGpuShader::loadVertexShaderFromMemory(const char* source) {
    m_linked = false;
    return compile(GL_VERTEX_SHADER, source, m_vertex);
}

int vnGpuShader::loadPixelShaderFromMemory(const char* source) {
    m_linked = false;
    return compile(GL_FRAGMENT_SHADER, source, m_pixel);
}

void vnGpuShader::bind() const {
    glUseProgram(m_linked ? m_program : 0);
}

void vnGpuShader::unbind() {
    glUseProgram(0);
}

int vnGpuShader::location(const char* name) {
    if (!m_linked || !name) return -1;
    for (const auto& [n, loc] : m_locations)
        if (n == name) return loc;
    const int loc = glGetUniformLocation(m_program, name);
    m_locations.emplace_back(name, loc);
    return loc;
}

void vnGpuShader::setUniform1i(const char* name, int v) {
    const int loc = location(name);
    if (loc < 0) return;
    ProgramScope scope(m_program);
    glUniform1i(loc, v);
}

void vnGpuShader::setUniform1f(const char* name, float v) {
    const int loc = location(name);
    if (loc < 0) return;
    ProgramScope scope(m_program);
    glUniform1f(loc, v);
}

void vnGpuShader::setUniform2f(const char* name, float x, float y) {
    const int loc = location(name);
    if (loc < 0) return;
    ProgramScope scope(m_program);
    glUniform2f(loc, x, y);
}

void vnGpuShader::setUniform4f(const char* name, float x, float y, float z, float w) {
    const int loc = location(name);
    if (loc < 0) return;
    ProgramScope scope(m_program);
    glUniform4f(loc, x, y, z, w);
}

void vnGpuShader::setUniformMatrix4(const char* name, const vnMatrix4& m) {
    const int loc = location(name);
    if (loc < 0) return;
    ProgramScope scope(m_program);
    glUniformMatrix4fv(loc, 1, GL_FALSE, m.data());
}

vnGPUShaderMgr* vnGPUShaderMgr::getInstance() {
    static vnGPUShaderMgr mgr;
    return &mgr;
}

vnGpuShader* vnGPUShaderMgr::createGPUShader(const char* name) {
    if (!name || !glCreateShader) return nullptr;
    auto shader = std::unique_ptr<vnGpuShader>(new vnGpuShader);
    shader->m_name = name;
    m_shaders.push_back(std::move(shader));
    return m_shaders.back().get();
}

vnGpuShader* vnGPUShaderMgr::getShader(const char* name) {
    if (!name) return nullptr;
    for (auto& s : m_shaders)
        if (s->m_name == name) return s.get();
    return nullptr;
}

void vnGPUShaderMgr::clear() {
    while (!m_shaders.empty()) m_shaders.pop_back();
}

}  // namespace Vantorr_nsp
