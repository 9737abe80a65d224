#include "net/TSockets.h"

#include <unistd.h>

#include "net/HostLookup.h"
#include "platform/WinsockErrorText.h"

namespace orvane {

std::string TSockets::LocalIPAddr() const {
  char name[128] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "0.0.0.0";
  // The first IPv4 address; on a machine whose name has IPv6 addresses only, the first of these.
  const HostLookup::Answer answer = HostLookup::ByName(name);
  if (answer.error != 0 || answer.results.empty()) return "0.0.0.0";
  return answer.results.front();
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
