// The SVG writer: one filled rectangle per dark module over a background rectangle.
#ifndef QRKIT_IMAGING_SVG_H
#define QRKIT_IMAGING_SVG_H

#include <cstdint>
#include <ostream>

#include "encoder/objectmodel.h"
#include "imaging/geometry.h"

namespace kelvane2::imaging {

// Writes pattern as an SVG document to out: lengths are moduleWidth and moduleHeight (in unit, written
// after every length) per module, colours are colour words (the top byte is ignored). Lines end with a
// single line feed and the stream is flushed after every line. Returns kWriteFailed when out is not good
// at the end (writing stops early once it goes bad), kOutOfMemory when memory runs out.
PaintStatus writeSvg(I2DBitPattern* pattern, std::ostream& out, const char* unit, float moduleWidth,
                     float moduleHeight, std::uint32_t foreColour, std::uint32_t backColour);

}  // namespace kelvane2::imaging

#endif
