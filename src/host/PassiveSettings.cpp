#include "host/PassiveSettings.h"

#include <cctype>

#include "ftp/PassiveAddress.h"
#include "ftp/PassivePorts.h"
#include "ftp/TFtpServer.h"
#include "platform/IniFile.h"
#include "platform/Trim.h"

namespace orvane {

void PassiveSettings::Load(const IniFile& ini) {
  Ports = ini.ReadString(kSection, "ports", "");
  Address = ini.ReadString(kSection, "address", "");
}

std::string PassiveSettings::Check() const {
  PassivePorts range;
  if (!range.Parse(Ports)) {
    return "\"" + Trim(Ports) +
           "\" is not a port range: give the first and the last port (from 1024 to 65535) as "
           "in 50000-50100, or leave the field empty for any port.";
  }
  const std::string address = Trim(Address);
  if (!address.empty() && !IsAddressOrDnsName(address)) {
    return "\"" + address +
           "\" is neither an IPv4 address nor a host name: give one such as 203.0.113.7 or "
           "ftp.example.org, or leave the field empty for the local address.";
  }
  return "";
}

bool PassiveSettings::Store(IniFile& ini) const {
  bool ok = ini.WriteString(kSection, "ports", Trim(Ports));
  ok = ini.WriteString(kSection, "address", Trim(Address)) && ok;
  return ok;
}

void PassiveSettings::ApplyTo(TFtpServer& server) const {
  if (!server.PassivePortRange.Parse(Ports)) server.PassivePortRange.Parse("");
  server.ExternalAddress.Set(Address);
}

bool PassiveSettings::IsAddressOrDnsName(const std::string& text) {
  if (PassiveAddress::IsDottedAddress(text)) return true;
  std::string name = text;
  if (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty() || name.size() > 253) return false;
  bool letter = false;
  size_t labelStart = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '.') {
      const size_t length = i - labelStart;
      if (length == 0 || length > 63) return false;
      if (name[labelStart] == '-' || name[i - 1] == '-') return false;
      labelStart = i + 1;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (std::isalpha(c) || c == '-') {
      letter = true;
    } else if (!std::isdigit(c)) {
      return false;
    }
  }
  // Digits and dots only, yet not a dotted address ("300.1.1.1", "10.1"): a mistyped address.
  return letter;
}

}  // namespace orvane
