// The qrkit tool's input handling: the CSV reader of batch, the literal escaping and data options of
// every record, and the file names made from record data.
// Input: 1 byte of options (bit 0 --kanji, bit 1 --eci none, bit 2 --eci 3, bits 3-4 FNC1 none, first or
// second position, bit 5 the Swiss-cross overlay, bit 6 Micro QR Code, bit 7 --escapes), then the text:
// every byte of the rest, zero bytes included.
#include <string>
#include <vector>

#include "cli/csv.h"
#include "cli/literal_data.h"
#include "cli/name_pattern.h"
#include "cli/shift_jis.h"
#include "encoder/explain.h"
#include "encoder/qrinput.h"
#include "fuzz/fuzz_checks.h"
#include "qrkit/qrkit.h"
#include "support/decode.h"

using namespace qrkit_fuzz;

namespace {

// Reading gives rows on strictly increasing lines, within the text; a sound row written back as CSV
// reads as the same fields.
void checkCsv(const std::string& text) {
    std::size_t breaks = 0;
    for (std::size_t p = 0; p < text.size(); ++p) {
        if (text[p] == '\n' || (text[p] == '\r' && (p + 1 == text.size() || text[p + 1] != '\n'))) ++breaks;
    }
    int previous = 0;
    for (const qrkit_cli::CsvRow& row : qrkit_cli::readCsv(text)) {
        FUZZ_CHECK(row.line > previous, "row lines out of order: " + std::to_string(row.line));
        FUZZ_CHECK(static_cast<std::size_t>(row.line) <= breaks + 1, "row line beyond the text");
        FUZZ_CHECK(!row.fields.empty(), "a row without fields");
        previous = row.line;
        if (!row.error.empty()) continue;
        std::string written;
        for (std::size_t k = 0; k < row.fields.size(); ++k) {
            if (k > 0) written += ',';
            qrkit_cli::appendCsvField(written, row.fields[k]);
        }
        if (written.compare(0, 3, "\xEF\xBB\xBF") == 0) continue;  // would read as a byte-order mark
        const std::vector<qrkit_cli::CsvRow> again = qrkit_cli::readCsv(written + "\n");
        FUZZ_CHECK(again.size() == 1 && again[0].error.empty() && again[0].fields == row.fields,
                   "row written back reads otherwise: " + qrkit_test::printable(written));
    }
}

// A safe name stays one name in its folder.
void checkNames(const std::string& text) {
    const std::string safe = qrkit_cli::safeName(text);
    FUZZ_CHECK(!safe.empty() && safe != "." && safe != "..", "name " + safe);
    FUZZ_CHECK(safe.find('/') == std::string::npos && safe.find('\\') == std::string::npos,
               "separator in " + safe);
    FUZZ_CHECK(safe.size() <= qrkit_cli::kSafeNameBytes, "name too long");
    FUZZ_CHECK(qrkit_cli::isUtf8(safe), "name not UTF-8");
    for (unsigned char c : safe)
        FUZZ_CHECK(c >= 0x20 && c != 0x7F, "control character in a name");

    const std::vector<std::string> columns = {text, "x"};
    std::vector<qrkit_cli::PatternPiece> pieces = qrkit_cli::parsePattern("out/{field}-{n}-{c}.png");
    for (qrkit_cli::PatternPiece& piece : pieces)
        piece.column = 0;
    qrkit_cli::NameValues values;
    values.number = 7;
    values.numberWidth = 3;
    values.field = text;
    values.columns = &columns;
    std::string name;
    std::string error;
    FUZZ_CHECK(qrkit_cli::expandPattern(pieces, values, &name, &error), error);
    FUZZ_CHECK(name.rfind("out/", 0) == 0 && name.find('/', 4) == std::string::npos,
               "name leaves out/: " + name);
    qrkit_cli::parsePattern(text);  // any text is a pattern
}

// Literal data read back as they stand, whatever the options put in front.
void checkLiteral(const std::string& text, std::uint8_t flags, const std::uint8_t* input, std::size_t size) {
    const std::string escaped = qrkit_cli::escapeLiteral(text);
    FUZZ_CHECK(escaped.find('\0') == std::string::npos, "zero byte in escaped data");
    if (text.size() <= static_cast<std::size_t>(kelvane2::qrencode::kPendingRunLimit)) {
        for (bool micro : {false, true}) {
            std::string back;
            FUZZ_CHECK(kelvane2::qrencode::expectedReaderBytes(escaped, micro, &back),
                       "escaped data do not parse");
            FUZZ_CHECK(back == text, "escaped data read back as " + qrkit_test::printable(back));
        }
    }

    qrkit_cli::DataOptions options;
    options.kanji = (flags & 1) != 0;
    options.eci = (flags & 2) != 0 ? qrkit_cli::kEciNone : (flags & 4) != 0 ? 3 : qrkit_cli::kEciAuto;
    const int fnc1 = (flags >> 3) & 3;
    options.fnc1 = fnc1 == 1   ? qrkit_cli::Fnc1::kFirst
                   : fnc1 == 2 ? qrkit_cli::Fnc1::kSecond
                               : qrkit_cli::Fnc1::kNone;
    options.applicationIndicator = 37;
    if ((flags & 0x20) != 0) options.overlay = ":swiss7";
    const bool micro = (flags & 0x40) != 0;
    options.escapes = (flags & 0x80) != 0;
    if (!qrkit_cli::checkDataOptions(options, micro, false).empty()) return;
    const qrkit_cli::PreparedData prepared = qrkit_cli::prepareData(text, options, micro);
    FUZZ_CHECK(prepared.input.find('\0') == std::string::npos, "zero byte in the prepared input");
    if (options.escapes || text.size() > 2000) return;

    std::string bytes;
    const bool parses = kelvane2::qrencode::expectedReaderBytes(prepared.input, micro, &bytes);
    FUZZ_CHECK(parses, "prepared input does not parse: " + qrkit_test::printable(prepared.input));
    if (options.fnc1 != qrkit_cli::Fnc1::kNone) return;  // a reader turns '%' into a separator
    if (prepared.kanjiMode) {
        std::string utf8;
        FUZZ_CHECK(qrkit_cli::shiftJisToUtf8(bytes, &utf8) && utf8 == text,
                   "Kanji mode reads back as " + qrkit_test::printable(utf8));
        return;
    }
    FUZZ_CHECK(bytes == text, "prepared input reads back as " + qrkit_test::printable(bytes));
    const bool text8 = !qrkit_cli::isAscii(text) && qrkit_cli::isUtf8(text);
    if (options.eci == qrkit_cli::kEciAuto && !micro)
        FUZZ_CHECK(prepared.eci == (text8 ? qrkit_cli::kEciUtf8 : qrkit_cli::kEciNone), "automatic ECI");

    // A sample is encoded and read back by zxing-cpp (without an overlay, which may cost a symbol at
    // level L its readability).
    if (prepared.eci == 3 || !options.overlay.empty() || !sampled(input, size, 16)) return;
    QRCODE_RESULT handle = nullptr;
    const std::int32_t code = micro ? MicroQRCodeEncode(prepared.input.c_str(), 0, 0, &handle)
                                    : QRCodeEncode(prepared.input.c_str(), 0, 0, &handle);
    if (code != 0) {
        FUZZ_CHECK(code == static_cast<std::int32_t>(0x80520005u), "code " + std::to_string(code));
        return;
    }
    checkDecodesTo(handle, text, micro);
    DestroyQRCodeEncodeResult(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = input[0];
    const std::string text(reinterpret_cast<const char*>(input + 1), size - 1);
    checkCsv(text);
    checkNames(text);
    checkLiteral(text, flags, input, size);
    return 0;
}
