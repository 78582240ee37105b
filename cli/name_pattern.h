// File names from an -o pattern: {n} the record (or symbol) number, {line} the line a record starts on,
// {field} its data, {NAME} or {N} the CSV column headed NAME or numbered N. Numbers are zero-padded to
// a common width; data become safe names that keep Unicode letters and can never leave the folder the
// pattern names. Plain functions, shared by the tool and its fuzz target.
#ifndef QRKIT_CLI_NAME_PATTERN_H
#define QRKIT_CLI_NAME_PATTERN_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qrkit_cli {

// The longest name part that data make, in bytes (cut at a character boundary).
constexpr std::size_t kSafeNameBytes = 120;

// text as one file name part: every character that is unsafe in file names (line breaks and other
// control characters, '/', '\', ':', '*', '?', '"', '<', '>', '|', bidirectional and other invisible
// format characters, bytes that are not UTF-8) becomes '_'; everything else, Unicode letters included,
// stays. At most kSafeNameBytes; never empty, "." or "..".
std::string safeName(std::string_view text);

// The number of decimal digits of number (1 for 0).
std::size_t decimalWidth(std::size_t number);
// number in at least width digits, zeros in front.
std::string zeroPadded(std::size_t number, std::size_t width);

struct PatternPiece {
    enum Kind { kText, kNumber, kLine, kField, kColumn };
    Kind kind = kText;
    std::string text;        // kText: the text; kColumn: the column's name or number as written
    std::size_t column = 0;  // kColumn: the column's index from 0, set by the caller
};

// The pieces of a pattern. "{n}", "{line}" and "{field}" are the built-in placeholders; any other
// "{...}" without '{', '}' or '/' inside names a column; a brace that opens nothing stays text.
std::vector<PatternPiece> parsePattern(std::string_view pattern);
// Whether the pieces hold any placeholder (so that names can differ from record to record).
bool hasPlaceholder(const std::vector<PatternPiece>& pieces);

// What one name is made of.
struct NameValues {
    std::size_t number = 0;
    std::size_t numberWidth = 1;
    int line = 0;
    std::size_t lineWidth = 1;
    std::string_view field;
    const std::vector<std::string>* columns = nullptr;  // the record's CSV row, if any
};

// The name the pieces give for values. False, with the reason in *error, when a column piece names a
// column the row does not have.
bool expandPattern(const std::vector<PatternPiece>& pieces, const NameValues& values, std::string* name,
                   std::string* error);

}  // namespace qrkit_cli

#endif
