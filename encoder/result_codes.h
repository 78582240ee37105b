// Result codes: 0 for success, 0x80520000 | n for failure with error number n (facility 82).
#ifndef QRKIT_ENCODER_RESULT_CODES_H
#define QRKIT_ENCODER_RESULT_CODES_H

#include <cstdint>

namespace kelvane2 {

// Error numbers. Each has one fixed message (errorMessage); 8 has none of its own.
enum ErrorNumber : int {
    kErrInputTooLong = 5,
    kErrInvalidCharacters = 6,
    kErrUnspecified = 8,
    kErrEncodingProblem = 9,
    kErrFileAccessDenied = 10,
    kErrOutOfMemory = 11,
    kErrBufferTooSmall = 12,
    kErrInvalidLengthString = 30,
    kErrAppendMissingField = 50,
    kErrAppendSequence = 52,
    kErrAppendTotal = 53,
    kErrKanjiBlock = 80,
    kErrFnc1SecondBlock = 81,
    kErrOverlayBlock = 90,
};

constexpr std::uint32_t kFacilityCode = 0x80520000u;

// The result code of error number n.
constexpr std::int32_t failureCode(int n) {
    return static_cast<std::int32_t>(kFacilityCode | static_cast<std::uint32_t>(n & 0xFFFF));
}

// Given to callers when memory runs out in an encode ("Out of memory").
constexpr std::int32_t kOutOfMemoryResult = failureCode(kErrOutOfMemory);
// A null data or out pointer given to an encode export (E_POINTER).
constexpr std::int32_t kNullPointerResult = static_cast<std::int32_t>(0x80004003u);

// The message of a result code: when bits 28-16 read 82, the message of error number (code & 0xFFFF);
// otherwise, and for numbers without a message, "Unspecified error.". Static text, never freed.
const char* errorMessage(std::int32_t code);

}  // namespace kelvane2

#endif
