#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/UniqueFd.h"

namespace orvane {

// An open regular file, named by a Windows-style path (see FileSystem). Move-only; the file is
// closed when the object is destroyed. Offsets are 64-bit. Other readers and writers may open
// the same file at the same time.
class File {
 public:
  enum class Mode {
    Read,            // existing file, read only
    CreateTruncate,  // created when missing, emptied when present
    CreateNew,       // created; fails with EEXIST when a file of that name exists
    Write,           // existing file, written without truncation
    Append,          // created when missing; every write goes to the end
  };

  // nullopt on failure, with FileSystem::LastError() holding errno. Opening a directory, or
  // anything else that is not a regular file, fails. Modes that write refuse a read-only file
  // (owner write bit clear) with EACCES, as on Windows, also for a privileged user.
  static std::optional<File> Open(const std::string& winPath, Mode mode);

  File(File&& other) noexcept = default;
  File& operator=(File&& other) noexcept = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() = default;

  // Positions at an absolute offset.
  bool Seek(int64_t offset);
  // Bytes read (fewer than n near the end), 0 at the end, -1 on error.
  int64_t Read(void* buffer, int64_t n);
  // Writes all n bytes and returns n, or returns -1.
  int64_t Write(const void* buffer, int64_t n);
  // Current size in bytes, -1 on error.
  int64_t Size() const;
  // Current offset (where the next Read starts), -1 on error.
  int64_t Position() const;
  // The descriptor, for calls that move bytes in the kernel (sendfile); -1 when closed. It
  // stays owned by this object.
  int Handle() const { return fd_.Get(); }
  void Close();
  bool IsOpen() const { return static_cast<bool>(fd_); }

 private:
  explicit File(UniqueFd fd) : fd_(std::move(fd)) {}

  UniqueFd fd_;
};

}  // namespace orvane
