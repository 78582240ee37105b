#include "imaging/stream_target.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "paint_test_support.h"

namespace {

using kelvane2::imaging::FileTarget;
using kelvane2::imaging::IStreamDevice;
using kelvane2::imaging::StreamTarget;
using painttest::TestStream;
namespace platform = kelvane2::platform;

std::string pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t k = 0; k < size; ++k)
        text[k] = static_cast<char>('a' + k % 26);
    return text;
}

// The seekable device's input and output share one array of 4096 bytes plus the 4-byte put-back area,
// so a full buffer hands 4100 bytes to Write.
TEST(StreamTargetTest, BuffersWrites) {
    struct Row {
        const char* what;
        std::size_t bytes;
        int flushes;  // explicit flushes after every write of 100 bytes (0: none)
        std::vector<platform::ULONG> writeSizes;
    };
    const std::vector<Row> rows = {
        {"nothing written: no call", 0, 0, {}},
        {"less than a buffer: one call at close", 100, 0, {100}},
        {"exactly one buffer", 4100, 0, {4100}},
        {"10000 bytes", 10000, 0, {4100, 4100, 1800}},
        {"every flush hands its bytes over", 500, 1, {100, 100, 100, 100, 100}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestStream stream;
        const std::string text = pattern(row.bytes);
        {
            StreamTarget target(&stream);
            for (std::size_t at = 0; at < text.size(); at += 100) {
                target.out().write(text.data() + at, static_cast<std::streamsize>(
                                                         std::min<std::size_t>(100, text.size() - at)));
                if (row.flushes) target.out().flush();
            }
            EXPECT_TRUE(target.finish());
        }
        EXPECT_EQ(stream.text(), text);
        EXPECT_EQ(stream.writeSizes, row.writeSizes);
        EXPECT_EQ(stream.otherCalls, 0) << "only Write is called: no AddRef, Release, Seek or Commit";
    }
}

TEST(StreamTargetTest, OutputFollowsExistingContent) {
    TestStream stream;
    stream.preload("existing;");
    StreamTarget target(&stream);
    target.out() << "image";
    ASSERT_TRUE(target.finish());
    EXPECT_EQ(stream.text(), "existing;image");
    EXPECT_EQ(stream.position, stream.data.size());
}

TEST(StreamTargetTest, FailedWriteStopsAllFurtherCalls) {
    struct Row {
        const char* what;
        int failFrom;
        std::size_t bytes;
        bool flushEachLine;
        int writeCalls;
        std::size_t delivered;
    };
    const std::vector<Row> rows = {
        {"first call fails at close", 1, 100, false, 1, 0},
        {"first call fails when the buffer fills", 1, 20000, false, 1, 0},
        {"first flush fails", 1, 1000, true, 1, 0},
        {"second call fails", 2, 20000, false, 2, 4100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestStream stream;
        stream.failFrom = row.failFrom;
        const std::string text = pattern(row.bytes);
        bool finished = true;
        {
            StreamTarget target(&stream);
            for (std::size_t at = 0; at < text.size(); at += 100) {
                target.out().write(text.data() + at, 100);
                if (row.flushEachLine) target.out().flush();
            }
            finished = target.finish();
            EXPECT_FALSE(target.out().good());
        }
        EXPECT_FALSE(finished);
        EXPECT_EQ(stream.writeCalls, row.writeCalls);
        EXPECT_EQ(stream.data.size(), row.delivered);
        EXPECT_EQ(stream.otherCalls, 0);
    }
}

TEST(StreamTargetTest, ShortWritesAreCompleted) {
    TestStream stream;
    stream.chunk = 1000;
    const std::string text = pattern(5000);
    StreamTarget target(&stream);
    target.out() << text;
    ASSERT_TRUE(target.finish());
    EXPECT_EQ(stream.text(), text);
    EXPECT_EQ(stream.writeSizes, (std::vector<platform::ULONG>{4100, 3100, 2100, 1100, 100, 900}));
}

TEST(StreamTargetTest, WriteThatMakesNoProgressFails) {
    TestStream stream;
    stream.chunk = 0;
    stream.failFrom = 1;
    stream.failure = platform::S_OK;  // succeeds, but writes nothing
    StreamTarget target(&stream);
    target.out() << "abc";
    EXPECT_FALSE(target.finish());
    EXPECT_EQ(stream.writeCalls, 1);
}

// Each call is asked for exactly the bytes at hand. (A std::streamsize is 32 bits wide on 32-bit targets:
// there the largest ULONG, taken as a streamsize, was -1, and Write was asked for 4 GB from a buffer of a
// few bytes.)
TEST(StreamTargetTest, DeviceAsksForTheBytesAtHand) {
    struct Row {
        const char* what;
        std::size_t bytes;
        platform::ULONG claim;  // what Write reports (0: the truth)
    };
    const Row rows[] = {
        {"one byte", 1, 0},
        {"a full buffer", 4100, 0},
        {"100000 bytes", 100000, 0},
        {"a stream that claims 4 GB written takes one call", 100, 0xFFFFFFFFu},
        {"a stream that claims one more than it was given", 100, 101},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestStream stream;
        stream.claim = row.claim;
        IStreamDevice device(&stream);
        const std::string text = pattern(row.bytes);
        EXPECT_EQ(device.write(text.data(), static_cast<std::streamsize>(text.size())),
                  static_cast<std::streamsize>(text.size()));
        EXPECT_EQ(stream.writeSizes, (std::vector<platform::ULONG>{static_cast<platform::ULONG>(row.bytes)}));
        EXPECT_EQ(stream.text(), text);

        char buffer[64];
        EXPECT_THROW(device.read(buffer, sizeof buffer), std::ios_base::failure) << "the stream refuses Read";
        EXPECT_EQ(stream.readSizes, (std::vector<platform::ULONG>{64}));
    }
}

TEST(StreamTargetTest, DeviceRaisesTheUnderlyingFailure) {
    TestStream stream;
    stream.failFrom = 1;
    stream.failure = platform::STG_E_ACCESSDENIED;
    IStreamDevice device(&stream);
    try {
        device.write("x", 1);
        FAIL() << "no failure raised";
    } catch (const std::ios_base::failure& failure) {
        EXPECT_NE(std::string(failure.what()).find("Underlying permission error."), std::string::npos);
    }
}

// ---- Files --------------------------------------------------------------------------------------------

TEST(FileTargetTest, ReplacesAnExistingFile) {
    painttest::ScratchDir dir("file-target");
    const std::string path = dir.file("image.bin");
    painttest::writeBytes(path, std::vector<std::uint8_t>(10000, 'x'));
    FileTarget target(path.c_str());
    ASSERT_TRUE(target.isOpen());
    target.out() << "new\r\nbytes\n";
    ASSERT_TRUE(target.finish());
    const std::vector<std::uint8_t> bytes = painttest::readBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new\r\nbytes\n") << "binary: no line-end translation";
}

TEST(FileTargetTest, MissingDirectoryCreatesNothing) {
    painttest::ScratchDir dir("file-target-missing");
    const std::string path = dir.file("absent/image.bin");
    FileTarget target(path.c_str());
    EXPECT_FALSE(target.isOpen());
    EXPECT_FALSE(target.finish());
    EXPECT_FALSE(std::filesystem::exists(dir.file("absent")));
}

// A device is not a regular file: it is refused at once, never opened or written (write failures of a
// regular file are in replace_file_test.cpp).
TEST(FileTargetTest, FullDeviceIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    FileTarget target("/dev/full");
    EXPECT_FALSE(target.isOpen());
    target.out() << pattern(100000);
    EXPECT_FALSE(target.finish());
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

}  // namespace
