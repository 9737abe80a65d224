#include "host/TransferLog.h"

#include <cstdio>

#include "host/EscapeControlBytes.h"
#include "host/LogSettings.h"
#include "platform/IniFile.h"

namespace orvane {

namespace {

// Keeps a name one field: white space and C0 control characters become "_"; C1 controls are
// escaped as in the event log, so no name reaches a terminal as a control sequence.
std::string OneField(const std::string& text) {
  if (text.empty()) return "_";
  std::string out = text;
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7f) c = '_';
  }
  return EscapeControlBytes(out);
}

// "Wed Dec  9 16:05:09 2026", the C library's asctime layout with English names whatever the
// locale.
std::string XferTime(std::time_t t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[tm.tm_wday % 7],
                kMonths[tm.tm_mon % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                tm.tm_year + 1900);
  return text;
}

}  // namespace

TransferLog::~TransferLog() {
  Close();
}

bool TransferLog::Enabled(const IniFile& ini) {
  return ini.ReadBool(kSection, "Enabled", false);
}

std::string TransferLog::FileName(const IniFile& ini, const std::string& programDir) {
  std::string name = ini.ReadString(kSection, "File", "");
  if (name.empty()) name = kDefaultFileName;
  const std::string macro = LogSettings::kDirMacro;
  for (size_t at = name.find(macro); at != std::string::npos;
       at = name.find(macro, at + programDir.size())) {
    name.replace(at, macro.size(), programDir);
  }
  return name;
}

bool TransferLog::Open(const std::string& fileName) {
  if (!file_.Open(fileName)) return false;
  fileName_ = fileName;
  return true;
}

void TransferLog::Close() {
  file_.Close();
}

bool TransferLog::Reopen() {
  if (!file_.IsOpen()) return false;
  return file_.Open(fileName_);
}

void TransferLog::Started(const TFtpCtrlSocket& session, Entry entry, int64_t bytesSoFar) {
  running_[&session] = Running{std::move(entry), bytesSoFar, std::chrono::steady_clock::now()};
}

char TransferLog::Direction(const TFtpCtrlSocket& session) const {
  auto it = running_.find(&session);
  return it == running_.end() ? 0 : it->second.entry.direction;
}

void TransferLog::Ended(const TFtpCtrlSocket& session, int64_t bytesNow, bool complete) {
  auto it = running_.find(&session);
  if (it == running_.end()) return;
  Running running = std::move(it->second);
  running_.erase(it);
  if (!file_.IsOpen()) return;
  Entry& entry = running.entry;
  entry.end = std::time(nullptr);
  entry.bytes = bytesNow >= running.bytesAtStart ? bytesNow - running.bytesAtStart : 0;
  const auto elapsed = std::chrono::steady_clock::now() - running.start;
  // Whole seconds, rounded up, so that a transfer always took at least one second (the log
  // analysers divide by it).
  entry.seconds = std::chrono::ceil<std::chrono::seconds>(elapsed).count();
  if (entry.seconds < 1) entry.seconds = 1;
  entry.complete = complete;
  file_.Write(FormatLine(entry) + "\n");
  if (file_.HasBuffered() && OnPending) OnPending();
}

std::string TransferLog::FormatLine(const Entry& e) {
  std::string line = XferTime(e.end);
  line += ' ' + std::to_string(e.seconds);
  line += ' ' + OneField(e.remoteHost);
  line += ' ' + std::to_string(e.bytes);
  line += ' ' + OneField(e.fileName);
  line += " b _ ";
  line += e.direction;
  line += ' ';
  line += e.accessMode;
  line += ' ' + OneField(e.userName);
  line += " ftp 0 * ";
  line += e.complete ? 'c' : 'i';
  return line;
}

}  // namespace orvane
