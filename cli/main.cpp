// qrkit: the command-line tool over the library's exports.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/encode_options.h"
#include "cli/image_output.h"
#include "cli/sequence.h"
#include "cli/symbol_text.h"
#include "encoder/objectmodel.h"
#include "qrkit/qrkit.h"

namespace {

const char* const kUsage =
    R"(Usage:
  qrkit encode [options] DATA      encode DATA (written in qrkit's input language)
  qrkit encode [options] --file F  encode the contents of file F ('-' for standard input)
  qrkit encode [options] -         encode standard input
  qrkit parity DATA                the structured-append parity of a whole message
  qrkit explain [options] DATA     what the encoder decides for DATA and why: segments, version and
                                   level with the capacity used, the mask scores, and how a center
                                   overlay falls on the error correction blocks (options: --level,
                                   --min-version, --strict, --mode, --segmentation, --micro, --hibc,
                                   --file F); with --segmentation optimal both divisions of the
                                   data and the bits saved
  qrkit batch [options] FILE       encode every record of FILE ('-' for standard input) into image
                                   files or a CSV of font strings, on all cores (see Batch options)
  qrkit --help

Encode options:
  --level L|M|Q|H       error correction level (default M)
  --min-version N       smallest version allowed, 1-40 (default 0: the smallest that fits)
  --strict              fail unless the data fits the version given by --min-version
  --micro               make a Micro QR Code symbol (M1-M4); --min-version then takes 1-4
  --hibc                encode DATA as HIBC ('+', the data, its modulo-43 check character)
  --mode MODE           segmentation of plain data: auto (default), narrowest, numeric,
                        alphanumeric or byte
  --segmentation S      how auto divides plain data into modes: greedy (default, a fixed
                        look-ahead rule: the symbols of QRCodeEncode) or optimal (the fewest
                        bits, Kanji included, on the smallest version; a reader gets the same
                        data: QRCodeEncodeOptimal)
  --print WHAT          what to print: font (the font string, default), rows (module rows
                        of 0 and 1) or terminal (a picture drawn with half blocks)
  --separator SEP       separator between font string lines (default a line feed);
                        \n, \r and \t are understood
  -o FILE               write an image file instead of printing: png, bmp, svg, eps or emf,
                        told by the extension or by --format
  --format FMT          the image format: png, bmp, svg, eps or emf
  --module-size N       module size: pixels for png and bmp (default 4), hundredths of a
                        millimetre for svg, eps and emf (default 25, 0.25 mm)
  --dpi N               resolution the vector sizes are rounded to (default 300)
  --fg RRGGBB           colour of dark modules (default 000000)
  --bg RRGGBB           colour of light modules and the quiet zone (default ffffff)
  --quiet-zone N        light modules around the picture (default 4, 2 for Micro QR Code)
  --verify              read the finished symbol back (zxing-cpp) and fail unless it gives the data
  --sequence N|auto     split the data into N (2-16) structured-append symbols, never inside an
                        escape, a Kanji pair or a UTF-8 character, with the parity of the whole
                        message; auto takes the fewest that each fit --min-version (else 40).
                        Writes N font strings, or N files when -o names them with {n}

Batch options (and --level, --min-version, --strict, --micro, --hibc, --mode, --segmentation,
--format, --module-size, --dpi, --fg, --bg, --quiet-zone as for encode):
  --column N|NAME       read FILE as CSV and take column N (from 1) or the column headed NAME
  --header              the CSV's first row is a header (implied by --column NAME)
  -o PATTERN            one image file per record; {n} the record number, {line} its line,
                        {field} its data made safe for a file name
  --csv FILE            the CSV of font strings (line, data, font string, error) goes to FILE
                        instead of standard output
  --separator SEP       separator between font string lines (default \n)
  --threads N           threads to encode on (default: all cores)

The input language: plain bytes stand for themselves; ~M is a control byte (0x0D), ~d065 a
decimal byte, ~~ a tilde, ~4[...] Kanji, ~2[P][T,Y] structured append, ~7NNNNNN an ECI
designator, ~1 FNC1 in first position, ~3[N] FNC1 in second position, ~50[:swiss7] a
Swiss-cross center overlay.

Examples:
  qrkit encode --micro --print terminal 12345
  qrkit encode --hibc A123BJC5D6E71
  qrkit parity "a whole message"
  qrkit encode -o symbol.png --module-size 8 "https://example.com"
  qrkit encode -o label.svg --module-size 50 --fg 1a237e --micro 12345
  qrkit encode "HELLO WORLD"
  qrkit encode --verify -o logo.png "~50[:swiss7]https://example.com"
  qrkit encode --sequence 3 -o part{n}.png --file letter.txt
  qrkit explain --level L "~50[:swiss7]https://example.com/a/long/path"
  qrkit batch --column url -o labels/{n}.png products.csv
  qrkit batch --csv fonts.csv serials.txt
  qrkit encode --level H --print terminal "https://example.com"
  qrkit encode --min-version 5 --strict --print rows 12345
  qrkit explain --segmentation optimal "https://example.com/item/123456789012"
  qrkit encode --separator '\r\n' --file address.txt
  echo -n "from stdin" | qrkit encode -
)";

struct EncodeRequest {
    std::string data;
    bool haveData = false;
    qrkit_cli::SymbolSettings settings;
    std::string format = "font";
    std::string separator = "\n";
    int quietZone = -1;  // 4 modules for QR Code, 2 for Micro QR Code
    qrkit_cli::ImageRequest image;
    bool verify = false;
    int sequence = -1;  // symbols of a structured-append sequence; 0 auto, -1 none
};

bool parseInt(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
    *value = static_cast<int>(parsed);
    return true;
}

std::string unescapeSeparator(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[i + 1];
            if (next == 'n' || next == 'r' || next == 't' || next == '\\') {
                out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

qrkit_cli::ModuleRows moduleRows(QRCODE_RESULT handle) {
    qrkit_cli::ModuleRows rows;
    kelvane2::I2DBitPattern* pattern = nullptr;
    if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern)) != 0) {
        return rows;
    }
    rows.assign(pattern->getRows(), std::vector<bool>(pattern->getColumns()));
    for (int r = 0; r < pattern->getRows(); ++r) {
        for (int c = 0; c < pattern->getColumns(); ++c)
            rows[r][c] = pattern->getModule(r, c) != 0;
    }
    pattern->Release();
    return rows;
}

// Writes one symbol as the request says: an image file at path, or the printed form.
int emitSymbol(QRCODE_RESULT handle, const EncodeRequest& request, const std::string& path) {
    if (!path.empty()) {
        qrkit_cli::ImageRequest image = request.image;
        image.path = path;
        image.quietZone = request.quietZone;
        return qrkit_cli::writeImage(handle, image);
    }
    if (request.format == "font") {
        const char* text = QRCodeResultGetBarcodeString2(handle, request.separator.c_str());
        std::cout << (text ? text : "") << "\n";
    } else if (request.format == "rows") {
        std::cout << qrkit_cli::moduleRowsText(moduleRows(handle));
    } else {
        std::cout << qrkit_cli::terminalPicture(moduleRows(handle), request.quietZone);
    }
    return 0;
}

int runEncode(int argc, char** argv) {
    EncodeRequest request;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        std::string error;
        const qrkit_cli::OptionRead symbolOption =
            qrkit_cli::readSymbolOption(argc, argv, &i, &request.settings, &error);
        if (symbolOption == qrkit_cli::OptionRead::kBad) return qrkit_cli::usageFailure(error);
        if (symbolOption == qrkit_cli::OptionRead::kTaken) continue;
        const qrkit_cli::OptionRead imageOption =
            qrkit_cli::readImageOption(argc, argv, &i, &request.image, &request.quietZone, &error);
        if (imageOption == qrkit_cli::OptionRead::kBad) return qrkit_cli::usageFailure(error);
        if (imageOption == qrkit_cli::OptionRead::kTaken) continue;
        if (arg == "--print") {
            if (!value(&v)) return qrkit_cli::usageFailure("--print takes font, rows or terminal");
            request.format = v;
            if (request.format != "font" && request.format != "rows" && request.format != "terminal") {
                return qrkit_cli::usageFailure("--print takes font, rows or terminal");
            }
        } else if (arg == "--separator") {
            if (!value(&v)) return qrkit_cli::usageFailure("--separator takes a text");
            request.separator = unescapeSeparator(v);
        } else if (arg == "--verify") {
            request.verify = true;
        } else if (arg == "--sequence") {
            if (!value(&v) || (std::strcmp(v, "auto") != 0 && !parseInt(v, 2, 16, &request.sequence))) {
                return qrkit_cli::usageFailure("--sequence takes a number of symbols from 2 to 16, or auto");
            }
            if (std::strcmp(v, "auto") == 0) request.sequence = 0;
        } else if (arg == "--file") {
            if (!value(&v)) return qrkit_cli::usageFailure("--file takes a path");
            if (request.haveData) return qrkit_cli::usageFailure("give the data once");
            if (!qrkit_cli::readInputFile(v, &request.data)) {
                std::cerr << "qrkit: cannot read " << v << ": " << std::strerror(errno) << "\n";
                return 1;
            }
            request.haveData = true;
        } else if (arg == "-") {
            if (request.haveData) return qrkit_cli::usageFailure("give the data once");
            qrkit_cli::readInputFile("-", &request.data);
            request.haveData = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return qrkit_cli::usageFailure("unknown option " + arg);
        } else {
            if (request.haveData) return qrkit_cli::usageFailure("give the data once");
            request.data = arg;
            request.haveData = true;
        }
    }
    if (!request.haveData) return qrkit_cli::usageFailure("no data to encode");
    if (request.data.find('\0') != std::string::npos) {
        std::cerr << "qrkit: the data holds a zero byte; write it as ~d000 or ~@\n";
        return 1;
    }

    const qrkit_cli::SymbolSettings& settings = request.settings;
    if (request.quietZone < 0) request.quietZone = settings.micro ? 2 : 4;
    const std::string conflict = qrkit_cli::checkSymbolSettings(settings);
    if (!conflict.empty()) return qrkit_cli::usageFailure(conflict);
    if (request.sequence >= 0) {
        const std::string& pattern = request.image.path;
        if (!pattern.empty() && pattern.find("{n}") == std::string::npos)
            return qrkit_cli::usageFailure("--sequence writes several files: name them with {n} in -o");
        return qrkit_cli::runSequence(
            request.data, request.sequence, settings,
            [&](QRCODE_RESULT handle, int position, int total, const std::string& input) {
                if (request.verify && qrkit_cli::verifySymbol(handle, input, false, false) != 0) return 1;
                std::string path = pattern;
                if (!path.empty()) path.replace(path.find("{n}"), 3, std::to_string(position));
                const int status = emitSymbol(handle, request, path);
                if (status == 0 && path.empty() && position < total) std::cout << "\n";
                return status;
            });
    }
    QRCODE_RESULT handle = nullptr;
    int result = qrkit_cli::encodeSymbol(request.data, settings, &handle);
    if (result != 0) {
        std::cerr << "qrkit: " << QRCodeGetErrorMessage(result) << "\n";
        return 1;
    }
    int status = 0;
    if (request.verify) status = qrkit_cli::verifySymbol(handle, request.data, settings.micro, settings.hibc);
    if (status == 0) status = emitSymbol(handle, request, request.image.path);
    DestroyQRCodeEncodeResult(handle);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        std::cout << kUsage;
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    if (command == "encode") return runEncode(argc - 2, argv + 2);
    if (command == "explain") return qrkit_cli::runExplain(argc - 2, argv + 2);
    if (command == "batch") return qrkit_cli::runBatch(argc - 2, argv + 2);
    if (command == "parity") {
        if (argc != 3) return qrkit_cli::usageFailure("parity takes one DATA argument");
        std::cout << QRCodeGetParity(argv[2]) << "\n";
        return 0;
    }
    return qrkit_cli::usageFailure("unknown command " + command);
}
