#include "platform/engine/vn_texture.h"

#include <GL/glew.h>
#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/file/regular_file.h"

namespace Vantorr_nsp {
namespace {

// Image files above this are refused before reading: four times the largest 16384 x 16384
// RGBA image is more than any texture the program loads.
constexpr size_t kMaxImageFileBytes = 256u * 1024 * 1024;

GLenum compressedFormat(int format) {
    switch (format) {
        case VN_PIXEL_FORMAT_DXT1:
            return GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
        case VN_PIXEL_FORMAT_DXT3:
            return GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
        case VN_PIXEL_FORMAT_DXT5:
            return GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
        default:
            return 0;
    }
}

DdsFormat ddsFormatOf(int format) {
    switch (format) {
        case VN_PIXEL_FORMAT_DXT1:
            return DdsFormat::Dxt1;
        case VN_PIXEL_FORMAT_DXT3:
            return DdsFormat::Dxt3;
        case VN_PIXEL_FORMAT_DXT5:
            return DdsFormat::Dxt5;
        default:
            return DdsFormat::Rgba8;
    }
}

bool isCompressed(int format) {
    return compressedFormat(format) != 0;
}

// Errors left by earlier calls must not be taken for this texture's.
void drainGlErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// Decodes every level of a compressed image in place into RGBA.
bool decompress(vnTextureData& d, std::vector<std::vector<uint8_t>>& levels, int& format) {
    if (!isCompressed(format)) return true;
    std::vector<std::vector<uint8_t>> rgba(levels.size());
    uint32_t w = uint32_t(d.getWidth()), h = uint32_t(d.getHeight());
    for (size_t i = 0; i < levels.size(); ++i) {
        if (!decodeDxt(ddsFormatOf(format), levels[i].data(), levels[i].size(), w, h, rgba[i]))
            return false;
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
    levels = std::move(rgba);
    format = VN_PIXEL_FORMAT_RGBA;
    return true;
}

}  // namespace

int vnTextureData::getBytesPerPixel() const {
    return m_format == VN_PIXEL_FORMAT_RGB ? 3 : m_format == VN_PIXEL_FORMAT_RGBA ? 4 : 0;
}

vnTexture::~vnTexture() {
    if (m_gl_name) glDeleteTextures(1, &m_gl_name);
}

bool vnTexture::upload() {
    vnTextureData& d = *m_data;
    if (isCompressed(d.m_format) && !GLEW_EXT_texture_compression_s3tc) {
        // The driver cannot take the blocks: hand it the decoded pixels.
        if (!decompress(d, d.m_levels, d.m_format)) return false;
    }
    drainGlErrors();
    if (!m_gl_name) glGenTextures(1, &m_gl_name);
    glBindTexture(GL_TEXTURE_2D, m_gl_name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    // A single level gets its mipmaps from the driver; a stored chain is used as it is.
    const bool own_chain = d.m_levels.size() > 1;
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, own_chain ? GL_FALSE : GL_TRUE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL,
                    own_chain ? GLint(d.m_levels.size() - 1) : 1000);
    GLsizei w = d.m_width, h = d.m_height;
    for (size_t level = 0; level < d.m_levels.size(); ++level) {
        const std::vector<uint8_t>& pixels = d.m_levels[level];
        if (isCompressed(d.m_format)) {
            glCompressedTexImage2D(GL_TEXTURE_2D, GLint(level), compressedFormat(d.m_format), w, h,
                                   0, GLsizei(pixels.size()), pixels.data());
        } else {
            const GLenum fmt = d.m_format == VN_PIXEL_FORMAT_RGB ? GL_RGB : GL_RGBA;
            glTexImage2D(GL_TEXTURE_2D, GLint(level), GLint(fmt == GL_RGB ? GL_RGB8 : GL_RGBA8), w,
                         h, 0, fmt, GL_UNSIGNED_BYTE, pixels.data());
        }
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    m_width = d.m_width;
    m_height = d.m_height;
    return glGetError() == GL_NO_ERROR;
}

bool vnTexture::changePixelFormat(int format) {
    if (!m_data || (format != VN_PIXEL_FORMAT_RGB && format != VN_PIXEL_FORMAT_RGBA)) return false;
    vnTextureData& d = *m_data;
    if (!decompress(d, d.m_levels, d.m_format)) return false;
    if (d.m_format == format) return upload();
    // Only level 0 is converted; the driver makes the smaller levels again.
    const int from = d.getBytesPerPixel(), to = format == VN_PIXEL_FORMAT_RGB ? 3 : 4;
    const size_t n = size_t(d.m_width) * size_t(d.m_height);
    std::vector<uint8_t> converted(n * size_t(to));
    const uint8_t* src = d.m_levels[0].data();
    for (size_t i = 0; i < n; ++i) {
        std::memcpy(&converted[i * to], &src[i * from], 3);
        if (to == 4) converted[i * 4 + 3] = 255;
    }
    d.m_levels.assign(1, std::move(converted));
    d.m_format = format;
    return upload();
}

bool vnTexture::updateOpacityMap(float low, float high) {
    if (!m_data || m_data->m_format != VN_PIXEL_FORMAT_RGBA || m_data->m_levels.empty())
        return false;
    vnTextureData& d = *m_data;
    d.m_levels.resize(1);  // the alpha of smaller levels follows from level 0
    std::vector<uint8_t>& px = d.m_levels[0];
    const float range = high > low ? high - low : 1.0f;
    for (size_t i = 0; i + 3 < px.size(); i += 4) {
        const float brightness = (float(px[i]) + float(px[i + 1]) + float(px[i + 2])) / 765.0f;
        const float a = std::clamp((brightness - low) / range, 0.0f, 1.0f);
        px[i + 3] = uint8_t(a * 255.0f + 0.5f);
    }
    return upload();
}

void vnTexture::bind(int unit) const {
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    glBindTexture(GL_TEXTURE_2D, m_gl_name);
    static const GLint modes[] = {GL_MODULATE, GL_REPLACE, GL_DECAL, GL_ADD};
    const int f = m_function >= 0 && m_function < 4 ? m_function : 0;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, modes[f]);
}

vnTextureMgr* vnTextureMgr::getInstance() {
    static vnTextureMgr mgr;
    return &mgr;
}

vnTexture* vnTextureMgr::getTexture(const char* name) {
    if (!name) return nullptr;
    for (auto& t : m_textures)
        if (t->m_name == name) return t.get();
    return nullptr;
}

vnTexture* vnTextureMgr::createTexture2D(const char* file) {
    if (!file) return nullptr;
    if (vnTexture* existing = getTexture(file)) return existing;
    std::vector<uint8_t> bytes;
    if (!plashwerk::readRegularFile(file, kMaxImageFileBytes, bytes)) {
        logTrace(VN_TRACE_ERROR, "vnTextureMgr: cannot read texture file %s", file);
        return nullptr;
    }
    return fromBytes(file, bytes.data(), bytes.size());
}

vnTexture* vnTextureMgr::createTexture2D(const char* name, const void* image, size_t size) {
    if (!name || !image) return nullptr;
    if (vnTexture* existing = getTexture(name)) return existing;
    return fromBytes(name, static_cast<const uint8_t*>(image), size);
}

vnTexture* vnTextureMgr::fromBytes(const char* name, const uint8_t* bytes, size_t size) {
    auto data = std::make_unique<vnTextureData>();
    if (size >= 4 && std::memcmp(bytes, "DDS ", 4) == 0) {
        DdsImage dds;
        const DdsError e = readDds(bytes, size, dds);
        if (e != DdsError::None) {
            logTrace(VN_TRACE_ERROR, "vnTextureMgr: %s: %s", name, ddsErrorText(e));
            return nullptr;
        }
        data->m_width = int(dds.width);
        data->m_height = int(dds.height);
        switch (dds.format) {
            case DdsFormat::Rgba8:
                data->m_format = VN_PIXEL_FORMAT_RGBA;
                break;
            case DdsFormat::Dxt1:
                data->m_format = VN_PIXEL_FORMAT_DXT1;
                break;
            case DdsFormat::Dxt3:
                data->m_format = VN_PIXEL_FORMAT_DXT3;
                break;
            case DdsFormat::Dxt5:
                data->m_format = VN_PIXEL_FORMAT_DXT5;
                break;
        }
        for (const DdsLevel& lv : dds.levels)
            data->m_levels.emplace_back(dds.data.begin() + std::ptrdiff_t(lv.offset),
                                        dds.data.begin() + std::ptrdiff_t(lv.offset + lv.size));
    } else {
        if (size > size_t(INT_MAX)) return nullptr;
        int w = 0, h = 0, channels = 0;
        stbi_uc* px = stbi_load_from_memory(bytes, int(size), &w, &h, &channels, 3);
        if (!px) {
            logTrace(VN_TRACE_ERROR, "vnTextureMgr: %s: %s", name, stbi_failure_reason());
            return nullptr;
        }
        if (w > int(kDdsMaxDimension) || h > int(kDdsMaxDimension)) {
            stbi_image_free(px);
            logTrace(VN_TRACE_ERROR, "vnTextureMgr: %s: image of %dx%d too large", name, w, h);
            return nullptr;
        }
        data->m_width = w;
        data->m_height = h;
        data->m_format = VN_PIXEL_FORMAT_RGB;
        data->m_levels.emplace_back(px, px + size_t(w) * size_t(h) * 3);
        stbi_image_free(px);
    }
    auto texture = std::unique_ptr<vnTexture>(new vnTexture);
    texture->m_name = name;
    texture->m_data = std::move(data);
    if (!texture->upload()) {
        logTrace(VN_TRACE_ERROR, "vnTextureMgr: %s: the driver refused the texture", name);
        return nullptr;
    }
    m_textures.push_back(std::move(texture));
    return m_textures.back().get();
}

vnTexture* vnTextureMgr::createRenderTexture(const char* name, int width, int height, int format) {
    if (!name || width < 1 || height < 1) return nullptr;
    auto texture = std::unique_ptr<vnTexture>(new vnTexture);
    texture->m_name = name;
    texture->m_width = width;
    texture->m_height = height;
    drainGlErrors();
    glGenTextures(1, &texture->m_gl_name);
    glBindTexture(GL_TEXTURE_2D, texture->m_gl_name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (format == VN_PIXEL_FORMAT_DEPTH) {
        // Compared against the fragment's depth: shadow2D answers lit (1) or shadowed (0).
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
        glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE, GL_LUMINANCE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT,
                     GL_UNSIGNED_INT, nullptr);
    } else {
        const bool rgb = format == VN_PIXEL_FORMAT_RGB;
        glTexImage2D(GL_TEXTURE_2D, 0, rgb ? GL_RGB8 : GL_RGBA8, width, height, 0,
                     rgb ? GL_RGB : GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    if (glGetError() != GL_NO_ERROR) return nullptr;
    m_textures.push_back(std::move(texture));
    return m_textures.back().get();
}

void vnTextureMgr::destroyTexture(vnTexture* texture) {
    auto it = std::find_if(m_textures.begin(), m_textures.end(),
                           [&](const auto& t) { return t.get() == texture; });
    if (it != m_textures.end()) m_textures.erase(it);
}

void vnTextureMgr::clear() {
    while (!m_textures.empty()) m_textures.pop_back();
}

}  // namespace Vantorr_nsp
