// Where the tool's output goes: standard output, with every write checked, and files that are replaced
// whole or not at all.
//
// A file is written into a new temporary file in its own folder and renamed over the old one only when
// every byte was written and the file closed cleanly, so a failing write (a full disk) or a failing
// paint never leaves an existing file truncated or half-written. (Once the library's own file targets
// do the same, the tool may paint straight to the path and drop ReplacingFile.)
#ifndef QRKIT_CLI_OUTPUT_FILE_H
#define QRKIT_CLI_OUTPUT_FILE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/istream.h"

namespace qrkit_cli {

namespace kp = kelvane2::platform;

// Writes bytes to standard output. False, with the reason, when not all of them were written (a full
// disk, standard output closed).
bool writeStandardOutput(std::string_view bytes, std::string* error);

// Makes the folders that path needs and that are missing. False, with the folder and the system's
// reason, when one cannot be made.
bool makeFoldersFor(const std::string& path, std::string* error);

// An IStream over a file descriptor: Write writes every byte (short writes retried) and keeps the
// errno of the first failure, after which every Write fails.
class DescriptorStream final : public kp::IStream {
  public:
    explicit DescriptorStream(int fd) : fd_(fd) {}
    int failure() const { return errno_; }  // 0 while every write succeeded

    std::int32_t QueryInterface(const kelvane2::InterfaceId& iid, void** object) override;
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }
    kp::HRESULT Read(void* buffer, kp::ULONG size, kp::ULONG* read) override;
    kp::HRESULT Write(const void* buffer, kp::ULONG size, kp::ULONG* written) override;
    kp::HRESULT Seek(kp::LARGE_INTEGER move, kp::DWORD origin, kp::ULARGE_INTEGER* position) override;
    kp::HRESULT SetSize(kp::ULARGE_INTEGER size) override;
    kp::HRESULT CopyTo(kp::IStream* target, kp::ULARGE_INTEGER size, kp::ULARGE_INTEGER* read,
                       kp::ULARGE_INTEGER* written) override;
    kp::HRESULT Commit(kp::DWORD flags) override;
    kp::HRESULT Revert() override;
    kp::HRESULT LockRegion(kp::ULARGE_INTEGER offset, kp::ULARGE_INTEGER size, kp::DWORD lockType) override;
    kp::HRESULT UnlockRegion(kp::ULARGE_INTEGER offset, kp::ULARGE_INTEGER size, kp::DWORD lockType) override;
    kp::HRESULT Stat(kp::STATSTG* statistics, kp::DWORD flags) override;
    kp::HRESULT Clone(kp::IStream** copy) override;

  private:
    int fd_;
    int errno_ = 0;
};

// A file replaced whole or not at all. open() creates a temporary file beside the target (a symbolic
// link is followed, so the link stays and its target is replaced); commit() renames it over the target.
// Until then, and after any failure, the target is as it was and the destructor removes the temporary
// file. The new file keeps the permission bits of the file it replaces (a new one gets 0666 less the
// umask). A target that exists and is not a regular file (a device such as /dev/null, a pipe) is
// written directly; a folder is refused.
class ReplacingFile {
  public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False, with the path and the system's reason, when the file cannot be created.
    bool open(std::string* error);
    // The stream to write to between open() and commit().
    DescriptorStream* stream() { return stream_; }
    // Closes the file and puts it in the target's place. False, with the reason, when a write failed
    // (see the stream), the file did not close cleanly or the rename failed; the target is then intact.
    bool commit(std::string* error);

  private:
    std::string path_;       // as given, for messages
    std::string target_;     // the file to replace (a link's target)
    std::string temporary_;  // empty when writing the target directly
    int fd_ = -1;
    DescriptorStream* stream_ = nullptr;
    bool committed_ = false;
};

// The umask of the process, read once; call before threads start.
unsigned fileCreationMask();

}  // namespace qrkit_cli

#endif
