using System;

namespace Qrkit
{
    /// <summary>A failure reported by the qrkit library: its result code and its message.</summary>
    /// <remarks>Code is the result code 0x80520000 | number (for example unchecked((int)0x80520005),
    /// "Input is too long"); paint failures, which the library returns as bare numbers, are given the
    /// same form (0x8052000A, "File access denied"). Message is the library's text exactly. HResult is
    /// Code as well.</remarks>
    [Serializable]
    public class QrkitException : Exception
    {
        /// <summary>The result code, 0x80520000 | ErrorNumber.</summary>
        public int Code { get; }

        /// <summary>The error number, the low 16 bits of Code (5 "Input is too long", 10 "File access
        /// denied", ...).</summary>
        public int ErrorNumber => Code & 0xFFFF;

        /// <summary>The failure of result code code, with the library's message for it.</summary>
        public QrkitException(int code) : this(code, QrCode.ErrorMessage(code), null)
        {
        }

        /// <summary>The failure of result code code, with a cause (for example the exception a stream
        /// raised while the library wrote to it).</summary>
        public QrkitException(int code, Exception innerException)
            : this(code, QrCode.ErrorMessage(code), innerException)
        {
        }

        /// <summary>A failure with a given code and message.</summary>
        public QrkitException(int code, string message, Exception innerException) : base(message, innerException)
        {
            Code = code;
            HResult = code;
        }

        /// <summary>The result code of a bare error number n: 0x80520000 | n.</summary>
        public static int ResultCode(int number) => unchecked((int)0x80520000) | (number & 0xFFFF);
    }
}
