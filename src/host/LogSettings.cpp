#include "host/LogSettings.h"

#include <cstdint>

#include "platform/IniFile.h"

namespace orvane {

namespace {

const char kScreen[] = "Screen";
const char kFile[] = "File";
const char kSizeKey[] = "13";
constexpr int32_t kDefaultMaxLines = 100;

// Replaces every occurrence of from, left to right; replaced text is not searched again.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

LogSettings::LogSettings() {
  for (int category = 0; category <= kCategories; ++category) {
    Screen[category] = File[category] = DefaultSwitch(category);
  }
}

bool LogSettings::DefaultSwitch(int category) {
  return category >= 1 && category <= 10;
}

void LogSettings::Load(const IniFile& ini) {
  for (int category = 1; category <= kCategories; ++category) {
    const std::string key = std::to_string(category);
    Screen[category] = ini.ReadBool(kScreen, key, DefaultSwitch(category));
    File[category] = ini.ReadBool(kFile, key, DefaultSwitch(category));
  }
  MaxLines = std::to_string(ini.ReadInteger(kScreen, kSizeKey, kDefaultMaxLines));
  LogFileName = ini.ReadString(kFile, kSizeKey, kDefaultLogFileName);
}

bool LogSettings::Store(IniFile& ini) const {
  bool ok = true;
  for (int category = 1; category <= kCategories; ++category) {
    const std::string key = std::to_string(category);
    ok = ini.WriteBool(kScreen, key, Screen[category]) && ok;
    ok = ini.WriteBool(kFile, key, File[category]) && ok;
  }
  const std::optional<int> maxLines = MaxLinesValue();
  if (!maxLines) return false;
  ok = ini.WriteInteger(kScreen, kSizeKey, *maxLines) && ok;
  ok = ini.WriteString(kFile, kSizeKey, LogFileName) && ok;
  return ok;
}

std::optional<int> LogSettings::MaxLinesValue() const {
  int64_t value = 0;
  if (!IniFile::ParseInteger(MaxLines, INT32_MIN, INT32_MAX, value)) return std::nullopt;
  return static_cast<int>(value);
}

std::string LogSettings::ResolvedLogFileName(const std::string& programDir) const {
  return ReplaceAll(LogFileName.empty() ? kDefaultLogFileName : LogFileName, kDirMacro, programDir);
}

std::string LogSettings::StoredLogFileName(const std::string& chosenPath,
                                           const std::string& programDir) {
  return ReplaceAll(chosenPath, programDir, kDirMacro);
}

bool LogSettings::AcceptMaxLinesChar(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace orvane
