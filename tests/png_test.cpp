#include "imaging/png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/geometry.h"
#include "imaging_test_support.h"
#include "support/alloc_failure.h"

namespace {

using kelvane2::imaging::PaintStatus;
using kelvane2::imaging::writePng;
using qrkit_test::TextPattern;

struct Chunk {
    std::string type;
    std::string data;
};

std::uint32_t be32(const std::string& bytes, std::size_t at) {
    return (std::uint32_t{static_cast<std::uint8_t>(bytes[at])} << 24) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 1])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 2])} << 8) |
           static_cast<std::uint8_t>(bytes[at + 3]);
}

// Splits a PNG file into its chunks, checking the signature, lengths and CRCs.
std::vector<Chunk> chunksOf(const std::string& png) {
    std::vector<Chunk> chunks;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    for (std::size_t at = 8; at < png.size();) {
        EXPECT_LE(at + 12, png.size());
        if (at + 12 > png.size()) break;
        std::uint32_t length = be32(png, at);
        Chunk chunk{png.substr(at + 4, 4), png.substr(at + 8, length)};
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
        EXPECT_EQ(crc, be32(png, at + 8 + length)) << chunk.type;
        chunks.push_back(chunk);
        at += 12 + length;
    }
    return chunks;
}

std::string pngOf(kelvane2::I2DBitPattern* pattern, std::int32_t mw, std::int32_t mh, std::uint32_t fore,
                  std::uint32_t back) {
    std::ostringstream out;
    EXPECT_EQ(writePng(pattern, out, mw, mh, fore, back), PaintStatus::kOk);
    return out.str();
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values)
        text.push_back(static_cast<char>(v));
    return text;
}

std::string timeBytes(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    int year = utc.tm_year + 1900;
    return bytes({year >> 8, year & 0xFF, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec});
}

// A 2 x 3 symbol at 2 x 3 pixels per module, chunk by chunk.
TEST(PngWriter, ChunksOfASmallImage) {
    TextPattern pattern({"#.#", ".##"});
    std::string before = timeBytes(std::time(nullptr));
    std::string png = pngOf(pattern.get(), 2, 3, 0x336699, 0x808080);
    std::string after = timeBytes(std::time(nullptr));

    std::vector<Chunk> chunks = chunksOf(png);
    std::vector<std::string> types;
    for (const Chunk& chunk : chunks)
        types.push_back(chunk.type);
    ASSERT_EQ(types, (std::vector<std::string>{"IHDR", "PLTE", "tIME", "tEXt", "tEXt", "IDAT", "IEND"}));

    // 6 x 6 pixels, bit depth 8, colour type 3, compression, filter and interlace 0.
    EXPECT_EQ(chunks[0].data, bytes({0, 0, 0, 6, 0, 0, 0, 6, 8, 3, 0, 0, 0}));
    EXPECT_EQ(chunks[1].data, bytes({0x33, 0x66, 0x99, 0x80, 0x80, 0x80}));
    EXPECT_LE(before, chunks[2].data);
    EXPECT_LE(chunks[2].data, after);
    EXPECT_EQ(chunks[3].data, std::string("Title\0Barcode image PNG", 23));
    EXPECT_EQ(chunks[4].data, std::string("Author\0qrkit", 12));
    EXPECT_TRUE(chunks[6].data.empty());

    // zlib header: deflate, level 9 (FLEVEL 3).
    const std::string& idat = chunks[5].data;
    ASSERT_GE(idat.size(), 2u);
    EXPECT_EQ(static_cast<std::uint8_t>(idat[0]) & 0x0F, 8);
    EXPECT_EQ(static_cast<std::uint8_t>(idat[1]) >> 6, 3);
    // Each row: filter type 0, then one palette index per pixel (0 dark, 1 light).
    std::string raw(64, '\0');
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&raw[0]), &rawSize,
                         reinterpret_cast<const Bytef*>(idat.data()), idat.size()),
              Z_OK);
    raw.resize(rawSize);
    std::string top = bytes({0, 0, 0, 1, 1, 0, 0});
    std::string bottom = bytes({0, 1, 1, 0, 0, 0, 0});
    EXPECT_EQ(raw, top + top + top + bottom + bottom + bottom);
}

// Read back by libpng, pixel by pixel.
TEST(PngWriter, ReadsBackPixelByPixel) {
    struct Row {
        const char* name;
        int rows, columns, mw, mh;
        std::uint32_t fore, back;
    };
    const Row table[] = {
        {"21 x 21 at 1 pixel, black on white", 21, 21, 1, 1, 0x000000, 0xFFFFFF},
        {"21 x 21 at 4 pixels: 84 x 84, no quiet zone", 21, 21, 4, 4, 0x000000, 0xFFFFFF},
        {"(51,102,153) is kept exactly", 25, 25, 3, 3, 0x336699, 0xFFFFFF},
        {"blue on grey", 17, 11, 2, 5, 0x0000FF, 0x808080},
        {"top byte of the colours ignored", 9, 9, 2, 2, 0xFF102030, 0x7FF0E0D0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        TextPattern pattern(row.rows, row.columns);
        qrkit_test::fillPseudoRandom(pattern, 17);
        qrkit_test::Picture picture;
        ASSERT_TRUE(qrkit_test::decodePng(pngOf(pattern.get(), row.mw, row.mh, row.fore, row.back), picture));
        ASSERT_EQ(picture.width, row.columns * row.mw);
        ASSERT_EQ(picture.height, row.rows * row.mh);
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                std::uint32_t expected = pattern.dark(y / row.mh, x / row.mw) ? row.fore : row.back;
                ASSERT_EQ(picture.at(x, y), expected & 0xFFFFFF) << "pixel " << x << ", " << y;
            }
        }
    }
}

TEST(PngWriter, FailuresAreReported) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 9);
    struct Row {
        const char* name;
        std::int32_t mw, mh;
        std::uint64_t limit;  // bytes the target accepts
        bool throwing;
        PaintStatus expected;
    };
    const Row table[] = {
        {"target refuses the first byte", 4, 4, 0, false, PaintStatus::kWriteFailed},
        {"target full inside the header", 4, 4, 40, false, PaintStatus::kWriteFailed},
        {"target full inside the image data", 40, 40, 2000, false, PaintStatus::kWriteFailed},
        {"target throws when it fails", 4, 4, 50, true, PaintStatus::kWriteFailed},
        {"module width 0", 0, 4, UINT64_MAX, false, PaintStatus::kWriteFailed},
        {"negative module height", 4, -1, UINT64_MAX, false, PaintStatus::kWriteFailed},
        {"width beyond 2^31 - 1", 0x7FFFFFFF, 1, UINT64_MAX, false, PaintStatus::kWriteFailed},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        qrkit_test::CountingBuf buf(row.limit);
        std::ostream out(&buf);
        if (row.throwing) out.exceptions(std::ios::badbit);
        EXPECT_EQ(writePng(pattern.get(), out, row.mw, row.mh, 0, 0xFFFFFF), row.expected);
        EXPECT_EQ(buf.writesAfterFailure, 0u) << "writing goes on after the target failed";
        if (row.limit == UINT64_MAX) {
            EXPECT_EQ(buf.bytes, 0u);
        }
    }
}

// libpng and zlib allocate through operator new: a refused allocation anywhere in them, the write and
// info structures, the compressor's state and windows, the row buffers, gives kOutOfMemory, never
// kWriteFailed, and frees everything.
TEST(PngWriter, ExhaustedMemoryInsideTheLibraries) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 11);
    const std::int64_t before = qrkit_test::allocationsMade();
    {
        qrkit_test::CountingBuf buf;
        std::ostream out(&buf);
        ASSERT_EQ(writePng(pattern.get(), out, 4, 4, 0, 0xFFFFFF), PaintStatus::kOk);
    }
    const std::int64_t allocations = qrkit_test::allocationsMade() - before;
    // The row, the two structures, zlib's state, window, hash tables and pending buffer, libpng's rows.
    EXPECT_GE(allocations, 8) << "libpng and zlib allocate through operator new";
    for (std::int64_t n = 0; n < allocations; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations));
        qrkit_test::CountingBuf buf;
        std::ostream out(&buf);
        const std::int64_t live = qrkit_test::liveAllocations();
        qrkit_test::failAllocationAfter(n);
        const PaintStatus status = writePng(pattern.get(), out, 4, 4, 0, 0xFFFFFF);
        const bool failed = qrkit_test::allocationFailureHappened();
        qrkit_test::disarmAllocationFailure();
        EXPECT_TRUE(failed);
        EXPECT_EQ(status, PaintStatus::kOutOfMemory);
        EXPECT_EQ(qrkit_test::liveAllocations(), live);
    }
}

}  // namespace
