// Inputs the fuzz targets found faults with (their files are in fuzz/corpus/*/regress-*), each with the
// result it has now.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "cli/literal_data.h"
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

TEST(FuzzRegression, ZeroByteInsideAStructuredAppendHeader) {
    // The tool kept a header of --escapes data as it was, zero bytes included, and the encode call's text
    // ended at the first of them. Every zero byte becomes ~d000, in the header too (same values).
    qrkit_cli::DataOptions options;
    options.escapes = true;
    const std::string data("~2[1][2\xF2\xEE\0\0 `\0\0,5]A\x04~M", 22);
    const qrkit_cli::PreparedData prepared = qrkit_cli::prepareData(data, options, false);
    EXPECT_EQ(prepared.input.find('\0'), std::string::npos);
    EXPECT_EQ(prepared.input, "~2[1][2\xF2\xEE~d000~d000 `~d000~d000,5]A\x04~M");
    QRCODE_RESULT handle = nullptr;
    ASSERT_EQ(QRCodeEncode(prepared.input.c_str(), 0, 0, &handle), 0);
    DestroyQRCodeEncodeResult(handle);
}

TEST(FuzzRegression, KanjiModeWithATilde) {
    // --kanji kept ASCII as single bytes, but a reader that takes the symbol as Shift JIS shows 0x7E as an
    // overline (and 0x5C as the yen sign): such text now stays UTF-8, with a note.
    qrkit_cli::DataOptions options;
    options.kanji = true;
    const std::string data(
        "\x01\x00`p\x08\x08\"~k..\xEF\xBD\xB3"
        "1",
        15);
    const qrkit_cli::PreparedData prepared = qrkit_cli::prepareData(data, options, false);
    EXPECT_FALSE(prepared.kanjiMode);
    EXPECT_EQ(prepared.notes.size(), 1u);
}

}  // namespace
