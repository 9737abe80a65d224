#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

namespace orvane {

// Address parsing for the socket's Addr, Port and Proto properties: the texts an owner assigns
// turned into the numbers the system calls take. Kept apart from the socket because none of it
// needs a handle or the loop; the socket only stores what these functions return and raises its
// error when they refuse.

// The IPv4 address in dotted form ("127.0.0.1").
std::string DottedAddress(const in_addr& address);

// A port given as digits (leading blanks skipped, reading stops at the first non-digit) or as a
// service name of protocol proto ("ftp", "ftp-data" also without a services database). -1 for
// an unknown name; the caller refuses numbers past 65535, which would wrap onto another port.
long PortNumber(const std::string& port, const std::string& proto);

// A protocol given as digits or as a name ("tcp", "udp" also without a protocols database); -1
// for an unknown name.
int ProtocolNumber(const std::string& proto);

// A dotted address, or a host name looked up with the system's resolver (this blocks); nothing
// when the name does not resolve.
std::optional<in_addr> HostAddress(const std::string& addr);

}  // namespace orvane
