// Data masks, format information, the penalty score and the automatic choice of mask of QR Code symbols.
//
// penalty and scoreRuns evaluate one matrix byte by byte, straight from the definition of the score.
// chooseMask gets the same eight scores from bit planes (encoder/mask_planes.h): the filled frame is
// packed once, both row by row and column by column, and every candidate is scored with word operations
// over many lines at a time. Only the winning candidate is written out as bytes.
#include "encoder/masking.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "encoder/frames.h"
#include "encoder/mask_planes.h"
#include "encoder/placement.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

constexpr int kMaxWidth = 177;  // version 40
constexpr int kMasks = 8;
constexpr int kFormatBits = 15;

int penaltyByBytes(int w, const std::uint8_t* m) {
    int score = 0;
    for (int r = 0; r + 1 < w; ++r) {
        const std::uint8_t* top = m + r * w;
        const std::uint8_t* bottom = top + w;
        for (int c = 0; c + 1 < w; ++c) {
            int colour = top[c] & 1;
            if ((top[c + 1] & 1) == colour && (bottom[c] & 1) == colour && (bottom[c + 1] & 1) == colour)
                score += 3;
        }
    }
    int runs[kMaxRuns];
    for (int r = 0; r < w; ++r)
        score += scoreRuns(runs, lineRuns(m + r * w, 1, w, runs));
    for (int c = 0; c < w; ++c)
        score += scoreRuns(runs, lineRuns(m + c, w, w, runs));
    return score;
}

}  // namespace

int maskPattern(int mask, int w, const std::uint8_t* source, std::uint8_t* target) {
    assert(mask >= 0 && mask < kMasks);
    // One row of the pattern (0 or 1 per module) for each row residue modulo 12.
    std::uint8_t pattern[12][kMaxWidth];
    const bool packed = w <= kMaxWidth;
    if (packed) {
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < w; ++j)
                pattern[i][j] = maskCondition(mask, i, j % 6) ? 1 : 0;
    }
    int dark = 0;
    for (int i = 0; i < w; ++i) {
        const std::uint8_t* from = source + static_cast<std::size_t>(i) * w;
        std::uint8_t* to = target + static_cast<std::size_t>(i) * w;
        if (packed) {
            const std::uint8_t* flip = pattern[i % 12];
            for (int j = 0; j < w; ++j) {
                std::uint8_t v = from[j];
                v ^= flip[j] & ~(v >> 7);
                to[j] = v;
                dark += v & 1;
            }
        } else {
            for (int j = 0; j < w; ++j) {
                std::uint8_t v = from[j];
                if ((v & kModuleFunction) == 0 && maskCondition(mask, i, j)) v ^= kModuleDark;
                to[j] = v;
                dark += v & 1;
            }
        }
    }
    return dark;
}

int writeFormatInfo(int w, std::uint8_t* matrix, int mask, int level) {
    assert(w >= 21);
    const int format = QrTables::formatInfo(mask, level);
    int dark = 0;
    for (int k = 0; k < kFormatBits; ++k) {
        int bit = (format >> k) & 1;
        auto value = static_cast<std::uint8_t>(kModuleFunction | kModuleFormat | bit);
        FormatModule at = formatModule(w, k);
        matrix[at.row1 * w + at.column1] = value;
        matrix[at.row2 * w + at.column2] = value;
        dark += 2 * bit;
    }
    return dark;
}

int lineRuns(const std::uint8_t* line, int step, int length, int* runs) {
    assert(length >= 1 && length < kMaxRuns);
    int count = 0;
    int colour = line[0] & 1;
    if (colour != 0) runs[count++] = -1;
    runs[count++] = 1;
    for (int k = 1; k < length; ++k) {
        int next = line[static_cast<std::size_t>(k) * step] & 1;
        if (next != colour) {
            runs[count++] = 1;
            colour = next;
        } else {
            ++runs[count - 1];
        }
    }
    return count;
}

int scoreRuns(const int* runs, int count) {
    int score = 0;
    for (int i = 0; i < count; ++i) {
        int r = runs[i];
        if (r >= 5) score += r - 2;
        if ((i & 1) != 0 && i >= 3 && i < count - 2 && r % 3 == 0) {
            int f = r / 3;
            if (runs[i - 2] == f && runs[i - 1] == f && runs[i + 1] == f && runs[i + 2] == f) {
                if (i == 3 || runs[i - 3] >= 4 * f || i + 4 >= count || runs[i + 3] >= 4 * f) score += 40;
            }
        }
    }
    return score;
}

int penalty(int w, const std::uint8_t* matrix) {
    return penaltyByBytes(w, matrix);
}

int maskScore(int w, const std::uint8_t* matrix, int darkCount) {
    return penalty(w, matrix) + darkShareScore(w, darkCount);
}

std::uint8_t* applyMask(int w, const std::uint8_t* frame, int mask, int level) {
    assert(mask >= 0 && mask < kMasks);
    std::uint8_t* matrix = new std::uint8_t[static_cast<std::size_t>(w) * w];
    maskPattern(mask, w, frame, matrix);
    writeFormatInfo(w, matrix, mask, level);
    return matrix;
}

std::uint8_t* chooseMask(int w, const std::uint8_t* frame, int level, int* chosenMask, int* scores) {
    int own[kMasks];
    int* out = scores != nullptr ? scores : own;
    assert(w >= 21 && w <= kMaxWidth);
    const PlaneLayout layout(w);
    std::uint64_t dark[kMaxPlaneWords];
    std::uint64_t maskable[kMaxPlaneWords];
    packMatrix(frame, layout, dark, maskable);
    // The dark count of a candidate takes the format area as masked from the frame, before the format
    // information replaces it (light in every frame the encoder fills).
    int formatAreaDark[kMasks];
    formatAreaDarkCounts(w, frame, formatAreaDark);
    const SymbolPlanes planes{layout, dark, maskable, formatAreaDark};
    const int best = scoreMaskCandidates(planes, level, out);
    if (chosenMask != nullptr) *chosenMask = best;
    std::uint8_t* matrix = new std::uint8_t[static_cast<std::size_t>(w) * w];
    writeMaskedMatrix(planes, best, level, frame, 0, matrix);
    return matrix;
}

std::uint8_t* maskedSymbol(const PackedFrame& frame, const std::uint8_t* codewords, int level, int mask,
                           int* chosenMask, int* scores) {
    const int w = frame.width;
    const PlaneLayout layout(w);
    std::uint64_t colours[kMaxPlaneWords];
    const std::size_t words = static_cast<std::size_t>(layout.words());
    std::memset(colours, 0, words * sizeof *colours);
    placeCodewordsPacked(frame.chunks, frame.chunkCount, codewords, colours);
    transposeColumnsToRows(layout, colours);
    for (std::size_t i = 0; i < words; ++i)
        colours[i] |= frame.dark[i];
    const SymbolPlanes planes{layout, colours, frame.maskable};
    int own[kMasks];
    if (mask < 0) mask = scoreMaskCandidates(planes, level, scores != nullptr ? scores : own);
    if (chosenMask != nullptr) *chosenMask = mask;
    std::uint8_t* matrix = new std::uint8_t[static_cast<std::size_t>(w) * w];
    writeMaskedMatrix(planes, mask, level, frame.frame, kModuleData, matrix);
    return matrix;
}

}  // namespace kelvane2::qrencode
