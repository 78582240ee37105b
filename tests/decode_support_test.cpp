// The decoder support reads symbols made by another encoder (segno), so that its own faults are not
// mistaken for the encoder's.
#include "support/decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qrkit_test::Decoded;
using qrkit_test::ModuleMatrix;

// "HELLO 123", version 1-M, mask 2 (segno).
const std::vector<std::string> kHelloVersion1 = {
    "111111100010001111111", "100000100100101000001", "101110101100001011101", "101110101101001011101",
    "101110101110101011101", "100000101001001000001", "111111101010101111111", "000000001110000000000",
    "101111100101001111100", "101011011101111101111", "000001110100101101001", "011010010101111100000",
    "011111111110100100100", "000000001000100111011", "111111100011010001101", "100000101000000100100",
    "101110101011010111110", "101110101111111011100", "101110101110101001000", "100000100101111000101",
    "111111101110100100100",
};

// "12345", M2-L (segno).
const std::vector<std::string> kDigitsM2 = {
    "1111111010101", "1000001000000", "1011101011101", "1011101010011", "1011101011110",
    "1000001001101", "1111111011001", "0000000001111", "1101010111100", "0000010100100",
    "1000000100110", "0110111110001", "1100101111111",
};

TEST(DecodeSupport, ReadsQrCodeWithBothReaders) {
    const ModuleMatrix matrix = ModuleMatrix::fromText(kHelloVersion1);
    ASSERT_EQ(matrix.rows, 21);
    ASSERT_EQ(matrix.columns, 21);
    EXPECT_EQ(matrix.toText(), kHelloVersion1);

    const Decoded zbar = qrkit_test::decodeWithZbar(matrix);
    ASSERT_TRUE(zbar.ok) << zbar.message;
    EXPECT_EQ(zbar.bytes, "HELLO 123");
    EXPECT_EQ(zbar.fnc1, 0);

    const Decoded zxing = qrkit_test::decodeWithZxing(matrix);
    ASSERT_TRUE(zxing.ok) << zxing.message;
    EXPECT_EQ(zxing.bytes, "HELLO 123");
    EXPECT_FALSE(zxing.microQr);
    EXPECT_EQ(zxing.ecLevel, 1);
    EXPECT_EQ(zxing.symbology, "]Q1");
    EXPECT_EQ(zxing.fnc1, 0);
    EXPECT_EQ(zxing.sequenceSize, -1);
}

TEST(DecodeSupport, ReadsMicroQrWithZxing) {
    const Decoded zxing = qrkit_test::decodeWithZxing(ModuleMatrix::fromText(kDigitsM2));
    ASSERT_TRUE(zxing.ok) << zxing.message;
    EXPECT_EQ(zxing.bytes, "12345");
    EXPECT_TRUE(zxing.microQr);
    EXPECT_EQ(zxing.ecLevel, 0);
}

TEST(DecodeSupport, DamagedSymbolIsNotRead) {
    // Finder patterns gone: neither reader may invent a symbol.
    std::vector<std::string> rows = kHelloVersion1;
    for (int j = 0; j < 7; ++j) {
        rows[j].replace(0, 7, "0000000");
        rows[j].replace(14, 7, "0000000");
    }
    const ModuleMatrix matrix = ModuleMatrix::fromText(rows);
    EXPECT_FALSE(qrkit_test::decodeWithZbar(matrix).ok);
    EXPECT_FALSE(qrkit_test::decodeWithZxing(matrix).ok);
}

}  // namespace
