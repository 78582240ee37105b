// Internals of the input language and the run division, shared by the parser, the segment encoder, the
// overlay parser and their tests.
#ifndef QRKIT_ENCODER_INPUT_DETAIL_H
#define QRKIT_ENCODER_INPUT_DETAIL_H

#include <array>
#include <cstdint>

namespace kelvane2::qrencode::detail {

// ISO/IEC 18004 Table 5: the alphanumeric character values; -1 outside the set.
constexpr std::array<std::int8_t, 256> makeAlphanumericValues() {
    std::array<std::int8_t, 256> table{};
    for (auto& entry : table)
        entry = -1;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = static_cast<std::int8_t>(c - 'A' + 10);
    const char symbols[] = " $%*+-./:";
    for (int i = 0; i < 9; ++i)
        table[static_cast<unsigned char>(symbols[i])] = static_cast<std::int8_t>(36 + i);
    return table;
}
inline constexpr std::array<std::int8_t, 256> kAlphanumericValues = makeAlphanumericValues();

// The value of a byte in the 45-character alphanumeric set ('0'-'9' 0-9, 'A'-'Z' 10-35, space 36,
// '$' 37, '%' 38, '*' 39, '+' 40, '-' 41, '.' 42, '/' 43, ':' 44), or -1 for every other byte.
inline int alphanumericValue(std::uint8_t byte) {
    return kAlphanumericValues[byte];
}

inline bool isDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}
inline bool isAlphanumeric(std::uint8_t byte) {
    return alphanumericValue(byte) >= 0;
}
// The byte class: neither digit nor alphanumeric (lower-case letters and 0x80-0xFF included).
inline bool isByteClass(std::uint8_t byte) {
    return !isAlphanumeric(byte);
}

// The mode a run of plain bytes (length >= 1) starts in: Numeric, Alphanumeric or Byte.
int leadingMode(const std::uint8_t* run, int length);

// The decimal number at the start of [begin, end): optional white space, an optional sign, then digits
// up to the first other character; 0 when no digit follows. Saturates at INT32_MIN and INT32_MAX.
std::int32_t leadingDecimal(const char* begin, const char* end);

// The designator bytes of a six-digit number 0-999999 (one, two or three bytes, the ECI designator
// forms). Returns their count.
int designatorBytes(std::uint32_t value, std::uint8_t out[3]);

// The structured-append parity of input in the input language, read by the parser without building
// segments: the XOR of the bytes of every numeric, alphanumeric, byte and Kanji segment that a parse
// produces (up to the error, when the input fails to parse). Allocates nothing.
std::uint8_t parityOfInput(const std::uint8_t* data, int length);

}  // namespace kelvane2::qrencode::detail

#endif
