#pragma once

#include <map>
#include <string>

#include "ftp/CompatibilityPolicy.h"
#include "host/PassiveSettings.h"

namespace orvane {

class IniFile;
class TFtpServer;

// The settings of FTPsrv.ini that are read once, when the host starts, and hold until the
// program ends: the drive map and what the engine is given besides its port and client limit.
// They have no window that edits them live, unlike the models of the setup and log windows, so
// they are read here in one place rather than among the start-up steps.
class ReadOnceSettings {
 public:
  // Section "Drives": key = drive letter (upper-cased), value = the directory it stands for.
  // Keys that are no single letter and empty values are skipped.
  std::map<char, std::string> Drives;
  // Section "ServerFTP", key "classic".
  CompatibilityPolicy Compatibility;
  // Section "Passive", as the network window edits it too; a range that cannot be read leaves
  // the ports to the system.
  PassiveSettings Passive;

  void Read(const IniFile& ini);
  // The drive map to the file system; the policy and the passive settings to the engine.
  void Apply(TFtpServer& engine) const;
};

}  // namespace orvane
