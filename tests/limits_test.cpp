// Sizes at the limits of the arithmetic, which must come out the same in a 32-bit build (std::size_t,
// long and std::streamsize 32 bits wide) as in a 64-bit one: the extents of the largest rasters, module
// snapping at the extremes, the longest font strings and separators, the records of large metafiles and
// the batch's record counts. Sizes that would fit 64 bits but not 32 get the documented result, never a
// wrapped-around small allocation. Each expected value was worked by hand (or in double precision, for
// the snapping) from the formulas the comments give; scripts/test-32bit.sh runs this file at 32 bits.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/progress.h"
#include "fontstring/fontstring.h"
#include "imaging/bmp.h"
#include "imaging/geometry.h"
#include "imaging/metafile.h"
#include "imaging/png.h"
#include "paint_test_support.h"
#include "platform/metafile.h"
#include "qrkit/objectmodel.h"
#include "qrkit/qrkit.h"

namespace {

namespace imaging = kelvane2::imaging;
namespace platform = kelvane2::platform;

constexpr std::int32_t kMax = INT32_MAX;

// A pattern of any size whose modules are computed, not stored, and which counts the modules read.
class ComputedPattern final : public kelvane2::I2DBitPattern {
  public:
    ComputedPattern(int rows, int columns, bool allDark)
        : rows_(rows), columns_(columns), allDark_(allDark) {}

    std::int32_t QueryInterface(const kelvane2::InterfaceId& id, void** out) override {
        if (out == nullptr) return kelvane2::kInvalidPointer;
        if (id != kelvane2::IID_I2DBitPattern && id != kelvane2::IID_IObjectBase)
            return kelvane2::kNoInterface;
        *out = static_cast<kelvane2::I2DBitPattern*>(this);
        ++references_;
        return kelvane2::kStatusOk;
    }
    std::uint32_t AddRef() override { return ++references_; }
    std::uint32_t Release() override { return --references_; }
    int getRows() override { return rows_; }
    int getColumns() override { return columns_; }
    int getModule(int row, int column) override {
        ++reads;
        return allDark_ || (row + column) % 2 == 0 ? 1 : 0;
    }

    long long reads = 0;
    std::uint32_t references() const { return references_; }

  private:
    int rows_;
    int columns_;
    bool allDark_;
    std::uint32_t references_ = 0;
};

// ---- Raster extents -----------------------------------------------------------------------------------

TEST(Limits, RasterExtentsAtTheFormatsFields) {
    struct Row {
        const char* name;
        std::int64_t width, height;
        bool png, bmp;
    };
    const Row table[] = {
        // PNG: both sides at most 2^31 - 1.
        {"PNG at 2^31 - 1 pixels wide", kMax, 1, true, true},
        {"PNG one pixel wider", std::int64_t{kMax} + 1, 1, false, false},
        {"2^31 - 1 pixels high: a PNG, but BMP rows of 4 bytes make 8 GB", 1, kMax, true, false},
        // BMP: height x (width rounded up to 4) + 1078 header and palette bytes within 32 bits.
        {"BMP 65536 x 65535: 4,294,901,760 pixel bytes", 65536, 65535, true, true},
        {"BMP 65536 x 65536: 2^32 pixel bytes", 65536, 65536, true, false},
        {"BMP 2^31 - 1 wide, rows of 2^31 bytes, one row", kMax, 1, true, true},
        {"BMP 2^31 - 1 wide, two rows: 2^32 bytes", kMax, 2, true, false},
        {"no pixels", 0, 5, false, false},
    };
    for (const Row& row : table) {
        EXPECT_EQ(imaging::pngExtentsFit(row.width, row.height), row.png) << row.name;
        EXPECT_EQ(imaging::bmpExtentsFit(row.width, row.height), row.bmp) << row.name;
    }
    EXPECT_EQ(imaging::bmpRowStride(kMax), 2147483648u) << "the stride of the widest row, without a wrap";
}

TEST(Limits, RasterModuleSizesOfTheLargestSymbol) {
    // Version 40 is 177 modules a side. 177 x (2^31 - 1) = 380,104,605,519 wraps in 32 bits to
    // 2,147,483,471, which would pass for a PNG width: the extents are taken in 64 bits.
    struct Row {
        const char* name;
        std::int32_t moduleSize;
    };
    const Row table[] = {
        {"177 x 12,132,763 = 2,147,499,051 pixels", 12132763},
        {"177 x 24,265,131 = 4,294,928,187 pixels, below 2^32", 24265131},
        {"177 x (2^31 - 1), 2,147,483,471 after a 32-bit wrap", kMax},
    };
    for (const Row& row : table) {
        for (int format : {imaging::kFormatPng, imaging::kFormatBmp}) {
            const imaging::RasterPaintOptions options{row.moduleSize, row.moduleSize, 0, 0xFFFFFF};
            EXPECT_FALSE(imaging::rasterOptionsValid(options, 177, 177, format))
                << row.name << ", format " << format;
        }
    }

    // Through the exports: result 8, and no file is created.
    QRCODE_RESULT symbol = QRCodeEncode2("v40", 40, 0);
    ASSERT_NE(symbol, nullptr);
    ASSERT_EQ(QRCodeResultGetVersion(symbol), 40);
    painttest::ScratchDir dir("limits-raster");
    for (const Row& row : table) {
        for (int format : {imaging::kFormatPng, imaging::kFormatBmp}) {
            const std::string path = dir.file("big.img");
            EXPECT_EQ(PaintQRCodeImageRaster(symbol, path.c_str(), row.moduleSize, 0, 0xFFFFFF, format), 8)
                << row.name;
            EXPECT_FALSE(std::filesystem::exists(path)) << row.name;
            painttest::TestStream stream;
            EXPECT_EQ(PaintQRCodeImageRaster2(symbol, &stream, row.moduleSize, 0, 0xFFFFFF, format), 8)
                << row.name;
            EXPECT_EQ(stream.writeCalls, 0) << row.name;
        }
    }
    DestroyQRCodeEncodeResult(symbol);
}

// ---- Vector module snapping ---------------------------------------------------------------------------

TEST(Limits, SnappingAtTheExtremes) {
    // dots = floor(size x resolution / 2540 + 0.5), the product in 64 bits, at least 1; then
    // dots x 2.54 x 1000 / resolution, truncated, saturated to the 32-bit range. Worked in double precision.
    struct Row {
        const char* name;
        std::int32_t size, resolution, snapped;
    };
    const Row table[] = {
        {"largest size at the largest resolution: 1,815,624,415,012,764 dots, saturated", kMax, kMax, kMax},
        {"largest size at 1 dpi: 845,466 dots of 2540", kMax, 1, 2147483640},
        {"largest size at 300 dpi: 253,639,801 dots, 2,147,483,648.47, saturated", kMax, 300, kMax},
        {"smallest size at 300 dpi: one dot", INT32_MIN, 300, 8},
        {"one hundredth at the largest resolution: one dot is 0", 1, kMax, 0},
        {"25 at 2540 dpi: 25 dots of one hundredth", 25, 2540, 25},
        {"25 at 2541 dpi: 25 dots, 24.99", 25, 2541, 24},
    };
    for (const Row& row : table)
        EXPECT_EQ(imaging::snapModuleSize(row.size, row.resolution), row.snapped) << row.name;

    // Extents of the largest symbol that do not fit 32 bits: 177 x (2^31 - 1), 177 x 2,147,483,640.
    for (const Row& row : {table[0], table[1], table[2]}) {
        const imaging::VectorPaintOptions options{row.size, row.size, row.resolution, 0, 0xFFFFFF};
        for (int format : {imaging::kFormatSvg, imaging::kFormatEmf, imaging::kFormatEps})
            EXPECT_FALSE(imaging::vectorOptionsValid(options, 177, 177, format)) << row.name;
    }
    QRCODE_RESULT symbol = QRCodeEncode2("v40", 40, 0);
    ASSERT_NE(symbol, nullptr);
    painttest::ScratchDir dir("limits-vector");
    const std::string path = dir.file("big.svg");
    EXPECT_EQ(PaintQRCodeImageVector(symbol, path.c_str(), kMax, kMax, 0, 0xFFFFFF, imaging::kFormatSvg), 8);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(PaintQRCodeImageEMF(symbol, kMax, 1, 0, 0xFFFFFF, 0), nullptr);
    EXPECT_EQ(PaintQRCodeImageClipboard(symbol, kMax, 300, 0, 0xFFFFFF), 8);
    DestroyQRCodeEncodeResult(symbol);
}

// ---- Font strings -------------------------------------------------------------------------------------

TEST(Limits, LongestFontStringsAndSeparators) {
    // Size with the NUL: lines x columns + (lines - 1) x separator + 1, lines = rows / 4 rounded up; above
    // 2^31 - 1 the text cannot be asked for (12). A null buffer reads no module, so no matrix is needed.
    struct Row {
        const char* name;
        int rows, columns;
        std::size_t separator;
        int result, size;
    };
    const Row table[] = {
        {"16,384 lines of 131,071: 2,147,467,265", 65536, 131071, 0, 0, 2147467265},
        {"16,384 lines of 131,072: 2^31 + 1", 65536, 131072, 0, 12, -1},
        {"16,384 lines of 131,070 and a 2-byte separator: exactly 2^31 - 1", 65536, 131070, 2, 0, kMax},
        {"the same with a 3-byte separator: 2,147,500,030", 65536, 131070, 3, 12, -1},
        {"the largest matrix: 2^29 lines of 2^31 - 1", kMax, kMax, 0, 12, -1},
        {"version 40 with a separator of 48,806,265 bytes: 2,147,483,626", 177, 177, 48806265, 0, 2147483626},
        {"version 40 with a separator of 48,806,266 bytes: 2,147,483,670", 177, 177, 48806266, 12, -1},
    };
    for (const Row& row : table) {
        const std::string separator(row.separator, '\n');
        int size = -1;
        EXPECT_EQ(
            kelvane2::composeFontString(nullptr, row.rows, row.columns, nullptr, &size, separator.c_str()),
            row.result)
            << row.name;
        EXPECT_EQ(size, row.size) << row.name;
    }
}

TEST(Limits, FontStringOfAPatternLargerThanAnAddressSpace) {
    // 65,536 x 65,537 modules: a copy of one byte a module (2^32 + 65,536 bytes) wraps to 65,536 bytes in
    // 32 bits. The text (16,384 lines of 65,537, 1,073,758,209 bytes) is composed from the pattern itself:
    // asking its size, or offering a buffer too small, reads no module.
    ComputedPattern pattern(65536, 65537, false);
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(static_cast<kelvane2::I2DBitPattern*>(&pattern));
    int size = 0;
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, nullptr, &size, nullptr), 0);
    EXPECT_EQ(size, 1073758209);
    char small[16];
    size = sizeof small;
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, small, &size, "\r\n"), 12);
    EXPECT_EQ(size, static_cast<int>(sizeof small)) << "size unchanged";
    EXPECT_EQ(pattern.reads, 0);
    EXPECT_EQ(QRCodeResultGetBarcodeString2(handle, nullptr), nullptr) << "not a result: no owned string";
    EXPECT_EQ(pattern.references(), 0u) << "every view released";

    // A pattern that is not our result is read module by module, one read each.
    ComputedPattern checker(6, 3, false);
    char text[16];
    size = sizeof text;
    ASSERT_EQ(QRCodeResultGetBarcodeString(
                  reinterpret_cast<QRCODE_RESULT>(static_cast<kelvane2::I2DBitPattern*>(&checker)), text,
                  &size, "/"),
              0);
    // Rows 0-3 of columns 0, 1, 2: 1010 0101 1010; rows 4-5: 10 01 10.
    EXPECT_EQ(std::string(text), "A5A/848");
    EXPECT_EQ(checker.reads, 18);
}

// ---- Metafile records ---------------------------------------------------------------------------------

TEST(Limits, MetafileRecordSizesAndCounts) {
    // One dot a module (1 at 2540 dpi). Bytes: header 108 + description 44, map mode 12, background
    // (brush 24, select 12, fill 100, select 12, delete 12), fore brush 24, 124 a dark module (select,
    // fill, select), delete 12, end 20. Records: 8 + 3 a dark module, the header counted.
    struct Row {
        const char* name;
        int side;
        std::uint32_t bytes, records;
    };
    const Row table[] = {
        {"version 40, every module dark: 31,329 modules", 177, 3885176, 93997},
        {"600 x 600, every module dark: 360,000 modules", 600, 44640380, 1080010},
    };
    for (const Row& row : table) {
        ComputedPattern pattern(row.side, row.side, true);
        platform::HENHMETAFILE metafile =
            imaging::createSymbolMetafile({1, 1, 2540, 0x000000, 0xFFFFFF}, &pattern);
        ASSERT_NE(metafile, nullptr) << row.name;
        const platform::UINT size = platform::GetEnhMetaFileBits(metafile, 0, nullptr);
        EXPECT_EQ(size, row.bytes) << row.name;
        std::vector<std::uint8_t> bytes(size);
        ASSERT_EQ(platform::GetEnhMetaFileBits(metafile, size, bytes.data()), size);
        EXPECT_EQ(painttest::u32At(bytes, 48), row.bytes) << row.name << ": the header's byte count";
        EXPECT_EQ(painttest::u32At(bytes, 52), row.records) << row.name << ": the header's record count";
        EXPECT_EQ(painttest::emfRecords(bytes).size(), row.records) << row.name;
        EXPECT_EQ(painttest::u32At(bytes, 32), static_cast<std::uint32_t>(row.side)) << "frame right";
        platform::DeleteEnhMetaFile(metafile);
    }
}

// ---- Batch record counts ------------------------------------------------------------------------------

TEST(Limits, BatchProgressOfLargeRecordCounts) {
    // 100 x 50,000,000 = 5 x 10^9 wraps in 32 bits (to 705,032,704, which would show 11 per cent).
    struct Row {
        const char* name;
        std::uint64_t done, total;
        int whole, parts;
    };
    const Row table[] = {
        {"50 of 60 million, per cent", 50000000, 60000000, 100, 83},
        {"50 of 60 million, 40 cells", 50000000, 60000000, 40, 33},
        {"the last record of 2^32 - 1", 0xFFFFFFFEull, 0xFFFFFFFFull, 100, 99},
        {"all of 2^32 - 1", 0xFFFFFFFFull, 0xFFFFFFFFull, 100, 100},
        {"none", 0, 7, 40, 0},
        {"an empty batch", 0, 0, 40, 40},
    };
    for (const Row& row : table)
        EXPECT_EQ(qrkit_cli::progressParts(row.done, row.total, row.whole), row.parts) << row.name;
}

}  // namespace
