// The DDS reader on hand-made images, on the program's own ground texture, and on damaged
// files of every kind.
#include "platform/engine/dds_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace Vantorr_nsp {
namespace {

constexpr uint32_t kMipMapCount = 0x20000;

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A header for width x height with the given pixel-format record.
std::vector<uint8_t> header(uint32_t width, uint32_t height, uint32_t pf_flags, const char* four_cc,
                            uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a,
                            uint32_t mips = 1) {
    std::vector<uint8_t> h(128, 0);
    std::memcpy(h.data(), "DDS ", 4);
    put32(h, 4, 124);
    put32(h, 8, 0x1007 | (mips > 1 ? kMipMapCount : 0));
    put32(h, 12, height);
    put32(h, 16, width);
    put32(h, 28, mips);
    put32(h, 76, 32);
    put32(h, 80, pf_flags);
    if (four_cc) std::memcpy(&h[84], four_cc, 4);
    put32(h, 88, bits);
    put32(h, 92, r);
    put32(h, 96, g);
    put32(h, 100, b);
    put32(h, 104, a);
    put32(h, 108, 0x1000);
    return h;
}

std::vector<uint8_t> withData(std::vector<uint8_t> h, const std::vector<uint8_t>& data) {
    h.insert(h.end(), data.begin(), data.end());
    return h;
}

DdsError read(const std::vector<uint8_t>& bytes, DdsImage& out) {
    return readDds(bytes.data(), bytes.size(), out);
}

TEST(DdsReader, UncompressedLayoutsBecomeRgbaWhateverTheirMasks) {
    DdsImage img;
    // 32-bit BGRA as most tools write it: 2 x 1 pixels.
    auto bgra = withData(header(2, 1, 0x41, nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                         {10, 20, 30, 40, 50, 60, 70, 80});
    ASSERT_EQ(read(bgra, img), DdsError::None);
    EXPECT_EQ(img.format, DdsFormat::Rgba8);
    EXPECT_TRUE(img.hasAlpha);
    EXPECT_EQ(img.data, (std::vector<uint8_t>{30, 20, 10, 40, 70, 60, 50, 80}));

    // 24-bit RGB without alpha: opaque.
    auto rgb = withData(header(1, 1, 0x40, nullptr, 24, 0xFF, 0xFF00, 0xFF0000, 0), {1, 2, 3});
    ASSERT_EQ(read(rgb, img), DdsError::None);
    EXPECT_FALSE(img.hasAlpha);
    EXPECT_EQ(img.data, (std::vector<uint8_t>{1, 2, 3, 255}));

    // 16-bit 5:6:5, full red and full blue: channels are scaled to 8 bits.
    auto r565 = withData(header(2, 1, 0x40, nullptr, 16, 0xF800, 0x07E0, 0x001F, 0),
                         {0x00, 0xF8, 0x1F, 0x00});
    ASSERT_EQ(read(r565, img), DdsError::None);
    EXPECT_EQ(img.data, (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));

    // 8-bit luminance.
    auto lum = withData(header(1, 1, 0x20000, nullptr, 8, 0xFF, 0, 0, 0), {77});
    ASSERT_EQ(read(lum, img), DdsError::None);
    EXPECT_EQ(img.data, (std::vector<uint8_t>{77, 77, 77, 255}));
}

TEST(DdsReader, MipmapLevelsHalveDownToOnePixelAndCutOffOnesAreDropped) {
    // 4 x 2 RGBA with 3 levels: 4x2, 2x1, 1x1.
    std::vector<uint8_t> pixels((8 + 2 + 1) * 4, 9);
    auto full =
        withData(header(4, 2, 0x41, nullptr, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 3), pixels);
    DdsImage img;
    ASSERT_EQ(read(full, img), DdsError::None);
    ASSERT_EQ(img.levels.size(), 3u);
    EXPECT_EQ(img.levels[1].width, 2u);
    EXPECT_EQ(img.levels[1].height, 1u);
    EXPECT_EQ(img.levels[2].width, 1u);

    // The last level lost: two levels remain.
    full.pop_back();
    ASSERT_EQ(read(full, img), DdsError::None);
    EXPECT_EQ(img.levels.size(), 2u);

    // A mipmap count beyond what the size allows is cut to the full chain.
    auto many =
        withData(header(4, 2, 0x41, nullptr, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 200), pixels);
    ASSERT_EQ(read(many, img), DdsError::None);
    EXPECT_EQ(img.levels.size(), 3u);
}

TEST(DdsReader, DxtBlocksAreKeptAndDecodeToTheirColours) {
    // DXT1: colour 0 = pure red (565 0xF800), colour 1 = pure blue; every pixel index 0,
    // except the second pixel: index 1.
    std::vector<uint8_t> dxt1 = {0x00, 0xF8, 0x1F, 0x00, 0x04, 0x00, 0x00, 0x00};
    auto file = withData(header(4, 4, 0x4, "DXT1", 0, 0, 0, 0, 0), dxt1);
    DdsImage img;
    ASSERT_EQ(read(file, img), DdsError::None);
    EXPECT_EQ(img.format, DdsFormat::Dxt1);
    EXPECT_EQ(img.data, dxt1);
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(decodeDxt(DdsFormat::Dxt1, img.data.data(), img.data.size(), 4, 4, rgba));
    EXPECT_EQ((std::vector<uint8_t>(rgba.begin(), rgba.begin() + 8)),
              (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));

    // DXT3: explicit alpha 4 bits per pixel (first pixel 0xF, second 0x0), then the colours.
    std::vector<uint8_t> dxt3 = {0x0F, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    ASSERT_TRUE(decodeDxt(DdsFormat::Dxt3, dxt3.data(), dxt3.size(), 4, 4, rgba));
    EXPECT_EQ(rgba[3], 255);
    EXPECT_EQ(rgba[7], 0);

    // DXT5: alpha endpoints 200 and 100 with index 0 everywhere but index 1 at pixel 1.
    std::vector<uint8_t> dxt5 = {200, 100, 0x08, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    ASSERT_TRUE(decodeDxt(DdsFormat::Dxt5, dxt5.data(), dxt5.size(), 4, 4, rgba));
    EXPECT_EQ(rgba[3], 200);
    EXPECT_EQ(rgba[7], 100);

    // Images smaller than a block still take a whole block; a level short of it is refused.
    EXPECT_EQ(dxtLevelSize(DdsFormat::Dxt1, 1, 1), 8u);
    EXPECT_EQ(dxtLevelSize(DdsFormat::Dxt5, 5, 5), 64u);
    EXPECT_FALSE(decodeDxt(DdsFormat::Dxt5, dxt5.data(), 15, 4, 4, rgba));
}

TEST(DdsReader, TheGroundTextureIsAFullDxt1Chain) {
    std::FILE* f = std::fopen(PLASHWERK_SOURCE_DIR "/data/cement.dds", "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> bytes(1 << 20);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    DdsImage img;
    ASSERT_EQ(read(bytes, img), DdsError::None);
    EXPECT_EQ(img.format, DdsFormat::Dxt1);
    EXPECT_EQ(img.width, 512u);
    EXPECT_EQ(img.height, 512u);
    EXPECT_EQ(img.levels.size(), 10u);
}

TEST(DdsReader, DamagedFilesAreRefusedWithTheirReason) {
    DdsImage img;
    const auto good =
        withData(header(4, 4, 0x4, "DXT5", 0, 0, 0, 0, 0), std::vector<uint8_t>(16, 0));
    ASSERT_EQ(read(good, img), DdsError::None);

    EXPECT_EQ(readDds(nullptr, 0, img), DdsError::TooShort);
    EXPECT_EQ(read(std::vector<uint8_t>(good.begin(), good.begin() + 127), img),
              DdsError::TooShort);

    auto magic = good;
    magic[0] = 'X';
    EXPECT_EQ(read(magic, img), DdsError::BadMagic);

    auto size_field = good;
    put32(size_field, 4, 100);
    EXPECT_EQ(read(size_field, img), DdsError::BadHeader);
    auto pf_size = good;
    put32(pf_size, 76, 0);
    EXPECT_EQ(read(pf_size, img), DdsError::BadHeader);

    // Sizes that are zero or so large that width x height x 4 would overflow 32 bits.
    EXPECT_EQ(read(withData(header(0, 4, 0x4, "DXT1", 0, 0, 0, 0, 0), {}), img), DdsError::BadSize);
    EXPECT_EQ(read(withData(header(0x80000000u, 0x80000000u, 0x41, nullptr, 32, 0xFF, 0xFF00,
                                   0xFF0000, 0xFF000000),
                            {}),
                   img),
              DdsError::BadSize);
    EXPECT_EQ(read(withData(header(16385, 1, 0x41, nullptr, 32, 0xFF, 0, 0, 0), {}), img),
              DdsError::BadSize);

    // Sizes within range but data missing.
    EXPECT_EQ(
        read(withData(header(16384, 16384, 0x41, nullptr, 32, 0xFF, 0xFF00, 0xFF0000, 0), {1, 2}),
             img),
        DdsError::Truncated);
    EXPECT_EQ(read(std::vector<uint8_t>(good.begin(), good.end() - 1), img), DdsError::Truncated);
    EXPECT_TRUE(img.levels.empty());
    EXPECT_TRUE(img.data.empty());

    EXPECT_EQ(
        read(withData(header(4, 4, 0x4, "ATI2", 0, 0, 0, 0, 0), std::vector<uint8_t>(16)), img),
        DdsError::Unsupported);
    EXPECT_EQ(
        read(withData(header(4, 4, 0x4, "DX10", 0, 0, 0, 0, 0), std::vector<uint8_t>(64)), img),
        DdsError::Unsupported);
    EXPECT_EQ(read(withData(header(1, 1, 0x40, nullptr, 12, 0xF, 0, 0, 0), {0, 0}), img),
              DdsError::Unsupported);
    auto cube = good;
    put32(cube, 112, 0x200);
    EXPECT_EQ(read(cube, img), DdsError::Unsupported);
    EXPECT_STRNE(ddsErrorText(DdsError::Truncated), ddsErrorText(DdsError::BadSize));
}

TEST(DdsReader, RandomDamageToAHeaderNeverReadsOutsideTheFile) {
    // Every header byte replaced by random values, many times over: the reader answers
    // each with an image or an error. Under the address sanitizer an overread would stop it.
    const auto good =
        withData(header(8, 8, 0x41, nullptr, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 4),
                 std::vector<uint8_t>((64 + 16 + 4 + 1) * 4, 5));
    std::mt19937 rng(42);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        auto bytes = good;
        const int changes = 1 + int(rng() % 4);
        for (int c = 0; c < changes; ++c) bytes[rng() % 128] = uint8_t(rng());
        if (rng() % 3 == 0) bytes.resize(rng() % bytes.size());
        DdsImage img;
        if (readDds(bytes.data(), bytes.size(), img) == DdsError::None) {
            ++parsed;
            for (const DdsLevel& lv : img.levels) ASSERT_LE(lv.offset + lv.size, img.data.size());
        }
    }
    EXPECT_GT(parsed, 0);
}

}  // namespace
}  // namespace Vantorr_nsp
