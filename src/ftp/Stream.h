#pragma once

#include <cstdint>

namespace orvane {

// What a transfer reads from or writes to: a file opened by the engine, a listing held in
// memory, or a stream the host supplies.
class Stream {
 public:
  virtual ~Stream() = default;
  // Bytes read (0 at the end); throws on a read error.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes every byte; throws on a write error.
  virtual void Write(const void* buffer, int64_t count) = 0;
  // Positions at an absolute offset; throws when that is impossible.
  virtual void Seek(int64_t offset) = 0;
};

}  // namespace orvane
