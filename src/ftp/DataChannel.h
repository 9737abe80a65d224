#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "ftp/TStream.h"
#include "net/EventLoop.h"
#include "net/TWSocket.h"

namespace orvane {

class PassivePorts;
class TFileStream;
class TransferPacer;
class TFtpCtrlSocket;
class TFtpServer;

// Every port of the configured passive range is taken.
class PassiveRangeExhausted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The data connection of one session: the data socket, the stream a transfer reads or writes,
// the restart offset and where the transfer stands, as one State. The engine's command handlers
// decide whether a transfer may run and what it answers at once; they then ask the channel to
// listen, start, abort or close, and the channel runs the transfer's socket events, fires the
// engine's transfer hooks and sends the closing answer. Nothing else writes the transfer state,
// so where a transfer stands is one value to read and check, not a mix of flags that several
// layers set.
//
// Every data connection, accepted or connected, passes through Established() once before a
// transfer byte is read or sent: the one place where a connection could be secured first.
//
// Lifetime: owned by its TFtpCtrlSocket and freed with it; it posts its deferred closes to its
// own loop token, so an action for a session that is gone does nothing.
class DataChannel {
 public:
  enum class State {
    Idle,                  // no data connection; a transfer would connect to the data port
    PortGiven,             // PORT or EPRT named the client's address and port
    Listening,             // PASV or EPSV opened the passive listener
    WaitingForConnection,  // a transfer command waits for the connection (passive or active)
    Connected,             // a passive connection came before its transfer command
    Transferring,          // the transfer's bytes flow
    Aborting,              // the transfer failed or was aborted; the close follows
    Closing,               // every byte of a download is queued; the close follows
  };

  DataChannel(EventLoop& loop, TFtpCtrlSocket& session);
  ~DataChannel();
  DataChannel(const DataChannel&) = delete;
  DataChannel& operator=(const DataChannel&) = delete;

  // The engine whose hooks and answers the transfers use; set when the session is accepted.
  void Attach(TFtpServer& server) { server_ = &server; }
  // Takes the socket's handlers away: a connection closed from now on fires no hook, sends no
  // answer. For an engine that is being destroyed.
  void Detach();

  State GetState() const { return state_; }
  TWSocket& Socket() { return *socket_; }
  const TWSocket& Socket() const { return *socket_; }

  // The outcome the close hooks read: a download whose every byte left, unless it was aborted;
  // an upload that was aborted or failed.
  bool AllSent() const { return state_ == State::Closing; }
  bool Aborted() const { return state_ == State::Aborting; }
  // Why the running transfer failed ("Transfer Ok" while it has not).
  const std::string& TransferError() const { return transferError_; }

  // REST: the offset the next transfer command takes; 0 again once it has taken it.
  void SetRestartOffset(int64_t offset) { restartPos_ = offset; }
  int64_t RestartOffset() const { return restartPos_; }
  // The offset the running transfer started at (RETR reads from it, STOR writes from it).
  int64_t StartOffset() const { return startPos_; }

  // PORT, EPRT: where the next active data connection goes.
  void GivePort(const std::string& addr, const std::string& port);
  const std::string& DataAddr() const { return dataAddr_; }
  const std::string& DataPort() const { return dataPort_; }

  // PASV, EPSV: opens the passive listener ("::" for an IPv6 control connection, else 0.0.0.0;
  // the command has the control connection's address already) and returns its port. A previous data
  // connection is closed first. Throws PassiveRangeExhausted when every port of `ports` is taken
  // and another exception on other failures, with the channel idle.
  uint16_t OpenListener(PassivePorts& ports, bool ipv6);

  // The start of every transfer command: the offset of the last REST goes to this command
  // only, so that one refused, failed or never connected leaves no offset for a later command.
  void TakeRestartOffset();
  // Starts an upload (STOR or APPE) or a download (RETR, or a listing held in `stream`): on the
  // passive connection, at once when it is there already, or else by connecting to the data
  // port. A data connection still open for an earlier transfer is closed first. Throws when the
  // active connection cannot be started, with the channel idle.
  void StartUpload(bool append);
  void StartDownload(std::unique_ptr<TStream> stream);
  // A stream the host supplies from a transfer hook, used instead of the session's FilePath.
  void SetStream(std::unique_ptr<TStream> stream) { stream_ = std::move(stream); }

  // ABOR: closes an open data connection (its close answers the aborted transfer); true when
  // there was one.
  bool AbortByClient();
  // The session ends: an upload first takes the bytes that have already arrived, then the
  // connection closes (its hooks fire while the session still exists).
  void CloseWithSession();
  // Closes an open data connection now (its hooks fire); for the session's destructor.
  void Close();

  // Whether the running upload holds its block buffer (allocated at its start, freed at its end).
  bool HoldsUploadBuffer() const { return uploadBuffer_ != nullptr; }

 private:
  enum class HandlerSet { None, Store, Append, Send };

  bool Passive() const;
  void Start(HandlerSet set, std::unique_ptr<TStream> stream);
  void InstallHandlers(HandlerSet set);
  // A connection that was there before its transfer command starts from a posted task, once
  // the command's answer has been written: the client reads the "150" while the data follows.
  void PostStart();
  // Runs the posted start now if it has not run yet. A command of the same read that changes
  // the data connection before it (ABOR, PASV, another transfer, the session's end) starts the
  // transfer first, as it would have started before that command without the post: so every
  // transfer passes through its start hooks before its close hooks.
  void RunPendingStart();
  void ConnectActive(HandlerSet set);
  void Accepted();
  // The data connection exists (error 0) or could not be made: the handler set's start.
  void Established(uint16_t error);
  void Fail(const std::string& reason);
  // A connection whose TLS handshake failed fails its transfer with the reason.
  void TakeTlsFailure();
  void FinishSending();
  void AbortTransfer(const std::string& reason);
  void EndTransfer();
  void PostAbort();
  void PostClose();

  void StoreConnected(uint16_t error);
  void StoreData(uint16_t error);
  void StoreClosed(uint16_t error);
  void SendConnected(uint16_t error);
  void SendNextChunk();
  void SendFileChunk(TFileStream& file);
  void SendDataSent(uint16_t error);
  void SendClosed(uint16_t error);

  EventLoop& loop_;
  EventLoop::Token token_;
  TFtpCtrlSocket& session_;
  TFtpServer* server_ = nullptr;
  std::unique_ptr<TWSocket> socket_;
  State state_ = State::Idle;
  HandlerSet set_ = HandlerSet::None;
  std::string dataAddr_;
  std::string dataPort_;
  std::unique_ptr<TStream> stream_;
  std::string transferError_;
  int64_t restartPos_ = 0;
  int64_t nextStartPos_ = 0;
  int64_t startPos_ = 0;
  bool startPending_ = false;
  // The running download failed because the client's end of the connection went away.
  bool connectionLost_ = false;
  // The block buffer of a running upload: allocated when it starts, freed when it ends.
  std::unique_ptr<char[]> uploadBuffer_;
  // The pace of a running transfer under a rate limit; none for an unlimited one.
  std::unique_ptr<TransferPacer> pacer_;
};

}  // namespace orvane
