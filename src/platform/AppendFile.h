#pragma once

#include <cstddef>
#include <string>

#include "platform/UniqueFd.h"

namespace orvane {

// A log file opened for appending, written in whole lines: a reader (tail -f, fail2ban) never
// sees part of a line. The name is opened with O_NOFOLLOW: a symbolic link planted in its place
// is refused, not followed.
//
// Unbuffered (the default), each line goes to the file with one write(2) as it is given. Once
// SetBuffered(true), lines wait in memory until Flush(), which writes them all with one write;
// the owner flushes at the end of each loop round and before anything shows the lines
// elsewhere. Close, a reopen and the destructor flush first, and a buffer past kMaxBuffered is
// written at once, so that a burst of lines costs memory only up to that bound.
class AppendFile {
 public:
  static constexpr std::size_t kMaxBuffered = 64 * 1024;

  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens (created when missing, mode 0666 less the umask). Lines still buffered go to the file
  // open before. False with errno set on failure; the file open before stays open then.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return static_cast<bool>(fd_); }
  void SetBuffered(bool buffered);
  // Appends text (whole lines with their ends): written now, or buffered. False on a write
  // failure (of this text or of the lines buffered before it).
  bool Write(const std::string& text);
  // Writes the buffered lines with one write; false on a write failure (the lines are dropped
  // then, as an unbuffered write would have lost them).
  bool Flush();
  bool HasBuffered() const { return !pending_.empty(); }

 private:
  bool WriteAll(const std::string& text);

  UniqueFd fd_;
  bool buffered_ = false;
  std::string pending_;
};

}  // namespace orvane
