// Base frames of QR Code and Micro QR Code: their function patterns, the caches and placement orders.
#include "encoder/frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "encoder/reedsolomon.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {
namespace {

using Frame = std::unique_ptr<std::uint8_t[]>;

// The frame as rows of text: '#' dark and '.' light function modules, '-' free modules.
std::vector<std::string> frameText(const std::uint8_t* frame, int width) {
    std::vector<std::string> rows;
    for (int r = 0; r < width; ++r) {
        std::string row;
        for (int c = 0; c < width; ++c) {
            std::uint8_t m = frame[r * width + c];
            row += (m & kModuleFunction) == 0 ? '-' : (m & kModuleDark) ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

std::map<int, int> valueCounts(const std::uint8_t* frame, int width) {
    std::map<int, int> counts;
    for (int i = 0; i < width * width; ++i)
        ++counts[frame[i]];
    return counts;
}

TEST(Frames, Version1Picture) {
    Frame frame(newBaseFrame(1));
    ASSERT_TRUE(frame);
    const std::vector<std::string> expected = {
        "#######..----.#######",  //
        "#.....#..----.#.....#",  //
        "#.###.#..----.#.###.#",  //
        "#.###.#..----.#.###.#",  //
        "#.###.#..----.#.###.#",  //
        "#.....#..----.#.....#",  //
        "#######.#.#.#.#######",  //
        ".........----........",  //
        "......#..----........",  //
        "------.--------------",  //
        "------#--------------",  //
        "------.--------------",  //
        "------#--------------",  //
        "........#------------",  //
        "#######..------------",  //
        "#.....#..------------",  //
        "#.###.#..------------",  //
        "#.###.#..------------",  //
        "#.###.#..------------",  //
        "#.....#..------------",  //
        "#######..------------",  //
    };
    EXPECT_EQ(frameText(frame.get(), 21), expected);
}

TEST(Frames, Version1ModuleKinds) {
    Frame frame(newBaseFrame(1));
    std::map<int, int> counts = valueCounts(frame.get(), 21);
    EXPECT_EQ(counts[0x00], 208) << "free";
    EXPECT_EQ(counts[0x84], 30) << "format";
    EXPECT_EQ(counts[0x90] + counts[0x91], 10) << "timing";
    EXPECT_EQ(counts[0x91], 6) << "dark timing";
    EXPECT_EQ(counts[0xC0] + counts[0xC1], 192) << "finder and separator";
    EXPECT_EQ(counts[0x81], 1) << "dark module";
    EXPECT_EQ(frame[13 * 21 + 8], 0x81);
    EXPECT_EQ(counts.size(), 7u) << "no other values";
}

TEST(Frames, M1Picture) {
    Frame frame(newMicroBaseFrame(1));
    ASSERT_TRUE(frame);
    const std::vector<std::string> expected = {
        "#######.#.#",  //
        "#.....#..--",  //
        "#.###.#..--",  //
        "#.###.#..--",  //
        "#.###.#..--",  //
        "#.....#..--",  //
        "#######..--",  //
        ".........--",  //
        "#........--",  //
        ".----------",  //
        "#----------",  //
    };
    EXPECT_EQ(frameText(frame.get(), 11), expected);
}

TEST(Frames, FreeModulesMatchCodewordCapacity) {
    struct Row {
        int version, freeModules, alignmentModules, versionModules, darkVersionModules;
    } rows[] = {
        {1, 208, 0, 0, 0},
        {2, 359, 25, 0, 0},
        {7, 1568, 150, 36, 16},
        {40, 29648, 46 * 25, 36, 2 * 8},
    };
    for (const Row& row : rows) {
        Frame frame(newBaseFrame(row.version));
        int width = QrTables::symbolWidth(row.version);
        std::map<int, int> counts = valueCounts(frame.get(), width);
        EXPECT_EQ(counts[0x00], row.freeModules) << "version " << row.version;
        EXPECT_EQ(counts[0xA0] + counts[0xA1], row.alignmentModules) << "version " << row.version;
        EXPECT_EQ(counts[0x88] + counts[0x89], row.versionModules) << "version " << row.version;
        EXPECT_EQ(counts[0x89], row.darkVersionModules) << "version " << row.version;
    }
    for (int version = 1; version <= 40; ++version) {
        Frame frame(newBaseFrame(version));
        int width = QrTables::symbolWidth(version);
        std::map<int, int> counts = valueCounts(frame.get(), width);
        EXPECT_EQ(counts[0x00], 8 * QrTables::totalCodewords(version) + QrTables::remainderBitCount(version))
            << "version " << version;
        EXPECT_EQ(counts[0x84], 30) << "version " << version;
        EXPECT_EQ(counts[0x81], 1) << "version " << version;
        for (auto [value, count] : counts) {
            EXPECT_TRUE(value == 0 || (value & kModuleFunction) != 0)
                << "version " << version << " value " << value << " x" << count;
        }
    }
}

// The version word reads back from both blocks, bit 0 at (w - 11, 0) and (0, w - 11).
TEST(Frames, VersionInformation) {
    Frame seven(newBaseFrame(7));
    EXPECT_EQ(seven[34 * 45 + 0], 0x88 | (0x07C94 & 1));
    EXPECT_EQ(seven[0 * 45 + 34], 0x88 | (0x07C94 & 1));
    for (int version = 7; version <= 40; ++version) {
        Frame frame(newBaseFrame(version));
        int w = QrTables::symbolWidth(version);
        int lowerLeft = 0;
        int upperRight = 0;
        for (int i = 0; i < 18; ++i) {
            lowerLeft |= (frame[(w - 11 + i % 3) * w + i / 3] & 1) << i;
            upperRight |= (frame[(i / 3) * w + w - 11 + i % 3] & 1) << i;
        }
        EXPECT_EQ(lowerLeft, QrTables::versionInfo(version)) << "version " << version;
        EXPECT_EQ(upperRight, QrTables::versionInfo(version)) << "version " << version;
    }
    Frame six(newBaseFrame(6));
    EXPECT_EQ(valueCounts(six.get(), 41)[0x88], 0);
}

TEST(Frames, MicroFrames) {
    const int freeModules[5] = {0, 36, 80, 132, 192};
    for (int version = 1; version <= 4; ++version) {
        Frame frame(newMicroBaseFrame(version));
        ASSERT_TRUE(frame);
        int w = MicroTables::microSymbolWidth(version);
        std::map<int, int> counts = valueCounts(frame.get(), w);
        EXPECT_EQ(counts[0x00], freeModules[version]) << "M" << version;
        EXPECT_EQ(counts[0x84], 15) << "M" << version;
        EXPECT_EQ(counts[0x90] + counts[0x91], 2 * (w - 8)) << "M" << version;
        EXPECT_EQ(counts[0x81], 0) << "M" << version;
        EXPECT_EQ(frame[0 * w + 8], 0x91) << "M" << version;
        EXPECT_EQ(frame[8 * w + 0], 0x91) << "M" << version;
        EXPECT_EQ(frame[0 * w + w - 1], 0x91) << "timing ends dark, M" << version;
        EXPECT_EQ(frame[(w - 1) * w + 0], 0x91) << "timing ends dark, M" << version;
    }
}

TEST(Frames, OutOfRangeVersionsGiveNothing) {
    EXPECT_EQ(newBaseFrame(0), nullptr);
    EXPECT_EQ(newBaseFrame(41), nullptr);
    EXPECT_EQ(newBaseFrame(-1), nullptr);
    EXPECT_EQ(newMicroBaseFrame(0), nullptr);
    EXPECT_EQ(newMicroBaseFrame(5), nullptr);
    EXPECT_EQ(buildFrame(41), nullptr);
    EXPECT_EQ(buildMicroFrame(5), nullptr);
    int count = -1;
    EXPECT_EQ(placementOrder(41, &count), nullptr);
    EXPECT_EQ(count, 0);
    count = -1;
    EXPECT_EQ(microPlacementOrder(0, &count), nullptr);
    EXPECT_EQ(count, 0);
}

TEST(Frames, CopiesAreIndependent) {
    Frame first(newBaseFrame(3));
    Frame second(newBaseFrame(3));
    ASSERT_NE(first.get(), second.get());
    ASSERT_EQ(std::memcmp(first.get(), second.get(), 29 * 29), 0);
    std::memset(first.get(), 0x03, 29 * 29);
    Frame third(newBaseFrame(3));
    EXPECT_EQ(std::memcmp(second.get(), third.get(), 29 * 29), 0);
    Frame drawn(buildFrame(3));
    EXPECT_EQ(std::memcmp(drawn.get(), third.get(), 29 * 29), 0);

    Frame micro(newMicroBaseFrame(4));
    std::memset(micro.get(), 0xFF, 17 * 17);
    Frame microAgain(newMicroBaseFrame(4));
    Frame microDrawn(buildMicroFrame(4));
    EXPECT_EQ(std::memcmp(microAgain.get(), microDrawn.get(), 17 * 17), 0);
}

// Several threads asking at once for frames, placement orders and codecs of many versions all see the
// same frames and orders, and the same codec for the same parameters.
TEST(Frames, ConcurrentRequestsAgree) {
    constexpr int kThreads = 4;
    struct Seen {
        std::vector<std::vector<std::uint8_t>> frames;
        std::vector<const std::uint32_t*> orders;
        std::vector<const RsCodec*> codecs;
    };
    Seen seen[kThreads];
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < 44; ++i) {
                int version = (i * 7 + t * 11) % 44 + 1;  // each thread in its own order
                int count = 0;
                if (version <= 40) {
                    int w = QrTables::symbolWidth(version);
                    Frame frame(newBaseFrame(version));
                    seen[t].frames.emplace_back(frame.get(), frame.get() + w * w);
                    seen[t].orders.push_back(placementOrder(version, &count));
                } else {
                    int w = MicroTables::microSymbolWidth(version - 40);
                    Frame frame(newMicroBaseFrame(version - 40));
                    seen[t].frames.emplace_back(frame.get(), frame.get() + w * w);
                    seen[t].orders.push_back(microPlacementOrder(version - 40, &count));
                }
                seen[t].codecs.push_back(codecFor(8, 0x11D, 0, 1, 2 + 2 * (version % 15), 100 + version % 3));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    // Put every thread's answers back in version order before comparing.
    for (int t = 0; t < kThreads; ++t) {
        Seen sorted;
        sorted.frames.resize(44);
        sorted.orders.resize(44);
        sorted.codecs.resize(44);
        for (int i = 0; i < 44; ++i) {
            int version = (i * 7 + t * 11) % 44 + 1;
            sorted.frames[version - 1] = seen[t].frames[i];
            sorted.orders[version - 1] = seen[t].orders[i];
            sorted.codecs[version - 1] = seen[t].codecs[i];
        }
        seen[t] = sorted;
    }
    for (int t = 1; t < kThreads; ++t) {
        EXPECT_EQ(seen[t].frames, seen[0].frames) << "thread " << t;
        EXPECT_EQ(seen[t].orders, seen[0].orders) << "thread " << t;
        EXPECT_EQ(seen[t].codecs, seen[0].codecs) << "thread " << t;
    }
    for (int version = 1; version <= 40; ++version) {
        Frame drawn(buildFrame(version));
        int w = QrTables::symbolWidth(version);
        EXPECT_EQ(seen[0].frames[version - 1], std::vector<std::uint8_t>(drawn.get(), drawn.get() + w * w));
    }
}

}  // namespace
}  // namespace kelvane2::qrencode
