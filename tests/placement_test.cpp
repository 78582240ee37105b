// The placement cursor, the cached placement orders and the writing of codewords into a frame.
#include "encoder/placement.h"

#include <gtest/gtest.h>
#include <qrcodegen.hpp>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "encoder/codeword_stream.h"
#include "encoder/frames.h"
#include "encoder/mask_planes.h"
#include "encoder/simd.h"
#include "encoder/tables.h"
#include "support/simd_levels.h"

namespace kelvane2::qrencode {
namespace {

using Frame = std::unique_ptr<std::uint8_t[]>;
using Position = std::pair<int, int>;  // row, column

int widthOf(int version, bool micro) {
    return micro ? MicroTables::microSymbolWidth(version) : QrTables::symbolWidth(version);
}

std::vector<Position> orderOf(int version, bool micro) {
    int count = 0;
    const std::uint32_t* order =
        micro ? microPlacementOrder(version, &count) : placementOrder(version, &count);
    int width = widthOf(version, micro);
    std::vector<Position> positions;
    for (int i = 0; i < count; ++i)
        positions.emplace_back(static_cast<int>(order[i]) / width, static_cast<int>(order[i]) % width);
    return positions;
}

// The placement order written the other way round: column pairs from the right edge (QR Code leaves out
// the timing column 6), going up in the first pair and turning at each edge, right column before left,
// keeping the free modules.
std::vector<Position> referenceOrder(const std::uint8_t* frame, int width, bool micro) {
    std::vector<Position> positions;
    bool upward = true;
    for (int right = width - 1; right >= 1; right -= 2) {
        if (!micro && right == 6) right = 5;
        for (int step = 0; step < width; ++step) {
            int row = upward ? width - 1 - step : step;
            for (int column : {right, right - 1}) {
                if ((frame[row * width + column] & kModuleFunction) == 0) positions.emplace_back(row, column);
            }
        }
        upward = !upward;
    }
    return positions;
}

TEST(Placement, FirstCodewordFillsTheBottomRightCorner) {
    struct Row {
        const char* name;
        int version;
        bool micro;
    } rows[] = {{"version 1", 1, false},
                {"version 7", 7, false},
                {"version 40", 40, false},
                {"M1", 1, true},
                {"M4", 4, true}};
    for (const Row& row : rows) {
        int w = widthOf(row.version, row.micro);
        std::vector<Position> expected = {{w - 1, w - 1}, {w - 1, w - 2}, {w - 2, w - 1}, {w - 2, w - 2},
                                          {w - 3, w - 1}, {w - 3, w - 2}, {w - 4, w - 1}, {w - 4, w - 2}};
        std::vector<Position> order = orderOf(row.version, row.micro);
        ASSERT_GE(order.size(), 8u) << row.name;
        EXPECT_EQ(std::vector<Position>(order.begin(), order.begin() + 8), expected) << row.name;
    }
}

TEST(Placement, QrSkipsTheTimingColumn) {
    std::vector<Position> order = orderOf(1, false);
    auto it = std::find(order.begin(), order.end(), Position{9, 7});
    ASSERT_NE(it, order.end());
    ASSERT_NE(it + 1, order.end());
    EXPECT_EQ(*(it + 1), (Position{9, 5})) << "the pair after (8, 7) is (5, 4), starting at row 9";
    for (int version = 1; version <= 40; ++version) {
        for (const Position& p : orderOf(version, false))
            ASSERT_NE(p.second, 6) << "version " << version << " row " << p.first;
    }
}

TEST(Placement, MicroWalksColumnSix) {
    for (int version = 1; version <= 4; ++version) {
        int w = widthOf(version, true);
        std::vector<Position> order = orderOf(version, true);
        int inColumn6 = 0;
        for (const Position& p : order)
            inColumn6 += p.second == 6;
        EXPECT_EQ(inColumn6, w - 9) << "M" << version << ": rows 9 to the bottom";
    }
}

// Each order holds every free module exactly once, as many as the version has codeword bits, in the
// order of the column-pair walk.
TEST(Placement, OrdersCoverEveryFreeModule) {
    for (bool micro : {false, true}) {
        for (int version = 1; version <= (micro ? 4 : 40); ++version) {
            SCOPED_TRACE(testing::Message() << (micro ? "M" : "version ") << version);
            int w = widthOf(version, micro);
            Frame frame(micro ? newMicroBaseFrame(version) : newBaseFrame(version));
            std::vector<Position> order = orderOf(version, micro);
            std::set<Position> distinct(order.begin(), order.end());
            EXPECT_EQ(distinct.size(), order.size());
            int freeModules = 0;
            for (int i = 0; i < w * w; ++i)
                freeModules += frame[i] == 0;
            EXPECT_EQ(static_cast<int>(order.size()), freeModules);
            if (!micro) {
                EXPECT_EQ(freeModules,
                          8 * QrTables::totalCodewords(version) + QrTables::remainderBitCount(version));
            }
            EXPECT_EQ(order, referenceOrder(frame.get(), w, micro));
        }
    }
    const int microFree[5] = {0, 36, 80, 132, 192};
    for (int version = 1; version <= 4; ++version)
        EXPECT_EQ(orderOf(version, true).size(), static_cast<std::size_t>(microFree[version]))
            << "M" << version;
}

TEST(Placement, CursorStopsAtTheEndAndStaysThere) {
    int w = widthOf(1, true);
    PlacementCursor cursor(w, newMicroBaseFrame(1), true);
    int row = -1;
    int column = -1;
    int count = 0;
    while (cursor.nextModule(&row, &column))
        ++count;
    EXPECT_EQ(count, 36);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(cursor.nextModule(&row, &column)) << "call " << i << " after the end";
}

// A frame whose corner is a function module starts with the next free module of the walk.
TEST(Placement, CursorPassesOverAFunctionCorner) {
    std::uint8_t* frame = new std::uint8_t[16]();
    frame[15] = kModuleFunction | kModuleDark;  // (3, 3)
    frame[14] = kModuleFunction;                // (3, 2)
    PlacementCursor cursor(4, frame, true);
    std::vector<Position> walked;
    int row = 0;
    int column = 0;
    while (cursor.nextModule(&row, &column))
        walked.emplace_back(row, column);
    std::vector<Position> expected = {{2, 3}, {2, 2}, {1, 3}, {1, 2}, {0, 3}, {0, 2}, {0, 1},
                                      {0, 0}, {1, 1}, {1, 0}, {2, 1}, {2, 0}, {3, 1}, {3, 0}};
    EXPECT_EQ(walked, expected);
}

TEST(Placement, CodewordsGoMostSignificantBitFirst) {
    const std::uint8_t codewords[2] = {0x10, 0xA5};
    Frame frame(newBaseFrame(2));
    int count = 0;
    const std::uint32_t* order = placementOrder(2, &count);
    ASSERT_EQ(count, 8 * 44 + 7);
    placeCodewords(frame.get(), order, codewords, 2, 0);
    std::vector<int> written;
    for (int i = 0; i < 16; ++i)
        written.push_back(frame[order[i]]);
    std::vector<int> expected = {2, 2, 2, 3, 2, 2, 2, 2, 3, 2, 3, 2, 2, 3, 2, 3};
    EXPECT_EQ(written, expected);
    EXPECT_EQ(frame[order[16]], 0x00) << "nothing beyond the codewords given";
}

TEST(Placement, FullSymbolLeavesNoFreeModule) {
    const int version = 2;
    const int total = QrTables::totalCodewords(version);
    std::vector<std::uint8_t> codewords(static_cast<std::size_t>(total), 0xFF);
    Frame frame(newBaseFrame(version));
    int count = 0;
    const std::uint32_t* order = placementOrder(version, &count);
    placeCodewords(frame.get(), order, codewords.data(), total, QrTables::remainderBitCount(version));
    int w = QrTables::symbolWidth(version);
    for (int i = 0; i < w * w; ++i)
        ASSERT_NE(frame[i], 0x00) << "module " << i;
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(frame[order[count - 1 - i]], kModuleData) << "remainder module " << i;
    EXPECT_EQ(frame[order[count - 8]], kModuleData | kModuleDark);
}

// Frame, codeword stream and placement together against an independent generator given the same data
// codewords with mask 0: every data module after masking, and every function module outside the format
// area, has the colour the reference gives it. This covers block division, Reed-Solomon codewords,
// interleaving, function patterns and the placement walk of every version and level.
TEST(Placement, MatchesIndependentGeneratorEverywhere) {
    const qrcodegen::QrCode::Ecc levels[4] = {qrcodegen::QrCode::Ecc::LOW, qrcodegen::QrCode::Ecc::MEDIUM,
                                              qrcodegen::QrCode::Ecc::QUARTILE, qrcodegen::QrCode::Ecc::HIGH};
    std::mt19937 random(18004);
    for (int version = 1; version <= 40; ++version) {
        for (int level = 0; level < 4; ++level) {
            std::vector<std::uint8_t> data(static_cast<std::size_t>(QrTables::dataCodewords(version, level)));
            for (std::uint8_t& b : data)
                b = static_cast<std::uint8_t>(random());
            qrcodegen::QrCode reference(version, levels[level], data, 0);

            CodewordStream stream(version, level, data);
            ASSERT_TRUE(stream.ok());
            std::vector<std::uint8_t> codewords(
                static_cast<std::size_t>(stream.dataLength() + stream.eccLength()));
            stream.interleaved(codewords.data());
            Frame frame(newBaseFrame(version));
            int count = 0;
            const std::uint32_t* order = placementOrder(version, &count);
            placeCodewords(frame.get(), order, codewords.data(), static_cast<int>(codewords.size()),
                           QrTables::remainderBitCount(version));

            int w = QrTables::symbolWidth(version);
            int mismatches = 0;
            for (int r = 0; r < w; ++r) {
                for (int c = 0; c < w; ++c) {
                    std::uint8_t m = frame[r * w + c];
                    if (m == (kModuleFunction | kModuleFormat)) continue;
                    bool dark = (m & kModuleDark) != 0;
                    if ((m & kModuleFunction) == 0 && (r + c) % 2 == 0) dark = !dark;
                    mismatches += dark != reference.getModule(c, r);
                }
            }
            EXPECT_EQ(mismatches, 0) << "version " << version << " level " << level;
        }
    }
}

}  // namespace
}  // namespace kelvane2::qrencode

namespace kelvane2::qrencode {
namespace {

// The packed walk writes every codeword bit where the byte walk puts it: the column lanes of the plane
// hold exactly the dark data modules of the byte frame, for every version, both with the processor's bit
// deposit and without it.
TEST(PackedPlacement, ChunksPlaceEveryBitWhereTheOrderDoes) {
    std::mt19937 random(1804);
    for (simd::Level level : qrkit_test::availableLevels()) {
        qrkit_test::ForcedLevel forced(level);
        for (int version = 1; version <= 40; ++version) {
            SCOPED_TRACE(testing::Message() << "version " << version << ", " << qrkit_test::levelText(level));
            const PackedFrame* packed = packedFrame(version);
            ASSERT_NE(packed, nullptr);
            const int total = QrTables::totalCodewords(version);
            const int w = QrTables::symbolWidth(version);
            EXPECT_EQ(packed->freeModules, 8 * total + QrTables::remainderBitCount(version));
            std::vector<std::uint8_t> codewords(static_cast<std::size_t>(total) + 16, 0);
            for (int i = 0; i < total; ++i)
                codewords[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(random());

            Frame frame(newBaseFrame(version));
            int count = 0;
            const std::uint32_t* order = placementOrder(version, &count);
            placeCodewords(frame.get(), order, codewords.data(), total, QrTables::remainderBitCount(version));

            const PlaneLayout layout(w);
            std::vector<std::uint64_t> plane(static_cast<std::size_t>(layout.words()), 0);
            placeCodewordsPacked(packed->chunks, packed->chunkCount, codewords.data(), plane.data());
            int mismatches = 0;
            for (int r = 0; r < w; ++r) {
                for (int c = 0; c < w; ++c) {
                    const std::uint64_t word = plane[layout.index(c, layout.columnLane(r / 64))];
                    const bool packedDark = ((word >> (r % 64)) & 1) != 0;
                    const std::uint8_t m = frame[r * w + c];
                    const bool byteDark = (m & kModuleFunction) == 0 && (m & kModuleDark) != 0;
                    mismatches += packedDark != byteDark;
                }
            }
            EXPECT_EQ(mismatches, 0);
        }
    }
}

TEST(PackedPlacement, ChunksFollowTheWalk) {
    // Version 1: the first chunk is the bottom of the right pair, walked up; its free slots are the
    // rows 0-20 of columns 20 and 19, but rows 0-8 of those columns hold the top-right finder, separator
    // and format area.
    const PackedFrame* packed = packedFrame(1);
    ASSERT_NE(packed, nullptr);
    ASSERT_GE(packed->chunkCount, 2);
    const PlacementChunk& first = packed->chunks[0];
    EXPECT_TRUE(first.upward);
    EXPECT_EQ(first.count, 2 * 12);  // rows 9-20 of both columns
    EXPECT_EQ(first.shift, 0);
    const PlaneLayout layout(21);
    EXPECT_EQ(first.oddWord, layout.index(20, layout.columnLane(0))) << "odd slots: the right column";
    EXPECT_EQ(first.evenWord, layout.index(19, layout.columnLane(0)));
    EXPECT_FALSE(packed->chunks[1].upward);
    // Version 40 has 6 chunks of 32 rows in each of its 88 column pairs, some without a free module.
    const PackedFrame* large = packedFrame(40);
    ASSERT_NE(large, nullptr);
    EXPECT_LE(large->chunkCount, kMaxPlacementChunks);
    EXPECT_GT(large->chunkCount, 80 * 5);
    EXPECT_EQ(packedFrame(0), nullptr);
    EXPECT_EQ(packedFrame(41), nullptr);
}

}  // namespace
}  // namespace kelvane2::qrencode
