// The exported QR Code functions, called as a C caller would through libqrkit.
#include "qrkit/qrkit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/objectmodel.h"
#include "support/alloc_failure.h"
#include "support/decode.h"

namespace {

using qrkit_test::ModuleMatrix;

std::vector<std::string> moduleText(QRCODE_RESULT handle) {
    return ModuleMatrix::fromPattern(handle).toText();
}

TEST(Exports, SmallestSymbol) {
    QRCODE_RESULT handle = nullptr;
    ASSERT_EQ(QRCodeEncode("12345", 0, 0, &handle), 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(QRCodeResultGetVersion(handle), 1);
    EXPECT_EQ(ModuleMatrix::fromPattern(handle).rows, 21);
    int size = 0;
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, nullptr, &size, "\r\n"), 0);
    EXPECT_EQ(size, 137);
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

struct ExportCase {
    const char* name;
    const char* data;
    int versionWord;
    int level;
    std::uint32_t code;
    int version;
};

const ExportCase kExportCases[] = {
    {"minimum version", "12345", 5, 0, 0, 5},
    {"strict version fits", "12345", 0x8005, 0, 0, 5},
    {"strict version too small",
     "This text needs version seven at level H, being longer than what five can hold.....", 0x8005, 3,
     0x80520005u, 0},
    {"strict version 0", "1", 0x8000, 0, 0x80520005u, 0},
    {"version 45 is 40", "1", 45, 0, 0, 40},
    {"forced mode 1 at 40", "1", 0x0128, 0, 0, 40},
    {"forced numeric with a letter", "12A", 0x0200, 0, 0x80520006u, 0},
    {"forced numeric", "123", 0x0200, 0, 0, 1},
    {"structured append sequence", "~2[0][3]DATA", 0, 0, 0x80520034u, 0},
    {"level clamped low", "12345", 0, -3, 0, 1},
    {"level clamped high", "12345", 0, 9, 0, 1},
};

TEST(Exports, EncodeAndEncode2Agree) {
    for (const ExportCase& row : kExportCases) {
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
        const int32_t code = QRCodeEncode(row.data, row.versionWord, row.level, &handle);
        EXPECT_EQ(static_cast<std::uint32_t>(code), row.code) << row.name;
        QRCODE_RESULT second = QRCodeEncode2(row.data, row.versionWord, row.level);
        if (code != 0) {
            EXPECT_EQ(handle, nullptr) << row.name;
            EXPECT_EQ(second, nullptr) << row.name << ": Encode2 gives null where Encode fails";
            continue;
        }
        ASSERT_NE(second, nullptr) << row.name;
        EXPECT_EQ(QRCodeResultGetVersion(handle), row.version) << row.name;
        EXPECT_EQ(moduleText(second), moduleText(handle)) << row.name;
        EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0) << row.name;
        EXPECT_EQ(DestroyQRCodeEncodeResult(second), 0) << row.name;
    }
}

TEST(Exports, LevelIsClamped) {
    QRCODE_RESULT low = QRCodeEncode2("12345", 0, -3);
    QRCODE_RESULT high = QRCodeEncode2("12345", 0, 9);
    ASSERT_NE(low, nullptr);
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(low->getEcLevel(), 0);
    EXPECT_EQ(high->getEcLevel(), 3);
    DestroyQRCodeEncodeResult(low);
    DestroyQRCodeEncodeResult(high);
}

TEST(Exports, NullPointers) {
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
    EXPECT_EQ(QRCodeEncode(nullptr, 0, 0, &handle), static_cast<int32_t>(0x80004003u));
    EXPECT_EQ(handle, reinterpret_cast<QRCODE_RESULT>(0x1)) << "nothing written";
    EXPECT_EQ(QRCodeEncode("1", 0, 0, nullptr), static_cast<int32_t>(0x80004003u));
    EXPECT_EQ(QRCodeEncode2(nullptr, 0, 0), nullptr);
    EXPECT_EQ(QRCodeEncode2W(nullptr, 0, 0), nullptr);

    int size = 10;
    char buffer[10];
    EXPECT_EQ(DestroyQRCodeEncodeResult(nullptr), 0);
    EXPECT_EQ(QRCodeResultGetVersion(nullptr), 0);
    EXPECT_EQ(QRCodeResultGetBarcodeString(nullptr, buffer, &size, "\r\n"), 8);
    EXPECT_EQ(QRCodeResultGetBarcodeString2(nullptr, "\r\n"), nullptr);
}

TEST(Exports, WideInputIsNarrowed) {
    struct WideExport {
        const char* name;
        std::u16string text;
        const char* bytes;
    } cases[] = {
        {"Latin-1", u"Gr\u00FC\u00DFe",
         "Gr\xFC\xDF"
         "e"},
        {"UTF-8 with byte-order mark", u"Gr\u00FC\u00DFe\u20AC",
         "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
         "e\xE2\x82\xAC"},
        {"lone high surrogate keeps the next unit", std::u16string{0xD800, 0x0041},
         "\xEF\xBB\xBF\xED\xA0\x80"
         "A"},
    };
    for (const auto& row : cases) {
        QRCODE_RESULT wide = QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(row.text.c_str()), 0, 1);
        QRCODE_RESULT narrow = QRCodeEncode2(row.bytes, 0, 1);
        ASSERT_NE(wide, nullptr) << row.name;
        ASSERT_NE(narrow, nullptr) << row.name;
        EXPECT_EQ(moduleText(wide), moduleText(narrow)) << row.name;
        const qrkit_test::Decoded read = qrkit_test::decodeWithZxing(ModuleMatrix::fromPattern(wide));
        EXPECT_EQ(qrkit_test::printable(read.bytes), qrkit_test::printable(row.bytes)) << row.name;
        DestroyQRCodeEncodeResult(wide);
        DestroyQRCodeEncodeResult(narrow);
    }
    EXPECT_EQ(QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(u"~2[0][1]"), 0, 0), nullptr)
        << "failure gives null";
}

TEST(Exports, OwnedFontStringFreedByDestroy) {
    QRCODE_RESULT handle = QRCodeEncode2("HELLO", 0, 0);
    ASSERT_NE(handle, nullptr);
    const char* first = QRCodeResultGetBarcodeString2(handle, "\r\n");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first).size(), 136u);
    const std::string copy = first;
    const char* second = QRCodeResultGetBarcodeString2(handle, "\r\n");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(copy, second);
    char buffer[137];
    int size = sizeof buffer;
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, buffer, &size, "\r\n"), 0);
    EXPECT_EQ(copy, buffer);
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);  // the string goes with it (leak check)
}

TEST(Exports, MemoryExhaustionIsAResult) {
    const char* data = "~50[:swiss7]MEMORY 0123456789 ~4[~d147~d095]";
    QRCODE_RESULT warm = QRCodeEncode2(data, 0, 2);
    ASSERT_NE(warm, nullptr) << "caches filled first";
    DestroyQRCodeEncodeResult(warm);
    int failures = 0;
    for (std::int64_t n = 0; n < 100000; ++n) {
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
        const std::int64_t before = qrkit_test::liveAllocations();
        qrkit_test::failAllocationAfter(n);
        const int32_t code = QRCodeEncode(data, 0, 2, &handle);
        QRCODE_RESULT second = QRCodeEncode2(data, 0, 2);
        qrkit_test::disarmAllocationFailure();
        if (second != nullptr) DestroyQRCodeEncodeResult(second);
        if (code == 0) {
            DestroyQRCodeEncodeResult(handle);
            break;
        }
        ++failures;
        ASSERT_EQ(code, static_cast<int32_t>(0x8052000Bu)) << "allocation " << n;
        ASSERT_EQ(handle, nullptr) << "allocation " << n;
        ASSERT_EQ(qrkit_test::liveAllocations(), before) << "leak after failing allocation " << n;
    }
    EXPECT_GT(failures, 0);

    // The wide variant and the owned font string answer null instead.
    QRCODE_RESULT handle = QRCodeEncode2(data, 0, 2);
    ASSERT_NE(handle, nullptr);
    qrkit_test::failAllocationAfter(0);
    EXPECT_EQ(QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(u"\u20AC"), 0, 0), nullptr);
    qrkit_test::failAllocationAfter(0);
    EXPECT_EQ(QRCodeResultGetBarcodeString2(handle, "\r\n"), nullptr);
    qrkit_test::disarmAllocationFailure();
    EXPECT_NE(QRCodeResultGetBarcodeString2(handle, "\r\n"), nullptr);
    DestroyQRCodeEncodeResult(handle);
}

}  // namespace
