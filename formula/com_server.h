// The formula library as an in-process COM server (Windows only): the module's own handle and file,
// the counts that decide whether it may be unloaded, and the class id, library id and ProgID it
// registers.
#ifndef QRKIT_FORMULA_COM_SERVER_H
#define QRKIT_FORMULA_COM_SERVER_H

#include "platform/automation.h"

namespace kelvane2::formula {

// {ED74FB83-C9AB-46D5-A012-7EF982DF38BF}, the creatable class Tessolink4CR.
inline constexpr CLSID kClassId = {
    0xED74FB83, 0xC9AB, 0x46D5, {0xA0, 0x12, 0x7E, 0xF9, 0x82, 0xDF, 0x38, 0xBF}};
// {1358CE4C-CF96-4735-8E87-11E5680863C7}, the type library QRCode4CR.
inline constexpr GUID kLibraryId = {
    0x1358CE4C, 0xCF96, 0x4735, {0x8E, 0x87, 0x11, 0xE5, 0x68, 0x08, 0x63, 0xC7}};
inline constexpr wchar_t kProgId[] = L"cruflVostrel.QRCode5";
inline constexpr wchar_t kDescription[] = L"QRCode Encoder for Crystal Reports";

// The library's own module, saved when the process attaches.
HMODULE moduleHandle();
// Live QRCodeObj and ClassFactory objects.
platform::InterlockedCount& objectCount();
// LockServer locks.
platform::InterlockedCount& lockCount();

// The library's own type library, loaded from its file (path of at most 259 characters). Returns the
// status of the failing step, E_FAIL when the path cannot be taken.
HRESULT loadOwnTypeLibrary(ITypeLib** library);

}  // namespace kelvane2::formula

#endif
