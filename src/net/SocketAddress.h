#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// An IPv4 or IPv6 socket address as the system calls take it, and the address texts the rest
// of the program compares, logs and shows.
//
// One rule holds for every text this file produces: an IPv4 client that reached an IPv6
// (dual-stack) socket arrives as the mapped address ::ffff:a.b.c.d, and is shown in plain dotted
// form "a.b.c.d", so that bans, logs and the same-address rule treat it as before. IPv6 addresses
// are shown in the system's compressed lower-case form ("::1", "2001:db8::5").
//
// Kept apart from the socket because none of it needs a handle or the loop; the socket only
// stores what these functions return and raises its error when they refuse.
class SocketAddress {
 public:
  // No address yet (family AF_UNSPEC).
  SocketAddress() = default;
  // The wildcard address of a family (AF_INET "0.0.0.0", AF_INET6 "::") with a port.
  static SocketAddress Any(int family, uint16_t port = 0);
  // A numeric IPv4 ("127.0.0.1") or IPv6 ("::1", "[::1]" too) address; nothing for a host name
  // or nonsense.
  static std::optional<SocketAddress> FromNumeric(const std::string& text, uint16_t port = 0);
  // The local and the peer address of a connected or bound handle; nothing when the system
  // refuses (a handle already reset by the peer).
  static std::optional<SocketAddress> Local(int fd);
  static std::optional<SocketAddress> Peer(int fd);

  // AF_INET, AF_INET6 or AF_UNSPEC, as the system call takes it (a mapped address is AF_INET6).
  int Family() const { return storage_.ss_family; }
  // A true IPv6 address: AF_INET6 and not an IPv4-mapped one.
  bool IsIPv6() const;
  bool IsWildcard() const;
  bool IsBroadcast() const;
  // The address as text, under the rule above; "" without an address.
  std::string Text() const;
  uint16_t Port() const;
  void SetPort(uint16_t port);

  const sockaddr* Data() const { return reinterpret_cast<const sockaddr*>(&storage_); }
  sockaddr* MutableData() { return reinterpret_cast<sockaddr*>(&storage_); }
  // The length the system calls take for this family; Capacity() for calls that fill it in.
  socklen_t Length() const;
  static constexpr socklen_t Capacity() { return sizeof(sockaddr_storage); }

 private:
  sockaddr_storage storage_{};
};

// The IPv4 address in dotted form ("127.0.0.1").
std::string DottedAddress(const in_addr& address);

// A numeric IPv4 or IPv6 address in the form SocketAddress::Text gives ("0:0:0:0:0:0:0:1" ->
// "::1", "::FFFF:10.0.0.5" -> "10.0.0.5"); any other text unchanged. Addresses that clients
// type or send are compared in this form.
std::string CanonicalAddress(const std::string& text);

// Whether the text is a numeric IPv6 address that is not an IPv4-mapped one.
bool IsIPv6Address(const std::string& text);

// Whether this machine can make IPv6 sockets (asked of the system once).
bool IPv6Available();

// A port given as digits (leading blanks skipped, reading stops at the first non-digit) or as a
// service name of protocol proto ("ftp", "ftp-data" also without a services database). -1 for
// an unknown name; the caller refuses numbers past 65535, which would wrap onto another port.
long PortNumber(const std::string& port, const std::string& proto);

// A protocol given as digits or as a name ("tcp", "udp" also without a protocols database); -1
// for an unknown name.
int ProtocolNumber(const std::string& proto);

// A numeric address, or a host name looked up with the system's resolver (this blocks; its
// first IPv4 address, else its first IPv6 one); nothing when the name does not resolve.
std::optional<SocketAddress> ResolveAddress(const std::string& addr);

}  // namespace orvane
