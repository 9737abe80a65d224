#include "access/Usrdata.h"

namespace orvane {

void Usrdata::CopyAccount(const users& account) {
  Account = account.Name;
  EnableRatio = account.EnableRatio;
  Xdl = account.Xdl;
  Xupl = account.Xupl;
  HideHidden = account.HideHidden;
  Timeout = account.Timeout;
  AllowNoop = account.AllowNoop;
  EnableMaxdl = account.EnableMaxdl;
  AllowTimeout = account.AllowTimeout;
  RequireTLS = account.RequireTLS;
  DownloadRate = account.DownloadRate;
  UploadRate = account.UploadRate;
  QuotaBytes = account.QuotaBytes;
  QuotaFiles = account.QuotaFiles;
  Message = account.Message;
  Links = account.Links;
  Credit = account.Maxdl;

  Dirs.clear();
  for (std::size_t i = 0; i < kDirEntries; ++i) {
    if (!account.Dirs[i].Dir.empty()) Dirs[i] = account.Dirs[i];
  }
  LinkTable.clear();
}

}  // namespace orvane
