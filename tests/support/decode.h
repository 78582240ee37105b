// In-process decoding of module matrices by zbar and zxing-cpp, the independent readers every symbol
// is checked against.
#ifndef QRKIT_TESTS_SUPPORT_DECODE_H
#define QRKIT_TESTS_SUPPORT_DECODE_H

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/objectmodel.h"

namespace qrkit_test {

// A module matrix, row-major, one byte per module (1 dark). No quiet zone.
struct ModuleMatrix {
    int rows = 0;
    int columns = 0;
    std::vector<std::uint8_t> modules;

    // From rows of module text: '1' dark, any other character light; rows may differ in length (the
    // widest sets the column count).
    static ModuleMatrix fromText(const std::vector<std::string>& lines);
    // From any object answering I2DBitPattern.
    static ModuleMatrix fromPattern(kelvane2::IObjectBase* object);
    // From width x width bytes whose bit 0 is the module.
    static ModuleMatrix fromBytes(const std::uint8_t* bytes, int width);

    int at(int row, int column) const { return modules[static_cast<std::size_t>(row) * columns + column]; }
    std::vector<std::string> toText() const;
};

// An 8-bit grey picture (0 dark, 255 light) of a matrix with a quiet zone of quietModules on every side
// and pixelsPerModule pixels per module.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};
GreyImage renderMatrix(const ModuleMatrix& matrix, int pixelsPerModule = 4, int quietModules = 4);

// What a reader found. Fields a reader does not report keep their "unknown" value.
struct Decoded {
    bool ok = false;
    std::string bytes;       // the data as raw bytes (Kanji as Shift JIS, ECI data unconverted)
    std::string text;        // zxing-cpp, and zbar through decodeTextWithZbar: the data as text, UTF-8
    bool microQr = false;    // zxing-cpp: the symbol was read as Micro QR Code
    int ecLevel = -1;        // zxing-cpp: 0 L, 1 M, 2 Q, 3 H; -1 unknown
    int sequenceIndex = -1;  // zxing-cpp: structured append position, 0-based; -1 none
    int sequenceSize = -1;   // zxing-cpp: structured append total; -1 none
    std::string sequenceId;  // zxing-cpp: the parity as decimal text
    std::string symbology;   // zxing-cpp: symbology identifier, e.g. "]Q1"
    bool hasEci = false;     // zxing-cpp: an ECI designator was read
    int fnc1 = -1;           // 0 none, 1 first position, 2 second position; -1 unknown
    std::string message;     // why nothing was read, for failure output
};

// zbar (QR Code only) with raw binary output: the symbol's data bytes, FNC1 kind from its modifiers.
// zbar returns nothing for a lone structured-append symbol.
Decoded decodeWithZbar(const ModuleMatrix& matrix);
// zbar's text (QR Code only), as applications show it: converted to UTF-8 by zbar's ECI handling and
// character set guess, in the text field (bytes stay empty).
Decoded decodeTextWithZbar(const ModuleMatrix& matrix);
// zxing-cpp 1.4 (QR Code and Micro QR Code).
Decoded decodeWithZxing(const ModuleMatrix& matrix);

// A picture read as it is (no quiet zone added), QR Code only: zbar as above, zxing-cpp with its
// default hints.
Decoded decodePictureWithZbar(const GreyImage& picture);
Decoded decodePictureWithZxing(const GreyImage& picture);

// Where a reader cannot be built (the i386 build has no zxing-cpp), the answers it gave the 64-bit
// build's run of these tests stand in for it: see support/decode_record.h.

// The same readers on a picture, such as a scan or a rendering of typeset text: zbar as above, and
// zxing-cpp with its detector alone (no pure-symbol fallback, which needs a picture with nothing but the
// symbol in it), QR Code and Micro QR Code, first with its local-average binarizer, then with its
// global-histogram one.
Decoded decodeImageWithZbar(const GreyImage& image);
Decoded decodeImageWithZxing(const GreyImage& image);

// Printable form of bytes for failure messages: printable ASCII as is, others as \xHH.
std::string printable(const std::string& bytes);

}  // namespace qrkit_test

#endif
