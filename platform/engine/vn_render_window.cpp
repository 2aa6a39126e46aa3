#include "platform/engine/vn_render_window.h"

#include <GL/glew.h>

#include <cstdio>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/gl/render_context.h"
#include "platform/window/window.h"

namespace Vantorr_nsp {
namespace {

// Contexts are per thread, and so is the render window drawn into.
thread_local vnRenderWindow* t_current = nullptr;
thread_local char t_renderer_name[256];

vnRenderWindow g_dummy;

}  // namespace

vnRenderWindow::~vnRenderWindow() = default;

int vnRenderWindow::getSampleCount() const {
    return m_context ? m_context->samples() : 0;
}
bool vnRenderWindow::isOffscreen() const {
    return m_context && m_context->offscreen();
}
uint32_t vnRenderWindow::getFramebuffer() const {
    return m_context ? m_context->defaultFramebuffer() : 0;
}
uint32_t vnRenderWindow::getReadFramebuffer() const {
    return m_context ? m_context->readFramebuffer() : 0;
}

vnRenderWindow* Vantorr::createRenderWindow(plashwerk::window::Window* window, int width,
                                            int height, int colorBits, int depthBits,
                                            int stencilBits, int msaa, int /*reserved1*/,
                                            int /*reserved2*/, int rendererType) {
    // The drawables made here have 32-bit colour, a 24-bit depth buffer and 8 stencil
    // bits: the engine's OpenGL renderer (type 1) asks for no more.
    if (rendererType != 1 || colorBits > 32 || stencilBits > 8 || depthBits > 32 || msaa < 0) {
        logTrace(VN_TRACE_ERROR, "Vantorr: render window format not supported.");
        return nullptr;
    }
    std::unique_ptr<plashwerk::gl::RenderContext> context =
        window ? plashwerk::gl::createRenderContext(*window, msaa)
               : plashwerk::gl::createOffscreenContext(width, height, msaa);
    if (!context) {
        logTrace(VN_TRACE_ERROR, "Vantorr: could not create a %dx%d render window.", width, height);
        return nullptr;
    }
    auto* rw = new vnRenderWindow;
    rw->m_width = context->width();
    rw->m_height = context->height();
    rw->m_context = std::move(context);
    t_current = rw;
    logTrace(VN_TRACE_INFO, "Vantorr: render window %dx%d (%s, %d samples) on %s.", rw->m_width,
             rw->m_height, rw->isOffscreen() ? "offscreen" : "window", rw->getSampleCount(),
             reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return rw;
}

void Vantorr::destroyRenderWindow(vnRenderWindow* rw) {
    if (!rw || rw == &g_dummy) return;
    if (t_current == rw) {
        rw->m_context->release();
        t_current = nullptr;
    }
    delete rw;
}

bool Vantorr::setCurrentRenderWindow(vnRenderWindow* rw) {
    if (!rw || !rw->m_context) {
        if (t_current && t_current->m_context) t_current->m_context->release();
        t_current = rw ? rw : nullptr;
        return true;
    }
    if (!rw->m_context->makeCurrent()) return false;
    t_current = rw;
    return true;
}

vnRenderWindow* Vantorr::getCurrentRenderWindow() {
    return t_current;
}

void Vantorr::displayRenderWindow(vnRenderWindow* rw) {
    if (rw && rw->m_context) rw->m_context->present();
}

void Vantorr::displayCurrentRenderWindow() {
    displayRenderWindow(t_current);
}

vnRenderWindow* Vantorr::getDummyRenderWindow() {
    return &g_dummy;
}

// ---------------------------------------------------------------------------------------
// Renderer state of the current render window

namespace {
bool drawable() {
    return t_current && t_current->getContext();
}
}  // namespace

void vnRenderer::setClearColor(float r, float g, float b, float a) {
    if (drawable()) glClearColor(r, g, b, a);
}

void vnRenderer::clear(int buffers) {
    if (!drawable()) return;
    GLbitfield mask = 0;
    if (buffers & VN_CLEAR_COLOR) mask |= GL_COLOR_BUFFER_BIT;
    if (buffers & VN_CLEAR_DEPTH) mask |= GL_DEPTH_BUFFER_BIT;
    if (buffers & VN_CLEAR_STENCIL) mask |= GL_STENCIL_BUFFER_BIT;
    glClear(mask);
}

void vnRenderer::setViewport(int x, int y, int width, int height) {
    if (drawable()) glViewport(x, y, width, height);
}

const char* vnRenderer::getRendererName() {
    if (!drawable()) return nullptr;
    const GLubyte* name = glGetString(GL_RENDERER);
    if (!name) return nullptr;
    std::snprintf(t_renderer_name, sizeof t_renderer_name, "%s",
                  reinterpret_cast<const char*>(name));
    return t_renderer_name;
}

vnHardwareCaps* vnHardwareCaps::getInstance() {
    static vnHardwareCaps caps;
    return &caps;
}

namespace {
void glVersion(int& major, int& minor) {
    major = minor = 0;
    if (!drawable()) return;
    const char* v = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (v) std::sscanf(v, "%d.%d", &major, &minor);
}
}  // namespace

int vnHardwareCaps::getOpenGLMajorVersion() const {
    int major, minor;
    glVersion(major, minor);
    return major;
}

int vnHardwareCaps::getOpenGLMinorVersion() const {
    int major, minor;
    glVersion(major, minor);
    return minor;
}

}  // namespace Vantorr_nsp
