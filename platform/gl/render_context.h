#pragma once
// The OpenGL context a render window draws with.
//
// On a display it is the GLFW window's own context (OpenGL 2.1 compatibility, made when
// the window was); presenting swaps its buffers. Without a display it is an EGL context
// from Mesa on the surfaceless platform, drawing into a framebuffer object of the window's
// client size that stands in for the window; presenting finishes the frame (and resolves
// the multisampled buffer). Callers draw the same way in both: bind defaultFramebuffer()
// where they would bind framebuffer 0.
//
// A context belongs to one thread at a time: makeCurrent on the thread that draws, release
// before another thread takes it or before it is destroyed.

#include <cstdint>
#include <memory>

namespace plashwerk::window {
class Window;
class WindowSystem;
}  // namespace plashwerk::window

namespace plashwerk::gl {

class RenderContext {
  public:
    virtual ~RenderContext() = default;

    /// Binds the context (and its framebuffer) to the calling thread. False on failure.
    virtual bool makeCurrent() = 0;
    /// Unbinds it from the calling thread.
    virtual void release() = 0;
    /// Shows the frame drawn since the last present.
    virtual void present() = 0;

    /// The framebuffer that stands for the window: 0 on a display, the offscreen FBO (the
    /// multisampled one when there is one) otherwise.
    virtual uint32_t defaultFramebuffer() const = 0;
    /// The framebuffer a finished frame can be read back from (after present()).
    virtual uint32_t readFramebuffer() const = 0;

    virtual bool offscreen() const = 0;
    int width() const { return m_width; }
    int height() const { return m_height; }
    /// Samples per pixel of the drawable; 0 without multisampling.
    int samples() const { return m_samples; }
    /// Pixels above the drawing area that belong to the window's menu strip.
    int menuBarHeight() const { return m_menu_bar_height; }

  protected:
    int m_width = 0;
    int m_height = 0;
    int m_samples = 0;
    int m_menu_bar_height = 0;
};

/// A context for the window: its GLFW context, or an offscreen one of its client size for
/// a virtual window. samples: the multisample count asked for (0 = none); an offscreen
/// context takes at most GL_MAX_SAMPLES. Null on failure. Any thread; the context is
/// current on the calling thread when this returns.
std::unique_ptr<RenderContext> createRenderContext(window::Window& window, int samples);

/// An offscreen context with a framebuffer of the given size; null when EGL or the
/// framebuffer cannot be made. Current on the calling thread when this returns.
std::unique_ptr<RenderContext> createOffscreenContext(int width, int height, int samples);

/// The largest viewport an offscreen context supports (GL_MAX_VIEWPORT_DIMS), asked once
/// of a throw-away context; false when no offscreen context can be made.
bool offscreenMaxViewport(int& width, int& height);

/// The largest viewport of a context on the window system's windows: a small hidden window
/// and its context are made for the question and destroyed. Main thread (it makes a
/// window); the calling thread's current context is kept. False when none can be made.
bool probeMaxViewport(window::WindowSystem& system, int& width, int& height);

/// Loads the OpenGL entry points (GLEW) for the context current on this thread. Without an
/// X display GLEW reports that it found no GLX display, but it has loaded the core and
/// extension entry points: that counts as success when they are there.
bool loadGlEntryPoints();

}  // namespace plashwerk::gl
