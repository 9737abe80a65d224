#include "host/ReadOnceSettings.h"

#include <cctype>

#include "ftp/TFtpServer.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

namespace orvane {

void ReadOnceSettings::Read(const IniFile& ini) {
  Drives.clear();
  for (const std::string& key : ini.Keys("Drives")) {
    const std::string value = ini.ReadString("Drives", key, "");
    if (key.size() == 1 && std::isalpha(static_cast<unsigned char>(key[0])) && !value.empty()) {
      Drives[static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])))] = value;
    }
  }
  Compatibility = CompatibilityPolicy::Read(ini);
  Passive.Load(ini);
}

void ReadOnceSettings::Apply(TFtpServer& engine) const {
  FileSystem::SetDriveMap(Drives);
  engine.Compatibility = Compatibility;
  Passive.ApplyTo(engine);
}

}  // namespace orvane
