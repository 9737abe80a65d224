#include "net/TSockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include "platform/WinsockErrorText.h"

namespace orvane {

std::string TSockets::LocalIPAddr() const {
  char name[128] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "0.0.0.0";
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) return "0.0.0.0";
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, text,
              sizeof text);
  ::freeaddrinfo(result);
  return text;
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
