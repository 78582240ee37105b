// HIBC encode exports (HIBC_QRCodeEncode, HIBC_QRCodeEncode2) and the structured-append parity with
// fuzzed version words, levels and data.
// Input: 4 bytes version word, 1 byte level selector, 4 bytes level, 1 byte export choice, then the
// data (up to its first 0 byte).
#include <cstring>
#include <string>

#include "encoder/qrinput.h"
#include "encoder/result_codes.h"
#include "fuzz/fuzz_checks.h"
#include "qrkit/qrkit.h"

using namespace qrkit_fuzz;

namespace {

constexpr char kHibcSet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";

// '+', the upper-cased data and its modulo-43 check character; false when the data cannot be HIBC.
bool hibcText(const std::string& data, std::string& text) {
    if (data.size() > 36) return false;
    int sum = 41;  // '+'
    text = "+";
    for (char c : data) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        const char* at = std::strchr(kHibcSet, c);
        if (c == '\0' || at == nullptr) return false;
        sum += static_cast<int>(at - kHibcSet);
        text.push_back(c);
    }
    text.push_back(kHibcSet[sum % 43]);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    InputReader reader(input, size);
    // Bits 16-17 (ignored by the library) choose a raw requested version or one of 0-40.
    std::uint32_t rawWord = reader.word32();
    if (((rawWord >> 16) & 3) != 0) rawWord = (rawWord & ~0xFFu) | ((rawWord & 0xFF) % 41);
    const int versionWord = static_cast<int>(rawWord);
    const std::uint8_t levelSelector = reader.byte();
    const int level = interestingInt(levelSelector, reader.word32(), 0, 3);
    const std::uint8_t choice = reader.byte();
    const std::string data = reader.restAsText();

    // The parity is defined for any text: the XOR of the data segments' bytes, as a full parse gives
    // them (while the segment list holds them all).
    const int parity = QRCodeGetParity(data.c_str());
    FUZZ_CHECK(parity >= 0 && parity <= 255, "parity out of range");
    {
        kelvane2::qrencode::QRInput parsed(0, 0, 0);
        parsed.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size()));
        if (!parsed.exceedsEverySymbol) {
            int expected = 0;
            for (const kelvane2::qrencode::InputSegment& segment : parsed.segments) {
                if (segment.mode > kelvane2::qrencode::kKanji) continue;
                for (std::uint8_t byte : segment.data)
                    expected ^= byte;
            }
            FUZZ_CHECK(parity == expected, "parity " + std::to_string(parity) + ", segments give " +
                                               std::to_string(expected));
        }
    }

    std::string text;
    const bool valid = hibcText(data, text);
    QRCODE_RESULT handle = nullptr;
    if (choice % 2 == 1) {
        handle = HIBC_QRCodeEncode2(data.c_str(), versionWord, level);
        if (!valid) FUZZ_CHECK(handle == nullptr, "invalid HIBC data encoded");
    } else {
        QRCODE_RESULT sentinel = reinterpret_cast<QRCODE_RESULT>(&handle);
        handle = sentinel;
        const std::int32_t code = HIBC_QRCodeEncode(data.c_str(), versionWord, level, &handle);
        FUZZ_CHECK(code == 0 || code == kelvane2::failureCode(5) || code == kelvane2::failureCode(6) ||
                       code == kelvane2::failureCode(11),
                   "result code " + std::to_string(code));
        if (!valid) {
            FUZZ_CHECK(code == kelvane2::failureCode(5), "invalid HIBC data: " + std::to_string(code));
            FUZZ_CHECK(handle == sentinel, "a formatting failure wrote the out argument");
            return 0;
        }
        FUZZ_CHECK((code == 0) == (handle != nullptr), "handle and result code disagree");
    }
    if (handle == nullptr) return 0;

    const int clampedLevel = level < 0 ? 0 : (level > 3 ? 3 : level);
    checkQrSymbol(handle, clampedLevel);
    if (sampled(input, size, 3)) checkDecodesTo(handle, text, false);
    FUZZ_CHECK(DestroyQRCodeEncodeResult(handle) == 0, "references left");
    return 0;
}
