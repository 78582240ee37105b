// Real symbols written as PNG and BMP images and read back from the image pixels by zbar and zxing-cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "encoder/encode_qr.h"
#include "imaging/bmp.h"
#include "imaging/geometry.h"
#include "imaging/png.h"
#include "imaging_test_support.h"
#include "support/decode.h"

namespace {

using kelvane2::imaging::PaintStatus;

// An 8-bit grey picture.
struct Grey {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

std::uint8_t luminance(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint8_t>((299 * r + 587 * g + 114 * b) / 1000);
}

// The picture with a white margin of `margin` pixels on every side: the writers add no quiet zone.
Grey withMargin(const Grey& picture, int margin) {
    Grey framed;
    framed.width = picture.width + 2 * margin;
    framed.height = picture.height + 2 * margin;
    framed.pixels.assign(static_cast<std::size_t>(framed.width) * framed.height, 255);
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(&picture.pixels[static_cast<std::size_t>(y) * picture.width], picture.width,
                    &framed.pixels[static_cast<std::size_t>(y + margin) * framed.width + margin]);
    }
    return framed;
}

Grey greyOfPng(const std::string& png) {
    qrkit_test::Picture picture;
    EXPECT_TRUE(qrkit_test::decodePng(png, picture));
    Grey grey{picture.width, picture.height, {}};
    for (std::size_t n = 0; n + 2 < picture.rgb.size(); n += 3)
        grey.pixels.push_back(luminance(picture.rgb[n], picture.rgb[n + 1], picture.rgb[n + 2]));
    return grey;
}

// An 8-bit bottom-up BMP through its own palette.
Grey greyOfBmp(const std::string& bmp) {
    auto le32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(
            static_cast<std::uint8_t>(bmp[at]) | (static_cast<std::uint8_t>(bmp[at + 1]) << 8) |
            (static_cast<std::uint8_t>(bmp[at + 2]) << 16) |
            (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bmp[at + 3])) << 24));
    };
    Grey grey{static_cast<int>(le32(18)), static_cast<int>(le32(22)), {}};
    const std::size_t offset = le32(10), stride = (static_cast<std::size_t>(grey.width) + 3) / 4 * 4;
    grey.pixels.resize(static_cast<std::size_t>(grey.width) * grey.height);
    for (int y = 0; y < grey.height; ++y) {
        const std::size_t row = offset + static_cast<std::size_t>(grey.height - 1 - y) * stride;
        for (int x = 0; x < grey.width; ++x) {
            const std::size_t entry =
                54 + 4 * static_cast<std::uint8_t>(bmp[row + static_cast<std::size_t>(x)]);
            grey.pixels[static_cast<std::size_t>(y) * grey.width + x] =
                luminance(static_cast<std::uint8_t>(bmp[entry + 2]),
                          static_cast<std::uint8_t>(bmp[entry + 1]), static_cast<std::uint8_t>(bmp[entry]));
        }
    }
    return grey;
}

std::string readWithZbar(const Grey& picture) {
    const qrkit_test::Decoded decoded =
        qrkit_test::decodePictureWithZbar({picture.width, picture.height, picture.pixels});
    return decoded.ok ? decoded.bytes : "(zbar read nothing: " + decoded.message + ")";
}

std::string readWithZxing(const Grey& picture) {
    const qrkit_test::Decoded decoded =
        qrkit_test::decodePictureWithZxing({picture.width, picture.height, picture.pixels});
    return decoded.ok ? decoded.bytes : "(zxing-cpp read nothing: " + decoded.message + ")";
}

TEST(ImageDecode, PngAndBmpOfRealSymbolsAreRead) {
    struct Row {
        const char* name;
        std::string data;
        int level;
        std::int32_t moduleSize;
        std::uint32_t fore, back;
    };
    const Row table[] = {
        {"short text, level M, 4 pixels", "qrkit image writers", 1, 4, 0x000000, 0xFFFFFF},
        {"digits, level H, 3 pixels, dark blue on cream", "0123456789012345678901234567890123456789", 3, 3,
         0x000080, 0xFFFBF0},
        {"300 bytes, level L, 2 pixels", std::string(300, 'q'), 0, 2, 0x000000, 0xFFFFFF},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        kelvane2::IQrcodeResult* result = nullptr;
        ASSERT_EQ(
            kelvane2::qrencode::encodeQr(reinterpret_cast<const std::uint8_t*>(row.data.data()),
                                         static_cast<int>(row.data.size()), {0, row.level, -1}, &result),
            0);
        kelvane2::I2DBitPattern* pattern = nullptr;
        ASSERT_EQ(result->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern)), 0);
        result->Release();

        const kelvane2::imaging::RasterPaintOptions options{row.moduleSize, row.moduleSize, row.fore,
                                                            row.back};
        std::ostringstream png, bmp;
        ASSERT_EQ(kelvane2::imaging::paintRaster(options, pattern, kelvane2::imaging::kFormatPng, png),
                  PaintStatus::kOk);
        ASSERT_EQ(kelvane2::imaging::paintRaster(options, pattern, kelvane2::imaging::kFormatBmp, bmp),
                  PaintStatus::kOk);
        pattern->Release();

        const int margin = 4 * row.moduleSize;
        const Grey pictures[] = {withMargin(greyOfPng(png.str()), margin),
                                 withMargin(greyOfBmp(bmp.str()), margin)};
        for (const Grey& picture : pictures) {
            EXPECT_EQ(readWithZbar(picture), row.data);
            EXPECT_EQ(readWithZxing(picture), row.data);
        }
    }
}

}  // namespace
