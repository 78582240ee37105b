#include "encoder/result_codes.h"

namespace kelvane2 {

namespace {

struct MessageRow {
    int number;
    const char* text;
};

// Error numbers and their messages.
constexpr MessageRow kMessages[] = {
    {kErrInputTooLong, "Input is too long"},
    {kErrInvalidCharacters, "Invalid characters in input data"},
    {kErrEncodingProblem, "Encoding problem. Try run again"},
    {kErrFileAccessDenied, "File access denied"},
    {kErrOutOfMemory, "Out of memory"},
    {kErrBufferTooSmall, "Output buffer size is too small"},
    {kErrInvalidLengthString, "Invalid length string"},
    {kErrAppendMissingField, "Missing field in Structural Append block"},
    {kErrAppendSequence, "Invalid Sequence in Structural Append block"},
    {kErrAppendTotal, "Invalid TotalNum in Structural Append block"},
    {kErrKanjiBlock, "Invalid Kanji block"},
    {kErrFnc1SecondBlock, "Invalid FNC1 second position block"},
    {kErrOverlayBlock, "Invalid center overlay block"},
};

constexpr const char* kUnspecified = "Unspecified error.";

}  // namespace

const char* errorMessage(std::int32_t code) {
    std::uint32_t bits = static_cast<std::uint32_t>(code);
    // All thirteen facility bits (28-16) take part; bits 31-29 do not.
    if ((bits & 0x1FFF0000u) != 0x00520000u) return kUnspecified;
    int number = static_cast<int>(bits & 0xFFFFu);
    for (const MessageRow& row : kMessages) {
        if (row.number == number) return row.text;
    }
    return kUnspecified;
}

}  // namespace kelvane2
