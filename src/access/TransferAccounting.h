#pragma once

#include <cstdint>
#include <string>

namespace orvane {

class HostView;
class DirectoryRights;
class SessionView;
struct Usrdata;

// Counts the bytes of every transfer, keeps the client's download allowance (Credit) and logs
// the start and end of transfers.
//
// Credit starts at the account's Maxdl at each login. Every byte sent lowers it unless the file
// is on the free list; with both EnableMaxdl and EnableRatio on, every received block raises it
// by Len * Xdl / Xupl (worked out per block, the remainder dropped). With EnableMaxdl on, a
// download is granted only while Credit is at least the whole file's size.
class TransferAccounting {
 public:
  TransferAccounting(HostView& host, DirectoryRights& rights) : host_(host), rights_(rights) {}

  // OnValidateGet: the R right (DirectoryRights), then the allowance. A refusal for lack of
  // allowance sends its "550-" (and, with a ratio, "226-") lines ahead of the engine's reply.
  void FtpServer1ValidateGet(SessionView& client, std::string& filePath, bool& allowed,
                             Usrdata& record);
  // OnRetrSessionConnected (RETR, LIST, NLST): a download starts; decides whether it is free.
  // A file that vanished since the validation, or grew past the allowance, is logged and the
  // transfer refused (SessionView::RefuseTransfer, which throws).
  void FtpServer1RetrSessionConnected(SessionView& client, uint16_t error, Usrdata& record);
  // OnUpdateXfer: count bytes of a file download went out.
  void FtpServer1UpdateXfer(SessionView& client, int count, Usrdata& record);
  // OnRetrDataSent: a block of a download or listing went out.
  void FtpServer1RetrDataSent(SessionView& client, uint16_t error, Usrdata& record);
  // OnRetrSessionClosed: a download or listing ended.
  void FtpServer1RetrSessionClosed(SessionView& client, uint16_t error, Usrdata& record);
  // OnStorSessionConnected: an upload starts.
  void FtpServer1StorSessionConnected(SessionView& client, uint16_t error, Usrdata& record);
  // OnStorDataAvailable: len bytes of an upload arrived.
  void FtpServer1StorDataAvailable(SessionView& client, const char* buf, int len, uint16_t error,
                                   Usrdata& record);
  // OnStorSessionClosed: an upload ended; with a ratio the client is told its credit.
  void FtpServer1StorSessionClosed(SessionView& client, uint16_t error, Usrdata& record);

  // The credit that len received bytes earn at the ratio xupl/xdl (0 for a ratio without an
  // upload side).
  static int64_t EarnedCredit(int64_t len, int32_t xupl, int32_t xdl);
  // "226-Using U/D Ratio 2/1. Current credit 5000 bytes"
  static std::string RatioLine(const Usrdata& record);

 private:
  // Sends a continuation line and logs it under category 11.
  void SendAndLog(SessionView& client, const std::string& line);
  void LogTransferError(SessionView& client, uint16_t error, const Usrdata& record);

  HostView& host_;
  DirectoryRights& rights_;
};

}  // namespace orvane
