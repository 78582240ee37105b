// QR Code encode exports (QRCodeEncode, QRCodeEncode2, QRCodeEncode2W, and QRCodeEncodeOptimal beside
// QRCodeEncode) with fuzzed version words, levels and data in the input language.
// Input: 4 bytes version word, 1 byte level selector, 4 bytes level, 1 byte export choice (bit 4: also
// the optimal export), then the data (up to its first 0 byte; for the wide export, pairs of bytes as
// UTF-16 units).
#include <string>

#include "encoder/encode_qr.h"
#include "encoder/qrinput.h"
#include "encoder/result_codes.h"
#include "fuzz/fuzz_checks.h"
#include "qrkit/qrkit.h"

using namespace qrkit_fuzz;

namespace {

// The optimal export beside QRCodeEncode's result (code, handle): the same result wherever the greedy
// export fails other than by "Input is too long", a symbol wherever it makes one, never of a larger
// version, read back as the same bytes.
void checkOptimal(const std::uint8_t* input, std::size_t size, const std::string& data, int versionWord,
                  int level, std::int32_t code, QRCODE_RESULT greedy) {
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(&handle);  // must be overwritten
    const std::int32_t optimal = QRCodeEncodeOptimal(data.c_str(), versionWord, level, &handle);
    FUZZ_CHECK((optimal == 0) == (handle != nullptr), "optimal: handle and result code disagree");
    const std::int32_t tooLong = kelvane2::failureCode(kelvane2::kErrInputTooLong);
    if (code != 0 && code != tooLong) FUZZ_CHECK(optimal == code, "optimal: another failure");
    if (code == 0) FUZZ_CHECK(optimal == 0, "optimal: no symbol where the greedy export makes one");
    if (optimal != 0) {
        FUZZ_CHECK(optimal == code, "optimal: another failure");
        return;
    }
    if (greedy != nullptr) {
        FUZZ_CHECK(QRCodeResultGetVersion(handle) <= QRCodeResultGetVersion(greedy),
                   "optimal: larger version");
    }
    std::string bytes;
    const int clampedLevel = level < 0 ? 0 : (level > 3 ? 3 : level);
    if (expectedQrBytes(data, versionWord, level, bytes)) {
        checkQrSymbol(handle, clampedLevel);
        if (sampled(input, size, 4)) checkDecodesTo(handle, bytes, false);
    }
    FUZZ_CHECK(DestroyQRCodeEncodeResult(handle) == 0, "optimal: references left");
}

struct Call {
    const std::string* data;
    int versionWord;
    int level;
};

QRCODE_RESULT encodeAgain(const void* context) {
    const Call* call = static_cast<const Call*>(context);
    return QRCodeEncode2(call->data->c_str(), call->versionWord, call->level);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    InputReader reader(input, size);
    // Bits 16-31 of the version word are ignored by the library; bits 16-17 here choose whether the
    // requested version keeps its raw value (41-255 stand for 40) or is taken into 0-40.
    std::uint32_t rawWord = reader.word32();
    if (((rawWord >> 16) & 3) != 0) rawWord = (rawWord & ~0xFFu) | ((rawWord & 0xFF) % 41);
    const int versionWord = static_cast<int>(rawWord);
    const std::uint8_t levelSelector = reader.byte();
    const int level = interestingInt(levelSelector, reader.word32(), 0, 3);
    const std::uint8_t choice = reader.byte();
    std::string data;
    if (choice % 4 == 3) {
        // UTF-16 units, up to the first 0 unit.
        std::u16string wide;
        while (reader.remaining() >= 2) {
            const char16_t unit = reader.word16();
            if (unit == 0) break;
            wide.push_back(unit);
        }
        data = kelvane2::qrencode::narrowWideInput(wide.c_str());
        QRCODE_RESULT handle = QRCodeEncode2W(wide.c_str(), versionWord, level);
        QRCODE_RESULT expected = nullptr;
        const std::int32_t code = QRCodeEncode(data.c_str(), versionWord, level, &expected);
        // The same bytes through the narrow export give the same outcome.
        FUZZ_CHECK((handle != nullptr) == (code == 0), "wide and narrow exports disagree");
        if (handle != nullptr) {
            FUZZ_CHECK(QRCodeResultGetVersion(handle) == QRCodeResultGetVersion(expected), "wide version");
            FUZZ_CHECK(DestroyQRCodeEncodeResult(handle) == 0, "references left");
        }
        if (expected != nullptr) FUZZ_CHECK(DestroyQRCodeEncodeResult(expected) == 0, "references left");
        return 0;
    }
    data = reader.restAsText();

    const int clampedLevel = level < 0 ? 0 : (level > 3 ? 3 : level);
    QRCODE_RESULT handle = nullptr;
    std::int32_t code;
    if (choice % 4 == 2) {
        handle = QRCodeEncode2(data.c_str(), versionWord, level);
        code = handle != nullptr ? 0 : -1;
    } else {
        handle = reinterpret_cast<QRCODE_RESULT>(&handle);  // must be overwritten
        code = QRCodeEncode(data.c_str(), versionWord, level, &handle);
        FUZZ_CHECK(isEncodeResult(code), "result code " + std::to_string(code));
        FUZZ_CHECK((code == 0) == (handle != nullptr), "handle and result code disagree");
        FUZZ_CHECK(code != kelvane2::kNullPointerResult, "null pointer result for valid pointers");
        // A parse error of the input language is the call's result.
        kelvane2::qrencode::QRInput input((versionWord & 0xFF) > 40 ? 40 : versionWord & 0xFF,
                                          (versionWord >> 8) & 7, clampedLevel);
        const int parseError =
            input.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size()));
        if (parseError != 0)
            FUZZ_CHECK(code == kelvane2::failureCode(parseError), "parse error not passed on");
    }
    if (choice % 4 != 2 && (choice & 0x10) != 0)
        checkOptimal(input, size, data, versionWord, level, code, handle);
    // Every instruction set level gives the portable level's symbol.
    const Call call{&data, versionWord, level};
    checkSameOnPortableLevel(handle, &encodeAgain, &call);
    if (handle == nullptr) return 0;

    // The version: at least the one asked for, at most it when strict.
    const int requested = (versionWord & 0xFF) > 40 ? 40 : versionWord & 0xFF;
    const int version = QRCodeResultGetVersion(handle);
    FUZZ_CHECK(version >= requested, "version below the one asked for");
    if ((versionWord & 0x8000) != 0) FUZZ_CHECK(version <= requested, "strict version exceeded");

    std::string bytes;
    if (expectedQrBytes(data, versionWord, level, bytes)) {
        checkQrSymbol(handle, clampedLevel);
        if (sampled(input, size, 4)) checkDecodesTo(handle, bytes, false);
    } else {
        // An overlay covers the centre: everything outside it is checked.
        checkQrSymbol(handle, clampedLevel, overlayArea(data, versionWord, level, 17 + 4 * version));
    }
    if (choice % 8 == 1) {
        const char* text = QRCodeResultGetBarcodeString2(handle, "\r\n");
        FUZZ_CHECK(text != nullptr, "no font string");
    }
    FUZZ_CHECK(DestroyQRCodeEncodeResult(handle) == 0, "references left");
    return 0;
}
