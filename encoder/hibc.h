// HIBC data (a leading '+' and a modulo-43 check character over the Code 39 set) encoded as QR Code,
// and the structured-append parity of a message.
#ifndef QRKIT_ENCODER_HIBC_H
#define QRKIT_ENCODER_HIBC_H

#include <cstdint>

#include "encoder/encode_qr.h"

namespace kelvane2::qrencode {

// The longest raw HIBC input, and the longest data after upper-casing.
constexpr int kHibcInputLimit = 100;
constexpr int kHibcDataLimit = 36;

// Upper-cases text in place and writes '+', the text and its check character into output. capacity:
// in, the output's size; out, the formatted length including the NUL (also with a null output, which
// writes nothing). Returns 0, 5 (text over 36 characters), 6 (a character outside the set) or 12 (the
// output is too small).
int formatHibc(char* text, char* output, int* capacity);

// Formats data (NUL-terminated) and encodes it with encodeQr. Every formatting failure, and data over
// 100 bytes, gives 0x80520005 without writing *out.
std::int32_t encodeHibc(const char* data, const EncodeOptions& options, IQrcodeResult** out,
                        Segmentation segmentation = Segmentation::kGreedy);

// The XOR of the data bytes of every character segment (numeric, alphanumeric, byte, Kanji) the input
// language yields for data; escapes count by the bytes they produce. A parse error leaves the parity
// of what was parsed. Allocates nothing, so it cannot run out of memory; time linear in length.
std::uint8_t computeParity(const std::uint8_t* data, int length);

}  // namespace kelvane2::qrencode

#endif
