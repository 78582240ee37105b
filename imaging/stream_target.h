// The two output targets of the paint exports: a file named by path, and a buffered stream over a
// caller's IStream. A writer writes into target.out(); finish() then reports whether every byte reached
// the target.
#ifndef QRKIT_IMAGING_STREAM_TARGET_H
#define QRKIT_IMAGING_STREAM_TARGET_H

#include <fstream>
#include <ios>
#include <ostream>

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/positioning.hpp>
#include <boost/iostreams/stream.hpp>

#include "platform/istream.h"

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

// Output to a file opened for binary writing: an existing file is truncated, a missing one created.
class FileTarget {
  public:
    explicit FileTarget(const char* path);

    // False when the file could not be opened (nothing was created).
    bool isOpen() const { return file_.is_open(); }
    std::ostream& out() { return file_; }
    // Flushes and closes the file. True when every byte written into out() reached the file.
    bool finish();

  private:
    std::ofstream file_;
};

}  // namespace kelvane2::imaging

#endif
