// The two output targets of the paint exports: a file named by path, which replaces its destination
// only once complete, and a buffered stream over a caller's IStream. A writer writes into target.out();
// finish() then reports whether every byte reached the target.
#ifndef QRKIT_IMAGING_STREAM_TARGET_H
#define QRKIT_IMAGING_STREAM_TARGET_H

#include <cstddef>
#include <ios>
#include <memory>
#include <ostream>
#include <streambuf>

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/positioning.hpp>
#include <boost/iostreams/stream.hpp>

#include "platform/istream.h"
#include "platform/replace_file.h"

namespace kelvane2::imaging {

// A seekable Boost.Iostreams device over a caller's IStream. It holds the pointer only: no AddRef, no
// Release. A failing status of the stream raises std::ios_base::failure "Underlying permission error.",
// which turns the stream over the device bad.
class IStreamDevice {
  public:
    using char_type = char;
    using category = boost::iostreams::seekable_device_tag;

    explicit IStreamDevice(platform::IStream* stream) : stream_(stream) {}

    // Writes all n bytes through IStream::Write, calling it again only after a call that succeeded
    // with part of the bytes; a failing status, or success with nothing written, raises the failure.
    std::streamsize write(const char* bytes, std::streamsize n);
    // The count read, or -1 at the end of the stream.
    std::streamsize read(char* buffer, std::streamsize n);
    // The new position; a failing status raises the failure.
    std::streampos seek(boost::iostreams::stream_offset offset, std::ios_base::seekdir direction);

  private:
    platform::IStream* stream_;
};

// Output to a caller's IStream through a 4096-byte buffer with a 4-byte put-back area, starting at the
// stream's current position. The device is seekable, so its input and output share one array of both
// sizes together: a full buffer hands 4100 bytes to Write. Only Write is called on the stream; after a failed
// Write, no further call reaches it.
class StreamTarget {
  public:
    static constexpr std::streamsize kBufferSize = 4096;
    static constexpr std::streamsize kPutBackSize = 4;

    // Throws std::bad_alloc when the buffer cannot be had.
    explicit StreamTarget(platform::IStream* stream);
    StreamTarget(const StreamTarget&) = delete;
    StreamTarget& operator=(const StreamTarget&) = delete;
    ~StreamTarget();

    std::ostream& out() { return stream_; }
    // Writes what is left in the buffer and closes the stream over the device. True when every byte
    // written into out() reached the IStream.
    bool finish();

  private:
    boost::iostreams::stream<IStreamDevice> stream_;
};

// The bytes of a FileTarget: a 64 KB buffer handed to the replacement file when full, on flush and at
// the end. A refused write turns the stream over it bad.
class ReplacementFileBuffer final : public std::streambuf {
  public:
    static constexpr std::size_t kBufferSize = 1 << 16;

    // Throws std::bad_alloc when the buffer cannot be had.
    explicit ReplacementFileBuffer(platform::ReplacementFile& file);

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize n) override;
    int sync() override;

  private:
    // Hands the buffered bytes to the file; false when it refuses them.
    bool drain();

    platform::ReplacementFile& file_;
    std::unique_ptr<char[]> buffer_;
};

// Output to a file named by path, written under a temporary name in the same folder and put in the
// destination's place only when the whole image is written (platform/replace_file.h): a failed paint
// leaves the destination exactly as it was and no file behind. Bytes are written unchanged.
class FileTarget {
  public:
    // Creates the temporary file. Throws std::bad_alloc when memory runs out (nothing is then left).
    explicit FileTarget(const char* path);
    FileTarget(const FileTarget&) = delete;
    FileTarget& operator=(const FileTarget&) = delete;
    // A target neither finished nor discarded is discarded.
    ~FileTarget() = default;

    // False when the file system refused: the destination is not a regular file, its folder is missing
    // or not writable (nothing was created).
    bool isOpen() const { return open_; }
    std::ostream& out() { return stream_; }
    // Writes what is left in the buffer, closes the file and renames it over the destination. True when
    // every byte written into out() reached the file and it replaced the destination; otherwise the
    // file is removed and the destination is as it was.
    bool finish();
    // Removes the file; the destination is as it was.
    void discard();

  private:
    platform::ReplacementFile file_;
    ReplacementFileBuffer buffer_;
    std::ostream stream_;
    bool open_ = false;
};

}  // namespace kelvane2::imaging

#endif
