// Data masks, format information, the penalty score and the automatic choice of mask of QR Code symbols.
//
// penalty and scoreRuns evaluate one matrix byte by byte, straight from the definition of the score.
// chooseMask gets the same eight scores from bit-packed lines: the filled frame is packed once into
// words of 64 modules, both row by row and column by column, and every candidate is scored with word
// operations that look at 64 lines at a time. Only the winning candidate is written out as bytes.
#include "encoder/masking.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "encoder/frames.h"
#include "encoder/tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QRKIT_POPCNT_DISPATCH 1
#define QRKIT_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define QRKIT_POPCNT_DISPATCH 0
#define QRKIT_ALWAYS_INLINE inline
#endif

namespace kelvane2::qrencode {

namespace {

constexpr int kMaxWidth = 177;  // version 40
constexpr int kMasks = 8;
constexpr int kFormatBits = 15;

// Data mask pattern conditions of ISO/IEC 18004 (table "Data mask pattern generation conditions"),
// row i and column j. Every condition repeats with period 12 in i and 6 in j.
constexpr bool maskCondition(int mask, int i, int j) {
    switch (mask) {
        case 0:
            return (i + j) % 2 == 0;
        case 1:
            return i % 2 == 0;
        case 2:
            return j % 3 == 0;
        case 3:
            return (i + j) % 3 == 0;
        case 4:
            return (i / 2 + j / 3) % 2 == 0;
        case 5:
            return (i * j) % 2 + (i * j) % 3 == 0;
        case 6:
            return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
        default:
            return ((i * j) % 3 + (i + j) % 2) % 2 == 0;
    }
}

// Position of bit k (0-14) of the format word: first copy beside the top-left finder, second copy split
// between the top-right and bottom-left finders.
struct FormatModule {
    int row1, column1, row2, column2;
};

FormatModule formatModule(int w, int k) {
    if (k < 8) return {k <= 5 ? k : k + 1, 8, 8, w - 1 - k};
    int m = k - 8;
    return {8, m == 0 ? 7 : 6 - m, w - 7 + m, 8};
}

int n4(int w, int darkCount) {
    int percent = static_cast<int>(static_cast<long long>(darkCount) * 100 / (static_cast<long long>(w) * w));
    return std::abs(percent - 50) / 5 * 10;
}

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

// ---------------------------------------------------------------------------------------------------
// Bit-packed evaluation.
//
// A plane holds one word per line position and 64-line slice: word [s][kPad + p] has bit t set when
// module p of line 64 s + t is dark. In the rows plane the lines are the columns and p is the row (each
// word is 64 modules of one row); in the columns plane the lines are the rows and p the column. Scanning
// a plane along p scores its lines 64 at a time. Positions outside 0 ... w - 1 and lanes of lines
// beyond w hold light modules (zero) and are never written.

constexpr int kSlices = 3;  // ceil(177 / 64)
constexpr int kPad = 16;    // light positions on each side of a line, enough for the widest look-around
constexpr int kSpan = kPad + kMaxWidth + kPad;

typedef std::uint64_t Plane[kSlices][kSpan];

// The mask conditions as words: rows[mask][i mod 12][j0 mod 6] has bit t set when the condition holds
// at (i, j0 + t); columns[mask][j mod 6][i0 mod 12] when it holds at (i0 + t, j).
struct MaskWords {
    std::uint64_t rows[kMasks][12][6];
    std::uint64_t columns[kMasks][6][12];
};

constexpr MaskWords makeMaskWords() {
    MaskWords words{};
    for (int mask = 0; mask < kMasks; ++mask) {
        for (int i = 0; i < 12; ++i) {
            for (int j = 0; j < 6; ++j) {
                std::uint64_t row = 0;
                std::uint64_t column = 0;
                for (int t = 0; t < 64; ++t) {
                    if (maskCondition(mask, i, j + t)) row |= std::uint64_t{1} << t;
                    if (maskCondition(mask, i + t, j)) column |= std::uint64_t{1} << t;
                }
                words.rows[mask][i][j] = row;
                words.columns[mask][j][i] = column;
            }
        }
    }
    return words;
}

constexpr MaskWords kMaskWords = makeMaskWords();

// Lanes of slice s that carry one of the w lines.
inline std::uint64_t laneMask(int s, int w) {
    int lanes = w - 64 * s;
    if (lanes >= 64) return ~std::uint64_t{0};
    return lanes <= 0 ? 0 : (std::uint64_t{1} << lanes) - 1;
}

// Packs n (1-64) module bytes: bit t of *dark is bit 0 of p[t], bit t of *maskable is set when bit 7 of
// p[t] is clear.
inline void packBytes(const std::uint8_t* p, int n, std::uint64_t* dark, std::uint64_t* maskable) {
    std::uint64_t d = 0;
    std::uint64_t f = 0;
    int t = 0;
#if defined(__SSE2__)
    for (; t + 16 <= n; t += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + t));
        auto colour = static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi64(v, 7)));
        auto function = static_cast<unsigned>(_mm_movemask_epi8(v));
        d |= std::uint64_t{colour} << t;
        f |= std::uint64_t{~function & 0xFFFFu} << t;
    }
#endif
    for (; t < n; ++t) {
        d |= std::uint64_t{p[t] & 1u} << t;
        f |= std::uint64_t{(p[t] >> 7) ^ 1u} << t;
    }
    *dark = d;
    *maskable = f;
}

// Transposes a 64 x 64 bit block in place: bit u of word t moves to bit t of word u.
void transpose64(std::uint64_t* a) {
    std::uint64_t m = 0x00000000FFFFFFFFull;
    for (int j = 32; j != 0; j >>= 1, m ^= m << j) {
        for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
            std::uint64_t t = ((a[k] >> j) ^ a[k | j]) & m;
            a[k] ^= t << j;
            a[k | j] ^= t;
        }
    }
}

// The columns plane of the same modules as a rows plane.
void transposePlane(const Plane& rows, Plane& columns, int w) {
    int slices = (w + 63) / 64;
    std::uint64_t block[64];
    for (int a = 0; a < slices; ++a) {      // rows 64 a ...
        for (int b = 0; b < slices; ++b) {  // columns 64 b ...
            std::memcpy(block, &rows[b][kPad + 64 * a], sizeof block);
            transpose64(block);
            std::memcpy(&columns[a][kPad + 64 * b], block, sizeof block);
        }
    }
}

inline void setModule(Plane& rows, Plane& columns, int r, int c, bool dark) {
    std::uint64_t& inRow = rows[c >> 6][kPad + r];
    std::uint64_t& inColumn = columns[r >> 6][kPad + c];
    std::uint64_t rowBit = std::uint64_t{1} << (c & 63);
    std::uint64_t columnBit = std::uint64_t{1} << (r & 63);
    inRow = dark ? inRow | rowBit : inRow & ~rowBit;
    inColumn = dark ? inColumn | columnBit : inColumn & ~columnBit;
}

// 40 when the dark run that starts at position c of the line in lane `lane` is the middle of a 1:1:3:1:1
// pattern of unit f >= 2 that the N3 rule counts, else 0. line points at position 0 of the slice.
int wideFinderScore(const std::uint64_t* line, int lane, int c, int w) {
    auto dark = [&](int q) { return q >= 0 && q < w && ((line[q] >> lane) & 1) != 0; };
    auto allLight = [&](int from, int to) {
        for (int q = from; q < to; ++q)
            if (dark(q)) return false;
        return true;
    };
    auto allDark = [&](int from, int to) {
        for (int q = from; q < to; ++q)
            if (!dark(q)) return false;
        return true;
    };
    int e = c;
    while (dark(e))
        ++e;
    int r = e - c;
    if (r % 3 != 0) return 0;
    int f = r / 3;
    int start = c - 2 * f;  // first module of the pattern
    int end = e + 2 * f;    // one past its last module
    if (start < 0 || end > w) return 0;
    if (!allLight(c - f, c) || !allDark(start, c - f) || dark(start - 1)) return 0;
    if (!allLight(e, e + f) || !allDark(e + f, end) || dark(end)) return 0;
    // Light (or the edge) for 4 f modules before or after the pattern.
    if (allLight(start - 4 * f, start) || allLight(end, end + 4 * f)) return 40;
    return 0;
}

// N1 + N3 of the w lines of a plane, plus N2 when blocks is set (every 2 x 2 block lies across two
// adjacent lines of the plane, so one of the two planes counts them).
template <int NW>
QRKIT_ALWAYS_INLINE int scanPlane(const Plane& plane, int w, bool blocks) {
    static const std::uint64_t kNone[kSpan] = {};
    int n1 = 0;
    int n2 = 0;
    int n3 = 0;
    for (int s = 0; s < NW; ++s) {
        const std::uint64_t* x = plane[s] + kPad;
        const std::uint64_t lanes = laneMask(s, w);

        // N1: a[p] marks a line whose modules p ... p + 4 share one colour; a run of r >= 5 modules
        // gives r - 4 such positions, plus 2 at its first position makes r - 2.
        std::uint64_t d1 = x[0] ^ x[1];
        std::uint64_t d2 = x[1] ^ x[2];
        std::uint64_t d3 = x[2] ^ x[3];
        std::uint64_t previous = 0;
        for (int p = 0; p + 4 < w; ++p) {
            std::uint64_t d4 = x[p + 3] ^ x[p + 4];
            std::uint64_t a = ~(d1 | d2 | d3 | d4) & lanes;
            n1 += __builtin_popcountll(a) + 2 * __builtin_popcountll(a & ~previous);
            previous = a;
            d1 = d2;
            d2 = d3;
            d3 = d4;
        }

        // N2 (3 points a block): modules p and p + 1 equal on lane t, on lane t + 1 and across the two
        // lanes at p.
        if (blocks) {
            const std::uint64_t* y = s + 1 < NW ? plane[s + 1] + kPad : kNone + kPad;
            const std::uint64_t nextLanes = laneMask(s + 1, w);
            for (int p = 0; p + 1 < w; ++p) {
                std::uint64_t h = ~(x[p] ^ x[p + 1]) & lanes;
                std::uint64_t hNext = ~(y[p] ^ y[p + 1]) & nextLanes;
                std::uint64_t across = x[p] ^ ((x[p] >> 1) | (y[p] << 63));
                n2 += __builtin_popcountll(h & ((h >> 1) | (hNext << 63)) & ~across);
            }
        }

        // N3, unit 1: dark, light, 3 dark, light, dark at p ... p + 6, light (or the edge) just before and
        // after it, and 4 light modules (or the edge) before it or after it.
        for (int p = 0; p + 6 < w; ++p) {
            std::uint64_t core = x[p] & ~x[p + 1] & x[p + 2] & x[p + 3] & x[p + 4] & ~x[p + 5] & x[p + 6];
            std::uint64_t before = x[p - 4] | x[p - 3] | x[p - 2] | x[p - 1];
            std::uint64_t after = x[p + 7] | x[p + 8] | x[p + 9] | x[p + 10];
            n3 += 40 * __builtin_popcountll(core & ~((before | x[p + 7]) & (after | x[p - 1])));
        }

        // N3, unit 2 and more: rare, so lines are only screened here for the middle run, a dark run of 6 or
        // more after 2 light modules, with either 2 dark modules before those (unit 2) or a third light
        // module before them and 9 or more dark in the run (unit 3 or more); wideFinderScore decides.
        for (int c = 0; c + 5 < w; ++c) {
            std::uint64_t middle =
                ~x[c - 2] & ~x[c - 1] & x[c] & x[c + 1] & x[c + 2] & x[c + 3] & x[c + 4] & x[c + 5];
            std::uint64_t wide =
                middle & ((x[c - 4] & x[c - 3]) | (~x[c - 3] & x[c + 6] & x[c + 7] & x[c + 8]));
            while (wide != 0) {
                int lane = __builtin_ctzll(wide);
                wide &= wide - 1;
                n3 += wideFinderScore(x, lane, c, w);
            }
        }
    }
    return n1 + 3 * n2 + n3;
}

// Fills scores with the eight mask scores of the filled frame (w 21-177) and returns the best mask.
template <int NW>
QRKIT_ALWAYS_INLINE int scoreMasksPacked(int w, const std::uint8_t* frame, int level, int* scores) {
    Plane baseRows = {};
    Plane maskableRows = {};
    Plane baseColumns = {};
    Plane maskableColumns = {};
    Plane rows = {};
    Plane columns = {};

    for (int i = 0; i < w; ++i) {
        for (int s = 0; s < NW; ++s) {
            int n = w - 64 * s < 64 ? w - 64 * s : 64;
            packBytes(frame + i * w + 64 * s, n, &baseRows[s][kPad + i], &maskableRows[s][kPad + i]);
        }
    }
    transposePlane(baseRows, baseColumns, w);
    transposePlane(maskableRows, maskableColumns, w);

    int best = 0;
    for (int mask = 0; mask < kMasks; ++mask) {
        int dark = 0;
        for (int s = 0; s < NW; ++s) {
            const std::uint64_t(*pattern)[6] = kMaskWords.rows[mask];
            const int phase = (64 * s) % 6;
            for (int i = 0, period = 0; i < w; ++i) {
                std::uint64_t word =
                    baseRows[s][kPad + i] ^ (pattern[period][phase] & maskableRows[s][kPad + i]);
                rows[s][kPad + i] = word;
                dark += __builtin_popcountll(word);
                if (++period == 12) period = 0;
            }
        }
        for (int s = 0; s < NW; ++s) {
            const std::uint64_t(*pattern)[12] = kMaskWords.columns[mask];
            const int phase = (64 * s) % 12;
            for (int j = 0, period = 0; j < w; ++j) {
                columns[s][kPad + j] =
                    baseColumns[s][kPad + j] ^ (pattern[period][phase] & maskableColumns[s][kPad + j]);
                if (++period == 6) period = 0;
            }
        }
        const int format = QrTables::formatInfo(mask, level);
        for (int k = 0; k < kFormatBits; ++k) {
            bool bit = (format >> k) & 1;
            FormatModule at = formatModule(w, k);
            setModule(rows, columns, at.row1, at.column1, bit);
            setModule(rows, columns, at.row2, at.column2, bit);
            dark += bit ? 2 : 0;
        }
        int score = scanPlane<NW>(columns, w, true) + scanPlane<NW>(rows, w, false) + n4(w, dark);
        scores[mask] = score;
        if (score < scores[best]) best = mask;
    }
    return best;
}

QRKIT_ALWAYS_INLINE int scoreMasksAnyWidth(int w, const std::uint8_t* frame, int level, int* scores) {
    if (w <= 64) return scoreMasksPacked<1>(w, frame, level, scores);
    if (w <= 128) return scoreMasksPacked<2>(w, frame, level, scores);
    return scoreMasksPacked<3>(w, frame, level, scores);
}

#if QRKIT_POPCNT_DISPATCH
__attribute__((target("popcnt"))) int scoreMasksPopcnt(int w, const std::uint8_t* frame, int level,
                                                       int* scores) {
    return scoreMasksAnyWidth(w, frame, level, scores);
}
#endif

int scoreMasksPortable(int w, const std::uint8_t* frame, int level, int* scores) {
    return scoreMasksAnyWidth(w, frame, level, scores);
}

int scoreMasks(int w, const std::uint8_t* frame, int level, int* scores) {
#if QRKIT_POPCNT_DISPATCH
    static const bool hasPopcnt = (__builtin_cpu_init(), __builtin_cpu_supports("popcnt") != 0);
    if (hasPopcnt) return scoreMasksPopcnt(w, frame, level, scores);
#endif
    return scoreMasksPortable(w, frame, level, scores);
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
    return penalty(w, matrix) + n4(w, darkCount);
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
    int best = scoreMasks(w, frame, level, out);
    if (chosenMask != nullptr) *chosenMask = best;
    return applyMask(w, frame, best, level);
}

}  // namespace kelvane2::qrencode
