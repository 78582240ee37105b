#include "encoder/encode_qr.h"

#include <cstring>
#include <memory>
#include <new>

#include "encoder/bitstring.h"
#include "encoder/codeword_stream.h"
#include "encoder/explain.h"
#include "encoder/frames.h"
#include "encoder/masking.h"
#include "encoder/overlay.h"
#include "encoder/placement.h"
#include "encoder/qrinput.h"
#include "encoder/qrresult.h"
#include "encoder/result_codes.h"
#include "encoder/tables.h"
#include "encoder/viewref.h"

namespace kelvane2::qrencode {

namespace {

constexpr int kMaxVersion = 40;
// The most codewords any symbol holds (version 40).
constexpr int kMaxCodewords = 3706;

struct ClampedOptions {
    int version;
    int forcedMode;
    bool strictVersion;
    int ecLevel;
    int mask;
};

ClampedOptions clampOptions(const EncodeOptions& options) {
    ClampedOptions clamped;
    const int requested = options.version & 0xFF;
    clamped.version = requested > kMaxVersion ? kMaxVersion : requested;
    clamped.forcedMode = (options.version >> 8) & 0x7;
    clamped.strictVersion = (options.version & kStrictVersion) != 0;
    clamped.ecLevel = options.ecLevel < 0 ? 0 : (options.ecLevel > 3 ? 3 : options.ecLevel);
    clamped.mask = options.mask < -1 ? -1 : (options.mask > 7 ? 7 : options.mask);
    return clamped;
}

// Writes the overlay of the input (its bitmap, else the Swiss cross when named ":swiss7") into the
// finished symbol.
void applyOverlay(const QRInput& input, IObjectBase* result, int width) {
    if (input.overlay != nullptr) {
        ViewRef<I2DBitPatternModifiable> target;
        if (target.query(result, IID_I2DBitPatternModifiable) == kStatusOk)
            applyCenterOverlay(target.get(), input.overlay);
        return;
    }
    if (!input.hasOverlayName || input.overlayName != ":swiss7") return;
    ViewRef<I2DBitPattern> cross(makeSwissCrossOverlay(width));
    if (!cross) return;
    ViewRef<I2DBitPatternModifiable> target;
    if (target.query(result, IID_I2DBitPatternModifiable) == kStatusOk)
        applyCenterOverlay(target.get(), cross.get());
}

// Records the segments, version and capacity the input settled on.
void recordInput(const QRInput& input, SymbolDecisions* decisions) {
    decisions->segments.clear();
    decisions->segmentBits = 0;
    for (const InputSegment& segment : input.segments) {
        decisions->segments.push_back(
            SegmentDecision{segment.mode, {segment.data.begin(), segment.data.end()}, segment.bits.length()});
        decisions->segmentBits += segment.bits.length();
    }
    decisions->version = input.version;
    decisions->ecLevel = input.ecLevel;
    if (input.version >= 1 && input.version <= kMaxVersion) {
        decisions->width = QrTables::symbolWidth(input.version);
        decisions->dataCodewords = QrTables::dataCodewords(input.version, input.ecLevel);
        decisions->eccCodewords = QrTables::eccCodewords(input.version, input.ecLevel);
        decisions->capacityBits = 8 * decisions->dataCodewords;
    }
}

// The overlay the driver writes, for the record: its size and source.
void recordOverlay(const QRInput& input, int width, SymbolDecisions* decisions) {
    decisions->overlayRows = decisions->overlayColumns = 0;
    decisions->overlaySource.clear();
    if (input.overlay != nullptr) {
        decisions->overlayRows = input.overlay->getRows();
        decisions->overlayColumns = input.overlay->getColumns();
        decisions->overlaySource = "bitmap";
        return;
    }
    if (!input.hasOverlayName || input.overlayName != ":swiss7") return;
    ViewRef<I2DBitPattern> cross(makeSwissCrossOverlay(width));
    if (!cross) return;
    decisions->overlayRows = cross->getRows();
    decisions->overlayColumns = cross->getColumns();
    decisions->overlaySource = ":swiss7";
}

// The driver; decisions, when not null, receives what it decided.
std::int32_t runEncode(const std::uint8_t* data, int length, const EncodeOptions& options,
                       IQrcodeResult** out, SymbolDecisions* decisions, Segmentation segmentation) {
    const ClampedOptions clamped = clampOptions(options);

    // Input language to segments.
    QRInput input(clamped.version, clamped.forcedMode, clamped.ecLevel);
    input.optimalSegmentation = segmentation == Segmentation::kOptimal;
    const int parseError = input.parse(data, length);
    if (parseError != 0) return failureCode(parseError);

    // Segments to the data bit stream of the smallest version that holds them.
    BitString bits(input.arena());
    const bool settled = input.dataBitString(bits);
    if (decisions != nullptr) recordInput(input, decisions);
    if (!settled) return failureCode(kErrInputTooLong);
    const int version = input.version;
    if (version < 1 || version > kMaxVersion) return failureCode(kErrInputTooLong);
    if (clamped.strictVersion && version > clamped.version) return failureCode(kErrInputTooLong);

    // Data and error correction codewords in placement order.
    if (bits.length() > 8 * CodewordStream::kMaxData) return failureCode(kErrInputTooLong);
    std::uint8_t dataCodewords[CodewordStream::kMaxData];
    const CodewordStream stream(version, clamped.ecLevel, dataCodewords, packBits(bits, dataCodewords));
    if (!stream.ok()) return failureCode(kErrInputTooLong);
    const int codewordCount = stream.dataLength() + stream.eccLength();
    if (codewordCount > kMaxCodewords) return failureCode(kErrInputTooLong);

    // Codewords and remainder modules into the free modules of the version's frame, as bit planes: the
    // byte matrix is written once, for the chosen mask.
    const int width = QrTables::symbolWidth(version);
    const PackedFrame* packed = packedFrame(version);
    const int remainder = QrTables::remainderBitCount(version);
    // The walk has a module for every codeword bit and remainder bit, no more, no fewer.
    if (packed == nullptr || packed->freeModules != 8 * codewordCount + remainder)
        return failureCode(kErrInputTooLong);
    // The remainder modules read the zero bytes after the codewords.
    std::uint8_t codewords[kMaxCodewords + 16];
    stream.interleaved(codewords);
    std::memset(codewords + codewordCount, 0, 16);

    // Mask and format information.
    int scores[8];
    int chosenMask = clamped.mask;
    std::unique_ptr<std::uint8_t[]> matrix(
        maskedSymbol(*packed, codewords, clamped.ecLevel, clamped.mask, &chosenMask, scores));
    if (decisions != nullptr) {
        if (clamped.mask < 0) std::memcpy(decisions->scores, scores, sizeof scores);
        decisions->mask = chosenMask;
        decisions->maskCount = clamped.mask < 0 ? 8 : 0;
        decisions->beforeOverlay.resize(static_cast<std::size_t>(width) * width);
        for (std::size_t k = 0; k < decisions->beforeOverlay.size(); ++k)
            decisions->beforeOverlay[k] = matrix[k] & kModuleDark;
        recordOverlay(input, width, decisions);
    }

    // The result object takes the matrix; the handle is its IQrcodeResult view.
    auto* result = new QrResult(version, clamped.ecLevel, width, matrix.get());
    matrix.release();
    ViewRef<IQrcodeResult> handle;
    handle.query(static_cast<I2DBitPattern*>(result), IID_IQrcodeResult);

    applyOverlay(input, handle.get(), width);
    *out = handle.detach();
    return 0;
}

}  // namespace

std::int32_t encodeQr(const std::uint8_t* data, int length, const EncodeOptions& options, IQrcodeResult** out,
                      Segmentation segmentation) {
    if (out == nullptr) return kNullPointerResult;
    *out = nullptr;
    if (data == nullptr && length > 0) return kNullPointerResult;
    if (length < 0) length = 0;
    try {
        return runEncode(data, length, options, out, nullptr, segmentation);
    } catch (...) {
        // Memory exhaustion (or any other failure of an allocation) on any step; every object made so
        // far has been released by its owner.
        *out = nullptr;
        return kOutOfMemoryResult;
    }
}

std::int32_t encodeQrRecorded(const std::uint8_t* data, int length, const EncodeOptions& options,
                              IQrcodeResult** out, SymbolDecisions* decisions, Segmentation segmentation) {
    if (out == nullptr || decisions == nullptr) return kNullPointerResult;
    *out = nullptr;
    *decisions = SymbolDecisions();
    if (data == nullptr && length > 0) return kNullPointerResult;
    if (length < 0) length = 0;
    try {
        return runEncode(data, length, options, out, decisions, segmentation);
    } catch (...) {
        *out = nullptr;
        return kOutOfMemoryResult;
    }
}

std::string narrowWideInput(const char16_t* text) {
    std::string bytes;
    if (text == nullptr) return bytes;
    std::size_t n = 0;
    bool narrow = true;
    for (; text[n] != 0; ++n) {
        if (text[n] > 0xFF) narrow = false;
    }
    if (narrow) {
        bytes.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<char>(text[i]);
        return bytes;
    }

    // EF BB BF, then UTF-8; at most three bytes per unit.
    bytes.reserve(3 + 3 * n);
    bytes.append("\xEF\xBB\xBF");
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t point = text[i];
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            point = ((point - 0xD800) << 10) + (text[i + 1] - 0xDC00u) + 0x10000;
            ++i;
        }
        if (point < 0x80) {
            bytes.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (point >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else if (point < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | (point >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | (point >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        }
    }
    return bytes;
}

}  // namespace kelvane2::qrencode
