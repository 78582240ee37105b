// The Encapsulated PostScript writer: one filled square per dark module over a background fill.
#ifndef QRKIT_IMAGING_EPS_H
#define QRKIT_IMAGING_EPS_H

#include <cstdint>
#include <ostream>

#include "encoder/objectmodel.h"
#include "imaging/geometry.h"

namespace kelvane2::imaging {

// Writes pattern as an EPS page to out. moduleWidth and moduleHeight are in 0.01 mm (the page is scaled
// to points); colours are colour words (the top byte is ignored); creator goes into the Creator comment.
// Lines end with a single line feed; flushing is left to the stream. Returns kWriteFailed when out is not
// good at the end (writing stops early once it goes bad), kOutOfMemory when memory runs out.
PaintStatus writeEps(I2DBitPattern* pattern, std::ostream& out, float moduleWidth, float moduleHeight,
                     std::uint32_t foreColour, std::uint32_t backColour, const char* creator);

}  // namespace kelvane2::imaging

#endif
