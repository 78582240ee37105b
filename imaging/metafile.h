// Enhanced metafile output.
#ifndef QRKIT_IMAGING_METAFILE_H
#define QRKIT_IMAGING_METAFILE_H

#include <cstdint>
#include <ostream>

#include "encoder/objectmodel.h"
#include "imaging/geometry.h"

namespace kelvane2::imaging {
PaintStatus writeMetafileBits(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                              std::int32_t moduleHeight, std::int32_t resolution, std::uint32_t foreColour,
                              std::uint32_t backColour);
}

#endif
