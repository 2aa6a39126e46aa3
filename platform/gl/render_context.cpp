#include "platform/gl/render_context.h"

#include <GL/glew.h>
// GLEW first: it replaces gl.h.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLFW/glfw3.h>

#include <mutex>

#include "platform/window/window.h"

namespace plashwerk::gl {

bool loadGlEntryPoints() {
    glewExperimental = GL_TRUE;
    const GLenum status = glewInit();
    if (status == GLEW_OK) return true;
    // On EGL GLEW misses its GLX display after loading everything else.
    return status == GLEW_ERROR_NO_GLX_DISPLAY && GLEW_VERSION_2_1 && glGenFramebuffers &&
           glBlitFramebuffer && glRenderbufferStorageMultisample;
}

namespace {

class GlfwContext final : public RenderContext {
  public:
    GlfwContext(GLFWwindow* window, int width, int height, int samples, int menu_h)
        : m_window(window) {
        m_width = width;
        m_height = height;
        m_samples = samples;
        m_menu_bar_height = menu_h;
    }
    ~GlfwContext() override {
        if (glfwGetCurrentContext() == m_window) glfwMakeContextCurrent(nullptr);
    }

    bool makeCurrent() override {
        glfwMakeContextCurrent(m_window);
        if (glfwGetCurrentContext() != m_window) return false;
        if (!m_configured) {
            m_configured = true;
            // Frames are measured, not paced: no waiting for the vertical blank.
            glfwSwapInterval(0);
        }
        return true;
    }
    void release() override {
        if (glfwGetCurrentContext() == m_window) glfwMakeContextCurrent(nullptr);
    }

    // The menu strip above the client area is part of the drawable: the frames drawn
    // into it paint the strip too.
    void present() override { glfwSwapBuffers(m_window); }

    uint32_t defaultFramebuffer() const override { return 0; }
    uint32_t readFramebuffer() const override { return 0; }
    bool offscreen() const override { return false; }

    void setSamples(int samples) { m_samples = samples; }

  private:
    GLFWwindow* m_window;
    bool m_configured = false;
};

// ---------------------------------------------------------------------------------------
// EGL without a display

struct EglDisplay {
    EGLDisplay display = EGL_NO_DISPLAY;
    bool ok = false;
};

// One display for the process, opened on first use and kept: terminating it would take
// every context on it along.
EglDisplay& eglDisplay() {
    static EglDisplay d;
    static std::once_flag once;
    std::call_once(once, [] {
        auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (get_platform_display)
            d.display =
                get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d.display == EGL_NO_DISPLAY) d.display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (d.display == EGL_NO_DISPLAY) return;
        EGLint major = 0, minor = 0;
        d.ok = eglInitialize(d.display, &major, &minor) == EGL_TRUE;
    });
    return d;
}

class EglContext final : public RenderContext {
  public:
    ~EglContext() override {
        const EglDisplay& d = eglDisplay();
        if (m_context == EGL_NO_CONTEXT) return;
        // The framebuffer objects go with the context; it is made current once more to
        // free them when this thread may.
        if (eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context)) {
            const GLuint fbos[] = {m_fbo, m_resolve_fbo};
            const GLuint rbs[] = {m_color, m_depth, m_resolve_color};
            if (glDeleteFramebuffers) glDeleteFramebuffers(2, fbos);
            if (glDeleteRenderbuffers) glDeleteRenderbuffers(3, rbs);
            eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        eglDestroyContext(d.display, m_context);
    }

    bool create(int width, int height, int samples) {
        const EglDisplay& d = eglDisplay();
        if (!d.ok || width < 1 || height < 1) return false;
        if (!eglBindAPI(EGL_OPENGL_API)) return false;
        const EGLint config_attribs[] = {EGL_RENDERABLE_TYPE,
                                         EGL_OPENGL_BIT,
                                         EGL_SURFACE_TYPE,
                                         EGL_PBUFFER_BIT,
                                         EGL_RED_SIZE,
                                         8,
                                         EGL_GREEN_SIZE,
                                         8,
                                         EGL_BLUE_SIZE,
                                         8,
                                         EGL_NONE};
        EGLConfig config = nullptr;
        EGLint found = 0;
        if (!eglChooseConfig(d.display, config_attribs, &config, 1, &found) || found < 1)
            config = nullptr;  // EGL_KHR_no_config_context: drawing goes to the FBO anyway
        const EGLint context_attribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                          2,
                                          EGL_CONTEXT_MINOR_VERSION,
                                          1,
                                          EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                          EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                          EGL_NONE};
        m_context = eglCreateContext(d.display, config, EGL_NO_CONTEXT, context_attribs);
        if (m_context == EGL_NO_CONTEXT) return false;
        if (!eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context)) return false;
        if (!loadGlEntryPoints()) return false;

        GLint max_samples = 0, max_size = 0;
        glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
        if (width > max_size || height > max_size) return false;
        m_width = width;
        m_height = height;
        m_samples = samples > 0 ? (samples < max_samples ? samples : max_samples) : 0;

        m_fbo = makeFramebuffer(m_samples, true, m_color, m_depth);
        if (!m_fbo) return false;
        if (m_samples > 0) {
            GLuint unused = 0;
            m_resolve_fbo = makeFramebuffer(0, false, m_resolve_color, unused);
            if (!m_resolve_fbo) return false;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        glViewport(0, 0, width, height);
        return true;
    }

    bool makeCurrent() override {
        const EglDisplay& d = eglDisplay();
        if (!eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context)) return false;
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        return true;
    }
    void release() override {
        if (eglGetCurrentContext() == m_context)
            eglMakeCurrent(eglDisplay().display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }

    void present() override {
        if (m_resolve_fbo) {
            GLint drawn = 0;
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawn);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_resolve_fbo);
            glBlitFramebuffer(0, 0, m_width, m_height, 0, 0, m_width, m_height, GL_COLOR_BUFFER_BIT,
                              GL_NEAREST);
            glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(drawn));
        }
        // A window's swap completes the frame; here nothing else would make the
        // rasteriser draw it before the next one is queued.
        glFinish();
    }

    uint32_t defaultFramebuffer() const override { return m_fbo; }
    uint32_t readFramebuffer() const override { return m_resolve_fbo ? m_resolve_fbo : m_fbo; }
    bool offscreen() const override { return true; }

  private:
    GLuint makeFramebuffer(int samples, bool with_depth, GLuint& color, GLuint& depth) {
        GLuint fbo = 0;
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glGenRenderbuffers(1, &color);
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, m_width, m_height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        if (with_depth) {
            glGenRenderbuffers(1, &depth);
            glBindRenderbuffer(GL_RENDERBUFFER, depth);
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, m_width,
                                             m_height);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                      depth);
        }
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &fbo);
            return 0;
        }
        return fbo;
    }

    EGLContext m_context = EGL_NO_CONTEXT;
    GLuint m_fbo = 0, m_color = 0, m_depth = 0;
    GLuint m_resolve_fbo = 0, m_resolve_color = 0;
};

}  // namespace

std::unique_ptr<RenderContext> createOffscreenContext(int width, int height, int samples) {
    auto context = std::make_unique<EglContext>();
    if (!context->create(width, height, samples)) {
        context->release();
        return nullptr;
    }
    return context;
}

std::unique_ptr<RenderContext> createRenderContext(window::Window& window, int samples) {
    GLFWwindow* handle = window.glfwWindow();
    if (!handle)
        return createOffscreenContext(window.clientWidth(), window.clientHeight(), samples);
    auto context =
        std::make_unique<GlfwContext>(handle, window.clientWidth(), window.clientHeight(),
                                      window.samples(), window.menuBarHeight());
    if (!context->makeCurrent() || !loadGlEntryPoints()) {
        context->release();
        return nullptr;
    }
    // The window's drawable was made with its sample count when the window was; what the
    // display really gave is what counts.
    (void)samples;
    GLint buffers = 0, got = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &buffers);
    glGetIntegerv(GL_SAMPLES, &got);
    context->setSamples(buffers > 0 ? got : 0);
    return context;
}

bool probeMaxViewport(window::WindowSystem& system, int& width, int& height) {
    width = height = 0;
    if (system.offscreen()) return offscreenMaxViewport(width, height);
    GLFWwindow* previous = glfwGetCurrentContext();
    window::WindowDesc desc;
    desc.width = 64;
    desc.height = 64;
    window::Window* probe = system.createWindow(desc, nullptr);  // never shown
    if (!probe) return false;
    if (auto context = createRenderContext(*probe, 0)) {
        GLint dims[2] = {0, 0};
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
        width = dims[0];
        height = dims[1];
        context->release();
    }
    system.destroyWindow(probe);
    if (previous) glfwMakeContextCurrent(previous);
    return width > 0 && height > 0;
}

bool offscreenMaxViewport(int& width, int& height) {
    static int cached[2] = {0, 0};
    static std::once_flag once;
    std::call_once(once, [] {
        // Whatever context this thread had stays its own.
        const EGLContext previous = eglGetCurrentContext();
        auto probe = createOffscreenContext(1, 1, 0);
        if (!probe) return;
        GLint dims[2] = {0, 0};
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
        cached[0] = dims[0];
        cached[1] = dims[1];
        probe.reset();
        if (previous != EGL_NO_CONTEXT)
            eglMakeCurrent(eglDisplay().display, EGL_NO_SURFACE, EGL_NO_SURFACE, previous);
    });
    width = cached[0];
    height = cached[1];
    return width > 0 && height > 0;
}

}  // namespace plashwerk::gl
