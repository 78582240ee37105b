// Division of plain runs into numeric, alphanumeric and byte segments, and QR version selection.
#include <climits>

#include "encoder/input_detail.h"
#include "encoder/optimal_segmentation.h"
#include "encoder/qrinput.h"
#include "encoder/result_codes.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

// Look-ahead thresholds of the run division: digits needed to leave alphanumeric for numeric, digits
// needed to leave byte for numeric, alphanumeric characters needed to leave byte for alphanumeric.
constexpr int kAlphanumericToNumeric = 13;
constexpr int kByteToNumeric = 6;
constexpr int kByteToAlphanumeric = 11;

// The version from which the count fields are widest (versions 27-40).
constexpr int kWidestCountVersion = 27;

// The end of the stretch of bytes of one kind that starts at a position, found by a scan that only
// ever moves forward: asking for positions in increasing order costs linear time over the run.
template <bool (*Member)(std::uint8_t)>
class StretchEnd {
  public:
    StretchEnd(const std::uint8_t* run, int length) : run_(run), length_(length) {}
    // The number of members from position i on (i increasing from call to call).
    int from(int i) {
        if (end_ < i) end_ = i;
        while (end_ < length_ && Member(run_[end_]))
            ++end_;
        return end_ - i;
    }

  private:
    const std::uint8_t* run_;
    int length_;
    int end_ = 0;
};

// The range of versions sharing one set of count field widths: 1-9 (and 0), 10-26, 27-40.
int countRange(int version) {
    return version <= 9 ? 0 : (version <= 26 ? 1 : 2);
}

int minimumVersionForBits(long long bits, int level) {
    long long bytes = (bits + 7) / 8;
    if (bytes > INT_MAX) return -1;
    return QrTables::minimumVersion(static_cast<int>(bytes), level);
}

}  // namespace

namespace detail {

int leadingMode(const std::uint8_t* run, int length) {
    std::uint8_t first = run[0];
    if (isByteClass(first)) return kByte;
    if (!isDigit(first)) {
        for (int i = 1; i <= 6 && i < length; ++i) {
            if (isByteClass(run[i])) return kByte;
        }
        return kAlphanumeric;
    }
    for (int i = 1; i <= 4 && i < length; ++i) {
        if (isByteClass(run[i])) return kByte;
    }
    for (int i = 1; i <= 6 && i < length; ++i) {
        if (!isDigit(run[i])) return kAlphanumeric;
    }
    return kNumeric;
}

}  // namespace detail

void QRInput::segmentRun(const std::uint8_t* run, int length) {
    using detail::isByteClass;
    using detail::isDigit;
    if (length <= 0) return;
    StretchEnd<isDigit> digits(run, length);
    StretchEnd<detail::isAlphanumeric> alphanumerics(run, length);
    int mode = detail::leadingMode(run, length);
    int start = 0;
    auto switchTo = [&](int next, int i) {
        appendSegment(mode, run + start, i - start);
        mode = next;
        start = i;
    };
    for (int i = 1; i < length; ++i) {
        std::uint8_t x = run[i];
        switch (mode) {
            case kNumeric:
                if (isByteClass(x)) {
                    switchTo(kByte, i);
                } else if (!isDigit(x)) {
                    switchTo(kAlphanumeric, i);
                }
                break;
            case kAlphanumeric:
                if (isByteClass(x)) {
                    switchTo(kByte, i);
                } else if (digits.from(i) >= kAlphanumericToNumeric) {
                    switchTo(kNumeric, i);
                }
                break;
            default:  // kByte
                // A byte-class byte starts neither stretch.
                if (isByteClass(x)) break;
                if (digits.from(i) >= kByteToNumeric) {
                    switchTo(kNumeric, i);
                } else if (alphanumerics.from(i) >= kByteToAlphanumeric) {
                    switchTo(kAlphanumeric, i);
                }
                break;
        }
    }
    appendSegment(mode, run + start, length - start);
}

int QRInput::forcedRun(const std::uint8_t* run, int length) {
    if (length <= 0) return 0;
    if (forcedMode == 0) {
        segmentRun(run, length);
        return 0;
    }
    bool allDigits = true;
    bool allAlphanumeric = true;
    if (forcedMode <= 3) {
        for (int i = 0; i < length && allAlphanumeric; ++i) {
            allDigits = allDigits && detail::isDigit(run[i]);
            allAlphanumeric = detail::isAlphanumeric(run[i]);
        }
    }
    int mode = kByte;
    switch (forcedMode) {
        case 1:  // the narrowest mode that holds the whole run
            mode = allDigits ? kNumeric : (allAlphanumeric ? kAlphanumeric : kByte);
            break;
        case 2:
            if (!allDigits) return kErrInvalidCharacters;
            mode = kNumeric;
            break;
        case 3:
            if (!allAlphanumeric) return kErrInvalidCharacters;
            mode = kAlphanumeric;
            break;
        default:
            break;
    }
    appendSegment(mode, run, length);
    return 0;
}

int QRInput::checkForcedRun(const std::uint8_t* run, int length) const {
    for (int i = 0; i < length; ++i) {
        if (forcedMode == 2 && !detail::isDigit(run[i])) return kErrInvalidCharacters;
        if (forcedMode == 3 && !detail::isAlphanumeric(run[i])) return kErrInvalidCharacters;
    }
    return 0;
}

int QRInput::lowerBoundVersion() {
    int a = 0;
    for (;;) {
        long long bits = 0;
        for (const InputSegment& segment : segments)
            bits += estimateSegmentBits(segment, a);
        int v = minimumVersionForBits(bits, ecLevel);
        if (v == -1) return -1;
        if (v <= a) return v;
        a = v;
    }
}

bool QRInput::settleVersion() {
    if (!mayFit()) return false;
    if (optimalSegmentation) return settleOptimalVersion(*this);
    int estimate = lowerBoundVersion();
    if (estimate > version) version = estimate;
    for (;;) {
        int encodedAt = version;
        int v = minimumVersionForBits(encodeAllSegments(), ecLevel);
        if (v == -1) {
            // The short count fields of the low versions split long segments into many headers; the
            // data may still fit once counted with the widest fields.
            if (version >= kWidestCountVersion) return false;
            version = kWidestCountVersion;
            continue;
        }
        if (v <= version) return true;
        version = v;
        // Segment bits depend on the version only through the count field widths: within the same
        // range of versions they stay as they are, and v holds them.
        if (countRange(v) == countRange(encodedAt)) return true;
    }
}

}  // namespace kelvane2::qrencode
