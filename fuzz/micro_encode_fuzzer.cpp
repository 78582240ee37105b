// Micro QR Code encode exports (MicroQRCodeEncode, MicroQRCodeEncode2, and MicroQRCodeEncodeOptimal
// beside MicroQRCodeEncode) with fuzzed version words, levels and data in the Micro subset of the input
// language.
// Input: 1 byte version selector, 4 bytes version word, 1 byte level selector, 4 bytes level, 1 byte
// export choice (bit 4: also the optimal export), then the data (up to its first 0 byte).
#include <string>

#include "encoder/micro_input.h"
#include "encoder/result_codes.h"
#include "encoder/tables.h"
#include "fuzz/fuzz_checks.h"
#include "qrkit/qrkit.h"

using namespace qrkit_fuzz;

namespace {

// The optimal export beside MicroQRCodeEncode's result (code, handle): the same failures other than
// "Input is too long", a symbol wherever the greedy export makes one, never of a larger version, read
// back as the same bytes.
void checkOptimal(const std::uint8_t* input, std::size_t size, const std::string& data, int versionWord,
                  int level, std::int32_t code, QRCODE_RESULT greedy) {
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(&handle);  // must be overwritten
    const std::int32_t optimal = MicroQRCodeEncodeOptimal(data.c_str(), versionWord, level, &handle);
    FUZZ_CHECK((optimal == 0) == (handle != nullptr), "optimal: handle and result code disagree");
    const std::int32_t tooLong = kelvane2::failureCode(kelvane2::kErrInputTooLong);
    if (code != 0 && code != tooLong) FUZZ_CHECK(optimal == code, "optimal: another failure");
    if (code == 0) FUZZ_CHECK(optimal == 0, "optimal: no symbol where the greedy export makes one");
    if (optimal != 0) {
        FUZZ_CHECK(optimal == code, "optimal: another failure");
        return;
    }
    checkMicroSymbol(handle);
    if (greedy != nullptr) {
        FUZZ_CHECK(QRCodeResultGetVersion(handle) <= QRCodeResultGetVersion(greedy),
                   "optimal: larger version");
    }
    std::string bytes;
    if (expectedMicroBytes(data, bytes) && sampled(input, size, 3)) checkDecodesTo(handle, bytes, true);
    FUZZ_CHECK(DestroyQRCodeEncodeResult(handle) == 0, "optimal: references left");
}

struct Call {
    const std::string* data;
    int versionWord;
    int level;
};

QRCODE_RESULT encodeAgain(const void* context) {
    const Call* call = static_cast<const Call*>(context);
    return MicroQRCodeEncode2(call->data->c_str(), call->versionWord, call->level);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    InputReader reader(input, size);
    const std::uint8_t versionSelector = reader.byte();
    const int versionWord = interestingInt(versionSelector, reader.word32(), 0, 4);
    const std::uint8_t levelSelector = reader.byte();
    const int level = interestingInt(levelSelector, reader.word32(), 0, 3);
    const std::uint8_t choice = reader.byte();
    const std::string data = reader.restAsText();

    QRCODE_RESULT handle = nullptr;
    if (choice % 2 == 1) {
        handle = MicroQRCodeEncode2(data.c_str(), versionWord, level);
    } else {
        handle = reinterpret_cast<QRCODE_RESULT>(&handle);  // must be overwritten
        const std::int32_t code = MicroQRCodeEncode(data.c_str(), versionWord, level, &handle);
        FUZZ_CHECK(isMicroEncodeResult(code), "result code " + std::to_string(code));
        FUZZ_CHECK((code == 0) == (handle != nullptr), "handle and result code disagree");
        FUZZ_CHECK(code != kelvane2::kNullPointerResult, "null pointer result for valid pointers");
        kelvane2::qrencode::MQRInput parsed(0, 0);
        const int parseError =
            parsed.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size()));
        if (parseError != 0)
            FUZZ_CHECK(code == kelvane2::failureCode(parseError), "parse error not passed on");
        if ((choice & 0x10) != 0) checkOptimal(input, size, data, versionWord, level, code, handle);
    }
    // Every instruction set level gives the portable level's symbol.
    const Call call{&data, versionWord, level};
    checkSameOnPortableLevel(handle, &encodeAgain, &call);
    if (handle == nullptr) return 0;

    checkMicroSymbol(handle);
    // At least the version asked for; a level no higher than asked for (lowered to what the version has).
    const int requested = versionWord < 0 ? 0 : (versionWord > 4 ? 4 : versionWord);
    const int clampedLevel = level < 0 ? 0 : (level > 3 ? 3 : level);
    const int version = QRCodeResultGetVersion(handle);
    FUZZ_CHECK(version >= requested, "version below the one asked for");
    FUZZ_CHECK(handle->getEcLevel() <= clampedLevel, "level above the one asked for");

    std::string bytes;
    if (expectedMicroBytes(data, bytes) && sampled(input, size, 3)) checkDecodesTo(handle, bytes, true);
    FUZZ_CHECK(DestroyQRCodeEncodeResult(handle) == 0, "references left");
    return 0;
}
