// The wide entry point QRCodeEncode2W with fuzzed version words, levels and UTF-16 data (lone and
// paired surrogates, units above 255, any length). The wide text is narrowed as the export documents
// it (one byte per unit when every unit is 1-255, else EF BB BF and UTF-8, a lone surrogate in three
// bytes), and the wide export gives exactly the symbol QRCodeEncode gives for those bytes.
// Input: 4 bytes version word, 1 byte level selector, 4 bytes level, then UTF-16LE units up to the
// first 0 unit.
#include <string>

#include "encoder/encode_qr.h"
#include "encoder/viewref.h"
#include "fuzz/fuzz_checks.h"
#include "qrkit/qrkit.h"

using namespace qrkit_fuzz;

namespace {

// The narrowing, written out again from its description.
std::string narrowed(const std::u16string& units) {
    bool narrow = true;
    for (char16_t unit : units)
        narrow = narrow && unit <= 0xFF;
    if (narrow) return std::string(units.begin(), units.end());
    std::string bytes = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t point = units[i];
        const bool high = point >= 0xD800 && point <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (units[++i] - 0xDC00u);
        }
        if (point < 0x80) {
            bytes += static_cast<char>(point);
        } else if (point < 0x800) {
            bytes += static_cast<char>(0xC0 | (point >> 6));
            bytes += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            bytes += static_cast<char>(0xE0 | (point >> 12));
            bytes += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (point >> 18));
            bytes += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    InputReader reader(input, size);
    const int versionWord = static_cast<int>(reader.word32());
    const std::uint8_t levelSelector = reader.byte();
    const int level = interestingInt(levelSelector, reader.word32(), 0, 3);
    std::u16string units;
    while (reader.remaining() >= 2) {
        const char16_t unit = reader.word16();
        if (unit == 0) break;
        units.push_back(unit);
    }

    const std::string bytes = kelvane2::qrencode::narrowWideInput(units.c_str());
    FUZZ_CHECK(bytes == narrowed(units), "narrowed to other bytes");
    FUZZ_CHECK(bytes.find('\0') == std::string::npos, "a 0 byte in the narrowed text");

    QRCODE_RESULT wide = QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(units.c_str()), versionWord, level);
    QRCODE_RESULT narrow = nullptr;
    const std::int32_t code = QRCodeEncode(bytes.c_str(), versionWord, level, &narrow);
    FUZZ_CHECK(isEncodeResult(code), "result code " + std::to_string(code));
    FUZZ_CHECK((wide != nullptr) == (code == 0), "the wide and narrow exports disagree");
    if (wide != nullptr) {
        FUZZ_CHECK(QRCodeResultGetVersion(wide) == QRCodeResultGetVersion(narrow), "version");
        FUZZ_CHECK(wide->getEcLevel() == narrow->getEcLevel(), "level");
        kelvane2::ViewRef<kelvane2::I2DBitPattern> a;
        kelvane2::ViewRef<kelvane2::I2DBitPattern> b;
        FUZZ_CHECK(a.query(wide, kelvane2::IID_I2DBitPattern) == kelvane2::kStatusOk, "wide matrix");
        FUZZ_CHECK(b.query(narrow, kelvane2::IID_I2DBitPattern) == kelvane2::kStatusOk, "narrow matrix");
        const int width = a->getColumns();
        FUZZ_CHECK(width == b->getColumns() && a->getRows() == b->getRows(), "size");
        for (int r = 0; r < width; ++r) {
            for (int c = 0; c < width; ++c)
                FUZZ_CHECK(a->getModule(r, c) == b->getModule(r, c), "module " + std::to_string(r) + "," +
                                                                         std::to_string(c));
        }
        std::string expected;
        if (expectedQrBytes(bytes, versionWord, level, expected) && sampled(input, size, 4))
            checkDecodesTo(wide, expected, false);
    }
    if (wide != nullptr) FUZZ_CHECK(DestroyQRCodeEncodeResult(wide) == 0, "references left");
    if (narrow != nullptr) FUZZ_CHECK(DestroyQRCodeEncodeResult(narrow) == 0, "references left");
    return 0;
}
