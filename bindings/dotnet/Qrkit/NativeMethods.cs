// The P/Invoke declarations of every export of qrkit (qrkit.dll on Windows, libqrkit.so elsewhere),
// as qrkit/qrkit.h and qrkit/qrkit_paint.h declare them. The exports are stdcall on every 32-bit x86
// target, Linux i386 as well as Windows: CallingConvention.StdCall says so, and 64-bit platforms, which
// have one convention only, ignore it. (Winapi would mean cdecl to a 32-bit Mono on Linux.)
//
// Handles are SymbolHandle, which ends the result with DestroyQRCodeEncodeResult. Texts the library
// returns (messages, font strings) belong to it: they are read as IntPtr and copied, never freed.
// Data arguments are the NUL-terminated bytes of the input language (see InputText for the literal
// form); paths and separators are 8-bit text: the ANSI code page on Windows, UTF-8 elsewhere.
using System;
using System.Runtime.InteropServices;

namespace Qrkit
{
    /// <summary>The flat exports of the qrkit library, one declaration each.</summary>
    public static class NativeMethods
    {
        /// <summary>The library's name: qrkit.dll on Windows, libqrkit.so elsewhere.</summary>
        public const string Library = "qrkit";

        const CallingConvention Convention = CallingConvention.StdCall;

        // ---- Encoding --------------------------------------------------------------------------

        /// <summary>Encodes data (NUL-terminated bytes in the input language) as QR Code. Returns 0 and
        /// the handle, or a result code such as 0x80520005 with an invalid handle.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int QRCodeEncode(byte[] data, int versionWord, int ecLevel, out SymbolHandle handle);

        /// <summary>As QRCodeEncode; an invalid handle on any failure.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern SymbolHandle QRCodeEncode2(byte[] data, int versionWord, int ecLevel);

        /// <summary>As QRCodeEncode2 for UTF-16 text: ISO 8859-1 when every unit is 1-255, else EF BB BF
        /// followed by UTF-8.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern SymbolHandle QRCodeEncode2W([MarshalAs(UnmanagedType.LPWStr)] string data, int versionWord,
                                                         int ecLevel);

        /// <summary>Encodes data as Micro QR Code (versionWord 0-4 for automatic, M1-M4).</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int MicroQRCodeEncode(byte[] data, int versionWord, int ecLevel, out SymbolHandle handle);

        /// <summary>As MicroQRCodeEncode; an invalid handle on any failure.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern SymbolHandle MicroQRCodeEncode2(byte[] data, int versionWord, int ecLevel);

        /// <summary>Encodes HIBC data ('+', the data, its modulo-43 check character) as QR Code.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int HIBC_QRCodeEncode(byte[] data, int versionWord, int ecLevel, out SymbolHandle handle);

        /// <summary>As HIBC_QRCodeEncode; an invalid handle on any failure.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern SymbolHandle HIBC_QRCodeEncode2(byte[] data, int versionWord, int ecLevel);

        /// <summary>As QRCodeEncode, dividing plain data into modes with the fewest bits on the smallest
        /// version that holds them.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int QRCodeEncodeOptimal(byte[] data, int versionWord, int ecLevel, out SymbolHandle handle);

        /// <summary>As MicroQRCodeEncode, dividing plain data into modes with the fewest bits.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int MicroQRCodeEncodeOptimal(byte[] data, int versionWord, int ecLevel,
                                                          out SymbolHandle handle);

        /// <summary>The structured-append parity (0-255) of a message in the input language.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int QRCodeGetParity(byte[] data);

        // ---- Results and messages --------------------------------------------------------------

        /// <summary>The symbol version: 1-40 for QR Code, 1-4 for Micro QR Code.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int QRCodeResultGetVersion(SymbolHandle handle);

        /// <summary>Ends a result; returns the references left (0 when it was destroyed). SymbolHandle
        /// calls it; call it yourself only on a raw pointer you own.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int DestroyQRCodeEncodeResult(IntPtr handle);

        /// <summary>The message of a result code: static ASCII text, read with Marshal.PtrToStringAnsi.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern IntPtr QRCodeGetErrorMessage(int code);

        // ---- Font strings ----------------------------------------------------------------------

        /// <summary>Writes the font string into buffer. With a null buffer, stores the size needed (NUL
        /// included) in size; otherwise stores the characters written. Returns 0, or the bare numbers
        /// 12 (buffer too small) and 8.</summary>
        [DllImport(Library, CallingConvention = Convention, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern int QRCodeResultGetBarcodeString(SymbolHandle handle, [Out] byte[] buffer, ref int size,
                                                              [MarshalAs(UnmanagedType.LPStr)] string separator);

        /// <summary>The font string, kept by the result until the next call or its end; IntPtr.Zero when
        /// memory runs out.</summary>
        [DllImport(Library, CallingConvention = Convention, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern IntPtr QRCodeResultGetBarcodeString2(SymbolHandle handle,
                                                                  [MarshalAs(UnmanagedType.LPStr)] string separator);

        // ---- Painting --------------------------------------------------------------------------

        /// <summary>Writes a PNG (format 0) or BMP (4) file, moduleSize pixels a module. Returns 0, or the
        /// bare numbers 8 (arguments refused), 10 (file not writable), 11 (out of memory).</summary>
        [DllImport(Library, CallingConvention = Convention, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern int PaintQRCodeImageRaster(SymbolHandle handle, [MarshalAs(UnmanagedType.LPStr)] string path,
                                                        int moduleSize, uint foreColour, uint backColour, int format);

        /// <summary>Writes an SVG (1), EMF (2) or EPS (3) file, moduleSize hundredths of a millimetre a
        /// module at resolution dpi. Results as PaintQRCodeImageRaster.</summary>
        [DllImport(Library, CallingConvention = Convention, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern int PaintQRCodeImageVector(SymbolHandle handle, [MarshalAs(UnmanagedType.LPStr)] string path,
                                                        int moduleSize, int resolution, uint foreColour, uint backColour,
                                                        int format);

        /// <summary>As PaintQRCodeImageRaster into an IStream (on Windows the COM IStream).</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int PaintQRCodeImageRaster2(SymbolHandle handle, IntPtr stream, int moduleSize,
                                                         uint foreColour, uint backColour, int format);

        /// <summary>As PaintQRCodeImageVector into an IStream.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int PaintQRCodeImageVector2(SymbolHandle handle, IntPtr stream, int moduleSize,
                                                         int resolution, uint foreColour, uint backColour, int format);

        /// <summary>A new enhanced metafile (HENHMETAFILE on Windows), or IntPtr.Zero. The last argument is
        /// ignored. Delete it with DeleteEnhMetaFile (Windows) or QRCodeMetafileDelete.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern IntPtr PaintQRCodeImageEMF(SymbolHandle handle, int moduleSize, int resolution,
                                                        uint foreColour, uint backColour, int unused);

        /// <summary>Puts the symbol's metafile on the clipboard. Returns 0, or the bare numbers 8, 10, 11.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int PaintQRCodeImageClipboard(SymbolHandle handle, int moduleSize, int resolution,
                                                           uint foreColour, uint backColour);

        // ---- Metafiles and the clipboard outside Windows (libqrkit.so only) --------------------

        /// <summary>The size of a metafile's bytes (null buffer), or copies them when size is enough.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern uint QRCodeMetafileGetBits(IntPtr metafile, uint size, [Out] byte[] buffer);

        /// <summary>Frees a metafile from PaintQRCodeImageEMF. Returns 1, or 0 for a null one.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern int QRCodeMetafileDelete(IntPtr metafile);

        /// <summary>The bytes of the metafile on the library's own clipboard, as QRCodeMetafileGetBits.</summary>
        [DllImport(Library, CallingConvention = Convention)]
        public static extern uint QRCodeClipboardGetMetafileBits(uint size, [Out] byte[] buffer);
    }
}
