#include "net/TCustomWSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <system_error>

#include "net/ESocketException.h"
#include "net/ReserveFd.h"
#include "net/SocketAddress.h"
#include "platform/Trim.h"
#include "platform/WinsockError.h"
#include "platform/WinsockErrorText.h"

namespace orvane {

namespace {

int LastWsa() {
  return WinsockFromErrno(errno);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation, reset, destruction

TCustomWSocket::TCustomWSocket(EventLoop& loop) : loop_(loop), objectToken_(loop.NewToken()) {
  ReserveFd::Instance();
  Reset();
}

TCustomWSocket::~TCustomWSocket() {
  // Owners free a socket from a task posted to the loop, never inside one of its handlers: the
  // code that called the handler goes on using the object when the handler returns.
  assert(handlerDepth_ == 0 && "socket destroyed inside its own event handler");
  destroying_ = true;
  CancelDnsLookup();
  if (state_ != wsClosed) {
    try {
      Close();
    } catch (const std::exception&) {
      // A destructor must not throw; the handle is gone either way.
    }
  }
  CloseHandle();
  loop_.Release(objectToken_);
}

void TCustomWSocket::Reset() {
  sin_ = sockaddr_in{};
  sin_.sin_family = AF_INET;
  portAssigned_ = false;
  addrAssigned_ = false;
  addrResolved_ = false;
  protoAssigned_ = true;
  protocol_ = IPPROTO_TCP;
  protoStr_ = "tcp";
  sockType_ = SOCK_STREAM;
  lingerOnOff_ = wsLingerOn;
  lingerTimeout_ = 0;
  CloseHandle();
  state_ = wsClosed;
  allSent_ = true;
  paused_ = false;
  closeReported_ = false;
  readCount_ = 0;
  flushTimeout_ = 60;
}

// ---------------------------------------------------------------------------------------------
// Error reporting

std::string TCustomWSocket::WSocketErrorDesc(int code) {
  return WinsockErrorText(code);
}

void TCustomWSocket::SocketError(int code, const std::string& operation) {
  const std::string message = "Error " + std::to_string(code) + " in function " + operation +
                              "\r\n" + WSocketErrorDesc(code);
  if (code == kWsaEconnreset || code == kWsaEnotconn) {
    CloseHandle();
    ChangeState(wsClosed);
  }
  lastError_ = code;
  RaiseException(message);
}

void TCustomWSocket::RaiseException(const std::string& message) {
  if (OnError) {
    TriggerError();
    return;
  }
  throw ESocketException(message);
}

// ---------------------------------------------------------------------------------------------
// Triggers

// A handler is called through a copy: it may assign a new handler to its own event (a data
// handler that hands the connection to the next stage does), and the assignment would otherwise
// destroy the closure that is still running. The handler scope lets the destructor tell when a
// handler frees its own socket.
template <typename Handler, typename... Args>
void TCustomWSocket::CallHandler(const Handler& handler, Args... args) {
  const Handler running = handler;
  HandlerScope scope(*this);
  running(*this, args...);
}

bool TCustomWSocket::TriggerDataAvailable(uint16_t error) {
  if (!OnDataAvailable) return false;
  CallHandler(OnDataAvailable, error);
  return true;
}
void TCustomWSocket::TriggerSessionAvailable(uint16_t error) {
  if (OnSessionAvailable) CallHandler(OnSessionAvailable, error);
}
void TCustomWSocket::TriggerSessionConnected(uint16_t error) {
  if (OnSessionConnected) CallHandler(OnSessionConnected, error);
}
void TCustomWSocket::TriggerSessionClosed(uint16_t error) {
  if (OnSessionClosed) CallHandler(OnSessionClosed, error);
}
void TCustomWSocket::TriggerDataSent(uint16_t error) {
  if (OnDataSent) CallHandler(OnDataSent, error);
}
void TCustomWSocket::TriggerChangeState(TSocketState oldState, TSocketState newState) {
  if (OnChangeState) CallHandler(OnChangeState, oldState, newState);
}
void TCustomWSocket::TriggerDnsLookupDone(uint16_t error) {
  if (OnDnsLookupDone) CallHandler(OnDnsLookupDone, error);
}
void TCustomWSocket::TriggerError() {
  if (OnError) CallHandler(OnError);
}

void TCustomWSocket::ChangeState(TSocketState newState) {
  const TSocketState oldState = state_;
  state_ = newState;
  UpdateInterest();
  TriggerChangeState(oldState, newState);
}

// ---------------------------------------------------------------------------------------------
// Handle and readiness registration

void TCustomWSocket::AdoptHandle(int fd, uint16_t mask) {
  CloseHandle();
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
  if (!paused_ && mask_ != 0) {
    if (state_ == wsConnecting) {
      events = EPOLLOUT;
    } else if (state_ == wsListening && sockType_ == SOCK_STREAM) {
      if ((mask_ & FD_ACCEPT) && acceptArmed_) events |= EPOLLIN;
    } else if (state_ == wsConnected) {
      if ((mask_ & FD_READ) && readArmed_) events |= EPOLLIN;
      if ((mask_ & FD_CLOSE) && sockType_ == SOCK_STREAM) events |= EPOLLRDHUP;
      if ((mask_ & FD_WRITE) && writeArmed_) events |= EPOLLOUT;
    }
  }
  loop_.ModifyFd(handleToken_, events);
}

// Turns epoll readiness into the Windows-style report for the current handle.
void TCustomWSocket::HandleReady(uint32_t epollEvents) {
  if (paused_ || !(handle_.Get() >= 0)) return;
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
      sockType_ == SOCK_STREAM && (epollEvents & (EPOLLRDHUP | EPOLLHUP | EPOLLERR));
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
  if (paused_) return;
  // A handler may close this handle (or even open a new one); the rest of this report belonged
  // to the old handle and is dropped then.
  const EventLoop::Token token = handleToken_;
  auto same = [&]() { return handleToken_ == token && token != 0; };

  if (eventBits & FD_CONNECT) {
    ChangeState(wsConnected);
    TriggerSessionConnected(error);
    if (error != 0 && state_ != wsClosed) Close();
    if (error == 0 && same()) PostReadiness(FD_WRITE, 0);
    if (!same()) return;
  }
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
      {
        HandlerScope scope(*this);  // covers the command handlers of derived sessions too
        handled = TriggerDataAvailable(error);
      }
      if (!handled) {
        char discard[1024];
        const ssize_t n = ::recv(handle_.Get(), discard, sizeof discard, 0);
        if (n < 0) {
          const int err = LastWsa();
          lastError_ = err == kWsaEwouldblock ? 0 : err;
          break;
        }
        bytesReceived_ += static_cast<uint64_t>(n);
      }
      if (handleToken_ != token || !(handle_.Get() >= 0)) break;
      if (lastError_ != 0) break;
      int waiting = 0;
      if (RawRcvdCount(waiting) != 0) break;
      if (waiting == 0) break;
      if (bytesReceived_ == before && readCount_ == readBefore) {
        readArmed_ = false;
        UpdateInterest();
        break;
      }
      // A read report takes its turn like every other socket's: what is left is reported again
      // on the loop's next round. (A close report delivers everything before the close.)
      if (budget > 0 && calls >= budget) break;
    }
  } catch (const std::exception& e) {
    // An exception from a handler or an error report ends this delivery (the rest of the
    // report, a close among it, still runs) and is reported like any other handler's.
    loop_.ReportUnhandled(e);
  }
}

// ---------------------------------------------------------------------------------------------
// Addressing

void TCustomWSocket::SetPort(const std::string& value) {
  if (portAssigned_ && value == portStr_) return;
  portStr_ = value;
  if (state_ != wsClosed) {
    RaiseException("Cannot change Port if not closed");
    return;
  }
  const std::string port = Trim(value);
  if (port.empty()) {
    portAssigned_ = false;
    return;
  }
  portAssigned_ = true;
  const long number = PortNumber(port, protoStr_);
  // A number past 65535 would silently wrap to another port.
  if (number < 0 || number > 65535) {
    portAssigned_ = false;
    RaiseException("SetPort: Cannot convert port '" + value + "'");
    return;
  }
  portNum_ = static_cast<uint16_t>(number);
  sin_.sin_port = htons(portNum_);
}

void TCustomWSocket::SetAddr(const std::string& value) {
  if (addrAssigned_ && value == addrStr_) return;
  addrStr_ = Trim(value);
  if (addrStr_.empty()) {
    addrAssigned_ = false;
    return;
  }
  if (state_ != wsClosed) {
    RaiseException("Cannot change Addr if not closed");
    return;
  }
  addrResolved_ = false;
  addrAssigned_ = true;
}

void TCustomWSocket::SetProto(const std::string& value) {
  if (protoAssigned_ && value == protoStr_) return;
  protoStr_ = value;
  if (state_ != wsClosed) {
    RaiseException("Cannot change Proto if not closed");
    return;
  }
  const std::string proto = Trim(value);
  if (proto.empty()) {
    protoAssigned_ = false;
    return;
  }
  if (proto == "not found") return;
  protoAssigned_ = true;
  const int number = ProtocolNumber(proto);
  if (number < 0) {
    protoAssigned_ = false;
    RaiseException("SetProto: Cannot convert protocol '" + value + "'");
    return;
  }
  protocol_ = number;
  sockType_ = number == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
}

void TCustomWSocket::ResolveAddr() {
  if (addrResolved_) return;
  const std::string addr = Trim(addrStr_);
  const std::optional<in_addr> parsed = HostAddress(addr);
  if (!parsed) throw ESocketException("SetAddr: Cannot convert host address '" + addr + "'");
  sin_.sin_addr = *parsed;
  addrResolved_ = true;
}

TSocketSendFlags TCustomWSocket::SendFlags() const {
  if (sendFlags_ != 0 && sendFlags_ != 1) throw ESocketException("Invalid internal SendFlags");
  return static_cast<TSocketSendFlags>(sendFlags_);
}

void TCustomWSocket::SetSendFlags(int flags) {
  if (flags != wsSendNormal && flags != wsSendUrgent) {
    RaiseException("Invalid SendFlags");
    return;
  }
  sendFlags_ = flags;
}

// ---------------------------------------------------------------------------------------------
// Socket options

void TCustomWSocket::ApplyLinger() {
  if (lingerOnOff_ == wsLingerNoSet) return;
  if (!(handle_.Get() >= 0)) {
    RaiseException("Cannot set linger option at this time");
    return;
  }
  linger value{};
  value.l_onoff = lingerOnOff_ == wsLingerOn ? 1 : 0;
  value.l_linger = lingerTimeout_;
  if (::setsockopt(handle_.Get(), SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) {
    SocketError(LastWsa(), "setsockopt(SO_LINGER)");
  }
}

void TCustomWSocket::SetBoolOption(int level, int option, const char* operation) {
  const int on = -1;
  if (::setsockopt(handle_.Get(), level, option, &on, sizeof on) != 0) {
    SocketError(LastWsa(), operation);
  }
}

// ---------------------------------------------------------------------------------------------
// Listen, accept, dup, connect

int TCustomWSocket::Listen() {
  const char* missing = !portAssigned_    ? "listen: port not assigned"
                        : !protoAssigned_ ? "listen: protocol not assigned"
                        : !addrAssigned_  ? "listen: address not assigned"
                                          : nullptr;
  if (missing != nullptr) {
    SocketError(kWsaEinval, missing);
    return -1;
  }
  ResolveAddr();
  queue_.Clear();

  const int fd = ::socket(AF_INET, sockType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol_);
  if (fd < 0) {
    SocketError(LastWsa(), "socket");
    return -1;
  }
  AdoptHandle(fd, 0);
  ChangeState(wsOpened);
  if (sockType_ == SOCK_STREAM) {
    // Linux refuses to bind a port that still has connections in TIME_WAIT unless address reuse
    // is on; Windows allows it. Reuse on Linux never lets a second listener share the port, so a
    // port in use still fails with "Address already in use".
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&sin_), sizeof sin_) != 0) {
    SocketError(LastWsa(), "Bind");
    Close();
    return -1;
  }
  ChangeState(wsBound);
  if (sockType_ == SOCK_STREAM) {
    // Windows refuses a connection that finds the queue full, and the client can try again.
    // Linux instead completes the client's connect (with a SYN cookie) and then drops it, so the
    // client waits for a greeting that never comes. A queue as long as the system allows keeps
    // a burst of connections, such as a client opening parallel transfers, from being lost.
    if (::listen(fd, SOMAXCONN) != 0) {
      SocketError(LastWsa(), "Listen");
      return -1;
    }
    mask_ = kListenMask;
    ChangeState(wsListening);
  } else {
    mask_ = kListenMask;
    ChangeState(wsListening);
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
  }
  return 0;
}

int TCustomWSocket::Accept() {
  if (state_ != wsListening) {
    SocketError(kWsaEinval, "not a listening socket");
    return -1;
  }
  acceptArmed_ = true;
  UpdateInterest();
  socklen_t len = sizeof sin_;
  const int fd = ::accept4(handle_.Get(), reinterpret_cast<sockaddr*>(&sin_), &len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == EMFILE || err == ENFILE) ReserveFd::Instance().DropOne(handle_.Get());
    errno = err;
    SocketError(LastWsa(), "Accept");
    return -1;
  }
  lastAcceptHandle_ = fd;
  return fd;
}

void TCustomWSocket::Dup(int newHandle) {
  if (newHandle == 0 || newHandle == -1) {
    SocketError(kWsaEinval, "Dup");
    return;
  }
  if (state_ != wsClosed) {
    loop_.Release(handleToken_);
    handleToken_ = 0;
    if (handle_.Close() != 0) {
      SocketError(LastWsa(), "Dup (closesocket)");
      return;
    }
    ChangeState(wsClosed);
  }
  const int flags = ::fcntl(newHandle, F_GETFL);
  if (flags >= 0) ::fcntl(newHandle, F_SETFL, flags | O_NONBLOCK);
  AdoptHandle(newHandle, kDupMask);
  ApplyLinger();
  ChangeState(wsConnected);
  // The system reports an adopted connection writable once.
  PostReadiness(FD_WRITE, 0);
}

void TCustomWSocket::Connect() {
  if ((handle_.Get() >= 0) && state_ != wsClosed) {
    RaiseException("Connect: Socket already in use");
    return;
  }
  if (!portAssigned_) {
    RaiseException("Connect: No Port Specified");
    return;
  }
  if (!addrAssigned_) {
    RaiseException("Connect: No IP Address Specified");
    return;
  }
  if (!protoAssigned_) {
    RaiseException("Connect: No Protocol Specified");
    return;
  }
  ResolveAddr();
  queue_.Clear();

  const int fd = ::socket(AF_INET, sockType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol_);
  if (fd < 0) {
    SocketError(LastWsa(), "Connect (socket)");
    return;
  }
  AdoptHandle(fd, 0);
  ChangeState(wsOpened);

  if (sockType_ == SOCK_DGRAM) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      RaiseException("winsock.bind failed, error #" + std::to_string(LastWsa()));
      return;
    }
    socklen_t len = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
      RaiseException("winsock.getsockname failed, error #" + std::to_string(LastWsa()));
      return;
    }
    localPortNum_ = ntohs(local.sin_port);
    if (sin_.sin_addr.s_addr == INADDR_BROADCAST) {
      SetBoolOption(SOL_SOCKET, SO_BROADCAST, "setsockopt(SO_BROADCAST)");
    }
  } else {
    ApplyLinger();
    SetBoolOption(SOL_SOCKET, SO_KEEPALIVE, "setsockopt(SO_KEEPALIVE)");
    SetBoolOption(SOL_SOCKET, SO_REUSEADDR, "setsockopt(SO_REUSEADDR)");
  }
  if (!(handle_.Get() >= 0)) return;
  mask_ = kConnectMask;

  if (sockType_ == SOCK_DGRAM) {
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
    return;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&sin_), sizeof sin_) == 0 ||
      errno == EINPROGRESS || errno == EAGAIN) {
    ChangeState(wsConnecting);
    return;
  }
  lastError_ = LastWsa();
  SocketError(lastError_, "Connect");
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
  int result = 0;
  if (length > 0) {
    queue_.Append(data, length);
    result = length;
  }
  TryToSend();
  if (allSent_) PostReadiness(FD_WRITE, 0);
  return result;
}

int TCustomWSocket::SendStr(const std::string& text) {
  return Send(text.data(), static_cast<int>(text.size()));
}

int TCustomWSocket::RawSend(const char* data, int length) {
  const int flags = MSG_NOSIGNAL | (sendFlags_ == wsSendUrgent ? MSG_OOB : 0);
  if (sockType_ == SOCK_DGRAM) {
    return static_cast<int>(::sendto(handle_.Get(), data, static_cast<size_t>(length), flags,
                                     reinterpret_cast<const sockaddr*>(&sin_), sizeof sin_));
  }
  return static_cast<int>(::send(handle_.Get(), data, static_cast<size_t>(length), flags));
}

void TCustomWSocket::TryToSend() {
  if (!(handle_.Get() >= 0)) return;
  // No chunk at all (nothing was ever queued) means nothing is left to send, the same as a
  // drained chunk; otherwise a first Send of 0 bytes would leave the flag clear for good.
  if (queue_.Empty()) {
    allSent_ = true;
    return;
  }
  for (;;) {
    int32_t length = 0;
    const char* data = queue_.Front(length);
    if (data == nullptr) {
      allSent_ = true;
      return;
    }
    const int sent = RawSend(data, length);
    if (sent == 0) return;
    if (sent < 0) {
      const int err = LastWsa();
      if (err == kWsaEconnreset || err == kWsaEnotsock || err == kWsaEnotconn || err == kWsaEintr) {
        closeReported_ = true;
        Close();
        TriggerSessionClosed(static_cast<uint16_t>(err));
        return;
      }
      if (err == kWsaEwouldblock) {
        writeArmed_ = true;
        UpdateInterest();
        return;
      }
      SocketError(err, "TryToSend failed");
      return;
    }
    queue_.Consume(sent);
    if (sent < length) {
      writeArmed_ = true;
      UpdateInterest();
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Receiving

int TCustomWSocket::Receive(void* buffer, int size) {
  if (!readArmed_) {
    readArmed_ = true;
    UpdateInterest();
  }
  const ssize_t n = ::recv(handle_.Get(), buffer, static_cast<size_t>(size > 0 ? size : 0), 0);
  if (n < 0) {
    lastError_ = LastWsa();
    return -1;
  }
  if (n > 0) {
    readCount_ += static_cast<int32_t>(n);
    bytesReceived_ += static_cast<uint64_t>(n);
  }
  return static_cast<int>(n);
}

int TCustomWSocket::ReceiveFrom(void* buffer, int size, sockaddr_in& from, socklen_t& fromLen) {
  if (!readArmed_) {
    readArmed_ = true;
    UpdateInterest();
  }
  const ssize_t n = ::recvfrom(handle_.Get(), buffer, static_cast<size_t>(size > 0 ? size : 0), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLen);
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

int TCustomWSocket::RcvdCount() {
  int count = 0;
  if (RawRcvdCount(count) != 0) {
    SocketError(lastError_, "ioctlSocket");
    return -1;
  }
  return count;
}

// ---------------------------------------------------------------------------------------------
// Closing

void TCustomWSocket::Close() {
  FinishClose(true);
}

void TCustomWSocket::Abort() {
  CancelDnsLookup();
  queue_.Clear();
  if (state_ == wsConnected) {
    lingerOnOff_ = wsLingerOff;
    try {
      ApplyLinger();
    } catch (const ESocketException&) {
      // Closing anyway; a linger failure changes nothing for an abort.
    }
  }
  FinishClose(false);
}

void TCustomWSocket::FinishClose(bool shutdownFirst) {
  if (!(handle_.Get() >= 0)) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      Reset();
    }
    return;
  }
  if (shutdownFirst) ::shutdown(handle_.Get(), SHUT_RDWR);
  loop_.Release(handleToken_);
  handleToken_ = 0;
  mask_ = 0;
  if (handle_.Close() != 0 && errno != EINTR) {
    lastError_ = LastWsa();
    SocketError(lastError_, "Disconnect (closesocket)");
    return;
  }
  ChangeState(wsClosed);
  if (!destroying_ && !closeReported_ && OnSessionClosed) {
    closeReported_ = true;
    TriggerSessionClosed(0);
  }
  // The handler may have opened a new connection on this object; only a closed object resets.
  if (state_ == wsClosed && !(handle_.Get() >= 0)) Reset();
}

void TCustomWSocket::Shutdown(int how) {
  if ((handle_.Get() >= 0)) ::shutdown(handle_.Get(), how);
}

void TCustomWSocket::Pause() {
  paused_ = true;
  UpdateInterest();
}

void TCustomWSocket::Resume() {
  paused_ = false;
  mask_ = kDupMask;
  UpdateInterest();
}

// ---------------------------------------------------------------------------------------------
// Addresses of a connection

std::string TCustomWSocket::GetPeerAddr() {
  if (state_ != wsConnected) return "error";
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  if (::getpeername(handle_.Get(), reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
    SocketError(LastWsa(), "GetPeerName");
    return "error";
  }
  return DottedAddress(peer.sin_addr);
}

int TCustomWSocket::GetPeerName(sockaddr_in& name, socklen_t& nameLen) {
  if (state_ != wsConnected) return -1;
  return ::getpeername(handle_.Get(), reinterpret_cast<sockaddr*>(&name), &nameLen);
}

std::string TCustomWSocket::GetXPort() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (::getsockname(handle_.Get(), reinterpret_cast<sockaddr*>(&local), &len) != 0) {
    return "error";
  }
  return std::to_string(ntohs(local.sin_port));
}

int TCustomWSocket::GetSockName(sockaddr_in& name, socklen_t& nameLen) {
  return ::getsockname(handle_.Get(), reinterpret_cast<sockaddr*>(&name), &nameLen);
}

// ---------------------------------------------------------------------------------------------
// Host lookups: a worker thread resolves and posts the answer back to this object's loop.

void TCustomWSocket::DnsLookup(const std::string& hostName) {
  if (hostName.empty()) {
    RaiseException("DNS lookup: invalid host name.");
    TriggerDnsLookupDone(kWsaEinval);
    return;
  }
  CancelDnsLookup();
  dnsResult_.clear();
  dnsResultList_.clear();
  in_addr parsed{};
  if (::inet_pton(AF_INET, hostName.c_str(), &parsed) == 1) {
    dnsResult_ = DottedAddress(parsed);
    dnsResultList_.push_back(dnsResult_);
    TriggerDnsLookupDone(0);
    return;
  }
  StartLookup(hostName, [hostName]() { return HostLookup::ByName(hostName); });
}

void TCustomWSocket::ReverseDnsLookup(const std::string& hostAddr) {
  if (hostAddr.empty()) {
    RaiseException("DNS lookup: invalid host name.");
    TriggerDnsLookupDone(kWsaEinval);
    return;
  }
  CancelDnsLookup();
  dnsResult_.clear();
  dnsResultList_.clear();
  StartLookup(hostAddr, [hostAddr]() { return HostLookup::ByAddress(hostAddr); });
}

void TCustomWSocket::StartLookup(const std::string& name, HostLookup::Resolver resolve) {
  try {
    lookup_.Start(std::move(resolve), [this](const HostLookup::Answer& answer) {
      dnsResultList_ = answer.results;
      if (!answer.results.empty()) dnsResult_ = answer.results.front();
      TriggerDnsLookupDone(static_cast<uint16_t>(answer.error));
    });
  } catch (const std::system_error& e) {
    RaiseException(name + ": can't start DNS lookup, error #" + std::to_string(e.code().value()));
  }
}

void TCustomWSocket::CancelDnsLookup() {
  if (!lookup_.Cancel()) return;
  if (!destroying_) TriggerDnsLookupDone(kWsaEintr);
}

// ---------------------------------------------------------------------------------------------
// Process-wide helpers

std::string TCustomWSocket::LocalHostName() {
  return HostLookup::LocalHostName();
}

const std::vector<std::string>& TCustomWSocket::LocalIPList() {
  static std::vector<std::string> list;
  list = HostLookup::LocalAddresses();
  return list;
}

}  // namespace orvane
