// qrkit: the command-line tool over the library's exports.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/encode_options.h"
#include "cli/html_page.h"
#include "cli/image_output.h"
#include "cli/input_source.h"
#include "cli/literal_data.h"
#include "cli/messages.h"
#include "cli/name_pattern.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/sequence.h"
#include "cli/symbol_text.h"
#include "qrkit/qrkit.h"

namespace qrkit_cli {

namespace {

// Handles the help of a command; true when it was asked for (then *status is the exit status).
bool answeredHelp(const ToolOptions& options, int* status) {
    if (!options.help) return false;
    std::string error;
    *status = writeStandardOutput(helpText(options.command), &error) ? kExitOk : failure(kExitIo, error);
    return true;
}

// Writes one symbol as the options say: an image file at path, or the printed form.
int emitSymbol(QRCODE_RESULT handle, const ToolOptions& options, const std::string& path,
               bool lastOfSequence) {
    std::string error;
    if (!path.empty()) {
        ImageRequest image = options.image;
        image.path = path;
        const int status = writeImage(handle, image, &error);
        return status == 0 ? 0 : failure(status, error);
    }
    PrintSettings settings;
    settings.separator = options.separator;
    settings.image = options.image;
    settings.quietZone = options.image.quietZone >= 0 ? options.image.quietZone
                         : options.symbol.micro       ? 2
                                                      : 4;
    std::string text = findPrintForm(options.print)->render(handle, settings);
    if (!lastOfSequence) text += "\n";
    return writeStandardOutput(text, &error) ? 0 : failure(kExitIo, error);
}

// The checks of encode's options that need no data: nothing is read or written when they fail.
int checkEncodeOptions(const ToolOptions& options) {
    if (int status = checkSymbolAndDataOptions(options)) return status;
    const std::string& path = options.image.path;
    const std::string format = path.empty() ? options.print : imageFormat(options.image);
    if ((format == "html" || format == "htm") && !htmlPagesAvailable())
        return usageFailure("this qrkit was built without the qrkit QR font, so it cannot write HTML pages",
                            kEncode);
    if (!path.empty() && !knownImageFormat(imageFormat(options.image)))
        return usageFailure("cannot tell the image format of " + path + "; use --format " + kImageFormatNames,
                            kEncode);
    if (options.sequence >= 0) {
        if (options.symbol.micro || options.symbol.hibc)
            return usageFailure("--sequence makes QR Code symbols: no --micro or --hibc", kEncode);
        if (!path.empty() && path.find("{n}") == std::string::npos)
            return usageFailure("--sequence writes several files: name them with {n} in -o", kEncode);
    }
    return 0;
}

}  // namespace

void note(const ToolOptions& options, const std::string& text) {
    if (!options.quiet) std::cerr << "qrkit: " << text << "\n";
}

int checkSymbolAndDataOptions(const ToolOptions& options) {
    std::string conflict = checkSymbolSettings(options.symbol);
    if (conflict.empty())
        conflict = checkDataOptions(options.data, options.symbol.micro, options.symbol.hibc);
    return conflict.empty() ? 0 : usageFailure(conflict, options.command);
}

int readCommandData(const ToolOptions& options, const char* command, std::string* data) {
    const unsigned id = options.command;
    if (options.operands.size() > 1)
        return usageFailure(std::string(command) + " takes one DATA argument (quote data that hold spaces)",
                            id);
    if (options.fileGiven && !options.operands.empty()) return usageFailure("give the data once", id);
    if (!options.fileGiven && options.operands.empty())
        return usageFailure(
            std::string("no data to ") + command + " (DATA, '-' for standard input, or --file FILE)", id);
    InputFailure problem;
    if (options.fileGiven) {
        if (!readInput(options.file, kDataLimit, data, &problem))
            return failure(problem.status, problem.message);
        return 0;
    }
    const std::string& operand = options.operands[0];
    if (operand != "-") {
        *data = operand;
        return 0;
    }
    if (!readInput("-", kDataLimit, data, &problem)) return failure(problem.status, problem.message);
    if (!options.keepNewline) dropFinalLineEnd(data);
    return 0;
}

int symbolInput(const ToolOptions& options, const std::string& data, std::string* input) {
    if (options.symbol.hibc) {
        const std::string problem = hibcProblem(data);
        if (!problem.empty()) return failure(kExitData, problem);
        *input = data;
        return 0;
    }
    PreparedData prepared = prepareData(data, options.data, options.symbol.micro);
    for (const std::string& text : prepared.notes)
        note(options, "note: " + text);
    *input = std::move(prepared.input);
    return 0;
}

int runEncode(int argc, char** argv) {
    ToolOptions options;
    if (int status = parseOptions(kEncode, argc, argv, &options)) return status;
    int status = 0;
    if (answeredHelp(options, &status)) return status;
    if ((status = checkEncodeOptions(options)) != 0) return status;
    std::string data;
    if ((status = readCommandData(options, "encode", &data)) != 0) return status;
    std::string input;
    if ((status = symbolInput(options, data, &input)) != 0) return status;
    const SymbolSettings& settings = options.symbol;

    if (options.sequence >= 0) {
        const std::string& pattern = options.image.path;
        return runSequence(
            input, options.sequence, settings,
            [&](QRCODE_RESULT handle, int position, int total, const std::string& part) -> int {
                if (options.verify && verifySymbol(handle, part, false, false, options.quiet) != 0)
                    return kExitData;
                std::string path = pattern;
                if (!path.empty())
                    path.replace(path.find("{n}"), 3,
                                 zeroPadded(static_cast<std::size_t>(position),
                                            decimalWidth(static_cast<std::size_t>(total))));
                return emitSymbol(handle, options, path, position == total);
            });
    }
    QRCODE_RESULT handle = nullptr;
    const std::int32_t result = encodeSymbol(input, settings, &handle);
    if (result != 0)
        return failure(kExitData,
                       encodeFailureMessage(result, input, settings, !settings.micro && !settings.hibc));
    const std::string lowered = lowerLevelNote(handle, settings);
    if (!lowered.empty()) note(options, lowered);
    if (options.verify) status = verifySymbol(handle, input, settings.micro, settings.hibc, options.quiet);
    if (status == 0) status = emitSymbol(handle, options, options.image.path, true);
    DestroyQRCodeEncodeResult(handle);
    return status;
}

int runParity(int argc, char** argv) {
    ToolOptions options;
    if (int status = parseOptions(kParity, argc, argv, &options)) return status;
    int status = 0;
    if (answeredHelp(options, &status)) return status;
    const std::string conflict = checkDataOptions(options.data, false, false);
    if (!conflict.empty()) return usageFailure(conflict, kParity);
    std::string data;
    if ((status = readCommandData(options, "parity", &data)) != 0) return status;
    std::string input;
    if ((status = symbolInput(options, data, &input)) != 0) return status;
    std::string error;
    return writeStandardOutput(std::to_string(QRCodeGetParity(input.c_str())) + "\n", &error)
               ? 0
               : failure(kExitIo, error);
}

}  // namespace qrkit_cli

int main(int argc, char** argv) {
    using namespace qrkit_cli;
    guardStandardStreams();
    fileCreationMask();
    std::string error;
    const std::string first = argc >= 2 ? argv[1] : "";
    if (argc < 2) {
        std::cerr << helpText(0);
        return kExitUsage;
    }
    if (first == "--help" || first == "-h" || first == "help") {
        unsigned command = 0;
        if (first == "help" && argc >= 3) {
            command = commandNamed(argv[2]);
            if (command == 0) return usageFailure(std::string("no command named ") + argv[2]);
        }
        return writeStandardOutput(helpText(command), &error) ? kExitOk : failure(kExitIo, error);
    }
    if (first == "--version" || first == "-V")
        return writeStandardOutput(versionText(), &error) ? kExitOk : failure(kExitIo, error);
    switch (commandNamed(first)) {
        case kEncode:
            return runEncode(argc - 2, argv + 2);
        case kExplain:
            return runExplain(argc - 2, argv + 2);
        case kBatch:
            return runBatch(argc - 2, argv + 2);
        case kParity:
            return runParity(argc - 2, argv + 2);
        default:
            return usageFailure(first[0] == '-' ? "unknown option " + first + " before the command"
                                                : "unknown command " + first);
    }
}
