// qrkit.dll as a Windows program sees it: loaded with LoadLibrary, every export called through the
// pointer GetProcAddress gives for its name.
#ifndef QRKIT_TESTS_WINDOWS_QRKIT_DLL_H
#define QRKIT_TESTS_WINDOWS_QRKIT_DLL_H

#include <windows.h>

#include <cstdint>
#include <string>

#include "qrkit/qrkit.h"
#include "qrkit/qrkit_paint.h"

namespace wintest {

// The export table of qrkit.dll: every export's name and ordinal.
struct ExportEntry {
    const char* name;
    int ordinal;
};
extern const ExportEntry kExports[21];

// The exports of one loaded library, each resolved by name.
struct Qrkit {
    decltype(&::QRCodeEncode) QRCodeEncode;
    decltype(&::QRCodeEncode2) QRCodeEncode2;
    decltype(&::QRCodeEncode2W) QRCodeEncode2W;
    decltype(&::MicroQRCodeEncode) MicroQRCodeEncode;
    decltype(&::MicroQRCodeEncode2) MicroQRCodeEncode2;
    decltype(&::HIBC_QRCodeEncode) HIBC_QRCodeEncode;
    decltype(&::HIBC_QRCodeEncode2) HIBC_QRCodeEncode2;
    decltype(&::QRCodeGetParity) QRCodeGetParity;
    decltype(&::QRCodeResultGetVersion) QRCodeResultGetVersion;
    decltype(&::DestroyQRCodeEncodeResult) DestroyQRCodeEncodeResult;
    decltype(&::QRCodeGetErrorMessage) QRCodeGetErrorMessage;
    decltype(&::QRCodeResultGetBarcodeString) QRCodeResultGetBarcodeString;
    decltype(&::QRCodeResultGetBarcodeString2) QRCodeResultGetBarcodeString2;
    decltype(&::PaintQRCodeImageRaster) PaintQRCodeImageRaster;
    decltype(&::PaintQRCodeImageVector) PaintQRCodeImageVector;
    decltype(&::PaintQRCodeImageRaster2) PaintQRCodeImageRaster2;
    decltype(&::PaintQRCodeImageVector2) PaintQRCodeImageVector2;
    decltype(&::PaintQRCodeImageEMF) PaintQRCodeImageEMF;
    decltype(&::PaintQRCodeImageClipboard) PaintQRCodeImageClipboard;
    decltype(&::QRCodeEncodeOptimal) QRCodeEncodeOptimal;
    decltype(&::MicroQRCodeEncodeOptimal) MicroQRCodeEncodeOptimal;
};

// The switches of qrkit_memtest.dll's operator new (see tests/support/alloc_failure.h).
struct AllocationSwitch {
    void (*failAllocationAfter)(std::int64_t n);
    void (*disarm)();
    int (*failureHappened)();
    std::int64_t (*liveAllocations)();
};

// qrkit.dll, loaded from the program's folder on first use and kept for the life of the process.
HMODULE library();
// Its exports. A test fails (and the program stops) when one is missing.
const Qrkit& qrkit();

// qrkit_memtest.dll, the same library with an operator new that fails on request, and its switches.
const Qrkit& memtestQrkit();
const AllocationSwitch& allocationSwitch();

// The folder of the test program, ending in a backslash.
std::string programFolder();

}  // namespace wintest

#endif
