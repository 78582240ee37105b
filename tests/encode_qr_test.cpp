#include "encoder/encode_qr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/overlay.h"
#include "encoder/qrresult.h"
#include "encoder/result_codes.h"
#include "encoder/viewref.h"
#include "support/alloc_failure.h"
#include "support/decode.h"

namespace {

using kelvane2::IQrcodeResult;
using kelvane2::ViewRef;
using kelvane2::qrencode::EncodeOptions;
using kelvane2::qrencode::encodeQr;
using kelvane2::qrencode::narrowWideInput;
using qrkit_test::ModuleMatrix;

struct Encoded {
    std::int32_t code = 0;
    int version = 0;
    int level = -1;
    ModuleMatrix matrix;
};

Encoded encode(const std::string& data, std::int32_t versionWord, std::int32_t level,
               std::int32_t mask = -1) {
    Encoded encoded;
    IQrcodeResult* handle = reinterpret_cast<IQrcodeResult*>(0x1);
    const EncodeOptions options{versionWord, level, mask};
    encoded.code = encodeQr(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size()),
                            options, &handle);
    if (encoded.code != 0) {
        EXPECT_EQ(handle, nullptr) << "a failure leaves out null";
        return encoded;
    }
    EXPECT_NE(handle, nullptr);
    encoded.version = handle->getVersion();
    encoded.level = handle->getEcLevel();
    encoded.matrix = ModuleMatrix::fromPattern(handle);
    EXPECT_EQ(handle->Release(), 0u) << "the handle holds the only reference";
    return encoded;
}

struct DriverCase {
    const char* name;
    std::string data;
    std::int32_t versionWord;
    std::int32_t level;
    std::uint32_t code;
    int version;  // 0: any
    int levelSeen;
};

const DriverCase kDriverCases[] = {
    {"smallest version", "12345", 0, 0, 0, 1, 0},
    {"requested version is the minimum", "12345", 5, 0, 0, 5, 0},
    {"strict version holds", "12345", 0x8005, 0, 0, 5, 0},
    {"strict version too small", std::string(200, 'a'), 0x8005, 0, 0x80520005u, 0, 0},
    {"strict version 0 always fails", "1", 0x8000, 0, 0x80520005u, 0, 0},
    {"version 45 taken as 40", "12345", 45, 0, 0, 40, 0},
    {"version 255 taken as 40", "12345", 255, 0, 0, 40, 0},
    {"forced mode 1 with version 40", "12345", 0x0128, 0, 0, 40, 0},
    {"strict version 45 taken as 40", "12345", 0x802D, 0, 0, 40, 0},
    {"bits 11-14 and 16-31 ignored", "12345", 0x7FFF7802, 0, 0, 2, 0},
    {"forced numeric rejects a letter", "12A", 0x0200, 0, 0x80520006u, 0, 0},
    {"forced numeric accepts digits", "123", 0x0200, 0, 0, 1, 0},
    {"forced alphanumeric rejects lower case", "abc", 0x0300, 0, 0x80520006u, 0, 0},
    {"forced alphanumeric accepts upper case", "ABC $%*+-./:", 0x0300, 0, 0, 1, 0},
    {"forced byte", "123", 0x0400, 0, 0, 1, 0},
    {"forced mode 7 is byte", "abc", 0x0700, 0, 0, 1, 0},
    {"level below 0 is L", "12345", 0, -3, 0, 1, 0},
    {"level above 3 is H", "12345", 0, 9, 0, 1, 3},
    {"level Q", "12345", 0, 2, 0, 1, 2},
    {"parse error number becomes a code", "~2[0][3]X", 0, 0, 0x80520034u, 0, 0},
    {"kanji error", "~4[AB]", 0, 0, 0x80520050u, 0, 0},
    {"overlay error", "~50[abc]", 0, 0, 0x8052005Au, 0, 0},
    {"too long for any version", std::string(3000, 'a'), 0, 0, 0x80520005u, 0, 0},
    {"longest byte data at 40-L", std::string(2953, 'a'), 0, 0, 0, 40, 0},
    {"one byte more than 40-L holds", std::string(2954, 'a'), 0, 0, 0x80520005u, 0, 0},
    {"named overlay raises the version", "~50[:swiss7]AB", 0, 0, 0, 6, 0},
    {"empty data", "", 0, 0, 0, 1, 0},
};

TEST(EncodeQr, VersionWordsLevelsAndFailures) {
    for (const DriverCase& row : kDriverCases) {
        const Encoded encoded = encode(row.data, row.versionWord, row.level);
        EXPECT_EQ(static_cast<std::uint32_t>(encoded.code), row.code) << row.name;
        if (encoded.code != 0) continue;
        if (row.version != 0) {
            EXPECT_EQ(encoded.version, row.version) << row.name;
        }
        EXPECT_EQ(encoded.level, row.levelSeen) << row.name;
        EXPECT_EQ(encoded.matrix.rows, 17 + 4 * encoded.version) << row.name;
        EXPECT_EQ(encoded.matrix.columns, encoded.matrix.rows) << row.name;
    }
}

// Symbols made by another encoder (segno) with the same version, level, mode and mask.
struct ExactCase {
    const char* name;
    std::string data;
    std::int32_t versionWord;
    std::int32_t level;
    std::int32_t mask;
    std::vector<std::string> rows;
};

const ExactCase kExactCases[] = {
    {"01234567 at 1-M, mask 2 (the standard's worked example)",
     "01234567",
     0x0201,
     1,
     2,
     {"111111100101101111111", "100000100111101000001", "101110101000001011101", "101110101100001011101",
      "101110101011101011101", "100000101000101000001", "111111101010101111111", "000000001001100000000",
      "101111100100101111100", "000101011010100101100", "001000110101010011111", "000010000100000111100",
      "000111111001010010000", "000000001011111001100", "111111100110101100000", "100000101011111000101",
      "101110101000100101100", "101110101100100100000", "101110101011010010100", "100000100000000110110",
      "111111101111010010100"}},
    {"alphanumeric at 7-Q, mask 5 (version information)",
     "HELLO WORLD 0123456789 ABCDEFGHIJKLMNO",
     0x0307,
     2,
     5,
     {"111111101000000011011011100101111000101111111", "100000101110100111100100000110100001001000001",
      "101110100100000011011111100001110001001011101", "101110100111011111011001111010001101101011101",
      "101110100001000010111111100000010111101011101", "100000100100011011101000110001000000001000001",
      "111111101010101010101010101010101010101111111", "000000000110111011001000100000100001000000000",
      "010000111010010110101111110011111001110000011", "101000010101010001111000101000100010101110101",
      "101101100001001100001001010011111001110011111", "111100010100011111100101111001010110100100101",
      "100010100110110001111111010001011101001110100", "011100010011100111011001011001010111011101010",
      "111110101000001010110101000110100100011100010", "110111011101010110110111001110101110001011000",
      "000101110010011010001111110111111100110010101", "100011011111011110100000100110101111000010111",
      "000101100100001010100000001100100010101000111", "111111010110011011100011111001011011011100111",
      "111011111111011111111111101010001111111111100", "010010001101110010011000110001010100100010101",
      "010110101110111110111010100010110100101010111", "000010001011110000101000101101101110100010001",
      "101011111000101001011111111111110100111110000", "010101011101100110101010001100110110101001010",
      "100001110100011000110101011100011100111000100", "100101000010101000000010101011101010001011111",
      "100011111111111010110001011011011001100101000", "101111011010001111010010100010001001010110100",
      "001000111000000100001000001001100010011100100", "001110000011110110011011010101010110110110101",
      "111011101010110111111001001100000110011011111", "011111000101101110100100001111011100100101001",
      "000010100000001111101000011100100100111110000", "011110000110000101001001000000100000000001000",
      "100110111010010100001111110110100010111111111", "000000001100000000001000110110101000100010101",
      "111111101010100001011010110011111001101011100", "100000100001101000101000101011011111100010100",
      "101110100010111001111111100110000101111111100", "101110100111111101101100001011010100110001010",
      "101110100011001110000100011001111110100101011", "100000101100001111100101100100100111000111001",
      "111111100000010000110111101101101000001000100"}},
};

TEST(EncodeQr, ExactSymbols) {
    for (const ExactCase& row : kExactCases) {
        const Encoded encoded = encode(row.data, row.versionWord, row.level, row.mask);
        ASSERT_EQ(encoded.code, 0) << row.name;
        EXPECT_EQ(encoded.matrix.toText(), row.rows) << row.name;
    }
}

TEST(EncodeQr, NullArguments) {
    const EncodeOptions options{0, 0, -1};
    const std::uint8_t data[] = {'1'};
    EXPECT_EQ(encodeQr(data, 1, options, nullptr), kelvane2::kNullPointerResult);
    IQrcodeResult* handle = reinterpret_cast<IQrcodeResult*>(0x1);
    EXPECT_EQ(encodeQr(nullptr, 1, options, &handle), kelvane2::kNullPointerResult);
    EXPECT_EQ(handle, nullptr);
}

TEST(EncodeQr, MaskOptionIsClampedAndDecodable) {
    // Every fixed mask gives a different symbol of the same data; -2 behaves as automatic, 9 as 7.
    const std::string data = "MASKS 0123456789";
    std::vector<std::vector<std::string>> symbols;
    for (int mask = 0; mask < 8; ++mask) {
        const Encoded encoded = encode(data, 2, 1, mask);
        ASSERT_EQ(encoded.code, 0) << "mask " << mask;
        const qrkit_test::Decoded read = qrkit_test::decodeWithZxing(encoded.matrix);
        EXPECT_TRUE(read.ok && read.bytes == data) << "mask " << mask << ": " << read.message;
        symbols.push_back(encoded.matrix.toText());
        for (int other = 0; other < mask; ++other)
            EXPECT_NE(symbols[other], symbols[mask]) << "masks " << other << " and " << mask;
    }
    EXPECT_EQ(encode(data, 2, 1, 9).matrix.toText(), symbols[7]);
    EXPECT_EQ(encode(data, 2, 1, -2).matrix.toText(), encode(data, 2, 1, -1).matrix.toText());
}

// The symbol of plain data with an overlay pattern written into its centre.
std::vector<std::string> withOverlay(const std::string& data, int versionWord,
                                     kelvane2::I2DBitPattern* overlay) {
    IQrcodeResult* handle = nullptr;
    const EncodeOptions options{versionWord, 0, -1};
    EXPECT_EQ(encodeQr(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size()),
                       options, &handle),
              0);
    {
        ViewRef<kelvane2::I2DBitPatternModifiable> target;
        EXPECT_EQ(target.query(handle, kelvane2::IID_I2DBitPatternModifiable), 0);
        if (overlay != nullptr) kelvane2::qrencode::applyCenterOverlay(target.get(), overlay);
    }
    const ModuleMatrix matrix = ModuleMatrix::fromPattern(handle);
    handle->Release();
    return matrix.toText();
}

TEST(EncodeQr, CenterOverlays) {
    // ":swiss7" is the symbol of the plain data at version 6 with the cross of its width in the centre.
    ViewRef<kelvane2::I2DBitPattern> cross(kelvane2::qrencode::makeSwissCrossOverlay(41));
    ASSERT_TRUE(cross);
    const Encoded swiss = encode("~50[:swiss7]HELLO", 0, 0);
    ASSERT_EQ(swiss.code, 0);
    EXPECT_EQ(swiss.version, 6);
    EXPECT_EQ(swiss.matrix.toText(), withOverlay("HELLO", 6, cross.get()));
    for (int j = 0; j < 7; ++j) {
        for (int k = 0; k < 7; ++k)
            EXPECT_EQ(swiss.matrix.at(17 + j, 17 + k), cross->getModule(j, k)) << j << "," << k;
    }

    // Another case of the name, or another name, draws nothing but still raises the version.
    const std::vector<std::string> plain6 = withOverlay("HELLO", 6, nullptr);
    for (const char* input : {"~50[:SWISS7]HELLO", "~50[:Swiss7]HELLO", "~50[:swiss8]HELLO"}) {
        const Encoded named = encode(input, 0, 0);
        ASSERT_EQ(named.code, 0) << input;
        EXPECT_EQ(named.version, 6) << input;
        EXPECT_EQ(named.matrix.toText(), plain6) << input;
    }

    // A bitmap wins over the name.
    ViewRef<kelvane2::I2DBitPattern> bitmap(kelvane2::qrencode::parseOverlayText("3,3,E0A0E0", 10));
    ASSERT_TRUE(bitmap);
    const std::vector<std::string> expected = withOverlay("HELLO", 6, bitmap.get());
    for (const char* input : {"~50[:swiss7]~50[3,3,E0A0E0]HELLO", "~50[3,3,E0A0E0]~50[:swiss7]HELLO"}) {
        const Encoded both = encode(input, 6, 0);
        ASSERT_EQ(both.code, 0) << input;
        EXPECT_EQ(both.matrix.toText(), expected) << input;
    }
}

TEST(EncodeQr, MemoryExhaustionOnEveryStep) {
    // Each allocation of an encode fails in turn: every run ends with "Out of memory", no handle and
    // nothing left allocated, until the encode needs no more allocations than were allowed.
    const std::string inputs[] = {"~50[:swiss7]HELLO 12345 ~4[~d147~d095]", "~50[3,3,E0A0E0]abc",
                                  "~2[1][2,7]~7000026~1" + std::string(300, '7')};
    for (const std::string& data : inputs) {
        ASSERT_EQ(encode(data, 0, 1).code, 0) << "caches filled first";
        bool succeeded = false;
        for (std::int64_t n = 0; n < 100000 && !succeeded; ++n) {
            IQrcodeResult* handle = reinterpret_cast<IQrcodeResult*>(0x1);
            const EncodeOptions options{0, 1, -1};
            const std::int64_t before = qrkit_test::liveAllocations();
            qrkit_test::failAllocationAfter(n);
            const std::int32_t code = encodeQr(reinterpret_cast<const std::uint8_t*>(data.data()),
                                               static_cast<int>(data.size()), options, &handle);
            const bool failed = qrkit_test::allocationFailureHappened();
            qrkit_test::disarmAllocationFailure();
            if (!failed) {
                ASSERT_EQ(code, 0);
                handle->Release();
                succeeded = true;
                break;
            }
            ASSERT_EQ(code, kelvane2::kOutOfMemoryResult) << data << ", allocation " << n;
            ASSERT_EQ(handle, nullptr) << data << ", allocation " << n;
            ASSERT_EQ(qrkit_test::liveAllocations(), before)
                << data << ": leak after failing allocation " << n;
        }
        EXPECT_TRUE(succeeded) << data;
    }
}

struct WideCase {
    const char* name;
    std::u16string text;
    std::string bytes;
};

const WideCase kWideCases[] = {
    {"empty", u"", ""},
    {"Latin-1 one byte a unit", u"Gr\u00FC\u00DFe", "\x47\x72\xFC\xDF\x65"},
    {"beyond Latin-1 switches to UTF-8", u"Gr\u00FC\u00DFe\u20AC",
     "\xEF\xBB\xBF\x47\x72\xC3\xBC\xC3\x9F\x65\xE2\x82\xAC"},
    {"U+0100 two bytes", u"A\u0100", "\xEF\xBB\xBF\x41\xC4\x80"},
    {"U+FFFF three bytes", u"\uFFFF", "\xEF\xBB\xBF\xEF\xBF\xBF"},
    {"surrogate pair four bytes", u"\U0001F600", "\xEF\xBB\xBF\xF0\x9F\x98\x80"},
    {"last code point", u"\U0010FFFF", "\xEF\xBB\xBF\xF4\x8F\xBF\xBF"},
    {"high surrogate then a letter keeps the letter", std::u16string{0xD800, 0x0041},
     "\xEF\xBB\xBF\xED\xA0\x80\x41"},
    {"high surrogate last", std::u16string{0x0041, 0xDBFF}, "\xEF\xBB\xBF\x41\xED\xAF\xBF"},
    {"lone low surrogate", std::u16string{0xDC00}, "\xEF\xBB\xBF\xED\xB0\x80"},
    {"two highs then a low", std::u16string{0xD800, 0xD800, 0xDC00},
     "\xEF\xBB\xBF\xED\xA0\x80\xF0\x90\x80\x80"},
};

TEST(NarrowWideInput, Examples) {
    for (const WideCase& row : kWideCases)
        EXPECT_EQ(qrkit_test::printable(narrowWideInput(row.text.c_str())), qrkit_test::printable(row.bytes))
            << row.name;
    EXPECT_EQ(narrowWideInput(nullptr), "");
}

TEST(NarrowWideInput, StopsAtTheTerminator) {
    // A high surrogate right before the terminator is not paired with what lies beyond it.
    const char16_t units[] = {0xD800, 0, 0xDC00, 0};
    EXPECT_EQ(qrkit_test::printable(narrowWideInput(units)),
              qrkit_test::printable("\xEF\xBB\xBF\xED\xA0\x80"));
}

}  // namespace
