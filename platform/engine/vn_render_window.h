#pragma once
// Render windows: the drawable of a window with its OpenGL context, as the engine hands it
// to the scene, and the hardware capabilities read from the current one.
//
// A render window is created on a window handle (platform/window) by
// Vantorr::createRenderWindow, made current on the thread that draws with
// Vantorr::setCurrentRenderWindow, and shown with Vantorr::displayCurrentRenderWindow. On a
// machine without display it draws into an offscreen framebuffer of its size; getFramebuffer
// names the framebuffer that stands for the window there (0 on a display).

#include <cstdint>
#include <memory>

namespace plashwerk::gl {
class RenderContext;
}

namespace Vantorr_nsp {

class vnRenderWindow {
  public:
    ~vnRenderWindow();

    int getWidth() const { return m_width; }
    int getHeight() const { return m_height; }
    /// Samples per pixel of the drawable (GL_SAMPLES); 0 without multisampling.
    int getSampleCount() const;
    bool isOffscreen() const;
    /// The framebuffer to bind where the window's own would be.
    uint32_t getFramebuffer() const;
    /// The framebuffer a presented frame can be read back from.
    uint32_t getReadFramebuffer() const;
    /// Null for the dummy window.
    plashwerk::gl::RenderContext* getContext() const { return m_context.get(); }

  private:
    friend class Vantorr;
    std::unique_ptr<plashwerk::gl::RenderContext> m_context;
    int m_width = 0;
    int m_height = 0;
};

/// What the current context's OpenGL offers.
class vnHardwareCaps {
  public:
    static vnHardwareCaps* getInstance();
    /// Version of the context current on the calling thread; 0 without one.
    int getOpenGLMajorVersion() const;
    int getOpenGLMinorVersion() const;
};

/// Buffers for vnRenderer::clear.
enum vnClearBuffers {
    VN_CLEAR_COLOR = 1,
    VN_CLEAR_DEPTH = 2,
    VN_CLEAR_STENCIL = 4,
    VN_CLEAR_ALL = 7
};

}  // namespace Vantorr_nsp
