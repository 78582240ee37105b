/* qrkit: QR Code and Micro QR Code symbols as font strings, images and module matrices.
 *
 * The flat export API, usable from C and C++. Every function is exported by name with C linkage and
 * the QRKIT_CALL calling convention (stdcall on 32-bit x86, on Windows and Linux alike; the platform
 * default elsewhere).
 *
 * Result codes: 0 is success; a failure is 0x80520000 | n with the error number n in the low 16 bits
 * (facility 82); QRCodeGetErrorMessage gives its text. A few functions return the bare number n.
 *
 * Handles: a QRCODE_RESULT is a reference-counted result object owned by the caller from the moment
 * an encode function returns it until DestroyQRCodeEncodeResult. In C it is opaque; C++ callers may
 * use it as the kelvane2::IQrcodeResult view declared in qrkit/objectmodel.h. One handle is used by
 * one thread at a time; different handles may be used on different threads at once.
 *
 * The public headers are qrkit/qrkit.h (this one), qrkit/qrkit_paint.h, qrkit/objectmodel.h and
 * qrkit/istream.h; they include nothing else of qrkit. Compile with the folder that holds qrkit/ on
 * the include path (-I<prefix>/include for an installed library).
 */
#ifndef QRKIT_QRKIT_H
#define QRKIT_QRKIT_H

#include <stdint.h>

/* QRKIT_CALL, the calling convention of every export, follows the processor, not the operating system:
 * stdcall on 32-bit x86 (Windows, and Linux i386 alike: the callee pops its arguments, whose sizes are
 * those declared here, every one 4 bytes), the platform's default convention everywhere else (x86_64,
 * ARM). A 32-bit caller that loads the library by name (GetProcAddress, dlsym) must call through
 * pointers declared with QRKIT_CALL, e.g. int32_t (QRKIT_CALL *encode)(const char*, int, int,
 * QRCODE_RESULT*). */
#if defined(_M_IX86) || defined(__i386__)
#if defined(_WIN32)
#define QRKIT_CALL __stdcall
#else
#define QRKIT_CALL __attribute__((stdcall))
#endif
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

/* ---- Encoding: QR Code ------------------------------------------------------------------------
 *
 * data: NUL-terminated bytes in the input language (plain bytes, with '~' escapes for control and
 *   decimal bytes, Kanji, structured append, ECI designators, FNC1 and center overlays). A 0 byte is
 *   written as the escape ~d000 or ~@.
 * versionWord: bits 0-7 the requested version: 0 the smallest that holds the data, 1-40 the smallest
 *   allowed, 41-255 taken as 40. Bits 8-10 the forced mode: 0 automatic division into modes; 1 each
 *   data run as one segment, numeric if all digits, else alphanumeric if it can be, else byte; 2
 *   numeric only; 3 alphanumeric only; 4-7 byte only (under 2 and 3 a run that does not fit fails with
 *   0x80520006). Bit 15 (0x8000) strict version: the symbol may not be larger than the requested
 *   version, else the call fails with 0x80520005 (so 0x8000 alone always fails). Other bits ignored.
 * ecLevel: error correction level 0 L, 1 M, 2 Q, 3 H; below 0 taken as 0, above 3 as 3.
 * The mask is always chosen automatically (lowest penalty).
 */

/* Encodes data. Returns 0 and stores a new handle (one reference, the caller's) in *out, or returns a
 * failure code and stores null in *out: 0x80520005 when no version (or not the strict one) holds the
 * data, 0x80520006, 0x80520032, 0x80520034, 0x80520035, 0x80520050, 0x80520051, 0x8052005A for malformed
 * input (see QRCodeGetErrorMessage), 0x8052000B when memory runs out. A null data or out pointer returns
 * 0x80004003 and writes nothing. */
QRKIT_API int32_t QRKIT_CALL QRCodeEncode(const char* data, int versionWord, int ecLevel, QRCODE_RESULT* out);

/* As QRCodeEncode; returns the new handle, or null on any failure (the code is not available). */
QRKIT_API QRCODE_RESULT QRKIT_CALL QRCodeEncode2(const char* data, int versionWord, int ecLevel);

/* As QRCodeEncode2 for NUL-terminated UTF-16 text. When every code unit is 1-255 each becomes one byte
 * (ISO 8859-1); otherwise the data is EF BB BF followed by the UTF-8 form of the text. A high surrogate
 * followed by a low one is one character; any other surrogate is encoded on its own. */
QRKIT_API QRCODE_RESULT QRKIT_CALL QRCodeEncode2W(const qrkit_char16* data, int versionWord, int ecLevel);

/* ---- Encoding: Micro QR Code ----------------------------------------------------------------------
 *
 * data: NUL-terminated bytes in the Micro subset of the input language: control and decimal bytes,
 *   ~~, Kanji blocks and designators; "~2[", "~1", "~3[" and "~50[" are plain data. Designators and
 *   data that no Micro version can carry fail with 0x80520005.
 * versionWord: the whole value is the requested version: 0 (or below) the smallest that holds the data,
 *   1-4 for M1-M4 as the smallest allowed, above 4 taken as M4. There are no flag bits.
 * ecLevel: 0 L, 1 M, 2 Q, 3 H, clamped to 0-3, then lowered to the highest level the chosen version
 *   offers (M1 its error detection only, reported as 0; M2 and M3 up to M; M4 up to Q). The handle's
 *   level (IQrcodeResult::getEcLevel) is the one used. The mask is chosen automatically.
 */

/* Encodes data as a Micro QR Code symbol. Returns 0 with a new handle in *out, or a failure code with
 * null in *out (0x80520005 too long or not encodable in Micro QR Code, 0x80520050 an invalid Kanji
 * block, 0x8052000B out of memory). A null data or out pointer returns 0x80004003 and writes nothing. */
QRKIT_API int32_t QRKIT_CALL MicroQRCodeEncode(const char* data, int versionWord, int ecLevel,
                                               QRCODE_RESULT* out);

/* As MicroQRCodeEncode; returns the new handle, or null on any failure. */
QRKIT_API QRCODE_RESULT QRKIT_CALL MicroQRCodeEncode2(const char* data, int versionWord, int ecLevel);

/* ---- Encoding with the fewest bits ----------------------------------------------------------------
 *
 * The encode functions above divide each run of plain data into numeric, alphanumeric and byte
 * segments by a fixed greedy rule, and their symbols stay exactly as they are. These functions take the
 * same arguments and the same input language but divide every run of plain data into numeric,
 * alphanumeric, byte and Kanji segments with the fewest bits for the version it lands on, and choose
 * the smallest version (never below the requested one) whose capacity holds the result: the symbol is
 * never larger than, and often smaller than, the one QRCodeEncode or MicroQRCodeEncode makes.
 * - A reader returns exactly the same bytes as from the symbol of QRCodeEncode (MicroQRCodeEncode).
 *   Escapes, Kanji blocks, structured append, designators, FNC1 and center overlays keep their meaning
 *   and place; after FNC1 a '%' that the greedy division reads as the group separator stays one.
 * - Kanji mode takes pairs of plain bytes that are valid Shift JIS characters, unless an ECI designator
 *   other than ~7000020 is in force or some plain data reads as UTF-8 text (or opens with EF BB BF).
 * - A forced mode in bits 8-10 of versionWord keeps the forced segments; the version is then still the
 *   smallest that holds them. Strict version and the levels work as for QRCodeEncode; Micro QR Code
 *   uses each version's own modes (M1 numeric only, M2 no byte or Kanji).
 * Result codes are those of QRCodeEncode (MicroQRCodeEncode): 0x80520005 when no version holds the
 * data, the same codes for malformed input, 0x80004003 for a null pointer. */

/* As QRCodeEncode, with the division of fewest bits. */
QRKIT_API int32_t QRKIT_CALL QRCodeEncodeOptimal(const char* data, int versionWord, int ecLevel,
                                                 QRCODE_RESULT* out);

/* As MicroQRCodeEncode, with the division of fewest bits. */
QRKIT_API int32_t QRKIT_CALL MicroQRCodeEncodeOptimal(const char* data, int versionWord, int ecLevel,
                                                      QRCODE_RESULT* out);

/* ---- Encoding: HIBC and structured-append parity ------------------------------------------------- */

/* Encodes HIBC data as QR Code: data (at most 100 bytes) is upper-cased (a-z only), must hold at most
 * 36 characters of "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", and is encoded as '+', the data and
 * its modulo-43 check character. versionWord and ecLevel as for QRCodeEncode. Every formatting failure
 * (too long, a character outside the set) returns 0x80520005 and leaves *out as it was; other
 * failures are those of QRCodeEncode (out set to null). */
QRKIT_API int32_t QRKIT_CALL HIBC_QRCodeEncode(const char* data, int versionWord, int ecLevel,
                                               QRCODE_RESULT* out);

/* As HIBC_QRCodeEncode; returns the new handle, or null on any failure. */
QRKIT_API QRCODE_RESULT QRKIT_CALL HIBC_QRCodeEncode2(const char* data, int versionWord, int ecLevel);

/* The structured-append parity (0-255) of a whole message written in the input language: the XOR of
 * every data byte of its numeric, alphanumeric, byte and Kanji segments (escapes count by the bytes
 * they produce; headers, designators and FNC1 count nothing). Input that fails to parse gives the
 * parity of what was parsed; a null pointer gives 0. Give the result to every symbol's ~2[P][T,Y].
 * The parity is computed without allocating memory, in time linear in the message's length, so it
 * never fails for want of memory; -1 (never a parity) when it cannot be computed: a message longer
 * than 2^31 - 1 bytes. */
QRKIT_API int QRKIT_CALL QRCodeGetParity(const char* data);

/* ---- Results -------------------------------------------------------------------------------------- */

/* The symbol version of a handle: 1-40 for QR Code, 1-4 for Micro QR Code (M1-M4); 0 for a null
 * handle. */
QRKIT_API int QRKIT_CALL QRCodeResultGetVersion(QRCODE_RESULT handle);

/* Ends the caller's reference on a handle and frees the font string the result holds
 * (QRCodeResultGetBarcodeString2). Returns the references left: 0 when the result was destroyed, and
 * for a null handle. The handle must not be used afterwards. */
QRKIT_API int QRKIT_CALL DestroyQRCodeEncodeResult(QRCODE_RESULT handle);

/* ---- Messages ------------------------------------------------------------------------------------- */

/* The English message of a result code: the message of error number (code & 0xFFFF) when bits 28-16
 * of the code read 82 (bits 31-29 are not tested), else "Unspecified error.". A bare error number such
 * as 12 therefore gives "Unspecified error."; pass 0x80520000 | n for its message. Static text: never
 * freed, valid for the life of the process. */
QRKIT_API const char* QRKIT_CALL QRCodeGetErrorMessage(int32_t code);

/* ---- Font strings --------------------------------------------------------------------------------
 *
 * The symbol as lines of upper-case hexadecimal digits for a QR barcode font: line j covers module
 * rows 4j to 4j+3, character k of it column k, the top row the most significant bit (1 dark); rows
 * below the symbol count as light. Lines are joined by the separator (null or "" for none). No quiet
 * zone is added. Length without the NUL: lines * columns + (lines - 1) * strlen(separator), with
 * lines = (rows + 3) / 4.
 */

/* Writes the font string of a handle into buffer. size points to the buffer's size in bytes. With a
 * null buffer, stores the size needed (NUL included) in *size and returns 0. Otherwise returns 0 and
 * stores the characters written (NUL not counted) in *size, or returns the bare number 12 when the
 * buffer is too small (nothing written, *size unchanged). Returns the bare number 8 for a null size or
 * a null handle, 11 when memory runs out. */
QRKIT_API int QRKIT_CALL QRCodeResultGetBarcodeString(QRCODE_RESULT handle, char* buffer, int* size,
                                                      const char* separator);

/* The font string of a handle, kept by the result: valid until the next call of this function on the
 * same handle or DestroyQRCodeEncodeResult, never freed by the caller. Null for a null handle, a
 * handle that is not an encode result, or when memory runs out. */
QRKIT_API const char* QRKIT_CALL QRCodeResultGetBarcodeString2(QRCODE_RESULT handle, const char* separator);

#ifdef __cplusplus
}
#endif

/* The paint exports: images, metafiles and the clipboard. */
#include "qrkit/qrkit_paint.h"

#endif
