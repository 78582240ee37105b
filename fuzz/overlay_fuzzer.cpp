// Center overlays: overlay text parsed on its own and given in the input language ("~50[...]" or a
// named overlay) of a QR Code encode.
// Input: 1 byte version, 1 byte level, then the overlay text (up to its first 0 byte).
#include <string>

#include "encoder/objectmodel.h"
#include "encoder/overlay.h"
#include "encoder/result_codes.h"
#include "encoder/viewref.h"
#include "fuzz/fuzz_checks.h"
#include "qrkit/qrkit.h"

using namespace qrkit_fuzz;
using kelvane2::I2DBitPattern;
using kelvane2::ViewRef;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    InputReader reader(input, size);
    const int version = reader.byte() % 42;
    const int level = reader.byte() % 4;
    std::string text = reader.restAsText();

    // The text on its own, all of it.
    ViewRef<I2DBitPattern> whole(kelvane2::qrencode::parseOverlayText(text.data(), text.size()));
    if (whole) {
        FUZZ_CHECK(whole->getRows() >= 1 && whole->getRows() <= kelvane2::qrencode::kOverlayMaxSide, "rows");
        FUZZ_CHECK(whole->getColumns() >= 1 && whole->getColumns() <= kelvane2::qrencode::kOverlayMaxSide,
                   "columns");
    }

    // In the input language the block ends at the first ']'.
    const std::size_t close = text.find(']');
    if (close != std::string::npos) text.resize(close);
    const bool named = !text.empty() && text[0] == ':';
    ViewRef<I2DBitPattern> overlay(named ? nullptr
                                         : kelvane2::qrencode::parseOverlayText(text.data(), text.size()));

    const std::string data = "~50[" + text + "]QRKIT";
    QRCODE_RESULT handle = nullptr;
    const std::int32_t code = QRCodeEncode(data.c_str(), version, level, &handle);
    if (!named && !overlay) {
        FUZZ_CHECK(code == kelvane2::failureCode(kelvane2::kErrOverlayBlock), "code " + std::to_string(code));
        FUZZ_CHECK(handle == nullptr, "handle on failure");
        return 0;
    }
    FUZZ_CHECK(code == 0, "code " + std::to_string(code));
    const int w = 17 + 4 * QRCodeResultGetVersion(handle);
    if (named) FUZZ_CHECK(QRCodeResultGetVersion(handle) >= 6, "named overlay below version 6");

    checkQrSymbol(handle, level, overlayArea(data, version, level, w));
    if (overlay) {
        // The overlay's modules, clipped to the symbol, replace the symbol's.
        ViewRef<I2DBitPattern> symbol;
        FUZZ_CHECK(symbol.query(handle, kelvane2::IID_I2DBitPattern) == kelvane2::kStatusOk, "view");
        const int rows = overlay->getRows();
        const int columns = overlay->getColumns();
        const int top = (w - rows) / 2;
        const int left = (w - columns) / 2;
        for (int row = 0; row < w; ++row) {
            for (int column = 0; column < w; ++column) {
                const int i = row - top;
                const int j = column - left;
                if (i < 0 || i >= rows || j < 0 || j >= columns) continue;
                FUZZ_CHECK(symbol->getModule(row, column) == overlay->getModule(i, j), "overlay module");
            }
        }
    }
    FUZZ_CHECK(DestroyQRCodeEncodeResult(handle) == 0, "references left");
    return 0;
}
