// The symbol tables: anchor values of ISO/IEC 18004, and every row against the formula it follows.
#include "encoder/tables.h"

#include <gtest/gtest.h>

#include <vector>

#include "encoder/qrinput.h"

namespace kelvane2::qrencode {
namespace {

constexpr int L = 0, M = 1, Q = 2, H = 3;

// The BCH remainder of value (already shifted up by the generator's degree) modulo generator.
int bchRemainder(int value, int generator) {
    int degree = 0;
    while ((generator >> (degree + 1)) != 0)
        ++degree;
    for (int bit = 31 - __builtin_clz(static_cast<unsigned>(value | 1)); bit >= degree; --bit) {
        if (value & (1 << bit)) value ^= generator << (bit - degree);
    }
    return value;
}

TEST(QrTables, MinimumVersion) {
    struct Row {
        const char* name;
        int size, level, expected;
    } rows[] = {
        {"nothing fits version 1", 0, L, 1},    {"1-L holds 19 codewords", 19, L, 1},
        {"one more needs version 2", 20, L, 2}, {"40-L holds 2956", 2956, L, 40},
        {"beyond 40-L", 2957, L, -1},           {"40-H holds 1276", 1276, H, 40},
        {"beyond 40-H", 1277, H, -1},           {"1-H holds 9", 9, H, 1},
        {"10 at H needs version 2", 10, H, 2},
    };
    for (const Row& row : rows)
        EXPECT_EQ(QrTables::minimumVersion(row.size, row.level), row.expected) << row.name;
}

TEST(QrTables, CountBits) {
    struct Row {
        const char* name;
        int mode, version, expected;
    } rows[] = {
        {"byte 1-9", kByte, 9, 8},
        {"byte 10-26", kByte, 10, 16},
        {"numeric 10-26", kNumeric, 26, 12},
        {"numeric 27-40", kNumeric, 27, 14},
        {"numeric version 0", kNumeric, 0, 10},
        {"alphanumeric 40", kAlphanumeric, 40, 13},
        {"Kanji 1", kKanji, 1, 8},
        {"Kanji 26", kKanji, 26, 10},
        {"Kanji 40", kKanji, 40, 12},
    };
    for (const Row& row : rows)
        EXPECT_EQ(QrTables::countBits(row.mode, row.version), row.expected) << row.name;
    for (int mode = kStructuredAppend; mode <= kFnc1Second; ++mode) {
        for (int version = 0; version <= 40; ++version)
            EXPECT_EQ(QrTables::countBits(mode, version), 0) << "mode " << mode << " version " << version;
    }
}

TEST(QrTables, MaximumWords) {
    struct Row {
        const char* name;
        int mode, version, expected;
    } rows[] = {
        {"numeric 1", kNumeric, 1, 1023},
        {"Kanji 1 counts bytes", kKanji, 1, 510},
        {"byte 10", kByte, 10, 65535},
        {"alphanumeric 27", kAlphanumeric, 27, 8191},
        {"structured append", kStructuredAppend, 1, 3},
        {"ECI", kEci, 1, 4},
        {"indicator 14", kIndicator14, 20, 4},
        {"indicator 15", kIndicator15, 40, 4},
        {"FNC1 first", kFnc1First, 1, 1},
        {"FNC1 first 40", kFnc1First, 40, 1},
        {"FNC1 second", kFnc1Second, 1, 2},
    };
    for (const Row& row : rows)
        EXPECT_EQ(QrTables::maximumWords(row.mode, row.version), row.expected) << row.name;
}

TEST(QrTables, CapacityAnchors) {
    EXPECT_EQ(QrTables::symbolWidth(1), 21);
    EXPECT_EQ(QrTables::totalCodewords(1), 26);
    EXPECT_EQ(QrTables::eccCodewords(1, H), 17);
    EXPECT_EQ(QrTables::dataCodewords(1, M), 16);
    EXPECT_EQ(QrTables::symbolWidth(40), 177);
    EXPECT_EQ(QrTables::totalCodewords(40), 3706);
    EXPECT_EQ(QrTables::eccCodewords(40, L), 750);
    EXPECT_EQ(QrTables::eccCodewords(40, H), 2430);
    for (int version = 1; version <= 40; ++version) {
        EXPECT_EQ(QrTables::symbolWidth(version), 17 + 4 * version) << version;
        int r = QrTables::remainderBitCount(version);
        EXPECT_TRUE(r == 0 || r == 3 || r == 4 || r == 7) << version;
    }
}

TEST(QrTables, EccLayoutAnchors) {
    struct Row {
        const char* name;
        int version, level;
        EccLayout expected;
    } rows[] = {
        {"1-H", 1, H, {1, 9, 17, 0, 0}},        {"5-Q", 5, Q, {2, 15, 18, 2, 16}},
        {"40-L", 40, L, {19, 118, 30, 6, 119}}, {"1-M", 1, M, {1, 16, 10, 0, 0}},
        {"40-H", 40, H, {20, 15, 30, 61, 16}},
    };
    for (const Row& row : rows) {
        EccLayout got = QrTables::eccLayout(row.version, row.level);
        EXPECT_EQ(got.group1Blocks, row.expected.group1Blocks) << row.name;
        EXPECT_EQ(got.group1DataCodewords, row.expected.group1DataCodewords) << row.name;
        EXPECT_EQ(got.eccPerBlock, row.expected.eccPerBlock) << row.name;
        EXPECT_EQ(got.group2Blocks, row.expected.group2Blocks) << row.name;
        EXPECT_EQ(got.group2DataCodewords, row.expected.group2DataCodewords) << row.name;
    }
}

// Every block layout adds up to its version's and level's codeword counts, with blocks of at most two
// sizes one codeword apart, and a Reed-Solomon block no longer than 255.
TEST(QrTables, EccLayoutAddsUpEverywhere) {
    for (int version = 1; version <= 40; ++version) {
        for (int level = L; level <= H; ++level) {
            EccLayout e = QrTables::eccLayout(version, level);
            int blocks = e.group1Blocks + e.group2Blocks;
            SCOPED_TRACE(testing::Message() << "version " << version << " level " << level);
            ASSERT_GT(e.group1Blocks, 0);
            EXPECT_EQ(e.group1Blocks * e.group1DataCodewords + e.group2Blocks * e.group2DataCodewords,
                      QrTables::dataCodewords(version, level));
            EXPECT_EQ(e.eccPerBlock * blocks, QrTables::eccCodewords(version, level));
            EXPECT_EQ(e.group2DataCodewords, e.group2Blocks != 0 ? e.group1DataCodewords + 1 : 0);
            EXPECT_LE(e.group1DataCodewords + 1 + e.eccPerBlock, 255);
        }
    }
}

TEST(QrTables, AlignmentCentreAnchors) {
    std::vector<ModulePosition> seven = QrTables::alignmentCentres(7);
    std::vector<std::pair<int, int>> got;
    for (const ModulePosition& p : seven)
        got.emplace_back(p.row, p.column);
    std::vector<std::pair<int, int>> expected = {{6, 22}, {22, 6}, {22, 22}, {22, 38}, {38, 22}, {38, 38}};
    EXPECT_EQ(got, expected);

    std::vector<ModulePosition> two = QrTables::alignmentCentres(2);
    ASSERT_EQ(two.size(), 1u);
    EXPECT_EQ(two[0].row, 18);
    EXPECT_EQ(two[0].column, 18);
    EXPECT_TRUE(QrTables::alignmentCentres(1).empty());
    EXPECT_EQ(QrTables::alignmentCentres(40).size(), 46u);
}

// The coordinates of every version follow the standard's rule: version / 7 + 2 of them, the first 6 and
// the last width - 7, the others evenly spaced by an even step, as wide as possible from the end
// (version 32 is the one exception, with step 26).
TEST(QrTables, AlignmentCoordinatesFollowTheRule) {
    for (int version = 2; version <= 40; ++version) {
        int width = 17 + 4 * version;
        int count = version / 7 + 2;
        int step = version == 32 ? 26 : (version * 4 + count * 2 + 1) / (count * 2 - 2) * 2;
        std::vector<int> expected(static_cast<std::size_t>(count));
        expected[0] = 6;
        for (int i = count - 1, position = width - 7; i >= 1; --i, position -= step)
            expected[static_cast<std::size_t>(i)] = position;
        int coordinates[7] = {};
        int n = QrTables::alignmentCoordinates(version, coordinates);
        EXPECT_EQ(std::vector<int>(coordinates, coordinates + n), expected) << "version " << version;
        EXPECT_EQ(QrTables::alignmentCentres(version).size(), static_cast<std::size_t>(count * count - 3))
            << "version " << version;
    }
    int none[7];
    EXPECT_EQ(QrTables::alignmentCoordinates(1, none), 0);
}

TEST(QrTables, VersionInfo) {
    EXPECT_EQ(QrTables::versionInfo(7), 0x07C94);
    EXPECT_EQ(QrTables::versionInfo(40), 0x28C69);
    EXPECT_EQ(QrTables::versionInfo(41), 0);
    for (int version = 7; version <= 40; ++version)
        EXPECT_EQ(QrTables::versionInfo(version), (version << 12) | bchRemainder(version << 12, 0x1F25))
            << "version " << version;
}

TEST(QrTables, FormatInfo) {
    EXPECT_EQ(QrTables::formatInfo(0, L), 0x77C4);
    EXPECT_EQ(QrTables::formatInfo(0, M), 0x5412);
    EXPECT_EQ(QrTables::formatInfo(0, Q), 0x355F);
    EXPECT_EQ(QrTables::formatInfo(0, H), 0x1689);
    EXPECT_EQ(QrTables::formatInfo(8, M), 0);
    EXPECT_EQ(QrTables::formatInfo(-1, M), 0);
    const int indicator[4] = {1, 0, 3, 2};  // L, M, Q, H
    for (int level = L; level <= H; ++level) {
        for (int mask = 0; mask < 8; ++mask) {
            int data = (indicator[level] << 3) | mask;
            EXPECT_EQ(QrTables::formatInfo(mask, level),
                      ((data << 10) | bchRemainder(data << 10, 0x537)) ^ 0x5412)
                << "level " << level << " mask " << mask;
        }
    }
}

TEST(MicroTables, Capacities) {
    struct Row {
        const char* name;
        int version, level, dataBits, dataCodewords, eccCodewords, oddBits, symbolNumber;
    } rows[] = {
        {"M1", 1, L, 20, 3, 2, 4, 0},      {"M2-L", 2, L, 40, 5, 5, 0, 1},   {"M2-M", 2, M, 32, 4, 6, 0, 2},
        {"M3-L", 3, L, 84, 11, 6, 4, 3},   {"M3-M", 3, M, 68, 9, 8, 4, 4},   {"M4-L", 4, L, 128, 16, 8, 0, 5},
        {"M4-M", 4, M, 112, 14, 10, 0, 6}, {"M4-Q", 4, Q, 80, 10, 14, 0, 7},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MicroTables::dataBits(row.version, row.level), row.dataBits) << row.name;
        EXPECT_EQ(MicroTables::dataCodewords(row.version, row.level), row.dataCodewords) << row.name;
        EXPECT_EQ(MicroTables::eccCodewords(row.version, row.level), row.eccCodewords) << row.name;
        EXPECT_EQ(MicroTables::oddBits(row.version, row.level), row.oddBits) << row.name;
        EXPECT_EQ(MicroTables::symbolNumber(row.version, row.level), row.symbolNumber) << row.name;
    }
    struct Missing {
        const char* name;
        int version, level;
    } missing[] = {{"M1-M", 1, M}, {"M2-Q", 2, Q}, {"M3-Q", 3, Q}, {"M4-H", 4, H}};
    for (const Missing& row : missing) {
        EXPECT_EQ(MicroTables::dataBits(row.version, row.level), 0) << row.name;
        EXPECT_EQ(MicroTables::eccCodewords(row.version, row.level), 0) << row.name;
    }
    for (int version = 1; version <= 4; ++version)
        EXPECT_EQ(MicroTables::microSymbolWidth(version), 9 + 2 * version);
}

TEST(MicroTables, CountBits) {
    const int expected[4][4] = {{3, 4, 5, 6}, {0, 3, 4, 5}, {0, 0, 4, 5}, {0, 0, 3, 4}};
    for (int mode = kNumeric; mode <= kKanji; ++mode) {
        for (int version = 1; version <= 4; ++version)
            EXPECT_EQ(MicroTables::countBits(mode, version), expected[mode][version - 1])
                << "mode " << mode << " M" << version;
    }
}

TEST(MicroTables, FormatInfo) {
    EXPECT_EQ(MicroTables::formatInfo(0, 1, L), 0x4445);
    EXPECT_EQ(MicroTables::formatInfo(3, 4, Q), 0x3BBA);
    struct Row {
        const char* name;
        int mask, version, level;
    } zero[] = {
        {"M1 at M", 0, 1, M},  {"M4 at H", 0, 4, H},   {"M2 at H", 1, 2, H},   {"mask 4", 4, 2, L},
        {"mask -1", -1, 2, L}, {"version 0", 0, 0, L}, {"version 5", 0, 5, L},
    };
    for (const Row& row : zero)
        EXPECT_EQ(MicroTables::formatInfo(row.mask, row.version, row.level), 0) << row.name;
    for (int version = 1; version <= 4; ++version) {
        for (int level = L; level <= Q; ++level) {
            int symbol = MicroTables::symbolNumber(version, level);
            if (symbol < 0) continue;
            for (int mask = 0; mask < 4; ++mask) {
                int data = symbol * 4 + mask;
                EXPECT_EQ(MicroTables::formatInfo(mask, version, level),
                          ((data << 10) | bchRemainder(data << 10, 0x537)) ^ 0x4445)
                    << "M" << version << " level " << level << " mask " << mask;
            }
        }
    }
}

}  // namespace
}  // namespace kelvane2::qrencode
