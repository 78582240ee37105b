// The symbol as an enhanced metafile: recorded in memory, written out as bytes (image format 2), or put
// on the clipboard.
//
// The drawing, in 0.01 mm under MM_HIMETRIC (y grows upward, the symbol's top-left corner at the
// origin), with w and h the snapped module sizes, N columns and M rows: the frame (0, 0, N*w, M*h); the
// description "kelvane2\0matrixcode\0\0"; the whole symbol (0, 0, N*w, -M*h) filled with the back
// colour; then, in scan order, each dark module (row i, column j) filled as (j*w, -i*h, j*w + w,
// -(i+1)*h) with the fore colour. Colours are drawn as COLORREF (bytes 0 and 2 of the colour word
// exchanged). No outlines, no merged modules.
#ifndef QRKIT_IMAGING_METAFILE_H
#define QRKIT_IMAGING_METAFILE_H

#include <cstdint>
#include <ostream>

#include "encoder/objectmodel.h"
#include "imaging/geometry.h"
#include "platform/metafile.h"

namespace kelvane2::imaging {

// Records the symbol into a new metafile, snapping the module sizes of options at its resolution.
// Returns the metafile (the caller deletes it with DeleteEnhMetaFile), or null when it cannot be made
// whole: the resolution is below 1, the extent does not fit 32 bits, or the platform refuses any call
// (GetLastError then says why; memory exhaustion is ERROR_NOT_ENOUGH_MEMORY). Nothing is leaked should
// the pattern throw.
platform::HENHMETAFILE createSymbolMetafile(VectorPaintOptions options, I2DBitPattern* pattern);

// Writes the bytes of the symbol's metafile to out. The sizes are in 0.01 mm and snapped again at
// resolution, which leaves sizes already snapped below 1270 dpi unchanged. kWriteFailed when the metafile
// or its bytes cannot be made (nothing written) or out goes bad; kOutOfMemory when memory runs out.
PaintStatus writeMetafileBits(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                              std::int32_t moduleHeight, std::int32_t resolution, std::uint32_t foreColour,
                              std::uint32_t backColour);

// Puts the symbol's metafile on the clipboard, which then owns it. kWriteFailed, with the clipboard left
// untouched, when no metafile can be made, or when the clipboard cannot be opened (another program holds
// it) or refuses the data (the metafile is then deleted); kOutOfMemory when memory runs out.
PaintStatus copySymbolToClipboard(const VectorPaintOptions& options, I2DBitPattern* pattern);

}  // namespace kelvane2::imaging

#endif
