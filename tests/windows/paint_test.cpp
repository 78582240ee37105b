// The paint exports of qrkit.dll on the Windows platform: files through the narrow path, COM IStreams,
// GDI enhanced metafiles and the user32 clipboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "windows/golden_cases.h"
#include "windows_test_support.h"

namespace {

using wintest::Bytes;
using wintest::HGlobalStream;
using wintest::qrkit;
using wintest::RecordingStream;
using wintest::ScratchDir;
using wintest::Symbol;

constexpr const char* kText = "qrkit paints on Windows";

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

std::int32_t paintFile(const wintest::Qrkit& q, QRCODE_RESULT handle, const char* path, const Call& c) {
    return c.kind == kRaster
               ? q.PaintQRCodeImageRaster(handle, path, c.moduleSize, c.fore, c.back, c.format)
               : q.PaintQRCodeImageVector(handle, path, c.moduleSize, c.resolution, c.fore, c.back, c.format);
}

std::int32_t paintStream(const wintest::Qrkit& q, QRCODE_RESULT handle, IStream* stream, const Call& c) {
    return c.kind == kRaster
               ? q.PaintQRCodeImageRaster2(handle, stream, c.moduleSize, c.fore, c.back, c.format)
               : q.PaintQRCodeImageVector2(handle, stream, c.moduleSize, c.resolution, c.fore, c.back,
                                           c.format);
}

// Two images are the same picture: equal bytes, or for PNG equal chunks apart from the time of writing.
void expectSameImage(const Bytes& actual, const Bytes& expected, bool png) {
    if (!png) {
        EXPECT_EQ(actual, expected);
        return;
    }
    std::vector<wintest::PngChunk> a = wintest::pngChunks(actual);
    std::vector<wintest::PngChunk> e = wintest::pngChunks(expected);
    ASSERT_FALSE(a.empty()) << "not a PNG";
    ASSERT_EQ(a.size(), e.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE("chunk " + a[i].type);
        EXPECT_EQ(a[i].type, e[i].type);
        if (a[i].type != "tIME") {
            EXPECT_EQ(a[i].data, e[i].data);
        }
    }
}

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

// ---- Files and streams ---------------------------------------------------------------------------------

TEST(Paint, ImagesEqualTheNativeBuild) {
    Symbol symbol(golden::kImageData, 0, golden::kImageLevel);
    ScratchDir dir("golden");
    for (const golden::Image& image : golden::kImages) {
        SCOPED_TRACE(image.file);
        const Bytes expected = wintest::readFile(wintest::goldenPath(image.file));
        ASSERT_FALSE(expected.empty()) << "golden file beside the program";
        const Call call{image.raster ? kRaster : kVector,
                        image.moduleSize,
                        image.resolution,
                        image.format,
                        image.foreColour,
                        image.backColour};
        const std::string path = dir.file(image.file);
        ASSERT_EQ(paintFile(qrkit(), symbol.handle(), path.c_str(), call), 0);
        expectSameImage(wintest::readFile(path), expected, image.format == 0);

        HGlobalStream stream;
        ASSERT_EQ(paintStream(qrkit(), symbol.handle(), stream.get(), call), 0);
        expectSameImage(stream.contents(), expected, image.format == 0);
    }
}

// A file export replaces a larger file; the stream exports write the same bytes after what the stream
// held, leave it positioned after them, and call nothing but Write.
TEST(Paint, FilesAndStreams) {
    Symbol symbol(kText);
    ScratchDir dir("formats");
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.what);
        const std::string path = dir.file("image");
        wintest::writeFile(path, Bytes(200000, 'x'));
        ASSERT_EQ(paintFile(qrkit(), symbol.handle(), path.c_str(), row.call), 0);
        const Bytes file = wintest::readFile(path);
        ASSERT_GT(file.size(), row.magicAt + row.magic.size());
        ASSERT_LT(file.size(), 200000u);
        EXPECT_EQ(std::string(file.begin() + row.magicAt, file.begin() + row.magicAt + row.magic.size()),
                  row.magic);

        HGlobalStream after;
        const std::string existing = "existing content";
        ULONG written = 0;
        ASSERT_EQ(after.get()->Write(existing.data(), static_cast<ULONG>(existing.size()), &written), S_OK);
        ASSERT_EQ(paintStream(qrkit(), symbol.handle(), after.get(), row.call), 0);
        const Bytes contents = after.contents();
        ASSERT_EQ(contents.size(), existing.size() + file.size()) << "the image follows the content";
        EXPECT_EQ(std::string(contents.begin(), contents.begin() + existing.size()), existing);
        expectSameImage(Bytes(contents.begin() + existing.size(), contents.end()), file,
                        row.call.format == 0);
        EXPECT_EQ(after.position(), contents.size()) << "positioned after the image";

        RecordingStream recording;
        ASSERT_EQ(paintStream(qrkit(), symbol.handle(), &recording, row.call), 0);
        expectSameImage(recording.data, file, row.call.format == 0);
        EXPECT_GT(recording.writeCalls, 0);
        EXPECT_EQ(recording.otherCalls, 0) << "only Write is called";
        EXPECT_EQ(recording.references, 1) << "no reference taken";
        EXPECT_EQ(symbol.references(), 1u) << "the result's reference is released";
    }
}

// A stream whose Write fails gets no further call, and the export reports the incomplete image.
TEST(Paint, StreamWriteFailures) {
    Symbol large("a version 40 symbol fills many buffers", 40, 3);
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.what);
        for (int failFrom : {1, 2}) {
            SCOPED_TRACE("Write fails from call " + std::to_string(failFrom));
            RecordingStream failing;
            failing.failFrom = failFrom;
            EXPECT_EQ(paintStream(qrkit(), large.handle(), &failing, row.call), 10);
            EXPECT_EQ(failing.writeCalls, failFrom) << "no call after the failed one";
            EXPECT_EQ(failing.otherCalls, 0);
            EXPECT_EQ(large.references(), 1u);
        }
    }
}

TEST(Paint, FilesThatCannotBeWritten) {
    Symbol symbol(kText);
    ScratchDir dir("unwritable");
    const std::string locked = dir.file("locked");
    HANDLE lock =
        CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const std::string folder = dir.file("folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const struct {
        const char* what;
        std::string path;
    } targets[] = {
        {"folder that does not exist", dir.file("absent\\image")},
        {"file open elsewhere without sharing", locked},
        {"a folder", folder},
    };
    for (const auto& target : targets) {
        SCOPED_TRACE(target.what);
        for (const FormatRow& row : kFormats) {
            SCOPED_TRACE(row.what);
            EXPECT_EQ(paintFile(qrkit(), symbol.handle(), target.path.c_str(), row.call), 10);
            EXPECT_EQ(symbol.references(), 1u);
        }
    }
    EXPECT_FALSE(wintest::fileExists(dir.file("absent")));
    CloseHandle(lock);
    EXPECT_TRUE(wintest::readFile(locked).empty()) << "the locked file is untouched";
}

// The names in a folder (without "." and ".."), sorted.
std::vector<std::string> folderEntries(const ScratchDir& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(dir.file("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// A file destination is replaced only by a whole image, through a temporary file in its folder and
// MoveFileExW: when the rename is refused (the destination open elsewhere without sharing, read-only)
// the destination is as it was and no temporary file is left; a replaced file keeps its hidden
// attribute.
TEST(Paint, FilesAreReplacedWhole) {
    Symbol symbol(kText);
    ScratchDir dir("replaced");
    const std::string path = dir.file("image");
    const Bytes old(5000, 'o');
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.what);
        wintest::writeFile(path, old);
        ASSERT_EQ(paintFile(qrkit(), symbol.handle(), path.c_str(), row.call), 0);
        RecordingStream reference;
        ASSERT_EQ(paintStream(qrkit(), symbol.handle(), &reference, row.call), 0);
        expectSameImage(wintest::readFile(path), reference.data, row.call.format == 0);
        EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"image"}) << "no temporary file left";

        // Open elsewhere for writing without sharing: the rename is refused.
        wintest::writeFile(path, old);
        HANDLE lock = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        EXPECT_EQ(paintFile(qrkit(), symbol.handle(), path.c_str(), row.call), 10);
        CloseHandle(lock);
        EXPECT_EQ(wintest::readFile(path), old) << "the destination is as it was";
        EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"image"}) << "no temporary file left";

        // Read-only: refused too.
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(paintFile(qrkit(), symbol.handle(), path.c_str(), row.call), 10);
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(wintest::readFile(path), old);
        EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"image"});

        // Hidden: replaced, and still hidden.
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
        EXPECT_EQ(paintFile(qrkit(), symbol.handle(), path.c_str(), row.call), 0);
        EXPECT_NE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
        expectSameImage(wintest::readFile(path), reference.data, row.call.format == 0);
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"image"});
        DeleteFileA(path.c_str());
    }
}

struct Rejection {
    const char* what;
    Call call;
    bool nullHandle = false;
    bool nullTarget = false;
};

const std::vector<Rejection> kRejections = {
    {"raster module size 0", {kRaster, 0, 0, 0}},
    {"raster module size -4", {kRaster, -4, 0, 4}},
    {"raster given SVG", {kRaster, 4, 0, 1}},
    {"raster given EMF", {kRaster, 4, 0, 2}},
    {"raster given 5", {kRaster, 4, 0, 5}},
    {"raster extent beyond 32 bits", {kRaster, INT_MAX / 10, 0, 0}},
    {"BMP beyond its 32-bit file size", {kRaster, 4000, 0, 4}},
    {"vector module size 0", {kVector, 0, 300, 1}},
    {"vector resolution 0", {kVector, 25, 0, 1}},
    {"vector resolution -300", {kVector, 25, -300, 2}},
    {"vector given PNG", {kVector, 25, 300, 0}},
    {"vector given BMP", {kVector, 25, 300, 4}},
    {"vector extent beyond 32 bits", {kVector, INT_MAX / 10, 1, 2}},
    {"null raster handle", {kRaster, 4, 0, 0}, true},
    {"null vector handle", {kVector, 25, 300, 1}, true},
    {"null raster path or stream", {kRaster, 4, 0, 0}, false, true},
    {"null vector path or stream", {kVector, 25, 300, 1}, false, true},
};

TEST(Paint, RejectedCallsCreateNothing) {
    Symbol symbol(kText);
    ScratchDir dir("rejected");
    const std::string path = dir.file("image");
    for (const Rejection& row : kRejections) {
        SCOPED_TRACE(row.what);
        QRCODE_RESULT handle = row.nullHandle ? nullptr : symbol.handle();
        EXPECT_EQ(paintFile(qrkit(), handle, row.nullTarget ? nullptr : path.c_str(), row.call), 8);
        EXPECT_FALSE(wintest::fileExists(path));
        RecordingStream stream;
        EXPECT_EQ(paintStream(qrkit(), handle, row.nullTarget ? nullptr : &stream, row.call), 8);
        EXPECT_EQ(stream.writeCalls + stream.otherCalls, 0);
        EXPECT_EQ(symbol.references(), 1u);
    }
}

// ---- Metafiles ----------------------------------------------------------------------------------------

// The metafile handed out holds the bytes format 2 writes, whatever the last argument.
TEST(Paint, MetafileEqualsFormat2) {
    Symbol symbol(kText);
    ScratchDir dir("emf");
    const std::string path = dir.file("image.emf");
    for (std::int32_t resolution : {72, 96, 300, 600, 1200}) {
        for (std::int32_t unused : {0, -1, INT_MIN}) {
            SCOPED_TRACE("resolution " + std::to_string(resolution) + ", last argument " +
                         std::to_string(unused));
            ASSERT_EQ(qrkit().PaintQRCodeImageVector(symbol.handle(), path.c_str(), 33, resolution, 0x112233,
                                                     0xFFEEDD, 2),
                      0);
            HENHMETAFILE metafile =
                qrkit().PaintQRCodeImageEMF(symbol.handle(), 33, resolution, 0x112233, 0xFFEEDD, unused);
            ASSERT_NE(metafile, nullptr);
            EXPECT_EQ(wintest::metafileBits(metafile), wintest::readFile(path));
            EXPECT_TRUE(DeleteEnhMetaFile(metafile));
            EXPECT_EQ(symbol.references(), 1u);
        }
    }
}

// The frame rectangle covers the symbol in 0.01 mm, module sizes snapped to whole dots.
TEST(Paint, MetafileFrame) {
    Symbol symbol("12345", 0, 0);  // 21 x 21
    const struct {
        const char* what;
        std::int32_t moduleSize, resolution;
        LONG extent;
    } rows[] = {
        {"25 at 300 dpi", 25, 300, 525},
        {"25 at 96 dpi snaps to 26", 25, 96, 546},
        {"100 at 600 dpi snaps to 24 dots, 101", 100, 600, 2121},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        HENHMETAFILE metafile =
            qrkit().PaintQRCodeImageEMF(symbol.handle(), row.moduleSize, row.resolution, 0, 0xFFFFFF, 0);
        ASSERT_NE(metafile, nullptr);
        ENHMETAHEADER header{};
        ASSERT_EQ(GetEnhMetaFileHeader(metafile, sizeof header, &header), sizeof header);
        EXPECT_EQ(header.iType, static_cast<DWORD>(EMR_HEADER));
        EXPECT_EQ(header.dSignature, static_cast<DWORD>(ENHMETA_SIGNATURE));
        EXPECT_EQ(header.rclFrame.left, 0);
        EXPECT_EQ(header.rclFrame.top, 0);
        EXPECT_EQ(header.rclFrame.right, row.extent);
        EXPECT_EQ(header.rclFrame.bottom, row.extent);
        DeleteEnhMetaFile(metafile);
    }
}

// GDI plays the metafile back as the symbol: every module in its colour (colour words are 0x00RRGGBB).
TEST(Paint, MetafilePlaysBackAsTheSymbol) {
    Symbol symbol(kText);
    const std::vector<std::string> rows = wintest::moduleRows(symbol.handle());
    const int n = static_cast<int>(rows.size());
    const int scale = 8;
    const std::uint32_t fore = 0x0000FF;  // blue
    const std::uint32_t back = 0xFFFF00;  // yellow
    HENHMETAFILE metafile = qrkit().PaintQRCodeImageEMF(symbol.handle(), 50, 300, fore, back, 0);
    ASSERT_NE(metafile, nullptr);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = n * scale;
    info.bmiHeader.biHeight = -n * scale;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    const RECT area{0, 0, n * scale, n * scale};
    EXPECT_TRUE(PlayEnhMetaFile(dc, metafile, &area));
    GdiFlush();

    const auto* pixels = static_cast<const std::uint32_t*>(bits);  // 0x00RRGGBB in a 32-bit DIB
    int wrong = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const std::uint32_t pixel = pixels[static_cast<std::size_t>(i * scale + scale / 2) * (n * scale) +
                                               j * scale + scale / 2] &
                                        0xFFFFFF;
            if (pixel != (rows[i][j] == '#' ? fore : back)) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0) << "modules in the wrong colour";
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    DeleteEnhMetaFile(metafile);
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

TEST(Paint, MetafileRejections) {
    Symbol symbol(kText);
    for (const MetafileRejection& row : kMetafileRejections) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(qrkit().PaintQRCodeImageEMF(row.nullHandle ? nullptr : symbol.handle(), row.moduleSize,
                                              row.resolution, 0, 0xFFFFFF, 0),
                  nullptr);
        EXPECT_EQ(symbol.references(), 1u);
    }
}

// ---- Clipboard ----------------------------------------------------------------------------------------

// The bytes of the metafile on the clipboard; empty when it holds none.
Bytes clipboardMetafile() {
    Bytes bytes;
    if (!OpenClipboard(nullptr)) return bytes;
    HANDLE data = GetClipboardData(CF_ENHMETAFILE);
    if (data != nullptr) bytes = wintest::metafileBits(static_cast<HENHMETAFILE>(data));
    CloseClipboard();
    return bytes;
}

TEST(Paint, ClipboardHoldsTheMetafile) {
    Symbol first("first");
    Symbol second("second");
    for (const Symbol* symbol : {&first, &second}) {
        ASSERT_EQ(qrkit().PaintQRCodeImageClipboard(symbol->handle(), 25, 300, 0x0000FF, 0xFFFFFF), 0);
        HENHMETAFILE metafile = qrkit().PaintQRCodeImageEMF(symbol->handle(), 25, 300, 0x0000FF, 0xFFFFFF, 0);
        ASSERT_NE(metafile, nullptr);
        const Bytes expected = wintest::metafileBits(metafile);
        DeleteEnhMetaFile(metafile);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(clipboardMetafile(), expected) << "the last symbol is on the clipboard";
        EXPECT_EQ(symbol->references(), 1u);
    }

    const Bytes before = clipboardMetafile();
    for (const MetafileRejection& row : kMetafileRejections) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(qrkit().PaintQRCodeImageClipboard(row.nullHandle ? nullptr : first.handle(), row.moduleSize,
                                                    row.resolution, 0, 0xFFFFFF),
                  8);
        EXPECT_EQ(clipboardMetafile(), before) << "the clipboard is untouched";
    }
}

// While another thread has the clipboard open, the export reports 10 and leaves the clipboard alone.
// Another thread holding the clipboard open until released.
struct ClipboardHolder {
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool held = false;
};

// A Windows thread function, so WINAPI (stdcall on i686, where a lambda would be cdecl).
DWORD WINAPI holdClipboard(void* argument) {
    auto& h = *static_cast<ClipboardHolder*>(argument);
    // The clipboard opened for a window of this thread, as another program would hold it.
    HWND window =
        CreateWindowExA(0, "STATIC", "holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    h.held = window != nullptr && OpenClipboard(window) != FALSE;
    SetEvent(h.opened);
    WaitForSingleObject(h.release, 30000);
    if (h.held) CloseClipboard();
    if (window != nullptr) DestroyWindow(window);
    return 0;
}

TEST(Paint, ClipboardHeldElsewhere) {
    Symbol symbol(kText);
    ASSERT_EQ(qrkit().PaintQRCodeImageClipboard(symbol.handle(), 25, 300, 0, 0xFFFFFF), 0);
    const Bytes before = clipboardMetafile();
    ASSERT_FALSE(before.empty());

    ClipboardHolder holder;
    HANDLE thread = CreateThread(nullptr, 0, holdClipboard, &holder, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(holder.opened, 30000);
    ASSERT_TRUE(holder.held);
    Symbol other("another symbol");
    EXPECT_EQ(qrkit().PaintQRCodeImageClipboard(other.handle(), 25, 300, 0, 0xFFFFFF), 10);
    SetEvent(holder.release);
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
    CloseHandle(holder.opened);
    CloseHandle(holder.release);
    EXPECT_EQ(clipboardMetafile(), before) << "the clipboard is untouched";
    EXPECT_EQ(other.references(), 1u);
}

// ---- Memory exhaustion -------------------------------------------------------------------------------

// Memory runs out at each allocation in turn inside the DLL (qrkit_memtest.dll): each call frees what it
// allocated and gives 11, or 0 with the whole image.
TEST(Paint, MemoryExhaustion) {
    const wintest::Qrkit& q = wintest::memtestQrkit();
    const wintest::AllocationSwitch& allocation = wintest::allocationSwitch();
    QRCODE_RESULT handle = q.QRCodeEncode2(kText, 0, 1);
    ASSERT_NE(handle, nullptr);
    ScratchDir dir("memory");
    const std::string path = dir.file("image");
    for (const FormatRow& row : kFormats) {
        if (row.call.format == 3) continue;  // EPS text: the writer's own allocations, tested natively
        SCOPED_TRACE(row.what);
        RecordingStream reference;
        ASSERT_EQ(paintStream(q, handle, &reference, row.call), 0);
        for (bool toFile : {true, false}) {
            bool succeeded = false;
            for (std::int64_t n = 0; n < 10000 && !succeeded; ++n) {
                SCOPED_TRACE("allocation " + std::to_string(n) + (toFile ? " (file)" : " (stream)"));
                RecordingStream stream;
                stream.data.reserve(1 << 20);
                const std::int64_t live = allocation.liveAllocations();
                allocation.failAllocationAfter(n);
                const std::int32_t result = toFile ? paintFile(q, handle, path.c_str(), row.call)
                                                   : paintStream(q, handle, &stream, row.call);
                const bool failed = allocation.failureHappened() != 0;
                allocation.disarm();
                EXPECT_EQ(allocation.liveAllocations(), live);
                succeeded = !failed;
                if (result == 0) {
                    expectSameImage(toFile ? wintest::readFile(path) : stream.data, reference.data,
                                    row.call.format == 0);
                } else {
                    EXPECT_TRUE(failed);
                    EXPECT_EQ(result, 11);
                }
                if (::testing::Test::HasFailure()) {
                    q.DestroyQRCodeEncodeResult(handle);
                    return;
                }
            }
            EXPECT_TRUE(succeeded);
        }
    }
    for (std::int64_t n = 0; n < 10000; ++n) {
        SCOPED_TRACE("metafile, allocation " + std::to_string(n));
        allocation.failAllocationAfter(n);
        HENHMETAFILE metafile = q.PaintQRCodeImageEMF(handle, 25, 300, 0, 0xFFFFFF, 0);
        const bool failed = allocation.failureHappened() != 0;
        allocation.disarm();
        if (metafile != nullptr) DeleteEnhMetaFile(metafile);
        if (!failed) {
            EXPECT_NE(metafile, nullptr);
            break;
        }
        EXPECT_EQ(metafile, nullptr);
    }
    q.DestroyQRCodeEncodeResult(handle);
}

}  // namespace
