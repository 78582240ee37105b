// Inputs the fuzz targets found faults with (their files are in fuzz/corpus/*/regress-*), each with the
// result it has now.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "fontstring/fontstring.h"
#include "qrkit/qrkit.h"

namespace {

TEST(FuzzRegression, KanjiSecondByteBelow40) {
    // A Kanji pair 8E 23 was taken and written as 8E63: the symbol read back as other data.
    const std::string data =
        "\x19\x19"
        "3C\xCF~4[\x8E#";
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
    EXPECT_EQ(MicroQRCodeEncode(data.c_str(), 3, 0, &handle), static_cast<int32_t>(0x80520050u));
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(QRCodeEncode(data.c_str(), 0, 0, &handle), static_cast<int32_t>(0x80520050u));
    EXPECT_EQ(handle, nullptr);
}

TEST(FuzzRegression, FontStringOfIntMaxRows) {
    // The band count of INT_MAX rows overflowed int. No module is read without columns.
    struct Row {
        const char* name;
        const char* separator;
        int status;
        int size;
    } rows[] = {
        {"no separator", "", 0, 1},
        {"one-character separator", ",", 0, 536870912},
        {"four-character separator: 2147483644 characters", "abcd", 0, 2147483645},
        {"five-character separator: beyond INT_MAX", "abcde", 12, -1},
    };
    for (const Row& row : rows) {
        int size = -1;
        EXPECT_EQ(kelvane2::composeFontString(nullptr, INT_MAX, 0, nullptr, &size, row.separator), row.status)
            << row.name;
        EXPECT_EQ(size, row.size) << row.name;
    }
}

}  // namespace
