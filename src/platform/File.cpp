#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileSystem.h"

namespace orvane {
namespace {

bool Fail(int error) {
  FileSystem::SetLastError(error);
  return false;
}

int64_t FailCount(int error) {
  FileSystem::SetLastError(error);
  return -1;
}

}  // namespace

std::optional<File> File::Open(const std::string& winPath, Mode mode) {
  std::optional<std::string> posix = FileSystem::ToPosix(winPath);
  if (!posix) return std::nullopt;

  // O_NONBLOCK keeps a named pipe from blocking the open; it is refused below anyway. Truncation
  // waits until the read-only check has passed.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (mode) {
    case Mode::Read:
      flags |= O_RDONLY;
      break;
    case Mode::CreateTruncate:
      flags |= O_WRONLY | O_CREAT;
      break;
    case Mode::CreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      break;
    case Mode::Write:
      flags |= O_WRONLY;
      break;
    case Mode::Append:
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      break;
  }
  UniqueFd fd(::open(posix->c_str(), flags, 0666));
  if (!fd) {
    Fail(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) {
    Fail(errno);
    return std::nullopt;
  }
  if (S_ISDIR(st.st_mode)) {
    Fail(EISDIR);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    Fail(EINVAL);
    return std::nullopt;
  }
  if (mode != Mode::Read && (st.st_mode & S_IWUSR) == 0) {
    Fail(EACCES);
    return std::nullopt;
  }
  if (mode == Mode::CreateTruncate && st.st_size != 0 && ::ftruncate(fd.Get(), 0) != 0) {
    Fail(errno);
    return std::nullopt;
  }
  int statusFlags = ::fcntl(fd.Get(), F_GETFL);
  if (statusFlags < 0 || ::fcntl(fd.Get(), F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
    Fail(errno);
    return std::nullopt;
  }
  return File(std::move(fd));
}

bool File::Seek(int64_t offset) {
  if (!fd_) return Fail(EBADF);
  if (offset < 0) return Fail(EINVAL);
  if (::lseek(fd_.Get(), static_cast<off_t>(offset), SEEK_SET) < 0) return Fail(errno);
  return true;
}

int64_t File::Read(void* buffer, int64_t n) {
  if (!fd_) return FailCount(EBADF);
  if (n < 0) return FailCount(EINVAL);
  for (;;) {
    ssize_t got = ::read(fd_.Get(), buffer, static_cast<size_t>(n));
    if (got >= 0) return got;
    if (errno != EINTR) return FailCount(errno);
  }
}

int64_t File::Write(const void* buffer, int64_t n) {
  if (!fd_) return FailCount(EBADF);
  if (n < 0) return FailCount(EINVAL);
  const char* bytes = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < n) {
    ssize_t written = ::write(fd_.Get(), bytes + done, static_cast<size_t>(n - done));
    if (written < 0) {
      if (errno == EINTR) continue;
      return FailCount(errno);
    }
    if (written == 0) return FailCount(ENOSPC);
    done += written;
  }
  return n;
}

int64_t File::Size() const {
  if (!fd_) return FailCount(EBADF);
  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0) return FailCount(errno);
  return static_cast<int64_t>(st.st_size);
}

int64_t File::Position() const {
  if (!fd_) return FailCount(EBADF);
  const off_t at = ::lseek(fd_.Get(), 0, SEEK_CUR);
  if (at < 0) return FailCount(errno);
  return static_cast<int64_t>(at);
}

void File::Close() {
  fd_.Close();
}

}  // namespace orvane
