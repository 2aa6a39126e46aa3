#pragma once
// The start-up OpenGL context: a small hidden context made once to learn what the
// machine's OpenGL can do before any window exists.
//
// With a display (GLFW initialises) it is the context of a hidden, undecorated GLFW window
// of the requested position and size; without one it is an EGL context of Mesa's
// surfaceless platform (or the EGL device platform), drawing nowhere. Either way the
// context is current on the creating thread while the capabilities are read, then released
// from the thread; release() destroys it. GLFW stays initialised for the windows made
// later.
//
// currentContextRenderer() and currentContextSamples() read the context that is current on
// the calling thread, whichever made it (the render thread asks its own).

#include <string>
#include <vector>

namespace plashwerk {

struct GlProbeRequest {
    int x = 2, y = 2;           ///< hidden window position, pixels
    int width = 2, height = 2;  ///< hidden window size, pixels
    int major = 2, minor = 0;   ///< requested OpenGL version; major below 1 makes no context
    bool debug = false;         ///< ask for a debug context where the platform offers one
    const char* title = "Pyrolex Dummy Win";
};

/// What the context reports. Texts are empty and numbers 0 when there is no context.
struct GlProbeInfo {
    std::string renderer;      ///< GL_RENDERER
    std::string vendor;        ///< GL_VENDOR
    std::string version_text;  ///< GL_VERSION
    int major = 0, minor = 0;  ///< from the version text (major below 3) or the integer queries
    int max_viewport = 0;      ///< larger of the GL_MAX_VIEWPORT_DIMS pair
    int max_texture_size = 0;
    int max_samples = 0;          ///< GL_MAX_SAMPLES, 0 without multisampling
    std::vector<int> msaa_modes;  ///< sample counts 2, 4, 8 ... up to max_samples
    std::vector<std::string> extensions;
    bool glew_ok = false;       ///< GLEW loaded its entry points
    const char* platform = "";  ///< "glfw", "egl" or ""
};

class GlProbeContext {
  public:
    GlProbeContext() = default;
    ~GlProbeContext() { release(); }
    GlProbeContext(const GlProbeContext&) = delete;
    GlProbeContext& operator=(const GlProbeContext&) = delete;

    /// Makes the context and reads its capabilities. False when no context could be made
    /// (or none was asked for); info() is then empty.
    bool create(const GlProbeRequest& request);
    /// Destroys the context and its hidden window; safe when there is none.
    void release();

    bool valid() const { return m_valid; }
    const GlProbeInfo& info() const { return m_info; }
    bool hasExtension(const char* name) const;

  private:
    bool createGlfw(const GlProbeRequest& request);
    bool createEgl(const GlProbeRequest& request);
    void readCapabilities();
    void unbind();

    bool m_valid = false;
    GlProbeInfo m_info;
    void* m_window = nullptr;       // GLFWwindow*
    void* m_egl_display = nullptr;  // EGLDisplay
    void* m_egl_context = nullptr;  // EGLContext
};

/// GL_RENDERER of the context current on this thread, or empty without one.
std::string currentContextRenderer();
/// GL_SAMPLES of the current context's draw buffer, or 0 without one.
int currentContextSamples();

/// What went wrong with the context current on this thread since the last call: OpenGL's
/// error flags (taken off, so each is reported once) and, where the driver offers
/// robustness, a reset that lost the context.
struct ContextFaults {
    bool error = false;
    bool lost = false;
};
ContextFaults takeContextFaults();

}  // namespace plashwerk
