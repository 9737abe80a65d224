#pragma once

#include <string>

#include "ftp/TStream.h"

namespace orvane {

// A stream over bytes held in memory; listings are built into one.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override;
  void Write(const void* buffer, int64_t count) override;
  void Seek(int64_t offset) override;
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t position_ = 0;
};

}  // namespace orvane
