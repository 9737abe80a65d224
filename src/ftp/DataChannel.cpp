#include "ftp/DataChannel.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cassert>
#include <optional>

#include "ftp/CompatibilityPolicy.h"
#include "ftp/FileStream.h"
#include "ftp/PassivePorts.h"
#include "ftp/TFtpCtrlSocket.h"
#include "ftp/TransferPacing.h"
#include "net/SocketAddress.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace orvane {

namespace {

const char kAbortRequested[] = "ABORT requested by client";

// An upload reads the connection in blocks of this size, each handed to the hooks and written
// to the file as it came; one such buffer per running upload.
constexpr int kUploadBlockSize = 256 * 1024;

// Drawn ports a PASV without a configured range tries before it lets the system choose.
constexpr int kDrawnPortTries = 8;

// The address at the other end of an accepted connection, empty when it is already gone.
std::string PeerOf(int fd) {
  const std::optional<SocketAddress> peer = SocketAddress::Peer(fd);
  return peer ? peer->Text() : "";
}

// The last, short chunk of a download leaves at once instead of waiting for the client to
// acknowledge the previous one, and the close follows it without a delay the client can see.
void SendWithoutDelay(TWSocket& data) {
  if (data.HSocket() < 0) return;
  const int on = 1;
  ::setsockopt(data.HSocket(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// A paced upload keeps the kernel's receive buffer at about two steps, so that the client is
// held back by the TCP window rather than by bytes piling up in the buffer, which the close of
// the connection would deliver all at once.
void HoldReceiveWindow(TWSocket& data, int64_t step) {
  if (data.HSocket() < 0) return;
  const int size = static_cast<int>(std::max<int64_t>(2 * step, 64 * 1024));
  ::setsockopt(data.HSocket(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

File::Mode CreateMode(const TFtpCtrlSocket& client) {
  return client.FileIsNew ? File::Mode::CreateNew : File::Mode::CreateTruncate;
}

}  // namespace

DataChannel::DataChannel(EventLoop& loop, TFtpCtrlSocket& session)
    : loop_(loop),
      token_(loop.NewToken()),
      session_(session),
      socket_(std::make_unique<TWSocket>(loop)) {
  socket_->Name = "DataWSocket";
}

DataChannel::~DataChannel() {
  loop_.Release(token_);
  Detach();
}

void DataChannel::Detach() {
  events_ = nullptr;
  socket_->OnSessionConnected = nullptr;
  socket_->OnSessionAvailable = nullptr;
  socket_->OnDataAvailable = nullptr;
  socket_->OnDataSent = nullptr;
  socket_->OnSessionClosed = nullptr;
  socket_->OnChangeState = nullptr;
  handlers_.reset();
  startPending_ = false;
}

// A start still pending is dropped: the session is being destroyed, and a transfer that never
// started has no close to report either.
void DataChannel::Close() {
  if (startPending_) {
    startPending_ = false;
    InstallHandlers(std::nullopt);
    EndTransfer();
  }
  if (socket_->State() != wsClosed) socket_->Close();
}

// ---------------------------------------------------------------------------------------------
// Setting up the data connection

void DataChannel::GivePort(const std::string& addr, const std::string& port) {
  dataAddr_ = addr;
  dataPort_ = port;
  // A passive listener already open keeps serving the next transfer, as it always has.
  if (state_ == State::Idle) state_ = State::PortGiven;
}

uint16_t DataChannel::OpenListener(PassivePorts& ports, bool ipv6) {
  TWSocket& data = *socket_;
  RunPendingStart();
  try {
    // A data connection still open ends here; its close answers its own transfer.
    data.Close();
    InstallHandlers(std::nullopt);
    state_ = State::Idle;
    // The listener takes the family of the control connection. A failed try closes the socket,
    // which forgets its address, so each try sets it again.
    const std::string address = ipv6 ? "::" : "0.0.0.0";
    uint16_t bound = 0;
    auto listenOn = [&](uint16_t port) {
      data.SetAddr(address);
      data.SetProto("tcp");
      data.SetPort(std::to_string(port));
      bool listening = false;
      try {
        listening = data.Listen() == 0;
      } catch (const std::exception&) {
        listening = false;
      }
      if (!listening) data.Close();
      if (listening) bound = port;
      return listening;
    };
    bool listening = false;
    if (ports.Any()) {
      // A few drawn ports (one taken by another program is skipped), then the system's choice.
      // Address reuse lets a port with our own connections in TIME_WAIT be drawn; the draw
      // keeps to ports that the system does not give to other programs' listeners.
      for (int tried = 0; tried < kDrawnPortTries && !listening; ++tried) {
        listening = listenOn(ports.Draw());
      }
      if (!listening && !listenOn(0)) throw std::runtime_error("Listen failed");
    } else {
      // Each port of the range once, from the one after the last taken; a port in use by
      // another session (or another program) is skipped.
      for (int tried = 0; tried < ports.Count() && !listening; ++tried) {
        listening = listenOn(ports.Next());
      }
      if (!listening) {
        throw PassiveRangeExhausted("No passive port is free in the range " + ports.Text() + ".");
      }
    }
    data.OnSessionAvailable = [this](TCustomWSocket&, uint16_t) { Accepted(); };
    // Only the system's own choice of port needs asking for.
    if (bound == 0) {
      SocketAddress local;
      data.GetSockName(local);
      bound = local.Port();
    }
    state_ = State::Listening;
    return bound;
  } catch (const std::exception&) {
    try {
      data.OnSessionAvailable = nullptr;
      data.Close();
    } catch (const std::exception&) {
      // The caller reports the first failure.
    }
    state_ = State::Idle;
    throw;
  }
}

void DataChannel::Accepted() {
  assert((state_ == State::Listening || state_ == State::WaitingForConnection) &&
         "only the passive listener accepts");
  TWSocket& data = *socket_;
  UniqueFd accepted(data.Accept());
  if (!accepted) return;
  // SECURITY: only the client's own address may use its passive port. A stranger who guessed
  // the port is dropped at once and the listener keeps waiting for the client.
  if (PeerOf(accepted.Get()) != session_.PeerAddr) return;
  // A transfer command waiting for this connection has chosen its handler set already; the
  // set moves over to the connection. It is not chosen again from the session's command type,
  // which any command between the transfer command and the connection (NOOP, TYPE) overwrites.
  // Without a waiting command the connection gets no handlers: the transfer command installs
  // its own when it comes, and a connection closed after a refused command sends no stray reply.
  const bool claimed = state_ == State::WaitingForConnection;
  const std::optional<Transfer::Kind> kind = handlers_;
  InstallHandlers(std::nullopt);  // closing the listener ends no transfer
  data.Close();
  data.SetLingerOnOff(wsLingerOff);
  data.SetLingerTimeout(0);
  data.Dup(accepted.Release());
  SendWithoutDelay(data);
  if (claimed) InstallHandlers(kind);
  // A protected connection starts its handshake before its first byte; one that failed to
  // start is closed, and its close ends a claimed transfer.
  events_->SecureDataConnection(session_);
  if (data.State() != wsConnected) {
    if (!claimed) state_ = State::Idle;
    return;
  }
  if (claimed) {
    // The transfer command may have come in this very round: its "150" goes before the data.
    session_.WriteGatheredNow();
    Established(0);
  } else {
    // Unclaimed: its reports wait until a transfer command claims it, so that data sent ahead
    // of STOR is not discarded and a close before the command is not lost.
    data.Pause();
    state_ = State::Connected;
  }
}

void DataChannel::ConnectActive() {
  TWSocket& data = *socket_;
  data.SetProto("tcp");
  data.SetAddr(dataAddr_);
  data.SetPort(dataPort_);
  InstallHandlers(transfer_.kind);
  state_ = State::WaitingForConnection;
  data.SetLingerOnOff(wsLingerOff);
  data.SetLingerTimeout(0);
  data.Connect();
  SendWithoutDelay(data);
  events_->SecureDataConnection(session_);
}

void DataChannel::InstallHandlers(std::optional<Transfer::Kind> kind) {
  TWSocket& data = *socket_;
  handlers_ = kind;
  data.OnSessionConnected = nullptr;
  data.OnDataAvailable = nullptr;
  data.OnDataSent = nullptr;
  data.OnSessionClosed = nullptr;
  data.OnTlsEstablished = nullptr;
  if (!kind) return;
  data.OnSessionConnected = [this](TCustomWSocket&, uint16_t e) { Established(e); };
  if (*kind == Transfer::Kind::Send) {
    data.OnDataSent = [this](TCustomWSocket&, uint16_t e) { SendDataSent(e); };
    data.OnSessionClosed = [this](TCustomWSocket&, uint16_t e) { SendClosed(e); };
  } else {
    data.OnDataAvailable = [this](TCustomWSocket&, uint16_t e) { StoreData(e); };
    data.OnSessionClosed = [this](TCustomWSocket&, uint16_t e) { StoreClosed(e); };
  }
}

// Every data connection comes here once, accepted or connected, before its first byte. A
// protected one has started its TLS handshake by then (SecureDataConnection); the socket holds
// the transfer's bytes until the handshake is done.
void DataChannel::Established(uint16_t error) {
  assert(handlers_ && "a connection is established for a transfer");
  state_ = State::Transferring;
  // File transfers only: a listing (a stream of its own) is neither paced nor takes a share.
  const bool download = *handlers_ == Transfer::Kind::Send;
  if (!download || !transfer_.stream) {
    pacer_ = events_->PacerFor(
        download, download ? session_.DownloadRateLimit : session_.UploadRateLimit, token_);
    if (pacer_ && !download) HoldReceiveWindow(*socket_, pacer_->StepSize(kUploadBlockSize));
  }
  if (download) {
    SendConnected(error);
  } else {
    StoreConnected(error);
  }
}

// ---------------------------------------------------------------------------------------------
// Starting, aborting and ending transfers

void DataChannel::TakeRestartOffset() {
  nextStartPos_ = restartPos_;
  restartPos_ = 0;
}

bool DataChannel::Passive() const {
  return state_ == State::Listening || state_ == State::Connected ||
         (state_ == State::WaitingForConnection && socket_->State() == wsListening);
}

void DataChannel::Start(Transfer::Kind kind, std::unique_ptr<Stream> stream) {
  assert(events_ != nullptr && "a transfer needs the engine attached");
  RunPendingStart();
  if (!Passive()) {
    // A data connection still open (a transfer under way, an active connection being made)
    // ends first; its close answers its own transfer. The port given since that transfer
    // started is this command's: the replaced transfer's close leaves it.
    if (socket_->State() != wsClosed) {
      transfer_.replaced = true;
      socket_->Close();
    }
    state_ = State::Idle;
  }
  transfer_ = Transfer{};
  transfer_.kind = kind;
  transfer_.startOffset = nextStartPos_;
  transfer_.stream = std::move(stream);
  try {
    if (!Passive()) {
      ConnectActive();
      return;
    }
    InstallHandlers(kind);
    if (state_ == State::Connected) {
      PostStart();
    } else {
      state_ = State::WaitingForConnection;
    }
  } catch (const std::exception&) {
    // Nothing of the failed start is left behind: no handler that would answer later, no
    // half-made connection.
    InstallHandlers(std::nullopt);
    transfer_ = Transfer{};
    if (socket_->State() != wsListening) {
      try {
        socket_->Close();
      } catch (const std::exception&) {
        // The caller reports the first failure.
      }
      state_ = State::Idle;
    }
    throw;
  }
}

void DataChannel::StartUpload(bool append) {
  Start(append ? Transfer::Kind::Append : Transfer::Kind::Store, nullptr);
}

void DataChannel::StartDownload(std::unique_ptr<Stream> stream) {
  Start(Transfer::Kind::Send, std::move(stream));
}

// The connection stays paused until the posted start: nothing of it is reported before its
// transfer's start hooks have run.
void DataChannel::PostStart() {
  startPending_ = true;
  const EventLoop::Token connection = socket_->HandleToken();
  loop_.PostTo(token_, [this, connection]() {
    if (socket_->HandleToken() == connection) RunPendingStart();
  });
}

void DataChannel::RunPendingStart() {
  if (!startPending_) return;
  startPending_ = false;
  if (!handlers_ || socket_->State() != wsConnected) return;
  session_.WriteGatheredNow();
  socket_->Resume();
  Established(0);
}

bool DataChannel::AbortByClient() {
  RunPendingStart();
  if (socket_->State() != wsConnected) return false;
  const bool unclaimed = !handlers_;
  Fail(Transfer::Outcome::AbortedByClient, kAbortRequested);
  socket_->Close();
  // A connection no transfer had claimed has no close handler to end it.
  if (unclaimed) EndTransfer();
  return true;
}

void DataChannel::CloseWithSession() {
  RunPendingStart();
  if (socket_->State() == wsClosed) return;
  if (socket_->OnDataAvailable) socket_->DeliverWaitingData();
  socket_->Close();
}

// A send that had already failed because the client went away stays a lost connection: the
// handshake's failure only says more about it.
void DataChannel::TakeTlsFailure() {
  if (socket_->TlsFailure().empty()) return;
  const std::string reason = socket_->TakeTlsFailure();
  const bool lost = transfer_.outcome == Transfer::Outcome::ConnectionLost;
  Fail(lost ? Transfer::Outcome::ConnectionLost : Transfer::Outcome::Failed,
       "TLS failed: " + reason);
  if (events_ != nullptr) events_->DataTlsFailed(session_, reason);
}

void DataChannel::Fail(Transfer::Outcome how, const std::string& reason) {
  transfer_.End(how, reason);
  state_ = State::Closing;
}

// A failed transfer's connection closes from a deferred action, never inside its own event.
void DataChannel::AbortTransfer(Transfer::Outcome how, const std::string& reason) {
  Fail(how, reason);
  PostAbort();
}

// What every closed data connection resets: the data port (to the "ftp-data" service, unless
// the next command replaced the transfer), the handler set, the upload buffer and the state.
// The transfer leaves the channel with its stream, also one the host supplied: a stream left
// behind would be taken by the next transfer instead of its own file.
Transfer DataChannel::EndTransfer() {
  Transfer ended = std::move(transfer_);
  transfer_ = Transfer{};
  if (!ended.replaced) dataPort_ = "ftp-data";
  uploadBuffer_.reset();
  pacer_.reset();
  roundWait_ = false;
  nextOffset_ = -1;
  handlers_.reset();
  state_ = State::Idle;
  return ended;
}

// The two deferred closes apply to the connection they were posted for: a command line that
// arrived with the one that ended a transfer (PASV, another RETR) may already have opened the
// next data connection by the time the action runs.
void DataChannel::PostAbort() {
  const EventLoop::Token connection = socket_->HandleToken();
  if (connection == 0) return;
  loop_.PostTo(token_, [this, connection]() {
    if (socket_->HandleToken() != connection) return;
    socket_->Shutdown(2);
    socket_->Close();
  });
}

void DataChannel::PostClose() {
  const EventLoop::Token connection = socket_->HandleToken();
  if (connection == 0) return;
  loop_.PostTo(token_, [this, connection]() {
    if (socket_->HandleToken() != connection) return;
    if (socket_->State() != wsClosed) socket_->Close();
  });
}

// ---------------------------------------------------------------------------------------------
// Uploads

void DataChannel::StoreConnected(uint16_t error) {
  if (error == 0 && !uploadBuffer_) {
    uploadBuffer_ = std::make_unique_for_overwrite<char[]>(kUploadBlockSize);
  }
  events_->UploadConnected(session_, *socket_, error);
  // A data connection that could not be made ends the upload with its error, never with a
  // report of success (the socket layer closes it right after this event).
  if (error != 0) Fail(Transfer::Outcome::Failed, "Error #" + std::to_string(error));
}

void DataChannel::StoreData(uint16_t error) {
  if (!uploadBuffer_) uploadBuffer_ = std::make_unique_for_overwrite<char[]>(kUploadBlockSize);
  char* buffer = uploadBuffer_.get();
  const int block =
      pacer_ ? static_cast<int>(pacer_->StepSize(kUploadBlockSize)) : kUploadBlockSize;
  const int n = socket_->Receive(buffer, block);
  if (n <= 0 || transfer_.Aborted()) return;
  // Ahead of its rate, an upload stops reading until it may go on; the kernel's receive window
  // then holds the client back.
  if (pacer_) {
    pacer_->Moved(n);
    if (pacer_->Wait([this]() {
          if (state_ == State::Transferring) socket_->Resume();
        })) {
      socket_->Pause();
    }
  }
  try {
    events_->UploadData(session_, *socket_, buffer, n, error);
    if (!transfer_.stream && !session_.FilePath.empty()) {
      std::unique_ptr<FileStream> file;
      if (transfer_.kind == Transfer::Kind::Append) {
        file = std::make_unique<FileStream>(session_.FilePath, File::Mode::Write);
        file->SeekToEnd();
      } else {
        // A resumed upload writes into the existing file; a new file is created even with a
        // restart offset, and what lies before the offset reads as zeros.
        const bool resumes = transfer_.startOffset != 0 && !session_.FileIsNew;
        file = std::make_unique<FileStream>(session_.FilePath,
                                            resumes ? File::Mode::Write : CreateMode(session_));
        file->Seek(transfer_.startOffset);
      }
      transfer_.stream = std::move(file);
    }
    if (transfer_.stream) transfer_.stream->Write(buffer, n);
  } catch (const std::exception& e) {
    AbortTransfer(Transfer::Outcome::Failed, e.what());
  }
}

void DataChannel::StoreClosed(uint16_t error) {
  TakeTlsFailure();
  // A data connection that was never made (a passive listener closed by the next PASV or with
  // the session, an active connection never completed): no data came, so nothing is created
  // and nothing is reported as received.
  if (state_ == State::WaitingForConnection) {
    Fail(Transfer::Outcome::NotConnected, "Can't open data connection");
  }
  // An empty upload still stores an empty file: the file is otherwise opened with the first
  // chunk, and "226 File received ok" over an old file's unchanged content would be false.
  if (transfer_.kind != Transfer::Kind::Append && !transfer_.Aborted() && error == 0 &&
      !transfer_.stream && !session_.FilePath.empty() && transfer_.startOffset == 0) {
    try {
      FileStream created(session_.FilePath, CreateMode(session_));
    } catch (const std::exception& e) {
      Fail(Transfer::Outcome::Failed, e.what());
    }
  }
  const Transfer ended = EndTransfer();
  const bool neverConnected = ended.outcome == Transfer::Outcome::NotConnected;
  // The host hears of an upload that never connected as "not connected" (10057), not as done.
  events_->UploadClosed(session_, *socket_, ended, neverConnected ? 10057 : error);
  if (neverConnected) {
    events_->TransferAnswer(session_, "425 Can't open data connection.");
  } else if (ended.Aborted()) {
    events_->TransferAnswer(session_, "426 Connection closed; " + ended.reason + ".");
  } else if (error == 0) {
    events_->TransferAnswer(session_, "226 File received ok");
  } else {
    events_->TransferAnswer(
        session_, "426 Connection closed; transfer aborted. Error #" + std::to_string(error));
  }
}

// ---------------------------------------------------------------------------------------------
// Downloads and listings

std::shared_ptr<FileStream> DataChannel::OpenDownloadFile(std::string& openError) {
  if (transfer_.stream || session_.FilePath.empty()) return nullptr;
  try {
    auto file = std::make_shared<FileStream>(session_.FilePath, File::Mode::Read);
    session_.FoundFile(session_.FilePath, file->Size());
    transfer_.stream = file;
    return file;
  } catch (const std::exception& e) {
    openError = e.what();
    session_.FoundFile(session_.FilePath, -1);
    return nullptr;
  }
}

// The session's file is opened before the connection hook, so that the hook judges the file
// this download sends (its size through SessionView::FoundFileSize); a file that cannot be
// opened is reported to the hook as not found, and fails the download after it.
void DataChannel::SendConnected(uint16_t error) {
  try {
    std::string openError;
    const std::shared_ptr<FileStream> opened = error == 0 ? OpenDownloadFile(openError) : nullptr;
    events_->DownloadConnected(session_, *socket_, error);
    // A data connection that could not be made ends the download with its error.
    if (error != 0) throw std::runtime_error("Error #" + std::to_string(error));
    if (!transfer_.stream && !openError.empty()) throw std::runtime_error(openError);
    // A file opens at its start; a stream the hook supplied instead is taken as it is.
    if (opened && transfer_.stream == opened && transfer_.startOffset != 0) {
      opened->Seek(transfer_.startOffset);
    }
  } catch (const std::exception& e) {
    AbortTransfer(Transfer::Outcome::Failed, e.what());
    return;
  }
  SendNextChunk();
}

// One chunk per emptying of the send queue, so a download holds at most one chunk in flight. A
// file goes to the connection in the kernel (SendFile) in large chunks; listings, memory streams
// and the host's own streams are read through the session's buffer, RcvSize bytes at a time.
//
// The chunk code holds its own reference to the stream: a send may meet a reset connection and
// close it inside the call, and that close ends the transfer, which then no longer owns it.
void DataChannel::SendNextChunk() {
  try {
    const std::shared_ptr<Stream> stream = transfer_.stream;
    if (auto* file = dynamic_cast<FileStream*>(stream.get())) {
      SendFileChunk(*file);
      return;
    }
    // Made at the first listing of a session, so that idle sessions do not carry it.
    std::vector<char>& chunk = session_.TransferBuffer;
    if (chunk.size() != static_cast<size_t>(session_.RcvSize())) {
      chunk.assign(static_cast<size_t>(session_.RcvSize()), '\0');
    }
    char* buffer = chunk.data();
    const int64_t n = stream ? stream->Read(buffer, session_.RcvSize()) : 0;
    if (n > 0) {
      if (!session_.FilePath.empty() && FileSystem::FileExists(session_.FilePath)) {
        events_->DownloadChunk(session_, static_cast<int>(n));
      }
      socket_->Send(buffer, static_cast<int>(n));
    } else if (state_ == State::Transferring) {
      FinishSending();
    }
  } catch (const std::exception& e) {
    AbortTransfer(Transfer::Outcome::Failed, e.what());
  }
}

// The next chunk of a file download: what the file holds beyond the current offset, up to the
// chunk size. A file that grows while it is sent is sent to its new end; one that became shorter
// than what has already been sent ends the download as a failure, since the client's copy
// matches neither the old nor the new content. Each chunk asks whether the file is still there
// by its name, so that the chunks of a file deleted meanwhile are not counted.
void DataChannel::SendFileChunk(FileStream& file) {
  // A limited download sends one step of its rate at a time.
  const int64_t chunk = events_->DownloadChunkSize(session_);
  const int64_t step = pacer_ ? pacer_->StepSize(chunk) : chunk;
  // Once this round's bytes are spent the chunk waits for its turn in a later round; asked
  // first, so that a waiting download costs the round nothing.
  if (events_->DownloadRounds().Wait(step, token_, [this]() { ResumeAfterRound(); })) {
    roundWait_ = true;
    return;
  }
  // The file's offset is asked at the first chunk only: every chunk after it starts where the
  // one before ended, since a chunk that ends early fails the download (SendDataSent).
  if (nextOffset_ < 0) nextOffset_ = file.Position();
  const int64_t position = nextOffset_;
  const int64_t size = file.Size();
  if (position > size && position > transfer_.startOffset) {
    throw std::runtime_error("File truncated while being sent");
  }
  const int64_t n = std::min(size - position, step);
  if (n > 0) {
    if (!session_.FilePath.empty() && FileSystem::FileExists(session_.FilePath)) {
      events_->DownloadChunk(session_, static_cast<int>(n));
    }
    nextOffset_ = position + n;
    socket_->SendFile(file.SendHandle(), n);
    if (pacer_) pacer_->Moved(n);
  } else if (state_ == State::Transferring) {
    FinishSending();
  }
}

// The end of a download or listing, once everything has left. A protected connection whose
// handshake is still running (an empty listing or file ends before it is done) closes when the
// handshake completes: closed in the middle of it, a client sees a broken TLS connection and
// takes the transfer for failed.
void DataChannel::FinishSending() {
  if (socket_->Secure() && !socket_->TlsEstablished()) {
    socket_->OnTlsEstablished = [this](TCustomWSocket&, uint16_t) {
      socket_->OnTlsEstablished = nullptr;
      if (state_ == State::Transferring) FinishSending();
    };
    return;
  }
  transfer_.End(Transfer::Outcome::Complete, transfer_.reason);
  state_ = State::Closing;
  PostClose();
}

// A download that waited for a later round sends its chunk now. The flag makes a resumption
// that outlived its transfer (aborted meanwhile) do nothing.
void DataChannel::ResumeAfterRound() {
  if (!roundWait_) return;
  roundWait_ = false;
  if (state_ == State::Transferring) SendNextChunk();
}

void DataChannel::SendDataSent(uint16_t error) {
  if (transfer_.Aborted()) return;
  try {
    events_->DownloadDataSent(session_, *socket_, error);
    if (error != 0) throw std::runtime_error("Send: error #" + std::to_string(error));
    if (socket_->FileShortfall() != 0) throw std::runtime_error("File truncated while being sent");
    // Ahead of its rate, a download sends its next chunk from a timer.
    if (pacer_ && pacer_->Wait([this]() {
          if (state_ == State::Transferring) SendNextChunk();
        })) {
      return;
    }
    SendNextChunk();
  } catch (const std::exception& e) {
    // The close answers the download, once: a reply here as well would leave the client one
    // reply behind for the rest of the session.
    AbortTransfer(error != 0 ? Transfer::Outcome::ConnectionLost : Transfer::Outcome::Failed,
                  e.what());
  }
}

void DataChannel::SendClosed(uint16_t error) {
  TakeTlsFailure();
  const Transfer ended = EndTransfer();
  // Exactly one final reply per download, whichever came first: the client's ABOR, the
  // failure of a send to a client that went away, or the close of the connection.
  const CompatibilityPolicy& policy = events_->Policy();
  switch (ended.outcome) {
    case Transfer::Outcome::AbortedByClient:
    case Transfer::Outcome::ConnectionLost:
      events_->TransferAnswer(session_, policy.AbortedDownloadReply(ended.reason));
      break;
    case Transfer::Outcome::Failed:
    case Transfer::Outcome::NotConnected:
      events_->TransferAnswer(session_, "501 Cannot RETR. " + ended.reason);
      break;
    case Transfer::Outcome::Running:
    case Transfer::Outcome::Complete:
      if (error != 0) {
        events_->TransferAnswer(session_,
                                policy.AbortedDownloadReply("Error #" + std::to_string(error)));
      } else if (!ended.AllSent()) {
        // The client closed the data connection before the end of the data: never report
        // that as a complete transfer.
        events_->TransferAnswer(session_, "426 Connection closed; transfer aborted.");
      } else {
        events_->TransferAnswer(session_, "226 File sent ok");
      }
      break;
  }
  events_->DownloadClosed(session_, *socket_, ended, error);
}

}  // namespace orvane
