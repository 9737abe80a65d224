#include "access/TransferAccounting.h"

#include <stdexcept>

#include "access/DirectoryRights.h"
#include "access/FreeList.h"
#include "access/HostView.h"
#include "access/Usrdata.h"
#include "access/Who.h"
#include "ftp/SessionView.h"

namespace orvane {

namespace {

const int kUploadCategory = 5;
const int kUploadClosedCategory = 6;
const int kDownloadCategory = 7;
const int kDownloadClosedCategory = 8;
const int kAnswerCategory = 11;

const char kNoCreditRatio[] =
    "550-You do not have enough credits to download this file ! Please upload first !";
const char kNoCreditSorry[] =
    "550-You do not have enough credits to download this file ! Sorry ...";

}  // namespace

int64_t TransferAccounting::EarnedCredit(int64_t len, int32_t xupl, int32_t xdl) {
  // The account store never gives an Xupl of 0, but a record that was never filled holds one.
  if (xupl == 0) return 0;
  return len * xdl / xupl;  // truncates toward zero
}

std::string TransferAccounting::RatioLine(const Usrdata& record) {
  return "226-Using U/D Ratio " + std::to_string(record.Xupl) + "/" + std::to_string(record.Xdl) +
         ". Current credit " + std::to_string(record.Credit) + " bytes";
}

void TransferAccounting::SendAndLog(SessionView& client, const std::string& line) {
  client.AddReplyLine(line);
  host_.LogEvent(kAnswerCategory, Who(client) + " " + line);
}

void TransferAccounting::LogTransferError(SessionView& client, uint16_t error,
                                          const Usrdata& record) {
  host_.LogScreenOnly(record.UserName + " (" + client.GetPeerAddr() + ") Error #" +
                      std::to_string(error));
}

// ---------------------------------------------------------------------------------------------
// Downloads

void TransferAccounting::FtpServer1ValidateGet(SessionView& client, std::string& filePath,
                                               bool& allowed, Usrdata& record) {
  allowed = rights_.ValidateGetRights(client, filePath, record);
  if (!allowed || filePath.empty()) return;
  // The whole file must be covered, also for a resumed download.
  const int64_t size = client.FoundFileSize(filePath);
  if (size < 0) return;

  const std::string asked = Who(client) + " asked to download " + filePath;
  if (!record.EnableMaxdl || record.Credit >= size) {
    host_.LogEvent(kDownloadCategory, asked + " --> Access allowed");
    return;
  }

  if (record.EnableRatio) {
    SendAndLog(client, kNoCreditRatio);
    SendAndLog(client, RatioLine(record));
  } else {
    SendAndLog(client, kNoCreditSorry);
  }
  host_.LogEvent(kDownloadCategory, asked + " --> Access denied (not enough credits)");
  allowed = false;
}

void TransferAccounting::FtpServer1RetrSessionConnected(SessionView& client, uint16_t error,
                                                        Usrdata& record) {
  record.Idle = 0;
  record.FreeFile = false;
  if (error != 0) {
    LogTransferError(client, error, record);
    return;
  }
  if (client.TransferFilePath().empty()) return;  // a listing

  const std::string who = Who(client);
  // SECURITY: the file is checked against the allowance again as the download opens it. It
  // may have been replaced since RETR was allowed (deleted, and another renamed to its name
  // while the data connection was awaited), and the file opened must fit the allowance too.
  if (const int64_t size = client.FoundFileSize(client.TransferFilePath()); size >= 0) {
    if (record.EnableMaxdl && record.Credit < size) {
      host_.LogEvent(kDownloadCategory, who + " asked to download " + client.TransferFilePath() +
                                            " --> Access denied (not enough credits)");
      client.RefuseTransfer("Not enough credits");
    }
    record.Status = "Downloading " + client.TransferFilePath();
    host_.LogEvent(kDownloadCategory, who + " started to download " + client.TransferFilePath());
    host_.ClientStatusChanged(record);
    record.FreeFile = host_.FreeFiles().Contains(client.TransferFilePath());
    return;
  }

  host_.LogEventSplit(
      kDownloadCategory,
      who + " tried to download " + client.TransferFilePath() + " --> File doesn't exist",
      who + " tried to download " + client.TransferFilePath() + " File doesn't exist");
  // Without a file nothing would be sent and the engine would report a complete transfer;
  // refusing makes it answer with the failure instead.
  client.RefuseTransfer("File doesn't exist");
}

void TransferAccounting::FtpServer1UpdateXfer(SessionView& client, int count, Usrdata& record) {
  // SECURITY: the allowance covered the file's size when the download began; a file that grows
  // meanwhile is sent on only while the allowance still covers each chunk. The engine ends the
  // download as a failure, never as complete.
  if (record.EnableMaxdl && !record.FreeFile && record.Credit < count) {
    host_.LogEvent(kDownloadCategory, Who(client) + " download of " + client.TransferFilePath() +
                                          " stopped --> not enough credits");
    throw std::runtime_error("Not enough credits");
  }
  host_.AddDownloaded(count);
  record.Downloaded += count;
  record.IntervalBytes += count;
  if (!record.FreeFile) record.Credit -= count;
}

void TransferAccounting::FtpServer1RetrDataSent(SessionView& client, uint16_t error,
                                                Usrdata& record) {
  record.Idle = 0;
  if (error != 0) LogTransferError(client, error, record);
}

void TransferAccounting::FtpServer1RetrSessionClosed(SessionView& client, uint16_t error,
                                                     Usrdata& record) {
  record.Idle = 0;
  record.FreeFile = false;
  if (error != 0) {
    LogTransferError(client, error, record);
    return;
  }
  record.Status = "Current Directory " + client.Directory();
  if (!client.TransferFilePath().empty()) {
    host_.LogEvent(kDownloadClosedCategory,
                   Who(client) + " finished to download " + client.TransferFilePath());
  }
  host_.ClientStatusChanged(record);
}

// ---------------------------------------------------------------------------------------------
// Uploads

void TransferAccounting::FtpServer1StorSessionConnected(SessionView& client, uint16_t error,
                                                        Usrdata& record) {
  record.Idle = 0;
  if (error != 0) {
    LogTransferError(client, error, record);
    return;
  }
  record.Status = "Uploading " + client.TransferFileName() + " in " + client.Directory();
  host_.LogEvent(kUploadCategory, Who(client) + " started to upload " + client.TransferFileName() +
                                      " in " + client.Directory());
  host_.ClientStatusChanged(record);
}

void TransferAccounting::FtpServer1StorDataAvailable(SessionView&, const char*, int len, uint16_t,
                                                     Usrdata& record) {
  record.Idle = 0;
  host_.AddUploaded(len);
  record.IntervalBytes += len;
  record.Uploaded += len;
  if (record.EnableMaxdl && record.EnableRatio) {
    record.Credit += EarnedCredit(len, record.Xupl, record.Xdl);
  }
}

void TransferAccounting::FtpServer1StorSessionClosed(SessionView& client, uint16_t error,
                                                     Usrdata& record) {
  record.Idle = 0;
  if (record.EnableRatio) SendAndLog(client, RatioLine(record));
  record.Status = "Current Directory " + client.Directory();
  if (error != 0) {
    LogTransferError(client, error, record);
  } else {
    host_.LogEvent(kUploadClosedCategory, Who(client) + " finished to upload " +
                                              client.TransferFileName() + " in " +
                                              client.Directory());
  }
  host_.ClientStatusChanged(record);
}

}  // namespace orvane
