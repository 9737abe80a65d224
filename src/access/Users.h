#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "access/TDir.h"

namespace orvane {

// One account of the account file. The member initialisers are the values of a newly created
// account (Login is set to the name by whoever creates it).
struct users {
  std::string Name;           // section name, unique within the file
  std::string Login;          // "Login"
  std::string Pass;           // "Pass": a clear password, read only when PassHash is empty
  std::string PassHash;       // "PassHash": the password's crypt hash (see PasswordHash)
  bool EnableLogin = true;    // "EnableLogin": false makes an anonymous account
  bool EnablePass = false;    // "EnablePass"
  bool EnableRatio = false;   // "EnableRatio"
  int32_t Xdl = 1;            // "Xdl": download side of the ratio
  int32_t Xupl = 1;           // "Xupl": upload side of the ratio
  int32_t Maxdl = 0;          // "Maxdl": download allowance granted at each login, in bytes
  bool HideHidden = false;    // "Hide hidden Files"
  bool EnableMaxdl = false;   // "EnableMaxdl"
  bool AllowTimeout = false;  // "TO"
  int32_t Timeout = 600;      // "Timeout", seconds
  bool AllowNoop = true;      // "AllowNoop"
  std::array<TDir, kDirEntries> Dirs;  // "Dir"N / "Attr"N
  bool Enabled = true;                 // "Enabled"
  std::string Message;                 // "Message": login message file, empty for none
  std::string Links;                   // "Links": links file, empty for none
  bool RequireTLS = false;  // "RequireTLS": no login before the control connection is TLS
  // Limits, 0 = none each: transfer rates in KiB/s, logged-in sessions at once, and the bytes
  // and files the account may hold under its directory entries.
  int32_t DownloadRate = 0;  // "DownloadRate"
  int32_t UploadRate = 0;    // "UploadRate"
  int32_t MaxSessions = 0;   // "MaxSessions"
  int64_t QuotaBytes = 0;    // "QuotaBytes"
  int64_t QuotaFiles = 0;    // "QuotaFiles"
};

}  // namespace orvane
