#pragma once

#include <cstdint>
#include <deque>

#include "net/TBuffer.h"

namespace orvane {

// The list of chunks a socket has not yet handed to the system, oldest first. Data is copied
// once on Append and sent straight from the chunk storage. A drained chunk that is the only one
// left stays in the list for reuse, so a connection that sends one small reply at a time keeps a
// single allocation for its whole life.
class SendQueue {
 public:
  void Append(const void* data, int32_t length);
  // The first chunk's unsent bytes, dropping drained chunks in front of it. Returns nullptr
  // (length 0) when nothing at all is left to send.
  const char* Front(int32_t& length);
  // Takes the given number of bytes, accepted by the system, out of the first chunk.
  void Consume(int32_t length);
  void Clear() {
    chunks_.clear();
    pending_ = 0;
  }
  // Bytes appended and not yet taken out by Consume.
  int64_t Pending() const { return pending_; }
  bool Empty() const { return chunks_.empty(); }
  size_t ChunkCount() const { return chunks_.size(); }
  const TBuffer& Chunk(size_t index) const { return chunks_[index]; }

 private:
  std::deque<TBuffer> chunks_;
  int64_t pending_ = 0;
};

}  // namespace orvane
