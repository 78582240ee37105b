// The COM byte-stream interface that callers hand to the stream paint exports
// (#include "qrkit/istream.h"). On Windows it is the system's IStream; elsewhere this header declares an
// interface with the same methods in the same order, the same argument meanings and the same status
// codes, for callers (and tests) to implement.
// The library only ever calls Write on a caller's stream while painting.
#ifndef QRKIT_ISTREAM_H
#define QRKIT_ISTREAM_H

#if defined(_WIN32)
#include <objidl.h>
#else
#include <cstdint>

#include "qrkit/objectmodel.h"
#endif

namespace kelvane2::platform {

#if defined(_WIN32)

using ::DWORD;
using ::HRESULT;
using ::ISequentialStream;
using ::IStream;
using ::LARGE_INTEGER;
using ::STATSTG;
using ::STREAM_SEEK_CUR;
using ::STREAM_SEEK_END;
using ::STREAM_SEEK_SET;
using ::ULARGE_INTEGER;
using ::ULONG;

#else

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;

struct LARGE_INTEGER {
    std::int64_t QuadPart;
};
struct ULARGE_INTEGER {
    std::uint64_t QuadPart;
};
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
struct STATSTG {
    char16_t* pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    InterfaceId clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

constexpr bool FAILED(HRESULT status) {
    return status < 0;
}
constexpr bool SUCCEEDED(HRESULT status) {
    return status >= 0;
}

// Status codes of the stream methods.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_PENDING = static_cast<HRESULT>(0x8000000Au);
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102u);
constexpr HRESULT STG_E_CANTSAVE = static_cast<HRESULT>(0x80030103u);

// Origins of Seek.
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

// {0C733A30-2A1C-11CE-ADE5-00AA0044773A}
inline constexpr InterfaceId IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3A}};
// {0000000C-0000-0000-C000-000000000046}
inline constexpr InterfaceId IID_IStream = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class ISequentialStream : public IObjectBase {
  public:
    // Reads up to size bytes into buffer and stores the count read in *read (when read is not null):
    // S_OK, S_FALSE when fewer bytes than asked were left, or a failure status.
    virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
    // Writes size bytes from buffer at the current position and stores the count written in *written
    // (when written is not null): S_OK or a failure status such as STG_E_MEDIUMFULL or
    // STG_E_ACCESSDENIED.
    virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;

  protected:
    ~ISequentialStream() = default;
};

class IStream : public ISequentialStream {
  public:
    // Moves the position by move from origin (STREAM_SEEK_SET, _CUR or _END) and stores the new position
    // in *position when it is not null.
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
    virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                           ULARGE_INTEGER* written) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* statistics, DWORD flags) = 0;
    virtual HRESULT Clone(IStream** copy) = 0;

  protected:
    ~IStream() = default;
};

#endif

}  // namespace kelvane2::platform

#endif
