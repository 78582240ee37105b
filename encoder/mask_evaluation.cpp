// Mask evaluation over bit planes (encoder/mask_planes.h): the candidates of the eight masks are built
// from the planes with pattern words, their format information is written, and one pass along the
// positions scores N1, N2 and N3 of all lines of four lanes at once (encoder/mask_kernels.inc, compiled
// for every instruction set level; encoder/simd.h chooses).
//
// The candidates of one pass ("a group"): with one slice the two masks 2 g and 2 g + 1, lanes [row, column]
// of each; with two slices one mask, lanes [row 0, row 1, column 0, column 1]; with three slices one mask
// in eight lanes, scanned as two passes of four. 2 x 2 blocks are counted in the row lanes and in the
// column lanes alike, so their count comes out doubled, except with three slices, where only the row
// lanes count them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "encoder/frames.h"
#include "encoder/mask_planes.h"
#include "encoder/masking.h"
#include "encoder/simd.h"
#include "encoder/tables.h"

#if QRKIT_X86_SIMD
#include <immintrin.h>
#endif

namespace kelvane2::qrencode {

namespace {

constexpr int kMasks = 8;
constexpr int kFormatBits = 15;

// Bit t: the condition of mask holds at (row, firstColumn + t).
constexpr std::uint64_t rowPatternWord(int mask, int row, int firstColumn) {
    std::uint64_t word = 0;
    for (int t = 0; t < 64; ++t)
        if (maskCondition(mask, row, firstColumn + t)) word |= std::uint64_t{1} << t;
    return word;
}

// Bit t: the condition of mask holds at (firstRow + t, column).
constexpr std::uint64_t columnPatternWord(int mask, int column, int firstRow) {
    std::uint64_t word = 0;
    for (int t = 0; t < 64; ++t)
        if (maskCondition(mask, firstRow + t, column)) word |= std::uint64_t{1} << t;
    return word;
}

// What one lane of a group holds: the plane (rows or columns) and slice of one of the group's masks.
struct LaneRole {
    int mask;  // 0 or 1: the group's first or second mask
    bool row;
    int slice;
    bool blocks;  // 2 x 2 blocks are counted in this lane
};

// The lanes of a group: with one slice the masks 2 g and 2 g + 1 as [row, column] each; with two slices
// the mask g as [row 0, row 1, column 0, column 1]; with three slices the masks 2 g and 2 g + 1 in three
// vectors [row 0, row 1, row 2, column 0 | column 1, column 2, row 0', row 1' | column 0', column 1',
// column 2', row 2'], the blocks of the first mask counted in its rows, of the second in its columns (each
// time in one vector whose lanes run from slice to slice). The base planes hold the same lanes.
constexpr LaneRole kOneSliceLanes[4] = {
    {0, true, 0, true}, {0, false, 0, true}, {1, true, 0, true}, {1, false, 0, true}};
constexpr LaneRole kTwoSliceLanes[4] = {
    {0, true, 0, true}, {0, true, 1, true}, {0, false, 0, true}, {0, false, 1, true}};
constexpr LaneRole kThreeSliceLanes[12] = {{0, true, 0, true},   {0, true, 1, true},   {0, true, 2, true},
                                           {0, false, 0, false}, {0, false, 1, false}, {0, false, 2, false},
                                           {1, true, 0, false},  {1, true, 1, false},  {1, false, 0, true},
                                           {1, false, 1, true},  {1, false, 2, true},  {1, true, 2, false}};

constexpr int laneCount(int slices) {
    return slices == 3 ? 12 : 4;
}
constexpr const LaneRole* laneRoles(int slices) {
    return slices == 1 ? kOneSliceLanes : (slices == 2 ? kTwoSliceLanes : kThreeSliceLanes);
}
constexpr int groupCount(int slices) {
    return slices == 2 ? 8 : 4;
}
// The mask of lane role k of a group.
constexpr int groupMask(int slices, int group, int k) {
    return slices == 2 ? group : 2 * group + k;
}

// The pattern words of every group at every position modulo 12 (both conditions repeat within 12
// positions), in the lanes of the group.
struct CandidatePatterns {
    std::uint64_t one[4][12][4];
    std::uint64_t two[8][12][4];
    std::uint64_t three[4][12][12];
};

constexpr std::uint64_t laneWord(int slices, int group, int lane, int p) {
    const LaneRole role = laneRoles(slices)[lane];
    const int mask = groupMask(slices, group, role.mask);
    return role.row ? rowPatternWord(mask, p, 64 * role.slice) : columnPatternWord(mask, p, 64 * role.slice);
}

constexpr CandidatePatterns makeCandidatePatterns() {
    CandidatePatterns patterns{};
    for (int p = 0; p < 12; ++p) {
        for (int group = 0; group < 4; ++group) {
            for (int lane = 0; lane < 4; ++lane)
                patterns.one[group][p][lane] = laneWord(1, group, lane, p);
            for (int lane = 0; lane < 12; ++lane)
                patterns.three[group][p][lane] = laneWord(3, group, lane, p);
        }
        for (int group = 0; group < 8; ++group) {
            for (int lane = 0; lane < 4; ++lane)
                patterns.two[group][p][lane] = laneWord(2, group, lane, p);
        }
    }
    return patterns;
}

constexpr CandidatePatterns kCandidatePatterns = makeCandidatePatterns();

const std::uint64_t* candidatePattern(int slices, int group) {
    if (slices == 1) return &kCandidatePatterns.one[group][0][0];
    if (slices == 2) return &kCandidatePatterns.two[group][0][0];
    return &kCandidatePatterns.three[group][0][0];
}

std::uint64_t lowBits(int n) {
    if (n <= 0) return 0;
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// Per lane of a group: the lines that exist, and the lines whose next line exists where the lane counts
// 2 x 2 blocks.
struct LaneMasks {
    alignas(32) std::uint64_t lines[12];
    alignas(32) std::uint64_t pairs[12];
};

LaneMasks laneMasks(int w, int slices) {
    LaneMasks masks{};
    for (int lane = 0; lane < laneCount(slices); ++lane) {
        const LaneRole role = laneRoles(slices)[lane];
        masks.lines[lane] = lowBits(w - 64 * role.slice);
        masks.pairs[lane] = role.blocks ? lowBits(w - 1 - 64 * role.slice) : 0;
    }
    return masks;
}

// The lane of a group that holds a mask's plane and slice (see the lane tables above); -1 for none.
constexpr int laneOf(int slices, int mask, bool row, int slice) {
    if (slice >= slices || (slices == 2 && mask != 0)) return -1;
    if (slices == 1) return 2 * mask + (row ? 0 : 1);
    if (slices == 2) return row ? slice : 2 + slice;
    if (mask == 0) return row ? slice : 3 + slice;
    return row ? (slice == 2 ? 11 : 6 + slice) : 8 + slice;
}

constexpr bool laneOfAgreesWithTheTables() {
    for (int slices = 1; slices <= 3; ++slices) {
        for (int lane = 0; lane < laneCount(slices); ++lane) {
            const LaneRole role = laneRoles(slices)[lane];
            if (laneOf(slices, role.mask, role.row, role.slice) != lane) return false;
        }
    }
    return true;
}
static_assert(laneOfAgreesWithTheTables(), "laneOf and the lane tables disagree");

// The buffer words of a group that hold the format modules: for bit k of the format word of the group's
// mask m, its two modules in the row lanes and in the column lanes.
struct FormatWords {
    int offset[2][kFormatBits][4];
    std::uint64_t bit[kFormatBits][4];
};

void formatWords(int w, int slices, int passWords, FormatWords* format) {
    for (int k = 0; k < kFormatBits; ++k) {
        const FormatModule at = formatModule(w, k);
        const int rows[2] = {at.row1, at.row2};
        const int columns[2] = {at.column1, at.column2};
        for (int copy = 0; copy < 2; ++copy) {
            const int r = rows[copy];
            const int c = columns[copy];
            format->bit[k][2 * copy] = std::uint64_t{1} << (c % 64);
            format->bit[k][2 * copy + 1] = std::uint64_t{1} << (r % 64);
            for (int mask = 0; mask < 2; ++mask) {
                const int rowLane = laneOf(slices, mask, true, c / 64);
                const int columnLane = laneOf(slices, mask, false, r / 64);
                format->offset[mask][k][2 * copy] = rowLane < 0 ? -1 : (kPlanePad + r) * passWords + rowLane;
                format->offset[mask][k][2 * copy + 1] =
                    columnLane < 0 ? -1 : (kPlanePad + c) * passWords + columnLane;
            }
        }
    }
}

void writeFormatWords(int slices, int group, int level, const FormatWords& format, std::uint64_t* buffer) {
    const int masks = slices == 2 ? 1 : 2;
    for (int k = 0; k < masks; ++k) {
        const int word = QrTables::formatInfo(groupMask(slices, group, k), level);
        for (int b = 0; b < kFormatBits; ++b) {
            if (((word >> b) & 1) == 0) continue;
            for (int e = 0; e < 4; ++e)
                buffer[format.offset[k][b][e]] |= format.bit[b][e];
        }
    }
}

void clearPads(std::uint64_t* buffer, int w, int passWords) {
    const std::size_t pad = static_cast<std::size_t>(kPlanePad) * passWords;
    std::memset(buffer, 0, pad * sizeof *buffer);
    std::memset(buffer + static_cast<std::size_t>(kPlanePad + w) * passWords, 0, pad * sizeof *buffer);
}

struct LaneTotals {
    long n1[12];
    long n2[12];
    long n3[12];
};

void combineScores(int slices, int group, int level, int w, const long* dark, const LaneTotals& totals,
                   const int* formatAreaDark, int* scores) {
    const int masks = slices == 2 ? 1 : 2;
    // Blocks are counted in the rows and in the columns of a mask, except with three slices.
    const int blockCopies = slices == 3 ? 1 : 2;
    for (int k = 0; k < masks; ++k) {
        const int mask = groupMask(slices, group, k);
        long n1 = 0;
        long n2 = 0;
        long n3 = 0;
        long darkModules = 2 * __builtin_popcount(static_cast<unsigned>(QrTables::formatInfo(mask, level)));
        if (formatAreaDark != nullptr) darkModules += formatAreaDark[mask];
        for (int lane = 0; lane < laneCount(slices); ++lane) {
            const LaneRole role = laneRoles(slices)[lane];
            if (role.mask != k) continue;
            n1 += totals.n1[lane];
            n2 += totals.n2[lane];
            n3 += totals.n3[lane];
            if (role.row) darkModules += dark[lane];
        }
        scores[mask] = static_cast<int>(n1 + 3 * (n2 / blockCopies) + n3) +
                       darkShareScore(w, static_cast<int>(darkModules));
    }
}

// 40 when the dark run that starts at position c of a line is the middle of a 1:1:3:1:1 pattern of unit 2
// or more that N3 counts, else 0. The line's module q is bit `bit` of line0[q * stride].
int wideFinderScore(const std::uint64_t* line0, int stride, int bit, int c, int w) {
    auto dark = [&](int q) {
        return q >= 0 && q < w && ((line0[static_cast<std::ptrdiff_t>(q) * stride] >> bit) & 1) != 0;
    };
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
    const int r = e - c;
    if (r % 3 != 0) return 0;
    const int f = r / 3;
    const int start = c - 2 * f;  // the pattern's first module
    const int end = e + 2 * f;    // one past its last
    if (start < 0 || end > w) return 0;
    if (!allLight(c - f, c) || !allDark(start, c - f) || dark(start - 1)) return 0;
    if (!allLight(e, e + f) || !allDark(e + f, end) || dark(end)) return 0;
    // Light (or the edge) for 4 f modules before or after the pattern.
    if (allLight(start - 4 * f, start) || allLight(end, end + 4 * f)) return 40;
    return 0;
}

// Lane masks of the transposes' last two steps: all bits in lanes 0 and 1, in lanes 0 and 2.
alignas(32) constexpr std::uint64_t kFirstTwoLanes[4] = {~std::uint64_t{0}, ~std::uint64_t{0}, 0, 0};
alignas(32) constexpr std::uint64_t kEvenLanes[4] = {~std::uint64_t{0}, 0, ~std::uint64_t{0}, 0};

// Byte i of entry b is bit i of b: eight module colours.
struct SpreadTable {
    std::uint64_t bytes[256];
};
constexpr SpreadTable makeSpreadTable() {
    SpreadTable table{};
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            table.bytes[b] |= static_cast<std::uint64_t>((b >> i) & 1) << (8 * i);
    return table;
}
constexpr SpreadTable kSpread = makeSpreadTable();

// The last modules of the last row, one at a time (nothing may be read or written past the matrix).
void writeTail(const std::uint64_t* bits, int from, int w, const std::uint8_t* flags, std::uint8_t* out,
               std::uint8_t freeFlag) {
    for (int c = from; c < w; ++c) {
        const std::uint8_t f = flags[c];
        const unsigned colour = static_cast<unsigned>((bits[c / 64] >> (c % 64)) & 1);
        out[c] = static_cast<std::uint8_t>(((f == 0 ? freeFlag : f) & 0xFE) | colour);
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Portable level: four plain 64-bit words.
namespace portable {

#define QRKIT_KERNEL

struct V4 {
    std::uint64_t w[4];
};

inline V4 vzero() {
    return {{0, 0, 0, 0}};
}
inline V4 load(const std::uint64_t* p) {
    return {{p[0], p[1], p[2], p[3]}};
}
inline V4 loadPair(const std::uint64_t* p) {
    return {{p[0], p[1], p[0], p[1]}};
}
inline void store(std::uint64_t* p, V4 a) {
    for (int k = 0; k < 4; ++k)
        p[k] = a.w[k];
}
inline void toArray(V4 a, std::uint64_t* out) {
    store(out, a);
}
#define QRKIT_PORTABLE_OP(name, expression)                                                          \
    inline V4 name(V4 a, V4 b) {                                                                     \
        return {{expression(a.w[0], b.w[0]), expression(a.w[1], b.w[1]), expression(a.w[2], b.w[2]), \
                 expression(a.w[3], b.w[3])}};                                                       \
    }
#define QRKIT_AND(x, y) ((x) & (y))
#define QRKIT_OR(x, y) ((x) | (y))
#define QRKIT_XOR(x, y) ((x) ^ (y))
#define QRKIT_ANDN(x, y) (~(x) & (y))
QRKIT_PORTABLE_OP(vand, QRKIT_AND)
QRKIT_PORTABLE_OP(vor, QRKIT_OR)
QRKIT_PORTABLE_OP(vxor, QRKIT_XOR)
QRKIT_PORTABLE_OP(vandn, QRKIT_ANDN)
#undef QRKIT_AND
#undef QRKIT_OR
#undef QRKIT_XOR
#undef QRKIT_ANDN
#undef QRKIT_PORTABLE_OP
inline V4 shr1(V4 a) {
    return {{a.w[0] >> 1, a.w[1] >> 1, a.w[2] >> 1, a.w[3] >> 1}};
}
inline V4 shl63(V4 a) {
    return {{a.w[0] << 63, a.w[1] << 63, a.w[2] << 63, a.w[3] << 63}};
}
inline V4 nextPairs(V4 a) {
    return {{a.w[1], 0, a.w[3], 0}};
}
inline V4 nextChain(V4 a) {
    return {{a.w[1], a.w[2], 0, 0}};
}
inline bool any(V4 a) {
    return (a.w[0] | a.w[1] | a.w[2] | a.w[3]) != 0;
}
inline V4 vset1(std::uint64_t x) {
    return {{x, x, x, x}};
}
template <int J>
inline V4 shrN(V4 a) {
    return {{a.w[0] >> J, a.w[1] >> J, a.w[2] >> J, a.w[3] >> J}};
}
template <int J>
inline V4 shlN(V4 a) {
    return {{a.w[0] << J, a.w[1] << J, a.w[2] << J, a.w[3] << J}};
}
inline V4 swapHalves(V4 a) {
    return {{a.w[2], a.w[3], a.w[0], a.w[1]}};
}
inline V4 swapPairs(V4 a) {
    return {{a.w[1], a.w[0], a.w[3], a.w[2]}};
}
inline V4 vand3(V4 a, V4 b, V4 c) {
    return vand(vand(a, b), c);
}
inline V4 vor3(V4 a, V4 b, V4 c) {
    return vor(vor(a, b), c);
}
inline V4 vandnor(V4 a, V4 b, V4 c) {
    return vandn(vor(a, b), c);
}
inline V4 vandnand(V4 a, V4 b, V4 c) {
    return vandn(a, vand(b, c));
}
inline V4 vnandand(V4 a, V4 b, V4 c) {
    return vandn(vand(a, b), c);
}

struct Counter {
    static constexpr int kRun = 1 << 20;
    long sum[4] = {0, 0, 0, 0};
    void add(V4 a) {
        for (int k = 0; k < 4; ++k)
            sum[k] += __builtin_popcountll(a.w[k]);
    }
    void flush() {}
    void addTo(long* lanes) const {
        for (int k = 0; k < 4; ++k)
            lanes[k] += sum[k];
    }
};

inline std::uint64_t loadBytes8(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// One row of module bytes, eight at a time (little-endian hosts; one at a time elsewhere). Rows before
// the last may write up to seven bytes past their end: the next row overwrites them.
void writeRow(const std::uint64_t* bits, int w, const std::uint8_t* flags, std::uint8_t* out,
              std::uint8_t freeFlag, bool lastRow) {
    int c = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    for (; c < w && !(lastRow && c + 8 > w); c += 8) {
        const std::uint64_t f = loadBytes8(flags + c);
        const std::uint64_t zero = ~(((f & low7) + low7) | f) & 0x8080808080808080ull;
        const unsigned byte = static_cast<unsigned>((bits[c / 64] >> (c % 64)) & 0xFF);
        const std::uint64_t v =
            ((f | ((zero >> 7) * freeFlag)) & 0xFEFEFEFEFEFEFEFEull) | kSpread.bytes[byte];
        std::memcpy(out + c, &v, 8);
    }
#endif
    writeTail(bits, c, w, flags, out, freeFlag);
}

#include "encoder/mask_kernels.inc"

#undef QRKIT_KERNEL

}  // namespace portable

#if QRKIT_X86_SIMD
// ---------------------------------------------------------------------------------------------------
// SSE2: four lanes in two registers.
namespace sse2 {

#define QRKIT_KERNEL __attribute__((target("sse2")))
#define QRKIT_INLINE __attribute__((target("sse2"), always_inline)) inline

struct V4 {
    __m128i lo, hi;
};

QRKIT_INLINE V4 vzero() {
    return {_mm_setzero_si128(), _mm_setzero_si128()};
}
QRKIT_INLINE V4 load(const std::uint64_t* p) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2))};
}
QRKIT_INLINE V4 loadPair(const std::uint64_t* p) {
    const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return {pair, pair};
}
QRKIT_INLINE void store(std::uint64_t* p, V4 a) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), a.lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 2), a.hi);
}
QRKIT_INLINE void toArray(V4 a, std::uint64_t* out) {
    store(out, a);
}
QRKIT_INLINE V4 vand(V4 a, V4 b) {
    return {_mm_and_si128(a.lo, b.lo), _mm_and_si128(a.hi, b.hi)};
}
QRKIT_INLINE V4 vor(V4 a, V4 b) {
    return {_mm_or_si128(a.lo, b.lo), _mm_or_si128(a.hi, b.hi)};
}
QRKIT_INLINE V4 vxor(V4 a, V4 b) {
    return {_mm_xor_si128(a.lo, b.lo), _mm_xor_si128(a.hi, b.hi)};
}
QRKIT_INLINE V4 vandn(V4 a, V4 b) {
    return {_mm_andnot_si128(a.lo, b.lo), _mm_andnot_si128(a.hi, b.hi)};
}
QRKIT_INLINE V4 shr1(V4 a) {
    return {_mm_srli_epi64(a.lo, 1), _mm_srli_epi64(a.hi, 1)};
}
QRKIT_INLINE V4 shl63(V4 a) {
    return {_mm_slli_epi64(a.lo, 63), _mm_slli_epi64(a.hi, 63)};
}
QRKIT_INLINE V4 nextPairs(V4 a) {
    return {_mm_srli_si128(a.lo, 8), _mm_srli_si128(a.hi, 8)};
}
QRKIT_INLINE V4 nextChain(V4 a) {
    return {_mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(a.lo), _mm_castsi128_pd(a.hi), 1)),
            _mm_setzero_si128()};
}
QRKIT_INLINE bool any(V4 a) {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(a.lo, a.hi), _mm_setzero_si128())) != 0xFFFF;
}
QRKIT_INLINE V4 vset1(std::uint64_t x) {
    const __m128i v = _mm_set1_epi64x(static_cast<long long>(x));
    return {v, v};
}
template <int J>
QRKIT_INLINE V4 shrN(V4 a) {
    return {_mm_srli_epi64(a.lo, J), _mm_srli_epi64(a.hi, J)};
}
template <int J>
QRKIT_INLINE V4 shlN(V4 a) {
    return {_mm_slli_epi64(a.lo, J), _mm_slli_epi64(a.hi, J)};
}
QRKIT_INLINE V4 swapHalves(V4 a) {
    return {a.hi, a.lo};
}
QRKIT_INLINE V4 swapPairs(V4 a) {
    return {_mm_shuffle_epi32(a.lo, 0x4E), _mm_shuffle_epi32(a.hi, 0x4E)};
}
QRKIT_INLINE V4 vand3(V4 a, V4 b, V4 c) {
    return vand(vand(a, b), c);
}
QRKIT_INLINE V4 vor3(V4 a, V4 b, V4 c) {
    return vor(vor(a, b), c);
}
QRKIT_INLINE V4 vandnor(V4 a, V4 b, V4 c) {
    return vandn(vor(a, b), c);
}
QRKIT_INLINE V4 vandnand(V4 a, V4 b, V4 c) {
    return vandn(a, vand(b, c));
}
QRKIT_INLINE V4 vnandand(V4 a, V4 b, V4 c) {
    return vandn(vand(a, b), c);
}

// The bits of every byte counted in place (at most 8 a byte), summed per byte over up to 31 adds, then
// per 64-bit lane.
QRKIT_INLINE __m128i byteCounts(__m128i x) {
    const __m128i m1 = _mm_set1_epi8(0x55);
    const __m128i m2 = _mm_set1_epi8(0x33);
    const __m128i m4 = _mm_set1_epi8(0x0F);
    x = _mm_sub_epi8(x, _mm_and_si128(_mm_srli_epi16(x, 1), m1));
    x = _mm_add_epi8(_mm_and_si128(x, m2), _mm_and_si128(_mm_srli_epi16(x, 2), m2));
    return _mm_and_si128(_mm_add_epi8(x, _mm_srli_epi16(x, 4)), m4);
}

struct Counter {
    static constexpr int kRun = 31;
    __m128i bytesLo;
    __m128i bytesHi;
    __m128i sumLo;
    __m128i sumHi;
    QRKIT_INLINE Counter()
        : bytesLo(_mm_setzero_si128()),
          bytesHi(_mm_setzero_si128()),
          sumLo(_mm_setzero_si128()),
          sumHi(_mm_setzero_si128()) {}
    QRKIT_INLINE void add(V4 a) {
        bytesLo = _mm_add_epi8(bytesLo, byteCounts(a.lo));
        bytesHi = _mm_add_epi8(bytesHi, byteCounts(a.hi));
    }
    QRKIT_INLINE void flush() {
        sumLo = _mm_add_epi64(sumLo, _mm_sad_epu8(bytesLo, _mm_setzero_si128()));
        sumHi = _mm_add_epi64(sumHi, _mm_sad_epu8(bytesHi, _mm_setzero_si128()));
        bytesLo = _mm_setzero_si128();
        bytesHi = _mm_setzero_si128();
    }
    QRKIT_INLINE void addTo(long* lanes) const {
        alignas(16) std::uint64_t sums[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(sums), sumLo);
        _mm_store_si128(reinterpret_cast<__m128i*>(sums + 2), sumHi);
        for (int k = 0; k < 4; ++k)
            lanes[k] += static_cast<long>(sums[k]);
    }
};

// One row of module bytes, sixteen at a time. Rows before the last may write up to fifteen bytes past
// their end: the next row overwrites them.
QRKIT_KERNEL void writeRow(const std::uint64_t* bits, int w, const std::uint8_t* flags, std::uint8_t* out,
                           std::uint8_t freeFlag, bool lastRow) {
    const __m128i select = _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
    const __m128i one = _mm_set1_epi8(1);
    const __m128i free = _mm_set1_epi8(static_cast<char>(freeFlag));
    const __m128i keep = _mm_set1_epi8(static_cast<char>(0xFE));
    int c = 0;
    for (; c < w && !(lastRow && c + 16 > w); c += 16) {
        const int word = static_cast<int>((bits[c / 64] >> (c % 64)) & 0xFFFF);
        __m128i v = _mm_cvtsi32_si128(word);
        v = _mm_unpacklo_epi8(v, v);
        v = _mm_unpacklo_epi16(v, v);
        v = _mm_unpacklo_epi32(v, v);
        const __m128i colour = _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(v, select), select), one);
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(flags + c));
        const __m128i flag =
            _mm_and_si128(_mm_or_si128(f, _mm_and_si128(_mm_cmpeq_epi8(f, _mm_setzero_si128()), free)), keep);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), _mm_or_si128(flag, colour));
    }
    writeTail(bits, c, w, flags, out, freeFlag);
}

#include "encoder/mask_kernels.inc"

#undef QRKIT_INLINE
#undef QRKIT_KERNEL

}  // namespace sse2

// ---------------------------------------------------------------------------------------------------
// AVX2 (and AVX-512 on the same 256-bit registers): four lanes in one register.
#define QRKIT_AVX2_TARGET "avx2,bmi,bmi2,popcnt"
#define QRKIT_AVX512_TARGET "avx2,bmi,bmi2,popcnt,avx512f,avx512bw,avx512vl,avx512vpopcntdq"

#define QRKIT_DEFINE_YMM_V4(TARGET)                                                                         \
    struct V4 {                                                                                             \
        __m256i v;                                                                                          \
    };                                                                                                      \
    __attribute__((target(TARGET), always_inline)) inline V4 vzero() {                                      \
        return {_mm256_setzero_si256()};                                                                    \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 load(const std::uint64_t* p) {                 \
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))};                                   \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 loadPair(const std::uint64_t* p) {             \
        return {_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};         \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline void store(std::uint64_t* p, V4 a) {              \
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a.v);                                            \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline void toArray(V4 a, std::uint64_t* out) {          \
        store(out, a);                                                                                      \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 vand(V4 a, V4 b) {                             \
        return {_mm256_and_si256(a.v, b.v)};                                                                \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 vor(V4 a, V4 b) {                              \
        return {_mm256_or_si256(a.v, b.v)};                                                                 \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 vxor(V4 a, V4 b) {                             \
        return {_mm256_xor_si256(a.v, b.v)};                                                                \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 vandn(V4 a, V4 b) {                            \
        return {_mm256_andnot_si256(a.v, b.v)};                                                             \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 shr1(V4 a) {                                   \
        return {_mm256_srli_epi64(a.v, 1)};                                                                 \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 shl63(V4 a) {                                  \
        return {_mm256_slli_epi64(a.v, 63)};                                                                \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 nextPairs(V4 a) {                              \
        return {_mm256_srli_si256(a.v, 8)};                                                                 \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 nextChain(V4 a) {                              \
        return {_mm256_blend_epi32(_mm256_permute4x64_epi64(a.v, 0xF9), _mm256_setzero_si256(), 0xF0)};     \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline bool any(V4 a) {                                  \
        return !_mm256_testz_si256(a.v, a.v);                                                               \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 vset1(std::uint64_t x) {                       \
        return {_mm256_set1_epi64x(static_cast<long long>(x))};                                             \
    }                                                                                                       \
    template <int J>                                                                                        \
    __attribute__((target(TARGET), always_inline)) inline V4 shrN(V4 a) {                                   \
        return {_mm256_srli_epi64(a.v, J)};                                                                 \
    }                                                                                                       \
    template <int J>                                                                                        \
    __attribute__((target(TARGET), always_inline)) inline V4 shlN(V4 a) {                                   \
        return {_mm256_slli_epi64(a.v, J)};                                                                 \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 swapHalves(V4 a) {                             \
        return {_mm256_permute4x64_epi64(a.v, 0x4E)};                                                       \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline V4 swapPairs(V4 a) {                              \
        return {_mm256_shuffle_epi32(a.v, 0x4E)};                                                           \
    }                                                                                                       \
    __attribute__((target(TARGET), always_inline)) inline void writeRow(                                    \
        const std::uint64_t* bits, int w, const std::uint8_t* flags, std::uint8_t* out,                     \
        std::uint8_t freeFlag, bool lastRow) {                                                              \
        const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, \
                                                2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);                        \
        const __m256i select = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));           \
        const __m256i one = _mm256_set1_epi8(1);                                                            \
        const __m256i free = _mm256_set1_epi8(static_cast<char>(freeFlag));                                 \
        const __m256i keep = _mm256_set1_epi8(static_cast<char>(0xFE));                                     \
        int c = 0;                                                                                          \
        for (; c < w && !(lastRow && c + 32 > w); c += 32) {                                                \
            const int word = static_cast<int>(static_cast<std::uint32_t>(bits[c / 64] >> (c % 64)));        \
            const __m256i v = _mm256_shuffle_epi8(_mm256_set1_epi32(word), spread);                         \
            const __m256i colour =                                                                          \
                _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_and_si256(v, select), select), one);              \
            const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(flags + c));              \
            const __m256i flag = _mm256_and_si256(                                                          \
                _mm256_or_si256(f, _mm256_and_si256(_mm256_cmpeq_epi8(f, _mm256_setzero_si256()), free)),   \
                keep);                                                                                      \
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), _mm256_or_si256(flag, colour));        \
        }                                                                                                   \
        writeTail(bits, c, w, flags, out, freeFlag);                                                        \
    }

namespace avx2 {

#define QRKIT_KERNEL __attribute__((target(QRKIT_AVX2_TARGET)))
#define QRKIT_INLINE __attribute__((target(QRKIT_AVX2_TARGET), always_inline)) inline

QRKIT_DEFINE_YMM_V4(QRKIT_AVX2_TARGET)

QRKIT_INLINE V4 vand3(V4 a, V4 b, V4 c) {
    return vand(vand(a, b), c);
}
QRKIT_INLINE V4 vor3(V4 a, V4 b, V4 c) {
    return vor(vor(a, b), c);
}
QRKIT_INLINE V4 vandnor(V4 a, V4 b, V4 c) {
    return vandn(vor(a, b), c);
}
QRKIT_INLINE V4 vandnand(V4 a, V4 b, V4 c) {
    return vandn(a, vand(b, c));
}
QRKIT_INLINE V4 vnandand(V4 a, V4 b, V4 c) {
    return vandn(vand(a, b), c);
}

// Bits of every byte counted with a nibble table, summed per byte over up to 31 adds, then per lane.
struct Counter {
    static constexpr int kRun = 31;
    __m256i bytes;
    __m256i sums;
    QRKIT_INLINE Counter() : bytes(_mm256_setzero_si256()), sums(_mm256_setzero_si256()) {}
    QRKIT_INLINE void add(V4 a) {
        const __m256i table = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1,
                                               2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4);
        const __m256i low = _mm256_set1_epi8(0x0F);
        const __m256i counts =
            _mm256_add_epi8(_mm256_shuffle_epi8(table, _mm256_and_si256(a.v, low)),
                            _mm256_shuffle_epi8(table, _mm256_and_si256(_mm256_srli_epi16(a.v, 4), low)));
        bytes = _mm256_add_epi8(bytes, counts);
    }
    QRKIT_INLINE void flush() {
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, _mm256_setzero_si256()));
        bytes = _mm256_setzero_si256();
    }
    QRKIT_INLINE void addTo(long* lanes) const {
        alignas(32) std::uint64_t out[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(out), sums);
        for (int k = 0; k < 4; ++k)
            lanes[k] += static_cast<long>(out[k]);
    }
};

#include "encoder/mask_kernels.inc"

#undef QRKIT_INLINE
#undef QRKIT_KERNEL

}  // namespace avx2

// AVX-512 on 256-bit registers: three-input logic in one instruction, population counts per lane.
namespace avx512 {

#define QRKIT_KERNEL __attribute__((target(QRKIT_AVX512_TARGET)))
#define QRKIT_INLINE __attribute__((target(QRKIT_AVX512_TARGET), always_inline)) inline

QRKIT_DEFINE_YMM_V4(QRKIT_AVX512_TARGET)

// The truth tables of vpternlog: a is 0xF0, b 0xCC, c 0xAA.
QRKIT_INLINE V4 vand3(V4 a, V4 b, V4 c) {
    return {_mm256_ternarylogic_epi64(a.v, b.v, c.v, 0x80)};
}
QRKIT_INLINE V4 vor3(V4 a, V4 b, V4 c) {
    return {_mm256_ternarylogic_epi64(a.v, b.v, c.v, 0xFE)};
}
QRKIT_INLINE V4 vandnor(V4 a, V4 b, V4 c) {
    return {_mm256_ternarylogic_epi64(a.v, b.v, c.v, 0x02)};
}
QRKIT_INLINE V4 vandnand(V4 a, V4 b, V4 c) {
    return {_mm256_ternarylogic_epi64(a.v, b.v, c.v, 0x08)};
}
QRKIT_INLINE V4 vnandand(V4 a, V4 b, V4 c) {
    return {_mm256_ternarylogic_epi64(a.v, b.v, c.v, 0x2A)};
}

struct Counter {
    static constexpr int kRun = 1 << 20;
    __m256i sums;
    QRKIT_INLINE Counter() : sums(_mm256_setzero_si256()) {}
    QRKIT_INLINE void add(V4 a) { sums = _mm256_add_epi64(sums, _mm256_popcnt_epi64(a.v)); }
    QRKIT_INLINE void flush() {}
    QRKIT_INLINE void addTo(long* lanes) const {
        alignas(32) std::uint64_t out[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(out), sums);
        for (int k = 0; k < 4; ++k)
            lanes[k] += static_cast<long>(out[k]);
    }
};

#include "encoder/mask_kernels.inc"

#undef QRKIT_INLINE
#undef QRKIT_KERNEL

}  // namespace avx512

#undef QRKIT_DEFINE_YMM_V4
#endif  // QRKIT_X86_SIMD

// ---------------------------------------------------------------------------------------------------

namespace {

// Packs n (1-64) module bytes: bit t of *dark is bit 0 of p[t], bit t of *maskable is set when bit 7 of
// p[t] is clear.
void packBytes(const std::uint8_t* p, int n, std::uint64_t* dark, std::uint64_t* maskable) {
    std::uint64_t d = 0;
    std::uint64_t f = 0;
    int t = 0;
#if defined(__SSE2__)
    for (; t + 16 <= n; t += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + t));
        const auto colour = static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi64(v, 7)));
        const auto function = static_cast<unsigned>(_mm_movemask_epi8(v));
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

void transposePlane(const PlaneLayout& layout, std::uint64_t* plane, bool toRows) {
    switch (simd::activeLevel()) {
#if QRKIT_X86_SIMD
        case simd::Level::kAvx512:
            return avx512::transposeAll(layout, plane, toRows);
        case simd::Level::kAvx2:
            return avx2::transposeAll(layout, plane, toRows);
        case simd::Level::kSse2:
            return sse2::transposeAll(layout, plane, toRows);
#endif
        default:
            return portable::transposeAll(layout, plane, toRows);
    }
}

// The copy lanes of a three-slice plane from the others.
void fillCopies(const PlaneLayout& layout, std::uint64_t* plane) {
    if (layout.slices != 3) return;
    for (int p = 0; p < layout.width; ++p) {
        std::uint64_t* words = plane + layout.index(p, 0);
        for (int s = 0; s < 3; ++s) {
            words[layout.rowCopyLane(s)] = words[layout.rowLane(s)];
            words[layout.columnCopyLane(s)] = words[layout.columnLane(s)];
        }
    }
}

}  // namespace

void packMatrix(const std::uint8_t* matrix, const PlaneLayout& layout, std::uint64_t* dark,
                std::uint64_t* maskable) {
    const int w = layout.width;
    const std::size_t words = static_cast<std::size_t>(layout.words());
    std::memset(dark, 0, words * sizeof *dark);
    std::memset(maskable, 0, words * sizeof *maskable);
    for (int r = 0; r < w; ++r) {
        for (int s = 0; s < layout.slices; ++s) {
            const int n = w - 64 * s < 64 ? w - 64 * s : 64;
            const int at = layout.index(r, layout.rowLane(s));
            packBytes(matrix + static_cast<std::size_t>(r) * w + 64 * s, n, &dark[at], &maskable[at]);
        }
    }
    for (int k = 0; k < kFormatBits; ++k) {
        const FormatModule at = formatModule(w, k);
        const int rows[2] = {at.row1, at.row2};
        const int columns[2] = {at.column1, at.column2};
        for (int copy = 0; copy < 2; ++copy) {
            const int index = layout.index(rows[copy], layout.rowLane(columns[copy] / 64));
            const std::uint64_t bit = std::uint64_t{1} << (columns[copy] % 64);
            dark[index] &= ~bit;
            maskable[index] &= ~bit;
        }
    }
    transposePlane(layout, dark, false);
    transposePlane(layout, maskable, false);
    fillCopies(layout, dark);
    fillCopies(layout, maskable);
}

void formatAreaDarkCounts(int w, const std::uint8_t* matrix, int* counts) {
    for (int mask = 0; mask < kMasks; ++mask) {
        counts[mask] = 0;
        for (int k = 0; k < kFormatBits; ++k) {
            const FormatModule at = formatModule(w, k);
            const int rows[2] = {at.row1, at.row2};
            const int columns[2] = {at.column1, at.column2};
            for (int copy = 0; copy < 2; ++copy) {
                const std::uint8_t module = matrix[rows[copy] * w + columns[copy]];
                int colour = module & 1;
                if ((module & kModuleFunction) == 0 && maskCondition(mask, rows[copy], columns[copy]))
                    colour ^= 1;
                counts[mask] += colour;
            }
        }
    }
}

void transposeColumnsToRows(const PlaneLayout& layout, std::uint64_t* plane) {
    transposePlane(layout, plane, true);
    fillCopies(layout, plane);
}

int scoreMaskCandidates(const SymbolPlanes& planes, int level, int* scores) {
#if QRKIT_X86_SIMD
    switch (simd::activeLevel()) {
        case simd::Level::kAvx512:
            return avx512::scoreAll(planes, level, scores);
        case simd::Level::kAvx2:
            return avx2::scoreAll(planes, level, scores);
        case simd::Level::kSse2:
            return sse2::scoreAll(planes, level, scores);
        case simd::Level::kScalar:
            break;
    }
#endif
    return portable::scoreAll(planes, level, scores);
}

void writeMaskedMatrix(const SymbolPlanes& planes, int mask, int level, const std::uint8_t* flagSource,
                       std::uint8_t freeFlag, std::uint8_t* matrix) {
    switch (simd::activeLevel()) {
#if QRKIT_X86_SIMD
        case simd::Level::kAvx512:
            avx512::writeAll(planes, mask, flagSource, freeFlag, matrix);
            break;
        case simd::Level::kAvx2:
            avx2::writeAll(planes, mask, flagSource, freeFlag, matrix);
            break;
        case simd::Level::kSse2:
            sse2::writeAll(planes, mask, flagSource, freeFlag, matrix);
            break;
#endif
        default:
            portable::writeAll(planes, mask, flagSource, freeFlag, matrix);
            break;
    }
    writeFormatInfo(planes.layout.width, matrix, mask, level);
}

}  // namespace kelvane2::qrencode
