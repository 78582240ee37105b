#include "encoder/micro_input.h"

#include <algorithm>

#include "encoder/optimal_segmentation.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

// The highest level each Micro version offers: M1 error detection only (0), M2 and M3 M, M4 Q.
constexpr int kHighestMicroLevel[5] = {0, 0, 1, 1, 2};

// The first Micro version that has each character mode: numeric M1, alphanumeric M2, byte and Kanji M3.
constexpr int kFirstMicroVersion[4] = {1, 2, 3, 3};

// One header and payload; false when the version cannot carry the mode.
bool encodeMicroPart(int mode, const std::uint8_t* data, int size, int version, BitString& bits) {
    if (mode < kNumeric || mode > kKanji || version < kFirstMicroVersion[mode]) return false;
    int maximum = QrTables::maximumWords(mode, version);
    if (size > maximum) {
        return encodeMicroPart(mode, data, maximum, version, bits) &&
               encodeMicroPart(mode, data + maximum, size - maximum, version, bits);
    }
    bits.appendNumber(static_cast<std::uint32_t>(mode), version - 1);
    int count = mode == kKanji ? size / 2 : size;
    bits.appendNumber(static_cast<std::uint32_t>(count), MicroTables::countBits(mode, version));
    appendSegmentPayload(mode, data, size, bits);
    return true;
}

}  // namespace

int encodeMicroSegment(InputSegment& segment, int version) {
    segment.bits.clear();
    if (!encodeMicroPart(segment.mode, segment.data.data(), segment.size(), version, segment.bits)) {
        segment.bits.clear();
        return -1;
    }
    return segment.bits.length();
}

MQRInput::MQRInput(int version, int ecLevel) : QRInput(version, 0, ecLevel) {}

int MQRInput::parse(const std::uint8_t* data, int length) {
    return parseLanguage(data, length, true);
}

int MQRInput::encodeAllSegments(int microVersion) {
    int total = 0;
    for (InputSegment& segment : segments) {
        int bits = encodeMicroSegment(segment, microVersion);
        if (bits < 0) return -1;
        total += bits;
    }
    return total;
}

int highestMicroLevel(int version) {
    return kHighestMicroLevel[version];
}

bool MQRInput::fitMicroVersion() {
    if (!mayFit()) return false;
    if (optimalSegmentation) return fitOptimalMicroVersion(*this);
    for (int candidate = version == 0 ? 1 : version; candidate <= 4; ++candidate) {
        int bits = encodeAllSegments(candidate);
        if (bits < 0) continue;
        int level = std::min(ecLevel, kHighestMicroLevel[candidate]);
        if (MicroTables::dataBits(candidate, level) >= bits) {
            version = candidate;
            ecLevel = level;
            return true;
        }
    }
    return false;
}

bool MQRInput::concatSegments(BitString& out) {
    out.clear();
    if (!fitMicroVersion()) return false;
    for (const InputSegment& segment : segments)
        out.append(segment.bits);
    return true;
}

BitString MQRInput::tailBits() {
    BitString tail;
    const int capacity = MicroTables::dataBits(version, ecLevel);
    const int wholeCodewords = capacity / 8;
    int used = 0;
    for (const InputSegment& segment : segments)
        used += segment.bits.length();
    const int terminator = 2 * version + 1;  // 3, 5, 7, 9 bits for M1 to M4
    if (used >= capacity) return tail;
    if (capacity - used <= terminator) {
        tail.appendZeros(capacity - used);
        return tail;
    }
    const int terminated = used + terminator;
    const int codewords = (terminated + 7) / 8;
    int zeros = terminator + (8 * codewords - terminated);
    if (capacity - 8 * codewords > 0 && codewords == wholeCodewords) zeros += capacity - 8 * codewords;
    tail.appendZeros(zeros);
    if (wholeCodewords - codewords > 0) {
        for (int k = 0; k < wholeCodewords - codewords; ++k)
            tail.appendNumber(k % 2 == 0 ? 0xEC : 0x11, 8);
        if (capacity - 8 * wholeCodewords > 0) tail.appendZeros(capacity - 8 * wholeCodewords);
    }
    return tail;
}

}  // namespace kelvane2::qrencode
