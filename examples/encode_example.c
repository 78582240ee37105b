/* Encodes text as a QR Code symbol with libqrkit: prints its version and font string, and writes a PNG
 * image when a file name is given.
 *
 *   encode_example TEXT [IMAGE.png]
 */
#include <stdio.h>

#include "qrkit/qrkit.h"

int main(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : "https://example.com";
    QRCODE_RESULT symbol = NULL;
    int32_t result = QRCodeEncode(text, 0, 1 /* level M */, &symbol);
    if (result != 0) {
        fprintf(stderr, "encode failed: %s\n", QRCodeGetErrorMessage(result));
        return 1;
    }
    printf("version %d\n%s\n", QRCodeResultGetVersion(symbol), QRCodeResultGetBarcodeString2(symbol, "\n"));
    if (argc > 2) {
        /* 8 pixels a module, black on white, format 0 (PNG). No quiet zone is added. */
        int painted = PaintQRCodeImageRaster(symbol, argv[2], 8, 0x000000, 0xFFFFFF, 0);
        if (painted != 0) {
            fprintf(stderr, "cannot write %s (error %d)\n", argv[2], painted);
            DestroyQRCodeEncodeResult(symbol);
            return 1;
        }
    }
    DestroyQRCodeEncodeResult(symbol);
    return 0;
}
