// What every fuzz target checks cheaply on what an export returned: that a result code is one the
// library defines, that a finished symbol has its function patterns and valid format information, and
// that a symbol reads back (zxing-cpp) as the data the input language yields.
#ifndef QRKIT_FUZZ_FUZZ_CHECKS_H
#define QRKIT_FUZZ_FUZZ_CHECKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/istream.h"
#include "qrkit/qrkit.h"

namespace qrkit_fuzz {

// Stops the process with a message (libFuzzer records the input as a crash).
[[noreturn]] void fail(const char* what, const std::string& detail = std::string());
#define FUZZ_CHECK(condition, detail)                               \
    do {                                                            \
        if (!(condition)) ::qrkit_fuzz::fail(#condition, (detail)); \
    } while (0)

// Reads fixed-size fields off the front of a fuzz input; past the end every field reads 0.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte();
    std::uint16_t word16();
    std::uint32_t word32();
    // What is left, up to its first 0 byte.
    std::string restAsText();
    std::size_t remaining() const { return size_ - position_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A 32-bit value from a selector byte and a raw word: mostly small values around the valid range,
// sometimes the raw word, sometimes the extremes of int32_t.
std::int32_t interestingInt(std::uint8_t selector, std::uint32_t raw, int low, int high);

// The result codes an encode export may return.
bool isEncodeResult(std::int32_t code);
bool isMicroEncodeResult(std::int32_t code);

// The function patterns and format information of a finished symbol. The modules inside the rectangle
// (top, left, rows, columns) are not checked (an overlay covers them); rows 0 checks everything.
struct Exclusion {
    int top = 0;
    int left = 0;
    int rows = 0;
    int columns = 0;
    bool covers(int row, int column) const {
        return row >= top && row < top + rows && column >= left && column < left + columns;
    }
};
void checkQrSymbol(QRCODE_RESULT handle, int expectedLevel, const Exclusion& overlay = Exclusion());
void checkMicroSymbol(QRCODE_RESULT handle);

// The bytes a reader returns for the symbol of data, as the parser sees the input: false when the input
// holds anything a reader does not give back as plain data (designators, structured append, FNC1,
// reserved indicators, overlays) or the parse fails.
bool expectedQrBytes(const std::string& data, int versionWord, int ecLevel, std::string& bytes);
// The modules an overlay of data (overlay text or the named cross) covers on a symbol of width w.
Exclusion overlayArea(const std::string& data, int versionWord, int ecLevel, int w);
bool expectedMicroBytes(const std::string& data, std::string& bytes);

// Reads the symbol with zxing-cpp and compares its data with bytes.
void checkDecodesTo(QRCODE_RESULT handle, const std::string& bytes, bool micro);

// The instruction set level of the encoder's vector paths comes from the environment variable
// QRKIT_FUZZ_SIMD ("scalar", "sse2", "avx2" or "avx512"; unset: the level the processor offers). A level
// the processor lacks ends the process with status 77 before any input is run.
//
// Runs encode again with the portable level and checks that it gives the same outcome as handle (null
// or not) and, for a symbol, the same version, level and modules. Nothing to check when the portable
// level is the one in use.
void checkSameOnPortableLevel(QRCODE_RESULT handle, QRCODE_RESULT (*encode)(const void* context),
                              const void* context);

// A cheap deterministic choice of which inputs get decoded.
bool sampled(const std::uint8_t* data, std::size_t size, unsigned oneIn);

// An in-memory IStream: Write appends; once failAfter bytes were accepted every Write fails.
class MemoryStream final : public kelvane2::platform::IStream {
  public:
    explicit MemoryStream(std::size_t failAfter = SIZE_MAX) : failAfter_(failAfter) {}
    std::vector<std::uint8_t> bytes;
    int writeCalls = 0;
    int failedWrites = 0;
    bool otherCalls = false;

    std::int32_t QueryInterface(const kelvane2::InterfaceId&, void** out) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    kelvane2::platform::HRESULT Read(void*, kelvane2::platform::ULONG, kelvane2::platform::ULONG*) override;
    kelvane2::platform::HRESULT Write(const void* buffer, kelvane2::platform::ULONG size,
                                      kelvane2::platform::ULONG* written) override;
    kelvane2::platform::HRESULT Seek(kelvane2::platform::LARGE_INTEGER, kelvane2::platform::DWORD,
                                     kelvane2::platform::ULARGE_INTEGER*) override;
    kelvane2::platform::HRESULT SetSize(kelvane2::platform::ULARGE_INTEGER) override;
    kelvane2::platform::HRESULT CopyTo(IStream*, kelvane2::platform::ULARGE_INTEGER,
                                       kelvane2::platform::ULARGE_INTEGER*,
                                       kelvane2::platform::ULARGE_INTEGER*) override;
    kelvane2::platform::HRESULT Commit(kelvane2::platform::DWORD) override;
    kelvane2::platform::HRESULT Revert() override;
    kelvane2::platform::HRESULT LockRegion(kelvane2::platform::ULARGE_INTEGER,
                                           kelvane2::platform::ULARGE_INTEGER,
                                           kelvane2::platform::DWORD) override;
    kelvane2::platform::HRESULT UnlockRegion(kelvane2::platform::ULARGE_INTEGER,
                                             kelvane2::platform::ULARGE_INTEGER,
                                             kelvane2::platform::DWORD) override;
    kelvane2::platform::HRESULT Stat(kelvane2::platform::STATSTG*, kelvane2::platform::DWORD) override;
    kelvane2::platform::HRESULT Clone(IStream**) override;

  private:
    std::size_t failAfter_;
};

}  // namespace qrkit_fuzz

#endif
