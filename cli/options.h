// The tool's options: one table for every command, read with the conventions of command-line tools
// (--name value and --name=value, short options that may be joined, "--" before operands that start
// with '-', enumerations in any case), and the help texts made from the same table.
//
// An option is one row of the table in cli/options.cpp (its names, the commands that take it, its help
// and a handler that stores its value) and, where it needs one, a field of ToolOptions.
#ifndef QRKIT_CLI_OPTIONS_H
#define QRKIT_CLI_OPTIONS_H

#include <string>
#include <vector>

#include "cli/encode_options.h"
#include "cli/image_output.h"
#include "cli/literal_data.h"

namespace qrkit_cli {

// Exit statuses of every command.
enum ExitStatus : int {
    kExitOk = 0,
    kExitData = 1,   // data that cannot be encoded (too long, invalid for the mode, malformed escapes)
    kExitUsage = 2,  // bad options or values
    kExitIo = 3,     // input that cannot be read, output that cannot be written
};

// The commands, as bits of the options table.
enum Command : unsigned {
    kEncode = 1u << 0,
    kExplain = 1u << 1,
    kBatch = 1u << 2,
    kParity = 1u << 3,
};

// What the options of one command line say.
struct ToolOptions {
    unsigned command = 0;
    SymbolSettings symbol;
    DataOptions data;
    std::vector<std::string> operands;  // DATA, "-" or FILE
    std::string file;                   // --file
    bool fileGiven = false;
    bool keepNewline = false;
    ImageRequest image;
    std::string print = "font";
    std::string separator = "\n";
    bool verify = false;
    int sequence = -1;  // symbols of a structured-append sequence; 0 auto, -1 none
    bool quiet = false;
    bool help = false;
    // batch
    std::string column;  // empty: one record a line
    bool header = false;
    std::string csvPath;  // empty: standard output
    int threads = 0;      // 0: all cores
};

// Reads the arguments that follow the command's name. Returns 0, or prints one line naming the problem
// and returns kExitUsage.
int parseOptions(unsigned command, int argc, char** argv, ToolOptions* options);

// The command of a name ("encode"), or 0.
unsigned commandNamed(const std::string& name);
// The help of a command, with its options from the table; for 0 the tool's overview.
std::string helpText(unsigned command);
// The version line of --version.
std::string versionText();

// Prints "qrkit: message (see qrkit help COMMAND)" on standard error and returns kExitUsage.
int usageFailure(const std::string& message, unsigned command = 0);
// Prints "qrkit: message" on standard error and returns status.
int failure(int status, const std::string& message);

}  // namespace qrkit_cli

#endif
