#pragma once

#include <cstdint>
#include <memory>

namespace orvane {

// One fixed-capacity chunk of a socket's send queue. Bytes [0, readCount) have been handed to
// the system, bytes [readCount, writeCount) are still to send; new bytes are only ever
// appended after writeCount. When everything written has been removed both counts return to 0
// so that the chunk can be filled again from its start.
class TBuffer {
 public:
  static constexpr int32_t kDefaultSize = 1514;

  explicit TBuffer(int32_t size = kDefaultSize);
  TBuffer(TBuffer&&) noexcept = default;
  TBuffer& operator=(TBuffer&&) noexcept = default;

  // Copies as much of data as fits and returns the number of bytes copied (0 when full).
  int32_t Write(const void* data, int32_t length);
  // Points at the first unsent byte; returns nullptr with length 0 when nothing is unsent.
  const char* Peek(int32_t& length) const;
  // Marks up to length unsent bytes as consumed and returns how many were.
  int32_t Remove(int32_t length);

  int32_t Capacity() const { return capacity_; }
  int32_t WriteCount() const { return writeCount_; }
  int32_t ReadCount() const { return readCount_; }

 private:
  std::unique_ptr<char[]> storage_;
  int32_t capacity_ = 0;
  int32_t writeCount_ = 0;
  int32_t readCount_ = 0;
};

}  // namespace orvane
