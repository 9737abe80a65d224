#pragma once

#include <string>

#include "ftp/Stream.h"

namespace orvane {

// A stream over bytes held in memory; listings are built into one.
class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override;
  void Write(const void* buffer, int64_t count) override;
  void Seek(int64_t offset) override;
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t position_ = 0;
};

}  // namespace orvane
