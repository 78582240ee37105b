// The QR Code encode driver and the options record every encode entry point hands on.
#ifndef QRKIT_ENCODER_ENCODE_QR_H
#define QRKIT_ENCODER_ENCODE_QR_H

#include <cstdint>
#include <string>

#include "encoder/objectmodel.h"

namespace kelvane2::qrencode {

// The version word of QR Code: low byte the requested (smallest) version, bits 8-10 the forced mode,
// bit 15 strict version.
constexpr std::int32_t kStrictVersion = 0x8000;

struct EncodeOptions {
    std::int32_t version;  // the version word
    std::int32_t ecLevel;  // 0 L, 1 M, 2 Q, 3 H (clamped by the driver)
    std::int32_t mask;     // -1 automatic, else 0-7 (clamped by the driver)
};

// How plain runs of data become segments: the automatic (greedy) division of encoder/segmentation.cpp,
// or the division with the fewest bits and the smallest version that holds it
// (encoder/optimal_segmentation.h).
enum class Segmentation { kGreedy, kOptimal };

// Parses data (length bytes, no terminator needed) and builds a finished QR Code symbol. Returns 0 with
// the IQrcodeResult view (one reference) in *out, or a failure code with *out null. Never throws:
// memory exhaustion gives kOutOfMemoryResult.
std::int32_t encodeQr(const std::uint8_t* data, int length, const EncodeOptions& options, IQrcodeResult** out,
                      Segmentation segmentation = Segmentation::kGreedy);

// UTF-16 code units (up to the first 0) to input bytes: one byte per unit when every unit is 1-255,
// else EF BB BF followed by UTF-8. A high surrogate pairs only with a following low surrogate; any
// other unit, a lone surrogate included, is one code point.
std::string narrowWideInput(const char16_t* text);

}  // namespace kelvane2::qrencode

#endif
