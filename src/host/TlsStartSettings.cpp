#include "host/TlsStartSettings.h"

#include "platform/IniFile.h"

namespace orvane {

void TlsStartSettings::Load(const IniFile& ini) {
  Enabled = ini.ReadBool(kSection, "enabled", false);
  Cert = ini.ReadString(kSection, "cert", "");
  Key = ini.ReadString(kSection, "key", "");
  RequireLogin = ini.ReadBool(kSection, "requirelogin", false);
  RequireReuse = ini.ReadBool(kSection, "requirereuse", false);
  Implicit = ini.ReadBool(kSection, "implicit", false);
  ImplicitPort = ini.ReadInteger(kSection, "implicitport", kDefaultImplicitPort);
  if (ImplicitPort < 1 || ImplicitPort > 65535) ImplicitPort = kDefaultImplicitPort;
}

bool TlsStartSettings::Store(IniFile& ini) const {
  bool ok = ini.WriteBool(kSection, "enabled", Enabled);
  ok = ini.WriteString(kSection, "cert", Cert) && ok;
  ok = ini.WriteString(kSection, "key", Key) && ok;
  ok = ini.WriteBool(kSection, "requirelogin", RequireLogin) && ok;
  ok = ini.WriteBool(kSection, "requirereuse", RequireReuse) && ok;
  ok = ini.WriteBool(kSection, "implicit", Implicit) && ok;
  ok = ini.WriteInteger(kSection, "implicitport", ImplicitPort) && ok;
  return ok;
}

}  // namespace orvane
