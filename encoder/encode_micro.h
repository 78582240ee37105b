// The Micro QR Code encode driver.
#ifndef QRKIT_ENCODER_ENCODE_MICRO_H
#define QRKIT_ENCODER_ENCODE_MICRO_H

#include <cstdint>

#include "encoder/encode_qr.h"

namespace kelvane2::qrencode {

// Parses data (Micro subset of the input language) and builds a finished Micro QR Code symbol. The
// whole version word is the requested version: below 0 automatic, above 4 M4. A mask above 3 means
// automatic choice. Returns 0 with the IQrcodeResult view (one reference) in *out, or a failure code
// with *out null. Never throws: memory exhaustion gives kOutOfMemoryResult.
std::int32_t encodeMicroQr(const std::uint8_t* data, int length, const EncodeOptions& options,
                           IQrcodeResult** out, Segmentation segmentation = Segmentation::kGreedy);

}  // namespace kelvane2::qrencode

#endif
