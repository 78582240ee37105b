// HTML pages of a symbol: its font string set in the qrkit QR font, which the page carries as a WOFF2
// data URI, inside a light quiet zone. The page needs nothing else: it can be opened in a browser, or its
// <style> and <pre> pasted into another page.
#ifndef QRKIT_CLI_HTML_PAGE_H
#define QRKIT_CLI_HTML_PAGE_H

#include <cstdint>
#include <string>

#include "cli/image_output.h"
#include "qrkit/qrkit.h"

namespace qrkit_cli {

struct HtmlPageStyle {
    double moduleSize = 4;  // CSS pixels a module, above 0; the font size is four modules
    int quietZone = 4;      // light modules on every side, 0-100
    std::uint32_t foreColour = 0x000000;
    std::uint32_t backColour = 0xFFFFFF;
    std::string title = "QR Code";
};

// Whether this build of the tool carries the font (it is built without it when fontTools was missing).
bool htmlPagesAvailable();

// The page of a font string whose lines are joined by line feeds.
std::string htmlPage(const std::string& fontString, const HtmlPageStyle& style);

// The page of the symbol behind handle, styled by the image request (module size in CSS pixels, default
// 4; colours; quiet zone). Returns 0 and the page in *page, or 1 and the reason in *message.
int symbolHtmlPage(QRCODE_RESULT handle, const ImageRequest& request, std::string* page,
                   std::string* message);

// Writes that page to request.path ('-' standard output), replacing an existing file only once the
// page is complete. Returns 0; 1 when the tool has no font; 3, with the path and the system's reason
// in *message, when the page cannot be written.
int writeHtmlPage(QRCODE_RESULT handle, const ImageRequest& request, std::string* message);

}  // namespace qrkit_cli

#endif
