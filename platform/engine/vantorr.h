#pragma once
// The rendering engine's entry object and its renderer.
//
// Start-up selects the render system and creates the renderer singleton; no OpenGL context
// is needed until a render window exists. Shut-down releases them in reverse order.

namespace plashwerk::window {
class Window;
}

namespace Vantorr_nsp {

class vnRenderWindow;

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

    // Drawing state of the render window current on the calling thread (vn_render_window).
    void setClearColor(float r, float g, float b, float a);
    /// buffers: vnClearBuffers bits.
    void clear(int buffers);
    void setViewport(int x, int y, int width, int height);
    /// GL_RENDERER of the current render window; null without one.
    const char* getRendererName();

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

    // Render windows (vn_render_window).
    /// A render window on the window: the window's drawable, or an offscreen one of
    /// width x height without display. colorBits, depthBits, stencilBits: what the drawable
    /// should have at least; msaa: samples per pixel, 0 = none; reserved and rendererType
    /// select the engine's own variants (2, 0 and 1: the OpenGL one). Null on failure,
    /// otherwise current on the calling thread.
    vnRenderWindow* createRenderWindow(plashwerk::window::Window* window, int width, int height,
                                       int colorBits, int depthBits, int stencilBits, int msaa,
                                       int reserved1, int reserved2, int rendererType);
    /// Releases the render window (first from the calling thread when current there).
    void destroyRenderWindow(vnRenderWindow* renderWindow);
    /// Makes the render window current on the calling thread; the dummy window or null
    /// releases the current one. False when its context cannot be made current.
    bool setCurrentRenderWindow(vnRenderWindow* renderWindow);
    vnRenderWindow* getCurrentRenderWindow();
    void displayRenderWindow(vnRenderWindow* renderWindow);
    /// Shows the frame drawn in the current render window.
    void displayCurrentRenderWindow();
    /// A render window without drawable: current when nothing is drawn.
    vnRenderWindow* getDummyRenderWindow();

private:
    bool m_started = false;
};

}  // namespace Vantorr_nsp
