#include "encoder/result_codes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "qrkit/qrkit.h"

namespace {

struct MessageCase {
    const char* name;
    std::uint32_t code;
    const char* message;
};

const MessageCase kMessageCases[] = {
    {"input too long", 0x80520005u, "Input is too long"},
    {"failure bit not tested", 0x00520005u, "Input is too long"},
    {"bits 31-29 not tested", 0xE0520005u, "Input is too long"},
    {"bit 28 is part of the facility", 0x90520005u, "Unspecified error."},
    {"facility 83", 0x80530005u, "Unspecified error."},
    {"bare number has facility 0", 12u, "Unspecified error."},
    {"buffer too small", 0x8052000Cu, "Output buffer size is too small"},
    {"number 8 has no message", 0x80520008u, "Unspecified error."},
    {"number 51 has no message", 0x80520033u, "Unspecified error."},
    {"success", 0u, "Unspecified error."},
    {"invalid characters", 0x80520006u, "Invalid characters in input data"},
    {"encoding problem", 0x80520009u, "Encoding problem. Try run again"},
    {"file access denied", 0x8052000Au, "File access denied"},
    {"out of memory", 0x8052000Bu, "Out of memory"},
    {"invalid length string", 0x8052001Eu, "Invalid length string"},
    {"append missing field", 0x80520032u, "Missing field in Structural Append block"},
    {"append sequence", 0x80520034u, "Invalid Sequence in Structural Append block"},
    {"append total", 0x80520035u, "Invalid TotalNum in Structural Append block"},
    {"kanji block", 0x80520050u, "Invalid Kanji block"},
    {"fnc1 second block", 0x80520051u, "Invalid FNC1 second position block"},
    {"overlay block", 0x8052005Au, "Invalid center overlay block"},
    {"high bits of the number count", 0x80520105u, "Unspecified error."},
    {"E_POINTER is another facility", 0x80004003u, "Unspecified error."},
};

TEST(ResultCodes, MessageOfEveryCode) {
    for (const MessageCase& row : kMessageCases) {
        const std::int32_t code = static_cast<std::int32_t>(row.code);
        EXPECT_EQ(std::string(kelvane2::errorMessage(code)), row.message) << row.name;
        EXPECT_EQ(std::string(QRCodeGetErrorMessage(code)), row.message) << row.name << " (export)";
    }
}

TEST(ResultCodes, MessagesAreStatic) {
    EXPECT_EQ(QRCodeGetErrorMessage(static_cast<std::int32_t>(0x80520005u)),
              QRCodeGetErrorMessage(static_cast<std::int32_t>(0x00520005u)));
}

TEST(ResultCodes, FailureCodesAreNegative) {
    EXPECT_EQ(kelvane2::failureCode(5), static_cast<std::int32_t>(0x80520005u));
    EXPECT_LT(kelvane2::failureCode(5), 0);
    EXPECT_EQ(kelvane2::kOutOfMemoryResult, static_cast<std::int32_t>(0x8052000Bu));
}

}  // namespace
