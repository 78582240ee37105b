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

#include "cli/image_output.h"
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
  qrkit --help

Encode options:
  --level L|M|Q|H       error correction level (default M)
  --min-version N       smallest version allowed, 1-40 (default 0: the smallest that fits)
  --strict              fail unless the data fits the version given by --min-version
  --micro               make a Micro QR Code symbol (M1-M4); --min-version then takes 1-4
  --hibc                encode DATA as HIBC ('+', the data, its modulo-43 check character)
  --mode MODE           segmentation of plain data: auto (default), narrowest, numeric,
                        alphanumeric or byte
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
  qrkit encode --level H --print terminal "https://example.com"
  qrkit encode --min-version 5 --strict --print rows 12345
  qrkit encode --separator '\r\n' --file address.txt
  echo -n "from stdin" | qrkit encode -
)";

struct EncodeRequest {
    std::string data;
    bool haveData = false;
    int level = 1;
    int minVersion = 0;
    bool strict = false;
    bool micro = false;
    bool hibc = false;
    int forcedMode = 0;
    std::string format = "font";
    std::string separator = "\n";
    int quietZone = -1;  // 4 modules for QR Code, 2 for Micro QR Code
    qrkit_cli::ImageRequest image;
};

int usageError(const std::string& message) {
    std::cerr << "qrkit: " << message << "\n(see qrkit --help)\n";
    return 2;
}

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

bool readAll(const std::string& path, std::string* out) {
    if (path == "-") {
        out->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    out->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
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

int runEncode(int argc, char** argv) {
    EncodeRequest request;
    static const char* const kLevels = "LMQH";
    static const char* const kModes[] = {"auto", "narrowest", "numeric", "alphanumeric", "byte"};
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "--level") {
            if (!value(&v) || std::strlen(v) != 1 || !std::strchr(kLevels, v[0]) || v[0] == '\0') {
                return usageError("--level takes L, M, Q or H");
            }
            request.level = static_cast<int>(std::strchr(kLevels, v[0]) - kLevels);
        } else if (arg == "--min-version") {
            if (!value(&v) || !parseInt(v, 0, 40, &request.minVersion)) {
                return usageError("--min-version takes a version from 0 to 40");
            }
        } else if (arg == "--strict") {
            request.strict = true;
        } else if (arg == "--micro") {
            request.micro = true;
        } else if (arg == "--hibc") {
            request.hibc = true;
        } else if (arg == "--mode") {
            if (!value(&v)) return usageError("--mode takes a mode");
            int found = -1;
            for (int m = 0; m < 5; ++m) {
                if (std::strcmp(v, kModes[m]) == 0) found = m;
            }
            if (found < 0) return usageError("--mode takes auto, narrowest, numeric, alphanumeric or byte");
            request.forcedMode = found;
        } else if (arg == "--print") {
            if (!value(&v)) return usageError("--print takes font, rows or terminal");
            request.format = v;
            if (request.format != "font" && request.format != "rows" && request.format != "terminal") {
                return usageError("--print takes font, rows or terminal");
            }
        } else if (arg == "--separator") {
            if (!value(&v)) return usageError("--separator takes a text");
            request.separator = unescapeSeparator(v);
        } else if (arg == "-o" || arg == "--output") {
            if (!value(&v)) return usageError("-o takes a file name");
            request.image.path = v;
        } else if (arg == "--format") {
            if (!value(&v)) return usageError("--format takes png, bmp, svg, eps or emf");
            request.image.format = v;
        } else if (arg == "--module-size") {
            if (!value(&v) || !parseInt(v, 1, 100000, &request.image.moduleSize)) {
                return usageError("--module-size takes a number from 1 to 100000");
            }
        } else if (arg == "--dpi") {
            if (!value(&v) || !parseInt(v, 1, 100000, &request.image.resolution)) {
                return usageError("--dpi takes a number from 1 to 100000");
            }
        } else if (arg == "--fg" || arg == "--bg") {
            std::uint32_t* colour = arg == "--fg" ? &request.image.foreColour : &request.image.backColour;
            if (!value(&v) || !qrkit_cli::parseColour(v, colour))
                return usageError(arg + " takes a colour RRGGBB");
        } else if (arg == "--quiet-zone") {
            if (!value(&v) || !parseInt(v, 0, 100, &request.quietZone)) {
                return usageError("--quiet-zone takes a number of modules from 0 to 100");
            }
        } else if (arg == "--file") {
            if (!value(&v)) return usageError("--file takes a path");
            if (request.haveData) return usageError("give the data once");
            if (!readAll(v, &request.data)) {
                std::cerr << "qrkit: cannot read " << v << ": " << std::strerror(errno) << "\n";
                return 1;
            }
            request.haveData = true;
        } else if (arg == "-") {
            if (request.haveData) return usageError("give the data once");
            readAll("-", &request.data);
            request.haveData = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return usageError("unknown option " + arg);
        } else {
            if (request.haveData) return usageError("give the data once");
            request.data = arg;
            request.haveData = true;
        }
    }
    if (!request.haveData) return usageError("no data to encode");
    if (request.data.find('\0') != std::string::npos) {
        std::cerr << "qrkit: the data holds a zero byte; write it as ~d000 or ~@\n";
        return 1;
    }

    if (request.quietZone < 0) request.quietZone = request.micro ? 2 : 4;
    if (request.micro && request.hibc) return usageError("--micro and --hibc do not go together");
    if (request.micro && (request.strict || request.forcedMode != 0)) {
        return usageError("--strict and --mode are for QR Code symbols, not --micro");
    }
    if (request.micro && request.minVersion > 4) return usageError("Micro QR Code versions are 1 to 4");
    int versionWord = request.minVersion | (request.forcedMode << 8) | (request.strict ? 0x8000 : 0);
    QRCODE_RESULT handle = nullptr;
    int result = 0;
    if (request.micro) {
        result = MicroQRCodeEncode(request.data.c_str(), request.minVersion, request.level, &handle);
    } else if (request.hibc) {
        result = HIBC_QRCodeEncode(request.data.c_str(), versionWord, request.level, &handle);
    } else {
        result = QRCodeEncode(request.data.c_str(), versionWord, request.level, &handle);
    }
    if (result != 0) {
        std::cerr << "qrkit: " << QRCodeGetErrorMessage(result) << "\n";
        return 1;
    }
    if (!request.image.path.empty()) {
        request.image.quietZone = request.quietZone;
        int status = qrkit_cli::writeImage(handle, request.image);
        DestroyQRCodeEncodeResult(handle);
        return status;
    }
    if (request.format == "font") {
        const char* text = QRCodeResultGetBarcodeString2(handle, request.separator.c_str());
        std::cout << (text ? text : "") << "\n";
    } else if (request.format == "rows") {
        std::cout << qrkit_cli::moduleRowsText(moduleRows(handle));
    } else {
        std::cout << qrkit_cli::terminalPicture(moduleRows(handle), request.quietZone);
    }
    DestroyQRCodeEncodeResult(handle);
    return 0;
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
    if (command == "parity") {
        if (argc != 3) return usageError("parity takes one DATA argument");
        std::cout << QRCodeGetParity(argv[2]) << "\n";
        return 0;
    }
    return usageError("unknown command " + command);
}
