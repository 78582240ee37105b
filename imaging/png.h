// The PNG writer: an indexed-colour image with a two-entry palette, written through libpng.
#ifndef QRKIT_IMAGING_PNG_H
#define QRKIT_IMAGING_PNG_H

#include <cstdint>
#include <ostream>

#include "encoder/objectmodel.h"
#include "imaging/geometry.h"

namespace kelvane2::imaging {

// Texts of the two tEXt chunks, in the order written.
inline constexpr const char* kPngTitleKey = "Title";
inline constexpr const char* kPngTitleText = "Barcode image PNG";
inline constexpr const char* kPngAuthorKey = "Author";
inline constexpr const char* kPngAuthorText = "qrkit";

// The largest width or height a PNG header holds (2^31 - 1 pixels).
inline constexpr std::int64_t kPngMaxExtent = 0x7FFFFFFF;

// Whether a width x height image fits a PNG header: both between 1 and kPngMaxExtent.
constexpr bool pngExtentsFit(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= kPngMaxExtent && height <= kPngMaxExtent;
}

// Writes pattern as a PNG to out: columns x moduleWidth by rows x moduleHeight pixels, bit depth 8,
// palette entry 0 the fore colour (dark modules) and 1 the back colour, zlib level 9, a tIME chunk with
// the time of writing and the two tEXt chunks above. Needs memory for one pixel row. Returns kWriteFailed
// when the extents do not fit, libpng reports an error or out goes bad (writing stops at once), and
// kOutOfMemory when any allocation fails: the row, or any memory of libpng and zlib, which allocate
// through operator new. What was written before a failure stays in out.
PaintStatus writePng(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                     std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour);

namespace detail {
// writePng with another zlib level: 0-9, or -1 for the library's default.
PaintStatus writePngAtLevel(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                            std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour,
                            int compressionLevel);
}  // namespace detail

}  // namespace kelvane2::imaging

#endif
