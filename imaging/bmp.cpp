#include "imaging/bmp.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace kelvane2::imaging {

namespace {

// 3780 pixels per metre, about 96 dots per inch.
constexpr std::uint32_t kPixelsPerMetre = 3780;
constexpr std::uint32_t kInfoHeaderSize = 40;
// A distance larger than any between two colours.
constexpr int kFarDistance = 999999;

void putLe16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void putLe32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

// The file header, the info header and the palette, which precede the pixel rows.
void buildHeaders(std::uint8_t (&bytes)[kBmpPixelOffset], std::uint32_t width, std::uint32_t height,
                  std::uint32_t imageSize) {
    std::memset(bytes, 0, sizeof bytes);
    // File header.
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLe32(bytes + 2, kBmpPixelOffset + imageSize);
    putLe32(bytes + 10, kBmpPixelOffset);
    // Info header; height positive, so rows are stored bottom-up.
    putLe32(bytes + 14, kInfoHeaderSize);
    putLe32(bytes + 18, width);
    putLe32(bytes + 22, height);
    putLe16(bytes + 26, 1);  // planes
    putLe16(bytes + 28, 8);  // bits per pixel
    putLe32(bytes + 30, 0);  // no compression
    putLe32(bytes + 34, imageSize);
    putLe32(bytes + 38, kPixelsPerMetre);
    putLe32(bytes + 42, kPixelsPerMetre);
    putLe32(bytes + 46, 0);  // colours used
    putLe32(bytes + 50, 0);  // important colours
    // Palette entries as blue, green, red, 0.
    std::uint8_t* entry = bytes + kBmpHeadersSize;
    for (const PaletteEntry& colour : standardPalette) {
        entry[0] = colour.blue;
        entry[1] = colour.green;
        entry[2] = colour.red;
        entry[3] = 0;
        entry += 4;
    }
}

std::uint8_t paletteIndexOf(std::uint32_t colour) {
    colour = colourWord(colour);
    return nearestPaletteIndex(static_cast<int>(colour >> 16), static_cast<int>((colour >> 8) & 0xFFu),
                               static_cast<int>(colour & 0xFFu));
}

PaintStatus writeImage(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                       std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour) {
    const int rows = pattern->getRows();
    const int columns = pattern->getColumns();
    const std::int64_t width = static_cast<std::int64_t>(columns) * moduleWidth;
    const std::int64_t height = static_cast<std::int64_t>(rows) * moduleHeight;
    if (!bmpExtentsFit(width, height)) {
        std::printf("qrkit: warning: a BMP of %lld x %lld pixels cannot be written; nothing written\n",
                    static_cast<long long>(width), static_cast<long long>(height));
        std::fflush(stdout);
        return PaintStatus::kWriteFailed;
    }
    const std::size_t stride = static_cast<std::size_t>(bmpRowStride(static_cast<std::uint64_t>(width)));
    const std::uint32_t imageSize = static_cast<std::uint32_t>(stride * static_cast<std::uint64_t>(height));

    // One stored row; the padding after the pixels stays zero.
    std::unique_ptr<std::uint8_t[]> row(new std::uint8_t[stride]());
    std::uint8_t headers[kBmpPixelOffset];
    buildHeaders(headers, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), imageSize);
    out.write(reinterpret_cast<const char*>(headers), sizeof headers);

    // Every pixel of one colour maps to the same entry.
    const std::uint8_t foreIndex = paletteIndexOf(foreColour);
    const std::uint8_t backIndex = paletteIndexOf(backColour);
    const std::size_t blockWidth = static_cast<std::size_t>(moduleWidth);
    // The bottom module row first; each module row is built once and written moduleHeight times.
    for (int i = rows - 1; i >= 0 && out.good(); --i) {
        std::uint8_t* pixel = row.get();
        for (int j = 0; j < columns; ++j) {
            std::memset(pixel, (pattern->getModule(i, j) & 0xFF) != 0 ? foreIndex : backIndex, blockWidth);
            pixel += blockWidth;
        }
        for (std::int32_t repeat = 0; repeat < moduleHeight && out.good(); ++repeat) {
            out.write(reinterpret_cast<const char*>(row.get()), static_cast<std::streamsize>(stride));
        }
    }
    return out.good() ? PaintStatus::kOk : PaintStatus::kWriteFailed;
}

}  // namespace

std::uint8_t nearestPaletteIndex(int red, int green, int blue) {
    int best = kFarDistance;
    std::uint8_t bestIndex = 0;
    for (int n = 0; n < 256 && best > 0; ++n) {
        const PaletteEntry& entry = standardPalette[static_cast<std::size_t>(n)];
        const int db = entry.blue - blue;
        const int dg = entry.green - green;
        const int dr = entry.red - red;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance < best) {
            best = distance;
            bestIndex = static_cast<std::uint8_t>(n);
        }
    }
    return bestIndex;
}

PaintStatus writeBmp(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                     std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour) {
    try {
        return writeImage(pattern, out, moduleWidth, moduleHeight, foreColour, backColour);
    } catch (const std::bad_alloc&) {
        return PaintStatus::kOutOfMemory;
    } catch (...) {
        // A stream that throws on failure.
        return PaintStatus::kWriteFailed;
    }
}

}  // namespace kelvane2::imaging
