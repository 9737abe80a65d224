#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "ftp/DataChannelEvents.h"
#include "ftp/Stream.h"
#include "ftp/Transfer.h"
#include "net/EventLoop.h"
#include "net/TWSocket.h"

namespace orvane {

class PassivePorts;
class FileStream;
class TransferPacer;
class TFtpCtrlSocket;

// Every port of the configured passive range is taken.
class PassiveRangeExhausted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The data connection of one session: the data socket, where the connection stands (one
// State), the restart offset, and the running Transfer (its stream, start offset and outcome).
// The engine's command handlers decide whether a transfer may run and what it answers at once;
// they then ask the channel to listen, start, abort or close, and the channel runs the
// transfer's socket events, fires the transfer hooks through DataChannelEvents and sends the
// closing answer. Nothing else writes the state or the transfer.
//
// At the close of a transfer's connection the channel takes the transfer out (the channel is
// idle again at once) and hands it to the close hooks with its outcome; whatever runs inside
// those hooks and the answer cannot change what the hooks read.
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
    Closing,               // the transfer's outcome is decided; the close of its connection follows
  };

  DataChannel(EventLoop& loop, TFtpCtrlSocket& session);
  ~DataChannel();
  DataChannel(const DataChannel&) = delete;
  DataChannel& operator=(const DataChannel&) = delete;

  // The engine whose hooks and answers the transfers use; set when the session is accepted.
  void Attach(DataChannelEvents& events) { events_ = &events; }
  // Takes the socket's handlers away: a connection closed from now on fires no hook, sends no
  // answer. For an engine that is being destroyed.
  void Detach();

  State GetState() const { return state_; }
  TWSocket& Socket() { return *socket_; }
  const TWSocket& Socket() const { return *socket_; }
  // The running transfer (a fresh one, Running, while none runs).
  const Transfer& Current() const { return transfer_; }

  // REST: the offset the next transfer command takes; 0 again once it has taken it.
  void SetRestartOffset(int64_t offset) { restartPos_ = offset; }
  int64_t RestartOffset() const { return restartPos_; }

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
  void StartDownload(std::unique_ptr<Stream> stream);
  // A stream the host supplies from a transfer hook, used instead of the session's FilePath.
  void SetStream(std::unique_ptr<Stream> stream) { transfer_.stream = std::move(stream); }

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
  bool Passive() const;
  void Start(Transfer::Kind kind, std::unique_ptr<Stream> stream);
  // The socket's handlers: those of a transfer of `kind`, or none.
  void InstallHandlers(std::optional<Transfer::Kind> kind);
  // A connection that was there before its transfer command starts from a posted task, once
  // the command's answer has been written: the client reads the "150" while the data follows.
  void PostStart();
  // Runs the posted start now if it has not run yet. A command of the same read that changes
  // the data connection before it (ABOR, PASV, another transfer, the session's end) starts the
  // transfer first, as it would have started before that command without the post: so every
  // transfer passes through its start hooks before its close hooks.
  void RunPendingStart();
  void ConnectActive();
  void Accepted();
  // The data connection exists (error 0) or could not be made: the transfer's start.
  void Established(uint16_t error);
  // Ends the transfer with `how` (the close follows, posted by AbortTransfer).
  void Fail(Transfer::Outcome how, const std::string& reason);
  void AbortTransfer(Transfer::Outcome how, const std::string& reason);
  // A connection whose TLS handshake failed fails its transfer with the reason.
  void TakeTlsFailure();
  void FinishSending();
  // The close of a transfer's connection: the channel is idle and the transfer is returned.
  Transfer EndTransfer();
  void PostAbort();
  void PostClose();

  void StoreConnected(uint16_t error);
  void StoreData(uint16_t error);
  void StoreClosed(uint16_t error);
  // Opens the session's file for a download unless a stream is there, and tells the session
  // what it found; a failure is kept as `openError`, the file then found missing.
  std::shared_ptr<FileStream> OpenDownloadFile(std::string& openError);
  void SendConnected(uint16_t error);
  void SendNextChunk();
  void SendFileChunk(FileStream& file);
  void ResumeAfterRound();
  void SendDataSent(uint16_t error);
  void SendClosed(uint16_t error);

  EventLoop& loop_;
  EventLoop::Token token_;
  TFtpCtrlSocket& session_;
  DataChannelEvents* events_ = nullptr;
  std::unique_ptr<TWSocket> socket_;
  State state_ = State::Idle;
  // The handlers installed on the socket: a transfer's kind, or none.
  std::optional<Transfer::Kind> handlers_;
  std::string dataAddr_;
  std::string dataPort_;
  Transfer transfer_;
  int64_t restartPos_ = 0;
  int64_t nextStartPos_ = 0;
  bool startPending_ = false;
  // The block buffer of a running upload: allocated when it starts, freed when it ends.
  std::unique_ptr<char[]> uploadBuffer_;
  // The pace of a running transfer under a rate limit; none for an unlimited one.
  std::unique_ptr<TransferPacer> pacer_;
  // A download's next chunk waits for a later round of the loop (DownloadRounds).
  bool roundWait_ = false;
  // Where the next chunk of that file starts; -1 before the first chunk.
  int64_t nextOffset_ = -1;
};

}  // namespace orvane
