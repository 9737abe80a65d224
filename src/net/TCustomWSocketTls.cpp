#include <openssl/ssl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <mutex>

#include "net/TCustomWSocket.h"
#include "platform/WinsockError.h"

// TLS on a TCustomWSocket: the handshake driven by readiness, and the record layer's reads and
// writes behind the socket's ordinary send and receive paths (TCustomWSocketReadiness.cpp calls
// them where the connection is secure).

namespace orvane {

namespace {

// OpenSSL writes with write(2), which raises SIGPIPE on a connection the peer has reset; the
// signal is ignored (the write then fails with EPIPE) unless the program handles it itself.
void IgnoreBrokenPipe() {
  static std::once_flag once;
  std::call_once(once, []() {
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      ::signal(SIGPIPE, SIG_IGN);
    }
  });
}

// The block a file is read in when its bytes must be encrypted on their way out.
constexpr int64_t kTlsFileBlock = 256 * 1024;
// Queued chunks are gathered up to this much before they are written as records.
constexpr size_t kTlsGather = 64 * 1024;

}  // namespace

void TCustomWSocket::SessionFree::operator()(SSL_SESSION* session) const {
  SSL_SESSION_free(session);
}

void TCustomWSocket::OfferTlsSession(const TlsSession* from) {
  SSL_SESSION* session = from != nullptr ? from->Session() : nullptr;
  if (session != nullptr) SSL_SESSION_up_ref(session);
  offeredSession_.reset(session);
}

void TCustomWSocket::StartTls(std::shared_ptr<TlsContext> context, TlsRole role,
                              uint64_t requiredIdentity, bool issueTickets) {
  if (tls_ != nullptr || tlsStart_ != nullptr) {
    RaiseException("StartTls: TLS is already on");
    return;
  }
  tlsStart_ = std::make_unique<TlsStart>(
      TlsStart{std::move(context), role, requiredIdentity, issueTickets});
  if (state_ == wsConnected) BeginTls();
}

void TCustomWSocket::BeginTls() {
  IgnoreBrokenPipe();
  std::unique_ptr<TlsStart> start = std::move(tlsStart_);
  tls_ = std::make_unique<TlsSession>(start->context, handle_.Get(), start->role);
  if (!start->issueTickets) tls_->IssueNoTickets();
  if (start->role == TlsRole::Client && offeredSession_) {
    tls_->OfferSession(offeredSession_.get());
    offeredSession_.reset();
  }
  tlsRequiredIdentity_ = start->requiredIdentity;
  tlsFailure_.clear();
  tlsHandshaking_ = true;
  // What is queued now was sent before TLS began and leaves in clear first.
  plainLeft_ = queue_.Pending();
  handshakeWants_ =
      start->role == TlsRole::Client ? TlsSession::Status::WantWrite : TlsSession::Status::WantRead;
  UpdateInterest();
  // The first step runs from the loop: the caller (a command handler, usually) finishes first.
  PostReadiness(FD_WRITE, 0);
}

void TCustomWSocket::StepHandshake() {
  if (!tlsHandshaking_ || tls_ == nullptr) return;
  if (plainLeft_ > 0) return;  // TryToSend arms write readiness for them
  const TlsSession::Status status = tls_->Handshake();
  if (status == TlsSession::Status::WantRead || status == TlsSession::Status::WantWrite) {
    handshakeWants_ = status;
    UpdateInterest();
    return;
  }
  if (status != TlsSession::Status::Ok) {
    FailTls(tls_->Failure());
    return;
  }
  // SECURITY: a data connection that must belong to its control connection proves it by
  // resuming that connection's TLS session; a fresh handshake from anyone else is refused.
  if (tlsRequiredIdentity_ != 0 && (!tls_->Resumed() || tls_->Identity() != tlsRequiredIdentity_)) {
    FailTls("the TLS session of the control connection was not resumed");
    return;
  }
  tlsHandshaking_ = false;
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
  if (WaitingBytes() > 0) PostReadiness(FD_READ, 0);
}

void TCustomWSocket::FailTls(std::string reason) {
  tlsHandshaking_ = false;
  tls_.reset();  // no close_notify for a connection that never was one
  closeReported_ = true;
  Abort();
  tlsFailure_ = std::move(reason);
  TriggerSessionClosed(kWsaEconnaborted);
}

int TCustomWSocket::TlsSend(const char* data, int length) {
  TlsSession::Status status;
  const int sent = tls_->Write(data, length, status);
  if (sent > 0) return sent;
  switch (status) {
    case TlsSession::Status::WantWrite:
      writeArmed_ = true;
      UpdateInterest();
      return 0;
    case TlsSession::Status::WantRead:
      tlsWriteWantsRead_ = true;
      UpdateInterest();
      return 0;
    default:
      tlsFailure_ = tls_->Failure();
      closeReported_ = true;
      Close();
      TriggerSessionClosed(kWsaEconnreset);
      return -1;
  }
}

// Sends what waits, through TLS: the staging buffer first, then queued chunks gathered into
// it, then the file's next block read into it. Records are then as large as TLS allows, rather
// than one per queue chunk.
void TCustomWSocket::TlsTryToSend() {
  if (tlsHandshaking_) return;  // sent once the handshake is complete
  for (;;) {
    if (tlsOutSent_ == tlsOutSize_) {
      tlsOutSize_ = 0;
      tlsOutSent_ = 0;
      int32_t length = 0;
      const char* data = nullptr;
      while (tlsOutSize_ < kTlsGather && (data = queue_.Front(length)) != nullptr) {
        ReserveTlsOut(kTlsGather);
        const size_t take = std::min<size_t>(static_cast<size_t>(length), kTlsGather - tlsOutSize_);
        std::memcpy(tlsOut_.get() + tlsOutSize_, data, take);
        tlsOutSize_ += take;
        queue_.Consume(static_cast<int32_t>(take));
      }
      if (tlsOutSize_ == 0 && fileLeft_ > 0 && !FillFromFile()) return;
      if (tlsOutSize_ == 0) {
        tlsOut_.reset();  // nothing waits: an idle connection keeps no buffer
        tlsOutCapacity_ = 0;
        allSent_ = true;
        return;
      }
    }
    const size_t left = tlsOutSize_ - tlsOutSent_;
    const int sent = TlsSend(tlsOut_.get() + tlsOutSent_, static_cast<int>(left));
    if (sent <= 0) return;
    tlsOutSent_ += static_cast<size_t>(sent);
  }
}

void TCustomWSocket::ReserveTlsOut(size_t size) {
  if (tlsOutCapacity_ >= size) return;
  std::unique_ptr<char[]> larger = std::make_unique_for_overwrite<char[]>(size);
  if (tlsOutSize_ > 0) std::memcpy(larger.get(), tlsOut_.get(), tlsOutSize_);
  tlsOut_ = std::move(larger);
  tlsOutCapacity_ = size;
}

// Reads the file's next block into the staging buffer; false when the socket failed.
bool TCustomWSocket::FillFromFile() {
  const size_t wanted = static_cast<size_t>(std::min(fileLeft_, kTlsFileBlock));
  ReserveTlsOut(static_cast<size_t>(kTlsFileBlock));
  ssize_t n;
  do {
    n = ::read(file_.Get(), tlsOut_.get(), wanted);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    const int err = WinsockFromErrno(errno);
    DropFileBytes();
    SocketError(err, "TryToSend failed");
    return false;
  }
  tlsOutSize_ = static_cast<size_t>(n);
  fileLeft_ -= n;
  if (n == 0) fileShortfall_ = fileLeft_;  // the file ended early: the rest is never sent
  if (n == 0 || fileLeft_ == 0) DropFileBytes();
  return true;
}

int TCustomWSocket::WaitingBytes() {
  if (tls_ != nullptr) {
    if (tlsPeerClosed_ || tlsHandshaking_) return 0;
    const int pending = tls_->Pending();
    if (pending > 0) return pending;
    if (tlsReadBlocked_) return 0;
  }
  int count = 0;
  if (RawRcvdCount(count) != 0) return -1;
  return count;
}

}  // namespace orvane
