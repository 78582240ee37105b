// Symbols whose font strings the native build writes into tests/windows/golden/symbols.txt and the
// Windows build must reproduce through qrkit.dll: one row per encode export and input feature.
// Shared by the native golden test (which checks and, on request, rewrites the file) and the Windows
// tests. Plain C++: no platform headers.
#ifndef QRKIT_TESTS_WINDOWS_GOLDEN_CASES_H
#define QRKIT_TESTS_WINDOWS_GOLDEN_CASES_H

#include <cstdint>
#include <istream>
#include <map>
#include <string>

namespace golden {

enum class Export { kQr, kQr2, kQr2W, kMicro, kMicro2, kHibc, kHibc2, kQrOptimal, kMicroOptimal };

struct Case {
    const char* name;
    Export via;
    const char* data;      // narrow exports
    const char16_t* wide;  // QRCodeEncode2W
    int versionWord;
    int ecLevel;
};

inline const Case kCases[] = {
    {"qr numeric 12345", Export::kQr, "12345", nullptr, 0, 0},
    {"qr alphanumeric level Q", Export::kQr, "HELLO WORLD", nullptr, 0, 2},
    {"qr bytes level H", Export::kQr2, "qrkit.dll on Windows", nullptr, 0, 3},
    {"qr minimum version 5", Export::kQr, "12345", nullptr, 5, 1},
    {"qr strict version 3", Export::kQr2, "STRICT", nullptr, 0x8003, 1},
    {"qr forced byte mode", Export::kQr, "0123456789", nullptr, 0x0400, 0},
    {"qr escapes, Kanji and the Swiss cross", Export::kQr,
     "~50[:swiss7]MEMORY 0123456789 ~4[~d147~d095]~d009tab", nullptr, 0, 2},
    {"qr version 40", Export::kQr2, "1", nullptr, 40, 0},
    {"micro M1", Export::kMicro, "12345", nullptr, 0, 0},
    {"micro from M2, level M", Export::kMicro2, "ABC123", nullptr, 2, 1},
    {"micro M4 level Q", Export::kMicro, "MICRO QR", nullptr, 4, 2},
    {"hibc", Export::kHibc, "a123bjc5d6e71", nullptr, 0, 1},
    {"hibc2 level H", Export::kHibc2, "+A99912345/$$52001510X3", nullptr, 0, 3},
    {"wide Latin-1", Export::kQr2W, nullptr, u"Gr\u00FC\u00DFe", 0, 1},
    {"wide beyond Latin-1: euro, Greek, CJK", Export::kQr2W, nullptr,
     u"Gr\u00FC\u00DFe \u20AC \u03B1\u03B2\u03B3 \u65E5\u672C", 0, 1},
    {"wide surrogate pair", Export::kQr2W, nullptr, u"smile \U0001F600", 0, 0},
    {"optimal URL with an identifier", Export::kQrOptimal, "https://example.com/item/123456789012", nullptr,
     0, 0},
    {"optimal FNC1, Shift JIS and digits", Export::kQrOptimal,
     "~1AB%CD\x93\xFA\x96\x7B"
     "12345678",
     nullptr, 0, 1},
    {"optimal micro capital and digits", Export::kMicroOptimal, "A1234567", nullptr, 0, 0},
};

// Image files of one symbol written by the native build (golden/<file>); qrkit.dll must write the same
// bytes (for PNG: the same chunks and the same pixels, apart from the time of writing).
inline constexpr const char* kImageData = "HELLO WORLD";
inline constexpr int kImageLevel = 2;

struct Image {
    const char* file;
    bool raster;  // PaintQRCodeImageRaster, else PaintQRCodeImageVector
    int moduleSize;
    int resolution;  // vector only
    unsigned foreColour;
    unsigned backColour;
    int format;
};

inline const Image kImages[] = {
    {"hello.png", true, 4, 0, 0x000000, 0xFFFFFF, 0},
    {"hello-colours.png", true, 3, 0, 0x102030, 0xF0E0D0, 0},
    {"hello.bmp", true, 4, 0, 0x000080, 0xFFFFF0, 4},
    {"hello.svg", false, 50, 300, 0x000000, 0xFFFFFF, 1},
    {"hello.eps", false, 33, 600, 0x0000FF, 0xFFFF00, 3},
};

// The separator of the font strings in the file.
inline constexpr const char* kSeparator = "\n";

struct Symbol {
    int version = 0;
    std::string fontString;
};

// Reads the file: for each case a line "[name]", a line "version N", the font string's lines, and an
// empty line. Lines starting with '#' are comments.
inline std::map<std::string, Symbol> read(std::istream& in) {
    std::map<std::string, Symbol> symbols;
    std::string line;
    std::string name;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            name.clear();
        } else if (line[0] == '#') {
            continue;
        } else if (line[0] == '[' && line.back() == ']') {
            name = line.substr(1, line.size() - 2);
            symbols[name] = Symbol{};
        } else if (!name.empty() && line.rfind("version ", 0) == 0) {
            symbols[name].version = std::stoi(line.substr(8));
        } else if (!name.empty()) {
            std::string& text = symbols[name].fontString;
            if (!text.empty()) text += kSeparator;
            text += line;
        }
    }
    return symbols;
}

}  // namespace golden

#endif
