// Draws the program's icon: a splash of fluid particles over a gauge, on a rounded square.
// The same list of shapes is written as an SVG (the scalable icon) and rasterised, with 4 x 4
// samples a pixel, into a PNG of the asked size, so the two never differ.
//
//   make_icon OUT.svg OUT.png [SIZE]    SIZE defaults to 256

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Colour {
    uint8_t r, g, b;
};

// Shapes on a 256 x 256 canvas, painted in order.
struct Shape {
    enum Kind { RoundedRect, Circle, Ring } kind;
    float x, y;      // rectangle: top-left corner; circle and ring: centre
    float w, h, r;   // rectangle: size and corner radius; circle: radius; ring: outer radius
    float inner;     // ring: inner radius
    float from, to;  // ring: the arc kept, in degrees clockwise from 12 o'clock
    Colour colour;
};

std::vector<Shape> iconShapes() {
    std::vector<Shape> s;
    s.push_back({Shape::RoundedRect, 8, 8, 240, 240, 48, 0, 0, 0, {0x16, 0x22, 0x3a}});
    // The gauge: an open ring, three quarters of a turn, and its filled part.
    s.push_back({Shape::Ring, 128, 140, 0, 0, 92, 76, -135, 135, {0x2c, 0x3e, 0x60}});
    s.push_back({Shape::Ring, 128, 140, 0, 0, 92, 76, -135, 60, {0xf4, 0x8c, 0x1e}});
    // The fluid: one large drop and the particles thrown off it.
    const struct {
        float x, y, r;
        Colour c;
    } drops[] = {
        {128, 148, 46, {0x2f, 0x9b, 0xf0}}, {128, 112, 30, {0x2f, 0x9b, 0xf0}},
        {128, 86, 16, {0x2f, 0x9b, 0xf0}},  {118, 140, 12, {0x9f, 0xd8, 0xff}},
        {78, 78, 10, {0x5c, 0xc8, 0xff}},   {180, 70, 12, {0x5c, 0xc8, 0xff}},
        {60, 122, 7, {0x9f, 0xd8, 0xff}},   {198, 118, 8, {0x9f, 0xd8, 0xff}},
        {104, 52, 6, {0xff, 0xff, 0xff}},   {156, 40, 7, {0xff, 0xff, 0xff}},
        {92, 206, 8, {0x5c, 0xc8, 0xff}},   {166, 204, 9, {0x5c, 0xc8, 0xff}},
    };
    for (const auto& d : drops) s.push_back({Shape::Circle, d.x, d.y, 0, 0, d.r, 0, 0, 0, d.c});
    return s;
}

constexpr float kPi = 3.14159265358979f;

bool inside(const Shape& s, float px, float py) {
    switch (s.kind) {
        case Shape::RoundedRect: {
            if (px < s.x || py < s.y || px > s.x + s.w || py > s.y + s.h) return false;
            const float cx = std::clamp(px, s.x + s.r, s.x + s.w - s.r);
            const float cy = std::clamp(py, s.y + s.r, s.y + s.h - s.r);
            return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= s.r * s.r;
        }
        case Shape::Circle:
            return (px - s.x) * (px - s.x) + (py - s.y) * (py - s.y) <= s.r * s.r;
        case Shape::Ring: {
            const float d2 = (px - s.x) * (px - s.x) + (py - s.y) * (py - s.y);
            if (d2 > s.r * s.r || d2 < s.inner * s.inner) return false;
            const float angle = std::atan2(px - s.x, s.y - py) * 180.0f / kPi;  // 0 at the top
            return angle >= s.from && angle <= s.to;
        }
    }
    return false;
}

std::string hex(Colour c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

// The point of a ring's circle of radius `radius` at `degrees` clockwise from the top.
std::string arcPoint(const Shape& s, float radius, float degrees) {
    char text[64];
    const float a = degrees * kPi / 180.0f;
    std::snprintf(text, sizeof text, "%.2f %.2f", s.x + radius * std::sin(a),
                  s.y - radius * std::cos(a));
    return text;
}

std::string svgOf(const std::vector<Shape>& shapes) {
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 256 256\">\n";
    char line[512];
    for (const Shape& s : shapes) {
        const std::string fill = hex(s.colour);
        if (s.kind == Shape::RoundedRect) {
            std::snprintf(line, sizeof line,
                          "  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" rx=\"%g\" "
                          "fill=\"%s\"/>\n",
                          s.x, s.y, s.w, s.h, s.r, fill.c_str());
        } else if (s.kind == Shape::Circle) {
            std::snprintf(line, sizeof line,
                          "  <circle cx=\"%g\" cy=\"%g\" r=\"%g\" fill=\"%s\"/>\n", s.x, s.y, s.r,
                          fill.c_str());
        } else {
            const int large = s.to - s.from > 180.0f ? 1 : 0;
            std::snprintf(line, sizeof line,
                          "  <path d=\"M %s A %g %g 0 %d 1 %s L %s A %g %g 0 %d 0 %s Z\" "
                          "fill=\"%s\"/>\n",
                          arcPoint(s, s.r, s.from).c_str(), s.r, s.r, large,
                          arcPoint(s, s.r, s.to).c_str(), arcPoint(s, s.inner, s.to).c_str(),
                          s.inner, s.inner, large, arcPoint(s, s.inner, s.from).c_str(),
                          fill.c_str());
        }
        svg += line;
    }
    svg += "</svg>\n";
    return svg;
}

std::vector<uint8_t> rasterise(const std::vector<Shape>& shapes, int size) {
    constexpr int kSamples = 4;
    std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4, 0);
    const float scale = 256.0f / static_cast<float>(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const float px = (static_cast<float>(x) + (sx + 0.5f) / kSamples) * scale;
                    const float py = (static_cast<float>(y) + (sy + 0.5f) / kSamples) * scale;
                    const Shape* top = nullptr;
                    for (const Shape& s : shapes)
                        if (inside(s, px, py)) top = &s;
                    if (!top) continue;
                    sum[0] += top->colour.r;
                    sum[1] += top->colour.g;
                    sum[2] += top->colour.b;
                    sum[3] += 255.0f;
                }
            }
            uint8_t* out = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            const float covered = sum[3] / 255.0f;
            for (int c = 0; c < 3; ++c)
                out[c] = covered > 0 ? static_cast<uint8_t>(sum[c] / covered + 0.5f) : 0;
            out[3] = static_cast<uint8_t>(sum[3] / (kSamples * kSamples) + 0.5f);
        }
    }
    return rgba;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icon OUT.svg OUT.png [SIZE]\n");
        return 2;
    }
    const int size = argc > 3 ? std::atoi(argv[3]) : 256;
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "make_icon: SIZE takes 16 to 1024\n");
        return 2;
    }
    const std::vector<Shape> shapes = iconShapes();
    const std::string svg = svgOf(shapes);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(svg.data(), 1, svg.size(), out) != svg.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> rgba = rasterise(shapes, size);
    if (!stbi_write_png(argv[2], size, size, 4, rgba.data(), size * 4)) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
