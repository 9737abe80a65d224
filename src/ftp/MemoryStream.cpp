#include "ftp/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace orvane {

int64_t MemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= bytes_.size()) return 0;
  const size_t n = std::min(static_cast<size_t>(count), bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return static_cast<int64_t>(n);
}

void MemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return;
  const char* p = static_cast<const char*>(buffer);
  if (position_ > bytes_.size()) bytes_.resize(position_);
  bytes_.replace(position_, std::min(bytes_.size() - position_, static_cast<size_t>(count)), p,
                 static_cast<size_t>(count));
  position_ += static_cast<size_t>(count);
}

void MemoryStream::Seek(int64_t offset) {
  position_ = offset < 0 ? 0 : static_cast<size_t>(offset);
}

}  // namespace orvane
