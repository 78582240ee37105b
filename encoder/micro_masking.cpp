#include "encoder/micro_masking.h"

#include <cstring>
#include <memory>

#include "encoder/frames.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

// ISO/IEC 18004 Table 10: the Micro QR Code data mask conditions (the QR Code masks 1, 4, 6 and 7).
bool microMaskCondition(int mask, int i, int j) {
    switch (mask) {
        case 0:
            return i % 2 == 0;
        case 1:
            return (i / 2 + j / 3) % 2 == 0;
        case 2:
            return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
        default:
            return ((i * j) % 3 + (i + j) % 2) % 2 == 0;
    }
}

void writeModule(std::uint8_t* frame, std::uint32_t position, int bit) {
    frame[position] = bit ? (kModuleData | kModuleDark) : kModuleData;
}

}  // namespace

void microMaskPattern(int mask, int w, const std::uint8_t* source, std::uint8_t* target) {
    for (int i = 0; i < w; ++i) {
        for (int j = 0; j < w; ++j) {
            std::uint8_t module = source[i * w + j];
            if (!(module & kModuleFunction) && microMaskCondition(mask, i, j)) module ^= kModuleDark;
            target[i * w + j] = module;
        }
    }
}

void writeMicroFormatInfo(int version, int w, std::uint8_t* matrix, int mask, int level) {
    const int format = MicroTables::formatInfo(mask, version, level);
    for (int k = 0; k < 8; ++k) {
        matrix[(k + 1) * w + 8] = static_cast<std::uint8_t>(0x84 | ((format >> k) & 1));
    }
    for (int k = 0; k < 7; ++k) {
        matrix[8 * w + (7 - k)] = static_cast<std::uint8_t>(0x84 | ((format >> (8 + k)) & 1));
    }
}

int microScore(int w, const std::uint8_t* matrix) {
    int bottom = 0;
    int right = 0;
    for (int k = 0; k < w; ++k) {
        bottom += matrix[(w - 1) * w + k] & 1;
        right += matrix[k * w + (w - 1)] & 1;
    }
    return bottom <= right ? bottom * 16 + right : right * 16 + bottom;
}

std::uint8_t* applyMicroMask(int version, const std::uint8_t* frame, int mask, int level) {
    const int w = MicroTables::microSymbolWidth(version);
    std::uint8_t* matrix = new std::uint8_t[static_cast<std::size_t>(w * w)];
    microMaskPattern(mask, w, frame, matrix);
    writeMicroFormatInfo(version, w, matrix, mask, level);
    return matrix;
}

std::uint8_t* chooseMicroMask(int version, const std::uint8_t* frame, int level, int* chosenMask,
                              int* scores) {
    const int w = MicroTables::microSymbolWidth(version);
    const std::size_t size = static_cast<std::size_t>(w * w);
    // The candidates are made in two buffers of the largest symbol's size; only the winner is copied out.
    constexpr std::size_t kLargest = 17 * 17;
    if (size > kLargest) return nullptr;
    std::uint8_t buffers[2][kLargest];
    int bestBuffer = -1;
    int bestScore = 0;
    int bestMask = 0;
    for (int mask = 0; mask < 4; ++mask) {
        std::uint8_t* work = buffers[bestBuffer == 0 ? 1 : 0];
        microMaskPattern(mask, w, frame, work);
        writeMicroFormatInfo(version, w, work, mask, level);
        int score = microScore(w, work);
        if (scores != nullptr) scores[mask] = score;
        if (score > bestScore) {
            bestScore = score;
            bestMask = mask;
            bestBuffer = work == buffers[0] ? 0 : 1;
        }
    }
    if (chosenMask != nullptr) *chosenMask = bestMask;
    if (bestBuffer < 0) return nullptr;
    std::uint8_t* matrix = new std::uint8_t[size];
    std::memcpy(matrix, buffers[bestBuffer], size);
    return matrix;
}

void placeMicroCodewords(std::uint8_t* frame, const std::uint32_t* order, const std::uint8_t* data,
                         int dataLength, const std::uint8_t* ecc, int eccLength, int oddBits) {
    int next = 0;
    for (int i = 0; i < dataLength; ++i) {
        const int bitCount = (oddBits != 0 && i == dataLength - 1) ? 4 : 8;
        for (int b = bitCount - 1; b >= 0; --b)
            writeModule(frame, order[next++], (data[i] >> b) & 1);
    }
    for (int i = 0; i < eccLength; ++i) {
        for (int b = 7; b >= 0; --b)
            writeModule(frame, order[next++], (ecc[i] >> b) & 1);
    }
}

}  // namespace kelvane2::qrencode
