// An application built with qrkit through add_subdirectory: the public headers resolve as
// "qrkit/<name>.h" and nothing of the library's internal folders is on the include path.
#include <cstdio>

#include "qrkit/istream.h"
#include "qrkit/objectmodel.h"
#include "qrkit/qrkit.h"

#if __has_include("encoder/qrinput.h") || __has_include("imaging/png.h") || __has_include("qrkit/exports.cpp")
#error "qrkit's internal folders are on the include path"
#endif

extern "C" int encodeFromC(const char* text);

int main() {
    QRCODE_RESULT symbol = nullptr;
    if (QRCodeEncode("12345", 0, 0, &symbol) != 0) return 1;
    kelvane2::I2DBitPattern* modules = nullptr;
    if (symbol->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&modules)) != 0)
        return 2;
    const int rows = modules->getRows();
    const int corner = modules->getModule(0, 0);
    modules->Release();
    const int version = QRCodeResultGetVersion(symbol);
    DestroyQRCodeEncodeResult(symbol);
    std::printf("version %d, %d rows, top left %s\n", version, rows, corner ? "dark" : "light");
    return version == 1 && rows == 21 && corner == 1 && encodeFromC("HELLO") == 1 ? 0 : 3;
}
