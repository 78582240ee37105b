using Microsoft.Win32.SafeHandles;

namespace Qrkit
{
    /// <summary>The library's result handle. Releasing it (Dispose, or the finalizer) ends the result
    /// with DestroyQRCodeEncodeResult, which also frees the font string the result keeps.</summary>
    public sealed class SymbolHandle : SafeHandleZeroOrMinusOneIsInvalid
    {
        /// <summary>An invalid handle; the marshaller fills it in.</summary>
        public SymbolHandle() : base(true)
        {
        }

        /// <inheritdoc/>
        protected override bool ReleaseHandle()
        {
            NativeMethods.DestroyQRCodeEncodeResult(handle);
            return true;
        }
    }
}
