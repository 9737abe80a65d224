#include "ftp/PassiveAddress.h"

#include <arpa/inet.h>

#include <optional>

#include "net/SocketAddress.h"
#include "platform/Trim.h"

namespace orvane {

PassiveAddress::PassiveAddress(EventLoop& loop)
    : loop_(loop), token_(loop.NewToken()), lookup_(std::make_unique<NameResolver>(loop, token_)) {}

PassiveAddress::~PassiveAddress() {
  loop_.Release(token_);
}

bool PassiveAddress::IsDottedAddress(const std::string& text) {
  in_addr address{};
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool PassiveAddress::IsLocalNetwork(const std::string& address) {
  const std::optional<SocketAddress> parsed = SocketAddress::FromNumeric(address);
  if (!parsed) return false;
  if (parsed->IsIPv6()) {
    // Loopback, unique local (fc00::/7) and link-local (fe80::/10) addresses.
    const auto& bytes = reinterpret_cast<const sockaddr_in6*>(parsed->Data())->sin6_addr.s6_addr;
    return IN6_IS_ADDR_LOOPBACK(reinterpret_cast<const in6_addr*>(bytes)) ||
           (bytes[0] & 0xfe) == 0xfc || (bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80);
  }
  in_addr v4{};
  if (::inet_pton(AF_INET, parsed->Text().c_str(), &v4) != 1) return false;
  const uint32_t a = ntohl(v4.s_addr);
  return (a >> 24) == 127 || (a >> 24) == 10 || (a >> 20) == 0xAC1 || (a >> 16) == 0xC0A8 ||
         (a >> 16) == 0xA9FE;
}

void PassiveAddress::Set(const std::string& text) {
  text_ = Trim(text);
  resolved_.clear();
  lookup_->Cancel();
  Lookup();
}

void PassiveAddress::Lookup() {
  if (text_.empty() || IsDottedAddress(text_) || lookup_->Pending()) return;
  const std::string name = text_;
  try {
    lookup_->Start([name]() { return NameResolver::ByName(name); },
                   [this](const NameResolver::Answer& answer) {
                     // PASV names IPv4 addresses only: the first of the answer, if any.
                     for (const std::string& address : answer.results) {
                       if (answer.error == 0 && IsDottedAddress(address)) {
                         resolved_ = address;
                         break;
                       }
                     }
                   });
  } catch (const std::exception&) {
    // No thread for the lookup: the previous answer (or the local address) stays in use.
  }
}

std::string PassiveAddress::Announced(const std::string& local, const std::string& peer) {
  if (text_.empty() || IsLocalNetwork(peer)) return local;
  if (IsDottedAddress(text_)) return text_;
  Lookup();
  return resolved_.empty() ? local : resolved_;
}

}  // namespace orvane
