#include "cli/html_page.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/output_file.h"
#include "qrkit/objectmodel.h"

#if QRKIT_HAVE_FONT
#include "cli/qrfont_data.h"
#endif

namespace qrkit_cli {

namespace {

std::string cssColour(std::uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(colour & 0xFFFFFFu));
    return text;
}

// A CSS length in pixels: at most four decimals, no exponent.
std::string cssPixels(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string out = text;
    while (out.back() == '0')
        out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out + "px";
}

std::string fontData() {
#if QRKIT_HAVE_FONT
    return kQrFontWoff2Base64;
#else
    return "";
#endif
}

// Micro QR Code symbols are 11 to 17 modules wide, QR Code symbols 21 and more.
std::string symbolTitle(QRCODE_RESULT handle) {
    kelvane2::I2DBitPattern* pattern = nullptr;
    if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern)) != 0)
        return "QR Code";
    const bool micro = pattern->getColumns() < 21;
    pattern->Release();
    return micro ? "Micro QR Code" : "QR Code";
}

}  // namespace

bool htmlPagesAvailable() {
    return QRKIT_HAVE_FONT != 0;
}

std::string htmlPage(const std::string& fontString, const HtmlPageStyle& style) {
    const std::string fontSize = cssPixels(4 * style.moduleSize);
    const std::string padding = cssPixels(style.quietZone * style.moduleSize);
    // Everything that could move a module is pinned: one em of line height, no letter or word spacing,
    // no kerning, ligatures or synthetic bold and italic, no wrapping, no inherited indent or
    // transformation.
    const std::string symbolStyle =
        "display:inline-block;margin:0;padding:" + padding +
        ";border:0;background:" + cssColour(style.backColour) + ";color:" + cssColour(style.foreColour) +
        ";font-family:'qrkit QR';font-size:" + fontSize +
        ";font-style:normal;font-weight:normal;line-height:1;white-space:pre;letter-spacing:0;"
        "word-spacing:0;text-indent:0;text-align:left;text-transform:none;font-kerning:none;"
        "font-variant-ligatures:none;font-synthesis:none;-webkit-text-size-adjust:none;"
        "text-size-adjust:none";
    std::string page;
    page.reserve(fontString.size() + 2048 + std::strlen(fontData().c_str()));
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    page += style.title;
    page += "</title>\n<style>\n@font-face {\n  font-family: 'qrkit QR';\n  src: url(data:font/woff2;base64,";
    page += fontData();
    page +=
        ") format('woff2');\n  font-display: block;\n}\nhtml, body { margin: 0; padding: 0; }\n</style>\n";
    page += "</head>\n<body>\n<pre role=\"img\" aria-label=\"";
    page += style.title;
    page += "\" style=\"";
    page += symbolStyle;
    page += "\">";
    page += fontString;
    page += "</pre>\n</body>\n</html>\n";
    return page;
}

int symbolHtmlPage(QRCODE_RESULT handle, const ImageRequest& request, std::string* page,
                   std::string* message) {
    if (!htmlPagesAvailable()) {
        *message = "this qrkit was built without the qrkit QR font, so it cannot write HTML pages";
        return 1;
    }
    int size = 0;
    if (QRCodeResultGetBarcodeString(handle, nullptr, &size, "\n") != 0 || size <= 0) {
        *message = "the result holds no symbol";
        return 1;
    }
    std::vector<char> text(static_cast<std::size_t>(size));
    if (QRCodeResultGetBarcodeString(handle, text.data(), &size, "\n") != 0) {
        *message = "the result holds no symbol";
        return 1;
    }
    HtmlPageStyle style;
    style.moduleSize = request.moduleSize > 0 ? request.moduleSize : 4;
    style.title = symbolTitle(handle);
    // The tool's default quiet zone: 4 modules for QR Code, 2 for Micro QR Code.
    style.quietZone = request.quietZone >= 0 ? request.quietZone : style.title == "QR Code" ? 4 : 2;
    style.foreColour = request.foreColour;
    style.backColour = request.backColour;
    *page = htmlPage(std::string(text.data(), static_cast<std::size_t>(size)), style);
    return 0;
}

int writeHtmlPage(QRCODE_RESULT handle, const ImageRequest& request, std::string* message) {
    std::string page;
    if (symbolHtmlPage(handle, request, &page, message) != 0) return 1;
    if (request.path == "-") return writeStandardOutput(page, message) ? 0 : 3;
    if (!makeFoldersFor(request.path, message)) return 3;
    ReplacingFile file(request.path);
    if (!file.open(message)) return 3;
    kelvane2::platform::ULONG written = 0;
    file.stream()->Write(page.data(), static_cast<kelvane2::platform::ULONG>(page.size()), &written);
    return file.commit(message) ? 0 : 3;
}

}  // namespace qrkit_cli
