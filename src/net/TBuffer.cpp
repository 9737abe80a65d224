#include "net/TBuffer.h"

#include <algorithm>
#include <cstring>

namespace orvane {

TBuffer::TBuffer(int32_t size) : capacity_(size <= 0 ? kDefaultSize : size) {
  storage_ = std::make_unique<char[]>(static_cast<size_t>(capacity_));
}

int32_t TBuffer::Write(const void* data, int32_t length) {
  const int32_t count = std::min(length, capacity_ - writeCount_);
  if (count <= 0) return 0;
  std::memcpy(storage_.get() + writeCount_, data, static_cast<size_t>(count));
  writeCount_ += count;
  return count;
}

const char* TBuffer::Peek(int32_t& length) const {
  length = writeCount_ - readCount_;
  if (length <= 0) {
    length = 0;
    return nullptr;
  }
  return storage_.get() + readCount_;
}

int32_t TBuffer::Remove(int32_t length) {
  const int32_t unsent = writeCount_ - readCount_;
  if (unsent <= 0 || length <= 0) return 0;
  const int32_t count = std::min(length, unsent);
  readCount_ += count;
  if (readCount_ == writeCount_) {
    readCount_ = 0;
    writeCount_ = 0;
  }
  return count;
}

}  // namespace orvane
