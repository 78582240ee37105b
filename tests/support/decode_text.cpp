#include "support/decode_text.h"

#include <zbar.h>

#define ZX_USE_UTF8 1
#include <ZXing/BarcodeFormat.h>
#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>
#include <ZXing/Result.h>

#include <memory>

namespace qrkit_test {

DecodedText decodeTextWithZbar(const ModuleMatrix& matrix) {
    DecodedText decoded;
    if (matrix.rows == 0) {
        decoded.message = "empty matrix";
        return decoded;
    }
    GreyImage picture = renderMatrix(matrix);
    std::unique_ptr<zbar::zbar_image_scanner_t, void (*)(zbar::zbar_image_scanner_t*)> scanner(
        zbar::zbar_image_scanner_create(), zbar::zbar_image_scanner_destroy);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    std::unique_ptr<zbar::zbar_image_t, void (*)(zbar::zbar_image_t*)> image(zbar::zbar_image_create(),
                                                                             zbar::zbar_image_destroy);
    zbar::zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(image.get(), static_cast<unsigned>(picture.width),
                              static_cast<unsigned>(picture.height));
    zbar::zbar_image_set_data(image.get(), picture.pixels.data(), picture.pixels.size(), nullptr);
    if (zbar::zbar_scan_image(scanner.get(), image.get()) <= 0) {
        decoded.message = "zbar found no symbol";
        return decoded;
    }
    for (const zbar::zbar_symbol_t* symbol = zbar::zbar_image_first_symbol(image.get()); symbol != nullptr;
         symbol = zbar::zbar_symbol_next(symbol)) {
        if (zbar::zbar_symbol_get_type(symbol) != zbar::ZBAR_QRCODE) continue;
        decoded.ok = true;
        decoded.text.assign(zbar::zbar_symbol_get_data(symbol), zbar::zbar_symbol_get_data_length(symbol));
        return decoded;
    }
    decoded.message = "zbar found no QR Code";
    return decoded;
}

DecodedText decodeTextWithZxing(const ModuleMatrix& matrix) {
    DecodedText decoded;
    if (matrix.rows == 0) {
        decoded.message = "empty matrix";
        return decoded;
    }
    GreyImage picture = renderMatrix(matrix);
    ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::MicroQRCode);
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        hints.setIsPure(true);
        result = ZXing::ReadBarcode(view, hints);
    }
    if (!result.isValid()) {
        decoded.message = "zxing-cpp: " + (result.error() ? result.error().msg() : std::string("no symbol"));
        return decoded;
    }
    decoded.ok = true;
    decoded.text = result.text();
    return decoded;
}

}  // namespace qrkit_test
