// The clipboard calls of the user interface that the clipboard painter makes, named and typed like the
// Windows ones. On Windows they are the system's; elsewhere an in-process clipboard holds one enhanced
// metafile.
//
// The native clipboard keeps the Windows rules the painter relies on: one thread at a time has it open
// (OpenClipboard fails while another thread holds it), EmptyClipboard and SetClipboardData need it open
// on the calling thread, and after a successful SetClipboardData the clipboard owns the metafile: the
// caller must not delete it. The clipboard deletes the metafile it holds when it is emptied, when new
// data replaces it, and at process exit. Safe to call from several threads at once.
#ifndef QRKIT_PLATFORM_CLIPBOARD_H
#define QRKIT_PLATFORM_CLIPBOARD_H

#include "platform/metafile.h"

namespace kelvane2::platform {

#if defined(_WIN32)

using ::HANDLE;

using ::CloseClipboard;
using ::EmptyClipboard;
using ::GetClipboardData;
using ::OpenClipboard;
using ::SetClipboardData;

#else

using HANDLE = void*;

constexpr UINT CF_ENHMETAFILE = 14;

// Opens the clipboard for the calling thread (owner must be null). 0 while another thread has it open.
BOOL OpenClipboard(HWND owner);
// Deletes what the clipboard holds. 0 unless the calling thread has the clipboard open.
BOOL EmptyClipboard();
// Puts a metafile (format CF_ENHMETAFILE, a non-null HENHMETAFILE) on the clipboard, which then owns it;
// returns data, or null (ownership not taken) when the calling thread has not opened the clipboard or
// the format or data is refused.
HANDLE SetClipboardData(UINT format, HANDLE data);
// The metafile the clipboard holds (still owned by the clipboard), or null. Null unless the calling
// thread has the clipboard open.
HANDLE GetClipboardData(UINT format);
// 0 unless the calling thread has the clipboard open.
BOOL CloseClipboard();

#endif

}  // namespace kelvane2::platform

#endif
