#pragma once
// The rendering engine's entry object and its renderer.
//
// Start-up selects the render system and creates the renderer singleton; no OpenGL context
// is needed until a render window exists. Shut-down releases them in reverse order.

namespace Vantorr_nsp {

/// The render systems the engine knows. Only OpenGL exists on this platform.
enum vnRenderSystemType { VN_RENDER_SYSTEM_NONE = 0, VN_RENDER_SYSTEM_OPENGL = 2 };

/// The render system behind the renderer: what draws, and with which API.
struct vnRenderSystem {
    vnRenderSystemType type = VN_RENDER_SYSTEM_OPENGL;
    const char* name = "OpenGL";
};

class vnRenderer {
public:
    /// The renderer of the started engine, or null when the engine is not started.
    static vnRenderer* getInstance();

    vnRenderSystem* getRenderSystem() { return m_render_system; }

private:
    friend class Vantorr;
    vnRenderSystem* m_render_system = nullptr;
};

class Vantorr {
public:
    static Vantorr* getInstance();

    /// renderSystem: 2 for OpenGL, any other value fails. traceEnabled: 1 keeps the trace
    /// log that the caller opened. reserved: must be null. Returns 0 on success, -1 on
    /// failure. A second start-up while started succeeds and changes nothing.
    int startup(int renderSystem, int traceEnabled, void* reserved);

    /// Releases the renderer and its render system; safe when not started.
    void shutdown();

    bool isStarted() const { return m_started; }

private:
    bool m_started = false;
};

}  // namespace Vantorr_nsp
