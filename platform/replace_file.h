// A file written under a temporary name beside its destination and put in the destination's place only
// once it is complete, so that a destination is either left exactly as it was or replaced by the whole
// new file. On Windows the file calls are the system's (CreateFileW, WriteFile, MoveFileExW with
// MOVEFILE_REPLACE_EXISTING); elsewhere POSIX open, write, rename.
//
// The destination must be a regular file the process may write, or not exist. A symbolic link, a
// directory, a FIFO, a device or any other kind of file (on Windows: a directory, a reparse point or a
// device) is refused: it is never written through, opened or waited on; so is a file without write
// permission for the process (on Windows: a read-only file), as opening it for writing would be. The
// new file keeps the permission bits (read, write and execute for owner, group and others) of the file
// it replaces, and its owner and group where the process may set them; on Windows it keeps the hidden,
// system, archive and not-indexed attributes and takes its access rights from its folder. A new
// destination gets the permissions any newly created file gets. Other processes may read and write the
// temporary file while it is written. A destination with several hard links is replaced as one
// directory entry: the other links keep the old content. Durability across a power failure is the file
// system's: the file is not synchronised before the rename.
#ifndef QRKIT_PLATFORM_REPLACE_FILE_H
#define QRKIT_PLATFORM_REPLACE_FILE_H

#include <cstddef>
#include <string>

namespace kelvane2::platform {

class ReplacementFile {
  public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    // Removes the temporary file when it was not committed.
    ~ReplacementFile();

    // Creates the temporary file in the folder of path (8-bit text as the platform's narrow file calls
    // take it). False when the file system refuses: the destination is not a regular file, the folder
    // is missing or not writable, the name is malformed. Throws std::bad_alloc when memory runs out;
    // nothing is then left behind.
    bool open(const char* path);
    bool isOpen() const;
    // Writes all size bytes to the temporary file. False when the file system refuses them (a full disk,
    // a file-size limit); the file is then unusable and commit fails.
    bool write(const char* bytes, std::size_t size);
    // Closes the temporary file and renames it over the destination. False when the close or the
    // rename fails, or after a failed write: the temporary file is removed and the destination is as it
    // was.
    bool commit();
    // Closes and removes the temporary file; the destination is as it was.
    void discard();

  private:
#if defined(_WIN32)
    std::wstring destination_;
    std::wstring temporary_;
    void* handle_ = nullptr;  // HANDLE; null when closed
    unsigned long kept_ = 0;  // the attributes taken over from the destination
#else
    std::string destination_;
    std::string temporary_;
    int descriptor_ = -1;
#endif
    bool failed_ = false;
};

}  // namespace kelvane2::platform

#endif
