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

FileTarget::FileTarget(const char* path) {
    file_.open(path, std::ios_base::out | std::ios_base::binary | std::ios_base::trunc);
}

bool FileTarget::finish() {
    if (!file_.is_open()) return false;
    file_.flush();
    const bool written = file_.good();
    file_.close();
    return written && !file_.fail();
}

}  // namespace kelvane2::imaging
