#include "host/LogText.h"

namespace orvane {

std::string EscapeControlBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      out += '^';
      out += static_cast<char>(byte + 0x40);
    } else if (byte == 0x7F) {
      out += "^?";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace orvane
