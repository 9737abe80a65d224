#include "platform/UniqueFd.h"

#include <unistd.h>

namespace orvane {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

UniqueFd::~UniqueFd() {
  Close();
}

int UniqueFd::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::Reset(int fd) {
  Close();
  fd_ = fd;
}

int UniqueFd::Close() {
  if (fd_ < 0) return 0;
  // The descriptor is gone after close() even when it reports EINTR, so it is never retried.
  int result = ::close(fd_);
  fd_ = -1;
  return result;
}

}  // namespace orvane
