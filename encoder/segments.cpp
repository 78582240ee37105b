// Data segments: their bits for a QR version, size estimates, the segment list and the data bit stream
// with terminator and padding.
#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>

#include "encoder/input_detail.h"
#include "encoder/qrinput.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

// ISO/IEC 18004 Table 2: the 4-bit mode indicators, indexed by SegmentMode.
constexpr std::uint32_t kModeIndicator[10] = {
    0x1,  // Numeric
    0x2,  // Alphanumeric
    0x4,  // Byte
    0x8,  // Kanji
    0x3,  // StructuredAppend
    0x7,  // Eci
    0xE,  // Indicator14
    0xF,  // Indicator15
    0x5,  // Fnc1First
    0x9,  // Fnc1Second
};

bool isSegmentMode(int mode) {
    return mode >= kNumeric && mode <= kFnc1Second;
}

// The value of a character outside the alphanumeric set is taken as 0; the parser never gives one.
std::uint32_t alphanumericCode(std::uint8_t byte) {
    int value = detail::alphanumericValue(byte);
    return value < 0 ? 0u : static_cast<std::uint32_t>(value);
}

char* writeNumericPayload(char* out, const std::uint8_t* digits, int size) {
    int i = 0;
    for (; i + 3 <= size; i += 3) {
        int value = (digits[i] - '0') * 100 + (digits[i + 1] - '0') * 10 + (digits[i + 2] - '0');
        out = writeBits(out, static_cast<std::uint32_t>(value), 10);
    }
    if (size - i == 2) {
        int value = (digits[i] - '0') * 10 + (digits[i + 1] - '0');
        out = writeBits(out, static_cast<std::uint32_t>(value), 7);
    } else if (size - i == 1) {
        out = writeBits(out, static_cast<std::uint32_t>(digits[i] - '0'), 4);
    }
    return out;
}

char* writeAlphanumericPayload(char* out, const std::uint8_t* text, int size) {
    int i = 0;
    for (; i + 2 <= size; i += 2)
        out = writeBits(out, 45 * alphanumericCode(text[i]) + alphanumericCode(text[i + 1]), 11);
    if (i < size) out = writeBits(out, alphanumericCode(text[i]), 6);
    return out;
}

char* writeKanjiPayload(char* out, const std::uint8_t* bytes, int size) {
    for (int i = 0; i + 2 <= size; i += 2) {
        std::uint32_t value = 256u * bytes[i] + bytes[i + 1];
        value -= value <= 0x9FFC ? 0x8140u : 0xC140u;
        out = writeBits(out, ((value >> 8) & 0xFFu) * 0xC0u + (value & 0xFFu), 13);
    }
    return out;
}

char* writeBytes(char* out, const std::uint8_t* bytes, int size) {
    for (int i = 0; i < size; ++i)
        out = writeByte(out, bytes[i]);
    return out;
}

// The payload of the character modes; every other mode that carries data writes each byte in 8 bits.
char* writeCharacterPayload(char* out, int mode, const std::uint8_t* bytes, int size) {
    switch (mode) {
        case kNumeric:
            return writeNumericPayload(out, bytes, size);
        case kAlphanumeric:
            return writeAlphanumericPayload(out, bytes, size);
        case kKanji:
            return writeKanjiPayload(out, bytes, size);
        default:
            return writeBytes(out, bytes, size);
    }
}

// The payload length in bits of a part of size bytes.
int payloadBits(int mode, int size) {
    switch (mode) {
        case kNumeric:
            return 10 * (size / 3) + (size % 3 == 1 ? 4 : 0) + (size % 3 == 2 ? 7 : 0);
        case kAlphanumeric:
            return 11 * (size / 2) + 6 * (size % 2);
        case kKanji:
            return 13 * (size / 2);
        case kStructuredAppend:
            return 16;
        case kFnc1First:
            return 0;
        default:  // Byte and the modes that carry their bytes as they are
            return 8 * size;
    }
}

// One header (indicator and count field) with its payload; size never exceeds maximumWords.
void appendPart(BitString& bits, int mode, const std::uint8_t* bytes, int size, int countWidth) {
    int length = 4 + countWidth + payloadBits(mode, size);
    char* out = bits.extend(length);
    char* const end = out + length;
    out = writeBits(out, kModeIndicator[mode], 4);
    std::uint32_t count = static_cast<std::uint32_t>(mode == kKanji ? size / 2 : size);
    out = writeBits(out, count, countWidth);  // no count field for modes 4 to 9
    if (mode == kStructuredAppend) {
        // Data bytes: total, position, parity; the bits: position - 1, total - 1, parity.
        std::uint32_t total = size > 0 ? bytes[0] : 0;
        std::uint32_t position = size > 1 ? bytes[1] : 0;
        std::uint32_t parity = size > 2 ? bytes[2] : 0;
        out = writeBits(out, position - 1, 4);
        out = writeBits(out, total - 1, 4);
        out = writeBits(out, parity, 8);
    } else if (mode != kFnc1First) {  // FNC1 in first position is the indicator alone
        out = writeCharacterPayload(out, mode, bytes, size);
    }
    assert(out == end);
    (void)end;
}

}  // namespace

void appendSegmentPayload(int mode, const std::uint8_t* bytes, int size, BitString& bits) {
    int length = payloadBits(mode, size);
    char* out = bits.extend(length);
    char* end = writeCharacterPayload(out, mode, bytes, size);
    assert(end == out + length);
    (void)end;
}

int encodeQrSegment(InputSegment& segment, int version) {
    segment.bits.clear();
    int mode = segment.mode;
    if (!isSegmentMode(mode)) return 0;
    int countWidth = QrTables::countBits(mode, version);
    int maximum = QrTables::maximumWords(mode, version);
    int size = segment.size();
    const std::uint8_t* bytes = segment.data.data();
    // A segment longer than one count field can hold becomes several parts, each with its own header;
    // all but the last hold exactly the maximum.
    int parts = size <= maximum ? 1 : (size + maximum - 1) / maximum;
    segment.bits.reserve(parts * (4 + countWidth + 7) + payloadBits(mode, size));
    int offset = 0;
    do {
        int partSize = std::min(size - offset, maximum);
        appendPart(segment.bits, mode, bytes + offset, partSize, countWidth);
        offset += partSize;
    } while (offset < size);
    return segment.bits.length();
}

int estimateSegmentBits(const InputSegment& segment, int version) {
    if (version == 0) version = 1;
    int n = segment.size();
    int base;
    switch (segment.mode) {
        case kNumeric:
            base = 10 * (n / 3) + (n % 3 == 1 ? 4 : 0) + (n % 3 == 2 ? 7 : 0);
            break;
        case kAlphanumeric:
            base = 11 * (n / 2) + (n % 2 == 1 ? 6 : 0);
            break;
        case kByte:
            base = 8 * n;
            break;
        case kKanji:
            base = 13 * (n / 2);
            break;
        case kStructuredAppend:
            return 20;
        case kEci:
        case kIndicator14:
        case kIndicator15:
            base = 8 * n + 4;
            break;
        case kFnc1First:
            base = 4;
            break;
        case kFnc1Second:
            base = 8;
            break;
        default:
            return 0;
    }
    // One header per 2^w bytes (w = 0 for modes without a count field: one per byte).
    int w = QrTables::countBits(segment.mode, version);
    int perHeader = 1 << w;
    return base + (w + 4) * ((n + perHeader - 1) / perHeader);
}

long long fewestSegmentSixths(const InputSegment& segment) {
    if (segment.mode >= kNumeric && segment.mode <= kByte) {
        long long sixths = 0;
        for (std::uint8_t byte : segment.data)
            sixths += detail::isDigit(byte) ? 20 : 33;
        return sixths;
    }
    return 6LL * (3 + payloadBits(segment.mode, segment.size()));
}

int mostDataBits() {
    return 8 * QrTables::dataCodewords(40, 0);
}

std::size_t segmentLimit() {
    return static_cast<std::size_t>(mostDataBits() / 3 + 1);
}

bool QRInput::mayFit() const {
    if (exceedsEverySymbol) return false;
    long long sixths = 0;
    for (const InputSegment& segment : segments)
        sixths += fewestSegmentSixths(segment);
    return sixths <= 6LL * mostDataBits();
}

QRInput::QRInput(int version, int forcedMode, int ecLevel)
    : version(std::clamp(version, 0, 40)),
      forcedMode(std::clamp(forcedMode, 0, 7)),
      ecLevel(std::clamp(ecLevel, 0, 3)) {}

QRInput::~QRInput() {
    if (overlay != nullptr) overlay->Release();
}

void QRInput::appendSegment(int mode, const std::uint8_t* bytes, int size) {
    // Room for a few segments at once rather than growing one at a time.
    if (segments.capacity() == 0) segments.reserve(8);
    segments.emplace_back(&arena_);
    InputSegment& segment = segments.back();
    segment.mode = mode;
    if (size > 0) segment.data.assign(bytes, bytes + size);
}

void QRInput::prependSegment(int mode, const std::uint8_t* bytes, int size) {
    InputSegment segment(&arena_);
    segment.mode = mode;
    if (size > 0) segment.data.assign(bytes, bytes + size);
    segments.insert(segments.begin(), std::move(segment));
}

int QRInput::encodeAllSegments() {
    long long total = 0;
    for (InputSegment& segment : segments)
        total += encodeQrSegment(segment, version);
    return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

BitString QRInput::tailBits() {
    BitString tail;
    QRInput::appendTailBits(tail);
    return tail;
}

void QRInput::appendTailBits(BitString& out) {
    int dataWords = version >= 1 && version <= 40 ? QrTables::dataCodewords(version, ecLevel) : 0;
    int capacity = 8 * dataWords;
    long long used = 0;
    for (const InputSegment& segment : segments)
        used += segment.bits.length();
    if (used >= capacity) return;
    int free = capacity - static_cast<int>(used);
    if (free < 5) {
        // A shortened terminator and no pad codewords.
        out.appendZeros(free);
        return;
    }
    int withTerminator = static_cast<int>(used) + 11;
    int pads = dataWords - withTerminator / 8;
    // The 4-bit terminator and the zero bits up to the next byte boundary.
    const int zeros = 11 - withTerminator % 8;
    out.reserve(zeros + 8 * pads);
    out.appendZeros(zeros);
    for (int i = 0; i < pads; ++i)
        out.appendNumber(i % 2 == 0 ? 0xECu : 0x11u, 8);
}

bool QRInput::concatSegments(BitString& out) {
    out.clear();
    if (!settleVersion()) return false;
    int total = 0;
    for (const InputSegment& segment : segments)
        total += segment.bits.length();
    // Room for the tail as well, so that dataBitString appends without reallocating.
    out.reserve(std::max(total, 8 * QrTables::dataCodewords(version, ecLevel)));
    for (const InputSegment& segment : segments)
        out.append(segment.bits);
    return true;
}

bool QRInput::dataBitString(BitString& out) {
    if (!concatSegments(out)) return false;
    appendTailBits(out);
    return true;
}

}  // namespace kelvane2::qrencode
