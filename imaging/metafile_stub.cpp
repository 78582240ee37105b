// TEMPORARY: stands in for the metafile writer until that unit is merged; delete this file then.
// The definition is weak so that the real one takes its place should both be linked.
#include "imaging/metafile.h"

namespace kelvane2::imaging {

__attribute__((weak)) PaintStatus writeMetafileBits(I2DBitPattern*, std::ostream&, std::int32_t, std::int32_t,
                                                    std::int32_t, std::uint32_t, std::uint32_t) {
    return PaintStatus::kWriteFailed;
}

}  // namespace kelvane2::imaging
