// The qrkit tool as users run it, in tables of command lines (shell fragments with $Q for the tool) with
// the exit status, what goes to standard output and standard error, and the data zbar and zxing-cpp
// read back from the symbol printed as module rows.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "paint_test_support.h"
#include "qrkit/qrkit.h"
#include "support/decode.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using qrkit_test::ModuleMatrix;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Shell {
    int status = -1;
    std::string out;
    std::string err;
};

// The exit status of the last command of a fragment that uses $Q for the tool, run in folder.
class ToolTable : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) / ("qrkit_tool_table_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // A binary file with every byte value, zero bytes and tildes among them.
        std::string binary;
        for (int k = 0; k < 300; ++k)
            binary += static_cast<char>((k * 37) % 256);
        binary += std::string("~~\0~1~M", 7);
        writeFile(dir_ / "binary.bin", binary);
        writeFile(dir_ / "line.txt", "a line\n");
        writeFile(dir_ / "big.txt", std::string((1 << 20) + 1, '7'));
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    Shell run(const std::string& fragment) const {
        const std::string errPath = (dir_ / "stderr.txt").string();
        const tooltest::ToolRun result = tooltest::runFragment(fragment, dir_.string(), errPath);
        return Shell{result.status, result.out, readFile(errPath)};
    }

    fs::path dir_;
};

ModuleMatrix printedSymbol(const std::string& out) {
    return ModuleMatrix::fromText(tooltest::lines(out));
}

constexpr int kAny = -1;

TEST_F(ToolTable, DataReadBackByBothReaders) {
    const std::string binary = readFile(dir_ / "binary.bin");
    const struct {
        const char* name;
        std::string fragment;  // prints module rows
        std::string bytes;  // the symbol's data bytes (zxing-cpp; zbar too for QR Code); empty: not checked
        std::string text;   // the text both readers show; empty: not checked (binary data)
        int eci;            // 1 an ECI designator is read, 0 none, kAny not checked
        int fnc1;           // 0 none, 1 first, 2 second position (zxing-cpp), kAny not checked
        bool micro;
    } rows[] = {
        // Literal data (expected values: the data as typed).
        {"a tilde is data", "$Q encode --print rows 'https://example.com/~Mike'", "https://example.com/~Mike",
         "https://example.com/~Mike", 0, 0, false},
        {"~1 is no FNC1", "$Q encode --print rows 'https://example.com/~1/x'", "https://example.com/~1/x",
         "https://example.com/~1/x", 0, 0, false},
        {"-e reads escapes", "$Q encode -e --print rows 'A~MB~d067'", "A\rBC", "A\rBC", 0, 0, false},
        {"--escapes, joined with -q", "$Q encode -eq --print rows '~~x'", "~x", "~x", 0, 0, false},
        {"binary bytes from --file", "$Q encode --print rows --file binary.bin", binary, "", kAny, 0, false},
        // UTF-8 text gets ECI 26 and reads back as the same text (expected: the text as typed).
        {"Latin", "$Q encode --print rows 'Grüße aus Zürich, çà et là'", "Grüße aus Zürich, çà et là",
         "Grüße aus Zürich, çà et là", 1, 0, false},
        {"Cyrillic", "$Q encode --print rows 'Привет, мир'", "Привет, мир", "Привет, мир", 1, 0, false},
        {"Greek", "$Q encode --print rows 'Καλημέρα κόσμε'", "Καλημέρα κόσμε", "Καλημέρα κόσμε", 1, 0, false},
        {"Japanese", "$Q encode --print rows '日本語のテキスト'", "日本語のテキスト", "日本語のテキスト", 1,
         0, false},
        {"emoji", "$Q encode --print rows '😀 party 🎉'", "😀 party 🎉", "😀 party 🎉", 1, 0, false},
        {"--eci none leaves it out", "$Q encode --eci none --print rows 'Grüße'", "Grüße", "", 0, 0, false},
        {"--eci=utf8 on ASCII", "$Q encode --eci=utf8 --print rows HELLO", "HELLO", "HELLO", 1, 0, false},
        {"Micro QR Code: text without a designator", "$Q encode --micro --print rows 'Grüße'", "Grüße",
         "Grüße", 0, kAny, true},
        // --kanji: Shift JIS in Kanji mode (bytes: JIS X 0208 codes), read back as the same text.
        {"--kanji", "$Q encode --kanji --print rows '日本語のテキスト'",
         "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67", "日本語のテキスト", 0, 0, false},
        {"--kanji with ASCII and half-width katakana (ECI 20)",
         "$Q encode --kanji --print rows 'ｱｲｳ 東京 2024'", "", "ｱｲｳ 東京 2024", 1, 0, false},
        {"--kanji in Micro QR Code", "$Q encode --kanji --micro --print rows '日本語'",
         "\x93\xFA\x96\x7B\x8C\xEA", "日本語", 0, kAny, true},
        // Standard input and files.
        {"standard input without its line feed", "echo https://example.com | $Q encode --print rows -",
         "https://example.com", "https://example.com", 0, 0, false},
        {"one CR LF dropped", "printf 'A\\r\\n' | $Q encode --print rows -", "A", "A", 0, 0, false},
        {"only one line feed dropped", "printf 'A\\n\\n' | $Q encode --print rows -", "A\n", "A\n", 0, 0,
         false},
        {"--keep-newline", "echo A | $Q encode --keep-newline --print rows -", "A\n", "A\n", 0, 0, false},
        {"--file keeps every byte", "$Q encode --print rows --file line.txt", "a line\n", "a line\n", 0, 0,
         false},
        {"--file - keeps every byte", "echo A | $Q encode --print rows --file -", "A\n", "A\n", 0, 0, false},
        // FNC1 and overlays by option (expected: the readers' forms; second position puts the
        // application indicator in front).
        {"--fnc1 first", "$Q encode --fnc1 first --print rows 0109501101020917171905081010ABCD1234",
         "0109501101020917171905081010ABCD1234", "", 0, 1, false},
        {"--fnc1 second=37", "$Q encode --fnc1 second=37 --print rows ABC", "37ABC", "", 0, 2, false},
        {"--fnc1=second=A", "$Q encode --fnc1=second=A --print rows abc", "Aabc", "", 0, 2, false},
        {"--overlay swiss7 at level H",
         "$Q encode --level H --overlay swiss7 --print rows 'https://example.com'", "https://example.com",
         "https://example.com", 0, 0, false},
        {"UTF-8 with FNC1 and an overlay", "$Q encode --fnc1 first --overlay SWISS7 --print rows '01€'",
         "01€", "", 1, 1, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Shell result = run(row.fragment);
        ASSERT_EQ(result.status, 0) << result.err;
        const ModuleMatrix symbol = printedSymbol(result.out);
        const qrkit_test::Decoded zxing = qrkit_test::decodeWithZxing(symbol);
        ASSERT_TRUE(zxing.ok) << zxing.message;
        if (!row.bytes.empty()) {
            EXPECT_EQ(qrkit_test::printable(zxing.bytes), qrkit_test::printable(row.bytes));
        }
        EXPECT_EQ(zxing.microQr, row.micro);
        if (row.eci != kAny) {
            EXPECT_EQ(zxing.hasEci, row.eci == 1);
        }
        if (row.fnc1 != kAny) {
            EXPECT_EQ(zxing.fnc1, row.fnc1);
        }
        if (!row.text.empty()) {
            EXPECT_EQ(zxing.text, row.text);
        }
        if (row.micro) continue;
        const qrkit_test::Decoded zbar = qrkit_test::decodeWithZbar(symbol);
        ASSERT_TRUE(zbar.ok) << zbar.message;
        if (row.fnc1 != 2 && !row.bytes.empty()) {
            EXPECT_EQ(qrkit_test::printable(zbar.bytes), qrkit_test::printable(row.bytes));
        }
        if (!row.text.empty()) {
            EXPECT_EQ(qrkit_test::decodeTextWithZbar(symbol).text, row.text);
        }
    }
}

TEST_F(ToolTable, ExitStatusAndMessages) {
    const std::string tooLong(3000, 'a');
    const struct {
        const char* name;
        std::string fragment;
        int status;
        std::string err;  // standard error holds this
    } rows[] = {
        // 2: usage. One line, naming the problem.
        {"unknown option", "$Q encode --colour red X", 2,
         "unknown option --colour (see qrkit help encode)\n"},
        {"an option of another command", "$Q encode --column 2 X", 2, "--column is not an option of encode"},
        {"bad level", "$Q encode --level X 1", 2, "--level takes L, M, Q or H (not \"X\")"},
        {"missing value", "$Q encode X --level", 2, "--level takes L, M, Q or H"},
        {"a value for a flag", "$Q encode --strict=yes X", 2, "--strict takes no value"},
        {"ECI out of range", "$Q encode --eci 1000000 X", 2, "--eci takes a number from 0 to 999999"},
        {"bad FNC1", "$Q encode --fnc1 second=123 X", 2, "--fnc1 takes first, or second=AI"},
        {"bad overlay text", "$Q encode --overlay 3,3 X", 2, "--overlay takes swiss7 or overlay text"},
        {"Micro QR Code has no ECI", "$Q encode --micro --eci 26 X", 2, "no ECI designators"},
        {"Micro QR Code has no overlay", "$Q encode --micro --overlay swiss7 1", 2,
         "--overlay is for QR Code"},
        {"HIBC has no escapes", "$Q encode --hibc -e A1", 2, "--escapes does not go with --hibc"},
        {"--kanji with --escapes", "$Q encode --kanji -e X", 2, "--kanji converts literal data"},
        {"two data arguments", "$Q encode HELLO WORLD", 2, "encode takes one DATA argument"},
        {"no data", "$Q encode", 2, "no data to encode"},
        {"data and --file", "$Q encode --file line.txt X", 2, "give the data once"},
        {"unknown image format", "$Q encode -o x.gif X", 2, "cannot tell the image format of x.gif"},
        {"data that look like an option", "$Q encode -5", 2, "put -- before data that start with '-'"},
        {"a sequence into one file", "$Q encode --sequence 2 -o x.png ABC", 2, "{n}"},
        {"unknown command", "$Q draw X", 2, "unknown command draw"},
        {"help on no command", "$Q help draw", 2, "no command named draw"},
        {"a pattern without placeholders", "$Q batch -o x.png line.txt", 2, "-o needs {n}"},
        {"a column in the pattern needs --column", "$Q batch -o '{sku}.png' line.txt", 2, "give --column"},
        {"--strict without a version", "$Q encode --strict X", 2, "--strict needs --min-version"},
        // 1: data that cannot be encoded, with the capacity and what helps.
        {"too long", "$Q encode " + tooLong, 1,
         "Input is too long: the data take 24,020 bits; QR Code 40-M holds 18,672 (2,334 codewords); what "
         "helps: "
         "--level L or --sequence auto (up to 16 symbols)"},
        {"too long for the strict version",
         "$Q encode --strict --min-version 2 --level L " + std::string(40, 'a'), 1,
         "QR Code 2-L holds 272 (34 codewords); what helps: a higher --min-version or --sequence auto"},
        {"too long for Micro QR Code", "$Q encode --micro " + std::string(40, '1'), 1,
         "Micro QR Code M4-M holds 112; what helps: --level L or leaving out --micro"},
        {"an HIBC character", "$Q encode --hibc 'A1é'", 1, "\"é\" (character 3) is not one of them"},
        {"HIBC too long", "$Q encode --hibc " + std::string(37, 'A'), 1,
         "at most 36 characters; these hold 37"},
        {"numeric mode", "$Q encode --mode numeric 12A", 1,
         "Invalid characters in input data: --mode numeric"},
        {"a malformed escape", "$Q encode -e '~2[0][3]X'", 1, "Invalid Sequence in Structural Append block"},
        {"a file above 1 MB", "$Q encode --file big.txt", 1, "big.txt holds more than 1 MB"},
        {"standard input above 1 MB, unread", "$Q encode - < /dev/zero", 1,
         "standard input holds more than 1 MB"},
        // 3: input or output that fails, with the path and the system's reason.
        {"a folder as input", "$Q encode --file .", 3, "cannot read .: it is a folder"},
        {"a device as input", "$Q encode --file /dev/zero", 3, "cannot read /dev/zero: it is a device"},
        {"a missing file", "$Q encode --file missing.txt", 3,
         "cannot read missing.txt: No such file or directory"},
        {"a full disk", "$Q encode HELLO > /dev/full", 3,
         "cannot write to standard output: No space left on device"},
        {"standard output closed", "$Q encode HELLO >&-", 3, "cannot write to standard output: it is closed"},
        {"an image on a full disk", "$Q encode -o - HELLO > /dev/full", 3, "No space left on device"},
        {"a folder as the image", "$Q encode -o . --format png HELLO", 3, "cannot write .: it is a folder"},
        {"a folder that cannot be made", "$Q encode -o line.txt/x.png HELLO", 3,
         "cannot make the folder line.txt"},
        {"batch: a missing file", "$Q batch missing.txt", 3, "cannot read missing.txt"},
        {"batch: the CSV on a full disk", "echo A | $Q batch - > /dev/full", 3, "No space left on device"},
        // 0: with notes on standard error.
        {"a lowered Micro QR Code level", "$Q encode --micro --level H 123456789012", 0,
         "note: the symbol is Micro QR Code M3, which offers levels up to M: it has level M, not H"},
        {"--kanji on text without Shift JIS codes", "$Q encode --kanji 'Grüße'", 0,
         "note: --kanji: \"ü\" (U+00FC) has no Shift JIS code that reads back as itself; the text is encoded "
         "as "
         "UTF-8"},
        {"-q keeps notes back", "$Q encode -q --micro --level H 123456789012", 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Shell result = run(row.fragment);
        EXPECT_EQ(result.status, row.status) << result.err;
        if (row.err.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        }
        if (row.status == 2) {
            EXPECT_EQ(tooltest::lines(result.err).size(), 1u) << result.err;
            EXPECT_EQ(result.out, "");
        }
    }
    EXPECT_FALSE(fs::exists(dir_ / "x.png"));  // nothing is written when the options are wrong
    EXPECT_FALSE(fs::exists(dir_ / "x.gif"));
}

TEST_F(ToolTable, ConventionsOfCommandLineTools) {
    const struct {
        const char* name;
        std::string fragment;
        std::string same;  // prints exactly what this prints
    } rows[] = {
        {"--option=value", "$Q encode --level=H --min-version=3 X", "$Q encode --level H --min-version 3 X"},
        {"enumerations in any case", "$Q encode --level h --mode BYTE --print ROWS 1",
         "$Q encode --level H --mode byte --print rows 1"},
        {"-- before data", "$Q encode -- -5", "$Q encode -e '~d0455'"},
        {"help of a command, two ways", "$Q encode --help", "$Q help encode"},
        {"-h", "$Q batch -h", "$Q help batch"},
        {"short options joined with a value", "$Q encode -qo- --format svg X",
         "$Q encode -o - --format svg X"},
        // The data options make the symbols their escapes make.
        {"--overlay", "$Q encode --overlay swiss7 X", "$Q encode -e '~50[:swiss7]X'"},
        {"--overlay text", "$Q encode --overlay 3,3,E0A0E0 X", "$Q encode -e '~50[3,3,E0A0E0]X'"},
        {"--fnc1 first", "$Q encode --fnc1 first 0104012345678901", "$Q encode -e '~10104012345678901'"},
        {"--fnc1 second", "$Q encode --fnc1 second=z abc", "$Q encode -e '~3[222]abc'"},
        {"--eci", "$Q encode --eci 3 'A~B'", "$Q encode -e '~7000003A~~B'"},
        {"automatic ECI 26", "$Q encode 'Grüße'", "$Q encode -e '~7000026Grüße'"},
        {"explain with the options", "$Q explain --overlay swiss7 --level L 'https://example.com/~a'",
         "$Q explain -e --level L '~50[:swiss7]https://example.com/~~a'"},
        {"parity of literal data", "$Q parity 'A~B'", "$Q parity -e 'A~~B'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Shell a = run(row.fragment);
        const Shell b = run(row.same);
        EXPECT_EQ(a.status, 0) << a.err;
        EXPECT_FALSE(a.out.empty());
        EXPECT_EQ(a.out, b.out);
    }
    const Shell version = run("$Q --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "qrkit 0.1.0 (libqrkit 0.1.0)\n");

    // The help says first that data are literal, and how --escapes changes that.
    for (const char* fragment : {"$Q --help", "$Q help encode", "$Q help batch", "$Q help explain"}) {
        SCOPED_TRACE(fragment);
        const Shell help = run(fragment);
        EXPECT_EQ(help.status, 0);
        const std::size_t literal = help.out.find("Data are literal");
        ASSERT_NE(literal, std::string::npos);
        const std::size_t options = help.out.find("Data options:");
        EXPECT_LT(literal, options);
        EXPECT_LT(help.out.find("-e, --escapes", options), help.out.find("--eci", options));
        EXPECT_NE(help.out.find("Exit status: 0 success; 1 data"), std::string::npos);
    }
}

TEST_F(ToolTable, ImagesToFilesAndStandardOutput) {
    // -o - writes the PNG to standard output (expected: the data, read back by zxing-cpp).
    Shell result = run("$Q encode -o - 'TO STANDARD OUTPUT' > out.png");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(painttest::decodeQr(painttest::readPngGrey((dir_ / "out.png").string())), "TO STANDARD OUTPUT");
    result = run("$Q encode -o - --format SVG X");
    EXPECT_EQ(result.out.rfind("<?xml", 0), 0u);

    // A terminal gets no binary image (script gives the tool one), unless --force.
    if (painttest::haveTool("script")) {
        result = run("script -qec \"$Q encode -o - X\" /dev/null");
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.out.find("standard output is a terminal"), std::string::npos) << result.out;
    }

    // Missing folders are made, by encode as by batch.
    result = run("$Q encode -o new/folder/x.png X && echo X | $Q batch -o new/batch/{n}.png -");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(dir_ / "new/folder/x.png"));
    EXPECT_TRUE(fs::exists(dir_ / "new/batch/1.png"));

    // Size limits: a 5.8 m page is refused, and painted with --force.
    result = run("$Q encode --module-size 20000 -o big.svg X");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("the page would be 5.80 m a side; the tool paints at most 5 m"),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(dir_ / "big.svg"));
    EXPECT_EQ(run("$Q encode --force --module-size 20000 -o big.svg X").status, 0);
    EXPECT_TRUE(fs::exists(dir_ / "big.svg"));
    result = run("$Q encode --module-size 1200 -o big.png X");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("34,800 pixels a side; the tool paints at most 32,768 (--module-size 1129"),
              std::string::npos)
        << result.err;

    // A write that fails half-way (a file size limit, the signal ignored) leaves the old file as it was,
    // and no temporary file behind.
    writeFile(dir_ / "keep.bmp", "the old image");
    fs::permissions(dir_ / "keep.bmp", fs::perms(0640));
    result = run("trap '' XFSZ; ulimit -f 4; $Q encode --module-size 40 -o keep.bmp 'A LARGE BMP'");
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("cannot write keep.bmp: File too large"), std::string::npos) << result.err;
    EXPECT_EQ(readFile(dir_ / "keep.bmp"), "the old image");
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir_))
        files += entry.path().filename().string().find("keep.bmp") != std::string::npos;
    EXPECT_EQ(files, 1);
    // A successful write replaces it and keeps its permission bits; a symbolic link stays a link.
    EXPECT_EQ(run("$Q encode -o keep.bmp X").status, 0);
    EXPECT_EQ(readFile(dir_ / "keep.bmp").substr(0, 2), "BM");
    EXPECT_EQ(fs::status(dir_ / "keep.bmp").permissions(), fs::perms(0640));
    fs::create_symlink("keep.bmp", dir_ / "link.bmp");
    EXPECT_EQ(run("$Q encode -o link.bmp Y").status, 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.bmp"));
    // A device is written in place, never replaced.
    EXPECT_EQ(run("$Q encode -o /dev/null --format png X").status, 0);
    struct stat null {};
    ASSERT_EQ(::stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));
}

TEST_F(ToolTable, BatchRecords) {
    // A spreadsheet's CSV: a byte-order mark, a header, CR LF, Unicode names, unsafe characters and a
    // malformed line among sound ones.
    writeFile(dir_ / "items.csv",
              "\xEF\xBB\xBF"
              "sku,url\r\n"
              "Ünïcödé-日本,https://a.example/~1\r\n"
              "../../escape,https://b.example\r\n"
              "\"bad\"x,https://c.example\r\n"
              "/abs/path,https://d.example\r\n");
    Shell result = run("$Q batch --column url -o 'out/{sku}-{n}.svg' items.csv");
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("line 4: malformed CSV: text after the closing quote of field 1 on line 4"),
              std::string::npos)
        << result.err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / "out"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{".._.._escape-2.svg", "_abs_path-4.svg", "Ünïcödé-日本-1.svg"}));
    // The record's data are literal: the same bytes as a single encode of the URL.
    EXPECT_EQ(run("$Q encode -o single.svg 'https://a.example/~1'").status, 0);
    EXPECT_EQ(readFile(dir_ / "out/Ünïcödé-日本-1.svg"), readFile(dir_ / "single.svg"));

    // Numbers zero-padded to the record count; a byte-order mark before lines is no data.
    std::string lines = "\xEF\xBB\xBF";
    for (int k = 1; k <= 12; ++k)
        lines += "R" + std::to_string(k) + "\n";
    writeFile(dir_ / "lines.txt", lines);
    result = run("$Q batch -q -o 'padded/{n}-{line}.png' lines.txt");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::exists(dir_ / "padded/01-01.png"));
    EXPECT_TRUE(fs::exists(dir_ / "padded/12-12.png"));
    EXPECT_EQ(painttest::decodeQr(painttest::readPngGrey((dir_ / "padded/01-01.png").string())), "R1");

    // Literal and escaped records, and Kanji per record, into the CSV of font strings.
    writeFile(dir_ / "records.txt", "A~MB\n日本\n");
    const Shell literal = run("$Q batch records.txt");
    const Shell escaped = run("$Q batch -e records.txt");
    const Shell kanji = run("$Q batch --kanji records.txt");
    auto font = [&](const std::string& arguments) {
        const Shell single = run("$Q encode " + arguments);
        return single.out.substr(0, single.out.size() - 1);
    };
    EXPECT_NE(literal.out.find("1,A~MB,\"" + font("'A~MB'") + "\","), std::string::npos) << literal.out;
    EXPECT_NE(escaped.out.find("1,A~MB,\"" + font("-e 'A~MB'") + "\","), std::string::npos) << escaped.out;
    EXPECT_NE(kanji.out.find("2,日本,\"" + font("--kanji '日本'") + "\","), std::string::npos) << kanji.out;
    EXPECT_NE(font("-e 'A~MB'"), font("'A~MB'"));

    // A pattern column the header lacks, and the header row itself malformed.
    EXPECT_EQ(run("$Q batch --column url -o '{price}.png' items.csv").status, 1);
    writeFile(dir_ / "badheader.csv", "\"sku\"x,url\nA,B\n");
    result = run("$Q batch --column url badheader.csv");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("the header row (line 1) is malformed"), std::string::npos) << result.err;
}

TEST_F(ToolTable, SequencesOfTextAndPaddedNames) {
    // Every symbol of a UTF-8 sequence carries ECI 26 and reads as text on its own.
    Shell result = run("$Q encode --sequence 3 --print rows 'Grüße aus Zürich und überall 😀'");
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> rows;
    std::string joined;
    int symbols = 0;
    for (const std::string& line : tooltest::lines(result.out + "\n")) {
        if (!line.empty()) {
            rows.push_back(line);
            continue;
        }
        if (rows.empty()) continue;
        const qrkit_test::Decoded decoded = qrkit_test::decodeWithZxing(ModuleMatrix::fromText(rows));
        ASSERT_TRUE(decoded.ok);
        EXPECT_TRUE(decoded.hasEci);
        EXPECT_EQ(decoded.sequenceSize, 3);
        joined += decoded.bytes;
        ++symbols;
        rows.clear();
    }
    EXPECT_EQ(symbols, 3);
    EXPECT_EQ(joined, "Grüße aus Zürich und überall 😀");

    result = run("$Q encode --sequence 12 -o 'part{n}.svg' " + std::string(120, 'q'));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(dir_ / "part01.svg"));
    EXPECT_TRUE(fs::exists(dir_ / "part12.svg"));
}

TEST_F(ToolTable, ManualPageAndCompletionNameEveryOption) {
    const std::string manual = readFile(fs::path(QRKIT_SOURCE_DIR) / "cli/qrkit.1");
    const std::string bash = readFile(fs::path(QRKIT_SOURCE_DIR) / "cli/completion/qrkit.bash");
    const std::string zsh = readFile(fs::path(QRKIT_SOURCE_DIR) / "cli/completion/_qrkit");
    for (const char* command : {"encode", "explain", "batch", "parity"}) {
        const Shell help = run(std::string("$Q help ") + command);
        int options = 0;
        for (const std::string& line : tooltest::lines(help.out)) {
            const std::size_t at = line.find("--");
            // Option lines start with "  -x, --name" or "      --name"; their help is indented further.
            if ((line.rfind("  -", 0) != 0 && line.rfind("      --", 0) != 0) || at == std::string::npos)
                continue;
            const std::string option = line.substr(at, line.find_first_of(" \n", at) - at);
            SCOPED_TRACE(std::string(command) + " " + option);
            ++options;
            std::string escaped;  // as roff writes it
            for (char c : option)
                escaped += c == '-' ? std::string("\\-") : std::string(1, c);
            EXPECT_NE(manual.find(escaped), std::string::npos);
            EXPECT_NE(bash.find(option), std::string::npos);
            EXPECT_NE(zsh.find(option), std::string::npos);
        }
        EXPECT_GT(options, 5);
        EXPECT_NE(manual.find(command), std::string::npos);
    }

    // The bash completion completes option names and their values (without the bash-completion
    // package too); the zsh completion is valid zsh.
    const std::string script = (fs::path(QRKIT_SOURCE_DIR) / "cli/completion/qrkit.bash").string();
    const struct {
        const char* words;
        int current;
        const char* expected;
    } completions[] = {
        {"qrkit enc", 1, "encode\n"},
        {"qrkit encode --lev", 2, "--level\n"},
        {"qrkit encode --level ''", 3, "L\nM\nQ\nH\n"},
        {"qrkit batch --col", 2, "--column\n"},
        {"qrkit encode --format=s", 2, "svg\n"},
        {"qrkit encode --format = s", 4, "svg\n"},
    };
    for (const auto& c : completions) {
        SCOPED_TRACE(c.words);
        const Shell result =
            run("bash -c 'source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=" + std::to_string(c.current) +
                "; _qrkit; printf \"%s\\n\" \"${COMPREPLY[@]}\"' '" + script + "' " + c.words);
        EXPECT_EQ(result.out, c.expected) << result.err;
    }
    if (painttest::haveTool("zsh")) {
        EXPECT_EQ(
            run("zsh -n '" + (fs::path(QRKIT_SOURCE_DIR) / "cli/completion/_qrkit").string() + "'").status,
            0);
    }
}

}  // namespace
