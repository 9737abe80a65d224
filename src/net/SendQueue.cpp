#include "net/SendQueue.h"

namespace orvane {

void SendQueue::Append(const void* data, int32_t length) {
  if (length <= 0) return;
  pending_ += length;
  if (chunks_.empty()) chunks_.emplace_back(TBuffer::kDefaultSize);
  const char* p = static_cast<const char*>(data);
  TBuffer* current = &chunks_.back();
  for (;;) {
    const int32_t written = current->Write(p, length);
    if (written == length) return;
    p += written;
    length -= written;
    chunks_.emplace_back(TBuffer::kDefaultSize);
    current = &chunks_.back();
  }
}

const char* SendQueue::Front(int32_t& length) {
  length = 0;
  while (!chunks_.empty()) {
    const char* p = chunks_.front().Peek(length);
    if (p != nullptr) return p;
    if (chunks_.size() == 1) return nullptr;
    chunks_.pop_front();
  }
  return nullptr;
}

void SendQueue::Consume(int32_t length) {
  if (!chunks_.empty()) pending_ -= chunks_.front().Remove(length);
}

}  // namespace orvane
