// The expected values of the Windows tests, produced by this (native) build: the font strings of
// tests/windows/golden/symbols.txt and the image files beside it. This test checks that the native
// library still gives exactly those; with QRKIT_WRITE_GOLDEN=1 in the environment it rewrites them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "qrkit/qrkit.h"
#include "qrkit/qrkit_paint.h"
#include "support/decode.h"
#include "windows/golden_cases.h"

namespace {

const std::string kGoldenDir = std::string(QRKIT_SOURCE_DIR) + "/tests/windows/golden/";

bool rewriting() {
    const char* value = std::getenv("QRKIT_WRITE_GOLDEN");
    return value != nullptr && std::string(value) == "1";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

QRCODE_RESULT encode(const golden::Case& c) {
    QRCODE_RESULT handle = nullptr;
    switch (c.via) {
        case golden::Export::kQr:
            EXPECT_EQ(QRCodeEncode(c.data, c.versionWord, c.ecLevel, &handle), 0) << c.name;
            return handle;
        case golden::Export::kQr2:
            return QRCodeEncode2(c.data, c.versionWord, c.ecLevel);
        case golden::Export::kQr2W:
            return QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(c.wide), c.versionWord, c.ecLevel);
        case golden::Export::kMicro:
            EXPECT_EQ(MicroQRCodeEncode(c.data, c.versionWord, c.ecLevel, &handle), 0) << c.name;
            return handle;
        case golden::Export::kMicro2:
            return MicroQRCodeEncode2(c.data, c.versionWord, c.ecLevel);
        case golden::Export::kHibc:
            EXPECT_EQ(HIBC_QRCodeEncode(c.data, c.versionWord, c.ecLevel, &handle), 0) << c.name;
            return handle;
        case golden::Export::kHibc2:
            return HIBC_QRCodeEncode2(c.data, c.versionWord, c.ecLevel);
        case golden::Export::kQrOptimal:
            EXPECT_EQ(QRCodeEncodeOptimal(c.data, c.versionWord, c.ecLevel, &handle), 0) << c.name;
            return handle;
        case golden::Export::kMicroOptimal:
            EXPECT_EQ(MicroQRCodeEncodeOptimal(c.data, c.versionWord, c.ecLevel, &handle), 0) << c.name;
            return handle;
    }
    return nullptr;
}

TEST(WindowsGolden, FontStrings) {
    std::ostringstream text;
    text << "# Font strings of the symbols of tests/windows/golden_cases.h, written by the native build\n"
            "# (QRKIT_WRITE_GOLDEN=1 build/tests/qrkit_tests --gtest_filter='WindowsGolden.*').\n"
            "# qrkit.dll must give the same. Each symbol: [name], its version, its font string's lines.\n";
    for (const golden::Case& c : golden::kCases) {
        QRCODE_RESULT handle = encode(c);
        ASSERT_NE(handle, nullptr) << c.name;
        const qrkit_test::Decoded read =
            qrkit_test::decodeWithZxing(qrkit_test::ModuleMatrix::fromPattern(handle));
        EXPECT_TRUE(read.ok) << c.name << ": " << read.message;
        const char* font = QRCodeResultGetBarcodeString2(handle, golden::kSeparator);
        ASSERT_NE(font, nullptr) << c.name;
        text << '\n'
             << '[' << c.name << "]\nversion " << QRCodeResultGetVersion(handle) << '\n'
             << font << '\n';
        DestroyQRCodeEncodeResult(handle);
    }
    const std::string path = kGoldenDir + "symbols.txt";
    if (rewriting()) {
        std::ofstream(path, std::ios::binary) << text.str();
    }
    EXPECT_EQ(readFile(path), text.str()) << "set QRKIT_WRITE_GOLDEN=1 to rewrite " << path;

    // The file reads back as written.
    std::istringstream in(text.str());
    EXPECT_EQ(golden::read(in).size(), std::size(golden::kCases));
}

TEST(WindowsGolden, Images) {
    QRCODE_RESULT handle = QRCodeEncode2(golden::kImageData, 0, golden::kImageLevel);
    ASSERT_NE(handle, nullptr);
    for (const golden::Image& image : golden::kImages) {
        SCOPED_TRACE(image.file);
        const std::string path = kGoldenDir + image.file;
        const std::string fresh = ::testing::TempDir() + "qrkit-golden-" + image.file;
        const std::string target = rewriting() ? path : fresh;
        const int result =
            image.raster ? PaintQRCodeImageRaster(handle, target.c_str(), image.moduleSize, image.foreColour,
                                                  image.backColour, image.format)
                         : PaintQRCodeImageVector(handle, target.c_str(), image.moduleSize, image.resolution,
                                                  image.foreColour, image.backColour, image.format);
        ASSERT_EQ(result, 0);
        if (image.format != 0) {  // a PNG carries the time of writing: the Windows test compares its chunks
            EXPECT_EQ(readFile(target), readFile(path));
        } else {
            EXPECT_EQ(readFile(target).size(), readFile(path).size());
        }
        if (!rewriting()) std::remove(fresh.c_str());
    }
    DestroyQRCodeEncodeResult(handle);
}

}  // namespace
