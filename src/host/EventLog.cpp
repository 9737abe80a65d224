#include "host/EventLog.h"

#include "host/LogText.h"
#include "platform/AsciiCase.h"
#include "platform/Clock.h"

namespace orvane {

EventLog::~EventLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool EventLog::Open(const std::string& fileName, const std::string& port) {
  std::FILE* f = std::fopen(fileName.c_str(), "ab");
  if (f == nullptr) return false;
  if (file_ != nullptr) std::fclose(file_);
  file_ = f;
  // Lines are written through a small buffer and flushed at the moments the log defines.
  std::setvbuf(file_, buffer_, _IOFBF, sizeof buffer_);
  fileName_ = fileName;
  WriteLine("");
  WriteLine("");
  WriteLine("---------- Session created on " + TimeStamp(Now()) + " on port " + port +
            " ----------");
  WriteLine("");
  Flush();
  return true;
}

void EventLog::Close() {
  if (file_ == nullptr) return;
  WriteLine("");
  WriteLine("---------- Session closed  on " + TimeStamp(Now()) + " ----------");
  Flush();
  std::fclose(file_);
  file_ = nullptr;
}

bool EventLog::ChangeFile(const std::string& newName, const std::string& port) {
  if (EqualsIgnoreAsciiCase(newName, fileName_)) return true;
  WriteLine("Log File changed  to : " + newName);
  Close();
  return Open(newName, port);
}

bool EventLog::Reopen() {
  if (file_ == nullptr) return false;
  std::fflush(file_);
  std::FILE* f = std::fopen(fileName_.c_str(), "ab");
  if (f == nullptr) return false;
  std::fclose(file_);
  file_ = f;
  std::setvbuf(file_, buffer_, _IOFBF, sizeof buffer_);
  return true;
}

void EventLog::LogEvent(int category, const std::string& text) {
  LogEventSplit(category, text, text);
}

void EventLog::LogEventSplit(int category, const std::string& screenText,
                             const std::string& fileText) {
  if (category < 1 || category > LogSettings::kCategories) return;
  if (settings_.Screen[category]) memo_.Append(screenText, MemoColor::Black);
  if (settings_.File[category]) WriteLine(TimeStamp(Now()) + " " + fileText);
}

void EventLog::LogCommand(const std::string& text) {
  if (settings_.Screen[12]) memo_.Append(text, MemoColor::Green);
  if (settings_.File[12]) WriteLine(TimeStamp(Now()) + " " + text);
}

void EventLog::ServerStateLine(const std::string& text, bool flush) {
  memo_.Append(text, MemoColor::Black);
  WriteLine(ShortDate(Now()) + " " + text);
  if (flush) Flush();
}

void EventLog::WriteStampedLine(const std::string& text) {
  WriteLine(TimeStamp(Now()) + " " + text);
}

void EventLog::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

void EventLog::WriteLine(const std::string& text) {
  if (file_ == nullptr) return;
  const std::string line = EscapeControlBytes(text);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fwrite("\r\n", 1, 2, file_);
}

}  // namespace orvane
