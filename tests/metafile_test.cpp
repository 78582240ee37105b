#include "imaging/metafile.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "paint_test_support.h"
#include "platform/clipboard.h"
#include "platform/metafile.h"

namespace {

using kelvane2::imaging::createSymbolMetafile;
using kelvane2::imaging::PaintStatus;
using kelvane2::imaging::VectorPaintOptions;
using kelvane2::imaging::writeMetafileBits;
using painttest::EmfRecord;
using painttest::i32At;
using painttest::Symbol;
using painttest::u32At;
namespace platform = kelvane2::platform;

constexpr std::uint32_t EMR_HEADER = 1, EMR_EOF = 14, EMR_SETMAPMODE = 17, EMR_SELECTOBJECT = 37,
                        EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40, EMR_BITBLT = 76;
constexpr std::int64_t kPatCopy = 0x00F00021;
constexpr std::int64_t kWhiteBrush = 0x80000000;

std::vector<std::uint8_t> metafileBytes(platform::HENHMETAFILE metafile) {
    const platform::UINT size = platform::GetEnhMetaFileBits(metafile, 0, nullptr);
    std::vector<std::uint8_t> bytes(size);
    EXPECT_EQ(platform::GetEnhMetaFileBits(metafile, size, bytes.data()), size);
    return bytes;
}

// The byte form of the symbol's metafile, made by createSymbolMetafile.
std::vector<std::uint8_t> symbolBytes(const Symbol& symbol, const VectorPaintOptions& options) {
    platform::HENHMETAFILE metafile = createSymbolMetafile(options, symbol.pattern());
    if (metafile == nullptr) return {};
    std::vector<std::uint8_t> bytes = metafileBytes(metafile);
    platform::DeleteEnhMetaFile(metafile);
    return bytes;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// The pattern fills of a metafile, as (x, y, cx, cy) in logical units.
std::vector<std::vector<std::int32_t>> fills(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::vector<std::int32_t>> out;
    for (const EmfRecord& r : painttest::emfRecords(bytes)) {
        if (r.type != EMR_BITBLT) continue;
        out.push_back({i32At(bytes, r.offset + 24), i32At(bytes, r.offset + 28), i32At(bytes, r.offset + 32),
                       i32At(bytes, r.offset + 36)});
    }
    return out;
}

const std::vector<std::string> kSmall = {"X.X", ".X.", "..X"};

TEST(MetafileTest, RecordsOfASmallSymbolInOrder) {
    struct Row {
        const char* what;
        std::uint32_t type;
        std::vector<std::int64_t> words;  // the record's first words after type and size
    };
    // Size 25 at 300 dpi: three dots, 25 hundredths; blue on white. The screen maps 0.01 mm to
    // 1920 / 50800 pixels across and 1440 / 38100 down, so module edges 25, 50, 75 fall on pixels 1, 2, 3.
    const std::vector<Row> expected = {
        {"map mode MM_HIMETRIC", EMR_SETMAPMODE, {3}},
        {"back brush in slot 1, solid, COLORREF", EMR_CREATEBRUSHINDIRECT, {1, 0, 0xFFFFFF, 0}},
        {"select back brush", EMR_SELECTOBJECT, {1}},
        {"background (0, 0, 75, -75)", EMR_BITBLT, {0, 0, 2, 2, 0, 0, 75, -75, kPatCopy}},
        {"restore stock brush", EMR_SELECTOBJECT, {kWhiteBrush}},
        {"delete back brush", EMR_DELETEOBJECT, {1}},
        {"fore brush reuses slot 1, blue as 0xFF0000", EMR_CREATEBRUSHINDIRECT, {1, 0, 0xFF0000, 0}},
        {"select fore brush", EMR_SELECTOBJECT, {1}},
        {"row 0 column 0", EMR_BITBLT, {0, 0, 0, 0, 0, 0, 25, -25, kPatCopy}},
        {"restore stock brush", EMR_SELECTOBJECT, {kWhiteBrush}},
        {"select fore brush", EMR_SELECTOBJECT, {1}},
        {"row 0 column 2", EMR_BITBLT, {2, 0, 2, 0, 50, 0, 25, -25, kPatCopy}},
        {"restore stock brush", EMR_SELECTOBJECT, {kWhiteBrush}},
        {"select fore brush", EMR_SELECTOBJECT, {1}},
        {"row 1 column 1", EMR_BITBLT, {1, 1, 1, 1, 25, -25, 25, -25, kPatCopy}},
        {"restore stock brush", EMR_SELECTOBJECT, {kWhiteBrush}},
        {"select fore brush", EMR_SELECTOBJECT, {1}},
        {"row 2 column 2", EMR_BITBLT, {2, 2, 2, 2, 50, -50, 25, -25, kPatCopy}},
        {"restore stock brush", EMR_SELECTOBJECT, {kWhiteBrush}},
        {"delete fore brush", EMR_DELETEOBJECT, {1}},
        {"end: no palette, offset 16, size 20", EMR_EOF, {0, 16, 20}},
    };
    Symbol symbol(kSmall);
    const std::vector<std::uint8_t> bytes = symbolBytes(symbol, {25, 25, 300, 0x0000FF, 0xFFFFFF});
    const std::vector<EmfRecord> records = painttest::emfRecords(bytes);
    ASSERT_EQ(records.size(), expected.size() + 1);
    EXPECT_EQ(records[0].type, EMR_HEADER);
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const Row& row = expected[k];
        const EmfRecord& record = records[k + 1];
        SCOPED_TRACE(std::to_string(k + 1) + ": " + row.what);
        ASSERT_EQ(record.type, row.type);
        ASSERT_GE(record.size, 8 + 4 * row.words.size());
        for (std::size_t w = 0; w < row.words.size(); ++w) {
            EXPECT_EQ(u32At(bytes, record.offset + 8 + 4 * w), static_cast<std::uint32_t>(row.words[w]))
                << "word " << w;
        }
        if (row.type == EMR_BITBLT) {
            // No source: origin 0, identity transform, no colour, usage or bitmap.
            ASSERT_EQ(record.size, 100u);
            const std::uint32_t one = 0x3F800000;  // 1.0f
            const std::vector<std::uint32_t> rest = {0, 0, one, 0, 0, one, 0, 0, 0, 0, 0, 0, 0, 0};
            for (std::size_t w = 0; w < rest.size(); ++w) {
                EXPECT_EQ(u32At(bytes, record.offset + 44 + 4 * w), rest[w]) << "source word " << w;
            }
        }
    }
}

TEST(MetafileTest, HeaderFields) {
    Symbol symbol(kSmall);
    const std::vector<std::uint8_t> bytes = symbolBytes(symbol, {25, 25, 300, 0, 0xFFFFFF});
    ASSERT_GE(bytes.size(), 152u);
    struct Row {
        const char* what;
        std::size_t offset;
        std::vector<std::uint32_t> words;
    };
    const std::vector<Row> rows = {
        {"type and size (108 + 21 description units padded to 44 bytes)", 0, {1, 152}},
        {"bounds: device pixels 0-2 inclusive", 8, {0, 0, 2, 2}},
        {"frame (0, 0, W, H) in 0.01 mm", 24, {0, 0, 75, 75}},
        {"signature ' EMF', version 1.0", 40, {0x464D4520, 0x10000}},
        {"bytes and records (header, 20 drawing records, end)",
         48,
         {static_cast<std::uint32_t>(bytes.size()), 22}},
        {"handles: slot 0 and one brush; reserved 0", 56, {2}},
        {"description: 21 units at offset 108, no palette", 60, {21, 108, 0}},
        {"reference screen in pixels and millimetres", 72, {1920, 1440, 508, 381}},
        {"no pixel format, no OpenGL", 88, {0, 0, 0}},
        {"screen in micrometres", 100, {508000, 381000}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (std::size_t w = 0; w < row.words.size(); ++w) {
            EXPECT_EQ(u32At(bytes, row.offset + 4 * w), row.words[w]) << "word " << w;
        }
    }
    std::u16string description;
    for (std::size_t k = 0; k < 21; ++k)
        description += static_cast<char16_t>(bytes[108 + 2 * k] | bytes[109 + 2 * k] << 8);
    EXPECT_EQ(description, std::u16string(u"kelvane2\0matrixcode\0\0", 21));
    EXPECT_EQ(u32At(bytes, 148), 0u) << "padding";
}

TEST(MetafileTest, ExtentsAndModuleRectangles) {
    struct Row {
        const char* what;
        std::int32_t moduleWidth, moduleHeight, resolution;
        std::int32_t frameRight, frameBottom;
        std::vector<std::int32_t> background, module;  // fills as (x, y, cx, cy)
    };
    const std::vector<Row> rows = {
        {"25 at 300 dpi: frame 525, module (1, 2) is (50, -25)-(75, -50)",
         25,
         25,
         300,
         525,
         525,
         {0, 0, 525, -525},
         {50, -25, 25, -25}},
        {"25 at 96 dpi snaps to one dot, 26", 25, 25, 96, 546, 546, {0, 0, 546, -546}, {52, -26, 26, -26}},
        {"width and height kept apart", 25, 50, 300, 525, 1050, {0, 0, 525, -1050}, {50, -50, 25, -50}},
        {"size below one dot gives one dot", 1, 1, 300, 168, 168, {0, 0, 168, -168}, {16, -8, 8, -8}},
        {"100 at 72 dpi: three dots, 105",
         100,
         100,
         72,
         2205,
         2205,
         {0, 0, 2205, -2205},
         {210, -105, 105, -105}},
    };
    std::vector<std::string> text(21, std::string(21, '.'));
    text[1][2] = 'X';
    Symbol symbol(text);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<std::uint8_t> bytes =
            symbolBytes(symbol, {row.moduleWidth, row.moduleHeight, row.resolution, 0, 0xFFFFFF});
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(i32At(bytes, 32), row.frameRight);
        EXPECT_EQ(i32At(bytes, 36), row.frameBottom);
        const auto drawn = fills(bytes);
        ASSERT_EQ(drawn.size(), 2u);
        EXPECT_EQ(drawn[0], row.background);
        EXPECT_EQ(drawn[1], row.module);
    }
}

TEST(MetafileTest, BrushColoursAreColorrefs) {
    struct Row {
        const char* what;
        std::uint32_t fore, back, foreRef, backRef;
    };
    const std::vector<Row> rows = {
        {"blue becomes 0xFF0000", 0x0000FF, 0xFFFFFF, 0xFF0000, 0xFFFFFF},
        {"top byte ignored", 0xFF336699, 0x12000000, 0x996633, 0x000000},
        {"bytes 0 and 2 exchanged", 0x00AABBCC, 0x00010203, 0xCCBBAA, 0x030201},
    };
    Symbol symbol(kSmall);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<std::uint8_t> bytes = symbolBytes(symbol, {25, 25, 300, row.fore, row.back});
        std::vector<std::uint32_t> brushes;
        for (const EmfRecord& r : painttest::emfRecords(bytes)) {
            if (r.type == EMR_CREATEBRUSHINDIRECT) brushes.push_back(u32At(bytes, r.offset + 16));
        }
        EXPECT_EQ(brushes, (std::vector<std::uint32_t>{row.backRef, row.foreRef}));
    }
}

// A brush is recorded when first selected, so the unused fore brush leaves no record.
TEST(MetafileTest, SymbolWithoutDarkModulesHasTheBackgroundOnly) {
    Symbol symbol({"...", "...", "..."});
    const std::vector<std::uint8_t> bytes = symbolBytes(symbol, {25, 25, 300, 0, 0xFFFFFF});
    std::vector<std::uint32_t> types;
    for (const EmfRecord& r : painttest::emfRecords(bytes))
        types.push_back(r.type);
    EXPECT_EQ(types, (std::vector<std::uint32_t>{EMR_HEADER, EMR_SETMAPMODE, EMR_CREATEBRUSHINDIRECT,
                                                 EMR_SELECTOBJECT, EMR_BITBLT, EMR_SELECTOBJECT,
                                                 EMR_DELETEOBJECT, EMR_EOF}));
}

// writeMetafileBits is given sizes already snapped; below 1270 dpi snapping them again changes nothing.
TEST(MetafileTest, WrittenBytesEqualTheMetafileBelow1270Dpi) {
    Symbol symbol(painttest::referenceRows("metafile"));
    for (std::int32_t resolution : {72, 96, 300, 600, 1200, 1269}) {
        for (std::int32_t size : {1, 25, 33, 100, 1000}) {
            SCOPED_TRACE("size " + std::to_string(size) + " at " + std::to_string(resolution) + " dpi");
            const std::int32_t snapped = kelvane2::imaging::snapModuleSize(size, resolution);
            std::ostringstream out;
            ASSERT_EQ(
                writeMetafileBits(symbol.pattern(), out, snapped, snapped, resolution, 0x102030, 0xF0E0D0),
                PaintStatus::kOk);
            EXPECT_EQ(bytesOf(out.str()), symbolBytes(symbol, {size, size, resolution, 0x102030, 0xF0E0D0}));
        }
    }
}

TEST(MetafileTest, MetafileThatCannotBeMadeWritesNothing) {
    struct Row {
        const char* what;
        std::int32_t size, resolution;
    };
    const std::vector<Row> rows = {
        {"resolution 0", 25, 0},
        {"negative resolution", 25, -300},
        {"extent beyond 32 bits", INT_MAX, 1},
    };
    Symbol symbol(painttest::referenceRows("x"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(createSymbolMetafile({row.size, row.size, row.resolution, 0, 0}, symbol.pattern()),
                  nullptr);
        EXPECT_EQ(platform::GetLastError(), platform::ERROR_INVALID_PARAMETER);
        std::ostringstream out;
        EXPECT_EQ(writeMetafileBits(symbol.pattern(), out, row.size, row.size, row.resolution, 0, 0),
                  PaintStatus::kWriteFailed);
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(MetafileTest, BadTargetIsReported) {
    Symbol symbol(kSmall);
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_EQ(writeMetafileBits(symbol.pattern(), out, 25, 25, 300, 0, 0), PaintStatus::kWriteFailed);
}

// An ordinary reader draws the metafile: every module's centre has its colour, and the picture
// decodes. emf2svg-conv sizes its picture by the header's device bounds, whose right and bottom are
// inclusive, so it clips up to a pixel at the right and bottom: modules of about ten pixels keep every
// centre inside.
TEST(MetafileTest, RendersWithOrdinaryTools) {
    if (!painttest::haveTool("emf2svg-conv") || !painttest::haveTool("rsvg-convert")) {
        GTEST_SKIP() << "emf2svg-conv or rsvg-convert not installed";
    }
    const std::vector<std::string> rows = painttest::referenceRows("https://example.org/qrkit");
    Symbol symbol(rows);
    painttest::ScratchDir dir("metafile-render");
    const std::string emf = dir.file("symbol.emf");
    {
        std::ostringstream out;
        ASSERT_EQ(writeMetafileBits(symbol.pattern(), out, 264, 264, 96, 0x000000, 0xFFFFFF),
                  PaintStatus::kOk);
        painttest::writeBytes(emf, bytesOf(out.str()));
    }
    const int zoom = 2;
    const std::string png = painttest::renderEmf(emf, zoom);
    ASSERT_FALSE(png.empty());
    const painttest::GreyImage image = painttest::readPngGrey(png);
    ASSERT_GT(image.width, 0);
    const double pixelsPerModule = 264 * 96.0 / 2540.0 * zoom;
    const int n = static_cast<int>(rows.size());
    int wrong = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int x = static_cast<int>((j + 0.5) * pixelsPerModule);
            const int y = static_cast<int>((i + 0.5) * pixelsPerModule);
            if (x >= image.width || y >= image.height) {
                ++wrong;
                continue;
            }
            const bool dark = image.at(x, y) < 128;
            if (dark != (rows[i][j] == 'X')) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);

    // The symbol has no quiet zone: give it one before decoding. The renderer leaves faint seams between
    // neighbouring module rectangles; the picture is binarised at mid-grey.
    const int margin = static_cast<int>(4 * pixelsPerModule);
    painttest::GreyImage framed;
    framed.width = image.width + 2 * margin;
    framed.height = image.height + 2 * margin;
    framed.pixels.assign(static_cast<std::size_t>(framed.width) * framed.height, 255);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            framed.pixels[static_cast<std::size_t>(y + margin) * framed.width + x + margin] =
                image.at(x, y) < 128 ? 0 : 255;
        }
    }
    EXPECT_EQ(painttest::decodeQr(framed), "https://example.org/qrkit");
}

// ---- Clipboard --------------------------------------------------------------------------------------

std::vector<std::uint8_t> clipboardBytes() {
    if (!platform::OpenClipboard(nullptr)) return {};
    auto metafile = static_cast<platform::HENHMETAFILE>(platform::GetClipboardData(platform::CF_ENHMETAFILE));
    std::vector<std::uint8_t> bytes;
    if (metafile != nullptr) bytes = metafileBytes(metafile);
    platform::CloseClipboard();
    return bytes;
}

TEST(ClipboardTest, KeepsTheLastMetafile) {
    Symbol first(kSmall);
    Symbol second(painttest::referenceRows("second"));
    const VectorPaintOptions options{25, 25, 300, 0, 0xFFFFFF};
    ASSERT_EQ(kelvane2::imaging::copySymbolToClipboard(options, first.pattern()), PaintStatus::kOk);
    EXPECT_EQ(clipboardBytes(), symbolBytes(first, options));
    ASSERT_EQ(kelvane2::imaging::copySymbolToClipboard(options, second.pattern()), PaintStatus::kOk);
    EXPECT_EQ(clipboardBytes(), symbolBytes(second, options));
}

TEST(ClipboardTest, FailuresLeaveTheClipboardUntouched) {
    Symbol symbol(kSmall);
    const VectorPaintOptions options{25, 25, 300, 0, 0xFFFFFF};
    ASSERT_EQ(kelvane2::imaging::copySymbolToClipboard(options, symbol.pattern()), PaintStatus::kOk);
    const std::vector<std::uint8_t> before = clipboardBytes();
    Symbol other(painttest::referenceRows("other"));

    // No metafile: the clipboard is not even opened.
    EXPECT_EQ(kelvane2::imaging::copySymbolToClipboard({25, 25, 0, 0, 0}, other.pattern()),
              PaintStatus::kWriteFailed);
    EXPECT_EQ(clipboardBytes(), before);

    // Another thread holds the clipboard open.
    ASSERT_TRUE(platform::OpenClipboard(nullptr));
    PaintStatus status = PaintStatus::kOk;
    std::thread([&] { status = kelvane2::imaging::copySymbolToClipboard(options, other.pattern()); }).join();
    ASSERT_TRUE(platform::CloseClipboard());
    EXPECT_EQ(status, PaintStatus::kWriteFailed);
    EXPECT_EQ(clipboardBytes(), before);
}

TEST(ClipboardTest, CallsNeedTheClipboardOpenOnThisThread) {
    Symbol symbol(kSmall);
    platform::HENHMETAFILE metafile = createSymbolMetafile({25, 25, 300, 0, 0}, symbol.pattern());
    ASSERT_NE(metafile, nullptr);
    EXPECT_FALSE(platform::EmptyClipboard());
    EXPECT_EQ(platform::SetClipboardData(platform::CF_ENHMETAFILE, metafile), nullptr);
    EXPECT_EQ(platform::GetClipboardData(platform::CF_ENHMETAFILE), nullptr);
    EXPECT_FALSE(platform::CloseClipboard());
    ASSERT_TRUE(platform::OpenClipboard(nullptr));
    EXPECT_EQ(platform::SetClipboardData(1, metafile), nullptr) << "only CF_ENHMETAFILE is held";
    EXPECT_TRUE(platform::CloseClipboard());
    platform::DeleteEnhMetaFile(metafile);
}

}  // namespace
