#include "imaging/bmp.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/geometry.h"
#include "imaging_test_support.h"

namespace {

using kelvane2::imaging::nearestPaletteIndex;
using kelvane2::imaging::PaintStatus;
using kelvane2::imaging::standardPalette;
using kelvane2::imaging::writeBmp;
using qrkit_test::TextPattern;

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 1])} << 8) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 2])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 3])} << 24);
}

std::string bmpOf(kelvane2::I2DBitPattern* pattern, std::int32_t mw, std::int32_t mh, std::uint32_t fore,
                  std::uint32_t back) {
    std::ostringstream out;
    EXPECT_EQ(writeBmp(pattern, out, mw, mh, fore, back), PaintStatus::kOk);
    return out.str();
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values)
        text.push_back(static_cast<char>(v));
    return text;
}

TEST(BmpPalette, Entries) {
    struct Row {
        int index, red, green, blue;
    };
    const Row table[] = {
        {0, 0, 0, 0},         {1, 128, 0, 0},       {2, 0, 128, 0},       {4, 0, 0, 128},
        {6, 0, 128, 128},     {7, 192, 192, 192},   {8, 192, 220, 192},   {9, 166, 202, 240},
        {10, 64, 32, 0},      {154, 64, 96, 128},   {164, 128, 128, 128}, {245, 160, 192, 192},
        {246, 255, 251, 240}, {247, 160, 160, 164}, {248, 128, 128, 128}, {249, 255, 0, 0},
        {250, 0, 255, 0},     {251, 255, 255, 0},   {252, 0, 0, 255},     {253, 255, 0, 255},
        {254, 0, 255, 255},   {255, 255, 255, 255},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.index);
        const auto& entry = standardPalette[static_cast<std::size_t>(row.index)];
        EXPECT_EQ(entry.red, row.red);
        EXPECT_EQ(entry.green, row.green);
        EXPECT_EQ(entry.blue, row.blue);
        EXPECT_EQ(entry.reserved, 0);
    }
}

TEST(BmpPalette, NearestIndex) {
    struct Row {
        const char* name;
        int red, green, blue, index;
    };
    const Row table[] = {
        {"black", 0, 0, 0, 0},
        {"white", 255, 255, 255, 255},
        {"grey 128: first exact match, not 248", 128, 128, 128, 164},
        {"(51,102,153) to (64,96,128)", 51, 102, 153, 154},
        {"blue", 0, 0, 255, 252},
        {"red", 255, 0, 0, 249},
        {"near black", 10, 10, 10, 0},
        {"silver", 192, 192, 192, 7},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(nearestPaletteIndex(row.red, row.green, row.blue), row.index);
    }
}

// A 2 x 3 symbol at one pixel per module: every byte of the file.
TEST(BmpWriter, SmallFileByteForByte) {
    TextPattern pattern({"#.#", ".##"});
    std::string bmp = bmpOf(pattern.get(), 1, 1, 0x000000, 0xFFFFFF);
    // W 3, H 2, P 4, S 8, file size 1086.
    const std::string headers = bytes({
        'B', 'M', 0x3E, 0x04, 0, 0, 0, 0, 0,    0,    0x36, 0x04, 0,    0,  // file header
        40,  0,   0,    0,    3, 0, 0, 0, 2,    0,    0,    0,    1,    0,
        8,   0,  // size, width, height, planes, depth
        0,   0,   0,    0,    8, 0, 0, 0, 0xC4, 0x0E, 0,    0,    0xC4, 0x0E,
        0,   0,                            // compression, size, resolution
        0,   0,   0,    0,    0, 0, 0, 0,  // colours used, important
    });
    ASSERT_EQ(bmp.size(), 1086u);
    EXPECT_EQ(bmp.substr(0, 54), headers);
    for (int n = 0; n < 256; ++n) {
        const auto& entry = standardPalette[static_cast<std::size_t>(n)];
        ASSERT_EQ(bmp.substr(54 + 4 * n, 4), bytes({entry.blue, entry.green, entry.red, 0})) << n;
    }
    // Bottom row first, each padded to 4 bytes.
    EXPECT_EQ(bmp.substr(1078), bytes({255, 0, 0, 0, 0, 255, 0, 0}));
}

TEST(BmpWriter, LayoutOfLargerImages) {
    struct Row {
        const char* name;
        int rows, columns, mw, mh;
        std::uint32_t fore, back;
        std::set<int> indices;  // palette indices in the pixel data, padding excluded
    };
    const Row table[] = {
        {"21 x 21 at 1 pixel: P 24, S 504", 21, 21, 1, 1, 0x000000, 0xFFFFFF, {0, 255}},
        {"width a multiple of 4: no padding", 5, 8, 1, 2, 0x000000, 0xFFFFFF, {0, 255}},
        {"blue on red", 7, 7, 3, 2, 0x0000FF, 0xFF0000, {252, 249}},
        {"(51,102,153) on grey 128", 9, 6, 2, 3, 0x336699, 0x808080, {154, 164}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        TextPattern pattern(row.rows, row.columns);
        qrkit_test::fillPseudoRandom(pattern, 31);
        std::string bmp = bmpOf(pattern.get(), row.mw, row.mh, row.fore, row.back);
        const std::uint32_t width = static_cast<std::uint32_t>(row.columns * row.mw);
        const std::uint32_t height = static_cast<std::uint32_t>(row.rows * row.mh);
        const std::uint32_t stride = (width + 3) / 4 * 4;
        ASSERT_EQ(bmp.size(), 1078 + stride * height);
        EXPECT_EQ(le32(bmp, 2), bmp.size());
        EXPECT_EQ(le32(bmp, 18), width);
        EXPECT_EQ(le32(bmp, 22), height);
        EXPECT_EQ(le32(bmp, 34), stride * height);

        std::set<int> seen;
        for (std::uint32_t stored = 0; stored < height; ++stored) {
            const std::uint32_t y = height - 1 - stored;  // stored bottom-up
            const std::size_t at = 1078 + static_cast<std::size_t>(stored) * stride;
            for (std::uint32_t x = 0; x < width; ++x) {
                int index = static_cast<std::uint8_t>(bmp[at + x]);
                seen.insert(index);
                bool dark = pattern.dark(static_cast<int>(y) / row.mh, static_cast<int>(x) / row.mw);
                std::uint32_t colour = (dark ? row.fore : row.back) & 0xFFFFFF;
                ASSERT_EQ(index, nearestPaletteIndex(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF))
                    << "pixel " << x << ", " << y;
            }
            for (std::uint32_t x = width; x < stride; ++x)
                ASSERT_EQ(bmp[at + x], '\0') << "padding";
        }
        EXPECT_EQ(seen, row.indices);
    }
}

// Counts the module reads, to see how much of the matrix was read when the first pixel row went out.
class CountingPattern : public kelvane2::I2DBitPattern {
  public:
    CountingPattern(int width, const qrkit_test::CountingBuf& buf) : width_(width), buf_(buf) {}
    std::int32_t QueryInterface(const kelvane2::InterfaceId&, void**) override {
        return kelvane2::kNoInterface;
    }
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }
    int getRows() override { return width_; }
    int getColumns() override { return width_; }
    int getModule(int row, int column) override {
        if (buf_.bytes <= 1078) ++readsBeforePixels;
        return (row * 7 + column * 3) % 5 < 2;
    }
    long readsBeforePixels = 0;

  private:
    int width_;
    const qrkit_test::CountingBuf& buf_;
};

// A version 40 symbol at 40 pixels per module, 7080 x 7080 pixels, goes out row by row.
TEST(BmpWriter, LargeImageIsStreamed) {
    qrkit_test::CountingBuf buf;
    std::ostream out(&buf);
    CountingPattern pattern(177, buf);
    ASSERT_EQ(writeBmp(&pattern, out, 40, 40, 0, 0xFFFFFF), PaintStatus::kOk);
    EXPECT_EQ(buf.bytes, 1078u + 7080u * 7080u);
    EXPECT_LE(pattern.readsBeforePixels, 177) << "more than one module row read before the first pixel row";
    EXPECT_LE(buf.largestWrite, 7080u);
}

TEST(BmpWriter, FailuresAreReported) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 13);
    struct Row {
        const char* name;
        std::int32_t mw, mh;
        std::uint64_t limit;
        bool throwing;
        bool warns;
    };
    const Row table[] = {
        {"target refuses the first byte", 4, 4, 0, false, false},
        {"target full inside the pixels", 4, 4, 3000, false, false},
        {"target throws when it fails", 4, 4, 2000, true, false},
        {"module width 0", 0, 4, UINT64_MAX, false, true},
        {"negative module height", 4, -3, UINT64_MAX, false, true},
        {"file size beyond 32 bits", 20000, 20000, UINT64_MAX, false, true},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        qrkit_test::CountingBuf buf(row.limit);
        std::ostream out(&buf);
        if (row.throwing) out.exceptions(std::ios::badbit);
        testing::internal::CaptureStdout();
        EXPECT_EQ(writeBmp(pattern.get(), out, row.mw, row.mh, 0, 0xFFFFFF), PaintStatus::kWriteFailed);
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(buf.writesAfterFailure, 0u) << "writing goes on after the target failed";
        if (row.warns) {
            EXPECT_NE(printed.find("warning"), std::string::npos);
            EXPECT_EQ(buf.bytes, 0u);
        } else {
            EXPECT_EQ(printed, "");
        }
    }
}

}  // namespace
