// A bit sequence held as text of '0' and '1' characters in transmission order; packed into codeword
// bytes only at the end.
#ifndef QRKIT_ENCODER_BITSTRING_H
#define QRKIT_ENCODER_BITSTRING_H

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "encoder/arena.h"

namespace kelvane2::qrencode {

class BitString {
  public:
    // An empty string on the heap.
    BitString() = default;
    // An empty string in the memory of an input (encoder/arena.h); its copies go to the heap.
    explicit BitString(Arena* arena) : text_(ArenaAllocator<char>(arena)) {}

    // Appends the low n bits of value, most significant first (n = 0 appends nothing; n <= 32).
    void appendNumber(std::uint32_t value, int n);
    // Appends each byte in 8 bits, most significant first.
    void appendBytes(const std::uint8_t* bytes, int count);
    void append(const BitString& other) { text_ += other.text_; }
    void appendZeros(int n) { text_.append(static_cast<std::size_t>(n), '0'); }
    void clear() { text_.clear(); }
    // Grows the text by n characters and returns where they start; the caller writes all n of them
    // (writeBits) before the string is used again.
    char* extend(int n) {
        std::size_t old = text_.size();
        text_.resize(old + static_cast<std::size_t>(n));
        return &text_[old];
    }
    // Makes room for n more bits without reallocating while they are appended.
    void reserve(int n) { text_.reserve(text_.size() + static_cast<std::size_t>(n)); }
    int length() const { return static_cast<int>(text_.size()); }
    std::string_view text() const { return std::string_view(text_.data(), text_.size()); }

  private:
    std::basic_string<char, std::char_traits<char>, ArenaAllocator<char>> text_;
};

// The eight characters of every byte value, most significant bit first.
constexpr std::array<std::array<char, 8>, 256> makeByteBits() {
    std::array<std::array<char, 8>, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        for (unsigned k = 0; k < 8; ++k)
            table[byte][k] = static_cast<char>('0' + ((byte >> (7 - k)) & 1u));
    }
    return table;
}
inline constexpr std::array<std::array<char, 8>, 256> kByteBits = makeByteBits();

// Writes the eight bits of a byte as characters, most significant first; returns the end.
inline char* writeByte(char* out, std::uint8_t byte) {
    std::memcpy(out, kByteBits[byte].data(), 8);
    return out + 8;
}

// Writes the low n bits of value as characters, most significant first; returns the end.
inline char* writeBits(char* out, std::uint32_t value, int n) {
    for (int shift = n - 1; shift >= 0; --shift)
        *out++ = static_cast<char>('0' + ((value >> shift) & 1u));
    return out;
}

// Groups of eight characters become bytes, the first character the most significant bit; a final group
// of k < 8 characters becomes one more byte holding those k bits right-aligned.
std::vector<std::uint8_t> packBits(const BitString& bits);
// The same into out, which holds (length + 7) / 8 bytes; returns that number.
int packBits(const BitString& bits, std::uint8_t* out);

}  // namespace kelvane2::qrencode

#endif
