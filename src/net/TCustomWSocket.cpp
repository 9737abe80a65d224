#include "net/TCustomWSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <system_error>

#include "net/ESocketException.h"
#include "net/PlainTransport.h"
#include "net/ReserveFd.h"
#include "net/SocketAddress.h"
#include "net/TlsTransport.h"
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

TCustomWSocket::TCustomWSocket(EventLoop& loop)
    : loop_(loop),
      objectToken_(loop.NewToken()),
      transport_(std::make_unique<PlainTransport>(TransportLink())) {
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
  sin_ = SocketAddress::Any(AF_INET);
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
  DropFileBytes();
  out_.fileShortfall = 0;
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
  sin_.SetPort(portNum_);
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
  const std::optional<SocketAddress> parsed = ResolveAddress(addr);
  if (!parsed) throw ESocketException("SetAddr: Cannot convert host address '" + addr + "'");
  const uint16_t port = sin_.Port();
  sin_ = *parsed;
  sin_.SetPort(port);
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
  out_.queue.Clear();

  const int fd = ::socket(sin_.Family(), sockType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol_);
  if (fd < 0) {
    SocketError(LastWsa(), "socket");
    return -1;
  }
  AdoptHandle(fd, 0);
  ChangeState(wsOpened);
  if (sin_.Family() == AF_INET6 && sin_.IsWildcard()) {
    // "::" listens on IPv6 and IPv4 alike (one dual-stack socket), whatever the system's
    // default (net.ipv6.bindv6only) says; IPv4 peers arrive as mapped addresses.
    const int off = 0;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
  }
  if (sockType_ == SOCK_STREAM) {
    // Linux refuses to bind a port that still has connections in TIME_WAIT unless address reuse
    // is on; Windows allows it. Reuse on Linux never lets a second listener share the port, so a
    // port in use still fails with "Address already in use".
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  if (::bind(fd, sin_.Data(), sin_.Length()) != 0) {
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
  socklen_t len = SocketAddress::Capacity();
  const int fd = ::accept4(handle_.Get(), sin_.MutableData(), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
  // Accepted with SOCK_NONBLOCK, most handles are non-blocking already.
  const int flags = ::fcntl(newHandle, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) == 0) ::fcntl(newHandle, F_SETFL, flags | O_NONBLOCK);
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
  out_.queue.Clear();

  const int fd = ::socket(sin_.Family(), sockType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol_);
  if (fd < 0) {
    SocketError(LastWsa(), "Connect (socket)");
    return;
  }
  AdoptHandle(fd, 0);
  ChangeState(wsOpened);

  if (sockType_ == SOCK_DGRAM) {
    const SocketAddress any = SocketAddress::Any(sin_.Family());
    if (::bind(fd, any.Data(), any.Length()) != 0) {
      RaiseException("winsock.bind failed, error #" + std::to_string(LastWsa()));
      return;
    }
    const std::optional<SocketAddress> local = SocketAddress::Local(fd);
    if (!local) {
      RaiseException("winsock.getsockname failed, error #" + std::to_string(LastWsa()));
      return;
    }
    localPortNum_ = local->Port();
    if (sin_.IsBroadcast()) {
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
  if (::connect(fd, sin_.Data(), sin_.Length()) == 0 || errno == EINPROGRESS || errno == EAGAIN) {
    ChangeState(wsConnecting);
    return;
  }
  lastError_ = LastWsa();
  SocketError(lastError_, "Connect");
}

// ---------------------------------------------------------------------------------------------
// Closing

void TCustomWSocket::Close() {
  FinishClose(true);
}

void TCustomWSocket::Abort() {
  CancelDnsLookup();
  out_.queue.Clear();
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
  if (shutdownFirst) {
    // What this round gave the connection goes before its end, as if it had been sent at once.
    if (flushFor_ != 0 && flushFor_ == handleToken_) {
      flushFor_ = 0;
      DrainQuietly();
    }
    transport_->Shutdown();  // TLS: close_notify
    // A listener has no connection to end: its close alone drops what waits to be accepted.
    if (state_ != wsListening) ::shutdown(handle_.Get(), SHUT_RDWR);
  }
  loop_.Release(handleToken_);
  handleToken_ = 0;
  mask_ = 0;
  DropFileBytes();
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
  transport_->Resumed();
}

// ---------------------------------------------------------------------------------------------
// The transport

bool TCustomWSocket::TlsEstablished() const {
  const TlsSession* session = transport_->Session();
  return session != nullptr && session->Established();
}

void TCustomWSocket::StartTls(std::shared_ptr<TlsContext> context, TlsRole role,
                              uint64_t requiredIdentity, bool issueTickets,
                              const TlsSession* resume) {
  if (transport_->Secure()) {
    RaiseException("StartTls: TLS is already on");
    return;
  }
  transport_ = std::make_unique<TlsTransport>(
      TransportLink(),
      TlsTransport::Options{std::move(context), role, requiredIdentity, issueTickets, resume});
  if (state_ != wsConnected) return;  // begun once the Connect under way completes
  try {
    BeginTransport();
  } catch (...) {
    transport_ = std::make_unique<PlainTransport>(TransportLink());
    throw;
  }
}

void TCustomWSocket::BeginTransport() {
  // What is queued now was sent before the transport began and leaves as it is first.
  transport_->Begin(out_.queue.Pending());
}

void TCustomWSocket::StepHandshake() {
  std::string failure;
  switch (transport_->Handshake(failure)) {
    case SocketTransport::HandshakeStep::Waiting:
      return;
    case SocketTransport::HandshakeStep::Failed:
      FailTransport(std::move(failure));
      return;
    case SocketTransport::HandshakeStep::Done:
      break;
  }
  readArmed_ = true;
  UpdateInterest();
  const EventLoop::Token token = handleToken_;
  if (OnTlsEstablished) {
    CallHandler(OnTlsEstablished, static_cast<uint16_t>(0));
    if (handleToken_ != token) return;
  }
  // What waited for the handshake: queued bytes and the OnDataSent of the connection's start,
  // and bytes that arrived with its last flight.
  PostReadiness(FD_WRITE, 0);
  if (transport_->Waiting() > 0) PostReadiness(FD_READ, 0);
}

void TCustomWSocket::FailTransport(std::string reason) {
  transport_->Abandon();
  closeReported_ = true;
  Abort();
  transportFailure_ = std::move(reason);
  TriggerSessionClosed(kWsaEconnaborted);
}

// ---------------------------------------------------------------------------------------------
// Addresses of a connection

std::string TCustomWSocket::GetPeerAddr() {
  if (state_ != wsConnected) return "error";
  const std::optional<SocketAddress> peer = SocketAddress::Peer(handle_.Get());
  if (!peer) {
    SocketError(LastWsa(), "GetPeerName");
    return "error";
  }
  return peer->Text();
}

int TCustomWSocket::GetPeerName(SocketAddress& name) {
  if (state_ != wsConnected) return -1;
  const std::optional<SocketAddress> peer = SocketAddress::Peer(handle_.Get());
  if (!peer) return -1;
  name = *peer;
  return 0;
}

std::string TCustomWSocket::GetXPort() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  const std::optional<SocketAddress> local = SocketAddress::Local(handle_.Get());
  return local ? std::to_string(local->Port()) : "error";
}

int TCustomWSocket::GetSockName(SocketAddress& name) {
  const std::optional<SocketAddress> local = SocketAddress::Local(handle_.Get());
  if (!local) return -1;
  name = *local;
  return 0;
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
  if (const std::optional<SocketAddress> numeric = SocketAddress::FromNumeric(hostName)) {
    dnsResult_ = numeric->Text();
    dnsResultList_.push_back(dnsResult_);
    TriggerDnsLookupDone(0);
    return;
  }
  StartLookup(hostName, [hostName]() { return NameResolver::ByName(hostName); });
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
  StartLookup(hostAddr, [hostAddr]() { return NameResolver::ByAddress(hostAddr); });
}

void TCustomWSocket::StartLookup(const std::string& name, NameResolver::Resolver resolve) {
  try {
    lookup_.Start(std::move(resolve), [this](const NameResolver::Answer& answer) {
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

std::string TCustomWSocket::LocalMachineName() {
  return NameResolver::LocalMachineName();
}

const std::vector<std::string>& TCustomWSocket::LocalIPList() {
  static std::vector<std::string> list;
  list = NameResolver::LocalAddresses();
  return list;
}

}  // namespace orvane
