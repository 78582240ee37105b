// Bad input at every export, one row per case with its exact result: null pointers, negative and huge
// sizes, unknown formats, unterminated blocks, the plain-run limit, the largest data of version 40 at
// each level and one byte more, and every error number reached through an export. Every row also
// checks that the call left nothing allocated.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "paint_test_support.h"
#include "qrkit/qrkit.h"
#include "support/alloc_failure.h"

namespace {

using painttest::ScratchDir;
using painttest::TestStream;

constexpr std::int64_t kNullPointer = static_cast<std::int32_t>(0x80004003u);
constexpr std::int64_t failure(int n) {
    return static_cast<std::int32_t>(0x80520000u | static_cast<std::uint32_t>(n));
}

// The exports the rows of QR Code and Micro QR Code encoding go through: the greedy ones, and again the
// optimal ones, which give the same result for every row.
using EncodeExport = decltype(&QRCodeEncode);
EncodeExport qrExport = QRCodeEncode;
EncodeExport microExport = MicroQRCodeEncode;

// Runs the rows of a test through the optimal exports while it lives.
class OptimalExports {
  public:
    OptimalExports() {
        qrExport = QRCodeEncodeOptimal;
        microExport = MicroQRCodeEncodeOptimal;
    }
    ~OptimalExports() {
        qrExport = QRCodeEncode;
        microExport = MicroQRCodeEncode;
    }
};

// An encode through QRCodeEncode: the result code; a handle exists exactly on success and is destroyed.
std::int64_t qr(const std::string& data, int versionWord = 0, int level = 0) {
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
    const std::int32_t code = qrExport(data.c_str(), versionWord, level, &handle);
    if (code == 0) {
        EXPECT_NE(handle, nullptr) << "success without a handle";
        DestroyQRCodeEncodeResult(handle);
    } else {
        EXPECT_EQ(handle, nullptr) << "failure leaves the out argument null";
    }
    return code;
}

std::int64_t micro(const std::string& data, int versionWord = 0, int level = 0) {
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
    const std::int32_t code = microExport(data.c_str(), versionWord, level, &handle);
    if (code == 0) {
        EXPECT_NE(handle, nullptr) << "success without a handle";
        DestroyQRCodeEncodeResult(handle);
    } else {
        EXPECT_EQ(handle, nullptr) << "failure leaves the out argument null";
    }
    return code;
}

// A formatting failure of HIBC data leaves the out argument as it was; the failures of the encode
// after it leave null.
std::int64_t hibc(const std::string& data, int versionWord = 0, int level = 0, bool formatting = false) {
    QRCODE_RESULT sentinel = reinterpret_cast<QRCODE_RESULT>(0x1);
    QRCODE_RESULT handle = sentinel;
    const std::int32_t code = HIBC_QRCodeEncode(data.c_str(), versionWord, level, &handle);
    if (code == 0) {
        EXPECT_NE(handle, nullptr) << "success without a handle";
        DestroyQRCodeEncodeResult(handle);
    } else if (formatting) {
        EXPECT_EQ(handle, sentinel) << "a formatting failure wrote the out argument";
    } else {
        EXPECT_EQ(handle, nullptr) << "an encode failure leaves the out argument null";
    }
    return code;
}

// 1 for a handle (destroyed at once), 0 for null.
std::int64_t made(QRCODE_RESULT handle) {
    if (handle == nullptr) return 0;
    DestroyQRCodeEncodeResult(handle);
    return 1;
}

std::string repeat(char c, std::size_t n) {
    return std::string(n, c);
}

struct Row {
    const char* name;
    std::function<std::int64_t()> call;
    std::int64_t expected;
};

// Each row runs twice: the first call fills the caches it needs (base frames, codecs), the second is
// the one whose allocations must all be freed.
void checkRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        EXPECT_EQ(row.call(), row.expected) << row.name;
        const std::int64_t before = qrkit_test::liveAllocations();
        EXPECT_EQ(row.call(), row.expected) << row.name << " (again)";
        EXPECT_EQ(qrkit_test::liveAllocations(), before) << row.name << ": allocations left";
    }
}

std::vector<Row> qrCodeEncodeRows() {
    return {
        // Null pointers.
        {"QRCodeEncode null data",
         [] {
             QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
             const std::int32_t code = qrExport(nullptr, 0, 0, &handle);
             EXPECT_EQ(handle, reinterpret_cast<QRCODE_RESULT>(0x1)) << "nothing written";
             return std::int64_t{code};
         },
         kNullPointer},
        {"QRCodeEncode null out", [] { return std::int64_t{qrExport("1", 0, 0, nullptr)}; }, kNullPointer},
        {"QRCodeEncode2 null data", [] { return made(QRCodeEncode2(nullptr, 0, 0)); }, 0},
        {"QRCodeEncode2W null data", [] { return made(QRCodeEncode2W(nullptr, 0, 0)); }, 0},
        // Version words and levels out of range.
        {"version word -1 (every flag, strict 255 = 40)", [] { return qr("1", -1, 0); }, 0},
        {"version word INT_MIN (bit 31 only, ignored)", [] { return qr("1", INT_MIN, 0); }, 0},
        {"version word 0x8000 alone", [] { return qr("1", 0x8000, 0); }, failure(5)},
        {"version word INT_MAX (forced byte, 255 = 40)", [] { return qr("1", INT_MAX, 0); }, 0},
        {"level INT_MIN is L", [] { return qr("1", 0, INT_MIN); }, 0},
        {"level INT_MAX is H", [] { return qr("1", 0, INT_MAX); }, 0},
        // The largest data of version 40 at each level, and one byte more.
        {"2953 bytes at L", [] { return qr(repeat('a', 2953), 0, 0); }, 0},
        {"2954 bytes at L", [] { return qr(repeat('a', 2954), 0, 0); }, failure(5)},
        {"2331 bytes at M", [] { return qr(repeat('a', 2331), 0, 1); }, 0},
        {"2332 bytes at M", [] { return qr(repeat('a', 2332), 0, 1); }, failure(5)},
        {"1663 bytes at Q", [] { return qr(repeat('a', 1663), 0, 2); }, 0},
        {"1664 bytes at Q", [] { return qr(repeat('a', 1664), 0, 2); }, failure(5)},
        {"1273 bytes at H", [] { return qr(repeat('a', 1273), 0, 3); }, 0},
        {"1274 bytes at H", [] { return qr(repeat('a', 1274), 0, 3); }, failure(5)},
        {"7089 digits at L", [] { return qr(repeat('7', 7089), 0, 0); }, 0},
        {"7090 digits at L", [] { return qr(repeat('7', 7090), 0, 0); }, failure(5)},
        {"3057 digits at H", [] { return qr(repeat('7', 3057), 0, 3); }, 0},
        {"3058 digits at H", [] { return qr(repeat('7', 3058), 0, 3); }, failure(5)},
        {"4296 alphanumerics at L", [] { return qr(repeat('A', 4296), 0, 0); }, 0},
        {"4297 alphanumerics at L", [] { return qr(repeat('A', 4297), 0, 0); }, failure(5)},
        {"1852 alphanumerics at H", [] { return qr(repeat('A', 1852), 0, 3); }, 0},
        {"1853 alphanumerics at H", [] { return qr(repeat('A', 1853), 0, 3); }, failure(5)},
        // The plain run holds 7168 bytes: no version holds them either way.
        {"7168 plain bytes", [] { return qr(repeat('7', 7168)); }, failure(5)},
        {"7169 plain bytes", [] { return qr(repeat('7', 7169)); }, failure(5)},
        {"7169 bytes as escapes",
         [] {
             std::string data;
             for (int k = 0; k < 7169; ++k)
                 data += "~A";
             return qr(data);
         },
         failure(5)},
        // Every error number of the input language.
        {"6: a letter under forced numeric", [] { return qr("12A", 0x0200); }, failure(6)},
        {"6: a byte under forced alphanumeric", [] { return qr("ab", 0x0300); }, failure(6)},
        {"50: structured append without total", [] { return qr("~2[1]X"); }, failure(50)},
        {"52: structured append position 0", [] { return qr("~2[0][3]DATA"); }, failure(52)},
        {"52: structured append position 17", [] { return qr("~2[17][3]DATA"); }, failure(52)},
        {"53: structured append total 0", [] { return qr("~2[1][0]X"); }, failure(53)},
        {"53: structured append total 17", [] { return qr("~2[1][17]X"); }, failure(53)},
        {"80: AB is no Kanji", [] { return qr("~4[AB]"); }, failure(80)},
        {"80: a second byte below 0x40", [] { return qr("~4[~d142#]"); }, failure(80)},
        {"81: FNC1 second position after data", [] { return qr("AB~3[37]"); }, failure(81)},
        {"81: FNC1 application indicator 256", [] { return qr("~3[256]AB"); }, failure(81)},
        {"90: overlay without module data", [] { return qr("~50[3,3]X"); }, failure(90)},
        {"90: overlay of 4097 rows", [] { return qr("~50[4097,1,00]X"); }, failure(90)},
        // Unterminated blocks take the rest of the input.
        {"Kanji block without ']'", [] { return qr("~4[~d147~d095"); }, 0},
        {"Kanji block cut inside an escape", [] { return qr("~4[~d14"); }, failure(80)},
        {"structured append position without ']'", [] { return qr("~2[1"); }, failure(52)},
        {"structured append total without ']'", [] { return qr("~2[1][2"); }, failure(53)},
        {"FNC1 second position without ']'", [] { return qr("~3[37"); }, 0},
        {"overlay text without ']'", [] { return qr("~50[7,7,007c6c446c7c00"); }, 0},
        {"named overlay without ']'", [] { return qr("~50[:swiss7"); }, 0},
        {"a lone '~' at the end", [] { return qr("AB~"); }, 0},
        {"a designator cut short", [] { return qr("~700002"); }, 0},
        // Wide input.
        {"QRCodeEncode2W lone low surrogate",
         [] {
             const char16_t text[] = {0xDC00, 0};
             return made(QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(text), 0, 0));
         },
         1},
        {"QRCodeEncode2W 2954 Latin-1 units at L",
         [] {
             const std::u16string text(2954, u'\u00E9');
             return made(QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(text.c_str()), 0, 0));
         },
         0},
    };
}

TEST(BadInput, QrCodeEncode) {
    checkRows(qrCodeEncodeRows());
}

TEST(BadInput, QrCodeEncodeOptimal) {
    OptimalExports optimal;
    checkRows(qrCodeEncodeRows());
}

std::vector<Row> microQrCodeEncodeRows() {
    return {
        {"null data",
         [] {
             QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
             const std::int32_t code = microExport(nullptr, 0, 0, &handle);
             EXPECT_EQ(handle, reinterpret_cast<QRCODE_RESULT>(0x1)) << "nothing written";
             return std::int64_t{code};
         },
         kNullPointer},
        {"null out", [] { return std::int64_t{microExport("1", 0, 0, nullptr)}; }, kNullPointer},
        {"MicroQRCodeEncode2 null data", [] { return made(MicroQRCodeEncode2(nullptr, 0, 0)); }, 0},
        {"version INT_MIN is automatic", [] { return micro("1", INT_MIN, 0); }, 0},
        {"version INT_MAX is M4", [] { return micro("1", INT_MAX, 0); }, 0},
        {"level INT_MAX lowered", [] { return micro("1", 0, INT_MAX); }, 0},
        {"35 digits fit M4-L", [] { return micro(repeat('7', 35)); }, 0},
        {"36 digits", [] { return micro(repeat('7', 36)); }, failure(5)},
        {"15 bytes fit M4-L", [] { return micro(repeat('a', 15)); }, 0},
        {"16 bytes", [] { return micro(repeat('a', 16)); }, failure(5)},
        {"7168 plain bytes", [] { return micro(repeat('7', 7168)); }, failure(5)},
        {"7169 plain bytes", [] { return micro(repeat('7', 7169)); }, failure(5)},
        {"a designator", [] { return micro("~7000026"); }, failure(5)},
        {"a reserved indicator", [] { return micro("~9"); }, failure(5)},
        {"80: AB is no Kanji", [] { return micro("~4[AB]"); }, failure(80)},
        {"80: a second byte below 0x40", [] { return micro("~4[~d142#]"); }, failure(80)},
        {"Kanji block without ']'", [] { return micro("~4[~d147~d095"); }, 0},
        {"structured append is plain data", [] { return micro("~2[1]"); }, 0},
    };
}

TEST(BadInput, MicroQrCodeEncode) {
    checkRows(microQrCodeEncodeRows());
}

TEST(BadInput, MicroQrCodeEncodeOptimal) {
    OptimalExports optimal;
    checkRows(microQrCodeEncodeRows());
}

TEST(BadInput, HibcAndParity) {
    checkRows({
        {"HIBC null data", [] { return std::int64_t{HIBC_QRCodeEncode(nullptr, 0, 0, nullptr)}; },
         kNullPointer},
        {"HIBC null out", [] { return std::int64_t{HIBC_QRCodeEncode("A1", 0, 0, nullptr)}; }, kNullPointer},
        {"HIBC_QRCodeEncode2 null data", [] { return made(HIBC_QRCodeEncode2(nullptr, 0, 0)); }, 0},
        {"36 characters", [] { return hibc(repeat('A', 36)); }, 0},
        {"37 characters", [] { return hibc(repeat('A', 37), 0, 0, true); }, failure(5)},
        {"101 bytes", [] { return hibc(repeat('A', 101), 0, 0, true); }, failure(5)},
        {"a character outside the set", [] { return hibc("A~B", 0, 0, true); }, failure(5)},
        {"6: forced numeric", [] { return hibc("12", 0x0200); }, failure(6)},
        {"lower case is upper-cased", [] { return hibc("abc"); }, 0},
        {"empty data", [] { return hibc(""); }, 0},
        {"strict version 0", [] { return hibc("A1", 0x8000); }, failure(5)},
        {"parity of null", [] { return std::int64_t{QRCodeGetParity(nullptr)}; }, 0},
        {"parity of 7168 plain bytes",
         [] { return std::int64_t{QRCodeGetParity((repeat('a', 7167) + "b").c_str())}; }, 'a' ^ 'b'},
        {"parity of 7169 plain bytes: nothing parsed",
         [] { return std::int64_t{QRCodeGetParity((repeat('a', 7168) + "b").c_str())}; }, 0},
        {"parity up to an invalid Kanji block", [] { return std::int64_t{QRCodeGetParity("AB~4[AB]CD")}; },
         'A' ^ 'B'},
    });
}

TEST(BadInput, ResultsAndFontStrings) {
    QRCODE_RESULT handle = QRCodeEncode2("12345", 0, 0);
    ASSERT_NE(handle, nullptr);
    checkRows({
        {"version of null", [] { return std::int64_t{QRCodeResultGetVersion(nullptr)}; }, 0},
        {"destroy null", [] { return std::int64_t{DestroyQRCodeEncodeResult(nullptr)}; }, 0},
        {"8: font string of null",
         [] {
             char buffer[8];
             int size = sizeof buffer;
             return std::int64_t{QRCodeResultGetBarcodeString(nullptr, buffer, &size, "")};
         },
         8},
        {"8: font string without size",
         [handle] {
             char buffer[8];
             return std::int64_t{QRCodeResultGetBarcodeString(handle, buffer, nullptr, "")};
         },
         8},
        {"size query",
         [handle] {
             int size = -5;
             EXPECT_EQ(QRCodeResultGetBarcodeString(handle, nullptr, &size, "\r\n"), 0);
             return std::int64_t{size};
         },
         137},
        {"12: buffer one byte short",
         [handle] {
             std::vector<char> buffer(136, '#');
             int size = 136;
             const int code = QRCodeResultGetBarcodeString(handle, buffer.data(), &size, "\r\n");
             EXPECT_EQ(size, 136) << "size unchanged";
             EXPECT_EQ(buffer[0], '#') << "nothing written";
             return std::int64_t{code};
         },
         12},
        {"12: negative buffer size",
         [handle] {
             char buffer[8];
             int size = INT_MIN;
             return std::int64_t{QRCodeResultGetBarcodeString(handle, buffer, &size, "")};
         },
         12},
        {"owned font string of null",
         [] { return std::int64_t{QRCodeResultGetBarcodeString2(nullptr, "") != nullptr}; }, 0},
    });
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

TEST(BadInput, Messages) {
    struct Message {
        std::uint32_t code;
        const char* text;
    } rows[] = {
        {0x80520009u, "Encoding problem. Try run again"},  // never produced
        {0x8052001Eu, "Invalid length string"},            // never produced
        {0x8052000Bu, "Out of memory"},
        {0x80520008u, "Unspecified error."},
        {8, "Unspecified error."},
        {0x80004003u, "Unspecified error."},
    };
    for (const Message& row : rows)
        EXPECT_STREQ(QRCodeGetErrorMessage(static_cast<std::int32_t>(row.code)), row.text)
            << std::hex << row.code;
}

TEST(BadInput, PaintExports) {
    QRCODE_RESULT handle = QRCodeEncode2("PAINT", 1, 0);
    ASSERT_NE(handle, nullptr);
    ScratchDir dir("bad-input");
    const std::string file = dir.file("image");
    const std::string missing = dir.file("missing/image");
    auto raster = [handle, file](int moduleSize, int format) {
        std::filesystem::remove(file);
        const std::int32_t code =
            PaintQRCodeImageRaster(handle, file.c_str(), moduleSize, 0, 0xFFFFFF, format);
        EXPECT_EQ(std::filesystem::exists(file), code == 0) << "a file exactly on success";
        return std::int64_t{code};
    };
    auto vector = [handle, file](int moduleSize, int resolution, int format) {
        std::filesystem::remove(file);
        const std::int32_t code =
            PaintQRCodeImageVector(handle, file.c_str(), moduleSize, resolution, 0, 0xFFFFFF, format);
        EXPECT_EQ(std::filesystem::exists(file), code == 0) << "a file exactly on success";
        return std::int64_t{code};
    };
    auto rasterStream = [handle](int moduleSize, int format, int failFrom = 0) {
        TestStream stream;
        stream.failFrom = failFrom;
        const std::int32_t code = PaintQRCodeImageRaster2(handle, &stream, moduleSize, 0, 0xFFFFFF, format);
        if (code == 8) {
            EXPECT_EQ(stream.writeCalls, 0) << "bytes written for refused arguments";
        }
        EXPECT_EQ(stream.otherCalls, 0);
        return std::int64_t{code};
    };
    auto vectorStream = [handle](int moduleSize, int resolution, int format, int failFrom = 0) {
        TestStream stream;
        stream.failFrom = failFrom;
        const std::int32_t code =
            PaintQRCodeImageVector2(handle, &stream, moduleSize, resolution, 0, 0xFFFFFF, format);
        if (code == 8) {
            EXPECT_EQ(stream.writeCalls, 0) << "bytes written for refused arguments";
        }
        EXPECT_EQ(stream.otherCalls, 0);
        return std::int64_t{code};
    };
    auto metafile = [handle](int moduleSize, int resolution) {
        qrkit_metafile made = PaintQRCodeImageEMF(handle, moduleSize, resolution, 0, 0xFFFFFF, -7);
        if (made == nullptr) return std::int64_t{0};
        QRCodeMetafileDelete(made);
        return std::int64_t{1};
    };
    checkRows({
        // Null handle, path and stream.
        {"raster file, null handle",
         [file] { return std::int64_t{PaintQRCodeImageRaster(nullptr, file.c_str(), 4, 0, 0, 0)}; }, 8},
        {"raster file, null path",
         [handle] { return std::int64_t{PaintQRCodeImageRaster(handle, nullptr, 4, 0, 0, 0)}; }, 8},
        {"vector file, null handle",
         [file] { return std::int64_t{PaintQRCodeImageVector(nullptr, file.c_str(), 25, 300, 0, 0, 1)}; }, 8},
        {"vector file, null path",
         [handle] { return std::int64_t{PaintQRCodeImageVector(handle, nullptr, 25, 300, 0, 0, 1)}; }, 8},
        {"raster stream, null handle",
         [] {
             TestStream stream;
             return std::int64_t{PaintQRCodeImageRaster2(nullptr, &stream, 4, 0, 0, 0)};
         },
         8},
        {"raster stream, null stream",
         [handle] { return std::int64_t{PaintQRCodeImageRaster2(handle, nullptr, 4, 0, 0, 0)}; }, 8},
        {"vector stream, null stream",
         [handle] { return std::int64_t{PaintQRCodeImageVector2(handle, nullptr, 25, 300, 0, 0, 1)}; }, 8},
        {"metafile, null handle",
         [] { return std::int64_t{PaintQRCodeImageEMF(nullptr, 25, 300, 0, 0, 0) != nullptr}; }, 0},
        {"clipboard, null handle",
         [] { return std::int64_t{PaintQRCodeImageClipboard(nullptr, 25, 300, 0, 0)}; }, 8},
        // Sizes below 1 and beyond what fits.
        {"raster module size 0", [&] { return raster(0, 0); }, 8},
        {"raster module size -1", [&] { return rasterStream(-1, 4); }, 8},
        {"raster module size INT_MIN", [&] { return rasterStream(INT_MIN, 0); }, 8},
        {"raster module size INT_MAX (PNG)", [&] { return raster(INT_MAX, 0); }, 8},
        {"raster module size INT_MAX (BMP)", [&] { return rasterStream(INT_MAX, 4); }, 8},
        {"raster extent just beyond 32 bits", [&] { return rasterStream(INT_MAX / 21 + 1, 4); }, 8},
        {"vector module size 0", [&] { return vector(0, 300, 1); }, 8},
        {"vector module size INT_MIN", [&] { return vectorStream(INT_MIN, 300, 3); }, 8},
        {"vector resolution 0", [&] { return vectorStream(25, 0, 1); }, 8},
        {"vector resolution -300", [&] { return vectorStream(25, -300, 2); }, 8},
        {"vector module size INT_MAX", [&] { return vectorStream(INT_MAX, 300, 1); }, 8},
        {"vector resolution INT_MAX (the size snaps to 25)", [&] { return vectorStream(25, INT_MAX, 3); }, 0},
        {"metafile module size 0", [&] { return metafile(0, 300); }, 0},
        {"metafile resolution -1", [&] { return metafile(25, -1); }, 0},
        {"metafile module size INT_MAX", [&] { return metafile(INT_MAX, 300); }, 0},
        {"metafile, the last argument ignored", [&] { return metafile(25, 300); }, 1},
        {"clipboard module size -1",
         [handle] { return std::int64_t{PaintQRCodeImageClipboard(handle, -1, 300, 0, 0)}; }, 8},
        {"clipboard resolution 0",
         [handle] { return std::int64_t{PaintQRCodeImageClipboard(handle, 25, 0, 0, 0)}; }, 8},
        // Unknown formats.
        {"raster format 1 (SVG)", [&] { return raster(4, 1); }, 8},
        {"raster format 2 (EMF)", [&] { return rasterStream(4, 2); }, 8},
        {"raster format 5", [&] { return rasterStream(4, 5); }, 8},
        {"raster format -1", [&] { return raster(4, -1); }, 8},
        {"raster format INT_MIN", [&] { return rasterStream(4, INT_MIN); }, 8},
        {"vector format 0 (PNG)", [&] { return vector(25, 300, 0); }, 8},
        {"vector format 4 (BMP)", [&] { return vectorStream(25, 300, 4); }, 8},
        {"vector format 5", [&] { return vectorStream(25, 300, 5); }, 8},
        {"vector format INT_MAX", [&] { return vector(25, 300, INT_MAX); }, 8},
        // 10: the target cannot be opened or refuses bytes.
        {"10: raster file in a missing directory",
         [handle, missing] {
             return std::int64_t{PaintQRCodeImageRaster(handle, missing.c_str(), 4, 0, 0xFFFFFF, 0)};
         },
         10},
        {"10: vector file in a missing directory",
         [handle, missing] {
             return std::int64_t{PaintQRCodeImageVector(handle, missing.c_str(), 25, 300, 0, 0xFFFFFF, 3)};
         },
         10},
        {"10: raster stream refusing the first write", [&] { return rasterStream(4, 0, 1); }, 10},
        {"10: vector stream refusing the second write", [&] { return vectorStream(25, 300, 1, 2); }, 10},
        // And the calls that succeed next to them.
        {"PNG file", [&] { return raster(4, 0); }, 0},
        {"EPS stream", [&] { return vectorStream(25, 300, 3); }, 0},
    });
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

// A result of any shape: rows x columns, every third module dark.
class StripResult final : public kelvane2::IQrcodeResult, public kelvane2::I2DBitPattern {
  public:
    StripResult(int rows, int columns) : rows_(rows), columns_(columns) {}
    std::int32_t QueryInterface(const kelvane2::InterfaceId& id, void** out) override {
        if (id == kelvane2::IID_I2DBitPattern) {
            *out = static_cast<kelvane2::I2DBitPattern*>(this);
        } else if (id == kelvane2::IID_IQrcodeResult) {
            *out = static_cast<kelvane2::IQrcodeResult*>(this);
        } else {
            return kelvane2::kNoInterface;
        }
        ++references;
        return kelvane2::kStatusOk;
    }
    std::uint32_t AddRef() override { return ++references; }
    std::uint32_t Release() override { return --references; }
    int getRows() override { return rows_; }
    int getColumns() override { return columns_; }
    int getModule(int row, int column) override { return (row + column) % 3 == 0 ? 1 : 0; }
    int getVersion() override { return 1; }
    int getEcLevel() override { return 0; }

    std::uint32_t references = 1;

  private:
    int rows_;
    int columns_;
};

// The size limits: 65,535 pixels a side for raster images, 10 m a side for vector pages (25 hundredths
// of a millimetre stay 25 at 300 dpi, so 40,000 modules make exactly 10 m). A picture beyond them is
// refused with 8 before a file is created or a byte written; one at the limit is painted.
TEST(BadInput, ImageSizeLimits) {
    QRCODE_RESULT version1 = QRCodeEncode2("LIMITS", 1, 0);
    ASSERT_NE(version1, nullptr);
    StripResult wide(1, 65535);
    StripResult wider(1, 65536);
    StripResult high(65536, 1);
    StripResult page(1, 40000);
    StripResult longer(1, 40001);
    StripResult taller(40001, 1);
    ScratchDir dir("size-limits");
    const std::string file = dir.file("image");
    auto raster = [file](QRCODE_RESULT handle, int moduleSize, int format) {
        std::filesystem::remove(file);
        const std::int32_t code =
            PaintQRCodeImageRaster(handle, file.c_str(), moduleSize, 0, 0xFFFFFF, format);
        EXPECT_EQ(std::filesystem::exists(file), code == 0) << "a file exactly on success";
        return std::int64_t{code};
    };
    auto vector = [file](QRCODE_RESULT handle, int format) {
        std::filesystem::remove(file);
        const std::int32_t code = PaintQRCodeImageVector(handle, file.c_str(), 25, 300, 0, 0xFFFFFF, format);
        EXPECT_EQ(std::filesystem::exists(file), code == 0) << "a file exactly on success";
        return std::int64_t{code};
    };
    auto rasterStream = [](QRCODE_RESULT handle, int moduleSize, int format) {
        TestStream stream;
        const std::int32_t code = PaintQRCodeImageRaster2(handle, &stream, moduleSize, 0, 0xFFFFFF, format);
        EXPECT_EQ(stream.writeCalls == 0, code == 8) << "bytes exactly when painted";
        return std::int64_t{code};
    };
    auto vectorStream = [](QRCODE_RESULT handle, int format) {
        TestStream stream;
        const std::int32_t code = PaintQRCodeImageVector2(handle, &stream, 25, 300, 0, 0xFFFFFF, format);
        EXPECT_EQ(stream.writeCalls == 0, code == 8) << "bytes exactly when painted";
        return std::int64_t{code};
    };
    auto metafile = [](QRCODE_RESULT handle) {
        qrkit_metafile made = PaintQRCodeImageEMF(handle, 25, 300, 0, 0xFFFFFF, 0);
        if (made == nullptr) return std::int64_t{0};
        QRCodeMetafileDelete(made);
        return std::int64_t{1};
    };
    checkRows({
        // Raster: a version 1 symbol is 21 modules wide.
        {"8: PNG file at module size 100,000", [&] { return raster(version1, 100000, 0); }, 8},
        {"8: BMP file at module size 3121 (65,541 pixels)", [&] { return raster(version1, 3121, 4); }, 8},
        {"8: PNG stream at module size 3121", [&] { return rasterStream(version1, 3121, 0); }, 8},
        {"PNG file 65,535 pixels wide", [&] { return raster(&wide, 1, 0); }, 0},
        {"BMP stream 65,535 pixels wide", [&] { return rasterStream(&wide, 1, 4); }, 0},
        {"8: PNG file 65,536 pixels wide", [&] { return raster(&wider, 1, 0); }, 8},
        {"8: BMP stream 65,536 pixels high", [&] { return rasterStream(&high, 1, 4); }, 8},
        {"8: PNG stream 65,535 columns at 2 pixels", [&] { return rasterStream(&wide, 2, 0); }, 8},
        // Vector pages and metafiles.
        {"SVG file exactly 10 m wide", [&] { return vector(&page, 1); }, 0},
        {"EPS stream exactly 10 m wide", [&] { return vectorStream(&page, 3); }, 0},
        {"8: SVG file 10 m and 0.25 mm wide", [&] { return vector(&longer, 1); }, 8},
        {"8: EMF stream 10 m and 0.25 mm wide", [&] { return vectorStream(&longer, 2); }, 8},
        {"8: EPS file 10 m and 0.25 mm high", [&] { return vector(&taller, 3); }, 8},
        {"metafile exactly 10 m wide", [&] { return metafile(&page); }, 1},
        {"null metafile 10 m and 0.25 mm wide", [&] { return metafile(&longer); }, 0},
        {"8: clipboard 10 m and 0.25 mm high",
         [&] { return std::int64_t{PaintQRCodeImageClipboard(&taller, 25, 300, 0, 0xFFFFFF)}; }, 8},
    });
    for (const StripResult* result : {&wide, &wider, &high, &page, &longer, &taller})
        EXPECT_EQ(result->references, 1u) << "every query is released";
    EXPECT_EQ(DestroyQRCodeEncodeResult(version1), 0);
}

// 11 through the exports: memory exhaustion on the first allocation of the call.
TEST(BadInput, OutOfMemory) {
    QRCODE_RESULT handle = QRCodeEncode2("MEMORY", 0, 0);
    ASSERT_NE(handle, nullptr);
    ScratchDir dir("out-of-memory");
    const std::string file = dir.file("image");
    auto exhausted = [](const std::function<std::int64_t()>& call) {
        qrkit_test::failAllocationAfter(0);
        const std::int64_t result = call();
        const bool happened = qrkit_test::allocationFailureHappened();
        qrkit_test::disarmAllocationFailure();
        EXPECT_TRUE(happened) << "the call allocated nothing";
        return result;
    };
    checkRows({
        {"11: QRCodeEncode", [&] { return exhausted([] { return qr("MEMORY"); }); }, failure(11)},
        {"11: MicroQRCodeEncode", [&] { return exhausted([] { return micro("1"); }); }, failure(11)},
        {"11: HIBC_QRCodeEncode", [&] { return exhausted([] { return hibc("A1"); }); }, failure(11)},
        {"null: QRCodeEncode2W",
         [&] {
             return exhausted(
                 [] { return made(QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(u"\u20AC"), 0, 0)); });
         },
         0},
        {"11: raster file (the file target's own memory)",
         [&] {
             return exhausted([handle, &file] {
                 return std::int64_t{PaintQRCodeImageRaster(handle, file.c_str(), 4, 0, 0xFFFFFF, 0)};
             });
         },
         11},
        {"11: vector file",
         [&] {
             return exhausted([handle, &file] {
                 return std::int64_t{PaintQRCodeImageVector(handle, file.c_str(), 25, 300, 0, 0xFFFFFF, 3)};
             });
         },
         11},
        {"11: raster stream",
         [&] {
             return exhausted([handle] {
                 TestStream stream;
                 return std::int64_t{PaintQRCodeImageRaster2(handle, &stream, 4, 0, 0xFFFFFF, 0)};
             });
         },
         11},
        {"11: vector stream",
         [&] {
             return exhausted([handle] {
                 TestStream stream;
                 return std::int64_t{PaintQRCodeImageVector2(handle, &stream, 25, 300, 0, 0xFFFFFF, 1)};
             });
         },
         11},
        {"11: clipboard",
         [&] {
             return exhausted(
                 [handle] { return std::int64_t{PaintQRCodeImageClipboard(handle, 25, 300, 0, 0xFFFFFF)}; });
         },
         11},
    });
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

// The one leak the library defines: a result ended by a plain Release instead of
// DestroyQRCodeEncodeResult keeps the font string it holds. The string stays readable after the object
// is gone; the test frees it itself, as only the caller can.
TEST(DefinedLeak, ReleaseKeepsTheFontString) {
    DestroyQRCodeEncodeResult(QRCodeEncode2("LEAK", 0, 0));  // the caches filled first
    std::string copy;
    copy.reserve(256);
    const std::int64_t before = qrkit_test::liveAllocations();
    QRCODE_RESULT handle = QRCodeEncode2("LEAK", 0, 0);
    ASSERT_NE(handle, nullptr);
    const char* text = QRCodeResultGetBarcodeString2(handle, "\r\n");
    ASSERT_NE(text, nullptr);
    copy.assign(text);
    const std::uint32_t references = handle->Release();
    const std::int64_t left = qrkit_test::liveAllocations();
    EXPECT_EQ(references, 0u) << "the object is destroyed";
    EXPECT_EQ(left, before + 1) << "only the font string is left";
    EXPECT_EQ(std::string(text), copy) << "the string outlives its result";
    delete[] text;
    EXPECT_EQ(qrkit_test::liveAllocations(), left - 1);
}

}  // namespace
