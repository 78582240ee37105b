// Pictures of typeset font strings: PNG files in and out, crops, the box of the dark pixels, and what
// the readers make of a picture.
#ifndef QRKIT_TESTS_SUPPORT_RENDERING_H
#define QRKIT_TESTS_SUPPORT_RENDERING_H

#include <string>

#include "support/decode.h"

namespace qrkit_test {

// Reads a PNG file as 8-bit grey, transparency composited onto white. False when it cannot.
bool readPng(const std::string& path, GreyImage* image);
// Writes an 8-bit grey PNG file. False when it cannot.
bool writePng(const std::string& path, const GreyImage& image);

// The part of image inside the rectangle, clipped to the image.
GreyImage crop(const GreyImage& image, int left, int top, int width, int height);

// The smallest rectangle holding every pixel darker than mid grey; right and bottom are one past.
struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};
PixelBox darkBox(const GreyImage& image);

// What zbar and zxing-cpp read from a picture. Both run in a child process, so that a reader that fails
// an assertion on an odd picture (zxing-cpp 1.4 can) reports a failed read instead of ending the tests.
struct PictureReading {
    Decoded zbar;
    Decoded zxing;
};
PictureReading readPicture(const GreyImage& image);

}  // namespace qrkit_test

#endif
