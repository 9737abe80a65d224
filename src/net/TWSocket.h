#pragma once

#include "net/TCustomWSocket.h"

namespace orvane {

// The socket with its properties published; it adds nothing to TCustomWSocket.
class TWSocket : public TCustomWSocket {
 public:
  using TCustomWSocket::TCustomWSocket;
};

}  // namespace orvane
