#include "fontstring/fontstring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/qrresult.h"
#include "encoder/viewref.h"
#include "qrkit/qrkit.h"

namespace {

using kelvane2::composeFontString;

// Module text to matrix bytes ('1' dark, with flag bits above bit 0 to show they are ignored).
std::vector<unsigned char> matrixOf(const std::vector<std::string>& rows) {
    std::vector<unsigned char> bytes;
    for (const std::string& row : rows) {
        for (char c : row)
            bytes.push_back(c == '1' ? 0xF3 : 0xF2);
    }
    return bytes;
}

std::string compose(const std::vector<std::string>& rows, const char* separator) {
    std::vector<unsigned char> bytes = matrixOf(rows);
    int size = 0;
    const int columns = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    EXPECT_EQ(
        composeFontString(bytes.data(), static_cast<int>(rows.size()), columns, nullptr, &size, separator),
        0);
    std::string text(static_cast<std::size_t>(size), '\x7F');
    EXPECT_EQ(
        composeFontString(bytes.data(), static_cast<int>(rows.size()), columns, &text[0], &size, separator),
        0);
    EXPECT_EQ(size + 1, static_cast<int>(text.size())) << "size reads the characters written";
    EXPECT_EQ(text.back(), '\0');
    text.pop_back();
    return text;
}

struct ComposeCase {
    const char* name;
    std::vector<std::string> rows;
    const char* separator;
    const char* text;
};

const ComposeCase kComposeCases[] = {
    {"dark light dark dark is B", {"1", "0", "1", "1"}, nullptr, "B"},
    {"all light, all dark, top only, bottom only", {"0110", "0100", "0100", "0101"}, nullptr, "0F81"},
    {"2x2 worked example: missing rows are light", {"10", "11"}, nullptr, "C4"},
    {"every digit",
     {"0000000011111111", "0000111100001111", "0011001100110011", "0101010101010101"},
     "|",
     "0123456789ABCDEF"},
    {"two bands, separator between only", {"1", "1", "1", "1", "1"}, "\r\n", "F\r\n8"},
    {"empty separator is none", {"1", "1", "1", "1", "1"}, "", "F8"},
    {"M1-like last band of three rows gives even digits", {"1", "0", "0", "0", "1", "1", "1"}, "-", "8-E"},
    {"long separator", {"1", "0", "0", "0", "0", "0", "0", "0", "1"}, "<br/>", "8<br/>0<br/>8"},
};

TEST(FontString, Compose) {
    for (const ComposeCase& row : kComposeCases)
        EXPECT_EQ(compose(row.rows, row.separator), row.text) << row.name;
}

// A version 1 sized matrix (21 x 21): a checkerboard.
std::vector<std::string> checkerboard(int width) {
    std::vector<std::string> rows;
    for (int j = 0; j < width; ++j) {
        std::string row;
        for (int k = 0; k < width; ++k)
            row.push_back((j + k) % 2 ? '0' : '1');
        rows.push_back(row);
    }
    return rows;
}

TEST(FontString, SizesOfVersion1) {
    std::vector<unsigned char> bytes = matrixOf(checkerboard(21));
    struct SizeCase {
        const char* name;
        const char* separator;
        int needed;
    } cases[] = {{"CRLF", "\r\n", 137}, {"null separator", nullptr, 127}, {"empty separator", "", 127}};
    for (const SizeCase& row : cases) {
        int size = -5;
        EXPECT_EQ(composeFontString(bytes.data(), 21, 21, nullptr, &size, row.separator), 0) << row.name;
        EXPECT_EQ(size, row.needed) << row.name;

        std::vector<char> buffer(static_cast<std::size_t>(row.needed), 'x');
        size = row.needed - 1;
        EXPECT_EQ(composeFontString(bytes.data(), 21, 21, buffer.data(), &size, row.separator), 12)
            << row.name;
        EXPECT_EQ(size, row.needed - 1) << row.name << ": size unchanged";
        EXPECT_EQ(buffer[0], 'x') << row.name << ": nothing written";

        size = row.needed;
        EXPECT_EQ(composeFontString(bytes.data(), 21, 21, buffer.data(), &size, row.separator), 0)
            << row.name;
        EXPECT_EQ(size, row.needed - 1) << row.name;
        const std::string text(buffer.data());
        EXPECT_EQ(static_cast<int>(text.size()), row.needed - 1) << row.name;
        // The last line covers row 20 alone: only '8' and '0'.
        const std::string last = text.substr(text.size() - 21);
        EXPECT_EQ(last, "808080808080808080808") << row.name;
    }
    EXPECT_EQ(composeFontString(bytes.data(), 21, 21, nullptr, nullptr, nullptr), 8) << "size missing";
}

TEST(FontString, ZeroRowsIsEmptyText) {
    int size = 0;
    EXPECT_EQ(composeFontString(nullptr, 0, 0, nullptr, &size, "\r\n"), 0);
    EXPECT_EQ(size, 1);
    char buffer[1] = {'x'};
    EXPECT_EQ(composeFontString(nullptr, 0, 0, buffer, &size, "\r\n"), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(size, 0);
}

// A QrResult handle over module text.
QRCODE_RESULT handleOf(const std::vector<std::string>& rows) {
    const int width = static_cast<int>(rows.size());
    std::vector<unsigned char> bytes = matrixOf(rows);
    auto* matrix = new std::uint8_t[bytes.size()];
    std::copy(bytes.begin(), bytes.end(), matrix);
    auto* result = new kelvane2::qrencode::QrResult(1, 0, width, matrix);
    void* view = nullptr;
    result->QueryInterface(kelvane2::IID_IQrcodeResult, &view);
    return static_cast<QRCODE_RESULT>(view);
}

TEST(FontString, ResultIntoCallerBuffer) {
    QRCODE_RESULT handle = handleOf(checkerboard(21));
    const std::string expected = compose(checkerboard(21), "\r\n");
    int size = 0;
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, nullptr, &size, "\r\n"), 0);
    EXPECT_EQ(size, 137);
    std::vector<char> buffer(137);
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, buffer.data(), &size, "\r\n"), 0);
    EXPECT_EQ(std::string(buffer.data()), expected);
    size = 136;
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, buffer.data(), &size, "\r\n"), 12);
    EXPECT_EQ(QRCodeResultGetBarcodeString(handle, buffer.data(), nullptr, "\r\n"), 8);
    EXPECT_EQ(QRCodeResultGetBarcodeString(nullptr, buffer.data(), &size, "\r\n"), 8) << "null handle";
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

TEST(FontString, AnyBitPatternThroughGetModule) {
    // Simple2DBitPattern is not a QrResult: its modules are read one by one.
    auto* pattern = new kelvane2::Simple2DBitPattern(5, 3);
    kelvane2::ViewRef<kelvane2::I2DBitPattern> bits;
    ASSERT_EQ(bits.query(static_cast<kelvane2::I2DBitPattern*>(pattern), kelvane2::IID_I2DBitPattern), 0);
    kelvane2::ViewRef<kelvane2::I2DBitPatternModifiable> writable;
    ASSERT_EQ(writable.query(bits.get(), kelvane2::IID_I2DBitPatternModifiable), 0);
    writable->setModule(0, 0, true);
    writable->setModule(3, 1, true);
    writable->setModule(4, 2, true);
    char buffer[16];
    int size = sizeof buffer;
    EXPECT_EQ(kelvane2::resultFontString(bits.get(), buffer, &size, "/"), 0);
    EXPECT_EQ(std::string(buffer), "810/008");
    EXPECT_EQ(kelvane2::resultOwnedFontString(bits.get(), "/"), nullptr) << "no IUserData: no owned string";
    EXPECT_EQ(QRCodeResultGetBarcodeString2(reinterpret_cast<QRCODE_RESULT>(bits.get()), "/"), nullptr);
}

TEST(FontString, OwnedByResult) {
    QRCODE_RESULT handle = handleOf({"10", "11"});
    const char* first = QRCodeResultGetBarcodeString2(handle, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first), "C4");
    const char* second = QRCodeResultGetBarcodeString2(handle, "\r\n");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::string(second), "C4");  // one band: no separator
    {
        kelvane2::ViewRef<kelvane2::IUserData> slot;
        ASSERT_EQ(slot.query(handle, kelvane2::IID_IUserData), 0);
        EXPECT_EQ(slot->getUserData(), static_cast<const void*>(second))
            << "the slot holds the latest string";
    }
    EXPECT_EQ(QRCodeResultGetBarcodeString2(nullptr, "\r\n"), nullptr);
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);  // frees the string (leak check)
}

}  // namespace
