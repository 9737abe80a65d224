#include "net/TSockets.h"

#include <vector>

#include "net/ESocketException.h"
#include "net/NameResolver.h"
#include "platform/WinsockErrorText.h"

namespace orvane {

std::string TSockets::LocalIPAddr() const {
  // The one resolver path for the machine's own addresses is NameResolver's.
  try {
    const std::vector<std::string> addresses = NameResolver::LocalAddresses();
    if (!addresses.empty()) return addresses.front();
  } catch (const ESocketException&) {
    // The system gives no host name: as for a name that does not resolve.
  }
  return "0.0.0.0";
}

std::string TSockets::ErrorMessage(int code, const std::string& operation) {
  std::string text;
  switch (code) {
    case 0:
      text = "Not a WinSock error";
      break;
    case 10049:
      text = "Can't assign requested address";
      break;
    case 10053:
      text = "Software caused connection abort";
      break;
    default:
      text = WinsockErrorText(code);
  }
  return "Error " + std::to_string(code) + " in function " + operation + "\r\n" + text;
}

}  // namespace orvane
