#include "imaging/geometry.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>

#include "imaging_test_support.h"

namespace {

using namespace kelvane2::imaging;
using qrkit_test::TextPattern;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(SnapModuleSize, WorkedValues) {
    struct Row {
        std::int32_t size, resolution, expected;
    };
    const Row table[] = {
        {25, 300, 25},  // 3 dots
        {25, 600, 25},  // 6 dots
        {25, 96, 26},   // 1 dot
        {33, 300, 33},  // 4 dots
        {10, 300, 8},   // 1 dot
        {0, 300, 8},    // never below one dot
        {-50, 300, 8},
        {std::numeric_limits<std::int32_t>::min(), 300, 8},
        {100, 72, 105},            // 3 dots
        {25, 2540, 25},            // one dot is 0.01 mm
        {0, 5080, 0},              // one dot is less than 0.01 mm
        {1, 5080, 1},              // two dots
        {1000000, 4800, 1000000},  // the product exceeds 32 bits
        {kMax, 1, 2147483640},     // 845466 dots of 2540
        {kMax, kMax, 2147483647},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(std::to_string(row.size) + " at " + std::to_string(row.resolution) + " dpi");
        EXPECT_EQ(snapModuleSize(row.size, row.resolution), row.expected);
    }
}

TEST(SnapModuleSize, SnappedSizeIsStableBelow1270Dpi) {
    for (std::int32_t resolution : {72, 96, 150, 300, 600, 1200, 1269}) {
        for (std::int32_t size = 1; size <= 500; ++size) {
            std::int32_t once = snapModuleSize(size, resolution);
            ASSERT_EQ(snapModuleSize(once, resolution), once) << size << " at " << resolution;
        }
    }
}

TEST(SnapModuleSize, ResolutionBelowOneIsDefined) {
    // Meaningless, but no undefined conversion: the quotient saturates.
    EXPECT_EQ(snapModuleSize(25, 0), kMax);
    EXPECT_LT(snapModuleSize(25, -300), 0);
}

TEST(ColourWords, MaskAndColourRef) {
    struct Row {
        std::uint32_t value, word, ref;
    };
    const Row table[] = {
        {0x00000000, 0x000000, 0x000000}, {0x00FFFFFF, 0xFFFFFF, 0xFFFFFF},
        {0x000000FF, 0x0000FF, 0xFF0000},                                    // blue
        {0x00336699, 0x336699, 0x996633}, {0xFF336699, 0x336699, 0x996633},  // the top byte is dropped
        {0x80000000, 0x000000, 0x000000},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(colourWord(row.value), row.word);
        EXPECT_EQ(colourRef(colourWord(row.value)), row.ref);
    }
}

TEST(PaintOptions, RasterValidation) {
    struct Row {
        const char* name;
        std::int32_t mw, mh;
        int rows, columns, format;
        bool valid;
    };
    const Row table[] = {
        {"PNG", 4, 4, 21, 21, kFormatPng, true},
        {"BMP", 4, 4, 21, 21, kFormatBmp, true},
        {"SVG is not raster", 4, 4, 21, 21, kFormatSvg, false},
        {"EMF is not raster", 4, 4, 21, 21, kFormatEmf, false},
        {"EPS is not raster", 4, 4, 21, 21, kFormatEps, false},
        {"unknown format 5", 4, 4, 21, 21, 5, false},
        {"unknown format -1", 4, 4, 21, 21, -1, false},
        {"module width 0", 0, 4, 21, 21, kFormatPng, false},
        {"module height -1", 4, -1, 21, 21, kFormatBmp, false},
        {"no rows", 4, 4, 0, 21, kFormatPng, false},
        {"PNG width 2^31 - 1: beyond 65,535 pixels", 0x7FFFFFFF, 1, 1, 1, kFormatPng, false},
        {"PNG width beyond 32 bits", 0x7FFFFFFF, 1, 1, 2, kFormatPng, false},
        {"PNG height beyond 32 bits", 1, 0x40000000, 2, 1, kFormatPng, false},
        {"BMP of 7080 x 7080", 40, 40, 177, 177, kFormatBmp, true},
        {"BMP of 65535 x 65535: file size fits", 65535, 65535, 1, 1, kFormatBmp, true},
        {"BMP of 65536 x 65536: file size beyond 32 bits", 65536, 65536, 1, 1, kFormatBmp, false},
        {"PNG of 65536 x 65536: beyond 65,535 pixels", 65536, 65536, 1, 1, kFormatPng, false},
        // The size limit: 65,535 pixels a side for both formats.
        {"PNG of 65535 x 1", 65535, 1, 1, 1, kFormatPng, true},
        {"PNG of 65536 x 1", 65536, 1, 1, 1, kFormatPng, false},
        {"BMP of 1 x 65536", 1, 65536, 1, 1, kFormatBmp, false},
        {"21 modules of 3120 pixels: 65520", 3120, 3120, 21, 21, kFormatPng, true},
        {"21 modules of 3121 pixels: 65541", 3121, 3121, 21, 21, kFormatBmp, false},
        {"65535 columns of 1 pixel", 1, 1, 1, 65535, kFormatBmp, true},
        {"65536 rows of 1 pixel", 1, 1, 65536, 1, kFormatPng, false},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        RasterPaintOptions options{row.mw, row.mh, 0, 0xFFFFFF};
        EXPECT_EQ(rasterOptionsValid(options, row.rows, row.columns, row.format), row.valid);
    }
}

TEST(PaintOptions, VectorValidation) {
    struct Row {
        const char* name;
        std::int32_t size, resolution;
        int rows, columns, format;
        bool valid;
    };
    const Row table[] = {
        {"SVG", 25, 300, 21, 21, kFormatSvg, true},
        {"EMF", 25, 300, 21, 21, kFormatEmf, true},
        {"EPS", 25, 300, 21, 21, kFormatEps, true},
        {"PNG is not vector", 25, 300, 21, 21, kFormatPng, false},
        {"BMP is not vector", 25, 300, 21, 21, kFormatBmp, false},
        {"unknown format 7", 25, 300, 21, 21, 7, false},
        {"module size 0", 0, 300, 21, 21, kFormatSvg, false},
        {"negative module size", -25, 300, 21, 21, kFormatEps, false},
        {"resolution 0", 25, 0, 21, 21, kFormatSvg, false},
        {"negative resolution", 25, -300, 21, 21, kFormatEmf, false},
        {"no columns", 25, 300, 21, 0, kFormatSvg, false},
        {"above 2540 dpi a module may snap to 0", 1, 3000, 21, 21, kFormatSvg, true},
        {"extent 177 x 12132000: beyond 10 m", 12132000, 2540, 177, 177, kFormatEmf, false},
        {"extent 177 x 12133000 exceeds 32 bits", 12133000, 2540, 177, 177, kFormatEmf, false},
        // The size limit: 10 m (1,000,000 hundredths of a millimetre) a side; 25 snaps to 25 at 300 dpi.
        {"a page exactly 10 m wide", 25, 300, 1, 40000, kFormatSvg, true},
        {"a page 10 m and 0.25 mm wide", 25, 300, 1, 40001, kFormatSvg, false},
        {"a page 10 m and 0.25 mm high", 25, 300, 40001, 1, kFormatEps, false},
        {"a metafile exactly 10 m high", 25, 300, 40000, 1, kFormatEmf, true},
        {"177 modules of 5650 at 2540 dpi: 10.0005 m", 5650, 2540, 177, 177, kFormatEmf, false},
        {"177 modules of 5649 at 2540 dpi: 9.9987 m", 5649, 2540, 177, 177, kFormatEmf, true},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        VectorPaintOptions options{row.size, row.size, row.resolution, 0, 0xFFFFFF};
        EXPECT_EQ(vectorOptionsValid(options, row.rows, row.columns, row.format), row.valid);
    }
}

TEST(PaintDispatch, FormatsAnEntryPointDoesNotTakeWriteNothing) {
    TextPattern pattern(21, 21);
    for (int format : {1, 2, 3, 5, -1}) {
        SCOPED_TRACE(format);
        std::ostringstream out;
        EXPECT_EQ(paintRaster(RasterPaintOptions{4, 4, 0, 0xFFFFFF}, pattern.get(), format, out),
                  PaintStatus::kOk);
        EXPECT_TRUE(out.str().empty());
    }
    for (int format : {0, 4, 5, -1}) {
        SCOPED_TRACE(format);
        std::ostringstream out;
        EXPECT_EQ(paintVector(VectorPaintOptions{25, 25, 300, 0, 0xFFFFFF}, pattern.get(), format, out),
                  PaintStatus::kOk);
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(PaintDispatch, EachFormatReachesItsWriter) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 1);
    struct Row {
        int format;
        bool raster;
        std::string start;
    };
    const Row table[] = {
        {kFormatPng, true, "\x89PNG"},
        {kFormatBmp, true, "BM"},
        {kFormatSvg, false, "<?xml"},
        {kFormatEps, false, "%!PS-Adobe-3.0 EPSF-3.0\n"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.format);
        std::ostringstream out;
        PaintStatus status =
            row.raster
                ? paintRaster(RasterPaintOptions{2, 2, 0, 0xFFFFFF}, pattern.get(), row.format, out)
                : paintVector(VectorPaintOptions{25, 25, 300, 0, 0xFFFFFF}, pattern.get(), row.format, out);
        EXPECT_EQ(status, PaintStatus::kOk);
        EXPECT_EQ(out.str().substr(0, row.start.size()), row.start);
    }
}

// A colour word with bits 24-31 set paints exactly as the same word with them clear.
TEST(PaintDispatch, TopByteOfColoursIsIgnored) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 2);
    for (int format : {1, 3}) {
        SCOPED_TRACE(format);
        std::ostringstream clear, set;
        paintVector(VectorPaintOptions{25, 25, 300, 0x123456, 0xABCDEF}, pattern.get(), format, clear);
        paintVector(VectorPaintOptions{25, 25, 300, 0xFF123456, 0x01ABCDEF}, pattern.get(), format, set);
        EXPECT_EQ(clear.str(), set.str());
    }
    std::ostringstream clear, set;
    paintRaster(RasterPaintOptions{2, 2, 0x123456, 0xABCDEF}, pattern.get(), kFormatBmp, clear);
    paintRaster(RasterPaintOptions{2, 2, 0xFF123456, 0x01ABCDEF}, pattern.get(), kFormatBmp, set);
    EXPECT_EQ(clear.str(), set.str());
}

TEST(PaintDispatch, WriterFailureIsPassedOn) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 4);
    for (int format : {0, 4}) {
        qrkit_test::CountingBuf buf(100);
        std::ostream out(&buf);
        EXPECT_EQ(paintRaster(RasterPaintOptions{4, 4, 0, 0xFFFFFF}, pattern.get(), format, out),
                  PaintStatus::kWriteFailed);
    }
    for (int format : {1, 3}) {
        qrkit_test::CountingBuf buf(100);
        std::ostream out(&buf);
        EXPECT_EQ(paintVector(VectorPaintOptions{25, 25, 300, 0, 0xFFFFFF}, pattern.get(), format, out),
                  PaintStatus::kWriteFailed);
    }
}

}  // namespace
