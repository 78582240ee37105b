// The tool's input handling as plain functions: literal data and what the data options add, the CSV
// reader, safe file names from patterns, and Shift JIS for Kanji mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/csv.h"
#include "cli/literal_data.h"
#include "cli/name_pattern.h"
#include "cli/shift_jis.h"
#include "encoder/explain.h"
#include "support/decode.h"

namespace {

using namespace qrkit_cli;

TEST(LiteralData, EveryByteStringReadsBackAsItStands) {
    // Expected values: the bytes themselves, through the library's own parser (expectedReaderBytes).
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"tilde before a letter, once a control escape", "https://example.com/~Mike"},
        {"tilde before 1, once FNC1", "a/~1/x"},
        {"decimal escape text", "~d065~d256"},
        {"every escape start", "~2[1][2]~4[AB]~7000026~9~1~3[5]~50[:swiss7]~~~"},
        {"a tilde at the very end", "end~"},
        {"zero bytes", std::string("a\0b\0", 4)},
        {"all 256 byte values",
         [] {
             std::string all;
             for (int c = 0; c < 256; ++c)
                 all += static_cast<char>(c);
             return all;
         }()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string escaped = escapeLiteral(row.bytes);
        EXPECT_EQ(escaped.find('\0'), std::string::npos);
        for (bool micro : {false, true}) {
            std::string back;
            ASSERT_TRUE(kelvane2::qrencode::expectedReaderBytes(escaped, micro, &back));
            EXPECT_EQ(qrkit_test::printable(back), qrkit_test::printable(row.bytes)) << "micro " << micro;
        }
    }
    EXPECT_EQ(escapeLiteral(std::string("~a\0", 3)), "~~a~d000");
}

TEST(LiteralData, Utf8Validity) {
    // Expected values: the well-formed byte sequences of Unicode (Table 3-7 of the Unicode Standard).
    const struct {
        const char* name;
        std::string bytes;
        bool utf8;
    } rows[] = {
        {"ASCII", "plain", true},
        {"Latin",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         true},
        {"three bytes", "\xE2\x82\xAC", true},
        {"four bytes, emoji", "\xF0\x9F\x98\x80", true},
        {"highest code point", "\xF4\x8F\xBF\xBF", true},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"overlong two bytes", "\xC0\xAF", false},
        {"overlong three bytes", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"lone continuation", "\x80", false},
        {"cut short", "\xE2\x82", false},
        {"Latin-1 byte",
         "Gr\xFC\xDF"
         "e",
         false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(isUtf8(row.bytes), row.utf8) << row.name;
}

TEST(LiteralData, WhatTheOptionsPutInFront) {
    // Expected values: the escapes of the input language that stand for each option.
    DataOptions plain;
    DataOptions escapes;
    escapes.escapes = true;
    DataOptions none;
    none.eci = kEciNone;
    DataOptions eci3;
    eci3.eci = 3;
    DataOptions first;
    first.fnc1 = Fnc1::kFirst;
    DataOptions second;
    second.fnc1 = Fnc1::kSecond;
    second.applicationIndicator = 165;  // 'A'
    DataOptions swiss;
    swiss.overlay = ":swiss7";
    DataOptions all = escapes;
    all.eci = 26;
    all.fnc1 = Fnc1::kFirst;
    all.overlay = ":swiss7";
    DataOptions kanji;
    kanji.kanji = true;
    const std::string gruesse =
        "Gr\xC3\xBC\xC3\x9F"
        "e";
    const struct {
        const char* name;
        std::string data;
        const DataOptions* options;
        bool micro;
        std::string input;
        int eci;
    } rows[] = {
        {"ASCII: no designator", "HELLO", &plain, false, "HELLO", kEciNone},
        {"UTF-8 beyond ASCII: ECI 26", gruesse, &plain, false, "~7000026" + gruesse, 26},
        {"UTF-8 in Micro QR Code: none", gruesse, &plain, true, gruesse, kEciNone},
        {"Latin-1 bytes are no UTF-8: none", "Gr\xFC\xDF", &plain, false, "Gr\xFC\xDF", kEciNone},
        {"--eci none", gruesse, &none, false, gruesse, kEciNone},
        {"--eci 3 on ASCII", "A~B", &eci3, false, "~7000003A~~B", 3},
        {"--fnc1 first", "0104012345678901", &first, false, "~10104012345678901", kEciNone},
        {"--fnc1 second=A", "abc", &second, false, "~3[165]abc", kEciNone},
        {"--overlay swiss7", "X", &swiss, false, "~50[:swiss7]X", kEciNone},
        {"escapes pass unchanged", "~MA~d066", &escapes, false, "~MA~d066", kEciNone},
        {"escaped UTF-8 gets ECI 26 too", "~d195~d188", &escapes, false, "~7000026~d195~d188", 26},
        {"escapes with their own designator: no second one", "~7000003" + gruesse, &escapes, false,
         "~7000003" + gruesse, kEciNone},
        {"a zero byte in escaped data stands for itself", std::string("A\0B", 3), &escapes, false, "A~d000B",
         kEciNone},
        {"after a structured-append header", "~2[1][2,5]AB", &all, false,
         "~2[1][2,5]~7000026~1~50[:swiss7]AB", 26},
        {"a malformed header is left at the start for the library", "~2[1]AB", &all, false, "~2[1]AB",
         kEciNone},
        {"a zero byte inside a header (found by fuzzing)", std::string("~2[1][2\0,5]A", 12), &all, false,
         "~2[1][2~d000,5]~7000026~1~50[:swiss7]A", 26},
        {"a zero byte inside a malformed header", std::string("~2[1\0][2]A", 10), &all, false,
         "~2[1~d000][2]A", kEciNone},
        {"--kanji: Kanji blocks, ']' and '~' as decimal escapes",
         "\xE6\x97\xA5\xE6\x9C\xAC \xC3\x97\xE2\x80\x90", &kanji, false,  // 日本 ×‐: 817E and 815D
         "~4[\x93\xFA\x96{] ~4[\x81~d126\x81~d093]", kEciNone},
        {"--kanji with half-width katakana: ECI 20", "\xEF\xBD\xB1\xE6\x97\xA5", &kanji, false,
         "~7000020\xB1~4[\x93\xFA]", 20},
        {"--kanji on text without Shift JIS codes: UTF-8", gruesse, &kanji, false, "~7000026" + gruesse, 26},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const PreparedData prepared = prepareData(row.data, *row.options, row.micro);
        EXPECT_EQ(qrkit_test::printable(prepared.input), qrkit_test::printable(row.input));
        EXPECT_EQ(prepared.eci, row.eci);
    }
    EXPECT_EQ(prepareData(gruesse, kanji, false).notes.size(), 1u);
}

TEST(LiteralData, OptionValuesAndConflicts) {
    // Application indicators: two digits as their value, letters as their code plus 100.
    const struct {
        const char* text;
        int value;
    } indicators[] = {{"37", 37}, {"0", 0},    {"99", 99}, {"A", 165}, {"Z", 190}, {"a", 197},
                      {"z", 222}, {"100", -1}, {"", -1},   {"AB", -1}, {"-1", -1}, {"%", -1}};
    for (const auto& row : indicators)
        EXPECT_EQ(applicationIndicatorValue(row.text), row.value) << row.text;

    const struct {
        const char* text;
        std::size_t length;
    } headers[] = {{"~2[1][3]AB", 8}, {"~2[12][16,255]", 14}, {"~2[1]X", 0}, {"~2[][3]", 0},
                   {"X~2[1][3]", 0},  {"~2[1][3", 0},         {"~2[", 0}};
    for (const auto& row : headers)
        EXPECT_EQ(structuredAppendHeaderLength(row.text), row.length) << row.text;

    DataOptions options;
    EXPECT_EQ(checkDataOptions(options, true, false), "");
    options.eci = 26;
    EXPECT_NE(checkDataOptions(options, true, false), "");  // Micro QR Code has no designators
    EXPECT_NE(checkDataOptions(options, false, true), "");  // nor does HIBC data take one
    options = DataOptions();
    options.kanji = true;
    options.escapes = true;
    EXPECT_NE(checkDataOptions(options, false, false), "");
}

TEST(Csv, RowsFieldsLinesAndFaults) {
    // Expected values: RFC 4180, and the recovery rules of readCsv (a fault fails its row only).
    struct Expected {
        int line;
        std::vector<std::string> fields;
        bool malformed;
    };
    const struct {
        const char* name;
        std::string text;
        std::vector<Expected> rows;
    } cases[] = {
        {"plain rows, LF and CR LF", "a,b\r\nc,d\n", {{1, {"a", "b"}, false}, {2, {"c", "d"}, false}}},
        {"byte-order mark skipped", "\xEF\xBB\xBFsku,url\n", {{1, {"sku", "url"}, false}}},
        {"quoted commas, quotes and line breaks",
         "\"a,1\",\"say \"\"hi\"\"\"\n\"two\nlines\",x\nnext,row\n",
         {{1, {"a,1", "say \"hi\""}, false}, {2, {"two\nlines", "x"}, false}, {4, {"next", "row"}, false}}},
        {"empty lines are no rows, but count", "a\n\n\nb\n", {{1, {"a"}, false}, {4, {"b"}, false}}},
        {"empty fields and a final comma", ",x,\n", {{1, {"", "x", ""}, false}}},
        {"no final line break", "a,b", {{1, {"a", "b"}, false}}},
        {"a lone CR ends a row", "a\rb\n", {{1, {"a"}, false}, {2, {"b"}, false}}},
        {"a quote inside a bare field is a character", "ab\"c,d\n", {{1, {"ab\"c", "d"}, false}}},
        {"text after a closing quote fails its row only",
         "\"a\"b,c\nd,e\n",
         {{1, {"a"}, true}, {2, {"d", "e"}, false}}},
        {"an unclosed quote fails its row; the next lines are rows",
         "x,\"open\ny,1\nz,2\n",
         {{1, {"x", "open\ny,1\nz,2\n"}, true}, {2, {"y", "1"}, false}, {3, {"z", "2"}, false}}},
        {"a fault on the second line of a quoted field",
         "\"a\nb\"c,1\nd,2\n",
         {{1, {"a\nb"}, true}, {3, {"d", "2"}, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<CsvRow> rows = readCsv(c.text);
        ASSERT_EQ(rows.size(), c.rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            SCOPED_TRACE("row " + std::to_string(k + 1));
            EXPECT_EQ(rows[k].line, c.rows[k].line);
            EXPECT_EQ(rows[k].fields, c.rows[k].fields);
            EXPECT_EQ(!rows[k].error.empty(), c.rows[k].malformed) << rows[k].error;
        }
    }
    EXPECT_EQ(readCsv("\"a\"b\n")[0].error, "text after the closing quote of field 1 on line 1");
    EXPECT_EQ(readCsv("1,\"open\n")[0].error, "the quoted field opened on line 1 is never closed");
}

TEST(Csv, FieldsWrittenAndReadBack) {
    const std::vector<std::string> fields = {"plain", "a,b", "say \"hi\"", "two\nlines", "cr\r", "", "~"};
    std::string text;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) text += ',';
        appendCsvField(text, fields[k]);
    }
    EXPECT_EQ(text, "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",,~");
    const std::vector<CsvRow> rows = readCsv(text + "\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].fields, fields);
}

TEST(FileNames, SafeNamesKeepLettersAndStayInTheFolder) {
    // Expected values: the characters file systems and shells refuse or misread become '_'.
    const struct {
        const char* name;
        std::string data;
        std::string safe;
    } rows[] = {
        {"letters, digits, spaces and commas stay", "Alpha, Inc. 12", "Alpha, Inc. 12"},
        {"Unicode letters stay",
         "\xC3\x9C"
         "ber \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9C\xD0\xB8\xD1\x80",
         "\xC3\x9C"
         "ber \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9C\xD0\xB8\xD1\x80"},
        {"slashes cannot make folders", "../../etc/passwd", ".._.._etc_passwd"},
        {"an absolute path", "/tmp/x", "_tmp_x"},
        {"Windows-unsafe characters", "a:b*c?d\"e<f>g|h\\i", "a_b_c_d_e_f_g_h_i"},
        {"control characters", "tab\there\nnew", "tab_here_new"},
        {"a right-to-left override", "abc\xE2\x80\xAEgnp.exe", "abc_gnp.exe"},
        {"bytes that are not UTF-8", "caf\xE9", "caf_"},
        {"dot", ".", "_."},
        {"dot dot", "..", "_.."},
        {"empty", "", "_"},
        // Found by the fuzzer: a name of dots alone as long as the limit grew past it with its '_'.
        {"dots alone at the length limit", std::string(130, '.'), "_" + std::string(119, '.')},
        {"long names are cut at a character", std::string(119, 'x') + "\xC3\xBC" + "yy",
         std::string(119, 'x')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string safe = safeName(row.data);
        EXPECT_EQ(safe, row.safe);
        EXPECT_EQ(safe.find('/'), std::string::npos);
        EXPECT_LE(safe.size(), kSafeNameBytes);
        EXPECT_TRUE(isUtf8(safe));
    }
}

TEST(FileNames, PatternsWithColumnsAndPaddedNumbers) {
    const std::vector<std::string> columns = {"A-1", "https://x.example/y", "caf\xC3\xA9 / bar"};
    const struct {
        const char* name;
        std::string pattern;
        std::size_t number;
        std::size_t count;  // records, for the width of {n}
        int line;
        int lastLine;
        std::string name_;
    } rows[] = {
        {"number padded to the record count", "out/{n}.png", 7, 120, 9, 130, "out/007.png"},
        {"line padded to the last line", "{line}-{n}.svg", 7, 9, 9, 1200, "0009-7.svg"},
        {"field made safe", "labels/{field}.png", 1, 1, 1, 1, "labels/https___x.example_y.png"},
        {"a column by name and by number", "{sku}/{3}.bmp", 1, 1, 1, 1, "A-1/caf\xC3\xA9 _ bar.bmp"},
        {"braces that open nothing", "{}{x{n}", 5, 10, 1, 1, "{}{x05"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<PatternPiece> pieces = parsePattern(row.pattern);
        EXPECT_TRUE(hasPlaceholder(pieces));
        for (PatternPiece& piece : pieces) {
            if (piece.kind == PatternPiece::kColumn) piece.column = piece.text == "sku" ? 0 : 2;
        }
        NameValues values;
        values.number = row.number;
        values.numberWidth = decimalWidth(row.count);
        values.line = row.line;
        values.lineWidth = decimalWidth(static_cast<std::size_t>(row.lastLine));
        values.field = columns[1];
        values.columns = &columns;
        std::string name;
        std::string error;
        ASSERT_TRUE(expandPattern(pieces, values, &name, &error)) << error;
        EXPECT_EQ(name, row.name_);
    }
    EXPECT_FALSE(hasPlaceholder(parsePattern("plain.png")));
    std::vector<PatternPiece> pieces = parsePattern("{price}.png");
    pieces[0].column = 5;
    NameValues values;
    values.columns = &columns;
    std::string name;
    std::string error;
    EXPECT_FALSE(expandPattern(pieces, values, &name, &error));
    EXPECT_NE(error.find("price"), std::string::npos);
    EXPECT_EQ(zeroPadded(42, 4), "0042");
    EXPECT_EQ(zeroPadded(12345, 2), "12345");
}

TEST(ShiftJis, ConvertsJapaneseTextAndRefusesTheRest) {
    // Expected values: JIS X 0208 codes (日 93FA, 本 967B, 語 8CEA, あ 82A0, ー 815B; half-width ｱ B1).
    const struct {
        const char* name;
        std::string utf8;
        bool converts;
        std::string missing;
        std::vector<ShiftJisRun> runs;
    } rows[] = {
        {"Kanji and kana",
         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\x82\xE3\x83\xBC",
         true,
         "",
         {{true, "\x93\xFA\x96\x7B\x8C\xEA\x82\xA0\x81\x5B"}}},
        {"ASCII between",
         "A\xE6\x97\xA5"
         "1",
         true,
         "",
         {{false, "A"}, {true, "\x93\xFA"}, {false, "1"}}},
        {"half-width katakana as single bytes", "\xEF\xBD\xB1", true, "", {{false, "\xB1"}}},
        {"no code: u with diaeresis", "\xE6\x97\xA5\xC3\xBC", false, "\xC3\xBC", {}},
        {"no code: emoji", "\xF0\x9F\x98\x80", false, "\xF0\x9F\x98\x80", {}},
        {"the yen sign would come back as a backslash", "\xC2\xA5", false, "\xC2\xA5", {}},
        {"a backslash reads as the yen sign", "\xE6\x97\xA5\\", false, "\\", {}},
        {"a tilde reads as an overline (found by fuzzing)", "~\xE6\x97\xA5", false, "~", {}},
        {"not UTF-8", "\x93\xFA", false, "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<ShiftJisRun> runs;
        std::string missing;
        EXPECT_EQ(utf8ToShiftJis(row.utf8, &runs, &missing), row.converts);
        EXPECT_EQ(missing, row.missing);
        ASSERT_EQ(runs.size(), row.runs.size());
        std::string sjis;
        for (std::size_t k = 0; k < runs.size(); ++k) {
            EXPECT_EQ(runs[k].kanji, row.runs[k].kanji);
            EXPECT_EQ(qrkit_test::printable(runs[k].bytes), qrkit_test::printable(row.runs[k].bytes));
            sjis += runs[k].bytes;
        }
        if (row.converts) {
            std::string back;
            ASSERT_TRUE(shiftJisToUtf8(sjis, &back));
            EXPECT_EQ(back, row.utf8);
        }
    }
}

}  // namespace
