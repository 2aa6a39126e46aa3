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
class vnCamera;
class vnFont;
class vnGpuShader;
class vnMesh;
class vnCurve;
class vnObject;
class vnQuad;
class vnScene;
class vnTexture;
struct vnColor;
struct vnMatrix4;
struct vnMeshDesc;
struct vnVector3;

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

    // State operations on the current context (vn_renderer_gl.cpp). Numbers are those of
    // vn_render_state.h.
    void setRenderingState(int state, bool on);
    void setMatrixMode(int mode);
    void loadMatrix(const vnMatrix4& m);
    void loadIdentity();
    void multMatrix(const vnMatrix4& m);
    void setActiveTextureUnit(int unit);
    /// Binds a texture to a unit (null unbinds it).
    void bindTexture(int unit, const vnTexture* texture);
    void setColorMask(bool r, bool g, bool b, bool a);
    void setBlendFunc(int source, int destination);
    /// vnDepthFunc: how fragments are compared with the depth buffer.
    void setDepthFunc(int func);
    void setPolygonOffset(float factor, float units);
    void setPointSize(float size);
    /// The point sizes the current context draws, in pixels; false (0, 0) without one.
    bool getPointSizeRange(float& min_size, float& max_size);
    void setPointSprites(bool on);
    /// Draws count points from client arrays: positionSize (3 or 4) floats per position,
    /// colorSize (3 or 4) floats per colour, each array with its stride in bytes (0: packed).
    void drawPoints(int count, const float* positions, int positionSize, int positionStride,
                    const float* colors, int colorSize, int colorStride);

    // Drawing of engine objects (vn_renderer_gl.cpp).
    /// The camera's viewport, projection and view become current.
    void setCamera(vnCamera* camera);
    /// The scene's lights, placed in the current camera's view (call after setCamera).
    void setLights(vnScene* scene);
    /// Draws the scene's meshes in one pass (vnDrawPass) seen by the camera. Lit pass:
    /// material pass 0 with the material's textures from unit 1 (unit 0 holds the shadow
    /// map), blending and depth writes as the caller set them; meshes without material or
    /// with VN_OPTION_LIGHTED off are left out. Ambient pass: material pass 1 with its
    /// render state, textures from unit 0; meshes without material in their vertex colours.
    /// Depth pass: positions only, meshes with VN_OPTION_CAST_SHADOWS off are left out.
    void drawSceneObjects(vnScene* scene, vnCamera* camera, int pass);
    /// Draws a HUD quad over the current render window with its first material (and that
    /// material's pass-0 shader when it has one).
    void drawHud(vnQuad* quad);
    /// A quad over the whole active target, texture coordinates 0..1, with whatever shader
    /// and textures are bound.
    void drawScreenQuad();
    /// Text: beginText sets up window pixels, drawText draws the font's line, endText puts
    /// the 3D state back.
    void beginText();
    void drawText(vnFont* font);
    /// A filled rectangle in the pixels of beginText (x, y: top-left corner), opaque in
    /// the colour's red, green and blue.
    void fillRect(float x, float y, float width, float height, const vnColor& color);
    void endText();

    /// 2D lines: begin2D sets an orthographic projection of width x height with its origin
    /// at the window centre (y up) and the depth range near..far, with depth test,
    /// lighting and texturing off; end2D restores the previous projection and state.
    void begin2D(int width, int height, float near_z, float far_z);
    void end2D();
    void setLineWidth(float width);
    /// Stippled lines on or off; factor and pattern as glLineStipple takes them.
    void setLineStipple(bool on, int factor, unsigned short pattern);
    /// The first count points of the curve as one connected line in the colour.
    void drawCurve(const vnCurve* curve, int count, const vnColor& color);
    /// A line from a to b, its colour shaded from colour_a to colour_b.
    void drawLine(const vnVector3& a, const vnColor& color_a, const vnVector3& b,
                  const vnColor& color_b);

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

    // Scene nodes (vn_scene.cpp) and the HUD font (vn_font.cpp).
    /// A mesh built from the description and added to the scene, which owns it. Null for a
    /// bad description (logged) or without scene.
    vnMesh* createMesh(vnScene* scene, const char* name, const vnMeshDesc& desc);
    /// A HUD quad of width x height pixels centred on the window; the engine owns it.
    vnQuad* createHud(const char* name, float width, float height);
    /// Frees a mesh or HUD quad made here.
    void destroyNode(vnObject* node);
    /// Frees every HUD quad.
    void destroyAllHuds();
    /// The font of the face at size pixels (em height); null when no face file is found.
    vnFont* createFont(const char* face, int size);
    void destroyFont(vnFont* font);

  private:
    bool m_started = false;
};

}  // namespace Vantorr_nsp
