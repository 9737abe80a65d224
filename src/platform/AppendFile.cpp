#include "platform/AppendFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace orvane {

AppendFile::~AppendFile() {
  Flush();
}

bool AppendFile::Open(const std::string& path) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return false;
  // Lines logged before the reopen belong to the old file (a rotated log keeps its last lines).
  Flush();
  fd_.Reset(fd);
  return true;
}

void AppendFile::Close() {
  Flush();
  fd_.Reset();
}

void AppendFile::SetBuffered(bool buffered) {
  if (!buffered) Flush();
  buffered_ = buffered;
}

bool AppendFile::Write(const std::string& text) {
  if (!fd_) return false;
  if (!buffered_) return WriteAll(text);
  pending_ += text;
  if (pending_.size() >= kMaxBuffered) return Flush();
  return true;
}

bool AppendFile::Flush() {
  if (pending_.empty()) return true;
  std::string text;
  text.swap(pending_);
  if (!fd_) return false;
  return WriteAll(text);
}

bool AppendFile::WriteAll(const std::string& text) {
  std::size_t done = 0;
  // A regular file takes the whole text at once; the loop only covers a signal or a full disk
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
