#pragma once

#include "net/TCustomWSocket.h"
#include "net/TlsSession.h"

namespace orvane {

// The socket with its properties published; it adds nothing to TCustomWSocket. Its users get the
// TLS types that StartTls and Tls() name (TlsRole, TlsSession) from here.
class TWSocket : public TCustomWSocket {
 public:
  using TCustomWSocket::TCustomWSocket;
};

}  // namespace orvane
