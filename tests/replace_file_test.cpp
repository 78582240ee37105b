// Nothing lost when a paint fails: a file destination is replaced only by a whole image, written under a
// temporary name in its folder; writes that fail half-way (a file-size limit in a child process),
// memory that runs out at any allocation and destinations that are not regular files leave the
// destination exactly as it was and no file behind. Permission bits are kept; the stream targets keep
// their contract (a stream that fails half-way receives no further call).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "paint_test_support.h"
#include "platform/replace_file.h"
#include "qrkit/qrkit.h"
#include "qrkit/qrkit_paint.h"
#include "support/alloc_failure.h"

namespace {

using painttest::ScratchDir;
using painttest::TestStream;
namespace fs = std::filesystem;

enum Kind { kRaster, kVector };

struct Format {
    const char* name;
    Kind kind;
    int moduleSize;
    int format;
};

// On a version 10 symbol every image is a few kilobytes, on version 25 more than 4 KB.
const Format kFormats[] = {
    {"PNG", kRaster, 8, 0},        {"BMP", kRaster, 4, 4},  {"SVG", kVector, 50, 1},
    {"EMF bytes", kVector, 50, 2}, {"EPS", kVector, 50, 3},
};

std::int32_t paintFile(QRCODE_RESULT handle, const std::string& path, const Format& f) {
    return f.kind == kRaster
               ? PaintQRCodeImageRaster(handle, path.c_str(), f.moduleSize, 0, 0xFFFFFF, f.format)
               : PaintQRCodeImageVector(handle, path.c_str(), f.moduleSize, 300, 0, 0xFFFFFF, f.format);
}

std::int32_t paintStream(QRCODE_RESULT handle, TestStream& stream, const Format& f) {
    return f.kind == kRaster
               ? PaintQRCodeImageRaster2(handle, &stream, f.moduleSize, 0, 0xFFFFFF, f.format)
               : PaintQRCodeImageVector2(handle, &stream, f.moduleSize, 300, 0, 0xFFFFFF, f.format);
}

// The names in a folder, sorted.
std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> oldContent() {
    std::vector<std::uint8_t> bytes(10000);
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<std::uint8_t>(k * 7);
    return bytes;
}

mode_t permissions(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

class Symbol {
  public:
    explicit Symbol(const char* text, int version = 10) : handle_(QRCodeEncode2(text, version, 1)) {
        EXPECT_NE(handle_, nullptr);
    }
    Symbol(const Symbol&) = delete;
    Symbol& operator=(const Symbol&) = delete;
    ~Symbol() { DestroyQRCodeEncodeResult(handle_); }
    QRCODE_RESULT handle() const { return handle_; }

  private:
    QRCODE_RESULT handle_;
};

// The image a stream export writes (the file export writes the same bytes; a PNG differs in its time
// chunk, so PNGs are compared by size and signature).
std::vector<std::uint8_t> reference(QRCODE_RESULT handle, const Format& f) {
    TestStream stream;
    EXPECT_EQ(paintStream(handle, stream, f), 0);
    return stream.data;
}

void expectImage(const std::vector<std::uint8_t>& written, const std::vector<std::uint8_t>& expected,
                 const Format& f) {
    if (f.format == 0) {
        ASSERT_EQ(written.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 8, written.begin()));
    } else {
        EXPECT_EQ(written, expected);
    }
}

TEST(ReplaceFile, AWholeImageReplacesTheDestination) {
    Symbol symbol("REPLACED WHOLE");
    ScratchDir dir("replace-whole");
    const std::string path = dir.file("image");
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        painttest::writeBytes(path, oldContent());
        ASSERT_EQ(paintFile(symbol.handle(), path, f), 0);
        expectImage(painttest::readBytes(path), reference(symbol.handle(), f), f);
        EXPECT_EQ(entries(dir.file("")), std::vector<std::string>{"image"}) << "no temporary file left";
        // And a new file where there was none.
        fs::remove(path);
        ASSERT_EQ(paintFile(symbol.handle(), path, f), 0);
        expectImage(painttest::readBytes(path), reference(symbol.handle(), f), f);
    }
}

TEST(ReplaceFile, PermissionBitsAreKept) {
    Symbol symbol("PERMISSIONS");
    ScratchDir dir("replace-permissions");
    const std::string path = dir.file("image.png");
    const Format& png = kFormats[0];
    for (mode_t mode : {0640, 0604, 0755, 0600, 0664}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        painttest::writeBytes(path, oldContent());
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_EQ(paintFile(symbol.handle(), path, png), 0);
        EXPECT_EQ(permissions(path), mode);
    }
    // A new file gets what the process's umask leaves of 0666, as any newly created file.
    for (mode_t mask : {022, 077, 002}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        fs::remove(path);
        const mode_t saved = ::umask(mask);
        const std::int32_t code = paintFile(symbol.handle(), path, png);
        ::umask(saved);
        ASSERT_EQ(code, 0);
        EXPECT_EQ(permissions(path), 0666 & ~mask);
    }
}

// Destinations that are not regular files: refused with 10 at once, left as they were, nothing created.
TEST(ReplaceFile, OnlyRegularFilesAreReplaced) {
    Symbol symbol("NOT A FILE", 1);
    ScratchDir dir("replace-kinds");
    const std::string target = dir.file("target");
    painttest::writeBytes(target, oldContent());
    ASSERT_EQ(::symlink("target", dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink("absent", dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    fs::create_directory(dir.file("folder"));
    const std::vector<std::string> before = entries(dir.file(""));
    const struct {
        const char* name;
        std::string path;
    } rows[] = {
        {"a symbolic link to a file", dir.file("link")},
        {"a dangling symbolic link", dir.file("dangling")},
        {"a FIFO without reader (never waited on)", dir.file("fifo")},
        {"a directory", dir.file("folder")},
        {"a path ending in a slash", dir.file("folder") + "/"},
        {"a character device", "/dev/null"},
        {"an empty path", ""},
    };
    for (const auto& row : rows) {
        for (const Format& f : kFormats) {
            SCOPED_TRACE(std::string(row.name) + ", " + f.name);
            EXPECT_EQ(paintFile(symbol.handle(), row.path, f), 10);
        }
    }
    EXPECT_EQ(entries(dir.file("")), before) << "nothing created, nothing removed";
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_TRUE(fs::is_symlink(dir.file("dangling")));
    EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_TRUE(fs::is_empty(dir.file("folder")));
    EXPECT_EQ(painttest::readBytes(target), oldContent()) << "never written through the link";
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// Runs a paint in a child process as the user nobody (when this one is root, who may write any file)
// and returns the export's result.
int paintAsOtherUser(QRCODE_RESULT handle, const std::string& path, const Format& f) {
    if (::geteuid() != 0) return paintFile(handle, path, f);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        ::_exit(paintFile(handle, path, f));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A file the process may not write is refused, as opening it for writing is.
TEST(ReplaceFile, ReadOnlyFilesAreRefused) {
    Symbol symbol("READ ONLY", 1);
    ScratchDir dir("replace-read-only");
    ASSERT_EQ(::chmod(dir.file("").c_str(), 0777), 0) << "a folder anyone may write";
    const std::string path = dir.file("image");
    painttest::writeBytes(path, oldContent());
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(paintAsOtherUser(symbol.handle(), path, f), 10);
        EXPECT_EQ(permissions(path), 0444u);
        EXPECT_EQ(painttest::readBytes(path), oldContent());
        EXPECT_EQ(entries(dir.file("")), std::vector<std::string>{"image"});
    }
    // A file the process may write, in the same folder, is replaced.
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    EXPECT_EQ(paintAsOtherUser(symbol.handle(), path, kFormats[1]), 0);
    EXPECT_EQ(painttest::readBytes(path), reference(symbol.handle(), kFormats[1]));
    EXPECT_EQ(permissions(path), 0666u);
}

TEST(ReplaceFile, AnotherLinkKeepsTheOldContent) {
    Symbol symbol("HARD LINK", 1);
    ScratchDir dir("replace-links");
    painttest::writeBytes(dir.file("image"), oldContent());
    ASSERT_EQ(::link(dir.file("image").c_str(), dir.file("other").c_str()), 0);
    ASSERT_EQ(paintFile(symbol.handle(), dir.file("image"), kFormats[1]), 0);
    EXPECT_EQ(painttest::readBytes(dir.file("image")), reference(symbol.handle(), kFormats[1]));
    EXPECT_EQ(painttest::readBytes(dir.file("other")), oldContent());
}

// Runs a paint in a child process whose files may not grow beyond limit bytes (SIGXFSZ ignored, so a
// write beyond it fails with EFBIG, as on a full disk); returns the export's result.
int paintWithSizeLimit(QRCODE_RESULT handle, const std::string& path, const Format& f, rlim_t limit) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit size{};
        ::getrlimit(RLIMIT_FSIZE, &size);
        size.rlim_cur = limit;
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0) ::_exit(99);
        ::_exit(paintFile(handle, path, f));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(ReplaceFile, WritesThatFailHalfWayLoseNothing) {
    Symbol symbol("A WRITE THAT FAILS HALF-WAY LEAVES THE OLD FILE", 25);
    ScratchDir dir("replace-half-way");
    const std::string path = dir.file("image");
    for (const Format& f : kFormats) {
        const std::size_t size = reference(symbol.handle(), f).size();
        ASSERT_GT(size, 4096u) << f.name;
        // Limits at the first byte, in the middle, one byte short; and one that lets the image through.
        for (rlim_t limit : {rlim_t{0}, rlim_t{1024}, rlim_t{size / 2}, rlim_t{size - 1}, rlim_t{size}}) {
            SCOPED_TRACE(std::string(f.name) + ", file size limit " + std::to_string(limit) + " of " +
                         std::to_string(size));
            painttest::writeBytes(path, oldContent());
            const int code = paintWithSizeLimit(symbol.handle(), path, f, limit);
            EXPECT_EQ(entries(dir.file("")), std::vector<std::string>{"image"}) << "no temporary file left";
            if (limit >= size) {
                EXPECT_EQ(code, 0);
                EXPECT_EQ(painttest::readBytes(path).size(), size);
                continue;
            }
            EXPECT_EQ(code, 10);
            EXPECT_EQ(painttest::readBytes(path), oldContent()) << "the destination is as it was";
            // Without a destination, nothing is created.
            fs::remove(path);
            EXPECT_EQ(paintWithSizeLimit(symbol.handle(), path, f, limit), 10);
            EXPECT_TRUE(entries(dir.file("")).empty());
        }
    }
}

// The stream path fails half-way through the caller's IStream: the export reports 10, the stream got
// the bytes it accepted and no call after the one that failed.
TEST(ReplaceFile, StreamsThatFailHalfWay) {
    Symbol symbol("A STREAM THAT FAILS HALF-WAY", 25);
    for (const Format& f : kFormats) {
        const std::vector<std::uint8_t> whole = reference(symbol.handle(), f);
        TestStream counting;
        ASSERT_EQ(paintStream(symbol.handle(), counting, f), 0);
        ASSERT_GE(counting.writeCalls, 2) << f.name;
        for (int failFrom : {2, counting.writeCalls / 2 + 1, counting.writeCalls}) {
            SCOPED_TRACE(std::string(f.name) + ", Write fails from call " + std::to_string(failFrom) +
                         " of " + std::to_string(counting.writeCalls));
            TestStream stream;
            stream.failFrom = failFrom;
            EXPECT_EQ(paintStream(symbol.handle(), stream, f), 10);
            EXPECT_EQ(stream.writeCalls, failFrom) << "no call after the failed one";
            EXPECT_EQ(stream.otherCalls, 0);
            ASSERT_LT(stream.data.size(), whole.size());
            if (f.format != 0) {
                EXPECT_TRUE(std::equal(stream.data.begin(), stream.data.end(), whole.begin()));
            }
        }
    }
}

// Memory runs out at every allocation in turn: 11 and the destination as it was, or 0 and the image.
TEST(ReplaceFile, MemoryExhaustionLosesNothing) {
    Symbol symbol("MEMORY", 1);
    ScratchDir dir("replace-memory");
    const std::string path = dir.file("image");
    for (const Format& f : kFormats) {
        const std::vector<std::uint8_t> whole = reference(symbol.handle(), f);
        bool succeeded = false;
        for (std::int64_t n = 0; n < 10000 && !succeeded; ++n) {
            SCOPED_TRACE(std::string(f.name) + ", allocation " + std::to_string(n));
            painttest::writeBytes(path, oldContent());
            const std::int64_t live = qrkit_test::liveAllocations();
            qrkit_test::failAllocationAfter(n);
            const std::int32_t code = paintFile(symbol.handle(), path, f);
            const bool failed = qrkit_test::allocationFailureHappened();
            qrkit_test::disarmAllocationFailure();
            EXPECT_EQ(qrkit_test::liveAllocations(), live);
            EXPECT_EQ(entries(dir.file("")), std::vector<std::string>{"image"});
            succeeded = !failed;
            if (failed) {
                EXPECT_EQ(code, 11);
                EXPECT_EQ(painttest::readBytes(path), oldContent());
            } else {
                EXPECT_EQ(code, 0);
                expectImage(painttest::readBytes(path), whole, f);
            }
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_TRUE(succeeded) << f.name;
    }
}

// Painters on several threads replace one destination: it always holds one whole image.
TEST(ReplaceFile, ConcurrentPaintersLeaveOneWholeImage) {
    ScratchDir dir("replace-threads");
    const std::string path = dir.file("image.bmp");
    const char* const texts[] = {"FIRST", "SECOND", "THIRD", "FOURTH"};
    std::vector<std::vector<std::uint8_t>> images;
    std::vector<QRCODE_RESULT> handles;
    for (const char* text : texts) {
        handles.push_back(QRCodeEncode2(text, 2, 0));
        images.push_back(reference(handles.back(), kFormats[1]));
    }
    std::vector<std::thread> threads;
    std::vector<int> failures(handles.size(), 0);
    for (std::size_t t = 0; t < handles.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 25; ++k) {
                if (paintFile(handles[t], path, kFormats[1]) != 0) ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int count : failures)
        EXPECT_EQ(count, 0);
    const std::vector<std::uint8_t> written = painttest::readBytes(path);
    EXPECT_NE(std::find(images.begin(), images.end(), written), images.end()) << "one whole image";
    EXPECT_EQ(entries(dir.file("")), std::vector<std::string>{"image.bmp"});
    for (QRCODE_RESULT handle : handles)
        DestroyQRCodeEncodeResult(handle);
}

TEST(ReplaceFile, ReplacementFileItself) {
    ScratchDir dir("replace-unit");
    const std::string path = dir.file("file");
    namespace platform = kelvane2::platform;
    {
        platform::ReplacementFile file;
        ASSERT_TRUE(file.open(path.c_str()));
        EXPECT_EQ(entries(dir.file("")).size(), 1u) << "the temporary file";
        EXPECT_NE(entries(dir.file(""))[0].find(".qrkit-"), std::string::npos);
        ASSERT_TRUE(file.write("abc", 3));
        file.discard();
        EXPECT_TRUE(entries(dir.file("")).empty()) << "discarded";
        EXPECT_FALSE(file.commit()) << "nothing left to commit";
    }
    {
        platform::ReplacementFile file;
        ASSERT_TRUE(file.open(path.c_str()));
        ASSERT_TRUE(file.write("abc", 3));
    }
    EXPECT_TRUE(entries(dir.file("")).empty()) << "an uncommitted file goes with its object";
    {
        platform::ReplacementFile file;
        ASSERT_TRUE(file.open(path.c_str()));
        ASSERT_TRUE(file.write("new", 3));
        ASSERT_TRUE(file.commit());
        EXPECT_FALSE(file.isOpen());
    }
    EXPECT_EQ(painttest::readBytes(path), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    platform::ReplacementFile missing;
    EXPECT_FALSE(missing.open(dir.file("absent/file").c_str()));
    EXPECT_FALSE(missing.open(nullptr));
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(missing.write("x", 1));
}

}  // namespace
