#include "platform/AppendFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace orvane {

bool AppendFile::Open(const std::string& path) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return false;
  fd_.Reset(fd);
  return true;
}

void AppendFile::Close() {
  fd_.Reset();
}

bool AppendFile::Write(const std::string& text) {
  if (!fd_) return false;
  std::size_t done = 0;
  // A regular file takes the whole line at once; the loop only covers a signal or a full disk
  // in the middle of it.
  while (done < text.size()) {
    const ssize_t n = ::write(fd_.Get(), text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace orvane
