// What the library leaves to the platform: reading and deleting its metafiles and reading the
// clipboard. On Windows these are GDI and user32 calls; elsewhere the library keeps metafiles and an
// in-process clipboard itself and exports functions of the same shape.
using System;
using System.Runtime.InteropServices;

namespace Qrkit
{
    internal static class Platform
    {
        public static readonly bool IsWindows = Environment.OSVersion.Platform == PlatformID.Win32NT;

        const uint CF_ENHMETAFILE = 14;

        [DllImport("gdi32", CallingConvention = CallingConvention.Winapi)]
        static extern uint GetEnhMetaFileBits(IntPtr metafile, uint size, [Out] byte[] buffer);

        [DllImport("gdi32", CallingConvention = CallingConvention.Winapi)]
        static extern int DeleteEnhMetaFile(IntPtr metafile);

        [DllImport("user32", CallingConvention = CallingConvention.Winapi)]
        static extern int OpenClipboard(IntPtr owner);

        [DllImport("user32", CallingConvention = CallingConvention.Winapi)]
        static extern IntPtr GetClipboardData(uint format);

        [DllImport("user32", CallingConvention = CallingConvention.Winapi)]
        static extern int CloseClipboard();

        static uint MetafileBits(IntPtr metafile, uint size, byte[] buffer) =>
            IsWindows ? GetEnhMetaFileBits(metafile, size, buffer)
                      : NativeMethods.QRCodeMetafileGetBits(metafile, size, buffer);

        /// <summary>The bytes of a metafile (an .emf file's contents), or null when none can be read.</summary>
        public static byte[] MetafileBytes(IntPtr metafile)
        {
            uint size = MetafileBits(metafile, 0, null);
            if (size == 0) return null;
            var bytes = new byte[size];
            return MetafileBits(metafile, size, bytes) == size ? bytes : null;
        }

        public static void DeleteMetafile(IntPtr metafile)
        {
            if (IsWindows)
            {
                DeleteEnhMetaFile(metafile);
            }
            else
            {
                NativeMethods.QRCodeMetafileDelete(metafile);
            }
        }

        /// <summary>The bytes of the metafile on the clipboard, or null when it holds none.</summary>
        public static byte[] ClipboardMetafileBytes()
        {
            if (!IsWindows)
            {
                uint size = NativeMethods.QRCodeClipboardGetMetafileBits(0, null);
                if (size == 0) return null;
                var bytes = new byte[size];
                return NativeMethods.QRCodeClipboardGetMetafileBits(size, bytes) == size ? bytes : null;
            }
            if (OpenClipboard(IntPtr.Zero) == 0) return null;
            try
            {
                IntPtr metafile = GetClipboardData(CF_ENHMETAFILE);
                return metafile == IntPtr.Zero ? null : MetafileBytes(metafile);
            }
            finally
            {
                CloseClipboard();
            }
        }
    }
}
