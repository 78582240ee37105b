#include "cli/messages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/literal_data.h"
#include "encoder/hibc.h"
#include "encoder/micro_input.h"
#include "encoder/objectmodel.h"
#include "encoder/qrinput.h"
#include "encoder/tables.h"

namespace qrkit_cli {

namespace {

namespace qe = kelvane2::qrencode;

constexpr char kLevelNames[] = "LMQH";
constexpr char kHibcSet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";

std::string withThousands(long long value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t k = 0; k < items.size(); ++k)
        text += (k == 0 ? "" : k + 1 == items.size() ? " or " : ", ") + items[k];
    return text;
}

// The bits the data take and what the largest allowed symbol holds, for data that are too long.
std::string tooLong(const std::string& input, const SymbolSettings& settings, bool sequenceHelps) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(input.data());
    const int length = static_cast<int>(input.size());
    std::string text;
    std::vector<std::string> helps;
    if (settings.micro) {
        qe::MQRInput parsed(0, settings.level);
        const int level = std::min(settings.level, 2);  // M4 offers L, M and Q
        const int capacity = qe::MicroTables::dataBits(4, level);
        const int bits = parsed.parse(bytes, length) == 0 ? parsed.encodeAllSegments(4) : -1;
        text = bits < 0 ? ": a Micro QR Code symbol holds at most " + withThousands(capacity) +
                              " data bits at M4-" + kLevelNames[level]
                        : ": the data take " + withThousands(bits) + " bits; Micro QR Code M4-" +
                              kLevelNames[level] + " holds " + withThousands(capacity);
        if (level > 0) helps.push_back("--level L");
        helps.push_back("leaving out --micro (a QR Code symbol holds far more)");
    } else {
        const int version = settings.strict && settings.minVersion > 0 ? settings.minVersion : 40;
        qe::QRInput parsed(0, settings.forcedMode, settings.level);
        if (parsed.parse(bytes, length) != 0) {
            text = ": one run of plain data holds more than " + withThousands(qe::kPendingRunLimit) +
                   " bytes, more than any symbol holds";
        } else {
            parsed.version = version;
            const int bits = parsed.encodeAllSegments();
            const int codewords = qe::QrTables::dataCodewords(version, settings.level);
            text = ": the data take " + withThousands(bits) + " bits; QR Code " + std::to_string(version) +
                   "-" + kLevelNames[settings.level] + " holds " + withThousands(8 * codewords) + " (" +
                   withThousands(codewords) + " codewords)";
        }
        if (settings.level > 0) helps.push_back("--level L");
        if (settings.strict && version < 40) helps.push_back("a higher --min-version");
        if (sequenceHelps) helps.push_back("--sequence auto (up to 16 symbols)");
    }
    return helps.empty() ? text : text + "; what helps: " + joined(helps);
}

}  // namespace

std::string printableText(const std::string& bytes) {
    std::string text;
    for (std::size_t p = 0; p < bytes.size();) {
        const std::size_t length = utf8CharacterLength(bytes, p);
        const auto c = static_cast<unsigned char>(bytes[p]);
        if (length > 1 || (length == 1 && c >= 0x20 && c < 0x7F && c != '\\')) {
            text.append(bytes, p, length);
            p += length;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", c);
        text += escape;
        ++p;
    }
    return text;
}

std::string encodeFailureMessage(std::int32_t result, const std::string& input,
                                 const SymbolSettings& settings, bool sequenceHelps) {
    std::string message = QRCodeGetErrorMessage(result);
    switch (result & 0xFFFF) {
        case 5:
            return message + tooLong(input, settings, sequenceHelps);
        case 6:
            return message + ": --mode " +
                   (settings.forcedMode == 2 ? "numeric takes digits only"
                                             : "alphanumeric takes 0-9, A-Z, space and $%*+-./:");
        case 50:
        case 52:
        case 53:
            return message + ": the header is ~2[P][T] or ~2[P][T,Y], position and total 1 to 16";
        case 80:
            return message +
                   ": a Kanji block holds Shift JIS pairs of 0x8140-0x9FFC and 0xE040-0xEBBF, bytes "
                   "written as they are or as ~dNNN (or use --kanji on UTF-8 text)";
        case 81:
            return message + ": ~3[N] takes an application indicator from 0 to 255";
        case 90:
            return message + ": overlay text is ROWS,COLUMNS,HEX ROWS";
        default:
            return message;
    }
}

std::string hibcProblem(const std::string& data) {
    std::size_t characters = 0;
    for (std::size_t p = 0; p < data.size();) {
        std::size_t length = utf8CharacterLength(data, p);
        if (length == 0) length = 1;
        ++characters;
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(data[p])));
        if (length > 1 || c == '\0' || std::strchr(kHibcSet, c) == nullptr) {
            return "HIBC data hold only 0-9, A-Z, '-', '.', space, '$', '/', '+' and '%': \"" +
                   printableText(data.substr(p, length)) + "\" (character " + std::to_string(characters) +
                   ") is not one of them";
        }
        p += length;
    }
    if (data.size() > static_cast<std::size_t>(qe::kHibcDataLimit)) {
        return "HIBC data hold at most " + std::to_string(qe::kHibcDataLimit) + " characters; these hold " +
               std::to_string(data.size());
    }
    return "";
}

std::string lowerLevelNote(QRCODE_RESULT handle, const SymbolSettings& settings) {
    if (!settings.micro || !settings.levelGiven) return "";
    const int version = handle->getVersion();
    const int level = handle->getEcLevel();
    const std::string asked(1, kLevelNames[settings.level]);
    if (version == 1) {
        return "note: the symbol is Micro QR Code M1, which has error detection only, no level " + asked +
               " (--min-version 2 gives M2 at level L or M)";
    }
    if (level >= settings.level) return "";
    return "note: the symbol is Micro QR Code M" + std::to_string(version) + ", which offers levels up to " +
           kLevelNames[level] + ": it has level " + kLevelNames[level] + ", not " + asked;
}

}  // namespace qrkit_cli
