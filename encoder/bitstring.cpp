// Bit sequences as '0'/'1' text and their packing into codeword bytes.
#include "encoder/bitstring.h"

#include <cassert>

namespace kelvane2::qrencode {

void BitString::appendNumber(std::uint32_t value, int n) {
    assert(n >= 0 && n <= 32);
    if (n <= 0) return;
    std::size_t old = text_.size();
    text_.resize(old + static_cast<std::size_t>(n));
    char* out = &text_[old];
    for (int shift = n - 1; shift >= 0; --shift)
        *out++ = static_cast<char>('0' + ((value >> shift) & 1u));
}

void BitString::appendBytes(const std::uint8_t* bytes, int count) {
    if (count <= 0) return;
    std::size_t old = text_.size();
    text_.resize(old + 8 * static_cast<std::size_t>(count));
    char* out = &text_[old];
    for (int i = 0; i < count; ++i) {
        unsigned byte = bytes[i];
        for (int shift = 7; shift >= 0; --shift)
            *out++ = static_cast<char>('0' + ((byte >> shift) & 1u));
    }
}

std::vector<std::uint8_t> packBits(const BitString& bits) {
    const std::string& text = bits.text();
    std::vector<std::uint8_t> bytes((text.size() + 7) / 8);
    const char* in = text.data();
    std::size_t whole = text.size() / 8;
    for (std::size_t i = 0; i < whole; ++i) {
        unsigned byte = 0;
        for (int k = 0; k < 8; ++k)
            byte = (byte << 1) | static_cast<unsigned>(*in++ == '1');
        bytes[i] = static_cast<std::uint8_t>(byte);
    }
    // A last group of fewer than eight bits is right-aligned.
    std::size_t rest = text.size() % 8;
    if (rest != 0) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < rest; ++k)
            byte = (byte << 1) | static_cast<unsigned>(*in++ == '1');
        bytes[whole] = static_cast<std::uint8_t>(byte);
    }
    return bytes;
}

}  // namespace kelvane2::qrencode
