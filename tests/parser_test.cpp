// The input language: escapes, blocks, run limits and the errors of malformed input.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "encoder/input_detail.h"
#include "encoder/objectmodel.h"
#include "encoder/qrinput.h"
#include "encoder/result_codes.h"
#include "segment_text.h"

namespace kelvane2::qrencode {
namespace {

using testing::bytesOf;
using testing::segmentText;

struct Parsed {
    int result;
    std::string segments;
    int version;
};

Parsed parsed(const std::string& text, int version = 0, int forcedMode = 0) {
    QRInput input(version, forcedMode, 0);
    std::vector<std::uint8_t> bytes = bytesOf(text);
    int result = input.parse(bytes.data(), static_cast<int>(bytes.size()));
    return {result, segmentText(input.segments), input.version};
}

struct Row {
    const char* name;
    std::string input;
    int result;
    const char* segments;  // the segments stored, also after a failure
};

void checkRows(const Row* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const Row& row = rows[i];
        Parsed out = parsed(row.input);
        EXPECT_EQ(out.result, row.result) << row.name;
        EXPECT_EQ(out.segments, row.segments) << row.name;
    }
}

TEST(Parser, WorkedExamples) {
    const Row rows[] = {
        {"control bytes in a run", "XYZ~M~J123", 0, "Byte XYZ{0D}{0A}123"},
        {"decimal bytes", "~d065~d066", 0, "Alphanumeric AB"},
        {"decimal above 255 is literal", "~d256", 0, "Byte ~d256"},
        {"structured append with parity", "~2[1][3,45]DATA", 0,
         "StructuredAppend {03}{01}- | Alphanumeric DATA"},
        {"structured append without parity", "~2[2][3]DATA", 0,
         "StructuredAppend {03}{02}{FE} | Alphanumeric DATA"},
        {"structured append only at the start", "X~2[1][3]", 0, "Byte X~2[1][3]"},
        {"FNC1 first then digits",
         "~1"
         "0123456789",
         0, "Fnc1First | Numeric 0123456789"},
        {"FNC1 second", "~3[37]ABC", 0, "Fnc1Second % | Alphanumeric ABC"},
        {"designator then bytes", "~7000026Hello", 0, "Eci {1A} | Byte Hello"},
        {"designator then a digit", "~70000261", 0, "Eci {1A} | Numeric 1"},
        {"Kanji block", "~4[~d147~d095]", 0, "Kanji {93}_"},
        {"empty input", "", 0, ""},
    };
    checkRows(rows, std::size(rows));
}

TEST(Parser, SingleByteEscapes) {
    const Row rows[] = {
        {"~@ is 0x00", "~@", 0, "Byte {00}"},
        {"~Z is 0x1A", "~Z", 0, "Byte {1A}"},
        {"~D is 0x04", "~D", 0, "Byte {04}"},
        {"~a is no escape", "~a", 0, "Byte ~a"},
        {"~[ is no escape", "~[", 0, "Byte ~["},
        {"~~ is one tilde", "~~", 0, "Byte ~"},
        {"a tilde at the end stands for itself", "AB~", 0, "Byte AB~"},
        {"a lone tilde", "~", 0, "Byte ~"},
        {"decimal escape cut by the end", "~d12", 0, "Byte ~d12"},
        {"decimal escape with a non-digit", "~d1x5", 0, "Byte ~d1x5"},
        {"decimal 000", "~d000", 0, "Byte {00}"},
        {"decimal 255", "~d255", 0, "Byte {FF}"},
    };
    checkRows(rows, std::size(rows));
}

TEST(Parser, Designators) {
    const Row rows[] = {
        {"127 is one byte", "~7000127", 0, "Eci {7F}"},
        {"128 is two bytes", "~7000128", 0, "Eci {80}{80}"},
        {"16383 is two bytes", "~7016383", 0, "Eci {BF}{FF}"},
        {"16384 is three bytes", "~7016384", 0, "Eci {C0}@{00}"},
        {"999999 is three bytes", "~7999999", 0, "Eci {CF}B?"},
        {"~8 gives indicator 14", "~8000003", 0, "Indicator14 {03}"},
        {"~9 with six digits gives indicator 15", "~9000003", 0, "Indicator15 {03}"},
        {"a seventh digit is data", "~70000261234567", 0, "Eci {1A} | Numeric 1234567"},
        {"~7 with five digits is literal", "~700002", 0, "Byte ~ | Numeric 700002"},
        {"~9 with five digits is a bare indicator", "~912345", 0, "Indicator15 | Numeric 12345"},
        {"a bare ~9 at the end", "~9", 0, "Indicator15"},
        {"the run before a designator is flushed", "AB~7000026CD", 0,
         "Alphanumeric AB | Eci {1A} | Alphanumeric CD"},
    };
    checkRows(rows, std::size(rows));
}

TEST(Parser, KanjiBlocks) {
    const Row rows[] = {
        {"plain Shift JIS bytes", "~4[\x93\x5F\xE4\xAA]", 0, "Kanji {93}_{E4}{AA}"},
        {"runs around a block", "AB~4[~d147~d095]CD", 0, "Alphanumeric AB | Kanji {93}_ | Alphanumeric CD"},
        {"a ']' written as a decimal escape", "~4[~d147~d093]", 0, "Kanji {93}]"},
        {"a last byte without partner is dropped", "~4[~d147~d095~d065]", 0, "Kanji {93}_"},
        {"an empty block", "~4[]", 0, "Kanji"},
        {"a block without ']' takes the rest", "~4[~d147~d095", 0, "Kanji {93}_"},
        {"\"~4[\" at the end is literal", "~4[", 0, "Byte ~4["},
        {"AB is no Kanji value", "~4[AB]", kErrKanjiBlock, ""},
        {"a tilde without decimal escape", "~4[~x]", kErrKanjiBlock, ""},
        {"a decimal escape above 255", "~4[~d300~d095]", kErrKanjiBlock, ""},
        {"a decimal escape cut by the block end", "~4[~d14]", kErrKanjiBlock, ""},
        {"a decimal escape cut by the input end", "~4[~d14", kErrKanjiBlock, ""},
        {"9FFC is the last value of the first range", "~4[~d159~d252]", 0, "Kanji {9F}{FC}"},
        {"9FFD is no Kanji value", "~4[~d159~d253]", kErrKanjiBlock, ""},
        {"EBBF is the last value of the second range", "~4[~d235~d191]", 0, "Kanji {EB}{BF}"},
        {"EBC0 is no Kanji value", "~4[~d235~d192]", kErrKanjiBlock, ""},
        // A second byte below 0x40 would read back as another character (8E23 as 8E63).
        {"8E23 has a second byte below 0x40", "~4[~d142#]", kErrKanjiBlock, ""},
        {"E13F has a second byte below 0x40", "~4[~d225~d063]", kErrKanjiBlock, ""},
        {"8140 is the first value", "~4[~d129~d064]", 0, "Kanji {81}@"},
        {"segments before a failure stay", "12~4[AB]", kErrKanjiBlock, "Numeric 12"},
    };
    checkRows(rows, std::size(rows));
}

TEST(Parser, StructuredAppend) {
    const Row rows[] = {
        {"spaces around total and parity", "~2[1][ 3 , 300 ]", 0, "StructuredAppend {03}{01},"},
        {"a negative parity wraps to a byte", "~2[1][3,-1]", 0, "StructuredAppend {03}{01}{FF}"},
        {"a parity beyond 32 bits saturates", "~2[1][3,99999999999]", 0, "StructuredAppend {03}{01}{FF}"},
        {"16 of 16", "~2[16][16]", 0, "StructuredAppend {10}{10}{FE}"},
        {"position above total is kept", "~2[5][2]", 0, "StructuredAppend {02}{05}{FE}"},
        {"the header goes before designators", "~2[1][2]~7000026abc", 0,
         "StructuredAppend {02}{01}{FE} | Eci {1A} | Byte abc"},
        {"\"~2[\" alone is literal", "~2[", 0, "Byte ~2["},
        {"position 0", "~2[0][3]", kErrAppendSequence, ""},
        {"position 17", "~2[17][3]", kErrAppendSequence, ""},
        {"position beyond 32 bits", "~2[99999999999][3]", kErrAppendSequence, ""},
        {"empty position", "~2[][3]", kErrAppendSequence, ""},
        {"position not all digits", "~2[1a][3]", kErrAppendSequence, ""},
        {"position with a space", "~2[ 1][3]", kErrAppendSequence, ""},
        {"position unterminated", "~2[1", kErrAppendSequence, ""},
        {"no second block", "~2[1]X", kErrAppendMissingField, ""},
        {"nothing after the first block", "~2[1]", kErrAppendMissingField, ""},
        {"total 17", "~2[1][17]", kErrAppendTotal, ""},
        {"total 0", "~2[1][0,5]", kErrAppendTotal, ""},
        {"total not a number", "~2[1][x]", kErrAppendTotal, ""},
        {"total beyond 32 bits", "~2[1][99999999999]", kErrAppendTotal, ""},
        {"total far below zero", "~2[1][-99999999999]", kErrAppendTotal, ""},
        {"second block unterminated", "~2[1][3", kErrAppendTotal, ""},
    };
    checkRows(rows, std::size(rows));
}

TEST(Parser, Fnc1) {
    const Row rows[] = {
        {"an empty block is indicator 0", "~3[]", 0, "Fnc1Second {00}"},
        {"indicator 255", "~3[255]A", 0, "Fnc1Second {FF} | Alphanumeric A"},
        {"indicator 256", "~3[256]", kErrFnc1SecondBlock, ""},
        {"a negative indicator", "~3[-1]", kErrFnc1SecondBlock, ""},
        {"an indicator beyond 32 bits", "~3[99999999999]", kErrFnc1SecondBlock, ""},
        {"a block without ']' takes the rest", "~3[12", 0, "Fnc1Second {0C}"},
        {"\"~3[\" at the end is literal", "~3[", 0, "Byte ~3["},
        {"after a designator", "~7000026~3[37]A", 0, "Eci {1A} | Fnc1Second % | Alphanumeric A"},
        {"after a structured-append header", "~2[1][2]~3[37]A", 0,
         "StructuredAppend {02}{01}{FE} | Fnc1Second % | Alphanumeric A"},
        {"second position after data", "A~3[37]B", kErrFnc1SecondBlock, "Alphanumeric A"},
        {"second position after a Kanji block", "~4[~d147~d095]~3[37]", kErrFnc1SecondBlock, "Kanji {93}_"},
        {"FNC1 first flushes the run", "AB~1CD", 0, "Alphanumeric AB | Fnc1First | Alphanumeric CD"},
    };
    checkRows(rows, std::size(rows));
}

TEST(Parser, Overlays) {
    const Row rows[] = {
        {"a named overlay does not end the run", "AB~50[:swiss7]CD", 0, "Alphanumeric ABCD"},
        {"malformed overlay text", "~50[abc]", kErrOverlayBlock, ""},
        {"an empty overlay block", "~50[]", kErrOverlayBlock, ""},
        {"rows above 4096", "~50[4097,1,00]", kErrOverlayBlock, ""},
        {"columns above 4096", "~50[1,5000,00]", kErrOverlayBlock, ""},
        {"a count beyond 32 bits", "~50[99999999999,1,00]", kErrOverlayBlock, ""},
        {"\"~50[\" at the end is literal", "~50[", 0, "Byte ~50["},
        {"\"~5\" alone is literal", "~5", 0, "Byte ~5"},
    };
    checkRows(rows, std::size(rows));

    struct OverlayRow {
        const char* name;
        std::string input;
        int requested;
        int version;
        const char* overlayName;  // null: none
        int rows;                 // 0: no bitmap
        int columns;
    };
    const OverlayRow overlayRows[] = {
        {"the named cross raises the version to 6", "AB~50[:swiss7]CD", 0, 6, ":swiss7", 0, 0},
        {"any name raises the version", "~50[:other]", 2, 6, ":other", 0, 0},
        {"a higher requested version stays", "~50[:swiss7]", 10, 10, ":swiss7", 0, 0},
        {"a later name replaces the earlier", "~50[:a]~50[:b]", 0, 6, ":b", 0, 0},
        {"overlay text", "~50[2,10,FFC08040]", 0, 0, nullptr, 2, 10},
        {"a later bitmap replaces the earlier", "~50[2,10,FFC08040]~50[3,3,E0A0E0]", 0, 0, nullptr, 3, 3},
        {"a bitmap and a name", "~50[:swiss7]~50[1,1,80]", 0, 6, ":swiss7", 1, 1},
    };
    for (const OverlayRow& row : overlayRows) {
        QRInput input(row.requested, 0, 0);
        std::vector<std::uint8_t> bytes = bytesOf(row.input);
        ASSERT_EQ(input.parse(bytes.data(), static_cast<int>(bytes.size())), 0) << row.name;
        EXPECT_EQ(input.version, row.version) << row.name;
        EXPECT_EQ(input.hasOverlayName, row.overlayName != nullptr) << row.name;
        if (row.overlayName != nullptr) {
            EXPECT_EQ(input.overlayName, row.overlayName) << row.name;
        }
        ASSERT_EQ(input.overlay != nullptr, row.rows != 0) << row.name;
        if (input.overlay != nullptr) {
            EXPECT_EQ(input.overlay->getRows(), row.rows) << row.name;
            EXPECT_EQ(input.overlay->getColumns(), row.columns) << row.name;
        }
    }

    // 2 rows by 10 columns: row 0 all dark, row 1 dark at columns 0 and 9.
    QRInput input(0, 0, 0);
    std::vector<std::uint8_t> bytes = bytesOf("~50[2,10,FFC08040]");
    ASSERT_EQ(input.parse(bytes.data(), static_cast<int>(bytes.size())), 0);
    ASSERT_NE(input.overlay, nullptr);
    std::string modules;
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 10; ++c)
            modules += input.overlay->getModule(r, c) != 0 ? 'X' : '.';
        modules += '/';
    }
    EXPECT_EQ(modules, "XXXXXXXXXX/X........X/");
}

TEST(Parser, RunLimits) {
    const std::string full(kPendingRunLimit, 'a');
    std::string kanji;
    for (int i = 0; i < kPendingRunLimit / 2; ++i)
        kanji += "\x93\x5F";
    struct LimitRow {
        const char* name;
        std::string input;
        int result;
        int segments;
    };
    const LimitRow rows[] = {
        {"7168 plain bytes", full, 0, 1},
        {"7169 plain bytes", full + "a", kErrInputTooLong, 0},
        {"a control byte beyond the limit", full + "~M", kErrInputTooLong, 0},
        {"runs are flushed at each escape", full + "~1" + full, 0, 3},
        {"an overlay block does not flush", full + "~50[:swiss7]a", kErrInputTooLong, 0},
        {"7168 Kanji bytes", "~4[" + kanji + "]", 0, 1},
        {"7170 Kanji bytes", "~4[" + kanji + "\x93\x5F]", kErrInputTooLong, 0},
    };
    for (const LimitRow& row : rows) {
        QRInput input(0, 0, 0);
        std::vector<std::uint8_t> bytes = bytesOf(row.input);
        EXPECT_EQ(input.parse(bytes.data(), static_cast<int>(bytes.size())), row.result) << row.name;
        EXPECT_EQ(static_cast<int>(input.segments.size()), row.segments) << row.name;
    }
}

TEST(Parser, ForcedModes) {
    struct ForcedRow {
        const char* name;
        std::string input;
        int forcedMode;
        int result;
        const char* segments;
    };
    const ForcedRow rows[] = {
        {"numeric only", "123~1456", 2, 0, "Numeric 123 | Fnc1First | Numeric 456"},
        {"numeric only fails in the second run", "123~1AB", 2, kErrInvalidCharacters,
         "Numeric 123 | Fnc1First"},
        {"alphanumeric only fails at the end", "abc", 3, kErrInvalidCharacters, ""},
        {"single narrowest per run", "12345a~1AB", 1, 0, "Byte 12345a | Fnc1First | Alphanumeric AB"},
        {"byte", "123", 5, 0, "Byte 123"},
        {"a failing run before a Kanji block", "12A~4[~d147~d095]", 2, kErrInvalidCharacters, ""},
    };
    for (const ForcedRow& row : rows) {
        Parsed out = parsed(row.input, 0, row.forcedMode);
        EXPECT_EQ(out.result, row.result) << row.name;
        EXPECT_EQ(out.segments, row.segments) << row.name;
    }
}

TEST(Parser, ReadsNothingBeyondTheLength) {
    // The data continue past the given length; only the first bytes count.
    const std::string text = "~d0655~4[~d147~d095]";
    struct CutRow {
        const char* name;
        int length;
        const char* segments;
        int result;
    };
    const CutRow rows[] = {
        {"decimal escape cut short", 4, "Byte ~d06", 0},
        {"decimal escape whole", 5, "Alphanumeric A", 0},
        {"Kanji block cut inside an escape", 13, "", kErrKanjiBlock},
        {"Kanji block cut before ']'", 19, "Alphanumeric A5 | Kanji {93}_", 0},
    };
    for (const CutRow& row : rows) {
        QRInput input(0, 0, 0);
        std::vector<std::uint8_t> bytes(text.begin(), text.begin() + row.length);
        EXPECT_EQ(input.parse(bytes.data(), row.length), row.result) << row.name;
        if (row.result == 0) {
            EXPECT_EQ(segmentText(input.segments), row.segments) << row.name;
        }
    }
}

// The Micro QR Code subset: no structured append, FNC1 or overlay.
class MicroLanguage : public QRInput {
  public:
    MicroLanguage() : QRInput(0, 0, 0) {}
    int parseMicro(const std::vector<std::uint8_t>& bytes) {
        return parseLanguage(bytes.data(), static_cast<int>(bytes.size()), true);
    }
};

TEST(Parser, MicroSubset) {
    struct MicroRow {
        const char* name;
        std::string input;
        const char* segments;
    };
    const MicroRow rows[] = {
        {"~1 is literal", "~123", "Byte ~123"},
        {"~2[ is literal", "~2[1][3]", "Byte ~2[1][3]"},
        {"~3[ is literal", "~3[37]", "Byte ~3[37]"},
        {"~50[ is literal", "~50[:swiss7]", "Byte ~50[:swiss7]"},
        {"control and decimal escapes stay", "~M~d065", "Byte {0D}A"},
        {"Kanji blocks stay", "~4[~d147~d095]", "Kanji {93}_"},
        {"designators stay", "~7000026", "Eci {1A}"},
        {"a bare ~9 stays", "~9", "Indicator15"},
    };
    for (const MicroRow& row : rows) {
        MicroLanguage input;
        EXPECT_EQ(input.parseMicro(bytesOf(row.input)), 0) << row.name;
        EXPECT_EQ(segmentText(input.segments), row.segments) << row.name;
        EXPECT_FALSE(input.hasOverlayName) << row.name;
        EXPECT_EQ(input.overlay, nullptr) << row.name;
    }
}

TEST(Parser, BlockNumbers) {
    struct NumberRow {
        const char* text;
        std::int32_t value;
    };
    const NumberRow rows[] = {
        {"37", 37},
        {"  +12x", 12},
        {"-5", -5},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"-2147483649", -2147483647 - 1},
        {"99999999999999999999999", 2147483647},
    };
    for (const NumberRow& row : rows) {
        std::string text = row.text;
        EXPECT_EQ(detail::leadingDecimal(text.data(), text.data() + text.size()), row.value) << row.text;
    }
}

}  // namespace
}  // namespace kelvane2::qrencode
