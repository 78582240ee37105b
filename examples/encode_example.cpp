// Encodes text as a QR Code symbol with libqrkit from C++: prints the symbol as rows of modules read
// through the result's I2DBitPattern view, and writes a PNG image when a file name is given.
//
//   encode_example_cpp TEXT [IMAGE.png]
#include <cstdio>
#include <memory>

#include "qrkit/objectmodel.h"
#include "qrkit/qrkit.h"

namespace {

// Ends a result with DestroyQRCodeEncodeResult when the owner goes away.
struct ResultDeleter {
    void operator()(kelvane2::IQrcodeResult* result) const { DestroyQRCodeEncodeResult(result); }
};
using Symbol = std::unique_ptr<kelvane2::IQrcodeResult, ResultDeleter>;

}  // namespace

int main(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : "https://example.com";
    QRCODE_RESULT handle = nullptr;
    const int32_t result = QRCodeEncode(text, 0, 1 /* level M */, &handle);
    if (result != 0) {
        std::fprintf(stderr, "encode failed: %s\n", QRCodeGetErrorMessage(result));
        return 1;
    }
    Symbol symbol(handle);

    // The module matrix, through the I2DBitPattern view (one reference, released below).
    kelvane2::I2DBitPattern* modules = nullptr;
    if (symbol->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&modules)) != 0)
        return 1;
    std::printf("version %d, level %d\n", symbol->getVersion(), symbol->getEcLevel());
    for (int row = 0; row < modules->getRows(); ++row) {
        for (int column = 0; column < modules->getColumns(); ++column) {
            std::fputs(modules->getModule(row, column) ? "##" : "  ", stdout);
        }
        std::fputc('\n', stdout);
    }
    modules->Release();

    if (argc > 2 && PaintQRCodeImageRaster(symbol.get(), argv[2], 8, 0x000000, 0xFFFFFF, 0) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
