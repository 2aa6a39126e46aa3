#include "platform/engine/dds_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Vantorr_nsp {
namespace {

constexpr size_t kHeaderBytes = 128;  // "DDS " + the 124-byte header record
constexpr uint32_t kHeaderRecordSize = 124;
constexpr uint32_t kPixelFormatRecordSize = 32;

// Header flags and pixel-format flags, as the format defines them.
constexpr uint32_t kFlagMipMapCount = 0x20000;
constexpr uint32_t kPfAlphaPixels = 0x1;
constexpr uint32_t kPfAlpha = 0x2;
constexpr uint32_t kPfFourCc = 0x4;
constexpr uint32_t kPfRgb = 0x40;
constexpr uint32_t kPfLuminance = 0x20000;
constexpr uint32_t kCaps2CubeMap = 0x200;
constexpr uint32_t kCaps2Volume = 0x200000;

constexpr uint32_t fourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// One channel of an uncompressed pixel: its mask, where it starts and how wide it is.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;  // largest value after shifting

    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        max = m >> shift;
    }
    uint8_t extract(uint32_t pixel, uint8_t absent) const {
        if (!mask) return absent;
        const uint32_t v = (pixel & mask) >> shift;
        return uint8_t((uint64_t(v) * 255 + max / 2) / max);
    }
};

struct Rgb565 {
    uint8_t r, g, b;
};

Rgb565 expand565(uint16_t c) {
    const uint8_t r = uint8_t((c >> 11) & 31), g = uint8_t((c >> 5) & 63), b = uint8_t(c & 31);
    return {uint8_t(r << 3 | r >> 2), uint8_t(g << 2 | g >> 4), uint8_t(b << 3 | b >> 2)};
}

// The four colours of a colour block; DXT1 with c0 <= c1 has three and transparent black.
void colourBlock(const uint8_t* block, bool dxt1, uint8_t out[16][4]) {
    const uint16_t c0 = uint16_t(block[0] | block[1] << 8);
    const uint16_t c1 = uint16_t(block[2] | block[3] << 8);
    const Rgb565 a = expand565(c0), b = expand565(c1);
    uint8_t palette[4][4] = {{a.r, a.g, a.b, 255}, {b.r, b.g, b.b, 255}, {}, {}};
    if (!dxt1 || c0 > c1) {
        for (int i = 0; i < 3; ++i) {
            palette[2][i] = uint8_t((2 * palette[0][i] + palette[1][i] + 1) / 3);
            palette[3][i] = uint8_t((palette[0][i] + 2 * palette[1][i] + 1) / 3);
        }
        palette[2][3] = palette[3][3] = 255;
    } else {
        for (int i = 0; i < 3; ++i) palette[2][i] = uint8_t((palette[0][i] + palette[1][i]) / 2);
        palette[2][3] = 255;
        palette[3][0] = palette[3][1] = palette[3][2] = palette[3][3] = 0;
    }
    const uint32_t indices = u32(block + 4);
    for (int p = 0; p < 16; ++p) std::memcpy(out[p], palette[(indices >> (2 * p)) & 3], 4);
}

void alphaBlockDxt3(const uint8_t* block, uint8_t out[16][4]) {
    for (int p = 0; p < 16; ++p) {
        const uint8_t nibble = uint8_t((block[p / 2] >> ((p & 1) * 4)) & 15);
        out[p][3] = uint8_t(nibble * 17);
    }
}

void alphaBlockDxt5(const uint8_t* block, uint8_t out[16][4]) {
    const uint8_t a0 = block[0], a1 = block[1];
    uint8_t palette[8] = {a0, a1};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i) palette[i + 1] = uint8_t(((7 - i) * a0 + i * a1 + 3) / 7);
    } else {
        for (int i = 1; i < 5; ++i) palette[i + 1] = uint8_t(((5 - i) * a0 + i * a1 + 2) / 5);
        palette[6] = 0;
        palette[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int p = 0; p < 16; ++p) out[p][3] = palette[(bits >> (3 * p)) & 7];
}

}  // namespace

const char* ddsErrorText(DdsError error) {
    switch (error) {
        case DdsError::None:
            return "no error";
        case DdsError::TooShort:
            return "file shorter than a DDS header";
        case DdsError::BadMagic:
            return "not a DDS file";
        case DdsError::BadHeader:
            return "damaged DDS header";
        case DdsError::BadSize:
            return "image size out of range";
        case DdsError::Unsupported:
            return "pixel layout not supported";
        case DdsError::Truncated:
            return "image data truncated";
    }
    return "unknown error";
}

size_t dxtLevelSize(DdsFormat format, uint32_t width, uint32_t height) {
    const size_t blocks = size_t(std::max(1u, (width + 3) / 4)) * std::max(1u, (height + 3) / 4);
    return blocks * (format == DdsFormat::Dxt1 ? 8 : 16);
}

DdsError readDds(const uint8_t* bytes, size_t size, DdsImage& out) {
    out = DdsImage{};
    if (!bytes || size < kHeaderBytes) return DdsError::TooShort;
    if (u32(bytes) != fourCc('D', 'D', 'S', ' ')) return DdsError::BadMagic;
    const uint8_t* h = bytes + 4;
    if (u32(h) != kHeaderRecordSize || u32(h + 72) != kPixelFormatRecordSize)
        return DdsError::BadHeader;
    const uint32_t flags = u32(h + 4);
    const uint32_t height = u32(h + 8);
    const uint32_t width = u32(h + 12);
    const uint32_t mip_count = u32(h + 24);
    const uint8_t* pf = h + 72;
    const uint32_t pf_flags = u32(pf + 4);
    const uint32_t four_cc = u32(pf + 8);
    const uint32_t bit_count = u32(pf + 12);
    const uint32_t caps2 = u32(h + 108);

    if (width == 0 || height == 0 || width > kDdsMaxDimension || height > kDdsMaxDimension)
        return DdsError::BadSize;
    if (caps2 & (kCaps2CubeMap | kCaps2Volume)) return DdsError::Unsupported;

    DdsImage image;
    image.width = width;
    image.height = height;
    bool compressed = false;
    uint32_t bytes_per_pixel = 0;
    if (pf_flags & kPfFourCc) {
        compressed = true;
        if (four_cc == fourCc('D', 'X', 'T', '1')) {
            image.format = DdsFormat::Dxt1;
            image.hasAlpha = (pf_flags & kPfAlphaPixels) != 0;
        } else if (four_cc == fourCc('D', 'X', 'T', '3')) {
            image.format = DdsFormat::Dxt3;
            image.hasAlpha = true;
        } else if (four_cc == fourCc('D', 'X', 'T', '5')) {
            image.format = DdsFormat::Dxt5;
            image.hasAlpha = true;
        } else {
            return DdsError::Unsupported;
        }
    } else if (pf_flags & (kPfRgb | kPfLuminance | kPfAlpha)) {
        if (bit_count != 8 && bit_count != 16 && bit_count != 24 && bit_count != 32)
            return DdsError::Unsupported;
        bytes_per_pixel = bit_count / 8;
        image.format = DdsFormat::Rgba8;
        image.hasAlpha = (pf_flags & (kPfAlphaPixels | kPfAlpha)) != 0;
    } else {
        return DdsError::Unsupported;
    }

    // Levels halve down to 1 x 1: at most 15 for a 16384 image. A count beyond that, or
    // none, is taken as what the size allows, or one level without the mipmap flag.
    const uint32_t full_chain = 1 + uint32_t(std::bit_width(std::max(width, height)) - 1);
    uint32_t levels = (flags & kFlagMipMapCount) && mip_count > 1 ? mip_count : 1;
    levels = std::min(levels, full_chain);

    const uint8_t* src = bytes + kHeaderBytes;
    const size_t available = size - kHeaderBytes;
    size_t consumed = 0;
    uint32_t w = width, hgt = height;
    for (uint32_t level = 0; level < levels; ++level) {
        // Sizes stay far below 2^40 for 16384 x 16384 x 4: no overflow in size_t.
        const size_t stored =
            compressed ? dxtLevelSize(image.format, w, hgt) : size_t(w) * hgt * bytes_per_pixel;
        if (stored > available - consumed) break;
        DdsLevel lv;
        lv.width = w;
        lv.height = hgt;
        lv.offset = image.data.size();
        if (compressed) {
            lv.size = stored;
            image.data.insert(image.data.end(), src + consumed, src + consumed + stored);
        } else {
            lv.size = size_t(w) * hgt * 4;
            image.data.resize(lv.offset + lv.size);
            const Channel r(u32(pf + 16)), g(u32(pf + 20)), b(u32(pf + 24)), a(u32(pf + 28));
            const bool luminance = (pf_flags & kPfLuminance) != 0;
            const bool alpha_only = (pf_flags & kPfAlpha) && !(pf_flags & (kPfRgb | kPfLuminance));
            uint8_t* dst = image.data.data() + lv.offset;
            const uint8_t* p = src + consumed;
            for (size_t i = 0, n = size_t(w) * hgt; i < n; ++i, p += bytes_per_pixel, dst += 4) {
                uint32_t pixel = 0;
                for (uint32_t k = 0; k < bytes_per_pixel; ++k) pixel |= uint32_t(p[k]) << (8 * k);
                if (alpha_only) {
                    dst[0] = dst[1] = dst[2] = 255;
                    dst[3] = a.extract(pixel, 255);
                } else if (luminance) {
                    dst[0] = dst[1] = dst[2] = r.extract(pixel, 0);
                    dst[3] = a.extract(pixel, 255);
                } else {
                    dst[0] = r.extract(pixel, 0);
                    dst[1] = g.extract(pixel, 0);
                    dst[2] = b.extract(pixel, 0);
                    dst[3] = image.hasAlpha ? a.extract(pixel, 255) : 255;
                }
            }
        }
        consumed += stored;
        image.levels.push_back(lv);
        w = std::max(1u, w / 2);
        hgt = std::max(1u, hgt / 2);
    }
    if (image.levels.empty()) return DdsError::Truncated;
    out = std::move(image);
    return DdsError::None;
}

bool decodeDxt(DdsFormat format, const uint8_t* blocks, size_t size, uint32_t width,
               uint32_t height, std::vector<uint8_t>& rgba) {
    if (format == DdsFormat::Rgba8 || !blocks || size < dxtLevelSize(format, width, height))
        return false;
    rgba.assign(size_t(width) * height * 4, 0);
    const size_t block_bytes = format == DdsFormat::Dxt1 ? 8 : 16;
    const uint32_t bw = std::max(1u, (width + 3) / 4), bh = std::max(1u, (height + 3) / 4);
    for (uint32_t by = 0; by < bh; ++by) {
        for (uint32_t bx = 0; bx < bw; ++bx) {
            const uint8_t* block = blocks + (size_t(by) * bw + bx) * block_bytes;
            uint8_t px[16][4];
            if (format == DdsFormat::Dxt1) {
                colourBlock(block, true, px);
            } else {
                colourBlock(block + 8, false, px);
                if (format == DdsFormat::Dxt3)
                    alphaBlockDxt3(block, px);
                else
                    alphaBlockDxt5(block, px);
            }
            for (uint32_t y = 0; y < 4; ++y) {
                for (uint32_t x = 0; x < 4; ++x) {
                    const uint32_t X = bx * 4 + x, Y = by * 4 + y;
                    if (X >= width || Y >= height) continue;
                    std::memcpy(&rgba[(size_t(Y) * width + X) * 4], px[y * 4 + x], 4);
                }
            }
        }
    }
    return true;
}

}  // namespace Vantorr_nsp
