#pragma once

#include <cstdint>
#include <string>

#include "access/EntryTable.h"
#include "access/TDir.h"
#include "access/TGo.h"
#include "access/Users.h"

namespace orvane {

// The record kept for one connected client: a copy of its account taken at login plus the
// session's own counters. Byte counters are 64-bit so that sessions past 2 GiB count right.
struct Usrdata {
  std::string LoginTime;
  std::string IP;
  int32_t Idle = 0;  // seconds since the last counted activity
  int64_t Uploaded = 0;
  int64_t Downloaded = 0;
  std::string Status;  // activity text shown in the user information window
  std::string UserName;
  int32_t Xupl = 0;
  int32_t Xdl = 0;
  std::string Account;  // Name of the account that admitted the client
  int64_t Credit = 0;   // remaining download allowance in bytes, may go negative
  bool EnableMaxdl = false;
  bool EnableRatio = false;
  int64_t IntervalBytes = 0;  // bytes moved since the last speed sample
  bool HideHidden = false;
  int32_t Timeout = 0;
  bool AllowNoop = false;
  bool AllowTimeout = false;
  bool RequireTLS = false;
  // The account's limits, copied at login (0 = none): rates in KiB/s, quota in bytes and files.
  int32_t DownloadRate = 0;
  int32_t UploadRate = 0;
  int64_t QuotaBytes = 0;
  int64_t QuotaFiles = 0;
  // The text the host gives the next failure reply (4xx or 5xx) of this session instead of the
  // engine's own, when a refusal has a reason the client should read ("552 Quota exceeded").
  std::string RefusalAnswer;
  bool Secure = false;  // the control connection is TLS (set by the host, shown in the lists)
  EntryTable<TDir, kDirEntries> Dirs;
  std::string Message;
  std::string Links;
  EntryTable<TGo, kLinkEntries> LinkTable;
  bool FreeFile = false;  // the download in progress is not charged to Credit
  // The host's defences before login: seconds connected without a login, refused passwords on
  // this connection, and for a refusal whose answer is held, when it is due (steady clock, ms)
  // and whether the connection ends after it.
  int32_t SecondsWithoutLogin = 0;
  int32_t LoginFailures = 0;
  int64_t HeldAnswerDueMs = 0;
  bool CloseAfterHeldAnswer = false;
  std::string ClosingLine;  // sent before that end; none when the refusal itself said it

  // Takes the account's settings at login: Account, the ratio, allowance, time-out and listing
  // switches, the message and links files, and the used directory entries at their indices.
  // Entries and links left from an earlier login of the same client are cleared first, so a
  // client that logs in again under another account keeps none of the old account's rights.
  // The session values (UserName, IP, LoginTime, Status, counters) are the caller's.
  void CopyAccount(const users& account);
};

}  // namespace orvane
