// Reed-Solomon codecs, their cache, and the interleaved codeword stream.
#include "encoder/reedsolomon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "encoder/codeword_stream.h"
#include "encoder/simd.h"
#include "encoder/tables.h"
#include "support/simd_levels.h"

namespace kelvane2::qrencode {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int L = 0, M = 1, Q = 2, H = 3;

// GF(256) over x^8 + x^4 + x^3 + x^2 + 1 by shift and add, independent of the codec's tables.
std::uint8_t gfMultiply(std::uint8_t a, std::uint8_t b) {
    unsigned product = 0;
    unsigned x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1 << bit)) product ^= x;
        x <<= 1;
        if (x & 0x100) x ^= 0x11D;
    }
    return static_cast<std::uint8_t>(product);
}

std::uint8_t gfPower(int exponent) {
    std::uint8_t value = 1;
    for (int i = 0; i < exponent; ++i)
        value = gfMultiply(value, 2);
    return value;
}

// The value at x of the polynomial whose coefficients are given highest degree first.
std::uint8_t evaluate(const Bytes& coefficients, std::uint8_t x) {
    std::uint8_t value = 0;
    for (std::uint8_t c : coefficients)
        value = gfMultiply(value, x) ^ c;
    return value;
}

const RsCodec* qrCodec(int dataCount, int eccCount) {
    return codecFor(8, 0x11D, 0, 1, eccCount, 255 - dataCount - eccCount);
}

Bytes encodeBlock(const Bytes& data, int eccCount) {
    Bytes ecc(static_cast<std::size_t>(eccCount));
    qrCodec(static_cast<int>(data.size()), eccCount)->encode(data.data(), ecc.data());
    return ecc;
}

Bytes randomBytes(std::mt19937& random, int count) {
    Bytes bytes(static_cast<std::size_t>(count));
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

Bytes readAll(CodewordStream& stream, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i)
        out.push_back(stream.nextCodeword());
    return out;
}

const Bytes kAnnexIData = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11,
                           0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11};
const Bytes kAnnexIEcc = {0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55};

TEST(ReedSolomon, AnnexIExample) {
    EXPECT_EQ(encodeBlock(kAnnexIData, 10), kAnnexIEcc);
}

TEST(ReedSolomon, GeneratorOfTenRootsInLogForm) {
    const RsCodec* codec = qrCodec(16, 10);
    ASSERT_NE(codec, nullptr);
    const int expected[11] = {45, 32, 94, 64, 70, 118, 61, 46, 67, 251, 0};
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(codec->generator[i], expected[i]) << "coefficient of x^" << i;
    EXPECT_EQ(codec->n, 255);
    EXPECT_EQ(codec->log[0], 255);
    EXPECT_EQ(codec->antilog[255], 0);
    EXPECT_EQ(codec->antilog[8], 0x1D);
}

// Every block size that a QR symbol uses gives codewords whose polynomial vanishes at the roots
// a^0 ... a^(ecc - 1): the defining property of the code, checked with arithmetic of its own.
TEST(ReedSolomon, EveryQrBlockIsACodeword) {
    std::set<std::pair<int, int>> sizes;
    for (int version = 1; version <= 40; ++version) {
        for (int level = L; level <= H; ++level) {
            EccLayout e = QrTables::eccLayout(version, level);
            sizes.emplace(e.group1DataCodewords, e.eccPerBlock);
            if (e.group2Blocks != 0) sizes.emplace(e.group2DataCodewords, e.eccPerBlock);
        }
    }
    std::mt19937 random(7);
    for (auto [dataCount, eccCount] : sizes) {
        Bytes block = randomBytes(random, dataCount);
        Bytes ecc = encodeBlock(block, eccCount);
        block.insert(block.end(), ecc.begin(), ecc.end());
        for (int root = 0; root < eccCount; ++root)
            ASSERT_EQ(evaluate(block, gfPower(root)), 0)
                << dataCount << " + " << eccCount << ", root " << root;
    }
}

// The remainder of D(x) x^eccCount divided by the generator, by long division with arithmetic of the
// test's own: the error correction codewords, highest degree first.
Bytes referenceRemainder(const Bytes& data, int eccCount) {
    Bytes generator = {1};  // highest degree first
    for (int root = 0; root < eccCount; ++root) {
        Bytes next(generator.size() + 1, 0);
        const std::uint8_t a = gfPower(root);
        for (std::size_t i = 0; i < generator.size(); ++i) {
            next[i] ^= generator[i];
            next[i + 1] ^= gfMultiply(generator[i], a);
        }
        generator = next;
    }
    Bytes work = data;
    work.resize(data.size() + static_cast<std::size_t>(eccCount), 0);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::uint8_t factor = work[i];
        if (factor == 0) continue;
        for (std::size_t j = 0; j < generator.size(); ++j)
            work[i + j] ^= gfMultiply(generator[j], factor);
    }
    return Bytes(work.end() - eccCount, work.end());
}

// Every instruction set level gives the remainder of the long division, for every block size of QR Code
// and Micro QR Code and for other counts of error correction codewords up to the limit of the row tables
// and beyond it, one block at a time and several blocks at once.
TEST(ReedSolomon, EveryLevelGivesTheRemainderOfTheDivision) {
    std::set<std::pair<int, int>> sizes;
    for (int version = 1; version <= 40; ++version) {
        for (int level = L; level <= H; ++level) {
            EccLayout e = QrTables::eccLayout(version, level);
            sizes.emplace(e.group1DataCodewords, e.eccPerBlock);
            if (e.group2Blocks != 0) sizes.emplace(e.group2DataCodewords, e.eccPerBlock);
        }
    }
    for (int version = 1; version <= 4; ++version)
        for (int level = L; level <= Q; ++level)
            if (MicroTables::eccCodewords(version, level) != 0)
                sizes.emplace(MicroTables::dataCodewords(version, level),
                              MicroTables::eccCodewords(version, level));
    for (int ecc : {1, 2, 3, 8, 9, 15, 16, 17, 31, 32, 33, 40, 68})
        sizes.emplace(20, ecc);
    sizes.emplace(1, 1);
    sizes.emplace(254 - 32, 32);
    std::mt19937 random(99);
    for (auto [dataCount, eccCount] : sizes) {
        const int blocks = 1 + static_cast<int>(random() % 5);
        Bytes data = randomBytes(random, dataCount * blocks);
        Bytes expected;
        for (int b = 0; b < blocks; ++b) {
            Bytes block(data.begin() + b * dataCount, data.begin() + (b + 1) * dataCount);
            Bytes ecc = referenceRemainder(block, eccCount);
            expected.insert(expected.end(), ecc.begin(), ecc.end());
        }
        const RsCodec* codec = qrCodec(dataCount, eccCount);
        ASSERT_NE(codec, nullptr) << dataCount << " + " << eccCount;
        for (simd::Level level : qrkit_test::availableLevels()) {
            qrkit_test::ForcedLevel forced(level);
            Bytes ecc(expected.size() + 1, 0xA5);
            codec->encodeBlocks(data.data(), blocks, ecc.data());
            EXPECT_EQ(ecc.back(), 0xA5) << "wrote past the end";
            ecc.pop_back();
            EXPECT_EQ(ecc, expected) << dataCount << " + " << eccCount << " x " << blocks << ", "
                                     << qrkit_test::levelText(level);
            Bytes single(static_cast<std::size_t>(eccCount));
            codec->encode(data.data(), single.data());
            EXPECT_EQ(single, Bytes(expected.begin(), expected.begin() + eccCount))
                << dataCount << " + " << eccCount << ", " << qrkit_test::levelText(level);
        }
    }
}

TEST(ReedSolomon, RowTablesHoldTheGeneratorMultiples) {
    const RsCodec* codec = qrCodec(16, 10);
    ASSERT_NE(codec, nullptr);
    ASSERT_TRUE(codec->hasRows);
    Bytes g = {1};  // the generator of 10 roots, highest degree first, from the test's arithmetic
    for (int root = 0; root < 10; ++root) {
        Bytes next(g.size() + 1, 0);
        for (std::size_t i = 0; i < g.size(); ++i) {
            next[i] ^= g[i];
            next[i + 1] ^= gfMultiply(g[i], gfPower(root));
        }
        g = next;
    }
    for (int x = 0; x < 256; ++x) {
        for (int j = 0; j < RsCodec::kRowRoots; ++j) {
            const std::uint8_t expected = j < 10 ? gfMultiply(static_cast<std::uint8_t>(x), g[1 + j]) : 0;
            ASSERT_EQ(codec->rows[x][j], expected) << "row " << x << " byte " << j;
        }
    }
    EXPECT_FALSE(qrCodec(20, 40)->hasRows) << "more roots than a row holds";
}

TEST(ReedSolomon, InvalidParametersGiveNoCodec) {
    struct Row {
        const char* name;
        int symbolSize, polynomial, firstRoot, primitive, roots, shortening;
    } rows[] = {
        {"symbol size 9", 9, 0x11D, 0, 1, 10, 0},
        {"symbol size 0", 0, 0x11D, 0, 1, 10, 0},
        {"negative first root", 8, 0x11D, -1, 1, 10, 0},
        {"first root 256", 8, 0x11D, 256, 1, 10, 0},
        {"primitive 0", 8, 0x11D, 0, 0, 10, 0},
        {"primitive 256", 8, 0x11D, 0, 256, 10, 0},
        {"negative roots", 8, 0x11D, 0, 1, -1, 0},
        {"roots 256", 8, 0x11D, 0, 1, 256, 0},
        {"negative shortening", 8, 0x11D, 0, 1, 10, -1},
        {"no data left", 8, 0x11D, 0, 1, 10, 245},
        {"irreducible but not primitive", 8, 0x11B, 0, 1, 10, 0},
        {"reducible", 8, 0x100, 0, 1, 10, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(
            codecFor(row.symbolSize, row.polynomial, row.firstRoot, row.primitive, row.roots, row.shortening),
            nullptr)
            << row.name;
}

TEST(ReedSolomon, CacheBuildsEachParameterSetOnce) {
    int before = cachedCodecCount();
    // A parameter set the encoder never asks for, so that it is certainly new here.
    const RsCodec* first = codecFor(8, 0x11D, 1, 1, 3, 200);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cachedCodecCount(), before + 1);
    EXPECT_EQ(codecFor(8, 0x11D, 1, 1, 3, 200), first);
    EXPECT_EQ(cachedCodecCount(), before + 1);
    EXPECT_NE(codecFor(8, 0x11D, 0, 1, 3, 200), first);

    // Version 5-Q has two block sizes, hence two codecs.
    CodewordStream stream(5, Q, Bytes(62, 0x11));
    ASSERT_TRUE(stream.ok());
    int afterStream = cachedCodecCount();
    const RsCodec* group1 = codecFor(8, 0x11D, 0, 1, 18, 222);
    const RsCodec* group2 = codecFor(8, 0x11D, 0, 1, 18, 221);
    EXPECT_EQ(cachedCodecCount(), afterStream);
    ASSERT_NE(group1, nullptr);
    ASSERT_NE(group2, nullptr);
    EXPECT_NE(group1, group2);
}

// 5-Q: blocks of 15, 15, 16, 16 data codewords and 18 error correction codewords each.
TEST(CodewordStream, InterleavesVersion5Q) {
    Bytes data(62);
    for (int i = 0; i < 62; ++i)
        data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    CodewordStream stream(5, Q, data);
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(stream.version(), 5);
    EXPECT_EQ(stream.dataLength(), 62);
    EXPECT_EQ(stream.eccLength(), 72);

    const int blockStart[4] = {0, 15, 30, 46};
    const int blockSize[4] = {15, 15, 16, 16};
    Bytes expected;
    for (int column = 0; column < 15; ++column) {
        for (int b = 0; b < 4; ++b)
            expected.push_back(static_cast<std::uint8_t>(blockStart[b] + column));
    }
    expected.push_back(45);  // the 16th codeword of block 3
    expected.push_back(61);  // and of block 4
    Bytes ecc[4];
    for (int b = 0; b < 4; ++b)
        ecc[b] =
            encodeBlock(Bytes(data.begin() + blockStart[b], data.begin() + blockStart[b] + blockSize[b]), 18);
    for (int column = 0; column < 18; ++column) {
        for (int b = 0; b < 4; ++b)
            expected.push_back(ecc[b][static_cast<std::size_t>(column)]);
    }
    EXPECT_EQ(readAll(stream, 134), expected);
}

// 1-M has one block: its data codewords, then its error correction codewords, then zeros.
TEST(CodewordStream, Version1MThenZeros) {
    CodewordStream stream(1, M, kAnnexIData);
    ASSERT_TRUE(stream.ok());
    Bytes expected = kAnnexIData;
    expected.insert(expected.end(), kAnnexIEcc.begin(), kAnnexIEcc.end());
    EXPECT_EQ(readAll(stream, 26), expected);
    EXPECT_EQ(stream.nextCodeword(), 0);
    EXPECT_EQ(stream.nextCodeword(), 0);
    Bytes all(26);
    stream.interleaved(all.data());  // the fast path does not depend on the read position
    EXPECT_EQ(all[25], 0x55);
}

// The whole-sequence fast path gives the same codewords as reading one by one, for every version and
// level.
TEST(CodewordStream, InterleavedEqualsNextCodewordEverywhere) {
    std::mt19937 random(40);
    for (int version = 1; version <= 40; ++version) {
        for (int level = L; level <= H; ++level) {
            int dataCount = QrTables::dataCodewords(version, level);
            int total = QrTables::totalCodewords(version);
            CodewordStream stream(version, level, randomBytes(random, dataCount));
            ASSERT_TRUE(stream.ok());
            ASSERT_EQ(stream.dataLength() + stream.eccLength(), total);
            Bytes fast(static_cast<std::size_t>(total) + 1, 0xA5);
            stream.interleaved(fast.data());
            EXPECT_EQ(fast.back(), 0xA5) << "wrote past the end, version " << version << " level " << level;
            fast.pop_back();
            ASSERT_EQ(readAll(stream, total), fast) << "version " << version << " level " << level;
        }
    }
}

TEST(CodewordStream, NotOkWithoutMatchingData) {
    struct Row {
        const char* name;
        int version, level, dataCount;
    } rows[] = {
        {"no data", 1, M, 0},          {"one codeword short", 1, M, 15}, {"one codeword over", 1, M, 17},
        {"version 0", 0, M, 16},       {"version 41", 41, M, 16},        {"level 4", 1, 4, 16},
        {"negative level", 1, -1, 16},
    };
    for (const Row& row : rows) {
        CodewordStream stream(row.version, row.level, Bytes(static_cast<std::size_t>(row.dataCount), 0xEC));
        EXPECT_FALSE(stream.ok()) << row.name;
        EXPECT_EQ(stream.nextCodeword(), 0) << row.name;
        EXPECT_EQ(stream.dataLength() + stream.eccLength(), 0) << row.name;
    }
    CodewordStream empty;
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.nextCodeword(), 0);
}

TEST(CodewordStream, MovedStreamKeepsItsCodewords) {
    CodewordStream original(1, M, kAnnexIData);
    CodewordStream moved(std::move(original));
    Bytes expected = kAnnexIData;
    expected.insert(expected.end(), kAnnexIEcc.begin(), kAnnexIEcc.end());
    EXPECT_EQ(readAll(moved, 26), expected);
}

}  // namespace
}  // namespace kelvane2::qrencode
