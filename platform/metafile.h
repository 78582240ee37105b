// The enhanced-metafile calls of the graphics interface that the metafile builder makes, named and typed
// like the Windows ones. On Windows this header stands for <windows.h> and the calls are the system's;
// elsewhere a recorder keeps the drawing calls of one metafile and writes them as a standard enhanced
// metafile byte stream (little-endian records: header, map mode, brushes, pattern fills, end of file).
//
// The recorder keeps the Windows contracts the builder relies on: null or 0 on failure, MM_HIMETRIC
// logical units of 0.01 mm with y growing upward, a brush recorded when first selected and its handle
// slot freed by DeleteObject, FillRect recorded as select brush / pattern blit / select previous brush.
// A call that runs out of memory fails and sets the thread's last error to ERROR_NOT_ENOUGH_MEMORY; a
// recording that lost a record cannot be closed (CloseEnhMetaFile gives null), so a metafile handed out
// is always complete. Handles are plain objects: one thread uses one device context or metafile at a
// time, different ones may be used on different threads at once.
#ifndef QRKIT_PLATFORM_METAFILE_H
#define QRKIT_PLATFORM_METAFILE_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdint>
#endif

namespace kelvane2::platform {

#if defined(_WIN32)

using ::BOOL;
using ::BYTE;
using ::COLORREF;
using ::DWORD;
using ::HBRUSH;
using ::HDC;
using ::HENHMETAFILE;
using ::HGDIOBJ;
using ::HWND;
using ::RECT;
using ::UINT;
using ::WCHAR;

using ::CloseEnhMetaFile;
using ::CreateEnhMetaFileW;
using ::CreateSolidBrush;
using ::DeleteEnhMetaFile;
using ::DeleteObject;
using ::FillRect;
using ::GetDC;
using ::GetEnhMetaFileBits;
using ::GetLastError;
using ::ReleaseDC;
using ::SetLastError;
using ::SetMapMode;

#else

using BOOL = int;
using BYTE = std::uint8_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using COLORREF = std::uint32_t;  // 0x00BBGGRR
using WCHAR = char16_t;

struct Window;
struct DeviceContext;
struct Brush;
struct EnhMetaFile;

using HWND = Window*;
using HDC = DeviceContext*;
using HGDIOBJ = void*;  // any object; brushes are the only kind here
using HBRUSH = Brush*;
using HENHMETAFILE = EnhMetaFile*;

struct RECT {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

constexpr int MM_HIMETRIC = 3;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;

// The error of the last failed call on this thread.
DWORD GetLastError();
void SetLastError(DWORD error);

// The screen's device context (window must be null): the reference device of new metafiles, a
// 1920 x 1440 pixel screen of 508 x 381 mm (96 dots per inch). Never fails.
HDC GetDC(HWND window);
// Returns 1 for a context from GetDC, 0 otherwise.
int ReleaseDC(HWND window, HDC dc);

// A device context that records into a new in-memory metafile. reference is the reference device (null
// for the screen); file must be null (no file-backed metafiles); frame is the picture's extent in
// 0.01 mm (required: null fails); description is null or "application\0picture\0\0". Null on failure.
HDC CreateEnhMetaFileW(HDC reference, const WCHAR* file, const RECT* frame, const WCHAR* description);
// Returns the previous mapping mode; only MM_HIMETRIC is recorded (the initial mode is 1, MM_TEXT), any
// other mode fails with 0.
int SetMapMode(HDC dc, int mode);
// Null on failure.
HBRUSH CreateSolidBrush(COLORREF colour);
// Deletes a brush; in every metafile recording it, the deletion is recorded and its handle slot freed.
BOOL DeleteObject(HGDIOBJ object);
// Fills rectangle (logical units; right and bottom exclusive) with brush. Returns 1, or 0 on failure
// (nothing recorded).
int FillRect(HDC dc, const RECT* rectangle, HBRUSH brush);
// Ends recording and frees the device context. Null when the recording failed.
HENHMETAFILE CloseEnhMetaFile(HDC dc);
// With a null buffer, the size of the metafile's bytes; otherwise copies them into buffer when size is
// large enough and returns their count. 0 on failure.
UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, BYTE* buffer);
BOOL DeleteEnhMetaFile(HENHMETAFILE metafile);

#endif

}  // namespace kelvane2::platform

#endif
