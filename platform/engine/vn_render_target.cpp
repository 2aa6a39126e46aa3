#include "platform/engine/vn_render_target.h"

#include <GL/glew.h>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_render_window.h"
#include "platform/engine/vn_texture.h"
#include "platform/engine/vn_trace_mgr.h"

namespace Vantorr_nsp {
namespace {

constexpr int kInternalFormat8Bit = 3;

GLuint windowFramebuffer() {
    vnRenderWindow* rw = Vantorr::getInstance()->getCurrentRenderWindow();
    return rw ? rw->getFramebuffer() : 0;
}

}  // namespace

vnRenderTarget::~vnRenderTarget() {
    release();
}

void vnRenderTarget::release() {
    if (glDeleteFramebuffers) {
        if (m_fbo) glDeleteFramebuffers(1, &m_fbo);
        if (m_depth_rb) glDeleteRenderbuffers(1, &m_depth_rb);
    }
    m_fbo = m_depth_rb = 0;
    if (m_texture) vnTextureMgr::getInstance()->destroyTexture(m_texture);
    m_texture = nullptr;
    m_width = m_height = 0;
}

int vnRenderTarget::createColorTarget(const char* name, int width, int height, int pixelFormat,
                                      int internalFormat, int withDepth, int mipmaps) {
    if ((pixelFormat != VN_PIXEL_FORMAT_RGB && pixelFormat != VN_PIXEL_FORMAT_RGBA) ||
        internalFormat != kInternalFormat8Bit || mipmaps != 0) {
        logTrace(VN_TRACE_ERROR, "vnRenderTarget: %s: format not supported.", name ? name : "");
        return -1;
    }
    return create(name, width, height, pixelFormat, withDepth != 0);
}

int vnRenderTarget::createDepthTarget(const char* name, int width, int height) {
    return create(name, width, height, VN_PIXEL_FORMAT_DEPTH, false);
}

int vnRenderTarget::create(const char* name, int width, int height, int format, bool with_depth) {
    release();
    if (!name || width < 1 || height < 1 || !glGenFramebuffers) return -1;
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    if (width > max_size || height > max_size) {
        logTrace(VN_TRACE_ERROR, "vnRenderTarget: %s: %dx%d is larger than the driver allows.",
                 name, width, height);
        return -1;
    }
    m_texture = vnTextureMgr::getInstance()->createRenderTexture(name, width, height, format);
    if (!m_texture) {
        logTrace(VN_TRACE_ERROR, "vnRenderTarget: %s: no texture of %dx%d.", name, width, height);
        return -1;
    }
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glGenFramebuffers(1, &m_fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    if (format == VN_PIXEL_FORMAT_DEPTH) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D,
                               m_texture->getGLName(), 0);
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
    } else {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                               m_texture->getGLName(), 0);
        if (with_depth) {
            glGenRenderbuffers(1, &m_depth_rb);
            glBindRenderbuffer(GL_RENDERBUFFER, m_depth_rb);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
            glBindRenderbuffer(GL_RENDERBUFFER, 0);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                      m_depth_rb);
        }
    }
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        logTrace(VN_TRACE_ERROR, "vnRenderTarget: %s: framebuffer incomplete (0x%x).", name,
                 unsigned(status));
        release();
        return -1;
    }
    m_width = width;
    m_height = height;
    return 0;
}

void vnRenderTarget::activate() {
    if (!m_fbo) return;
    if (!m_active) {
        GLint previous = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
        m_saved_framebuffer = GLuint(previous) == m_fbo ? windowFramebuffer() : GLuint(previous);
        glGetIntegerv(GL_VIEWPORT, m_saved_viewport);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    glViewport(0, 0, m_width, m_height);
    m_active = true;
}

void vnRenderTarget::deactivate() {
    if (!m_fbo || !m_active) return;
    // Targets nest: the shadow map is drawn while the frame target is active.
    glBindFramebuffer(GL_FRAMEBUFFER, m_saved_framebuffer);
    glViewport(m_saved_viewport[0], m_saved_viewport[1], m_saved_viewport[2], m_saved_viewport[3]);
    m_active = false;
}

}  // namespace Vantorr_nsp
