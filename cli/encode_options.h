// The symbol and image options shared by the tool's commands (batch, explain, sequences), and the
// encode call they select.
#ifndef QRKIT_CLI_ENCODE_OPTIONS_H
#define QRKIT_CLI_ENCODE_OPTIONS_H

#include <cstdint>
#include <string>

#include "cli/image_output.h"
#include "qrkit/qrkit.h"

namespace qrkit_cli {

struct SymbolSettings {
    int level = 1;       // 0 L, 1 M, 2 Q, 3 H
    int minVersion = 0;  // 0 the smallest that fits; 1-40 (Micro 1-4)
    bool strict = false;
    bool micro = false;
    bool hibc = false;
    int forcedMode = 0;    // 0 auto, 1 narrowest, 2 numeric, 3 alphanumeric, 4 byte
    bool optimal = false;  // --segmentation optimal: the division of fewest bits

    // The version word of the QR Code exports.
    int versionWord() const { return minVersion | (forcedMode << 8) | (strict ? 0x8000 : 0); }
};

// What reading one argument gave.
enum class OptionRead { kTaken, kNotMine, kBad };

// Reads the symbol option at argv[*i] (--level, --min-version, --strict, --micro, --hibc, --mode,
// --segmentation),
// moving *i past its value. kBad leaves the reason in *error.
OptionRead readSymbolOption(int argc, char** argv, int* i, SymbolSettings* settings, std::string* error);
// Reads the image option at argv[*i] (-o, --format, --module-size, --dpi, --fg, --bg, --quiet-zone).
OptionRead readImageOption(int argc, char** argv, int* i, ImageRequest* image, int* quietZone,
                           std::string* error);
// The reason the settings do not go together, or an empty text.
std::string checkSymbolSettings(const SymbolSettings& settings);

// Encodes data (the input language; no zero byte) as the settings say: QR Code, Micro QR Code or HIBC.
// Returns the library's result code, with the handle in *out on success.
std::int32_t encodeSymbol(const std::string& data, const SymbolSettings& settings, QRCODE_RESULT* out);

// Reads a whole file, or standard input for "-". False when the file cannot be opened (errno tells).
bool readInputFile(const std::string& path, std::string* out);

// Prints a usage error for the tool and returns the exit status 2.
int usageFailure(const std::string& message);

}  // namespace qrkit_cli

#endif
