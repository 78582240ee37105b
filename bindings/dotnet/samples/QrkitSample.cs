// The qrkit .NET kit in one program: encodes text, prints the symbol's version and font string, and
// writes image files.
//
//   QrkitSample.exe TEXT [FOLDER]
//
// Build and run with Mono (Linux) or the .NET Framework compiler (Windows), qrkit.dll or libqrkit.so
// beside the program or on the library path:
//   mcs -target:library -out:Qrkit.dll ../Qrkit/*.cs
//   mcs -r:Qrkit.dll QrkitSample.cs
//   mono QrkitSample.exe "https://example.com" out
using System;
using System.IO;
using Qrkit;

static class QrkitSample
{
    static int Main(string[] args)
    {
        string text = args.Length > 0 ? args[0] : "https://example.com";
        string folder = args.Length > 1 ? args[1] : ".";
        try
        {
            using (Symbol symbol = QrCode.Encode(text, 'M'))
            {
                Console.WriteLine("version {0}, {1} x {1} modules", symbol.Version, symbol.Size);
                Console.WriteLine(symbol.FontString("\r\n"));  // set it in a QR barcode font, line spacing 0
                Directory.CreateDirectory(folder);
                symbol.Save(Path.Combine(folder, "symbol.png"), 8);        // 8 pixels a module
                symbol.Save(Path.Combine(folder, "symbol.svg"), 50);       // 0.5 mm a module
                File.WriteAllBytes(Path.Combine(folder, "symbol.emf"), symbol.ToEmf(50, 600));
                Console.WriteLine("top left module dark: {0}", symbol[0, 0]);
            }
            using (Symbol micro = QrCode.EncodeMicro("12345"))
            {
                Console.WriteLine("Micro QR Code M{0}, {1} x {1}", micro.Version, micro.Size);
            }
            // The input language, when asked for: a Swiss-cross overlay in the centre.
            using (Symbol logo = QrCode.Encode("~50[:swiss7]" + text, 'H', escapes: true))
            {
                logo.Save(Path.Combine(folder, "logo.png"), 8);
            }
            return 0;
        }
        catch (QrkitException error)
        {
            Console.Error.WriteLine("qrkit: {0} (0x{1:X8})", error.Message, error.Code);
            return 1;
        }
    }
}
