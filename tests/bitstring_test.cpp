// BitString appends and the packing of bit text into codeword bytes.
#include "encoder/bitstring.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvane2::qrencode {
namespace {

TEST(BitString, AppendNumberWritesTheLowBitsMostSignificantFirst) {
    struct Row {
        const char* name;
        std::uint32_t value;
        int n;
        const char* bits;
    };
    const Row rows[] = {
        {"zero width appends nothing", 0xFFFFFFFFu, 0, ""},
        {"count field of eight digits", 8, 10, "0000001000"},
        {"only the low bits are kept", 0x1F5, 4, "0101"},
        {"all 32 bits", 0x80000001u, 32, "10000000000000000000000000000001"},
    };
    for (const Row& row : rows) {
        BitString bits;
        bits.appendNumber(row.value, row.n);
        EXPECT_EQ(bits.text(), row.bits) << row.name;
        EXPECT_EQ(bits.length(), static_cast<int>(std::string(row.bits).size())) << row.name;
    }
}

TEST(BitString, AppendsBytesZerosAndOtherStrings) {
    const std::uint8_t bytes[] = {0xEC, 0x11};
    BitString bits;
    bits.appendBytes(bytes, 2);
    bits.appendZeros(3);
    BitString more;
    more.appendNumber(1, 1);
    bits.append(more);
    EXPECT_EQ(bits.text(),
              "1110110000010001"
              "000"
              "1");
    bits.clear();
    EXPECT_EQ(bits.length(), 0);
}

TEST(BitString, PackBits) {
    struct Row {
        const char* name;
        const char* bits;
        std::vector<std::uint8_t> bytes;
    };
    const Row rows[] = {
        {"empty text packs to nothing", "", {}},
        {"whole bytes", "1110110000010001", {0xEC, 0x11}},
        {"a final group of four bits is right-aligned", "101001011101", {0xA5, 0x0D}},
        {"a single bit", "1", {0x01}},
        {"seven bits", "1000000", {0x40}},
    };
    for (const Row& row : rows) {
        BitString bits;
        for (const char* c = row.bits; *c != '\0'; ++c)
            bits.appendNumber(*c == '1' ? 1u : 0u, 1);
        EXPECT_EQ(packBits(bits), row.bytes) << row.name;
    }
}

}  // namespace
}  // namespace kelvane2::qrencode
