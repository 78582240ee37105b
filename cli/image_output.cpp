#include "cli/image_output.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/html_page.h"
#include "cli/input_source.h"
#include "cli/output_file.h"
#include "encoder/qrresult.h"
#include "imaging/geometry.h"
#include "qrkit/qrkit_paint.h"

namespace qrkit_cli {

namespace {

struct FormatRow {
    const char* name;
    int code;  // the format code of the paint exports
    bool raster;
    bool binary;  // not for a terminal
};

// The formats the tool writes.
constexpr FormatRow kFormats[] = {
    {"png", 0, true, true},   {"bmp", 4, true, true},  {"svg", 1, false, false},
    {"eps", 3, false, false}, {"emf", 2, false, true},
};

const FormatRow* findFormat(const std::string& name) {
    for (const FormatRow& row : kFormats) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

// The symbol with quietZone light modules on every side, as a bit pattern the paint exports accept.
kelvane2::Simple2DBitPattern* withQuietZone(QRCODE_RESULT handle, int quietZone) {
    kelvane2::I2DBitPattern* symbol = nullptr;
    if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&symbol)) != 0)
        return nullptr;
    const int rows = symbol->getRows();
    const int columns = symbol->getColumns();
    if (quietZone < 0) quietZone = rows < 21 ? 2 : 4;  // Micro QR Code symbols are 11 to 17 modules
    auto* padded = new kelvane2::Simple2DBitPattern(rows + 2 * quietZone, columns + 2 * quietZone);
    padded->AddRef();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (symbol->getModule(r, c) != 0) padded->setModule(r + quietZone, c + quietZone, true);
        }
    }
    symbol->Release();
    return padded;
}

std::string withThousands(std::int64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

// Why the image is beyond the tool's size limits, or an empty text.
std::string sizeBeyondLimits(const FormatRow& format, int modules, int moduleSize, int resolution) {
    char text[256];
    if (format.raster) {
        const std::int64_t side = static_cast<std::int64_t>(modules) * moduleSize;
        if (side <= kRasterSideLimit) return "";
        std::snprintf(text, sizeof text,
                      "the image would be %s pixels a side; the tool paints at most %s (--module-size %lld "
                      "at most here, or --force)",
                      withThousands(side).c_str(), withThousands(kRasterSideLimit).c_str(),
                      static_cast<long long>(kRasterSideLimit / modules));
        return text;
    }
    const std::int64_t side =
        static_cast<std::int64_t>(modules) * kelvane2::imaging::snapModuleSize(moduleSize, resolution);
    if (side <= kVectorSideLimit) return "";
    std::snprintf(text, sizeof text,
                  "the page would be %.2f m a side; the tool paints at most 5 m (a smaller --module-size, or "
                  "--force)",
                  static_cast<double>(side) / 100000.0);
    return text;
}

}  // namespace

const char* const kImageFormatNames = "png, bmp, svg, eps, emf or html";

std::string formatFromPath(const std::string& path) {
    std::size_t dot = path.find_last_of('.');
    std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return extension;
}

std::string imageFormat(const ImageRequest& request) {
    if (!request.format.empty()) return request.format;
    if (request.path == "-") return "png";
    return formatFromPath(request.path);
}

bool knownImageFormat(const std::string& name) {
    return findFormat(name) != nullptr || name == "html" || name == "htm";
}

bool parseColour(const std::string& text, std::uint32_t* colour) {
    std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (digits.size() != 6 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char ch) { return std::isxdigit(ch) != 0; })) {
        return false;
    }
    *colour = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
    return true;
}

int writeImage(QRCODE_RESULT handle, const ImageRequest& request, std::string* message) {
    const std::string name = imageFormat(request);
    // A page that sets the font string in the qrkit QR font, which it carries.
    if (name == "html" || name == "htm") return writeHtmlPage(handle, request, message);
    const FormatRow* format = findFormat(name);
    if (format == nullptr) {
        *message = "cannot tell the image format of " + request.path + "; use --format " + kImageFormatNames;
        return 2;
    }
    std::unique_ptr<kelvane2::Simple2DBitPattern, void (*)(kelvane2::Simple2DBitPattern*)> padded(
        withQuietZone(handle, request.quietZone), [](kelvane2::Simple2DBitPattern* p) {
            if (p != nullptr) p->Release();
        });
    if (!padded) {
        *message = "the result holds no symbol";
        return 1;
    }
    const int moduleSize = request.moduleSize >= 0 ? request.moduleSize : (format->raster ? 4 : 25);
    if (!request.force) {
        *message = sizeBeyondLimits(*format, padded->getRows(), moduleSize, request.resolution);
        if (!message->empty()) return 2;
    }

    const bool toStandardOutput = request.path == "-";
    if (toStandardOutput && format->binary && !request.force && !standardOutputClosed() &&
        ::isatty(STDOUT_FILENO) != 0) {
        *message =
            "standard output is a terminal: redirect it to a file or a program, or name a file with -o";
        return 2;
    }
    if (toStandardOutput && standardOutputClosed()) {
        *message = "cannot write to standard output: it is closed";
        return 3;
    }
    std::unique_ptr<ReplacingFile> file;
    std::unique_ptr<DescriptorStream> standardOutput;
    DescriptorStream* stream = nullptr;
    if (toStandardOutput) {
        standardOutput = std::make_unique<DescriptorStream>(STDOUT_FILENO);
        stream = standardOutput.get();
    } else {
        if (!makeFoldersFor(request.path, message)) return 3;
        file = std::make_unique<ReplacingFile>(request.path);
        if (!file->open(message)) return 3;
        stream = file->stream();
    }

    // The paint exports call only QueryInterface on the handle, so any view of a pattern serves.
    auto* view = reinterpret_cast<QRCODE_RESULT>(static_cast<kelvane2::I2DBitPattern*>(padded.get()));
    const std::int32_t result =
        format->raster ? PaintQRCodeImageRaster2(view, stream, moduleSize, request.foreColour,
                                                 request.backColour, format->code)
                       : PaintQRCodeImageVector2(view, stream, moduleSize, request.resolution,
                                                 request.foreColour, request.backColour, format->code);
    const std::string where = toStandardOutput ? std::string("standard output") : request.path;
    switch (result) {
        case 0:
            break;
        case 8:
            *message =
                "the image cannot be made with these sizes (module size and resolution must be at least "
                "1, and the image must fit the format)";
            return 2;
        case 11:
            *message = "out of memory painting " + where;
            return 3;
        default:
            *message =
                "cannot write " + where + ": " +
                (stream->failure() != 0 ? std::strerror(stream->failure()) : "the image was not completed");
            return 3;
    }
    if (file && !file->commit(message)) return 3;
    return 0;
}

}  // namespace qrkit_cli
