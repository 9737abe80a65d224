#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace orvane {

class IniFile;
struct Usrdata;

// The limits the host applies per account beyond the rights: the disk quota (QuotaBytes,
// QuotaFiles) with the usage of each account that has one, and the server-wide transfer rates
// of section "ServerFTP" ("downloadrate", "uploadrate", KiB/s). The rates themselves are
// enforced by the engine's TransferPacing; the host hands them over.
//
// Usage is kept per account, not per session: it is counted from the disk when the first
// session of the account logs in, changed by the uploads and deletes of every session of the
// account, and forgotten when its last session leaves (the next login counts again, so changes
// made outside the server are seen then). The count walks the account's directory entries on
// the loop thread and stops after kMaxCountedEntries entries (the usage is then marked partial).
class AccountLimits {
 public:
  static constexpr int64_t kMaxCountedEntries = 100000;
  static constexpr const char* kQuotaExceeded = "552 Quota exceeded";

  struct Usage {
    int64_t bytes = 0;
    int64_t files = 0;
    bool partial = false;  // the count stopped at kMaxCountedEntries
    int sessions = 0;
  };

  // Reads the server-wide rates (a missing or negative value is no limit).
  void Load(const IniFile& ini);
  int64_t ServerDownloadRate() const { return downloadRate_ * 1024; }  // bytes/s, 0 none
  int64_t ServerUploadRate() const { return uploadRate_ * 1024; }

  // A session logged in under record.Account (with record's quota copy). Counts the account's
  // usage when it is the first session with a quota. A record that was logged in under another
  // account leaves that one first.
  void LoggedIn(const Usrdata& record);
  // The session ends (or logs in again elsewhere).
  void LoggedOut(const Usrdata& record);
  // The usage of an account with a quota and a session, else none.
  const Usage* UsageOf(const std::string& account) const;
  // "12.3 MB of 100 MB, 10 of 50 files" for the displays; empty without a quota.
  std::string QuotaText(const Usrdata& record) const;

  // "download 1024 KiB/s, upload none" for the displays; empty when neither rate is set.
  static std::string RatesText(int64_t downloadBytes, int64_t uploadBytes);

  // A command of the session: ALLO announces the size of the next upload; STOR, STOU and APPE
  // say what kind the next accepted upload is.
  void Command(const Usrdata& record, const std::string& keyword, const std::string& params);
  // An upload to path was allowed by the rights. Returns the reason (for the log) when the
  // quota refuses it before any byte: the account at or over its limit, a new file past the
  // file limit, or an announced size that would pass the byte limit. Else remembers the upload.
  std::string RefuseUpload(const Usrdata& record, const std::string& path);
  // len bytes of the running upload arrived and are about to be written. False when they would
  // take the account past its byte quota (the upload is then to end with kQuotaExceeded).
  bool Receive(const Usrdata& record, int64_t len);
  // The upload ended. One the quota ended removes the file when the upload created it (an
  // appended or resumed file keeps what it had and what fitted). The usage is then set from the
  // file's size on disk. Returns true when it was a quota end.
  bool UploadEnded(const Usrdata& record);
  // DELE of path was allowed: its size is remembered, and subtracted after the command if the
  // file is gone then (AfterCommand).
  void DeleteAsked(const Usrdata& record, const std::string& path);
  void AfterCommand(const Usrdata& record);

 private:
  struct Upload {
    std::string path;
    bool existed = false;
    bool append = false;
    int64_t oldSize = 0;
    int64_t counted = 0;  // bytes added to the usage while it ran
    bool overQuota = false;
  };
  struct Session {
    std::string account;
    int64_t announced = -1;  // ALLO size for the next upload, -1 none
    bool nextAppends = false;
    bool uploading = false;
    Upload upload;
    std::string deleting;
    int64_t deletingSize = -1;
  };
  Usage* UsageFor(const Usrdata& record);
  static Usage Count(const Usrdata& record);

  int64_t downloadRate_ = 0;
  int64_t uploadRate_ = 0;
  std::map<std::string, Usage> usage_;          // accounts with a quota and a session
  std::map<const Usrdata*, Session> sessions_;  // logged-in sessions of those accounts
};

}  // namespace orvane
