// HIBC formatting and encoding, and the structured-append parity.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "encoder/hibc.h"
#include "encoder/result_codes.h"

namespace kelvane2::qrencode {
namespace {

TEST(Hibc, Format) {
    const struct {
        const char* name;
        std::string data;
        int error;
        std::string formatted;
    } cases[] = {
        {"a1b2: sum 65, check character M", "a1b2", 0, "+A1B2M"},
        {"empty data: the check character of 41 is '+'", "", 0, "++"},
        {"36 characters are accepted (sum 41 + 36 x 7 = 293, check Z)", std::string(36, '7'), 0,
         "+" + std::string(36, '7') + "Z"},
        {"37 characters are too long", std::string(37, '7'), kErrInputTooLong, ""},
        {"'*' is outside the set", "A*B", kErrInvalidCharacters, ""},
        {"'~' is outside the set", "A~B", kErrInvalidCharacters, ""},
        {"bytes above 127 are outside the set", "A\xC4", kErrInvalidCharacters, ""},
        {"every special character of the set (sum 314, check D)", "-. $/+%", 0, "+-. $/+%D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.data;
        char output[101];
        int capacity = sizeof output;
        EXPECT_EQ(formatHibc(text.data(), output, &capacity), c.error);
        if (c.error != 0) continue;
        EXPECT_EQ(std::string(output), c.formatted);
        EXPECT_EQ(capacity, static_cast<int>(c.formatted.size()) + 1);
        int needed = 0;
        std::string again = c.data;
        EXPECT_EQ(formatHibc(again.data(), nullptr, &needed), 0);
        EXPECT_EQ(needed, static_cast<int>(c.data.size()) + 3);
    }
}

TEST(Hibc, SmallOutputBuffer) {
    std::string text = "A1B2";
    char output[6];
    int capacity = sizeof output;  // the NUL does not fit
    EXPECT_EQ(formatHibc(text.data(), output, &capacity), kErrBufferTooSmall);
}

TEST(Hibc, EncodeReportsEveryFormattingFailureAsTooLong) {
    const struct {
        const char* name;
        std::string data;
    } cases[] = {
        {"101 bytes", std::string(101, 'A')},
        {"37 characters", std::string(37, 'A')},
        {"a character outside the set", "AB*"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IQrcodeResult* untouched = reinterpret_cast<IQrcodeResult*>(0x1);
        EXPECT_EQ(encodeHibc(c.data.c_str(), EncodeOptions{0, 0, -1}, &untouched),
                  failureCode(kErrInputTooLong));
        EXPECT_EQ(untouched, reinterpret_cast<IQrcodeResult*>(0x1));  // the caller's variable is left alone
    }
}

TEST(Hibc, EncodeHonoursTheVersionWord) {
    IQrcodeResult* handle = nullptr;
    ASSERT_EQ(encodeHibc("a1b2", EncodeOptions{5, 2, -1}, &handle), 0);
    EXPECT_EQ(handle->getVersion(), 5);
    EXPECT_EQ(handle->getEcLevel(), 2);
    handle->Release();
    EXPECT_EQ(encodeHibc("a1b2", EncodeOptions{0x8000, 0, -1}, &handle), failureCode(kErrInputTooLong));
    EXPECT_EQ(handle, nullptr);
}

TEST(Parity, OfData) {
    const struct {
        const char* name;
        std::string data;
        int parity;
    } cases[] = {
        {"AB", "AB", 0x41 ^ 0x42},
        {"empty", "", 0},
        {"one character", "Z", 'Z'},
        {"escapes count by their bytes", "~d065~M", 0x41 ^ 0x0D},
        {"FNC1 first adds nothing", "~1AB", 0x41 ^ 0x42},
        {"an ECI designator adds nothing", "~7000026AB", 0x41 ^ 0x42},
        {"a structured-append header adds nothing", "~2[1][2,7]AB", 0x41 ^ 0x42},
        {"Kanji bytes count", "~4[~d147~d095]", 0x93 ^ 0x5F},
        {"a parse error keeps what was parsed", "AB~4[~d001]", 0x41 ^ 0x42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(computeParity(reinterpret_cast<const std::uint8_t*>(c.data.data()),
                                static_cast<int>(c.data.size())),
                  c.parity);
    }
}

}  // namespace
}  // namespace kelvane2::qrencode
