#pragma once

#include <string>

namespace orvane {

class IniFile;

// The TLS settings, section "TLS" of FTPsrv.ini. Off by default, so a configuration written
// before TLS existed keeps its meaning. The host reads them at start; the security window edits
// them and writes them back with Store.
class TlsStartSettings {
 public:
  static constexpr const char* kSection = "TLS";
  static constexpr int kDefaultImplicitPort = 990;

  bool Enabled = false;       // "enabled": AUTH TLS offered on the control port
  std::string Cert;           // "cert": certificate file (PEM); empty = the generated one
  std::string Key;            // "key": private key file (PEM); empty = the generated one
  bool RequireLogin = false;  // "requirelogin": USER refused before AUTH for every account
  bool RequireReuse = false;  // "requirereuse": data connections must resume the TLS session
  bool Implicit = false;      // "implicit": a second port where TLS starts at once
  int ImplicitPort = kDefaultImplicitPort;  // "implicitport"

  // Reads every key, with the defaults above for missing or unreadable ones. A port outside
  // 1..65535 reads as the default.
  void Load(const IniFile& ini);

  // Writes every key; false when a write fails.
  bool Store(IniFile& ini) const;
};

}  // namespace orvane
