#include "cli/image_output.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <memory>

#include "cli/html_page.h"
#include "encoder/qrresult.h"

namespace qrkit_cli {

namespace {

struct FormatRow {
    const char* name;
    int code;
    bool raster;
};

// The formats the tool writes, with their codes in the paint exports.
constexpr FormatRow kFormats[] = {
    {"png", 0, true}, {"svg", 1, false}, {"emf", 2, false}, {"eps", 3, false}, {"bmp", 4, true},
};

// The symbol with quietZone light modules on every side, as a bit pattern the paint exports accept.
kelvane2::Simple2DBitPattern* withQuietZone(QRCODE_RESULT handle, int quietZone) {
    kelvane2::I2DBitPattern* symbol = nullptr;
    if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&symbol)) != 0)
        return nullptr;
    const int rows = symbol->getRows();
    const int columns = symbol->getColumns();
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

}  // namespace

std::string formatFromPath(const std::string& path) {
    std::size_t dot = path.find_last_of('.');
    std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return extension;
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

int writeImage(QRCODE_RESULT handle, const ImageRequest& request) {
    std::string message;
    const int status = writeImage(handle, request, &message);
    if (status != 0) std::cerr << "qrkit: " << message << "\n";
    return status;
}

int writeImage(QRCODE_RESULT handle, const ImageRequest& request, std::string* message) {
    const std::string name = request.format.empty() ? formatFromPath(request.path) : request.format;
    if (name == "html" || name == "htm") return writeHtmlPage(handle, request, message);
    const FormatRow* format = nullptr;
    for (const FormatRow& row : kFormats) {
        if (name == row.name) format = &row;
    }
    if (format == nullptr) {
        *message = "cannot tell the image format of " + request.path +
                   "; use --format png, bmp, svg, eps, emf or html";
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
    // The paint exports call only QueryInterface on the handle, so any view of a pattern serves.
    auto* view = reinterpret_cast<QRCODE_RESULT>(static_cast<kelvane2::I2DBitPattern*>(padded.get()));
    const int moduleSize = request.moduleSize >= 0 ? request.moduleSize : (format->raster ? 4 : 25);
    const std::int32_t result =
        format->raster ? PaintQRCodeImageRaster(view, request.path.c_str(), moduleSize, request.foreColour,
                                                request.backColour, format->code)
                       : PaintQRCodeImageVector(view, request.path.c_str(), moduleSize, request.resolution,
                                                request.foreColour, request.backColour, format->code);
    switch (result) {
        case 0:
            return 0;
        case 8:
            *message =
                "the image cannot be made with these sizes (module size and resolution must be at least "
                "1, and the image must fit the format)";
            return 2;
        default:
            *message = request.path + ": " +
                       QRCodeGetErrorMessage(
                           static_cast<std::int32_t>(0x80520000u | static_cast<std::uint32_t>(result)));
            return 1;
    }
}

}  // namespace qrkit_cli
