// Makes the program's pictures and the shadow filter's sample table, all procedurally, and
// writes them under the source tree given as the only argument:
//
//   data/smiley.jpg               particle sprite: a smiling face on black
//   data/cement.dds               ground: grey cement grain, DXT1 with its mipmaps
//   data/stones_512x512.jpg       spheres and boxes: a wall of rounded stones
//   render/images/particletex.jpg lava sprite: a soft round glow
//   render/images/logo.jpg        the program's logo
//   render/images/physics_logo.jpg the physics logo
//   render/shaders/poisson_disk.glsl  64 well-spread points in the unit disc
//
// Every picture comes from a fixed seed, so running it again gives the same files.
// Build: cmake --build <dir> --target make_data_images; run: make_data_images <source root>.

#include <stb_dxt.h>
#include <stb_image_write.h>
#include <stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr float kPi = 3.14159265f;

// ---------------------------------------------------------------------------------------
// Small tools: a seeded generator, value noise, an RGB canvas

struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
    uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(state >> 33);
    }
    float uniform() { return float(next()) / 2147483648.0f; }  // 0..1
    float range(float a, float b) { return a + (b - a) * uniform(); }
};

// Lattice noise that repeats every `period` cells, so textures tile.
float latticeValue(int x, int y, int period, uint32_t seed) {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return float(h ^ (h >> 16)) / 4294967295.0f;
}

float valueNoise(float x, float y, int period, uint32_t seed) {
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    const float fx = x - float(x0), fy = y - float(y0);
    const float ux = fx * fx * (3 - 2 * fx), uy = fy * fy * (3 - 2 * fy);
    const float a = latticeValue(x0, y0, period, seed), b = latticeValue(x0 + 1, y0, period, seed);
    const float c = latticeValue(x0, y0 + 1, period, seed);
    const float d = latticeValue(x0 + 1, y0 + 1, period, seed);
    return (a + (b - a) * ux) * (1 - uy) + (c + (d - c) * ux) * uy;
}

// Fractal noise over a tile of `size` pixels, 0..1.
float fbm(float px, float py, int size, int base_cells, int octaves, uint32_t seed) {
    float sum = 0, amp = 0.5f, norm = 0;
    int cells = base_cells;
    for (int o = 0; o < octaves; ++o) {
        const float s = float(cells) / float(size);
        sum += amp * valueNoise(px * s, py * s, cells, seed + uint32_t(o) * 101u);
        norm += amp;
        amp *= 0.5f;
        cells *= 2;
    }
    return sum / norm;
}

struct Canvas {
    int w, h;
    std::vector<float> px;  // r, g, b in 0..1
    Canvas(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * size_t(h_) * 3, 0.0f) {}
    float* at(int x, int y) { return &px[(size_t(y) * size_t(w) + size_t(x)) * 3]; }
    void blend(int x, int y, float r, float g, float b, float a) {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        float* p = at(x, y);
        a = std::min(a, 1.0f);
        p[0] += (r - p[0]) * a;
        p[1] += (g - p[1]) * a;
        p[2] += (b - p[2]) * a;
    }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out(px.size());
        for (size_t i = 0; i < px.size(); ++i)
            out[i] = uint8_t(std::clamp(px[i], 0.0f, 1.0f) * 255.0f + 0.5f);
        return out;
    }
};

bool writeJpeg(const std::string& path, const Canvas& c, int quality) {
    const std::vector<uint8_t> b = c.bytes();
    const bool ok = stbi_write_jpg(path.c_str(), c.w, c.h, 3, b.data(), quality) != 0;
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
    return ok;
}

// Coverage of a pixel by a shape given by its signed distance (negative inside), for
// smooth edges one pixel wide.
float coverage(float distance) {
    return std::clamp(0.5f - distance, 0.0f, 1.0f);
}

// ---------------------------------------------------------------------------------------
// Text for the logos

struct Face {
    std::vector<unsigned char> ttf;
    stbtt_fontinfo info{};
    bool ok = false;
    explicit Face(const char* path) {
        std::FILE* f = std::fopen(path, "rb");
        if (!f) return;
        std::fseek(f, 0, SEEK_END);
        ttf.resize(size_t(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        ok = std::fread(ttf.data(), 1, ttf.size(), f) == ttf.size() &&
             stbtt_InitFont(&info, ttf.data(), 0);
        std::fclose(f);
    }
    float width(const char* text, float px_height) const {
        const float scale = stbtt_ScaleForPixelHeight(&info, px_height);
        float w = 0;
        for (const char* p = text; *p; ++p) {
            int adv, lsb;
            stbtt_GetCodepointHMetrics(&info, *p, &adv, &lsb);
            w += float(adv) * scale;
        }
        return w;
    }
    // Draws text with its baseline at (x, y); colour by a function of the pixel.
    template <typename Shade>
    void draw(Canvas& c, const char* text, float x, float y, float px_height, Shade shade) const {
        const float scale = stbtt_ScaleForPixelHeight(&info, px_height);
        for (const char* p = text; *p; ++p) {
            int adv, lsb, x0, y0, x1, y1;
            stbtt_GetCodepointHMetrics(&info, *p, &adv, &lsb);
            stbtt_GetCodepointBitmapBox(&info, *p, scale, scale, &x0, &y0, &x1, &y1);
            const int gw = x1 - x0, gh = y1 - y0;
            if (gw > 0 && gh > 0) {
                std::vector<unsigned char> bmp(size_t(gw) * size_t(gh));
                stbtt_MakeCodepointBitmap(&info, bmp.data(), gw, gh, gw, scale, scale, *p);
                for (int j = 0; j < gh; ++j)
                    for (int i = 0; i < gw; ++i) {
                        const int X = int(x) + x0 + i, Y = int(y) + y0 + j;
                        float r, g, b;
                        shade(X, Y, r, g, b);
                        c.blend(X, Y, r, g, b,
                                float(bmp[size_t(j) * size_t(gw) + size_t(i)]) / 255.0f);
                    }
            }
            x += float(adv) * scale;
        }
    }
};

// ---------------------------------------------------------------------------------------
// The pictures

bool smiley(const std::string& root) {
    const int n = 128;
    Canvas c(n, n);
    const float cx = 63.5f, cy = 63.5f, radius = 58.0f;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = float(x) - cx, dy = float(y) - cy, d = std::sqrt(dx * dx + dy * dy);
            // A yellow face, lighter towards the upper left like a lit ball.
            const float light =
                0.85f + 0.15f * std::clamp(1.0f - std::hypot(dx + 25, dy + 25) / 90.0f, 0.0f, 1.0f);
            c.blend(x, y, 1.0f * light, 0.85f * light, 0.1f, coverage(d - radius));
            // Dark rim.
            c.blend(x, y, 0.35f, 0.25f, 0.0f, coverage(std::fabs(d - radius + 1.5f) - 1.5f));
            // Eyes: upright ellipses.
            for (float ex : {-20.0f, 20.0f}) {
                const float qx = (float(x) - (cx + ex)) / 7.0f, qy = (float(y) - (cy - 16)) / 12.0f;
                c.blend(x, y, 0.08f, 0.05f, 0.0f,
                        coverage((std::sqrt(qx * qx + qy * qy) - 1.0f) * 7.0f));
            }
            // Mouth: the lower part of a ring.
            const float mx = float(x) - cx, my = float(y) - (cy + 2);
            const float md = std::sqrt(mx * mx + my * my);
            if (my > 12.0f)
                c.blend(x, y, 0.08f, 0.05f, 0.0f, coverage(std::fabs(md - 34.0f) - 3.5f));
        }
    return writeJpeg(root + "/data/smiley.jpg", c, 92);
}

bool stones(const std::string& root) {
    const int n = 512;
    Canvas c(n, n);
    Rng rng(17);
    // Courses of stones; every course spans the width exactly so the picture tiles.
    struct Stone {
        float x0, x1, y0, y1, r, g, b;
    };
    std::vector<Stone> wall;
    float y = 0;
    while (y < float(n) - 1) {
        float h = rng.range(44, 72);
        if (float(n) - (y + h) < 40) h = float(n) - y;
        const float shift = rng.range(0, 90);
        float x = 0;
        std::vector<float> cuts;
        while (x < float(n)) {
            cuts.push_back(x);
            x += rng.range(56, 118);
        }
        // No sliver at the end of a course: the last stone takes the rest.
        if (cuts.size() > 1 && float(n) - cuts.back() < 48.0f) cuts.pop_back();
        for (size_t i = 0; i < cuts.size(); ++i) {
            const float a = cuts[i], b = i + 1 < cuts.size() ? cuts[i + 1] : float(n);
            const float tone = rng.range(0.38f, 0.68f);
            const float warm = rng.range(-0.06f, 0.08f);
            wall.push_back(
                {a + shift, b + shift, y, y + h, tone + warm, tone + warm * 0.4f, tone - warm});
        }
        y += h;
    }
    const float mortar = 3.0f, round = 9.0f;
    for (int py = 0; py < n; ++py)
        for (int px = 0; px < n; ++px) {
            float* p = c.at(px, py);
            const float grain = fbm(float(px), float(py), n, 32, 5, 3);
            const float m = 0.24f + 0.1f * grain;
            p[0] = m;
            p[1] = m * 0.97f;
            p[2] = m * 0.9f;
            for (const Stone& s : wall) {
                if (float(py) < s.y0 - 1 || float(py) > s.y1 + 1) continue;
                // The stone may wrap around the right edge: test the pixel and its copy.
                for (float wrap : {0.0f, float(n)}) {
                    const float X = float(px) + wrap;
                    if (X < s.x0 - 1 || X > s.x1 + 1) continue;
                    // Rounded-rectangle distance, negative inside.
                    const float hx = (s.x1 - s.x0) * 0.5f - mortar,
                                hy = (s.y1 - s.y0) * 0.5f - mortar;
                    const float qx = std::fabs(X - (s.x0 + s.x1) * 0.5f) - hx + round;
                    const float qy = std::fabs(float(py) - (s.y0 + s.y1) * 0.5f) - hy + round;
                    const float d = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) +
                                    std::min(std::max(qx, qy), 0.0f) - round;
                    const float cov = coverage(d);
                    if (cov <= 0) continue;
                    // Bevel: darker towards the edge, a little light from the top.
                    const float bevel = std::clamp(-d / 10.0f, 0.0f, 1.0f);
                    const float top = std::clamp((float(py) - s.y0) / (s.y1 - s.y0), 0.0f, 1.0f);
                    const float shade = (0.7f + 0.3f * bevel) * (1.08f - 0.16f * top) *
                                        (0.8f + 0.4f * fbm(float(px), float(py), n, 64, 4, 11));
                    c.blend(px, py, s.r * shade, s.g * shade, s.b * shade, cov);
                }
            }
        }
    return writeJpeg(root + "/data/stones_512x512.jpg", c, 88);
}

// Cement: fine grain, a few pores and light specks, as DXT1 with every mipmap level.
bool cement(const std::string& root) {
    const int n = 512;
    std::vector<uint8_t> rgba(size_t(n) * n * 4);
    Rng rng(5);
    std::vector<float> speck(size_t(n) * n, 0.0f);
    for (int i = 0; i < 5000; ++i) {
        const int x = int(rng.next() % n), y = int(rng.next() % n);
        speck[size_t(y) * n + size_t(x)] = rng.uniform() < 0.5f ? -0.18f : 0.12f;
    }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float base = 0.56f + 0.16f * (fbm(float(x), float(y), n, 8, 6, 21) - 0.5f) +
                               0.08f * (fbm(float(x), float(y), n, 128, 2, 33) - 0.5f);
            const float v = std::clamp(base + speck[size_t(y) * n + size_t(x)], 0.0f, 1.0f);
            uint8_t* p = &rgba[(size_t(y) * n + size_t(x)) * 4];
            p[0] = uint8_t(v * 255.0f);
            p[1] = uint8_t(v * 0.98f * 255.0f);
            p[2] = uint8_t(v * 0.93f * 255.0f);
            p[3] = 255;
        }

    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    const int levels = 10;  // 512 .. 1
    out.insert(out.end(), {'D', 'D', 'S', ' '});
    put32(124);
    put32(0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 |
          0x80000);  // caps, height, width, format, mips, linear size
    put32(uint32_t(n));
    put32(uint32_t(n));
    put32(uint32_t(n / 4 * n / 4 * 8));
    put32(0);
    put32(levels);
    for (int i = 0; i < 11; ++i) put32(0);
    put32(32);
    put32(0x4);  // four-character code
    out.insert(out.end(), {'D', 'X', 'T', '1'});
    for (int i = 0; i < 5; ++i) put32(0);
    put32(0x1000 | 0x8 | 0x400000);  // texture, complex, mipmap
    for (int i = 0; i < 4; ++i) put32(0);

    int w = n;
    std::vector<uint8_t> level = rgba;
    for (int l = 0; l < levels; ++l) {
        for (int by = 0; by < std::max(1, w / 4); ++by)
            for (int bx = 0; bx < std::max(1, w / 4); ++bx) {
                unsigned char block[64], packed[8];
                for (int j = 0; j < 4; ++j)
                    for (int i = 0; i < 4; ++i) {
                        const int X = std::min(bx * 4 + i, w - 1), Y = std::min(by * 4 + j, w - 1);
                        std::copy_n(&level[(size_t(Y) * size_t(w) + size_t(X)) * 4], 4,
                                    &block[(j * 4 + i) * 4]);
                    }
                stb_compress_dxt_block(packed, block, 0, STB_DXT_HIGHQUAL);
                out.insert(out.end(), packed, packed + 8);
            }
        if (w == 1) break;
        const int half = w / 2;
        std::vector<uint8_t> next(size_t(half) * size_t(half) * 4);
        for (int y = 0; y < half; ++y)
            for (int x = 0; x < half; ++x)
                for (int k = 0; k < 4; ++k) {
                    int s = 0;
                    for (int j = 0; j < 2; ++j)
                        for (int i = 0; i < 2; ++i)
                            s += level[(size_t(2 * y + j) * size_t(w) + size_t(2 * x + i)) * 4 +
                                       size_t(k)];
                    next[(size_t(y) * size_t(half) + size_t(x)) * 4 + size_t(k)] =
                        uint8_t((s + 2) / 4);
                }
        level = std::move(next);
        w = half;
    }
    const std::string path = root + "/data/cement.dds";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (f) std::fclose(f);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
    return ok;
}

bool glow(const std::string& root) {
    const int n = 32;
    Canvas c(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = (float(x) + 0.5f - 16.0f) / 16.0f,
                        dy = (float(y) + 0.5f - 16.0f) / 16.0f;
            const float r2 = dx * dx + dy * dy;
            const float v =
                std::clamp(std::exp(-4.0f * r2) - 0.02f, 0.0f, 1.0f) * (r2 < 1.0f ? 1.0f : 0.0f);
            float* p = c.at(x, y);
            p[0] = v;
            p[1] = v * 0.95f;
            p[2] = v * 0.85f;
        }
    return writeJpeg(root + "/render/images/particletex.jpg", c, 80);
}

bool programLogo(const std::string& root, const Face& bold) {
    const int w = 256, h = 128;
    Canvas c(w, h);
    // A dark blue badge over the whole picture (it is drawn opaque) with an amber outline.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float qx = std::fabs(float(x) + 0.5f - 128.0f) - 127.0f + 6.0f;
            const float qy = std::fabs(float(y) + 0.5f - 64.0f) - 63.0f + 6.0f;
            const float d = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) +
                            std::min(std::max(qx, qy), 0.0f) - 6.0f;
            const float t = float(y) / float(h);
            c.blend(x, y, 0.05f + 0.05f * t, 0.10f + 0.08f * t, 0.28f - 0.12f * t, coverage(d));
            c.blend(x, y, 1.0f, 0.62f, 0.1f, coverage(std::fabs(d + 2.0f) - 1.5f));
        }
    // Three drops falling into a wave, the fluid the program simulates.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float wave = 96.0f + 5.0f * std::sin(float(x) * 2 * kPi / 48.0f);
            if (x > 20 && x < 236)
                c.blend(x, y, 0.25f, 0.6f, 1.0f, coverage(std::fabs(float(y) - wave) - 2.0f));
            for (int i = 0; i < 3; ++i) {
                const float dx = float(x) - (40.0f + 22.0f * float(i)),
                            dy = float(y) - (30.0f + 8.0f * float(i));
                c.blend(x, y, 0.35f, 0.7f, 1.0f, coverage(std::sqrt(dx * dx + dy * dy) - 5.0f));
            }
        }
    const char* name = "Plashwerk";
    const float size = 40.0f;
    const float tx = 128.0f - bold.width(name, size) * 0.5f + 18.0f;
    bold.draw(c, name, tx, 78.0f, size, [](int, int y, float& r, float& g, float& b) {
        const float t = std::clamp((float(y) - 48.0f) / 32.0f, 0.0f, 1.0f);
        r = 1.0f;
        g = 0.85f - 0.3f * t;
        b = 0.3f - 0.2f * t;
    });
    return writeJpeg(root + "/render/images/logo.jpg", c, 90);
}

bool physicsLogo(const std::string& root, const Face& bold) {
    const int w = 240, h = 102;
    Canvas c(w, h);  // black: the logo is added onto the image
    // An orbit around a nucleus on the left.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float dx = float(x) - 46.0f, dy = float(y) - 51.0f;
            for (int k = 0; k < 3; ++k) {
                const float a = float(k) * kPi / 3.0f, ca = std::cos(a), sa = std::sin(a);
                const float u = (dx * ca + dy * sa) / 36.0f, v = (-dx * sa + dy * ca) / 13.0f;
                c.blend(x, y, 0.45f, 0.9f, 0.2f,
                        coverage((std::sqrt(u * u + v * v) - 1.0f) * 13.0f - 0.0f) *
                            coverage(-(std::sqrt(u * u + v * v) - 1.0f) * 13.0f - 2.0f));
            }
            c.blend(x, y, 0.9f, 1.0f, 0.6f, coverage(std::sqrt(dx * dx + dy * dy) - 7.0f));
        }
    bold.draw(c, "physics", 92.0f, 64.0f, 38.0f, [](int, int, float& r, float& g, float& b) {
        r = 0.55f;
        g = 0.95f;
        b = 0.25f;
    });
    return writeJpeg(root + "/render/images/physics_logo.jpg", c, 90);
}

// 64 points in the unit disc: five fixed ones, the others placed by best-candidate
// sampling (of 200 random candidates, the one farthest from every point so far).
bool poissonDisk(const std::string& root) {
    struct P {
        float x, y;
    };
    std::vector<P> fixed = {{-0.613392f, 0.617481f},
                            {0.170019f, -0.040254f},
                            {-0.299417f, 0.791925f},
                            {0.645680f, 0.493210f}};
    const P last{-0.178564f, -0.596057f};
    std::vector<P> pts = fixed;
    pts.push_back(last);
    Rng rng(64);
    while (pts.size() < 64) {
        P best{0, 0};
        float best_d = -1;
        for (int k = 0; k < 200; ++k) {
            P c;
            do {
                c = {rng.range(-1, 1), rng.range(-1, 1)};
            } while (c.x * c.x + c.y * c.y > 0.97f * 0.97f);
            float d = 1e9f;
            for (const P& p : pts) d = std::min(d, std::hypot(c.x - p.x, c.y - p.y));
            if (d > best_d) {
                best_d = d;
                best = c;
            }
        }
        pts.push_back(best);
    }
    // Entry 63 is the fixed last point: move it to the end.
    std::vector<P> table(pts.begin(), pts.begin() + 4);
    table.insert(table.end(), pts.begin() + 5, pts.end());
    table.push_back(last);
    float min_d = 1e9f;
    for (size_t i = 0; i < table.size(); ++i)
        for (size_t j = i + 1; j < table.size(); ++j)
            min_d = std::min(min_d, std::hypot(table[i].x - table[j].x, table[i].y - table[j].y));

    const std::string path = root + "/render/shaders/poisson_disk.glsl";
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fprintf(
        f,
        "// 64 points spread over the unit disc, no two closer than %.3f: the taps of the\n"
        "// soft-shadow filter. Made by tools/make_data_images.cpp.\n"
        "const vec2 poissonDisk[64] = vec2[64](\n",
        double(min_d));
    for (size_t i = 0; i < table.size(); ++i)
        std::fprintf(f, "    vec2(%.6f, %.6f)%s\n", double(table[i].x), double(table[i].y),
                     i + 1 < table.size() ? "," : "");
    std::fprintf(f, ");\n");
    std::fclose(f);
    std::printf("wrote %s (closest pair %.3f)\n", path.c_str(), double(min_d));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <source root>\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    const Face bold("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf");
    if (!bold.ok) {
        std::fprintf(stderr, "Liberation Sans Bold not found (fonts-liberation)\n");
        return 1;
    }
    bool ok = smiley(root);
    ok = cement(root) && ok;
    ok = stones(root) && ok;
    ok = glow(root) && ok;
    ok = programLogo(root, bold) && ok;
    ok = physicsLogo(root, bold) && ok;
    ok = poissonDisk(root) && ok;
    return ok ? 0 : 1;
}
