#include "encoder/encode_micro.h"

#include <algorithm>
#include <memory>
#include <new>

#include "encoder/frames.h"
#include "encoder/micro_codeword_stream.h"
#include "encoder/micro_input.h"
#include "encoder/micro_masking.h"
#include "encoder/qrresult.h"
#include "encoder/result_codes.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

std::int32_t encodeMicroSymbol(const std::uint8_t* data, int length, const EncodeOptions& options,
                               IQrcodeResult** out) {
    const int requested = std::clamp(options.version, 0, 4);
    const int level = std::clamp(options.ecLevel, 0, 3);
    int mask = std::clamp(options.mask, -1, 7);
    if (mask > 3) mask = -1;  // Micro QR Code has four masks; anything above asks for the automatic choice

    MQRInput input(requested, level);
    if (int error = input.parse(data, length)) return failureCode(error);
    BitString bits;
    if (!input.dataBitString(bits)) return failureCode(kErrInputTooLong);
    MicroCodewordStream stream(input.version, input.ecLevel, bits);
    if (!stream.ok()) return failureCode(kErrInputTooLong);

    const int version = input.version;
    const int width = MicroTables::microSymbolWidth(version);
    std::unique_ptr<std::uint8_t[]> frame(newMicroBaseFrame(version));
    if (!frame) return kOutOfMemoryResult;
    int positions = 0;
    const std::uint32_t* order = microPlacementOrder(version, &positions);
    if (order == nullptr) return kOutOfMemoryResult;
    placeMicroCodewords(frame.get(), order, stream.data().data(), stream.dataLength(), stream.ecc().data(),
                        stream.eccLength(), stream.oddBits());

    std::unique_ptr<std::uint8_t[]> matrix(mask < 0
                                               ? chooseMicroMask(version, frame.get(), input.ecLevel)
                                               : applyMicroMask(version, frame.get(), mask, input.ecLevel));
    auto* result = new QrResult(version, input.ecLevel, width, matrix.get());
    matrix.release();
    return result->QueryInterface(IID_IQrcodeResult, reinterpret_cast<void**>(out));
}

}  // namespace

std::int32_t encodeMicroQr(const std::uint8_t* data, int length, const EncodeOptions& options,
                           IQrcodeResult** out) {
    if (out == nullptr || data == nullptr) return kNullPointerResult;
    *out = nullptr;
    try {
        return encodeMicroSymbol(data, length, options, out);
    } catch (...) {
        if (*out != nullptr) {
            (*out)->Release();
            *out = nullptr;
        }
        return kOutOfMemoryResult;
    }
}

}  // namespace kelvane2::qrencode
