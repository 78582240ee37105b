#include "support/decode.h"

#if !QRKIT_ZBAR_REPLAY
#include <zbar.h>
#endif

#if !QRKIT_ZXING_REPLAY
#define ZX_USE_UTF8 1
#include <ZXing/BarcodeFormat.h>
#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>
#include <ZXing/Result.h>
#endif

#include <algorithm>
#include <cstdio>
#include <memory>

#include "support/decode_record.h"

namespace qrkit_test {

ModuleMatrix ModuleMatrix::fromText(const std::vector<std::string>& lines) {
    ModuleMatrix matrix;
    matrix.rows = static_cast<int>(lines.size());
    for (const std::string& line : lines)
        matrix.columns = std::max(matrix.columns, static_cast<int>(line.size()));
    matrix.modules.assign(static_cast<std::size_t>(matrix.rows) * matrix.columns, 0);
    for (int j = 0; j < matrix.rows; ++j) {
        for (std::size_t k = 0; k < lines[j].size(); ++k)
            matrix.modules[static_cast<std::size_t>(j) * matrix.columns + k] = lines[j][k] == '1';
    }
    return matrix;
}

ModuleMatrix ModuleMatrix::fromPattern(kelvane2::IObjectBase* object) {
    ModuleMatrix matrix;
    void* view = nullptr;
    if (object == nullptr ||
        object->QueryInterface(kelvane2::IID_I2DBitPattern, &view) != kelvane2::kStatusOk)
        return matrix;
    auto* pattern = static_cast<kelvane2::I2DBitPattern*>(view);
    matrix.rows = pattern->getRows();
    matrix.columns = pattern->getColumns();
    matrix.modules.resize(static_cast<std::size_t>(matrix.rows) * matrix.columns);
    for (int j = 0; j < matrix.rows; ++j) {
        for (int k = 0; k < matrix.columns; ++k)
            matrix.modules[static_cast<std::size_t>(j) * matrix.columns + k] = pattern->getModule(j, k) != 0;
    }
    pattern->Release();
    return matrix;
}

ModuleMatrix ModuleMatrix::fromBytes(const std::uint8_t* bytes, int width) {
    ModuleMatrix matrix;
    matrix.rows = width;
    matrix.columns = width;
    matrix.modules.resize(static_cast<std::size_t>(width) * width);
    for (std::size_t i = 0; i < matrix.modules.size(); ++i)
        matrix.modules[i] = bytes[i] & 1;
    return matrix;
}

std::vector<std::string> ModuleMatrix::toText() const {
    std::vector<std::string> lines(static_cast<std::size_t>(rows), std::string(columns, '0'));
    for (int j = 0; j < rows; ++j) {
        for (int k = 0; k < columns; ++k)
            if (at(j, k)) lines[j][k] = '1';
    }
    return lines;
}

GreyImage renderMatrix(const ModuleMatrix& matrix, int pixelsPerModule, int quietModules) {
    GreyImage image;
    image.width = (matrix.columns + 2 * quietModules) * pixelsPerModule;
    image.height = (matrix.rows + 2 * quietModules) * pixelsPerModule;
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 255);
    for (int j = 0; j < matrix.rows; ++j) {
        for (int k = 0; k < matrix.columns; ++k) {
            if (!matrix.at(j, k)) continue;
            const int top = (j + quietModules) * pixelsPerModule;
            const int left = (k + quietModules) * pixelsPerModule;
            for (int y = top; y < top + pixelsPerModule; ++y)
                std::fill_n(&image.pixels[static_cast<std::size_t>(y) * image.width + left], pixelsPerModule,
                            0);
        }
    }
    return image;
}

namespace {

#if !QRKIT_ZBAR_REPLAY
// zbar over a picture, QR Code only: with binary output the data bytes as they are, else zbar's text
// (converted to UTF-8 by its own ECI handling and character set guess), which goes into the text field.
Decoded zbarRead(const GreyImage& picture, bool binary = true) {
    Decoded decoded;
    std::unique_ptr<zbar::zbar_image_scanner_t, void (*)(zbar::zbar_image_scanner_t*)> scanner(
        zbar::zbar_image_scanner_create(), zbar::zbar_image_scanner_destroy);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_BINARY,
                                        binary ? 1 : 0);
    std::unique_ptr<zbar::zbar_image_t, void (*)(zbar::zbar_image_t*)> image(zbar::zbar_image_create(),
                                                                             zbar::zbar_image_destroy);
    zbar::zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(image.get(), static_cast<unsigned>(picture.width),
                              static_cast<unsigned>(picture.height));
    zbar::zbar_image_set_data(image.get(), picture.pixels.data(), picture.pixels.size(), nullptr);
    const int found = zbar::zbar_scan_image(scanner.get(), image.get());
    if (found <= 0) {
        decoded.message = "zbar found no symbol";
        return decoded;
    }
    for (const zbar::zbar_symbol_t* symbol = zbar::zbar_image_first_symbol(image.get()); symbol != nullptr;
         symbol = zbar::zbar_symbol_next(symbol)) {
        if (zbar::zbar_symbol_get_type(symbol) != zbar::ZBAR_QRCODE) continue;
        decoded.ok = true;
        (binary ? decoded.bytes : decoded.text)
            .assign(zbar::zbar_symbol_get_data(symbol), zbar::zbar_symbol_get_data_length(symbol));
        const unsigned modifiers = zbar::zbar_symbol_get_modifiers(symbol);
        decoded.fnc1 = (modifiers & (1u << zbar::ZBAR_MOD_GS1))   ? 1
                       : (modifiers & (1u << zbar::ZBAR_MOD_AIM)) ? 2
                                                                  : 0;
        break;
    }
    if (!decoded.ok) decoded.message = "zbar found no QR Code";
    return decoded;
}
#endif

#if !QRKIT_ZXING_REPLAY
// What zxing-cpp reports of a result.
Decoded zxingAnswer(const ZXing::Result& result) {
    Decoded decoded;
    if (!result.isValid()) {
        decoded.message = "zxing-cpp: " + (result.error() ? result.error().msg() : std::string("no symbol"));
        return decoded;
    }
    decoded.ok = true;
    const ZXing::ByteArray& bytes = result.bytes();
    decoded.bytes.assign(bytes.begin(), bytes.end());
    decoded.text = result.text();
    decoded.microQr = result.format() == ZXing::BarcodeFormat::MicroQRCode;
    const std::string level = result.ecLevel();
    static const char kLevels[] = "LMQH";
    if (level.size() == 1 && std::find(kLevels, kLevels + 4, level[0]) != kLevels + 4)
        decoded.ecLevel = static_cast<int>(std::find(kLevels, kLevels + 4, level[0]) - kLevels);
    decoded.sequenceIndex = result.sequenceIndex();
    decoded.sequenceSize = result.sequenceSize();
    decoded.sequenceId = result.sequenceId();
    decoded.symbology = result.symbologyIdentifier();
    decoded.hasEci = result.hasECI();
    // "]Qm": m 1 plain, 3 FNC1 first, 5 FNC1 second; one more of each with an ECI.
    if (decoded.symbology.size() == 3 && decoded.symbology[1] == 'Q') {
        const int modifier = decoded.symbology[2] - '0';
        decoded.fnc1 = modifier <= 2 ? 0 : (modifier <= 4 ? 1 : 2);
    }
    return decoded;
}

// zxing-cpp over the picture of a matrix: QR Code and Micro QR Code, the pure-symbol reader as fallback.
Decoded zxingReadMatrix(const ModuleMatrix& matrix) {
    GreyImage picture = renderMatrix(matrix);
    ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::MicroQRCode);
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        // A clean, axis-aligned picture: the pure-symbol reader is the fallback for what the detector misses.
        hints.setIsPure(true);
        result = ZXing::ReadBarcode(view, hints);
    }
    return zxingAnswer(result);
}

// zxing-cpp over a rendering of typeset text: QR Code and Micro QR Code, the detector alone, with the
// local-average binarizer and then the global-histogram one. (The first loses some clean pictures
// whose modules are a whole multiple of its 8-pixel blocks with light grey edges: seen, version 40 at 4
// pixels a module, which a fixed threshold reads.)
Decoded zxingReadRendering(const GreyImage& picture) {
    ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::MicroQRCode);
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        hints.setBinarizer(ZXing::Binarizer::GlobalHistogram);
        result = ZXing::ReadBarcode(view, hints);
    }
    return zxingAnswer(result);
}

// zxing-cpp over a picture as it is: QR Code, the reader's default hints.
Decoded zxingReadPicture(const GreyImage& picture) {
    ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    return zxingAnswer(ZXing::ReadBarcode(view, hints));
}
#endif

constexpr const char* kZbar = "zbar";
constexpr const char* kZbarText = "zbar-text";
constexpr const char* kZxing = "zxing-cpp";
constexpr const char* kZxingRendering = "zxing-cpp-rendering";

Decoded emptyInput(const char* what) {
    Decoded decoded;
    decoded.message = what;
    return decoded;
}

}  // namespace

Decoded decodeWithZbar(const ModuleMatrix& matrix) {
    if (matrix.rows == 0) return emptyInput("empty matrix");
    const std::string key = detail::matrixKey(kZbar, matrix);
#if QRKIT_ZBAR_REPLAY
    return detail::replayDecode(key);
#else
    const Decoded decoded = zbarRead(renderMatrix(matrix));
    detail::recordDecode(key, decoded);
    return decoded;
#endif
}

Decoded decodeTextWithZbar(const ModuleMatrix& matrix) {
    if (matrix.rows == 0) return emptyInput("empty matrix");
    const std::string key = detail::matrixKey(kZbarText, matrix);
#if QRKIT_ZBAR_REPLAY
    return detail::replayDecode(key);
#else
    const Decoded decoded = zbarRead(renderMatrix(matrix), false);
    detail::recordDecode(key, decoded);
    return decoded;
#endif
}

Decoded decodeWithZxing(const ModuleMatrix& matrix) {
    if (matrix.rows == 0) return emptyInput("empty matrix");
    const std::string key = detail::matrixKey(kZxing, matrix);
#if QRKIT_ZXING_REPLAY
    return detail::replayDecode(key);
#else
    const Decoded decoded = zxingReadMatrix(matrix);
    detail::recordDecode(key, decoded);
    return decoded;
#endif
}

Decoded decodePictureWithZbar(const GreyImage& picture) {
    if (picture.pixels.empty()) return emptyInput("empty picture");
    const std::string key = detail::pictureKey(kZbar, picture);
#if QRKIT_ZBAR_REPLAY
    return detail::replayDecode(key);
#else
    const Decoded decoded = zbarRead(picture);
    detail::recordDecode(key, decoded);
    return decoded;
#endif
}

Decoded decodePictureWithZxing(const GreyImage& picture) {
    if (picture.pixels.empty()) return emptyInput("empty picture");
    const std::string key = detail::pictureKey(kZxing, picture);
#if QRKIT_ZXING_REPLAY
    return detail::replayDecode(key);
#else
    const Decoded decoded = zxingReadPicture(picture);
    detail::recordDecode(key, decoded);
    return decoded;
#endif
}

Decoded decodeImageWithZbar(const GreyImage& picture) {
    return decodePictureWithZbar(picture);
}

Decoded decodeImageWithZxing(const GreyImage& picture) {
    if (picture.pixels.empty()) return emptyInput("empty picture");
    const std::string key = detail::pictureKey(kZxingRendering, picture);
#if QRKIT_ZXING_REPLAY
    return detail::replayDecode(key);
#else
    const Decoded decoded = zxingReadRendering(picture);
    detail::recordDecode(key, decoded);
    return decoded;
#endif
}

std::string printable(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    return text;
}

}  // namespace qrkit_test

// zbar opens an iconv converter for ECI data and never closes it (seen with zbar 0.23.92): keep that
// leak of the reader out of the leak checks of sanitizer builds. Our own converters are closed.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:iconv_open\nleak:__gconv_open\nleak:__gconv_lookup_cache\n";
}
