#include "net/ReserveFd.h"

#include <fcntl.h>
#include <sys/socket.h>

namespace orvane {

ReserveFd& ReserveFd::Instance() {
  static ReserveFd reserve;
  return reserve;
}

ReserveFd::ReserveFd() : fd_(::open("/dev/null", O_RDONLY | O_CLOEXEC)) {}

void ReserveFd::DropOne(int listenFd) {
  std::lock_guard<std::mutex> lock(mutex_);
  fd_.Reset();
  {
    UniqueFd dropped(::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC));
  }  // closed before the reserve is taken again, so the reopen cannot hit the limit
  fd_.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
}

}  // namespace orvane
