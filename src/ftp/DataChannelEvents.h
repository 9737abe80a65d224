#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/EventLoop.h"

namespace orvane {

class CompatibilityPolicy;
class RoundBudget;
class TFtpCtrlSocket;
class TWSocket;
class TransferPacer;
struct Transfer;

// What a DataChannel needs of the engine while it runs a transfer: the transfer hooks it fires
// (each call names the hook it stands for), the answer it sends when a transfer ends, and the
// few questions it asks. TFtpServer implements it; a channel holds it from Attach() on and
// never reaches the engine otherwise. Every call is made on the loop thread, for the channel's
// own session, and may throw: the channel treats a throw as the transfer's failure where the
// hook's event allows one.
class DataChannelEvents {
 public:
  // OnStorSessionConnected, OnStorDataAvailable, OnStorSessionClosed.
  virtual void UploadConnected(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) = 0;
  virtual void UploadData(TFtpCtrlSocket& client, TWSocket& data, const char* buffer, int length,
                          uint16_t error) = 0;
  virtual void UploadClosed(TFtpCtrlSocket& client, TWSocket& data, const Transfer& transfer,
                            uint16_t error) = 0;
  // OnRetrSessionConnected, OnUpdateXfer (a chunk of `count` bytes of a file is about to be
  // queued), OnRetrDataSent, OnRetrSessionClosed.
  virtual void DownloadConnected(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) = 0;
  virtual void DownloadChunk(TFtpCtrlSocket& client, int count) = 0;
  virtual void DownloadDataSent(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) = 0;
  virtual void DownloadClosed(TFtpCtrlSocket& client, TWSocket& data, const Transfer& transfer,
                              uint16_t error) = 0;

  // The final reply of a transfer, through the engine's answer step.
  virtual void TransferAnswer(TFtpCtrlSocket& client, const std::string& answer) = 0;
  // The size of a download's next chunk.
  virtual int64_t DownloadChunkSize(const TFtpCtrlSocket& client) const = 0;
  // The pace of a file transfer with the account's own limit (bytes/s, 0 = none), under the
  // server-wide limit of its direction; none when neither limits it. owner is the channel's
  // token, to which a waiting transfer's resumption is addressed.
  virtual std::unique_ptr<TransferPacer> PacerFor(bool download, int64_t ownLimit,
                                                  EventLoop::Token owner) = 0;
  // The bytes every download together may send in one round of the loop, asked before each
  // chunk of a file.
  virtual RoundBudget& DownloadRounds() = 0;
  // Starts TLS on a data connection just established, where the session asks for protected
  // data; a failure is reported and closes the connection.
  virtual void SecureDataConnection(TFtpCtrlSocket& client) = 0;
  // A data connection's TLS handshake failed (OnTlsFailed).
  virtual void DataTlsFailed(TFtpCtrlSocket& client, const std::string& reason) = 0;
  // Where replies differ between today's clients and classic.
  virtual const CompatibilityPolicy& Policy() const = 0;

 protected:
  ~DataChannelEvents() = default;
};

}  // namespace orvane
