#pragma once
// A reader for DirectDraw Surface images held in memory: the 128-byte header, then the
// mipmap levels one after the other.
//
// Handled layouts: uncompressed pixels of 8, 16, 24 or 32 bits described by channel masks
// (RGB, RGBA, luminance, alpha), converted to RGBA bytes; and the block-compressed DXT1,
// DXT3 and DXT5, kept as blocks for the driver. Anything else (volume and cube maps, the
// DX10 extension header, other four-character codes) is refused. Every size is checked
// against the bytes present before anything is read, so a damaged file is answered with an
// error, never with a read outside the buffer.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vantorr_nsp {

enum class DdsFormat { Rgba8, Dxt1, Dxt3, Dxt5 };

enum class DdsError {
    None = 0,
    TooShort,     ///< fewer bytes than the header
    BadMagic,     ///< not "DDS "
    BadHeader,    ///< header or pixel-format record of the wrong size
    BadSize,      ///< width or height 0 or beyond the largest texture
    Unsupported,  ///< a layout this reader does not handle
    Truncated,    ///< the first level is not all there
};

/// Text of an error, for the trace log.
const char* ddsErrorText(DdsError error);

struct DdsLevel {
    uint32_t width = 0;
    uint32_t height = 0;
    size_t offset = 0;  ///< into DdsImage::data
    size_t size = 0;    ///< bytes
};

struct DdsImage {
    DdsFormat format = DdsFormat::Rgba8;
    uint32_t width = 0;
    uint32_t height = 0;
    /// Level 0 first; levels cut off by the end of the file are left out.
    std::vector<DdsLevel> levels;
    /// RGBA bytes, rows from the top, for Rgba8; the blocks as stored for DXT.
    std::vector<uint8_t> data;
    bool hasAlpha = false;  ///< the pixel format carries alpha (always for DXT3 and DXT5)
};

/// Largest width or height accepted: the largest texture any OpenGL 2 driver takes.
inline constexpr uint32_t kDdsMaxDimension = 16384;

/// Parses a DDS image. On an error out is left empty.
DdsError readDds(const uint8_t* bytes, size_t size, DdsImage& out);

/// Bytes of one level of a block-compressed format: 8 (DXT1) or 16 bytes per 4 x 4 block.
size_t dxtLevelSize(DdsFormat format, uint32_t width, uint32_t height);

/// Decodes one DXT level into RGBA bytes (width x height x 4), for drivers without S3TC
/// and for pixel work on compressed images. False when blocks is shorter than the level.
bool decodeDxt(DdsFormat format, const uint8_t* blocks, size_t size, uint32_t width,
               uint32_t height, std::vector<uint8_t>& rgba);

}  // namespace Vantorr_nsp
