#include "imaging/stream_target.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kelvane2::imaging {

namespace {

// A failing status (FAILED, a macro on Windows).
bool failed(platform::HRESULT status) {
    return status < 0;
}

[[noreturn]] void raiseFailure() {
    throw std::ios_base::failure("Underlying permission error.");
}

// The part of a positive count that one IStream call can take. The comparison is made in 64 bits: a
// std::streamsize is 32 bits wide on 32-bit targets, where the largest ULONG does not fit it.
platform::ULONG callSize(std::streamsize count) {
    constexpr std::uint64_t kLargest = std::numeric_limits<platform::ULONG>::max();
    const auto wanted = static_cast<std::uint64_t>(count);
    return static_cast<platform::ULONG>(std::min(wanted, kLargest));
}

}  // namespace

std::streamsize IStreamDevice::write(const char* bytes, std::streamsize n) {
    std::streamsize done = 0;
    while (done < n) {
        const platform::ULONG chunk = callSize(n - done);
        platform::ULONG written = 0;
        const platform::HRESULT status = stream_->Write(bytes + done, chunk, &written);
        if (failed(status) || written == 0) raiseFailure();
        // A stream that reports more than it was given is taken to have written what it was given.
        done += static_cast<std::streamsize>(std::min(written, chunk));
    }
    return n;
}

std::streamsize IStreamDevice::read(char* buffer, std::streamsize n) {
    const platform::ULONG chunk = callSize(n);
    platform::ULONG count = 0;
    const platform::HRESULT status = stream_->Read(buffer, chunk, &count);
    if (failed(status)) raiseFailure();
    return count == 0 ? -1 : static_cast<std::streamsize>(std::min(count, chunk));
}

std::streampos IStreamDevice::seek(boost::iostreams::stream_offset offset, std::ios_base::seekdir direction) {
    platform::DWORD origin = platform::STREAM_SEEK_SET;
    if (direction == std::ios_base::cur) origin = platform::STREAM_SEEK_CUR;
    if (direction == std::ios_base::end) origin = platform::STREAM_SEEK_END;
    platform::LARGE_INTEGER move;
    move.QuadPart = offset;
    platform::ULARGE_INTEGER position;
    position.QuadPart = 0;
    if (failed(stream_->Seek(move, origin, &position))) raiseFailure();
    return boost::iostreams::offset_to_position(
        static_cast<boost::iostreams::stream_offset>(position.QuadPart));
}

StreamTarget::StreamTarget(platform::IStream* stream)
    : stream_(IStreamDevice(stream), kBufferSize, kPutBackSize) {}

StreamTarget::~StreamTarget() {
    // A stream that went bad still holds the bytes its device refused: closing would offer them to
    // the IStream once more.
    if (stream_.is_open() && !stream_.good()) stream_.set_auto_close(false);
}

bool StreamTarget::finish() {
    if (!stream_.is_open()) return false;
    stream_.flush();
    if (!stream_.good()) return false;
    try {
        stream_.close();
    } catch (...) {
        return false;
    }
    return true;
}

ReplacementFileBuffer::ReplacementFileBuffer(platform::ReplacementFile& file)
    : file_(file), buffer_(new char[kBufferSize]) {
    setp(buffer_.get(), buffer_.get() + kBufferSize);
}

bool ReplacementFileBuffer::drain() {
    const std::size_t count = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.get(), buffer_.get() + kBufferSize);
    return count == 0 || file_.write(buffer_.get(), count);
}

ReplacementFileBuffer::int_type ReplacementFileBuffer::overflow(int_type c) {
    if (!drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize ReplacementFileBuffer::xsputn(const char* bytes, std::streamsize n) {
    const auto room = static_cast<std::streamsize>(epptr() - pptr());
    if (n <= room) {
        std::copy(bytes, bytes + n, pptr());
        pbump(static_cast<int>(n));
        return n;
    }
    // More than the buffer holds: what is buffered first, then the bytes themselves.
    if (!drain()) return 0;
    if (n < static_cast<std::streamsize>(kBufferSize)) {
        std::copy(bytes, bytes + n, pptr());
        pbump(static_cast<int>(n));
        return n;
    }
    return file_.write(bytes, static_cast<std::size_t>(n)) ? n : 0;
}

int ReplacementFileBuffer::sync() {
    return drain() ? 0 : -1;
}

FileTarget::FileTarget(const char* path) : buffer_(file_), stream_(&buffer_) {
    open_ = file_.open(path);
    if (!open_) stream_.setstate(std::ios_base::badbit);
}

bool FileTarget::finish() {
    if (!open_) return false;
    open_ = false;
    stream_.flush();
    if (!stream_.good()) {
        file_.discard();
        return false;
    }
    return file_.commit();
}

void FileTarget::discard() {
    open_ = false;
    file_.discard();
}

}  // namespace kelvane2::imaging
