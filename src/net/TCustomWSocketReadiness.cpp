#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

#include "net/PlainTransport.h"
#include "net/TCustomWSocket.h"
#include "platform/WinsockError.h"

// The socket's core: readiness reports of the loop turned into the Windows-style events, and the
// send and receive paths that those events drive. The bytes themselves are the transport's
// (SocketTransport::Send, Read, Handshake): this file acts on what it answers. Creation,
// addressing, connecting and closing are in TCustomWSocket.cpp.

namespace orvane {

namespace {

int LastWsa() {
  return WinsockFromErrno(errno);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Handle and readiness registration

void TCustomWSocket::AdoptHandle(int fd, uint16_t mask) {
  CloseHandle();
  DropFileBytes();
  handle_.Reset(fd);
  mask_ = mask;
  paused_ = false;
  readArmed_ = true;
  acceptArmed_ = true;
  writeArmed_ = false;
  dataSentDue_ = true;  // the first write readiness of a connection fires OnDataSent
  handleToken_ = loop_.AddFd(fd, 0, [this](uint32_t events) { HandleReady(events); });
  UpdateInterest();
}

void TCustomWSocket::CloseHandle() {
  // The transport (a TLS connection) goes before the descriptor it reads and writes.
  transport_ = std::make_unique<PlainTransport>(TransportLink());
  if (handleToken_ != 0) {
    loop_.Release(handleToken_);
    handleToken_ = 0;
  }
  handle_.Reset();
  mask_ = 0;
}

void TCustomWSocket::UpdateInterest() {
  if (handleToken_ == 0) return;
  uint32_t events = 0;
  if (transport_->Handshaking() && state_ == wsConnected && mask_ != 0) {
    // The handshake goes on while the socket is paused: a client may finish it before it sends
    // the command that claims the connection.
    events = transport_->HandshakeInterest();
    if (writeArmed_) events |= EPOLLOUT;
    if (!paused_ && (mask_ & FD_CLOSE)) events |= EPOLLRDHUP;
  } else if (!paused_ && mask_ != 0) {
    if (state_ == wsConnecting) {
      events = EPOLLOUT;
    } else if (state_ == wsListening && sockType_ == SOCK_STREAM) {
      if ((mask_ & FD_ACCEPT) && acceptArmed_) events |= EPOLLIN;
    } else if (state_ == wsConnected) {
      if ((mask_ & FD_READ) && readArmed_) events |= EPOLLIN;
      if ((mask_ & FD_CLOSE) && sockType_ == SOCK_STREAM) events |= EPOLLRDHUP;
      if ((mask_ & FD_WRITE) && writeArmed_) events |= EPOLLOUT;
      events |= transport_->ExtraInterest();
    }
  }
  loop_.ModifyFd(handleToken_, events);
}

// Turns epoll readiness into the Windows-style report for the current handle.
void TCustomWSocket::HandleReady(uint32_t epollEvents) {
  if ((paused_ && !transport_->Handshaking()) || !(handle_.Get() >= 0)) return;
  auto soError = [this]() {
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(handle_.Get(), SOL_SOCKET, SO_ERROR, &err, &len);
    return static_cast<uint16_t>(WinsockFromErrno(err));
  };
  if (state_ == wsConnecting) {
    if (epollEvents & (EPOLLOUT | EPOLLERR | EPOLLHUP)) HandleReadiness(FD_CONNECT, soError());
    return;
  }
  if (state_ == wsListening && sockType_ == SOCK_STREAM) {
    if (epollEvents & EPOLLIN) {
      acceptArmed_ = false;  // re-armed by Accept, as the system re-enables its accept report
      UpdateInterest();
      HandleReadiness(FD_ACCEPT, 0);
    }
    return;
  }
  uint16_t bits = 0;
  if (epollEvents & EPOLLIN) bits |= FD_READ;
  if (epollEvents & EPOLLOUT) {
    bits |= FD_WRITE;
    writeArmed_ = false;
    UpdateInterest();
  }
  const bool closing =
      !paused_ && sockType_ == SOCK_STREAM && (epollEvents & (EPOLLRDHUP | EPOLLHUP | EPOLLERR));
  if (paused_ && (epollEvents & (EPOLLHUP | EPOLLERR))) bits |= FD_READ;  // the handshake sees it
  const uint16_t closeError = (epollEvents & (EPOLLHUP | EPOLLERR)) ? soError() : 0;
  const EventLoop::Token token = handleToken_;
  if (bits) HandleReadiness(bits, 0);
  if (closing && handleToken_ == token) HandleReadiness(FD_CLOSE, closeError);
}

void TCustomWSocket::DeliverWaitingData() {
  if (state_ == wsConnected && handle_.Get() >= 0 && !paused_) ReceiveLoop(0, 0);
}

void TCustomWSocket::PostReadiness(uint16_t eventBits, uint16_t error) {
  if (handleToken_ == 0) return;
  loop_.PostTo(handleToken_, [this, eventBits, error]() { HandleReadiness(eventBits, error); });
}

void TCustomWSocket::HandleReadiness(uint16_t eventBits, uint16_t error) {
  if (paused_ && !transport_->Handshaking()) return;
  // A handler may close this handle (or even open a new one); the rest of this report belonged
  // to the old handle and is dropped then.
  const EventLoop::Token token = handleToken_;
  auto same = [&]() { return handleToken_ == token && token != 0; };

  if (eventBits & FD_CONNECT) {
    ChangeState(wsConnected);
    if (error == 0) {
      try {
        BeginTransport();
      } catch (const std::runtime_error& e) {
        FailTransport(e.what());  // the transport could not be made (TlsError)
        return;
      }
    }
    TriggerSessionConnected(error);
    if (error != 0 && state_ != wsClosed) Close();
    if (error == 0 && same()) PostReadiness(FD_WRITE, 0);
    if (!same()) return;
  }
  if (transport_->Handshaking()) {
    if (eventBits & (FD_READ | FD_WRITE)) {
      if (eventBits & FD_WRITE) TryToSend();  // bytes that leave in clear before the handshake
      if (!same()) return;
      StepHandshake();
      if (!same()) return;
    }
    if (transport_->Handshaking()) {
      if ((eventBits & FD_CLOSE) && !paused_) {
        FailTransport("connection closed during the handshake");
      }
      return;
    }
    // Complete: StepHandshake has posted the reports that follow; this one's are spent.
    eventBits &= static_cast<uint16_t>(~(FD_READ | FD_WRITE));
  }
  // The transport may turn one readiness into another (a TLS read that waited for write
  // readiness).
  eventBits = transport_->Ready(eventBits);
  if (eventBits & FD_READ) {
    ReceiveLoop(error, kReadBudget);
    if (!same()) return;
  }
  if (eventBits & FD_WRITE) {
    TryToSend();
    // A reset met while sending closes the socket, and the reset of that close sets the
    // all-sent flag again: the data never left, so no OnDataSent for it.
    if (!same()) return;
    // One OnDataSent per emptying of the queue: a self-posted report and the system's write
    // readiness can both see the same emptying, and several Send calls before the loop turns
    // post several reports.
    if (allSent_ && dataSentDue_) {
      dataSentDue_ = false;
      if (OnDataSent) TriggerDataSent(error);
    }
    if (!same()) return;
  }
  if (eventBits & FD_ACCEPT) {
    TriggerSessionAvailable(error);
    if (!same()) return;
  }
  if (eventBits & FD_CLOSE) {
    if (state_ == wsConnecting) return;
    ReceiveLoop(error, 0);
    // A data handler that closed at the end of the stream has already reported the close; the
    // reset of that close cleared the close-reported flag, so going on would report it twice.
    if (!same()) return;
    if (OnSessionClosed && !closeReported_) {
      closeReported_ = true;
      TriggerSessionClosed(error);
    }
    if (state_ != wsClosed) Close();
  }
}

// Delivers waiting data: the handler is called again as long as data waits and it keeps
// reading. A handler that reads nothing ends the loop, and read reports stay off until the next
// Receive, so such a handler can never make the loop spin.
void TCustomWSocket::ReceiveLoop(uint16_t error, int budget) {
  const EventLoop::Token token = handleToken_;
  try {
    for (int calls = 1;; ++calls) {
      lastError_ = 0;
      const uint64_t before = bytesReceived_;
      const int32_t readBefore = readCount_;
      bool handled;
      transport_->BeginDelivery();
      {
        HandlerScope scope(*this);  // covers the command handlers of derived sessions too
        handled = TriggerDataAvailable(error);
      }
      if (!handled) {
        char discard[1024];
        if (Receive(discard, sizeof discard) < 0 && lastError_ == kWsaEwouldblock) lastError_ = 0;
      }
      if (handleToken_ != token || !(handle_.Get() >= 0)) break;
      if (lastError_ != 0) break;
      // A read that got less than it asked for emptied the system's buffer: no need to ask it
      // how much waits. Bytes that arrive after it are reported by the next round.
      if (transport_->Drained()) break;
      const int waiting = transport_->Waiting();
      if (waiting <= 0) break;
      if (bytesReceived_ == before && readCount_ == readBefore) {
        readArmed_ = false;
        UpdateInterest();
        break;
      }
      // A read report takes its turn like every other socket's: what is left is reported again
      // on the loop's next round. (A close report delivers everything before the close.)
      if (budget > 0 && calls >= budget) {
        // Bytes TLS has decrypted already are announced by no readiness: ask for them.
        transport_->AnnounceHeld();
        break;
      }
    }
  } catch (const std::exception& e) {
    // An exception from a handler or an error report ends this delivery (the rest of the
    // report, a close among it, still runs) and is reported like any other handler's.
    loop_.ReportUnhandled(e);
  }
}

// ---------------------------------------------------------------------------------------------
// Sending

int TCustomWSocket::Send(const void* data, int length) {
  if (state_ != wsConnected) {
    SocketError(kWsaEnotconn, "Send");
    return -1;
  }
  allSent_ = false;
  dataSentDue_ = true;
  out_.fileShortfall = 0;
  int result = 0;
  if (length > 0) {
    out_.queue.Append(data, length);
    result = length;
  }
  // Not under TLS: its records are made as the bytes come, and its close has its own order.
  if (gatherSends_ && transport_->GathersSends() && loop_.InRound()) {
    if (flushFor_ != handleToken_) {
      flushFor_ = handleToken_;
      // Written earlier (WriteGatheredNow), the queue is not written twice.
      loop_.AtRoundEnd(handleToken_, [this]() {
        if (flushFor_ == handleToken_) FlushQueued();
      });
    }
    return result;
  }
  FlushQueued();
  return result;
}

void TCustomWSocket::DrainQuietly() {
  transport_->DrainQuietly(out_.queue);
}

void TCustomWSocket::FlushQueued() {
  flushFor_ = 0;
  if (state_ != wsConnected) return;
  TryToSend();
  if (allSent_) PostReadiness(FD_WRITE, 0);
}

int64_t TCustomWSocket::SendFile(int fd, int64_t length) {
  if (length <= 0) return SendFile(std::shared_ptr<const UniqueFd>(), length);
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    SocketError(LastWsa(), "SendFile");
    return -1;
  }
  return SendFile(std::make_shared<const UniqueFd>(copy), length);
}

int64_t TCustomWSocket::SendFile(std::shared_ptr<const UniqueFd> file, int64_t length) {
  if (state_ != wsConnected || sockType_ != SOCK_STREAM) {
    SocketError(kWsaEnotconn, "SendFile");
    return -1;
  }
  out_.fileShortfall = 0;
  allSent_ = false;
  dataSentDue_ = true;
  if (length > 0) {
    if (out_.fileLeft > 0) {
      // One file at a time: a second region before the first has left is a usage error.
      RaiseException("SendFile: the previous file bytes are still being sent");
      return -1;
    }
    out_.file = std::move(file);
    out_.fileLeft = length;
  }
  TryToSend();
  if (allSent_) PostReadiness(FD_WRITE, 0);
  return length;
}

void TCustomWSocket::DropFileBytes() {
  out_.DropFile();
}

int64_t TCustomWSocket::BufferedBytes() const {
  return out_.queue.Pending() + out_.fileLeft + transport_->Staged();
}

int TCustomWSocket::SendStr(const std::string& text) {
  return Send(text.data(), static_cast<int>(text.size()));
}

int TCustomWSocket::WriteRaw(const char* data, int length) {
  const int flags = MSG_NOSIGNAL | (sendFlags_ == wsSendUrgent ? MSG_OOB : 0);
  if (sockType_ == SOCK_DGRAM) {
    return static_cast<int>(::sendto(handle_.Get(), data, static_cast<size_t>(length), flags,
                                     sin_.Data(), sin_.Length()));
  }
  return static_cast<int>(::send(handle_.Get(), data, static_cast<size_t>(length), flags));
}

void TCustomWSocket::TryToSend() {
  if (!(handle_.Get() >= 0)) return;
  const SocketTransport::SendResult result = transport_->Send(out_);
  switch (result.progress) {
    case SocketTransport::Progress::AllSent:
      allSent_ = true;
      return;
    case SocketTransport::Progress::WantWrite:
      writeArmed_ = true;
      UpdateInterest();
      return;
    case SocketTransport::Progress::Stalled:
      return;
    case SocketTransport::Progress::Reset:
      closeReported_ = true;
      Close();
      TriggerSessionClosed(static_cast<uint16_t>(result.error));
      return;
    case SocketTransport::Progress::Failed:
      SocketError(result.error, "TryToSend failed");
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Receiving

int TCustomWSocket::Receive(void* buffer, int size) {
  if (!readArmed_) {
    readArmed_ = true;
    UpdateInterest();
  }
  int error = 0;
  const int n = transport_->Read(buffer, size, error);
  if (n < 0) {
    lastError_ = error;
    return -1;
  }
  if (n > 0) {
    readCount_ += n;
    bytesReceived_ += static_cast<uint64_t>(n);
  }
  return n;
}

int TCustomWSocket::ReceiveFrom(void* buffer, int size, SocketAddress& from) {
  if (!readArmed_) {
    readArmed_ = true;
    UpdateInterest();
  }
  socklen_t fromLen = SocketAddress::Capacity();
  const ssize_t n = ::recvfrom(handle_.Get(), buffer, static_cast<size_t>(size > 0 ? size : 0), 0,
                               from.MutableData(), &fromLen);
  if (n < 0) {
    lastError_ = LastWsa();
    return -1;
  }
  readCount_ += static_cast<int32_t>(n);
  bytesReceived_ += static_cast<uint64_t>(n);
  return static_cast<int>(n);
}

int TCustomWSocket::RawRcvdCount(int& count) {
  count = 0;
  if (::ioctl(handle_.Get(), FIONREAD, &count) != 0) {
    lastError_ = LastWsa();
    return -1;
  }
  return 0;
}

int TCustomWSocket::Unread() {
  int count = 0;
  if (RawRcvdCount(count) != 0) return -1;
  return count;
}

int TCustomWSocket::RcvdCount() {
  int count = 0;
  if (RawRcvdCount(count) != 0) {
    SocketError(lastError_, "ioctlSocket");
    return -1;
  }
  return count;
}

}  // namespace orvane
