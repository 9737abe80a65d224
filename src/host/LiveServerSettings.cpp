#include "host/LiveServerSettings.h"

#include <cstdint>

#include "platform/IniFile.h"

namespace orvane {

namespace {

const char kSection[] = "ServerFTP";

std::string PortText(const IniFile& ini) {
  std::string text =
      std::to_string(ini.ReadInteger(kSection, "port", LiveServerSettings::kDefaultPort));
  if (text.size() > LiveServerSettings::kPortFieldLength)
    text.resize(LiveServerSettings::kPortFieldLength);
  return text;
}

std::string MaxUsrText(const IniFile& ini) {
  return std::to_string(ini.ReadInteger(kSection, "maxusr", LiveServerSettings::kDefaultMaxUsers));
}

}  // namespace

bool LiveServerSettings::MaxUsrValue(int& value) const {
  int64_t parsed = 0;
  if (!IniFile::ParseInteger(MaxUsr, INT32_MIN, INT32_MAX, parsed)) return false;
  value = static_cast<int>(parsed);
  return true;
}

void LiveServerSettings::ReadFields(const IniFile& ini) {
  Minimize = ini.ReadBool(kSection, "minimize", false);
  AutoLaunch = ini.ReadBool(kSection, "demarrageauto", false);
  SameIpConnection = ini.ReadBool(kSection, "sameipconnection", false);
  Port = PortText(ini);
  MaxUsr = MaxUsrText(ini);
}

int LiveServerSettings::Load(const IniFile& ini) {
  ReadFields(ini);
  int maxClients = 0;
  if (!MaxUsrValue(maxClients)) {
    maxClients = kDefaultMaxUsers;
    MaxUsr = std::to_string(kDefaultMaxUsers);
  }
  return maxClients;
}

void LiveServerSettings::Reload(const IniFile& ini) {
  ReadFields(ini);
}

LiveServerSettings::OkResult LiveServerSettings::StoreOk(IniFile& ini, int currentMaxClients) {
  bool ok = ini.WriteBool(kSection, "minimize", Minimize);
  if (Port.empty()) Port = std::to_string(kDefaultPort);
  ok = ini.WriteBool(kSection, "demarrageauto", AutoLaunch) && ok;
  ok = ini.WriteBool(kSection, "sameipconnection", SameIpConnection) && ok;
  ok = ini.WriteString(kSection, "port", Port) && ok;
  ok = ini.WriteString(kSection, "maxusr", MaxUsr) && ok;
  Port = PortText(ini);

  OkResult result{currentMaxClients, false};
  int typed = 0;
  if (MaxUsrValue(typed)) {
    if (typed != currentMaxClients) result = {typed, true};
  } else {
    MaxUsr = std::to_string(currentMaxClients);
    ok = ini.WriteString(kSection, "maxusr", MaxUsr) && ok;
  }
  MaxUsr = MaxUsrText(ini);
  storeFailed_ = !ok;
  return result;
}

}  // namespace orvane
