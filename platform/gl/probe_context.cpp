#include "platform/gl/probe_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plashwerk {
namespace {

std::string glText(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

bool displayPresent() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

EGLDisplay openEglDisplay() {
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) return EGL_NO_DISPLAY;
    EGLDisplay display =
        get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    // No surfaceless platform (a vendor EGL): the first device of the device platform.
    auto query_devices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    EGLDeviceEXT device = nullptr;
    EGLint count = 0;
    if (!query_devices || !query_devices(1, &device, &count) || count < 1) return EGL_NO_DISPLAY;
    display = get_platform_display(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    return EGL_NO_DISPLAY;
}

}  // namespace

bool GlProbeContext::create(const GlProbeRequest& request) {
    release();
    if (request.major < 1) return false;
    if (displayPresent() && createGlfw(request)) {
        m_info.platform = "glfw";
    } else if (createEgl(request)) {
        m_info.platform = "egl";
    } else {
        return false;
    }
    m_valid = true;
    readCapabilities();
    unbind();
    return true;
}

bool GlProbeContext::createGlfw(const GlProbeRequest& request) {
    if (!glfwInit()) return false;
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 8);
    glfwWindowHint(GLFW_DEPTH_BITS, 24);
    glfwWindowHint(GLFW_STENCIL_BITS, 8);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, request.major);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, request.minor);
    if (request.major >= 3) glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_COMPAT_PROFILE);
    glfwWindowHint(GLFW_OPENGL_DEBUG_CONTEXT, request.debug ? GLFW_TRUE : GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(std::max(request.width, 1), std::max(request.height, 1),
                                          request.title ? request.title : "", nullptr, nullptr);
    if (!window) return false;
    glfwSetWindowPos(window, request.x, request.y);
    glfwMakeContextCurrent(window);
    m_window = window;
    return true;
}

bool GlProbeContext::createEgl(const GlProbeRequest& request) {
    EGLDisplay display = openEglDisplay();
    if (display == EGL_NO_DISPLAY) return false;
    // The surface type defaults to windows, which a surfaceless display has none of.
    const EGLint config_attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                        EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        return false;
    }
    if (!eglChooseConfig(display, config_attributes, &config, 1, &configs) || configs < 1)
        config = nullptr;  // EGL_NO_CONFIG_KHR: a context without a config, drawing into FBOs

    // Compatibility profile at the requested version; without the debug flag when the
    // implementation refuses it.
    EGLContext context = EGL_NO_CONTEXT;
    for (int attempt = request.debug ? 0 : 1; attempt < 2 && context == EGL_NO_CONTEXT; ++attempt) {
        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                     request.major,
                                     EGL_CONTEXT_MINOR_VERSION,
                                     request.minor,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                     attempt == 0 ? EGL_CONTEXT_OPENGL_DEBUG : EGL_NONE,
                                     EGL_TRUE,
                                     EGL_NONE};
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    }
    if (context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        eglTerminate(display);
        return false;
    }
    m_egl_display = display;
    m_egl_context = context;
    return true;
}

void GlProbeContext::readCapabilities() {
    // On EGL, GLEW reports that it found no GLX display (4) after it has loaded the OpenGL
    // entry points, which is all this context needs.
    const GLenum glew = glewInit();
    m_info.glew_ok = glew == GLEW_OK || (glew == 4 && std::strcmp(m_info.platform, "egl") == 0);
    m_info.renderer = glText(GL_RENDERER);
    m_info.vendor = glText(GL_VENDOR);
    m_info.version_text = glText(GL_VERSION);
    const std::string& v = m_info.version_text;
    if (v.size() >= 3 && v[0] >= '1' && v[0] <= '2' && v[1] == '.' && v[2] >= '0' && v[2] <= '9') {
        m_info.major = v[0] - '0';
        m_info.minor = v[2] - '0';
    } else {
        GLint major = 0, minor = 0;
        glGetIntegerv(GL_MAJOR_VERSION, &major);
        glGetIntegerv(GL_MINOR_VERSION, &minor);
        if (major == 0 && v.size() >= 3 && v[1] == '.') {
            major = v[0] - '0';
            minor = v[2] - '0';
        }
        m_info.major = major;
        m_info.minor = minor;
    }
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    m_info.max_viewport = std::max(viewport[0], viewport[1]);
    GLint value = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
    m_info.max_texture_size = value;
    value = 0;
    if (m_info.major >= 3 || glewIsSupported("GL_ARB_framebuffer_object"))
        glGetIntegerv(GL_MAX_SAMPLES, &value);
    m_info.max_samples = value;
    for (int samples = 2; samples <= m_info.max_samples; samples *= 2)
        m_info.msaa_modes.push_back(samples);

    m_info.extensions.clear();
    if (m_info.major >= 3 && glGetStringi) {
        GLint count = 0;
        glGetIntegerv(GL_NUM_EXTENSIONS, &count);
        for (GLint i = 0; i < count; ++i) {
            const auto* name =
                reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
            if (name) m_info.extensions.emplace_back(name);
        }
    } else {
        const std::string all = glText(GL_EXTENSIONS);
        size_t pos = 0;
        while (pos < all.size()) {
            const size_t end = std::min(all.find(' ', pos), all.size());
            if (end > pos) m_info.extensions.push_back(all.substr(pos, end - pos));
            pos = end + 1;
        }
    }
    while (glGetError() != GL_NO_ERROR) {
    }
}

bool GlProbeContext::hasExtension(const char* name) const {
    return name && std::find(m_info.extensions.begin(), m_info.extensions.end(), name) !=
                       m_info.extensions.end();
}

void GlProbeContext::unbind() {
    if (m_window) glfwMakeContextCurrent(nullptr);
    if (m_egl_display)
        eglMakeCurrent(static_cast<EGLDisplay>(m_egl_display), EGL_NO_SURFACE, EGL_NO_SURFACE,
                       EGL_NO_CONTEXT);
}

void GlProbeContext::release() {
    if (m_window) {
        if (glfwGetCurrentContext() == m_window) glfwMakeContextCurrent(nullptr);
        glfwDestroyWindow(static_cast<GLFWwindow*>(m_window));
        m_window = nullptr;
    }
    if (m_egl_display) {
        auto display = static_cast<EGLDisplay>(m_egl_display);
        if (eglGetCurrentContext() == m_egl_context)
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, static_cast<EGLContext>(m_egl_context));
        // The display stays initialised: EGL displays are shared process-wide, and another
        // part of the program may be drawing through the same one.
        m_egl_display = nullptr;
        m_egl_context = nullptr;
    }
    m_valid = false;
    m_info = GlProbeInfo{};
}

// Without a current context the OpenGL dispatch answers every call with nothing (a null
// text, no value), so these need not know which platform made the context.
std::string currentContextRenderer() {
    return glText(GL_RENDERER);
}

ContextFaults takeContextFaults() {
    ContextFaults faults;
    // A context keeps at most a few flags; the bound keeps a lost context, which may answer
    // an error for ever, from holding the caller.
    for (int i = 0; i < 16; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) break;
        if (error == GL_CONTEXT_LOST) faults.lost = true;
        faults.error = true;
    }
    if (GLEW_VERSION_4_5 && glGetGraphicsResetStatus)
        faults.lost = faults.lost || glGetGraphicsResetStatus() != GL_NO_ERROR;
    else if (GLEW_ARB_robustness && glGetGraphicsResetStatusARB)
        faults.lost = faults.lost || glGetGraphicsResetStatusARB() != GL_NO_ERROR;
    return faults;
}

int currentContextSamples() {
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    while (glGetError() != GL_NO_ERROR) {
    }
    return samples;
}

}  // namespace plashwerk
