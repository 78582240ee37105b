// qrkit encode --verify: the finished symbol read back by zxing-cpp and compared with the data.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "encoder/explain.h"
#include "encoder/hibc.h"
#include "encoder/objectmodel.h"

#if QRKIT_HAVE_ZXING
#define ZX_USE_UTF8 1
#include <ZXing/BarcodeFormat.h>
#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>
#include <ZXing/Result.h>
#endif

namespace qrkit_cli {

namespace {

// Printable form of bytes: printable ASCII as is, others as \xHH.
std::string printable(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text.push_back(static_cast<char>(c));
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            text += "\\x";
            text.push_back(kHex[c >> 4]);
            text.push_back(kHex[c & 15]);
        }
    }
    return text;
}

#if QRKIT_HAVE_ZXING
constexpr int kPixelsPerModule = 4;
constexpr int kQuietModules = 4;

// The symbol as an 8-bit grey picture (0 dark) inside a light quiet zone.
std::vector<std::uint8_t> picture(kelvane2::I2DBitPattern* symbol, int* side) {
    const int modules = symbol->getRows() + 2 * kQuietModules;
    *side = modules * kPixelsPerModule;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(*side) * *side, 255);
    for (int r = 0; r < symbol->getRows(); ++r) {
        for (int c = 0; c < symbol->getColumns(); ++c) {
            if (symbol->getModule(r, c) == 0) continue;
            for (int y = 0; y < kPixelsPerModule; ++y) {
                std::uint8_t* row =
                    &pixels[static_cast<std::size_t>((r + kQuietModules) * kPixelsPerModule + y) * *side];
                std::fill_n(row + (c + kQuietModules) * kPixelsPerModule, kPixelsPerModule, std::uint8_t{0});
            }
        }
    }
    return pixels;
}
#endif

}  // namespace

bool verifierAvailable() {
    return QRKIT_HAVE_ZXING != 0;
}

int verifySymbol(QRCODE_RESULT handle, const std::string& data, bool micro, bool hibc, bool quiet) {
#if QRKIT_HAVE_ZXING
    std::string text = data;
    if (hibc) {
        std::vector<char> raw(data.begin(), data.end());
        raw.push_back('\0');
        char formatted[kelvane2::qrencode::kHibcInputLimit + 1];
        int capacity = sizeof formatted;
        if (data.size() <= static_cast<std::size_t>(kelvane2::qrencode::kHibcInputLimit) &&
            kelvane2::qrencode::formatHibc(raw.data(), formatted, &capacity) == 0) {
            text = formatted;
        }
    }
    std::string expected;
    if (!kelvane2::qrencode::expectedReaderBytes(text, micro, &expected)) {
        std::cerr << "qrkit: verify failed: the data do not parse\n";
        return 1;
    }

    kelvane2::I2DBitPattern* symbol = nullptr;
    if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&symbol)) != 0) {
        std::cerr << "qrkit: verify failed: the result holds no symbol\n";
        return 1;
    }
    int side = 0;
    std::vector<std::uint8_t> pixels = picture(symbol, &side);
    symbol->Release();

    ZXing::ImageView view(pixels.data(), side, side, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(micro ? ZXing::BarcodeFormat::MicroQRCode : ZXing::BarcodeFormat::QRCode);
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        hints.setIsPure(true);
        result = ZXing::ReadBarcode(view, hints);
    }
    if (!result.isValid()) {
        std::cerr << "qrkit: verify failed: zxing-cpp cannot read the symbol back";
        if (result.error()) std::cerr << " (" << result.error().msg() << ")";
        std::cerr << "\n";
        return 1;
    }
    const std::string decoded(result.bytes().begin(), result.bytes().end());
    if (decoded != expected) {
        std::cerr << "qrkit: verify failed: the symbol reads back as \"" << printable(decoded) << "\", not \""
                  << printable(expected) << "\"\n";
        return 1;
    }
    if (!quiet)
        std::cerr << "qrkit: verified: zxing-cpp reads the symbol back as the data (" << decoded.size()
                  << (decoded.size() == 1 ? " byte)\n" : " bytes)\n");
    return 0;
#else
    (void)handle;
    (void)data;
    (void)micro;
    (void)hibc;
    (void)quiet;
    (void)printable;
    std::cerr << "qrkit: --verify is not available: this qrkit was built without zxing-cpp\n";
    return 1;
#endif
}

}  // namespace qrkit_cli
