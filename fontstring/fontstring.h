// The font string composer: one upper-case hexadecimal digit per column of a band of four module rows
// (top row the most significant bit), bands joined by a separator.
#ifndef QRKIT_FONTSTRING_FONTSTRING_H
#define QRKIT_FONTSTRING_FONTSTRING_H

#include "encoder/objectmodel.h"

namespace kelvane2 {

// matrix: rows x columns bytes, bit 0 of each the module. size: in, the buffer's size in bytes; out,
// the needed size including the NUL (null buffer) or the characters written without it. Returns 0, 8
// when size is null, 12 when the buffer is too small (nothing written, size unchanged).
int composeFontString(const unsigned char* matrix, int rows, int columns, char* buffer, int* size,
                      const char* separator);

// The font string of any object answering I2DBitPattern, into the caller's buffer (as above).
int resultFontString(IObjectBase* handle, char* buffer, int* size, const char* separator);
// The font string kept in the result's user-data slot (replacing and freeing an earlier one); null
// when the handle does not answer IUserData or I2DBitPattern.
const char* resultOwnedFontString(IObjectBase* handle, const char* separator);

}  // namespace kelvane2

#endif
