#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {

// The small socket component whose one service the server uses: the machine's own IPv4
// address as text, for the %LOCALIP macro. Starting and stopping a socket library does not
// exist on POSIX, so construction and destruction cannot fail here; the error text of that
// component is kept for the operator-facing report.
class TSockets {
 public:
  using ErrorOccurredHook =
      std::function<void(TSockets& sender, int socket, int error, const std::string& message)>;

  int32_t MaximumReceiveLength = 8192;
  ErrorOccurredHook OnErrorOccurred;

  // Looks the local host name up (blocking, through NameResolver::LocalAddresses) and returns its
  // first IPv4 address in dotted form (its first IPv6 address when it has no IPv4 one), or
  // "0.0.0.0" when the system gives no host name or the lookup finds nothing. The host asks once
  // per message that holds %LOCALIP.
  std::string LocalIPAddr() const;

  // "Error N in function OPERATION\r\nTEXT" with this component's own error texts.
  static std::string ErrorMessage(int code, const std::string& operation);
};

}  // namespace orvane
