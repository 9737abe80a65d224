#pragma once

#include "net/SocketTransport.h"

namespace orvane {

// The bytes as they are: queued chunks written with send, a queued file range with sendfile
// (the system copies it to the connection without passing it through this process).
class PlainTransport final : public SocketTransport {
 public:
  explicit PlainTransport(Link& link) : SocketTransport(link) {}

  SendResult Send(Outgoing& out) override;
  void DrainQuietly(SendQueue& queue) override;
  int Read(void* buffer, int size, int& error) override;
  int Waiting() override { return link_.Unread(); }
  void BeginDelivery() override { drained_ = false; }
  bool Drained() const override { return drained_; }

 private:
  SendResult SendFileBytes(Outgoing& out);

  bool drained_ = false;  // the last read got less than it asked for, or nothing
};

}  // namespace orvane
