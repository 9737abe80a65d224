#include "net/SocketAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <map>

#include "net/NameResolver.h"

namespace orvane {

namespace {

bool StartsWithDigit(const std::string& s) {
  return !s.empty() && s[0] >= '0' && s[0] <= '9';
}

// Leading blanks skipped, digits read up to the first other character, no sign.
long ReadDecimal(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  long value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && value < 100000000) {
    value = value * 10 + (s[i] - '0');
    ++i;
  }
  return value;
}

// Service and protocol names the program itself relies on, for systems without the databases.
int WellKnownPort(const std::string& name) {
  static const std::map<std::string, int> known = {{"ftp-data", 20}, {"ftp", 21}};
  auto it = known.find(name);
  return it == known.end() ? -1 : it->second;
}

int WellKnownProto(const std::string& name) {
  if (name == "tcp") return IPPROTO_TCP;
  if (name == "udp") return IPPROTO_UDP;
  return -1;
}

bool IsMapped(const in6_addr& address) {
  return IN6_IS_ADDR_V4MAPPED(&address);
}

}  // namespace

SocketAddress SocketAddress::Any(int family, uint16_t port) {
  SocketAddress result;
  result.storage_.ss_family = static_cast<sa_family_t>(family);
  result.SetPort(port);
  return result;
}

std::optional<SocketAddress> SocketAddress::FromNumeric(const std::string& text, uint16_t port) {
  SocketAddress result;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&result.storage_);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&result.storage_);
  std::string bare = text;
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  if (::inet_pton(AF_INET, bare.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
  } else if (::inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
  } else {
    return std::nullopt;
  }
  result.SetPort(port);
  return result;
}

std::optional<SocketAddress> SocketAddress::Local(int fd) {
  SocketAddress result;
  socklen_t length = Capacity();
  if (::getsockname(fd, result.MutableData(), &length) != 0) return std::nullopt;
  return result;
}

std::optional<SocketAddress> SocketAddress::Peer(int fd) {
  SocketAddress result;
  socklen_t length = Capacity();
  if (::getpeername(fd, result.MutableData(), &length) != 0) return std::nullopt;
  return result;
}

bool SocketAddress::IsIPv6() const {
  return Family() == AF_INET6 &&
         !IsMapped(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr);
}

bool SocketAddress::IsWildcard() const {
  if (Family() == AF_INET) {
    return reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr.s_addr == INADDR_ANY;
  }
  if (Family() == AF_INET6) {
    return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr);
  }
  return false;
}

bool SocketAddress::IsBroadcast() const {
  return Family() == AF_INET &&
         reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr.s_addr == INADDR_BROADCAST;
}

std::string SocketAddress::Text() const {
  if (Family() == AF_INET) {
    return DottedAddress(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr);
  }
  if (Family() != AF_INET6) return "";
  const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr;
  if (IsMapped(address)) {
    in_addr v4{};
    std::memcpy(&v4, address.s6_addr + 12, sizeof v4);
    return DottedAddress(v4);
  }
  char buf[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET6, &address, buf, sizeof buf);
  return buf;
}

uint16_t SocketAddress::Port() const {
  if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
  if (Family() == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
  }
  return 0;
}

void SocketAddress::SetPort(uint16_t port) {
  // sin_port and sin6_port share their place, after the family.
  static_assert(offsetof(sockaddr_in, sin_port) == offsetof(sockaddr_in6, sin6_port));
  reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
}

socklen_t SocketAddress::Length() const {
  return Family() == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

std::string CanonicalAddress(const std::string& text) {
  const std::optional<SocketAddress> address = SocketAddress::FromNumeric(text);
  return address ? address->Text() : text;
}

bool IsIPv6Address(const std::string& text) {
  const std::optional<SocketAddress> address = SocketAddress::FromNumeric(text);
  return address && address->IsIPv6();
}

bool IPv6Available() {
  static const bool available = [] {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }();
  return available;
}

std::string DottedAddress(const in_addr& address) {
  char buf[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, buf, sizeof buf);
  return buf;
}

long PortNumber(const std::string& port, const std::string& proto) {
  if (StartsWithDigit(port)) return ReadDecimal(port);
  servent entry{};
  servent* found = nullptr;
  char buf[1024];
  ::getservbyname_r(port.c_str(), proto.empty() ? nullptr : proto.c_str(), &entry, buf, sizeof buf,
                    &found);
  if (found != nullptr) return ntohs(static_cast<uint16_t>(found->s_port));
  return WellKnownPort(port);
}

int ProtocolNumber(const std::string& proto) {
  if (StartsWithDigit(proto)) return static_cast<int>(ReadDecimal(proto));
  protoent entry{};
  protoent* found = nullptr;
  char buf[1024];
  ::getprotobyname_r(proto.c_str(), &entry, buf, sizeof buf, &found);
  return found != nullptr ? found->p_proto : WellKnownProto(proto);
}

std::optional<SocketAddress> ResolveAddress(const std::string& addr) {
  if (std::optional<SocketAddress> numeric = SocketAddress::FromNumeric(addr)) return numeric;
  const NameResolver::Answer answer = NameResolver::ByName(addr);
  if (answer.error != 0 || answer.results.empty()) return std::nullopt;
  return SocketAddress::FromNumeric(answer.results.front());
}

}  // namespace orvane
