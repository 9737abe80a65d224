#pragma once

#include <mutex>

#include "platform/UniqueFd.h"

namespace orvane {

// A descriptor held open for the day the process runs out of them. A listening socket whose
// accept fails with "too many open files" is still readable, so without a spare descriptor the
// loop would be woken for the same pending connection forever; with one, the connection is
// taken off the queue and closed, and the client is refused instead of left hanging.
//
// One per process (descriptors are a per-process limit); the mutex makes it safe for loops on
// several threads.
class ReserveFd {
 public:
  static ReserveFd& Instance();

  // Gives the reserve up, accepts one pending connection on listenFd, closes it at once and
  // takes the reserve again.
  void DropOne(int listenFd);

 private:
  ReserveFd();

  std::mutex mutex_;
  UniqueFd fd_;
};

}  // namespace orvane
