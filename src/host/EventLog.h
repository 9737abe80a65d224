#pragma once

#include <functional>
#include <string>

#include "host/LogMemo.h"
#include "host/LogSettings.h"
#include "platform/AppendFile.h"

namespace orvane {

// The event log: twelve categories, each with a screen switch (the memo) and a file switch (the
// log file, kept open for the whole run, lines stamped with date and time). The switches are
// the live values of LogSettings, so a change counts at once. Each file line is written whole:
// no reader sees half a line. Unbuffered, a line is written as it is logged, before the memo
// shows it. Buffered (SetBuffered, as the host runs it), lines wait for Flush, which the host
// calls at the end of each loop round, before the memo's new lines leave the program and
// before the round's replies reach their clients, so that a line the memo or a client has seen
// is in the file; Close, ChangeFile and Reopen flush first.
class EventLog {
 public:
  EventLog(const LogSettings& settings, LogMemo& memo) : settings_(settings), memo_(memo) {}
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Opens (appending, created when missing) and writes the session start block. False when the
  // file cannot be opened; the log then has no file until the next successful Open.
  bool Open(const std::string& fileName, const std::string& port);
  // Writes the session end block, flushes and closes.
  void Close();
  // A change of log file: the old file gets the change line and its end block, the new one
  // its start block. Names compare without regard to case; an equal name changes nothing.
  bool ChangeFile(const std::string& newName, const std::string& port);
  // Opens the log file by its name again, for log rotation: after the file was renamed, lines
  // go to a new file of the old name. Lines written before go to the renamed file first. When
  // the name cannot be opened the log keeps writing to the file it has, and returns false.
  bool Reopen();
  const std::string& FileName() const { return fileName_; }
  bool IsOpen() const { return file_.IsOpen(); }

  void LogEvent(int category, const std::string& text);
  // The same event with a different text on screen and in the file.
  void LogEventSplit(int category, const std::string& screenText, const std::string& fileText);
  // The command echo: green on screen, category 12.
  void LogCommand(const std::string& text);
  // Server state lines: always to the memo and to the file, the file line with the date only.
  void ServerStateLine(const std::string& text, bool flush);
  // A file line with the time stamp, whatever the switches (the ban by dragging uses it).
  void WriteStampedLine(const std::string& text);
  // A start-up notice (a configuration problem): to the memo and, stamped, to the file,
  // whatever the switches.
  void Notice(const std::string& text);
  // Whether lines wait for Flush; OnPending is called for each line that waits, so that the
  // owner can arrange the flush.
  void SetBuffered(bool buffered) { file_.SetBuffered(buffered); }
  std::function<void()> OnPending;
  // Writes the waiting lines with one write.
  void Flush() { file_.Flush(); }

 private:
  void WriteLine(const std::string& line);

  const LogSettings& settings_;
  LogMemo& memo_;
  AppendFile file_;
  std::string fileName_;
};

}  // namespace orvane
