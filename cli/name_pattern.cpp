#include "cli/name_pattern.h"

#include "cli/literal_data.h"

namespace qrkit_cli {

namespace {

// The code point of a well-formed UTF-8 character.
unsigned codePoint(std::string_view character) {
    const auto lead = static_cast<unsigned char>(character[0]);
    unsigned value = character.size() == 1   ? lead
                     : character.size() == 2 ? lead & 0x1Fu
                     : character.size() == 3 ? lead & 0x0Fu
                                             : lead & 0x07u;
    for (std::size_t k = 1; k < character.size(); ++k)
        value = value << 6 | (static_cast<unsigned char>(character[k]) & 0x3Fu);
    return value;
}

bool unsafeInNames(unsigned c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) return true;  // control characters
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            break;
    }
    // Invisible format characters that make a name read otherwise than it is: bidirectional marks,
    // embeddings, overrides and isolates, line and paragraph separators, the byte-order mark.
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029 || c == 0xFEFF;
}

}  // namespace

std::string safeName(std::string_view text) {
    std::string name;
    for (std::size_t p = 0; p < text.size();) {
        std::size_t length = utf8CharacterLength(text, p);
        std::string piece;
        if (length == 0) {
            piece = "_";
            length = 1;
        } else {
            const std::string_view character = text.substr(p, length);
            piece = unsafeInNames(codePoint(character)) ? std::string("_") : std::string(character);
        }
        if (name.size() + piece.size() > kSafeNameBytes) break;
        name += piece;
        p += length;
    }
    // "", "." and "..", and any other name of dots alone, start with '_' (within the length limit).
    if (name.find_first_not_of('.') == std::string::npos) {
        if (name.size() == kSafeNameBytes) name.pop_back();
        name.insert(name.begin(), '_');
    }
    return name;
}

std::size_t decimalWidth(std::size_t number) {
    std::size_t width = 1;
    while (number >= 10) {
        number /= 10;
        ++width;
    }
    return width;
}

std::string zeroPadded(std::size_t number, std::size_t width) {
    std::string digits = std::to_string(number);
    return digits.size() >= width ? digits : std::string(width - digits.size(), '0') + digits;
}

std::vector<PatternPiece> parsePattern(std::string_view pattern) {
    std::vector<PatternPiece> pieces;
    auto addText = [&](std::string_view text) {
        if (pieces.empty() || pieces.back().kind != PatternPiece::kText) pieces.push_back(PatternPiece{});
        pieces.back().text += text;
    };
    for (std::size_t p = 0; p < pattern.size();) {
        const std::size_t close =
            pattern[p] == '{' ? pattern.find_first_of("{}/", p + 1) : std::string_view::npos;
        if (close == std::string_view::npos || pattern[close] != '}' || close == p + 1) {
            addText(pattern.substr(p, 1));
            ++p;
            continue;
        }
        const std::string_view name = pattern.substr(p + 1, close - p - 1);
        PatternPiece piece;
        piece.kind = name == "n"       ? PatternPiece::kNumber
                     : name == "line"  ? PatternPiece::kLine
                     : name == "field" ? PatternPiece::kField
                                       : PatternPiece::kColumn;
        if (piece.kind == PatternPiece::kColumn) piece.text = std::string(name);
        pieces.push_back(piece);
        p = close + 1;
    }
    return pieces;
}

bool hasPlaceholder(const std::vector<PatternPiece>& pieces) {
    for (const PatternPiece& piece : pieces) {
        if (piece.kind != PatternPiece::kText) return true;
    }
    return false;
}

bool expandPattern(const std::vector<PatternPiece>& pieces, const NameValues& values, std::string* name,
                   std::string* error) {
    name->clear();
    for (const PatternPiece& piece : pieces) {
        switch (piece.kind) {
            case PatternPiece::kText:
                *name += piece.text;
                break;
            case PatternPiece::kNumber:
                *name += zeroPadded(values.number, values.numberWidth);
                break;
            case PatternPiece::kLine:
                *name += zeroPadded(static_cast<std::size_t>(values.line), values.lineWidth);
                break;
            case PatternPiece::kField:
                *name += safeName(values.field);
                break;
            case PatternPiece::kColumn:
                if (values.columns == nullptr || piece.column >= values.columns->size()) {
                    *error = "the row has no column " + piece.text + " for the file name";
                    return false;
                }
                *name += safeName((*values.columns)[piece.column]);
                break;
        }
    }
    return true;
}

}  // namespace qrkit_cli
