#pragma once
// 2D textures: their pixels on the processor side (vnTextureData), the OpenGL texture made
// from them (vnTexture), and the manager that owns them by name (vnTextureMgr).
//
// Images come from files or from memory: JPEG (and the other formats stb_image reads) and
// DDS (dds_reader.h). DXT images go to the driver compressed (GL_EXT_texture_compression_s3tc)
// and are decoded here only when the driver lacks it or when their pixels are changed.
// Textures are made on the render thread with its render window current.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/engine/dds_reader.h"

namespace Vantorr_nsp {

/// Pixel formats of texture data and render targets.
enum vnPixelFormat {
    VN_PIXEL_FORMAT_RGB = 3,   ///< 8-bit red, green, blue
    VN_PIXEL_FORMAT_RGBA = 4,  ///< 8-bit red, green, blue, alpha
    VN_PIXEL_FORMAT_DXT1 = 5,
    VN_PIXEL_FORMAT_DXT3 = 6,
    VN_PIXEL_FORMAT_DXT5 = 7,
    VN_PIXEL_FORMAT_DEPTH = 8,  ///< 24-bit depth, compared as a shadow map
};

/// How a texel is combined with the incoming colour in fixed-function drawing.
enum vnTextureFunction {
    VN_TEXFUNC_MODULATE = 0,
    VN_TEXFUNC_REPLACE = 1,
    VN_TEXFUNC_DECAL = 2,
    VN_TEXFUNC_ADD = 3,
};

/// The pixels of a texture, level 0 first.
class vnTextureData {
  public:
    int getWidth() const { return m_width; }
    int getHeight() const { return m_height; }
    int getPixelFormat() const { return m_format; }
    /// Bytes per pixel of an uncompressed format; 0 for compressed ones.
    int getBytesPerPixel() const;
    /// Level 0: rows from the top; blocks for DXT formats.
    const uint8_t* getPixels() const { return m_levels.empty() ? nullptr : m_levels[0].data(); }
    size_t getLevelCount() const { return m_levels.size(); }
    const std::vector<uint8_t>& getLevel(size_t i) const { return m_levels[i]; }

  private:
    friend class vnTexture;
    friend class vnTextureMgr;
    int m_width = 0;
    int m_height = 0;
    int m_format = VN_PIXEL_FORMAT_RGBA;
    std::vector<std::vector<uint8_t>> m_levels;
};

class vnTexture {
  public:
    ~vnTexture();
    vnTexture(const vnTexture&) = delete;
    vnTexture& operator=(const vnTexture&) = delete;

    const std::string& getName() const { return m_name; }
    /// The pixels; null for textures that only the GPU holds (render targets).
    vnTextureData* getTexData() { return m_data.get(); }
    uint32_t getGLName() const { return m_gl_name; }
    int getWidth() const { return m_width; }
    int getHeight() const { return m_height; }

    /// Converts the pixels to another uncompressed format (RGB or RGBA; a compressed image
    /// is decoded first) and uploads them again. Alpha added is opaque. False when the
    /// texture has no pixels or the format is not one of the two.
    bool changePixelFormat(int format);
    /// Makes the alpha of every texel from its brightness: 0 up to low, rising linearly to
    /// 1 at high (brightness 0..1 as (r + g + b) / 3). RGBA textures only. False otherwise.
    bool updateOpacityMap(float low, float high);
    /// vnTextureFunction: applied whenever the texture is bound for fixed-function drawing.
    void setFunctionType(int function) { m_function = function; }
    int getFunctionType() const { return m_function; }

    /// Binds the texture to a texture unit (0..7) of the current context.
    void bind(int unit) const;

  private:
    friend class vnTextureMgr;
    vnTexture() = default;
    bool upload();

    std::string m_name;
    std::unique_ptr<vnTextureData> m_data;
    uint32_t m_gl_name = 0;
    int m_width = 0;
    int m_height = 0;
    int m_function = VN_TEXFUNC_MODULATE;
};

class vnTextureMgr {
  public:
    static vnTextureMgr* getInstance();

    /// A texture from an image file (JPEG, PNG, DDS...), named after the path. The same path
    /// twice gives the same texture. Null when the file is missing or damaged (logged).
    vnTexture* createTexture2D(const char* file);
    /// A texture from an image held in memory, under the given name. Null when the image
    /// is damaged (logged).
    vnTexture* createTexture2D(const char* name, const void* image, size_t size);
    /// An empty texture that a render target draws into (owned here like the others).
    vnTexture* createRenderTexture(const char* name, int width, int height, int format);

    vnTexture* getTexture(const char* name);
    size_t getTextureCount() const { return m_textures.size(); }
    /// Deletes every texture, the latest first. Needs the context they were made in.
    void clear();
    /// Deletes one texture.
    void destroyTexture(vnTexture* texture);

  private:
    vnTexture* fromBytes(const char* name, const uint8_t* bytes, size_t size);
    std::vector<std::unique_ptr<vnTexture>> m_textures;
};

}  // namespace Vantorr_nsp
