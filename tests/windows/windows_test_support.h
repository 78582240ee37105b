// Helpers of the Windows tests: symbols encoded through the DLL, files, scratch folders, and the
// caller-side IStreams (one over an HGLOBAL, one that records and fails on request).
#ifndef QRKIT_TESTS_WINDOWS_WINDOWS_TEST_SUPPORT_H
#define QRKIT_TESTS_WINDOWS_WINDOWS_TEST_SUPPORT_H

#include <windows.h>

#include <objidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "qrkit_dll.h"

namespace wintest {

using Bytes = std::vector<std::uint8_t>;

// A symbol encoded through qrkit.dll's QRCodeEncode2 (or given), destroyed through the DLL at the end.
class Symbol {
  public:
    explicit Symbol(const char* data, int versionWord = 0, int ecLevel = 1);
    explicit Symbol(QRCODE_RESULT handle) : handle_(handle) {}
    Symbol(const Symbol&) = delete;
    Symbol& operator=(const Symbol&) = delete;
    ~Symbol();

    QRCODE_RESULT handle() const { return handle_; }
    // The reference count now (the caller's one, unless a call kept one).
    std::uint32_t references() const;

  private:
    QRCODE_RESULT handle_;
};

// The module rows of a result read through its I2DBitPattern view: '#' dark, '.' light.
std::vector<std::string> moduleRows(QRCODE_RESULT handle);
// The font string of a result (QRCodeResultGetBarcodeString2), or "<null>".
std::string fontString(QRCODE_RESULT handle, const char* separator);
// Module rows as the composer packs them: per band of four rows one hexadecimal digit per column.
std::string packRows(const std::vector<std::string>& rows, const char* separator);

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
bool fileExists(const std::string& path);
// A file of the golden folder beside the test program.
std::string goldenPath(const std::string& name);

// A new empty folder under the temporary folder, removed with its files at the end.
class ScratchDir {
  public:
    explicit ScratchDir(const char* name);
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
};

// A stream from CreateStreamOnHGlobal, released at the end.
class HGlobalStream {
  public:
    HGlobalStream();
    HGlobalStream(const HGlobalStream&) = delete;
    HGlobalStream& operator=(const HGlobalStream&) = delete;
    ~HGlobalStream();

    IStream* get() const { return stream_; }
    // Everything the stream holds, whatever its position.
    Bytes contents() const;
    std::uint64_t position() const;

  private:
    IStream* stream_ = nullptr;
};

// A caller's IStream kept in memory that counts its calls and whose Write fails (STG_E_MEDIUMFULL,
// nothing stored) from the failFrom-th call on (1 = the first; 0 = never).
class RecordingStream final : public IStream {
  public:
    Bytes data;
    int writeCalls = 0;
    int otherCalls = 0;  // anything but Write, AddRef and Release
    int failFrom = 0;
    LONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return other(); }
    HRESULT STDMETHODCALLTYPE Write(const void* bytes, ULONG size, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return other(); }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return other(); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return other(); }
    HRESULT STDMETHODCALLTYPE Revert() override { return other(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return other(); }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return other(); }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return other(); }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return other(); }

  private:
    HRESULT other() {
        ++otherCalls;
        return E_NOTIMPL;
    }
};

// The bytes of an enhanced metafile (GetEnhMetaFileBits).
Bytes metafileBits(HENHMETAFILE metafile);

// The chunks of a PNG file in order, each as its type and its data; the data of all IDAT chunks are
// given inflated, as one "IDAT" entry. Empty when the bytes are no PNG.
struct PngChunk {
    std::string type;
    Bytes data;
};
std::vector<PngChunk> pngChunks(const Bytes& png);

}  // namespace wintest

#endif
