using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace Qrkit
{
    /// <summary>An encoded symbol: its version, size and modules, its font string and its images.</summary>
    /// <remarks>Made by the QrCode methods. Dispose ends the library's result (the finalizer of its
    /// SymbolHandle does it otherwise). Version, Size and the modules stay readable after Dispose; every
    /// other member then throws ObjectDisposedException. One symbol may be used from several threads:
    /// its calls into the library take turns.</remarks>
    public sealed class Symbol : IDisposable
    {
        readonly SymbolHandle handle;
        readonly object gate = new object();
        readonly bool[,] modules;

        internal Symbol(SymbolHandle handle, bool micro)
        {
            this.handle = handle;
            IsMicro = micro;
            Version = NativeMethods.QRCodeResultGetVersion(handle);
            modules = ReadModules();
            Size = modules.GetLength(0);
        }

        /// <summary>1-40 for QR Code, 1-4 for Micro QR Code (M1-M4).</summary>
        public int Version { get; }

        /// <summary>Modules per side, without quiet zone.</summary>
        public int Size { get; }

        /// <summary>True for a Micro QR Code symbol.</summary>
        public bool IsMicro { get; }

        /// <summary>The library's handle, for calls through NativeMethods. It belongs to the symbol.</summary>
        public SymbolHandle Handle => handle;

        /// <summary>The module at row and column (0 at the top left): true for a dark module.</summary>
        public bool this[int row, int column]
        {
            get
            {
                if (row < 0 || row >= Size) throw new ArgumentOutOfRangeException(nameof(row));
                if (column < 0 || column >= Size) throw new ArgumentOutOfRangeException(nameof(column));
                return modules[row, column];
            }
        }

        // The font string with line feeds, through the caller's-buffer export: a hex digit holds a column
        // of four module rows, the top one in the most significant bit.
        bool[,] ReadModules()
        {
            int size = 0;
            int status = NativeMethods.QRCodeResultGetBarcodeString(handle, null, ref size, "\n");
            if (status != 0) throw new QrkitException(QrkitException.ResultCode(status));
            var buffer = new byte[size];
            status = NativeMethods.QRCodeResultGetBarcodeString(handle, buffer, ref size, "\n");
            if (status != 0) throw new QrkitException(QrkitException.ResultCode(status));
            string[] lines = Encoding.ASCII.GetString(buffer, 0, size).Split('\n');
            int width = lines[0].Length;
            if (lines.Length != (width + 3) / 4 || Array.Exists(lines, line => line.Length != width))
                throw new InvalidOperationException("qrkit returned a malformed font string.");
            var result = new bool[width, width];
            for (int row = 0; row < width; ++row)
            {
                for (int column = 0; column < width; ++column)
                {
                    int digit = Convert.ToInt32(lines[row / 4][column].ToString(), 16);
                    result[row, column] = ((digit >> (3 - row % 4)) & 1) != 0;
                }
            }
            return result;
        }

        /// <summary>The symbol as lines of hex digits for a QR barcode font (QRCodeResultGetBarcodeString2):
        /// line j covers module rows 4j to 4j+3, the top row in the most significant bit; lines are joined
        /// by separator (null or "" for none).</summary>
        public string FontString(string separator)
        {
            if (separator != null && separator.IndexOf('\0') >= 0)
                throw new ArgumentException("The separator contains a NUL character.", nameof(separator));
            lock (gate)
            {
                CheckOpen();
                IntPtr text = NativeMethods.QRCodeResultGetBarcodeString2(handle, separator);
                if (text == IntPtr.Zero) throw new QrkitException(QrkitException.ResultCode(11));
                return Marshal.PtrToStringAnsi(text);
            }
        }

        /// <summary>Writes the symbol as an image file, its format from the extension: .png, .bmp, .svg,
        /// .eps or .emf. An existing file is replaced. No quiet zone is added.</summary>
        /// <param name="path">The file (8-bit text for the library: the ANSI code page on Windows).</param>
        /// <param name="moduleSize">Pixels a module for PNG and BMP; hundredths of a millimetre for SVG, EPS
        /// and EMF, rounded to whole dots at resolution.</param>
        /// <param name="resolution">Dots per inch of the vector formats.</param>
        /// <param name="foreColour">Colour of dark modules, 0xRRGGBB.</param>
        /// <param name="backColour">Colour of light modules, 0xRRGGBB.</param>
        /// <exception cref="QrkitException">0x8052000A "File access denied" when the file cannot be written.</exception>
        public void Save(string path, int moduleSize, int resolution = 300, uint foreColour = 0x000000,
                         uint backColour = 0xFFFFFF)
        {
            if (path == null) throw new ArgumentNullException(nameof(path));
            Save(path, FormatOf(path), moduleSize, resolution, foreColour, backColour);
        }

        /// <summary>Writes the symbol as an image file of the given format, whatever the extension.</summary>
        public void Save(string path, ImageFormat format, int moduleSize, int resolution = 300,
                         uint foreColour = 0x000000, uint backColour = 0xFFFFFF)
        {
            if (path == null) throw new ArgumentNullException(nameof(path));
            if (path.Length == 0 || path.IndexOf('\0') >= 0)
                throw new ArgumentException("The path is empty or contains a NUL character.", nameof(path));
            CheckPaintArguments(format, moduleSize, resolution, foreColour, backColour);
            int status;
            lock (gate)
            {
                CheckOpen();
                status = IsRaster(format)
                    ? NativeMethods.PaintQRCodeImageRaster(handle, path, moduleSize, foreColour, backColour, (int)format)
                    : NativeMethods.PaintQRCodeImageVector(handle, path, moduleSize, resolution, foreColour,
                                                           backColour, (int)format);
            }
            if (status != 0) throw new QrkitException(QrkitException.ResultCode(status));
        }

        /// <summary>Writes the image to a stream from its current position (PaintQRCodeImageRaster2,
        /// PaintQRCodeImageVector2). Arguments as for Save.</summary>
        /// <exception cref="QrkitException">0x8052000A when the stream threw (its exception is the
        /// InnerException).</exception>
        public void Write(Stream stream, ImageFormat format, int moduleSize, int resolution = 300,
                          uint foreColour = 0x000000, uint backColour = 0xFFFFFF)
        {
            if (stream == null) throw new ArgumentNullException(nameof(stream));
            if (!stream.CanWrite) throw new ArgumentException("The stream is not writable.", nameof(stream));
            CheckPaintArguments(format, moduleSize, resolution, foreColour, backColour);
            int status;
            Exception streamError;
            using (var adapter = new StreamAdapter(stream))
            {
                lock (gate)
                {
                    CheckOpen();
                    status = IsRaster(format)
                        ? NativeMethods.PaintQRCodeImageRaster2(handle, adapter.Pointer, moduleSize, foreColour,
                                                                backColour, (int)format)
                        : NativeMethods.PaintQRCodeImageVector2(handle, adapter.Pointer, moduleSize, resolution,
                                                                foreColour, backColour, (int)format);
                }
                streamError = adapter.Error;
            }
            if (streamError != null)
                throw new QrkitException(QrkitException.ResultCode(status != 0 ? status : 10), streamError);
            if (status != 0) throw new QrkitException(QrkitException.ResultCode(status));
        }

        /// <summary>The image file's bytes, painted through the stream exports. Arguments as for Save.</summary>
        public byte[] ToBytes(ImageFormat format, int moduleSize, int resolution = 300, uint foreColour = 0x000000,
                              uint backColour = 0xFFFFFF)
        {
            using (var stream = new MemoryStream())
            {
                Write(stream, format, moduleSize, resolution, foreColour, backColour);
                return stream.ToArray();
            }
        }

        /// <summary>The bytes of the symbol's enhanced metafile (PaintQRCodeImageEMF), in 0.01 mm units,
        /// moduleSize hundredths of a millimetre a module rounded to whole dots at resolution.</summary>
        public byte[] ToEmf(int moduleSize, int resolution = 300, uint foreColour = 0x000000,
                            uint backColour = 0xFFFFFF)
        {
            CheckPaintArguments(ImageFormat.Emf, moduleSize, resolution, foreColour, backColour);
            IntPtr metafile;
            lock (gate)
            {
                CheckOpen();
                metafile = NativeMethods.PaintQRCodeImageEMF(handle, moduleSize, resolution, foreColour, backColour, 0);
            }
            if (metafile == IntPtr.Zero) throw new QrkitException(QrkitException.ResultCode(11));
            try
            {
                return Platform.MetafileBytes(metafile) ?? throw new QrkitException(QrkitException.ResultCode(11));
            }
            finally
            {
                Platform.DeleteMetafile(metafile);
            }
        }

        /// <summary>Puts the symbol's enhanced metafile on the clipboard (PaintQRCodeImageClipboard).</summary>
        /// <exception cref="QrkitException">0x8052000A when the clipboard cannot be opened (another program
        /// holds it).</exception>
        public void CopyToClipboard(int moduleSize, int resolution = 300, uint foreColour = 0x000000,
                                    uint backColour = 0xFFFFFF)
        {
            CheckPaintArguments(ImageFormat.Emf, moduleSize, resolution, foreColour, backColour);
            int status;
            lock (gate)
            {
                CheckOpen();
                status = NativeMethods.PaintQRCodeImageClipboard(handle, moduleSize, resolution, foreColour, backColour);
            }
            if (status != 0) throw new QrkitException(QrkitException.ResultCode(status));
        }

        /// <summary>The image format of a file name's extension.</summary>
        public static ImageFormat FormatOf(string path)
        {
            if (path == null) throw new ArgumentNullException(nameof(path));
            switch (Path.GetExtension(path).ToLowerInvariant())
            {
            case ".png": return ImageFormat.Png;
            case ".bmp": return ImageFormat.Bmp;
            case ".svg": return ImageFormat.Svg;
            case ".eps": return ImageFormat.Eps;
            case ".emf": return ImageFormat.Emf;
            default:
                throw new ArgumentException("Cannot tell the image format of \"" + path +
                                            "\": the extension is not .png, .bmp, .svg, .eps or .emf.", nameof(path));
            }
        }

        static bool IsRaster(ImageFormat format) => format == ImageFormat.Png || format == ImageFormat.Bmp;

        static void CheckPaintArguments(ImageFormat format, int moduleSize, int resolution, uint foreColour,
                                        uint backColour)
        {
            if (!Enum.IsDefined(typeof(ImageFormat), format))
                throw new ArgumentOutOfRangeException(nameof(format), format, "Not an image format.");
            if (moduleSize < 1) throw new ArgumentOutOfRangeException(nameof(moduleSize), moduleSize, "At least 1.");
            if (resolution < 1) throw new ArgumentOutOfRangeException(nameof(resolution), resolution, "At least 1.");
            if (foreColour > 0xFFFFFF)
                throw new ArgumentOutOfRangeException(nameof(foreColour), foreColour, "A colour is 0xRRGGBB.");
            if (backColour > 0xFFFFFF)
                throw new ArgumentOutOfRangeException(nameof(backColour), backColour, "A colour is 0xRRGGBB.");
        }

        void CheckOpen()
        {
            if (handle.IsClosed) throw new ObjectDisposedException(nameof(Symbol));
        }

        /// <summary>Ends the library's result. Disposing twice does nothing.</summary>
        public void Dispose()
        {
            lock (gate)
            {
                handle.Dispose();
            }
        }

        /// <inheritdoc/>
        public override string ToString() =>
            (IsMicro ? "Micro QR Code M" + Version : "QR Code version " + Version) + ", " + Size + " x " + Size;
    }
}
