// Readable text of a segment list for the input tests: "Mode bytes | Mode bytes", printable ASCII as
// itself and every other byte as {HH}.
#ifndef QRKIT_TESTS_SEGMENT_TEXT_H
#define QRKIT_TESTS_SEGMENT_TEXT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "encoder/qrinput.h"

namespace kelvane2::qrencode::testing {

inline const char* modeName(int mode) {
    static const char* const kNames[] = {"Numeric",          "Alphanumeric", "Byte",        "Kanji",
                                         "StructuredAppend", "Eci",          "Indicator14", "Indicator15",
                                         "Fnc1First",        "Fnc1Second"};
    return mode >= 0 && mode <= 9 ? kNames[mode] : "?";
}

inline std::string segmentText(const SegmentList& segments) {
    std::string text;
    for (const InputSegment& segment : segments) {
        if (!text.empty()) text += " | ";
        text += modeName(segment.mode);
        if (!segment.data.empty()) text += ' ';
        for (std::uint8_t byte : segment.data) {
            bool plain = byte >= 0x20 && byte < 0x7F && byte != '{' && byte != '}';
            if (plain) {
                text += static_cast<char>(byte);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "{%02X}", byte);
                text += hex;
            }
        }
    }
    return text;
}

// The bytes of a text in a heap block of exactly its length, so that a read beyond it is caught.
inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace kelvane2::qrencode::testing

#endif
