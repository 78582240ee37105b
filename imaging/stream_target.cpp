#include "imaging/stream_target.h"

#include <algorithm>
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

}  // namespace

std::streamsize IStreamDevice::write(const char* bytes, std::streamsize n) {
    std::streamsize done = 0;
    while (done < n) {
        const platform::ULONG chunk = static_cast<platform::ULONG>(
            std::min<std::streamsize>(n - done, std::numeric_limits<platform::ULONG>::max()));
        platform::ULONG written = 0;
        const platform::HRESULT status = stream_->Write(bytes + done, chunk, &written);
        if (failed(status) || written == 0) raiseFailure();
        done += std::min<std::streamsize>(written, chunk);
    }
    return n;
}

std::streamsize IStreamDevice::read(char* buffer, std::streamsize n) {
    const platform::ULONG chunk = static_cast<platform::ULONG>(
        std::min<std::streamsize>(n, std::numeric_limits<platform::ULONG>::max()));
    platform::ULONG count = 0;
    const platform::HRESULT status = stream_->Read(buffer, chunk, &count);
    if (failed(status)) raiseFailure();
    return count == 0 ? -1 : static_cast<std::streamsize>(count);
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
