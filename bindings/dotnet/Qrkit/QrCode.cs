using System;
using System.Runtime.InteropServices;

namespace Qrkit
{
    /// <summary>Encodes data as QR Code and Micro QR Code symbols.</summary>
    /// <remarks>
    /// Data are taken literally: a string is sent as its UTF-8 bytes, a byte array as it is (InputText
    /// writes '~' as "~~" and a zero byte as "~d000"). Pass <c>escapes: true</c> to write qrkit's input
    /// language instead: <c>~d065</c> a decimal byte, <c>~2[P][T,Y]</c> structured append,
    /// <c>~50[:swiss7]</c> a center overlay, and the rest. Failures of the library throw
    /// <see cref="QrkitException"/> with its result code and message; arguments outside their range
    /// throw the usual ArgumentException family before anything reaches the library.
    /// </remarks>
    public static class QrCode
    {
        const int StrictVersion = 0x8000;

        /// <summary>Encodes text (as UTF-8) as a QR Code symbol through QRCodeEncode.</summary>
        /// <param name="data">The data; a lone surrogate, which has no UTF-8 form, throws ArgumentException.</param>
        /// <param name="level">Error correction level 'L', 'M', 'Q' or 'H'.</param>
        /// <param name="version">The smallest version allowed, 1-40; 0 for the smallest that holds the data.</param>
        /// <param name="strict">Fail unless the data fit the version given.</param>
        /// <param name="mode">How plain data are divided into modes.</param>
        /// <param name="escapes">Read data in qrkit's input language.</param>
        /// <param name="segmentation">How EncodeMode.Auto divides the data: Greedy (QRCodeEncode) or Optimal
        /// (QRCodeEncodeOptimal, the fewest bits on the smallest version).</param>
        public static Symbol Encode(string data, char level = 'M', int version = 0, bool strict = false,
                                    EncodeMode mode = EncodeMode.Auto, bool escapes = false,
                                    Segmentation segmentation = Segmentation.Greedy)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            return EncodeBytes(InputText.Utf8Bytes(data), level, version, strict, mode, escapes, segmentation);
        }

        /// <summary>Encodes bytes as a QR Code symbol through QRCodeEncode (QRCodeEncodeOptimal). Arguments as
        /// for Encode.</summary>
        public static Symbol EncodeBytes(byte[] data, char level = 'M', int version = 0, bool strict = false,
                                         EncodeMode mode = EncodeMode.Auto, bool escapes = false,
                                         Segmentation segmentation = Segmentation.Greedy)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            int word = VersionWord(version, strict, mode);
            int ecLevel = Level(level);
            bool optimal = Optimal(segmentation);
            byte[] text = InputText.Encode(data, escapes);
            SymbolHandle handle;
            int code = optimal ? NativeMethods.QRCodeEncodeOptimal(text, word, ecLevel, out handle)
                               : NativeMethods.QRCodeEncode(text, word, ecLevel, out handle);
            return Adopt(code, handle, false);
        }

        /// <summary>Encodes text through the UTF-16 entry point QRCodeEncode2W: the library sends it as
        /// ISO 8859-1 when every character is U+0001 to U+00FF, else as EF BB BF followed by UTF-8.
        /// Arguments as for Encode.</summary>
        public static Symbol EncodeWide(string data, char level = 'M', int version = 0, bool strict = false,
                                        EncodeMode mode = EncodeMode.Auto, bool escapes = false)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            int word = VersionWord(version, strict, mode);
            int ecLevel = Level(level);
            string text = InputText.EncodeWide(data, escapes);
            SymbolHandle handle = NativeMethods.QRCodeEncode2W(text, word, ecLevel);
            if (!handle.IsInvalid) return new Symbol(handle, false);
            handle.Dispose();
            // The wide entry point gives no code: the narrow one, on the same bytes, tells which.
            int code = NativeMethods.QRCodeEncode(InputText.NarrowWide(text), word, ecLevel, out SymbolHandle probe);
            probe.Dispose();
            throw new QrkitException(code < 0 ? code : QrkitException.ResultCode(11));
        }

        /// <summary>Encodes text (as UTF-8) as a Micro QR Code symbol, M1 to M4, through MicroQRCodeEncode.</summary>
        /// <param name="data">The data.</param>
        /// <param name="level">'L', 'M', 'Q' or 'H'; the library lowers it to the highest level the chosen
        /// version offers (M1 error detection only, M2 and M3 up to M, M4 up to Q).</param>
        /// <param name="version">The smallest Micro version allowed, 1-4 for M1-M4; 0 for the smallest.</param>
        /// <param name="escapes">Read data in qrkit's input language (its Micro subset).</param>
        /// <param name="segmentation">Greedy (MicroQRCodeEncode) or Optimal (MicroQRCodeEncodeOptimal).</param>
        public static Symbol EncodeMicro(string data, char level = 'M', int version = 0, bool escapes = false,
                                         Segmentation segmentation = Segmentation.Greedy)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            return EncodeMicroBytes(InputText.Utf8Bytes(data), level, version, escapes, segmentation);
        }

        /// <summary>Encodes bytes as a Micro QR Code symbol. Arguments as for EncodeMicro.</summary>
        public static Symbol EncodeMicroBytes(byte[] data, char level = 'M', int version = 0, bool escapes = false,
                                              Segmentation segmentation = Segmentation.Greedy)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            if (version < 0 || version > 4)
                throw new ArgumentOutOfRangeException(nameof(version), version, "The Micro QR Code version is 0-4.");
            int ecLevel = Level(level);
            bool optimal = Optimal(segmentation);
            byte[] text = InputText.Encode(data, escapes);
            SymbolHandle handle;
            int code = optimal ? NativeMethods.MicroQRCodeEncodeOptimal(text, version, ecLevel, out handle)
                               : NativeMethods.MicroQRCodeEncode(text, version, ecLevel, out handle);
            return Adopt(code, handle, true);
        }

        /// <summary>Encodes HIBC data as a QR Code symbol through HIBC_QRCodeEncode: '+', the data upper-cased
        /// and its modulo-43 check character.</summary>
        /// <param name="data">At most 36 characters of "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%" (lower-case
        /// letters are upper-cased); anything else fails with 0x80520005, as the library reports it.</param>
        /// <param name="level">Error correction level 'L', 'M', 'Q' or 'H'.</param>
        /// <param name="version">The smallest version allowed, 1-40; 0 for the smallest.</param>
        /// <param name="strict">Fail unless the data fit the version given.</param>
        public static Symbol EncodeHibc(string data, char level = 'M', int version = 0, bool strict = false)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            int word = VersionWord(version, strict, EncodeMode.Auto);
            int ecLevel = Level(level);
            // A zero character is outside the HIBC set, which the library rejects with this code.
            if (data.IndexOf('\0') >= 0) throw new QrkitException(QrkitException.ResultCode(5));
            byte[] bytes = InputText.Utf8Bytes(data + "\0");
            int code = NativeMethods.HIBC_QRCodeEncode(bytes, word, ecLevel, out SymbolHandle handle);
            return Adopt(code, handle, false);
        }

        /// <summary>The structured-append parity (0-255) of a whole message through QRCodeGetParity: for
        /// literal data the XOR of its UTF-8 bytes; with escapes, of the data bytes the input language gives.</summary>
        public static int Parity(string data, bool escapes = false)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            return Parity(InputText.Utf8Bytes(data), escapes);
        }

        /// <summary>The structured-append parity of a message given as bytes.</summary>
        public static int Parity(byte[] data, bool escapes = false)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            return NativeMethods.QRCodeGetParity(InputText.Encode(data, escapes));
        }

        /// <summary>The library's English message for a result code (QRCodeGetErrorMessage).</summary>
        public static string ErrorMessage(int code)
        {
            IntPtr text = NativeMethods.QRCodeGetErrorMessage(code);
            return text == IntPtr.Zero ? string.Empty : Marshal.PtrToStringAnsi(text);
        }

        /// <summary>The bytes of the enhanced metafile on the clipboard (as Symbol.CopyToClipboard put it
        /// there), or null when the clipboard holds none. Outside Windows this is the library's own
        /// in-process clipboard.</summary>
        public static byte[] ClipboardMetafile() => Platform.ClipboardMetafileBytes();

        static int Level(char level)
        {
            switch (char.ToUpperInvariant(level))
            {
            case 'L': return 0;
            case 'M': return 1;
            case 'Q': return 2;
            case 'H': return 3;
            default: throw new ArgumentOutOfRangeException(nameof(level), level, "The level is 'L', 'M', 'Q' or 'H'.");
            }
        }

        static bool Optimal(Segmentation segmentation)
        {
            if (segmentation != Segmentation.Greedy && segmentation != Segmentation.Optimal)
                throw new ArgumentOutOfRangeException(nameof(segmentation), segmentation, "Not a segmentation.");
            return segmentation == Segmentation.Optimal;
        }

        static int VersionWord(int version, bool strict, EncodeMode mode)
        {
            if (version < 0 || version > 40)
                throw new ArgumentOutOfRangeException(nameof(version), version, "The QR Code version is 0-40.");
            if (mode < EncodeMode.Auto || mode > EncodeMode.Byte)
                throw new ArgumentOutOfRangeException(nameof(mode), mode, "Not an encode mode.");
            return version | ((int)mode << 8) | (strict ? StrictVersion : 0);
        }

        static Symbol Adopt(int code, SymbolHandle handle, bool micro)
        {
            if (code < 0 || handle.IsInvalid)
            {
                handle.Dispose();
                throw new QrkitException(code < 0 ? code : QrkitException.ResultCode(11));
            }
            return new Symbol(handle, micro);
        }
    }
}
