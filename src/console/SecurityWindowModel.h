#pragma once

#include <string>

#include "host/TlsStartSettings.h"

namespace orvane {

class IniFile;

// The rules of the security window, which edits the TLS settings of FTPsrv.ini: the switches and
// file names as TlsStartSettings holds them, the implicit port as the text of its field. The host
// reads these settings when the server starts, so what OK stores counts from the next start.
class SecurityWindowModel {
 public:
  TlsStartSettings Settings;
  std::string ImplicitPort = std::to_string(TlsStartSettings::kDefaultImplicitPort);

  // Reads the settings and shows the port as its number.
  void Load(const IniFile& ini);

  // Checks the fields and writes every key. Returns the message to show when a field is wrong
  // or the file cannot be written (then nothing or not everything is stored), empty otherwise.
  // controlPort is the port of the control connection, which the implicit port must not take.
  std::string Store(IniFile& ini, const std::string& controlPort);

  // The implicit port field as a port number: digits only, 1 to 65535; 0 otherwise.
  static int PortValue(const std::string& text);
};

}  // namespace orvane
