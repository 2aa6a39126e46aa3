#include "platform/engine/vn_font.h"

#include <GL/glew.h>
#include <stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/engine/vantorr.h"
#include "platform/engine/vn_trace_mgr.h"
#include "platform/file/regular_file.h"

namespace Vantorr_nsp {
namespace {

// Liberation Sans has Arial's metrics; Debian puts it in one of these.
const char* const kFaceFiles[] = {
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
};

// A font file larger than this is not the HUD font.
constexpr size_t kMaxFontFileBytes = 64u * 1024 * 1024;

// Bytes 0x80 to 0x9F of Windows-1252; the rest of the upper half is Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

uint32_t windows1252ToUnicode(uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
    return byte;
}

vnFont::~vnFont() {
    if (m_texture) glDeleteTextures(1, &m_texture);
}

bool vnFont::load(const char* /*face*/, int size) {
    if (size < 1 || size > 128) return false;
    std::vector<unsigned char> ttf;
    bool found = false;
    for (const char* path : kFaceFiles)
        if ((found = plashwerk::readRegularFile(path, kMaxFontFileBytes, ttf) && !ttf.empty()))
            break;
    stbtt_fontinfo info;
    if (!found || !stbtt_InitFont(&info, ttf.data(), stbtt_GetFontOffsetForIndex(ttf.data(), 0)))
        return false;
    // The size is the em height in pixels, as a Windows font height of -size asks.
    const float scale = stbtt_ScaleForMappingEmToPixels(&info, float(size));
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
    m_ascent = int(std::ceil(float(ascent) * scale));
    m_line_height = int(std::ceil(float(ascent - descent + gap) * scale));

    // One cell per byte value, 16 x 16 cells.
    const int cell = m_line_height + 2;
    int atlas = 64;
    while (atlas < cell * 16) atlas *= 2;
    std::vector<unsigned char> pixels(size_t(atlas) * size_t(atlas), 0);
    for (int c = 0; c < 256; ++c) {
        Glyph& g = m_glyphs[c];
        const uint32_t code = windows1252ToUnicode(uint8_t(c));
        const int index = code >= 32 ? stbtt_FindGlyphIndex(&info, int(code)) : 0;
        if (code < 32 || (index == 0 && code != ' ')) continue;
        int advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(&info, index, &advance, &bearing);
        g.advance = float(advance) * scale;
        int x0, y0, x1, y1;
        stbtt_GetGlyphBitmapBox(&info, index, scale, scale, &x0, &y0, &x1, &y1);
        const int w = std::min(x1 - x0, cell - 1), h = std::min(y1 - y0, cell - 1);
        if (w <= 0 || h <= 0) continue;
        const int cx = (c % 16) * cell, cy = (c / 16) * cell;
        stbtt_MakeGlyphBitmap(&info, &pixels[size_t(cy) * size_t(atlas) + size_t(cx)], w, h, atlas,
                              scale, scale, index);
        g.x0 = x0;
        g.y0 = y0;
        g.x1 = x0 + w;
        g.y1 = y0 + h;
        g.u0 = float(cx) / float(atlas);
        g.v0 = float(cy) / float(atlas);
        g.u1 = float(cx + w) / float(atlas);
        g.v1 = float(cy + h) / float(atlas);
    }
    glGenTextures(1, &m_texture);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, atlas, atlas, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return true;
}

void vnFont::setText(const char* format, ...) {
    if (!format) {
        m_text[0] = '\0';
        return;
    }
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_text, sizeof m_text, format, args);
    va_end(args);
}

float vnFont::getTextWidth() const {
    float w = 0.0f;
    for (const char* p = m_text; *p; ++p) w += m_glyphs[uint8_t(*p)].advance;
    return w;
}

vnFont* Vantorr::createFont(const char* face, int size) {
    auto* font = new vnFont;
    if (!font->load(face, size)) {
        logTrace(VN_TRACE_ERROR, "Vantorr: font %s %d not available.", face ? face : "", size);
        delete font;
        return nullptr;
    }
    return font;
}

void Vantorr::destroyFont(vnFont* font) {
    delete font;
}

}  // namespace Vantorr_nsp
