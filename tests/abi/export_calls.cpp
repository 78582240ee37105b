// Calls every export of libqrkit by name, as a program that loads the library at run time does
// (dlopen and dlsym here, LoadLibrary and GetProcAddress on Windows), and writes what each call gave into
// a folder: transcript.txt, one line per call, and every image, metafile and stream it produced.
//
//   export_calls LIBRARY OUTPUT-FOLDER
//
// On 32-bit x86 every call goes through callStdcall, which pushes exactly the 4-byte argument words the
// header declares for the export, calls it, and checks that the callee popped them all (the stack pointer
// after the call is the one before the pushes) and kept the registers it must keep. Built for x86_64 the
// same program calls through the header's own function pointer types, so the folders of a 32-bit and a
// 64-bit run can be compared file by file: every result and every byte must be equal. Exits 1 when a call
// left the stack unbalanced or the library cannot be loaded, 0 otherwise (the results themselves are
// judged by that comparison).
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qrkit/istream.h"
#include "qrkit/qrkit.h"

namespace {

// ---- Calling an export -----------------------------------------------------------------------------

void* library = nullptr;
int unbalancedCalls = 0;

void* symbol(const char* name) {
    void* address = dlsym(library, name);
    if (address == nullptr) {
        std::fprintf(stderr, "export_calls: %s is not exported\n", name);
        std::exit(1);
    }
    return address;
}

#if defined(__i386__)

// Pushes count words (words[0] last, so that it is the first argument), calls function with the stack
// pointer 16-byte aligned at the call, and returns EAX. *stackDelta is the stack pointer after the call
// minus the one before the pushes: 0 when the callee popped every word (stdcall), -4 x count when it
// popped none (cdecl). *registersKept is 1 when ESI and EDI came back unchanged.
extern "C" std::uint32_t qrkitAbiCall(const void* function, const std::uint32_t* words, std::uint32_t count,
                                      std::int32_t* stackDelta, std::uint32_t* registersKept);
asm(R"(
    .text
    .globl qrkitAbiCall
    .type qrkitAbiCall, @function
qrkitAbiCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %esp, %ebx
    movl 16(%ebp), %ecx
    movl 12(%ebp), %edx
    leal 0(,%ecx,4), %eax
    movl %esp, %edi
    subl %eax, %edi
    andl $-16, %edi
    addl %eax, %edi
    movl %edi, %esp
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edx,%ecx,4)
    jmp 1b
2:  movl $0x5A17C0DE, %esi
    call *8(%ebp)
    movl %esp, %ecx
    subl %edi, %ecx
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    xorl %ecx, %ecx
    cmpl $0x5A17C0DE, %esi
    sete %cl
    movl 24(%ebp), %edx
    movl %ecx, (%edx)
    movl %ebx, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
    .size qrkitAbiCall, .-qrkitAbiCall
)");

// Two functions the check must tell apart: one that pops its arguments, one that leaves them.
extern "C" __attribute__((noinline, stdcall)) int calleePops(int a, int b) {
    return a - b;
}
extern "C" __attribute__((noinline, cdecl)) int callerPops(int a, int b) {
    return a + b;
}

// Whether qrkitAbiCall sees the difference: 0 for calleePops, -8 for callerPops, both results right.
bool stackCheckWorks() {
    const std::uint32_t words[2] = {7, 2};
    std::int32_t delta = 1;
    std::uint32_t kept = 0;
    const std::uint32_t difference =
        qrkitAbiCall(reinterpret_cast<const void*>(&calleePops), words, 2, &delta, &kept);
    const bool stdcallSeen = difference == 5 && delta == 0 && kept == 1;
    const std::uint32_t sum =
        qrkitAbiCall(reinterpret_cast<const void*>(&callerPops), words, 2, &delta, &kept);
    const bool cdeclSeen = sum == 9 && delta == -8 && kept == 1;
    return stdcallSeen && cdeclSeen;
}

template <class T>
std::uint32_t word(T value) {
    static_assert(sizeof(T) == 4, "every argument of an export is one 4-byte word on 32-bit x86");
    std::uint32_t w;
    std::memcpy(&w, &value, 4);
    return w;
}

#endif

// The export's function pointer type, as the header declares it, gives the argument and result types.
template <class F>
struct Export;

template <class R, class... A>
struct Export<R(QRKIT_CALL*)(A...)> {
    static R call(const char* name, A... args) {
        void* address = symbol(name);
#if defined(__i386__)
        static_assert(sizeof(R) == 4, "every result of an export comes back in EAX");
        const std::uint32_t words[sizeof...(A) + 1] = {word(args)..., 0};
        std::int32_t delta = 0;
        std::uint32_t kept = 0;
        const std::uint32_t eax = qrkitAbiCall(address, words, sizeof...(A), &delta, &kept);
        if (delta != 0 || kept != 1) {
            ++unbalancedCalls;
            std::fprintf(
                stderr, "FAIL %s: %u argument bytes pushed, the stack pointer moved by %d after the call%s\n",
                name, static_cast<unsigned>(4 * sizeof...(A)), static_cast<int>(delta),
                kept == 1 ? "" : ", ESI or EDI not kept");
        }
        R result;
        std::memcpy(&result, &eax, 4);
        return result;
#else
        return reinterpret_cast<R(QRKIT_CALL*)(A...)>(address)(args...);
#endif
    }
};

// Calls the export name with the header's types: CALL(QRCodeEncode, data, 0, 1, &handle).
#define CALL(name, ...) Export<decltype(&name)>::call(#name, __VA_ARGS__)

// ---- What the calls gave ---------------------------------------------------------------------------

std::string folder;
std::ofstream transcript;
int fileNumber = 0;

std::string hexOf(const void* bytes, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[p[i] >> 4];
        text += digits[p[i] & 15];
    }
    return text;
}

std::string quoted(const char* text) {
    if (text == nullptr) return "null";
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string handleText(QRCODE_RESULT handle) {
    return handle == nullptr ? "null" : "handle";
}

std::string codeText(std::int64_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    return text;
}

void line(const std::string& text) {
    transcript << text << "\n";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A PNG with the data and CRC of its tIME chunk zeroed: that chunk holds the time of writing.
std::string withoutTime(std::string png) {
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length =
            (static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at])) << 24) |
            (static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at + 1])) << 16) |
            (static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at + 2])) << 8) |
            static_cast<std::uint8_t>(png[at + 3]);
        if (png.compare(at + 4, 4, "tIME") == 0 && at + 12 + length <= png.size()) {
            std::fill(png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                      png.begin() + static_cast<std::ptrdiff_t>(at + 12 + length), '\0');
        }
        at += 12 + length;
    }
    return png;
}

// Keeps bytes as the next numbered output file and names it in the transcript.
std::string keep(const std::string& bytes, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "%03d.%s", ++fileNumber, extension);
    std::ofstream out(folder + "/" + name, std::ios::binary);
    const std::string stored = std::strcmp(extension, "png") == 0 ? withoutTime(bytes) : bytes;
    out.write(stored.data(), static_cast<std::streamsize>(stored.size()));
    return std::string(name) + " (" + std::to_string(bytes.size()) + " bytes)";
}

// An in-memory IStream: Write appends, every other method is refused.
class MemoryStream final : public kelvane2::platform::IStream {
  public:
    std::string bytes;
    int writes = 0;

    std::int32_t QueryInterface(const kelvane2::InterfaceId&, void**) override {
        return kelvane2::kNoInterface;
    }
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }
    kelvane2::platform::HRESULT Read(void*, kelvane2::platform::ULONG, kelvane2::platform::ULONG*) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT Write(const void* data, kelvane2::platform::ULONG size,
                                      kelvane2::platform::ULONG* written) override {
        ++writes;
        bytes.append(static_cast<const char*>(data), size);
        if (written != nullptr) *written = size;
        return kelvane2::platform::S_OK;
    }
    kelvane2::platform::HRESULT Seek(kelvane2::platform::LARGE_INTEGER, kelvane2::platform::DWORD,
                                     kelvane2::platform::ULARGE_INTEGER*) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT SetSize(kelvane2::platform::ULARGE_INTEGER) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT CopyTo(kelvane2::platform::IStream*, kelvane2::platform::ULARGE_INTEGER,
                                       kelvane2::platform::ULARGE_INTEGER*,
                                       kelvane2::platform::ULARGE_INTEGER*) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT Commit(kelvane2::platform::DWORD) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT Revert() override { return kelvane2::platform::E_NOTIMPL; }
    kelvane2::platform::HRESULT LockRegion(kelvane2::platform::ULARGE_INTEGER,
                                           kelvane2::platform::ULARGE_INTEGER,
                                           kelvane2::platform::DWORD) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT UnlockRegion(kelvane2::platform::ULARGE_INTEGER,
                                             kelvane2::platform::ULARGE_INTEGER,
                                             kelvane2::platform::DWORD) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT Stat(kelvane2::platform::STATSTG*, kelvane2::platform::DWORD) override {
        return kelvane2::platform::E_NOTIMPL;
    }
    kelvane2::platform::HRESULT Clone(kelvane2::platform::IStream**) override {
        return kelvane2::platform::E_NOTIMPL;
    }
};

// ---- The calls -------------------------------------------------------------------------------------

// The font string and version of a handle, through both font string exports.
void describe(QRCODE_RESULT handle) {
    const int version = CALL(QRCodeResultGetVersion, handle);
    int size = 0;
    const int asked = CALL(QRCodeResultGetBarcodeString, handle, static_cast<char*>(nullptr), &size, "|");
    line("  QRCodeResultGetVersion -> " + std::to_string(version) + "; QRCodeResultGetBarcodeString(null, " +
         "\"|\") -> " + std::to_string(asked) + ", size " + std::to_string(size));
    if (asked == 0 && size > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(size));
        int small = size - 1;
        const int tooSmall = CALL(QRCodeResultGetBarcodeString, handle, buffer.data(), &small, "|");
        int exact = size;
        const int written = CALL(QRCodeResultGetBarcodeString, handle, buffer.data(), &exact, "|");
        line("  one byte short -> " + std::to_string(tooSmall) + ", size " + std::to_string(small) +
             "; exact -> " + std::to_string(written) + ", size " + std::to_string(exact) + ": " +
             quoted(buffer.data()));
    }
    line("  QRCodeResultGetBarcodeString2(\"\\n\") -> " +
         quoted(CALL(QRCodeResultGetBarcodeString2, handle, "\n")));
    line("  QRCodeResultGetBarcodeString2(null) -> " +
         quoted(CALL(QRCodeResultGetBarcodeString2, handle, static_cast<const char*>(nullptr))));
}

void destroy(QRCODE_RESULT handle) {
    line("  DestroyQRCodeEncodeResult -> " + std::to_string(CALL(DestroyQRCodeEncodeResult, handle)));
}

void encodeCalls() {
    struct Row {
        const char* data;
        int versionWord;
        int level;
    };
    // Plain data, every level, versions and flags, the input language, and failures of each kind.
    const Row rows[] = {
        {"12345", 0, 0},
        {"HELLO WORLD", 0, 1},
        {"https://example.com/qrkit?id=32", 0, 2},
        {"qrkit at 32 bits", 5, 3},
        {"short", 0x8005, 1},
        {"needs more than version 1 at level H, this text", 0x8001, 3},
        {"anything", 0x8000, 0},
        {"12A", 0x0200, 0},
        {"123", 0x0200, 0},
        {"~50[:swiss7]overlay", 0, 3},
        {"~d065~d066~M~@x", 0, 0},
        {"~4[\x88\x9f\x88\xa0]", 0, 1},
        {"~1GS1~d029data", 0, 1},
        {"~70000263 ECI", 0, 0},
        {"~2[07][1,3]first of three", 0, 0},
        {"~4[\x88", 0, 0},
        {"~d999", 0, 0},
        {"", 0, 0},
        {"v40", 40, 3},
        {"clamped", 45, -3},
        {"clamped", 0x0128, 9},
    };
    for (const Row& row : rows) {
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
        const std::int32_t code = CALL(QRCodeEncode, row.data, row.versionWord, row.level, &handle);
        line("QRCodeEncode(" + quoted(row.data) + ", " + codeText(row.versionWord) + ", " +
             std::to_string(row.level) + ") -> " + codeText(code) + ", " + handleText(handle));
        line("  QRCodeGetErrorMessage -> " + quoted(CALL(QRCodeGetErrorMessage, code)));
        if (code == 0) {
            describe(handle);
            destroy(handle);
        }
        QRCODE_RESULT second = CALL(QRCodeEncode2, row.data, row.versionWord, row.level);
        line("  QRCodeEncode2 -> " + handleText(second));
        if (second != nullptr) destroy(second);
        QRCODE_RESULT optimal = reinterpret_cast<QRCODE_RESULT>(0x1);
        const std::int32_t optimalCode =
            CALL(QRCodeEncodeOptimal, row.data, row.versionWord, row.level, &optimal);
        line("  QRCodeEncodeOptimal -> " + codeText(optimalCode) + ", " + handleText(optimal));
        if (optimalCode == 0) {
            describe(optimal);
            destroy(optimal);
        }
    }
    QRCODE_RESULT untouched = reinterpret_cast<QRCODE_RESULT>(0x1);
    line("QRCodeEncode(null) -> " +
         codeText(CALL(QRCodeEncode, static_cast<const char*>(nullptr), 0, 0, &untouched)) +
         (untouched == reinterpret_cast<QRCODE_RESULT>(0x1) ? ", out untouched" : ", out written"));
    line("QRCodeEncode(out null) -> " +
         codeText(CALL(QRCodeEncode, "x", 0, 0, static_cast<QRCODE_RESULT*>(nullptr))));
    line("QRCodeEncode2(null) -> " +
         handleText(CALL(QRCodeEncode2, static_cast<const char*>(nullptr), 0, 0)));

    // Wide strings: Latin-1 as one byte a unit, anything else as UTF-8 after a byte-order mark.
    const std::u16string wide[] = {u"Gr\u00fc\u00dfe", u"Gr\u00fc\u00dfe\u20ac", u"\U0001F600 smile", u""};
    for (const std::u16string& text : wide) {
        QRCODE_RESULT handle =
            CALL(QRCodeEncode2W, reinterpret_cast<const qrkit_char16*>(text.c_str()), 0, 1);
        line("QRCodeEncode2W(" + hexOf(text.data(), 2 * text.size()) + ") -> " + handleText(handle));
        if (handle != nullptr) {
            describe(handle);
            destroy(handle);
        }
    }
    line("QRCodeEncode2W(null) -> " +
         handleText(CALL(QRCodeEncode2W, static_cast<const qrkit_char16*>(nullptr), 0, 0)));

    const Row micro[] = {
        {"12345", 0, 0},        {"12345", 2, 1},
        {"MICRO QR", 0, 1},     {"micro qr code", 4, 2},
        {"~4[\x88\x9f]", 0, 0}, {"far too long for any micro qr code symbol at all", 0, 0},
        {"x", -5, 9},
    };
    for (const Row& row : micro) {
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
        const std::int32_t code = CALL(MicroQRCodeEncode, row.data, row.versionWord, row.level, &handle);
        line("MicroQRCodeEncode(" + quoted(row.data) + ", " + std::to_string(row.versionWord) + ", " +
             std::to_string(row.level) + ") -> " + codeText(code) + ", " + handleText(handle));
        if (code == 0) {
            describe(handle);
            destroy(handle);
        }
        QRCODE_RESULT second = CALL(MicroQRCodeEncode2, row.data, row.versionWord, row.level);
        line("  MicroQRCodeEncode2 -> " + handleText(second));
        if (second != nullptr) destroy(second);
        QRCODE_RESULT optimal = reinterpret_cast<QRCODE_RESULT>(0x1);
        const std::int32_t optimalCode =
            CALL(MicroQRCodeEncodeOptimal, row.data, row.versionWord, row.level, &optimal);
        line("  MicroQRCodeEncodeOptimal -> " + codeText(optimalCode) + ", " + handleText(optimal));
        if (optimalCode == 0) {
            describe(optimal);
            destroy(optimal);
        }
    }

    const Row hibc[] = {
        {"A123BJC5D6E71", 0, 1},
        {"a123bjc5d6e71", 0, 0},
        {"LOWER?", 0, 0},
        {"A99912345/$+%. -", 3, 2},
        {"0123456789012345678901234567890123456", 0, 0},
    };
    for (const Row& row : hibc) {
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
        const std::int32_t code = CALL(HIBC_QRCodeEncode, row.data, row.versionWord, row.level, &handle);
        line("HIBC_QRCodeEncode(" + quoted(row.data) + ", " + std::to_string(row.versionWord) + ", " +
             std::to_string(row.level) + ") -> " + codeText(code) + ", " +
             (handle == reinterpret_cast<QRCODE_RESULT>(0x1) ? "out untouched" : handleText(handle)));
        if (code == 0) {
            describe(handle);
            destroy(handle);
        }
        QRCODE_RESULT second = CALL(HIBC_QRCodeEncode2, row.data, row.versionWord, row.level);
        line("  HIBC_QRCodeEncode2 -> " + handleText(second));
        if (second != nullptr) destroy(second);
    }

    const char* parity[] = {"ABC", "~2[00][1,2]ABC", "~d255~d001", "~4[\x88\x9f]", "", "~d9"};
    for (const char* data : parity)
        line("QRCodeGetParity(" + quoted(data) + ") -> " + std::to_string(CALL(QRCodeGetParity, data)));
    line("QRCodeGetParity(null) -> " +
         std::to_string(CALL(QRCodeGetParity, static_cast<const char*>(nullptr))));

    const std::int32_t codes[] = {0,
                                  static_cast<std::int32_t>(0x80520005u),
                                  static_cast<std::int32_t>(0x80520006u),
                                  static_cast<std::int32_t>(0x8052000Bu),
                                  static_cast<std::int32_t>(0x80520050u),
                                  12,
                                  -1,
                                  static_cast<std::int32_t>(0xE052000Cu)};
    for (std::int32_t code : codes)
        line("QRCodeGetErrorMessage(" + codeText(code) + ") -> " + quoted(CALL(QRCodeGetErrorMessage, code)));

    line("QRCodeResultGetVersion(null) -> " + std::to_string(CALL(QRCodeResultGetVersion, QRCODE_RESULT{})));
    line("DestroyQRCodeEncodeResult(null) -> " +
         std::to_string(CALL(DestroyQRCodeEncodeResult, QRCODE_RESULT{})));
    int size = 99;
    line("QRCodeResultGetBarcodeString(null handle) -> " +
         std::to_string(
             CALL(QRCodeResultGetBarcodeString, QRCODE_RESULT{}, static_cast<char*>(nullptr), &size, "")) +
         ", size " + std::to_string(size));
    line("QRCodeResultGetBarcodeString2(null handle) -> " +
         quoted(CALL(QRCodeResultGetBarcodeString2, QRCODE_RESULT{}, "")));
}

std::string metafileBytes(qrkit_metafile metafile) {
    const std::uint32_t size = CALL(QRCodeMetafileGetBits, metafile, 0u, static_cast<std::uint8_t*>(nullptr));
    std::string bytes(size, '\0');
    if (size == 0) return bytes;
    const std::uint32_t small =
        CALL(QRCodeMetafileGetBits, metafile, size - 1, reinterpret_cast<std::uint8_t*>(&bytes[0]));
    const std::uint32_t fetched =
        CALL(QRCodeMetafileGetBits, metafile, size, reinterpret_cast<std::uint8_t*>(&bytes[0]));
    line("  QRCodeMetafileGetBits: size " + std::to_string(size) + ", one byte short " +
         std::to_string(small) + ", fetched " + std::to_string(fetched));
    return bytes;
}

void paintCalls() {
    QRCODE_RESULT symbol = CALL(QRCodeEncode2, "https://example.com/qrkit/32-bit", 0, 1);
    QRCODE_RESULT micro = CALL(MicroQRCodeEncode2, "M3 DATA", 3, 0);
    line("paint symbols: " + handleText(symbol) + ", " + handleText(micro));
    const std::string path = folder + "/scratch.img";

    struct Raster {
        QRCODE_RESULT handle;
        std::int32_t moduleSize;
        std::uint32_t fore, back;
        std::int32_t format;
        const char* extension;
    };
    const Raster rasters[] = {
        {symbol, 4, 0x000000, 0xFFFFFF, 0, "png"}, {symbol, 3, 0xFF336699, 0x00FFFBF0, 4, "bmp"},
        {micro, 5, 0x0000FF, 0xFFFFFF, 0, "png"},  {micro, 1, 0x000000, 0xFFFFFF, 4, "bmp"},
        {symbol, 0, 0x000000, 0xFFFFFF, 0, "png"}, {symbol, -4, 0x000000, 0xFFFFFF, 4, "bmp"},
        {symbol, 4, 0x000000, 0xFFFFFF, 1, "bad"}, {symbol, 0x7FFFFFFF, 0, 0xFFFFFF, 0, "png"},
        {symbol, 60000000, 0, 0xFFFFFF, 4, "bmp"}, {nullptr, 4, 0x000000, 0xFFFFFF, 0, "png"},
    };
    for (const Raster& r : rasters) {
        std::remove(path.c_str());
        const std::int32_t code =
            CALL(PaintQRCodeImageRaster, r.handle, path.c_str(), r.moduleSize, r.fore, r.back, r.format);
        std::string result = "PaintQRCodeImageRaster(" + handleText(r.handle) + ", " +
                             std::to_string(r.moduleSize) + ", " + codeText(r.fore) + ", " +
                             codeText(r.back) + ", " + std::to_string(r.format) + ") -> " +
                             std::to_string(code);
        std::ifstream probe(path);
        line(result + (probe ? ", file " + keep(readFile(path), r.extension) : ", no file"));

        MemoryStream stream;
        const std::int32_t streamed =
            CALL(PaintQRCodeImageRaster2, r.handle, static_cast<qrkit_istream*>(&stream), r.moduleSize,
                 r.fore, r.back, r.format);
        line("  PaintQRCodeImageRaster2 -> " + std::to_string(streamed) + ", " +
             std::to_string(stream.writes) + " writes" +
             (stream.bytes.empty() ? "" : ", " + keep(stream.bytes, r.extension)));
    }
    line("PaintQRCodeImageRaster(null path) -> " +
         std::to_string(
             CALL(PaintQRCodeImageRaster, symbol, static_cast<const char*>(nullptr), 4, 0u, 0xFFFFFFu, 0)));
    line("PaintQRCodeImageRaster(missing folder) -> " +
         std::to_string(
             CALL(PaintQRCodeImageRaster, symbol, (folder + "/missing/x.png").c_str(), 4, 0u, 0xFFFFFFu, 0)));
    line("PaintQRCodeImageRaster2(null stream) -> " +
         std::to_string(CALL(PaintQRCodeImageRaster2, symbol, static_cast<qrkit_istream*>(nullptr), 4, 0u,
                             0xFFFFFFu, 0)));

    struct Vector {
        QRCODE_RESULT handle;
        std::int32_t moduleSize;
        std::int32_t resolution;
        std::uint32_t fore, back;
        std::int32_t format;
        const char* extension;
    };
    const Vector vectors[] = {
        {symbol, 25, 300, 0x000000, 0xFFFFFF, 1, "svg"}, {symbol, 25, 96, 0x0000FF, 0xFFFFFF, 2, "emf"},
        {symbol, 33, 300, 0x336699, 0xFFFFFF, 3, "eps"}, {micro, 100, 72, 0x000000, 0xFFFFFF, 1, "svg"},
        {micro, 10, 600, 0x000000, 0xFFFFFF, 2, "emf"},  {micro, 0, 300, 0x000000, 0xFFFFFF, 3, "eps"},
        {symbol, 25, 0, 0x000000, 0xFFFFFF, 1, "svg"},   {symbol, 25, 3000, 0x000000, 0xFFFFFF, 2, "emf"},
        {symbol, 25, 300, 0x000000, 0xFFFFFF, 0, "bad"}, {symbol, 0x7FFFFFFF, 300, 0, 0xFFFFFF, 1, "svg"},
        {symbol, 2000000, 2540, 0, 0xFFFFFF, 3, "eps"},  {nullptr, 25, 300, 0x000000, 0xFFFFFF, 1, "svg"},
    };
    for (const Vector& v : vectors) {
        std::remove(path.c_str());
        const std::int32_t code = CALL(PaintQRCodeImageVector, v.handle, path.c_str(), v.moduleSize,
                                       v.resolution, v.fore, v.back, v.format);
        std::string result = "PaintQRCodeImageVector(" + handleText(v.handle) + ", " +
                             std::to_string(v.moduleSize) + ", " + std::to_string(v.resolution) + ", " +
                             codeText(v.fore) + ", " + codeText(v.back) + ", " + std::to_string(v.format) +
                             ") -> " + std::to_string(code);
        std::ifstream probe(path);
        line(result + (probe ? ", file " + keep(readFile(path), v.extension) : ", no file"));

        MemoryStream stream;
        const std::int32_t streamed =
            CALL(PaintQRCodeImageVector2, v.handle, static_cast<qrkit_istream*>(&stream), v.moduleSize,
                 v.resolution, v.fore, v.back, v.format);
        line("  PaintQRCodeImageVector2 -> " + std::to_string(streamed) + ", " +
             std::to_string(stream.writes) + " writes" +
             (stream.bytes.empty() ? "" : ", " + keep(stream.bytes, v.extension)));

        qrkit_metafile metafile =
            CALL(PaintQRCodeImageEMF, v.handle, v.moduleSize, v.resolution, v.fore, v.back, v.format);
        line(std::string("  PaintQRCodeImageEMF -> ") + (metafile == nullptr ? "null" : "metafile"));
        if (metafile != nullptr) {
            line("  metafile " + keep(metafileBytes(metafile), "emf"));
            line("  QRCodeMetafileDelete -> " + std::to_string(CALL(QRCodeMetafileDelete, metafile)));
        }

        const std::int32_t clipped =
            CALL(PaintQRCodeImageClipboard, v.handle, v.moduleSize, v.resolution, v.fore, v.back);
        const std::uint32_t size =
            CALL(QRCodeClipboardGetMetafileBits, 0u, static_cast<std::uint8_t*>(nullptr));
        std::string bytes(size, '\0');
        const std::uint32_t fetched = size == 0 ? 0u
                                                : CALL(QRCodeClipboardGetMetafileBits, size,
                                                       reinterpret_cast<std::uint8_t*>(&bytes[0]));
        line("  PaintQRCodeImageClipboard -> " + std::to_string(clipped) + "; clipboard " +
             std::to_string(size) + " bytes, fetched " + std::to_string(fetched) +
             (size == 0 ? "" : ", " + keep(bytes, "emf")));
    }
    line("QRCodeMetafileGetBits(null) -> " + std::to_string(CALL(QRCodeMetafileGetBits, qrkit_metafile{}, 0u,
                                                                 static_cast<std::uint8_t*>(nullptr))));
    line("QRCodeMetafileDelete(null) -> " + std::to_string(CALL(QRCodeMetafileDelete, qrkit_metafile{})));
    std::remove(path.c_str());

    destroy(symbol);
    destroy(micro);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: export_calls LIBRARY OUTPUT-FOLDER\n");
        return 2;
    }
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "export_calls: %s\n", dlerror());
        return 1;
    }
#if defined(__i386__)
    if (!stackCheckWorks()) {
        std::fprintf(stderr, "export_calls: the stack check cannot tell a stdcall callee from a cdecl one\n");
        return 1;
    }
#endif
    folder = argv[2];
    transcript.open(folder + "/transcript.txt");
    if (!transcript) {
        std::fprintf(stderr, "export_calls: cannot write in %s\n", argv[2]);
        return 1;
    }
    encodeCalls();
    paintCalls();
    transcript.close();
    std::printf("export_calls: %d files written, %d call(s) with the stack unbalanced\n", fileNumber,
                unbalancedCalls);
    return unbalancedCalls == 0 ? 0 : 1;
}
