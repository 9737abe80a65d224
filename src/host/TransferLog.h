#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>

#include "platform/AppendFile.h"

namespace orvane {

class IniFile;
class TFtpCtrlSocket;

// The optional transfer log in the xferlog format that log analysers and fail2ban read: one
// line per finished or aborted file transfer (listings are not transfers),
//
//   Wed Dec  9 16:05:09 2026 2 127.0.0.1 5120 /srv/ftp/pub/a.txt b _ o a anonymous ftp 0 * c
//
// current time, seconds taken, remote host, bytes moved, file name, type (always b: transfers
// are binary), special action (_), direction (o download, i upload), access mode (a anonymous
// account, r named account), user name, service (ftp), authentication method (0), user id (*),
// completion (c complete, i incomplete). White space and control characters in the file and
// user names become "_" so that every line keeps its fields.
//
// Settings in FTPsrv.ini, section "Xferlog": "Enabled" (default 0) and "File" (default
// "<DIR>xferlog", where <DIR> is the settings directory).
class TransferLog {
 public:
  static constexpr const char* kSection = "Xferlog";
  static constexpr const char* kDefaultFileName = "<DIR>xferlog";

  struct Entry {
    std::time_t end = 0;
    int64_t seconds = 0;
    std::string remoteHost;
    int64_t bytes = 0;
    std::string fileName;
    char direction = 'o';
    char accessMode = 'r';
    std::string userName;
    bool complete = false;
  };

  TransferLog() = default;
  ~TransferLog();
  TransferLog(const TransferLog&) = delete;
  TransferLog& operator=(const TransferLog&) = delete;

  // Whether the log is switched on, and the file it writes, with <DIR> replaced by programDir.
  static bool Enabled(const IniFile& ini);
  static std::string FileName(const IniFile& ini, const std::string& programDir);

  // Opens for appending (created when missing). False when the file cannot be opened.
  bool Open(const std::string& fileName);
  void Close();
  // Log rotation: as EventLog::Reopen.
  bool Reopen();
  bool IsOpen() const { return file_.IsOpen(); }
  // Buffered lines as in EventLog: they wait for Flush; OnPending is called for each.
  void SetBuffered(bool buffered) { file_.SetBuffered(buffered); }
  std::function<void()> OnPending;
  void Flush() { file_.Flush(); }

  // A transfer of the session began; bytesSoFar is the session's counter in that direction,
  // so that the transfer's own bytes are the difference when it ends.
  void Started(const TFtpCtrlSocket& session, Entry entry, int64_t bytesSoFar);
  // The session's transfer ended; writes its line. Nothing when no transfer was started.
  void Ended(const TFtpCtrlSocket& session, int64_t bytesNow, bool complete);
  // The direction of the session's running transfer ('o' or 'i'), or 0 when none runs.
  char Direction(const TFtpCtrlSocket& session) const;

  static std::string FormatLine(const Entry& entry);

 private:
  struct Running {
    Entry entry;
    int64_t bytesAtStart = 0;
    std::chrono::steady_clock::time_point start;
  };

  AppendFile file_;  // each line written whole, at once or at the next Flush
  std::string fileName_;
  std::map<const TFtpCtrlSocket*, Running> running_;
};

}  // namespace orvane
