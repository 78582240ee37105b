/* The C side of the application: qrkit/qrkit.h and qrkit/qrkit_paint.h as C. */
#include "qrkit/qrkit.h"
#include "qrkit/qrkit_paint.h"

int encodeFromC(const char* text) {
    QRCODE_RESULT symbol = QRCodeEncode2(text, 0, 1);
    int version;
    if (!symbol) return 0;
    version = QRCodeResultGetVersion(symbol);
    DestroyQRCodeEncodeResult(symbol);
    return version;
}
