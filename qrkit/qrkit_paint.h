/* qrkit: the paint exports, which draw an encoded symbol as an image file, into a caller's stream, as
 * an enhanced metafile or onto the clipboard. Included by qrkit/qrkit.h; see there for the calling
 * convention, result codes and handles.
 *
 * Every picture covers exactly the symbol's modules, with no quiet zone: the dark modules in foreColour,
 * the light ones in backColour. Colours are 0x00RRGGBB words; bits 24-31 are ignored.
 *
 * Raster sizes are pixels per module. Vector sizes (SVG, EPS, metafiles) are in hundredths of a
 * millimetre and are rounded to the nearest whole number of device dots (at least one) at resolution
 * dots per inch: a 21 x 21 symbol at module size 25 and 300 dpi is 5.25 mm wide.
 *
 * Formats: 0 PNG and 4 BMP (raster exports), 1 SVG, 2 the bytes of an enhanced metafile (an .emf file)
 * and 3 EPS (vector exports).
 *
 * Size limits: a raster image is at most 65,535 pixels wide and high (columns x moduleSize and rows x
 * moduleSize); a vector page, an enhanced metafile included, is at most 10 m wide and high
 * (1,000,000 hundredths of a millimetre: columns and rows times the module size as snapped to whole
 * dots). A larger picture is refused (8, or null from PaintQRCodeImageEMF) before anything is created,
 * opened or written.
 *
 * Results of the file and stream exports (bare error numbers, without facility bits):
 *   0   the whole image was written;
 *   8   nothing was done: a null handle, path or stream, a handle that is not a symbol, a module size or
 *       resolution below 1, a format the export does not write, or an image beyond the size limits
 *       below. No file is created and no byte is written;
 *   10  the file system refused the file (its folder is missing or not writable, the path names
 *       something other than a regular file, a write or the final rename failed), or the stream refused
 *       bytes or the image could not be completed. A file destination is then exactly as it was; a
 *       stream holds an incomplete image;
 *   11  memory ran out (anywhere in the call, inside the PNG and zlib libraries too). A file
 *       destination is then exactly as it was.
 *
 * File targets: the image is written to a new file in the destination's folder, named ".qrkit-" with
 * 16 hexadecimal digits and ".tmp", which is renamed over the destination only after the whole image
 * was written and closed; on any failure it is removed and the destination is left exactly as it was.
 * The destination must be a regular file the process may write, or not exist: a symbolic link, a
 * directory, a FIFO, a device or any other kind of file is refused with 10 (never written through,
 * never opened or waited on), and so is a file the process may not write (read-only). A replaced
 * file's permission bits, and its owner and group where the process may set them, are kept (on Windows
 * its hidden, system and archive attributes); a new file gets the permissions of any newly created
 * file. Another link to a replaced file keeps the old content.
 * No exception leaves these functions. Each call takes one reference on the result and releases it
 * before returning; the caller's stream is neither AddRef'd nor released.
 */
#ifndef QRKIT_QRKIT_PAINT_H
#define QRKIT_QRKIT_PAINT_H

#include "qrkit/qrkit.h"

/* The caller's byte stream: the COM IStream on Windows, the interface of qrkit/istream.h elsewhere
 * (opaque in C). Enhanced metafile handle: HENHMETAFILE on Windows, the library's own metafile
 * elsewhere (opaque in C; see QRCodeMetafileGetBits). */
#if defined(_WIN32)
#ifdef __cplusplus
struct IStream;
#else
typedef struct IStream IStream;
#endif
struct HENHMETAFILE__;
typedef IStream qrkit_istream;
typedef struct HENHMETAFILE__* qrkit_metafile;
#elif defined(__cplusplus)
namespace kelvane2 {
namespace platform {
class IStream;
struct EnhMetaFile;
}  // namespace platform
}  // namespace kelvane2
typedef kelvane2::platform::IStream qrkit_istream;
typedef kelvane2::platform::EnhMetaFile* qrkit_metafile;
#else
typedef struct QrkitStreamOpaque qrkit_istream;
typedef struct QrkitMetafileOpaque* qrkit_metafile;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Painting --------------------------------------------------------------------------------- */

/* Writes the symbol of handle as a PNG (format 0) or BMP (format 4) file at path (8-bit text as the
 * platform's narrow file calls take it), moduleSize pixels per module. An existing regular file is
 * replaced as a whole once the image is complete (see File targets above). Returns 0, 8, 10 or 11 as
 * above. */
QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageRaster(QRCODE_RESULT handle, const char* path,
                                                    int32_t moduleSize, uint32_t foreColour,
                                                    uint32_t backColour, int32_t format);

/* Writes the symbol as an SVG (1), enhanced metafile (2) or EPS (3) file at path, moduleSize hundredths
 * of a millimetre per module snapped to whole dots at resolution dpi. Returns 0, 8, 10 or 11. */
QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageVector(QRCODE_RESULT handle, const char* path,
                                                    int32_t moduleSize, int32_t resolution,
                                                    uint32_t foreColour, uint32_t backColour, int32_t format);

/* As PaintQRCodeImageRaster, written to stream from its current position on; the stream is left after
 * the last byte written. Only the stream's Write is called, with about 4 KB at a time; once a Write
 * fails the stream receives no further call and the export returns 10. */
QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageRaster2(QRCODE_RESULT handle, qrkit_istream* stream,
                                                     int32_t moduleSize, uint32_t foreColour,
                                                     uint32_t backColour, int32_t format);

/* As PaintQRCodeImageVector, written to stream as PaintQRCodeImageRaster2 writes. An SVG document is
 * handed to the stream at least once per line. */
QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageVector2(QRCODE_RESULT handle, qrkit_istream* stream,
                                                     int32_t moduleSize, int32_t resolution,
                                                     uint32_t foreColour, uint32_t backColour,
                                                     int32_t format);

/* The symbol as a new enhanced metafile in 0.01 mm units (frame 0, 0 to its width and height), sized as
 * PaintQRCodeImageVector; its bytes are those that format 2 writes for the same arguments below
 * 1270 dpi. The caller deletes it (DeleteEnhMetaFile on Windows, QRCodeMetafileDelete elsewhere). Null
 * for the arguments that make the other exports return 8, when memory runs out or when the platform
 * cannot make the metafile. The last argument is ignored. */
QRKIT_API qrkit_metafile QRKIT_CALL PaintQRCodeImageEMF(QRCODE_RESULT handle, int32_t moduleSize,
                                                        int32_t resolution, uint32_t foreColour,
                                                        uint32_t backColour, int32_t unused);

/* Puts the symbol's enhanced metafile (as PaintQRCodeImageEMF makes it) on the clipboard, replacing
 * what the clipboard held. Returns 0; 8 for the arguments that make the other exports return 8; 10,
 * with the clipboard untouched, when the metafile cannot be made or the clipboard cannot be opened
 * (another program holds it); 11 when memory runs out. */
QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageClipboard(QRCODE_RESULT handle, int32_t moduleSize,
                                                       int32_t resolution, uint32_t foreColour,
                                                       uint32_t backColour);

#if !defined(_WIN32)
/* ---- Metafiles and the clipboard outside Windows ---------------------------------------------------
 * Without the Windows graphics interface the library makes its metafiles itself and keeps a clipboard
 * inside the process; these functions stand for the platform's calls on them. */

/* With a null buffer, the size in bytes of the metafile's byte form (an .emf file); otherwise copies
 * the bytes into buffer when size is large enough and returns their count. 0 for a null metafile or a
 * buffer too small. */
QRKIT_API uint32_t QRKIT_CALL QRCodeMetafileGetBits(qrkit_metafile metafile, uint32_t size, uint8_t* buffer);

/* Frees a metafile from PaintQRCodeImageEMF. Returns 1, or 0 for a null metafile. */
QRKIT_API int QRKIT_CALL QRCodeMetafileDelete(qrkit_metafile metafile);

/* The bytes of the metafile on the clipboard, as QRCodeMetafileGetBits gives them. 0 when the clipboard
 * holds none or another thread has it open. */
QRKIT_API uint32_t QRKIT_CALL QRCodeClipboardGetMetafileBits(uint32_t size, uint8_t* buffer);
#endif

#ifdef __cplusplus
}
#endif

#endif
