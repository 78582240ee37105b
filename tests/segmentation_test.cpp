// Division of plain runs into segments, forced modes and QR version selection.
#include <gtest/gtest.h>

#include <string>

#include "encoder/input_detail.h"
#include "encoder/qrinput.h"
#include "encoder/result_codes.h"
#include "segment_text.h"

namespace kelvane2::qrencode {
namespace {

using testing::bytesOf;
using testing::segmentText;

std::string divided(const std::string& run) {
    QRInput input(0, 0, 0);
    std::vector<std::uint8_t> bytes = bytesOf(run);
    input.segmentRun(bytes.data(), static_cast<int>(bytes.size()));
    return segmentText(input.segments);
}

TEST(SegmentRun, WorkedExamples) {
    struct Row {
        const char* run;
        const char* segments;
    };
    const Row rows[] = {
        {"ABC123", "Alphanumeric ABC123"},
        {"abc123", "Byte abc123"},
        {"123ABC", "Alphanumeric 123ABC"},
        {"12a", "Byte 12a"},
        {"12345a", "Alphanumeric 12345 | Byte a"},
        {"123456", "Numeric 123456"},
        {"Hello 1234567890", "Byte Hello | Alphanumeric  1234567890"},
        {"abc12345678901", "Byte abc | Numeric 12345678901"},
        {"12345678901234A", "Numeric 12345678901234 | Alphanumeric A"},
        {"A12345678901234", "Alphanumeric A | Numeric 12345678901234"},
        {"A123456789012", "Alphanumeric A123456789012"},
        {"0123456789ABCDEFGHIJK", "Numeric 0123456789 | Alphanumeric ABCDEFGHIJK"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(divided(row.run), row.segments) << row.run;
}

TEST(SegmentRun, EdgeCases) {
    struct Row {
        const char* name;
        const char* run;
        const char* segments;
    };
    const Row rows[] = {
        {"one digit", "7", "Numeric 7"},
        {"one capital letter", "Q", "Alphanumeric Q"},
        {"one lower-case letter", "q", "Byte q"},
        {"capitals and space stay alphanumeric", "HELLO WORLD", "Alphanumeric HELLO WORLD"},
        {"lower case makes the run byte", "Hello World", "Byte Hello World"},
        {"A and 12 digits", "A123456789012", "Alphanumeric A123456789012"},
        {"A and 13 digits", "A1234567890123", "Alphanumeric A | Numeric 1234567890123"},
        {"five digits after bytes stay bytes", "abc12345", "Byte abc12345"},
        {"six digits after bytes become numeric", "abc123456", "Byte abc | Numeric 123456"},
        {"the 11-character window is met at X", "abcXYZABCDE123456",
         "Byte abc | Alphanumeric XYZABCDE123456"},
        {"ten alphanumerics after bytes stay bytes", "abcXYZABCDE1", "Byte abcXYZABCDE1"},
        {"a high byte is byte class", "\xE9t\xE9", "Byte {E9}t{E9}"},
        {"digit then byte within four", "1234a5678", "Byte 1234a5678"},
        {"numeric left at an alphanumeric-only byte", "1234567A", "Numeric 1234567 | Alphanumeric A"},
        {"numeric left at a byte", "1234567a", "Numeric 1234567 | Byte a"},
        {"alphanumeric left at a byte", "ABCDEFGHa", "Alphanumeric ABCDEFGH | Byte a"},
        {"byte back to alphanumeric and numeric", "x1234567ABCDEFGHIJKLx",
         "Byte x | Numeric 1234567 | Alphanumeric ABCDEFGHIJKL | Byte x"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(divided(row.run), row.segments) << row.name;
}

TEST(SegmentRun, LeadingMode) {
    struct Row {
        const char* run;
        int mode;
    };
    const Row rows[] = {
        {"a", kByte},
        {"A", kAlphanumeric},
        {"1", kNumeric},
        {"ABCDEFa", kByte},
        {"ABCDEFGa", kAlphanumeric},
        {"1234a", kByte},
        {"12345a", kAlphanumeric},
        {"123456A", kAlphanumeric},
        {"1234567A", kNumeric},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> bytes = bytesOf(row.run);
        EXPECT_EQ(detail::leadingMode(bytes.data(), static_cast<int>(bytes.size())), row.mode) << row.run;
    }
}

TEST(ForcedRun, Modes) {
    struct Row {
        const char* name;
        int forcedMode;
        const char* run;
        int result;
        const char* segments;
    };
    const Row rows[] = {
        {"single narrowest: digits", 1, "12345", 0, "Numeric 12345"},
        {"single narrowest: not divided", 1, "12345a", 0, "Byte 12345a"},
        {"single narrowest: alphanumeric", 1, "AB 12", 0, "Alphanumeric AB 12"},
        {"numeric only", 2, "0042", 0, "Numeric 0042"},
        {"numeric only rejects a letter", 2, "12A", kErrInvalidCharacters, ""},
        {"alphanumeric only", 3, "ABC-12", 0, "Alphanumeric ABC-12"},
        {"alphanumeric only rejects lower case", 3, "abc", kErrInvalidCharacters, ""},
        {"byte", 4, "123", 0, "Byte 123"},
        {"byte under mode 5", 5, "123", 0, "Byte 123"},
        {"byte under mode 7", 7, "ABC", 0, "Byte ABC"},
    };
    for (const Row& row : rows) {
        QRInput input(0, row.forcedMode, 0);
        std::vector<std::uint8_t> bytes = bytesOf(row.run);
        EXPECT_EQ(input.forcedRun(bytes.data(), static_cast<int>(bytes.size())), row.result) << row.name;
        EXPECT_EQ(segmentText(input.segments), row.segments) << row.name;
    }
}

struct Settled {
    bool ok;
    int version;
};

Settled settle(int requested, int level, int mode, int size) {
    QRInput input(requested, 0, level);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size), mode == kNumeric ? '5' : 'x');
    if (size > 0) input.appendSegment(mode, data.data(), size);
    bool ok = input.settleVersion();
    return {ok, input.version};
}

TEST(SettleVersion, Examples) {
    struct Row {
        const char* name;
        int requested;
        int level;
        int mode;
        int size;
        bool ok;
        int version;  // when ok
    };
    const Row rows[] = {
        {"empty list: version 1", 0, 0, kByte, 0, true, 1},
        {"empty list keeps the requested version", 5, 2, kByte, 0, true, 5},
        {"230 bytes at L: version 9", 0, 0, kByte, 230, true, 9},
        {"270 bytes at L: version 10", 0, 0, kByte, 270, true, 10},
        {"never below the requested version", 12, 0, kByte, 10, true, 12},
        {"2000 bytes at L", 0, 0, kByte, 2000, true, 33},
        {"2953 bytes at L reach version 40", 0, 0, kByte, 2953, true, 40},
        {"2954 bytes at L fit nothing", 0, 0, kByte, 2954, false, 0},
        {"7089 digits at L reach version 40", 0, 0, kNumeric, 7089, true, 40},
        {"7089 digits from requested version 12", 12, 0, kNumeric, 7089, true, 40},
        {"7090 digits at L fit nothing", 0, 0, kNumeric, 7090, false, 0},
        {"1273 bytes at H: 1276 codewords of version 40", 0, 3, kByte, 1273, true, 40},
        {"1274 bytes at H fit nothing", 0, 3, kByte, 1274, false, 0},
    };
    for (const Row& row : rows) {
        Settled settled = settle(row.requested, row.level, row.mode, row.size);
        EXPECT_EQ(settled.ok, row.ok) << row.name;
        if (row.ok) {
            EXPECT_EQ(settled.version, row.version) << row.name;
        }
    }
}

TEST(SettleVersion, LowerBoundIterates) {
    // 270 bytes: estimated at version 1 as 2184 bits (273 bytes, version 10), then at version 10 as
    // 2180 bits.
    QRInput input(0, 0, 0);
    std::vector<std::uint8_t> data(270, 'x');
    input.appendSegment(kByte, data.data(), 270);
    EXPECT_EQ(input.lowerBoundVersion(), 10);

    QRInput tooLong(0, 0, 0);
    std::vector<std::uint8_t> big(2953, 'x');
    tooLong.appendSegment(kByte, big.data(), 2953);
    EXPECT_EQ(tooLong.lowerBoundVersion(), -1);
}

}  // namespace
}  // namespace kelvane2::qrencode
