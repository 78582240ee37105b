// Image files written by the tool: the symbol inside a light quiet zone, painted through the library's
// stream paint exports into a file that is replaced whole or not at all, or onto standard output.
#ifndef QRKIT_CLI_IMAGE_OUTPUT_H
#define QRKIT_CLI_IMAGE_OUTPUT_H

#include <cstdint>
#include <string>

#include "qrkit/qrkit.h"

namespace qrkit_cli {

// The largest raster image side in pixels, and the largest vector page side in 0.01 mm (5 m), that
// the tool paints without --force.
constexpr std::int64_t kRasterSideLimit = 32768;
constexpr std::int64_t kVectorSideLimit = 500000;

struct ImageRequest {
    std::string path;      // "-" for standard output
    std::string format;    // png, bmp, svg, eps or emf; empty: from the path's extension (png for "-")
    int moduleSize = -1;   // pixels (png, bmp) or 0.01 mm (svg, eps, emf); -1: 4 pixels or 25 (0.25 mm)
    int resolution = 300;  // dots per inch of the vector formats
    std::uint32_t foreColour = 0x000000;
    std::uint32_t backColour = 0xFFFFFF;
    int quietZone = -1;  // light modules added on every side; -1: 4, or 2 for Micro QR Code
    bool force = false;  // paint beyond the size limits, and binary images onto a terminal
};

// The image formats the tool writes, as a text for messages.
extern const char* const kImageFormatNames;
// The format a request writes: --format, else the path's extension (lower case), else png for standard
// output; empty when none is known.
std::string imageFormat(const ImageRequest& request);
// Whether name is a format the tool writes.
bool knownImageFormat(const std::string& name);
// The format named by a path's extension (lower case), or an empty text.
std::string formatFromPath(const std::string& path);
// Parses RRGGBB (an optional leading '#'); false when the text is not six hexadecimal digits.
bool parseColour(const std::string& text, std::uint32_t* colour);

// Writes the image and returns the exit status: 0; 2 for sizes beyond the limits, a format the tool
// does not know, or a binary image for a terminal; 3 when the file or standard output cannot be
// written. The reason goes into *message (callers on several threads print it themselves).
int writeImage(QRCODE_RESULT handle, const ImageRequest& request, std::string* message);

}  // namespace qrkit_cli

#endif
