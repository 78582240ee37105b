// The tool's data as the library's input language: literal bytes escaped, the designators and markers
// of the data options put in front, Japanese text turned into Kanji blocks.
//
// The tool takes its data as bytes. Before the encode call every '~' becomes "~~" and every zero byte
// "~d000", so that any byte string, binary data included, encodes exactly as it stands; under
// --escapes the data are input-language text and pass unchanged. Plain functions, shared by the tool
// and its fuzz target.
#ifndef QRKIT_CLI_LITERAL_DATA_H
#define QRKIT_CLI_LITERAL_DATA_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qrkit_cli {

// ECI numbers of the data options: an assignment number 0-999999, or one of these.
constexpr int kEciAuto = -1;  // ECI 26 in front of data that are UTF-8 text and not plain ASCII
constexpr int kEciNone = -2;  // no designator
constexpr int kEciUtf8 = 26;
constexpr int kEciShiftJis = 20;
constexpr int kEciLargest = 999999;

// FNC1 of the data options.
enum class Fnc1 { kNone, kFirst, kSecond };

// How the data of one symbol become the input of the encode call.
struct DataOptions {
    bool escapes = false;  // the data are written in the input language
    int eci = kEciAuto;
    Fnc1 fnc1 = Fnc1::kNone;
    int applicationIndicator = 0;  // FNC1 in second position: 0-99, or 165-190 and 197-222 (A-Z, a-z)
    std::string overlay;           // the text of a center overlay block (":swiss7" or overlay text)
    bool kanji = false;            // UTF-8 Japanese text to Shift JIS Kanji mode
};

// The input-language text that stands for bytes exactly: every '~' as "~~", every zero byte as
// "~d000", every other byte as itself.
std::string escapeLiteral(std::string_view bytes);

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isUtf8(std::string_view bytes);
// Whether every byte is below 0x80.
bool isAscii(std::string_view bytes);
// The length of the UTF-8 character that starts at bytes[at], or 0 when no well-formed one does.
std::size_t utf8CharacterLength(std::string_view bytes, std::size_t at);

// The designator escape of an ECI assignment number 0-999999: "~7" and six digits.
std::string eciEscape(int number);
// The application indicator of FNC1 in second position written as text: two digits ("00"-"99") or a
// letter (A-Z, a-z). Returns the value the encoder takes (0-99, or the letter's code + 100), or -1.
int applicationIndicatorValue(std::string_view text);

// The length of the structured-append header ("~2[P][T]" or "~2[P][T,Y]") that input-language text
// starts with, or 0 when it starts with none.
std::size_t structuredAppendHeaderLength(std::string_view text);

// Why the data options do not suit the symbol kind, or an empty text.
std::string checkDataOptions(const DataOptions& options, bool micro, bool hibc);

// The input of one encode call.
struct PreparedData {
    std::string input;               // input-language text for the library
    int eci = kEciNone;              // the designator put in front, or kEciNone
    bool kanjiMode = false;          // Japanese text was turned into Kanji blocks
    std::vector<std::string> notes;  // what the tool decided that the user should hear of
};

// The input for data (bytes; input-language text under options.escapes) and the options (already
// checked with checkDataOptions). In order: a structured-append header of escaped data, the ECI
// designator, the FNC1 marker, the overlay block, then the data (escaped data with every zero byte as
// ~d000, since no escape holds one). An automatic ECI goes only into QR
// Code symbols (Micro QR Code has no designators).
PreparedData prepareData(std::string_view data, const DataOptions& options, bool micro);

}  // namespace qrkit_cli

#endif
