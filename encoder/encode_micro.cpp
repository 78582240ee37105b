#include "encoder/encode_micro.h"

#include <algorithm>
#include <memory>
#include <new>

#include "encoder/explain.h"
#include "encoder/frames.h"
#include "encoder/micro_codeword_stream.h"
#include "encoder/micro_input.h"
#include "encoder/micro_masking.h"
#include "encoder/qrresult.h"
#include "encoder/result_codes.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

// Records the segments, version, level and capacity the input settled on.
void recordMicroInput(const MQRInput& input, SymbolDecisions* decisions) {
    decisions->micro = true;
    decisions->segments.clear();
    decisions->segmentBits = 0;
    for (const InputSegment& segment : input.segments) {
        decisions->segments.push_back(
            SegmentDecision{segment.mode, {segment.data.begin(), segment.data.end()}, segment.bits.length()});
        decisions->segmentBits += segment.bits.length();
    }
    decisions->version = input.version;
    decisions->ecLevel = input.ecLevel;
    if (input.version >= 1 && input.version <= 4) {
        decisions->width = MicroTables::microSymbolWidth(input.version);
        decisions->capacityBits = MicroTables::dataBits(input.version, input.ecLevel);
        decisions->dataCodewords = MicroTables::dataCodewords(input.version, input.ecLevel);
        decisions->eccCodewords = MicroTables::eccCodewords(input.version, input.ecLevel);
    }
}

// The driver; decisions, when not null, receives what it decided.
std::int32_t encodeMicroSymbol(const std::uint8_t* data, int length, const EncodeOptions& options,
                               IQrcodeResult** out, SymbolDecisions* decisions, Segmentation segmentation) {
    const int requested = std::clamp(options.version, 0, 4);
    const int level = std::clamp(options.ecLevel, 0, 3);
    int mask = std::clamp(options.mask, -1, 7);
    if (mask > 3) mask = -1;  // Micro QR Code has four masks; anything above asks for the automatic choice

    MQRInput input(requested, level);
    input.optimalSegmentation = segmentation == Segmentation::kOptimal;
    if (int error = input.parse(data, length)) return failureCode(error);
    BitString bits(input.arena());
    const bool settled = input.dataBitString(bits);
    if (decisions != nullptr) recordMicroInput(input, decisions);
    if (!settled) return failureCode(kErrInputTooLong);
    MicroCodewordStream stream(input.version, input.ecLevel, bits);
    if (!stream.ok()) return failureCode(kErrInputTooLong);

    const int version = input.version;
    const int width = MicroTables::microSymbolWidth(version);
    std::uint8_t frame[17 * 17];  // the largest Micro symbol, M4
    if (width > 17 || !copyMicroBaseFrame(version, frame)) return kOutOfMemoryResult;
    int positions = 0;
    const std::uint32_t* order = microPlacementOrder(version, &positions);
    if (order == nullptr) return kOutOfMemoryResult;
    placeMicroCodewords(frame, order, stream.data(), stream.dataLength(), stream.ecc(), stream.eccLength(),
                        stream.oddBits());

    int chosenMask = mask;
    std::unique_ptr<std::uint8_t[]> matrix(
        mask < 0 ? chooseMicroMask(version, frame, input.ecLevel, &chosenMask,
                                   decisions != nullptr ? decisions->scores : nullptr)
                 : applyMicroMask(version, frame, mask, input.ecLevel));
    if (decisions != nullptr) {
        decisions->mask = chosenMask;
        decisions->maskCount = mask < 0 ? 4 : 0;
    }
    auto* result = new QrResult(version, input.ecLevel, width, matrix.get());
    matrix.release();
    return result->QueryInterface(IID_IQrcodeResult, reinterpret_cast<void**>(out));
}

}  // namespace

std::int32_t encodeMicroQr(const std::uint8_t* data, int length, const EncodeOptions& options,
                           IQrcodeResult** out, Segmentation segmentation) {
    if (out == nullptr || data == nullptr) return kNullPointerResult;
    *out = nullptr;
    try {
        return encodeMicroSymbol(data, length, options, out, nullptr, segmentation);
    } catch (...) {
        if (*out != nullptr) {
            (*out)->Release();
            *out = nullptr;
        }
        return kOutOfMemoryResult;
    }
}

std::int32_t encodeMicroQrRecorded(const std::uint8_t* data, int length, const EncodeOptions& options,
                                   IQrcodeResult** out, SymbolDecisions* decisions,
                                   Segmentation segmentation) {
    if (out == nullptr || data == nullptr || decisions == nullptr) return kNullPointerResult;
    *out = nullptr;
    *decisions = SymbolDecisions();
    decisions->micro = true;
    try {
        return encodeMicroSymbol(data, length, options, out, decisions, segmentation);
    } catch (...) {
        if (*out != nullptr) {
            (*out)->Release();
            *out = nullptr;
        }
        return kOutOfMemoryResult;
    }
}

}  // namespace kelvane2::qrencode
