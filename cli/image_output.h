// Image files written by the tool: the symbol inside a light quiet zone, painted through the library's
// paint exports.
#ifndef QRKIT_CLI_IMAGE_OUTPUT_H
#define QRKIT_CLI_IMAGE_OUTPUT_H

#include <cstdint>
#include <string>

#include "qrkit/qrkit.h"

namespace qrkit_cli {

struct ImageRequest {
    std::string path;
    std::string format;    // png, bmp, svg, eps or emf; empty: from the path's extension
    int moduleSize = -1;   // pixels (png, bmp) or 0.01 mm (svg, eps, emf); -1: 4 pixels or 25 (0.25 mm)
    int resolution = 300;  // dots per inch of the vector formats
    std::uint32_t foreColour = 0x000000;
    std::uint32_t backColour = 0xFFFFFF;
    int quietZone = 4;  // light modules added on every side
};

// The format named by a path's extension (lower case), or an empty text.
std::string formatFromPath(const std::string& path);
// Parses RRGGBB (an optional leading '#'); false when the text is not six hexadecimal digits.
bool parseColour(const std::string& text, std::uint32_t* colour);

// Writes the image; returns 0 or prints the reason to standard error and returns 1 (2 for a request
// the tool cannot understand).
int writeImage(QRCODE_RESULT handle, const ImageRequest& request);
// As writeImage, but stores the reason in *message instead of printing it (for callers on several
// threads).
int writeImage(QRCODE_RESULT handle, const ImageRequest& request, std::string* message);

}  // namespace qrkit_cli

#endif
