#pragma once

#include <string>

namespace orvane {

class IniFile;
class TFtpServer;

// The passive-mode settings, section "Passive" of FTPsrv.ini: the range of ports passive data
// connections listen on and the address PASV announces to clients outside the local network.
// The host reads them at start and gives them to the engine; the network window edits them,
// writes them back and gives them to the running engine, which uses them from the next PASV on.
class PassiveSettings {
 public:
  static constexpr const char* kSection = "Passive";

  std::string Ports;    // "ports": "first-last" or one port, from 1024 up; empty = any port
  std::string Address;  // "address": an IPv4 address or a host name; empty = the local address

  // Reads both keys as their texts (empty when missing).
  void Load(const IniFile& ini);

  // Empty when both texts can be used; otherwise the message that says what is wrong.
  std::string Check() const;

  // Writes both keys, without their surrounding blanks; false when a write fails.
  bool Store(IniFile& ini) const;

  // Gives the engine the range and the address. A range that cannot be read leaves the ports
  // to the system, as an empty one does.
  void ApplyTo(TFtpServer& server) const;

  // Whether text is a dotted IPv4 address or a well-formed host name (letters, digits and "-"
  // in labels of at most 63 characters, at most 253 in all; not digits and dots only).
  static bool IsAddressOrDnsName(const std::string& text);
};

}  // namespace orvane
