#pragma once
// Render targets: framebuffer objects the renderer draws into instead of the window, whose
// result is a texture (the colour image, or the depth image of a shadow map).
//
// The program makes a target with new, creates it once with its size, activates it to draw
// into it, deactivates it to draw into the current render window again, and deletes it
// (with the render window current) to free the framebuffer and its texture.

#include <cstdint>

namespace Vantorr_nsp {

class vnTexture;

class vnRenderTarget {
  public:
    vnRenderTarget() = default;
    ~vnRenderTarget();
    vnRenderTarget(const vnRenderTarget&) = delete;
    vnRenderTarget& operator=(const vnRenderTarget&) = delete;

    /// A colour target of width x height. pixelFormat: vnPixelFormat RGB or RGBA;
    /// internalFormat: 3 for 8 bits per channel (the only one); withDepth: 1 gives it a
    /// depth buffer of its own so scenes can be drawn into it; mipmaps: 0 (none; others
    /// refused). 0 on success, -1 on failure (logged).
    int createColorTarget(const char* name, int width, int height, int pixelFormat,
                          int internalFormat, int withDepth, int mipmaps);
    /// A depth-only target whose texture is compared as a shadow map. 0 or -1.
    int createDepthTarget(const char* name, int width, int height);

    /// Draws into the target from now on, over its whole size.
    void activate();
    /// Draws again into what was drawn into before activate() (another target or the
    /// current render window), with the viewport activate() found.
    void deactivate();
    /// The texture holding the result; null before a successful creation.
    vnTexture* getTarget() const { return m_texture; }
    int getWidth() const { return m_width; }
    int getHeight() const { return m_height; }

  private:
    int create(const char* name, int width, int height, int format, bool with_depth);
    void release();

    uint32_t m_fbo = 0;
    uint32_t m_depth_rb = 0;
    vnTexture* m_texture = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_saved_viewport[4] = {0, 0, 0, 0};
    uint32_t m_saved_framebuffer = 0;
    bool m_active = false;
};

}  // namespace Vantorr_nsp
