// qrkit encode --sequence and --verify, run as a process: sequences read back by zxing-cpp in order to the
// whole message with its parity; verification passes on sound symbols and fails on a damaged overlay.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "encoder/explain.h"
#include "paint_test_support.h"
#include "qrkit/qrkit.h"
#include "support/decode.h"
#include "tool_run.h"

namespace {

using qrkit_test::ModuleMatrix;

// The tool's --verify reads its symbol back with zxing-cpp, which a build that replays the 64-bit run's
// decodes has not (the i386 one): there the tests leave the option out and read the symbols themselves.
#if QRKIT_ZXING_REPLAY
constexpr bool kToolVerifies = false;
#else
constexpr bool kToolVerifies = true;
#endif
constexpr const char* kVerify = kToolVerifies ? "--verify " : "";

// The symbols printed as module rows, separated by empty lines.
std::vector<ModuleMatrix> printedSymbols(const std::string& out) {
    std::vector<ModuleMatrix> symbols;
    std::vector<std::string> rows;
    for (const std::string& line : tooltest::lines(out + "\n")) {
        if (!line.empty()) {
            rows.push_back(line);
            continue;
        }
        if (!rows.empty()) symbols.push_back(ModuleMatrix::fromText(rows));
        rows.clear();
    }
    if (!rows.empty()) symbols.push_back(ModuleMatrix::fromText(rows));
    return symbols;
}

bool validUtf8(const std::string& bytes) {
    for (std::size_t k = 0; k < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[k]);
        const std::size_t length = lead < 0x80    ? 1
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC2 ? 2
                                                  : 0;
        if (length == 0 || k + length > bytes.size()) return false;
        for (std::size_t j = 1; j < length; ++j) {
            if ((static_cast<unsigned char>(bytes[k + j]) & 0xC0) != 0x80) return false;
        }
        k += length;
    }
    return true;
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

TEST(Sequence, ReadsBackInOrderToTheWholeMessage) {
    const struct {
        const char* name;
        std::string data;
        std::string count;
        bool utf8;  // every part must be whole UTF-8 characters
        int fnc1;   // FNC1 kind every symbol must report
    } cases[] = {
        {"UTF-8 text in 3",
         "Gr\xC3\xBC\xC3\x9F"
         "e aus Z\xC3\xBC"
         "rich \xE2\x82\xAC 12 \xF0\x9F\x98\x80 und \xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC\xE2\x82\xAC",
         "3", true, 0},
        {"Kanji pairs and escapes in 4",
         "AB~4[~d147~d095~d147~d095~d136~d159~d147~d095]~d065~MZ~~9 and more text here", "4", false, 0},
        {"long text in 16", std::string(400, 'q'), "16", true, 0},
        {"FNC1 in every symbol", "~10109501101020917171905081010ABCD1234", "2", true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tooltest::ToolRun run =
            tooltest::runTool("encode -e --print rows --sequence " + c.count + " " + shellQuoted(c.data));
        ASSERT_EQ(run.status, 0) << run.out;
        const std::vector<ModuleMatrix> symbols = printedSymbols(run.out);
        ASSERT_EQ(symbols.size(), static_cast<std::size_t>(std::stoi(c.count)));
        std::string whole;
        ASSERT_TRUE(kelvane2::qrencode::expectedReaderBytes(c.data, false, &whole));
        const std::string parity = std::to_string(QRCodeGetParity(c.data.c_str()));
        std::string joined;
        for (std::size_t k = 0; k < symbols.size(); ++k) {
            SCOPED_TRACE("symbol " + std::to_string(k + 1));
            const qrkit_test::Decoded decoded = qrkit_test::decodeWithZxing(symbols[k]);
            ASSERT_TRUE(decoded.ok) << decoded.message;
            EXPECT_EQ(decoded.sequenceIndex, static_cast<int>(k));
            EXPECT_EQ(decoded.sequenceSize, static_cast<int>(symbols.size()));
            EXPECT_EQ(decoded.sequenceId, parity);
            EXPECT_EQ(decoded.fnc1, c.fnc1);
            EXPECT_FALSE(decoded.bytes.empty());
            if (c.utf8) {
                EXPECT_TRUE(validUtf8(decoded.bytes)) << qrkit_test::printable(decoded.bytes);
            }
            joined += decoded.bytes;
        }
        EXPECT_EQ(qrkit_test::printable(joined), qrkit_test::printable(whole));
    }
}

TEST(Sequence, AutoTakesTheFewestSymbolsThatFit) {
    const std::string data(100, '7');
    // Version 1-M holds 28 digits beside the structured-append header: 100 digits need 4 symbols.
    const tooltest::ToolRun run =
        tooltest::runTool("encode --print rows --sequence auto --min-version 1 " + data);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<ModuleMatrix> symbols = printedSymbols(run.out);
    for (const ModuleMatrix& symbol : symbols)
        EXPECT_EQ(symbol.rows, 21);
    QRCODE_RESULT handle = nullptr;
    const std::string third = "~2[1][3,0]" + data.substr(0, 34);
    EXPECT_NE(QRCodeEncode(third.c_str(), 0x8001, 1, &handle), 0);  // three parts would not fit version 1
    EXPECT_EQ(symbols.size(), 4u);
}

TEST(Sequence, FilesAndFailures) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(testing::TempDir()) / "qrkit_sequence";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const tooltest::ToolRun run = tooltest::runTool("encode " + std::string(kVerify) + "--sequence 2 -o " +
                                                    (dir / "part{n}.png").string() + " 'TWO PARTS OF ONE'");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(painttest::decodeQr(painttest::readPngGrey((dir / "part1.png").string())), "TWO PART");
    EXPECT_EQ(painttest::decodeQr(painttest::readPngGrey((dir / "part2.png").string())), "S OF ONE");
    fs::remove_all(dir);

    const struct {
        const char* name;
        const char* arguments;
        int status;
        const char* text;
    } cases[] = {
        {"files need {n}", "encode --sequence 2 -o x.png ABC", 2, "{n}"},
        {"count out of range", "encode --sequence 17 ABC", 2, "2 to 16"},
        {"too short", "encode --sequence 3 AB", 1, "too short for 3 symbols"},
        {"a header already", "encode -e --sequence 2 '~2[1][2]ABC'", 1, "structured-append header"},
        {"not Micro", "encode --micro --sequence 2 123", 2, "QR Code"},
        {"too long even in 16", "encode --sequence auto --min-version 1 $(printf '%0500d' 0)", 1,
         "even in 16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tooltest::ToolRun failed = tooltest::runTool(c.arguments);
        EXPECT_EQ(failed.status, c.status);
        EXPECT_NE(failed.out.find(c.text), std::string::npos) << failed.out;
    }
}

// Each symbol is also printed and read in this process, so that where the tool cannot verify (see
// kToolVerifies) the symbols are still checked: a replayed decode passes only for a symbol equal, byte for
// byte, to the one the 64-bit tool made and verified.
TEST(Verify, PassesOnSoundSymbolsAndFailsOnADamagedOverlay) {
    // A dark 15 x 15 square over the centre of a version 5 symbol at level L: far more codewords than
    // the block corrects.
    std::string square = "~50[15,15,";
    for (int r = 0; r < 15; ++r)
        square += "FFFE";
    square += "]";
    const struct {
        const char* name;
        std::string options;
        std::string data;
        const char* output;  // -o and its file, or ""
        int status;
        const char* text;
    } cases[] = {
        {"plain", "", "'HELLO WORLD'", "", 0, "verified"},
        {"Swiss cross at L", "-e --level L ", "'~50[:swiss7]https://example.com/a/long/path'", "", 0,
         "verified"},
        {"Micro QR Code", "--micro ", "12345", "", 0, "verified"},
        {"HIBC", "--hibc ", "a1b2", "", 0, "verified"},
        {"FNC1 with a separator", "-e ", "'~110ABC%21XYZ'", "", 0, "verified"},
        {"ECI and Kanji", "-e ", "'~7000026Gr~d195~d188e~4[~d147~d095]'", "", 0, "verified"},
        {"damaged overlay", "-e --level L --min-version 5 ", "'" + square + "HELLO'", "", 1, "verify failed"},
        {"damaged overlay to a file", "-e --level L --min-version 5 ", "'" + square + "HELLO'", "--format png -o /dev/null ",
         1, "verify failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (kToolVerifies) {
            const tooltest::ToolRun run =
                tooltest::runTool("encode --verify " + c.options + c.output + c.data);
            EXPECT_EQ(run.status, c.status);
            EXPECT_NE(run.out.find(c.text), std::string::npos) << run.out;
        }
        const tooltest::ToolRun printed = tooltest::runTool("encode --print rows " + c.options + c.data);
        ASSERT_EQ(printed.status, 0) << printed.out;
        const std::vector<ModuleMatrix> symbols = printedSymbols(printed.out);
        ASSERT_EQ(symbols.size(), 1u) << printed.out;
        const qrkit_test::Decoded decoded = qrkit_test::decodeWithZxing(symbols[0]);
        EXPECT_EQ(decoded.ok, c.status == 0) << decoded.message;
    }
    // Without --verify the damaged symbol is made all the same.
    EXPECT_EQ(tooltest::runTool("encode -e --level L --min-version 5 '" + square + "HELLO'").status, 0);
}

}  // namespace
