#include "ftp/LineReader.h"

#include <cstring>

namespace orvane {

bool LineReader::Resize(int size) {
  if (size_ < 0) size_ = 0;
  if (size == size_) return false;
  size_ = size;
  count_ = 0;
  buffer_.assign(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  return true;
}

void LineReader::Clear() {
  count_ = 0;
  discarding_ = false;
  if (!buffer_.empty()) buffer_[0] = '\0';
}

bool LineReader::HasLine() const {
  return count_ > 0 && !discarding_ &&
         std::memchr(buffer_.data(), '\n', static_cast<size_t>(count_)) != nullptr;
}

char* LineReader::ReadSpace(int& room) {
  if (discarding_ || count_ >= size_ - 1) {
    if (!discarding_) {
      discarding_ = true;
      count_ = 0;
    }
    room = size_ - 1;
    return buffer_.data();
  }
  room = size_ - count_ - 1;
  return buffer_.data() + count_;
}

bool LineReader::Commit(int n) {
  char* start = buffer_.data();
  if (discarding_) {
    // Keep only what follows the first LF of the newly read bytes.
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(n)));
    if (lf == nullptr) return false;
    discarding_ = false;
    const int rest = n - static_cast<int>(lf - start) - 1;
    std::memmove(start, lf + 1, static_cast<size_t>(rest));
    count_ = rest;
    start[count_] = '\0';
    return true;
  }
  count_ += n;
  start[count_] = '\0';
  return false;
}

bool LineReader::Front(const char*& line, int& length) {
  if (count_ <= 0) return false;
  char* start = buffer_.data();
  const char* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(count_)));
  if (lf == nullptr) return false;
  const int i = static_cast<int>(lf - start);
  frontEnd_ = i;
  frontLength_ = (i > 1 && start[i - 1] == '\r') ? i - 1 : i;
  saved_ = start[frontLength_];
  start[frontLength_] = '\0';
  line = start;
  length = frontLength_;
  return true;
}

bool LineReader::Pop() {
  char* start = buffer_.data();
  if (frontLength_ < size_) start[frontLength_] = saved_;
  if (frontEnd_ >= count_ - 1) {
    count_ = 0;
    if (!buffer_.empty()) start[0] = '\0';
    return false;
  }
  std::memmove(start, start + frontEnd_ + 1, static_cast<size_t>(count_ - frontEnd_));  // and NUL
  count_ -= frontEnd_ + 1;
  return true;
}

}  // namespace orvane
