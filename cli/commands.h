// The tool's commands beyond encode and parity, each in a file of its own.
#ifndef QRKIT_CLI_COMMANDS_H
#define QRKIT_CLI_COMMANDS_H

#include <string>

#include "qrkit/qrkit.h"

namespace qrkit_cli {

// qrkit batch [options] FILE: many records to image files or to a CSV of font strings (cli/batch.cpp).
int runBatch(int argc, char** argv);

// qrkit explain [options] DATA: what the encoder decided and why (cli/explain.cpp).
int runExplain(int argc, char** argv);

// Encode --verify (cli/verify.cpp). Whether the tool was built with a reader.
bool verifierAvailable();
// Reads the finished symbol back and compares the bytes with those data (the input language, HIBC
// data before formatting when hibc) stands for. Returns 0, or prints why to standard error and returns
// 1 (also when the tool has no reader).
int verifySymbol(QRCODE_RESULT handle, const std::string& data, bool micro, bool hibc);

}  // namespace qrkit_cli

#endif
