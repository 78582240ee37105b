/* qrkit: QR Code and Micro QR Code symbols as font strings, images and module matrices.
 *
 * The flat export API, usable from C and C++. Every function is exported by name with C linkage and
 * the QRKIT_CALL calling convention (stdcall on 32-bit Windows, the platform default elsewhere).
 *
 * Result codes: 0 is success; a failure is 0x80520000 | n with the error number n in the low 16 bits
 * (facility 82); QRCodeGetErrorMessage gives its text. A few functions return the bare number n.
 *
 * Handles: a QRCODE_RESULT is a reference-counted result object owned by the caller from the moment
 * an encode function returns it until DestroyQRCodeEncodeResult. In C it is opaque; C++ callers may
 * use it as the kelvane2::IQrcodeResult view declared in encoder/objectmodel.h. One handle is used by
 * one thread at a time; different handles may be used on different threads at once.
 */
#ifndef QRKIT_QRKIT_H
#define QRKIT_QRKIT_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QRKIT_CALL __stdcall
#else
#define QRKIT_CALL
#endif

#if defined(QRKIT_BUILDING_LIBRARY) && !defined(_WIN32)
#define QRKIT_API __attribute__((visibility("default")))
#else
#define QRKIT_API
#endif

#ifdef __cplusplus
namespace kelvane2 {
class IQrcodeResult;
}
typedef kelvane2::IQrcodeResult* QRCODE_RESULT;
extern "C" {
#else
typedef struct QrcodeResultOpaque* QRCODE_RESULT;
#endif

/* UTF-16 code unit of the wide entry points: wchar_t on Windows, char16_t elsewhere. */
#if defined(_WIN32)
typedef wchar_t qrkit_char16;
#elif defined(__cplusplus)
typedef char16_t qrkit_char16;
#else
typedef uint_least16_t qrkit_char16;
#endif

/* Declarations follow, each documented; see the sections below. */

#ifdef __cplusplus
}
#endif

#endif
