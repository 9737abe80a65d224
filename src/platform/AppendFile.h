#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace orvane {

// A log file opened for appending, written in whole lines: each line goes to the file with one
// write(2) as it is given, so a reader (tail -f, fail2ban) never sees part of a line and a
// process killed at any moment loses no line it has written. The name is opened with
// O_NOFOLLOW: a symbolic link planted in its place is refused, not followed.
class AppendFile {
 public:
  // Opens (created when missing, mode 0666 less the umask). False with errno set on failure;
  // the file open before stays open then.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return static_cast<bool>(fd_); }
  // Writes text (the line with its end) at the end of the file. False on a write failure.
  bool Write(const std::string& text);

 private:
  UniqueFd fd_;
};

}  // namespace orvane
