// HTML pages of a symbol (cli/html_page.h, qrkit encode --print html and -o page.html): the font string
// set in the qrkit QR font, which the page carries as a WOFF2 data URI. Chromium renders these pages in
// font_engines_test.cpp.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "cli/html_page.h"
#include "qrkit/qrkit.h"
#include "tool_run.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Standard base64 (RFC 4648) to bytes; stops at the first character outside the alphabet.
std::string fromBase64(const std::string& text) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string::npos) break;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

// The text between the first occurrence of from and the next of to.
std::string between(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t start = text.find(from);
    if (start == std::string::npos) return "";
    const std::size_t end = text.find(to, start + from.size());
    if (end == std::string::npos) return "";
    return text.substr(start + from.size(), end - start - from.size());
}

std::string fontString(QRCODE_RESULT handle) {
    std::string text = QRCodeResultGetBarcodeString2(handle, "\n");
    DestroyQRCodeEncodeResult(handle);
    return text;
}

TEST(HtmlPage, CarriesTheBuildsFontAndTheFontStringAsIs) {
    const std::string text = fontString(QRCodeEncode2("HELLO", 0, 1));
    const std::string page = qrkit_cli::htmlPage(text, qrkit_cli::HtmlPageStyle{});
    // The data URI is the WOFF2 the build made, byte for byte.
    const std::string woff2 = readFile(QRKIT_FONT_WOFF2);
    ASSERT_FALSE(woff2.empty());
    EXPECT_EQ(fromBase64(between(page, "data:font/woff2;base64,", ")")), woff2);
    // The lines are the font string, with nothing added (the quiet zone is padding).
    EXPECT_EQ(between(between(page, "<pre", "</pre>") + "</pre>", "\">", "</pre>"), text);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("<title>QR Code</title>"), std::string::npos);
    EXPECT_NE(page.find("font-family: 'qrkit QR'"), std::string::npos);
    EXPECT_NE(page.find("font-display: block"), std::string::npos);
}

TEST(HtmlPage, StyleFollowsModuleSizeQuietZoneAndColours) {
    const struct {
        const char* name;
        qrkit_cli::HtmlPageStyle style;
        const char* fragments[4];
    } cases[] = {
        // The defaults: four CSS pixels a module, a 16px font, four modules of quiet zone.
        {"defaults", {}, {"font-size:16px", "padding:16px", "color:#000000", "background:#ffffff"}},
        // A font size between pixels: 10pt at 96 dpi is 13.3333px, a module 3.3333px.
        {"fractional module",
         {10.0 / 3, 2, 0x1a237e, 0xfff8e1, "QR Code"},
         {"font-size:13.3333px", "padding:6.6667px", "color:#1a237e", "background:#fff8e1"}},
        {"no quiet zone",
         {6, 0, 0x000000, 0xffffff, "QR Code"},
         {"font-size:24px", "padding:0px", "line-height:1", "white-space:pre"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string page = qrkit_cli::htmlPage("F\n8", c.style);
        for (const char* fragment : c.fragments)
            EXPECT_NE(page.find(fragment), std::string::npos) << fragment;
    }
    // What would move a module is pinned in every page.
    const std::string page = qrkit_cli::htmlPage("F", qrkit_cli::HtmlPageStyle{});
    for (const char* pinned :
         {"letter-spacing:0", "word-spacing:0", "font-kerning:none", "font-synthesis:none",
          "font-variant-ligatures:none", "text-align:left", "font-weight:normal"})
        EXPECT_NE(page.find(pinned), std::string::npos) << pinned;
}

TEST(HtmlPage, ToolPrintsAndWritesThePage) {
    const std::string text = fontString(QRCodeEncode2("HELLO", 0, 1));
    // --print html: the page with the defaults.
    tooltest::ToolRun run = tooltest::runTool("encode --print html HELLO");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, qrkit_cli::htmlPage(text, qrkit_cli::HtmlPageStyle{}));

    // -o page.html with the image options: module size in CSS pixels, quiet zone, colours.
    const std::string path = testing::TempDir() + "qrkit_html_page.html";
    run = tooltest::runTool("encode -o " + path +
                            " --module-size 5 --quiet-zone 2 --fg 102030 --bg f0f0e0 HELLO");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    qrkit_cli::HtmlPageStyle style;
    style.moduleSize = 5;
    style.quietZone = 2;
    style.foreColour = 0x102030;
    style.backColour = 0xf0f0e0;
    EXPECT_EQ(readFile(path), qrkit_cli::htmlPage(text, style));

    // --format html names the format whatever the extension; .HTM is told by its extension.
    for (const std::string& arguments :
         {"--format html -o " + path + ".out HELLO", "-o " + path + ".HTM HELLO"}) {
        run = tooltest::runTool("encode " + arguments);
        EXPECT_EQ(run.status, 0) << arguments << ": " << run.out;
    }
    EXPECT_EQ(readFile(path + ".out"), qrkit_cli::htmlPage(text, qrkit_cli::HtmlPageStyle{}));
    EXPECT_EQ(readFile(path + ".HTM"), readFile(path + ".out"));
    std::remove(path.c_str());
    std::remove((path + ".out").c_str());
    std::remove((path + ".HTM").c_str());
}

TEST(HtmlPage, MicroQrCodePageHasItsTitleAndItsQuietZone) {
    const std::string text = fontString(MicroQRCodeEncode2("12345", 0, 1));
    const tooltest::ToolRun run = tooltest::runTool("encode --micro --print html 12345");
    EXPECT_EQ(run.status, 0) << run.out;
    qrkit_cli::HtmlPageStyle style;
    style.quietZone = 2;  // the tool's default for Micro QR Code
    style.title = "Micro QR Code";
    EXPECT_EQ(run.out, qrkit_cli::htmlPage(text, style));
}

TEST(HtmlPage, UnwritablePathFailsWithItsName) {
    // A folder that cannot be made: its parent is a file. Input or output failures exit with 3.
    const tooltest::ToolRun run = tooltest::runTool("encode -o /dev/null/qrkit/page.html HELLO");
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("/dev/null"), std::string::npos) << run.out;
}

TEST(HtmlPage, PageGoesToStandardOutputWithDashAndInBatches) {
    const std::string text = fontString(QRCodeEncode2("HELLO", 0, 1));
    tooltest::ToolRun run = tooltest::runTool("encode -o - --format html HELLO");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, qrkit_cli::htmlPage(text, qrkit_cli::HtmlPageStyle{}));
    const std::string folder = testing::TempDir() + "qrkit_html_batch";
    const std::string records = testing::TempDir() + "qrkit_html_batch.txt";
    std::FILE* file = std::fopen(records.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("HELLO\n", file);
    std::fclose(file);
    run = tooltest::runTool("batch -q -o " + folder + "/{n}.html " + records);
    std::remove(records.c_str());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(readFile(folder + "/1.html"), qrkit_cli::htmlPage(text, qrkit_cli::HtmlPageStyle{}));
    std::remove((folder + "/1.html").c_str());
    std::remove(folder.c_str());
}

}  // namespace
