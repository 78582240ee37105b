#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "encoder/objectmodel.h"
#include "paint_test_support.h"
#include "qrkit/qrkit.h"
#include "qrkit/qrkit_paint.h"
#include "support/alloc_failure.h"

namespace {

using painttest::ScratchDir;
using painttest::TestStream;

constexpr const char* kText = "qrkit paints";

// A symbol encoded by the library (level M), destroyed at the end.
class Symbol {
  public:
    explicit Symbol(const char* text) : handle_(QRCodeEncode2(text, 0, 1)) { EXPECT_NE(handle_, nullptr); }
    Symbol(const Symbol&) = delete;
    Symbol& operator=(const Symbol&) = delete;
    ~Symbol() { DestroyQRCodeEncodeResult(handle_); }

    QRCODE_RESULT handle() const { return handle_; }
    // The reference count now: the caller's one, unless a paint call kept one.
    std::uint32_t references() const {
        const std::uint32_t count = handle_->AddRef() - 1;
        handle_->Release();
        return count;
    }

  private:
    QRCODE_RESULT handle_;
};

enum Kind { kRaster, kVector };

// One call of a file or stream export.
struct Call {
    Kind kind;
    std::int32_t moduleSize;
    std::int32_t resolution;  // vector only
    std::int32_t format;
    std::uint32_t fore = 0x000000;
    std::uint32_t back = 0xFFFFFF;
};

std::int32_t paintFile(QRCODE_RESULT handle, const char* path, const Call& c) {
    return c.kind == kRaster
               ? PaintQRCodeImageRaster(handle, path, c.moduleSize, c.fore, c.back, c.format)
               : PaintQRCodeImageVector(handle, path, c.moduleSize, c.resolution, c.fore, c.back, c.format);
}

std::int32_t paintStream(QRCODE_RESULT handle, qrkit_istream* stream, const Call& c) {
    return c.kind == kRaster ? PaintQRCodeImageRaster2(handle, stream, c.moduleSize, c.fore, c.back, c.format)
                             : PaintQRCodeImageVector2(handle, stream, c.moduleSize, c.resolution, c.fore,
                                                       c.back, c.format);
}

std::vector<std::uint8_t> metafileBytes(qrkit_metafile metafile) {
    std::vector<std::uint8_t> bytes(QRCodeMetafileGetBits(metafile, 0, nullptr));
    EXPECT_EQ(QRCodeMetafileGetBits(metafile, static_cast<std::uint32_t>(bytes.size()), bytes.data()),
              bytes.size());
    return bytes;
}

std::vector<std::uint8_t> clipboardBytes() {
    std::vector<std::uint8_t> bytes(QRCodeClipboardGetMetafileBits(0, nullptr));
    if (!bytes.empty())
        QRCodeClipboardGetMetafileBits(static_cast<std::uint32_t>(bytes.size()), bytes.data());
    return bytes;
}

// The grey picture of an 8-bit BMP as the BMP writer stores it (bottom-up rows, palette at byte 54).
painttest::GreyImage readBmpGrey(const std::vector<std::uint8_t>& bytes) {
    painttest::GreyImage image;
    if (bytes.size() < 1078 || bytes[0] != 'B' || bytes[1] != 'M') return image;
    const std::uint32_t offset = painttest::u32At(bytes, 10);
    image.width = painttest::i32At(bytes, 18);
    image.height = painttest::i32At(bytes, 22);
    const std::size_t stride = (static_cast<std::size_t>(image.width) + 3) & ~std::size_t{3};
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t index = bytes[offset + (image.height - 1 - y) * stride + x];
            const std::uint8_t* entry = &bytes[54 + 4 * index];  // blue, green, red, 0
            image.pixels[static_cast<std::size_t>(y) * image.width + x] =
                static_cast<std::uint8_t>((entry[0] + entry[1] + entry[2]) / 3);
        }
    }
    return image;
}

// The picture with a quiet zone of margin white pixels, binarised at mid-grey.
painttest::GreyImage framed(const painttest::GreyImage& image, int margin) {
    painttest::GreyImage out;
    out.width = image.width + 2 * margin;
    out.height = image.height + 2 * margin;
    out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, 255);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            out.pixels[static_cast<std::size_t>(y + margin) * out.width + x + margin] =
                image.at(x, y) < 128 ? 0 : 255;
        }
    }
    return out;
}

// ---- Files and streams ---------------------------------------------------------------------------------

struct FormatRow {
    const char* what;
    Call call;
    std::string magic;    // the first bytes
    std::size_t magicAt;  // where they stand
};

const std::vector<FormatRow> kFormats = {
    {"PNG", {kRaster, 4, 0, 0}, "\x89PNG", 0},
    {"BMP", {kRaster, 4, 0, 4}, "BM", 0},
    {"SVG", {kVector, 50, 300, 1}, "<?xml", 0},
    {"EMF bytes", {kVector, 50, 300, 2}, " EMF", 40},
    {"EPS", {kVector, 50, 300, 3}, "%!PS-Adobe-3.0 EPSF-3.0\n", 0},
};

// A file export replaces a larger file with exactly the bytes the stream export writes.
TEST(PaintExportsTest, FileAndStreamTargetsHoldTheSameImage) {
    Symbol symbol(kText);
    ScratchDir dir("paint-formats");
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.what);
        const std::string path = dir.file("image");
        painttest::writeBytes(path, std::vector<std::uint8_t>(200000, 'x'));
        ASSERT_EQ(paintFile(symbol.handle(), path.c_str(), row.call), 0);
        const std::vector<std::uint8_t> file = painttest::readBytes(path);
        ASSERT_GT(file.size(), row.magicAt + row.magic.size());
        EXPECT_EQ(std::string(file.begin() + row.magicAt, file.begin() + row.magicAt + row.magic.size()),
                  row.magic);

        TestStream stream;
        ASSERT_EQ(paintStream(symbol.handle(), &stream, row.call), 0);
        if (row.call.format != 0) {  // a PNG carries the time of writing
            EXPECT_EQ(stream.data, file);
        } else {
            EXPECT_EQ(stream.data.size(), file.size());
        }
        EXPECT_EQ(stream.otherCalls, 0) << "only Write is called on the stream";
        EXPECT_EQ(symbol.references(), 1u) << "the result's reference is released";
    }
}

// Every format's picture reads back as the symbol.
TEST(PaintExportsTest, PicturesDecode) {
    struct Row {
        const char* what;
        Call call;
        const char* tool;  // needed to render, or null
        std::string (*render)(const std::string& path);
    };
    const std::vector<Row> rows = {
        {"PNG, read with libpng", {kRaster, 6, 0, 0}, nullptr, [](const std::string& p) { return p; }},
        {"BMP", {kRaster, 6, 0, 4}, nullptr, nullptr},
        {"SVG through rsvg-convert",
         {kVector, 100, 300, 1},
         "rsvg-convert",
         [](const std::string& p) {
             return painttest::run("rsvg-convert -b white -d 150 -p 150 -o '" + p + ".png' '" + p + "'")
                        ? p + ".png"
                        : std::string();
         }},
        {"EMF through emf2svg-conv and rsvg-convert",
         {kVector, 264, 96, 2},
         "emf2svg-conv",
         [](const std::string& p) { return painttest::renderEmf(p, 2); }},
        {"EPS through ghostscript",
         {kVector, 100, 300, 3},
         "gs",
         [](const std::string& p) {
             return painttest::run("gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=pnggray -r150 -o '" +
                                   p + ".png' '" + p + "'")
                        ? p + ".png"
                        : std::string();
         }},
    };
    Symbol symbol(kText);
    ScratchDir dir("paint-decode");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.tool != nullptr && !painttest::haveTool(row.tool)) {
            ADD_FAILURE() << row.tool << " is not installed";
            continue;
        }
        const std::string path = dir.file(std::string("image") + std::to_string(row.call.format));
        ASSERT_EQ(paintFile(symbol.handle(), path.c_str(), row.call), 0);
        painttest::GreyImage image;
        if (row.render == nullptr) {
            image = readBmpGrey(painttest::readBytes(path));
        } else {
            const std::string png = row.render(path);
            ASSERT_FALSE(png.empty());
            image = painttest::readPngGrey(png);
        }
        ASSERT_GT(image.width, 0);
        EXPECT_EQ(painttest::decodeQr(framed(image, 40)), kText);
    }
}

TEST(PaintExportsTest, RejectedCallsCreateNothing) {
    struct Row {
        const char* what;
        Call call;
        bool nullHandle = false;
        bool nullTarget = false;
    };
    const std::vector<Row> rows = {
        {"raster module size 0", {kRaster, 0, 0, 0}},
        {"raster module size -4", {kRaster, -4, 0, 4}},
        {"raster given SVG", {kRaster, 4, 0, 1}},
        {"raster given EMF", {kRaster, 4, 0, 2}},
        {"raster given EPS", {kRaster, 4, 0, 3}},
        {"raster given 5", {kRaster, 4, 0, 5}},
        {"raster given -1", {kRaster, 4, 0, -1}},
        {"raster extent beyond 32 bits", {kRaster, INT_MAX / 10, 0, 0}},
        {"BMP beyond its 32-bit file size", {kRaster, 4000, 0, 4}},
        {"vector module size 0", {kVector, 0, 300, 1}},
        {"vector resolution 0", {kVector, 25, 0, 1}},
        {"vector resolution -300", {kVector, 25, -300, 2}},
        {"vector given PNG", {kVector, 25, 300, 0}},
        {"vector given BMP", {kVector, 25, 300, 4}},
        {"vector given 5", {kVector, 25, 300, 5}},
        {"vector extent beyond 32 bits", {kVector, INT_MAX / 10, 1, 2}},
        {"null raster handle", {kRaster, 4, 0, 0}, true},
        {"null vector handle", {kVector, 25, 300, 1}, true},
        {"null raster path or stream", {kRaster, 4, 0, 0}, false, true},
        {"null vector path or stream", {kVector, 25, 300, 1}, false, true},
    };
    Symbol symbol(kText);
    ScratchDir dir("paint-rejected");
    const std::string path = dir.file("image");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QRCODE_RESULT handle = row.nullHandle ? nullptr : symbol.handle();
        EXPECT_EQ(paintFile(handle, row.nullTarget ? nullptr : path.c_str(), row.call), 8);
        EXPECT_FALSE(std::filesystem::exists(path));
        TestStream stream;
        EXPECT_EQ(paintStream(handle, row.nullTarget ? nullptr : &stream, row.call), 8);
        EXPECT_EQ(stream.writeCalls + stream.otherCalls, 0);
        EXPECT_EQ(symbol.references(), 1u);
    }
}

TEST(PaintExportsTest, FileThatCannotBeWritten) {
    Symbol symbol(kText);
    ScratchDir dir("paint-unwritable");
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.what);
        const std::string missing = dir.file("absent/image");
        EXPECT_EQ(paintFile(symbol.handle(), missing.c_str(), row.call), 10);
        EXPECT_FALSE(std::filesystem::exists(dir.file("absent")));
        if (std::filesystem::exists("/dev/full")) {
            EXPECT_EQ(paintFile(symbol.handle(), "/dev/full", row.call), 10)
                << "a failed write is no success";
        }
        EXPECT_EQ(symbol.references(), 1u);
    }
}

TEST(PaintExportsTest, StreamTargets) {
    Symbol symbol(kText);
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.what);
        TestStream alone;
        ASSERT_EQ(paintStream(symbol.handle(), &alone, row.call), 0);

        TestStream after;
        after.preload("existing content");
        ASSERT_EQ(paintStream(symbol.handle(), &after, row.call), 0);
        ASSERT_GT(after.data.size(), 16u);
        EXPECT_EQ(std::string(after.data.begin(), after.data.begin() + 16), "existing content");
        EXPECT_EQ(after.data.size(), 16 + alone.data.size()) << "the image follows the content";
        EXPECT_EQ(after.position, after.data.size());

        TestStream failing;
        failing.failFrom = 1;
        EXPECT_EQ(paintStream(symbol.handle(), &failing, row.call), 10);
        EXPECT_EQ(failing.writeCalls, 1) << "no call after the failed one";
        EXPECT_EQ(failing.otherCalls, 0);
        EXPECT_EQ(symbol.references(), 1u);
    }
}

TEST(PaintExportsTest, SvgReachesTheStreamLineByLine) {
    Symbol symbol(kText);
    TestStream stream;
    ASSERT_EQ(PaintQRCodeImageVector2(symbol.handle(), &stream, 25, 300, 0, 0xFFFFFF, 1), 0);
    const std::string text = stream.text();
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_GT(lines, 100);
    EXPECT_GE(stream.writeCalls, lines);
}

// ---- Metafile and clipboard -----------------------------------------------------------------------------

TEST(PaintExportsTest, MetafileEqualsFormat2) {
    Symbol symbol(kText);
    ScratchDir dir("paint-emf");
    const std::string path = dir.file("image.emf");
    for (std::int32_t resolution : {72, 96, 300, 600, 1200}) {
        for (std::int32_t unused : {0, -1, 12345, INT_MIN}) {
            SCOPED_TRACE("resolution " + std::to_string(resolution) + ", last argument " +
                         std::to_string(unused));
            ASSERT_EQ(
                PaintQRCodeImageVector(symbol.handle(), path.c_str(), 33, resolution, 0x112233, 0xFFEEDD, 2),
                0);
            qrkit_metafile metafile =
                PaintQRCodeImageEMF(symbol.handle(), 33, resolution, 0x112233, 0xFFEEDD, unused);
            ASSERT_NE(metafile, nullptr);
            EXPECT_EQ(metafileBytes(metafile), painttest::readBytes(path));
            EXPECT_EQ(QRCodeMetafileDelete(metafile), 1);
            EXPECT_EQ(symbol.references(), 1u);
        }
    }
}

struct MetafileRejection {
    const char* what;
    std::int32_t moduleSize, resolution;
    bool nullHandle = false;
};
const std::vector<MetafileRejection> kMetafileRejections = {
    {"module size 0", 0, 300},
    {"module size -1", -1, 300},
    {"resolution 0", 25, 0},
    {"resolution -96", 25, -96},
    {"extent beyond 32 bits", INT_MAX / 10, 1},
    {"null handle", 25, 300, true},
};

TEST(PaintExportsTest, MetafileRejections) {
    Symbol symbol(kText);
    for (const MetafileRejection& row : kMetafileRejections) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(PaintQRCodeImageEMF(row.nullHandle ? nullptr : symbol.handle(), row.moduleSize,
                                      row.resolution, 0, 0xFFFFFF, 0),
                  nullptr);
        EXPECT_EQ(symbol.references(), 1u);
    }
}

TEST(PaintExportsTest, ClipboardHoldsTheMetafile) {
    Symbol first("first");
    Symbol second("second");
    for (const Symbol* symbol : {&first, &second}) {
        ASSERT_EQ(PaintQRCodeImageClipboard(symbol->handle(), 25, 300, 0x0000FF, 0xFFFFFF), 0);
        qrkit_metafile metafile = PaintQRCodeImageEMF(symbol->handle(), 25, 300, 0x0000FF, 0xFFFFFF, 0);
        EXPECT_EQ(clipboardBytes(), metafileBytes(metafile)) << "the last metafile is kept";
        QRCodeMetafileDelete(metafile);
        EXPECT_EQ(symbol->references(), 1u);
    }
    const std::vector<std::uint8_t> before = clipboardBytes();
    for (const MetafileRejection& row : kMetafileRejections) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(PaintQRCodeImageClipboard(row.nullHandle ? nullptr : first.handle(), row.moduleSize,
                                            row.resolution, 0, 0xFFFFFF),
                  8);
        EXPECT_EQ(clipboardBytes(), before) << "the clipboard is untouched";
    }
}

// ---- Results that misbehave ------------------------------------------------------------------------------

// A result object whose matrix throws what it is told to, or that has no matrix view at all.
class OddResult final : public kelvane2::IQrcodeResult, public kelvane2::I2DBitPattern {
  public:
    enum Mode { kNoPattern, kOutOfMemory, kOtherException };
    explicit OddResult(Mode mode) : mode_(mode) {}

    std::int32_t QueryInterface(const kelvane2::InterfaceId& id, void** out) override {
        if (id == kelvane2::IID_I2DBitPattern && mode_ != kNoPattern) {
            *out = static_cast<kelvane2::I2DBitPattern*>(this);
            ++references;
            return kelvane2::kStatusOk;
        }
        return kelvane2::kNoInterface;
    }
    std::uint32_t AddRef() override { return ++references; }
    std::uint32_t Release() override { return --references; }
    int getRows() override { return 21; }
    int getColumns() override { return 21; }
    int getModule(int, int) override {
        if (mode_ == kOutOfMemory) throw std::bad_alloc();
        throw std::runtime_error("matrix gone");
    }
    int getVersion() override { return 1; }
    int getEcLevel() override { return 0; }

    std::uint32_t references = 1;

  private:
    Mode mode_;
};

TEST(PaintExportsTest, NothingEscapes) {
    struct Row {
        const char* what;
        OddResult::Mode mode;
        std::int32_t expected;
    };
    const std::vector<Row> rows = {
        {"no I2DBitPattern view", OddResult::kNoPattern, 8},
        {"memory runs out", OddResult::kOutOfMemory, 11},
        {"any other exception", OddResult::kOtherException, 10},
    };
    ScratchDir dir("paint-odd");
    const std::string path = dir.file("image");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        OddResult result(row.mode);
        for (const FormatRow& format : kFormats) {
            SCOPED_TRACE(format.what);
            EXPECT_EQ(paintFile(&result, path.c_str(), format.call), row.expected);
            TestStream stream;
            EXPECT_EQ(paintStream(&result, &stream, format.call), row.expected);
        }
        EXPECT_EQ(PaintQRCodeImageEMF(&result, 25, 300, 0, 0xFFFFFF, 0), nullptr);
        EXPECT_EQ(PaintQRCodeImageClipboard(&result, 25, 300, 0, 0xFFFFFF), row.expected);
        EXPECT_EQ(result.references, 1u) << "every query is released";
    }
}

// Memory runs out at every allocation in turn (libpng's and zlib's included): each call frees
// everything it allocated and gives 11, or 0 with the whole image.
TEST(PaintExportsTest, MemoryExhaustion) {
    Symbol symbol(kText);
    ScratchDir dir("paint-memory");
    const std::string path = dir.file("image");
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.what);
        TestStream reference;
        ASSERT_EQ(paintStream(symbol.handle(), &reference, row.call), 0);
        for (bool toFile : {true, false}) {
            bool succeeded = false;
            for (std::int64_t n = 0; n < 10000 && !succeeded; ++n) {
                SCOPED_TRACE("allocation " + std::to_string(n) + (toFile ? " (file)" : " (stream)"));
                TestStream stream;
                stream.data.reserve(1 << 20);  // the caller's stream itself does not allocate
                stream.writeSizes.reserve(4096);
                const std::int64_t live = qrkit_test::liveAllocations();
                qrkit_test::failAllocationAfter(n);
                const std::int32_t result = toFile ? paintFile(symbol.handle(), path.c_str(), row.call)
                                                   : paintStream(symbol.handle(), &stream, row.call);
                const bool failed = qrkit_test::allocationFailureHappened();
                qrkit_test::disarmAllocationFailure();
                EXPECT_EQ(qrkit_test::liveAllocations(), live);
                succeeded = !failed;
                if (result == 0) {
                    // Success only with the whole image (a PNG differs in its time chunk only).
                    const std::vector<std::uint8_t> written =
                        toFile ? painttest::readBytes(path) : stream.data;
                    if (row.call.format == 0) {
                        EXPECT_EQ(written.size(), reference.data.size());
                    } else {
                        EXPECT_EQ(written, reference.data);
                    }
                } else {
                    EXPECT_TRUE(failed);
                    EXPECT_EQ(result, 11);
                }
                if (::testing::Test::HasFailure()) return;
            }
            EXPECT_TRUE(succeeded);
        }
        EXPECT_EQ(symbol.references(), 1u);
    }
    for (std::int64_t n = 0; n < 10000; ++n) {
        SCOPED_TRACE("metafile, allocation " + std::to_string(n));
        qrkit_test::failAllocationAfter(n);
        qrkit_metafile metafile = PaintQRCodeImageEMF(symbol.handle(), 25, 300, 0, 0xFFFFFF, 0);
        const bool failed = qrkit_test::allocationFailureHappened();
        qrkit_test::disarmAllocationFailure();
        if (metafile != nullptr) QRCodeMetafileDelete(metafile);
        if (!failed) {
            EXPECT_NE(metafile, nullptr);
            break;
        }
        EXPECT_EQ(metafile, nullptr);
    }
}

}  // namespace
