// UTF-8 text in Shift JIS for the Kanji mode of QR Code (JIS X 0208 through the C library's iconv).
#ifndef QRKIT_CLI_SHIFT_JIS_H
#define QRKIT_CLI_SHIFT_JIS_H

#include <string>
#include <string_view>
#include <vector>

namespace qrkit_cli {

// One piece of converted text: a run of characters that Kanji mode holds (two Shift JIS bytes each,
// in 0x8140-0x9FFC or 0xE040-0xEBBF), or a run of single bytes (ASCII and half-width katakana).
struct ShiftJisRun {
    bool kanji = false;
    std::string bytes;
};

// Converts UTF-8 text character by character. ASCII stays as it is, but for '\' and '~', which readers
// of Shift JIS show as the yen sign and an overline; every other character must have a Shift JIS code
// that converts back to the same character. Returns false, with the first character
// that has none in *missing (its UTF-8 bytes), when the text is not UTF-8 (*missing then empty) or a
// character cannot be converted.
bool utf8ToShiftJis(std::string_view utf8, std::vector<ShiftJisRun>* runs, std::string* missing);

// Shift JIS bytes back to UTF-8; false when they do not convert.
bool shiftJisToUtf8(std::string_view sjis, std::string* utf8);

}  // namespace qrkit_cli

#endif
