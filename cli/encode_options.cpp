#include "cli/encode_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "encoder/hibc.h"

namespace qrkit_cli {

namespace {

bool parseNumber(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

OptionRead readSymbolOption(int argc, char** argv, int* i, SymbolSettings* settings, std::string* error) {
    static const char* const kLevels = "LMQH";
    static const char* const kModes[] = {"auto", "narrowest", "numeric", "alphanumeric", "byte"};
    const std::string arg = argv[*i];
    const char* value = *i + 1 < argc ? argv[*i + 1] : nullptr;
    auto bad = [&](const char* message) {
        *error = message;
        return OptionRead::kBad;
    };
    if (arg == "--strict") {
        settings->strict = true;
    } else if (arg == "--micro") {
        settings->micro = true;
    } else if (arg == "--hibc") {
        settings->hibc = true;
    } else if (arg == "--level") {
        if (value == nullptr || std::strlen(value) != 1 || value[0] == '\0' ||
            !std::strchr(kLevels, value[0]))
            return bad("--level takes L, M, Q or H");
        settings->level = static_cast<int>(std::strchr(kLevels, value[0]) - kLevels);
        ++*i;
    } else if (arg == "--min-version") {
        if (value == nullptr || !parseNumber(value, 0, 40, &settings->minVersion))
            return bad("--min-version takes a version from 0 to 40");
        ++*i;
    } else if (arg == "--mode") {
        int found = -1;
        for (int m = 0; value != nullptr && m < 5; ++m) {
            if (std::strcmp(value, kModes[m]) == 0) found = m;
        }
        if (found < 0) return bad("--mode takes auto, narrowest, numeric, alphanumeric or byte");
        settings->forcedMode = found;
        ++*i;
    } else if (arg == "--segmentation") {
        if (value == nullptr || (std::strcmp(value, "greedy") != 0 && std::strcmp(value, "optimal") != 0))
            return bad("--segmentation takes greedy or optimal");
        settings->optimal = std::strcmp(value, "optimal") == 0;
        ++*i;
    } else {
        return OptionRead::kNotMine;
    }
    return OptionRead::kTaken;
}

OptionRead readImageOption(int argc, char** argv, int* i, ImageRequest* image, int* quietZone,
                           std::string* error) {
    const std::string arg = argv[*i];
    const char* value = *i + 1 < argc ? argv[*i + 1] : nullptr;
    auto bad = [&](const std::string& message) {
        *error = message;
        return OptionRead::kBad;
    };
    if (arg == "-o" || arg == "--output") {
        if (value == nullptr) return bad("-o takes a file name");
        image->path = value;
    } else if (arg == "--format") {
        if (value == nullptr) return bad("--format takes png, bmp, svg, eps or emf");
        image->format = value;
    } else if (arg == "--module-size") {
        if (value == nullptr || !parseNumber(value, 1, 100000, &image->moduleSize))
            return bad("--module-size takes a number from 1 to 100000");
    } else if (arg == "--dpi") {
        if (value == nullptr || !parseNumber(value, 1, 100000, &image->resolution))
            return bad("--dpi takes a number from 1 to 100000");
    } else if (arg == "--fg" || arg == "--bg") {
        std::uint32_t* colour = arg == "--fg" ? &image->foreColour : &image->backColour;
        if (value == nullptr || !parseColour(value, colour)) return bad(arg + " takes a colour RRGGBB");
    } else if (arg == "--quiet-zone") {
        if (value == nullptr || !parseNumber(value, 0, 100, quietZone))
            return bad("--quiet-zone takes a number of modules from 0 to 100");
    } else {
        return OptionRead::kNotMine;
    }
    ++*i;
    return OptionRead::kTaken;
}

std::string checkSymbolSettings(const SymbolSettings& settings) {
    if (settings.micro && settings.hibc) return "--micro and --hibc do not go together";
    if (settings.micro && (settings.strict || settings.forcedMode != 0))
        return "--strict and --mode are for QR Code symbols, not --micro";
    if (settings.micro && settings.minVersion > 4) return "Micro QR Code versions are 1 to 4";
    return "";
}

std::int32_t encodeSymbol(const std::string& data, const SymbolSettings& settings, QRCODE_RESULT* out) {
    if (settings.optimal) {
        if (settings.micro)
            return MicroQRCodeEncodeOptimal(data.c_str(), settings.minVersion, settings.level, out);
        if (settings.hibc) {
            namespace qe = kelvane2::qrencode;
            return qe::encodeHibc(data.c_str(), qe::EncodeOptions{settings.versionWord(), settings.level, -1},
                                  out, qe::Segmentation::kOptimal);
        }
        return QRCodeEncodeOptimal(data.c_str(), settings.versionWord(), settings.level, out);
    }
    if (settings.micro) return MicroQRCodeEncode(data.c_str(), settings.minVersion, settings.level, out);
    if (settings.hibc) return HIBC_QRCodeEncode(data.c_str(), settings.versionWord(), settings.level, out);
    return QRCodeEncode(data.c_str(), settings.versionWord(), settings.level, out);
}

bool readInputFile(const std::string& path, std::string* out) {
    if (path == "-") {
        out->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        // A directory opens as a stream on Linux, and reading it throws.
        errno = EISDIR;
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    out->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

int usageFailure(const std::string& message) {
    std::cerr << "qrkit: " << message << "\n(see qrkit --help)\n";
    return 2;
}

}  // namespace qrkit_cli
