#pragma once

#include <optional>
#include <string>

namespace orvane {

class IniFile;

// The log settings: for each of the twelve event categories one switch for the log memo
// ("Screen") and one for the log file ("File"), the "Max Lines :" field and the "Log File :"
// field. The log settings window edits this object directly and the event log reads it on every
// event, so a click counts at once, before OK.
//
// In the configuration file the switches are sections "Screen" and "File", keys "1".."12";
// "Screen"/"13" holds the memo's maximum line count and "File"/"13" the log file name.
class LogSettings {
 public:
  static constexpr int kCategories = 12;
  static constexpr const char* kDefaultLogFileName = "<DIR>FTP.log";
  static constexpr const char* kDirMacro = "<DIR>";

  // Index 1..12 is the category; index 0 is unused.
  bool Screen[kCategories + 1];
  bool File[kCategories + 1];
  std::string MaxLines = "100";
  std::string LogFileName = kDefaultLogFileName;

  // Categories 1 to 10 on, 11 (answers) and 12 (commands) off, on both outputs.
  LogSettings();

  // Reads every switch and both fields, with the defaults for missing or unreadable keys.
  void Load(const IniFile& ini);

  // Writes the 24 switches, then "Screen"/"13" as the integer value of MaxLines, then
  // "File"/"13". When MaxLines is not a valid integer it returns false right after the switches,
  // leaving both "13" keys as they were; the caller reports the error and keeps the window open.
  // Also false when a write fails.
  bool Store(IniFile& ini) const;

  // The value of the Max Lines field; nullopt when it is not a valid integer.
  std::optional<int> MaxLinesValue() const;

  // The log file to use: LogFileName, or "<DIR>FTP.log" when it is empty, with every "<DIR>"
  // replaced by programDir (which ends with the path separator).
  std::string ResolvedLogFileName(const std::string& programDir) const;

  // The text the browse button puts into the log file field: the chosen path with every
  // occurrence of programDir (case-sensitive) replaced by "<DIR>".
  static std::string StoredLogFileName(const std::string& chosenPath,
                                       const std::string& programDir);

  // Whether a typed character may enter the Max Lines field: the digits 0 to 9 only.
  static bool AcceptMaxLinesChar(char c);

  // Defaults of a category's switches: on for 1 to 10, off for 11 and 12.
  static bool DefaultSwitch(int category);
};

}  // namespace orvane
