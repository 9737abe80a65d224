#include "console/SecurityWindowModel.h"

#include "platform/IniFile.h"
#include "platform/Trim.h"

namespace orvane {

void SecurityWindowModel::Load(const IniFile& ini) {
  Settings.Load(ini);
  ImplicitPort = std::to_string(Settings.ImplicitPort);
}

int SecurityWindowModel::PortValue(const std::string& text) {
  if (text.empty() || text.size() > 5) return 0;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535 ? value : 0;
}

std::string SecurityWindowModel::Store(IniFile& ini, const std::string& controlPort) {
  const int port = PortValue(ImplicitPort);
  if (port == 0) {
    const std::string given = ImplicitPort.empty() ? "" : ", not \"" + ImplicitPort + "\"";
    return "The implicit TLS port must be a number from 1 to 65535" + given + ".";
  }
  if (Settings.Implicit && std::to_string(port) == Trim(controlPort)) {
    return "The implicit TLS port must differ from the server's port (" + Trim(controlPort) + ").";
  }
  Settings.Cert = Trim(Settings.Cert);
  Settings.Key = Trim(Settings.Key);
  if (Settings.Cert.empty() != Settings.Key.empty()) {
    return "Give both the certificate file and the key file, or neither for a self-signed "
           "certificate made for this machine.";
  }
  Settings.ImplicitPort = port;
  ImplicitPort = std::to_string(port);
  if (!Settings.Store(ini)) return "Cannot write " + ini.Path();
  return "";
}

}  // namespace orvane
