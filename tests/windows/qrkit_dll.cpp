#include "qrkit_dll.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace wintest {

const ExportEntry kExports[21] = {
    {"QRCodeEncode", 30},
    {"HIBC_QRCodeEncode", 31},
    {"QRCodeResultGetVersion", 32},
    {"QRCodeResultGetBarcodeString", 36},
    {"DestroyQRCodeEncodeResult", 37},
    {"PaintQRCodeImageRaster", 38},
    {"PaintQRCodeImageVector", 39},
    {"PaintQRCodeImageRaster2", 40},
    {"PaintQRCodeImageVector2", 41},
    {"PaintQRCodeImageEMF", 43},
    {"QRCodeGetErrorMessage", 44},
    {"QRCodeEncode2", 45},
    {"QRCodeResultGetBarcodeString2", 46},
    {"PaintQRCodeImageClipboard", 47},
    {"HIBC_QRCodeEncode2", 50},
    {"MicroQRCodeEncode", 60},
    {"MicroQRCodeEncode2", 61},
    {"QRCodeGetParity", 62},
    {"QRCodeEncode2W", 70},
    {"QRCodeEncodeOptimal", 71},
    {"MicroQRCodeEncodeOptimal", 72},
};

namespace {

[[noreturn]] void fatal(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::fflush(stderr);
    std::exit(2);
}

HMODULE load(const char* file) {
    const std::string path = programFolder() + file;
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) fatal("cannot load " + path + ", error " + std::to_string(GetLastError()));
    return module;
}

template <class Function>
void resolve(HMODULE module, const char* name, Function& function) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) fatal(std::string("export missing: ") + name);
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

Qrkit resolveAll(HMODULE module) {
    Qrkit q{};
#define QRKIT_RESOLVE(name) resolve(module, #name, q.name)
    QRKIT_RESOLVE(QRCodeEncode);
    QRKIT_RESOLVE(QRCodeEncode2);
    QRKIT_RESOLVE(QRCodeEncode2W);
    QRKIT_RESOLVE(MicroQRCodeEncode);
    QRKIT_RESOLVE(MicroQRCodeEncode2);
    QRKIT_RESOLVE(HIBC_QRCodeEncode);
    QRKIT_RESOLVE(HIBC_QRCodeEncode2);
    QRKIT_RESOLVE(QRCodeGetParity);
    QRKIT_RESOLVE(QRCodeResultGetVersion);
    QRKIT_RESOLVE(DestroyQRCodeEncodeResult);
    QRKIT_RESOLVE(QRCodeGetErrorMessage);
    QRKIT_RESOLVE(QRCodeResultGetBarcodeString);
    QRKIT_RESOLVE(QRCodeResultGetBarcodeString2);
    QRKIT_RESOLVE(PaintQRCodeImageRaster);
    QRKIT_RESOLVE(PaintQRCodeImageVector);
    QRKIT_RESOLVE(PaintQRCodeImageRaster2);
    QRKIT_RESOLVE(PaintQRCodeImageVector2);
    QRKIT_RESOLVE(PaintQRCodeImageEMF);
    QRKIT_RESOLVE(PaintQRCodeImageClipboard);
    QRKIT_RESOLVE(QRCodeEncodeOptimal);
    QRKIT_RESOLVE(MicroQRCodeEncodeOptimal);
#undef QRKIT_RESOLVE
    return q;
}

HMODULE memtestLibrary() {
    static const HMODULE module = load("qrkit_memtest.dll");
    return module;
}

}  // namespace

std::string programFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) fatal("cannot read the program's path");
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

HMODULE library() {
    static const HMODULE module = load("qrkit.dll");
    return module;
}

const Qrkit& qrkit() {
    static const Qrkit exports = resolveAll(library());
    return exports;
}

const Qrkit& memtestQrkit() {
    static const Qrkit exports = resolveAll(memtestLibrary());
    return exports;
}

const AllocationSwitch& allocationSwitch() {
    static const AllocationSwitch switches = [] {
        AllocationSwitch s{};
        resolve(memtestLibrary(), "QrkitTestFailAllocationAfter", s.failAllocationAfter);
        resolve(memtestLibrary(), "QrkitTestDisarmAllocationFailure", s.disarm);
        resolve(memtestLibrary(), "QrkitTestAllocationFailureHappened", s.failureHappened);
        resolve(memtestLibrary(), "QrkitTestLiveAllocations", s.liveAllocations);
        return s;
    }();
    return switches;
}

}  // namespace wintest
