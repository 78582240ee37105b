// What every painter shares: the option records, module-size snapping, colour words, image formats and
// the dispatch from a format code to its writer.
#ifndef QRKIT_IMAGING_GEOMETRY_H
#define QRKIT_IMAGING_GEOMETRY_H

#include <cstdint>
#include <ostream>

#include "encoder/objectmodel.h"

namespace kelvane2::imaging {

// Format codes of the file and stream exports.
enum ImageFormat : int {
    kFormatPng = 0,
    kFormatSvg = 1,
    kFormatEmf = 2,  // the bytes of an enhanced metafile
    kFormatEps = 3,
    kFormatBmp = 4,
};

// Colour words are 0x00RRGGBB; the top byte is cleared when a record is filled.
constexpr std::uint32_t colourWord(std::uint32_t value) {
    return value & 0xFFFFFFu;
}
// A colour word as a GDI COLORREF (0x00BBGGRR).
constexpr std::uint32_t colourRef(std::uint32_t colour) {
    return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

// Sizes in pixels per module.
struct RasterPaintOptions {
    std::int32_t moduleWidth;
    std::int32_t moduleHeight;
    std::uint32_t foreColour;  // dark modules
    std::uint32_t backColour;  // light modules
};

// Sizes in hundredths of a millimetre, snapped to whole dots at resolution (dots per inch).
struct VectorPaintOptions {
    std::int32_t moduleWidth;
    std::int32_t moduleHeight;
    std::int32_t resolution;
    std::uint32_t foreColour;
    std::uint32_t backColour;
};

// The size in 0.01 mm of the whole number of dots (at least one) closest to size at resolution; the
// product size x resolution is taken in 64 bits. A size below 1 gives one dot. The resolution must be
// positive to give a meaningful size; with any other value the result is still defined (the quotient
// saturated to the 32-bit range) and vectorOptionsValid rejects such a call.
std::int32_t snapModuleSize(std::int32_t size, std::int32_t resolution);

// The largest raster image painted: 65,535 pixels a side.
inline constexpr std::int64_t kMaxRasterExtent = 65535;
// The largest vector page painted: 10 m a side, in 0.01 mm.
inline constexpr std::int64_t kMaxVectorExtent = 1000000;

// Whether a raster paint call can be carried out: format is 0 (PNG) or 4 (BMP), both module sizes and the
// matrix's rows and columns are at least 1, and the image extents (columns x moduleWidth by rows x
// moduleHeight pixels) are at most kMaxRasterExtent and fit the format's own fields.
bool rasterOptionsValid(const RasterPaintOptions& options, int rows, int columns, int format);
// Whether a vector paint call can be carried out: format is 1 (SVG), 2 (EMF bytes) or 3 (EPS), both
// module sizes, the resolution and the matrix's rows and columns are at least 1, and the extents in
// 0.01 mm of the snapped module sizes (columns x w by rows x h) are at most kMaxVectorExtent.
bool vectorOptionsValid(const VectorPaintOptions& options, int rows, int columns, int format);

// Outcome of a writer or a dispatcher.
enum class PaintStatus {
    kOk,
    kWriteFailed,  // the target refused bytes or the writer could not finish
    kOutOfMemory,
};

// Format 0 (PNG) and 4 (BMP); any other format writes nothing and succeeds. Returns what the writer
// reports: kWriteFailed when the stream went bad or the image could not be written, kOutOfMemory when
// memory ran out.
PaintStatus paintRaster(const RasterPaintOptions& options, I2DBitPattern* pattern, int format,
                        std::ostream& out);
// Format 1 (SVG), 2 (EMF bytes) and 3 (EPS); any other format writes nothing and succeeds.
PaintStatus paintVector(const VectorPaintOptions& options, I2DBitPattern* pattern, int format,
                        std::ostream& out);

}  // namespace kelvane2::imaging

#endif
