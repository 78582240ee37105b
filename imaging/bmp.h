// The BMP writer: an uncompressed 8-bit image over a fixed 256-colour palette, written row by row.
#ifndef QRKIT_IMAGING_BMP_H
#define QRKIT_IMAGING_BMP_H

#include <array>
#include <cstdint>
#include <ostream>

#include "encoder/objectmodel.h"
#include "imaging/geometry.h"

namespace kelvane2::imaging {

struct PaletteEntry {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t reserved;  // always 0
};

namespace detail {
constexpr std::array<PaletteEntry, 256> buildStandardPalette() {
    std::array<PaletteEntry, 256> palette{};
    // Base: 4 levels of blue, 8 of green, 8 of red.
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 8; ++j) {
            for (int k = 0; k < 8; ++k) {
                palette[64 * i + 8 * j + k] = {static_cast<std::uint8_t>(32 * k),
                                               static_cast<std::uint8_t>(32 * j),
                                               static_cast<std::uint8_t>(64 * i), 0};
            }
        }
    }
    // Indices 0-7: the half-intensity corners of the colour cube.
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            for (int k = 0; k < 2; ++k) {
                palette[4 * i + 2 * j + k] = {static_cast<std::uint8_t>(128 * k),
                                              static_cast<std::uint8_t>(128 * j),
                                              static_cast<std::uint8_t>(128 * i), 0};
            }
        }
    }
    palette[7] = {192, 192, 192, 0};
    palette[8] = {192, 220, 192, 0};
    palette[9] = {166, 202, 240, 0};
    palette[246] = {255, 251, 240, 0};
    palette[247] = {160, 160, 164, 0};
    palette[248] = {128, 128, 128, 0};
    palette[249] = {255, 0, 0, 0};
    palette[250] = {0, 255, 0, 0};
    palette[251] = {255, 255, 0, 0};
    palette[252] = {0, 0, 255, 0};
    palette[253] = {255, 0, 255, 0};
    palette[254] = {0, 255, 255, 0};
    palette[255] = {255, 255, 255, 0};
    return palette;
}
}  // namespace detail

// The fixed colour table of every BMP written.
inline constexpr std::array<PaletteEntry, 256> standardPalette = detail::buildStandardPalette();

// The index of the standardPalette entry nearest to (red, green, blue) by squared distance; ties go to
// the lower index, so a colour in the palette maps to its first occurrence.
std::uint8_t nearestPaletteIndex(int red, int green, int blue);

// Sizes of the file's parts.
inline constexpr std::uint32_t kBmpHeadersSize = 54;  // file header and info header
inline constexpr std::uint32_t kBmpPaletteSize = 1024;
inline constexpr std::uint32_t kBmpPixelOffset = kBmpHeadersSize + kBmpPaletteSize;

// Bytes of one stored pixel row of a width-pixel image: width rounded up to a multiple of 4.
constexpr std::uint64_t bmpRowStride(std::uint64_t width) {
    return (width + 3) & ~std::uint64_t{3};
}
// Whether a width x height image fits the file's fields: both between 1 and 2^31 - 1 (signed fields),
// and the file size, headers and palette included, within 32 bits.
constexpr bool bmpExtentsFit(std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    std::uint64_t pixels =
        static_cast<std::uint64_t>(height) * bmpRowStride(static_cast<std::uint64_t>(width));
    return pixels <= 0xFFFFFFFFull - kBmpPixelOffset;
}

// Writes pattern as a BMP to out: columns x moduleWidth by rows x moduleHeight pixels, 8 bits per pixel
// over standardPalette (each colour becomes its nearest entry), rows bottom-up. Needs memory for one
// pixel row. When the extents do not fit it prints a warning to standard output, writes nothing and
// returns kWriteFailed. Returns kWriteFailed when out goes bad (writing stops at once), kOutOfMemory when
// the row cannot be allocated.
PaintStatus writeBmp(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                     std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour);

}  // namespace kelvane2::imaging

#endif
