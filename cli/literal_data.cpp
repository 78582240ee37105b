#include "cli/literal_data.h"

#include <cstdio>
#include <memory>

#include "cli/shift_jis.h"
#include "encoder/qrinput.h"

namespace qrkit_cli {

namespace {

namespace qe = kelvane2::qrencode;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The code point of the well-formed UTF-8 character at the start of bytes, as U+XXXX.
std::string codePointName(std::string_view character) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(character[k]) & 0x3Fu; };
    const auto lead = static_cast<unsigned char>(character[0]);
    unsigned value = lead;
    if (character.size() == 2) value = (lead & 0x1Fu) << 6 | byte(1);
    if (character.size() == 3) value = (lead & 0x0Fu) << 12 | byte(1) << 6 | byte(2);
    if (character.size() == 4) value = (lead & 0x07u) << 18 | byte(1) << 12 | byte(2) << 6 | byte(3);
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", value);
    return name;
}

// A Kanji block of Shift JIS pairs. Block text ends at the first ']' and a '~' starts an escape, so
// those two bytes (both possible second bytes of a pair) are written as decimal escapes.
std::string kanjiBlock(const std::string& pairs) {
    std::string block = "~4[";
    for (char c : pairs) {
        if (c == ']' || c == '~') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "~d%03u", static_cast<unsigned char>(c));
            block += escape;
        } else {
            block += c;
        }
    }
    return block + "]";
}

// What a reader returns for input-language text, as far as automatic ECI needs it: the bytes of its
// numeric, alphanumeric and byte segments, and whether it has a designator or Kanji of its own. False
// when the text does not parse.
bool readerBytes(std::string_view text, std::string* bytes, bool* ownDesignatorOrKanji) {
    qe::QRInput input(0, 0, 0);
    if (input.parse(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size())) != 0)
        return false;
    *ownDesignatorOrKanji = false;
    for (const qe::InputSegment& segment : input.segments) {
        switch (segment.mode) {
            case qe::kNumeric:
            case qe::kAlphanumeric:
            case qe::kByte:
                bytes->append(segment.data.begin(), segment.data.end());
                break;
            case qe::kKanji:
            case qe::kEci:
            case qe::kIndicator14:
            case qe::kIndicator15:
                *ownDesignatorOrKanji = true;
                break;
            default:
                break;
        }
    }
    return true;
}

}  // namespace

std::string escapeLiteral(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        if (c == '~') {
            text += "~~";
        } else if (c == '\0') {
            text += "~d000";
        } else {
            text += c;
        }
    }
    return text;
}

std::size_t utf8CharacterLength(std::string_view bytes, std::size_t at) {
    if (at >= bytes.size()) return 0;
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned low = 0x80;  // the range of the second byte, narrower after some leads
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[at + k]);
        if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return 0;
    }
    return length;
}

bool isUtf8(std::string_view bytes) {
    for (std::size_t p = 0; p < bytes.size();) {
        const std::size_t length = utf8CharacterLength(bytes, p);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

bool isAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::string eciEscape(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "~7%06d", number);
    return text;
}

int applicationIndicatorValue(std::string_view text) {
    if ((text.size() == 1 || text.size() == 2) && isDigit(text[0]) && isDigit(text.back()))
        return text.size() == 1 ? text[0] - '0' : (text[0] - '0') * 10 + (text[1] - '0');
    if (text.size() == 1 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')))
        return text[0] + 100;
    return -1;
}

std::size_t structuredAppendHeaderLength(std::string_view text) {
    // The parser reads "~2[" as a header only at the very start of at least four bytes.
    if (text.size() < 4 || text.substr(0, 3) != "~2[") return 0;
    std::size_t p = 3;
    while (p < text.size() && isDigit(text[p]))
        ++p;
    if (p == 3 || p + 1 >= text.size() || text[p] != ']' || text[p + 1] != '[') return 0;
    const std::size_t close = text.find(']', p + 2);
    return close == std::string_view::npos ? 0 : close + 1;
}

std::string checkDataOptions(const DataOptions& options, bool micro, bool hibc) {
    if (options.kanji && options.escapes)
        return "--kanji converts literal data; with --escapes write Kanji blocks as ~4[...]";
    if (hibc) {
        if (options.escapes) return "--escapes does not go with --hibc: HIBC data have no escapes";
        if (options.eci >= 0 || options.fnc1 != Fnc1::kNone || !options.overlay.empty() || options.kanji)
            return "--eci, --fnc1, --overlay and --kanji do not go with --hibc: the library formats HIBC "
                   "data "
                   "itself";
    }
    if (micro) {
        if (options.eci >= 0) return "Micro QR Code symbols have no ECI designators: leave out --eci";
        if (options.fnc1 != Fnc1::kNone) return "--fnc1 is for QR Code symbols, not --micro";
        if (!options.overlay.empty()) return "--overlay is for QR Code symbols, not --micro";
    }
    return "";
}

PreparedData prepareData(std::string_view data, const DataOptions& options, bool micro) {
    PreparedData out;
    std::string header;
    std::string body;
    bool singleBytesBeyondAscii = false;  // Shift JIS text with half-width katakana
    if (options.escapes) {
        // No escape holds a zero byte, and the encode call ends its text at one: it stands for itself
        // (inside a block too, where "~d000" reads as the same value).
        std::string text;
        for (char c : data)
            text += c == '\0' ? std::string("~d000") : std::string(1, c);
        // A structured-append header is read only at the very start: what the options add goes after it.
        // A malformed one is left where it is, for the library to report.
        if (text.size() >= 4 && text.compare(0, 3, "~2[") == 0 && structuredAppendHeaderLength(text) == 0) {
            out.input = text;
            return out;
        }
        const std::size_t length = structuredAppendHeaderLength(text);
        header = text.substr(0, length);
        body = text.substr(length);
    } else if (options.kanji && !isAscii(data)) {
        std::vector<ShiftJisRun> runs;
        std::string missing;
        if (utf8ToShiftJis(data, &runs, &missing)) {
            out.kanjiMode = true;
            for (const ShiftJisRun& run : runs) {
                if (run.kanji) {
                    body += kanjiBlock(run.bytes);
                } else {
                    body += escapeLiteral(run.bytes);
                    singleBytesBeyondAscii = singleBytesBeyondAscii || !isAscii(run.bytes);
                }
            }
        } else {
            out.notes.push_back(
                missing.empty()
                    ? "--kanji: the data are not UTF-8 text; they are encoded as they are"
                    : "--kanji: \"" + missing + "\" (" + codePointName(missing) +
                          ") has no Shift JIS code that reads back as itself; the text is encoded as UTF-8");
            body = escapeLiteral(data);
        }
    } else {
        body = escapeLiteral(data);
    }

    out.eci = options.eci >= 0 ? options.eci : kEciNone;
    if (options.eci == kEciAuto && !micro) {
        if (out.kanjiMode) {
            // Kanji mode is Shift JIS by definition; single bytes beyond ASCII need the designator.
            if (singleBytesBeyondAscii) out.eci = kEciShiftJis;
        } else {
            std::string bytes;
            bool ownDesignatorOrKanji = false;
            const bool known = options.escapes ? readerBytes(body, &bytes, &ownDesignatorOrKanji)
                                               : (bytes = std::string(data), true);
            if (known && !ownDesignatorOrKanji && !isAscii(bytes) && isUtf8(bytes)) out.eci = kEciUtf8;
        }
    }

    out.input = header;
    if (out.eci >= 0) out.input += eciEscape(out.eci);
    if (options.fnc1 == Fnc1::kFirst) out.input += "~1";
    if (options.fnc1 == Fnc1::kSecond)
        out.input += "~3[" + std::to_string(options.applicationIndicator) + "]";
    if (!options.overlay.empty()) out.input += "~50[" + options.overlay + "]";
    out.input += body;
    return out;
}

}  // namespace qrkit_cli
