// The Micro QR Code, HIBC and parity exports, with every symbol read back by zxing-cpp (zbar reads
// QR Code only, and so also reads the HIBC symbols).
#include <string>

#include <gtest/gtest.h>

#include "encoder/result_codes.h"
#include "encoder/tables.h"
#include "qrkit/qrkit.h"
#include "support/decode.h"

namespace {

using qrkit_test::decodeWithZbar;
using qrkit_test::decodeWithZxing;
using qrkit_test::ModuleMatrix;
using qrkit_test::printable;

TEST(MicroExports, EveryVersionAndLevelReadsBack) {
    const struct {
        const char* name;
        const char* data;
        int version;  // requested and expected
        int level;
    } cases[] = {
        {"M1 digits", "12345", 1, 0},
        {"M1 one digit with padding", "7", 1, 0},
        {"M2-L digits", "0123456789", 2, 0},
        {"M2-L alphanumeric", "AB-12", 2, 0},
        {"M2-M digits", "31415926", 2, 1},
        {"M3-L bytes", "qr micro", 3, 0},
        {"M3-L digits filling the odd nibble", "12345678901234567890123", 3, 0},
        {"M3-M alphanumeric", "MICRO QR", 3, 1},
        {"M3-M bytes", "hello", 3, 1},
        {"M4-L 35 digits", "12345678901234567890123456789012345", 4, 0},
        {"M4-L mixed", "Code 128 abc", 4, 0},
        {"M4-M bytes", "micro-qr.org", 4, 1},
        {"M4-Q alphanumeric", "HELLO WORLD", 4, 2},
        {"M4-Q control and decimal bytes", "A~M~J~d200", 4, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QRCODE_RESULT handle = nullptr;
        ASSERT_EQ(MicroQRCodeEncode(c.data, c.version, c.level, &handle), 0);
        EXPECT_EQ(QRCodeResultGetVersion(handle), c.version);
        EXPECT_EQ(handle->getEcLevel(), c.level);
        ModuleMatrix matrix = ModuleMatrix::fromPattern(handle);
        EXPECT_EQ(matrix.rows, kelvane2::qrencode::MicroTables::microSymbolWidth(c.version));
        auto decoded = decodeWithZxing(matrix);
        ASSERT_TRUE(decoded.ok) << decoded.message;
        EXPECT_TRUE(decoded.microQr);
        std::string expected = c.data;
        if (expected == "A~M~J~d200") expected = std::string("A\r\n") + static_cast<char>(200);
        EXPECT_EQ(decoded.bytes, expected) << printable(decoded.bytes);
        if (c.version > 1) {
            EXPECT_EQ(decoded.ecLevel, c.level);
        }
        EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
    }
}

TEST(MicroExports, Failures) {
    const struct {
        const char* name;
        const char* data;
        int versionWord;
        std::int32_t result;
    } cases[] = {
        {"36 digits", "123456789012345678901234567890123456", 0, kelvane2::failureCode(5)},
        {"a designator", "~7000026AB", 0, kelvane2::failureCode(5)},
        {"lower case never fits M1 or M2... nor 20 bytes in M4", "abcdefghijklmnopqrst", 0,
         kelvane2::failureCode(5)},
        {"invalid Kanji block", "~4[AB]", 0, kelvane2::failureCode(80)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(1);
        EXPECT_EQ(MicroQRCodeEncode(c.data, c.versionWord, 0, &handle), c.result);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(MicroQRCodeEncode2(c.data, c.versionWord, 0), nullptr);
    }
    QRCODE_RESULT handle = nullptr;
    EXPECT_EQ(MicroQRCodeEncode(nullptr, 0, 0, &handle), kelvane2::kNullPointerResult);
    EXPECT_EQ(MicroQRCodeEncode("1", 0, 0, nullptr), kelvane2::kNullPointerResult);
    EXPECT_EQ(MicroQRCodeEncode2(nullptr, 0, 0), nullptr);
}

TEST(MicroExports, VersionWordIsOneNumber) {
    QRCODE_RESULT handle = MicroQRCodeEncode2("1", 0x8002, 0);  // above 4: M4
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(QRCodeResultGetVersion(handle), 4);
    DestroyQRCodeEncodeResult(handle);
    handle = MicroQRCodeEncode2("1", -7, 0);  // below 0: automatic
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(QRCodeResultGetVersion(handle), 1);
    const char* font = QRCodeResultGetBarcodeString2(handle, "\n");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(std::string(font).size(), 3u * 11 + 2);  // an M1 symbol: 3 lines of 11 characters
    DestroyQRCodeEncodeResult(handle);
}

TEST(HibcExports, SymbolsReadBackAsFormattedData) {
    const struct {
        const char* name;
        const char* data;
        const char* formatted;
    } cases[] = {
        {"a1b2", "a1b2", "+A1B2M"},
        {"empty data", "", "++"},
        {"a product code", "A123BJC5D6E71", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QRCODE_RESULT handle = nullptr;
        ASSERT_EQ(HIBC_QRCodeEncode(c.data, 0, 1, &handle), 0);
        ModuleMatrix matrix = ModuleMatrix::fromPattern(handle);
        for (auto decoded : {decodeWithZbar(matrix), decodeWithZxing(matrix)}) {
            ASSERT_TRUE(decoded.ok) << decoded.message;
            ASSERT_GE(decoded.bytes.size(), 2u);
            EXPECT_EQ(decoded.bytes.substr(0, 1), "+");
            if (c.formatted != nullptr) {
                EXPECT_EQ(decoded.bytes, c.formatted);
            }
            EXPECT_EQ(decoded.bytes.size(), std::string(c.data).size() + 2);
        }
        DestroyQRCodeEncodeResult(handle);
        QRCODE_RESULT second = HIBC_QRCodeEncode2(c.data, 0, 1);
        EXPECT_NE(second, nullptr);
        DestroyQRCodeEncodeResult(second);
    }
}

TEST(HibcExports, Failures) {
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(1);
    EXPECT_EQ(HIBC_QRCodeEncode("AB*", 0, 0, &handle), kelvane2::failureCode(5));
    EXPECT_EQ(handle, reinterpret_cast<QRCODE_RESULT>(1));  // formatting failures leave it alone
    EXPECT_EQ(HIBC_QRCodeEncode(std::string(101, 'A').c_str(), 0, 0, &handle), kelvane2::failureCode(5));
    EXPECT_EQ(HIBC_QRCodeEncode2("A~B", 0, 0), nullptr);
    EXPECT_EQ(HIBC_QRCodeEncode("A", 0x8000, 0, &handle), kelvane2::failureCode(5));
    EXPECT_EQ(handle, nullptr);  // failures of the encoder itself set it to null
    EXPECT_EQ(HIBC_QRCodeEncode(nullptr, 0, 0, &handle), kelvane2::kNullPointerResult);
}

TEST(ParityExport, OfMessages) {
    EXPECT_EQ(QRCodeGetParity("AB"), 3);
    EXPECT_EQ(QRCodeGetParity(""), 0);
    EXPECT_EQ(QRCodeGetParity("\xff"), 0xFF);
    EXPECT_EQ(QRCodeGetParity("~1AB"), 3);
    EXPECT_EQ(QRCodeGetParity(nullptr), 0);
}

TEST(ParityExport, StructuredAppendSequenceReadsBack) {
    const std::string message = "STRUCTURED APPEND SPLITS ONE MESSAGE";
    const int parity = QRCodeGetParity(message.c_str());
    const std::string parts[] = {message.substr(0, 18), message.substr(18)};
    for (int k = 0; k < 2; ++k) {
        std::string data = "~2[" + std::to_string(k + 1) + "][2," + std::to_string(parity) + "]" + parts[k];
        QRCODE_RESULT handle = QRCodeEncode2(data.c_str(), 0, 1);
        ASSERT_NE(handle, nullptr);
        auto decoded = decodeWithZxing(ModuleMatrix::fromPattern(handle));
        ASSERT_TRUE(decoded.ok) << decoded.message;
        EXPECT_EQ(decoded.bytes, parts[k]);
        EXPECT_EQ(decoded.sequenceIndex, k);
        EXPECT_EQ(decoded.sequenceSize, 2);
        EXPECT_EQ(decoded.sequenceId, std::to_string(parity));
        DestroyQRCodeEncodeResult(handle);
    }
}

}  // namespace
