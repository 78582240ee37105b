// Symbols read as text, the way applications show them: zbar's text output (its own ECI handling and
// character set guess, in UTF-8) and zxing-cpp's text (ECI-aware, in UTF-8).
#ifndef QRKIT_TESTS_SUPPORT_DECODE_TEXT_H
#define QRKIT_TESTS_SUPPORT_DECODE_TEXT_H

#include <string>

#include "support/decode.h"

namespace qrkit_test {

struct DecodedText {
    bool ok = false;
    std::string text;  // UTF-8
    std::string message;
};

// zbar (QR Code only) without binary output: the data converted to UTF-8 as zbar sees fit.
DecodedText decodeTextWithZbar(const ModuleMatrix& matrix);
// zxing-cpp (QR Code and Micro QR Code): Result::text().
DecodedText decodeTextWithZxing(const ModuleMatrix& matrix);

}  // namespace qrkit_test

#endif
