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
#include "encoder/objectmodel.h"
#include "fontstring/fontstring.h"
#include "imaging/bmp.h"
#include "imaging/geometry.h"
#include "imaging/metafile.h"
#include "imaging/png.h"
#include "paint_test_support.h"
#include "platform/metafile.h"
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
