using System;
using System.Collections.Generic;
using System.Text;

namespace Qrkit
{
    /// <summary>How data reach the encoder, which reads every data argument in its input language,
    /// where '~' starts an escape.</summary>
    /// <remarks>Literal data (the default, as the qrkit tool takes them): '~' is written as "~~" and a
    /// zero byte as "~d000". With escapes the text is passed as it is; a zero byte still becomes
    /// "~d000", since the narrow entry points end their text at a zero byte.</remarks>
    public static class InputText
    {
        static readonly UTF8Encoding Utf8 = new UTF8Encoding(false, true);

        /// <summary>The UTF-8 bytes of text; a lone surrogate, which has none, throws ArgumentException.</summary>
        public static byte[] Utf8Bytes(string text) => Utf8.GetBytes(text);

        /// <summary>NUL-terminated input-language bytes for data.</summary>
        public static byte[] Encode(byte[] data, bool escapes)
        {
            var text = new List<byte>(data.Length + 8);
            foreach (byte b in data)
            {
                if (b == 0)
                {
                    text.AddRange(new[] { (byte)'~', (byte)'d', (byte)'0', (byte)'0', (byte)'0' });
                }
                else
                {
                    text.Add(b);
                    if (b == (byte)'~' && !escapes) text.Add(b);
                }
            }
            text.Add(0);
            return text.ToArray();
        }

        /// <summary>The UTF-16 text QRCodeEncode2W receives for data, by the same rule.</summary>
        public static string EncodeWide(string data, bool escapes)
        {
            if (!escapes) data = data.Replace("~", "~~");
            return data.Replace("\0", "~d000");
        }

        /// <summary>The bytes the library makes of UTF-16 text: one byte a unit when every unit is
        /// 1-255, else EF BB BF and UTF-8 (a high surrogate followed by a low one is one character, any
        /// other surrogate is encoded on its own). NUL-terminated.</summary>
        public static byte[] NarrowWide(string text)
        {
            var bytes = new List<byte>(text.Length * 3 + 4);
            bool narrow = true;
            foreach (char unit in text)
            {
                if (unit > 0xFF) narrow = false;
            }
            if (narrow)
            {
                foreach (char unit in text) bytes.Add((byte)unit);
            }
            else
            {
                bytes.AddRange(new byte[] { 0xEF, 0xBB, 0xBF });
                for (int i = 0; i < text.Length; ++i)
                {
                    int point = text[i];
                    if (char.IsHighSurrogate(text[i]) && i + 1 < text.Length && char.IsLowSurrogate(text[i + 1]))
                    {
                        point = char.ConvertToUtf32(text[i], text[i + 1]);
                        ++i;
                    }
                    AppendUtf8(bytes, point);
                }
            }
            bytes.Add(0);
            return bytes.ToArray();
        }

        static void AppendUtf8(List<byte> bytes, int point)
        {
            if (point < 0x80)
            {
                bytes.Add((byte)point);
            }
            else if (point < 0x800)
            {
                bytes.Add((byte)(0xC0 | (point >> 6)));
                bytes.Add((byte)(0x80 | (point & 0x3F)));
            }
            else if (point < 0x10000)
            {
                bytes.Add((byte)(0xE0 | (point >> 12)));
                bytes.Add((byte)(0x80 | ((point >> 6) & 0x3F)));
                bytes.Add((byte)(0x80 | (point & 0x3F)));
            }
            else
            {
                bytes.Add((byte)(0xF0 | (point >> 18)));
                bytes.Add((byte)(0x80 | ((point >> 12) & 0x3F)));
                bytes.Add((byte)(0x80 | ((point >> 6) & 0x3F)));
                bytes.Add((byte)(0x80 | (point & 0x3F)));
            }
        }
    }
}
