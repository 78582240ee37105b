#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/input_source.h"

namespace qrkit_cli {

namespace {

// Writes all of bytes to fd; 0, or the errno of the failure.
int writeAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, bytes, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return 0;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

unsigned fileCreationMask() {
    static const unsigned mask = [] {
        const mode_t current = ::umask(0);
        ::umask(current);
        return static_cast<unsigned>(current);
    }();
    return mask;
}

bool writeStandardOutput(std::string_view bytes, std::string* error) {
    if (standardOutputClosed()) {
        *error = "cannot write to standard output: it is closed";
        return false;
    }
    const int failure = writeAll(STDOUT_FILENO, bytes.data(), bytes.size());
    if (failure != 0) *error = std::string("cannot write to standard output: ") + std::strerror(failure);
    return failure == 0;
}

bool makeFoldersFor(const std::string& path, std::string* error) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) return true;
    std::error_code code;
    if (std::filesystem::is_directory(folder, code)) return true;
    std::filesystem::create_directories(folder, code);
    if (!code) return true;
    // Name the part of the path that stands in the way, with the system's reason.
    std::filesystem::path made;
    for (const std::filesystem::path& part : folder) {
        made /= part;
        if (std::filesystem::is_directory(made)) continue;
        std::error_code partCode;
        std::filesystem::create_directory(made, partCode);
        if (partCode) {
            *error = "cannot make the folder " + made.string() + ": " + partCode.message();
            return false;
        }
    }
    *error = "cannot make the folder " + folder.string() + ": " + code.message();
    return false;
}

std::int32_t DescriptorStream::QueryInterface(const kelvane2::InterfaceId& iid, void** object) {
    if (object == nullptr) return kp::STG_E_INVALIDPOINTER;
    if (iid == kelvane2::IID_IObjectBase || iid == kp::IID_ISequentialStream || iid == kp::IID_IStream) {
        *object = this;
        return kelvane2::kStatusOk;
    }
    *object = nullptr;
    return static_cast<std::int32_t>(0x80004002u);  // E_NOINTERFACE
}

kp::HRESULT DescriptorStream::Read(void*, kp::ULONG, kp::ULONG* read) {
    if (read != nullptr) *read = 0;
    return kp::E_NOTIMPL;
}

kp::HRESULT DescriptorStream::Write(const void* buffer, kp::ULONG size, kp::ULONG* written) {
    if (written != nullptr) *written = 0;
    if (errno_ == 0) errno_ = writeAll(fd_, static_cast<const char*>(buffer), size);
    if (errno_ != 0) return errno_ == ENOSPC ? kp::STG_E_MEDIUMFULL : kp::STG_E_WRITEFAULT;
    if (written != nullptr) *written = size;
    return kp::S_OK;
}

kp::HRESULT DescriptorStream::Seek(kp::LARGE_INTEGER, kp::DWORD, kp::ULARGE_INTEGER*) {
    return kp::E_NOTIMPL;
}
kp::HRESULT DescriptorStream::SetSize(kp::ULARGE_INTEGER) {
    return kp::E_NOTIMPL;
}
kp::HRESULT DescriptorStream::CopyTo(kp::IStream*, kp::ULARGE_INTEGER, kp::ULARGE_INTEGER*,
                                     kp::ULARGE_INTEGER*) {
    return kp::E_NOTIMPL;
}
kp::HRESULT DescriptorStream::Commit(kp::DWORD) {
    return kp::S_OK;
}
kp::HRESULT DescriptorStream::Revert() {
    return kp::E_NOTIMPL;
}
kp::HRESULT DescriptorStream::LockRegion(kp::ULARGE_INTEGER, kp::ULARGE_INTEGER, kp::DWORD) {
    return kp::E_NOTIMPL;
}
kp::HRESULT DescriptorStream::UnlockRegion(kp::ULARGE_INTEGER, kp::ULARGE_INTEGER, kp::DWORD) {
    return kp::E_NOTIMPL;
}
kp::HRESULT DescriptorStream::Stat(kp::STATSTG*, kp::DWORD) {
    return kp::E_NOTIMPL;
}
kp::HRESULT DescriptorStream::Clone(kp::IStream** copy) {
    if (copy != nullptr) *copy = nullptr;
    return kp::E_NOTIMPL;
}

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), target_(path_) {}

ReplacingFile::~ReplacingFile() {
    delete stream_;
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ReplacingFile::open(std::string* error) {
    struct stat existing {};
    const bool exists = ::stat(path_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        *error = "cannot write " + path_ + ": it is a folder";
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a pipe: written in place (never replaced), without waiting for a reader.
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) {
            *error = "cannot write " + path_ + ": " +
                     (errno == ENXIO ? std::string("no process reads the pipe") : std::strerror(errno));
            return false;
        }
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        stream_ = new DescriptorStream(fd_);
        return true;
    }
    if (exists) {
        // A symbolic link stays a link: the file it names is replaced.
        char resolved[PATH_MAX];
        if (::realpath(path_.c_str(), resolved) != nullptr) target_ = resolved;
    }
    std::string folder = folderOf(target_);
    std::string base =
        target_.substr(target_.find_last_of('/') == std::string::npos ? 0 : target_.find_last_of('/') + 1);
    if (base.size() > 200) base.resize(200);  // room for the suffix within a name's 255 bytes
    std::string pattern = (folder == "/" ? std::string("/") : folder + "/") + "." + base + ".XXXXXX";
    fd_ = ::mkostemp(&pattern[0], O_CLOEXEC);
    if (fd_ < 0) {
        *error = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    temporary_ = pattern;
    const mode_t mode =
        exists ? (existing.st_mode & 07777) : (0666 & ~static_cast<mode_t>(fileCreationMask()));
    ::fchmod(fd_, mode);
    stream_ = new DescriptorStream(fd_);
    return true;
}

bool ReplacingFile::commit(std::string* error) {
    if (stream_ != nullptr && stream_->failure() != 0) {
        *error = "cannot write " + path_ + ": " + std::strerror(stream_->failure());
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        *error = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    if (!temporary_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        *error = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace qrkit_cli
