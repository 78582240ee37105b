namespace Qrkit
{
    /// <summary>Image formats, with the library's format codes.</summary>
    public enum ImageFormat
    {
        /// <summary>PNG, moduleSize in pixels.</summary>
        Png = 0,
        /// <summary>SVG, moduleSize in hundredths of a millimetre.</summary>
        Svg = 1,
        /// <summary>Enhanced metafile (.emf), moduleSize in hundredths of a millimetre.</summary>
        Emf = 2,
        /// <summary>Encapsulated PostScript, moduleSize in hundredths of a millimetre.</summary>
        Eps = 3,
        /// <summary>BMP, moduleSize in pixels.</summary>
        Bmp = 4,
    }

    /// <summary>How plain data are divided into modes (bits 8-10 of the version word).</summary>
    public enum EncodeMode
    {
        /// <summary>The shortest division into numeric, alphanumeric and byte segments.</summary>
        Auto = 0,
        /// <summary>Each run as one segment: numeric if all digits, else alphanumeric if it can be, else byte.</summary>
        Narrowest = 1,
        /// <summary>Numeric only; other characters fail with 0x80520006.</summary>
        Numeric = 2,
        /// <summary>Alphanumeric only; other characters fail with 0x80520006.</summary>
        Alphanumeric = 3,
        /// <summary>Byte mode only.</summary>
        Byte = 4,
    }

    /// <summary>How EncodeMode.Auto divides plain data into modes.</summary>
    public enum Segmentation
    {
        /// <summary>The library's fixed look-ahead rule (QRCodeEncode, MicroQRCodeEncode).</summary>
        Greedy = 0,
        /// <summary>The fewest bits, Kanji mode included for Shift JIS text, on the smallest version that
        /// holds them; a reader gets the same data (QRCodeEncodeOptimal, MicroQRCodeEncodeOptimal).</summary>
        Optimal = 1,
    }
}
