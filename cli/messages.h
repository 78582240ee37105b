// Messages that help: the library's message with what it means for these data and settings and what
// to change, the offending character of HIBC data, and the note on a lowered Micro QR Code level.
#ifndef QRKIT_CLI_MESSAGES_H
#define QRKIT_CLI_MESSAGES_H

#include <cstdint>
#include <string>

#include "cli/encode_options.h"
#include "qrkit/qrkit.h"

namespace qrkit_cli {

// What to print when encoding input (the input language) with settings failed with result: the
// library's message, then for data that are too long the bits they take, the capacity at the level and
// the largest version allowed, and what helps (--level L, a higher --min-version, --sequence auto when
// sequenceHelps, leaving out --micro); for malformed escapes what the escape looks like.
std::string encodeFailureMessage(std::int32_t result, const std::string& input,
                                 const SymbolSettings& settings, bool sequenceHelps);

// Why HIBC data cannot be formatted, naming the first character outside the HIBC set, or an empty
// text when they can.
std::string hibcProblem(const std::string& data);

// The note for a Micro QR Code symbol whose level is lower than the one --level asked for, or an empty
// text.
std::string lowerLevelNote(QRCODE_RESULT handle, const SymbolSettings& settings);

// bytes made printable for a message: printable ASCII and UTF-8 characters as they are, other bytes
// as \xHH.
std::string printableText(const std::string& bytes);

}  // namespace qrkit_cli

#endif
