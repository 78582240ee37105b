// The symbol settings shared by the tool's commands and the encode call they select.
#ifndef QRKIT_CLI_ENCODE_OPTIONS_H
#define QRKIT_CLI_ENCODE_OPTIONS_H

#include <cstdint>
#include <string>

#include "qrkit/qrkit.h"

namespace qrkit_cli {

struct SymbolSettings {
    int level = 1;  // 0 L, 1 M, 2 Q, 3 H
    bool levelGiven = false;
    int minVersion = 0;  // 0 the smallest that fits; 1-40 (Micro 1-4)
    bool strict = false;
    bool micro = false;
    bool hibc = false;
    int forcedMode = 0;    // 0 auto, 1 narrowest, 2 numeric, 3 alphanumeric, 4 byte
    bool optimal = false;  // --segmentation optimal: the division of fewest bits

    // The version word of the QR Code exports.
    int versionWord() const { return minVersion | (forcedMode << 8) | (strict ? 0x8000 : 0); }
};

// The reason the settings do not go together, or an empty text.
std::string checkSymbolSettings(const SymbolSettings& settings);

// Encodes input (the input language; no zero byte) as the settings say: QR Code, Micro QR Code or
// HIBC, divided into modes greedily (the exports' rule) or with the fewest bits. Returns the library's result
// code, with the handle in *out on success.
std::int32_t encodeSymbol(const std::string& input, const SymbolSettings& settings, QRCODE_RESULT* out);

}  // namespace qrkit_cli

#endif
