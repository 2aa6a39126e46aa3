#pragma once
// The HUD font: one line of single-byte Windows-1252 text, formatted printf-style, drawn
// at a pixel position in a colour by vnRenderer::drawText between beginText and endText.
//
// Glyphs come from a TrueType face rasterised once into an alpha texture (stb_truetype).
// "Arial" is served by Liberation Sans, which has the same metrics; other face names fall
// back to it too.

#include <cstdint>
#include <string>

namespace Vantorr_nsp {

inline constexpr int kVnFontTextBytes = 256;

class vnFont {
  public:
    ~vnFont();
    vnFont(const vnFont&) = delete;
    vnFont& operator=(const vnFont&) = delete;

    /// Formats the text, cut to 255 bytes.
    void setText(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const char* getText() const { return m_text; }
    /// x from the left, y from the top of the window to the top of the line, pixels.
    void setPosition(float x, float y) {
        m_x = x;
        m_y = y;
    }
    void setColor(float r, float g, float b) {
        m_color[0] = r;
        m_color[1] = g;
        m_color[2] = b;
    }
    /// 0: plain. Other styles are drawn plain.
    void setStyle(int style) { m_style = style; }
    float getX() const { return m_x; }
    float getY() const { return m_y; }
    const float* getColor() const { return m_color; }
    /// Pixels from the top of a line to the next.
    int getLineHeight() const { return m_line_height; }
    /// Pixels from the top of a line to its baseline.
    int getAscent() const { return m_ascent; }
    /// Width of the current text in pixels.
    float getTextWidth() const;

  private:
    friend class Vantorr;
    friend class vnRenderer;
    vnFont() = default;
    bool load(const char* face, int size);

    struct Glyph {
        float advance = 0.0f;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  ///< box relative to the pen on the baseline
        float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
    };
    Glyph m_glyphs[256];
    uint32_t m_texture = 0;
    int m_ascent = 0;
    int m_line_height = 0;
    char m_text[kVnFontTextBytes] = {};
    float m_x = 0.0f, m_y = 0.0f;
    float m_color[3] = {1.0f, 1.0f, 1.0f};
    int m_style = 0;
    /// Two triangles per character: x, y, u, v for six corners.
    float m_vertices[kVnFontTextBytes * 6 * 4] = {};
};

/// The Unicode code point of a Windows-1252 byte; 0 for the five unassigned bytes.
uint32_t windows1252ToUnicode(uint8_t byte);

}  // namespace Vantorr_nsp
