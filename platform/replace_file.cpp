#include "platform/replace_file.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#endif

namespace kelvane2::platform {

namespace {

// Temporary names tried before giving up: each collides only with a leftover of the same name.
constexpr int kNameAttempts = 100;

std::atomic<std::uint32_t> gNameCounter{0};

// 64 bits that differ from call to call and from process to process (the process number, a counter,
// the clock), mixed so that neighbouring calls give unrelated names.
std::uint64_t uniqueNumber(std::uint64_t process, std::uint64_t clock) {
    std::uint64_t x = (process << 32) ^ (static_cast<std::uint64_t>(gNameCounter.fetch_add(1)) << 12) ^ clock;
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// ".qrkit-" with 16 hexadecimal digits and ".tmp": a hidden name that says who left it.
void temporaryName(std::uint64_t number, char (&name)[32]) {
    std::snprintf(name, sizeof name, ".qrkit-%016llx.tmp", static_cast<unsigned long long>(number));
}

}  // namespace

#if defined(_WIN32)

namespace {

// The narrow path as the system's narrow file calls read it (the ANSI or OEM code page); empty when it
// does not convert.
std::wstring widen(const char* path) {
    const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const int units = MultiByteToWideChar(codePage, 0, path, -1, nullptr, 0);
    if (units <= 1) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(codePage, 0, path, -1, &wide[0], units) != units) return std::wstring();
    wide.resize(static_cast<std::size_t>(units - 1));
    return wide;
}

// The attributes a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

ReplacementFile::~ReplacementFile() {
    discard();
}

bool ReplacementFile::isOpen() const {
    return handle_ != nullptr;
}

bool ReplacementFile::open(const char* path) {
    discard();
    if (path == nullptr || *path == '\0') return false;
    std::wstring destination = widen(path);
    if (destination.empty()) return false;
    const DWORD attributes = GetFileAttributesW(destination.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // Not a file, or a file that may not be written.
        const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                              FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY;
        if ((attributes & refused) != 0) return false;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    // The folder: everything up to the last separator, or the drive of "C:name".
    std::size_t cut = destination.find_last_of(L"\\/");
    if (cut == std::wstring::npos && destination.size() >= 2 && destination[1] == L':') cut = 1;
    const std::wstring folder = cut == std::wstring::npos ? std::wstring() : destination.substr(0, cut + 1);

    std::wstring temporary;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        LARGE_INTEGER clock;
        QueryPerformanceCounter(&clock);
        char name[32];
        temporaryName(uniqueNumber(GetCurrentProcessId(), static_cast<std::uint64_t>(clock.QuadPart)), name);
        temporary = folder;
        for (const char* c = name; *c != '\0'; ++c)
            temporary += static_cast<wchar_t>(*c);
        HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handle_ = handle;
            break;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    if (handle_ == nullptr) return false;
    destination_.swap(destination);
    temporary_.swap(temporary);
    failed_ = false;
    kept_ = attributes == INVALID_FILE_ATTRIBUTES ? 0 : (attributes & kKeptAttributes);
    return true;
}

bool ReplacementFile::write(const char* bytes, std::size_t size) {
    if (handle_ == nullptr || failed_) return false;
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), bytes, chunk, &written, nullptr) || written == 0) {
            failed_ = true;
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

bool ReplacementFile::commit() {
    if (handle_ == nullptr) return false;
    const bool closed = CloseHandle(static_cast<HANDLE>(handle_)) != 0;
    handle_ = nullptr;
    if (closed && !failed_ && kept_ != 0) SetFileAttributesW(temporary_.c_str(), kept_);
    if (!closed || failed_ ||
        !MoveFileExW(temporary_.c_str(), destination_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacementFile::discard() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    if (!temporary_.empty()) {
        SetFileAttributesW(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temporary_.c_str());
        temporary_.clear();
    }
}

#else

ReplacementFile::~ReplacementFile() {
    discard();
}

bool ReplacementFile::isOpen() const {
    return descriptor_ >= 0;
}

bool ReplacementFile::open(const char* path) {
    discard();
    if (path == nullptr || *path == '\0') return false;
    std::string destination(path);
    struct stat status {};
    bool replacing = false;
    if (::lstat(path, &status) == 0) {
        // Not a regular file, or one the process may not write (as opening it for writing would find).
        if (!S_ISREG(status.st_mode) || ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0) return false;
        replacing = true;
    } else if (errno != ENOENT) {
        return false;
    }
    const std::size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);

    std::string temporary;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        char name[32];
        temporaryName(uniqueNumber(static_cast<std::uint64_t>(::getpid()),
                                   static_cast<std::uint64_t>(now.tv_sec) * 1000000000ull +
                                       static_cast<std::uint64_t>(now.tv_nsec)),
                      name);
        temporary = folder;
        temporary += name;
        const int descriptor =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (descriptor >= 0) {
            descriptor_ = descriptor;
            break;
        }
        if (errno != EEXIST) return false;
    }
    if (descriptor_ < 0) return false;
    destination_.swap(destination);
    temporary_.swap(temporary);
    failed_ = false;
    if (replacing) {
        // Owner and group where the process may set them, then the permission bits.
        if ((status.st_uid != ::geteuid() || status.st_gid != ::getegid()) &&
            ::fchown(descriptor_, status.st_uid, status.st_gid) != 0 &&
            ::fchown(descriptor_, static_cast<uid_t>(-1), status.st_gid) != 0) {
            // Neither could be set: the new file keeps the process's owner and group.
        }
        if (::fchmod(descriptor_, status.st_mode & 0777) != 0) {
            discard();
            return false;
        }
    }
    return true;
}

bool ReplacementFile::write(const char* bytes, std::size_t size) {
    if (descriptor_ < 0 || failed_) return false;
    while (size > 0) {
        const ssize_t written = ::write(descriptor_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool ReplacementFile::commit() {
    if (descriptor_ < 0) return false;
    const bool closed = ::close(descriptor_) == 0;
    descriptor_ = -1;
    if (!closed || failed_ || ::rename(temporary_.c_str(), destination_.c_str()) != 0) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacementFile::discard() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

#endif

}  // namespace kelvane2::platform
