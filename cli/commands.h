// The tool's commands, each in a file of its own, and the steps they share.
#ifndef QRKIT_CLI_COMMANDS_H
#define QRKIT_CLI_COMMANDS_H

#include <string>

#include "cli/options.h"
#include "qrkit/qrkit.h"

namespace qrkit_cli {

// qrkit encode and qrkit parity (cli/main.cpp).
int runEncode(int argc, char** argv);
int runParity(int argc, char** argv);
// qrkit batch [options] FILE: many records to image files or to a CSV of font strings (cli/batch.cpp).
int runBatch(int argc, char** argv);
// qrkit explain [options] DATA: what the encoder decided and why (cli/explain.cpp).
int runExplain(int argc, char** argv);

// The checks of the symbol and data options that every encoding command makes before it reads
// anything. Returns 0, or prints the conflict and returns kExitUsage.
int checkSymbolAndDataOptions(const ToolOptions& options);
// The data of encode, explain and parity: the one operand (DATA, or '-' for standard input without its
// final line end unless --keep-newline) or --file. Returns 0 or the exit status, after printing why.
int readCommandData(const ToolOptions& options, const char* command, std::string* data);
// The input of one symbol for data under the options (HIBC data checked, literal data escaped, the data
// options applied); the tool's notes go to standard error unless --quiet. Returns 0 or the exit status.
int symbolInput(const ToolOptions& options, const std::string& data, std::string* input);
// Prints text on standard error unless --quiet.
void note(const ToolOptions& options, const std::string& text);

// Encode --verify (cli/verify.cpp). Whether the tool was built with a reader.
bool verifierAvailable();
// Reads the finished symbol back and compares the bytes with those input (the input language, HIBC
// data before formatting when hibc) stands for. Returns 0 (saying so on standard error unless quiet),
// or prints why to standard error and returns 1 (also when the tool has no reader).
int verifySymbol(QRCODE_RESULT handle, const std::string& input, bool micro, bool hibc, bool quiet);

}  // namespace qrkit_cli

#endif
