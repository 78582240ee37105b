// The paint exports with fuzzed options and formats: into a memory IStream (which may refuse bytes
// after a while), into files, as metafiles and onto the clipboard.
// Input: 1 byte symbol, 1 byte export, 1 + 4 bytes module size, 1 + 4 bytes resolution, 4 + 4 bytes
// colours, 1 + 4 bytes format, 1 + 4 bytes stream failure point.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encoder/objectmodel.h"
#include "encoder/viewref.h"
#include "fuzz/fuzz_checks.h"
#include "imaging/geometry.h"
#include "qrkit/qrkit.h"

using namespace qrkit_fuzz;
namespace imaging = kelvane2::imaging;

namespace {

struct Symbol {
    QRCODE_RESULT handle;
    int width;
    kelvane2::IObjectBase* start;  // the object's first view (one reference)
};

// Symbols of every shape, made once and kept for the life of the process (the list is never destroyed,
// so the leak checker sees them referenced at exit): QR versions 1, 2, 7 and 40, an overlaid symbol,
// Micro M1 and M4.
const std::vector<Symbol>& symbols() {
    static const std::vector<Symbol>* all = [] {
        auto* list = new std::vector<Symbol>;
        auto add = [&](QRCODE_RESULT handle) {
            FUZZ_CHECK(handle != nullptr, "symbol for painting");
            kelvane2::ViewRef<kelvane2::I2DBitPattern> view;
            view.query(handle, kelvane2::IID_I2DBitPattern);
            list->push_back({handle, view->getColumns(), view.detach()});
        };
        add(QRCodeEncode2("A", 0, 0));
        add(QRCodeEncode2("HELLO WORLD", 2, 1));
        add(QRCodeEncode2("version information", 7, 3));
        add(QRCodeEncode2("40", 40, 0));
        add(QRCodeEncode2("~50[:swiss7]centre", 0, 3));
        add(MicroQRCodeEncode2("1", 1, 0));
        add(MicroQRCodeEncode2("MICRO QR M4", 4, 0));
        return list;
    }();
    return *all;
}

// A directory of the process's own for the file exports, removed at exit.
const std::string& scratchDirectory() {
    static const std::string* path = [] {
        char pattern[] = "/tmp/qrkit-paint-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern) != nullptr, "scratch directory");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchDirectory(), ignored);
        });
        return new std::string(pattern);
    }();
    return *path;
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (static_cast<std::uint32_t>(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}
bool endsWith(const std::vector<std::uint8_t>& b, const std::string& tail) {
    return b.size() >= tail.size() &&
           std::memcmp(b.data() + b.size() - tail.size(), tail.data(), tail.size()) == 0;
}

// The whole image as the format lays it out: signatures, sizes and the closing bytes.
void checkImage(const std::vector<std::uint8_t>& b, int format, const Symbol& symbol, int moduleSize) {
    const std::uint32_t extent =
        static_cast<std::uint32_t>(symbol.width) * static_cast<std::uint32_t>(moduleSize);
    switch (format) {
        case imaging::kFormatPng: {
            static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
            FUZZ_CHECK(b.size() > 45 && std::memcmp(b.data(), kSignature, 8) == 0, "PNG signature");
            FUZZ_CHECK(be32(b, 16) == extent && be32(b, 20) == extent, "PNG size");
            FUZZ_CHECK(endsWith(b, std::string("IEND\xAE\x42\x60\x82", 8)), "PNG end");
            break;
        }
        case imaging::kFormatBmp:
            FUZZ_CHECK(b.size() > 54 && b[0] == 'B' && b[1] == 'M', "BMP signature");
            FUZZ_CHECK(le32(b, 2) == b.size(), "BMP file size");
            FUZZ_CHECK(le32(b, 18) == extent, "BMP width");
            break;
        case imaging::kFormatSvg:
            FUZZ_CHECK(b.size() > 5 && b[0] == '<', "SVG start");
            FUZZ_CHECK(endsWith(b, "</svg>\n"), "SVG end");
            break;
        case imaging::kFormatEps:
            FUZZ_CHECK(b.size() > 4 && std::memcmp(b.data(), "%!PS", 4) == 0, "EPS start");
            FUZZ_CHECK(b.back() == '\n', "EPS end");
            break;
        case imaging::kFormatEmf:
            FUZZ_CHECK(b.size() >= 108 && le32(b, 0) == 1 && le32(b, 40) == 0x464D4520, "EMF header");
            FUZZ_CHECK(le32(b, 48) == b.size(), "EMF size");
            FUZZ_CHECK(le32(b, b.size() - 20) == 14, "EMF end record");
            break;
        default:
            fail("image of an unknown format");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    InputReader reader(input, size);
    const std::uint8_t symbolChoice = reader.byte();
    const std::uint8_t exportChoice = reader.byte();
    const std::uint8_t moduleSelector = reader.byte();
    const std::uint32_t moduleRaw = reader.word32();
    const std::uint8_t resolutionSelector = reader.byte();
    const std::uint32_t resolutionRaw = reader.word32();
    const std::uint32_t foreColour = reader.word32();
    const std::uint32_t backColour = reader.word32();
    const std::uint8_t formatSelector = reader.byte();
    const std::uint32_t formatRaw = reader.word32();
    const std::uint8_t failSelector = reader.byte();
    const std::uint32_t failRaw = reader.word32();

    const bool nullHandle = symbolChoice == 0xFF;
    const Symbol symbol = symbols()[symbolChoice % symbols().size()];
    QRCODE_RESULT handle = nullHandle ? nullptr : symbol.handle;
    std::int32_t moduleSize = interestingInt(moduleSelector, moduleRaw, 1, 12);
    const std::int32_t resolution = interestingInt(resolutionSelector, resolutionRaw, 1, 2400);
    const bool raster = exportChoice % 2 == 0;
    const std::int32_t format = interestingInt(formatSelector, formatRaw, 0, 4);

    if (raster) {
        // Large valid raster images only take time: keep them small.
        const imaging::RasterPaintOptions options{moduleSize, moduleSize, foreColour, backColour};
        if (imaging::rasterOptionsValid(options, symbol.width, symbol.width, format) &&
            static_cast<long long>(symbol.width) * moduleSize > 2048) {
            moduleSize = 1 + static_cast<std::int32_t>(moduleRaw % 8);
        }
    }
    const bool formatKnown = raster ? (format == 0 || format == 4) : (format >= 1 && format <= 3);
    bool valid = !nullHandle && formatKnown && moduleSize >= 1 && (raster || resolution >= 1);
    if (valid && raster) {
        // Extents beyond 32 bits never fit; below that the format's own limits decide.
        const imaging::RasterPaintOptions options{moduleSize, moduleSize, foreColour, backColour};
        valid = imaging::rasterOptionsValid(options, symbol.width, symbol.width, format);
        if (static_cast<long long>(symbol.width) * moduleSize > INT32_MAX)
            FUZZ_CHECK(!valid, "extent beyond 32 bits");
    }
    if (valid && !raster) {
        const imaging::VectorPaintOptions options{moduleSize, moduleSize, resolution, foreColour, backColour};
        valid = imaging::vectorOptionsValid(options, symbol.width, symbol.width, format);
    }

    const int target = (exportChoice / 2) % 8;
    if (target == 5) {
        // The metafile export, compared with the bytes of format 2.
        kelvane2::platform::EnhMetaFile* metafile =
            PaintQRCodeImageEMF(handle, moduleSize, resolution, foreColour, backColour, format);
        const imaging::VectorPaintOptions options{moduleSize, moduleSize, resolution, foreColour, backColour};
        const bool emfValid =
            !nullHandle && moduleSize >= 1 && resolution >= 1 &&
            imaging::vectorOptionsValid(options, symbol.width, symbol.width, imaging::kFormatEmf);
        FUZZ_CHECK((metafile != nullptr) == emfValid, "metafile made for invalid arguments or not made");
        if (metafile == nullptr) return 0;
        const std::uint32_t count = QRCodeMetafileGetBits(metafile, 0, nullptr);
        std::vector<std::uint8_t> bits(count);
        FUZZ_CHECK(QRCodeMetafileGetBits(metafile, count, bits.data()) == count, "metafile bits");
        FUZZ_CHECK(count == 0 || QRCodeMetafileGetBits(metafile, count - 1, bits.data()) == 0,
                   "short buffer");
        checkImage(bits, imaging::kFormatEmf, symbol, moduleSize);
        if (resolution < 1270) {
            MemoryStream stream;
            FUZZ_CHECK(PaintQRCodeImageVector2(handle, &stream, moduleSize, resolution, foreColour,
                                               backColour, imaging::kFormatEmf) == 0,
                       "format 2");
            FUZZ_CHECK(stream.bytes == bits, "metafile and format 2 differ");
        }
        FUZZ_CHECK(QRCodeMetafileDelete(metafile) == 1, "metafile delete");
        return 0;
    }
    if (target == 6) {
        const std::int32_t code =
            PaintQRCodeImageClipboard(handle, moduleSize, resolution, foreColour, backColour);
        const imaging::VectorPaintOptions options{moduleSize, moduleSize, resolution, foreColour, backColour};
        const bool emfValid =
            !nullHandle && moduleSize >= 1 && resolution >= 1 &&
            imaging::vectorOptionsValid(options, symbol.width, symbol.width, imaging::kFormatEmf);
        FUZZ_CHECK(code == (emfValid ? 0 : 8), "clipboard code " + std::to_string(code));
        if (code == 0) FUZZ_CHECK(QRCodeClipboardGetMetafileBits(0, nullptr) > 0, "clipboard empty");
        return 0;
    }
    if (target == 7) {
        // Files: a writable path, a path in a missing directory, or no path.
        const int pathChoice = failSelector % 3;
        const std::string path =
            pathChoice == 0 ? scratchDirectory() + "/image" : scratchDirectory() + "/missing/image";
        const char* pathArgument = pathChoice == 2 ? nullptr : path.c_str();
        std::remove(path.c_str());
        const std::int32_t code =
            raster ? PaintQRCodeImageRaster(handle, pathArgument, moduleSize, foreColour, backColour, format)
                   : PaintQRCodeImageVector(handle, pathArgument, moduleSize, resolution, foreColour,
                                            backColour, format);
        const std::int32_t expected = !valid || pathChoice == 2 ? 8 : (pathChoice == 1 ? 10 : 0);
        FUZZ_CHECK(code == expected,
                   "file code " + std::to_string(code) + " expected " + std::to_string(expected));
        std::ifstream file(path, std::ios::binary);
        FUZZ_CHECK(file.good() == (code == 0), "file present after a refused call or missing after success");
        if (code == 0) {
            const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                                  std::istreambuf_iterator<char>());
            checkImage(bytes, format, symbol, moduleSize);
        }
        return 0;
    }

    // A stream, which may refuse bytes from some point on.
    const std::size_t failAfter =
        failSelector % 4 == 0 ? static_cast<std::size_t>(failRaw % 70000) : SIZE_MAX;
    MemoryStream stream(failAfter);
    MemoryStream* streamArgument = target == 4 && failSelector % 8 == 1 ? nullptr : &stream;
    const std::int32_t code =
        raster ? PaintQRCodeImageRaster2(handle, streamArgument, moduleSize, foreColour, backColour, format)
               : PaintQRCodeImageVector2(handle, streamArgument, moduleSize, resolution, foreColour,
                                         backColour, format);
    FUZZ_CHECK(!stream.otherCalls, "a stream method other than Write was called");
    if (!valid || streamArgument == nullptr) {
        FUZZ_CHECK(code == 8, "code " + std::to_string(code) + " for refused arguments");
        FUZZ_CHECK(stream.writeCalls == 0, "bytes written for refused arguments");
        return 0;
    }
    if (stream.failedWrites > 0) {
        FUZZ_CHECK(code == 10, "code " + std::to_string(code) + " after a failed write");
        return 0;
    }
    FUZZ_CHECK(code == 0, "code " + std::to_string(code));
    checkImage(stream.bytes, format, symbol, moduleSize);
    return 0;
}
