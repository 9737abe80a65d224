#include "host/Messages.h"

#include "platform/IniFile.h"

namespace orvane {

namespace {

std::string LineKey(std::size_t index) {
  return "line" + std::to_string(index);
}

bool StoreMessage(IniFile& ini, const std::string& section, const std::vector<std::string>& lines) {
  bool ok = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ok = ini.WriteString(section, LineKey(i), lines[i]) && ok;
  }
  return ok;
}

}  // namespace

std::vector<std::string> Messages::LoadMessage(const IniFile& ini, const std::string& section) {
  // Presence is tested on the keys themselves rather than by comparing the read text with a
  // marker default, so a stored line whose text happens to be the marker is kept.
  std::vector<std::string> lines;
  for (std::size_t i = 0;; ++i) {
    const bool present = ini.KeyExists(section, LineKey(i));
    const bool nextPresent = ini.KeyExists(section, LineKey(i + 1));
    if (!present && !nextPresent) break;
    lines.push_back(present ? ini.ReadString(section, LineKey(i), "") : kMissingLine);
  }
  return lines;
}

void Messages::Load(const IniFile& ini) {
  Welcome = LoadMessage(ini, kWelcomeSection);
  TooManyUsers = LoadMessage(ini, kTooManyUsersSection);
}

bool Messages::Store(IniFile& ini) const {
  bool ok = ini.EraseSection(kWelcomeSection);
  ok = ini.EraseSection(kTooManyUsersSection) && ok;
  ok = StoreMessage(ini, kWelcomeSection, Welcome) && ok;
  ok = StoreMessage(ini, kTooManyUsersSection, TooManyUsers) && ok;
  return ok;
}

}  // namespace orvane
