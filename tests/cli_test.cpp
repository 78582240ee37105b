// The qrkit tool, run as a separate process.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "paint_test_support.h"
#include "qrkit/qrkit.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// Runs the tool with arguments (a shell fragment) and standard error folded into the output.
ToolRun runTool(const std::string& arguments) {
    std::string command = std::string(QRKIT_CLI_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run{-1, ""};
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string fontString(QRCODE_RESULT handle, const char* separator) {
    std::string text = QRCodeResultGetBarcodeString2(handle, separator);
    DestroyQRCodeEncodeResult(handle);
    return text;
}

TEST(Tool, FontStringEqualsTheLibrarys) {
    const struct {
        const char* name;
        const char* arguments;
        QRCODE_RESULT (*encode)();
    } cases[] = {
        {"default level M", "encode 'HELLO 123'", [] { return QRCodeEncode2("HELLO 123", 0, 1); }},
        {"level H, version 5", "encode --level H --min-version 5 abc",
         [] { return QRCodeEncode2("abc", 5, 3); }},
        {"forced byte mode, strict", "encode --mode byte --min-version 2 --strict 12345",
         [] { return QRCodeEncode2("12345", 0x8402, 1); }},
        {"micro", "encode --micro 12345", [] { return MicroQRCodeEncode2("12345", 0, 1); }},
        {"hibc", "encode --hibc --level L a1b2", [] { return HIBC_QRCodeEncode2("a1b2", 0, 0); }},
        {"standard input", "encode - < /dev/null", [] { return QRCodeEncode2("", 0, 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runTool(c.arguments);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out, fontString(c.encode(), "\n") + "\n");
    }
}

TEST(Tool, SeparatorAndOtherPrints) {
    ToolRun run = runTool("encode --separator '\\r\\n' 12345");
    EXPECT_EQ(run.out, fontString(QRCodeEncode2("12345", 0, 1), "\r\n") + "\n");
    run = runTool("encode --print rows 12345");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.size(), 21u * 22);  // 21 rows of 21 modules and a line feed
    EXPECT_EQ(run.out.substr(0, 8), "11111110");
    run = runTool("encode --print terminal --quiet-zone 1 12345");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\u2580"), std::string::npos);
}

TEST(Tool, DataFromAFile) {
    const std::string path = testing::TempDir() + "qrkit_cli_data.txt";
    std::ofstream(path) << "FROM A FILE";
    ToolRun run = runTool("encode --file " + path);
    EXPECT_EQ(run.out, fontString(QRCodeEncode2("FROM A FILE", 0, 1), "\n") + "\n");
    std::remove(path.c_str());
}

TEST(Tool, FailuresPrintTheLibrarysMessage) {
    const struct {
        const char* name;
        const char* arguments;
        int status;
        const char* text;
    } cases[] = {
        {"too long for the strict version", "encode --strict --min-version 1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         1, "Input is too long"},
        {"numeric mode with a letter", "encode --mode numeric 12A", 1, "Invalid characters in input data"},
        {"bad structured append", "encode '~2[0][3]X'", 1, "Invalid Sequence in Structural Append block"},
        {"micro too long", "encode --micro 123456789012345678901234567890123456", 1, "Input is too long"},
        {"unknown option", "encode --colour red X", 2, "unknown option"},
        {"bad level", "encode --level X 1", 2, "--level"},
        {"no data", "encode", 2, "no data"},
        {"missing file", "encode --file /nonexistent/qrkit", 1, "cannot read"},
        {"a directory as the file", "encode --file /", 1, "cannot read /: Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runTool(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.text), std::string::npos) << run.out;
    }
}

TEST(Tool, ImageFilesWithAQuietZone) {
    const std::string png = testing::TempDir() + "qrkit_cli_symbol.png";
    ToolRun run = runTool("encode -o " + png + " --module-size 3 'IMAGE FROM THE TOOL'");
    ASSERT_EQ(run.status, 0) << run.out;
    painttest::GreyImage image = painttest::readPngGrey(png);
    EXPECT_EQ(image.width, (21 + 2 * 4) * 3);  // version 1 with the default quiet zone of 4 modules
    EXPECT_EQ(image.at(0, 0), 255);
    EXPECT_EQ(image.at(4 * 3, 4 * 3), 0);  // the finder pattern's corner after the quiet zone
    EXPECT_EQ(painttest::decodeQr(image), "IMAGE FROM THE TOOL");

    run = runTool("encode --micro -o " + png + " --module-size 2 12345");
    image = painttest::readPngGrey(png);
    EXPECT_EQ(image.width, (11 + 2 * 2) * 2);  // Micro QR Code: a quiet zone of 2 modules
    std::remove(png.c_str());

    const struct {
        const char* name;
        std::string arguments;
        int status;
        const char* text;
    } cases[] = {
        {"format from --format", "encode --format svg -o " + testing::TempDir() + "qrkit_cli_symbol X", 0,
         ""},
        {"every vector format", "encode -o " + testing::TempDir() + "qrkit_cli_symbol.emf --dpi 600 X", 0,
         ""},
        {"colours", "encode -o " + testing::TempDir() + "qrkit_cli_symbol.bmp --fg 102030 --bg '#fafafa' X",
         0, ""},
        {"unknown extension", "encode -o " + testing::TempDir() + "qrkit_cli_symbol.gif X", 2, "--format"},
        {"missing directory", "encode -o /nonexistent/qrkit/x.png X", 1, "File access denied"},
        {"bad colour", "encode -o x.png --fg red X", 2, "--fg"},
        {"module size 0", "encode -o x.png --module-size 0 X", 2, "--module-size"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run = runTool(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.out;
        EXPECT_NE(run.out.find(c.text), std::string::npos) << run.out;
    }
}

TEST(Tool, HelpAndParity) {
    ToolRun run = runTool("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Examples:"), std::string::npos);
    run = runTool("parity AB");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "3\n");
}

}  // namespace
