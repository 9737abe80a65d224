#include "host/EventLog.h"

#include "host/EscapeControlBytes.h"
#include "platform/AsciiCase.h"
#include "platform/Clock.h"

namespace orvane {

EventLog::~EventLog() = default;

bool EventLog::Open(const std::string& fileName, const std::string& port) {
  if (!file_.Open(fileName)) return false;
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
  if (!file_.IsOpen()) return;
  WriteLine("");
  WriteLine("---------- Session closed  on " + TimeStamp(Now()) + " ----------");
  file_.Close();
}

bool EventLog::ChangeFile(const std::string& newName, const std::string& port) {
  if (EqualsIgnoreAsciiCase(newName, fileName_)) return true;
  WriteLine("Log File changed  to : " + newName);
  Close();
  return Open(newName, port);
}

bool EventLog::Reopen() {
  if (!file_.IsOpen()) return false;
  // AppendFile::Open writes what waits to the renamed file before it switches.
  return file_.Open(fileName_);
}

void EventLog::LogEvent(int category, const std::string& text) {
  LogEventSplit(category, text, text);
}

void EventLog::LogEventSplit(int category, const std::string& screenText,
                             const std::string& fileText) {
  if (category < 1 || category > LogSettings::kCategories) return;
  if (settings_.File[category]) WriteLine(TimeStamp(Now()) + " " + fileText);
  if (settings_.Screen[category]) memo_.Append(screenText, MemoColor::Black);
}

void EventLog::LogCommand(const std::string& text) {
  if (settings_.File[12]) WriteLine(TimeStamp(Now()) + " " + text);
  if (settings_.Screen[12]) memo_.Append(text, MemoColor::Green);
}

void EventLog::ServerStateLine(const std::string& text, bool flush) {
  WriteLine(ShortDate(Now()) + " " + text);
  memo_.Append(text, MemoColor::Black);
  if (flush) Flush();
}

void EventLog::WriteStampedLine(const std::string& text) {
  WriteLine(TimeStamp(Now()) + " " + text);
}

void EventLog::Notice(const std::string& text) {
  WriteLine(TimeStamp(Now()) + " " + text);
  memo_.Append(text, MemoColor::Black);
}

void EventLog::WriteLine(const std::string& text) {
  if (!file_.IsOpen()) return;
  // One write per line, its end included.
  file_.Write(EscapeControlBytes(text) + "\r\n");
  if (file_.HasBuffered() && OnPending) OnPending();
}

}  // namespace orvane
