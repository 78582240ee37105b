// Center overlays: the overlay text format, the built-in Swiss cross and writing an overlay into a
// finished symbol.
#ifndef QRKIT_ENCODER_OVERLAY_H
#define QRKIT_ENCODER_OVERLAY_H

#include <cstddef>

#include "encoder/objectmodel.h"

namespace kelvane2::qrencode {

// Overlays above this many rows or columns are refused (they would only exhaust memory).
constexpr int kOverlayMaxSide = 4096;

// "rows,columns,hex rows" to a bit pattern with one reference for the caller; null when the text is
// malformed.
I2DBitPattern* parseOverlayText(const char* text, std::size_t length);
// Whether parseOverlayText accepts the text, found without building the pattern: the two counts
// 1-kOverlayMaxSide and module data after the second comma. Reads the text up to its second comma.
bool overlayTextValid(const char* text, std::size_t length);
// The Swiss cross for a symbol width (one reference for the caller); null when no size suits it.
I2DBitPattern* makeSwissCrossOverlay(int width);
// The overlay text of the built-in Swiss cross of a size 7-27; null for other sizes.
const char* swissCrossText(int size);
// Writes overlay into the centre of target, clipped to it. Releases nothing.
void applyCenterOverlay(I2DBitPatternModifiable* target, I2DBitPattern* overlay);

}  // namespace kelvane2::qrencode

#endif
