// Data masks, format information, the penalty score and the choice of mask.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "encoder/frames.h"
#include "encoder/masking.h"
#include "encoder/placement.h"
#include "encoder/simd.h"
#include "encoder/tables.h"
#include "support/decode.h"
#include "support/simd_levels.h"

namespace kelvane2::qrencode {
namespace {

using Matrix = std::vector<std::uint8_t>;

int widthOf(const Matrix& m) {
    int w = 0;
    while (w * w < static_cast<int>(m.size()))
        ++w;
    return w;
}

// A matrix from rows of module text: '#' dark, '.' light; every module a data module.
Matrix fromRows(const std::vector<std::string>& rows) {
    Matrix m;
    for (const std::string& row : rows)
        for (char c : row)
            m.push_back(c == '#' ? 0x03 : 0x02);
    return m;
}

std::uint8_t& m(Matrix& matrix, int w, int r, int c) {
    return matrix[static_cast<std::size_t>(r) * w + c];
}

Matrix checkerboard(int w) {
    Matrix m(static_cast<std::size_t>(w) * w);
    for (int r = 0; r < w; ++r)
        for (int c = 0; c < w; ++c)
            m[r * w + c] = static_cast<std::uint8_t>(0x02 | ((r + c) & 1));
    return m;
}

Matrix baseFrame(int version) {
    int w = QrTables::symbolWidth(version);
    std::unique_ptr<std::uint8_t[]> frame(newBaseFrame(version));
    return Matrix(frame.get(), frame.get() + static_cast<std::size_t>(w) * w);
}

// The scores of the eight masks the long way: a byte matrix per mask, scored from the definition.
std::vector<int> referenceScores(int w, const Matrix& frame, int level,
                                 std::vector<int>* darkCounts = nullptr) {
    std::vector<int> scores;
    Matrix candidate(frame.size());
    for (int mask = 0; mask < 8; ++mask) {
        int dark = maskPattern(mask, w, frame.data(), candidate.data());
        dark += writeFormatInfo(w, candidate.data(), mask, level);
        if (darkCounts != nullptr) darkCounts->push_back(dark);
        scores.push_back(maskScore(w, candidate.data(), dark));
    }
    return scores;
}

int lowestFirst(const std::vector<int>& scores) {
    int best = 0;
    for (int mask = 1; mask < 8; ++mask)
        if (scores[mask] < scores[best]) best = mask;
    return best;
}

// Checks chooseMask against the byte-wise evaluation, on every instruction set level the processor has:
// scores, chosen mask and output bytes.
void expectChooseMaskMatchesReference(const Matrix& frame, int level, const std::string& name) {
    SCOPED_TRACE(name);
    int w = widthOf(frame);
    Matrix before = frame;
    std::vector<int> expected = referenceScores(w, frame, level);
    for (simd::Level simdLevel : qrkit_test::availableLevels()) {
        qrkit_test::ForcedLevel forced(simdLevel);
        SCOPED_TRACE(qrkit_test::levelText(simdLevel));
        int chosen = -1;
        std::vector<int> scores(8, -1);
        std::unique_ptr<std::uint8_t[]> out(chooseMask(w, frame.data(), level, &chosen, scores.data()));
        EXPECT_EQ(scores, expected);
        EXPECT_EQ(chosen, lowestFirst(expected));
        std::unique_ptr<std::uint8_t[]> direct(applyMask(w, frame.data(), chosen, level));
        EXPECT_EQ(0, std::memcmp(out.get(), direct.get(), frame.size())) << "output differs from applyMask";
        EXPECT_EQ(frame, before) << "the frame was written";
    }
}

// Fills the free modules of a frame: module (r, c) takes the colour of cell (r / cell, c / cell) of a
// random picture.
Matrix filledFrame(int version, int cell, std::mt19937& random) {
    Matrix m = baseFrame(version);
    int w = widthOf(m);
    int cells = (w + cell - 1) / cell;
    std::vector<int> colours(static_cast<std::size_t>(cells) * cells);
    for (int& colour : colours)
        colour = static_cast<int>(random() & 1);
    for (int r = 0; r < w; ++r)
        for (int c = 0; c < w; ++c)
            if ((m[r * w + c] & kModuleFunction) == 0)
                m[r * w + c] = static_cast<std::uint8_t>(0x02 | colours[(r / cell) * cells + c / cell]);
    return m;
}

// Any width, any flags: random bytes, then finder-like patterns of units 1 to 8 drawn as function modules
// (which masks leave alone) in random rows and columns, often against an edge, with light margins of
// 3f to 5f modules around them.
Matrix syntheticFrame(int w, std::mt19937& random) {
    Matrix m(static_cast<std::size_t>(w) * w);
    for (std::uint8_t& module : m)
        module = static_cast<std::uint8_t>(random());
    const int proportions[5] = {1, 1, 3, 1, 1};
    for (int n = 0; n < w / 2; ++n) {
        int f = 1 + static_cast<int>(random() % 8);
        bool vertical = random() & 1;
        int line = static_cast<int>(random() % w);
        int before =
            static_cast<int>(random() % 3) == 0 ? 0 : 3 * f + static_cast<int>(random() % (2 * f + 1));
        int after = 3 * f + static_cast<int>(random() % (2 * f + 1));
        int length = before + 7 * f + after;
        if (length > w) continue;
        int start;
        switch (random() % 3) {
            case 0:
                start = 0;
                break;
            case 1:
                start = w - length;
                break;
            default:
                start = static_cast<int>(random() % (w - length + 1));
        }
        int p = start;
        auto put = [&](int count, bool dark) {
            for (int k = 0; k < count && p < w; ++k, ++p) {
                int r = vertical ? p : line;
                int c = vertical ? line : p;
                if (p >= 0) m[r * w + c] = static_cast<std::uint8_t>(0xC0 | (dark ? 1 : 0));
            }
        };
        put(before, false);
        for (int k = 0; k < 5; ++k)
            put(proportions[k] * f, k % 2 == 0);
        put(after, false);
    }
    return m;
}

TEST(MaskingTest, FastScoresEqualReferenceOnRandomDataOfEveryVersion) {
    std::mt19937 random(1);
    for (int version = 1; version <= 40; ++version) {
        for (int cell : {1, 2, 3}) {
            Matrix frame = filledFrame(version, cell, random);
            expectChooseMaskMatchesReference(
                frame, (version + cell) % 4,
                "version " + std::to_string(version) + " cell " + std::to_string(cell));
        }
    }
}

TEST(MaskingTest, FastScoresEqualReferenceOnSyntheticFrames) {
    std::mt19937 random(2);
    // Word boundaries of the packed lines lie at 64 and 128 modules; 32 is the smallest transpose.
    for (int w : {21, 25, 32, 33, 63, 64, 65, 127, 128, 129, 173, 177}) {
        for (int round = 0; round < 4; ++round)
            expectChooseMaskMatchesReference(
                syntheticFrame(w, random), round,
                "width " + std::to_string(w) + " round " + std::to_string(round));
    }
}

TEST(MaskingTest, FastScoresEqualReferenceOnUniformFrames) {
    for (int w : {21, 64, 177}) {
        for (std::uint8_t fill : {0x00, 0x01, 0x80, 0x81, 0x02}) {
            Matrix frame(static_cast<std::size_t>(w) * w, fill);
            expectChooseMaskMatchesReference(frame, 1,
                                             "width " + std::to_string(w) + " fill " + std::to_string(fill));
        }
    }
}

// Frames dense in finder-like patterns of every unit, at every width from 21 to 177, with random lines of
// long runs: every level gives the scores of the byte-wise definition.
TEST(MaskingTest, FastScoresEqualReferenceAtEveryWidth) {
    std::mt19937 random(16);
    for (int w = 21; w <= 177; w += 1 + static_cast<int>(random() % 5)) {
        Matrix frame = syntheticFrame(w, random);
        // A few lines of long runs of one colour (N1) and of 2 x 2 blocks (N2) across slice edges.
        for (int n = 0; n < 4; ++n) {
            int line = static_cast<int>(random() % w);
            std::uint8_t colour = static_cast<std::uint8_t>(random() & 1);
            for (int p = 0; p < w; ++p) {
                if (random() % 9 == 0) colour ^= 1;
                m(frame, w, line, p) = static_cast<std::uint8_t>(0x02 | colour);
                m(frame, w, p, line) = static_cast<std::uint8_t>(0x02 | colour);
            }
        }
        expectChooseMaskMatchesReference(frame, w % 4, "width " + std::to_string(w));
    }
}

TEST(MaskingTest, EqualScoresGoToTheLowerMask) {
    // Random version 1 symbols often have two masks at the lowest score; the lower one must win.
    std::mt19937 random(3);
    int ties = 0;
    for (int round = 0; round < 400; ++round) {
        Matrix frame = filledFrame(1, 1, random);
        std::vector<int> scores = referenceScores(21, frame, 0);
        int lowest = lowestFirst(scores);
        int count = 0;
        for (int score : scores)
            count += score == scores[lowest] ? 1 : 0;
        if (count < 2) continue;
        ++ties;
        int chosen = -1;
        std::unique_ptr<std::uint8_t[]> out(chooseMask(21, frame.data(), 0, &chosen));
        EXPECT_EQ(chosen, lowest) << "round " << round;
    }
    EXPECT_GT(ties, 0);
}

// Annex I of ISO/IEC 18004: "01234567" at 1-M.
const std::uint8_t kAnnexCodewords[26] = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC,
                                          0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xA5, 0x24,
                                          0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55};

Matrix annexFrame() {
    Matrix frame = baseFrame(1);
    int count = 0;
    const std::uint32_t* order = placementOrder(1, &count);
    EXPECT_EQ(count, 208);
    placeCodewords(frame.data(), order, kAnnexCodewords, 26, QrTables::remainderBitCount(1));
    return frame;
}

// A symbol as an 8-bit grey image, 4 pixels a module, with a quiet zone of 4 modules.
std::vector<std::uint8_t> picture(int w, const std::uint8_t* m, int* side) {
    const int scale = 4;
    *side = (w + 8) * scale;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(*side) * *side, 255);
    for (int r = 0; r < w; ++r)
        for (int c = 0; c < w; ++c)
            if (m[r * w + c] & 1)
                for (int y = 0; y < scale; ++y)
                    for (int x = 0; x < scale; ++x)
                        pixels[((r + 4) * scale + y) * *side + (c + 4) * scale + x] = 0;
    return pixels;
}

std::string readWithZxing(int w, const std::uint8_t* m) {
    int side = 0;
    std::vector<std::uint8_t> pixels = picture(w, m, &side);
    const qrkit_test::Decoded decoded = qrkit_test::decodePictureWithZxing({side, side, pixels});
    return decoded.ok ? decoded.bytes : "(unread)";
}

std::string readWithZbar(int w, const std::uint8_t* m) {
    int side = 0;
    std::vector<std::uint8_t> pixels = picture(w, m, &side);
    const qrkit_test::Decoded decoded = qrkit_test::decodePictureWithZbar({side, side, pixels});
    return decoded.ok ? decoded.bytes : "(unread)";
}

TEST(MaskingTest, AnnexExampleScoresEveryMaskAndChoosesMask2) {
    Matrix frame = annexFrame();
    std::vector<int> dark;
    std::vector<int> expected = referenceScores(21, frame, 1, &dark);
    EXPECT_EQ(dark, (std::vector<int>{220, 212, 216, 218, 236, 210, 228, 222}));
    EXPECT_EQ(expected, (std::vector<int>{1057, 1053, 1037, 1052, 1090, 1197, 1099, 1046}));

    int chosen = -1;
    std::vector<int> scores(8);
    std::unique_ptr<std::uint8_t[]> symbol(chooseMask(21, frame.data(), 1, &chosen, scores.data()));
    EXPECT_EQ(scores, expected);
    EXPECT_EQ(chosen, 2);
    EXPECT_EQ(readWithZxing(21, symbol.get()), "01234567");
    EXPECT_EQ(readWithZbar(21, symbol.get()), "01234567");
}

TEST(MaskingTest, EveryMaskOfTheAnnexExampleDecodes) {
    Matrix frame = annexFrame();
    for (int mask = 0; mask < 8; ++mask) {
        std::unique_ptr<std::uint8_t[]> symbol(applyMask(21, frame.data(), mask, 1));
        EXPECT_EQ(readWithZxing(21, symbol.get()), "01234567") << "mask " << mask;
        EXPECT_EQ(readWithZbar(21, symbol.get()), "01234567") << "mask " << mask;
    }
}

TEST(MaskingTest, MaskPatternsInvertDataModulesOnly) {
    // Row 0 to 5 of a 6 x 6 all-light data matrix under each mask ('#' where the condition holds), and
    // function modules (bit 7) never change.
    struct Row {
        int mask;
        std::vector<std::string> rows;
    };
    const Row table[] = {
        {0, {"#.#.#.", ".#.#.#", "#.#.#.", ".#.#.#", "#.#.#.", ".#.#.#"}},
        {1, {"######", "......", "######", "......", "######", "......"}},
        {2, {"#..#..", "#..#..", "#..#..", "#..#..", "#..#..", "#..#.."}},
        {3, {"#..#..", "..#..#", ".#..#.", "#..#..", "..#..#", ".#..#."}},
        {4, {"###...", "###...", "...###", "...###", "###...", "###..."}},
        {5, {"######", "#.....", "#..#..", "#.#.#.", "#..#..", "#....."}},
        {6, {"######", "###...", "##.##.", "#.#.#.", "#.##.#", "#...##"}},
        {7, {"#.#.#.", "...###", "#...##", ".#.#.#", "###...", ".###.."}},
    };
    for (const Row& row : table) {
        Matrix light(36, 0x02);
        Matrix out(36);
        int dark = maskPattern(row.mask, 6, light.data(), out.data());
        EXPECT_EQ(out, fromRows(row.rows)) << "mask " << row.mask;
        int expectedDark = 0;
        for (std::uint8_t module : out)
            expectedDark += module & 1;
        EXPECT_EQ(dark, expectedDark) << "mask " << row.mask;

        Matrix function(36, 0xC0);
        function[7] = 0x81;
        EXPECT_EQ(maskPattern(row.mask, 6, function.data(), out.data()), 1) << "mask " << row.mask;
        EXPECT_EQ(out, function) << "mask " << row.mask;
    }
}

TEST(MaskingTest, FormatInfoGoesToBothCopies) {
    // Bit k of the format word: first copy at (row1, column1), second at (row2, column2), width 21.
    struct Position {
        int bit, row1, column1, row2, column2;
    };
    const Position table[] = {
        {0, 0, 8, 8, 20},  {1, 1, 8, 8, 19},  {2, 2, 8, 8, 18},  {3, 3, 8, 8, 17},  {4, 4, 8, 8, 16},
        {5, 5, 8, 8, 15},  {6, 7, 8, 8, 14},  {7, 8, 8, 8, 13},  {8, 8, 7, 14, 8},  {9, 8, 5, 15, 8},
        {10, 8, 4, 16, 8}, {11, 8, 3, 17, 8}, {12, 8, 2, 18, 8}, {13, 8, 1, 19, 8}, {14, 8, 0, 20, 8},
    };
    const int w = 21;
    for (int level = 0; level < 4; ++level) {
        for (int mask = 0; mask < 8; ++mask) {
            Matrix m = baseFrame(1);
            Matrix before = m;
            int format = QrTables::formatInfo(mask, level);
            int dark = writeFormatInfo(w, m.data(), mask, level);
            EXPECT_EQ(dark, 2 * __builtin_popcount(format));
            for (const Position& p : table) {
                std::uint8_t expected = static_cast<std::uint8_t>(0x84 | ((format >> p.bit) & 1));
                EXPECT_EQ(m[p.row1 * w + p.column1], expected) << "bit " << p.bit;
                EXPECT_EQ(m[p.row2 * w + p.column2], expected) << "bit " << p.bit;
                m[p.row1 * w + p.column1] = before[p.row1 * w + p.column1];
                m[p.row2 * w + p.column2] = before[p.row2 * w + p.column2];
            }
            EXPECT_EQ(m, before) << "a module outside the format area changed";
        }
    }
    // Mask 0 at level M writes 0x5412: 5 one bits, each written twice.
    Matrix m = baseFrame(1);
    EXPECT_EQ(writeFormatInfo(w, m.data(), 0, 1), 10);
    int first = 0;
    int second = 0;
    for (const Position& p : table) {
        first |= (m[p.row1 * w + p.column1] & 1) << p.bit;
        second |= (m[p.row2 * w + p.column2] & 1) << p.bit;
    }
    EXPECT_EQ(first, 0x5412);
    EXPECT_EQ(second, 0x5412);
}

TEST(MaskingTest, RunListsOfLines) {
    struct Row {
        const char* line;
        std::vector<int> runs;
    };
    const Row table[] = {
        {"#.###.#", {-1, 1, 1, 3, 1, 1}},
        {"..#.###.#..", {2, 1, 1, 3, 1, 1, 2}},
        {".....", {5}},
        {"#####", {-1, 5}},
        {"#", {-1, 1}},
        {".", {1}},
        {"#.#.", {-1, 1, 1, 1, 1}},
    };
    for (const Row& row : table) {
        Matrix m = fromRows({row.line});
        int runs[kMaxRuns];
        int count = lineRuns(m.data(), 1, static_cast<int>(m.size()), runs);
        EXPECT_EQ(std::vector<int>(runs, runs + count), row.runs) << row.line;
    }
}

TEST(MaskingTest, ScoreRunsOfOneLine) {
    struct Row {
        const char* name;
        std::vector<int> runs;
        int score;
    };
    const Row table[] = {
        {"21 light modules", {21}, 19},
        {"5 light modules", {5}, 3},
        {"4 light modules", {4}, 0},
        {"5 and 6 dark modules", {-1, 5, 1, 6}, 7},
        {"pattern at the start of a dark line", {-1, 1, 1, 3, 1, 1}, 40},
        {"pattern at the start, more follows", {-1, 1, 1, 3, 1, 1, 1, 1, 2, 1}, 40},
        {"pattern after one light module", {1, 1, 1, 3, 1, 1, 2, 2}, 40},
        {"pattern after 3 light modules", {3, 1, 1, 3, 1, 1, 1, 1}, 40},
        {"framed by 3 light each side", {2, 2, 3, 1, 1, 3, 1, 1, 3, 2, 2}, 0},
        {"4 light before", {2, 2, 4, 1, 1, 3, 1, 1, 3, 2, 2}, 40},
        {"4 light after", {2, 2, 3, 1, 1, 3, 1, 1, 4, 2, 2}, 40},
        {"3 light after, at the line end", {2, 2, 3, 1, 1, 3, 1, 1, 3}, 40},
        {"pattern ending at the line end", {2, 2, 3, 1, 1, 3, 1, 1}, 40},
        {"unit 2 with 8 light before", {1, 1, 8, 2, 2, 6, 2, 2, 1, 1}, 40 + 6 + 4},
        {"unit 2 with 7 light on both sides", {1, 1, 7, 2, 2, 6, 2, 2, 7, 1}, 5 + 4 + 5},
        {"middle run of 4", {2, 2, 4, 1, 1, 4, 1, 1, 4, 2}, 0},
        {"unequal neighbours", {5, 1, 1, 3, 2, 1, 5}, 6},
        {"two patterns in a row", {-1, 1, 1, 3, 1, 1, 1, 3, 1, 1, 4, 1}, 80},
    };
    for (const Row& row : table)
        EXPECT_EQ(scoreRuns(row.runs.data(), static_cast<int>(row.runs.size())), row.score) << row.name;
}

TEST(MaskingTest, PenaltyOfSmallMatrices) {
    struct Row {
        const char* name;
        std::vector<std::string> rows;
        int score;
    };
    const Row table[] = {
        {"2 x 2 of one colour: one block", {"##", "##"}, 3},
        {"3 x 3 of one colour: four blocks", {"...", "...", "..."}, 12},
        {"4 x 4: nine blocks, runs of 4", {"####", "####", "####", "####"}, 27},
        {"5 x 5: 16 blocks, ten runs of 5", {".....", ".....", ".....", ".....", "....."}, 48 + 30},
        {"checkerboard", {"#.#.#", ".#.#.", "#.#.#", ".#.#.", "#.#.#"}, 0},
        // Row 0 holds the pattern after no light module; the rest is a checkerboard.
        {"finder proportions at a row start",
         {"#.###.#", ".#.#.#.", "#.#.#.#", ".#.#.#.", "#.#.#.#", ".#.#.#.", "#.#.#.#"},
         40},
        {"the same in a column",
         {"#.#.#.#", "..#.#.#", "#.#.#.#", "##.#.#.", "#.#.#.#", "..#.#.#", "#.#.#.#"},
         40},
    };
    for (const Row& row : table) {
        Matrix m = fromRows(row.rows);
        EXPECT_EQ(penalty(widthOf(m), m.data()), row.score) << row.name;
    }
    Matrix m = checkerboard(21);
    EXPECT_EQ(penalty(21, m.data()), 0) << "checkerboard of width 21";
}

TEST(MaskingTest, DarkShareTermUsesTheTruncatedPercentage) {
    // A 30 x 30 checkerboard scores 0 itself; 900 modules.
    struct Row {
        int dark;
        int n4;
    };
    const Row table[] = {
        {450, 0},    // 50 %
        {413, 10},   // 45.9 % counts as 45
        {414, 0},    // 46.0 %
        {494, 0},    // 54.9 % counts as 54
        {495, 10},   // 55 %
        {0, 100},    // 0 %
        {900, 100},  // 100 %
        {359, 20},   // 39.9 %
    };
    Matrix m = checkerboard(30);
    for (const Row& row : table)
        EXPECT_EQ(maskScore(30, m.data(), row.dark), row.n4) << row.dark << " dark modules";
}

}  // namespace
}  // namespace kelvane2::qrencode

namespace kelvane2::qrencode {
namespace {

// The encoder's path (codewords into bit planes, scored, the winner written once) against the byte path
// (placeCodewords into the base frame, then chooseMask or applyMask): the same matrix bytes, scores and
// mask for every version and level, on every instruction set level, with random codewords and with
// codewords that make long runs and many finder-like patterns.
TEST(MaskedSymbol, EqualsTheBytePathForEveryVersion) {
    std::mt19937 random(2024);
    for (simd::Level simdLevel : qrkit_test::availableLevels()) {
        qrkit_test::ForcedLevel forced(simdLevel);
        for (int version = 1; version <= 40; ++version) {
            for (int level = 0; level < 4; ++level) {
                SCOPED_TRACE(testing::Message() << "version " << version << " level " << level << ", "
                                                << qrkit_test::levelText(simdLevel));
                const int total = QrTables::totalCodewords(version);
                const int w = QrTables::symbolWidth(version);
                std::vector<std::uint8_t> codewords(static_cast<std::size_t>(total) + 16, 0);
                const int kind = static_cast<int>(random() % 3);
                for (int i = 0; i < total; ++i) {
                    std::uint8_t byte = static_cast<std::uint8_t>(random());
                    if (kind == 1) byte = (random() % 4 == 0) ? byte : 0x00;  // long light runs
                    if (kind == 2) byte = (random() % 2 == 0) ? 0x5D : 0xBA;  // 1:1:3:1:1 pieces
                    codewords[static_cast<std::size_t>(i)] = byte;
                }
                Matrix frame = baseFrame(version);
                int count = 0;
                placeCodewords(frame.data(), placementOrder(version, &count), codewords.data(), total,
                               QrTables::remainderBitCount(version));
                std::vector<int> expectedScores(8);
                int expectedMask = -1;
                std::unique_ptr<std::uint8_t[]> expected(
                    chooseMask(w, frame.data(), level, &expectedMask, expectedScores.data()));

                const PackedFrame* packed = packedFrame(version);
                ASSERT_NE(packed, nullptr);
                std::vector<int> scores(8);
                int chosen = -1;
                std::unique_ptr<std::uint8_t[]> symbol(
                    maskedSymbol(*packed, codewords.data(), level, -1, &chosen, scores.data()));
                EXPECT_EQ(scores, expectedScores);
                EXPECT_EQ(chosen, expectedMask);
                EXPECT_EQ(0, std::memcmp(symbol.get(), expected.get(), frame.size()));

                const int mask = static_cast<int>(random() % 8);
                std::unique_ptr<std::uint8_t[]> fixed(maskedSymbol(*packed, codewords.data(), level, mask));
                std::unique_ptr<std::uint8_t[]> byMask(applyMask(w, frame.data(), mask, level));
                EXPECT_EQ(0, std::memcmp(fixed.get(), byMask.get(), frame.size())) << "mask " << mask;
            }
        }
    }
}

}  // namespace
}  // namespace kelvane2::qrencode
