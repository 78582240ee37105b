// Tests of the .NET kit, run with Mono against libqrkit.so:
//   mono QrkitTests.exe OUTPUT_FOLDER
// Every member of QrCode, Symbol, QrkitException, InputText and NativeMethods is called. Exact values
// are checked here; every symbol is also saved as a picture and listed in OUTPUT_FOLDER/manifest.tsv
// with the bytes a reader must get and its module rows as the indexer gives them, for
// tests/tools/read_symbol.py to read back with zxing-cpp. Exit status 0 when every row passes.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using Qrkit;

static class QrkitTests
{
    static int failures;
    static int passes;
    static string output;
    static TextWriter manifest;

    class EncodeRow
    {
        public string Name;
        public Func<Symbol> Call;
        public int Version;  // 0: not fixed by the row
        public byte[] Decoded;
        public string Source;
    }

    class BadRow
    {
        public string Name;
        public Action Call;
        public Type Error;
        public uint Code;  // 0 when the failure is not the library's
        public string Message;
    }

    static byte[] Ascii(string text) => Encoding.ASCII.GetBytes(text);
    static byte[] Utf8(string text) => Encoding.UTF8.GetBytes(text);
    static byte[] Hex(string hex) =>
        Enumerable.Range(0, hex.Length / 2).Select(i => Convert.ToByte(hex.Substring(2 * i, 2), 16)).ToArray();
    static string HexOf(byte[] bytes) => string.Concat(bytes.Select(b => b.ToString("x2")));

    static void Test(string name, Action body)
    {
        try
        {
            body();
            ++passes;
            Console.WriteLine("ok   " + name);
        }
        catch (Exception error)
        {
            ++failures;
            Console.WriteLine("FAIL " + name + ": " + error.GetType().Name + ": " + error.Message);
        }
    }

    static void Check(bool condition, string what)
    {
        if (!condition) throw new Exception(what);
    }

    static void Equal<T>(T expected, T actual, string what)
    {
        if (!EqualityComparer<T>.Default.Equals(expected, actual))
            throw new Exception(what + ": expected " + expected + ", got " + actual);
    }

    static void SameBytes(byte[] expected, byte[] actual, string what)
    {
        if (expected == null || actual == null || !expected.SequenceEqual(actual))
            throw new Exception(what + ": the bytes differ");
    }

    static void Record(string name, string file, byte[] decoded, bool micro, Symbol symbol)
    {
        string rows = "";
        if (symbol != null)
        {
            var lines = new List<string>();
            for (int row = 0; row < symbol.Size; ++row)
            {
                var line = new StringBuilder();
                for (int column = 0; column < symbol.Size; ++column) line.Append(symbol[row, column] ? '1' : '0');
                lines.Add(line.ToString());
            }
            rows = string.Join("/", lines);
        }
        manifest.WriteLine(name + "\t" + file + "\t" + HexOf(decoded) + "\t" + (micro ? "micro" : "qr") + "\t" + rows);
    }

    static string Path(string file) => System.IO.Path.Combine(output, file);

    static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: QrkitTests.exe OUTPUT_FOLDER");
            return 2;
        }
        output = args[0];
        Directory.CreateDirectory(output);
        using (manifest = new StreamWriter(Path("manifest.tsv"), false, new UTF8Encoding(false)))
        {
            EncodeRows();
            FontStrings();
            Parity();
            BadInput();
            Painting();
            PaintFailures();
            NativeDeclarations();
            Lifetime();
        }
        Console.WriteLine(passes + " passed, " + failures + " failed");
        return failures == 0 ? 0 : 1;
    }

    // ---- Encoding through every entry point -------------------------------------------------------

    static void EncodeRows()
    {
        var all = new byte[256];
        for (int i = 0; i < 256; ++i) all[i] = (byte)i;
        const string hibcSet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
        var rows = new[] {
            new EncodeRow { Name = "five digits at level L", Call = () => QrCode.Encode("12345", 'L'), Version = 1,
                            Decoded = Ascii("12345"), Source = "version 1 holds 41 digits at L" },
            new EncodeRow { Name = "empty data", Call = () => QrCode.Encode(""), Version = 1, Decoded = new byte[0],
                            Source = "the library encodes empty input as version 1" },
            new EncodeRow { Name = "UTF-8 text", Call = () => QrCode.Encode("Grüße €"), Version = 1,
                            Decoded = Utf8("Grüße €"), Source = "a string is sent as its UTF-8 bytes" },
            new EncodeRow { Name = "escape-like text taken literally",
                            Call = () => QrCode.Encode("~d065~2[1][3]~50[:swiss7]"),
                            Decoded = Ascii("~d065~2[1][3]~50[:swiss7]"), Source = "literal data: '~' is sent as ~~" },
            new EncodeRow { Name = "zero character taken literally", Call = () => QrCode.Encode("A\0B"), Version = 1,
                            Decoded = new byte[] { 0x41, 0, 0x42 }, Source = "a zero byte is sent as ~d000" },
            new EncodeRow { Name = "every byte value", Call = () => QrCode.EncodeBytes(all), Version = 12, Decoded = all,
                            Source = "256 bytes at M need version 12 (271 bytes)" },
            new EncodeRow { Name = "escapes: decimal and control bytes",
                            Call = () => QrCode.Encode("~d065B~M", escapes: true), Version = 1, Decoded = Ascii("AB\r"),
                            Source = "input language: ~d065 is A, ~M is 0x0D" },
            new EncodeRow { Name = "escapes in bytes", Call = () => QrCode.EncodeBytes(Ascii("~d065"), escapes: true),
                            Version = 1, Decoded = Ascii("A"), Source = "input language" },
            new EncodeRow { Name = "escapes: center overlay",
                            Call = () => QrCode.Encode("~50[:swiss7]https://example.com/qrkit", 'H', escapes: true),
                            Version = 6, Decoded = Ascii("https://example.com/qrkit"),
                            Source = "a named overlay raises the version to 6" },
            new EncodeRow { Name = "minimum version", Call = () => QrCode.Encode("12345", version: 5), Version = 5,
                            Decoded = Ascii("12345"), Source = "the smallest version allowed" },
            new EncodeRow { Name = "strict version that fits", Call = () => QrCode.Encode("HELLO", 'M', 3, strict: true),
                            Version = 3, Decoded = Ascii("HELLO"), Source = "strict: exactly the version given" },
            new EncodeRow { Name = "level h in lower case needs version 3", Call = () => QrCode.Encode(new string('A', 30), 'h'),
                            Version = 3, Decoded = Ascii(new string('A', 30)),
                            Source = "alphanumeric capacity at H: 10, 20, 35" },
            new EncodeRow { Name = "byte mode forced", Call = () => QrCode.Encode("12345", mode: EncodeMode.Byte),
                            Version = 1, Decoded = Ascii("12345"), Source = "the mode changes segments, not data" },
            new EncodeRow { Name = "optimal: URL with an identifier",
                            Call = () => QrCode.Encode("https://example.com/item/123456789012", 'L',
                                                       segmentation: Segmentation.Optimal),
                            Version = 2, Decoded = Ascii("https://example.com/item/123456789012"),
                            Source = "byte 25 + numeric 12 take 266 bits of 2-L's 272 (greedily 289 bits: 3-L)" },
            new EncodeRow { Name = "greedy by name",
                            Call = () => QrCode.Encode("https://example.com/item/123456789012", 'L',
                                                       segmentation: Segmentation.Greedy),
                            Version = 3, Decoded = Ascii("https://example.com/item/123456789012"),
                            Source = "the greedy division takes 289 bits: version 3-L" },
            new EncodeRow { Name = "optimal bytes: Shift JIS in Kanji mode",
                            Call = () => QrCode.EncodeBytes(Hex("93FA967B8CEA82CC8365834C83588367"), 'H',
                                                            segmentation: Segmentation.Optimal),
                            Version = 2, Decoded = Hex("93FA967B8CEA82CC8365834C83588367"),
                            Source = "8 Kanji: 12 + 8 x 13 = 116 bits fit 2-H (128); as bytes 140 bits need 3-H" },
            new EncodeRow { Name = "Micro optimal: capital and digits",
                            Call = () => QrCode.EncodeMicro("A1234567", 'L', segmentation: Segmentation.Optimal),
                            Version = 2, Decoded = Ascii("A1234567"),
                            Source = "alphanumeric 1 + numeric 7 take 39 bits of M2-L's 40 (greedily M3)" },
            new EncodeRow { Name = "Micro: five digits make M1", Call = () => QrCode.EncodeMicro("12345", 'L'), Version = 1,
                            Decoded = Ascii("12345"), Source = "worked example" },
            new EncodeRow { Name = "Micro: tilde taken literally", Call = () => QrCode.EncodeMicro("A~B"), Version = 3,
                            Decoded = Ascii("A~B"), Source = "three bytes need M3" },
            new EncodeRow { Name = "Micro: bytes with escapes",
                            Call = () => QrCode.EncodeMicroBytes(Ascii("~d049~d050"), 'L', 0, escapes: true),
                            Version = 1, Decoded = Ascii("12"), Source = "decimal escapes in the Micro subset" },
            new EncodeRow { Name = "Micro: minimum version M3", Call = () => QrCode.EncodeMicro("1", version: 3),
                            Version = 3, Decoded = Ascii("1"), Source = "the smallest version allowed" },
            new EncodeRow { Name = "HIBC a1b2", Call = () => QrCode.EncodeHibc("a1b2"), Version = 1, Decoded = Ascii("+A1B2M"),
                            Source = "worked example: 65 mod 43 = 22, M" },
            new EncodeRow { Name = "HIBC empty", Call = () => QrCode.EncodeHibc(""), Version = 1, Decoded = Ascii("++"),
                            Source = "worked example" },
            new EncodeRow { Name = "HIBC 36 characters", Call = () => QrCode.EncodeHibc(new string('A', 36), 'L', 2, true),
                            Version = 2, Decoded = Ascii("+" + new string('A', 36) + hibcSet[(41 + 360) % 43]),
                            Source = "the longest HIBC data" },
            new EncodeRow { Name = "wide: Latin-1 text", Call = () => QrCode.EncodeWide("Grüße"), Version = 1,
                            Decoded = Hex("4772FCDF65"), Source = "units 1-255 become one byte (worked example)" },
            new EncodeRow { Name = "wide: beyond Latin-1", Call = () => QrCode.EncodeWide("Grüße€"), Version = 1,
                            Decoded = Hex("EFBBBF4772C3BCC39F65E282AC"), Source = "EF BB BF and UTF-8 (worked example)" },
            new EncodeRow { Name = "wide: a surrogate pair", Call = () => QrCode.EncodeWide("\U0001F600"), Version = 1,
                            Decoded = Hex("EFBBBFF09F9880"), Source = "a pair is one character of four bytes" },
            new EncodeRow { Name = "wide: tilde taken literally", Call = () => QrCode.EncodeWide("~d065"), Version = 1,
                            Decoded = Ascii("~d065"), Source = "literal data" },
            new EncodeRow { Name = "wide: escapes", Call = () => QrCode.EncodeWide("~d065", escapes: true), Version = 1,
                            Decoded = Ascii("A"), Source = "input language" },
        };
        for (int i = 0; i < rows.Length; ++i)
        {
            EncodeRow row = rows[i];
            string file = "encode-" + i + ".png";
            Test("encode: " + row.Name, () => {
                using (Symbol symbol = row.Call())
                {
                    if (row.Version != 0) Equal(row.Version, symbol.Version, "version");
                    Equal(symbol.IsMicro ? 9 + 2 * symbol.Version : 17 + 4 * symbol.Version, symbol.Size, "size");
                    symbol.Save(Path(file), 3);
                    Record("encode: " + row.Name, file, row.Decoded, symbol.IsMicro, symbol);
                }
            });
        }
    }

    static void FontStrings()
    {
        Test("font string: version 1 with CR LF has 136 characters", () => {
            using (Symbol symbol = QrCode.Encode("12345", 'L'))
            {
                string text = symbol.FontString("\r\n");
                Equal(6 * 21 + 5 * 2, text.Length, "length (worked example)");
                string last = text.Split(new[] { "\r\n" }, StringSplitOptions.None).Last();
                Check(last.All(c => c == '8' || c == '0'), "the last line covers one row");
                Equal(text, symbol.FontString("\r\n"), "asked again");
                Equal(text.Replace("\r\n", ""), symbol.FontString(null), "null separator");
                Equal(text.Replace("\r\n", ""), symbol.FontString(""), "empty separator");
                // Every digit is a column of four modules of the indexer's matrix, the top row highest.
                string[] lines = text.Split(new[] { "\r\n" }, StringSplitOptions.None);
                for (int band = 0; band < lines.Length; ++band)
                {
                    for (int column = 0; column < symbol.Size; ++column)
                    {
                        int value = 0;
                        for (int k = 0; k < 4; ++k)
                        {
                            if (4 * band + k < symbol.Size && symbol[4 * band + k, column]) value |= 8 >> k;
                        }
                        Equal("0123456789ABCDEF"[value], lines[band][column], "digit " + band + "," + column);
                    }
                }
            }
        });
        Test("font string: M1 ends with even digits", () => {
            using (Symbol symbol = QrCode.EncodeMicro("12345", 'L'))
            {
                string[] lines = symbol.FontString("|").Split('|');
                Equal(3, lines.Length, "lines");
                Check(lines[2].All(c => "02468ACE".IndexOf(c) >= 0), "11 rows: the last band covers three rows");
            }
        });
    }

    static void Parity()
    {
        var rows = new[] {
            new { Name = "AB", Value = QrCode.Parity("AB"), Expected = 0x41 ^ 0x42 },
            new { Name = "empty", Value = QrCode.Parity(""), Expected = 0 },
            new { Name = "a tilde taken literally", Value = QrCode.Parity("~"), Expected = 0x7E },
            new { Name = "an escape read", Value = QrCode.Parity("~d065", true), Expected = 65 },
            new { Name = "an escape taken literally", Value = QrCode.Parity("~d065"),
                  Expected = 0x7E ^ 0x64 ^ 0x30 ^ 0x36 ^ 0x35 },
            new { Name = "FNC1 counts nothing", Value = QrCode.Parity("~1ABC", escapes: true), Expected = 0x41 ^ 0x42 ^ 0x43 },
            new { Name = "bytes with a zero", Value = QrCode.Parity(new byte[] { 0, 0xFF }), Expected = 0xFF },
            new { Name = "bytes with escapes", Value = QrCode.Parity(Ascii("~d066"), true), Expected = 66 },
        };
        foreach (var row in rows) Test("parity: " + row.Name, () => Equal(row.Expected, row.Value, "parity"));
        Test("parity: a structured-append sequence", () => {
            int parity = QrCode.Parity("ABCDEFGH");
            for (int position = 1; position <= 2; ++position)
            {
                string part = position == 1 ? "ABCD" : "EFGH";
                using (Symbol symbol = QrCode.Encode("~2[" + position + "][2," + parity + "]" + part, escapes: true))
                {
                    string file = "append-" + position + ".png";
                    symbol.Save(Path(file), 4);
                    Record("structured append part " + position, file, Ascii(part), false, null);
                }
            }
        });
        Test("error messages", () => {
            Equal("Input is too long", QrCode.ErrorMessage(unchecked((int)0x80520005)), "0x80520005");
            Equal("Input is too long", QrCode.ErrorMessage(0x00520005), "bit 31 is not tested");
            Equal("Unspecified error.", QrCode.ErrorMessage(12), "a bare number");
            Equal("Output buffer size is too small", QrCode.ErrorMessage(unchecked((int)0x8052000C)), "12");
        });
    }

    // ---- Bad input --------------------------------------------------------------------------------

    static void BadInput()
    {
        const string tooLong = "Input is too long";
        var rows = new[] {
            new BadRow { Name = "data null", Call = () => QrCode.Encode(null), Error = typeof(ArgumentNullException) },
            new BadRow { Name = "bytes null", Call = () => QrCode.EncodeBytes(null), Error = typeof(ArgumentNullException) },
            new BadRow { Name = "wide null", Call = () => QrCode.EncodeWide(null), Error = typeof(ArgumentNullException) },
            new BadRow { Name = "Micro null", Call = () => QrCode.EncodeMicro(null), Error = typeof(ArgumentNullException) },
            new BadRow { Name = "HIBC null", Call = () => QrCode.EncodeHibc(null), Error = typeof(ArgumentNullException) },
            new BadRow { Name = "parity null", Call = () => QrCode.Parity((string)null), Error = typeof(ArgumentNullException) },
            new BadRow { Name = "level X", Call = () => QrCode.Encode("A", 'X'), Error = typeof(ArgumentOutOfRangeException) },
            new BadRow { Name = "version 41", Call = () => QrCode.Encode("A", version: 41),
                         Error = typeof(ArgumentOutOfRangeException) },
            new BadRow { Name = "version -1", Call = () => QrCode.Encode("A", version: -1),
                         Error = typeof(ArgumentOutOfRangeException) },
            new BadRow { Name = "Micro version 5", Call = () => QrCode.EncodeMicro("1", version: 5),
                         Error = typeof(ArgumentOutOfRangeException) },
            new BadRow { Name = "undefined mode", Call = () => QrCode.Encode("1", mode: (EncodeMode)9),
                         Error = typeof(ArgumentOutOfRangeException) },
            new BadRow { Name = "undefined segmentation", Call = () => QrCode.Encode("1", segmentation: (Segmentation)2),
                         Error = typeof(ArgumentOutOfRangeException) },
            new BadRow { Name = "Micro: undefined segmentation",
                         Call = () => QrCode.EncodeMicro("1", segmentation: (Segmentation)(-1)),
                         Error = typeof(ArgumentOutOfRangeException) },
            new BadRow { Name = "a lone surrogate has no UTF-8 form", Call = () => QrCode.Encode("\ud800"),
                         Error = typeof(ArgumentException) },
            new BadRow { Name = "data too long at H", Call = () => QrCode.Encode(new string('A', 5000), 'H'),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "tildes too long (each sent as ~~)", Call = () => QrCode.Encode(new string('~', 3000), 'H'),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "strict version too small", Call = () => QrCode.Encode(new string('A', 100), 'M', 1, true),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "numeric mode with a letter", Call = () => QrCode.Encode("12A", mode: EncodeMode.Numeric),
                         Error = typeof(QrkitException), Code = 0x80520006, Message = "Invalid characters in input data" },
            new BadRow { Name = "optimal: data too long at H",
                         Call = () => QrCode.Encode(new string('A', 5000), 'H', segmentation: Segmentation.Optimal),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "optimal: numeric mode with a letter",
                         Call = () => QrCode.Encode("12A", mode: EncodeMode.Numeric, segmentation: Segmentation.Optimal),
                         Error = typeof(QrkitException), Code = 0x80520006, Message = "Invalid characters in input data" },
            new BadRow { Name = "Micro optimal: 36 digits",
                         Call = () => QrCode.EncodeMicro(new string('1', 36), 'L', segmentation: Segmentation.Optimal),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "escapes: position 0", Call = () => QrCode.Encode("~2[0][3]x", escapes: true),
                         Error = typeof(QrkitException), Code = 0x80520034,
                         Message = "Invalid Sequence in Structural Append block" },
            new BadRow { Name = "escapes: missing second block", Call = () => QrCode.Encode("~2[1]X", escapes: true),
                         Error = typeof(QrkitException), Code = 0x80520032,
                         Message = "Missing field in Structural Append block" },
            new BadRow { Name = "escapes: total 17", Call = () => QrCode.Encode("~2[1][17]", escapes: true),
                         Error = typeof(QrkitException), Code = 0x80520035,
                         Message = "Invalid TotalNum in Structural Append block" },
            new BadRow { Name = "escapes: not Kanji", Call = () => QrCode.Encode("~4[AB]", escapes: true),
                         Error = typeof(QrkitException), Code = 0x80520050, Message = "Invalid Kanji block" },
            new BadRow { Name = "escapes: FNC1 value 256", Call = () => QrCode.Encode("~3[256]", escapes: true),
                         Error = typeof(QrkitException), Code = 0x80520051, Message = "Invalid FNC1 second position block" },
            new BadRow { Name = "escapes: bad overlay", Call = () => QrCode.Encode("~50[abc]", escapes: true),
                         Error = typeof(QrkitException), Code = 0x8052005A, Message = "Invalid center overlay block" },
            new BadRow { Name = "Micro: 36 digits", Call = () => QrCode.EncodeMicro(new string('1', 36), 'L'),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "Micro: a designator", Call = () => QrCode.EncodeMicro("~7000026A", escapes: true),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "HIBC: 37 characters", Call = () => QrCode.EncodeHibc(new string('A', 37)),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "HIBC: 101 characters", Call = () => QrCode.EncodeHibc(new string('A', 101)),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "HIBC: '*'", Call = () => QrCode.EncodeHibc("A*B"),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "HIBC: a zero character", Call = () => QrCode.EncodeHibc("A\0B"),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "HIBC: beyond ASCII", Call = () => QrCode.EncodeHibc("É"),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "wide: too long", Call = () => QrCode.EncodeWide(new string('€', 3000), 'H'),
                         Error = typeof(QrkitException), Code = 0x80520005, Message = tooLong },
            new BadRow { Name = "wide: not Kanji", Call = () => QrCode.EncodeWide("~4[AB]", escapes: true),
                         Error = typeof(QrkitException), Code = 0x80520050, Message = "Invalid Kanji block" },
        };
        foreach (BadRow row in rows)
        {
            Test("bad input: " + row.Name, () => {
                Exception caught = null;
                try
                {
                    row.Call();
                }
                catch (Exception error)
                {
                    caught = error;
                }
                Check(caught != null, "no exception");
                Check(row.Error.IsInstanceOfType(caught), "exception type: expected " + row.Error.Name + ", got " + caught.GetType().Name);
                if (row.Code != 0)
                {
                    var failure = (QrkitException)caught;
                    Equal(unchecked((int)row.Code), failure.Code, "code");
                    Equal(failure.Code, failure.HResult, "HResult");
                    Equal((int)(row.Code & 0xFFFF), failure.ErrorNumber, "error number");
                    Equal(row.Message, failure.Message, "message");
                }
            });
        }
        Test("bad input: a null argument carries E_POINTER, the library's code for it", () => {
            int hresult = 0;
            try
            {
                QrCode.Encode(null);
            }
            catch (ArgumentNullException error)
            {
                hresult = error.HResult;
            }
            Equal(unchecked((int)0x80004003), hresult, "HResult");
        });
        Test("bad input: the same texts taken literally are plain data", () => {
            foreach (string text in new[] { "~2[0][3]x", "~2[1]X", "~4[AB]", "~3[256]", "~50[abc]" })
            {
                using (Symbol symbol = QrCode.Encode(text)) Equal(1, symbol.Version, text);
            }
        });
        Test("input text: the literal and escaped forms", () => {
            SameBytes(Ascii("a~~b~d000c\0"), InputText.Encode(new byte[] { 0x61, 0x7E, 0x62, 0, 0x63 }, false), "literal");
            SameBytes(Ascii("a~b~d000c\0"), InputText.Encode(new byte[] { 0x61, 0x7E, 0x62, 0, 0x63 }, true), "escapes");
            Equal("~~d065~d000", InputText.EncodeWide("~d065\0", false), "wide literal");
            SameBytes(Hex("4772FCDF6500"), InputText.NarrowWide("Grüße"), "narrow Latin-1");
            SameBytes(Hex("EFBBBFEDA08000"), InputText.NarrowWide("\ud800"), "a lone surrogate");
            SameBytes(Hex("C3A9"), InputText.Utf8Bytes("é"), "UTF-8");
        });
    }

    // ---- Painting ---------------------------------------------------------------------------------

    static byte[] WithoutTimeChunk(byte[] png)
    {
        var result = new List<byte>(png.Take(8));
        int position = 8;
        while (position + 8 <= png.Length)
        {
            int length = (png[position] << 24) | (png[position + 1] << 16) | (png[position + 2] << 8) | png[position + 3];
            string type = Encoding.ASCII.GetString(png, position + 4, 4);
            if (type != "tIME") result.AddRange(png.Skip(position).Take(length + 12));
            position += length + 12;
        }
        return result.ToArray();
    }

    class ThrowingStream : MemoryStream
    {
        public override void Write(byte[] buffer, int offset, int count) => throw new IOException("disk full");
    }

    static void Painting()
    {
        const string data = "https://example.com/qrkit";
        var formats = new[] {
            new { Format = ImageFormat.Png, File = "paint.png", ModuleSize = 4, Resolution = 300, Magic = "89504e47" },
            new { Format = ImageFormat.Bmp, File = "paint.bmp", ModuleSize = 4, Resolution = 300, Magic = "424d" },
            new { Format = ImageFormat.Svg, File = "paint.svg", ModuleSize = 100, Resolution = 300, Magic = "3c3f786d6c" },
            new { Format = ImageFormat.Eps, File = "paint.eps", ModuleSize = 100, Resolution = 300, Magic = "252150532d" },
            new { Format = ImageFormat.Emf, File = "paint.emf", ModuleSize = 264, Resolution = 96, Magic = "01000000" },
        };
        using (Symbol symbol = QrCode.Encode(data, 'Q'))
        {
            foreach (var row in formats)
            {
                Test("paint: " + row.Format + " to a file and to a stream", () => {
                    symbol.Save(Path(row.File), row.ModuleSize, row.Resolution);
                    byte[] written = File.ReadAllBytes(Path(row.File));
                    Check(HexOf(written).StartsWith(row.Magic), "the format's signature");
                    byte[] streamed = symbol.ToBytes(row.Format, row.ModuleSize, row.Resolution);
                    if (row.Format == ImageFormat.Png)
                    {
                        SameBytes(WithoutTimeChunk(written), WithoutTimeChunk(streamed), "file and stream");
                    }
                    else
                    {
                        SameBytes(written, streamed, "file and stream");
                    }
                    Equal(row.Format, Symbol.FormatOf(row.File.ToUpperInvariant()), "format of the extension");
                    Record("paint: " + row.Format, row.File, Ascii(data), false, row.Format == ImageFormat.Png ? symbol : null);
                });
            }
            Test("paint: explicit format whatever the extension", () => {
                symbol.Save(Path("label.img"), ImageFormat.Bmp, 2);
                SameBytes(symbol.ToBytes(ImageFormat.Bmp, 2), File.ReadAllBytes(Path("label.img")), "BMP");
            });
            Test("paint: metafile bytes are those of the EMF format", () => {
                SameBytes(symbol.ToBytes(ImageFormat.Emf, 25, 300), symbol.ToEmf(25, 300), "25 at 300 dpi");
                SameBytes(symbol.ToBytes(ImageFormat.Emf, 40, 600, 0x102030), symbol.ToEmf(40, 600, 0x102030), "colours");
                File.WriteAllBytes(Path("metafile.emf"), symbol.ToEmf(264, 96));
                Record("paint: ToEmf", "metafile.emf", Ascii(data), false, null);
            });
            Test("paint: the clipboard holds the metafile", () => {
                symbol.CopyToClipboard(30, 300);
                SameBytes(symbol.ToEmf(30, 300), QrCode.ClipboardMetafile(), "clipboard");
            });
            Test("paint: colours", () => {
                string svg = Encoding.ASCII.GetString(symbol.ToBytes(ImageFormat.Svg, 25, 300, 0x1A237E, 0xFFEEDD));
                Check(svg.Contains("fill:#1a237e;") && svg.Contains("fill:#ffeedd;"), "the colours in the SVG");
            });
            Test("paint: a stream receives the image after its content", () => {
                using (var stream = new MemoryStream())
                {
                    stream.Write(Ascii("HEADER"), 0, 6);
                    symbol.Write(stream, ImageFormat.Svg, 10);
                    SameBytes(Ascii("HEADER").Concat(symbol.ToBytes(ImageFormat.Svg, 10)).ToArray(), stream.ToArray(), "bytes");
                }
            });
            Test("paint: an existing file is replaced", () => {
                File.WriteAllBytes(Path("old.svg"), new byte[1000000]);
                symbol.Save(Path("old.svg"), 10);
                SameBytes(symbol.ToBytes(ImageFormat.Svg, 10), File.ReadAllBytes(Path("old.svg")), "bytes");
            });
            Test("paint: one symbol from several threads", () => {
                byte[] expected = symbol.ToBytes(ImageFormat.Bmp, 2);
                int mismatches = 0;
                var threads = Enumerable.Range(0, 4).Select(_ => new Thread(() => {
                    for (int i = 0; i < 20; ++i)
                    {
                        if (!symbol.ToBytes(ImageFormat.Bmp, 2).SequenceEqual(expected) || symbol.FontString("\n").Length == 0)
                            Interlocked.Increment(ref mismatches);
                    }
                })).ToList();
                threads.ForEach(t => t.Start());
                threads.ForEach(t => t.Join());
                Equal(0, mismatches, "mismatches");
            });
        }
        Test("paint: Micro QR Code", () => {
            using (Symbol symbol = QrCode.EncodeMicro("12345"))
            {
                symbol.Save(Path("micro.png"), 4);
                Record("paint: Micro PNG", "micro.png", Ascii("12345"), true, symbol);
            }
        });
    }

    static void PaintFailures()
    {
        using (Symbol symbol = QrCode.Encode("A"))
        {
            var rows = new[] {
                new BadRow { Name = "a folder that does not exist", Call = () => symbol.Save(Path("missing/x.png"), 4),
                             Error = typeof(QrkitException), Code = 0x8052000A, Message = "File access denied" },
                new BadRow { Name = "a path that is a folder", Call = () => symbol.Save(output + "/", ImageFormat.Png, 4),
                             Error = typeof(QrkitException), Code = 0x8052000A, Message = "File access denied" },
                new BadRow { Name = "an image too large for the format", Call = () => symbol.Save(Path("huge.png"), int.MaxValue),
                             Error = typeof(QrkitException), Code = 0x80520008, Message = "Unspecified error." },
                new BadRow { Name = "a stream that throws",
                             Call = () => symbol.Write(new ThrowingStream(), ImageFormat.Svg, 10),
                             Error = typeof(QrkitException), Code = 0x8052000A, Message = "File access denied" },
                new BadRow { Name = "a read-only stream", Call = () => symbol.Write(new MemoryStream(new byte[4], false),
                                                                                    ImageFormat.Png, 4),
                             Error = typeof(ArgumentException) },
                new BadRow { Name = "a null stream", Call = () => symbol.Write(null, ImageFormat.Png, 4),
                             Error = typeof(ArgumentNullException) },
                new BadRow { Name = "unknown extension", Call = () => symbol.Save(Path("x.gif"), 4), Error = typeof(ArgumentException) },
                new BadRow { Name = "null path", Call = () => symbol.Save(null, 4), Error = typeof(ArgumentNullException) },
                new BadRow { Name = "empty path", Call = () => symbol.Save("", ImageFormat.Png, 4), Error = typeof(ArgumentException) },
                new BadRow { Name = "module size 0", Call = () => symbol.Save(Path("x.png"), 0),
                             Error = typeof(ArgumentOutOfRangeException) },
                new BadRow { Name = "resolution 0", Call = () => symbol.Save(Path("x.svg"), 25, 0),
                             Error = typeof(ArgumentOutOfRangeException) },
                new BadRow { Name = "colour beyond 24 bits", Call = () => symbol.Save(Path("x.png"), 4, 300, 0x1000000),
                             Error = typeof(ArgumentOutOfRangeException) },
                new BadRow { Name = "undefined format", Call = () => symbol.ToBytes((ImageFormat)7, 4),
                             Error = typeof(ArgumentOutOfRangeException) },
                new BadRow { Name = "NUL in the separator", Call = () => symbol.FontString("a\0b"),
                             Error = typeof(ArgumentException) },
                new BadRow { Name = "module outside the symbol", Call = () => { bool _ = symbol[21, 0]; },
                             Error = typeof(ArgumentOutOfRangeException) },
            };
            foreach (BadRow row in rows)
            {
                Test("paint failure: " + row.Name, () => {
                    try
                    {
                        row.Call();
                        throw new Exception("no exception");
                    }
                    catch (Exception error) when (row.Error.IsInstanceOfType(error))
                    {
                        if (row.Code != 0)
                        {
                            var failure = (QrkitException)error;
                            Equal(unchecked((int)row.Code), failure.Code, "code");
                            Equal(row.Message, failure.Message, "message");
                        }
                        if (row.Name == "a stream that throws")
                            Check(error.InnerException is IOException, "the stream's exception is the inner one");
                    }
                    Check(!Directory.Exists(Path("missing")) && !File.Exists(Path("x.png")) && !File.Exists(Path("huge.png")),
                          "nothing is created");
                });
            }
        }
    }

    // ---- The P/Invoke declarations themselves -----------------------------------------------------

    static void NativeDeclarations()
    {
        byte[] digits = Ascii("12345\0");
        Test("native: the variants returning handles", () => {
            using (SymbolHandle qr = NativeMethods.QRCodeEncode2(digits, 0, 0))
            using (SymbolHandle wide = NativeMethods.QRCodeEncode2W("12345", 0, 0))
            using (SymbolHandle micro = NativeMethods.MicroQRCodeEncode2(digits, 0, 0))
            using (SymbolHandle hibc = NativeMethods.HIBC_QRCodeEncode2(Ascii("A1\0"), 0, 0))
            {
                Equal(1, NativeMethods.QRCodeResultGetVersion(qr), "QR version");
                Equal(1, NativeMethods.QRCodeResultGetVersion(wide), "wide version");
                Equal(1, NativeMethods.QRCodeResultGetVersion(micro), "M1");
                Equal(1, NativeMethods.QRCodeResultGetVersion(hibc), "HIBC version");
            }
            using (SymbolHandle failed = NativeMethods.QRCodeEncode2(Ascii("~4[AB]\0"), 0, 0)) Check(failed.IsInvalid, "QR failure");
            using (SymbolHandle failed = NativeMethods.QRCodeEncode2W(new string('€', 3000), 0, 3)) Check(failed.IsInvalid, "wide");
            using (SymbolHandle failed = NativeMethods.MicroQRCodeEncode2(Ascii(new string('1', 36) + "\0"), 0, 0))
                Check(failed.IsInvalid, "Micro failure");
            using (SymbolHandle failed = NativeMethods.HIBC_QRCodeEncode2(Ascii("*\0"), 0, 0)) Check(failed.IsInvalid, "HIBC");
        });
        Test("native: result codes and handles", () => {
            Equal(0, NativeMethods.QRCodeEncode(digits, 0, 0, out SymbolHandle qr), "QRCodeEncode");
            Equal(0, NativeMethods.MicroQRCodeEncode(digits, 0, 0, out SymbolHandle micro), "MicroQRCodeEncode");
            Equal(0, NativeMethods.HIBC_QRCodeEncode(Ascii("A1\0"), 0, 0, out SymbolHandle hibc), "HIBC_QRCodeEncode");
            Equal(unchecked((int)0x80520005), NativeMethods.HIBC_QRCodeEncode(Ascii("*\0"), 0, 0, out SymbolHandle none), "HIBC");
            Check(none.IsInvalid, "no handle on failure");
            // DestroyQRCodeEncodeResult on a pointer taken over from its SafeHandle: one reference, so 0.
            IntPtr raw = qr.DangerousGetHandle();
            qr.SetHandleAsInvalid();
            Equal(0, NativeMethods.DestroyQRCodeEncodeResult(raw), "references left");
            micro.Dispose();
            hibc.Dispose();
            Check(micro.IsClosed && hibc.IsClosed, "closed");
            Equal(0x41 ^ 0x42, NativeMethods.QRCodeGetParity(Ascii("AB\0")), "parity");
            Equal("Invalid Kanji block", Marshal.PtrToStringAnsi(NativeMethods.QRCodeGetErrorMessage(unchecked((int)0x80520050))),
                  "message");
        });
        Test("native: font string sizes", () => {
            using (Symbol symbol = QrCode.Encode("12345", 'L'))
            {
                int size = 0;
                Equal(0, NativeMethods.QRCodeResultGetBarcodeString(symbol.Handle, null, ref size, "\r\n"), "size query");
                Equal(137, size, "needed with CR LF (worked example)");
                size = 0;
                NativeMethods.QRCodeResultGetBarcodeString(symbol.Handle, null, ref size, null);
                Equal(127, size, "needed without separator");
                var buffer = new byte[126];
                size = buffer.Length;
                Equal(12, NativeMethods.QRCodeResultGetBarcodeString(symbol.Handle, buffer, ref size, null), "one byte short");
                Equal(126, size, "size unchanged");
                buffer = new byte[127];
                size = buffer.Length;
                Equal(0, NativeMethods.QRCodeResultGetBarcodeString(symbol.Handle, buffer, ref size, null), "exact size");
                Equal(126, size, "characters written");
                Equal(symbol.FontString(null), Encoding.ASCII.GetString(buffer, 0, 126), "the same text");
                Equal(symbol.FontString("|"), Marshal.PtrToStringAnsi(
                    NativeMethods.QRCodeResultGetBarcodeString2(symbol.Handle, "|")), "kept by the result");
            }
        });
        Test("native: paint exports and metafile functions", () => {
            using (Symbol symbol = QrCode.Encode("A"))
            {
                Equal(0, NativeMethods.PaintQRCodeImageRaster(symbol.Handle, Path("native.bmp"), 2, 0, 0xFFFFFF, 4), "raster");
                Equal(0, NativeMethods.PaintQRCodeImageVector(symbol.Handle, Path("native.svg"), 25, 300, 0, 0xFFFFFF, 1),
                      "vector");
                Equal(8, NativeMethods.PaintQRCodeImageRaster(symbol.Handle, Path("native.x"), 2, 0, 0xFFFFFF, 1),
                      "a vector format to the raster export");
                Equal(8, NativeMethods.PaintQRCodeImageRaster2(symbol.Handle, IntPtr.Zero, 2, 0, 0xFFFFFF, 0), "null stream");
                Equal(8, NativeMethods.PaintQRCodeImageVector2(symbol.Handle, IntPtr.Zero, 2, 300, 0, 0xFFFFFF, 1), "null");
                IntPtr metafile = NativeMethods.PaintQRCodeImageEMF(symbol.Handle, 25, 300, 0, 0xFFFFFF, 12345);
                Check(metafile != IntPtr.Zero, "a metafile");
                uint size = NativeMethods.QRCodeMetafileGetBits(metafile, 0, null);
                var bytes = new byte[size];
                Equal(size, NativeMethods.QRCodeMetafileGetBits(metafile, size, bytes), "bytes copied");
                SameBytes(symbol.ToEmf(25, 300), bytes, "the sixth argument is ignored");
                Equal(1, NativeMethods.QRCodeMetafileDelete(metafile), "deleted");
                Equal(0, NativeMethods.QRCodeMetafileDelete(IntPtr.Zero), "null metafile");
                Equal(0, NativeMethods.PaintQRCodeImageClipboard(symbol.Handle, 25, 300, 0, 0xFFFFFF), "clipboard");
                Equal(size, NativeMethods.QRCodeClipboardGetMetafileBits(0, null), "clipboard size");
            }
            Check(!File.Exists(Path("native.x")), "nothing is created for a refused format");
            Record("native: PaintQRCodeImageRaster", "native.bmp", Ascii("A"), false, null);
            Record("native: PaintQRCodeImageVector", "native.svg", Ascii("A"), false, null);
        });
    }

    static void Lifetime()
    {
        Test("lifetime: disposed symbols refuse calls and keep their modules", () => {
            Symbol symbol = QrCode.Encode("A");
            symbol.Dispose();
            symbol.Dispose();
            Check(symbol.Handle.IsClosed, "the handle is closed");
            Equal(21, symbol.Size, "size");
            Check(symbol[0, 0], "the finder's corner");
            var calls = new Action[] {
                () => symbol.FontString("\n"), () => symbol.Save(Path("disposed.png"), 4), () => symbol.ToBytes(ImageFormat.Png, 4),
                () => symbol.ToEmf(25), () => symbol.CopyToClipboard(25),
            };
            foreach (Action call in calls)
            {
                try
                {
                    call();
                    throw new Exception("no exception");
                }
                catch (ObjectDisposedException)
                {
                }
            }
            Check(!File.Exists(Path("disposed.png")), "nothing written");
            Equal("QR Code version 1, 21 x 21", symbol.ToString(), "ToString");
        });
        Test("lifetime: symbols left to the finalizer", () => {
            for (int i = 0; i < 200; ++i) QrCode.Encode("finalized " + i).FontString("\n");
            GC.Collect();
            GC.WaitForPendingFinalizers();
            using (Symbol symbol = QrCode.EncodeMicro("1")) Equal("Micro QR Code M1, 11 x 11", symbol.ToString(), "ToString");
        });
        Test("exception: constructors", () => {
            var inner = new IOException("x");
            var failure = new QrkitException(QrkitException.ResultCode(10), inner);
            Equal("File access denied", failure.Message, "message");
            Equal(10, failure.ErrorNumber, "number");
            Check(failure.InnerException == inner, "inner");
            Equal("custom", new QrkitException(1, "custom", null).Message, "message given");
        });
    }
}
