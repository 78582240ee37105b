// Segment bits, size estimates, tail bits and the data bit stream.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/objectmodel.h"
#include "encoder/overlay.h"
#include "encoder/qrinput.h"

namespace kelvane2::qrencode {
namespace {

InputSegment segmentOf(int mode, const std::vector<std::uint8_t>& data) {
    InputSegment segment;
    segment.mode = mode;
    segment.data.assign(data.begin(), data.end());
    return segment;
}

std::vector<std::uint8_t> textBytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(SegmentBits, EveryModeAtAVersion) {
    struct Row {
        const char* name;
        int mode;
        std::vector<std::uint8_t> data;
        int version;
        std::string bits;
    };
    const Row rows[] = {
        {"numeric 01234567", kNumeric, textBytes("01234567"), 1,
         "0001"
         "0000001000"
         "0000001100"
         "0101011001"
         "1000011"},
        {"alphanumeric AD-42", kAlphanumeric, textBytes("AD-42"), 1,
         "0010"
         "000000101"
         "00111001111"
         "11100111001"
         "000010"},
        {"Kanji 93 5F E4 AA",
         kKanji,
         {0x93, 0x5F, 0xE4, 0xAA},
         1,
         "1000"
         "00000010"
         "0110110011111"
         "1101010101010"},
        {"Kanji 9FFC takes the 8140 offset",
         kKanji,
         {0x9F, 0xFC},
         1,
         "1000"
         "00000001"
         "1011100111100"},  // 0x1EBC: 30 * 192 + 188 = 5948
        {"Kanji E040 takes the C140 offset",
         kKanji,
         {0xE0, 0x40},
         1,
         "1000"
         "00000001"
         "1011101000000"},  // 0x1F00: 31 * 192 = 5952
        {"byte ab at version 10 has a 16-bit count", kByte, textBytes("ab"), 10,
         "0100"
         "0000000000000010"
         "01100001"
         "01100010"},
        {"alphanumeric count of version 27 is 13 bits", kAlphanumeric, textBytes("A"), 27,
         "0010"
         "0000000000001"
         "001010"},
        {"numeric count of version 0 is that of versions 1-9", kNumeric, textBytes("9"), 0,
         "0001"
         "0000000001"
         "1001"},
        {"structured append 1 of 3, parity 45",
         kStructuredAppend,
         {3, 1, 45},
         1,
         "0011"
         "0000"
         "0010"
         "00101101"},
        {"designator with one byte",
         kEci,
         {26},
         1,
         "0111"
         "00011010"},
        {"indicator 14 with two bytes",
         kIndicator14,
         {0x80, 0x80},
         1,
         "1110"
         "10000000"
         "10000000"},
        {"indicator 15 without data", kIndicator15, {}, 1, "1111"},
        {"FNC1 first position", kFnc1First, {}, 1, "0101"},
        {"FNC1 second position, indicator 37",
         kFnc1Second,
         {37},
         1,
         "1001"
         "00100101"},
    };
    for (const Row& row : rows) {
        InputSegment segment = segmentOf(row.mode, row.data);
        EXPECT_EQ(encodeQrSegment(segment, row.version), static_cast<int>(row.bits.size())) << row.name;
        EXPECT_EQ(segment.bits.text(), row.bits) << row.name;
    }
}

TEST(SegmentBits, EncodingReplacesEarlierBits) {
    InputSegment segment = segmentOf(kByte, textBytes("ab"));
    encodeQrSegment(segment, 1);
    EXPECT_EQ(encodeQrSegment(segment, 10), 4 + 16 + 16);
    EXPECT_EQ(segment.bits.length(), 36);
}

TEST(SegmentBits, SplitsWhereTheCountFieldIsFull) {
    struct Row {
        const char* name;
        int mode;
        int size;
        int version;
        std::vector<int> partSizes;  // characters counted by each header
    };
    const Row rows[] = {
        {"1024 digits at version 9: 1023 and 1", kNumeric, 1024, 9, {1023, 1}},
        {"1024 digits at version 10: one header", kNumeric, 1024, 10, {1024}},
        {"256 bytes at version 9: 255 and 1", kByte, 256, 9, {255, 1}},
        {"600 bytes at version 1: 255, 255, 90", kByte, 600, 1, {255, 255, 90}},
        {"512 Kanji bytes at version 9: 255 and 1 characters", kKanji, 512, 9, {255, 1}},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(row.size));
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] =
                row.mode == kKanji ? (i % 2 == 0 ? 0x93 : 0x5F) : static_cast<std::uint8_t>('0' + i % 10);
        InputSegment segment = segmentOf(row.mode, data);
        int length = encodeQrSegment(segment, row.version);

        // Build the expected bits part by part from single-part segments.
        std::string expected;
        std::size_t offset = 0;
        for (int characters : row.partSizes) {
            std::size_t bytes = static_cast<std::size_t>(row.mode == kKanji ? 2 * characters : characters);
            InputSegment part = segmentOf(
                row.mode, std::vector<std::uint8_t>(data.begin() + static_cast<long>(offset),
                                                    data.begin() + static_cast<long>(offset + bytes)));
            encodeQrSegment(part, row.version);
            expected += part.bits.text();
            offset += bytes;
        }
        EXPECT_EQ(offset, data.size()) << row.name;
        EXPECT_EQ(segment.bits.text(), expected) << row.name;
        EXPECT_EQ(length, static_cast<int>(expected.size())) << row.name;
    }
    // The second header of the 1024 digits: indicator 0001 and a count of 1.
    std::vector<std::uint8_t> digits(1024, '7');
    InputSegment segment = segmentOf(kNumeric, digits);
    EXPECT_EQ(encodeQrSegment(segment, 9), (4 + 10 + 3410) + (4 + 10 + 4));
    EXPECT_EQ(segment.bits.text().substr(3424, 14),
              "0001"
              "0000000001");
}

TEST(SegmentEstimate, Examples) {
    struct Row {
        const char* name;
        int mode;
        int size;
        int version;
        int estimate;
    };
    const Row rows[] = {
        {"eight digits, exact", kNumeric, 8, 1, 41},
        {"five alphanumeric characters, exact", kAlphanumeric, 5, 1, 41},
        {"230 bytes at level L", kByte, 230, 1, 8 * 230 + 12},
        {"270 bytes counted at version 1: two headers", kByte, 270, 1, 2160 + 2 * 12},
        {"270 bytes counted at version 10: one header", kByte, 270, 10, 2160 + 20},
        {"version 0 counts as version 1", kByte, 270, 0, 2160 + 2 * 12},
        {"1024 digits: one header per 1024", kNumeric, 1024, 9, 3410 + 4 + 14},
        {"four Kanji bytes", kKanji, 4, 1, 26 + 12},
        {"structured append", kStructuredAppend, 3, 1, 20},
        {"one-byte designator over-counts", kEci, 1, 1, 16},
        {"three-byte designator", kIndicator14, 3, 1, 8 * 3 + 4 + 4 * 3},
        {"indicator 15 without data", kIndicator15, 0, 1, 4},
        {"FNC1 first", kFnc1First, 0, 1, 4},
        {"FNC1 second", kFnc1Second, 1, 1, 12},
        {"unknown mode", 12, 5, 1, 0},
    };
    for (const Row& row : rows) {
        InputSegment segment =
            segmentOf(row.mode, std::vector<std::uint8_t>(static_cast<std::size_t>(row.size), '1'));
        EXPECT_EQ(estimateSegmentBits(segment, row.version), row.estimate) << row.name;
    }
}

// A QRInput whose segment list holds bits of a given length at a version and level.
std::string tailOf(int version, int level, int usedBits) {
    QRInput input(version, 0, level);
    if (usedBits > 0) {
        input.appendSegment(kByte, nullptr, 0);
        input.segments.back().bits.appendZeros(usedBits);
    }
    return std::string(input.tailBits().text());
}

std::string pads(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += i % 2 == 0 ? "11101100" : "00010001";
    return text;
}

TEST(TailBits, TerminatorPaddingAndPadCodewords) {
    struct Row {
        const char* name;
        int version;
        int level;
        int used;
        std::string tail;
    };
    const Row rows[] = {
        {"1-M with 41 bits: 7 zero bits, ten pad codewords", 1, 1, 41, std::string(7, '0') + pads(10)},
        {"1-L empty: 8 zero bits, 18 pad codewords", 1, 0, 0, std::string(8, '0') + pads(18)},
        {"exactly 4 free bits: 4 zero bits", 1, 0, 148, "0000"},
        {"exactly 0 free bits: nothing", 1, 0, 152, ""},
        {"5 free bits: terminator and one bit, no pad", 1, 0, 147, "00000"},
        {"12 free bits: one pad codeword, 0xEC", 1, 0, 140, "0000" + pads(1)},
        {"16 free bits: terminator, padding and 0xEC", 1, 0, 136, "00000000" + pads(1)},
        {"more bits than the capacity: nothing", 1, 0, 160, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(tailOf(row.version, row.level, row.used), row.tail) << row.name;
}

std::vector<std::uint8_t> dataCodewordsOf(int version, int level, const SegmentList& segments) {
    QRInput input(version, 0, level);
    input.segments = segments;
    BitString bits;
    if (!input.dataBitString(bits)) return {};
    return packBits(bits);
}

TEST(DataBitString, PackedCodewords) {
    // 01234567 at 1-M, the worked example of ISO/IEC 18004.
    EXPECT_EQ(dataCodewordsOf(1, 1, {segmentOf(kNumeric, textBytes("01234567"))}),
              (std::vector<std::uint8_t>{0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC,
                                         0x11, 0xEC, 0x11, 0xEC, 0x11}));
    // An empty list: terminator, bit padding and 18 pad codewords at 1-L.
    std::vector<std::uint8_t> empty = dataCodewordsOf(0, 0, {});
    ASSERT_EQ(empty.size(), 19u);
    EXPECT_EQ(empty[0], 0x00);
    EXPECT_EQ(empty[1], 0xEC);
    EXPECT_EQ(empty[18], 0x11);
}

TEST(DataBitString, LengthIsTheCapacityOfTheChosenVersion) {
    QRInput input(0, 0, 0);
    input.appendSegment(kByte, textBytes(std::string(270, 'x')).data(), 270);
    BitString bits;
    ASSERT_TRUE(input.dataBitString(bits));
    EXPECT_EQ(input.version, 10);
    EXPECT_EQ(bits.length(), 8 * (346 - 72));
}

TEST(DataBitString, NoneWhenNothingHoldsTheData) {
    QRInput input(0, 0, 3);
    input.appendSegment(kByte, textBytes(std::string(1274, 'x')).data(), 1274);
    BitString bits;
    EXPECT_FALSE(input.dataBitString(bits));
    EXPECT_EQ(bits.length(), 0);
}

TEST(QRInputLifetime, SegmentsKeepTheirOrderAndTheOverlayIsReleased) {
    QRInput input(0, 0, 0);
    const std::uint8_t header[3] = {2, 1, 0xFE};
    input.appendSegment(kByte, textBytes("a").data(), 1);
    input.appendSegment(kFnc1First, nullptr, 0);
    input.prependSegment(kStructuredAppend, header, 3);
    ASSERT_EQ(input.segments.size(), 3u);
    EXPECT_EQ(input.segments[0].mode, kStructuredAppend);
    EXPECT_EQ(input.segments[1].mode, kByte);
    EXPECT_EQ(input.segments[2].mode, kFnc1First);

    const char text[] = "1,1,80";
    I2DBitPattern* overlay = parseOverlayText(text, sizeof text - 1);
    ASSERT_NE(overlay, nullptr);
    overlay->AddRef();
    {
        QRInput owner(0, 0, 0);
        owner.overlay = overlay;  // the input holds one reference
    }
    EXPECT_EQ(overlay->Release(), 0u);
}

}  // namespace
}  // namespace kelvane2::qrencode
