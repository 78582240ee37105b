// Structured-append sequences: one message as 2 to 16 QR Code symbols (qrkit encode --sequence).
#ifndef QRKIT_CLI_SEQUENCE_H
#define QRKIT_CLI_SEQUENCE_H

#include <functional>
#include <string>
#include <vector>

#include "cli/encode_options.h"
#include "qrkit/qrkit.h"

namespace qrkit_cli {

// Splits data (the input language, without a structured-append header) into count parts (2-16) of
// about equal data bytes. No part cuts an escape, a Kanji pair or a UTF-8 character, and a designator
// or an FNC1 marker inside the data stays with what follows it; an ECI designator or FNC1 at the start
// and center overlays are repeated in every part. False, with the reason in *error, when data cannot make
// count parts.
bool splitSequence(const std::string& data, int count, std::vector<std::string>* parts, std::string* error);

// The input of symbol position (1-based) of total: the structured-append header, then the part.
std::string sequenceInput(const std::string& part, int position, int total, int parity);

// Receives each symbol of a sequence in order with its input (header and part); returns an exit status
// (0 to go on).
using SequenceSink =
    std::function<int(QRCODE_RESULT handle, int position, int total, const std::string& input)>;

// Encodes data as count symbols (0: the fewest, 2 to 16, that each fit --min-version, else version 40)
// with the parity of the whole message, and hands them to sink in order. Every symbol is encoded before
// the first is handed on. Returns the exit status.
int runSequence(const std::string& data, int count, const SymbolSettings& settings, const SequenceSink& sink);

}  // namespace qrkit_cli

#endif
