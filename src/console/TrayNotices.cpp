#include "console/TrayNotices.h"

#include <algorithm>

#include "platform/IniFile.h"

namespace orvane {

namespace {

const char kTitle[] = "Orvane FTP Server";

}  // namespace

void TrayNotices::Load(const IniFile& ini) {
  Enabled = ini.ReadBool(kSection, kKey, true);
}

bool TrayNotices::Store(IniFile& ini) const {
  return ini.WriteBool(kSection, kKey, Enabled);
}

std::optional<TrayNotices::Notice> TrayNotices::IfEnabled(Notice notice) const {
  if (!Enabled) return std::nullopt;
  return notice;
}

std::optional<TrayNotices::Notice> TrayNotices::NoteImage(int image) {
  const bool first = image_ == 0 && image != 0;
  image_ = image;
  if (!first) return std::nullopt;
  return IfEnabled({kTitle, "A client is connected"});
}

std::optional<TrayNotices::Notice> TrayNotices::NoteServerState(const std::string& text) {
  const bool online = text.rfind("FTP Server On-line", 0) == 0;
  const bool stopped = online_ && text.rfind("FTP Server Off-line", 0) == 0;
  if (online || stopped) online_ = online;
  if (!stopped) return std::nullopt;
  return IfEnabled({kTitle, text});
}

std::optional<TrayNotices::Notice> TrayNotices::NoteBanList(const std::vector<std::string>& items) {
  std::vector<std::string> added;
  for (const std::string& item : items) {
    if (std::find(bans_.begin(), bans_.end(), item) == bans_.end()) added.push_back(item);
  }
  bans_ = items;
  if (added.empty()) return std::nullopt;
  std::string text;
  for (const std::string& address : added) text += (text.empty() ? "" : ", ") + address;
  return IfEnabled({kTitle, text + " added to the ban list"});
}

}  // namespace orvane
