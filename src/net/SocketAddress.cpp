#include "net/SocketAddress.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <map>

#include "net/HostLookup.h"

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

}  // namespace

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

std::optional<in_addr> HostAddress(const std::string& addr) {
  in_addr parsed{};
  if (addr == "255.255.255.255") {
    parsed.s_addr = INADDR_BROADCAST;
    return parsed;
  }
  if (::inet_pton(AF_INET, addr.c_str(), &parsed) == 1) return parsed;
  const HostLookup::Answer answer = HostLookup::ByName(addr);
  if (answer.error != 0 || answer.results.empty()) return std::nullopt;
  if (::inet_pton(AF_INET, answer.results.front().c_str(), &parsed) != 1) return std::nullopt;
  return parsed;
}

}  // namespace orvane
