// Bit sequences as '0'/'1' text and their packing into codeword bytes.
#include "encoder/bitstring.h"

#include <array>
#include <cassert>
#include <cstring>

namespace kelvane2::qrencode {

namespace {

// Eight characters of bit text as one byte, the first character the most significant bit.
inline unsigned packGroup(const char* text) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Bit 0 of each character ('0' 0x30, '1' 0x31) gathered into the top byte of the product: the
    // first character, the lowest byte in memory, lands on bit 63.
    std::uint64_t word;
    std::memcpy(&word, text, 8);
    word &= 0x0101010101010101ull;
    return static_cast<unsigned>((word * 0x8040201008040201ull) >> 56);
#else
    unsigned byte = 0;
    for (int k = 0; k < 8; ++k)
        byte = (byte << 1) | static_cast<unsigned>(text[k] == '1');
    return byte;
#endif
}

}  // namespace

void BitString::appendNumber(std::uint32_t value, int n) {
    assert(n >= 0 && n <= 32);
    if (n <= 0) return;
    std::size_t old = text_.size();
    text_.resize(old + static_cast<std::size_t>(n));
    char* out = &text_[old];
    int lead = n % 8;
    for (int shift = n - 1; shift >= n - lead; --shift)
        *out++ = static_cast<char>('0' + ((value >> shift) & 1u));
    for (int shift = n - lead - 8; shift >= 0; shift -= 8) {
        std::memcpy(out, kByteBits[(value >> shift) & 0xFFu].data(), 8);
        out += 8;
    }
}

void BitString::appendBytes(const std::uint8_t* bytes, int count) {
    if (count <= 0) return;
    std::size_t old = text_.size();
    text_.resize(old + 8 * static_cast<std::size_t>(count));
    char* out = &text_[old];
    for (int i = 0; i < count; ++i) {
        std::memcpy(out, kByteBits[bytes[i]].data(), 8);
        out += 8;
    }
}

int packBits(const BitString& bits, std::uint8_t* out) {
    const std::string_view text = bits.text();
    const char* in = text.data();
    const std::size_t whole = text.size() / 8;
    for (std::size_t i = 0; i < whole; ++i, in += 8)
        out[i] = static_cast<std::uint8_t>(packGroup(in));
    // A last group of fewer than eight bits is right-aligned.
    const std::size_t rest = text.size() % 8;
    if (rest != 0) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < rest; ++k)
            byte = (byte << 1) | static_cast<unsigned>(in[k] == '1');
        out[whole] = static_cast<std::uint8_t>(byte);
    }
    return static_cast<int>((text.size() + 7) / 8);
}

std::vector<std::uint8_t> packBits(const BitString& bits) {
    std::vector<std::uint8_t> bytes((bits.text().size() + 7) / 8);
    if (!bytes.empty()) packBits(bits, bytes.data());
    return bytes;
}

}  // namespace kelvane2::qrencode
